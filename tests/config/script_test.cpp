// Script files: the reader's line kinds, keys, values and refusals; the writer's golden bytes,
// its refusals in their order and its failures; the create-script dialog; the round trip.
#include "automation_fixture.h"
#include "cmdline.h"
#include "folder.h"
#include "script.h"
#include <cstring>
#ifdef KESTREL_SIM
#include "folder_record.h"
#include "simwin_dialog.h"
#endif

class ScriptTest : public AutomationTest {
  protected:
    void SetUp() override {
        AutomationTest::SetUp();
        if (HasFatalFailure() || IsSkipped()) return;
#ifdef KESTREL_SIM
        // The desktop is the scratch folder, so that written scripts go where the test cleans up.
        ResetFolderPickerScript();
        desktop = root.substr(0, root.size() - 1);
        SetSpecialFolderPath(CSIDL_DESKTOP, desktop.c_str());
#else
        char path[MAX_PATH];
        ASSERT_EQ(0, GetSpecialFolderPath(CSIDL_DESKTOP, path));
        desktop = path;
#endif
        g_mainDialog = dialog;
        nameDialog = CreateNameDialog();
        ASSERT_NE(nullptr, nameDialog);
    }
    void TearDown() override {
        for (auto &name : written) DeleteFileA(ScriptPath(name).c_str());
        if (nameDialog) DestroyNameDialog(nameDialog);
        g_mainDialog = nullptr;
#ifdef KESTREL_SIM
        ResetFolderPickerScript();
#endif
        AutomationTest::TearDown();
    }
    // Reads `content` as a script file from the scratch folder.
    int ReadScript(const std::string &content) {
        std::string path = Path("job.kjb");
        DeleteFileA(path.c_str());
        EXPECT_TRUE(WriteWholeFile(path, content));
        return ReadScriptFile(dialog, path.c_str());
    }
    std::string ScriptPath(const std::string &name) const { return desktop + "\\" + name + ".kjb"; }
    // Writes the main dialog's settings as the script `name` (removed again at the end).
    int Write(const std::string &name) {
        written.push_back(name);
        SetControlText(nameDialog, IDC_SCRIPT_NAME, name);
        return WriteScriptFile(nameDialog);
    }
    void FillDialog() {
        Set(IDC_SOURCES, "\"C:\\Data\" \"D:\\漢字\\表\"");
        Set(IDC_DEST, "E:\\BAK");
        Set(IDC_TCD, "*");
        Set(IDC_TCF, "*.TXT *.DOC");
        Set(IDC_TUD, "");
        Set(IDC_TUF, "\"MY *\"");
        ShowModeWord(dialog, 0x16030180);
        ShowConfWord(dialog, 0xD);
    }
    void ClearDialog() {
        for (int id : {IDC_SOURCES, IDC_DEST, IDC_TCD, IDC_TCF, IDC_TUD, IDC_TUF}) Set(id, "");
        ShowModeWord(dialog, 0);
        ShowConfWord(dialog, 0);
    }
    static HWND CreateNameDialog();
    static void DestroyNameDialog(HWND window);
    std::string desktop;
    HWND nameDialog = nullptr;
    std::vector<std::string> written;
};

#ifdef KESTREL_SIM
HWND ScriptTest::CreateNameDialog() {
    HWND d = SimCreateDialog();
    SimAddControl(d, IDC_SCRIPT_NAME, "");
    return d;
}
void ScriptTest::DestroyNameDialog(HWND window) { SimDestroyDialog(window); }
#else
HWND ScriptTest::CreateNameDialog() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HWND d = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 300, 100, nullptr, nullptr, instance, nullptr);
    if (d && !CreateWindowExA(0, "EDIT", "", WS_CHILD | ES_AUTOHSCROLL, 0, 0, 280, 20, d,
                              (HMENU)(INT_PTR)IDC_SCRIPT_NAME, instance, nullptr)) {
        DestroyWindow(d);
        return nullptr;
    }
    return d;
}
void ScriptTest::DestroyNameDialog(HWND window) { DestroyWindow(window); }
#endif

// ---- reading ----

