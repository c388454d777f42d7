#!/usr/bin/env bash
# Installs the Debian packages needed to build, run and test the program.
# Safe to run again: packages already present are left alone.
set -euo pipefail

packages=(
    build-essential cmake ninja-build ccache pkg-config git
    clang-format clang-tidy clang-14 libfuzzer-14-dev libclang-rt-14-dev
    qt6-base-dev qt6-charts-dev libqt6sql6-sqlite qt6-webengine-dev libgl-dev qt6-translations-l10n
    qt6-websockets-dev chromium
    libsqlite3-dev libzip-dev zlib1g-dev mdbtools-dev
    libqt6sql6-psql libpq-dev postgresql-15
    libbenchmark-dev
    fonts-wqy-microhei
    xvfb xauth
    file lintian desktop-file-utils appstream
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
