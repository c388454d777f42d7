#!/usr/bin/env bash
# installer.sh SETUP_EXE: the installer, run silently (/S) in a new Wine
# prefix as a user without administrator rights would: the programs, the
# sample sheets, the Start-menu entry and the entry of the system's list of
# programs are there; the installed kuaidi-cli.exe keeps its database in
# %LOCALAPPDATA%\Vantor\kuaidi; the uninstaller takes everything of the
# program's away and leaves that database where it is.
set -euo pipefail
setup=$1
if [ ! -f "$setup" ]; then
    echo "no $setup: make windows first" >&2
    exit 1
fi
work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
wine=$(command -v wine64 || command -v wine)
"$wine" wineboot --init >/dev/null 2>&1
user=$(echo "$WINEPREFIX"/drive_c/users/*/AppData | head -n1)
user=${user%/AppData}
installed=$user/AppData/Local/Programs/kuaidi
entry="$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/快递费用计算器.lnk"
data=$user/AppData/Local/Vantor/kuaidi
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\kuaidi'
fail() {
    echo "$1" >&2
    exit 1
}

"$wine" "$setup" /S
wineserver -w
for file in kuaidi.exe kuaidi-cli.exe uninstall.exe Qt6Core.dll plugins/platforms/qwindows.dll samples/圆通快递.csv; do
    [ -f "$installed/$file" ] || fail "not installed: $file"
done
[ -f "$entry" ] || fail "no Start-menu entry 快递费用计算器"
"$wine" reg query "$key" /v UninstallString >/dev/null 2>&1 || fail "not in the list of programs"

# Installed, the program keeps its database in the user's data folder, not
# in its own (which this user may write).
"$wine" "$installed/kuaidi-cli.exe" create 圆通快递 "$installed/samples/圆通快递.csv" >/dev/null ||
    fail "the installed kuaidi-cli.exe could not create a template"
[ -f "$data/kuaidishuju.db" ] || fail "no database in %LOCALAPPDATA%\\Vantor\\kuaidi"
[ ! -e "$installed/kuaidishuju.db" ] || fail "the installed program kept its database beside itself"
before=$(sha256sum <"$data/kuaidishuju.db")

"$wine" "$installed/uninstall.exe" /S
wineserver -w # the uninstaller runs on as a copy of itself
[ ! -e "$installed" ] || fail "left behind: $(cd "$installed" && find . -type f | head -5)"
[ ! -e "$entry" ] || fail "the Start-menu entry is left"
! "$wine" reg query "$key" >/dev/null 2>&1 || fail "still in the list of programs"
[ -f "$data/kuaidishuju.db" ] || fail "the uninstaller removed the seller's database"
[ "$(sha256sum <"$data/kuaidishuju.db")" = "$before" ] || fail "the uninstaller changed the seller's database"
echo "installed, used and uninstalled; the database stays"
