#!/usr/bin/env bash
# Runs a Windows program under Wine with a private prefix per build directory.
#
#   wine-run.sh [--build-dir DIR] [--dpi N] PROGRAM.exe [ARGS...]
#   wine-run.sh --build-dir DIR [--dpi N] --init      (only create the prefix)
#
# The prefix lives in DIR/wineprefix (DIR defaults to the program's directory);
# with --dpi N other than 96 it is DIR/wineprefix-dpiN, whose display scaling
# (LogPixels) is N.
# It is created once, under a lock, so parallel callers never race on it:
# 64-bit, Mono/Gecko installers disabled, and the Korean UI face names
# mapped onto an installed Nanum font so Hangul text renders.
#
# When DISPLAY is unset an Xvfb server is started for the duration of the
# program and stopped afterwards. With ZELIO_WINE_TIMEOUT=<seconds> the
# program (and whatever it started in the prefix) is ended after that time.
set -euo pipefail

build_dir=""
init_only=0
dpi=96
while [[ $# -gt 0 ]]; do
    case "$1" in
        --build-dir) build_dir="$2"; shift 2 ;;
        --dpi) dpi="$2"; shift 2 ;;
        --init) init_only=1; shift ;;
        --) shift; break ;;
        *) break ;;
    esac
done

if [[ $init_only -eq 0 && $# -lt 1 ]]; then
    echo "usage: wine-run.sh [--build-dir DIR] PROGRAM [ARGS...]" >&2
    exit 2
fi
if [[ -z "$build_dir" ]]; then
    if [[ $init_only -eq 1 ]]; then
        echo "wine-run.sh: --init needs --build-dir" >&2
        exit 2
    fi
    build_dir="$(cd "$(dirname "$1")" && pwd)"
fi
mkdir -p "$build_dir"
build_dir="$(cd "$build_dir" && pwd)"

[[ "$dpi" =~ ^[0-9]+$ ]] || { echo "wine-run.sh: --dpi needs a number" >&2; exit 2; }
prefix_name=wineprefix
[[ "$dpi" -ne 96 ]] && prefix_name="wineprefix-dpi$dpi"
export WINEPREFIX="$build_dir/$prefix_name"
export WINEARCH=win64
export WINEDEBUG="${ZELIO_WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree=;mshtml="

# ---- display ---------------------------------------------------------------
# shellcheck source=xvfb.sh
source "$(dirname "${BASH_SOURCE[0]}")/xvfb.sh"
cleanup() {
    if [[ -n "$ZELIO_XVFB_PID" ]]; then
        # Let the prefix's helper processes finish before their display goes.
        timeout 30 wineserver -w >/dev/null 2>&1 || wineserver -k >/dev/null 2>&1 || true
        zelio_stop_xvfb
    fi
}
trap cleanup EXIT

if [[ $init_only -eq 0 && -z "${DISPLAY:-}" ]]; then
    zelio_start_xvfb || exit 1
fi

# ---- prefix ----------------------------------------------------------------
# Pick the fixed-pitch Korean face when it is installed.
korean_font() {
    local f
    for f in "NanumGothicCoding" "NanumGothic" "NanumBarunGothic"; do
        if fc-list : family 2>/dev/null | tr ',' '\n' | grep -qx "$f"; then
            echo "$f"
            return
        fi
    done
}

# Bump when the prefix settings below change: older prefixes are rebuilt.
PREFIX_VERSION=3

init_prefix() {
    local marker="$WINEPREFIX/.zelio-prefix-v$PREFIX_VERSION"
    [[ -f "$marker" ]] && return 0
    (
        flock 9
        [[ -f "$marker" ]] && exit 0
        echo "wine-run.sh: creating Wine prefix $WINEPREFIX" >&2
        wineserver -k >/dev/null 2>&1 || true
        rm -rf "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1
        wineserver -w

        # Wine's own fonts (Tahoma, Marlett for the caption buttons, ...) are
        # not put into the prefix by this packaging of Wine; without them the
        # window frames and menus fall back to whatever fontconfig offers.
        local dir
        for dir in /usr/share/wine/fonts /usr/local/share/wine/fonts; do
            if [[ -d "$dir" ]]; then
                cp -n "$dir"/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
                break
            fi
        done

        # Windows are not handed to a window manager (Xvfb has none): Wine
        # draws their frames itself and does not wait for a manager's answer
        # each time a window is hidden or destroyed.
        local lines=('[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Managed"="N"' '')
        local font
        font="$(korean_font)"
        if [[ -n "$font" ]]; then
            lines+=('[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]'
                "\"굴림\"=\"$font\"" "\"Gulim\"=\"$font\""
                "\"굴림체\"=\"$font\"" "\"GulimChe\"=\"$font\"" '')
        else
            echo "wine-run.sh: no Nanum font found; Korean text will not render" >&2
        fi
        if [[ "$dpi" -ne 96 ]]; then
            local value
            value="$(printf 'dword:%08x' "$dpi")"
            lines+=('[HKEY_CURRENT_USER\Control Panel\Desktop]' "\"LogPixels\"=$value" ''
                '[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts]'
                "\"LogPixels\"=$value" '')
        fi
        local reg="$build_dir/$prefix_name-settings.reg"
        # regedit reads version 5 files as UTF-16LE with a byte-order mark.
        {
            printf '\xff\xfe'
            printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' "${lines[@]}" |
                iconv -f UTF-8 -t UTF-16LE
        } >"$reg"
        wine regedit /S "$(winepath -w "$reg" 2>/dev/null)" >/dev/null 2>&1
        wineserver -w
        touch "$marker"
    ) 9>"$build_dir/$prefix_name.lock"
}

init_prefix
[[ $init_only -eq 1 ]] && exit 0

status=0
if [[ -n "${ZELIO_WINE_TIMEOUT:-}" ]]; then
    # A program stuck (say, in a message box nobody answers) is ended, and so
    # is everything it started in the prefix: otherwise those processes would
    # keep the caller's output pipe open.
    timeout -k 10 "$ZELIO_WINE_TIMEOUT" wine "$@" || status=$?
    if [[ $status -eq 124 || $status -eq 137 ]]; then
        echo "wine-run.sh: $1 did not finish within $ZELIO_WINE_TIMEOUT s" >&2
        wineserver -k >/dev/null 2>&1 || true
    fi
else
    wine "$@" || status=$?
fi
exit $status
