#!/usr/bin/env bash
# Installs what is missing, builds both targets (x86_64 with its tests, i686
# release) and runs every test under wine64. Exits non-zero on any failure.
set -euo pipefail
. "$(dirname "$0")/setup.sh"

# Every include points down the layers, and none runs in a circle.
scripts/check-layers.sh

jobs=$(nproc 2>/dev/null || echo 2)
mw_configure build/x64 x86_64 -DMOPWRIGHT_TESTS=ON
mw_configure build/i686 i686 -DMOPWRIGHT_TESTS=OFF
cmake --build build/x64 -j "$jobs"
cmake --build build/i686 -j "$jobs"

# Two Wine prefixes, each created once, each with a wine server kept alive so
# that no test program pays Wine's start-up on its own: today's (wine), and the
# one in which the shell's file operation is the tests' double (wine-double,
# for the NAME_double tests, MW_DELETER=double).
prefixes=()
trap 'for p in "${prefixes[@]}"; do WINEPREFIX="$p" "$MW_WINESERVER" -k >/dev/null 2>&1 || true; done' EXIT
for root in "$here/build/x64/wine" "$here/build/x64/wine-double"; do
    mw_wine_env "$root" null
    prefixes+=("$WINEPREFIX")
    # The trash fills from run to run and every restore looks through it:
    # start each run with an empty one (never while a test program runs).
    rm -rf "$XDG_DATA_HOME/Trash/files" "$XDG_DATA_HOME/Trash/info"
    mkdir -p "$XDG_DATA_HOME/Trash/files" "$XDG_DATA_HOME/Trash/info"
    # Every clean-up writes a journal of its folder; the tests' folders do not outlive the run.
    rm -rf "$WINEPREFIX"/drive_c/users/*/AppData/Local/Mopwright
    mw_wine_prefix
    mw_wine_warm
done
mw_double_register "$here/build/x64/tests/double/mw_fileop_double.dll"

cd build/x64
ctest --output-on-failure -j "${MW_TEST_JOBS:-2}" "$@"

# The release archives: their contents, and the same bytes when built again.
"$here/scripts/check-package.sh"
