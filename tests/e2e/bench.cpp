// The GUI bench's shared helpers: programs, windows, waiting, screenshots.
#include "bench.h"
#include "tree.h"
#include <cstdlib>
#include <cstring>
#include "msgbox.h"
#include "patterns.h"
#include "png.h"

std::string BenchDir() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) return ".\\";
    char *slash = FindLastSingleByteChar(path, '\\');
    if (slash) slash[1] = 0;
    return path;
}

// The driver lives in <build>\e2e\; the programs in <build>\.
std::string ProgramDir() { return BenchDir() + "..\\"; }

// KESTREL_BUILD is the build folder's Unix path, reached through Wine's Z: drive; without it the
// artefacts go beside the driver.
std::string ArtefactDir() {
    std::string dir;
    const char *build = getenv("KESTREL_BUILD");
    if (build && build[0] == '/') {
        dir = std::string("Z:") + build;
        for (char &c : dir)
            if (c == '/') c = '\\';
        dir += "\\artefacts";
    } else {
        dir = BenchDir() + "artefacts";
    }
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir + "\\";
}

ScreenRect ToScreenRect(const RECT &r) { return ScreenRect{r.left, r.top, r.right, r.bottom}; }

ScreenRect WorkArea() {
    RECT r;
    EXPECT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0));
    return ToScreenRect(r);
}

ScreenRect WindowRect(HWND window) {
    RECT r;
    EXPECT_TRUE(GetWindowRect(window, &r));
    return ToScreenRect(r);
}

std::string WindowText(HWND window) {
    char text[4096];
    memset(text, 0, sizeof text);
    DWORD_PTR n = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_ABORTIFHUNG, 5000, &n);
    text[sizeof text - 1] = 0;
    return std::string(text);
}

std::string ClassName(HWND window) {
    char cls[128] = "";
    GetClassNameA(window, cls, sizeof cls);
    return cls;
}

struct FindRequest {
    DWORD pid;
    const char *cls;
    const char *caption;
    HWND found;
};

static BOOL CALLBACK FindTopLevel(HWND window, LPARAM data) {
    FindRequest *request = (FindRequest *)data;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != request->pid || !IsWindowVisible(window)) return TRUE;
    if (request->cls && ClassName(window) != request->cls) return TRUE;
    if (request->caption) {
        char caption[256] = "";
        GetWindowTextA(window, caption, sizeof caption);
        if (strcmp(caption, request->caption) != 0) return TRUE;
    }
    request->found = window;
    return FALSE;
}

HWND FindProcessWindow(DWORD pid, const char *cls, const char *caption) {
    FindRequest request = {pid, cls, caption, nullptr};
    EnumWindows(FindTopLevel, (LPARAM)&request);
    return request.found;
}

bool WaitUntil(const std::function<bool()> &done, DWORD ms) {
    for (DWORD waited = 0;; waited += 20) {
        if (done()) return true;
        if (waited >= ms) return false;
        Sleep(20);
    }
}

void Settle(HWND window) { SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr); }

bool Screenshot(HWND window, const std::string &name) {
    RECT r;
    if (!GetWindowRect(window, &r)) return false;
    int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return false;
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
        ok = ok && WritePng(ArtefactDir() + name, w, h, rgb);
    }
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

BenchProcess::~BenchProcess() {
    if (running) {
        TerminateProcess(info.hProcess, 99);
        WaitForSingleObject(info.hProcess, WAIT_MS);
    }
    if (info.hProcess) CloseHandle(info.hProcess);
    if (info.hThread) CloseHandle(info.hThread);
}

// The driver's environment with `extra` entries added (an entry replaces one of the same name).
static std::vector<char> EnvironmentBlock(const std::vector<std::string> &extra) {
    std::vector<std::string> entries;
    char *all = GetEnvironmentStringsA();
    for (const char *p = all; p && *p; p += strlen(p) + 1) {
        std::string entry = p;
        bool replaced = false;
        for (const std::string &e : extra) {
            size_t eq = e.find('=');
            if (_strnicmp(entry.c_str(), e.c_str(), eq + 1) == 0) replaced = true;
        }
        if (!replaced) entries.push_back(entry);
    }
    if (all) FreeEnvironmentStringsA(all);
    for (const std::string &e : extra) entries.push_back(e);
    std::vector<char> block;
    for (const std::string &e : entries) {
        block.insert(block.end(), e.begin(), e.end());
        block.push_back(0);
    }
    block.push_back(0);
    return block;
}

void BenchProcess::Start(const std::string &program, const std::string &args,
                         const std::vector<std::string> &environment) {
    // The wide command line, as a shortcut or "send to" gives it: "{7B80}" in `args` is U+7B80.
    std::string command = "\"" + program + "\" " + args;
    std::basic_string<WCHAR> line = LayoutWide(command);
    STARTUPINFOW si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    std::vector<char> block;
    if (!environment.empty()) block = EnvironmentBlock(environment);
    ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0,
                               environment.empty() ? nullptr : block.data(), nullptr, &si, &info))
        << command << ": error " << GetLastError();
    running = true;
}

HWND BenchProcess::WaitForWindow(const char *cls, const char *caption, DWORD ms) {
    for (DWORD waited = 0; waited < ms; waited += 50) {
        HWND found = FindProcessWindow(info.dwProcessId, cls, caption);
        if (found) {
            // Let the window finish opening (a box's sound pause, the first paint) before looking.
            Settle(found);
            Sleep(300);
            return found;
        }
        if (WaitForSingleObject(info.hProcess, 50) == WAIT_OBJECT_0) break;
    }
    return nullptr;
}

DWORD BenchProcess::Finish(DWORD ms) {
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(info.hProcess, ms)) << "the program did not end";
    DWORD code = 0xDEAD;
    GetExitCodeProcess(info.hProcess, &code);
    if (code != STILL_ACTIVE) running = false;
    return code;
}

bool BenchProcess::Ended(DWORD ms) { return WaitForSingleObject(info.hProcess, ms) == WAIT_OBJECT_0; }

// The lines of a rich-edit control of another process. Wine answers an ANSI WM_GETTEXT across
// processes with one character. A UTF-16 WM_GETTEXT gives the whole text, but (measured) with a
// buffer of the character count + 1 it answers 0 for a text with double-byte characters, as if the
// text went through a code page 932 buffer of that many bytes; twice the count always fits.
std::vector<std::string> RichEditLines(HWND control) {
    DWORD_PTR length = 0;
    SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 20000, &length);
    std::vector<WCHAR> wide(2 * length + 1);
    DWORD_PTR got = 0;
    SendMessageTimeoutW(control, WM_GETTEXT, wide.size(), (LPARAM)wide.data(), SMTO_ABORTIFHUNG, 20000, &got);
    wide.resize((size_t)got);
    wide.push_back(0);
    std::string text = LayoutText(wide.data());
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); i++)
        if (i == text.size() || text[i] == '\r' || text[i] == '\n') {
            if (i > start) lines.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    return lines;
}

std::string MessageBoxText(HANDLE process, HWND box) {
    LONG_PTR state = GetWindowLongPtrA(box, DWLP_USER);
    char text[MESSAGE_TEXT_MAX + 1];
    SIZE_T done = 0;
    if (!state || !ReadProcessMemory(process, (LPCVOID)state, text, sizeof text, &done) || done != sizeof text)
        return "<unreadable>";
    text[MESSAGE_TEXT_MAX] = '\0';
    return text;
}
