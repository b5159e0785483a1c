// Word splitting, wildcard matching and the byte primitives.
#include "patterns.h"
#include "filesystem.h"
#include <cstring>
#include <gtest/gtest.h>
#include "controls.h"
#include "dialog.h"
#include <functional>
#include <string>
#include <vector>

// Splits a copy of `text`; returns the words, or {"<fail>"} when SplitWords fails.
static std::vector<std::string> Split(const std::string &text, int *result = nullptr) {
    std::vector<char> buf(text.begin(), text.end());
    buf.push_back(0);
    int count = -1;
    char **words = (char **)0xdd;
    SetLastError(0xdeadbeef);
    int r = SplitWords(buf.data(), &count, &words);
    if (result) *result = r;
    if (r != 0) {
        EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
        EXPECT_EQ(text, std::string(buf.data())) << "a failed split changed the text";
        return {"<fail>"};
    }
    std::vector<std::string> out;
    for (int i = 0; i < count; i++) out.push_back(words[i]);
    LocalFree(words);
    return out;
}

using Words = std::vector<std::string>;

TEST(SplitWords, BlanksAndTabsSeparate) {
    EXPECT_EQ((Words{"*.H", "*.C", "*.CPP"}), Split("*.H *.C *.CPP"));
    EXPECT_EQ((Words{"a", "b"}), Split(" \t a \t\t b  \t"));
    EXPECT_EQ(Words{}, Split(" \t  \t"));
    EXPECT_EQ(Words{}, Split(""));
}

TEST(SplitWords, QuotesGroupAndAreRemoved) {
    EXPECT_EQ(Words{"MY *"}, Split("\"MY *\""));
    EXPECT_EQ(Words{"MY DOC"}, Split("MY\" \"DOC"));
    EXPECT_EQ(Words{"its"}, Split("'it''s'"));
    EXPECT_EQ((Words{"ab cd"}), Split("a\"b c\"d"));
    EXPECT_EQ(Words{"a'b c"}, Split("\"a'b c\""));
    EXPECT_EQ(Words{"\""}, Split("'\"'"));
    EXPECT_EQ(Words{"'"}, Split("\"'\""));
    EXPECT_EQ(Words{""}, Split("\"\""));
    EXPECT_EQ((Words{"x", "", "y"}), Split("x '' y"));
}

TEST(SplitWords, UnbalancedQuotesFailAndChangeNothing) {
    int r = 0;
    EXPECT_EQ(Words{"<fail>"}, Split("it's", &r));
    EXPECT_EQ(SPLIT_UNBALANCED_QUOTES, r);
    EXPECT_EQ(Words{"<fail>"}, Split("\"abc", &r));
    EXPECT_EQ(SPLIT_UNBALANCED_QUOTES, r);
    EXPECT_EQ(Words{"<fail>"}, Split("'a\"", &r));
    EXPECT_EQ(Words{"<fail>"}, Split("a b \"c d", &r));
    EXPECT_LT(r, 0) << "callers test the sign";
}

#ifdef KESTREL_SIM
#include "simwin.h"
TEST(SplitWords, NoMemoryChangesNothing) {
    SimReset();
    char text[] = "a \"b c\"";
    SimInjectFault("LocalAlloc", nullptr, ERROR_NOT_ENOUGH_MEMORY);
    int count = -1;
    char **words = (char **)0xdd;
    EXPECT_EQ(SPLIT_NO_MEMORY, SplitWords(text, &count, &words));
    EXPECT_STREQ("a \"b c\"", text);
    EXPECT_EQ(1, SimFaultsFired());
    EXPECT_EQ(0, SplitWords(text, &count, &words));
    EXPECT_EQ(2, count);
    LocalFree(words);
}
#endif

TEST(SplitWords, BackslashesAreOrdinary) {
    EXPECT_EQ((Words{"C:\\Program", "Files\\x"}), Split("C:\\Program Files\\x"));
    EXPECT_EQ(Words{"C:\\Program Files\\x"}, Split("\"C:\\Program Files\\x\""));
    EXPECT_EQ(Words{"a\\b"}, Split("a\\\"\"b")) << "no escape character";
}

TEST(SplitWords, DoubleByteTextIsNotSplitInside) {
    // A full-width space (0x81 0x40) does not separate.
    EXPECT_EQ(Words{"表　示"}, Split("表　示"));
    // A trail byte 0x20 or 0x22 (after a lead byte) is neither a blank nor a quote.
    EXPECT_EQ(Words{"\x81\x20z"}, Split("\x81\x20z"));
    EXPECT_EQ(Words{"\x81\x22z"}, Split("\x81\x22z"));
    // 0x5C trail bytes (as in 表 and ソ) stay part of their character.
    EXPECT_EQ((Words{"C:\\表\\ソ", "b"}), Split("C:\\表\\ソ b"));
}

