#!/usr/bin/env bash
# Builds the x86_64 benchmark and runs it under wine64 on a generated solution
# tree. Arguments go to the benchmark, e.g. scripts/bench.sh --projects 50.
# Prints a table and one JSON line.
set -euo pipefail
. "$(dirname "$0")/setup.sh"

build=build/bench
mw_configure "$build" x86_64 -DMOPWRIGHT_TESTS=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target mopwright-bench >/dev/null

# A prefix and a trash of its own; the generated tree lives beside it.
mw_wine_env "$here/$build/wine" null
mw_wine_prefix
mw_wine_warm
work="$here/$build/tree"
mkdir -p "$work"
trap 'rm -rf "$work" "$XDG_DATA_HOME/Trash"; "$MW_WINESERVER" -k >/dev/null 2>&1 || true' EXIT
"$MW_WINE" "$build/bench/mopwright-bench.exe" --root "$(mw_winpath "$work")" "$@"
