// Full path names and first matches as Windows gives them: GetFullPathNameA and FindFirstFileA,
// the same expectations on the simulation and on Wine.
#include "tests/support/tree.h"
#include <cstring>
#include <string>

struct Full {
    DWORD result;
    std::string path, filePart; // filePart "<none>" when there is none
    bool operator==(const Full &o) const { return result == o.result && path == o.path && filePart == o.filePart; }
};
static std::ostream &operator<<(std::ostream &os, const Full &f) {
    return os << "{" << f.result << ", \"" << f.path << "\", \"" << f.filePart << "\"}";
}

static Full FullOf(const std::string &path) {
    char buffer[MAX_PATH];
    memset(buffer, 0xdd, sizeof buffer);
    char *filePart = (char *)1;
    DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, buffer, &filePart);
    if (n == 0 || n >= MAX_PATH) return {n, "", ""};
    EXPECT_EQ(strlen(buffer), n) << path;
    return {n, buffer, filePart ? filePart : "<none>"};
}
static Full Expect(const std::string &path, const std::string &filePart) {
    return {(DWORD)path.size(), path, filePart};
}

class FullPathTest : public PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        ASSERT_NE(0u, GetCurrentDirectoryA(sizeof savedFolder, savedFolder));
        drive = root.substr(0, 2);
    }
    void TearDown() override {
        SetCurrentDirectoryA(savedFolder);
        PlatformTest::TearDown();
    }
    std::string drive;
    char savedFolder[MAX_PATH];
};

TEST_F(FullPathTest, DrivePaths) {
    const std::string d = drive;
    EXPECT_EQ(Expect(d + "\\", "<none>"), FullOf(d + "\\"));
    EXPECT_EQ(Expect(d + "\\", "<none>"), FullOf(d + "\\\\"));
    EXPECT_EQ(Expect(d + "\\b", "b"), FullOf(d + "\\a\\..\\b"));
    EXPECT_EQ(Expect(d + "\\b", "b"), FullOf(d + "\\a\\..\\..\\b")) << "no higher than the root";
    EXPECT_EQ(Expect(d + "\\", "<none>"), FullOf(d + "\\x\\.."));
    EXPECT_EQ(Expect(d + "\\a\\b", "b"), FullOf(d + "/a//b"));
    EXPECT_EQ(Expect(d + "\\a\\b", "b"), FullOf(d + "\\a\\.\\b\\."));
    EXPECT_EQ(Expect(d + "\\DATA\\", "<none>"), FullOf(d + "\\DATA\\")) << "a trailing separator: no file part";
    EXPECT_EQ(Expect(d + "\\DATA", "DATA"), FullOf(d + "\\DATA\\."));
    EXPECT_EQ(Expect(d + "\\DATA", "DATA"), FullOf(d + "\\DATA. .")) << "trailing dots and blanks go";
    EXPECT_EQ(Expect("1:\\x", "x"), FullOf("1:\\x")) << "any byte before the colon makes a drive";
}

TEST_F(FullPathTest, NetworkPaths) {
    EXPECT_EQ(Expect("\\\\server", "<none>"), FullOf("\\\\server"));
    EXPECT_EQ(Expect("\\\\server\\", "<none>"), FullOf("\\\\server\\"));
    EXPECT_EQ(Expect("\\\\server\\share", "share"), FullOf("\\\\server\\share"));
    EXPECT_EQ(Expect("\\\\server\\share\\", "<none>"), FullOf("\\\\server\\share\\"));
    EXPECT_EQ(Expect("\\\\server\\share\\", "<none>"), FullOf("\\\\server\\share\\a\\..\\.."));
    EXPECT_EQ(Expect("\\\\server\\share\\dir\\x", "x"), FullOf("\\\\server\\share\\dir\\x"));
    EXPECT_EQ(Expect("\\\\server\\share\\dir\\", "<none>"), FullOf("\\\\server\\share\\dir\\"));
}

TEST_F(FullPathTest, RelativePathsAgainstTheCurrentFolder) {
    ASSERT_TRUE(SetCurrentDirectoryA(root.c_str()));
    std::string folder = root.substr(0, root.size() - 1);
    std::string name = folder.substr(folder.rfind('\\') + 1);
    EXPECT_EQ(Expect(root + "a\\b", "b"), FullOf("a\\b"));
    EXPECT_EQ(Expect(folder, name), FullOf("."));
    EXPECT_EQ(Expect(root + "b", "b"), FullOf(".\\a\\..\\b"));
    EXPECT_EQ(Expect(drive + "\\z", "z"), FullOf("\\z")) << "against the current drive's root";
    EXPECT_EQ(Expect(drive + "\\", "<none>"), FullOf("\\"));
    EXPECT_EQ(Expect(root + "y", "y"), FullOf(drive + "y")) << "drive-relative, on the current drive";
}