TEST_F(ScriptTest, KeyLinesInAnyCaseAndOrder) {
    EXPECT_EQ(0, ReadScript("# a comment\n"
                            "\n"
                            "   \t\n"
                            "conf:0000000D\r\n"
                            "tuf:*.BAK\r\n"
                            "Tud:X\n"
                            "tCF:*.TXT\n"
                            "TCD:*\n"
                            "dest: E:\\\n"
                            "src:\"C:\\Data\"\n"
                            "Mode:16030180"));
    EXPECT_EQ("\"C:\\Data\"", Text(IDC_SOURCES));
    EXPECT_EQ(" E:\\", Text(IDC_DEST)); // the value is taken unchanged, its blank included
    EXPECT_EQ("*", Text(IDC_TCD));
    EXPECT_EQ("*.TXT", Text(IDC_TCF));
    EXPECT_EQ("X", Text(IDC_TUD));
    EXPECT_EQ("*.BAK", Text(IDC_TUF));
    EXPECT_EQ(0x16030180u, ReadModeWord(dialog));
    EXPECT_EQ(0xDu, ReadConfWord(dialog));
    EXPECT_EQ(NoBox(), Boxes());
}

TEST_F(ScriptTest, ValuesAsWritten) {
    static const struct {
        const char *script;
        DWORD mode;
        const char *sources;
    } rows[] = {
        {"MODE:0x16030180\n", 0x16030180u, "KEEP"},
        {"MODE: 16030180\n", 0x16030180u, "KEEP"},
        {"MODE:16030180\n", 0x16030180u, "KEEP"},
        {"MODE:\n", 0u, "KEEP"},
        {"MODE:123456789A\n", 0x1FFFFFFFu, "KEEP"},
        {"", 0x1234u, "KEEP"},                                  // an empty file changes nothing
        {"# only\n\n#comments\r\n \n", 0x1234u, "KEEP"},       // nor do comments and blanks
        {"SRC:\"A\"\nSRC:\"B\"\n", 0x1234u, "\"B\""},            // the second replaces the first
        {"SRC:trailing  \r\n", 0x1234u, "trailing  "},           // blanks kept, CR LF removed
        {"SRC:cr\rinside\n", 0x1234u, "cr\rinside"},             // a CR without LF is a byte
        {"SRC:", 0x1234u, ""},                                  // last line without a line feed
        {"SRC:\"A\"\r\n\x1A", 0x1234u, "\"A\""},                 // an old editor's Ctrl-Z ends the file
        {"SRC:\"A\"\x1A\r\nSRC:EVIL\n", 0x1234u, "\"A\""},        // and nothing after it is read
    };
    for (auto &row : rows) {
        SCOPED_TRACE(row.script);
        Set(IDC_SOURCES, "KEEP");
        ShowModeWord(dialog, 0x1234);
        EXPECT_EQ(0, ReadScript(row.script));
        EXPECT_EQ(row.mode, ReadModeWord(dialog));
        EXPECT_EQ(row.sources, Text(IDC_SOURCES));
    }
}

TEST_F(ScriptTest, LongestValuesAreReadWhole) {
    std::string src(4095, 's'), dest(259, 'D');
    EXPECT_EQ(0, ReadScript("SRC:" + src + "\r\nDEST:" + dest + "\r\n"));
    EXPECT_EQ(src, Text(IDC_SOURCES));
    EXPECT_EQ(dest, Text(IDC_DEST));
}

TEST_F(ScriptTest, InvalidLinesStopTheReading) {
    SHOWS_A_BOX();
    static const char INVALID[] = "Error: スクリプトファイルに不正なオプションがあります。";
    static const struct {
        std::string script;
        const char *why;
    } rows[] = {
        {"SRC:\"A\"\nDEST:B\nTCD:C\nTCF:D\n SRC:x\nTUF:E\n", "a key after a blank"},
        {"SRC:\"A\"\nDEST:B\nTCD:C\nTCF:D\nSOURCE:x\nTUF:E\n", "no key"},
        {"SRC:\"A\"\nDEST:B\nTCD:C\nTCF:D\nSRC\nTUF:E\n", "a key without its colon"},
        // A value that its field could not hand back whole.
        {"SRC:\"A\"\nDEST:B\nTCD:C\nTCF:D\nSRC:" + std::string(4096, 's') + "\nTUF:E\n", "SRC of 4096 bytes"},
        {"SRC:\"A\"\nDEST:B\nTCD:C\nTCF:D\nTUD:" + std::string(260, 'u') + "\nTUF:E\n", "TUD of 260 bytes"},
        // A line longer than the reader's buffer is not read in pieces: its tail cannot act as a
        // line of its own.
        {"SRC:\"A\"\nDEST:B\nTCD:C\nTCF:D\nSRC:" + std::string(4123, 's') + "TUF:EVIL\nTUF:E\n", "a long line"},
        {"SRC:\"A\"\nDEST:B\nTCD:C\nTCF:D\n" + std::string(4127, '#') + "TUF:EVIL\nTUF:E\n", "a long comment"},
        {"SRC:\"A\"\nDEST:B\nTCD:C\nTCF:D\nTUF:E" + std::string(1, '\0') + "VIL\nTUF:E\n", "a zero byte"},
        {"SRC:\"A\"\nDEST:B\nTCD:C\nTCF:D\n" + std::string(1, '\0') + "\nTUF:E\n", "a zero byte alone"},
    };
    for (auto &row : rows) {
        SCOPED_TRACE(row.why);
        ForgetBoxes();
        for (int id : {IDC_SOURCES, IDC_DEST, IDC_TCD, IDC_TCF, IDC_TUF}) Set(id, "OLD");
        EXPECT_EQ(-1, ReadScript(row.script));
        EXPECT_EQ(OneBox(INVALID), Boxes());
        // The four lines before the invalid one stay applied; nothing after it is.
        EXPECT_EQ("\"A\"", Text(IDC_SOURCES));
        EXPECT_EQ("B", Text(IDC_DEST));
        EXPECT_EQ("C", Text(IDC_TCD));
        EXPECT_EQ("D", Text(IDC_TCF));
        EXPECT_EQ("OLD", Text(IDC_TUF));
    }
}

