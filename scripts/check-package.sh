#!/usr/bin/env bash
# Checks the Debian package a build made (`make package`): its desktop entry
# and AppStream data validate, lintian finds no error, and the programs it
# holds run from an extracted copy.
set -euo pipefail
build=${1:?usage: check-package.sh BUILD_DIR}
root=$(cd "$(dirname "$0")/.." && pwd)
debs=("$build"/kuaidi_*.deb)
deb=${debs[-1]}
[ -f "$deb" ] || { echo "no package in $build" >&2; exit 1; }
echo "== $deb"
dpkg-deb --field "$deb" Package Version Architecture Section Maintainer Depends

files=$(mktemp -d)
trap 'rm -rf "$files"' EXIT
dpkg-deb -x "$deb" "$files"

echo "== desktop entry and AppStream data"
desktop-file-validate "$files/usr/share/applications/com.vantor.kuaidi.desktop"
appstreamcli validate --no-net "$files/usr/share/metainfo/com.vantor.kuaidi.metainfo.xml"
for size in 48x48 128x128 256x256 scalable; do
    ls "$files/usr/share/icons/hicolor/$size/apps/"com.vantor.kuaidi.*
done

echo "== lintian (warnings accepted are listed in the README)"
# Running as root is fine for a read-only look at a package.
lintian --fail-on error --allow-root --tag-display-limit 0 "$deb"

echo "== the extracted programs"
bin=$files/usr/bin
version=$(sed -n 's/^project(kuaidi VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ "$("$bin/kuaidi-cli" --version)" = "kuaidi-cli $version" ]
# The changelog's newest entry is the version being packaged.
[ "$(sed -n '1s/^kuaidi (\([^)]*\)).*/\1/p' "$root/packaging/changelog")" = "$version" ]
manual=$(zcat "$files/usr/share/man/man1/kuaidi.1.gz" | sed -n 1p)
[[ $manual == *"\"kuaidi $version\""* ]]
# No display is needed to ask for the version.
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$bin/kuaidi" --version)" = "kuaidi $version" ]
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$bin/kuaidi-editor" --version)" = "kuaidi-editor $version" ]
db=$files/sample.db
"$bin/kuaidi-cli" --db "$db" create 圆通快递 "$files/usr/share/kuaidi/samples/圆通快递.csv" >/dev/null
# (Not through tee /dev/stderr: reopening a log file that stderr goes to
# would empty it.)
"$bin/kuaidi-cli" --db "$db" quote 南京 2 >"$files/quote.txt"
cat "$files/quote.txt"
grep -q '^圆通快递' "$files/quote.txt"
# Access databases, through the helper the package installs.
[ "$("$bin/kuaidi-cli" read "$root/tests/data/access/ucanaccess_charsetGBK.mdb")" = "$(printf 'ID\tfield1\n2\tGBK编码')" ]
QT_QPA_PLATFORM=offscreen "$bin/kuaidi" --db "$db" --quit-after-start | grep -q '^mapped '
# The curve window's chart, which the calculator loads when it first draws.
ls "$files"/usr/libexec/kuaidi/kuaidi-chart.so
echo "package checks passed"
