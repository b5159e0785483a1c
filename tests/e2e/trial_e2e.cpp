// The trial run on the real program under Wine: the system menu's new first item, the command
// 1053 sent to the main window on a real tree, the viewers at the end of the run, and both trees
// unchanged to the byte and to the last-write time.
#include "bench.h"
#include <richedit.h>
#include <algorithm>
#include <cstring>
#include "controls.h"
#include "tree.h"

static const UINT IDM_TRIAL_COMMAND = 1053;
static const char TRIAL_CAPTION_LOG[] = "ログ";
static const char TRIAL_CAPTION_SYNC[] = "コピー元に無いファイルの確認";
static const DWORD TRIAL_WAIT_MS = 60000;

// Every entry below `folder` (ending in "\\"), one line each in the order of a depth-first listing:
// relative path, attribute word, size, last-write time in 100 ns units, and a file's bytes.
static std::string Snapshot(const std::string &folder, const std::string &relative = "") {
    std::string lines;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + relative + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return lines;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        std::string path = relative + name;
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExA((folder + path).c_str(), GetFileExInfoStandard, &data)) {
            lines += path + " unreadable\n";
            continue;
        }
        char facts[96];
        snprintf(facts, sizeof facts, " attr=%04lx size=%lu time=%08lx%08lx", data.dwFileAttributes,
                 data.nFileSizeLow, data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            lines += path + "\\" + facts + "\n" + Snapshot(folder, path + "\\");
        } else {
            lines += path + facts + " bytes=\"" + ReadWholeFile(folder + path) + "\"\n";
        }
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return lines;
}

// The lines of a rich-edit control of another process. Wine answers an ANSI WM_GETTEXT across
// processes with one character. A UTF-16 WM_GETTEXT gives the whole text, but (measured) with a
// buffer of the character count + 1 it answers 0 for a text with double-byte characters, as if the
// text went through a code page 932 buffer of that many bytes; twice the count always fits.
static std::vector<std::string> RichEditLines(HWND control) {
    DWORD_PTR length = 0;
    SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 20000, &length);
    std::vector<WCHAR> wide(2 * length + 1);
    DWORD_PTR got = 0;
    SendMessageTimeoutW(control, WM_GETTEXT, wide.size(), (LPARAM)wide.data(), SMTO_ABORTIFHUNG, 20000, &got);
    int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), (int)got, nullptr, 0, nullptr, nullptr);
    std::string text(bytes > 0 ? (size_t)bytes : 0, '\0');
    if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, wide.data(), (int)got, &text[0], bytes, nullptr, nullptr);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); i++)
        if (i == text.size() || text[i] == '\r' || text[i] == '\n') {
            if (i > start) lines.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    return lines;
}

class TrialBench : public PlatformTest {
  protected:
    BenchProcess program;
    HWND window = nullptr, dialog = nullptr;
    void SetUp() override {
        PlatformTest::SetUp();
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KESTREL");
    }
    void TearDown() override {
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KESTREL");
        PlatformTest::TearDown();
    }
    void StartKestrel(const std::string &args) {
        program.Start(ProgramDir() + "kestrel.exe", args);
        window = program.WaitForWindow("kestrel", "KESTREL 2.71");
        ASSERT_TRUE(window) << "no main window";
        dialog = FindWindowExA(window, nullptr, "#32770", nullptr);
        ASSERT_TRUE(dialog) << "no main dialog";
    }
    bool Idle() {
        return IsWindowEnabled(GetDlgItem(dialog, IDC_SOURCES)) && IsWindowEnabled(GetDlgItem(dialog, IDC_START));
    }
    // Waits for the viewer with this caption, shoots it, reads its control's lines, and closes it
    // with its close box.
    std::vector<std::string> ReadAndCloseViewer(const char *caption, int control, const std::string &shot) {
        HWND viewer = program.WaitForWindow("#32770", caption, TRIAL_WAIT_MS);
        EXPECT_TRUE(viewer) << "no viewer " << caption;
        if (!viewer) return {};
        EXPECT_EQ(window, GetWindow(viewer, GW_OWNER));
        std::vector<std::string> lines = RichEditLines(GetDlgItem(viewer, control));
        EXPECT_TRUE(Screenshot(viewer, shot));
        PostMessageA(viewer, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(viewer); }, 20000)) << "the viewer stayed";
        return lines;
    }
};

