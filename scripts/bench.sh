#!/usr/bin/env bash
# Builds the x86_64 benchmark and runs it under wine64 on a generated solution
# tree. Arguments go to the benchmark, e.g. scripts/bench.sh --projects 50.
# Prints a table and one JSON line. With MW_DELETER=double it runs in a prefix
# of its own whose shell file operation is the tests' double, so that the
# clean-up and its restore go through IFileOperation as on Windows.
#
# The tree lies in a git repository in which every source file is tracked,
# with more tracked files beside the solution up to 100,000 index entries, so
# that planning reads a real index of that size; planning without it
# (--include-tracked) is measured too. A second repository's index of 400,000
# entries, made without files, is read on its own.
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
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work" "$XDG_DATA_HOME/Trash"; "$MW_WINESERVER" -k >/dev/null 2>&1 || true' EXIT
bench=("$MW_WINE" "$build/bench/mopwright-bench.exe" --root "$(mw_winpath "$work")")

"${bench[@]}" --generate-only "$@"

# The repository: $work holds the solution folder Bench and the padding.
export GIT_AUTHOR_NAME=bench GIT_AUTHOR_EMAIL=bench@example.com
export GIT_COMMITTER_NAME=bench GIT_COMMITTER_EMAIL=bench@example.com GIT_CONFIG_NOSYSTEM=1
indexed=100000
(
    cd "$work"
    git init -q .
    git config core.ignorecase true
    # Sources only: the generated .g.cs files in obj are build output.
    find Bench \( -name obj -o -name bin -o -name x64 -o -name .vs \) -prune -o -type f \( -name '*.cpp' -o -name '*.h' \
        -o -name '*.cs' -o -name '*.vcxproj' -o -name '*.filters' -o -name '*.csproj' -o -name '*.sln' -o -name '*.md' \) \
        -print0 | git update-index --add -z --stdin
    sources=$(git ls-files | wc -l)
    for ((d = sources / 500; d <= (indexed - 1) / 500; d++)); do mkdir -p "vendor/lib$d"; done
    for ((i = sources; i < indexed; i++)); do
        printf '%d\n' "$i" >"vendor/lib$((i / 500))/part$i.h"
    done
    [ "$sources" -lt "$indexed" ] && git add vendor
    git commit -qm bench
    echo "repository: $sources source files of the solution tracked, $(git ls-files | wc -l) index entries" >&2
)

# An index of 400,000 entries (object names only: no files behind them).
big="$work/big"
git init -q "$big"
blob=$(git -C "$big" hash-object -w --stdin </dev/null)
awk -v blob="$blob" 'BEGIN {
    for (i = 0; i < 400000; i++)
        printf "100644 %s\tsrc/module%03d/component%02d/source%06d.cpp\n", blob, i / 2000, (i / 100) % 20, i
}' | git -C "$big" update-index --add --index-info

# What generating the tree and the repositories wrote reaches the disk first,
# so that its write-back does not slow the first walks measured. Then the
# tree rests: on this machine every walk runs up to 40% faster for some ten
# seconds after the tree and its repositories were written (the same walk
# 0.6 s, then 1.0 s from then on), and whichever measure ran first took that.
# A tree a developer cleans was written longer ago.
sync
sleep 20
"${bench[@]}" --reuse --big-index "$(mw_winpath "$big/.git/index")" "$@"
