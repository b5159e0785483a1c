// The command line on the test main dialog: options, sources, quoting, messages and limits.
#include "automation_fixture.h"
#include "cmdline.h"

class CommandLineTest : public AutomationTest {
  protected:
    void SetUp() override {
        AutomationTest::SetUp();
        if (HasFatalFailure() || IsSkipped()) return;
        ASSERT_EQ("", BuildTree(root, "Data\\\nData\\a.txt text=\"a\""));
        // Sources are resolved relative to the current folder: "data" becomes "Data" as stored.
        GetCurrentDirectoryA(sizeof savedFolder, savedFolder);
        ASSERT_TRUE(SetCurrentDirectoryA(root.c_str()));
    }
    void TearDown() override {
        SetCurrentDirectoryA(savedFolder);
        AutomationTest::TearDown();
    }
    char savedFolder[MAX_PATH] = "C:\\";
};

TEST_F(CommandLineTest, AcceptedLinesFillTheFields) {
    static const struct {
        const char *line;
        const char *sources;
        const char *dest;
        const char *tcf;
        const char *tud;
    } rows[] = {
        {"", "", "OLD", "OLD", "OLD"},
        {"data /dest E:\\BACKUP", "\"Data\"", "E:\\BACKUP", "OLD", "OLD"},
        // The space goes by the word's position: a first source after an option gets one.
        {"/dest E:\\BACKUP data", " \"Data\"", "E:\\BACKUP", "OLD", "OLD"},
        {"/DEST x", "", "X", "OLD", "OLD"},
        {"/destination /foo", "\"/destination\" \"/foo\"", "OLD", "OLD", "OLD"},
        {"/dest /tcf *.TXT", " \"*.TXT\"", "/TCF", "OLD", "OLD"},
        {"/tcf \"*.TXT *.DOC\" /tud '\"MY *\"'", "", "OLD", "*.TXT *.DOC", "\"MY *\""},
        {"x:\\missing", "\"x:\\missing\"", "OLD", "OLD", "OLD"},
        {"a /script", "\"a\" \"/script\"", "OLD", "OLD", "OLD"},
        {"/dest A /dest B", "", "B", "OLD", "OLD"},
        {"\"data\"\t'data'", "\"Data\" \"Data\"", "OLD", "OLD", "OLD"},
        // /run and /log are taken out where an option name is read; the rest goes as before.
        {"/run /dest E:\\BACKUP data", " \"Data\"", "E:\\BACKUP", "OLD", "OLD"},
        {"/RUN data /log C:\\l.rtf", "\"Data\"", "OLD", "OLD", "OLD"},
        {"/dest /run x", " \"x\"", "/RUN", "OLD", "OLD"},
        {"/tcf /log /run", "", "OLD", "/LOG", "OLD"},
        {"a /script /run", "\"a\" \"/script\"", "OLD", "OLD", "OLD"},
    };
    for (auto &row : rows) {
        SCOPED_TRACE(row.line);
        Set(IDC_SOURCES, "old");
        Set(IDC_DEST, "OLD");
        Set(IDC_TCF, "OLD");
        Set(IDC_TUD, "OLD");
        EXPECT_EQ(0, ApplyCommandLine(dialog, row.line));
        EXPECT_EQ(row.sources, Text(IDC_SOURCES));
        EXPECT_EQ(row.dest, Text(IDC_DEST));
        EXPECT_EQ(row.tcf, Text(IDC_TCF));
        EXPECT_EQ(row.tud, Text(IDC_TUD));
    }
    EXPECT_EQ(NoBox(), Boxes());
}

TEST_F(CommandLineTest, EachTextOptionSetsItsField) {
    EXPECT_EQ(0, ApplyCommandLine(dialog, "/tuf A /tud B /tcf C /tcd D /dest E"));
    EXPECT_EQ("A", Text(IDC_TUF));
    EXPECT_EQ("B", Text(IDC_TUD));
    EXPECT_EQ("C", Text(IDC_TCF));
    EXPECT_EQ("D", Text(IDC_TCD));
    EXPECT_EQ("E", Text(IDC_DEST));
    EXPECT_EQ("", Text(IDC_SOURCES));
}

