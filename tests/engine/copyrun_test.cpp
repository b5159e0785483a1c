// The copy run end to end: the decisions of the walk, each with its one record, on the simulation
// and on Wine's real file system.
#include "copyrun_fixture.h"
#include <cstring>
#ifdef KESTREL_SIM
#include "msgbox_record.h"
#include "simwin_dialog.h"
#endif

TEST_F(CopyRunTest, FolderWithContentsIsCopied) {
    Build("src\\data\\a.txt text=\"alpha\"\n"
          "src\\data\\sub\\b.txt text=\"beta\"\n"
          "dst\\\n");
#ifdef KESTREL_SIM
    // Below the folder the run has just created nothing is looked up: only a new folder's own
    // word is read, to give it its source's.
    const char *BELOW[] = {"data\\a.txt", "data\\sub", "data\\sub\\b.txt"};
    for (const char *entry : BELOW)
        for (const char *call : {"GetFileAttributesA", "GetFileAttributesExA"}) SimCountCalls(call, (dst + entry).c_str());
#endif
    auto log = Run(src + "data", dst);
#ifdef KESTREL_SIM
    for (const char *entry : BELOW) {
        EXPECT_EQ(0, SimCallsCounted("GetFileAttributesExA", (dst + entry).c_str())) << entry;
        EXPECT_EQ(strcmp(entry, "data\\sub") == 0 ? 1 : 0, SimCallsCounted("GetFileAttributesA", (dst + entry).c_str()))
            << entry;
    }
    SimClearFaults();
#endif
    EXPECT_EQ(Sorted({"O data フォルダを作成しました。", "O data\\a.txt コピーしました。",
                      "O data\\sub フォルダを作成しました。", "O data\\sub\\b.txt コピーしました。"}),
              Sorted(log));
    EXPECT_EQ("data\\ attr=\n"
              "data\\a.txt attr= size=5 text=\"alpha\"\n"
              "data\\sub\\ attr=\n"
              "data\\sub\\b.txt attr= size=4 text=\"beta\"\n",
              Dest());
    EXPECT_EQ("", ControlText(dialog, IDC_PROGRESS));
    EXPECT_EQ(1, g_idleFlag.load());
    EXPECT_TRUE(ControlEnabled(dialog, IDC_SOURCES));
}

// A name that appears below a folder the run has just created (another program, or a second name
// the destination takes as the same: an 8.3 alias, another case) is judged as after a look-up and
// never overwritten unasked.
static std::string s_appearIn;
static void MakeNewerWhenShown(void *, const char *text) {
    if (strcmp(text, "data\\newer.txt") == 0) BuildTree(s_appearIn, "newer.txt text=\"mine\" time=1900000000\n");
}
TEST_F(CopyRunTest, AFileThatAppearsInANewFolderIsJudgedAsAfterALookUp) {
    Build("src\\data\\newer.txt text=\"source\" time=1700000000\ndst\\\n");
    ShowModeWord(dialog, MODE_ALL | MODE_SKIP_NOT_NEWER);
    s_appearIn = dst + "data\\";
    g_progressLine.watch = MakeNewerWhenShown;
    EXPECT_EQ((std::vector<std::string>{"O data フォルダを作成しました。", "  data\\newer.txt 日付が同じか古いためコピーしません。"}),
              Run(src + "data", dst));
    g_progressLine.watch = nullptr;
    EXPECT_EQ("mine", ReadWholeFile(dst + "data\\newer.txt"));
}

TEST_F(CopyRunTest, FileSourceGoesIntoTheDestinationAndRelativeDestinationWorks) {
    Build("src\\a.txt text=\"alpha\"\n"
          "dst\\\n");
    char current[MAX_PATH];
    GetCurrentDirectoryA(sizeof current, current);
    ASSERT_TRUE(SetCurrentDirectoryA(root.c_str()));
    auto log = Run(src + "A.TXT", "dst");
    SetCurrentDirectoryA(current);
    EXPECT_EQ((std::vector<std::string>{"O a.txt コピーしました。"}), log); // the stored name
    EXPECT_EQ("a.txt attr= size=5 text=\"alpha\"\n", Dest());
}

TEST_F(CopyRunTest, ExistingDestinationFolderIsWalked) {
    Build("src\\data\\a.txt text=\"alpha\"\n"
          "dst\\data\\\n");
    auto log = Run(src + "data", dst);
    EXPECT_EQ(Sorted({"  data すでに存在します。", "O data\\a.txt コピーしました。"}), Sorted(log));
}

TEST_F(CopyRunTest, SourceFolderRefusedByTcdVisitsNothingBelow) {
    Build("src\\proj\\a.txt\n"
          "src\\proj\\sub\\b.txt\n"
          "dst\\\n");
    auto log = Run(src + "proj", dst, "A*");
    EXPECT_EQ((std::vector<std::string>{"  proj 指定外のフォルダなのでコピーしません。"}), log);
    EXPECT_EQ("", Dest());
}

