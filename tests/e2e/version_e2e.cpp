// The version information of the programs, as Explorer's Properties → Details reads it: the
// shipped 32-bit programs of build/win32 (GetFileVersionInfoA reads a program of the other
// architecture as data) and this build's own.
#include "bench.h"
#include <cstring>

struct VersionRow {
    const char *program;
    const char *description;
};
static const VersionRow PROGRAMS[] = {
    {"kestrel.exe", "KESTREL ファイルコピー"},
    {"kestrel-nt.exe", "KESTREL ファイルコピー（暗号化対応版）"},
};

static std::string StringValue(const std::vector<char> &block, const char *name) {
    std::string key = std::string("\\StringFileInfo\\041103A4\\") + name;
    char *text = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), key.c_str(), (void **)&text, &length) || !text) return "(none)";
    return std::string(text);
}

static void CheckVersionBlock(const std::string &path, const VersionRow &row) {
    SCOPED_TRACE(path);
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "error " << GetLastError();
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
    EXPECT_EQ("KESTREL", StringValue(block, "ProductName"));
    EXPECT_EQ("2.71", StringValue(block, "ProductVersion"));
    EXPECT_EQ("2.71.0.0", StringValue(block, "FileVersion"));
    EXPECT_EQ(row.program, StringValue(block, "OriginalFilename"));
    EXPECT_EQ(row.description, StringValue(block, "FileDescription"));

    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", (void **)&fixed, &length));
    EXPECT_EQ(0x00020047u, fixed->dwFileVersionMS); // 2.71
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00020047u, fixed->dwProductVersionMS);
    EXPECT_EQ((DWORD)VFT_APP, fixed->dwFileType);
    WORD *translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", (void **)&translation, &length));
    ASSERT_EQ(4u, length);
    EXPECT_EQ(0x0411, translation[0]); // Japanese
    EXPECT_EQ(932, translation[1]);
}

TEST(Version, ProgramsCarryTheJapaneseVersionBlock) {
    for (const VersionRow &row : PROGRAMS) CheckVersionBlock(ProgramDir() + row.program, row);
    // The shipped programs come from the win32 preset, built beside this one by the test command.
    std::string shipped = ProgramDir() + "..\\win32\\";
    if (GetFileAttributesA((shipped + "kestrel.exe").c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "build/win32 has no programs: cmake --build --preset win32";
    for (const VersionRow &row : PROGRAMS) CheckVersionBlock(shipped + row.program, row);
}
