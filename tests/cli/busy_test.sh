#!/bin/bash
# Usage: busy_test.sh ZELIOCTL
# While another process holds the emulated ZEL280's lock file (FILES in
# zelioctl(1)), or a state file's, zelioctl waits 3 s and fails as busy;
# once free, it runs.
zelioctl=$1 dir=/run/lock
[[ -d $dir ]] || dir=/tmp  # one directory for every user
flock -o "$dir/zelio-emu___0.lock" sleep 5 &
sleep 0.5
start=$(date +%s%N)
out=$("$zelioctl" --emulate --json version)
rc=$? elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
status=0
[[ $rc -eq 8 && $out == '{"ok":false,"error":"busy",'* ]] || { echo "held: exit $rc: $out"; status=1; }
(( elapsed >= 3000 )) || { echo "held: gave up after $elapsed ms"; status=1; }
wait
out=$("$zelioctl" --emulate version)
[[ $? -eq 0 && $out == 1.2 ]] || { echo "free: $out"; status=1; }
# The same for the emulated modules of a state file, which one call at a time uses.
state=$(mktemp -d)/busy.state word="zelioctl emulated $state"
flock -o "$dir/zelio-${word//[^A-Za-z0-9._-]/_}.lock" sleep 4 &
sleep 0.5
out=$("$zelioctl" --emulate="$state" --json list)
[[ $? -eq 8 && $out == '{"ok":false,"error":"busy",'* && ! -e $state ]] || { echo "state held: $out"; status=1; }
wait
"$zelioctl" --emulate="$state" list >/dev/null && [[ -s $state ]] || { echo "state free"; status=1; }
rm -r "${state%/*}"
exit $status
