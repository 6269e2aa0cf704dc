#!/usr/bin/env bash
# The Debian packages (zelio, libzelio1, libzelio-dev, python3-zelio),
# installed with dpkg into a scratch root (a tree of its own with its own dpkg
# database; nothing on this machine changes):
#
#   deb_install_test.sh PACKAGE_DIR VERSION [EMULATOR...]
#
# EMULATOR runs the installed programs of another architecture (qemu-aarch64
# -L SYSROOT). Checks: the dependencies were found from the binaries and name
# each other; they install; the installed zelioctl runs and talks to emulated
# modules (and natively the installed Python package loads the installed
# library); each has its copyright and changelog; the maintainer script
# reloads udev where there is one and is no error where there is none; purge
# leaves nothing behind. Natively also: a wheel pip builds from python/ installs into a venv, imports and
# uninstalls; python3-zelio removed after an import compiled it leaves nothing.
set -euo pipefail

# 1: zelioctl --version must print the version. 0: only check that
# zelioctl help runs (for a zelioctl without --version).
ZELIOCTL_HAS_VERSION=1

package_dir="$1"
version="$2"
emulator=("${@:3}")
packages=(zelio libzelio1 libzelio-dev python3-zelio)

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

shopt -s nullglob
debs=()
declare -A deb_of
for package in "${packages[@]}"; do
    found=("$package_dir/${package}_${version}"_*.deb)
    [[ ${#found[@]} -eq 1 ]] || fail "expected one ${package}_${version}_*.deb in $package_dir, found ${#found[@]}"
    debs+=("${found[0]}")
    deb_of[$package]="${found[0]}"
    echo "package: ${found[0]} ($(stat -c %s "${found[0]}") bytes)"
done

# ---- control data ----------------------------------------------------------
# package, then what its Depends must name
for expected in "zelio libc6 libhidapi-hidraw0 adduser" "libzelio1 libc6 libhidapi-hidraw0" \
    "libzelio-dev libzelio1" "python3-zelio python3 libzelio1"; do
    read -r package needs <<<"$expected"
    deb="${deb_of[$package]}"
    [[ "$(dpkg-deb -f "$deb" Version)" == "$version" ]] || fail "$package: version is not $version"
    depends="$(dpkg-deb -f "$deb" Depends)"
    echo "$package Depends: $depends"
    for lib in $needs; do
        tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/[ :].*//' | grep -qx "$lib" ||
            fail "$package: Depends does not name $lib"
    done
done

# ---- install into a scratch root --------------------------------------------
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"

# A udevadm that only notes how it was called; the maintainer scripts must
# leave it alone while dpkg installs into another root.
fakebin="$work/bin"
mkdir -p "$fakebin"
cat >"$fakebin/udevadm" <<EOF
#!/bin/sh
echo "\$*" >>"$work/udevadm.log"
exit \${FAKE_UDEVADM_STATUS:-0}
EOF
printf '#!/bin/sh\necho "addgroup $*" >>"%s/udevadm.log"\n' "$work" >"$fakebin/addgroup"
chmod +x "$fakebin/udevadm" "$fakebin/addgroup"

# The scratch database knows no libc6: --force-depends (the dependencies were
# checked above; the programs run against this machine's libraries, or the
# emulator's). --force-architecture for packages of another architecture.
dpkg_root() {
    PATH="$fakebin:$PATH" dpkg --root="$root" --log=/dev/null \
        --force-script-chrootless --force-depends --force-architecture --force-not-root "$@"
}
dpkg_root --install "${debs[@]}" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg --install failed"; }
for package in "${packages[@]}"; do
    dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Status}\n' "$package" | grep -qx "install ok installed" ||
        fail "$package is not installed after dpkg --install"
    for file in copyright changelog.gz; do
        [[ -f "$root/usr/share/doc/$package/$file" ]] || fail "$package has no /usr/share/doc/$package/$file"
    done
done
[[ ! -e "$work/udevadm.log" ]] || fail "postinst ran udevadm while installing into another root"

# ---- the installed programs ---------------------------------------------------
zelioctl="$root/usr/bin/zelioctl"
[[ -x "$zelioctl" ]] || fail "no executable $zelioctl"
libdirs="$(find "$root/usr/lib" -name 'lib*.so*' -printf '%h:' 2>/dev/null || true)"
run_installed() {
    LD_LIBRARY_PATH="${libdirs}${LD_LIBRARY_PATH:-}" "${emulator[@]}" "$zelioctl" "$@"
}

if [[ $ZELIOCTL_HAS_VERSION -eq 1 ]]; then
    out="$(run_installed --version)" || fail "zelioctl --version failed"
    [[ "$out" == *"$version"* ]] || fail "zelioctl --version printed '$out', not $version"
else
    out="$(run_installed help)" || fail "zelioctl help failed"
    [[ "$out" == *"usage: zelioctl"* ]] || fail "zelioctl help printed no usage"
fi
out="$(run_installed --emulate list)" || fail "zelioctl --emulate list failed"
echo "zelioctl --emulate list: $(echo "$out" | tr '\n' ' ')"
[[ "$out" == *"0x280"* ]] || fail "zelioctl --emulate list did not list the emulated ZEL280"

python=/usr/bin/python3  # Debian's, with Debian's setuptools and venv
site="$root/usr/lib/python3/dist-packages"
probe='import zelio, importlib.metadata as m
print(zelio.__file__, m.version("zelio"), zelio.__version__, zelio.load_library()._name, len(zelio.list_modules(emulated=True)))'
if [[ ${#emulator[@]} -eq 0 ]]; then
    out="$(LD_LIBRARY_PATH="$libdirs" PYTHONPATH="$site" env -u PYTHONDONTWRITEBYTECODE "$python" -c "$probe")" ||
        fail "the installed Python package does not load the installed library"
    [[ "$out" == "$site/zelio/__init__.py $version $version libzelio.so.1 2" ]] ||
        fail "python3-zelio: '$out', expected the installed package, its version and 2 emulated modules"

    cp -r "$(dirname "$0")/../../python" "$work/python"  # pip builds in the folder it is given
    "$python" -m pip wheel -q --no-build-isolation --no-deps --no-index -w "$work/dist" "$work/python" || fail "pip wheel failed"
    wheel="$work/dist/zelio-$version-py3-none-any.whl"
    echo "wheel: ${wheel##*/} ($(stat -c %s "$wheel") bytes)"
    "$python" -m venv "$work/venv" && "$work/venv/bin/pip" install -q --no-index "$wheel" || fail "the wheel did not install"
    out="$(cd "$work" && LD_LIBRARY_PATH="$libdirs" "$work/venv/bin/python" -c "$probe")" || fail "the wheel does not import"
    [[ "$out" == "$work/venv/lib/"*"/site-packages/zelio/__init__.py $version $version libzelio.so.1 2" ]] ||
        fail "the wheel in a venv: '$out'"
    "$work/venv/bin/pip" uninstall -q -y zelio && [[ -z "$(find "$work/venv/lib" -path '*-packages/zelio*')" ]] ||
        fail "pip uninstall left the package"

    # Removed after an import compiled it, python3-zelio leaves nothing.
    [[ -d "$site/zelio/__pycache__" ]] || fail "the import compiled nothing into $site/zelio/__pycache__"
    dpkg_root --remove python3-zelio >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg --remove failed"; }
    left="$(find "$root/usr/lib" -path '*python3*')"
    [[ -z "$left" ]] || fail "left behind after removing python3-zelio: $left"
fi

# ---- postinst on a running system --------------------------------------------
postinst="$root/var/lib/dpkg/info/zelio.postinst"
[[ -f "$postinst" ]] || fail "no postinst was installed"
rm -f "$work/udevadm.log"
PATH="$fakebin:$PATH" sh "$postinst" configure || fail "postinst configure failed"
getent group zelio >/dev/null && group="" || group=$'addgroup --system --quiet zelio\n'
expected="${group}"$'control --ping\ncontrol --reload\ntrigger --subsystem-match=hidraw --action=add'
[[ "$(cat "$work/udevadm.log" 2>/dev/null)" == "$expected" ]] ||
    fail "postinst called udevadm as '$(cat "$work/udevadm.log" 2>/dev/null)', expected '$expected'"
out="$(FAKE_UDEVADM_STATUS=1 PATH="$fakebin:$PATH" sh "$postinst" configure 2>&1)" && [[ -z $out ]] ||
    fail "postinst failed, or said something, where no udevd answers: $out"
PATH="$work/empty" /bin/sh "$postinst" configure || fail "postinst failed where there is no udevadm"

# ---- purge --------------------------------------------------------------------
rm -f "$work/udevadm.log"
dpkg_root --purge "${packages[@]}" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg --purge failed"; }
left="$(cd "$root" && find . -mindepth 1 ! -path ./var ! -path ./var/lib ! -path './var/lib/dpkg*')"
[[ -z "$left" ]] || fail "left behind after purge: $left"
for package in "${packages[@]}"; do
    if dpkg-query --admindir="$root/var/lib/dpkg" -W "$package" >/dev/null 2>&1; then
        dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Status}\n' "$package" | grep -q "not-installed" ||
            fail "dpkg still knows $package after purge"
    fi
done
[[ ! -e "$work/udevadm.log" ]] || fail "postrm ran udevadm while removing from another root"
echo "deb packages: installed, ran, purged"
