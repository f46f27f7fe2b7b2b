#!/usr/bin/env bash
# Runs a Windows program under the project's private Wine prefix (the build
# folder's, or WINEPREFIX when set), quietly; the prefix is made on first use.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=tools/wine_env.sh
source "$here/tools/wine_env.sh"
wine_env "${WINEPREFIX:-${CAIRN_BUILD_DIR:-$here/build}/wineprefix}"
wine_prefix_ready
exec wine "$@"
