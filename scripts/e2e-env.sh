#!/bin/bash
# Sourced before the win64 tests run (scripts/test.sh; tests/e2e/run-e2e.sh when the bench runs
# alone): one X server for the whole test run, and the test prefix's display settings. The
# prefix gets a Wine virtual desktop, so that windows get frames and captions drawn by Wine and
# screenshots show them, and the Japanese font faces KESTREL asks for are mapped to the
# installed IPA fonts; the prefix's font folder gets the Marlett font of the caption buttons.
kestrel_e2e_env() {
    local here build
    here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
    build=${KESTREL_BUILD:-$here/../build/win64}
    local prefix=${WINEPREFIX:-$build/wineprefix}

    if [ -z "${DISPLAY:-}" ]; then
        # Xvfb chooses a free display itself and writes its number on fd 3.
        local fifo
        fifo=$(mktemp -u)
        mkfifo "$fifo"
        Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
        KESTREL_XVFB_PID=$!
        local number=""
        read -r -t 20 number <"$fifo" || true
        rm -f "$fifo"
        if [ -z "$number" ]; then
            echo "e2e-env: Xvfb did not start" >&2
            return 1
        fi
        export DISPLAY=":$number" KESTREL_XVFB_PID
        # shellcheck disable=SC2064
        trap "kill $KESTREL_XVFB_PID 2>/dev/null || true" EXIT
    fi

    # A new prefix links the user's Desktop to the Unix home folder, which every prefix on this
    # machine shares: the files the programs write on the desktop (DelDest.bat, scripts) get a
    # desktop folder of the prefix's own.
    local desktop
    for desktop in "$prefix"/drive_c/users/*/Desktop; do
        if [ -L "$desktop" ]; then
            rm -f "$desktop" && mkdir -p "$desktop"
        fi
    done

    # The caption buttons are glyphs of the Marlett font; without it Wine draws them as the
    # letters "0 1 r". This Wine does not read the folder fonts-wine installs its fonts in, but
    # takes the font from the prefix's own font folder.
    local marlett=/usr/share/wine/fonts/marlett.ttf fonts="$prefix/drive_c/windows/Fonts"
    if [ -f "$marlett" ] && [ -d "$prefix/drive_c/windows" ] && [ ! -f "$fonts/marlett.ttf" ]; then
        mkdir -p "$fonts" && cp "$marlett" "$fonts/marlett.ttf"
    fi

    [ -f "$prefix/.kestrel-e2e" ] && return 0
    local reg="$build/e2e-settings.reg"
    mkdir -p "$build"
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\r\n"Desktop"="kestrel"\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\r\n"kestrel"="1024x768"\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
        local face
        for face in "ＭＳゴッシク" "ＭＳ ゴシック" "MS Gothic" "ＭＳ 明朝" "MS Mincho"; do
            printf '"%s"="IPAGothic"\r\n' "$face"
        done
        for face in "ＭＳ Ｐゴシック" "MS PGothic" "MS UI Gothic" "ＭＳ Ｐ明朝" "MS PMincho"; do
            printf '"%s"="IPAPGothic"\r\n' "$face"
        done
        printf '\r\n'
    } | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$reg"
    KESTREL_BUILD=$build WINEPREFIX=$prefix "$here/wine-run.sh" regedit /S "$(printf 'Z:%s' "$reg" | tr / '\\')" &&
        touch "$prefix/.kestrel-e2e"
}
kestrel_e2e_env
