# Installs with apt whatever of the build and test tools is missing (sourced).
# On a machine that has everything it installs nothing and asks apt nothing.

MW_PACKAGES="cmake ninja-build git g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 wine64 googletest xvfb imagemagick procps zip unzip"

mw_install_deps() {
    missing=""
    for p in $MW_PACKAGES; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
    done
    [ -z "$missing" ] && return 0
    echo "Installing:$missing"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq || return 1
    # Never wine32: this kernel cannot run it, and it breaks the wine wrapper.
    # Recommended packages come along (fonts for Wine among them), as on the
    # machines the tests were written on.
    $SUDO apt-get install -y -qq $missing || return 1
}

# mw_configure DIR ARCH [CMAKE ARGS...]: configures a build folder once (ARCH is
# x86_64 or i686); later calls leave it to the incremental build.
mw_configure() {
    local dir=$1 arch=$2
    shift 2
    [ -f "$dir/CMakeCache.txt" ] && return 0
    local gen=()
    command -v ninja >/dev/null && gen=(-G Ninja)
    cmake -S . -B "$dir" "${gen[@]}" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-$arch.cmake" \
          -DCMAKE_BUILD_TYPE=Release "$@"
}