TEST_F(CopyRunTest, PatternsDecideFoldersAndFiles) {
    Build("src\\d\\keep.txt\n"
          "src\\d\\skip.tmp\n"
          "src\\d\\other.doc\n"
          "src\\d\\_private\\x.txt\n"
          "src\\d\\Lib\\y.txt\n"
          "src\\d\\bin\\z.txt\n"
          "dst\\\n");
    auto log = Run(src + "d", dst, "D L* _*", "*.TXT *.TMP", "_*", "*.TMP");
    EXPECT_EQ(Sorted({"O d フォルダを作成しました。", "O d\\keep.txt コピーしました。",
                      "  d\\skip.tmp 指定のファイルなのでコピーしません。",
                      "  d\\other.doc 指定外のファイルなのでコピーしません。",
                      "  d\\_private 指定のフォルダなのでコピーしません。", "O d\\Lib フォルダを作成しました。",
                      "O d\\Lib\\y.txt コピーしました。", "  d\\bin 指定外のフォルダなのでコピーしません。"}),
              Sorted(log));
    EXPECT_EQ("d\\ attr=\nd\\keep.txt attr= size=0\nd\\Lib\\ attr=\nd\\Lib\\y.txt attr= size=0\n",
              Dest());
}

// ---- the category table ----

struct CategoryCase {
    AttributeCategory category;
    const char *letters; // BuildTree's attribute letters of an entry of the category
    bool wineCanStore;       // on files
    bool wineCanStoreFolder; // on folders (Wine keeps neither read-only nor archive on a folder)
    const char *folderMessage, *fileMessage, *destMessage;
};
static const CategoryCase CATEGORY_CASES[] = {
    {CATEGORY_SYSTEM, "S", true, true, "システムフォルダのためコピーしません。", "システムファイルのためコピーしません。",
     "コピー先がシステムファイルのためコピーしません。"},
    {CATEGORY_ENCRYPTED, "E", false, false, "暗号フォルダのためコピーしません。", "暗号ファイルのためコピーしません。",
     "コピー先が暗号ファイルのためコピーしません。"},
    {CATEGORY_HIDDEN, "H", true, true, "隠しフォルダのためコピーしません。", "隠しファイルのためコピーしません。",
     "コピー先が隠しファイルのためコピーしません。"},
    {CATEGORY_READONLY, "R", true, false, "読取専用フォルダのためコピーしません。", "読取専用ファイルのためコピーしません。",
     "コピー先が読取専用ファイルのためコピーしません。"},
    {CATEGORY_COMPRESSED, "C", false, false, "圧縮フォルダのためコピーしません。", "圧縮ファイルのためコピーしません。",
     "コピー先が圧縮ファイルのためコピーしません。"},
    {CATEGORY_TEMPORARY, "T", false, false, "テンポラリフォルダのためコピーしません。",
     "テンポラリファイルのためコピーしません。", "コピー先がテンポラリファイルのためコピーしません。"},
    {CATEGORY_NOT_INDEXED, "N", false, false, "無索引フォルダのためコピーしません。", "無索引ファイルのためコピーしません。",
     "コピー先が無索引ファイルのためコピーしません。"},
    {CATEGORY_ARCHIVE, "A", true, false, "アーカイブフォルダのためコピーしません。",
     "アーカイブファイルのためコピーしません。", "コピー先がアーカイブファイルのためコピーしません。"},
    {CATEGORY_NORMAL, "", false, false, "通常フォルダのためコピーしません。", "標準ファイルのためコピーしません。",
     "コピー先が標準ファイルのためコピーしません。"},
};

class CategoryTest : public CopyRunTest, public ::testing::WithParamInterface<CategoryCase> {};

TEST_P(CategoryTest, SourceFolderAndFileRefusedByTheirCategory) {
    const CategoryCase &c = GetParam();
    if (!c.wineCanStore) SIMULATION_ONLY("Wine cannot store this attribute (files always carry archive)");
    bool folderToo = ON_SIMULATION || c.wineCanStoreFolder; // on Wine only the file part where folders lose it
    std::string layout = std::string("src\\f.txt attr=") + c.letters + "\n" +
                       (folderToo ? std::string("src\\x\\ attr=") + c.letters + "\nsrc\\x\\in.txt\n" : "") + "dst\\\n";
    Build(layout.c_str());
    ShowModeWord(dialog, MODE_ALL & ~ModeFolderBit(c.category) & ~ModeFileBit(c.category));
    auto log = Run("\"" + src + "f.txt\"" + (folderToo ? " \"" + src + "x\"" : std::string()), dst);
    std::vector<std::string> expected{std::string("  f.txt ") + c.fileMessage};
    if (folderToo) expected.push_back(std::string("  x ") + c.folderMessage);
    EXPECT_EQ(expected, log);
    EXPECT_EQ("", Dest());
}

TEST_P(CategoryTest, DestinationFileRefusedByItsCategory) {
    const CategoryCase &c = GetParam();
    if (!c.wineCanStore) SIMULATION_ONLY("Wine cannot store this attribute (files always carry archive)");
    std::string layout = std::string("src\\f.txt text=\"new\"\ndst\\f.txt text=\"old\" attr=") + c.letters + "\n";
    Build(layout.c_str());
    ShowModeWord(dialog, MODE_ALL & ~ModeDestBit(c.category));
    auto log = Run(src + "f.txt", dst);
    EXPECT_EQ((std::vector<std::string>{std::string("  f.txt ") + c.destMessage}), log);
    EXPECT_EQ("old", ReadWholeFile(dst + "f.txt"));
    // With the permission the same file is overwritten and takes the source's attributes.
    ShowModeWord(dialog, MODE_ALL);
    log = Run(src + "f.txt", dst);
    EXPECT_EQ((std::vector<std::string>{"O f.txt コピーしました。"}), log);
    EXPECT_EQ("new", ReadWholeFile(dst + "f.txt"));
}

INSTANTIATE_TEST_SUITE_P(EveryCategory, CategoryTest, ::testing::ValuesIn(CATEGORY_CASES),
                         [](const ::testing::TestParamInfo<CategoryCase> &info) {
                             return std::to_string((int)info.param.category);
                         });

