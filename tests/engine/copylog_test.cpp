// The log and missing-files documents: prologue, level filter, record formats and colours, the
// summary record, RTF escaping of code page 932 text, the full flag, the reserve and the room rule.
#include "copyjob.h"
#include "copylog.h"
#include "log_lines.h"
#include "tree.h"
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>

static const char PROLOGUE_HEAD[] =
    "{\\rtf1\\ansi\\ansicpg932\\deff0\\deflang1033\\deflangfe1041{\\fonttbl{\\f0\\fmodern\\fprq1\\fcharset128 "
    "\\'82\\'6c\\'82\\'72 \\'83\\'53\\'83\\'56\\'83\\'62\\'83\\'4e;}}\n{\\colortbl ;";
static const char PROLOGUE_TAIL[] = "}\n\\viewkind4\\uc1\\pard\\cf0\\lang1041\\f0\\fs18 ";

static std::string LogText() { return std::string(g_copyLog.text, g_copyLog.length); }
static std::string MissingText() { return std::string(g_missingList.text, g_missingList.length); }

// The records after the prologue of a document.
static std::string Records(const LogDocument &doc) {
    std::string text(doc.text, doc.length);
    size_t at = text.find(PROLOGUE_TAIL);
    return at == std::string::npos ? "<no prologue>" : text.substr(at + strlen(PROLOGUE_TAIL));
}

class CopyLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_runConf = CONF_LOG_NOT_COPIED; // everything
        ResetCopyLog();
        ResetMissingList();
    }
    void TearDown() override { g_runConf = CONF_DEFAULT; }
};

TEST_F(CopyLogTest, PrologueByteForByte) {
    std::string text = LogText();
    ASSERT_EQ(strlen(g_copyLog.text), g_copyLog.length);
    ASSERT_EQ(0u, g_copyLog.full);
    ASSERT_EQ(0, text.compare(0, strlen(PROLOGUE_HEAD), PROLOGUE_HEAD));
    // The font name is "ＭＳ ゴシック" in code page 932 bytes.
    EXPECT_NE(std::string::npos, text.find("\\'82\\'6c\\'82\\'72 \\'83\\'53\\'83\\'56\\'83\\'62\\'83\\'4e;"));
    const char *s = "ＭＳ ゴシック";
    EXPECT_EQ(std::string("\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e"), s);
    size_t tail = text.size() - strlen(PROLOGUE_TAIL);
    ASSERT_EQ(PROLOGUE_TAIL, text.substr(tail));
    // The colour table: the empty automatic entry (index 0), then 63 entries.
    std::string table = text.substr(strlen(PROLOGUE_HEAD), tail - strlen(PROLOGUE_HEAD));
    std::vector<std::string> entries;
    for (size_t at = 0, semi; (semi = table.find(';', at)) != std::string::npos; at = semi + 1)
        entries.push_back(table.substr(at, semi - at));
    ASSERT_EQ(63u, entries.size());
    EXPECT_EQ("\\red0\\green0\\blue128", entries[0]);      // 1
    EXPECT_EQ("\\red0\\green0\\blue255", entries[3 - 1]);  // blue: done
    EXPECT_EQ("\\red0\\green128\\blue0", entries[4 - 1]);
    EXPECT_EQ("\\red128\\green128\\blue128", entries[21 - 1]);
    EXPECT_EQ("\\red192\\green192\\blue192", entries[42 - 1]);
    EXPECT_EQ("\\red255\\green0\\blue0", entries[48 - 1]);    // red: error
    EXPECT_EQ("\\red128\\green128\\blue0", entries[20 - 1]);  // olive: warning
    EXPECT_EQ("\\red255\\green255\\blue0", entries[60 - 1]);  // yellow: unreadable on the viewers' grey
    EXPECT_EQ("\\red255\\green255\\blue255", entries[63 - 1]);
    // Both documents start alike, and the prologue has no closing brace of the document.
    EXPECT_EQ(text, MissingText());
    int depth = 0;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\\') i++;
        else if (text[i] == '{') depth++;
        else if (text[i] == '}') depth--;
    }
    EXPECT_EQ(1, depth);
}

