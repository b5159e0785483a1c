// The viewers' plain parts: the RTF stream callback and the closing brace, the frame's minimum
// size, the batch-file text and its refusals, the saved documents, and (host build) the
// full-document warnings and the recorded viewers.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "copylog.h"
#include "runstats.h"
#include "tree.h"
#include "viewers.h"
#ifdef KESTREL_SIM
#include "folder_record.h"
#include "msgbox_record.h"
#include "simwin_dialog.h"
#include "viewers_record.h"
#endif

// ---- streaming ----

// Reads a stream the way the rich-edit control does, with the given request sizes (the last one
// repeated), until the callback reports 0 bytes.
static std::string ReadWholeStream(RtfStreamState &state, std::vector<LONG> requests, std::vector<LONG> *counts) {
    std::string got;
    std::vector<BYTE> buffer(8192, 0xDD);
    for (size_t i = 0;; i++) {
        LONG request = requests[i < requests.size() ? i : requests.size() - 1];
        LONG copied = -1;
        EXPECT_EQ(0u, ReadRtfStream((DWORD_PTR)&state, buffer.data(), request, &copied));
        if (counts) counts->push_back(copied);
        if (copied <= 0) break;
        got.append((const char *)buffer.data(), (size_t)copied);
        if (i > 100000) break;
    }
    return got;
}

TEST(RtfStream, RequestsOfOneByteOf4095AndOfMoreThanRemainsGiveTheWholeTextOnce) {
    std::string text(5000, 'x');
    for (size_t i = 0; i < text.size(); i++) text[i] = (char)('a' + i % 26);
    RtfStreamState state = {text.c_str(), 0, (DWORD)text.size()};
    std::vector<LONG> counts;
    // 1 byte, then 4095, then more than remains, then the end.
    std::string got = ReadWholeStream(state, {1, 4095, 8000}, &counts);
    EXPECT_EQ(text, got);
    EXPECT_EQ((std::vector<LONG>{1, 4095, 904, 0}), counts);
    EXPECT_EQ(5000u, state.position);
    EXPECT_EQ(0u, state.remaining);
    // Once the end is reached, every further request reports 0 bytes.
    LONG copied = -1;
    BYTE b = 0xDD;
    EXPECT_EQ(0u, ReadRtfStream((DWORD_PTR)&state, &b, 1, &copied));
    EXPECT_EQ(0, copied);
    EXPECT_EQ(0xDD, b);
}

TEST(RtfStream, OneByteRequestsAndAnEmptyText) {
    const char text[] = "{\\rtf1 a}";
    RtfStreamState state = {text, 0, (DWORD)strlen(text)};
    std::vector<LONG> counts;
    EXPECT_EQ(text, ReadWholeStream(state, {1}, &counts));
    EXPECT_EQ(strlen(text) + 1, counts.size());
    RtfStreamState empty = {text, 0, 0};
    counts.clear();
    EXPECT_EQ("", ReadWholeStream(empty, {4095}, &counts));
    EXPECT_EQ((std::vector<LONG>{0}), counts);
}

TEST(RtfStream, TheClosingBraceIsAppendedOnce) {
    ResetCopyLog();
    g_runConf = 0x1;
    CopyLogRecord("a{b}.txt", "コピーしました。", 1);
    DWORD open = g_copyLog.length;
    ASSERT_NE('}', g_copyLog.text[open - 1]) << "an open document never ends in a brace";
    CloseRtfDocument(&g_copyLog);
    EXPECT_EQ(open + 1, g_copyLog.length);
    EXPECT_EQ(std::string("\\par\n}"), std::string(g_copyLog.text + open - 5, 6));
    EXPECT_EQ('\0', g_copyLog.text[open + 1]);
    // Showing the same document again adds nothing.
    CloseRtfDocument(&g_copyLog);
    EXPECT_EQ(open + 1, g_copyLog.length);
    RtfStreamState state = {g_copyLog.text, 0, g_copyLog.length};
    std::string got = ReadWholeStream(state, {4095}, nullptr);
    EXPECT_EQ(std::string(g_copyLog.text, g_copyLog.length), got);
    EXPECT_EQ(1u, (size_t)std::count(got.end() - 2, got.end(), '}'));
    // A document without records is the prologue and the brace.
    ResetMissingList();
    DWORD prologue = g_missingList.length;
    CloseRtfDocument(&g_missingList);
    EXPECT_EQ(prologue + 1, g_missingList.length);
    EXPECT_EQ("\\fs18 }", std::string(g_missingList.text + prologue - 6));
}

