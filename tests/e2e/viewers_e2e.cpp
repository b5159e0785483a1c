// The GUI bench's viewer tests: the log and missing-files viewers of the viewer program (real
// dialogs from their resources, a real rich-edit control), read back through window messages;
// DelDest.bat written from the missing-files viewer and run by Wine's cmd.exe on a scratch tree.
#include <windows.h>
#include <gtest/gtest.h>
#include <richedit.h>
#include <shlobj.h>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "controls.h"
#include "copylog.h"
#include "bench.h"
#include "folder.h"
#include "ids.h"
#include "patterns.h"
#include "tree.h"

static const DWORD VIEWER_WAIT_MS = 60000;
static const char LOG_CAPTION[] = "ログ";
static const char SYNC_CAPTION[] = "コピー元に無いファイルの確認";

static std::vector<std::string> TextLines(const std::string &text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); i++) {
        if (i == text.size() || text[i] == '\r' || text[i] == '\n') {
            if (i > start) lines.push_back(text.substr(start, i - start));
            if (i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n') i++;
            start = i + 1;
        }
    }
    return lines;
}

// The plain text of a rich-edit control of another process, in code page 932. Wine hands
// WM_GETTEXT of a rich-edit control to another process cut after its first character, and its
// ANSI EM_GETTEXTRANGE stops after as many bytes as there are characters; so the text is asked
// for as UTF-16 with EM_GETTEXTEX into memory of the control's process, read from there and
// converted here.
static std::string ControlText(HANDLE process, HWND control) {
    const SIZE_T capacity = 2 * (SIZE_T)LOG_DOCUMENT_CAPACITY;
    char *remote = (char *)VirtualAllocEx(process, nullptr, capacity + sizeof(GETTEXTEX), MEM_COMMIT, PAGE_READWRITE);
    EXPECT_TRUE(remote);
    if (!remote) return "";
    GETTEXTEX request;
    memset(&request, 0, sizeof request);
    request.cb = (DWORD)capacity;
    request.flags = GT_USECRLF;
    request.codepage = 1200; // UTF-16
    SIZE_T done = 0;
    WriteProcessMemory(process, remote, &request, sizeof request, &done);
    LRESULT got = 0;
    SendMessageTimeoutA(control, EM_GETTEXTEX, (WPARAM)remote, (LPARAM)(remote + sizeof request), SMTO_ABORTIFHUNG,
                        20000, (PDWORD_PTR)&got);
    std::vector<WCHAR> wide(got > 0 ? (size_t)got : 0);
    if (!wide.empty()) ReadProcessMemory(process, remote + sizeof request, wide.data(), wide.size() * 2, &done);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    wide.push_back(0);
    return LayoutText(wide.data()); // a character code page 932 lacks as "{E9}"
}

// The character format at the start of each line of a rich-edit control of another process:
// EM_GETCHARFORMAT reads into memory of the control's process.
static std::vector<CHARFORMATA> LineFormats(HANDLE process, HWND control, int lines) {
    std::vector<CHARFORMATA> formats;
    void *remote = VirtualAllocEx(process, nullptr, sizeof(CHARFORMATA), MEM_COMMIT, PAGE_READWRITE);
    EXPECT_TRUE(remote);
    if (!remote) return formats;
    for (int line = 0; line < lines; line++) {
        LRESULT start = SendMessageA(control, EM_LINEINDEX, line, 0);
        SendMessageA(control, EM_SETSEL, start, start + 1);
        CHARFORMATA format;
        memset(&format, 0, sizeof format);
        format.cbSize = sizeof format;
        SIZE_T done = 0;
        WriteProcessMemory(process, remote, &format, sizeof format, &done);
        SendMessageA(control, EM_GETCHARFORMAT, SCF_SELECTION, (LPARAM)remote);
        ReadProcessMemory(process, remote, &format, sizeof format, &done);
        formats.push_back(format);
    }
    SendMessageA(control, EM_SETSEL, 0, 0);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return formats;
}

// Waits for the program's message box with this caption, checks its text, keeps a screenshot when
// `shot` is given, and presses the button `id`; the box must go.
static void ReadAndAnswerBox(BenchProcess &process, const char *caption, const std::string &text, int id,
                             const char *shot = nullptr) {
    HWND box = process.WaitForWindow(nullptr, caption, VIEWER_WAIT_MS);
    ASSERT_TRUE(box) << "no box \"" << caption << "\"";
    Settle(box);
    EXPECT_EQ(text, MessageBoxText(process.info.hProcess, box));
    if (shot) {
        EXPECT_TRUE(Screenshot(box, shot));
    }
    Click(GetDlgItem(box, id));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 20000)) << "the box stayed open";
}

// The information after DelDest.bat was written, with the count of entries it deletes.
static std::string BatchWrittenText(const char *count, const char *leftOut = nullptr) {
    std::string text = std::string("デスクトップに DelDest.bat を作成しました。\nこのバッチファイルはフォルダとファイルを ") +
                       count + " 件削除します。";
    if (leftOut) text += std::string("\nバッチファイルで扱えない名前やパスの ") + leftOut + " 件は含めていません。";
    return text;
}

