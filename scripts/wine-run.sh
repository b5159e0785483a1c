#!/bin/sh
# Runs a Windows program under wine64 in the test run's Wine prefix (made on first use):
# Japanese locale, so that the ANSI code page is 932, and no debug output.
build=${KESTREL_BUILD:-$(pwd)}
: "${WINEPREFIX:=$build/wineprefix}"
export WINEPREFIX WINEDEBUG=-all LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            "$wine" wineboot -i >/dev/null 2>&1
            WINEPREFIX=$WINEPREFIX /usr/lib/wine/wineserver -w 2>/dev/null || true
        fi
    ) 9>"$WINEPREFIX.lock"
fi
exec "$wine" "$@"
