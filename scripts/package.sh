#!/usr/bin/env bash
# Builds both programs for release and writes the archives people download:
# dist/mopwright-<version>-win32.zip (i686) and -win64.zip (x86_64), each with
# mopwright.exe, mopwright-cli.exe, README.md, LICENSE and SHA256SUMS.
# The same sources give the same bytes: the programs carry no link time and no
# build path, and every archive entry has a fixed time, order and mode.
# Usage: scripts/package.sh [OUTDIR]   (default: dist)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
. scripts/deps.sh
mw_install_deps

mkdir -p "${1:-dist}"
out="$(cd "${1:-dist}" && pwd)"
jobs=$(nproc 2>/dev/null || echo 2)
# Time of every archive entry: SOURCE_DATE_EPOCH when given, else the last commit's.
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 1704067200)}
files=(mopwright.exe mopwright-cli.exe README.md LICENSE)

for target in i686:win32 x86_64:win64; do
    arch=${target%%:*} os=${target##*:}
    dir="build/pkg-${arch/x86_64/x64}"
    # Release programs go out stripped: no symbols or runtime debug data to download.
    mw_configure "$dir" "$arch" -DMOPWRIGHT_TESTS=OFF -DCMAKE_EXE_LINKER_FLAGS=-s >/dev/null
    cmake --build "$dir" -j "$jobs" --target mopwright mopwright-cli >/dev/null
    version=$(sed -n 's/^#define MOPWRIGHT_VERSION_STRING "\(.*\)"$/\1/p' "$dir/generated/MopwrightVersion.h")
    [ -n "$version" ] || { echo "No version in $dir/generated/MopwrightVersion.h" >&2; exit 1; }

    stage="$dir/package"
    rm -rf "$stage"
    mkdir -p "$stage"
    cp "$dir/app/mopwright.exe" "$dir/cli/mopwright-cli.exe" README.md LICENSE "$stage/"
    (cd "$stage" && sha256sum "${files[@]}" > SHA256SUMS)
    chmod 0644 "$stage"/*
    touch -d "@$epoch" "$stage"/*

    zip="$out/mopwright-$version-$os.zip"
    rm -f "$zip"   # zip would add to an old archive rather than replace it
    # -X leaves out owner ids and access times; zip writes local times, so UTC.
    (cd "$stage" && TZ=UTC zip -X -D -q -9 "$zip" "${files[@]}" SHA256SUMS)
    echo "$zip"
done
