#!/usr/bin/env bash
# The Windows installer under Wine, silently, in the build directory's prefix:
#
#   nsis_install_test.sh BUILD_DIR PACKAGE_BASE
#
# PACKAGE_BASE is the packages' path without extension (.exe installer, .zip).
# Installs to C:\zelio-test, finds the programs, documents, Start menu
# shortcuts, the uninstall entry and the .kbd file type, starts the installed
# zelio.exe and closes its window, uninstalls, and finds nothing left. Prints
# the time of the silent install and uninstall.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build_dir="$(cd "$1" && pwd)"
installer="$2.exe"
zip="$2.zip"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
elapsed() {
    awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'
}

[[ -f "$installer" ]] || fail "no installer $installer"
[[ -f "$zip" ]] || fail "no zip $zip"
echo "installer: $installer ($(stat -c %s "$installer") bytes)"
echo "zip: $zip ($(stat -c %s "$zip") bytes)"

# ---- the zip holds the same programs ------------------------------------------
top="$(basename "$2")"
listing="$(cmake -E tar tf "$zip")"
for f in bin/zelio.exe bin/zelio-demo.exe bin/zelioctl.exe LICENSE README.md; do
    grep -qx "$top/$f" <<<"$listing" || fail "$f is not in the zip"
done

# ---- Wine ------------------------------------------------------------------------
# shellcheck source=../../cmake/xvfb.sh
source "$ROOT/cmake/xvfb.sh"
export WINEPREFIX="$build_dir/wineprefix"
cleanup() {
    # Whatever a failed step left running in the prefix.
    timeout 30 wineserver -w >/dev/null 2>&1 || wineserver -k >/dev/null 2>&1 || true
    zelio_stop_xvfb
}
trap cleanup EXIT
if [[ -z "${DISPLAY:-}" ]]; then
    zelio_start_xvfb || fail "no display"
fi
wine_run() {
    "$ROOT/cmake/wine-run.sh" --build-dir "$build_dir" "$@"
}
wine_run --init

win_dir='C:\zelio-test'
inst="$WINEPREFIX/drive_c/zelio-test"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\zelio'
# Start from a clean prefix: no copy from an earlier run.
rm -rf "$inst"
wine_run reg delete "$uninstall_key" /f >/dev/null 2>&1 || true
find_shortcuts() {
    find "$WINEPREFIX/drive_c/ProgramData" "$WINEPREFIX/drive_c/users" \
        -path '*/Start Menu/Programs/zelio' 2>/dev/null || true
}
find_shortcuts | while IFS= read -r dir; do rm -rf "$dir"; done

# ---- install -------------------------------------------------------------------
start=$(date +%s.%N)
wine_run "$installer" /S "/D=$win_dir" || fail "the installer exited with $?"
install_time=$(elapsed "$start")

# Outside Program Files: installed only with an access list of its own (which
# Wine does not keep, so it is not read back here).
for f in bin/zelio.exe bin/zelio-demo.exe bin/zelioctl.exe LICENSE README.md Uninstall.exe; do
    [[ -f "$inst/$f" ]] || fail "$f was not installed"
done
menu="$(find_shortcuts)"
[[ -n "$menu" ]] || fail "no Start menu folder 'zelio'"
for link in "zelio.lnk:bin\\zelio.exe" "zelio demo.lnk:bin\\zelio-demo.exe" "Uninstall.lnk:Uninstall.exe"; do
    name="${link%%:*}"
    target="$win_dir\\${link#*:}"
    [[ -f "$menu/$name" ]] || fail "no shortcut $name in $menu"
    strings -a -el "$menu/$name" | grep -qiF "$target" || strings -a "$menu/$name" | grep -qiF "$target" ||
        fail "shortcut $name does not point to $target"
done
entry="$(wine_run reg query "$uninstall_key" 2>/dev/null | tr -d '\r')" || fail "no uninstall entry $uninstall_key"
version="${top#zelio-}"
version="${version%-win64}"
grep -q "DisplayVersion *REG_SZ *${version//./\\.}\$" <<<"$entry" || fail "uninstall entry does not give version $version"
grep -q 'Publisher.*REG_SZ.*the zelio developers' <<<"$entry" || fail "uninstall entry names no publisher"
# .kbd files open in the installed zelio.exe.
kbd() { wine_run reg query "HKLM\\Software\\Classes\\$1" /ve 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p'; }
[[ "$(kbd .kbd) $(kbd 'zelio.kbd\shell\open\command')" == "zelio.kbd \"$win_dir\\bin\\zelio.exe\" \"%1\"" ]] ||
    fail ".kbd files do not open in zelio.exe: $(kbd .kbd) $(kbd 'zelio.kbd\shell\open\command')"

# ---- run the installed GUI, close its window -----------------------------------
# taskkill without /F posts WM_CLOSE to the process's windows; it fails while
# the program has none yet. Repeated: a first close may reach only a helper
# window.
wine_run "$inst/bin/zelio.exe" &
gui=$!
closed=0
deadline=$((SECONDS + 90))
while kill -0 "$gui" 2>/dev/null && [[ $SECONDS -lt $deadline ]]; do
    if wine_run taskkill /IM zelio.exe >/dev/null 2>&1; then
        closed=1
        for _ in 1 2 3 4 5 6 7 8 9 10; do
            kill -0 "$gui" 2>/dev/null || break
            sleep 0.5
        done
    else
        sleep 0.5
    fi
done
if kill -0 "$gui" 2>/dev/null; then
    wine_run taskkill /F /IM zelio.exe >/dev/null 2>&1 || true
    wait "$gui" || true
    fail "the installed zelio.exe did not close"
fi
status=0
wait "$gui" || status=$?
[[ $closed -eq 1 ]] || fail "the installed zelio.exe ended (status $status) before it had a window"
[[ $status -eq 0 ]] || fail "the installed zelio.exe exited with $status after closing"

# ---- uninstall -------------------------------------------------------------------
# The uninstaller copies itself to a temporary folder, starts the copy and
# returns: wait for the prefix to fall idle.
start=$(date +%s.%N)
wine_run "$inst/Uninstall.exe" /S || fail "the uninstaller exited with $?"
timeout 120 wineserver -w || fail "the uninstaller did not finish"
uninstall_time=$(elapsed "$start")

[[ ! -e "$inst" ]] || fail "left behind in $inst: $(cd "$inst" && find . -mindepth 1 | tr '\n' ' ')"
[[ -z "$(find_shortcuts)" ]] || fail "the Start menu folder is still there"
if wine_run reg query "$uninstall_key" >/dev/null 2>&1; then
    fail "the uninstall entry is still there"
fi
for key in .kbd zelio.kbd; do ! wine_run reg query "HKLM\\Software\\Classes\\$key" >/dev/null 2>&1 || fail "$key is still registered"; done

printf 'silent install %s s, silent uninstall %s s (under Wine, including its start-up)\n' \
    "$install_time" "$uninstall_time"
echo "nsis installer: installed, ran, uninstalled"
