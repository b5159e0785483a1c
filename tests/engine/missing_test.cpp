// The missing-in-source check: the list of destination entries that the source lacks, its order,
// the records of failures, the stop request and a full missing-files document.
#include "copylog.h"
#include "log_lines.h"
#include "missing.h"
#include "runstate.h"
#include "tree.h"
#include <algorithm>
#include <cstring>
#include <string>
#ifdef KESTREL_SIM
#include "simwin_dialog.h"
#endif

using Lines = std::vector<std::string>;

static const char NO_DEST_ATTRIBUTES[] = "コピー先の属性を取得できません。";
static const char NO_DEST_ACCESS[] = "コピー先にアクセスできません。";
static const char NO_SOURCE_ATTRIBUTES[] = "コピー元の属性を取得できません。";
static const char CHECKING[] = "コピー元に無いファイルの確認中";
static const char CHECK_TOO_LONG[] = "パス名が長すぎるため確認できません。";

// Source and destination folders below the scratch folder, and the progress line the check
// writes its note to.
class MissingTest : public PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        src = root + "src\\";
        dst = root + "dst\\";
        ASSERT_TRUE(CreateDirectoryA(Path("src").c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(Path("dst").c_str(), nullptr));
        g_stopRequest = 0;
        g_runConf = 0x5;
        ResetCopyLog();
        ResetMissingList();
        ResetCopyRun(false);
    }
    void TearDown() override {
        g_stopRequest = 0;
        PlatformTest::TearDown();
    }
    int Check(const std::string &relative) { return CheckMissingInSource(&progress, relative.c_str(), src.c_str(), dst.c_str()); }
    std::string Label() {
        char text[PROGRESS_TEXT_SIZE] = "";
        TakeProgress(&progress, text, sizeof text);
        return text;
    }
    static size_t IndexOf(const Lines &lines, const std::string &line) {
        return (size_t)(std::find(lines.begin(), lines.end(), line) - lines.begin());
    }
    std::string src, dst;
    ProgressLine progress;
};

TEST_F(MissingTest, ContentsAreListedBeforeTheirFolder) {
    ASSERT_EQ("", BuildTree(src, "Data\\keep.txt\nData\\Kept\\in.txt\n"));
    ASSERT_EQ("", BuildTree(dst, "Data\\keep.txt\nData\\old.txt\nData\\Sub\\x.txt\nData\\Kept\\in.txt\n"
                                 "Data\\Kept\\gone.txt\n"));
    EXPECT_EQ(0, Check("Data"));
    Lines lines = MissingLines();
    Lines expected = {"F " + dst + "Data\\old.txt", "F " + dst + "Data\\Sub\\x.txt", "D " + dst + "Data\\Sub",
                      "F " + dst + "Data\\Kept\\gone.txt"};
    Lines sorted = lines, sortedExpected = expected;
    std::sort(sorted.begin(), sorted.end());
    std::sort(sortedExpected.begin(), sortedExpected.end());
    EXPECT_EQ(sortedExpected, sorted);
    // The folder's line comes right after the lines of its contents; the rest follows the listing.
    EXPECT_EQ(IndexOf(lines, "F " + dst + "Data\\Sub\\x.txt") + 1, IndexOf(lines, "D " + dst + "Data\\Sub"));
    if (ON_SIMULATION) {
        EXPECT_EQ(expected[3], lines[0]) << "the listing goes Kept, keep.txt, old.txt, Sub";
        EXPECT_EQ(expected[0], lines[1]);
    }
    EXPECT_EQ(Lines{}, LogLines()) << "nothing failed";
    EXPECT_EQ(CHECKING, Label());
    EXPECT_EQ(0u, g_missingList.full);
    EXPECT_EQ("", std::string(g_missingWholeFolder)) << "keep.txt stays; Sub is not a source's folder";
}