TEST(RtfStream, AFullLogDocumentKeepsRoomForTheBraceAndEndsWithTheLastRecordThatFit) {
    ResetCopyLog();
    g_runConf = 0x1;
    std::string name(200, 'n');
    int written = 0;
    DWORD before = 0;
    while (!g_copyLog.full) {
        before = g_copyLog.length;
        std::string numbered = name + std::to_string(written);
        CopyLogRecord(numbered.c_str(), "コピーしました。", 1);
        if (!g_copyLog.full) written++;
    }
    EXPECT_EQ(before, g_copyLog.length) << "the record that did not fit left nothing";
    // One record over: the next ones are lost too.
    CopyLogRecord("later", "コピーしました。", 1);
    EXPECT_EQ(before, g_copyLog.length);
    CloseRtfDocument(&g_copyLog);
    ASSERT_LT(g_copyLog.length, LOG_DOCUMENT_CAPACITY);
    EXPECT_EQ('}', g_copyLog.text[g_copyLog.length - 1]);
    EXPECT_EQ('\0', g_copyLog.text[g_copyLog.length]);
    std::string last = name + std::to_string(written - 1) + " コピーしました。\r\\par\n}";
    EXPECT_EQ(last, std::string(g_copyLog.text + g_copyLog.length - last.size()));
}

// ---- the frame ----

struct SizingCase {
    int edge;
    LONG in[4];
    LONG out[4];
};

TEST(ViewerFrame, TheDraggedEdgeKeeps400By300) {
    const SizingCase cases[] = {
        // big enough: unchanged, whatever the edge
        {WMSZ_BOTTOMRIGHT, {10, 20, 410, 320}, {10, 20, 410, 320}},
        {WMSZ_LEFT, {10, 20, 900, 700}, {10, 20, 900, 700}},
        // one edge at a time
        {WMSZ_LEFT, {100, 20, 450, 700}, {50, 20, 450, 700}},
        {WMSZ_RIGHT, {100, 20, 450, 700}, {100, 20, 500, 700}},
        {WMSZ_TOP, {10, 100, 900, 250}, {10, -50, 900, 250}},
        {WMSZ_BOTTOM, {10, 100, 900, 250}, {10, 100, 900, 400}},
        // a side edge never moves the height, nor a top or bottom edge the width
        {WMSZ_LEFT, {100, 100, 200, 150}, {-200, 100, 200, 150}},
        {WMSZ_BOTTOM, {100, 100, 200, 150}, {100, 100, 200, 400}},
        // corners apply both of their edges
        {WMSZ_TOPLEFT, {100, 100, 200, 150}, {-200, -150, 200, 150}},
        {WMSZ_TOPRIGHT, {100, 100, 200, 150}, {100, -150, 500, 150}},
        {WMSZ_BOTTOMLEFT, {100, 100, 200, 150}, {-200, 100, 200, 400}},
        {WMSZ_BOTTOMRIGHT, {100, 100, 200, 150}, {100, 100, 500, 400}},
        {WMSZ_BOTTOMRIGHT, {0, 0, 399, 299}, {0, 0, 400, 300}},
        {WMSZ_BOTTOMRIGHT, {0, 0, 400, 299}, {0, 0, 400, 300}},
    };
    for (const SizingCase &c : cases) {
        SCOPED_TRACE("edge " + std::to_string(c.edge) + " from " + std::to_string(c.in[0]) + "," +
                     std::to_string(c.in[1]) + "," + std::to_string(c.in[2]) + "," + std::to_string(c.in[3]));
        LONG r[4] = {c.in[0], c.in[1], c.in[2], c.in[3]};
        KeepViewerMinimumSize(c.edge, r[0], r[1], r[2], r[3]);
        EXPECT_EQ(c.out[0], r[0]);
        EXPECT_EQ(c.out[1], r[1]);
        EXPECT_EQ(c.out[2], r[2]);
        EXPECT_EQ(c.out[3], r[3]);
    }
}

// ---- the batch text ----

static const std::string HEADER = "REM KESTREL Delete Destination BAT File\n\nsetlocal DisableDelayedExpansion\n";

// The batch text for `text`, or "<0x8000000N>" when it is refused; *counts what it deletes and
// leaves out.
static std::string Batch(const std::string &text, BatchCounts *counts = nullptr) {
    size_t size = 12345;
    int measured = ComposeDeleteBatch(text.data(), text.size(), nullptr, &size, counts);
    if (measured != 0) {
        EXPECT_EQ(0u, size);
        char code[16];
        snprintf(code, sizeof code, "<%#x>", (unsigned)measured);
        return code;
    }
    std::string out(size + 8, '\xdd');
    size_t again = 0;
    EXPECT_EQ(0, ComposeDeleteBatch(text.data(), text.size(), &out[0], &again, nullptr));
    EXPECT_EQ(size, again);
    EXPECT_EQ(std::string(8, '\xdd'), out.substr(size)) << "wrote past the measured size";
    return out.substr(0, size);
}

TEST(DeleteBatch, GoldenBytesForAFolderWithTwoFiles) {
    EXPECT_EQ(HEADER +
                  "del /F /A \"E:\\BACKUP\\Data\\old.txt\"\n"
                  "del /F /A \"E:\\BACKUP\\Data\\Sub\\x.txt\"\n"
                  "attrib -H -S -R \"E:\\BACKUP\\Data\\Sub\"\nrmdir \"E:\\BACKUP\\Data\\Sub\"\n",
              Batch("F E:\\BACKUP\\Data\\old.txt\r\nF E:\\BACKUP\\Data\\Sub\\x.txt\r\nD E:\\BACKUP\\Data\\Sub\r\n"));
    // An empty list is the header alone.
    EXPECT_EQ(HEADER, Batch(""));
    EXPECT_EQ(HEADER, Batch("\r\n"));
}

