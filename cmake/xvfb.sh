# Shared by ./test, ./run and cmake/wine-run.sh (sourced, not executed).
#
# zelio_start_xvfb: starts a private Xvfb on the first free display number,
#   exports DISPLAY and sets ZELIO_XVFB_PID. Returns non-zero when it fails.
#   The screen is ZELIO_XVFB_SCREEN (WIDTHxHEIGHT) pixels, 1024x768 by default.
# zelio_stop_xvfb: stops the server started by zelio_start_xvfb, if any.

ZELIO_XVFB_PID=""

zelio_start_xvfb() {
    local dir num=""
    if ! command -v Xvfb >/dev/null 2>&1; then
        echo "Xvfb is not installed (package xvfb)" >&2
        return 1
    fi
    dir="$(mktemp -d)"
    mkfifo "$dir/displayfd"
    # Xvfb writes the display number to the fd once it accepts connections.
    Xvfb -displayfd 3 -screen 0 "${ZELIO_XVFB_SCREEN:-1024x768}x24" -nolisten tcp \
        3>"$dir/displayfd" >/dev/null 2>&1 &
    ZELIO_XVFB_PID=$!
    read -r -t 30 num <"$dir/displayfd" || true
    rm -rf "$dir"
    if [[ -z "$num" ]]; then
        echo "Xvfb did not start" >&2
        kill "$ZELIO_XVFB_PID" 2>/dev/null || true
        ZELIO_XVFB_PID=""
        return 1
    fi
    export DISPLAY=":$num"
}

zelio_stop_xvfb() {
    if [[ -n "$ZELIO_XVFB_PID" ]]; then
        kill "$ZELIO_XVFB_PID" 2>/dev/null || true
        wait "$ZELIO_XVFB_PID" 2>/dev/null || true
        ZELIO_XVFB_PID=""
    fi
}
