// Path kinds and roots, root folders, names as stored on disk, and the resolution of source
// words with the records of the words that are refused.
#include "copylog.h"
#include "log_lines.h"
#include "paths.h"
#include "tests/support/tree.h"
#include <cstring>
#include <string>

using Lines = std::vector<std::string>;

static const char INVALID[] = "パス名が不正です。";
static const char ROOT_REFUSED[] = "ルートフォルダは指定できません。";

// ---- SplitPathRoot ----

struct Split {
    int kind;
    std::string root, rest;
    bool operator==(const Split &o) const { return kind == o.kind && root == o.root && rest == o.rest; }
};
static std::ostream &operator<<(std::ostream &os, const Split &s) {
    return os << "{" << std::hex << s.kind << std::dec << ", \"" << s.root << "\", \"" << s.rest << "\"}";
}

// Poisons the outputs, so that a failure that writes them, or a success that forgets the
// terminator, shows.
static Split SplitOf(const std::string &path) {
    char root[MAX_PATH], rest[MAX_PATH];
    memset(root, 0xdd, sizeof root);
    memset(rest, 0xdd, sizeof rest);
    root[MAX_PATH - 1] = rest[MAX_PATH - 1] = 0;
    SetLastError(0xdeadbeef);
    int kind = SplitPathRoot(path.c_str(), root, rest);
    if (kind < 0) {
        EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, GetLastError()) << path;
        EXPECT_EQ((unsigned char)0xdd, (unsigned char)root[0]) << "a failure wrote the root";
        EXPECT_EQ((unsigned char)0xdd, (unsigned char)rest[0]) << "a failure wrote the rest";
        return {kind, "", ""};
    }
    return {kind, root, rest};
}

TEST(SplitPathRoot, KindsRootsAndRests) {
    EXPECT_EQ((Split{PATH_KIND_NETWORK, "\\\\server\\share", ""}), SplitOf("\\\\server\\share"));
    EXPECT_EQ((Split{PATH_KIND_NETWORK, "\\\\server\\share", "\\"}), SplitOf("\\\\server\\share\\"));
    EXPECT_EQ((Split{PATH_KIND_NETWORK, "\\\\server\\share", "\\dir\\x.txt"}), SplitOf("\\\\server\\share\\dir\\x.txt"));
    // A backslash after the server name and nothing more: the whole path is the root.
    EXPECT_EQ((Split{PATH_KIND_NETWORK, "\\\\server\\", ""}), SplitOf("\\\\server\\"));
    EXPECT_EQ((Split{PATH_KIND_DRIVE, "C:", "\\DATA"}), SplitOf("C:\\DATA"));
    EXPECT_EQ((Split{PATH_KIND_DRIVE, "c:", "\\"}), SplitOf("c:\\"));
    EXPECT_EQ((Split{PATH_KIND_DRIVE, "C:", ""}), SplitOf("C:"));
    EXPECT_EQ((Split{PATH_KIND_DRIVE, "C:", "data"}), SplitOf("C:data"));
    EXPECT_EQ((Split{PATH_KIND_DRIVE, "1:", "\\x"}), SplitOf("1:\\x")) << "the drive byte is not checked";
    EXPECT_EQ((Split{PATH_KIND_ROOTED, "", "\\"}), SplitOf("\\"));
    EXPECT_EQ((Split{PATH_KIND_ROOTED, "", "\\DATA\\x"}), SplitOf("\\DATA\\x"));
    EXPECT_EQ((Split{PATH_KIND_RELATIVE, "", "DATA\\x"}), SplitOf("DATA\\x"));
    EXPECT_EQ((Split{PATH_KIND_RELATIVE, "", "."}), SplitOf("."));
}

TEST(SplitPathRoot, Failures) {
    EXPECT_EQ((Split{SPLIT_PATH_NO_SHARE, "", ""}), SplitOf("\\\\server"));
    EXPECT_EQ((Split{SPLIT_PATH_NO_SHARE, "", ""}), SplitOf("\\\\"));
    EXPECT_EQ((Split{SPLIT_PATH_BAD_LENGTH, "", ""}), SplitOf(""));
    EXPECT_EQ((Split{SPLIT_PATH_BAD_LENGTH, "", ""}), SplitOf("C:\\" + std::string(257, 'a'))); // 260 bytes
    EXPECT_EQ(PATH_KIND_DRIVE, SplitOf("C:\\" + std::string(256, 'a')).kind);                     // 259 bytes
    char root[MAX_PATH], rest[MAX_PATH];
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SPLIT_PATH_BAD_LENGTH, SplitPathRoot(nullptr, root, rest));
    EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, GetLastError());
    EXPECT_LT(SPLIT_PATH_NO_SHARE, 0) << "callers test the sign";
}

