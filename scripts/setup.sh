# Sourced by the scripts: the checkout becomes the current folder ($here), the
# shared functions are loaded, and whatever of the tools is missing is
# installed (with apt; nothing is asked when everything is there).
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"
. scripts/deps.sh
. scripts/wine-env.sh
mw_install_deps