struct BatchCase {
    const char *why;
    const char *text;
    const char *lines; // the batch lines after the header
};

TEST(DeleteBatch, NamesAreWrittenSoThatCmdTakesThemAsTheyAre) {
    const BatchCase cases[] = {
        {"percent doubled", "F E:\\BAK\\50%.txt", "del /F /A \"E:\\BAK\\50%%.txt\"\n"},
        {"variable-like name", "F E:\\BAK\\%PATH%.txt", "del /F /A \"E:\\BAK\\%%PATH%%.txt\"\n"},
        {"percent in a folder", "D E:\\BAK\\%1%~", "attrib -H -S -R \"E:\\BAK\\%%1%%~\"\nrmdir \"E:\\BAK\\%%1%%~\"\n"},
        {"exclamation marks as they are", "F E:\\BAK\\a!b!.txt", "del /F /A \"E:\\BAK\\a!b!.txt\"\n"},
        {"ampersand, caret, parentheses", "F E:\\BAK\\a&b^c(d).txt", "del /F /A \"E:\\BAK\\a&b^c(d).txt\"\n"},
        {"spaces", "F E:\\My Files\\a b.txt", "del /F /A \"E:\\My Files\\a b.txt\"\n"},
        {"trail byte 0x5C", "F E:\\BAK\\\x83\x5C\\\x83\x5C.txt", "del /F /A \"E:\\BAK\\\x83\x5C\\\x83\x5C.txt\"\n"},
        {"double-byte name", "D E:\\BAK\\漢字フォルダ", "attrib -H -S -R \"E:\\BAK\\漢字フォルダ\"\nrmdir \"E:\\BAK\\漢字フォルダ\"\n"},
        {"lead byte without a trail byte, then a percent", "F E:\\BAK\\\x81%", "del /F /A \"E:\\BAK\\\x81%%\"\n"},
        {"half-width katakana are single bytes", "F E:\\BAK\\ｶﾅ%.txt", "del /F /A \"E:\\BAK\\ｶﾅ%%.txt\"\n"},
        {"a network path", "F \\\\SERVER\\SHARE\\x.txt", "del /F /A \"\\\\SERVER\\SHARE\\x.txt\"\n"},
    };
    for (const BatchCase &c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(HEADER + c.lines, Batch(c.text));
    }
}

TEST(DeleteBatch, TheLineWalkNeverReadsPastTheEndAndKeepsEveryFirstByte) {
    const BatchCase cases[] = {
        {"text ending in a bare CR", "F E:\\a\\x.txt\r", "del /F /A \"E:\\a\\x.txt\"\n"},
        {"paragraphs ending in CR alone", "F E:\\a\\x\rF E:\\a\\y\rD E:\\a",
         "del /F /A \"E:\\a\\x\"\ndel /F /A \"E:\\a\\y\"\nattrib -H -S -R \"E:\\a\"\nrmdir \"E:\\a\"\n"},
        {"lines ending in LF alone", "F E:\\a\\x\nD E:\\a\n", "del /F /A \"E:\\a\\x\"\nattrib -H -S -R \"E:\\a\"\nrmdir \"E:\\a\"\n"},
        {"the last line without an end", "F E:\\a\\x\r\nF E:\\a\\y", "del /F /A \"E:\\a\\x\"\ndel /F /A \"E:\\a\\y\"\n"},
        {"empty last line and empty lines between", "\r\n\r\nF E:\\a\\x\r\n\r\n", "del /F /A \"E:\\a\\x\"\n"},
        {"short lines", "D\r\nF\r\nD \r\nF \r\nD\rF", ""},
        {"no space after the kind", "DE:\\a\r\nFE:\\a\\x\r\n", ""},
        {"other first bytes", "X E:\\a\r\nd E:\\a\r\n f E:\\a\r\nE:\\a\r\n", ""},
    };
    for (const BatchCase &c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(HEADER + c.lines, Batch(c.text));
    }
    // Each line is taken by its length: a text that is not terminated is read only as far as the
    // length given.
    const char unterminated[] = {'F', ' ', 'E', ':', '\\', 'x', 'y', 'Z', 'Z'};
    size_t size = 0;
    ASSERT_EQ(0, ComposeDeleteBatch(unterminated, 7, nullptr, &size, nullptr));
    std::string out(size, '\0');
    ASSERT_EQ(0, ComposeDeleteBatch(unterminated, 7, &out[0], &size, nullptr));
    EXPECT_EQ(HEADER + "del /F /A \"E:\\xy\"\n", out);
}