TEST_F(CopyLogTest, FormatsAndColoursOfTheFourLevelsAndTheSummary) {
    MarkRunStart();
    CopyLogRecord("a.txt", "m0", 0);
    CopyLogRecord("b.txt", "m1", 1);
    CopyLogRecord("c.txt", "m2", 2);
    CopyLogRecord("> >", "m3", 3);
    CopyLogSummary(false);
    EXPECT_EQ("\\cf0   a.txt m0\r\\par\n"
              "\\cf3 O b.txt m1\r\\par\n"
              "\\cf48 X c.txt m2\r\\par\n"
              "\\cf20 ! > > m3\r\\par\n"
              "\\cf0 ! > > コピー 0 件（0 バイト）、フォルダ作成 0 件、未コピー 1 件、エラー 1 件、警告 1 件、経過時間 0:00:00\r\\par\n",
              Records(g_copyLog));
    EXPECT_EQ(strlen(g_copyLog.text), g_copyLog.length);
}

TEST_F(CopyLogTest, LevelFilterByTheRunsConf) {
    struct Case {
        DWORD conf;
        const char *expected;
    } cases[] = {
        {0, "12"  "3"},   // errors and completed copies
        {1, "0123"},      // everything
        {4, "23"},        // errors only
        {5, "023"},       // errors and not-copied
        {0xA, "123"},     // bits 1 and 3 do not touch the filter
        {0xFFFFFFF4u, "23"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.conf);
        g_runConf = c.conf;
        ResetCopyLog();
        std::string prologue = LogText();
        for (unsigned level = 0; level <= 5; level++) {
            char name[2] = {(char)('0' + level), 0};
            CopyLogRecord(name, "m", level);
        }
        CopyLogRecord("x", "m", 0xFFFFFFFFu);
        std::string written;
        std::string records = Records(g_copyLog);
        for (size_t at = 0; (at = records.find(" m\r", at)) != std::string::npos; at++)
            written += records[at - 1];
        EXPECT_EQ(c.expected, written) << records;
    }
}

TEST_F(CopyLogTest, ErrorsOnlyLeavesOnlyThePrologueWhenEverythingIsCopied) {
    g_runConf = 4;
    ResetCopyLog();
    std::string prologue = LogText();
    for (int i = 0; i < 100; i++) CopyLogRecord("data\\file.txt", "コピーしました。", 1);
    CopyLogRecord("data", "すでに存在します。", 0);
    EXPECT_EQ(prologue, LogText());
}

TEST_F(CopyLogTest, BracesAndBackslashesOfNamesAreEscaped) {
    CopyLogRecord("dir\\sub\\a{b}.txt", "コピーしました。", 1);
    EXPECT_EQ("\\cf3 O dir\\\\sub\\\\a\\{b\\}.txt コピーしました。\r\\par\n", Records(g_copyLog));
}

TEST_F(CopyLogTest, TrailBytesAreWrittenAsHexEscapes) {
    // ソ 0x83 0x5C, ボ 0x83 0x7B, マ 0x83 0x7D, 表 0x95 0x5C: the second byte is a trail byte.
    CopyLogRecord("ソ\\ボマ表", "m", 2);
    EXPECT_EQ("\\cf48 X \x83\\'5c\\\\\x83\\'7b\x83\\'7d\x95\\'5c m\r\\par\n", Records(g_copyLog));
}

TEST_F(CopyLogTest, ByteClassesAreTrackedThroughTheWholeRecord) {
    // 0x81 0x81 is one character (its trail byte is in the lead range), so the 0x5C after it is a
    // single-byte backslash; half-width katakana 0xB1 is a single byte.
    CopyLogRecord("\x81\x81\\\xB1\\\xE0\x7B{", "\x83\x7D}", 2);
    EXPECT_EQ("\\cf48 X \x81\x81\\\\\xB1\\\\\xE0\\'7b\\{ \x83\\'7d\\}\r\\par\n", Records(g_copyLog));
}

TEST_F(CopyLogTest, LineFeedsBecomeParAndCarriageReturnsStay) {
    CopyLogRecord("a\nb", "c\rd", 3);
    EXPECT_EQ("\\cf20 ! a\\par\nb c\rd\r\\par\n", Records(g_copyLog));
    // A line feed that is a trail byte is not a line end.
    ResetCopyLog();
    CopyLogRecord("\x83\n", "m", 3);
    EXPECT_EQ("\\cf20 ! \x83\n m\r\\par\n", Records(g_copyLog));
}

TEST_F(CopyLogTest, MissingListLinesAndTheirColours) {
    MissingListLine(1, "D sub\\");
    MissingListLine(0, "F sub\\a{1}.txt");
    MissingListLine(7, "D ソ\\");
    EXPECT_EQ("\\cf3 D sub\\\\\r\\par\n"
              "\\cf0 F sub\\\\a\\{1\\}.txt\r\\par\n"
              "\\cf3 D \x83\\'5c\\\\\r\\par\n",
              Records(g_missingList));
    // The missing-files document takes every line whatever the run's CONF says.
    g_runConf = 4;
    MissingListLine(0, "F x");
    EXPECT_NE(std::string::npos, Records(g_missingList).find("\\cf0 F x\r\\par\n"));
    EXPECT_EQ(strlen(g_missingList.text), g_missingList.length);
    // and the log document is untouched.
    EXPECT_EQ("", Records(g_copyLog));
}