// ---- overwriting, size and date ----

TEST_F(CopyRunTest, ReadOnlyDestinationClearedThenOverwritten) {
    Build("src\\f.txt text=\"new\"\n"
          "dst\\f.txt text=\"old\" attr=R\n");
    ShowModeWord(dialog, MODE_ALL & ~ModeDestBit(CATEGORY_READONLY));
    EXPECT_EQ((std::vector<std::string>{"  f.txt コピー先が読取専用ファイルのためコピーしません。"}),
              Run(src + "f.txt", dst));
    EXPECT_EQ("f.txt attr=R size=3 text=\"old\"\n", Dest());
    ShowModeWord(dialog, MODE_ALL);
    EXPECT_EQ((std::vector<std::string>{"O f.txt コピーしました。"}), Run(src + "f.txt", dst));
    EXPECT_EQ("f.txt attr= size=3 text=\"new\"\n", Dest());
}

TEST_F(CopyRunTest, SizeAndDateTests) {
    const long long T = 1700000000;
    std::string layout = "src\\same.txt text=\"1234\" time=" + std::to_string(T + 100) +
                       "\ndst\\same.txt text=\"abcd\" time=" + std::to_string(T) +
                       "\nsrc\\one.txt text=\"12345\" time=" + std::to_string(T + 1) +
                       "\ndst\\one.txt text=\"abc\" time=" + std::to_string(T) +
                       "\nsrc\\two.txt text=\"12345\" time=" + std::to_string(T + 2) +
                       "\ndst\\two.txt text=\"abc\" time=" + std::to_string(T) +
                       "\nsrc\\older.txt text=\"12345\" time=" + std::to_string(T - 50) +
                       "\ndst\\older.txt text=\"abc\" time=" + std::to_string(T) +
                       "\nsrc\\absent.txt text=\"12345\" time=" + std::to_string(T - 50) + "\n";
    Build(layout.c_str());
    ShowModeWord(dialog, MODE_ALL | MODE_SKIP_SAME_SIZE | MODE_SKIP_NOT_NEWER);
    auto log = Run("\"" + src + "same.txt\" \"" + src + "one.txt\" \"" + src + "two.txt\" \"" + src +
                       "older.txt\" \"" + src + "absent.txt\"",
                   dst);
    EXPECT_EQ((std::vector<std::string>{"  same.txt サイズが同じためコピーしません。",
                                        "  one.txt 日付が同じか古いためコピーしません。",
                                        "O two.txt コピーしました。",
                                        "  older.txt 日付が同じか古いためコピーしません。",
                                        "O absent.txt コピーしました。"}),
              log);
    EXPECT_EQ("abcd", ReadWholeFile(dst + "same.txt"));
    EXPECT_EQ("abc", ReadWholeFile(dst + "one.txt"));
    EXPECT_EQ("12345", ReadWholeFile(dst + "two.txt"));
    // Without the two conditions every one of them is copied.
    ShowModeWord(dialog, MODE_ALL);
    log = Run("\"" + src + "same.txt\" \"" + src + "one.txt\"", dst);
    EXPECT_EQ((std::vector<std::string>{"O same.txt コピーしました。", "O one.txt コピーしました。"}), log);
}

// The same tests for files inside a source folder, whose facts come from the folder's listing.
TEST_F(CopyRunTest, SizeAndDateTestsInsideAFolder) {
    const long long T = 1700000000;
    std::string layout;
    for (const char *side : {"src", "dst"})
        layout += std::string(side) + "\\d\\\n";
    layout += "src\\d\\same.txt text=\"1234\" time=" + std::to_string(T + 100) +
              "\ndst\\d\\same.txt text=\"abcd\" time=" + std::to_string(T) +
              "\nsrc\\d\\one.txt text=\"12345\" time=" + std::to_string(T + 1) +
              "\ndst\\d\\one.txt text=\"abc\" time=" + std::to_string(T) +
              "\nsrc\\d\\two.txt text=\"12345\" time=" + std::to_string(T + 2) +
              "\ndst\\d\\two.txt text=\"abc\" time=" + std::to_string(T) +
              "\nsrc\\d\\older.txt text=\"12345\" time=" + std::to_string(T - 50) +
              "\ndst\\d\\older.txt text=\"abc\" time=" + std::to_string(T) +
              "\nsrc\\d\\absent.txt text=\"12345\" time=" + std::to_string(T - 50) + "\n";
    Build(layout.c_str());
    ShowModeWord(dialog, MODE_ALL | MODE_SKIP_SAME_SIZE | MODE_SKIP_NOT_NEWER);
    EXPECT_EQ(Sorted({"  d すでに存在します。", "  d\\same.txt サイズが同じためコピーしません。",
                      "  d\\one.txt 日付が同じか古いためコピーしません。", "O d\\two.txt コピーしました。",
                      "  d\\older.txt 日付が同じか古いためコピーしません。", "O d\\absent.txt コピーしました。"}),
              Sorted(Run(src + "d", dst)));
    EXPECT_EQ("abcd", ReadWholeFile(dst + "d\\same.txt"));
    EXPECT_EQ("abc", ReadWholeFile(dst + "d\\one.txt"));
    EXPECT_EQ("12345", ReadWholeFile(dst + "d\\two.txt"));
    // The date test alone: only the newer file that the size test kept back is copied now.
    ShowModeWord(dialog, MODE_ALL | MODE_SKIP_NOT_NEWER);
    EXPECT_EQ(Sorted({"  d すでに存在します。", "O d\\same.txt コピーしました。",
                      "  d\\one.txt 日付が同じか古いためコピーしません。", "  d\\two.txt 日付が同じか古いためコピーしません。",
                      "  d\\older.txt 日付が同じか古いためコピーしません。", "  d\\absent.txt 日付が同じか古いためコピーしません。"}),
              Sorted(Run(src + "d", dst)));
}