TEST_F(MissingTest, FoldersAreBlueAndFilesInTheDefaultColour) {
    ASSERT_EQ("", BuildTree(src, "Data\\\n"));
    ASSERT_EQ("", BuildTree(dst, "Data\\Sub\\x.txt\n"));
    EXPECT_EQ(0, Check("Data"));
    std::string text(g_missingList.text, g_missingList.length);
    EXPECT_NE(std::string::npos, text.find("\\cf0 F ")) << text;
    EXPECT_NE(std::string::npos, text.find("\\cf3 D ")) << text;
}

TEST_F(MissingTest, EmptyFoldersPresentAndAbsent) {
    ASSERT_EQ("", BuildTree(src, "Data\\Present\\\n"));
    ASSERT_EQ("", BuildTree(dst, "Data\\Present\\\nData\\Absent\\\n"));
    EXPECT_EQ(0, Check("Data"));
    EXPECT_EQ((Lines{"D " + dst + "Data\\Absent"}), MissingLines());
    EXPECT_EQ(Lines{}, LogLines());
    EXPECT_EQ("", std::string(g_missingWholeFolder)) << "Present stays";
}

TEST_F(MissingTest, AWholeSourceFolderMissingListsEverythingDepthFirst) {
    ASSERT_EQ("", BuildTree(dst, "Data\\A\\B\\deep.txt\n"));
    EXPECT_EQ(1, Check("Data")) << "the entry itself is listed";
    EXPECT_EQ((Lines{"F " + dst + "Data\\A\\B\\deep.txt", "D " + dst + "Data\\A\\B", "D " + dst + "Data\\A",
                     "D " + dst + "Data"}),
              MissingLines());
    EXPECT_EQ(dst + "Data", std::string(g_missingWholeFolder)) << "every entry offered";
}

// A source's own destination folder of which every entry is offered is noted for the batch
// file's question, the first one only, and only while the document holds every line.
TEST_F(MissingTest, AnEmptySourcesFolderIsNotedUnlessTheDocumentIsFull) {
    ASSERT_EQ("", BuildTree(src, "Data\\\nMore\\\n"));
    ASSERT_EQ("", BuildTree(dst, "Data\\a.txt\nData\\Sub\\b.txt\nMore\\c.txt\n"));
    g_missingList.full = 1;
    Check("Data");
    EXPECT_EQ("", std::string(g_missingWholeFolder));
    ResetMissingList();
    Check("Data");
    Check("More");
    EXPECT_EQ(dst + "Data", std::string(g_missingWholeFolder));
    ResetMissingList();
    EXPECT_EQ("", std::string(g_missingWholeFolder));
}

TEST_F(MissingTest, AFileSourceWithItsCopyGivesNoLine) {
    ASSERT_EQ("", BuildTree(src, "file.txt text=\"a\"\n"));
    ASSERT_EQ("", BuildTree(dst, "file.txt text=\"a\"\n"));
    EXPECT_EQ(0, Check("file.txt"));
    EXPECT_EQ(Lines{}, MissingLines());
    EXPECT_EQ(Lines{}, LogLines());
    EXPECT_EQ(CHECKING, Label());
    EXPECT_EQ("", std::string(g_missingWholeFolder));
}

TEST_F(MissingTest, AMissingDestinationCounterpartIsOneRecordAndNoLine) {
    ASSERT_EQ("", BuildTree(src, "Data\\x.txt\n"));
    EXPECT_EQ(0, Check("Data"));
    EXPECT_EQ(Lines{}, MissingLines());
    EXPECT_EQ((Lines{std::string("X Data ") + NO_DEST_ATTRIBUTES}), LogLines());
    if (ON_SIMULATION) {
        EXPECT_EQ("", Label()) << "the label is set only for an entry that exists";
    }
}