TEST(DeleteBatch, NamesThatAreNotFullPathsRefuseTheBatch) {
    const BatchCase cases[] = {
        {"relative to the current folder", "F BAK\\x.txt", "<0x80000001>"},
        {"relative to the current drive", "F \\BAK\\x.txt", "<0x80000001>"},
        {"relative to a drive's folder", "F E:BAK\\x.txt", "<0x80000001>"},
        {"dot-relative", "D .\\BAK", "<0x80000001>"},
        {"a root itself", "D E:\\", "<0x80000001>"},
        {"a share itself", "F \\\\SERVER\\SHARE", "<0x80000001>"},
        {"a share's root", "F \\\\SERVER\\SHARE\\", "<0x80000001>"},
        {"no server", "F \\\\\\SHARE\\x", "<0x80000001>"},
        {"one bad line among good ones", "F E:\\a\\x\r\nF a\\y\r\nD E:\\a\r\n", "<0x80000001>"},
    };
    for (const BatchCase &c : cases) {
        SCOPED_TRACE(c.why);
        BatchCounts counts = {77, 77};
        EXPECT_EQ(c.lines, Batch(c.text, &counts));
        EXPECT_EQ(0u, counts.deleted);
        EXPECT_EQ(0u, counts.leftOut);
    }
    // Lines that are skipped are not judged.
    EXPECT_EQ(HEADER, Batch("X relative\\path\r\nlog line\r\n"));
}

// A name cmd.exe would take for a wildcard or another entry is left out, and only it: a remark
// that names nothing stands in its place (cmd.exe expands "%" even in a remark, and a caret at
// its end would carry it over the next line).
TEST(DeleteBatch, NamesThatCmdWouldMisreadAreLeftOutAndCounted) {
    // "F E:\\" and kanji up to `units` UTF-16 units in all.
    auto PATH_OF = [](size_t units) {
        std::string line = "F E:\\";
        for (size_t i = 3; i < units; i++) line += "漢";
        return line;
    };
    const std::string REM = "REM left out: a listed name that this batch file cannot delete safely\n";
    const struct {
        const char *why;
        std::string text;
        std::string lines;
        unsigned leftOut, deleted = 0;
    } cases[] = {
        {"question mark", "F E:\\a\\b?.txt", REM, 1},
        {"star", "F E:\\a\\*", REM, 1},
        {"trailing dot", "F E:\\a\\b.", REM, 1},
        {"trailing space", "F E:\\a\\b ", REM, 1},
        {"folder part ending in a dot", "F E:\\a.\\b", REM, 1},
        {"folder part ending in a space", "F E:\\a \\b", REM, 1},
        {"parent reference", "D E:\\a\\..\\b", REM, 1},
        {"a percent and a caret are not copied into the remark", "F E:\\a\\%~x^?", REM, 1},
        {"a character code page 932 lacks", "F E:\\a\\caf\x01\\u233?.txt", REM, 1},
        {"a path of 260 units (kanji are one unit each)", PATH_OF(260), REM, 1},
        {"a path of 259 units", PATH_OF(259), "del /F /A \"" + std::string(PATH_OF(259)).substr(2) + "\"\n", 0, 1},
        // The folder that keeps them cannot be removed: its line is left out too, not the one of
        // a folder whose name only begins the same way.
        {"among names that are written",
         "F E:\\a\\x\r\nF E:\\a\\b?\r\nF E:\\a\\y.\r\nD E:\\a\\c.\r\nD E:\\a\r\nF E:\\ab\\z\r\nD E:\\ab\r\n",
         "del /F /A \"E:\\a\\x\"\n" + REM + REM + REM + REM +
             "del /F /A \"E:\\ab\\z\"\nattrib -H -S -R \"E:\\ab\"\nrmdir \"E:\\ab\"\n",
         4, 3},
        {"a name left out in a folder whose name begins with the other's", "F X:\\AB\\c.\r\nD X:\\A\r\n",
         REM + "attrib -H -S -R \"X:\\A\"\nrmdir \"X:\\A\"\n", 1, 1},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.why);
        BatchCounts counts = {77, 77};
        EXPECT_EQ(HEADER + c.lines, Batch(c.text.c_str(), &counts));
        EXPECT_EQ(c.leftOut, counts.leftOut);
        EXPECT_EQ(c.deleted, counts.deleted) << "files and folders the batch deletes";
    }
}

// ---- writing the batch file (the host build's scripted desktop and recorded boxes) ----

