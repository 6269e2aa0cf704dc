#!/usr/bin/env bash
# The Linux real-path rig: boots Debian's own kernel under qemu (TCG) once,
# with an initramfs of Debian packages (busybox-static, udev, the kernel's USB
# gadget and HID modules) and the project's own .deb packages, and runs every
# scenario of tests/support/real_path_scenarios.txt there (tests/usbsim/guest.sh).
#
#   rig.sh ARCH BUILD_DIR PACKAGE_DIR DEVICE_PROGRAM [TEST_PROGRAM...]
#
# ARCH is amd64 or arm64; RIGBENCH=1 also runs the link benchmark in the
# guest (printed, not a test). What is fetched and unpacked once (kernel, busybox,
# udev and their libraries) stays in BUILD_DIR/usbsim. Each scenario is one
# test case of BUILD_DIR/test-results/usbsim_ARCH.xml; the exit status is
# non-zero when one failed or the guest did not finish.
set -euo pipefail

arch="$1" build="$2" packages="$3" device="$4"
tests=("${@:5}")
src="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cache="$build/usbsim"
mkdir -p "$cache/debs" "$build/test-results"
t_start=$SECONDS

if [[ $arch == amd64 ]]; then
    triplet=x86_64-linux-gnu
    qemu=(qemu-system-x86_64 -machine pc -cpu qemu64 -append "console=ttyS0 quiet panic=-1 no_timer_check ${RIGDEBUG:+RIGDEBUG=1} ${RIGONLY:+RIGONLY=,$RIGONLY,} ${RIGBENCH:+RIGBENCH=1}")
    host_libs=(/usr/lib/x86_64-linux-gnu)
else
    triplet=aarch64-linux-gnu
    qemu=(qemu-system-aarch64 -machine virt -cpu cortex-a72 -append "console=ttyAMA0 quiet panic=-1 ${RIGDEBUG:+RIGDEBUG=1} ${RIGONLY:+RIGONLY=,$RIGONLY,} ${RIGBENCH:+RIGBENCH=1}")
    host_libs=(/usr/lib/aarch64-linux-gnu)
fi

# ---- once: the kernel, busybox, udevd and its libraries, unpacked
base="$cache/base-$arch"
if [[ ! -f "$base/.done" ]]; then
    rm -rf "$base" && mkdir -p "$base/x"
    q=""; [[ $arch == arm64 ]] && q=":arm64"
    kernel=$(apt-cache depends "linux-image-$arch$q" | sed -n 's/.*Depends: \(linux-image-[0-9].*\)/\1/p' | head -1)
    debs=("${kernel%:arm64}$q")
    if [[ $arch == arm64 ]]; then
        # amd64 takes busybox and udevd from this machine (cmake/setup.sh installs them).
        for p in busybox-static udev libsystemd-shared libacl1 libblkid1 libcap2 libcrypt1 libssl3 libgcrypt20 \
            libgpg-error0 libip4tc2 libkmod2 liblz4-1 liblzma5 libmount1 libpam0g libseccomp2 libselinux1 \
            libpcre2-8-0 libzstd1 libaudit1 libcap-ng0; do debs+=("$p:arm64"); done
    fi
    (cd "$cache/debs" && apt-get download "${debs[@]}" 2> >(grep -v "^W: Download is performed unsandboxed" >&2))
    for p in "${debs[@]}"; do
        p=${p%:arm64}
        dpkg-deb -x "$(ls "$cache/debs/${p}_"*"_$arch.deb" | head -1)" "$base/x"
    done
    vmlinuz=$(ls "$base"/x/boot/vmlinuz-*)
    if [[ $arch == amd64 ]]; then
        # The bzImage's XZ payload, booted as it is (PVH): no decompression at every boot.
        offset=$(LC_ALL=C grep -obUa $'\xfd7zXZ' "$vmlinuz" | head -1 | cut -d: -f1)
        tail -c +$((offset + 1)) "$vmlinuz" | xz -dcq > "$base/kernel" 2> /dev/null || [[ -s "$base/kernel" ]]
    else
        gzip -dc < "$vmlinuz" > "$base/kernel" 2> /dev/null || cp "$vmlinuz" "$base/kernel"
    fi
    mkdir -p "$base/root/usr/lib/modules"
    for m in configfs usb-common usbcore udc-core libcomposite usb_f_hid dummy_hcd hid usbhid hid-generic; do
        cp "$(find "$base"/x/lib/modules -name "$m.ko")" "$base/root/usr/lib/modules/"
    done
    touch "$base/.done"
fi
if [[ $arch == arm64 ]]; then
    busybox="$base/x/bin/busybox" udevadm="$base/x/bin/udevadm"
    lib_dirs=("$base/x/usr/lib/$triplet" "$base/x/usr/lib/$triplet/systemd" "$base/x/lib/$triplet" "${host_libs[@]}")
else
    busybox=/bin/busybox udevadm=/usr/bin/udevadm
    lib_dirs=("${host_libs[@]}" "/usr/lib/$triplet/systemd")
fi