// Sizes that differ only above 4 GiB are different sizes.
TEST_F(CopyRunTest, FullSizeCompared) {
    SIMULATION_ONLY("files larger than 4 GiB are simulated only");
    Build("src\\big.bin size=4294967301\ndst\\big.bin size=5\n");
    ShowModeWord(dialog, MODE_ALL | MODE_SKIP_SAME_SIZE);
    EXPECT_EQ((std::vector<std::string>{"O big.bin コピーしました。"}), Run(src + "big.bin", dst));
}

// Dates after 2038 compare as dates; the source must still be 2 seconds newer.
TEST_F(CopyRunTest, LateDatesCompared) {
    const long long LATE = 4102444800LL; // 2100-01-01
    std::string layout = "src\\late.txt text=\"12345\" time=" + std::to_string(LATE + 2) +
                       "\ndst\\late.txt text=\"abc\" time=" + std::to_string(LATE + 1) +
                       "\nsrc\\later.txt text=\"12345\" time=" + std::to_string(LATE + 3) +
                       "\ndst\\later.txt text=\"abc\" time=" + std::to_string(LATE + 1) +
                       "\nsrc\\older.txt text=\"12345\" time=" + std::to_string(1700000000) +
                       "\ndst\\older.txt text=\"abc\" time=" + std::to_string(LATE) + "\n";
    Build(layout.c_str());
    ShowModeWord(dialog, MODE_ALL | MODE_SKIP_NOT_NEWER);
    auto log = Run("\"" + src + "late.txt\" \"" + src + "later.txt\" \"" + src + "older.txt\"", dst);
    EXPECT_EQ((std::vector<std::string>{"  late.txt 日付が同じか古いためコピーしません。",
                                        "O later.txt コピーしました。",
                                        "  older.txt 日付が同じか古いためコピーしません。"}),
              log);
}

// ---- clashes ----

TEST_F(CopyRunTest, FolderWhereAFileIsToBeCopied) {
    Build("src\\f.txt text=\"x\"\n"
          "dst\\f.txt\\inner.txt\n");
    EXPECT_EQ((std::vector<std::string>{"X f.txt コピー先に同名のフォルダがあるのでコピーできません。"}),
              Run(src + "f.txt", dst));
    EXPECT_EQ("f.txt\\ attr=\nf.txt\\inner.txt attr= size=0\n", Dest());
}

TEST_F(CopyRunTest, FileWhereAFolderIsNeededSkipsItsContents) {
    Build("src\\d\\a.txt\n"
          "src\\d\\sub\\b.txt\n"
          "dst\\d\\sub text=\"file\"\n");
    auto log = Run(src + "d", dst);
    EXPECT_EQ(Sorted({"  d すでに存在します。", "O d\\a.txt コピーしました。",
                      "X d\\sub コピー先に同名のファイルがあるためコピーできません。"}),
              Sorted(log));
    EXPECT_EQ("file", ReadWholeFile(dst + "d\\sub"));
}

// ---- two sources, the same last name ----

TEST_F(CopyRunTest, TwoSourcesWithTheSameLastName) {
    const long long T = 1700000000;
    std::string layout = "src\\a\\x\\f.txt text=\"first\" time=" + std::to_string(T + 10) +
                       "\nsrc\\b\\x\\f.txt text=\"second\" time=" + std::to_string(T) +
                       "\nsrc\\b\\x\\g.txt text=\"g\"\ndst\\\n";
    Build(layout.c_str());
    ShowModeWord(dialog, MODE_ALL | MODE_SKIP_NOT_NEWER);
    auto log = Run("\"" + src + "a\\x\" \"" + src + "b\\x\"", dst);
    ASSERT_EQ(5u, log.size());
    EXPECT_EQ("O x フォルダを作成しました。", log[0]);
    EXPECT_EQ("O x\\f.txt コピーしました。", log[1]);
    EXPECT_EQ("  x すでに存在します。", log[2]);
    EXPECT_EQ(Sorted({"  x\\f.txt 日付が同じか古いためコピーしません。", "O x\\g.txt コピーしました。"}),
              Sorted({log[3], log[4]}));
    EXPECT_EQ("first", ReadWholeFile(dst + "x\\f.txt"));
}

// Both sources go to DEST\\Data: what the first copied is not missing in the second, and a
// destination entry that neither has is listed once.
TEST_F(CopyRunTest, TwoSourcesWithTheSameNameShareTheMissingCheck) {
    Build("src\\a\\Data\\one.txt\n"
          "src\\b\\DATA\\two.txt\n"
          "dst\\Data\\old.txt\n");
    ShowConfWord(dialog, CONF_CHECK_MISSING | CONF_LOG_NO_DONE);
    Run("\"" + src + "a\\Data\" \"" + src + "b\\DATA\"", dst);
    EXPECT_EQ((std::vector<std::string>{"F " + UpperDest() + "Data\\old.txt"}), MissingLines());
    EXPECT_EQ(std::vector<std::string>{}, RunLogLines()) << "nothing failed";
}