// Closes a viewer with its close box and waits until it is gone.
static void CloseViewer(HWND viewer) {
    PostMessageA(viewer, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(viewer); }, 20000)) << "the viewer stayed";
}

// The viewer program (KESTREL's viewers on documents it fills itself).
class ViewerBench : public ::testing::Test {
  protected:
    BenchProcess app;

    void Start(const std::string &args) { app.Start(BenchDir() + "kestrel_viewerapp.exe", args); }
    // The program's visible window with this caption, once it answers messages.
    HWND WaitForWindow(const char *caption) { return app.WaitForWindow(nullptr, caption, VIEWER_WAIT_MS); }
    DWORD Finish() { return app.Finish(VIEWER_WAIT_MS); }
    void TearDown() override {
        if (app.running && !app.Ended()) TerminateProcess(app.info.hProcess, 99);
        app.Ended(VIEWER_WAIT_MS);
        app.running = false;
    }
    std::string ControlText(HWND control) { return ::ControlText(app.info.hProcess, control); }
    std::vector<CHARFORMATA> LineFormats(HWND control, int lines) {
        return ::LineFormats(app.info.hProcess, control, lines);
    }
};

// The colour a line is shown in: "auto" for the default text colour, else "r,g,b".
static std::string Colour(const CHARFORMATA &format) {
    if (format.dwEffects & CFE_AUTOCOLOR) return "auto";
    COLORREF c = format.crTextColor;
    return std::to_string(GetRValue(c)) + "," + std::to_string(GetGValue(c)) + "," + std::to_string(GetBValue(c));
}

// The colour of the screen pixel at a point of a window's client area.
static COLORREF ClientPixel(HWND window, int x, int y) {
    POINT p = {x, y};
    ClientToScreen(window, &p);
    HDC screen = GetDC(nullptr);
    COLORREF c = GetPixel(screen, p.x, p.y);
    ReleaseDC(nullptr, screen);
    return c;
}

