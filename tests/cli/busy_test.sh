#!/bin/bash
# Usage: busy_test.sh ZELIOCTL
# A module serves one program at a time: while another process holds the
# emulated ZEL280's lock file (see FILES in zelioctl(1)), zelioctl waits 3 s
# and fails as busy without sending; once the lock is free, it runs.
set -u
zelioctl=$1
dir=/run/lock
[[ -d $dir && -w $dir ]] || dir=/tmp
lock=$dir/zelio-emu___0.lock
flock -o "$lock" sleep 5 &
holder=$!
sleep 0.5
start=$(date +%s%N)
out=$("$zelioctl" --emulate --json version)
rc=$?
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
status=0
[[ $rc -eq 8 ]] || { echo "held: exit $rc, expected 8: $out"; status=1; }
[[ $out == '{"ok":false,"error":"busy",'* ]] || { echo "held: $out"; status=1; }
(( elapsed >= 3000 )) || { echo "held: gave up after $elapsed ms"; status=1; }
wait "$holder"
out=$("$zelioctl" --emulate version)
rc=$?
[[ $rc -eq 0 && $out == 1.2 ]] || { echo "free: exit $rc: $out"; status=1; }
exit $status
