#!/bin/bash
# Builds KESTREL for 64-bit Windows and starts kestrel.exe under Wine with Japanese text: the
# prefix gets the Japanese font faces KESTREL asks for, and the program runs on the current X
# display, or on a virtual one when there is none. Arguments go to KESTREL (a command line).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target kestrel kestrel-nt
program=build/win64/kestrel.exe
export KESTREL_BUILD=$PWD/build/win64 WINEPREFIX=${WINEPREFIX:-$HOME/.wine-kestrel}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    scripts/wine-run.sh cmd /c exit 0 >/dev/null 2>&1 || true
fi
# The display (a virtual one when none is set) and the prefix's font and desktop settings.
# shellcheck disable=SC1091
source scripts/e2e-env.sh
trap - EXIT
exec scripts/wine-run.sh "$program" "$@"
