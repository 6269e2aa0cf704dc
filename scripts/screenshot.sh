#!/usr/bin/env bash
# Starts a Windows program of the mingw build on a private Xvfb server, saves
# a screenshot once its main window is shown and painted, and closes it.
#
#   scripts/screenshot.sh FILE [--program zelio|zelio-demo] [--dpi N] [-- PROGRAM-ARGS...]
#
# The default program is zelio-demo, the default display scaling 96 DPI (a
# prefix of its own for each other value). The build is brought up to date first.
set -uo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build/mingw"
MAIN_TITLE="USB I/O Module - Ver 1.0"

usage() {
    sed -n '2,8p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
}

[[ $# -ge 1 && "$1" != -* ]] || { usage >&2; exit 2; }
screenshot="$1"; shift
program=zelio-demo
dpi=96
prog_args=()
while [[ $# -gt 0 ]]; do
    case "$1" in
        --program)
            [[ $# -ge 2 ]] || { usage >&2; exit 2; }
            program="$2"; shift 2 ;;
        --dpi)
            [[ $# -ge 2 && "$2" =~ ^[0-9]+$ ]] || { usage >&2; exit 2; }
            dpi="$2"; shift 2 ;;
        --)
            shift; prog_args=("$@"); break ;;
        *)
            echo "unknown option: $1" >&2; usage >&2; exit 2 ;;
    esac
done
case "$program" in
    zelio|zelio-demo) ;;
    *) echo "unknown program: $program" >&2; exit 2 ;;
esac
# The program runs in the build directory; keep the file where the user is.
case "$screenshot" in
    /*) ;;
    *) screenshot="$PWD/$screenshot" ;;
esac

# shellcheck source=cmake/setup.sh
source "$ROOT/cmake/setup.sh"
# shellcheck source=cmake/xvfb.sh
source "$ROOT/cmake/xvfb.sh"
cd "$ROOT"

zelio_install_packages || exit 1
cmake --preset mingw >/dev/null || exit 1
cmake --build --preset mingw -j "${JOBS:-2}" --target "$program" || exit 1

exe="$BUILD/$program.exe"
if [[ "$dpi" -eq 96 ]]; then
    export WINEPREFIX="$BUILD/wineprefix"
else
    export WINEPREFIX="$BUILD/wineprefix-dpi$dpi"
fi
wine_run=("$ROOT/cmake/wine-run.sh" --build-dir "$BUILD" --dpi "$dpi")

prog_pid=""
cleanup() {
    if [[ -n "$prog_pid" ]] && kill -0 "$prog_pid" 2>/dev/null; then
        kill "$prog_pid" 2>/dev/null || true
    fi
    if [[ -n "$ZELIO_XVFB_PID" ]]; then
        wineserver -k >/dev/null 2>&1 || true
    fi
    zelio_stop_xvfb
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# ---- screenshot -----------------------------------------------------------------
# Always on a private server, so nothing else is on the screen.
unset DISPLAY
# A screen as much larger as the scaling, so the windows fit as they do at 96.
ZELIO_XVFB_SCREEN="$((1024 * dpi / 96))x$((768 * dpi / 96))" zelio_start_xvfb || exit 1
"${wine_run[@]}" --init || exit 1

cd "$BUILD" || exit 1
"${wine_run[@]}" "$exe" "${prog_args[@]}" &
prog_pid=$!

main_window_shown() {
    xwininfo -name "$MAIN_TITLE" 2>/dev/null | grep -q "Map State: IsViewable"
}

# Wait (bounded) for the main window.
shown=0
for _ in $(seq 1 300); do
    if main_window_shown; then
        shown=1
        break
    fi
    if ! kill -0 "$prog_pid" 2>/dev/null; then
        echo "$(basename "$exe") ended before its window was shown" >&2
        exit 1
    fi
    sleep 0.2
done
if [[ $shown -eq 0 ]]; then
    echo "the window \"$MAIN_TITLE\" did not appear within 60 s" >&2
    exit 1
fi

# Take the picture once painting has settled: two equal frames in a row.
tmp="$(mktemp -d)"
prev=""
for i in $(seq 1 20); do
    import -window root "$tmp/shot$i.png" || { rm -rf "$tmp"; exit 1; }
    sum="$(convert "$tmp/shot$i.png" rgb:- | md5sum | cut -d' ' -f1)"
    if [[ "$sum" == "$prev" ]]; then
        break
    fi
    prev="$sum"
    sleep 0.25
done
mkdir -p "$(dirname "$screenshot")"
mv "$tmp/shot$i.png" "$screenshot"
rm -rf "$tmp"
echo "Saved $screenshot"

# Close the program the way a user would (WM_CLOSE), then make sure it ended.
"${wine_run[@]}" taskkill /im "$(basename "$exe")" >/dev/null 2>&1 || true
for _ in $(seq 1 50); do
    kill -0 "$prog_pid" 2>/dev/null || break
    sleep 0.2
done
if kill -0 "$prog_pid" 2>/dev/null; then
    wineserver -k >/dev/null 2>&1 || true
fi
wait "$prog_pid" 2>/dev/null || true
prog_pid=""
exit 0
