#!/usr/bin/env bash
# Checks that every function the given programs import directly (bound when
# Windows loads them) is one that Windows Vista's DLLs export: each must be
# listed in scripts/vista-imports.txt, which says how an entry is admitted.
# The imports are read from each program's import table (objdump -p of its
# own architecture); a program with delay-loaded imports is refused outright.
# Usage: scripts/check-imports.sh [--unused] PROGRAM.exe...
#   --unused  also name the listed functions that none of the programs imports
# Exits 1 when any import is not listed, naming the program, DLL and function.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
list="$here/scripts/vista-imports.txt"
unused=0
if [ "${1:-}" = --unused ]; then
    unused=1
    shift
fi
[ $# -gt 0 ] || { echo "usage: scripts/check-imports.sh [--unused] PROGRAM.exe..." >&2; exit 2; }

failed=0
fail() { echo "check-imports: $*" >&2; failed=1; }

# The list's entries, sorted; a line that is no DLL!Function fails the check.
allowed=$(mktemp)
seen=$(mktemp)
trap 'rm -f "$allowed" "$seen"' EXIT
bad=$(grep -nvE '^(#.*)?$|^[A-Z0-9_-]+\.DLL!([A-Za-z_?@$][A-Za-z0-9_?@$]*|#[0-9]+)$' "$list" || true)
[ -z "$bad" ] || fail "scripts/vista-imports.txt: not a DLL!Function line: $bad"
grep -E '^[A-Z0-9_-]+\.DLL!' "$list" | LC_ALL=C sort -u >"$allowed"

# Direct imports of one program, DLL!Function a line (the DLL in capitals,
# DLL!#ORDINAL for an import by ordinal only). objdump lists each DLL as
# "DLL Name: X" and then one line per function: address, hint, name.
imports() {
    "$1" -p "$2" | awk '
        /^[^ \t]/ { inTables = ($0 ~ /^The Import Tables/); dll = ""; next }
        !inTables { next }
        /^\tDLL Name: / { dll = toupper($3); next }
        dll != "" && /^\t[0-9a-fA-F]+\t/ {
            n = split($0, f, /[ \t]+/)
            # f[1] is empty (the leading tab), f[2] the entry, f[3] the hint, f[4] the name.
            if (n >= 4 && f[4] != "<none>") { print dll "!" f[4]; next }
            # By ordinal: the low 16 bits of the entry (objdump prints the
            # ordinal itself in decimal for one architecture, in hex for the other).
            hex = tolower(substr(f[2], length(f[2]) - 3)); ordinal = 0
            for (i = 1; i <= length(hex); ++i) ordinal = ordinal * 16 + index("0123456789abcdef", substr(hex, i, 1)) - 1
            print dll "!#" ordinal
        }' | LC_ALL=C sort -u
}

for program in "$@"; do
    name=${program#"$here"/}
    [ -f "$program" ] || { fail "$name: no such program"; continue; }
    objdump=x86_64-w64-mingw32-objdump
    if x86_64-w64-mingw32-objdump -f "$program" | grep -q 'file format pei-i386'; then
        objdump=i686-w64-mingw32-objdump
    fi
    # Data directory entry 13 gives the delay-load table's address and size.
    if "$objdump" -p "$program" | grep -E '^Entry d ' | grep -vqE '^Entry d 0+ 0+ '; then
        fail "$name: has delay-loaded imports, which this check does not read"
    fi
    found=$(imports "$objdump" "$program")
    if [ -z "$found" ]; then
        fail "$name: no imports read (objdump's output not understood)"
        continue
    fi
    printf '%s\n' "$found" >>"$seen"
    while IFS= read -r entry; do
        fail "$name imports ${entry#*!} from ${entry%%!*}, which is not in scripts/vista-imports.txt: Windows Vista's ${entry%%!*} may not export it"
    done < <(LC_ALL=C comm -23 <(printf '%s\n' "$found") "$allowed")
done

if [ "$unused" -eq 1 ] && [ "$failed" -eq 0 ]; then
    LC_ALL=C sort -u -o "$seen" "$seen"
    while IFS= read -r entry; do
        echo "check-imports: note: no program imports $entry any more: remove it from scripts/vista-imports.txt" >&2
    done < <(LC_ALL=C comm -13 "$seen" "$allowed")
fi
[ "$failed" -eq 0 ] || exit 1
echo "check-imports: every import of $# program(s) is in scripts/vista-imports.txt"