TEST(SplitPathRoot, TrailBytesAreNeverSeparatorsOrColons) {
    // "ソ" is 0x83 0x5C: its trail byte is no backslash.
    const std::string so = "ソ";
    ASSERT_EQ("\x83\x5C", so);
    EXPECT_EQ((Split{PATH_KIND_NETWORK, "\\\\" + so + "\\share", "\\x"}), SplitOf("\\\\" + so + "\\share\\x"));
    EXPECT_EQ((Split{SPLIT_PATH_NO_SHARE, "", ""}), SplitOf("\\\\srv" + so)) << "no backslash after the server";
    EXPECT_EQ((Split{PATH_KIND_NETWORK, "\\\\srv\\" + so, ""}), SplitOf("\\\\srv\\" + so));
    // A lead byte followed by ':' is one double-byte character, not a drive.
    EXPECT_EQ((Split{PATH_KIND_RELATIVE, "", "\x81:x"}), SplitOf("\x81:x"));
    EXPECT_EQ((Split{PATH_KIND_RELATIVE, "", so + "\\x"}), SplitOf(so + "\\x"));
}

// ---- the primitives on a real file system ----

// A fresh platform with the current folder kept and restored, and empty log documents.
class PathsTest : public PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        ASSERT_NE(0u, GetCurrentDirectoryA(sizeof savedFolder, savedFolder));
        g_runConf = 0x5; // errors and warnings only: every record of these tests is an error
        ResetCopyLog();
        ResetMissingList();
    }
    void TearDown() override {
        SetCurrentDirectoryA(savedFolder);
        PlatformTest::TearDown();
    }
    void EnterFolder(const std::string &path) {
        ASSERT_TRUE(SetCurrentDirectoryA(path.c_str())) << path << " error " << GetLastError();
    }
    std::string Drive() const { return root.substr(0, 2); }
    char savedFolder[MAX_PATH];
};

TEST_F(PathsTest, IsRootFolderOfDrivesSharesAndFolders) {
    EXPECT_EQ(1, IsRootFolder((Drive() + "\\").c_str()));
    EXPECT_EQ(1, IsRootFolder("\\")) << "the root of the current drive";
    EXPECT_EQ(1, IsRootFolder("\\\\server\\share"));
    EXPECT_EQ(1, IsRootFolder("\\\\server\\share\\"));
    EXPECT_EQ(1, IsRootFolder("\\\\server\\share\\dir\\.."));
    EXPECT_EQ(0, IsRootFolder("\\\\server\\share\\dir"));
    EXPECT_EQ(0, IsRootFolder(root.c_str()));
    EXPECT_EQ(0, IsRootFolder(Path("missing").c_str())) << "existence is not tested";
    EnterFolder(root);
    EXPECT_EQ(0, IsRootFolder("x"));
    EXPECT_EQ(1, IsRootFolder((Drive() + "..\\..\\..\\..\\..\\..").c_str()));
}

TEST_F(PathsTest, IsRootFolderFailures) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(ROOT_SPLIT_NO_SHARE, IsRootFolder("\\\\server")) << "no share part";
    EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, GetLastError());
    EXPECT_EQ(ROOT_FULL_PATH_FAILED, IsRootFolder(""));
    // A full path that does not fit 260 bytes: GetFullPathNameA gives back the size it needs (or,
    // on Wine, fails) and writes nothing usable.
    EnterFolder(root);
    std::string name(250, 'a');
    EXPECT_EQ(ROOT_FULL_PATH_FAILED, IsRootFolder(name.c_str()));
    EXPECT_EQ(0x80000012u, (unsigned)ROOT_SPLIT_BAD_LENGTH);
    EXPECT_EQ(0x80000022u, (unsigned)ROOT_SPLIT_NO_SHARE);
}

static std::string Canonical(const std::string &path, int *result = nullptr) {
    char out[MAX_PATH];
    memset(out, 0xdd, sizeof out);
    int r = CanonicalizePath(path.c_str(), out);
    if (result) *result = r;
    if (r != 0) {
        EXPECT_EQ((unsigned char)0xdd, (unsigned char)out[0]) << "a failure wrote the output";
        return "<fail>";
    }
    return out;
}