TEST_F(ViewerBench, LogViewerShowsEveryRecordInTheColourOfItsLevel) {
    Start("log sample");
    HWND viewer = WaitForWindow(LOG_CAPTION);
    ASSERT_TRUE(viewer) << "no log viewer appeared";
    // WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME (the system adds
    // WS_CLIPSIBLINGS to a pop-up window)
    EXPECT_EQ(0x90CC0000u, (DWORD)GetWindowLongA(viewer, GWL_STYLE) & 0xFBFF0000u);
    HWND control = GetDlgItem(viewer, IDC_LOG_VIEW);
    ASSERT_TRUE(control);
    EXPECT_EQ(0u, (DWORD)GetWindowLongA(control, GWL_STYLE) & ES_READONLY) << "the log control is not read-only";
    std::vector<std::string> lines = TextLines(ControlText(control));
    const std::vector<std::string> expected = {
        "O data\\a{b}.txt コピーしました。",
        "O data\\ソース\\表.txt コピーしました。",
        "  data\\old.txt サイズが同じなのでコピーしません。",
        "X data\\locked.txt コピーできません。",
        "! data\\ro.txt 属性を設定できません。",
        "! > > ユーザの指示によりコピーを停止しました。",
    };
    EXPECT_EQ(expected, lines);
    std::vector<CHARFORMATA> formats = LineFormats(control, (int)expected.size());
    std::vector<std::string> colours;
    for (const CHARFORMATA &f : formats) colours.push_back(Colour(f));
    // Warnings in olive, readable on the grey.
    EXPECT_EQ((std::vector<std::string>{"0,0,255", "0,0,255", "auto", "255,0,0", "128,128,0", "128,128,0"}), colours);
    // The hidden OK button has the focus; Enter and Escape do nothing.
    HWND ok = GetDlgItem(viewer, IDOK);
    ASSERT_TRUE(ok);
    EXPECT_FALSE(IsWindowVisible(ok));
    GUITHREADINFO gui;
    memset(&gui, 0, sizeof gui);
    gui.cbSize = sizeof gui;
    ASSERT_TRUE(GetGUIThreadInfo(app.info.dwThreadId, &gui));
    EXPECT_EQ(ok, gui.hwndFocus);
    SendMessageA(viewer, WM_COMMAND, IDOK, 0);
    SendMessageA(viewer, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(IsWindowVisible(viewer)) << "only the Close command closes the viewer";
    // Light grey behind the text, near the control's bottom right corner.
    RECT client;
    GetClientRect(control, &client);
    EXPECT_EQ(RGB(192, 192, 192), ClientPixel(control, client.right - 40, client.bottom - 40));
    EXPECT_TRUE(Screenshot(viewer, "log-viewer.png"));
    CloseViewer(viewer);
    EXPECT_EQ(0u, Finish());
}

TEST_F(ViewerBench, ViewerFrameKeeps400By300AndTheControlFillsTheClientArea) {
    Start("log sample");
    HWND viewer = WaitForWindow(LOG_CAPTION);
    ASSERT_TRUE(viewer) << "no log viewer appeared";
    HWND control = GetDlgItem(viewer, IDC_LOG_VIEW);
    ASSERT_TRUE(control);
    // A drag of the bottom right corner to 100 × 80 pixels (WM_SIZING carries its rectangle
    // across processes).
    RECT frame = {50, 60, 150, 140};
    SendMessageA(viewer, WM_SIZING, WMSZ_BOTTOMRIGHT, (LPARAM)&frame);
    EXPECT_EQ(50, frame.left);
    EXPECT_EQ(60, frame.top);
    EXPECT_EQ(450, frame.right);
    EXPECT_EQ(360, frame.bottom);
    RECT left = {500, 60, 600, 500};
    SendMessageA(viewer, WM_SIZING, WMSZ_LEFT, (LPARAM)&left);
    EXPECT_EQ(200, left.left);
    EXPECT_EQ(500, left.bottom);
    // A new size: the control follows the client area.
    for (SIZE size : {SIZE{700, 500}, SIZE{420, 320}}) {
        SetWindowPos(viewer, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
        SendMessageTimeoutA(viewer, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 20000, nullptr);
        RECT client, inner;
        GetClientRect(viewer, &client);
        GetWindowRect(control, &inner);
        MapWindowPoints(nullptr, viewer, (POINT *)&inner, 2);
        EXPECT_EQ(0, inner.left);
        EXPECT_EQ(0, inner.top);
        EXPECT_EQ(client.right, inner.right);
        EXPECT_EQ(client.bottom, inner.bottom);
    }
    CloseViewer(viewer);
    EXPECT_EQ(0u, Finish());
}

TEST_F(ViewerBench, FullLogIsWarnedOnceAndKeepsEveryErrorAfterTheLastOrdinaryRecordThatFit) {
    Start("log full");
    HWND box = WaitForWindow("Warning");
    ASSERT_TRUE(box) << "no warning before the viewer";
    EXPECT_FALSE(FindWindowA(nullptr, LOG_CAPTION)) << "the viewer opened before the warning was read";
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    HWND viewer = WaitForWindow(LOG_CAPTION);
    ASSERT_TRUE(viewer) << "no log viewer after the warning";
    HWND control = GetDlgItem(viewer, IDC_LOG_VIEW);
    std::string text = ControlText(control);
    std::vector<std::string> lines = TextLines(text);
    ASSERT_FALSE(lines.empty());
    // Records "X|O folder\sub\fileNNNNNNN.txt コピーしました。", every fourth an error, numbered
    // from 0: all of them without a gap until the first that did not fit, then every error after
    // it, to the end of the reserve.
    auto record = [](unsigned n) {
        char line[96];
        snprintf(line, sizeof line, "%c folder\\sub\\file%07u.txt コピーしました。", n % 4 == 0 ? 'X' : 'O', n);
        return std::string(line);
    };
    size_t at = 0;
    unsigned n = 0;
    while (at < lines.size() && lines[at] == record(n)) at++, n++;
    size_t ordinary = at;
    ASSERT_LT(ordinary, lines.size()) << "no error kept after the log filled";
    for (n = (n + 3) / 4 * 4; at < lines.size(); at++, n += 4) ASSERT_EQ(record(n), lines[at]) << "line " << at;
    size_t errorsAfter = lines.size() - ordinary;
    EXPECT_GT(errorsAfter, 4000u) << "about 1 MiB of errors";
    RecordProperty("records_shown", std::to_string(lines.size()));
    RecordProperty("errors_after_the_fill", std::to_string(errorsAfter));
    // No second warning.
    Sleep(300);
    EXPECT_FALSE(FindProcessWindow(app.info.dwProcessId, nullptr, "Warning"));
    EXPECT_TRUE(Screenshot(viewer, "log-viewer-full.png"));
    CloseViewer(viewer);
    EXPECT_EQ(0u, Finish());
}

// ---- DelDest.bat, written from the missing-files viewer and run by cmd.exe ----

// The scratch tree, one entry a line (folders end in "\\", parents come first): each name of the
// destination that the source lacks is one cmd.exe would take for something else if it were
// written carelessly, and beside several stands the name a careless line would delete instead.
static const char DEST_ENTRIES[] =
    "dst\\\n"
    "dst\\data\\\n"
    "dst\\data\\keep.txt\n"
    "dst\\data\\50.txt\n"   // what an unescaped "50%.txt" line deletes
    "dst\\data\\50%.txt\n"
    "dst\\data\\ab.txt\n"   // what "a!b!.txt" deletes with delayed expansion on
    "dst\\data\\a!b!.txt\n"
    "dst\\data\\x&y.txt\n"
    "dst\\data\\c^d.txt\n"
    "dst\\data\\cd.txt\n"
    "dst\\data\\sp ace.txt\n"
    "dst\\data\\%PATH%.txt\n"
    "dst\\data\\漢字.txt\n"
    "dst\\data\\ソ表.txt\n"
    "dst\\data\\gone 100%\\\n"
    "dst\\data\\gone 100%\\in!side.txt\n"
    "dst\\data\\gone 100%\\ソ\\\n"
    "dst\\data\\gone 100%\\ソ\\deep&.txt\n"
    "dst\\data\\kept\\\n"
    "dst\\data\\kept\\old.txt\n"
    "dst\\data\\kept\\new.txt\n"
    "dst\\data\\marked\\\n"
    "dst\\data\\marked\\ro.txt\n"
    "dst\\data\\marked\\hid.txt\n"
    "dst\\data\\marked\\sys.txt\n"
    "dst\\data\\ro-keep.txt\n";
static const char SOURCE_ENTRIES[] =
    "src\\\n"
    "src\\data\\\n"
    "src\\data\\keep.txt\n"
    "src\\data\\50.txt\n"
    "src\\data\\ab.txt\n"
    "src\\data\\cd.txt\n"
    "src\\data\\kept\\\n"
    "src\\data\\kept\\new.txt\n"
    "src\\data\\ro-keep.txt\n";
// Attributes given after the entries are made: a read-only, a hidden and a system file in a
// hidden system folder, all listed, which a plain del or rmdir would leave; beside them a
// read-only hidden decoy that the source has, which the batch must leave alone.
static const struct {
    const char *path;
    DWORD attributes;
} DEST_ATTRIBUTES[] = {
    {"dst\\data\\marked\\ro.txt", FILE_ATTRIBUTE_READONLY},
    {"dst\\data\\marked\\hid.txt", FILE_ATTRIBUTE_HIDDEN},
    {"dst\\data\\marked\\sys.txt", FILE_ATTRIBUTE_SYSTEM},
    {"dst\\data\\marked", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
    {"dst\\data\\ro-keep.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN},
};

// What must be left of the source (untouched) and of the destination after the batch ran: the
// entries the source has, and last of both the decoy with its attributes.
static const char BOTH_AFTER[] =
    "data\\ attr=\n"
    "data\\50.txt attr= size=0\n"
    "data\\ab.txt attr= size=0\n"
    "data\\cd.txt attr= size=0\n"
    "data\\keep.txt attr= size=0\n"
    "data\\kept\\ attr=\n"
    "data\\kept\\new.txt attr= size=0\n";
static const std::string SOURCE_AFTER = std::string(BOTH_AFTER) + "data\\ro-keep.txt attr= size=0\n";
static const std::string DEST_AFTER = std::string(BOTH_AFTER) + "data\\ro-keep.txt attr=RH size=0\n";

// Makes the entries below `root` (names may hold spaces, which the tree builder's layout cannot),
// and gives the destination's entries their attributes.
static std::string MakeEntries(const std::string &root, const char *entries) {
    std::string problems, list = entries;
    for (size_t start = 0, end; (end = list.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string path = root + list.substr(start, end - start);
        bool ok = path.back() == '\\' ? CreateDirectoryA(path.substr(0, path.size() - 1).c_str(), nullptr) != FALSE
                                      : WriteWholeFile(path, "");
        if (!ok) problems += path + "; ";
    }
    for (auto &entry : DEST_ATTRIBUTES) {
        std::string path = root + entry.path;
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) continue; // not in this list
        DWORD kept = GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY;
        if (!SetFileAttributesA(path.c_str(), entry.attributes) ||
            (GetFileAttributesA(path.c_str()) & ~(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_DIRECTORY)) != entry.attributes ||
            (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != kept)
            problems += path + " attributes; ";
    }
    return problems;
}

// The missing-files viewer's lines for the scratch tree, `dst` being the listed folder (ending in
// "\\"; compared without regard to ASCII case, as the destination field shows it in capitals):
// every entry the source lacks, a folder after its contents, and nothing else.
static void ExpectListedAsMissing(const std::vector<std::string> &lines, const std::string &dst) {
    auto upper = [](std::string text) {
        for (char &c : text) c = (char)toupper((unsigned char)c);
        return text;
    };
    std::string listed;
    for (const std::string &l : lines) listed += upper(l) + "\n";
    const std::string base = upper(dst);
    for (const char *name : {"50%.txt", "a!b!.txt", "x&y.txt", "c^d.txt", "sp ace.txt", "%PATH%.txt", "漢字.txt", "ソ表.txt",
                             "gone 100%\\in!side.txt", "gone 100%\\ソ\\deep&.txt", "kept\\old.txt", "marked\\ro.txt",
                             "marked\\hid.txt", "marked\\sys.txt"})
        EXPECT_NE(std::string::npos, listed.find("F " + base + upper(name) + "\n")) << name << " not listed:\n" << listed;
    size_t folder = listed.find("D " + base + upper("gone 100%\\ソ\n"));
    EXPECT_NE(std::string::npos, folder);
    EXPECT_LT(listed.find(upper("gone 100%\\ソ\\deep&.txt")), folder);
    EXPECT_NE(std::string::npos, listed.find("D " + base + upper("gone 100%\n")));
    EXPECT_LT(listed.find(upper("marked\\sys.txt")), listed.find("D " + base + upper("marked\n")));
    EXPECT_EQ(std::string::npos, listed.find("KEEP.TXT")) << listed;
    EXPECT_EQ(17u, lines.size()) << listed;
}

class DeleteBatchBench : public ViewerBench {
  protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_NE(0u, GetTempPathA(sizeof temp, temp));
        root = std::string(temp) + "kestrel_deldest\\";
        DeleteTree(root.substr(0, root.size() - 1));
        ASSERT_TRUE(CreateDirectoryA(root.substr(0, root.size() - 1).c_str(), nullptr));
        ASSERT_EQ("", MakeEntries(root, DEST_ENTRIES));
        ASSERT_EQ("", MakeEntries(root, SOURCE_ENTRIES));
        char desktop[MAX_PATH];
        ASSERT_EQ(0, GetSpecialFolderPath(CSIDL_DESKTOP, desktop));
        batch = std::string(desktop) + "\\DelDest.bat";
        DeleteFileA(batch.c_str());
    }
    void TearDown() override {
        ViewerBench::TearDown();
        DeleteFileA(batch.c_str());
        DeleteTree(root.substr(0, root.size() - 1));
    }
    // Runs the batch file with cmd.exe, delayed expansion on or off as asked; what cmd.exe
    // echoes is kept as an artefact.
    void RunBatch(bool delayedExpansion) {
        std::string command = std::string("cmd.exe ") + (delayedExpansion ? "/V:ON" : "/V:OFF") + " /c \"" + batch + "\"";
        std::vector<char> line(command.begin(), command.end());
        line.push_back(0);
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        std::string output = ArtefactDir() + (delayedExpansion ? "deldest-cmd-v-on.txt" : "deldest-cmd-v-off.txt");
        HANDLE out = CreateFileA(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, out) << output;
        STARTUPINFOA si;
        memset(&si, 0, sizeof si);
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = out;
        si.hStdError = out;
        PROCESS_INFORMATION cmd;
        BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &cmd);
        CloseHandle(out);
        ASSERT_TRUE(started) << command;
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(cmd.hProcess, VIEWER_WAIT_MS));
        CloseHandle(cmd.hProcess);
        CloseHandle(cmd.hThread);
    }
    std::string root, batch;
};

TEST_F(DeleteBatchBench, DelDestBatDeletesExactlyTheListedEntriesUnderCmd) {
    for (bool delayed : {true, false}) {
        SCOPED_TRACE(delayed ? "delayed expansion on" : "delayed expansion off");
        if (!delayed) {
            // A fresh tree and a fresh batch file for the second run.
            DeleteTree(root + "dst");
            ASSERT_EQ("", MakeEntries(root, DEST_ENTRIES));
            ASSERT_TRUE(DeleteFileA(batch.c_str()));
        }
        Start("check \"" + root + "src\\data\" \"" + root + "dst\"");
        HWND viewer = WaitForWindow(SYNC_CAPTION);
        ASSERT_TRUE(viewer) << "no missing-files viewer appeared";
        HWND control = GetDlgItem(viewer, IDC_MISSING_VIEW);
        ASSERT_TRUE(control);
        EXPECT_NE(0u, (DWORD)GetWindowLongA(control, GWL_STYLE) & ES_READONLY);
        std::vector<std::string> lines = TextLines(ControlText(control));
        const std::string dst = root + "dst\\data\\";
        ExpectListedAsMissing(lines, dst);
        if (delayed) {
            EXPECT_TRUE(Screenshot(viewer, "missing-files-viewer.png"));
        }

        PostMessageA(viewer, WM_SYSCOMMAND, IDM_MAKEBATCH, 0);
        ASSERT_NO_FATAL_FAILURE(
            ReadAndAnswerBox(app, "Information", BatchWrittenText("17"), IDOK, delayed ? "batch-written-information.png" : nullptr));
        std::string written = ReadWholeFile(batch);
        ASSERT_FALSE(written.empty()) << "no DelDest.bat on the desktop";
        EXPECT_EQ(0u, written.find("REM KESTREL Delete Destination BAT File\r\n\r\nsetlocal DisableDelayedExpansion\r\n"));
        EXPECT_NE(std::string::npos, written.find("del /F /A \"" + dst + "50%%.txt\"\r\n"));
        EXPECT_NE(std::string::npos, written.find("attrib -H -S -R \"" + dst + "gone 100%%\"\r\nrmdir \"" + dst + "gone 100%%\"\r\n"));
        EXPECT_NE(std::string::npos, written.find("del /F /A \"" + dst + "marked\\ro.txt\"\r\n"));
        EXPECT_NE(std::string::npos, written.find("attrib -H -S -R \"" + dst + "marked\"\r\nrmdir \"" + dst + "marked\"\r\n"));
        // Writing it again: the warning, and the first file stays as it was.
        PostMessageA(viewer, WM_SYSCOMMAND, IDM_MAKEBATCH, 0);
        HWND box = WaitForWindow("Warning");
        ASSERT_TRUE(box) << "no warning for an existing batch file";
        EXPECT_TRUE(IsWindowVisible(viewer));
        if (delayed) {
            EXPECT_TRUE(Screenshot(box, "batch-exists-warning.png"));
        }
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 20000));
        EXPECT_EQ(written, ReadWholeFile(batch));
        CloseViewer(viewer);
        HWND log = WaitForWindow(LOG_CAPTION);
        ASSERT_TRUE(log) << "the log viewer follows the missing-files viewer";
        CloseViewer(log);
        EXPECT_EQ(0u, Finish());
        CloseHandle(app.info.hProcess);
        CloseHandle(app.info.hThread);
        app.info = PROCESS_INFORMATION{};

        RunBatch(delayed);
        EXPECT_EQ(DEST_AFTER, ReadTree(root + "dst\\", FILE_ATTRIBUTE_ARCHIVE));
        EXPECT_EQ(SOURCE_AFTER, ReadTree(root + "src\\", FILE_ATTRIBUTE_ARCHIVE))
            << "the sources are untouched";
    }
}

