#!/usr/bin/env bash
# Builds the x86_64 benchmark and runs it under wine64 on a generated solution
# tree. Arguments go to the benchmark, e.g. scripts/bench.sh --projects 50.
# Prints a table and one JSON line. With MW_DELETER=double it runs in a prefix
# of its own whose shell file operation is the tests' double, so that the
# clean-up and its restore go through IFileOperation as on Windows.
set -euo pipefail
. "$(dirname "$0")/setup.sh"

build=build/bench
mw_configure "$build" x86_64 -DMOPWRIGHT_TESTS=ON >/dev/null
targets=(--target mopwright-bench)
[ "${MW_DELETER:-}" = double ] && targets+=(--target mw_fileop_double)
cmake --build "$build" -j "$(nproc)" "${targets[@]}" >/dev/null

# A prefix and a trash of its own (emptied: the restore looks through it);
# the generated tree lives beside it.
if [ "${MW_DELETER:-}" = double ]; then
    mw_wine_env "$here/$build/wine-double" null
else
    mw_wine_env "$here/$build/wine" null
fi
mw_wine_prefix
mw_wine_warm
[ "${MW_DELETER:-}" = double ] && mw_double_register "$here/$build/tests/double/mw_fileop_double.dll"
rm -rf "$XDG_DATA_HOME/Trash"
mkdir -p "$XDG_DATA_HOME/Trash/files" "$XDG_DATA_HOME/Trash/info"
work="$here/$build/tree"
mkdir -p "$work"
trap 'rm -rf "$work" "$XDG_DATA_HOME/Trash"; "$MW_WINESERVER" -k >/dev/null 2>&1 || true' EXIT
"$MW_WINE" "$build/bench/mopwright-bench.exe" --root "$(mw_winpath "$work")" "$@"