// A destination file a real run would overwrite (older, different bytes), a read-only one it
// would make writable and overwrite, a folder and a file it would create, a source whose archive
// attribute it would clear, a destination file only the destination has: the trial records what
// the run would do, lists the missing file, and changes nothing on either side.
TEST_F(TrialBench, TrialRunFromTheSystemMenuRecordsAndChangesNothing) {
    ASSERT_EQ("", BuildTree(root, "src\\data\\a.txt text=\"new alpha\" time=1700000000\n"
                                  "src\\data\\ro.txt text=\"new ro\" time=1700000000\n"
                                  "src\\data\\same.txt text=\"same\" time=1600000000\n"
                                  "src\\data\\sub\\b.txt text=\"beta\" time=1600000000\n"
                                  "dst\\data\\a.txt text=\"old\" time=1600000000\n"
                                  "dst\\data\\ro.txt text=\"old ro\" attr=R time=1600000000\n"
                                  "dst\\data\\same.txt text=\"same\" time=1600000000\n"
                                  "dst\\data\\extra.txt text=\"only here\"\n"));
    const std::string before = Snapshot(Path("src\\")) + "--\n" + Snapshot(Path("dst\\"));
    // MODE: every category, every overwrite, the date test; CONF: every record, clear the
    // archive attribute, the missing-in-source check.
    StartKestrel("/mode 17FFFFFF /conf B /dest \"" + Path("dst") + "\" \"" + Path("src\\data") + "\"");
    PostMessageA(window, WM_SYSCOMMAND, IDM_TRIAL_COMMAND, 0);

    std::vector<std::string> missing = ReadAndCloseViewer(TRIAL_CAPTION_SYNC, IDC_MISSING_VIEW, "trial-missing-viewer.png");
    std::string dst = Path("dst\\data\\");
    for (char &c : dst) c = (char)toupper((unsigned char)c);
    ASSERT_EQ(1u, missing.size());
    std::string listed = missing[0];
    for (char &c : listed) c = (char)toupper((unsigned char)c);
    EXPECT_EQ("F " + dst + "EXTRA.TXT", listed);

    std::vector<std::string> log = ReadAndCloseViewer(TRIAL_CAPTION_LOG, IDC_LOG_VIEW, "trial-log-viewer.png");
    ASSERT_FALSE(log.empty()) << "no text read from the log viewer";
    EXPECT_EQ("! > > 確認のみの実行です。コピー元もコピー先も変更しません。", log[0]);
    auto has = [&](const std::string &line) { return std::find(log.begin(), log.end(), line) != log.end(); };
    for (const char *line : {"O data\\a.txt コピーします。（確認のみ）", "O data\\ro.txt コピーします。（確認のみ）",
                             "O data\\sub フォルダを作成します。（確認のみ）", "O data\\sub\\b.txt コピーします。（確認のみ）",
                             "  data\\same.txt 日付が同じか古いためコピーしません。"})
        EXPECT_TRUE(has(line)) << line;
    EXPECT_EQ(7u, log.size()) << "the trial record, data, a, ro, same, sub, b";
    ASSERT_TRUE(WaitUntil([&] { return Idle(); })) << "the dialog did not become idle";

    EXPECT_EQ(before, Snapshot(Path("src\\")) + "--\n" + Snapshot(Path("dst\\")));
    DWORD mode = 0, size = sizeof mode;
    RegGetValueA(HKEY_CURRENT_USER, "Software\\KESTREL", "Mode", RRF_RT_REG_DWORD, nullptr, &mode, &size);
    EXPECT_EQ(0x17FFFFFFu, mode) << "MODE is saved as by the start button";
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, program.Finish());
}