// Wildcard words that find the folder itself (".") or its parent ("..") are invalid path names:
// nothing of Data lands in the destination's root, nothing is offered for deletion, and the run
// goes on with the next word.
TEST_F(CopyRunTest, SourceWordsThatResolveToDotNamesAreInvalid) {
    Build("src\\Data\\a.txt\n"
          "src\\Data\\sub\\b.txt\n"
          "dst\\kept.txt\n");
    ShowConfWord(dialog, CONF_LOG_ALL | CONF_CHECK_MISSING);
    std::string sources;
    std::vector<std::string> expected;
    for (const char *word : {"Data\\*", "Data\\?", "Data\\.*", "Data\\??", "Data\\.?"}) {
        sources += "\"" + src + word + "\" ";
        expected.push_back("X " + src + word + " パス名が不正です。");
    }
    expected.push_back("O a.txt コピーしました。");
    EXPECT_EQ(expected, Run(sources + "\"" + src + "Data\\a.txt\"", dst));
    EXPECT_EQ("a.txt attr= size=0\nkept.txt attr= size=0\n", Dest());
    EXPECT_EQ(std::vector<std::string>{}, MissingLines());
}

// ---- the destination inside a source, and a source inside the destination ----

TEST_F(CopyRunTest, DestinationInsideTheSourceIsNotEntered) {
    Build("src\\data\\a.txt\n"
          "src\\data\\bak\\old.txt\n");
    std::string dest = src + "data\\bak";
    auto log = Run(src + "data", dest);
    EXPECT_EQ(Sorted({"O data フォルダを作成しました。", "O data\\a.txt コピーしました。",
                      "X data\\bak コピー先のフォルダなのでコピーしません。"}),
              Sorted(log));
    EXPECT_EQ("data\\ attr=\ndata\\a.txt attr= size=0\nold.txt attr= size=0\n",
              ReadTree(dest + "\\", FILE_ATTRIBUTE_ARCHIVE));
}

TEST_F(CopyRunTest, DestinationGivenInAnotherCaseIsStillRecognised) {
    Build("src\\data\\Bak\\\n");
    auto log = Run(src + "data", src + "DATA\\bAK\\");
    EXPECT_EQ(Sorted({"O data フォルダを作成しました。", "X data\\Bak コピー先のフォルダなのでコピーしません。"}),
              Sorted(log));
}