TEST_F(CopyLogTest, LongestNameAndMessageAreNeverCutNorOverrun) {
    // A relative path of 259 bytes (double-byte characters and separators included) with the
    // longest message gives a line of more than 300 bytes.
    std::string name;
    while (name.size() < 250) name += "フォルダ\\";
    while (name.size() < 259) name += "x";
    ASSERT_EQ(259u, name.size());
    const char *message = "コピー先に同名のフォルダがあるのでコピーできません。（属性未設定）";
    ASSERT_GT(2 + name.size() + 1 + strlen(message) + 2, 300u);
    CopyLogRecord(name.c_str(), message, 2);
    std::string escaped;
    for (char c : name) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    EXPECT_EQ("\\cf48 X " + escaped + " " + message + "\r\\par\n", Records(g_copyLog));
    // A source word as typed may be as long as the sources field: still whole.
    ResetCopyLog();
    std::string word(SOURCES_TEXT_LIMIT, 'w');
    CopyLogRecord(word.c_str(), message, 2);
    EXPECT_EQ("\\cf48 X " + word + " " + message + "\r\\par\n", Records(g_copyLog));
}

TEST_F(CopyLogTest, ALineLongerThanTheWorkAreaIsWholeOrWithoutMemoryCutAtACharacterBoundary) {
    // A deep path is composed whole, its units' escapes included.
    std::string deep(LOG_WORK_AREA, 'd');
    deep += "\\caf\x01\\u233?.txt";
    CopyLogRecord(deep.c_str(), "m", 2);
    EXPECT_EQ("\\cf48 X " + std::string(LOG_WORK_AREA, 'd') + "\\\\caf\\u233?.txt m\r\\par\n", Records(g_copyLog));
    // Without memory for it: cut, but never in the middle of a character, and the record still
    // ends its line. The double-byte characters start at an odd offset of the line ("X a") and
    // at an even one ("X ab"), so that the bytes before "\r\n" end once on a whole character and
    // once one byte short of one (which the separator then takes).
    SIMULATION_ONLY("Wine cannot refuse memory on demand");
    for (std::string prefix : {"a", "ab"}) {
        SCOPED_TRACE(prefix);
        ResetCopyLog();
        std::string name = prefix;
        while (name.size() < LOG_WORK_AREA + 100) name += "ソ";
#ifdef KESTREL_SIM
        SimInjectFault("LocalAlloc", nullptr, ERROR_NOT_ENOUGH_MEMORY);
#endif
        CopyLogRecord(name.c_str(), "m", 2);
        std::string records = Records(g_copyLog);
        std::string head = "\\cf48 X " + prefix;
        ASSERT_EQ(0, records.compare(0, head.size(), head));
        ASSERT_GE(records.size(), head.size() + 6);
        EXPECT_EQ("\r\\par\n", records.substr(records.size() - 6));
        // Every 0x83 is followed by its escaped trail byte: no lone lead byte before the line end.
        std::string body = records.substr(head.size(), records.size() - head.size() - 6);
        size_t room = LOG_WORK_AREA - 3 - 2 - prefix.size(); // before "\r\n" and the zero
        size_t characters = room / 2;
        std::string expected;
        for (size_t i = 0; i < characters; i++) expected += "\x83\\'5c";
        if (room % 2) expected += " "; // the byte left over takes the separator
        EXPECT_EQ(expected, body);
    }
}