// The pixels of a window as the screen shows them, one 0x00RRGGBB word each, rows top first.
static std::vector<DWORD> WindowPixels(HWND window, int *width, int *height) {
    RECT r;
    GetWindowRect(window, &r);
    *width = r.right - r.left;
    *height = r.bottom - r.top;
    std::vector<DWORD> pixels((size_t)*width * *height);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, *width, *height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, *width, *height, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader = {sizeof info.bmiHeader, *width, -*height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    GetDIBits(memory, bitmap, 0, *height, pixels.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// Opens the main window's system menu from the keyboard (Alt+Space: its first item is selected),
// shoots it, and returns its pixels.
HWND OpenSystemMenu(BenchProcess &program, HWND window, const std::string &shot, std::vector<DWORD> *pixels, int *w,
                    int *h) {
    SetForegroundWindow(window);
    PostMessageA(window, WM_SYSCOMMAND, SC_KEYMENU, ' ');
    HWND menu = nullptr;
    WaitUntil([&] { return (menu = FindProcessWindow(program.info.dwProcessId, "#32768", nullptr)) != nullptr; }, 5000);
    if (!menu) return nullptr;
    Sleep(300);
    EXPECT_TRUE(Screenshot(menu, shot));
    *pixels = WindowPixels(menu, w, h);
    return menu;
}

// The menu of another process cannot be read under Wine (GetSystemMenu gives null, and the handle
// MN_GETHMENU gives fails with ERROR_INVALID_MENU_HANDLE): the first item is proven by choosing it
// with Enter, its text by the screenshot, its greying by the pixels of the first item changing
// while a run is active and nothing below it changing.
TEST_F(TrialBench, SystemMenuBeginsWithTheTrialRunGreyedWhileARunIsActive) {
    std::string data(64 * 1024, 'k');
    ASSERT_EQ("", BuildTree(root, "src\\big\\\ndst\\\n"));
    for (int i = 0; i < 600; i++) ASSERT_TRUE(WriteWholeFile(Path("src\\big\\f" + std::to_string(i) + ".bin"), data));
    StartKestrel("/dest \"" + Path("dst") + "\" \"" + Path("src\\big") + "\"");
    std::vector<DWORD> idle, running;
    int w = 0, h = 0, w2 = 0, h2 = 0;
    HWND menu = OpenSystemMenu(program, window, "trial-system-menu-idle.png", &idle, &w, &h);
    ASSERT_TRUE(menu) << "the system menu did not open";
    PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0); // the first item: a trial run of the big tree
    std::vector<std::string> log = ReadAndCloseViewer(TRIAL_CAPTION_LOG, IDC_LOG_VIEW, "trial-big-log-viewer.png");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("! > > 確認のみの実行です。コピー元もコピー先も変更しません。", log[0]);
    EXPECT_EQ(602u, log.size()) << "the trial record, the folder, 600 files";
    ASSERT_TRUE(WaitUntil([&] { return Idle(); }));
    EXPECT_EQ("", ReadTree(Path("dst\\")));

    // A real run: while it copies, the item is greyed and the command does nothing.
    Click(GetDlgItem(dialog, IDC_START));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowEnabled(GetDlgItem(dialog, IDC_SOURCES)); }, 20000));
    menu = OpenSystemMenu(program, window, "trial-system-menu-running.png", &running, &w2, &h2);
    ASSERT_TRUE(menu);
    PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(window, WM_SYSCOMMAND, IDM_TRIAL_COMMAND, 0);
    ASSERT_EQ(w, w2);
    ASSERT_EQ(h, h2);
    int firstChanged = h, lastChanged = -1;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            if (idle[(size_t)y * w + x] != running[(size_t)y * w + x]) firstChanged = std::min(firstChanged, y), lastChanged = y;
    EXPECT_LE(0, lastChanged) << "the first item looks the same while a run is active";
    EXPECT_LT(lastChanged, h / 8) << "only the first item changes (rows " << firstChanged << "-" << lastChanged << " of " << h << ")";
    log = ReadAndCloseViewer(TRIAL_CAPTION_LOG, IDC_LOG_VIEW, "trial-real-log-viewer.png");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("O big フォルダを作成しました。", log[0]) << "the real run went on, not as a trial";
    ASSERT_TRUE(WaitUntil([&] { return Idle(); }));
    EXPECT_FALSE(FindProcessWindow(program.info.dwProcessId, "#32770", TRIAL_CAPTION_LOG)) << "no second run";
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, program.Finish());
}
