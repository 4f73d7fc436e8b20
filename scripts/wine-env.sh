#!/usr/bin/env bash
# Source with the build folder as $1: sets up the project's own Wine prefix under it
# (never the user's), quiets Wine and keeps a wineserver warm for the run.
s_build_dir=$(cd "${1:?build folder}" && pwd)
export WINEPREFIX="$s_build_dir/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
s_wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
[ -x "$s_wineserver" ] || s_wineserver=/usr/lib/wine/wineserver64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wine wineboot -i >/dev/null 2>&1 || true
    "$s_wineserver" -w
    # An unhandled exception in a test child must not start the debugger.
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /t REG_SZ /d false /f >/dev/null 2>&1
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /t REG_SZ /d 1 /f >/dev/null 2>&1
fi
"$s_wineserver" -p30 2>/dev/null || true