TEST_F(CommandLineTest, ModeAndConfWords) {
    EXPECT_EQ(0, ApplyCommandLine(dialog, "/mode 16030180"));
    EXPECT_EQ(0x16030180u, ReadModeWord(dialog));
    ShowModeWord(dialog, 0);
    EXPECT_EQ(0, ApplyCommandLine(dialog, "/MODE 0x16030180"));
    EXPECT_EQ(0x16030180u, ReadModeWord(dialog));
    EXPECT_EQ(0, ApplyCommandLine(dialog, "/mode xyz"));
    EXPECT_EQ(0u, ReadModeWord(dialog));
    EXPECT_EQ(0, ApplyCommandLine(dialog, "/mode 123456789A"));
    EXPECT_EQ(0x1FFFFFFFu, ReadModeWord(dialog)); // 0xFFFFFFFF: all 29 boxes
    EXPECT_EQ(0, ApplyCommandLine(dialog, "/conf D"));
    EXPECT_EQ("ログにエラーと未コピーを表示する", Text(IDC_LOG_LEVEL));
    EXPECT_EQ(BST_CHECKED, ControlCheck(dialog, IDC_CHECK_MISSING));
    EXPECT_EQ(BST_UNCHECKED, ControlCheck(dialog, IDC_CLEAR_ARCHIVE));
    EXPECT_EQ(0xDu, ReadConfWord(dialog));
}

TEST_F(CommandLineTest, SourceTextUpTo4095Bytes) {
    // 4000 bytes collected ("…" of 3998), then a source of 92 bytes: 4000 + 92 + 3 < 4096.
    std::string first(3998, 'a'), second(92, 'b');
    EXPECT_EQ(0, ApplyCommandLine(dialog, (first + " " + second).c_str()));
    std::string expected = "\"" + first + "\" \"" + second + "\"";
    EXPECT_EQ(4095u, expected.size());
    EXPECT_EQ(expected, Text(IDC_SOURCES));
}

TEST_F(CommandLineTest, OptionTextsUpTo259Bytes) {
    std::string value(259, 'A');
    EXPECT_EQ(0, ApplyCommandLine(dialog, ("/dest " + value + " /tcd " + value).c_str()));
    EXPECT_EQ(value, Text(IDC_DEST));
    EXPECT_EQ(value, Text(IDC_TCD));
}

// ---- refusals (each shows one warning and keeps what was applied before it) ----