TEST_F(PathsTest, CanonicalizePathTakesStoredNamesAndKeepsTheShape) {
    ASSERT_EQ("", BuildTree(root, "Data\\X.txt text=\"x\"\nData\\Sub\\\n"));
    std::string base = Canonical(root);
    ASSERT_NE("<fail>", base);
    ASSERT_EQ('\\', base.back());
    if (ON_SIMULATION) {
        EXPECT_EQ(root, base);
    }
    // The root is upper-cased; every component takes its stored case; ".." stays.
    std::string lower = root;
    for (char &c : lower) c = (char)tolower((unsigned char)c);
    EXPECT_EQ(base + "Data\\..\\Data\\X.txt", Canonical(lower + "data\\..\\data\\x.txt"));
    EXPECT_EQ(base + "Data\\.\\Sub\\", Canonical(root + "DATA\\.\\SUB\\")) << "a trailing backslash stays";
    EXPECT_EQ(base + "Data\\\\Sub", Canonical(root + "data\\\\sub")) << "an empty component stays";
    EXPECT_EQ(base + "Data\\X.txt", Canonical(root + "data\\*.TXT")) << "a wildcard takes the first match";
    // Relative stays relative.
    EnterFolder(root);
    EXPECT_EQ("Data\\X.txt", Canonical("DATA\\x.TXT"));
    EXPECT_EQ(".\\Data", Canonical(".\\data"));
    EXPECT_EQ(Drive() + "Data\\Sub", Canonical(Drive() + "data\\sub")) << "drive-relative";
}

TEST_F(PathsTest, CanonicalizePathFailures) {
    ASSERT_EQ("", BuildTree(root, "Data\\X.txt\ncaf{E9}.txt\n"));
    int r = 0;
    // A name that code page 932 cannot hold has no spelling: its substitute names another entry.
    SetLastError(0xdeadbeef);
    EXPECT_EQ("<fail>", Canonical(root + "caf?.txt", &r));
    EXPECT_EQ(CANON_NOT_FOUND, r);
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_EQ("<fail>", Canonical(root + "data\\nothing\\x.txt", &r));
    EXPECT_EQ(CANON_NOT_FOUND, r);
    EXPECT_EQ("<fail>", Canonical(root + "data\\nothing", &r));
    EXPECT_EQ(CANON_NOT_FOUND, r);
    EXPECT_EQ("<fail>", Canonical("\\\\server", &r));
    EXPECT_EQ(CANON_SPLIT_NO_SHARE, r);
    EXPECT_EQ(0x80000021u, (unsigned)r);
    EXPECT_EQ("<fail>", Canonical("", &r));
    EXPECT_EQ(CANON_SPLIT_BAD_LENGTH, r);
    EXPECT_EQ(0x80000011u, (unsigned)r);
}

TEST_F(PathsTest, CanonicalizePathOfDoubleByteNames) {
    // "ソフト" holds the byte 0x5C as a trail byte.
    ASSERT_EQ("", BuildTree(root, "ソフト\\表.txt\n"));
    std::string base = Canonical(root);
    EXPECT_EQ(base + "ソフト\\表.txt", Canonical(root + "ソフト\\表.TXT"));
}

