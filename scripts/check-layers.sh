#!/usr/bin/env bash
# Checks the direction of every #include "..." in the sources: the engine's
# layers include only themselves and the layers below them, no folder includes
# one above it, and no file reaches itself through a circle of includes (a
# header and its source count as one). Prints each wrong include as
# FILE:LINE: and exits non-zero when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

# The folders from the bottom up; a folder may include those before it.
# The engine's layers, each below the next: git, records, planning, deciding,
# recycling, undo, running.
order="support engine/git engine/records engine/planning engine/deciding engine/recycling engine/undo engine/running framework cli ui app"

git ls-files -- 'support/*.h' 'support/*.cpp' 'engine/*.h' 'engine/*.cpp' 'framework/*.h' 'framework/*.cpp' \
    'cli/*.h' 'cli/*.cpp' 'ui/*.h' 'ui/*.cpp' 'app/*.h' 'app/*.cpp' |
    xargs awk -v order="$order" '
    function rank(path,    best, i, n) {
        best = -1
        for (i = 1; i <= count; i++) {
            n = length(folder[i])
            if (substr(path, 1, n + 1) == folder[i] "/") best = i
        }
        return best
    }
    function unit(path) { sub(/\.(h|cpp)$/, "", path); return path }
    BEGIN {
        count = split(order, folder, " ")
        # cli and the window are siblings: neither includes the other, nor
        # the framework the console.
        apart["cli", "framework"] = apart["cli", "ui"] = apart["ui", "cli"] = apart["app", "cli"] = 1
        bad = 0
    }
    FNR == 1 { from = rank(FILENAME) }
    /^[ \t]*#[ \t]*include[ \t]*"/ {
        target = $0
        sub(/^[^"]*"/, "", target); sub(/".*$/, "", target)
        if (index(target, "/") == 0) next   # generated or same-folder files
        to = rank(target)
        if (to < 0) next
        f = folder[from]; t = folder[to]
        if (to > from || ((f, t) in apart)) {
            printf "%s:%d: %s may not include %s\n", FILENAME, FNR, f, target
            bad = 1
        }
        u = unit(FILENAME); v = unit(target)
        if (u != v && !((u, v) in edge)) { edge[u, v] = 1; out[u] = out[u] " " v; where[u, v] = FILENAME ":" FNR }
    }
    function visit(u,    list, n, i, v) {
        state[u] = 1
        n = split(out[u], list, " ")
        for (i = 1; i <= n; i++) {
            v = list[i]
            if (state[v] == 1) { printf "%s: %s and %s include each other (a circle)\n", where[u, v], u, v; bad = 1 }
            else if (state[v] == 0) visit(v)
        }
        state[u] = 2
    }
    END {
        for (u in out) if (state[u] == 0) visit(u)
        exit bad
    }'
echo "includes: every one points down"