#ifdef KESTREL_SIM
class DeleteBatchFile : public PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        ResetMessageBoxRecord();
        ResetFolderPickerScript();
        g_missingWholeFolder[0] = '\0'; // no run's list: no question
        desktop = root + "Desktop";
        ASSERT_TRUE(CreateDirectoryA(desktop.c_str(), nullptr));
        SetSpecialFolderPath(CSIDL_DESKTOP, desktop.c_str());
        batch = desktop + "\\DelDest.bat";
    }
    void TearDown() override {
        ResetFolderPickerScript();
        PlatformTest::TearDown();
    }
    // The boxes shown on the viewer since the last call, each "<caption> <text>": a warning, the
    // question (caption "Warning?", the buttons はい and いいえ with the focus on いいえ) or the
    // information after writing.
    std::vector<std::string> Boxes() {
        std::vector<std::string> texts;
        for (auto &box : RecordedMessageBoxes()) {
            bool question = box.type == (MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2);
            EXPECT_TRUE(box.type == (box.caption == "Warning" ? 0x30u : 0x40u) || (question && box.caption == "Warning"))
                << box.caption << " " << box.type;
            EXPECT_EQ(owner, box.owner);
            texts.push_back(box.caption + (question ? "? " : " ") + box.text);
        }
        ResetMessageBoxRecord();
        return texts;
    }
    std::vector<std::string> Only(const char *warning) { return std::vector<std::string>{std::string("Warning ") + warning}; }
    // The information after writing: the count of entries the batch deletes and, when there
    // are any, the count of those left out.
    static std::string Information(const char *deleted, const char *leftOut = nullptr) {
        std::string text = std::string("Information デスクトップに DelDest.bat を作成しました。\n"
                                       "このバッチファイルはフォルダとファイルを ") + deleted + " 件削除します。";
        if (leftOut) text += std::string("\nバッチファイルで扱えない名前やパスの ") + leftOut + " 件は含めていません。";
        return text;
    }
    HWND owner = (HWND)0x1234;
    std::string desktop, batch;
};

static const char LIST[] = "F E:\\BAK\\Data\\old.txt\r\nD E:\\BAK\\Data\r\n";
// The file as written: every line ends in CR LF.
static const std::string LIST_BATCH = "REM KESTREL Delete Destination BAT File\r\n\r\nsetlocal DisableDelayedExpansion\r\n"
                                      "del /F /A \"E:\\BAK\\Data\\old.txt\"\r\nattrib -H -S -R \"E:\\BAK\\Data\"\r\nrmdir \"E:\\BAK\\Data\"\r\n";

TEST_F(DeleteBatchFile, WrittenOnTheDesktopAnnouncedAndNeverOverwritten) {
    EXPECT_EQ(1, WriteDeleteBatch(owner, LIST));
    EXPECT_EQ(std::vector<std::string>{Information("2")}, Boxes());
    EXPECT_EQ(LIST_BATCH, ReadWholeFile(batch));
    // The second attempt from the same viewer leaves the first file as it was.
    EXPECT_EQ(0, WriteDeleteBatch(owner, "F E:\\other.txt\r\n"));
    EXPECT_EQ(Only("同名のバッチファイルが存在します。"), Boxes());
    EXPECT_EQ(LIST_BATCH, ReadWholeFile(batch));
    // A folder of that name counts as well.
    ASSERT_TRUE(DeleteFileA(batch.c_str()));
    ASSERT_TRUE(CreateDirectoryA(batch.c_str(), nullptr));
    EXPECT_EQ(0, WriteDeleteBatch(owner, LIST));
    EXPECT_EQ(Only("同名のバッチファイルが存在します。"), Boxes());
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesA(batch.c_str()));
}

TEST_F(DeleteBatchFile, EntriesLeftOutAreCountedAfterTheRestIsWritten) {
    static const char TEXT[] = "F E:\\BAK\\Data\\old.txt\r\nF E:\\BAK\\Data\\b?.txt\r\n"
                               "F E:\\BAK\\Data\\dot.\r\nD E:\\BAK\\Data\r\n";
    static const char REM[] = "REM left out: a listed name that this batch file cannot delete safely\r\n";
    EXPECT_EQ(1, WriteDeleteBatch(owner, TEXT));
    // The folder that keeps the two is left out with them.
    EXPECT_EQ(std::vector<std::string>{Information("1", "3")}, Boxes());
    EXPECT_EQ("REM KESTREL Delete Destination BAT File\r\n\r\nsetlocal DisableDelayedExpansion\r\n"
              "del /F /A \"E:\\BAK\\Data\\old.txt\"\r\n" +
                  std::string(REM) + REM + REM,
              ReadWholeFile(batch));
    // A file that could not be written is all the user hears of.
    ASSERT_TRUE(DeleteFileA(batch.c_str()));
    SimInjectFault("WriteFile", batch.c_str(), ERROR_DISK_FULL);
    EXPECT_EQ(0, WriteDeleteBatch(owner, TEXT));
    EXPECT_EQ(Only("バッチファイルを書き込めません。"), Boxes());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(batch.c_str()));
    // No memory to compose it, in either pass: the same, and nothing written.
    for (int n : {1, 2, 3}) {
        SimInjectFault("LocalAlloc", nullptr, ERROR_NOT_ENOUGH_MEMORY, SIM_FAULT_NTH, n);
        EXPECT_EQ(0, WriteDeleteBatch(owner, TEXT)) << n;
        EXPECT_EQ(Only("バッチファイルを書き込めません。"), Boxes()) << n;
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(batch.c_str())) << n;
        SimClearFaults();
    }
}