TEST_F(ScriptTest, LineOf4127BytesFits) {
    // 4127 bytes plus the line feed: the longest line the buffer takes.
    std::string line = "# " + std::string(4125, 'c');
    EXPECT_EQ(0, ReadScript(line + "\r\nDEST:X\n" + line));
    EXPECT_EQ("X", Text(IDC_DEST));
}

TEST_F(ScriptTest, FilesThatCannotBeOpened) {
    SHOWS_A_BOX();
    static const char CANNOT_OPEN[] = "Warning: スクリプトファイルを開けません。";
    for (std::string path : {Path("missing.kjb"), root.substr(0, root.size() - 1), std::string("NUL"),
                             Path("CON.kjb")}) {
        SCOPED_TRACE(path);
        ForgetBoxes();
        EXPECT_EQ(-1, ReadScriptFile(dialog, path.c_str()));
        EXPECT_EQ(OneBox(CANNOT_OPEN), Boxes());
    }
    // Through the command line, a device is refused instead of being read from.
    ForgetBoxes();
    EXPECT_EQ(-1, ApplyCommandLine(dialog, "/script CON"));
    EXPECT_EQ(OneBox(CANNOT_OPEN), Boxes());
}

// A read error in mid-file is reported, not taken for the end of the file.
TEST_F(ScriptTest, ReadErrorInMidFile) {
    SIMULATION_ONLY("needs an injected read failure");
    std::string path = Path("job.kjb");
    // More than one buffer of the text-file layer, so that a second read is needed.
    ASSERT_TRUE(WriteWholeFile(path, "DEST:FIRST\n" + std::string(5000, '#') + "\nTCD:SECOND\n"));
    SimInjectFault("ReadFile", path.c_str(), ERROR_NOT_READY, SIM_FAULT_NTH, 2);
    EXPECT_EQ(-1, ReadScriptFile(dialog, path.c_str()));
    EXPECT_EQ(OneBox("Warning: スクリプトファイルを開けません。"), Boxes());
    EXPECT_EQ("FIRST", Text(IDC_DEST));
    EXPECT_EQ(1, SimFaultsFired());
    EXPECT_TRUE(DeleteFileA(path.c_str())) << "the file was left open";
}

// ---- writing ----

TEST_F(ScriptTest, WrittenBytes) {
    FillDialog();
    ASSERT_EQ(1, Write("KESTREL-TEST"));
    EXPECT_EQ("# KESTREL Script File KESTREL-TEST\r\n"
              "\r\n"
              "SRC:\"C:\\Data\" \"D:\\漢字\\表\"\r\n"
              "DEST:E:\\BAK\r\n"
              "TCD:*\r\n"
              "TCF:*.TXT *.DOC\r\n"
              "TUD:\r\n"
              "TUF:\"MY *\"\r\n"
              "MODE:16030180\r\n"
              "CONF:0000000D\r\n",
              ReadWholeFile(ScriptPath("KESTREL-TEST")));
    EXPECT_EQ(NoBox(), Boxes());
}