TEST_F(CommandLineTest, RefusedLines) {
    SHOWS_A_BOX();
    static const struct {
        const char *line;
        const char *box;
        const char *dest; // after the refusal; the source field keeps "KEEP"
    } rows[] = {
        {"/script", "Warning: 引数が不正です。\n   /script スクリプトファイル", "OLD"},
        {"/SCRIPT a.kjb b", "Warning: 引数が不正です。\n   /script スクリプトファイル", "OLD"},
        {"/dest E:\\X /tcf", "Warning: 引数が不正です。\n   /tcf コピーするファイルの種類", "E:\\X"},
        {"/conf", "Warning: 引数が不正です。\n   /conf 設定", "OLD"},
        {"/mode", "Warning: 引数が不正です。\n   /mode コピーモード", "OLD"},
        {"/tuf", "Warning: 引数が不正です。\n   /tuf コピーしないファイルの種類", "OLD"},
        {"/tud", "Warning: 引数が不正です。\n   /tud コピーしないファイルの種類", "OLD"},
        {"/tcd", "Warning: 引数が不正です。\n   /tcd コピーするフォルダの種類", "OLD"},
        {"data /dest", "Warning: 引数が不正です。\n   /dest コピー先のフォルダ名", "OLD"},
        {"/dest E:\\Y \"C:\\My Data", "Warning: 引数に不整合な引用符があります。", "OLD"},
        {"/run /log", "Warning: 引数が不正です。\n   /log ログファイル", "OLD"},
        {"/dest E:\\Z /log l.rtf", "Warning: 引数が不正です。\n   /log は /run と一緒に指定してください。", "OLD"},
        {"/script /run", "Warning: スクリプトファイルを開けません。", "OLD"},
        // A character code page 932 cannot hold (marked \x01 in the wide command line's form):
        // "简体目录" would resolve as "?体目?" to a decoy such as "X体目Y".
        {"C:\\t\\\x01体目\x01 /dest C:\\t\\bak", "Warning: 名前に扱えない文字があるフォルダやファイルがあります。", "OLD"},
        {"data /dest C:\\caf\x01", "Warning: 名前に扱えない文字があるフォルダやファイルがあります。", "OLD"},
        {"/script \x01.kjb", "Warning: 名前に扱えない文字があるフォルダやファイルがあります。", "OLD"},
    };
    for (auto &row : rows) {
        SCOPED_TRACE(row.line);
        ForgetBoxes();
        Set(IDC_SOURCES, "KEEP");
        Set(IDC_DEST, "OLD");
        EXPECT_EQ(-1, ApplyCommandLine(dialog, row.line));
        EXPECT_EQ(OneBox(row.box), Boxes());
        EXPECT_EQ("KEEP", Text(IDC_SOURCES));
        EXPECT_EQ(row.dest, Text(IDC_DEST));
    }
}

// /run and /log before or after /script: the two-word rule of /script applies to what remains.
TEST_F(CommandLineTest, RunAndLogAroundAScript) {
    ASSERT_TRUE(WriteWholeFile(root + "job.kjb", "DEST:E:\\S\r\n"));
    for (const char *line : {"/run /script job.kjb", "/script job.kjb /run", "/script job.kjb /log l.rtf /RUN"}) {
        SCOPED_TRACE(line);
        Set(IDC_DEST, "OLD");
        EXPECT_EQ(0, ApplyCommandLine(dialog, line));
        EXPECT_EQ("E:\\S", Text(IDC_DEST));
    }
    EXPECT_EQ(NoBox(), Boxes());
}

// What a start reads before anything else: is it a scheduled start, where does its log go, and
// is the command line refused (the start then ends with its reason in the log file).
TEST(RunWordsTest, Table) {
    std::string longPath(MAX_PATH, 'L');
    static const char *const UNBALANCED = "引数に不整合な引用符があります。";
    static const char *const MISSING = "引数が不正です。\n   /log ログファイル";
    static const char *const WITHOUT_RUN = "引数が不正です。\n   /log は /run と一緒に指定してください。";
    static const char *const UNUSABLE = "ログファイルの名前に扱えない文字があります。";
    const struct {
        std::string line;
        bool run;
        const char *log; // null: no /log
        const char *refusal;
    } rows[] = {
        {"", false, nullptr, nullptr},
        {"/dest D:\\bak C:\\data", false, nullptr, nullptr},
        {"/Run", true, nullptr, nullptr},
        {"/dest D:\\bak C:\\data /run", true, nullptr, nullptr},
        {"/dest /run x", false, nullptr, nullptr},      // the destination's value
        {"/script /run", false, nullptr, nullptr},      // the script's value
        {"a /script /run", true, nullptr, nullptr},     // /script here is a source, no option
        {"/script x.kjb /run", true, nullptr, nullptr},
        {"/run /log C:\\l.rtf", true, "C:\\l.rtf", nullptr},
        {"/LOG \"C:\\My Logs\\l.rtf\" /run /log m.rtf", true, "m.rtf", nullptr},
        {"/tcf /log /run", true, nullptr, nullptr},
        {"/log /run", false, "/run", WITHOUT_RUN},
        {"/run /log", true, nullptr, MISSING},
        {"/log", false, nullptr, MISSING},
        {"/log l.rtf", false, "l.rtf", WITHOUT_RUN},
        {"/log " + longPath + " /run", true, nullptr, MISSING},
        {"/run /log C:\\caf\x01.rtf", true, "C:\\caf\x01.rtf", UNUSABLE},
        // A line that cannot be split: only a /run standing alone between blanks counts.
        {"\"C:\\My Data /run", true, nullptr, UNBALANCED},
        {"/RUN\t\"C:\\My Data", true, nullptr, UNBALANCED},
        {"\"C:\\My Data /running", false, nullptr, UNBALANCED},
        {"\"/run", false, nullptr, UNBALANCED},
        {"x/run \"", false, nullptr, UNBALANCED},
    };
    for (auto &row : rows) {
        SCOPED_TRACE(row.line);
        RunWords words;
        memset(&words, 0xdd, sizeof words);
        ReadRunWords(row.line.c_str(), &words);
        EXPECT_EQ(row.run, words.run);
        EXPECT_EQ(row.log != nullptr, words.log);
        if (row.log && words.log) {
            EXPECT_STREQ(row.log, words.logPath);
        }
        EXPECT_STREQ(row.refusal, words.refusal);
    }
}