TEST_F(MissingTest, AnEntryOfTheOtherKindCountsAsPresent) {
    // The destination's folder Report is a file in the source, and its file Note a folder there.
    ASSERT_EQ("", BuildTree(src, "Data\\Report text=\"r\"\nData\\Note\\\n"));
    ASSERT_EQ("", BuildTree(dst, "Data\\Report\\r.txt\nData\\Note text=\"n\"\n"));
    EXPECT_EQ(0, Check("Data"));
    // Report's contents cannot be in the source (Report is a file there); Report itself is.
    EXPECT_EQ((Lines{"F " + dst + "Data\\Report\\r.txt"}), MissingLines());
    EXPECT_EQ(Lines{}, LogLines());
}

TEST_F(MissingTest, NamesCompareAsTheFileSystemComparesThem) {
    ASSERT_EQ("", BuildTree(src, "Data\\README.TXT\n"));
    ASSERT_EQ("", BuildTree(dst, "Data\\readme.txt\n"));
    EXPECT_EQ(0, Check("Data"));
    EXPECT_EQ(Lines{}, MissingLines());
}

TEST_F(MissingTest, DoubleByteNamesWithTrailByte5C) {
    ASSERT_EQ("", BuildTree(src, "ソフト\\表.txt\n"));
    ASSERT_EQ("", BuildTree(dst, "ソフト\\表.txt\nソフト\\ソ\\予定.txt\n"));
    EXPECT_EQ(0, Check("ソフト"));
    EXPECT_EQ((Lines{"F " + dst + "ソフト\\ソ\\予定.txt", "D " + dst + "ソフト\\ソ"}), MissingLines());
}

TEST_F(MissingTest, AStopBeforeTheCheckDoesNothing) {
    ASSERT_EQ("", BuildTree(dst, "Data\\x.txt\n"));
    g_stopRequest = 1;
    EXPECT_EQ(-1, Check("Data"));
    EXPECT_EQ(Lines{}, MissingLines());
    EXPECT_EQ(Lines{}, LogLines());
    if (ON_SIMULATION) {
        EXPECT_EQ("", Label());
    }
}

TEST_F(MissingTest, MoreLinesThanTheDocumentHoldsKeepsTheEarliest) {
    ASSERT_EQ("", BuildTree(src, "Data\\\n"));
    ASSERT_EQ("", BuildTree(dst, "Data\\a1.txt\nData\\a2.txt\nData\\a3.txt\nData\\Sub\\b1.txt\nData\\Sub\\b2.txt\n"));
    // The full list, in the listing's order.
    ASSERT_EQ(0, Check("Data"));
    Lines all = MissingLines();
    ASSERT_EQ(6u, all.size());
    // Earlier sources have filled the document until about two more lines fit.
    ResetMissingList();
    std::string filler(3000, 'f');
    size_t longest = 0;
    for (auto &line : all) longest = std::max(longest, line.size());
    // Room for about two of them: a line needs twice its length and 17 bytes of room.
    size_t room = 3 * (longest + 2) + 40;
    while (g_missingList.capacity - g_missingList.length > room + 2 * (filler.size() + 2) + 17)
        MissingListLine(0, filler.c_str());
    while (g_missingList.capacity - g_missingList.length > room)
        MissingListLine(0, "f");
    ASSERT_EQ(0u, g_missingList.full);
    size_t before = MissingLines().size();
    EXPECT_EQ(0, Check("Data"));
    Lines lines = MissingLines();
    ASSERT_GT(lines.size(), before);
    Lines added(lines.begin() + (long)before, lines.end());
    EXPECT_LT(added.size(), all.size());
    EXPECT_EQ(Lines(all.begin(), all.begin() + (long)added.size()), added) << "the earliest lines stay";
    EXPECT_EQ(1u, g_missingList.full);
    EXPECT_EQ(Lines{}, LogLines()) << "a full list is no failure of the check";
}

