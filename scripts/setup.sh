#!/bin/bash
# Installs what building and testing KESTREL needs on Debian 12, only what is missing.
set -euo pipefail
packages=(cmake make g++ googletest libgtest-dev libbenchmark-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64
          wine64 wine fonts-wine xvfb xauth fonts-ipafont-gothic locales binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
          python3)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    echo "setup: generating the ja_JP.UTF-8 locale"
    sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen >/dev/null
fi