struct MatchCase {
    const char *pattern;
    const char *name;
    int expected;
};

TEST(MatchWildcard, DocumentedResults) {
    static const MatchCase cases[] = {
        {"*.TXT", "readme.txt", 1}, {"*.txt", "README.TXT", 1}, {"abc", "ABC", 1},
        {"abc", "abcd", 0},         {"abc?", "abc", 0},         {"ab?", "abc", 1},
        {"*.*", "file", 0},         {"*.*", "file.", 1},        {"file.", "file", 0},
        {"a*c", "abcc", 1},         {"a*c", "abcd", 0},         {"a*bc", "acbc", 1},
        {"*aab*", "aab", 1},        {"*aab*", "xaab", 1},       {"*aab*", "aaab", 1},
        {"*a?c*", "abc", 1},        {"*a?c*", "aabc", 1},       {"*abd", "ababd", 1},
        {"*.tar.gz", "a.tar.tar.gz", 1}, {"*.tar.gz", "a.tar.gz.x", 0}, {"a*b*c", "abbbc", 1},
        {"*?*?", "ab", 0},          {"*?*?", "abc", 1},          {"a*?*b", "ab", 0},
        {"a**b", "axb", 1},         {"a**b", "ab", 0},          {"a**", "a", 0},
        {"a*", "a", 1},             {"**", "x", 1},             {"**", "anything.at.all", 1},
        {"*?", "a", 1},             {"?", "表", 0},             {"??", "表", 1},
        {"*.txt", "表.txt", 1},      {"*", "x", 1},              {"", "x", 0},
        {"MY *", "MY DOC", 1},      {"MY *", "MYDOC", 0},       {"$*", "$RECYCLE.BIN", 1},
        {"_*", "x_y", 0},           {"~*", "~$doc", 1},         {"*.TMP", "a.tmp.bak", 0},
    };
    for (const MatchCase &c : cases)
        EXPECT_EQ(c.expected, MatchWildcard(c.name, c.pattern)) << "pattern " << c.pattern << " name " << c.name;
}

TEST(MatchWildcard, CaseFoldsTheLettersAndNotTheirNeighbours) {
    // a–z and A–Z fold at both ends of the alphabet; "@" (0x40) and "`" (0x60), "[" (0x5B) and
    // "{" (0x7B) lie 32 apart like the letters but are no letters. Each at the start (the plain
    // scan), at the end (the tail after a star) and after a star (where a star looks ahead).
    static const MatchCase cases[] = {
        {"a", "A", 1},   {"A", "a", 1},   {"z", "Z", 1},   {"Z", "z", 1},   {"@", "`", 0},   {"`", "@", 0},
        {"[", "{", 0},   {"{", "[", 0},   {"*z", "xZ", 1}, {"*A", "xa", 1}, {"*@", "x`", 0}, {"*[", "x{", 0},
        {"*{", "x[", 0}, {"*`", "x@", 0}, {"*Zx*", "zx", 1}, {"*@x*", "`x", 0}, {"*[x*", "{x", 0},
    };
    for (const MatchCase &c : cases)
        EXPECT_EQ(c.expected, MatchWildcard(c.name, c.pattern)) << "pattern " << c.pattern << " name " << c.name;
}

// Two double-byte characters are equal where the fields' upper-casing makes them equal: 103 of
// code page 932 (the small Roman numerals are held twice, at 0xFA40 and 0xEEEF, capitals 0x8754).
TEST(MatchWildcard, CaseFoldsAsciiAndTheDoubleByteLettersTheFieldUpperCases) {
    EXPECT_EQ(103, DoubleByteUpperCount());
    static const MatchCase cases[] = {
        {"ＲＥＡＤＭＥ.TXT", "ｒｅａｄｍｅ.txt", 1}, {"ｚ", "Ｚ", 1}, {"ΑΒ.TXT", "αβ.txt", 1}, {"ωΩ", "Ωω", 1}, {"ЁЖЯ", "ёжя", 1},
        {"\x87\x54", "\xFA\x40", 1}, {"\x87\x54", "\xEE\xEF", 1}, {"\xEE\xEF", "\xFA\x40", 1}, {"\x87\x5D", "\xFA\x49", 1},
        // Nothing else: not ASCII against full-width, kana sizes, the IBM extension's capitals.
        {"A", "Ａ", 0}, {"ａ", "a", 0}, {"Ｂ", "ａ", 0}, {"あ", "ぁ", 0}, {"\x87\x54", "\xFA\x4A", 0},
        {"\x87\x55", "\xFA\x40", 0}, {"\xB1?", "\xB1\xB2", 1}, {"\xB1", "\xB2", 0},
        // At the tail, after a star that looks ahead (also across lead bytes), against "?".
        {"*ｔｘｔ", "a.ＴＸＴ", 1}, {"*ａ*", "xＡy", 1}, {"*\xFA\x40*", "x\x87\x54y", 1}, {"*\xFA\x40", "\x87\x54\x87\x54", 1},
        {"*ｂｃ", "ｂＢＣ", 1}, {"ａ?", "Ａ", 0}, {"??", "ａ", 1}, {"*ａ", "Ａｂ", 0},
    };
    for (const MatchCase &c : cases)
        EXPECT_EQ(c.expected, MatchWildcard(c.name, c.pattern)) << "pattern " << c.pattern << " name " << c.name;
}