TEST_F(MissingTest, ACheckWithMoreLinesThanTheDocumentHoldsStopsAddingAndGoesOn) {
    SIMULATION_ONLY("20,000 files with long names take minutes to create under Wine");
    // Every path has 240 bytes whatever the scratch folder's name: each line ("F ", the path, CR
    // LF) takes at least 244 bytes of the document, which 20,000 of them overfill.
    const int files = 20000;
    const std::string fill(240 - (dst + "Data\\00000").size(), 'n');
    ASSERT_GT(files * 244u, MISSING_DOCUMENT_CAPACITY);
    ASSERT_EQ("", BuildTree(src, "Data\\\n"));
    ASSERT_TRUE(CreateDirectoryA((dst + "Data").c_str(), nullptr));
    char name[64];
    for (int i = 0; i < files; i++) {
        snprintf(name, sizeof name, "\\%05d", i);
        ASSERT_TRUE(WriteWholeFile(dst + "Data" + name + fill, ""));
    }
    EXPECT_EQ(0, Check("Data"));
    EXPECT_EQ(1u, g_missingList.full);
    Lines lines = MissingLines();
    ASSERT_GT(lines.size(), 1000u);
    ASSERT_LT(lines.size(), (size_t)files);
    // The earliest lines, in the listing's order, with nothing skipped among them.
    for (size_t i = 0; i < lines.size(); i++) {
        snprintf(name, sizeof name, "\\%05d", (int)i);
        ASSERT_EQ("F " + dst + "Data" + name + fill, lines[i]);
    }
    EXPECT_EQ(Lines{}, LogLines());
    EXPECT_EQ(CHECKING, Label()) << "every entry was still visited";
    EXPECT_LE(g_missingList.length + 2, g_missingList.capacity) << "the viewer's closing brace still fits";
}

TEST_F(MissingTest, AStopDuringTheCheckEndsTheWholeWalk) {
    SIMULATION_ONLY("the entry at which the stop comes depends on the listing order, the simulation's here");
    ASSERT_EQ("", BuildTree(dst, "Data\\A\\a1.txt\nData\\A\\a2.txt\nData\\A\\a3.txt\nData\\B\\b.txt\n"));
    // Entries in order: Data, A, a1, a2, a3, B, b. The stop comes with the progress note of a2, so
    // a3 finds it set.
    struct Counter {
        int updates = 0;
    } counter;
    progress.watch = [](void *context, const char *) {
        if (++static_cast<Counter *>(context)->updates == 4) g_stopRequest = 1;
    };
    progress.watchContext = &counter;
    EXPECT_EQ(-1, Check("Data"));
    EXPECT_EQ(4, counter.updates);
    // a1 and a2 were listed; neither a3, nor the folders A and Data, nor anything of B.
    EXPECT_EQ((Lines{"F " + dst + "Data\\A\\a1.txt", "F " + dst + "Data\\A\\a2.txt"}), MissingLines());
    EXPECT_EQ(Lines{}, LogLines());
#ifdef KESTREL_SIM
    EXPECT_EQ(0, SimOpenFinds()) << "every listing was closed on the way out";
#endif
}

// ---- failures: each is one record, and the walk goes on with the siblings ----

