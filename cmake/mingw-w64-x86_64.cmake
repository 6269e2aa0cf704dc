# Cross toolchain: Debian's MinGW-w64 for 64-bit Windows.
# Test programs run through Wine (see wine-run.sh).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_mingw_triplet x86_64-w64-mingw32)

# Prefer the POSIX thread-model compiler: it has the full <thread>/<mutex>
# support. Everything is linked statically, so no extra DLL is needed.
find_program(CMAKE_C_COMPILER NAMES ${_mingw_triplet}-gcc-posix ${_mingw_triplet}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${_mingw_triplet}-g++-posix ${_mingw_triplet}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${_mingw_triplet}-windres windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

