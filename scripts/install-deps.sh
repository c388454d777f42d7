#!/usr/bin/env bash
# Installs the Debian packages needed to build, run and test the program.
# Safe to run again: packages already present are left alone.
#
# --windows also readies the Windows cross-build (make windows): MinGW-w64,
# Wine, NSIS, a Chinese locale for Wine, and the Windows SDK in
# ~/.cache/kuaidi-windows-sdk/6.4.2 (where the windows preset looks), unpacked from the
# prebuilt archive in shared/toolchains beside the project, or built there by
# its script (about an hour on two cores) when the archive is absent.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

windows=false
[ "${1:-}" = --windows ] && windows=true

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
if $windows; then
    # The SDK's script builds with these too, should it have to.
    packages+=(
        g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
        wine wine64 nsis zstd unzip locales
        qt6-base-dev-tools tcl dpkg-dev xz-utils
    )
fi

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
$windows || exit 0

# Wine takes the Windows code page from the locale: zh_CN.UTF-8 makes it a
# Chinese Windows (code page 936), for the tests that need one.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
    "${sudo[@]}" localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi

sdk=$HOME/.cache/kuaidi-windows-sdk/6.4.2
toolchains=${KUAIDI_TOOLCHAINS:-$root/../shared/toolchains}
archive=$toolchains/kuaidi-windows-sdk-6.4.2.tar.zst
if [ -f "$sdk/share/kuaidi-windows-sdk/stamps/finish.done" ]; then
    exit 0
fi
if [ -f "$archive" ]; then
    echo "Unpacking the Windows SDK into $(dirname "$sdk")"
    mkdir -p "$(dirname "$sdk")"
    tar -C "$(dirname "$sdk")" --zstd -xf "$archive"
elif [ -x "$toolchains/build-windows-sdk.sh" ]; then
    echo "No prebuilt Windows SDK at $archive: building it (about an hour)"
    "$toolchains/build-windows-sdk.sh" "$sdk"
else
    echo "Neither the Windows SDK archive nor its build script is in $toolchains (KUAIDI_TOOLCHAINS)" >&2
    exit 1
fi