# ---- every run: the root, the programs and their libraries, the scenarios
root="$cache/root-$arch"
rm -rf "$root" && cp -a "$base/root" "$root"
mkdir -p "$root"/{bin,sbin,proc,sys,dev,run,tmp,etc/usbsim,root,usr/libexec/usbsim,usr/lib/"$triplet",usr/lib/systemd,usr/lib/udev/rules.d}
ln -s usr/lib "$root/lib"
ln -s usr/lib/"$triplet" "$root/lib64"
cp "$busybox" "$root/bin/busybox"
for applet in $("$root/bin/busybox" --list 2> /dev/null || busybox --list); do
    [[ -e "$root/bin/$applet" ]] || ln -s busybox "$root/bin/$applet"
done
for p in zelio libzelio1 python3-zelio; do
    deb=$(ls "$packages/${p}_"*.deb 2> /dev/null | head -1) && [[ -n "$deb" ]] && dpkg-deb -x "$deb" "$root"
done
rm -rf "$root/usr/share/doc" "$root/usr/share/man"
cp "$udevadm" "$root/usr/bin/udevadm"
ln -sf ../../bin/udevadm "$root/usr/lib/systemd/systemd-udevd"
cp /usr/lib/udev/rules.d/73-seat-late.rules "$root/usr/lib/udev/rules.d/"
cp "$device" "$root/usr/bin/usbsim-device"
for t in "${tests[@]}"; do cp "$t" "$root/usr/libexec/usbsim/"; done
cp "$src/tests/support/real_path_scenarios.txt" "$root/etc/usbsim/scenarios.txt"
cp "$src/tests/support/selections.tsv" "$root/etc/usbsim/selections.tsv"
cp "$src/tests/usbsim/guest.sh" "$root/init"
printf 'root:x:0:0::/root:/bin/sh\nalice:x:1000:1000::/tmp:/bin/sh\nbob:x:1001:1001::/tmp:/bin/sh\n' > "$root/etc/passwd"
printf 'root:x:0:\nalice:x:1000:\nbob:x:1001:\n' > "$root/etc/group"

# Libraries the ELF files need, found by name (readelf reads either architecture).
declare -A have=()
add_libs() {
    local file lib dir
    for file in "$@"; do
        for lib in $(readelf -d "$file" 2> /dev/null | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
            [[ -n "${have[$lib]:-}" ]] && continue
            have[$lib]=1
            for dir in "${lib_dirs[@]}"; do
                if [[ -e "$dir/$lib" ]]; then
                    cp -L "$dir/$lib" "$root/usr/lib/$triplet/$lib"
                    add_libs "$dir/$lib"
                    break
                fi
            done
            [[ -e "$root/usr/lib/$triplet/$lib" ]] || echo "rig: $lib not found" >&2
        done
    done
}
interp=$(readelf -l "$device" | sed -n 's/.*interpreter: \(.*\)\]/\1/p')
mkdir -p "$root$(dirname "$interp")"
cp -L "${lib_dirs[0]}/$(basename "$interp")" "$root$interp" 2> /dev/null || cp -L "$interp" "$root$interp"
add_libs "$root/usr/bin/"* "$root/usr/lib/$triplet/"*.so* "$root/usr/libexec/usbsim/"* "$udevadm"
(cd "$root" && find . | busybox cpio -o -H newc 2> /dev/null) > "$cache/initramfs-$arch.cpio"
t_built=$SECONDS

# ---- one boot: every scenario
log="$cache/console-$arch.log"
timeout 900 "${qemu[@]}" -m 512 -smp 2 -nographic -no-reboot -nic none -kernel "$base/kernel" \
    -initrd "$cache/initramfs-$arch.cpio" > "$log" 2>&1 || true
t_booted=$SECONDS
tr -d '\r' < "$log" | grep '^@@' || true

# ---- the report: one test case per scenario
xml="$build/test-results/usbsim_$arch.xml"
tr -d '\r' < "$log" | awk -v suite="usbsim_$arch" '
    function esc(s) { gsub(/&/, "\\&amp;", s); gsub(/</, "\\&lt;", s); gsub(/"/, "\\&quot;", s); return s }
    /^@@ (PASS|FAIL) / { n++; name[n] = $3; ok[n] = $2 == "PASS"; ms[n] = $4; $1 = $2 = $3 = $4 = ""; why[n] = $0; if (!ok[n]) f++ }
    /^@@ DONE/ { done = 1 }
    END {
        if (!done) { n++; name[n] = "guest_finished"; ok[n] = 0; why[n] = "the guest did not finish"; f++ }
        printf "<?xml version=\"1.0\"?>\n<testsuites tests=\"%d\" failures=\"%d\">\n<testsuite name=\"%s\" tests=\"%d\" failures=\"%d\">\n", n, f, suite, n, f
        for (i = 1; i <= n; i++) {
            printf "<testcase name=\"%s\" time=\"%.3f\"", name[i], ms[i] / 1000
            if (ok[i]) print "/>"; else printf "><failure message=\"%s\"/></testcase>\n", esc(why[i])
        }
        print "</testsuite>\n</testsuites>"
        exit (f > 0)
    }' > "$xml" && status=0 || status=1
echo "rig $arch: initramfs $((t_built - t_start)) s, boot and scenarios $((t_booted - t_built)) s"
exit $status