// The short 8.3 name that the platform lists for the entry at `path`; "" when it lists none.
static std::string ListedShortName(const std::string &path) {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(path.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return "";
    FindClose(find);
    return found.cAlternateFileName;
}

TEST_F(CopyRunTest, DestinationGivenByItsShortNameIsStillRecognised) {
    Build("src\\data\\a.txt\n"
          "src\\data\\backupcopies\\ short=BACKUP~1\n"
          "src\\data\\backupcopies\\old.txt\n");
    std::string shortName = ListedShortName(src + "data\\backupcopies");
    ASSERT_NE("", shortName);
    std::string dest = src + "data\\" + shortName;
    auto log = Run(src + "data", dest);
    EXPECT_EQ(Sorted({"O data フォルダを作成しました。", "O data\\a.txt コピーしました。",
                      "X data\\backupcopies コピー先のフォルダなのでコピーしません。"}),
              Sorted(log));
    EXPECT_EQ("data\\ attr=\ndata\\a.txt attr= size=0\nold.txt attr= size=0\n",
              ReadTree(dest + "\\", FILE_ATTRIBUTE_ARCHIVE));
}

// A file whose destination is the file itself, the folder being written with its short name: it
// keeps its attributes and its contents (it must not lose read-only for a copy onto itself).
TEST_F(CopyRunTest, FileCopiedOntoItselfThroughAShortNameIsLeftAlone) {
    Build("src\\longfoldername\\ short=LONGFO~1\n"
          "src\\longfoldername\\f.txt text=\"keep\" attr=RH\n");
    std::string shortName = ListedShortName(src + "longfoldername");
    ASSERT_NE("", shortName);
    auto log = Run(src + "longfoldername\\f.txt", src + shortName);
    EXPECT_EQ((std::vector<std::string>{"X f.txt コピー元とコピー先が同じなのでコピーしません。"}), log);
    EXPECT_EQ("longfoldername\\ attr=\nlongfoldername\\f.txt attr=RH size=4 text=\"keep\"\n",
              ReadTree(src, FILE_ATTRIBUTE_ARCHIVE));
}

// The same folder in another case of a non-ASCII letter (full-width Latin letters, which the file
// system folds like ASCII ones).
TEST_F(CopyRunTest, DestinationInAnotherCaseOfAFullWidthNameIsStillRecognised) {
    if (ON_SIMULATION) GTEST_SKIP() << "the simulation folds ASCII letters only";
    Build("src\\data\\ｂａｋ\\old.txt\n");
    auto log = Run(src + "data", src + "data\\ＢＡＫ");
    EXPECT_EQ(Sorted({"O data フォルダを作成しました。", "X data\\ｂａｋ コピー先のフォルダなのでコピーしません。"}),
              Sorted(log));
}

// The cyclic checks come after the selection tests: a destination folder that the user excludes,
// or a file that the patterns refuse, keeps its own level-0 record.
TEST_F(CopyRunTest, SelectionTestsComeBeforeTheCyclicChecks) {
    Build("src\\data\\a.txt\n"
          "src\\data\\_bak\\old.txt\n");
    EXPECT_EQ(Sorted({"O data フォルダを作成しました。", "O data\\a.txt コピーしました。",
                      "  data\\_bak 指定のフォルダなのでコピーしません。"}),
              Sorted(Run(src + "data", src + "data\\_bak", "*", "*", "_*")));
    EXPECT_EQ((std::vector<std::string>{"  a.txt 指定のファイルなのでコピーしません。"}),
              Run(src + "data\\a.txt", src + "data", "*", "*", "", "*.TXT"));
}

// A copy that fails leaves the old destination file as it was, its read-only and hidden
// attributes included (they are taken off only for the copy).
TEST_F(CopyRunTest, FailedCopyGivesTheDestinationItsProtectionBack) {
    Build("src\\f.txt text=\"new\"\n"
          "dst\\f.txt text=\"old\" attr=RH\n");
    // Held open without sharing, the destination cannot be written.
    HANDLE hold = CreateFileA((dst + "f.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hold);
    auto log = Run(src + "f.txt", dst);
    CloseHandle(hold);
    EXPECT_EQ((std::vector<std::string>{"X f.txt コピーできません。"}), log);
    EXPECT_EQ("f.txt attr=RH size=3 text=\"old\"\n", Dest());
}

TEST_F(CopyRunTest, SourceThatIsTheDestinationItselfIsNotEntered) {
    Build("src\\data\\a.txt\n");
    auto log = Run(src + "data", src + "sub\\..\\data");
    EXPECT_EQ((std::vector<std::string>{"X data コピー先のフォルダなのでコピーしません。"}), log);
    EXPECT_EQ("data\\ attr=\ndata\\a.txt attr= size=0\n", ReadTree(src, FILE_ATTRIBUTE_ARCHIVE));
}

TEST_F(CopyRunTest, SourceAtItsOwnDestinationIsLeftAlone) {
    Build("dst\\f.txt text=\"keep\" attr=RA\n"
          "dst\\sub\\g.txt text=\"g\"\n");
    ShowConfWord(dialog, CONF_LOG_ALL | CONF_CLEAR_ARCHIVE);
    auto log = Run("\"" + dst + "f.txt\" \"" + dst + "sub\"", dst);
    EXPECT_EQ((std::vector<std::string>{"X f.txt コピー元とコピー先が同じなのでコピーしません。",
                                        "X sub コピー元とコピー先が同じなのでコピーしません。"}),
              log);
    EXPECT_EQ("f.txt attr=RA size=4 text=\"keep\"\nsub\\ attr=\nsub\\g.txt attr=A size=1 text=\"g\"\n",
              Dest(0));
}

// ---- archive clearing ----

TEST_F(CopyRunTest, ArchiveClearedForEveryFileReached) {
    SIMULATION_ONLY("Wine keeps the archive attribute on every file");
    const long long T = 1700000000;
    std::string layout = "src\\d\\ attr=A\nsrc\\d\\copied.txt attr=A\nsrc\\d\\pattern.tmp attr=A"
                       "\nsrc\\d\\hidden.txt attr=HA\nsrc\\d\\older.txt attr=A text=\"1\" time=" +
                       std::to_string(T) + "\ndst\\d\\older.txt text=\"22\" time=" + std::to_string(T + 10) +
                       "\nsrc\\d\\failed.txt attr=A\nsrc\\d\\bare.txt attr=CA\nsrc\\d\\skip\\ attr=A"
                       "\nsrc\\d\\skip\\in.txt attr=A\n";
    Build(layout.c_str());
#ifdef KESTREL_SIM
    SimInjectFault("CopyFileA", (dst + "d\\failed.txt").c_str(), ERROR_ACCESS_DENIED);
    SimInjectFault("DeviceIoControl", (dst + "d\\bare.txt").c_str(), ERROR_NOT_SUPPORTED, SIM_FAULT_EVERY);
#endif
    ShowModeWord(dialog, (MODE_ALL & ~ModeFileBit(CATEGORY_HIDDEN)) | MODE_SKIP_NOT_NEWER);
    ShowConfWord(dialog, CONF_LOG_ALL | CONF_CLEAR_ARCHIVE);
    auto log = Run(src + "d", dst, "D", "*", "", "*.TMP");
    EXPECT_EQ(Sorted({"  d すでに存在します。", "O d\\copied.txt コピーしました。",
                      "  d\\pattern.tmp 指定のファイルなのでコピーしません。",
                      "  d\\hidden.txt 隠しファイルのためコピーしません。",
                      "  d\\older.txt 日付が同じか古いためコピーしません。", "X d\\failed.txt コピーできません。",
                      "! d\\bare.txt コピーしました。（属性未設定）", "  d\\skip 指定外のフォルダなのでコピーしません。"}),
              Sorted(log));
    // Every file reached and the folder enumerated lose archive, except the file whose copy failed
    // and the one copied without its attributes: neither was backed up as it is. The refused
    // folder and what lies below it keep it.
    EXPECT_EQ("d\\ attr=\n"
              "d\\bare.txt attr=AC size=0\n"
              "d\\copied.txt attr= size=0\n"
              "d\\failed.txt attr=A size=0\n"
              "d\\hidden.txt attr=H size=0\n"
              "d\\older.txt attr= size=1 text=\"1\"\n"
              "d\\pattern.tmp attr= size=0\n"
              "d\\skip\\ attr=A\n"
              "d\\skip\\in.txt attr=A size=0\n",
              ReadTree(src, 0));
}

// ---- names that code page 932 cannot hold ----

// Files from other systems: "café.txt" next to "cafe.txt", emoji, Hangul, simplified Chinese,
// the wave dash of other systems (U+301C; code page 932 holds U+FF5E) and a folder with an emoji;
// and paths over 260 units: a source path of over 300, a 200-unit name below a destination whose
// path then exceeds 260. Each is copied with its own bytes and recorded under its true name; a
// second run skips it by date. The patterns see "?" for what the code page lacks: "caf?.txt"
// takes café.txt, "cafe.txt" does not.
TEST_F(CopyRunTest, NamesTheCodePageCannotHoldAreCopiedUnderTheirOwnNames) {
    const std::string deepFolder = "deep\\" + std::string(150, 'p'), longName = std::string(200, 'n') + ".txt";
    const struct {
        std::string name;
        const char *text;
    } rows[] = {{"cafe.txt", "PLAIN"},          {"caf{E9}.txt", "ACCENTED"},      {"{1F600}.txt", "EMOJI"},
                {"{D55C}{AD6D}{C5B4}.txt", "HANGUL"}, {"{7B80}体.txt", "SIMPLIFIED"}, {"a{301C}b.txt", "WAVE"},
                {"写真{1F600}\\in.txt", "IN"},  {deepFolder + "\\" + std::string(150, 'q') + ".txt", "DEEP"},
                {longName, "LONG"}};
    const std::string base = dst + std::string(60, 'D') + "\\";
    std::string layout = base.substr(root.size()) + "\n";
    std::vector<std::string> copied, skipped;
    for (const std::string &folder : {std::string("写真{1F600}"), std::string("deep"), deepFolder}) {
        copied.push_back("O d\\" + folder + " フォルダを作成しました。");
        skipped.push_back("  d\\" + folder + " すでに存在します。");
    }
    copied.push_back("O d フォルダを作成しました。");
    skipped.push_back("  d すでに存在します。");
    for (const auto &row : rows) {
        layout += "src\\d\\" + row.name + " text=\"" + row.text + "\" time=1600000000\n";
        copied.push_back("O d\\" + row.name + " コピーしました。");
        skipped.push_back("  d\\" + row.name + " 日付が同じか古いためコピーしません。");
    }
    Build(layout.c_str());
    ASSERT_GT(src.size() + 2 + rows[7].name.size(), 300u);
    ASSERT_GT(base.size() + 2 + longName.size(), 260u);
    EXPECT_EQ(Sorted(copied), Sorted(Run(src + "d", base)));
    for (const auto &row : rows) EXPECT_EQ(row.text, ReadWholeFile(base + "d\\" + row.name)) << row.name;
    ShowModeWord(dialog, MODE_ALL | MODE_SKIP_NOT_NEWER);
    EXPECT_EQ(Sorted(skipped), Sorted(Run(src + "d", base)));

    // A source word whose wildcard finds such a name cannot hold it: refused.
    EXPECT_EQ((std::vector<std::string>{"X " + src + "d\\写真* フォルダ名に扱えない文字があるためコピーできません。"}),
              Run(src + "d\\写真*", base));

    ShowModeWord(dialog, MODE_ALL);
    for (const char *pattern : {"caf?.txt", "cafe.txt"}) {
        ASSERT_TRUE(DeleteTree(base + "d"));
        std::vector<std::string> done;
        for (const std::string &line : Run(src + "d", base, "*", pattern))
            if (line.compare(0, 5, "O d\\c") == 0) done.push_back(line);
        std::vector<std::string> expected = {"O d\\cafe.txt コピーしました。"};
        if (pattern[3] == '?') expected.push_back("O d\\caf{E9}.txt コピーしました。");
        EXPECT_EQ(Sorted(expected), Sorted(done)) << pattern;
    }

    // Where the wide calls are stubs (the Windows 95 family) the ANSI listing's "?" stands for
    // what the code page lacks: such an entry is one record, never looked for under a wildcard.
    SIMULATION_ONLY("Wine has no network share; its wide calls cannot be made stubs");
#ifdef KESTREL_SIM
    // A network destination: its paths over 260 units take the "\\?\UNC\" form.
    const std::string share = "\\\\SERVER\\SHARE\\" + std::string(60, 'D') + "\\";
    ASSERT_TRUE(CreateDirectoryA(share.substr(0, share.size() - 1).c_str(), nullptr));
    EXPECT_EQ(Sorted(copied), Sorted(Run(src + "d", share)));
    // A name whose code page form is longer than 259 bytes (Wine cuts names at 255 UTF-8 bytes).
    std::string kanji;
    for (int i = 0; i < 130; i++) kanji += "漢";
    Build(("src\\f\\" + kanji + ".txt\n").c_str());
    EXPECT_EQ(Sorted({"O f フォルダを作成しました。", "O f\\" + kanji + ".txt コピーしました。"}), Sorted(Run(src + "f", base)));
    Build("src\\e\\{1F600}.txt\nsrc\\e\\{1F600}\\in.txt\nsrc\\e\\z.txt\n");
    SimSetWideStubs(true);
    EXPECT_EQ(Sorted({"O e フォルダを作成しました。", "O e\\z.txt コピーしました。",
                      "X e\\??.txt ファイル名に扱えない文字があるためコピーできません。",
                      "X e\\?? フォルダ名に扱えない文字があるためコピーできません。"}),
              Sorted(Run(src + "e", dst)));
    SimSetWideStubs(false);
#endif
}

// ---- paths too long for a platform without the wide calls ----

// Where the wide calls are stubs (the Windows 95 family), the ANSI calls' limits hold: one record
// that names the cause, before anything is tried on the entry: no copy, no folder half made,
// nothing below the folder visited. The limit counts UTF-16 units, not bytes: a path of kanji
// that is longer than 259 bytes still fits. (On NT such paths are copied: the names table.)
TEST_F(CopyRunTest, TooLongWithoutWideCallsIsOneRecord) {
    SIMULATION_ONLY("Wine's wide calls cannot be made stubs");
#ifdef KESTREL_SIM
    auto Run = [&](const std::string &sources, const std::string &dest) {
        SimSetWideStubs(true);
        auto log = CopyRunTest::Run(sources, dest);
        SimSetWideStubs(false);
        return log;
    };
    std::string deepDest = dst + std::string(200 - dst.size(), 'D') + "\\";
    std::string name(60, 'n');
    std::string kanji;
    for (int i = 0; i < 40; i++) kanji += "漢";
    std::string layout = "src\\s\\" + name + ".txt\n" + "src\\s\\" + name + "\\in.txt\n" + "src\\s\\" + kanji +
                         ".txt text=\"K\"\n" + "src\\s\\short.txt\n" + deepDest.substr(root.size()) + "\n";
    Build(layout.c_str());
    auto log = Run(src + "s", deepDest);
    ASSERT_GT(deepDest.size() + 2 + name.size() + 4, (size_t)MAX_PATH) << "the file's destination is too long";
    ASSERT_GT(deepDest.size() + 2 + kanji.size(), (size_t)MAX_PATH) << "in bytes; not in characters";
    EXPECT_EQ(Sorted({"O s フォルダを作成しました。", "O s\\short.txt コピーしました。", "O s\\" + kanji + ".txt コピーしました。",
                      "X s\\" + name + ".txt コピー先のパス名が長すぎるためコピーできません。",
                      "X s\\" + name + " コピー先のパス名が長すぎるためコピーできません。"}),
              Sorted(log));
    EXPECT_EQ("s\\ attr=\ns\\short.txt attr= size=0\ns\\" + kanji + ".txt attr= size=1 text=\"K\"\n",
              ReadTree(deepDest, FILE_ATTRIBUTE_ARCHIVE));

    // The source side: a file whose source path is too long for the calls, copied into a short
    // destination.
    std::string deepSource = src + std::string(150, 'S') + "\\" + std::string(95 - src.size(), 'T') + "\\";
    Build((deepSource.substr(root.size()) + std::string(30, 'f') + ".txt\n" + deepSource.substr(root.size()) + "ok\n").c_str());
    SetControlText(dialog, IDC_TCD, "*");
    std::string top = std::string(150, 'S');
    log = Run(src + top, dst);
    std::string inner = top + "\\" + std::string(95 - src.size(), 'T');
    EXPECT_EQ(Sorted({"O " + top + " フォルダを作成しました。", "O " + inner + " フォルダを作成しました。",
                      "O " + inner + "\\ok コピーしました。",
                      "X " + inner + "\\" + std::string(30, 'f') + ".txt コピー元のパス名が長すぎるためコピーできません。"}),
              Sorted(log));

    // The edges. A new folder takes at most 247 units, decided before it is looked up: one of 248
    // that exists is not entered either.
    std::string to = deepDest + "u\\", a(247 - to.size(), 'a'), b(248 - to.size(), 'b'), c(249 - to.size(), 'c');
    Build(("src\\u\\" + a + "\\in\nsrc\\u\\" + b + "\\in\nsrc\\u\\" + c + "\\in\n" + to.substr(root.size()) + b + "\\\n").c_str());
    const std::string DEST_TOO_LONG = " コピー先のパス名が長すぎるためコピーできません。";
    EXPECT_EQ(Sorted({"  u すでに存在します。", "O u\\" + a + " フォルダを作成しました。", "O u\\" + a + "\\in コピーしました。",
                      "X u\\" + b + DEST_TOO_LONG, "X u\\" + c + DEST_TOO_LONG}),
              Sorted(Run(src + "u", deepDest)));
    EXPECT_EQ(a + "\\ attr=\n" + a + "\\in attr= size=0\n" + b + "\\ attr=\n", ReadTree(to, FILE_ATTRIBUTE_ARCHIVE));
    // A folder is listed with "\\*": one of 257 units is entered, one of 258 or 259 is not; a file
    // of 259 units is copied, one of 260 is not.
    std::string from = src + std::string(200 - src.size() - 1, 'P') + "\\t\\";
    a.assign(257 - from.size(), 'a'), b.assign(258 - from.size(), 'b'), c.assign(259 - from.size(), 'c');
    std::string below = from.substr(root.size());
    Build((below + a + "\\x\n" + below + a + "\\xy\n" + below + b + "\\in\n" + below + c + "\\in\n").c_str());
    const std::string SOURCE_TOO_LONG = " コピー元のパス名が長すぎるためコピーできません。";
    EXPECT_EQ(Sorted({"O t フォルダを作成しました。", "O t\\" + a + " フォルダを作成しました。", "O t\\" + a + "\\x コピーしました。",
                      "X t\\" + a + "\\xy" + SOURCE_TOO_LONG, "X t\\" + b + SOURCE_TOO_LONG, "X t\\" + c + SOURCE_TOO_LONG}),
              Sorted(Run(from.substr(0, from.size() - 1), dst)));
    EXPECT_EQ(a + "\\ attr=\n" + a + "\\x attr= size=0\n", ReadTree(dst + "t\\", FILE_ATTRIBUTE_ARCHIVE));
#endif
}