TEST_F(CopyLogTest, AFullDocumentKeepsItsReserveForErrorsAndWarningsAndRoomForTheSummary) {
    std::string name(200, 'n');
    const size_t RECORD = 2 + name.size() + 1 + strlen("コピーしました。") + 2; // as composed
    DWORD records = 0, before = 0;
    while (g_copyLog.full == 0) {
        before = g_copyLog.length;
        CopyLogRecord(name.c_str(), "コピーしました。", 1);
        if (g_copyLog.full == 0) records++;
        ASSERT_LT(records, 100000u);
    }
    EXPECT_EQ(before, g_copyLog.length); // the record that did not fit left nothing behind
    EXPECT_EQ(strlen(g_copyLog.text), g_copyLog.length);
    // Ordinary records fill the document up to its last 1 MiB.
    EXPECT_EQ(0x100000u, LOG_RESERVE);
    EXPECT_LE(g_copyLog.length, LOG_DOCUMENT_CAPACITY - LOG_RESERVE);
    EXPECT_GT(g_copyLog.length + 2 * RECORD + 17, LOG_DOCUMENT_CAPACITY - LOG_RESERVE);
    // Later ordinary records are lost, however small; errors and warnings go on.
    CopyLogRecord("x", "m", 0);
    CopyLogRecord("x", "m", 1);
    EXPECT_EQ(before, g_copyLog.length);
    CopyLogRecord("e", "m", 2);
    CopyLogRecord("w", "m", 3);
    EXPECT_EQ("\\cf48 X e m\r\\par\n\\cf20 ! w m\r\\par\n", std::string(g_copyLog.text + before));
    // ... until the reserve is full, but for the summary's room: about 4,500 such errors.
    DWORD errors = 0, kept;
    do {
        kept = g_copyLog.length;
        CopyLogRecord(name.c_str(), "コピーしました。", 2);
    } while (g_copyLog.length != kept && ++errors < 100000u);
    EXPECT_GT(errors, (LOG_RESERVE - LOG_SUMMARY_ROOM) / (RECORD + 10) - 3); // "\cf48 " and "\par"
    EXPECT_LE(g_copyLog.length, LOG_DOCUMENT_CAPACITY - LOG_SUMMARY_ROOM);
    EXPECT_GT(g_copyLog.length + 2 * RECORD + 17, LOG_DOCUMENT_CAPACITY - LOG_SUMMARY_ROOM);
    CopyLogRecord("x", "m", 3);
    EXPECT_EQ(kept, g_copyLog.length) << "the reserve is full: warnings are lost too";
    // The longest summary there is passes the room test of its room.
    char longest[512];
    RunCounts most = {0xFFFFFFFFu, ~0ull, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
    size_t n = strlen("! > > ") + FormatRunSummary(longest, sizeof longest, most, 0xFFFFFFFFu, true) + 2;
    EXPECT_LE(2 * n + 17, LOG_SUMMARY_ROOM);
    // Every record was counted, whether it was kept or lost.
    RunCounts counts = CurrentRunCounts();
    EXPECT_EQ(records + 1, counts.copied);
    EXPECT_EQ(1u, counts.refused);
    EXPECT_EQ(errors + 2, counts.errors);
    EXPECT_EQ(2u, counts.warnings);
    // The summary is written last, and the viewer's brace still fits after it.
    CopyLogSummary(true);
    std::vector<std::string> lines = DocumentLines(g_copyLog);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(0u, lines.back().rfind(SUMMARY_HEAD, 0)) << lines.back();
    EXPECT_EQ("（確認のみ）", lines.back().substr(lines.back().size() - strlen("（確認のみ）")));
    EXPECT_LE(g_copyLog.length + 2, LOG_DOCUMENT_CAPACITY);
    EXPECT_EQ(1u, g_copyLog.full);
    // The missing-files document has its own flag.
    EXPECT_EQ(0u, g_missingList.full);
    ResetCopyLog();
    EXPECT_EQ(0u, g_copyLog.full);
    CopyLogRecord("x", "m", 2);
    EXPECT_EQ("\\cf48 X x m\r\\par\n", Records(g_copyLog));
}

TEST_F(CopyLogTest, MissingListFillsUpToItsOwnCapacity) {
    std::string text = "F " + std::string(150, 'f');
    DWORD lines = 0;
    while (g_missingList.full == 0) {
        MissingListLine(0, text.c_str());
        ASSERT_LT(++lines, 100000u);
    }
    // The earliest lines are kept; about 4 MiB of them.
    EXPECT_GT(g_missingList.length, MISSING_DOCUMENT_CAPACITY - 400);
    EXPECT_LE(g_missingList.length + 2, MISSING_DOCUMENT_CAPACITY);
    EXPECT_EQ(0u, g_copyLog.full);
    ResetMissingList();
    EXPECT_EQ(0u, g_missingList.full);
}

// ---- AppendRtfRecord on its own ----

struct Area {
    char bytes[256];
    Area() { memset(bytes, 0xDD, sizeof bytes); }
};

TEST(AppendRtfRecord, RoomTestOfTwiceTheTextAndSeventeen) {
    // "abc": n = 3, m = 0 → needs 2 × 3 + 17 = 23 bytes of room.
    Area a;
    a.bytes[0] = 0;
    EXPECT_EQ(0, AppendRtfRecord(a.bytes, 22, "abc", 3));
    EXPECT_EQ(0, a.bytes[0]);
    EXPECT_EQ((char)0xDD, a.bytes[1]); // nothing written
    EXPECT_EQ(1, AppendRtfRecord(a.bytes, 23, "abc", 3));
    EXPECT_STREQ("\\cf3 abc", a.bytes);
}

TEST(AppendRtfRecord, ExistingTextAtTheEndCountsAndIsKept) {
    Area a;
    strcpy(a.bytes, "0123456789"); // m = 10
    EXPECT_EQ(0, AppendRtfRecord(a.bytes, 10 + 6 + 17 - 1, "abc", 0));
    EXPECT_STREQ("0123456789", a.bytes);
    EXPECT_EQ(1, AppendRtfRecord(a.bytes, 10 + 6 + 17, "abc", 0));
    EXPECT_STREQ("0123456789\\cf0 abc", a.bytes);
}

TEST(AppendRtfRecord, EscapedTextTerminatorAndClosingBraceMustFit) {
    // Ten line feeds pass the room test at 2 × 10 + 17 = 37 bytes, but escape to 50 bytes:
    // "\cf0 " (5) + 50 + the terminator + the viewer's "}" = 57.
    std::string lf(10, '\n');
    Area a;
    a.bytes[0] = 0;
    EXPECT_EQ(0, AppendRtfRecord(a.bytes, 37, lf.c_str(), 0));
    EXPECT_EQ(0, AppendRtfRecord(a.bytes, 56, lf.c_str(), 0));
    EXPECT_EQ(0, a.bytes[0]);
    EXPECT_EQ((char)0xDD, a.bytes[1]);
    EXPECT_EQ(1, AppendRtfRecord(a.bytes, 57, lf.c_str(), 0));
    EXPECT_EQ(55u, strlen(a.bytes));
    // Trail bytes 0x5C grow fourfold: ten ソ (20 bytes) escape to 50.
    std::string so;
    for (int i = 0; i < 10; i++) so += "\x83\x5C";
    Area b;
    b.bytes[0] = 0;
    EXPECT_EQ(0, AppendRtfRecord(b.bytes, 56, so.c_str(), 60));
    EXPECT_EQ((char)0xDD, b.bytes[1]);
    EXPECT_EQ(1, AppendRtfRecord(b.bytes, 58, so.c_str(), 60)); // "\cf60 " is 6 bytes
    EXPECT_EQ(56u, strlen(b.bytes));
}

// The room at its exact boundary, for each byte that grows when escaped: as a trail byte (0x5C,
// 0x7B, 0x7D after the lead byte 0x81: "＼", "｛", "｝" grow from 2 to 5 bytes) and as a single
// byte ("\\", "{", "}" grow from 1 to 2, inside the room test of twice the text), and a unit's
// escape in a shown name. Each record is
// written into a buffer of exactly the room it is given, so a byte too many overruns it.
TEST(AppendRtfRecord, RoomAtItsExactBoundaryForEveryEscapedByte) {
    struct Row {
        std::string character;
        size_t fits; // the least room that takes ten of them with the colour word "\cf60 "
    };
    const Row rows[] = {
        {"\x81\x5C", 6 + 50 + 1 + 1}, {"\x81\x7B", 6 + 50 + 1 + 1}, {"\x81\x7D", 6 + 50 + 1 + 1},
        {"\\", 2 * 10 + 17},          {"{", 2 * 10 + 17},             {"}", 2 * 10 + 17},
        // A unit's escape after its marker (10 bytes, written as the 9 of "\u-10179?") counts in
        // the room test at its length; a marker without an escape is written "\'01".
        {"\x01\\u-10179?", 2 * 100 + 17}, {"\x01", 6 + 40 + 1 + 1},
    };
    for (const Row &row : rows) {
        std::string text;
        for (int i = 0; i < 10; i++) text += row.character;
        SCOPED_TRACE(text);
        for (size_t room : {row.fits - 1, row.fits}) {
            std::vector<char> buffer(room, (char)0xDD);
            buffer[0] = 0;
            EXPECT_EQ(room == row.fits ? 1 : 0, AppendRtfRecord(buffer.data(), (DWORD)room, text.c_str(), 60));
            if (room < row.fits) {
                EXPECT_EQ((char)0xDD, buffer[1]) << "nothing written";
            }
        }
    }
}

TEST(AppendRtfRecord, AnEmptyTextWritesTheColourWordAlone) {
    Area a;
    a.bytes[0] = 0;
    EXPECT_EQ(1, AppendRtfRecord(a.bytes, 17, "", 48));
    EXPECT_STREQ("\\cf48 ", a.bytes);
}
