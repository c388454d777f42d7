#!/usr/bin/env bash
# startup.sh WINE_RUN ZIP: the portable zip, unpacked as onto a USB stick;
# its kuaidi.exe under Wine, on a virtual display the size of the smallest
# screen it must fit (1366 x 768: the display given, or one of its own),
# opens the calculator on a new database in a Chinese folder and ends once
# its window is shown (--quit-after-start
# prints "mapped <kB>"); its kuaidi-cli.exe, given no database, keeps one
# beside itself. Neither finds a DLL outside the folder (Wine is run without
# the SDK on its path), and every DLL in the folder is loaded by one of them
# or, for the curve window's chart kuaidi-chart.dll (loaded when the window
# first draws), imported by it (read with OBJDUMP): the folder holds exactly
# what the programs need.
set -euo pipefail
wine_run=$1
zip=$2
objdump=$3
if [ ! -f "$zip" ]; then
    echo "no $zip: make windows first" >&2
    exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/usb"
unzip -q "$zip" -d "$work/usb"
folder=$(echo "$work"/usb/kuaidi-*-win64)
export WINEPREFIX=${WINEPREFIX:-$HOME/.cache/kuaidi-windows-sdk/wineprefix}
export WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEPATH QT_PLUGIN_PATH
# The SDK's runner makes the Wine prefix (with the Chinese fonts) on first use.
"$wine_run" cmd /c exit >/dev/null 2>&1 || true
wine=$(command -v wine64 || command -v wine)

mkdir "$work/运费数据"
db="Z:$work/运费数据/快递.db"
# Wine's desktop is opened on the display of the first Wine program of the
# prefix: the suites run beside this one share it (make test-windows runs
# them all on one virtual display).
display=()
[ -n "${DISPLAY:-}" ] || display=(xvfb-run -a -s "-screen 0 1366x768x24")
WINEDEBUG=+loaddll timeout 240 "${display[@]}" \
    "$wine" "$folder/kuaidi.exe" --db "$db" --quit-after-start >"$work/out" 2>"$work/gui.log" || true
cat "$work/out"
if ! grep -q '^mapped [0-9]' "$work/out"; then
    echo "kuaidi.exe did not show its window; its messages:" >&2
    grep -v ':loaddll:' "$work/gui.log" >&2 || true
    exit 1
fi
[ -f "$work/运费数据/快递.db" ] || { echo "no database made in the Chinese folder" >&2; exit 1; }
WINEDEBUG=+loaddll "$wine" "$folder/kuaidi-cli.exe" create 圆通快递 "$folder/samples/圆通快递.csv" \
    >"$work/cli.out" 2>"$work/cli.log" ||
    { echo "kuaidi-cli.exe failed:" >&2; grep -v ':loaddll:' "$work/cli.log" >&2; exit 1; }
[ -f "$folder/kuaidishuju.db" ] || { echo "the portable kuaidi-cli.exe kept no database beside itself" >&2; exit 1; }

# The DLLs loaded ("Loaded L"Z:\\...\\x.dll" at ...: native"), but Windows'
# own (Wine's, in C:\windows). Wine may stand in for one of ours with a
# builtin of its own name (zlib1.dll): it still counts as loaded from where
# the program found it.
sed -n 's/.*:loaddll:.*Loaded L"\(.*\)" at .*: \(native\|builtin\).*/\1/p' "$work/gui.log" "$work/cli.log" |
    sed 's/\\\\/\//g' | grep -iv '\.exe$' | grep -iv '^c:/windows/' | sort -u >"$work/loaded"
folderWindows=$(printf 'Z:%s' "$folder" | tr '[:upper:]' '[:lower:]')
outside=$(tr '[:upper:]' '[:lower:]' <"$work/loaded" | grep -v "^$folderWindows/" || true)
if [ -n "$outside" ]; then
    echo "loaded from outside the folder:" >&2
    echo "$outside" >&2
    exit 1
fi
(cd "$folder" && find . -iname '*.dll' | sed 's|^\./||' | tr '[:upper:]' '[:lower:]' | sort) >"$work/shipped"
tr '[:upper:]' '[:lower:]' <"$work/loaded" | sed "s|^$folderWindows/||" >"$work/used"
# The chart module and what it imports, in turn, from the folder (names
# without regard to case, as Windows finds them).
queue=(kuaidi-chart.dll)
while [ ${#queue[@]} -gt 0 ]; do
    dll=${queue[0]}
    queue=("${queue[@]:1}")
    file=$(find "$folder" -maxdepth 1 -iname "$dll" | head -1)
    [ -n "$file" ] || { echo "no $dll in the folder" >&2; exit 1; }
    echo "$dll" >>"$work/used"
    for import in $("$objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]'); do
        if [ -n "$(find "$folder" -maxdepth 1 -iname "$import")" ] && ! grep -qx "$import" "$work/used"; then
            queue+=("$import")
        fi
    done
done
sort -u -o "$work/used" "$work/used"
unused=$(comm -23 "$work/shipped" "$work/used")
if [ -n "$unused" ]; then
    echo "in the folder but never loaded:" >&2
    echo "$unused" >&2
    exit 1
fi
echo "$(wc -l <"$work/shipped") DLLs in the folder, each loaded; none from elsewhere"
