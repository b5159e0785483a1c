#!/bin/bash
# Runs the GUI bench's driver under Wine: with the test run's X display and prefix settings, or,
# when the bench runs on its own, with its own Xvfb and settings (scripts/e2e-env.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${KESTREL_BUILD:?the build folder}
prefix=${WINEPREFIX:-$build/wineprefix}
if [ ! -f "$prefix/system.reg" ]; then
    KESTREL_BUILD=$build "$here/../../scripts/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 || true
fi
if [ -z "${DISPLAY:-}" ] || [ ! -f "$prefix/.kestrel-e2e" ]; then
    # shellcheck disable=SC1091
    source "$here/../../scripts/e2e-env.sh"
fi
mkdir -p "$build/artefacts"
"$here/../../scripts/wine-run.sh" "$@"