// When the list offers everything a source's destination folder holds, the batch file is written
// only after "はい" in the question; what was written is told in one information box.
TEST_F(DeleteBatchFile, TheQuestionBeforeAndTheInformationAfterWriting) {
    const std::string question = "Warning? コピー先の E:\\BAK\\Data の中身がすべて削除の対象になっています。\n"
                                 "コピー元のフォルダが空か、ドライブが接続されていない可能性があります。\n"
                                 "バッチファイルを作成しますか？";
    std::string many;
    for (int i = 0; i < 1234; i++) many += "F E:\\BAK\\Data\\f" + std::to_string(i) + "\r\n";
    const struct {
        const char *why, *wholeFolder;
        std::string list;
        int answer; // chosen for the question; 0: none, as Enter on the focused button
        std::vector<std::string> boxes;
    } rows[] = {
        {"no whole folder: no question", "", LIST, 0, {Information("2")}},
        {"はい", "E:\\BAK\\Data", LIST, IDYES, {question, Information("2")}},
        {"いいえ", "E:\\BAK\\Data", LIST, IDNO, {question}},
        {"Enter or Space: いいえ has the focus", "E:\\BAK\\Data", LIST, 0, {question}},
        {"Escape", "E:\\BAK\\Data", LIST, IDCANCEL, {question}},
        {"the question cannot be shown", "E:\\BAK\\Data", LIST, -1, {question}},
        {"counts grouped by thousands", "", many, 0, {Information("1,234")}},
        {"entries left out: a third line", "", "F E:\\BAK\\a?\r\nF E:\\BAK\\b\r\n", 0, {Information("1", "1")}},
        {"nothing but left-out entries", "", "F E:\\BAK\\a?\r\n", 0, {Information("0", "1")}},
    };
    for (auto &row : rows) {
        SCOPED_TRACE(row.why);
        DeleteFileA(batch.c_str());
        strcpy(g_missingWholeFolder, row.wholeFolder);
        if (row.answer) ChooseMessageBoxResult(row.answer);
        bool written = row.boxes.back().rfind("Information", 0) == 0;
        EXPECT_EQ(written ? 1 : 0, WriteDeleteBatch(owner, row.list.c_str()));
        EXPECT_EQ(row.boxes, Boxes());
        EXPECT_EQ(written, GetFileAttributesA(batch.c_str()) != INVALID_FILE_ATTRIBUTES) << "anything but はい writes nothing";
    }
    g_missingWholeFolder[0] = '\0';
}

