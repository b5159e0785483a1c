// The GUI bench's shared helpers: the programs' folder, the artefacts folder and screenshots.
#include "bench_support.h"
#include <cstdint>
#include <cstdlib>
#include <vector>
#include "patterns.h"
#include "png.h"

std::string BenchProgramDir() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) return ".\\";
    char *slash = FindLastSingleByteChar(path, '\\');
    if (slash) slash[1] = 0;
    return path;
}

// KESTREL_BUILD is the build folder's Unix path, reached through Wine's Z: drive.
std::string ArtefactFolder() {
    std::string dir;
    const char *build = getenv("KESTREL_BUILD");
    if (build && build[0] == '/') {
        dir = std::string("Z:") + build;
        for (char &c : dir)
            if (c == '/') c = '\\';
        dir += "\\artefacts";
    } else {
        dir = BenchProgramDir() + "artefacts";
    }
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir + "\\";
}

bool Screenshot(HWND window, const std::string &name) {
    RECT r;
    if (!GetWindowRect(window, &r)) return false;
    int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bitmap && bits) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY) != FALSE;
        GdiFlush();
        SelectObject(memory, old);
        int stride = (w * 3 + 3) & ~3;
        std::vector<uint8_t> rgb((size_t)w * h * 3);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                const uint8_t *p = (const uint8_t *)bits + (size_t)y * stride + x * 3;
                uint8_t *q = &rgb[((size_t)y * w + x) * 3];
                q[0] = p[2];
                q[1] = p[1];
                q[2] = p[0];
            }
        ok = ok && WritePng(ArtefactFolder() + name, w, h, rgb);
    }
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}
