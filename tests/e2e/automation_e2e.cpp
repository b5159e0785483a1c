// The command line, script files and the file-type registration on the real program under Wine:
// options fill the dialog, the create-script dialog writes the script's bytes, /script restores
// it, the system menu registers the type and the shell then opens a script with the program.
#include "bench.h"
#include "controls.h"
#include "folder.h"
#include "tree.h"
#include <shellapi.h>
#include <cstring>

static const char MAIN_CLASS[] = "kestrel";
static const char MKSCRIPT_CAPTION[] = "スクリプトの作成";
static const UINT IDM_REGISTER_COMMAND = 1050;
static const UINT IDM_MKSCRIPT_COMMAND = 1051;

namespace {

// One KESTREL program and its main dialog.
struct Kestrel {
    BenchProcess process;
    HWND window = nullptr;
    HWND dialog = nullptr;
    void Start(const std::string &args) {
        process.Start(ProgramDir() + "kestrel.exe", args);
        Attach();
    }
    void Attach() {
        window = process.WaitForWindow(MAIN_CLASS);
        ASSERT_NE(nullptr, window) << "the main window did not appear";
        dialog = FindWindowExA(window, nullptr, "#32770", nullptr);
        ASSERT_NE(nullptr, dialog) << "the main dialog is not in the main window";
        Settle(dialog);
    }
    std::string Text(int id) const { return WindowText(GetDlgItem(dialog, id)); }
    int Check(int id) const { return (int)SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0); }
    void Close() {
        if (window) PostMessageA(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(0u, process.Finish());
    }
};

std::string Desktop() {
    char path[MAX_PATH];
    EXPECT_EQ(0, GetSpecialFolderPath(CSIDL_DESKTOP, path));
    return path;
}

// Ends KESTREL's own message box (caption `caption`) with its OK button, after a screenshot.
void AnswerBox(BenchProcess &process, const char *caption, const std::string &shot) {
    HWND box = process.WaitForWindow("#32770", caption);
    ASSERT_NE(nullptr, box) << "no box \"" << caption << "\"";
    Settle(box);
    EXPECT_TRUE(Screenshot(box, shot));
    HWND ok = GetDlgItem(box, IDOK);
    ASSERT_NE(nullptr, ok);
    Click(ok);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); })) << "the box stayed open";
}

const char *const TYPE_KEYS[] = {".kjb",
                                 "KESTRELScript",
                                 "KESTRELScript\\DefaultIcon",
                                 "KESTRELScript\\shell",
                                 "KESTRELScript\\shell\\open",
                                 "KESTRELScript\\shell\\open\\command"};

void DeleteTypeKeys() {
    for (int i = 5; i >= 0; i--) RegDeleteKeyA(HKEY_CLASSES_ROOT, TYPE_KEYS[i]);
}

// A key's default value with its terminator, "<no key>" or "<no value>".
std::string DefaultValue(const char *key) {
    HKEY k;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return "<no key>";
    char data[600];
    DWORD size = sizeof data, type = 0;
    LONG r = RegQueryValueExA(k, nullptr, nullptr, &type, (BYTE *)data, &size);
    RegCloseKey(k);
    if (r != ERROR_SUCCESS) return "<no value>";
    return std::string(data, size);
}

} // namespace

TEST(Automation, CommandLineFillsTheDialog) {
    Kestrel k;
    k.Start("/dest E:\\BAK /mode 0 \"C:\\no such data\"");
    if (HasFatalFailure()) return;
    EXPECT_EQ(" \"C:\\no such data\"", k.Text(IDC_SOURCES));
    EXPECT_EQ("E:\\BAK", k.Text(IDC_DEST));
    for (int id = 1009; id <= 1040; id++) {
        if (id != 1018 && id != 1028 && id != 1038) {
            EXPECT_EQ(BST_UNCHECKED, k.Check(id)) << id;
        }
    }
    EXPECT_TRUE(Screenshot(k.window, "automation-command-line.png"));
    k.Close();
}

TEST(Automation, RefusedCommandLineShowsItsWarning) {
    Kestrel k;
    k.process.Start(ProgramDir() + "kestrel.exe", "/dest E:\\X /tcf");
    // The warning comes while the dialog is being made, before the window is shown.
    AnswerBox(k.process, "Warning", "automation-command-line-refused.png");
    if (HasFatalFailure()) return;
    k.Attach();
    if (HasFatalFailure()) return;
    EXPECT_EQ("E:\\X", k.Text(IDC_DEST));
    k.Close();
}