// What a pattern field shows for what was typed is the same on the simulation as under Wine: the
// field's upper-casing is the one the matcher folds by. A character that code page 932 holds
// twice comes back as the platform writes it (纊 typed as 0xED40 shows as 0xFA5C).
TEST(MatchWildcard, TheFieldUpperCasesAsTheMatcherFolds) {
    NEEDS_WINDOWS();
    HWND dialog = CreateTestMainDialog();
    ASSERT_TRUE(dialog);
    SetControlText(dialog, IDC_TCF, "ｒｅａｄｍｅ.txt αβ.txt \xEE\xEF\xFA\x40 \xED\x40");
    EXPECT_EQ("ＲＥＡＤＭＥ.TXT ΑΒ.TXT \x87\x54\x87\x54 \xFA\x5C", ControlText(dialog, IDC_TCF));
    DestroyTestMainDialog(dialog);
}

TEST(MatchWildcard, TrailBytesAreNeverWildcards) {
    // 0x81 0x3F: the trail byte 0x3F is not a "?" wildcard, 0x81 0x2A not a star.
    EXPECT_EQ(0, MatchWildcard("\x81\x40", "\x81\x3F"));
    EXPECT_EQ(1, MatchWildcard("\x81\x3F", "\x81\x3F"));
    EXPECT_EQ(0, MatchWildcard("\x81\x2Ax", "\x81\x2A"));
    // A trail byte of the name never equals a single-byte pattern byte of the same value.
    EXPECT_EQ(0, MatchWildcard("\x83\x5C", "?\\"));
    EXPECT_EQ(1, MatchWildcard("\x83\x5C", "??"));
}

TEST(MatchWildcard, LongNamesAndPatterns) {
    std::string name = "b" + std::string(258, 'a');
    EXPECT_EQ(1, MatchWildcard(name.c_str(), ("*" + std::string(258, 'a')).c_str()));
    EXPECT_EQ(1, MatchWildcard(name.c_str(), ("*" + std::string(257, 'a')).c_str()));
    EXPECT_EQ(0, MatchWildcard(name.c_str(), ("*" + std::string(259, 'a')).c_str()));
    // Many stars that each must go back, against a long name.
    std::string as(200, 'a');
    EXPECT_EQ(0, MatchWildcard(as.c_str(), "*a*a*a*a*b"));
    EXPECT_EQ(1, MatchWildcard((as + "b").c_str(), "*a*a*a*a*b"));
    EXPECT_EQ(1, MatchWildcard((as + "b").c_str(), "*A*A*A*A*B"));
    // Longer than any field allows: still matched, not cut.
    std::string huge = std::string(1000, 'c') + std::string(1000, 'b');
    EXPECT_EQ(1, MatchWildcard(huge.c_str(), ("c*" + std::string(1000, 'b')).c_str()));
    EXPECT_EQ(0, MatchWildcard(huge.c_str(), ("c*" + std::string(1001, 'b')).c_str()));
}

TEST(BytePrimitives, ClassMap) {
    char map[16];
    ByteClasses("a表\xB1\x81", map);
    EXPECT_STREQ("01201", map);
    ByteClasses("\x81\x81\x81", map);
    EXPECT_STREQ("121", map) << "a lead value after a lead byte is a trail byte";
    ByteClasses("\x80\xA0\xFD\xFF", map);
    EXPECT_STREQ("0000", map);
    ByteClasses("", map);
    EXPECT_STREQ("", map);
}

