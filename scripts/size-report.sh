#!/usr/bin/env bash
# Sizes and imports of the shipped programs and packages, against the budget
# (a report, not a test):
#
#   scripts/size-report.sh [--build] [BUILD_DIR...]
#
# BUILD_DIR defaults to build/mingw-release and build/linux-release; --build
# configures and builds those presets (and runs cpack) first. For each program:
# its size, the budget where there is one (zelio.exe and zelioctl.exe: 600 KB),
# and the DLLs / shared libraries it imports; a Windows program must import
# only system DLLs. Then the packages in BUILD_DIR/packages. Exits with 1 when
# something is over budget or imports a DLL that is not part of Windows.
set -uo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUDGET_KB=600
# DLLs every Windows installation has.
SYSTEM_DLLS=" advapi32.dll comctl32.dll comdlg32.dll gdi32.dll hid.dll kernel32.dll msvcrt.dll ole32.dll
 oleaut32.dll setupapi.dll shell32.dll shlwapi.dll user32.dll uxtheme.dll version.dll winmm.dll ws2_32.dll
 bcrypt.dll ntdll.dll ucrtbase.dll "

build=0
dirs=()
for arg in "$@"; do
    case "$arg" in
        --build) build=1 ;;
        -h|--help) sed -n '2,12p' "$0"; exit 0 ;;
        *) dirs+=("$arg") ;;
    esac
done
if [[ ${#dirs[@]} -eq 0 ]]; then
    dirs=("$ROOT/build/mingw-release" "$ROOT/build/linux-release")
fi

if [[ $build -eq 1 ]]; then
    for dir in "${dirs[@]}"; do
        preset="$(basename "$dir")"
        (cd "$ROOT" && cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j2 >/dev/null &&
            cd "$dir" && cpack >/dev/null) || { echo "building $preset failed" >&2; exit 1; }
    done
fi

bad=0
kb() { awk -v b="$1" 'BEGIN { printf "%.0f", b / 1024 }'; }

report_program() {
    local file="$1" name size budget imports verdict=""
    name="$(basename "$file")"
    size=$(stat -c %s "$file")
    budget="-"
    if [[ "$name" == zelio.exe || "$name" == zelioctl.exe ]]; then
        budget="${BUDGET_KB} KB"
        if [[ $size -gt $((BUDGET_KB * 1024)) ]]; then
            verdict=" OVER BUDGET"
            bad=1
        fi
    fi
    if [[ "$name" == *.exe || "$name" == *.dll ]]; then
        imports="$(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' ')"
        local dll
        for dll in $imports; do
            if [[ "$SYSTEM_DLLS" != *" ${dll,,} "* ]]; then
                verdict+=" NON-SYSTEM IMPORT $dll"
                bad=1
            fi
        done
    else
        imports="$(readelf -d "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ')"
    fi
    printf '  %-16s %9d bytes %5s KB  budget %-7s%s\n      imports: %s\n' \
        "$name" "$size" "$(kb "$size")" "$budget" "$verdict" "$imports"
}

for dir in "${dirs[@]}"; do
    if [[ ! -d "$dir" ]]; then
        echo "$dir: not built (cmake --preset $(basename "$dir") && cmake --build --preset $(basename "$dir"))"
        continue
    fi
    echo "$dir"
    shopt -s nullglob
    for file in "$dir"/zelio.exe "$dir"/zelio-demo.exe "$dir"/zelioctl.exe "$dir"/zelioctl "$dir"/*.dll "$dir"/lib*.so.*; do
        [[ -f "$file" && ! -L "$file" ]] && report_program "$file"
    done
    for file in "$dir"/packages/*.exe "$dir"/packages/*.zip "$dir"/packages/*.deb; do
        printf '  %-28s %9d bytes %5s KB\n' "packages/$(basename "$file")" "$(stat -c %s "$file")" "$(kb "$(stat -c %s "$file")")"
        if [[ "$file" == *.exe ]]; then
            printf '      imports: %s\n' "$(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' ')"
        elif [[ "$file" == *.deb ]]; then
            printf '      Depends: %s\n' "$(dpkg-deb -f "$file" Depends)"
        fi
    done
    shopt -u nullglob
done
exit $bad
