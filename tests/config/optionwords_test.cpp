// The one hexadecimal word reader, on both platforms, and the name comparison of options and keys.
#include "optionwords.h"
#include <gtest/gtest.h>
#include <cstdlib>

TEST(HexWord, ReadsAsTheShipped32BitProgramReads) {
    static const struct {
        const char *text;
        DWORD word;
    } rows[] = {
        {"16030180", 0x16030180u},  {"0x16030180", 0x16030180u}, {"0X1f", 0x1Fu},
        {" \t16030180", 0x16030180u}, {"\v\f\r\n7", 7u},          {"+ff", 0xFFu},
        {"", 0u},                   {"xyz", 0u},                 {"0x", 0u},
        {"0xg", 0u},                {"12g4", 0x12u},             {"D", 0xDu},
        {"FFFFFFFF", 0xFFFFFFFFu},  {"100000000", 0xFFFFFFFFu},  {"123456789A", 0xFFFFFFFFu},
        {"-1", 0xFFFFFFFFu},        {"-2", 0xFFFFFFFEu},         {"-FFFFFFFF", 1u},
        {"-123456789A", 1u}, {"-100000000", 1u}, {"000000000000000001", 1u}, {"- 1", 0u},
        {"16030180 trailing", 0x16030180u}, {"\x81\x40" "1", 0u},
    };
    for (auto &row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(row.word, ReadHexWord(row.text));
#ifdef _WIN32
        // On Windows unsigned long has 32 bits: the runtime's own strtoul is the shipped reader.
        EXPECT_EQ(row.word, (DWORD)strtoul(row.text, nullptr, 16));
#endif
    }
}

TEST(OptionNames, AsciiCaseOnly) {
    EXPECT_TRUE(IsName("/DEST", "/dest"));
    EXPECT_TRUE(IsName("/Dest", "/dest"));
    EXPECT_FALSE(IsName("/destination", "/dest"));
    EXPECT_FALSE(IsName("/des", "/dest"));
    EXPECT_TRUE(StartsWithName("src:\"C:\\Data\"", "SRC:"));
    EXPECT_FALSE(StartsWithName(" SRC:x", "SRC:"));
    EXPECT_FALSE(StartsWithName("SR", "SRC:"));
}
