#!/usr/bin/env bash
# Checks the release archives that scripts/package.sh writes: each holds exactly
# its five files with matching checksums and programs of its own architecture
# that import nothing newer than Windows Vista (scripts/check-imports.sh), and
# a copy of the same sources in another folder, built from nothing, packs into
# the same bytes. Run by scripts/test.sh; everything stays in
# build/pkg-check, removed again when the check passes.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
check="$here/build/pkg-check"
rm -rf "$check"
mkdir -p "$check/src"
# The linker would stamp SOURCE_DATE_EPOCH into the programs and so hide a link
# time that gets in: both packagings take their archive time from the same last
# commit instead (the copy lies inside this checkout, so git finds it there too).
unset SOURCE_DATE_EPOCH

start=$(date +%s)
scripts/package.sh "$check/first" >/dev/null
# Another source and build path, and no earlier build to reuse.
tar -C "$here" --exclude=./build --exclude=./dist --exclude=./out --exclude=./.git -cf - . | tar -C "$check/src" -xf -
"$check/src/scripts/package.sh" "$check/second" >/dev/null

version=$(sed -n 's/^#define MOPWRIGHT_VERSION_STRING "\(.*\)"$/\1/p' build/pkg-x64/generated/MopwrightVersion.h)
expected_names="mopwright-$version-win32.zip mopwright-$version-win64.zip"
expected_entries=$'mopwright.exe\nmopwright-cli.exe\nREADME.md\nLICENSE\nSHA256SUMS'
failed=0
fail() { echo "check-package: $*" >&2; failed=1; }

programs=()
[ "$(cd "$check/first" && echo *)" = "$expected_names" ] || fail "archives are $(cd "$check/first" && echo *), expected $expected_names"
for zip in "$check"/first/*.zip; do
    name=$(basename "$zip")
    case "$name" in *-win32.zip) format=pei-i386 ;; *) format=pei-x86-64 ;; esac
    [ "$(unzip -Z1 "$zip")" = "$expected_entries" ] || fail "$name holds: $(unzip -Z1 "$zip" | tr '\n' ' ')"
    unpacked="$check/unpacked/$name"
    mkdir -p "$unpacked"
    unzip -q "$zip" -d "$unpacked"
    (cd "$unpacked" && sha256sum --quiet -c SHA256SUMS) || fail "$name: SHA256SUMS does not match its files"
    for exe in mopwright.exe mopwright-cli.exe; do
        x86_64-w64-mingw32-objdump -f "$unpacked/$exe" | grep -q "file format $format" || fail "$name: $exe is not $format"
        programs+=("$unpacked/$exe")
    done
    cmp "$zip" "$check/second/$name" || fail "$name differs when built again from a copy of the sources"
done

# Both programs of both archives start on Windows Vista: nothing newer imported directly.
scripts/check-imports.sh --unused "${programs[@]}" || fail "the programs import functions that are not in scripts/vista-imports.txt (above)"

if [ "$failed" -ne 0 ]; then
    echo "check-package: FAILED (left in $check)" >&2
    exit 1
fi
rm -rf "$check"
echo "check-package: both archives as expected and reproducible ($(( $(date +%s) - start )) s)"