TEST_F(DeleteBatchFile, AFileThatAppearsBetweenTheTestAndTheCreateIsNotOverwritten) {
    ASSERT_TRUE(WriteWholeFile(batch, "someone else's"));
    // The existence test misses it, as if it came just after the test.
    SimInjectFault("GetFileAttributesA", batch.c_str(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(0, WriteDeleteBatch(owner, LIST));
    EXPECT_EQ(1, SimFaultsFired());
    EXPECT_EQ(Only("同名のバッチファイルが存在します。"), Boxes());
    EXPECT_EQ("someone else's", ReadWholeFile(batch));
}

TEST_F(DeleteBatchFile, AFailedWriteOrCloseLeavesNoPartialFile) {
    const char *const ops[] = {"WriteFile", "CloseHandle"};
    for (const char *op : ops) {
        SCOPED_TRACE(op);
        SimInjectFault(op, batch.c_str(), ERROR_DISK_FULL);
        EXPECT_EQ(0, WriteDeleteBatch(owner, LIST));
        EXPECT_EQ(Only("バッチファイルを書き込めません。"), Boxes());
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(batch.c_str())) << "the partial file stayed";
        SimClearFaults();
        // The user can try again from the same viewer.
        EXPECT_EQ(1, WriteDeleteBatch(owner, LIST));
        EXPECT_EQ(std::vector<std::string>{Information("2")}, Boxes());
        EXPECT_EQ(LIST_BATCH, ReadWholeFile(batch));
        ASSERT_TRUE(DeleteFileA(batch.c_str()));
    }
    // A write that reports success with fewer bytes than it was given (none, or a cut line).
    for (DWORD bytes : {0u, 30u}) {
        SCOPED_TRACE(bytes);
        SimInjectShortWrite(batch.c_str(), bytes);
        EXPECT_EQ(0, WriteDeleteBatch(owner, LIST));
        EXPECT_EQ(Only("バッチファイルを書き込めません。"), Boxes());
        EXPECT_EQ(1, SimFaultsFired());
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(batch.c_str())) << "the partial file stayed";
        SimClearFaults();
    }
    // When even the partial file cannot be deleted, the user is told to delete it unrun.
    SimInjectFault("WriteFile", batch.c_str(), ERROR_DISK_FULL);
    SimInjectFault("DeleteFileA", batch.c_str(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, WriteDeleteBatch(owner, LIST));
    EXPECT_EQ(Only("バッチファイルを書き込めません。\n書きかけのDelDest.batが残っています。実行せずに削除してください。"),
              Boxes());
}

TEST_F(DeleteBatchFile, RefusalsComeInTheirOrder) {
    // 1. A list naming an entry without its full path: nothing is written, whatever the desktop.
    SetSpecialFolderPath(CSIDL_DESKTOP, nullptr);
    EXPECT_EQ(0, WriteDeleteBatch(owner, "F BAK\\old.txt\r\n"));
    EXPECT_EQ(Only("コピー先のフルパス名が分からないため、バッチファイルを作成できません。"), Boxes());
    // 2. No desktop folder: no file anywhere.
    EXPECT_EQ(0, WriteDeleteBatch(owner, LIST));
    EXPECT_EQ(Only("バッチファイルを開けません。"), Boxes());
    // 3. A desktop path of 241 bytes is too long, even when a DelDest.bat stands there; 240 is not.
    std::string base = root + "d";
    std::string longDesktop = base;
    while (longDesktop.size() < 241) longDesktop += longDesktop.size() % 60 == 7 ? '\\' : 'x';
    ASSERT_EQ(241u, longDesktop.size());
    ASSERT_EQ(longDesktop.back(), 'x');
    for (size_t at = base.size(); at <= longDesktop.size(); at++) {
        if (at == longDesktop.size() || longDesktop[at] == '\\') {
            ASSERT_TRUE(CreateDirectoryA(longDesktop.substr(0, at).c_str(), nullptr)) << at;
        }
    }
    ASSERT_TRUE(WriteWholeFile(longDesktop + "\\DelDest.bat", "old"));
    SetSpecialFolderPath(CSIDL_DESKTOP, longDesktop.c_str());
    EXPECT_EQ(0, WriteDeleteBatch(owner, LIST));
    EXPECT_EQ(Only("バッチファイルのフルパス名が長すぎます。"), Boxes());
    std::string desktop240 = longDesktop.substr(0, 240);
    ASSERT_TRUE(CreateDirectoryA(desktop240.c_str(), nullptr));
    SetSpecialFolderPath(CSIDL_DESKTOP, desktop240.c_str());
    EXPECT_EQ(1, WriteDeleteBatch(owner, LIST));
    EXPECT_EQ(std::vector<std::string>{Information("2")}, Boxes());
    EXPECT_EQ(LIST_BATCH, ReadWholeFile(desktop240 + "\\DelDest.bat"));
    // 4. Something of that name exists (step 3 left one).
    EXPECT_EQ(0, WriteDeleteBatch(owner, LIST));
    EXPECT_EQ(Only("同名のバッチファイルが存在します。"), Boxes());
    // 5. The file cannot be created: a desktop folder that is not there.
    SetSpecialFolderPath(CSIDL_DESKTOP, (root + "gone").c_str());
    EXPECT_EQ(0, WriteDeleteBatch(owner, LIST));
    EXPECT_EQ(Only("バッチファイルを開けません。"), Boxes());
}

// The batch is made from the list's own lines: a name with a character code page 932 lacks is
// left out (with the folder that holds it) and counted, never written as its look-alike.
TEST_F(DeleteBatchFile, TheViewersCommandWritesTheListsOwnLinesAndTheDocumentKeepsItsRtf) {
    ResetMissingList();
    MissingListLine(0, "F E:\\BAK\\Data\\old.txt");
    MissingListLine(0, "F E:\\BAK\\Data\\caf\x01\\u233?.txt");
    MissingListLine(1, "D E:\\BAK\\Data");
    const std::string document(g_missingList.text, g_missingList.length);
    EXPECT_EQ(1, MakeBatchFromList(owner));
    EXPECT_EQ(std::vector<std::string>{Information("1", "2")}, Boxes());
    const std::string LEFT_OUT = "REM left out: a listed name that this batch file cannot delete safely\r\n";
    EXPECT_EQ("REM KESTREL Delete Destination BAT File\r\n\r\nsetlocal DisableDelayedExpansion\r\n"
              "del /F /A \"E:\\BAK\\Data\\old.txt\"\r\n" + LEFT_OUT + LEFT_OUT,
              ReadWholeFile(batch));
    EXPECT_EQ(document, std::string(g_missingList.text, g_missingList.length)) << "the list can still be saved";
}

// A list that filled its document: the batch holds exactly the lines the document holds.
TEST_F(DeleteBatchFile, AFullListWritesTheLinesItsDocumentHolds) {
    ResetMissingList();
    std::string line = "F E:\\BAK\\" + std::string(200, 'k');
    size_t lines = 0;
    for (; !g_missingList.full; lines++) MissingListLine(0, (line + std::to_string(lines)).c_str());
    EXPECT_EQ(1, MakeBatchFromList(owner));
    std::string written = ReadWholeFile(batch);
    size_t deletes = 0;
    for (size_t at = 0; (at = written.find("del /F /A ", at)) != std::string::npos; at++) deletes++;
    EXPECT_EQ(lines - 1, deletes);
    EXPECT_NE(std::string::npos, written.find(line.substr(2) + std::to_string(lines - 2) + "\""));
}

// ---- saving a viewer's document ----

TEST_F(DeleteBatchFile, EachViewerSavesItsOwnRtfOnceUnderTheRunsStartAndLeavesNothingHalfWritten) {
    const SYSTEMTIME START = {2024, 3, 6, 9, 7, 5, 4, 321};
    SimSetLocalTime(&START);
    MarkRunStart();
    ResetCopyLog();
    ResetMissingList();
    g_runConf = 0x1;
    CopyLogRecord("a{b}.txt", "コピーしました。", 1);
    CopyLogSummary(false);
    MissingListLine(1, "D E:\\BAK\\Data");
    const struct {
        ViewerKind kind;
        const LogDocument *document;
        const char *name;
    } rows[] = {{VIEWER_LOG, &g_copyLog, "KestrelLog-20240309-070504.rtf"},
                {VIEWER_MISSING, &g_missingList, "KestrelMissing-20240309-070504.rtf"}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        std::string path = desktop + "\\" + row.name;
        // A write that takes part of the document: the user is told, and no part stays.
        SimInjectShortWrite(path.c_str(), 100);
        EXPECT_EQ(0, SaveViewerDocument(owner, row.kind));
        EXPECT_EQ(Only("ファイルを保存できません。"), Boxes());
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
        SimClearFaults();
        // Written: the program's own document, closed with its brace, byte for byte.
        EXPECT_EQ(1, SaveViewerDocument(owner, row.kind));
        EXPECT_EQ(std::vector<std::string>{std::string("Information デスクトップに保存しました。\n") + row.name}, Boxes());
        std::string written = ReadWholeFile(path);
        EXPECT_EQ(std::string(row.document->text, row.document->length), written);
        EXPECT_EQ(0u, written.find("{\\rtf1\\ansi\\ansicpg932"));
        EXPECT_EQ("\\par\n}", written.substr(written.size() - 6));
        // Saved again for the same run: refused, and the first file stays as it was.
        ASSERT_TRUE(SetWriteTime(path, 1600000000));
        std::string snapshot = TreeSnapshot(desktop + "\\");
        EXPECT_EQ(0, SaveViewerDocument(owner, row.kind));
        EXPECT_EQ(Only("同名のファイルが存在します。"), Boxes());
        EXPECT_EQ(snapshot, TreeSnapshot(desktop + "\\"));
    }
    // A partial file that cannot be deleted is named; without a desktop nothing is written.
    std::string path = desktop + "\\" + rows[0].name;
    ASSERT_TRUE(DeleteFileA(path.c_str()));
    SimInjectFault("WriteFile", path.c_str(), ERROR_DISK_FULL);
    SimInjectFault("DeleteFileA", path.c_str(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, SaveViewerDocument(owner, VIEWER_LOG));
    EXPECT_EQ(Only("ファイルを保存できません。\n書きかけのKestrelLog-20240309-070504.rtfがデスクトップに残っています。削除してください。"),
              Boxes());
    SimClearFaults();
    SetSpecialFolderPath(CSIDL_DESKTOP, nullptr);
    EXPECT_EQ(0, SaveViewerDocument(owner, VIEWER_MISSING));
    EXPECT_EQ(Only("ファイルを保存できません。"), Boxes());
}

// ---- the viewers' warnings (recorded) ----

class Viewers : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetMessageBoxRecord();
        ResetViewerRecord();
        ResetCopyLog();
        ResetMissingList();
    }
};

