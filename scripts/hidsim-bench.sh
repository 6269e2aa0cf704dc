#!/usr/bin/env bash
# Link overhead through the real Windows HID path under Wine: time per
# command minus the 40 ms pause, with 1 and with 16 foreign HID devices
# installed next to one virtual ZEL280, and the floor of the same run (the
# HID host's own open, write, read and close of the same report through the
# same device). A benchmark, not a test.
#
#   scripts/hidsim-bench.sh [COMMANDS]     (default 50 per run)
# Needs the mingw build (cmake --build --preset mingw --target zelio-hidsim).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build/mingw"
count="${1:-50}"
run=("$ROOT/cmake/wine-run.sh" --build-dir "$BUILD/hidsim" "$BUILD/zelio-hidsim.exe")
for foreign in 1 16; do
    printf '%2d foreign device(s): ' "$foreign"
    "${run[@]}" --foreign 1234:5678 "x$foreign" --module 280:setting --bench "$count"
done