// An empty source offers everything its destination folder holds: writing the batch asks first,
// with the focus on いいえ, so that Enter writes nothing and leaves the viewer open.
TEST_F(DeleteBatchBench, AWholeDestinationFolderIsAskedForFirst) {
    ASSERT_EQ("", BuildTree(root, "src\\empty\\\ndst\\empty\\a.txt\ndst\\empty\\sub\\b.txt\n"));
    Start("check \"" + root + "src\\empty\" \"" + root + "dst\"");
    HWND viewer = WaitForWindow(SYNC_CAPTION);
    ASSERT_TRUE(viewer) << "no missing-files viewer appeared";
    PostMessageA(viewer, WM_SYSCOMMAND, IDM_MAKEBATCH, 0);
    HWND box = WaitForWindow("Warning");
    ASSERT_TRUE(box) << "no question before the batch file";
    Settle(box);
    EXPECT_EQ("コピー先の " + root + "dst\\empty の中身がすべて削除の対象になっています。\n"
              "コピー元のフォルダが空か、ドライブが接続されていない可能性があります。\nバッチファイルを作成しますか？",
              MessageBoxText(app.info.hProcess, box));
    GUITHREADINFO gui;
    memset(&gui, 0, sizeof gui);
    gui.cbSize = sizeof gui;
    ASSERT_TRUE(GetGUIThreadInfo(app.info.dwThreadId, &gui));
    EXPECT_EQ(GetDlgItem(box, IDNO), gui.hwndFocus) << "the focus starts on いいえ";
    EXPECT_TRUE(Screenshot(box, "batch-question.png"));
    // Enter as the keyboard gives it, to the focused button.
    PostMessageA(gui.hwndFocus, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageA(gui.hwndFocus, WM_KEYUP, VK_RETURN, 0xC01C0001);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 20000)) << "Enter did not end the question";
    Settle(viewer);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(batch.c_str())) << "written without a yes";
    EXPECT_TRUE(IsWindowVisible(viewer)) << "the viewer stays open";
    CloseViewer(viewer);
    HWND log = WaitForWindow(LOG_CAPTION);
    ASSERT_TRUE(log);
    CloseViewer(log);
    EXPECT_EQ(0u, Finish());
}