TEST_F(Viewers, AFullDocumentIsWarnedOnceBeforeItsViewerOpens) {
    HWND owner = (HWND)0x4321;
    int missingBefore = g_missingViewerShown, logBefore = g_logViewerShown;
    g_missingList.full = 1;
    g_copyLog.full = 1;
    ShowMissingViewer(owner);
    ShowLogViewer(owner);
    auto boxes = RecordedMessageBoxes();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("コピー元に無いファイルが多すぎて全部表示できません。", boxes[0].text);
    EXPECT_EQ("ログが多すぎて全部表示できません。", boxes[1].text);
    for (auto &box : boxes) {
        EXPECT_EQ("Warning", box.caption);
        EXPECT_EQ(owner, box.owner);
    }
    auto viewers = RecordedViewers();
    ASSERT_EQ(2u, viewers.size());
    EXPECT_EQ(VIEWER_MISSING, viewers[0].kind);
    EXPECT_EQ(1u, viewers[0].boxesBefore) << "the warning comes before its viewer";
    EXPECT_EQ(VIEWER_LOG, viewers[1].kind);
    EXPECT_EQ(2u, viewers[1].boxesBefore);
    EXPECT_EQ(owner, viewers[1].owner);
    EXPECT_EQ(missingBefore + 1, g_missingViewerShown.load());
    EXPECT_EQ(logBefore + 1, g_logViewerShown.load());
}

TEST_F(Viewers, DocumentsThatFitOpenWithoutAWordAndAreClosedWithTheirBrace) {
    ShowLogViewer(nullptr);
    EXPECT_EQ(0u, RecordedMessageBoxCount());
    ASSERT_EQ(1u, RecordedViewers().size());
    EXPECT_EQ('}', g_copyLog.text[g_copyLog.length - 1]);
}
#endif
