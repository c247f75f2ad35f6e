#!/usr/bin/env bash
# Runs Mopwright under Wine on the given solution folders (Linux paths).
# With no folder it builds a sample solution with realistic build output in a
# temporary folder, cleans that, and shows what was removed and what stayed.
# Everything lives in build/run: the program, a Wine prefix, a HOME and the
# trash that Mopwright's Recycle Bin fills.
set -euo pipefail
. "$(dirname "$0")/setup.sh"

run_root="$here/build/run"
exe="$run_root/app/mopwright.exe"
mw_configure "$run_root" x86_64 -DMOPWRIGHT_TESTS=OFF >/dev/null
cmake --build "$run_root" --target mopwright -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

# A display: the user's, or a virtual one of our own for this run.
xvfb_pid=""
cleanup() {
    [ -n "${WINEPREFIX:-}" ] && "$MW_WINESERVER" -k >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    [ -n "${sample:-}" ] && rm -rf "$sample"
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 90 130); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
    done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    echo "Started Xvfb on $DISPLAY (no display was set)."
fi

mw_wine_env "$run_root/wine" x11
mw_wine_prefix
if [ -n "$xvfb_pid" ]; then
    # No window manager on a bare virtual display: let Wine draw the captions.
    "$MW_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1 || true
fi
trash="$XDG_DATA_HOME/Trash"

folders=("$@")
sample=""
if [ ${#folders[@]} -eq 0 ]; then
    sample="$(mktemp -d "${TMPDIR:-/tmp}/mopwright-sample.XXXXXX")"
    s="$sample/App"
    mkdir -p "$s/App/x64/Release/App.tlog" "$s/x64/Release" "$s/.vs/App/v17" \
             "$s/Lib.Net/bin/Debug/net8.0" "$s/Lib.Net/obj/Debug/net8.0" "$s/docs"
    printf 'Microsoft Visual Studio Solution File, Format Version 12.00\r\n# Visual Studio Version 17\r\n' > "$s/App.sln"
    printf '<?xml version="1.0" encoding="utf-8"?>\r\n<Project DefaultTargets="Build" ToolsVersion="17.0"/>\r\n' > "$s/App/App.vcxproj"
    printf '<?xml version="1.0" encoding="utf-8"?>\r\n<Project ToolsVersion="Current"/>\r\n' > "$s/App/App.vcxproj.user"
    printf '#include <cstdio>\r\nint main() { std::puts("App"); }\r\n' > "$s/App/main.cpp"
    head -c 65536 /dev/urandom > "$s/x64/Release/App.exe"
    head -c 131072 /dev/urandom > "$s/x64/Release/App.pdb"
    head -c 32768 /dev/urandom > "$s/App/x64/Release/main.obj"
    echo "Build started" > "$s/App/x64/Release/App.log"
    printf '^C:\\App\\App\\main.cpp\r\n' > "$s/App/x64/Release/App.tlog/CL.command.1.tlog"
    printf 'PlatformToolSet=v143\r\n' > "$s/App/x64/Release/App.tlog/App.lastbuildstate"
    head -c 4096 /dev/urandom > "$s/.vs/App/v17/.suo"
    printf '<Project Sdk="Microsoft.NET.Sdk"/>\r\n' > "$s/Lib.Net/Lib.Net.csproj"
    printf 'namespace Lib; public static class Greeter { }\r\n' > "$s/Lib.Net/Greeter.cs"
    head -c 8192 /dev/urandom > "$s/Lib.Net/bin/Debug/net8.0/Lib.Net.dll"
    head -c 4096 /dev/urandom > "$s/Lib.Net/obj/Debug/net8.0/Lib.Net.dll"
    echo '{}' > "$s/Lib.Net/obj/project.assets.json"
    # The design notes' build log is wanted: a do-not-delete file keeps it.
    echo "Design notes, kept with the sources." > "$s/docs/build.log"
    printf 'build.log\r\n' > "$s/docs/Mopwright (do not delete).txt"
    folders=("$s")
    echo "Sample solution: $s"
    (cd "$sample" && find . -mindepth 1 | sort) > "$run_root/before.txt"
fi

args=()
for f in "${folders[@]}"; do args+=("$(mw_winpath "$f")"); done
echo "Trash (Recycle Bin): $trash"
echo "Running Mopwright on: ${args[*]}"
"$MW_WINE" "$exe" "${args[@]}" || true

if [ -n "$sample" ]; then
    (cd "$sample" && find . -mindepth 1 | sort) > "$run_root/after.txt"
    echo
    echo "Removed (now in the trash):"
    comm -23 "$run_root/before.txt" "$run_root/after.txt" | sed 's/^/  - /'
    echo "Stayed:"
    sed 's/^/  + /' "$run_root/after.txt"
fi
