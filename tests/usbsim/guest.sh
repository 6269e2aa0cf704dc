#!/bin/sh
# /init of the rig's guest: loads the USB gadget and HID stack, starts udevd
# with the packaged rule, runs every scenario of the table against virtual
# modules (usbsim-device, one gadget per dummy_hcd controller), the library's
# tests and the benchmark, prints one "@@" line for each and powers off.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root
[ -n "${RIGDEBUG:-}" ] && set -x
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t tmpfs run /run
mount -t tmpfs tmp /tmp
for m in configfs usb-common usbcore udc-core libcomposite usb_f_hid hid usbhid hid-generic; do
    insmod /lib/modules/$m.ko
done
insmod /lib/modules/dummy_hcd.ko num=20
mount -t configfs none /sys/kernel/config
# The seat's active user is alice (uid 1000): the uaccess tag gives her the nodes.
mkdir -p /run/systemd/seats /run/usbsim
printf 'ACTIVE=c1\nACTIVE_UID=1000\n' > /run/systemd/seats/seat0
/usr/lib/systemd/systemd-udevd --daemon
echo "@@ BOOTED $(cut -d' ' -f1 /proc/uptime)"

now() { read -r up _ < /proc/uptime; echo $((${up%.*}${up#*.} * 10)); }
gadgets=/sys/kernel/config/usb_gadget

failed=""
fail() { failed="$failed${failed:+; }$*"; }

# Runs a zelioctl step; its result in $rc, $ms, /tmp/out and /tmp/err.
run() {
    t0=$(now)
    timeout 60 "$@" > /tmp/out 2> /tmp/err
    rc=$?
    ms=$(($(now) - t0))
    [ -n "${RIGDEBUG:-}" ] && cat /tmp/out /tmp/err
}

# check STEP EXIT CHECKS: against $rc, $ms, /tmp/out, /tmp/err.
check() {
    local step="$1" want="$2" checks="$3"
    [ -n "$want" ] && [ "$rc" != "$want" ] && fail "$step: exit $rc, not $want ($(head -c 300 /tmp/err))"
    echo "$checks" | tr ';' '\n' | while read -r kind rest; do
        kind=${kind#linux:}
        case "$kind" in
            wine:*) ;;
            "") ;;
            out) case "$(head -n1 /tmp/out)" in "$rest"*) ;; *) echo "$step: out '$(head -n1 /tmp/out)', not '$rest'" ;; esac ;;
            err~*) grep -qF "${kind#err~} $rest" /tmp/err || echo "$step: error output lacks '${kind#err~} $rest'" ;;
            ids) got=$(tail -n +2 /tmp/out | cut -d' ' -f1 | tr '\n' ' '); [ "$got" = "$rest " ] || echo "$step: ids '$got', not '$rest'" ;;
            state) name=${rest%% *}; for kv in ${rest#* }; do grep -q " $kv" /run/usbsim/$name.state || echo "$step: $name not $kv: $(cat /run/usbsim/$name.state)"; done ;;
            last) name=${rest%% *}; grep -q "last=${rest#* }" /run/usbsim/$name.state || echo "$step: $name last report not ${rest#* }: $(cat /run/usbsim/$name.state)" ;;
            ms\>=*) [ "$ms" -ge "${kind#ms>=}" ] || echo "$step: took $ms ms, not >= ${kind#ms>=}" ;;
            ms\<*) [ "$ms" -lt "${kind#ms<}" ] || echo "$step: took $ms ms, not < ${kind#ms<}" ;;
            *) echo "$step: unknown check $kind" ;;
        esac
    done > /tmp/checks
    [ -s /tmp/checks ] && fail "$(cat /tmp/checks | tr '\n' ' ')"
}

udc_of() { cat /run/usbsim/$1.udc; }
# The host's hidraw node of device NAME, once the host has enumerated it.
node_of() { ls -d /sys/devices/platform/dummy_hcd.$(udc_of "$1" | cut -d. -f2)/usb*/*/*:1.0/*/hidraw/hidraw* 2> /dev/null; }
# await NAME present|absent: until the host has (or no longer has) the device.
await() {
    n=0
    while [ $n -lt 100 ]; do
        if [ -n "$(node_of "$1")" ]; then [ "$2" = present ] && break; else [ "$2" = absent ] && break; fi
        sleep 0.05; n=$((n + 1))
    done
    udevadm settle -t 5
}
next_udc=0
device() {  # device NAME WHAT
    echo dummy_udc.$next_udc > /run/usbsim/$1.udc
    usbsim-device "$1" dummy_udc.$next_udc "$2" > /run/usbsim/$1.log 2>&1 &
    echo $! >> /run/usbsim/pids
    next_udc=$((next_udc + 1))
    n=0
    until grep -q up /run/usbsim/$1.log || [ $n -ge 100 ]; do sleep 0.05; n=$((n + 1)); done
    await "$1" present
}

