#!/bin/bash
# Installs what is missing, builds the four presets and runs every test: the host tests on the
# simulated Windows (once more with the sanitizers), the win64 tests under wine64 (one fresh Wine
# prefix for the run), and the win32 build, which must compile cleanly (this machine cannot run
# 32-bit code) and from which the zip build/win32/kestrel-2.71.zip is made and checked.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
start=$(date +%s)
for preset in host host-asan win64 win32; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
# The zip a Windows user downloads, from the win32 programs just built: its entries, its read-me's
# code page and line ends, and bytes that do not depend on the time of the build.
cmake --build --preset win32 --target kestrel_zip
python3 tests/package/check_zip.py
ctest --preset host
# The same unit tests with AddressSanitizer and UndefinedBehaviorSanitizer: an overrun by one
# byte, or undefined behaviour, fails the run even where the results look right.
ctest --preset host-asan
# One Wine prefix per test run, made once before the first test program starts.
rm -rf build/win64/wineprefix build/win64/wineprefix.lock
KESTREL_BUILD=$PWD/build/win64 scripts/wine-run.sh cmd /c exit 0 || true
if [ -x scripts/e2e-env.sh ]; then
    # shellcheck disable=SC1091
    source scripts/e2e-env.sh
fi
ctest --preset win64
echo "all presets built and tested in $(( $(date +%s) - start )) s"
