#!/usr/bin/env bash
# The Debian package, installed with dpkg into a scratch root (a tree of its
# own with its own dpkg database; nothing on this machine changes):
#
#   deb_install_test.sh PACKAGE_DIR VERSION
#
# Checks: the dependencies were found from the binaries; it installs; the
# installed zelioctl runs and talks to emulated modules; the maintainer script
# reloads udev where there is one and is no error where there is none; purge
# leaves nothing behind.
set -euo pipefail

# 1: zelioctl --version must print the version. 0: only check that
# zelioctl help runs (for a zelioctl without --version).
ZELIOCTL_HAS_VERSION=1

package_dir="$1"
version="$2"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

shopt -s nullglob
debs=("$package_dir"/zelio_"$version"_*.deb)
[[ ${#debs[@]} -eq 1 ]] || fail "expected one zelio_${version}_*.deb in $package_dir, found ${#debs[@]}"
deb="${debs[0]}"
echo "package: $deb ($(stat -c %s "$deb") bytes)"

# ---- control data ----------------------------------------------------------
[[ "$(dpkg-deb -f "$deb" Version)" == "$version" ]] || fail "package version is not $version"
depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
for lib in libc6 libhidapi-hidraw0; do
    [[ ",$depends," == *", $lib "* || ",$depends," == *",$lib "* ]] ||
        fail "Depends does not name $lib (dependencies not found from the binaries?)"
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
chmod +x "$fakebin/udevadm"

# The scratch database knows no libc6: --force-depends (the dependencies were
# checked above; the programs run against this machine's libraries).
dpkg_root() {
    PATH="$fakebin:$PATH" dpkg --root="$root" --log=/dev/null \
        --force-script-chrootless --force-depends --force-not-root "$@"
}
dpkg_root --install "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg --install failed"; }
dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Status}\n' zelio | grep -qx "install ok installed" ||
    fail "zelio is not installed after dpkg --install"
[[ ! -e "$work/udevadm.log" ]] || fail "postinst ran udevadm while installing into another root"

# ---- the installed programs ---------------------------------------------------
zelioctl="$root/usr/bin/zelioctl"
[[ -x "$zelioctl" ]] || fail "no executable $zelioctl"
libdirs="$(find "$root/usr/lib" -name 'lib*.so*' -printf '%h:' 2>/dev/null || true)"
run_installed() {
    LD_LIBRARY_PATH="${libdirs}${LD_LIBRARY_PATH:-}" "$zelioctl" "$@"
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

if [[ -d "$root/usr/share/doc/zelio" ]]; then
    [[ -f "$root/usr/share/doc/zelio/LICENSE" ]] || fail "no LICENSE in /usr/share/doc/zelio"
fi

# ---- postinst on a running system --------------------------------------------
postinst="$root/var/lib/dpkg/info/zelio.postinst"
[[ -f "$postinst" ]] || fail "no postinst was installed"
rm -f "$work/udevadm.log"
PATH="$fakebin:$PATH" sh "$postinst" configure || fail "postinst configure failed"
expected=$'control --reload\ntrigger --subsystem-match=hidraw --action=add'
[[ "$(cat "$work/udevadm.log" 2>/dev/null)" == "$expected" ]] ||
    fail "postinst called udevadm as '$(cat "$work/udevadm.log" 2>/dev/null)', expected '$expected'"
FAKE_UDEVADM_STATUS=1 PATH="$fakebin:$PATH" sh "$postinst" configure ||
    fail "postinst failed when udevadm did not answer"
PATH="$work/empty" /bin/sh "$postinst" configure || fail "postinst failed where there is no udevadm"

# ---- purge --------------------------------------------------------------------
rm -f "$work/udevadm.log"
dpkg_root --purge zelio >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg --purge failed"; }
left="$(cd "$root" && find . -mindepth 1 ! -path ./var ! -path ./var/lib ! -path './var/lib/dpkg*')"
[[ -z "$left" ]] || fail "left behind after purge: $left"
if dpkg-query --admindir="$root/var/lib/dpkg" -W zelio >/dev/null 2>&1; then
    dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Status}\n' zelio | grep -q "not-installed" ||
        fail "dpkg still knows zelio after purge"
fi
[[ ! -e "$work/udevadm.log" ]] || fail "postrm ran udevadm while removing from another root"
echo "deb package: installed, ran, purged"
