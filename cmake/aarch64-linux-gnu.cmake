# Cross toolchain: Debian's g++-aarch64-linux-gnu for 64-bit ARM Linux, with
# the arm64 libraries of Debian multiarch (libhidapi-dev:arm64 and what it
# pulls in under /usr/lib/aarch64-linux-gnu). Test programs run through
# qemu-user with the cross toolchain's C and C++ runtimes as the sysroot;
# what the sysroot lacks, the emulator finds at the same path on this host.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(_arm64_triplet aarch64-linux-gnu)
find_program(CMAKE_C_COMPILER NAMES ${_arm64_triplet}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${_arm64_triplet}-g++ REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${_arm64_triplet} /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config reads only the arm64 .pc files.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/${_arm64_triplet}/pkgconfig:/usr/share/pkgconfig")

find_program(ZELIO_QEMU_AARCH64 NAMES qemu-aarch64 qemu-aarch64-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR "${ZELIO_QEMU_AARCH64};-L;/usr/${_arm64_triplet}")

# The Debian packages are for arm64.
set(ZELIO_DEB_ARCHITECTURE arm64)