TEST_F(MissingTest, AFolderThatCannotBeListedIsOneRecord) {
    SIMULATION_ONLY("Wine cannot refuse to list a folder on demand");
#ifdef KESTREL_SIM
    ASSERT_EQ("", BuildTree(dst, "Data\\Locked\\x.txt\nData\\Open\\y.txt\n"));
    ASSERT_EQ("", BuildTree(src, "Data\\Locked\\\nData\\Open\\\n"));
    SimInjectFault("FindFirstFileW", (dst + "Data\\Locked\\*").c_str(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, Check("Data"));
    EXPECT_EQ((Lines{std::string("X Data\\Locked ") + NO_DEST_ACCESS}), LogLines());
    EXPECT_EQ((Lines{"F " + dst + "Data\\Open\\y.txt"}), MissingLines());
#endif
}

TEST_F(MissingTest, AListingThatFailsPartWayIsOneRecordAndNoFolderLine) {
    SIMULATION_ONLY("Wine cannot fail a listing part-way on demand");
#ifdef KESTREL_SIM
    ASSERT_EQ("", BuildTree(dst, "Data\\Sub\\a.txt\nData\\Sub\\b.txt\nData\\z.txt\n"));
    // Sub is missing in the source; its listing fails after its first entries.
    SimInjectFault("FindNextFileW", (dst + "Data\\Sub\\").c_str(), ERROR_NOT_READY, SIM_FAULT_NTH, 3);
    EXPECT_EQ(0, Check("Data"));
    EXPECT_EQ((Lines{std::string("X Data\\Sub ") + NO_DEST_ACCESS}), LogLines());
    Lines lines = MissingLines();
    EXPECT_EQ((Lines{"F " + dst + "Data\\Sub\\a.txt", "F " + dst + "Data\\z.txt"}), lines)
        << "Sub's own line is not written, nor Data's, which keeps Sub; its sibling z.txt still is";
    EXPECT_EQ(0, SimOpenFinds());
#endif
}

TEST_F(MissingTest, AnEmptyListingCountsAsAnEmptyFolder) {
    SIMULATION_ONLY("only a root lists no entry at all; the simulation fails the listing instead");
#ifdef KESTREL_SIM
    ASSERT_EQ("", BuildTree(dst, "Data\\Empty\\\n"));
    ASSERT_EQ("", BuildTree(src, "Data\\\n"));
    SimInjectFault("FindFirstFileW", (dst + "Data\\Empty\\*").c_str(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(0, Check("Data"));
    EXPECT_EQ(Lines{}, LogLines());
    EXPECT_EQ((Lines{"D " + dst + "Data\\Empty"}), MissingLines());
#endif
}

TEST_F(MissingTest, SourceAttributesThatCannotBeReadAreOneRecordAndNoLine) {
    SIMULATION_ONLY("Wine cannot refuse attributes on demand");
#ifdef KESTREL_SIM
    ASSERT_EQ("", BuildTree(dst, "Data\\a.txt\nData\\b.txt\nData\\Sub\\\n"));
    ASSERT_EQ("", BuildTree(src, "Data\\\n"));
    SimInjectFault("GetFileAttributesA", (src + "Data\\a.txt").c_str(), ERROR_ACCESS_DENIED);
    SimInjectFault("GetFileAttributesA", (src + "Data\\Sub").c_str(), ERROR_NOT_READY);
    EXPECT_EQ(0, Check("Data"));
    EXPECT_EQ((Lines{std::string("X Data\\a.txt ") + NO_SOURCE_ATTRIBUTES, std::string("X Data\\Sub ") + NO_SOURCE_ATTRIBUTES}),
              LogLines());
    EXPECT_EQ((Lines{"F " + dst + "Data\\b.txt"}), MissingLines());
#endif
}

TEST_F(MissingTest, DestinationAttributesThatCannotBeReadAreOneRecord) {
    SIMULATION_ONLY("Wine cannot refuse attributes on demand");
#ifdef KESTREL_SIM
    ASSERT_EQ("", BuildTree(dst, "Data\\a.txt\nData\\b.txt\n"));
    ASSERT_EQ("", BuildTree(src, "Data\\\n"));
    SimInjectFault("GetFileAttributesA", (dst + "Data\\a.txt").c_str(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, Check("Data"));
    EXPECT_EQ((Lines{std::string("X Data\\a.txt ") + NO_DEST_ATTRIBUTES}), LogLines());
    EXPECT_EQ((Lines{"F " + dst + "Data\\b.txt"}), MissingLines());
#endif
}

TEST_F(MissingTest, NoMemoryForAnEntryIsOneRecord) {
    SIMULATION_ONLY("Wine cannot refuse memory on demand");
#ifdef KESTREL_SIM
    ASSERT_EQ("", BuildTree(dst, "Data\\a.txt\nData\\b.txt\n"));
    ASSERT_EQ("", BuildTree(src, "Data\\\n"));
    SimInjectFault("LocalAlloc", nullptr, ERROR_NOT_ENOUGH_MEMORY, SIM_FAULT_NTH, 3); // for a.txt
    EXPECT_EQ(0, Check("Data"));
    EXPECT_EQ((Lines{std::string("X Data\\a.txt ") + NO_DEST_ACCESS}), LogLines());
    EXPECT_EQ((Lines{"F " + dst + "Data\\b.txt"}), MissingLines());
#endif
}

// Where the wide calls are stubs (the Windows 95 family) a path too long for the ANSI calls cannot
// be looked at: one record, nothing offered for deletion, nor the folders that hold it.
TEST_F(MissingTest, APathTooLongForThePlatformWithoutWideCallsIsOneRecord) {
    SIMULATION_ONLY("Wine's wide calls cannot be made stubs");
#ifdef KESTREL_SIM
    // The source was copied where the paths fit; the destination's counterpart would be longer
    // than 259 bytes.
    std::string deep(250 - dst.size(), 'd');
    ASSERT_EQ("", BuildTree(dst, (deep + "\\").c_str())); // CreateDirectoryA takes at most 247 units
    std::string relative = deep + "\\" + std::string(20, 'e');
    // A folder of 258 units fits; its listing pattern "\\*" does not.
    std::string fits(258 - dst.size(), 'f');
    ASSERT_EQ("", BuildTree(dst, (fits + "\\").c_str()));
    std::string longName = std::string(MAX_PATH + 10 - dst.size() - strlen("Keep\\"), 'L');
    ASSERT_EQ("", BuildTree(dst, ("Keep\\" + longName + "\n").c_str()));
    SimSetWideStubs(true);
    ResetCopyRun(false);
    EXPECT_EQ(0, Check(relative));
    EXPECT_EQ((Lines{"X " + relative + " " + CHECK_TOO_LONG}), LogLines()) << "the record names the cause";
    EXPECT_EQ(0, Check(fits));
    EXPECT_EQ(0, Check("Keep"));
    SimSetWideStubs(false);
    EXPECT_EQ((Lines{"X " + relative + " " + CHECK_TOO_LONG, "X " + fits + " " + CHECK_TOO_LONG,
                     "X Keep\\" + longName + " " + CHECK_TOO_LONG}),
              LogLines());
    EXPECT_EQ(Lines{}, MissingLines());
#endif
}

// Names are compared as listed: the source's "café.txt" never stands for the destination's
// "cafe.txt", and the destination's "café.txt" is listed by its true name; an entry whose path is
// over 260 units is checked and listed like any other.
TEST_F(MissingTest, NamesAreComparedAsListedAndLongPathsAreChecked) {
    std::string longName = std::string(MAX_PATH + 10 - dst.size() - strlen("Data\\Two\\Deeper\\"), 'L') + ".txt";
    ASSERT_EQ("", BuildTree(dst, ("Data\\cafe.txt\nData\\One\\caf{E9}.txt\nData\\Two\\Deeper\\" + longName +
                                  "\nData\\Old\\x.txt\n").c_str()));
    ASSERT_EQ("", BuildTree(src, "Data\\caf{E9}.txt\n"));
    EXPECT_EQ(0, Check("Data"));
    Lines log = LogLines();
    std::sort(log.begin(), log.end());
    EXPECT_EQ(Lines{}, log);
    Lines lines = MissingLines();
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ((Lines{"D " + dst + "Data\\Old", "D " + dst + "Data\\One", "D " + dst + "Data\\Two",
                     "D " + dst + "Data\\Two\\Deeper", "F " + dst + "Data\\Old\\x.txt",
                     "F " + dst + "Data\\One\\caf{E9}.txt", "F " + dst + "Data\\Two\\Deeper\\" + longName,
                     "F " + dst + "Data\\cafe.txt"}),
              lines);
}