TEST_F(FullPathTest, DoubleByteNamesWithTrailByte5C) {
    // "ソ" is 0x83 0x5C; its trail byte separates nothing, and two of them are no doubled separator.
    EXPECT_EQ(Expect(drive + "\\ソ\\x", "x"), FullOf(drive + "\\ソ\\x"));
    EXPECT_EQ(Expect(drive + "\\ソ", "ソ"), FullOf(drive + "\\ソ"));
    EXPECT_EQ(Expect(drive + "\\ソソ\\x", "x"), FullOf(drive + "\\ソソ\\x"));
}

TEST_F(FullPathTest, UnusablePathsAndSmallBuffers) {
    EXPECT_EQ(0u, FullOf("").result);
    EXPECT_EQ(0u, FullOf("   ").result);
    // Too small a buffer: the size needed, terminator included, comes back instead of 0.
    char small[4];
    memset(small, 0xdd, sizeof small);
    std::string path = drive + "\\abc";
    EXPECT_EQ((DWORD)path.size() + 1, GetFullPathNameA(path.c_str(), sizeof small, small, nullptr));
    // A full path of 259 bytes fits exactly.
    std::string fits = drive + "\\" + std::string(256, 'f');
    EXPECT_EQ(Expect(fits, std::string(256, 'f')), FullOf(fits));
}

TEST_F(FullPathTest, AFullPathThatDoesNotFitGivesTheSizeNeeded) {
    SIMULATION_ONLY("Wine fails (0, ERROR_FILENAME_EXCED_RANGE) where Windows gives the size needed");
    ASSERT_TRUE(SetCurrentDirectoryA(root.c_str()));
    std::string word(250, 'a');
    char buffer[MAX_PATH];
    EXPECT_EQ((DWORD)(root.size() + word.size() + 1), GetFullPathNameA(word.c_str(), MAX_PATH, buffer, nullptr));
}

// ---- FindFirstFileA ----

static std::string FirstFound(const std::string &pattern, DWORD *error = nullptr) {
    WIN32_FIND_DATAA data;
    SetLastError(0xdeadbeef);
    HANDLE h = FindFirstFileA(pattern.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) {
        if (error) *error = GetLastError();
        return "<none>";
    }
    FindClose(h);
    return data.cFileName;
}

TEST_F(FullPathTest, FindFirstFileGivesStoredNamesAndFirstMatches) {
    ASSERT_EQ("", BuildTree(root, "Data\\X.txt\nData\\notes.log\n"));
    EXPECT_EQ("Data", FirstFound(root + "DATA"));
    EXPECT_EQ("X.txt", FirstFound(root + "data\\x.TXT"));
    EXPECT_EQ("X.txt", FirstFound(root + "data\\*.TXT"));
    EXPECT_EQ("X.txt", FirstFound(root + "data\\?.txt"));
    EXPECT_EQ("notes.log", FirstFound(root + "data\\NOTES.*"));
    EXPECT_EQ(".", FirstFound(root + "data\\*")) << "a folder's listing starts with \".\"";
    EXPECT_EQ("Data", FirstFound(root + "data\\.")) << "\".\" resolves to the folder itself";
    EXPECT_EQ("Data", FirstFound(root + "data\\sub\\..\\..\\Data"));
}

TEST_F(FullPathTest, FindFirstFileFindsNothing) {
    ASSERT_EQ("", BuildTree(root, "Data\\X.txt\n"));
    DWORD error = 0;
    EXPECT_EQ("<none>", FirstFound(root + "data\\", &error));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, error) << "a trailing separator";
    EXPECT_EQ("<none>", FirstFound(drive + "\\", &error));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, error) << "a root";
    EXPECT_EQ("<none>", FirstFound(root + "data\\missing", &error));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, error);
    EXPECT_EQ("<none>", FirstFound(root + "data\\*.none", &error));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, error);
    EXPECT_EQ("<none>", FirstFound(root + "missing\\x", &error));
    EXPECT_EQ((DWORD)ERROR_PATH_NOT_FOUND, error);
}

TEST_F(FullPathTest, ShortNamesFindTheLongStoredName) {
    SIMULATION_ONLY("Wine generates no short 8.3 names");
#ifdef KESTREL_SIM
    ASSERT_TRUE(CreateDirectoryA(Path("Program Files").c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(Path("Program Files\\Long Name.text"), "x"));
    ASSERT_TRUE(SimSetShortName(Path("Program Files").c_str(), "PROGRA~1"));
    ASSERT_TRUE(SimSetShortName(Path("Program Files\\Long Name.text").c_str(), "LONGNA~1.TEX"));
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(Path("progra~1").c_str(), &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    FindClose(h);
    EXPECT_STREQ("Program Files", data.cFileName);
    EXPECT_STREQ("PROGRA~1", data.cAlternateFileName);
    EXPECT_EQ("Long Name.text", FirstFound(Path("PROGRA~1\\LONGNA~1.TEX")));
    EXPECT_EQ("Long Name.text", FirstFound(Path("PROGRA~1\\*.TEX"))) << "the short name matches the pattern";
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Path("PROGRA~1\\LONGNA~1.TEX").c_str()));
    // The full path keeps the short names as written.
    EXPECT_EQ(Expect(Path("PROGRA~1\\x"), "x"), FullOf(Path("PROGRA~1\\x")));
#endif
}
