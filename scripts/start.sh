#!/bin/bash
# Builds KESTREL for 64-bit Windows and starts it under Wine (on an X display: the current one,
# or a virtual one when there is none).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64
program=build/win64/kestrel-nt.exe
if [ ! -f "$program" ]; then
    echo "KESTREL's program arrives with the main window; this build has its libraries and tests only."
    exit 0
fi
export KESTREL_BUILD=$PWD/build/win64 WINEPREFIX=${WINEPREFIX:-$HOME/.wine-kestrel}
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" scripts/wine-run.sh "$program" "$@"
fi
exec scripts/wine-run.sh "$program" "$@"