// The create-script dialog writes the dialog's settings; /script reads them back.
TEST(Automation, CreateScriptFromTheSystemMenuAndReadItBack) {
    std::string path = Desktop() + "\\KESTREL-E2E.kjb";
    DeleteFileA(path.c_str());
    Kestrel k;
    k.Start("/dest E:\\BAK /tcd * /tcf *.TXT /tud TMP /tuf *.BAK /mode 16030180 /conf D \"C:\\no such data\"");
    if (HasFatalFailure()) return;
    PostMessageA(k.window, WM_SYSCOMMAND, IDM_MKSCRIPT_COMMAND, 0);
    HWND mk = k.process.WaitForWindow("#32770", MKSCRIPT_CAPTION);
    ASSERT_NE(nullptr, mk) << "the create-script dialog did not open";
    Settle(mk);
    EXPECT_EQ("KESTREL", WindowText(GetDlgItem(mk, IDC_SCRIPT_NAME)));
    EXPECT_TRUE(Screenshot(mk, "automation-create-script.png"));
    SendMessageA(GetDlgItem(mk, IDC_SCRIPT_NAME), WM_SETTEXT, 0, (LPARAM) "KESTREL-E2E");
    Click(GetDlgItem(mk, IDOK));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(mk); })) << "the dialog stayed open";
    // MODE as the platform offers it; Wine's version decides the mask, which keeps these bits.
    EXPECT_EQ("# KESTREL Script File KESTREL-E2E\r\n"
              "\r\n"
              "SRC: \"C:\\no such data\"\r\n"
              "DEST:E:\\BAK\r\n"
              "TCD:*\r\n"
              "TCF:*.TXT\r\n"
              "TUD:TMP\r\n"
              "TUF:*.BAK\r\n"
              "MODE:16030180\r\n"
              "CONF:0000000D\r\n",
              ReadWholeFile(path));

    // The same name again: refused, the dialog stays open for another name.
    PostMessageA(k.window, WM_SYSCOMMAND, IDM_MKSCRIPT_COMMAND, 0);
    mk = k.process.WaitForWindow("#32770", MKSCRIPT_CAPTION);
    ASSERT_NE(nullptr, mk);
    SendMessageA(GetDlgItem(mk, IDC_SCRIPT_NAME), WM_SETTEXT, 0, (LPARAM) "KESTREL-E2E");
    Click(GetDlgItem(mk, IDOK));
    AnswerBox(k.process, "Warning", "automation-script-exists.png");
    EXPECT_TRUE(IsWindow(mk)) << "the create-script dialog closed after a refusal";
    Click(GetDlgItem(mk, IDCANCEL));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(mk); }));
    k.Close();

    Kestrel again;
    again.Start("/script \"" + path + "\"");
    if (HasFatalFailure()) return;
    EXPECT_EQ(" \"C:\\no such data\"", again.Text(IDC_SOURCES));
    EXPECT_EQ("E:\\BAK", again.Text(IDC_DEST));
    EXPECT_EQ("*", again.Text(IDC_TCD));
    EXPECT_EQ("*.TXT", again.Text(IDC_TCF));
    EXPECT_EQ("TMP", again.Text(IDC_TUD));
    EXPECT_EQ("*.BAK", again.Text(IDC_TUF));
    EXPECT_EQ(BST_CHECKED, again.Check(IDC_CHECK_MISSING));
    EXPECT_EQ(BST_UNCHECKED, again.Check(IDC_CLEAR_ARCHIVE));
    EXPECT_EQ(BST_CHECKED, again.Check(IDC_SKIP_NOT_NEWER)); // bit 28
    again.Close();
    EXPECT_TRUE(DeleteFileA(path.c_str()));
}

// Registration from the system menu, then the shell opens a script with the program.
TEST(Automation, RegisterTheTypeAndOpenAScriptFromTheShell) {
    DeleteTypeKeys();
    std::string script = Desktop() + "\\KESTREL E2E open.kjb";
    ASSERT_TRUE(WriteWholeFile(script, "DEST:E:\\OPENED\r\nSRC:\"C:\\from shell\"\r\n"));
    Kestrel k;
    k.Start("");
    if (HasFatalFailure()) return;
    PostMessageA(k.window, WM_SYSCOMMAND, IDM_REGISTER_COMMAND, 0);
    AnswerBox(k.process, "Information", "automation-registered.png");
    k.Close();

    std::string program = DefaultValue("KESTRELScript\\DefaultIcon");
    ASSERT_GT(program.size(), 3u);
    program = program.substr(0, program.size() - 3); // without ",0" and the terminator
    char started[MAX_PATH];
    ASSERT_NE(0u, GetFullPathNameA((ProgramDir() + "kestrel.exe").c_str(), sizeof started, started, nullptr));
    EXPECT_EQ(0, _stricmp(program.c_str(), started)) << program << " is not " << started;
    std::string zero(1, '\0');
    EXPECT_EQ("KESTRELScript" + zero, DefaultValue(".kjb"));
    EXPECT_EQ("KESTREL Script" + zero, DefaultValue("KESTRELScript"));
    EXPECT_EQ(program + ",0" + zero, DefaultValue("KESTRELScript\\DefaultIcon"));
    EXPECT_EQ("<no value>", DefaultValue("KESTRELScript\\shell"));
    EXPECT_EQ("<no value>", DefaultValue("KESTRELScript\\shell\\open"));
    EXPECT_EQ("\"" + program + "\" /script \"%1\"" + zero, DefaultValue("KESTRELScript\\shell\\open\\command"));

    // The shell's own open call: the program starts with the script and fills its dialog.
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = "open";
    info.lpFile = script.c_str();
    info.nShow = SW_SHOWNORMAL;
    ASSERT_TRUE(ShellExecuteExA(&info)) << "error " << GetLastError();
    ASSERT_NE(nullptr, info.hProcess) << "the shell started nothing";
    Kestrel opened;
    opened.process.info.hProcess = info.hProcess;
    opened.process.info.dwProcessId = GetProcessId(info.hProcess);
    opened.process.running = true;
    opened.Attach();
    if (!HasFatalFailure()) {
        EXPECT_EQ("E:\\OPENED", opened.Text(IDC_DEST));
        EXPECT_EQ("\"C:\\from shell\"", opened.Text(IDC_SOURCES));
        EXPECT_TRUE(Screenshot(opened.window, "automation-opened-from-the-shell.png"));
        opened.Close();
    }
    DeleteTypeKeys();
    EXPECT_TRUE(DeleteFileA(script.c_str()));
}
