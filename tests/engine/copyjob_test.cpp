// The option words, attribute categories, platform masks, defaults and selection.
#include "copyjob.h"
#include "patterns.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

// A word list split from a text that the holder keeps.
struct Patterns {
    std::vector<char> text;
    WordList list{0, nullptr};
    explicit Patterns(const char *t) : text(t, t + strlen(t) + 1) {
        EXPECT_EQ(0, SplitWords(text.data(), &list.count, &list.words)) << t;
    }
    ~Patterns() { ReleaseWordList(&list); }
};

TEST(AttributeCategory, FirstAttributeInTheFixedOrderDecides) {
    EXPECT_EQ(CATEGORY_SYSTEM, AttributeCategoryOf(FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ENCRYPTED));
    EXPECT_EQ(CATEGORY_ENCRYPTED, AttributeCategoryOf(FILE_ATTRIBUTE_ENCRYPTED | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(CATEGORY_HIDDEN, AttributeCategoryOf(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(CATEGORY_READONLY, AttributeCategoryOf(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_COMPRESSED));
    EXPECT_EQ(CATEGORY_COMPRESSED, AttributeCategoryOf(FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_TEMPORARY));
    EXPECT_EQ(CATEGORY_TEMPORARY, AttributeCategoryOf(FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED));
    EXPECT_EQ(CATEGORY_NOT_INDEXED, AttributeCategoryOf(FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(CATEGORY_ARCHIVE, AttributeCategoryOf(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(CATEGORY_NORMAL, AttributeCategoryOf(FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(CATEGORY_NORMAL, AttributeCategoryOf(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                                                   FILE_ATTRIBUTE_SPARSE_FILE | FILE_ATTRIBUTE_OFFLINE));
}

TEST(ModeWord, CategoryBitsOfTheThreeGroups) {
    // Bits 0–8 files, 9–17 folders, 18–26 overwriting, in category order.
    EXPECT_EQ(0x00000001u, ModeFileBit(CATEGORY_SYSTEM));
    EXPECT_EQ(0x00000100u, ModeFileBit(CATEGORY_NORMAL));
    EXPECT_EQ(0x00000200u, ModeFolderBit(CATEGORY_SYSTEM));
    EXPECT_EQ(0x00020000u, ModeFolderBit(CATEGORY_NORMAL));
    EXPECT_EQ(0x00040000u, ModeDestBit(CATEGORY_SYSTEM));
    EXPECT_EQ(0x04000000u, ModeDestBit(CATEGORY_NORMAL));
    // The default: archive and normal in all three groups, and the date test.
    EXPECT_EQ(ModeFileBit(CATEGORY_ARCHIVE) | ModeFileBit(CATEGORY_NORMAL) | ModeFolderBit(CATEGORY_ARCHIVE) |
                  ModeFolderBit(CATEGORY_NORMAL) | ModeDestBit(CATEGORY_ARCHIVE) | ModeDestBit(CATEGORY_NORMAL) |
                  MODE_SKIP_NOT_NEWER,
              MODE_DEFAULT);
    EXPECT_EQ(0u, CONF_DEFAULT);
}

TEST(ModeWord, PlatformMasks) {
    EXPECT_EQ(MODE_MASK_OLD_PLATFORM, PlatformModeMask(-1));
    EXPECT_EQ(MODE_MASK_OLD_PLATFORM, PlatformModeMask(PLATFORM_WIN32S));
    EXPECT_EQ(MODE_MASK_OLD_PLATFORM, PlatformModeMask(PLATFORM_WIN95));
    EXPECT_EQ(MODE_MASK_OLD_PLATFORM, PlatformModeMask(0x1FFFF));
    EXPECT_EQ(MODE_MASK_NT4, PlatformModeMask(0x20000));
    EXPECT_EQ(MODE_MASK_NT4, PlatformModeMask(PLATFORM_NT3));
    EXPECT_EQ(MODE_MASK_NT4, PlatformModeMask(PLATFORM_NT4));
    EXPECT_EQ(MODE_MASK_NT5, PlatformModeMask(PLATFORM_NT5));
    EXPECT_EQ(MODE_MASK_NT5, PlatformModeMask(0x7FFFFFFF));
    EXPECT_EQ(0x1E773B9Du, 0xFFFFFFFFu & PlatformModeMask(PLATFORM_NT4));
    // What each mask forces to 0, by category, in all three groups.
    const AttributeCategory oldGone[] = {CATEGORY_ENCRYPTED, CATEGORY_COMPRESSED, CATEGORY_TEMPORARY, CATEGORY_NOT_INDEXED};
    const AttributeCategory nt4Gone[] = {CATEGORY_ENCRYPTED, CATEGORY_TEMPORARY, CATEGORY_NOT_INDEXED};
    DWORD oldBits = 0, nt4Bits = 0;
    for (auto c : oldGone) oldBits |= ModeFileBit(c) | ModeFolderBit(c) | ModeDestBit(c);
    for (auto c : nt4Gone) nt4Bits |= ModeFileBit(c) | ModeFolderBit(c) | ModeDestBit(c);
    EXPECT_EQ(MODE_DEFINED_BITS & ~oldBits, MODE_MASK_OLD_PLATFORM);
    EXPECT_EQ(MODE_DEFINED_BITS & ~nt4Bits, MODE_MASK_NT4);
}

TEST(ConfWord, LevelCaptionsAndCycle) {
    EXPECT_STREQ("ログにエラーとコピー完を表示する", LogLevelCaption(0));
    EXPECT_STREQ("ログにすべてを表示する", LogLevelCaption(1));
    EXPECT_STREQ("ログにエラーのみを表示する", LogLevelCaption(4));
    EXPECT_STREQ("ログにエラーと未コピーを表示する", LogLevelCaption(5));
    for (DWORD level : {0u, 1u, 4u, 5u}) EXPECT_EQ(level, LogLevelOfCaption(LogLevelCaption(level)));
    EXPECT_EQ(0u, LogLevelOfCaption("ログにすべてを表示する "));
    EXPECT_EQ(0u, LogLevelOfCaption(""));
    // 0 → 5 → 1 → 4 → 0, other bits kept.
    EXPECT_EQ(0xAu | 5u, NextLogLevel(0xAu));
    EXPECT_EQ(1u, NextLogLevel(5u));
    EXPECT_EQ(4u, NextLogLevel(1u));
    EXPECT_EQ(0x8u, NextLogLevel(0x8u | 4u));
}

TEST(Defaults, HistoryListsWhenTheStoreHoldsNone) {
    auto list = [](const char *const *l) {
        std::vector<std::string> v;
        for (; *l; l++) v.push_back(*l);
        return v;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ((V{"*", "*.TXT *.DOC", "*.H *.C *.CPP"}), list(DEFAULT_TCF));
    EXPECT_EQ((V{"*", "\"MY *\""}), list(DEFAULT_TCD));
    EXPECT_EQ((V{"", "*.TMP", "$* _* ~*"}), list(DEFAULT_TUF));
    EXPECT_EQ((V{"", "_*", "$*", "_* $*"}), list(DEFAULT_TUD));
    EXPECT_EQ((V{"E:\\", "A:\\"}), list(DEFAULT_DEST));
}

TEST(Selection, FileTestsInOrder) {
    Patterns all("*"), none(""), txt("*.TXT *.DOC"), tmp("*.TMP");
    const DWORD mode = MODE_DEFAULT;
    Selection s = SelectFile("a.txt", FILE_ATTRIBUTE_ARCHIVE, mode, txt.list, tmp.list);
    EXPECT_EQ(SELECTED, s.result);
    s = SelectFile("a.c", FILE_ATTRIBUTE_ARCHIVE, mode, txt.list, tmp.list);
    EXPECT_EQ(REFUSED_NOT_INCLUDED, s.result);
    EXPECT_STREQ("指定外のファイルなのでコピーしません。", s.message);
    EXPECT_EQ(0, s.level);
    s = SelectFile("a.tmp", 0x8000 | FILE_ATTRIBUTE_SYSTEM, mode, all.list, tmp.list);
    EXPECT_EQ(REFUSED_EXCLUDED, s.result) << "the exclude list comes before the attributes";
    EXPECT_STREQ("指定のファイルなのでコピーしません。", s.message);
    // An empty include list lets nothing pass; an empty exclude list rejects nothing.
    EXPECT_EQ(REFUSED_NOT_INCLUDED, SelectFile("a.txt", FILE_ATTRIBUTE_ARCHIVE, mode, none.list, none.list).result);
    EXPECT_EQ(SELECTED, SelectFile("a.tmp", FILE_ATTRIBUTE_ARCHIVE, mode, all.list, none.list).result);
}

TEST(Selection, UnknownAttributesAreRefusedWhateverModeSays) {
    Patterns all("*"), none("");
    for (DWORD bit : {0x0008u, 0x0040u, 0x8000u, 0x10000u, 0x80000000u}) {
        Selection s = SelectFile("x", FILE_ATTRIBUTE_ARCHIVE | bit, 0xFFFFFFFFu, all.list, none.list);
        EXPECT_EQ(REFUSED_UNKNOWN_ATTRIBUTE, s.result) << std::hex << bit;
        EXPECT_STREQ("未知の属性のためコピーできません。", s.message);
        EXPECT_EQ(2, s.level);
        EXPECT_EQ(REFUSED_UNKNOWN_ATTRIBUTE, SelectFolder("x", FILE_ATTRIBUTE_DIRECTORY | bit, 0xFFFFFFFFu, all.list, none.list).result);
        Selection d = JudgeDestinationFile(bit, 0xFFFFFFFFu);
        EXPECT_STREQ("コピー先が未知の属性のためコピーできません。", d.message);
        EXPECT_EQ(2, d.level);
    }
}

TEST(Selection, OnlyTheCategoryBitCounts) {
    Patterns all("*"), none("");
    const DWORD hr = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY;
    EXPECT_EQ(SELECTED, SelectFile("x", hr, ModeFileBit(CATEGORY_HIDDEN), all.list, none.list).result);
    Selection s = SelectFile("x", hr, ModeFileBit(CATEGORY_READONLY), all.list, none.list);
    EXPECT_EQ(REFUSED_CATEGORY, s.result);
    EXPECT_STREQ("隠しファイルのためコピーしません。", s.message);
    EXPECT_EQ(0, s.level);
    // A folder with only reparse point, sparse or offline is normal and follows bit 17.
    DWORD odd = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_OFFLINE;
    EXPECT_EQ(SELECTED, SelectFolder("x", odd, 0x00020000u, all.list, none.list).result);
    s = SelectFolder("x", odd, MODE_DEFINED_BITS & ~0x00020000u, all.list, none.list);
    EXPECT_STREQ("通常フォルダのためコピーしません。", s.message);
}

// The category table: the attribute that gives each category, its three MODE bits and its three
// messages, written out as the system states them (not read from the code's own table).
struct CategoryRow {
    DWORD attribute;
    int folderBit, fileBit, destBit;
    const char *folderMessage, *fileMessage, *destMessage;
};
static const CategoryRow CATEGORY_ROWS[] = {
    {0x0004, 9, 0, 18, "システムフォルダのためコピーしません。", "システムファイルのためコピーしません。",
     "コピー先がシステムファイルのためコピーしません。"},
    {0x4000, 10, 1, 19, "暗号フォルダのためコピーしません。", "暗号ファイルのためコピーしません。",
     "コピー先が暗号ファイルのためコピーしません。"},
    {0x0002, 11, 2, 20, "隠しフォルダのためコピーしません。", "隠しファイルのためコピーしません。",
     "コピー先が隠しファイルのためコピーしません。"},
    {0x0001, 12, 3, 21, "読取専用フォルダのためコピーしません。", "読取専用ファイルのためコピーしません。",
     "コピー先が読取専用ファイルのためコピーしません。"},
    {0x0800, 13, 4, 22, "圧縮フォルダのためコピーしません。", "圧縮ファイルのためコピーしません。",
     "コピー先が圧縮ファイルのためコピーしません。"},
    {0x0100, 14, 5, 23, "テンポラリフォルダのためコピーしません。", "テンポラリファイルのためコピーしません。",
     "コピー先がテンポラリファイルのためコピーしません。"},
    {0x2000, 15, 6, 24, "無索引フォルダのためコピーしません。", "無索引ファイルのためコピーしません。",
     "コピー先が無索引ファイルのためコピーしません。"},
    {0x0020, 16, 7, 25, "アーカイブフォルダのためコピーしません。", "アーカイブファイルのためコピーしません。",
     "コピー先がアーカイブファイルのためコピーしません。"},
    {0x0000, 17, 8, 26, "通常フォルダのためコピーしません。", "標準ファイルのためコピーしません。",
     "コピー先が標準ファイルのためコピーしません。"},
};

TEST(Selection, CategoryMessagesOfTheThreeColumns) {
    Patterns all("*"), none("");
    for (const CategoryRow &row : CATEGORY_ROWS) {
        SCOPED_TRACE(row.fileMessage);
        Selection folder = SelectFolder("x", FILE_ATTRIBUTE_DIRECTORY | row.attribute,
                                        MODE_DEFINED_BITS & ~(1u << row.folderBit), all.list, none.list);
        Selection file = SelectFile("x", row.attribute, MODE_DEFINED_BITS & ~(1u << row.fileBit), all.list, none.list);
        Selection dest = JudgeDestinationFile(row.attribute, MODE_DEFINED_BITS & ~(1u << row.destBit));
        EXPECT_STREQ(row.folderMessage, folder.message);
        EXPECT_STREQ(row.fileMessage, file.message);
        EXPECT_STREQ(row.destMessage, dest.message);
        EXPECT_EQ(0, folder.level);
        EXPECT_EQ(0, file.level);
        EXPECT_EQ(0, dest.level);
        // Only the category's own bit decides.
        EXPECT_EQ(SELECTED, SelectFolder("x", FILE_ATTRIBUTE_DIRECTORY | row.attribute, 1u << row.folderBit, all.list,
                                         none.list).result);
        EXPECT_EQ(SELECTED, SelectFile("x", row.attribute, 1u << row.fileBit, all.list, none.list).result);
        EXPECT_EQ(SELECTED, JudgeDestinationFile(row.attribute, 1u << row.destBit).result);
    }
}

TEST(Selection, FolderPatternsWithQuotedBlank) {
    Patterns my("\"MY *\""), none(""), under("_* $*");
    EXPECT_EQ(SELECTED, SelectFolder("My Documents", FILE_ATTRIBUTE_DIRECTORY, MODE_DEFAULT, my.list, none.list).result);
    Selection s = SelectFolder("Mydocs", FILE_ATTRIBUTE_DIRECTORY, MODE_DEFAULT, my.list, none.list);
    EXPECT_STREQ("指定外のフォルダなのでコピーしません。", s.message);
    Patterns all("*");
    s = SelectFolder("_build", FILE_ATTRIBUTE_DIRECTORY, MODE_DEFAULT, all.list, under.list);
    EXPECT_STREQ("指定のフォルダなのでコピーしません。", s.message);
}