TEST_F(ScriptTest, WrittenScriptReadsBackThroughTheCommandLine) {
    FillDialog();
    Set(IDC_SOURCES, std::string(4095 - 8, 'x') + " \"漢字\"");
    Set(IDC_DEST, std::string(259, 'D'));
    ASSERT_EQ(1, Write("KESTREL TEST"));
    ClearDialog();
    EXPECT_EQ(0, ApplyCommandLine(dialog, ("/script \"" + ScriptPath("KESTREL TEST") + "\"").c_str()));
    EXPECT_EQ(std::string(4095 - 8, 'x') + " \"漢字\"", Text(IDC_SOURCES));
    EXPECT_EQ(std::string(259, 'D'), Text(IDC_DEST));
    EXPECT_EQ("*", Text(IDC_TCD));
    EXPECT_EQ("*.TXT *.DOC", Text(IDC_TCF));
    EXPECT_EQ("", Text(IDC_TUD));
    EXPECT_EQ("\"MY *\"", Text(IDC_TUF));
    EXPECT_EQ(0x16030180u, ReadModeWord(dialog));
    EXPECT_EQ(0xDu, ReadConfWord(dialog));
}

TEST_F(ScriptTest, ModeWrittenIsTheOneThePlatformOffers) {
    SIMULATION_ONLY("the platform code is KESTREL's own setting; one platform is enough");
    PlatformCode = PLATFORM_WIN95;
    ShowModeWord(dialog, 0x1FFFFFFF);
    ASSERT_EQ(1, Write("OLD-PLATFORM"));
    EXPECT_NE(std::string::npos, ReadWholeFile(ScriptPath("OLD-PLATFORM")).find("\r\nMODE:1E371B8D\r\n"));
}

TEST_F(ScriptTest, RefusalsInTheirOrder) {
    SHOWS_A_BOX();
#ifdef KESTREL_SIM
    // A desktop of 20 bytes: a name of 230 bytes fits (20 + 230 + 10 = 260), 231 does not.
    std::string desk20 = "C:\\DESKTOP6789012345";
    ASSERT_EQ(20u, desk20.size());
    ASSERT_EQ("", BuildTree("C:\\", "DESKTOP6789012345\\\nTaken.kjb text=\"mine\"\nFolder.kjb\\"));
    desktop = desk20;
    SetSpecialFolderPath(CSIDL_DESKTOP, desk20.c_str());
    static const struct {
        std::string name;
        std::string field; // a text put into the TUD field first
        const char *box;
    } rows[] = {
        {"", "", "Warning: スクリプトの名前を指定してください。"},
        {std::string(231, 'n'), "", "Warning: スクリプトの名前が長すぎます。"},
        {"..\\" + std::string(228, 'n'), "", "Warning: スクリプトの名前が長すぎます。"},
        {"..\\Taken", "", "Warning: 同名のスクリプトが存在します。"},
        {"..\\Folder", "", "Warning: 同名のスクリプトが存在します。"},
        // Names that do not give a plain file on the desktop.
        {"NUL", "", "Warning: スクリプトファイルを開けません。"},
        {"com1", "", "Warning: スクリプトファイルを開けません。"},
        {"Con.old", "", "Warning: スクリプトファイルを開けません。"},
        {"a:b", "", "Warning: スクリプトファイルを開けません。"},
        {"line\r\nSRC:x", "", "Warning: スクリプトファイルを開けません。"},
        {"end\x1A" "mark", "", "Warning: スクリプトファイルを開けません。"}, // the header would end the file
        {"end\x1A" "mark", "A\nB", "Warning: スクリプトファイルを開けません。"}, // refused for its name first
        {"bad|name", "", "Warning: スクリプトファイルを開けません。"},
        {"nofolder\\x", "", "Warning: スクリプトファイルを開けません。"},
        // A field that would become lines of its own.
        {"FIELDS", "A\r\nSRC:C:\\EVIL", "Warning: 改行を含む項目はスクリプトに書けません。"},
        {"FIELDS", "A\nB", "Warning: 改行を含む項目はスクリプトに書けません。"},
        // A field holding Ctrl-Z would end the file for the reader: the lines after it lost.
        {"FIELDS", "A\x1A" "B", "Warning: Ctrl+Zの文字を含む項目はスクリプトに書けません。"},
        // A field longer than its reader takes would be written cut.
        {"FIELDS", std::string(260, 'L'), "Warning: 長すぎる項目はスクリプトに書けません。"},
    };
    for (auto &row : rows) {
        SCOPED_TRACE(row.name);
        ForgetBoxes();
        Set(IDC_TUD, row.field);
        SetControlText(nameDialog, IDC_SCRIPT_NAME, row.name);
        EXPECT_EQ(0, WriteScriptFile(nameDialog));
        EXPECT_EQ(OneBox(row.box), Boxes());
        EXPECT_EQ(row.name, ControlText(nameDialog, IDC_SCRIPT_NAME)) << "the name stays for the user to change";
    }
    Set(IDC_TUD, "");
    ForgetBoxes();
    Set(IDC_SOURCES, std::string(4096, 'S'));
    SetControlText(nameDialog, IDC_SCRIPT_NAME, "FIELDS");
    EXPECT_EQ(0, WriteScriptFile(nameDialog));
    EXPECT_EQ(OneBox("Warning: 長すぎる項目はスクリプトに書けません。"), Boxes());
    Set(IDC_SOURCES, "");
    EXPECT_EQ("", ReadTree(desk20 + "\\")) << "a refused name left a file behind";
    EXPECT_EQ("mine", ReadWholeFile("C:\\Taken.kjb"));
    // 230 bytes fit; the same name a second time is refused.
    ForgetBoxes();
    std::string name230(230, 'n');
    EXPECT_EQ(1, Write(name230));
    EXPECT_EQ(NoBox(), Boxes());
    EXPECT_EQ(0, Write(name230));
    EXPECT_EQ(OneBox("Warning: 同名のスクリプトが存在します。"), Boxes());
#endif
}