TEST_F(ViewerBench, TheViewersSmallIconGoesWithTheViewer) {
    // The program opens the log viewer twice, takes its small icon while it is shown, closes it
    // and checks that the icon was destroyed with it (0); 1 when it stayed, 2 when there was none.
    Start("icon");
    EXPECT_EQ(0u, Finish());
}

// ---- the real program at the end of a real run ----

// The colour each line of a viewer's text is shown in, "auto" for the default text colour.
static std::vector<std::string> LineColours(HANDLE process, HWND control, size_t lines) {
    std::vector<std::string> colours;
    for (const CHARFORMATA &f : LineFormats(process, control, (int)lines)) colours.push_back(Colour(f));
    return colours;
}

// kestrel.exe copies the scratch tree's source into its destination with the missing-in-source
// check: at the end of the run the missing-files viewer comes first, owned by the main window;
// DelDest.bat is written from it; the log viewer follows with its records in colour; cmd.exe
// then deletes exactly what the list showed.
class KestrelViewers : public DeleteBatchBench {
  protected:
    BenchProcess program;
    void SetUp() override {
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KESTREL");
        DeleteBatchBench::SetUp();
        ASSERT_TRUE(WriteWholeFile(root + "src\\data\\new.txt", "new")); // only in the source: copied
    }
    void TearDown() override {
        if (program.running && !program.Ended()) TerminateProcess(program.info.hProcess, 99);
        program.Ended(VIEWER_WAIT_MS);
        program.running = false;
        DeleteBatchBench::TearDown();
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KESTREL");
    }
    // Starts kestrel.exe with CONF 9 (every record in the log, bit 0, and the missing-in-source
    // check, bit 3), `dest` and `source`, and presses the start button.
    void StartRun(const std::string &dest, const std::string &source) {
        program.Start(ProgramDir() + "kestrel.exe", "/conf 9 /dest \"" + dest + "\" \"" + source + "\"");
        window = program.WaitForWindow("kestrel");
        ASSERT_TRUE(window) << "no main window";
        dialog = FindWindowExA(window, nullptr, "#32770", nullptr);
        ASSERT_TRUE(dialog);
        Click(GetDlgItem(dialog, IDC_START));
    }
    // Writes DelDest.bat from the missing-files viewer (its information box tells the count of
    // entries it deletes), closes the viewer and waits for the log viewer.
    void MakeBatchThenOpenLog(HWND viewer, const char *count, HWND *log, const char *leftOut = nullptr) {
        PostMessageA(viewer, WM_SYSCOMMAND, IDM_MAKEBATCH, 0);
        ASSERT_NO_FATAL_FAILURE(ReadAndAnswerBox(program, "Information", BatchWrittenText(count, leftOut), IDOK));
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(batch.c_str()));
        Settle(viewer);
        CloseViewer(viewer);
        *log = program.WaitForWindow("#32770", LOG_CAPTION, VIEWER_WAIT_MS);
        ASSERT_TRUE(*log) << "no log viewer after the missing-files viewer";
    }
    // Closes the log viewer, waits for the dialog to be idle and closes the program.
    void EndProgram(HWND log) {
        CloseViewer(log);
        ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(GetDlgItem(dialog, IDC_SOURCES)) != FALSE; }));
        PostMessageA(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(0u, program.Finish());
    }
    HWND window = nullptr, dialog = nullptr;
};