TEST(BytePrimitives, FindSingleByteCharSkipsTrailBytes) {
    const char *path = "C:\\表\\x";
    EXPECT_EQ(path + 2, FindSingleByteChar(path, '\\'));
    EXPECT_EQ(path + 5, FindSingleByteChar(path + 3, '\\')) << "the 0x5C of 表 is skipped";
    EXPECT_EQ(path + 5, FindLastSingleByteChar(path, '\\'));
    EXPECT_EQ(nullptr, FindSingleByteChar("表", '\\'));
    EXPECT_EQ(nullptr, FindLastSingleByteChar("ソ", '\\'));
}

TEST(BytePrimitives, UpcaseAsciiLeavesDoubleByteAlone) {
    char text[] = "abc\x82\x61xyz\x81\x7a";  // 0x82 0x61 and 0x81 0x7A are double-byte
    EXPECT_EQ(text, UpcaseAscii(text));
    EXPECT_STREQ("ABC\x82\x61XYZ\x81\x7a", text);
    char edges[] = "az@[`{AZ";
    EXPECT_STREQ("AZ@[`{AZ", UpcaseAscii(edges));
}

// The earlier matching rules transcribed step by step (marks, class maps, the repeated "*?"
// sweep, segments, one progress counter per segment, never going back in the name).
static int ReferenceMatch(const std::string &name, const std::string &pattern) {
    if (pattern == "*") return 1;
    if (pattern.empty()) return 0;
    std::string P = "\x1E" + pattern + "\x1F", N = "\x1E" + name + "\x1F";
    std::vector<char> pc(P.size() + 1), nc(N.size() + 1);
    ByteClasses(P.c_str(), pc.data());
    ByteClasses(N.c_str(), nc.data());
    for (size_t sweep = 0; sweep < P.size(); sweep++)
        for (size_t j = 0; j + 1 < P.size(); j++)
            if (P[j] == '*' && pc[j] == '0' && P[j + 1] == '?' && pc[j + 1] == '0') std::swap(P[j], P[j + 1]);
    std::vector<std::string> seg(1), segc(1);
    for (size_t j = 0; j < P.size(); j++) {
        if (P[j] == '*' && pc[j] == '0') {
            seg.emplace_back();
            segc.emplace_back();
        } else {
            seg.back() += P[j];
            segc.back() += pc[j];
        }
    }
    auto same = [](char b, char cb, char p, char cp) {
        if (b == p && cb == cp) return true;
        auto up = [](char c) { return (c >= 'a' && c <= 'z') ? (char)(c - 32) : c; };
        return cb == '0' && cp == '0' && up(b) == up(p);
    };
    std::vector<size_t> progress(seg.size(), 0);
    size_t i = 0;
    for (size_t j = 0; j < N.size() && i < seg.size(); j++) {
        const std::string &S = seg[i];
        size_t &pr = progress[i];
        char p = pr < S.size() ? S[pr] : 0, cp = pr < S.size() ? segc[i][pr] : 0;
        if (same(N[j], nc[j], p, cp)) pr++;
        else if (p == '?' && cp == '0') pr++;
        else pr = (!S.empty() && same(N[j], nc[j], S[0], segc[i][0])) ? 1 : 0;
        if (pr == S.size()) i++;
    }
    return i == seg.size();
}

// The same segments, each found anywhere after the one before it (a star takes any run of
// bytes): the name matches when some placement of all segments fits, the first at the start mark
// and the last ending at the end mark. An empty segment takes one byte.
static int BacktrackingMatch(const std::string &name, const std::string &pattern) {
    if (pattern == "*") return 1;
    if (pattern.empty()) return 0;
    std::string P = "\x1E" + pattern + "\x1F", N = "\x1E" + name + "\x1F";
    std::vector<char> pc(P.size() + 1), nc(N.size() + 1);
    ByteClasses(P.c_str(), pc.data());
    ByteClasses(N.c_str(), nc.data());
    for (size_t sweep = 0; sweep < P.size(); sweep++)
        for (size_t j = 0; j + 1 < P.size(); j++)
            if (P[j] == '*' && pc[j] == '0' && P[j + 1] == '?' && pc[j + 1] == '0') std::swap(P[j], P[j + 1]);
    std::vector<std::string> seg(1), segc(1);
    for (size_t j = 0; j < P.size(); j++) {
        if (P[j] == '*' && pc[j] == '0') {
            seg.emplace_back();
            segc.emplace_back();
        } else {
            seg.back() += P[j];
            segc.back() += pc[j];
        }
    }
    auto fitsAt = [&](size_t i, size_t at) {
        for (size_t t = 0; t < seg[i].size(); t++) {
            char b = N[at + t], cb = nc[at + t], p = seg[i][t], cp = segc[i][t];
            auto up = [](char c) { return (c >= 'a' && c <= 'z') ? (char)(c - 32) : c; };
            bool same = (b == p && cb == cp) || (cb == '0' && cp == '0' && up(b) == up(p)) || (p == '?' && cp == '0');
            if (!same) return false;
        }
        return true;
    };
    std::function<bool(size_t, size_t)> placeFrom = [&](size_t i, size_t from) {
        size_t length = seg[i].empty() ? 1 : seg[i].size();
        for (size_t at = from; at + length <= N.size(); at++) {
            if (fitsAt(i, at)) {
                if (i + 1 == seg.size() ? at + length == N.size() : placeFrom(i + 1, at + length)) return true;
            }
            if (i == 0) break;
        }
        return false;
    };
    return placeFrom(0, 0) ? 1 : 0;
}