TEST_F(ScriptTest, NoDesktopFolder) {
    SHOWS_A_BOX();
#ifdef KESTREL_SIM
    SetSpecialFolderPath(CSIDL_DESKTOP, nullptr);
    EXPECT_EQ(0, Write("KESTREL"));
    EXPECT_EQ(OneBox("Warning: スクリプトファイルを開けません。"), Boxes());
#endif
}

// A file that appears between the existence test and the creation is never overwritten.
TEST_F(ScriptTest, FileThatAppearsIsNotOverwritten) {
    SIMULATION_ONLY("needs a file to appear at an exact moment");
    SimInjectFault("CreateFileA", ScriptPath("RACE").c_str(), ERROR_FILE_EXISTS);
    EXPECT_EQ(0, Write("RACE"));
    EXPECT_EQ(OneBox("Warning: 同名のスクリプトが存在します。"), Boxes());
    EXPECT_EQ(1, SimFaultsFired());
}

// A write that fails leaves no partial script and keeps the dialog open.
TEST_F(ScriptTest, WriteFailureLeavesNoFile) {
    SIMULATION_ONLY("needs an injected write failure");
    for (int nth : {1, 2}) {
        SCOPED_TRACE(nth);
        ForgetBoxes();
#ifdef KESTREL_SIM
        SimClearFaults();
#endif
        FillDialog();
        Set(IDC_SOURCES, std::string(4095, 's')); // two buffers' worth: two writes
        SimInjectFault("WriteFile", ScriptPath("FULL").c_str(), ERROR_DISK_FULL, SIM_FAULT_NTH, nth);
        EXPECT_EQ(0, Write("FULL"));
        EXPECT_EQ(OneBox("Warning: スクリプトファイルに書き込めません。"), Boxes());
        EXPECT_EQ(1, SimFaultsFired());
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(ScriptPath("FULL").c_str()));
    }
}

// ---- the create-script dialog ----

TEST_F(ScriptTest, CreateScriptDialog) {
    SIMULATION_ONLY("the real dialog is driven in the GUI bench");
#ifdef KESTREL_SIM
    EXPECT_EQ(FALSE, MkScriptDialogProc(nameDialog, WM_INITDIALOG, 0, 0));
    EXPECT_EQ("KESTREL", ControlText(nameDialog, IDC_SCRIPT_NAME));
    EXPECT_EQ(GetDlgItem(nameDialog, IDC_SCRIPT_NAME), GetFocus());
    written.push_back("KESTREL");
    FillDialog();
    INT_PTR result = -5;
    EXPECT_EQ(TRUE, MkScriptDialogProc(nameDialog, WM_COMMAND, IDOK, 0));
    EXPECT_TRUE(SimDialogEnded(nameDialog, &result));
    EXPECT_EQ(0, result);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(ScriptPath("KESTREL").c_str()));
    // Again with the same name: refused, the dialog stays open.
    SimForgetDialogEnd(nameDialog);
    EXPECT_EQ(TRUE, MkScriptDialogProc(nameDialog, WM_COMMAND, IDOK, 0));
    EXPECT_FALSE(SimDialogEnded(nameDialog, nullptr));
    EXPECT_EQ(OneBox("Warning: 同名のスクリプトが存在します。"), Boxes());
    EXPECT_EQ(FALSE, MkScriptDialogProc(nameDialog, WM_COMMAND, 1050, 0));
    EXPECT_FALSE(SimDialogEnded(nameDialog, nullptr));
    EXPECT_EQ(TRUE, MkScriptDialogProc(nameDialog, WM_COMMAND, IDCANCEL, 0));
    EXPECT_TRUE(SimDialogEnded(nameDialog, &result));
    EXPECT_EQ(0, result);
#endif
}