end_scenario() {
    [ -z "$scenario" ] && return
    for bg in /tmp/bg.*.step; do
        [ -f "$bg" ] || continue
        id=${bg%.step}; id=${id#/tmp/bg.}
        wait "$(cat /tmp/bg.$id.pid)"
        read -r rc ms < /tmp/bg.$id.rc
        cp /tmp/bg.$id.out /tmp/out; cp /tmp/bg.$id.err /tmp/err
        check "$(cat $bg)" "$(cat /tmp/bg.$id.want)" "$(cat /tmp/bg.$id.checks)"
        rm -f /tmp/bg.$id.*
    done
    # (This shell is init: orphans such as udevd are its children too, so
    # only the devices' own ids are waited for.)
    for pid in $(cat /run/usbsim/pids 2> /dev/null); do kill "$pid" 2> /dev/null; wait "$pid"; done
    for g in "$gadgets"/*; do
        [ -d "$g" ] || continue
        echo "" > "$g/UDC" 2> /dev/null
        rm -f "$g/configs/c.1/hid.0"
        rmdir "$g/configs/c.1/strings/0x409" "$g/configs/c.1" "$g/functions/hid.0" "$g/strings/0x409" "$g"
    done
    rm -f /run/usbsim/* /run/lock/zelio* /tmp/zelio* 2> /dev/null
    udevadm settle -t 5
    if [ -z "$failed" ]; then echo "@@ PASS $scenario $(($(now) - started))"; else echo "@@ FAIL $scenario $(($(now) - started)) $failed"; fi
    failed="" next_udc=0 bgs=0
}

scenario=""
bgs=0
while IFS='|' read -r name stacks step want checks; do
    name=$(echo $name) stacks=$(echo $stacks) step=$(echo $step) want=$(echo $want) checks=$(echo "$checks" | sed 's/^ *//;s/ *$//')
    case "$name" in ""|\#*) continue ;; esac
    [ "$stacks" = wine ] && continue
    [ -n "${RIGONLY:-}" ] && [ "${RIGONLY#*$name,}" = "$RIGONLY" ] && continue
    if [ "$name" != "$scenario" ]; then end_scenario; scenario=$name; started=$(now); fi
    set -- $step
    case "$1" in
        module) device "$2" "$3" ;;
        foreign) device "$2" "$3" ;;
        keyboard) device "$2" keyboard ;;
        unplug) echo "" > "$gadgets/$2/UDC"; await "$2" absent ;;
        plug) udc_of "$2" > "$gadgets/$2/UDC"; await "$2" present ;;
        set) echo "$3" > /run/usbsim/$2.set ;;
        sleep) sleep "$(($2 / 1000)).$(printf %03d $(($2 % 1000)))" ;;
        until-ids)
            shift; n=0
            until [ "$(zelioctl list | tail -n +2 | cut -d' ' -f1 | sort | tr '\n' ' ')" = "$* " ] || [ $n -ge 200 ]; do
                sleep 0.1; n=$((n + 1))
            done
            [ $n -ge 200 ] && fail "$step: not seen within 20 s" ;;
        until-rows)
            n=0
            until [ "$(grep -c ',ok' "$2" 2> /dev/null)" -ge "$3" ] 2> /dev/null || [ $n -ge 300 ]; do sleep 0.1; n=$((n + 1)); done
            [ $n -ge 300 ] && fail "$step: not within 30 s" ;;
        zelioctl\&)
            shift; bgs=$((bgs + 1))
            echo "$step" > /tmp/bg.$bgs.step; echo "$want" > /tmp/bg.$bgs.want; echo "$checks" > /tmp/bg.$bgs.checks
            ( t0=$(now); timeout 60 zelioctl "$@" > /tmp/bg.$bgs.out 2> /tmp/bg.$bgs.err; echo "$? $(($(now) - t0))" > /tmp/bg.$bgs.rc ) &
            echo $! > /tmp/bg.$bgs.pid ;;
        as)
            user=$2; shift 2
            run su -s /bin/sh "$user" -c "$*"
            check "$step" "$want" "$checks" ;;
        zelioctl) run "$@"; check "$step" "$want" "$checks" ;;
        *) fail "unknown step $step" ;;
    esac
done < /etc/usbsim/scenarios.txt
end_scenario

# The library's tests, on this machine's real HID stack (no module attached),
# given the table of module choices they share with zelioctl's suite.
for t in /usr/libexec/usbsim/*_test; do
    [ -x "$t" ] || continue
    started=$(now)
    if "$t" /etc/usbsim/selections.tsv > /tmp/out 2>&1; then echo "@@ PASS lib_${t##*/} $(($(now) - started))"
    else echo "@@ FAIL lib_${t##*/} $(($(now) - started)) $(tail -n 5 /tmp/out | tr '\n' ' ')"; fi
done
# The benchmark, with one foreign device and with sixteen (not a test; RIGBENCH=1).
[ -z "${RIGBENCH:-}" ] && { echo "@@ DONE"; poweroff -f; }
device m1 280:setting
node=/dev/$(basename "$(node_of m1)")
for i in $(seq 1 16); do
    device f$i 1234:0280
    [ $i = 1 ] || [ $i = 16 ] && echo "@@ BENCH $i foreign: $(/usr/libexec/usbsim/usb_link_bench "$node" /usr/bin/zelioctl 40)"
done
echo "@@ DONE"
poweroff -f