TEST_F(PathsTest, CanonicalizePathGivesLongNamesForShortNames) {
    SIMULATION_ONLY("Wine generates no short 8.3 names");
#ifdef KESTREL_SIM
    ASSERT_TRUE(CreateDirectoryA(Path("Program Files Long").c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(Path("Program Files Long\\Read Me.txt"), "x"));
    ASSERT_TRUE(SimSetShortName(Path("Program Files Long").c_str(), "PROGRA~1"));
    ASSERT_TRUE(SimSetShortName(Path("Program Files Long\\Read Me.txt").c_str(), "README~1.TXT"));
    EXPECT_EQ(root + "Program Files Long\\Read Me.txt", Canonical(root + "progra~1\\README~1.TXT"));
#endif
}

TEST_F(PathsTest, CanonicalizePathRefusesAResultLongerThan259Bytes) {
    SIMULATION_ONLY("Wine generates no short 8.3 names");
#ifdef KESTREL_SIM
    // Written with its short name the path fits; with the long stored name it would not.
    std::string longName(250 - root.size(), 'L');
    ASSERT_EQ("", BuildTree(root, (longName + "\\").c_str()));
    ASSERT_TRUE(SimSetShortName(Path(longName).c_str(), "LLLLLL~1"));
    ASSERT_TRUE(CreateDirectoryA(Path("LLLLLL~1\\inner-folder").c_str(), nullptr));
    int r = 0;
    SetLastError(0xdeadbeef);
    ASSERT_EQ("<fail>", Canonical(Path("LLLLLL~1\\inner-folder"), &r));
    EXPECT_EQ(CANON_TOO_LONG, r);
    EXPECT_EQ((DWORD)ERROR_FILENAME_EXCED_RANGE, GetLastError());
    EXPECT_EQ(root + longName, Canonical(Path("LLLLLL~1"))) << "the long name alone still fits";
    // The scratch folder's deletion goes by long names: take the inner folder away by its short one.
    EXPECT_TRUE(RemoveDirectoryA(Path("LLLLLL~1\\inner-folder").c_str()));
#endif
}

TEST_F(PathsTest, FindEntryNameGivesTheStoredNameOfTheFirstMatch) {
    ASSERT_EQ("", BuildTree(root, "Data\\X.txt\nData\\notes.log\n"));
    char name[MAX_PATH];
    memset(name, 0xdd, sizeof name);
    EXPECT_EQ(0, FindEntryName(Path("DATA").c_str(), name));
    EXPECT_STREQ("Data", name);
    EXPECT_EQ(0, FindEntryName(Path("data\\x.TXT").c_str(), name));
    EXPECT_STREQ("X.txt", name);
    EXPECT_EQ(0, FindEntryName(Path("data\\*.txt").c_str(), name));
    EXPECT_STREQ("X.txt", name);
    EXPECT_EQ(-1, FindEntryName(Path("data\\missing").c_str(), name));
    EXPECT_EQ(-1, FindEntryName(Path("data\\").c_str(), name)) << "a trailing backslash finds nothing";
    EXPECT_EQ(-1, FindEntryName((Drive() + "\\").c_str(), name)) << "a root has no entry of its own";
}

// ---- source resolution ----

struct Resolved {
    int result;
    std::string parent, name;
};

static Resolved Resolve(const std::string &word) {
    char parent[MAX_PATH], name[MAX_PATH];
    memset(parent, 0xdd, sizeof parent);
    memset(name, 0xdd, sizeof name);
    int r = ResolveSource(word.c_str(), parent, name);
    if (r != 0) return {r, "", ""};
    return {r, parent, name};
}

TEST_F(PathsTest, AFolderResolvesToItsParentAndStoredName) {
    ASSERT_EQ("", BuildTree(root, "Data\\X.txt\n"));
    Resolved r = Resolve(Path("DATA"));
    EXPECT_EQ(0, r.result);
    EXPECT_EQ(root, r.parent) << "the parent ends in a backslash";
    EXPECT_EQ("Data", r.name);
    r = Resolve(Path("data\\x.TXT"));
    EXPECT_EQ(0, r.result);
    EXPECT_EQ(Path("data\\"), r.parent) << "the parent is the full path as typed";
    EXPECT_EQ("X.txt", r.name);
    EXPECT_EQ(Lines{}, LogLines()) << "a resolved source writes no record";
}

TEST_F(PathsTest, RelativeWordsResolveAgainstTheCurrentFolder) {
    ASSERT_EQ("", BuildTree(root, "Data\\Sub\\x.txt\n"));
    EnterFolder(Path("Data"));
    Resolved r = Resolve("sub");
    EXPECT_EQ(0, r.result);
    EXPECT_EQ(Path("Data\\"), r.parent);
    EXPECT_EQ("Sub", r.name);
    r = Resolve(".");
    EXPECT_EQ(0, r.result);
    EXPECT_EQ(root, r.parent);
    EXPECT_EQ("Data", r.name);
    r = Resolve("..\\data\\.\\SUB\\x.txt");
    EXPECT_EQ(0, r.result);
    EXPECT_EQ(Path("data\\SUB\\"), r.parent);
    EXPECT_EQ("x.txt", r.name);
}

TEST_F(PathsTest, RootFoldersAreRefused) {
    EnterFolder(root);
    std::string driveRoot = Drive() + "\\";
    EXPECT_EQ(RESOLVE_ROOT_FOLDER, Resolve(driveRoot).result);
    EXPECT_EQ(RESOLVE_ROOT_FOLDER, Resolve("\\").result);
    EXPECT_EQ(RESOLVE_ROOT_FOLDER, Resolve("\\\\server\\share").result);
    EXPECT_EQ(RESOLVE_ROOT_FOLDER, Resolve("\\\\server\\share\\").result);
    EXPECT_EQ((Lines{"X " + driveRoot + " " + ROOT_REFUSED, std::string("X \\ ") + ROOT_REFUSED,
                     std::string("X \\\\server\\share ") + ROOT_REFUSED,
                     std::string("X \\\\server\\share\\ ") + ROOT_REFUSED}),
              LogLines());
}

TEST_F(PathsTest, InvalidPathsAreRefusedWithTheWordAsTyped) {
    ASSERT_EQ("", BuildTree(root, "Data\\X.txt\n"));
    EXPECT_EQ(RESOLVE_ROOT_TEST_FAILED, Resolve("\\\\server").result) << "no share part";
    EXPECT_EQ(RESOLVE_NO_NAME, Resolve(Path("DATA\\")).result) << "a trailing backslash";
    EXPECT_EQ(RESOLVE_NOT_FOUND, Resolve(Path("missing")).result);
    EXPECT_EQ(RESOLVE_NOT_FOUND, Resolve(Path("missing\\deeper")).result);
    EXPECT_EQ(RESOLVE_FULL_PATH_FAILED, Resolve("").result);
    EXPECT_EQ((Lines{std::string("X \\\\server ") + INVALID, "X " + Path("DATA\\") + " " + INVALID,
                     "X " + Path("missing") + " " + INVALID, "X " + Path("missing\\deeper") + " " + INVALID,
                     std::string("X  ") + INVALID}),
              LogLines());
    // A refused word leaves the others alone.
    EXPECT_EQ(0, Resolve(Path("data")).result);
    EXPECT_EQ(5u, LogLines().size());
}

TEST_F(PathsTest, AFullPathLongerThan259BytesIsAnInvalidPathName) {
    EnterFolder(root);
    std::string word(258 - 1, 'a'); // short enough as typed, too long once the folder is added
    Resolved r = Resolve(word);
    EXPECT_LT(r.result, 0);
    if (ON_SIMULATION) {
        EXPECT_EQ(RESOLVE_FULL_PATH_TOO_LONG, r.result) << "the size needed came back";
    }
    EXPECT_EQ((Lines{"X " + word + " " + INVALID}), LogLines());
    // A word that is itself longer than 259 bytes (the sources field holds up to 4095).
    std::string typed = Drive() + "\\" + std::string(300, 'c');
    EXPECT_LT(Resolve(typed).result, 0);
    EXPECT_EQ((Lines{"X " + word + " " + INVALID, "X " + typed + " " + INVALID}), LogLines());
    // A full path of exactly 259 bytes fits.
    std::string fits(259 - root.size(), 'b');
    ASSERT_EQ("", BuildTree(root, (fits + "\\").c_str()));
    r = Resolve(fits);
    EXPECT_EQ(0, r.result);
    EXPECT_EQ(fits, r.name);
}

TEST_F(PathsTest, AWildcardWordTakesTheFirstEntryOfTheListing) {
    ASSERT_EQ("", BuildTree(root, "Data\\a.txt\nData\\b.TXT\nData\\c.log\n"));
    WIN32_FIND_DATAA first;
    HANDLE h = FindFirstFileA(Path("Data\\*.TXT").c_str(), &first);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    FindClose(h);
    Resolved r = Resolve(Path("DATA\\*.TXT"));
    EXPECT_EQ(0, r.result);
    EXPECT_EQ(Path("DATA\\"), r.parent);
    EXPECT_EQ(first.cFileName, r.name);
    if (ON_SIMULATION) {
        EXPECT_EQ("a.txt", r.name);
    }
    EXPECT_EQ(RESOLVE_NOT_FOUND, Resolve(Path("Data\\*.none")).result);
    // A word whose first entry is the folder itself or its parent is no source.
    EXPECT_EQ(RESOLVE_DOT_NAME, Resolve(Path("Data\\*")).result);
    EXPECT_EQ(RESOLVE_DOT_NAME, Resolve(Path("Data\\.?")).result);
}

TEST_F(PathsTest, AShortNameResolvesToTheLongStoredName) {
    SIMULATION_ONLY("Wine generates no short 8.3 names");
#ifdef KESTREL_SIM
    ASSERT_TRUE(CreateDirectoryA(Path("Program Files").c_str(), nullptr));
    ASSERT_TRUE(SimSetShortName(Path("Program Files").c_str(), "PROGRA~1"));
    Resolved r = Resolve(Path("PROGRA~1"));
    EXPECT_EQ(0, r.result);
    EXPECT_EQ(root, r.parent);
    EXPECT_EQ("Program Files", r.name);
#endif
}

TEST_F(PathsTest, DoubleByteNamesWithTrailByte5C) {
    ASSERT_EQ("", BuildTree(root, "ソ\\表.txt\n"));
    Resolved r = Resolve(Path("ソ"));
    EXPECT_EQ(0, r.result);
    EXPECT_EQ(root, r.parent);
    EXPECT_EQ("ソ", r.name);
    r = Resolve(Path("ソ\\表.txt"));
    EXPECT_EQ(0, r.result);
    EXPECT_EQ(Path("ソ\\"), r.parent);
    EXPECT_EQ("表.txt", r.name);
}