// Against the backtracking rules on many random pairs; and every pair that the earlier,
// never-looking-back rules matched still matches (stored patterns keep their meaning).
TEST(MatchWildcard, AgreesWithTheRulesOnRandomPairs) {
    // Double-byte characters whose trail byte is a backslash, a "?" or itself a lead-byte value
    // (亜 is 0x88 0x9F).
    static const char *pieces[] = {"a", "A", "b", ".", "*", "?", "表", "ソ", "\x81", "?", "*", "ab", "\x81\x3F",
                                   "亜", "\x9F"};
    static const char *namePieces[] = {"a", "A", "b", ".", "表", "ソ", "ab", "\x81\x3F", "x", "B", "亜", "\x88"};
    // Every other round draws from a few letters only, so that names repeat what the patterns
    // look for and stars must go back.
    static const char *fewPieces[] = {"a", "A", "b", "*", "?", "*"};
    static const char *fewNamePieces[] = {"a", "A", "b", "aab"};
    unsigned seed = 12345;
    auto next = [&](unsigned n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    int matches = 0, gained = 0;
    for (int round = 0; round < 200000; round++) {
        std::string pattern, name;
        if (round % 2 == 0) {
            for (unsigned k = next(6); k > 0; k--) pattern += pieces[next(sizeof pieces / sizeof *pieces)];
            for (unsigned k = next(6) + 1; k > 0; k--) name += namePieces[next(sizeof namePieces / sizeof *namePieces)];
        } else {
            for (unsigned k = next(8); k > 0; k--) pattern += fewPieces[next(sizeof fewPieces / sizeof *fewPieces)];
            for (unsigned k = next(8) + 1; k > 0; k--) name += fewNamePieces[next(sizeof fewNamePieces / sizeof *fewNamePieces)];
        }
        int expected = BacktrackingMatch(name, pattern), before = ReferenceMatch(name, pattern);
        matches += expected;
        gained += expected && !before;
        ASSERT_EQ(expected, MatchWildcard(name.c_str(), pattern.c_str())) << "pattern [" << pattern << "] name [" << name << "]";
        ASSERT_TRUE(expected || !before) << "pattern [" << pattern << "] name [" << name << "]";
    }
    EXPECT_GT(matches, 1000) << "the random pairs should include many matches";
    EXPECT_GT(gained, 300) << "the random pairs should include names that only going back finds";
}

// The two code page 932 forms of a listed name: the patterns and the progress line see one "?"
// for each character the code page lacks (a surrogate pair is one character, never a look-alike);
// records show each such unit as its RTF escape after SHOWN_UNIT.
TEST(NameFormsTest, PatternAndShownForms) {
    const struct {
        std::u16string name;
        const char *pattern;
        const char *shown;
    } rows[] = {
        {u"caf\u00E9.txt", "caf?.txt", "caf\x01\\u233?.txt"},
        {u"\U0001F600.txt", "?.txt", "\x01\\u-10179?\x01\\u-8704?.txt"},
        {u"a\u301Cb\uFF5Ec", "a?b～c", "a\x01\\u12316?b～c"},
        {std::u16string(1, (char16_t)0xD800) + u"x", "?x", "\x01\\u-10240?x"}, // a lone surrogate
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.pattern);
        const WCHAR *name = (const WCHAR *)row.name.c_str();
        char pattern[64], shown[128];
        EXPECT_EQ(strlen(row.pattern), PatternForm(name, row.name.size(), pattern));
        EXPECT_EQ(std::string(row.pattern), pattern);
        EXPECT_EQ(strlen(row.shown), ShownForm(name, row.name.size(), shown));
        EXPECT_EQ(std::string(row.shown), shown);
    }
}