TEST_F(KestrelViewers, ARunShowsTheMissingFilesFirstThenTheLogAndItsBatchDeletesExactlyTheList) {
    ASSERT_NO_FATAL_FAILURE(StartRun(root + "dst", root + "src\\data"));

    HWND viewer = program.WaitForWindow("#32770", SYNC_CAPTION, VIEWER_WAIT_MS);
    ASSERT_TRUE(viewer) << "no missing-files viewer at the end of the run";
    EXPECT_EQ(window, GetWindow(viewer, GW_OWNER)) << "the main window owns the viewer";
    EXPECT_FALSE(FindProcessWindow(program.info.dwProcessId, "#32770", LOG_CAPTION)) << "the log viewer comes second";
    HWND control = GetDlgItem(viewer, IDC_MISSING_VIEW);
    std::vector<std::string> lines = TextLines(::ControlText(program.info.hProcess, control));
    ExpectListedAsMissing(lines, root + "dst\\data\\");
    std::vector<std::string> colours = LineColours(program.info.hProcess, control, lines.size());
    ASSERT_EQ(lines.size(), colours.size());
    for (size_t i = 0; i < lines.size(); i++) // folders blue, files in the default colour
        EXPECT_EQ(lines[i][0] == 'D' ? "0,0,255" : "auto", colours[i]) << lines[i];
    EXPECT_TRUE(Screenshot(viewer, "run-missing-files-viewer.png"));
    HWND log = nullptr;
    ASSERT_NO_FATAL_FAILURE(MakeBatchThenOpenLog(viewer, "17", &log));
    EXPECT_EQ(window, GetWindow(log, GW_OWNER));
    HWND logControl = GetDlgItem(log, IDC_LOG_VIEW);
    // Wine gives no text of this control to another process (EM_GETTEXTEX answers nothing here,
    // unlike for the missing-files viewer before it), so the records are counted by their lines
    // and read by their colours: the existing folders, the five files not newer than their
    // copies and the read-only hidden decoy (a hidden destination file is not overwritten) in
    // the default colour, the one new file copied in blue, and the summary in the default colour.
    EXPECT_EQ(10, (int)SendMessageA(logControl, EM_GETLINECOUNT, 0, 0));
    colours = LineColours(program.info.hProcess, logControl, 10);
    EXPECT_EQ(1, std::count(colours.begin(), colours.end(), "0,0,255"));
    EXPECT_EQ(9, std::count(colours.begin(), colours.end(), "auto"));
    EXPECT_TRUE(Screenshot(log, "run-log-viewer.png"));
    ASSERT_NO_FATAL_FAILURE(EndProgram(log));

    RunBatch(true);
    // The copied file sorts just before the decoy, the last line of both.
    auto withCopy = [](std::string tree) {
        return tree.insert(tree.find("data\\ro-keep.txt"), "data\\new.txt attr= size=3 text=\"new\"\n");
    };
    EXPECT_EQ(withCopy(DEST_AFTER), ReadTree(root + "dst\\", FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(withCopy(SOURCE_AFTER), ReadTree(root + "src\\", FILE_ATTRIBUTE_ARCHIVE)) << "the sources are untouched";
}

// ---- names outside code page 932, and paths over 260 units ----

// kestrel.exe on names that code page 932 cannot hold ("café.txt" beside "cafe.txt", an emoji)
// and on paths over 260 units, in the walk and in the missing-in-source check: every entry is
// copied and listed under its own name, never a substitute; the batch leaves out what it cannot
// name exactly and says so, and cmd.exe running it deletes nothing else. A command line that
// names a folder the code page cannot hold is refused, never resolved to a look-alike.
TEST_F(KestrelViewers, NamesOutsideTheCodePageAndLongPathsAreCopiedAndListed) {
    // A destination of 60 bytes, as a dated backup folder is: a 200-byte name fits the source but
    // makes the destination's path longer than 260 units.
    const std::string dest = root + std::string(59 - root.size(), 'd') + "\\";
    ASSERT_EQ(60u, dest.size());
    const std::string longFile = std::string(196, 'L') + ".txt", longFolder(240, 'M');
    ASSERT_EQ("", BuildTree(root, ("src\\names\\cafe.txt text=\"PLAIN\"\nsrc\\names\\{1F600}.txt text=\"EMOJI\"\n"
                                   "src\\names\\" + longFile + " text=\"LONG\"\n")
                                      .c_str()));
    ASSERT_EQ("", BuildTree(dest, ("names\\stale.txt\nnames\\caf{E9}.txt text=\"ACCENTED\"\nnames\\gone\\" +
                                   longFolder + "\\x.txt\n").c_str()));

    ASSERT_NO_FATAL_FAILURE(StartRun(dest, root + "src\\names"));

    HWND viewer = program.WaitForWindow("#32770", SYNC_CAPTION, VIEWER_WAIT_MS);
    ASSERT_TRUE(viewer) << "no missing-files viewer at the end of the run";
    std::vector<std::string> lines = TextLines(::ControlText(program.info.hProcess, GetDlgItem(viewer, IDC_MISSING_VIEW)));
    std::string upperDest = dest, upperFolder = longFolder;
    for (char &c : upperDest) c = (char)toupper((unsigned char)c);
    for (std::string &line : lines)
        for (char &c : line) c = (char)toupper((unsigned char)c);
    std::sort(lines.begin(), lines.end());
    // The destination's "café.txt" by its true name (the source's "cafe.txt" is not it), and the
    // entries whose paths are over 260 units.
    const std::string gone = "NAMES\\GONE";
    EXPECT_EQ((std::vector<std::string>{"D " + upperDest + gone, "D " + upperDest + gone + "\\" + upperFolder,
                                        "F " + upperDest + "NAMES\\CAF{E9}.TXT",
                                        "F " + upperDest + gone + "\\" + upperFolder + "\\X.TXT",
                                        "F " + upperDest + "NAMES\\STALE.TXT"}),
              lines);
    EXPECT_TRUE(Screenshot(viewer, "names-missing-files-viewer.png"));
    HWND log = nullptr;
    // The batch deletes stale.txt only: café.txt, x.txt (317 units) and the two folders that hold
    // it are left out.
    ASSERT_NO_FATAL_FAILURE(MakeBatchThenOpenLog(viewer, "1", &log, "4"));
    HWND logControl = GetDlgItem(log, IDC_LOG_VIEW);
    // "names" exists; "cafe.txt", the emoji file and the long name copied (blue). (WM_GETTEXT
    // gives the control's text through code page 932, an emoji as "??"; EM_GETTEXTEX gives it as
    // the control holds it.)
    std::vector<std::string> records = TextLines(::ControlText(program.info.hProcess, logControl));
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(0u, records.back().rfind("! > > コピー 3 件（14 バイト）、フォルダ作成 0 件、未コピー 0 件、エラー 0 件、警告 0 件、経過時間 ", 0))
        << "the summary comes last";
    records.pop_back();
    std::vector<std::string> expected = {"  names すでに存在します。", "O names\\cafe.txt コピーしました。",
                                         "O names\\{1F600}.txt コピーしました。", "O names\\" + longFile + " コピーしました。"};
    std::sort(records.begin(), records.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, records);
    std::vector<std::string> colours = LineColours(program.info.hProcess, logControl, 5);
    EXPECT_EQ(2, std::count(colours.begin(), colours.end(), "auto"));
    EXPECT_EQ(3, std::count(colours.begin(), colours.end(), "0,0,255"));
    EXPECT_TRUE(Screenshot(log, "names-log-viewer.png"));
    ASSERT_NO_FATAL_FAILURE(EndProgram(log));

    RunBatch(true);
    EXPECT_EQ("names\\ attr=\nnames\\cafe.txt attr= size=5 text=\"PLAIN\"\nnames\\caf{E9}.txt attr= size=8 text=\"ACCENTED\"\n"
              "names\\gone\\ attr=\nnames\\gone\\" + longFolder + "\\ attr=\nnames\\gone\\" + longFolder +
                  "\\x.txt attr= size=0\nnames\\" + longFile + " attr= size=4 text=\"LONG\"\n"
                  "names\\{1F600}.txt attr= size=5 text=\"EMOJI\"\n",
              ReadTree(dest, FILE_ATTRIBUTE_ARCHIVE));
    DeleteTree(dest.substr(0, dest.size() - 1));

    // "简体目录" beside "X体目Y", which its ANSI form "?体目?" would find: refused at the start.
    ASSERT_EQ("", BuildTree(root, "src\\{7B80}体目{5F55}\\a.txt\nsrc\\X体目Y\\decoy.txt\n"));
    program.Start(ProgramDir() + "kestrel.exe", "/dest \"" + root + "dst\" \"" + root + "src\\{7B80}体目{5F55}\"");
    ASSERT_NO_FATAL_FAILURE(ReadAndAnswerBox(program, "Warning", "名前に扱えない文字があるフォルダやファイルがあります。", IDOK,
                                             "unholdable-command-line-warning.png"));
    window = program.WaitForWindow("kestrel");
    ASSERT_TRUE(window) << "no main window";
    dialog = FindWindowExA(window, nullptr, "#32770", nullptr);
    EXPECT_EQ(std::string::npos, WindowText(GetDlgItem(dialog, IDC_SOURCES)).find("体目")) << "a source was resolved";
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, program.Finish());
}
