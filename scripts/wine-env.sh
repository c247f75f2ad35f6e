# Shell functions shared by the scripts and the test wrapper (sourced, not run).

MW_WINE=/usr/lib/wine/wine64
MW_WINESERVER=/usr/lib/wine/wineserver64
[ -x "$MW_WINESERVER" ] || MW_WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)

# mw_wine_env ROOT [null|x11]: a Wine prefix and a HOME of its own below ROOT.
# "null" runs windows without any display (Wine's null graphics driver).
mw_wine_env() {
    export WINEPREFIX="$1/prefix"
    export HOME="$1/home"
    export XDG_DATA_HOME="$HOME/.local/share"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export WINEARCH=win64
    MW_WINE_GRAPHICS=${2:-x11}
    # Without the data folder Wine deletes outright instead of using the trash.
    mkdir -p "$XDG_DATA_HOME/Trash/files" "$XDG_DATA_HOME/Trash/info"
}

# Creates the prefix once (wineboot takes seconds); later calls return at once.
mw_wine_prefix() {
    [ -f "$WINEPREFIX/.mw-ready-$MW_WINE_GRAPHICS" ] && return 0
    mkdir -p "$WINEPREFIX"
    (
        # One creator at a time when several test programs start together.
        flock 9
        [ -f "$WINEPREFIX/.mw-ready-$MW_WINE_GRAPHICS" ] && exit 0
        "$MW_WINE" wineboot --init >/dev/null 2>&1 || true
        "$MW_WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
        if [ "$MW_WINE_GRAPHICS" = null ]; then
            "$MW_WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null /f >/dev/null 2>&1
        fi
        "$MW_WINESERVER" -w
        touch "$WINEPREFIX/.mw-ready-$MW_WINE_GRAPHICS"
    ) 9>"$WINEPREFIX/.mw-lock"
}

# Starts the prefix's wine server and its service processes, detached from our
# output: a service started by a test program would inherit the program's
# output pipe and keep CTest waiting for it to close.
mw_wine_warm() {
    # A server that is already running (from an earlier run) answers 2: keep it.
    "$MW_WINESERVER" -p >/dev/null 2>&1 </dev/null || true
    "$MW_WINE" cmd /c exit >/dev/null 2>&1 </dev/null || true
}

# mw_double_register DLL: makes the tests' double of the shell's file operation
# (DLL, a Linux path) the prefix's CLSID_FileOperation. Wine 8 reads COM classes
# from HKLM\Software\Classes only, where its own shell32 stands. Written once
# per DLL path and prefix update (an update registers Wine's own again), so a
# later call only compares a stamp.
MW_FILEOP_KEY='HKLM\Software\Classes\CLSID\{3AD05575-8857-4850-9277-11B85BDB8E09}\InprocServer32'
mw_double_register() {
    mw_stamp="$(mw_winpath "$1") $(cat "$WINEPREFIX/.update-timestamp" 2>/dev/null)"
    [ "$(cat "$WINEPREFIX/.mw-double" 2>/dev/null)" = "$mw_stamp" ] && return 0
    (
        flock 9
        [ "$(cat "$WINEPREFIX/.mw-double" 2>/dev/null)" = "$mw_stamp" ] && exit 0
        "$MW_WINE" reg add "$MW_FILEOP_KEY" /ve /d "$(mw_winpath "$1")" /f >/dev/null 2>&1 || exit 1
        "$MW_WINE" reg add "$MW_FILEOP_KEY" /v ThreadingModel /d Apartment /f >/dev/null 2>&1 || exit 1
        printf '%s' "$mw_stamp" > "$WINEPREFIX/.mw-double"
    ) 9>"$WINEPREFIX/.mw-lock"
}

# Linux path -> Windows path as Wine shows it (Z:\...).
mw_winpath() {
    case "$1" in
        /*) p="$1" ;;
        *)  p="$(pwd)/$1" ;;
    esac
    printf 'Z:%s' "$(printf '%s' "$p" | tr '/' '\\')"
}
