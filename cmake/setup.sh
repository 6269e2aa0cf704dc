# Shared by ./test and ./run (sourced, not executed).
#
# zelio_install_packages [extra-package...]: installs with apt-get whatever
# the build and the tests need and is not installed yet. apt-get update runs
# only when something is missing. Packages named NAME:arm64 are Debian
# multiarch packages for the arm64 cross build; the architecture is added to
# dpkg first.

ZELIO_PACKAGES=(
    g++ cmake ninja-build pkg-config
    clang-14 libclang-rt-14-dev
    g++-mingw-w64-x86-64 mingw-w64-x86-64-dev
    wine wine64
    xvfb xauth x11-utils
    libhidapi-dev libudev-dev googletest libgtest-dev libbenchmark-dev
    fonts-nanum fontconfig imagemagick
    python3 python3-setuptools python3-pip python3-venv python3-wheel mypy
    nsis dpkg-dev file
    groff-base lintian
    emscripten nodejs chromium
    qemu-system-x86 busybox-static xz-utils
)

# The linux-arm64 preset's cross build and emulator, and the system emulator
# its real-path rig boots (./test installs them when it builds that preset).
ZELIO_ARM64_PACKAGES=(
    g++-aarch64-linux-gnu qemu-user qemu-system-arm libhidapi-dev:arm64 libudev-dev:arm64 libstdc++6:arm64
)

zelio_install_packages() {
    local missing=() pkg
    for pkg in "${ZELIO_PACKAGES[@]}" "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "ok installed"; then
            missing+=("$pkg")
        fi
    done
    [[ ${#missing[@]} -eq 0 ]] && return 0

    echo "Installing missing packages: ${missing[*]}"
    local sudo=()
    if [[ $(id -u) -ne 0 ]]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo=(sudo)
        else
            echo "Not root and no sudo: please install ${missing[*]}" >&2
            return 1
        fi
    fi
    export DEBIAN_FRONTEND=noninteractive
    if [[ " ${missing[*]}" == *:arm64* ]] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
        "${sudo[@]}" dpkg --add-architecture arm64 || return 1
    fi
    "${sudo[@]}" apt-get update -q || return 1
    "${sudo[@]}" apt-get install -y -q "${missing[@]}" </dev/null || return 1
}