TEST_F(CommandLineTest, TooManySources) {
    SHOWS_A_BOX();
    std::string first(3998, 'a'), second(93, 'b');
    Set(IDC_SOURCES, "KEEP");
    EXPECT_EQ(-1, ApplyCommandLine(dialog, ("/dest E:\\Z " + first + " " + second).c_str()));
    EXPECT_EQ(OneBox("Warning: コピーするフォルダやファイルが多すぎます。"), Boxes());
    EXPECT_EQ("KEEP", Text(IDC_SOURCES));
    EXPECT_EQ("E:\\Z", Text(IDC_DEST));
    // A single word that cannot fit on its own.
    ForgetBoxes();
    EXPECT_EQ(-1, ApplyCommandLine(dialog, std::string(4093, 'c').c_str()));
    EXPECT_EQ(OneBox("Warning: コピーするフォルダやファイルが多すぎます。"), Boxes());
}

// An option text that its field could not hand back whole (260 bytes or more) gets the option's
// own message instead of being stored and read back cut.
TEST_F(CommandLineTest, OverlongOptionTextIsRefused) {
    SHOWS_A_BOX();
    static const struct {
        const char *option;
        int control;
        const char *box;
    } rows[] = {
        {"/dest", IDC_DEST, "Warning: 引数が不正です。\n   /dest コピー先のフォルダ名"},
        {"/tcf", IDC_TCF, "Warning: 引数が不正です。\n   /tcf コピーするファイルの種類"},
        {"/tcd", IDC_TCD, "Warning: 引数が不正です。\n   /tcd コピーするフォルダの種類"},
        {"/tuf", IDC_TUF, "Warning: 引数が不正です。\n   /tuf コピーしないファイルの種類"},
        {"/tud", IDC_TUD, "Warning: 引数が不正です。\n   /tud コピーしないファイルの種類"},
    };
    for (auto &row : rows) {
        SCOPED_TRACE(row.option);
        ForgetBoxes();
        Set(row.control, "OLD");
        EXPECT_EQ(-1, ApplyCommandLine(dialog, (std::string(row.option) + " " + std::string(260, 'A')).c_str()));
        EXPECT_EQ(OneBox(row.box), Boxes());
        EXPECT_EQ("OLD", Text(row.control));
    }
}

TEST_F(CommandLineTest, OutOfMemoryIsReportedNotIgnored) {
    SIMULATION_ONLY("needs an injected allocation failure");
    SimInjectFault("LocalAlloc", nullptr, ERROR_NOT_ENOUGH_MEMORY);
    Set(IDC_SOURCES, "KEEP");
    EXPECT_EQ(-1, ApplyCommandLine(dialog, "data"));
    EXPECT_EQ(OneBox("Warning: メモリが不足しています。"), Boxes());
    EXPECT_EQ("KEEP", Text(IDC_SOURCES));
}
