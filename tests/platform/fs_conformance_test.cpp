// The Win32 file calls that KESTREL relies on, with the same expectations on the simulated
// Windows and on Wine's real file system.
#include "tree.h"
#include <cstring>
#include <sys/stat.h>
#include <atomic>
#include <thread>
#include <algorithm>
#include <vector>

// Poisons the last error before a call, so that a call that forgets to set it is caught.
#define POISON() SetLastError(0xdeadbeef)

class FileCalls : public PlatformTest {};

TEST_F(FileCalls, AttributesOfFoldersFilesAndMissingEntries) {
    ASSERT_EQ("", BuildTree(root, "dir\\\n dir\\file.txt text=\"abc\"\n"));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesA(Path("dir").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    DWORD a = GetFileAttributesA(Path("dir\\file.txt").c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, a);
    EXPECT_EQ(0u, a & FILE_ATTRIBUTE_DIRECTORY);
    // Look-ups ignore ASCII case.
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Path("DIR\\FILE.TXT").c_str()));
    POISON();
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Path("dir\\none.txt").c_str()));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
    POISON();
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Path("none\\file.txt").c_str()));
    EXPECT_EQ((DWORD)ERROR_PATH_NOT_FOUND, GetLastError());
    // A folder's attributes with and without a trailing separator.
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Path("dir\\").c_str()));
    POISON();
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Path("dir\\file.txt\\").c_str()));
    EXPECT_EQ((DWORD)ERROR_PATH_NOT_FOUND, GetLastError()) << "a file named as a folder";
    POISON();
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Path("dir\\file.txt\\x").c_str()));
    EXPECT_EQ((DWORD)ERROR_PATH_NOT_FOUND, GetLastError()) << "a path through a file";
    POISON();
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Path("dir\\*").c_str()));
    EXPECT_EQ((DWORD)ERROR_INVALID_NAME, GetLastError()) << "wildcards are not names";
    // Trailing dots are dropped from the last name.
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Path("dir\\file.txt.").c_str()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\"));
    EXPECT_TRUE(GetFileAttributesA("C:\\") & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(FileCalls, SetAttributesStoresReadOnlyHiddenSystem) {
    ASSERT_EQ("", BuildTree(root, "f.txt text=\"x\"\nd\\\n"));
    std::string f = Path("f.txt");
    DWORD rhs = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(SetFileAttributesA(f.c_str(), rhs));
    EXPECT_EQ(rhs, GetFileAttributesA(f.c_str()) & rhs);
    // FILE_ATTRIBUTE_NORMAL clears them; the folder bit cannot be set on a file.
    ASSERT_TRUE(SetFileAttributesA(f.c_str(), FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(0u, GetFileAttributesA(f.c_str()) & (rhs | FILE_ATTRIBUTE_DIRECTORY));
    ASSERT_TRUE(SetFileAttributesA(Path("d").c_str(), FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ((DWORD)(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY),
              GetFileAttributesA(Path("d").c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY));
    POISON();
    EXPECT_FALSE(SetFileAttributesA(Path("none").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
}

TEST_F(FileCalls, ArchiveBitCanBeCleared) {
    SIMULATION_ONLY("files always report FILE_ATTRIBUTE_ARCHIVE and it cannot be cleared");
    ASSERT_EQ("", BuildTree(root, "f.txt text=\"x\"\n"));
    EXPECT_TRUE(GetFileAttributesA(Path("f.txt").c_str()) & FILE_ATTRIBUTE_ARCHIVE) << "new files are marked for archiving";
    ASSERT_TRUE(SetFileAttributesA(Path("f.txt").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_NORMAL, GetFileAttributesA(Path("f.txt").c_str()));
}

TEST_F(FileCalls, CompressedEncryptedTemporaryNotIndexedAreKept) {
    SIMULATION_ONLY("cannot store compressed, encrypted, temporary or not-indexed");
    ASSERT_EQ("", BuildTree(root, "c.txt attr=C\ne.txt attr=E\nt.txt attr=T\nn.txt attr=N\nd\\ attr=CE\n"));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_COMPRESSED, GetFileAttributesA(Path("c.txt").c_str()));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_ENCRYPTED, GetFileAttributesA(Path("e.txt").c_str()));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_TEMPORARY, GetFileAttributesA(Path("t.txt").c_str()));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_NOT_CONTENT_INDEXED, GetFileAttributesA(Path("n.txt").c_str()));
    // SetFileAttributesA neither sets nor clears compression and encryption; new entries take
    // them from their folder.
    ASSERT_TRUE(SetFileAttributesA(Path("c.txt").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_COMPRESSED, GetFileAttributesA(Path("c.txt").c_str()));
    ASSERT_TRUE(CreateDirectoryA(Path("d\\sub").c_str(), nullptr));
    EXPECT_EQ((DWORD)(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_ENCRYPTED),
              GetFileAttributesA(Path("d\\sub").c_str()));
}

// The names a listing returns, in order, without "." and "..".
static std::string List(const std::string &pattern, DWORD *error = nullptr, bool *dots = nullptr) {
    WIN32_FIND_DATAA fd;
    memset(&fd, 0xdd, sizeof fd);
    POISON();
    HANDLE h = FindFirstFileA(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) {
        if (error) *error = GetLastError();
        return "<none>";
    }
    std::string names;
    int dotCount = 0;
    do {
        if (!strcmp(fd.cFileName, ".") || !strcmp(fd.cFileName, "..")) {
            dotCount++;
            continue;
        }
        names += std::string(fd.cFileName) + ";";
    } while (FindNextFileA(h, &fd));
    if (error) *error = GetLastError();
    EXPECT_TRUE(FindClose(h));
    if (dots) *dots = dotCount == 2;
    return names;
}

// Listings come in the file system's order; sort the names to compare them.
static std::string Sorted(std::string list) {
    std::vector<std::string> v;
    size_t at = 0, semi;
    while ((semi = list.find(';', at)) != std::string::npos) {
        v.push_back(list.substr(at, semi - at));
        at = semi + 1;
    }
    std::sort(v.begin(), v.end());
    std::string out;
    for (auto &s : v) out += s + ";";
    return out;
}

TEST_F(FileCalls, ListingsWithPatterns) {
    ASSERT_EQ("", BuildTree(root, "d\\Alpha.TXT text=\"1\"\nd\\beta.txt\nd\\gamma.doc\nd\\Sub\\\nd\\表.txt\n"));
    DWORD error = 0;
    bool dots = false;
    EXPECT_EQ("Alpha.TXT;Sub;beta.txt;gamma.doc;表.txt;", Sorted(List(Path("d\\*"), &error, &dots)));
    EXPECT_EQ((DWORD)ERROR_NO_MORE_FILES, error) << "the listing ends with ERROR_NO_MORE_FILES";
    EXPECT_TRUE(dots) << "a folder that is not a root lists . and ..";
    EXPECT_EQ("Alpha.TXT;beta.txt;表.txt;", Sorted(List(Path("d\\*.txt"))));
    EXPECT_EQ("Sub;", List(Path("d\\s?b")));
    // Without wildcards the entry itself is found, with its stored name.
    EXPECT_EQ("Sub;", List(Path("d\\SUB")));
    EXPECT_EQ("<none>", List(Path("d\\*.xls"), &error));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, error);
    EXPECT_EQ("<none>", List(Path("none\\*"), &error));
    EXPECT_EQ((DWORD)ERROR_PATH_NOT_FOUND, error);
    EXPECT_EQ("<none>", List(Path("d\\"), &error));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, error) << "a pattern ending in a separator finds nothing";
    EXPECT_EQ("<none>", List(Path("d\\beta.txt\\*"), &error));
    EXPECT_EQ((DWORD)ERROR_INVALID_NAME, error) << "listing a file as a folder";
}

// Many stars against a long name are answered at once (a matcher that tries every split would
// take minutes here).
TEST_F(FileCalls, ListingsWithManyStars) {
    std::string name = std::string(119, 'a') + "c";
    ASSERT_TRUE(WriteWholeFile(Path(name), ""));
    EXPECT_EQ("<none>", List(Path("*a*a*a*a*a*b")));
    EXPECT_EQ(name + ";", List(Path("*a*a*a*a*a*c")));
    EXPECT_EQ(name + ";", List(Path("*a*a*a*a*a*")));
}

TEST_F(FileCalls, ListingReportsSizesTimesAndFolders) {
    ASSERT_EQ("", BuildTree(root, "f.bin size=1000 time=1600000000\nsub\\\n"));
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(Path("f.bin").c_str(), &fd);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_EQ(1000u, fd.nFileSizeLow);
    EXPECT_EQ(0u, fd.nFileSizeHigh);
    uint64_t ft = ((uint64_t)fd.ftLastWriteTime.dwHighDateTime << 32) | fd.ftLastWriteTime.dwLowDateTime;
    EXPECT_EQ((1600000000ull + 11644473600ull) * 10000000ull, ft);
    if (ON_SIMULATION) { // Wine reports the write time as the creation time
        EXPECT_NE(ft, ((uint64_t)fd.ftCreationTime.dwHighDateTime << 32) | fd.ftCreationTime.dwLowDateTime)
            << "made now, written in 2020: a listing keeps both times";
    }
    FindClose(h);
    h = FindFirstFileA(Path("sub").c_str(), &fd);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_TRUE(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    FindClose(h);
}

TEST_F(FileCalls, StatGivesSizeAndTime) {
    ASSERT_EQ("", BuildTree(root, "f.bin size=12345 time=1600000001\nlate.bin size=1 time=4102444800\n"));
    struct _stat64 st;
    memset(&st, 0xdd, sizeof st);
    ASSERT_EQ(0, _stat64(Path("f.bin").c_str(), &st));
    EXPECT_EQ(12345, st.st_size);
    EXPECT_EQ(1600000001, st.st_mtime);
    // Times after 2038 keep their value in 64 bits.
    ASSERT_EQ(0, _stat64(Path("late.bin").c_str(), &st));
    EXPECT_EQ(4102444800LL, st.st_mtime);
    EXPECT_NE(0, _stat64(Path("none.bin").c_str(), &st));
}

TEST_F(FileCalls, SizesAbove4GiB) {
    // Wine makes the file sparse, so this costs no disk space there either.
    ASSERT_EQ("", BuildTree(root, "big.bin size=5000000000\n"));
    struct _stat64 st;
    ASSERT_EQ(0, _stat64(Path("big.bin").c_str(), &st));
    EXPECT_EQ(5000000000LL, st.st_size);
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(Path("big.bin").c_str(), &fd);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_EQ(1u, fd.nFileSizeHigh);
    EXPECT_EQ((DWORD)(5000000000ull & 0xFFFFFFFF), fd.nFileSizeLow);
    FindClose(h);
}

TEST_F(FileCalls, CreateDirectory) {
    ASSERT_EQ("", BuildTree(root, "f.txt\n"));
    EXPECT_TRUE(CreateDirectoryA(Path("new").c_str(), nullptr));
    POISON();
    EXPECT_FALSE(CreateDirectoryA(Path("new").c_str(), nullptr));
    EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, GetLastError());
    POISON();
    EXPECT_FALSE(CreateDirectoryA(Path("f.txt").c_str(), nullptr));
    EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, GetLastError()) << "a file of that name counts as existing";
    POISON();
    EXPECT_FALSE(CreateDirectoryA("C:\\", nullptr));
    EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, GetLastError());
    POISON();
    EXPECT_FALSE(CreateDirectoryA(Path("f.txt\\sub").c_str(), nullptr));
    EXPECT_EQ((DWORD)ERROR_PATH_NOT_FOUND, GetLastError());
    POISON();
    EXPECT_FALSE(CreateDirectoryA(Path("none\\new").c_str(), nullptr));
    EXPECT_EQ((DWORD)ERROR_PATH_NOT_FOUND, GetLastError());
    // A read-only folder still takes new entries.
    ASSERT_TRUE(SetFileAttributesA(Path("new").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(CreateDirectoryA(Path("new\\inner").c_str(), nullptr));
    SetFileAttributesA(Path("new").c_str(), FILE_ATTRIBUTE_NORMAL);
    // A new folder's full path takes at most 247 units: room for an 8.3 name below it.
    std::string edge = root + std::string(247 - root.size(), 'e');
    EXPECT_TRUE(CreateDirectoryA(edge.c_str(), nullptr));
    SIMULATION_ONLY("Wine makes longer folders");
    POISON();
    EXPECT_FALSE(CreateDirectoryA((edge + "f").c_str(), nullptr));
    EXPECT_EQ((DWORD)ERROR_FILENAME_EXCED_RANGE, GetLastError());
}

TEST_F(FileCalls, CopyFileCopiesDataTimeAndAttributes) {
    ASSERT_EQ("", BuildTree(root, "src.txt text=\"hello\" time=1500000000 attr=H\nold.txt text=\"old\"\nd\\\n"));
    ASSERT_TRUE(CopyFileA(Path("src.txt").c_str(), Path("copy.txt").c_str(), FALSE));
    EXPECT_EQ("hello", ReadWholeFile(Path("copy.txt")));
    EXPECT_TRUE(GetFileAttributesA(Path("copy.txt").c_str()) & FILE_ATTRIBUTE_HIDDEN);
    struct _stat64 st;
    ASSERT_EQ(0, _stat64(Path("copy.txt").c_str(), &st));
    EXPECT_EQ(1500000000, st.st_mtime);
    // Overwriting is allowed unless the caller says otherwise.
    ASSERT_TRUE(CopyFileA(Path("src.txt").c_str(), Path("old.txt").c_str(), FALSE));
    EXPECT_EQ("hello", ReadWholeFile(Path("old.txt")));
    POISON();
    EXPECT_FALSE(CopyFileA(Path("src.txt").c_str(), Path("old.txt").c_str(), TRUE));
    EXPECT_EQ((DWORD)ERROR_FILE_EXISTS, GetLastError());
    POISON();
    EXPECT_FALSE(CopyFileA(Path("none.txt").c_str(), Path("x.txt").c_str(), FALSE));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
    POISON();
    EXPECT_FALSE(CopyFileA(Path("src.txt").c_str(), Path("none\\x.txt").c_str(), FALSE));
    EXPECT_EQ((DWORD)ERROR_PATH_NOT_FOUND, GetLastError());
    POISON();
    EXPECT_FALSE(CopyFileA(Path("src.txt").c_str(), Path("src.txt").c_str(), FALSE));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError()) << "a file copied onto itself";
    EXPECT_EQ("hello", ReadWholeFile(Path("src.txt")));
    POISON();
    EXPECT_FALSE(CopyFileA(Path("src.txt").c_str(), Path("d").c_str(), FALSE));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError()) << "a folder is in the way";
}

TEST_F(FileCalls, CopyFileRefusesReadOnlyAndHiddenDestinations) {
    SIMULATION_ONLY("CopyFileA overwrites hidden and read-only files that Windows refuses");
    ASSERT_EQ("", BuildTree(root, "src.txt text=\"new\"\nro.txt text=\"ro\" attr=R\nh.txt text=\"h\" attr=H\n"));
    POISON();
    EXPECT_FALSE(CopyFileA(Path("src.txt").c_str(), Path("ro.txt").c_str(), FALSE));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    POISON();
    EXPECT_FALSE(CopyFileA(Path("src.txt").c_str(), Path("h.txt").c_str(), FALSE));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ("ro", ReadWholeFile(Path("ro.txt")));
    EXPECT_EQ("h", ReadWholeFile(Path("h.txt")));
}

TEST_F(FileCalls, ExclusiveOpenMakesSharingViolations) {
    ASSERT_EQ("", BuildTree(root, "f.txt text=\"data\"\n"));
    std::string f = Path("f.txt");
    HANDLE held = CreateFileA(f.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    POISON();
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(f.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    POISON();
    EXPECT_FALSE(CopyFileA(f.c_str(), Path("g.txt").c_str(), FALSE));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    // Attributes can still be read while the entry is held.
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(f.c_str()));
    CloseHandle(held);
    HANDLE again = CreateFileA(f.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, again);
    CloseHandle(again);
}

TEST_F(FileCalls, OverlongPathsAreRefused) {
    std::string longPath = root + std::string(300 - root.size(), 'a');
    POISON();
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(longPath.c_str()));
    EXPECT_EQ((DWORD)ERROR_FILENAME_EXCED_RANGE, GetLastError());
}

// Without "\\?\" a new folder takes at most 247 units and any other path 259; after it the path
// has no such limit and goes to the file system as it is: ".." is not resolved, "/" is no separator.
TEST_F(FileCalls, PathsAfterTheLongPrefix) {
    std::string folder = root + std::string(248 - root.size(), 'f'), deep = folder + "\\" + std::string(100, 'g');
    std::basic_string<WCHAR> prefix = LayoutWide("\\\\?\\");
    if (ON_SIMULATION) { // Wine does not keep the 248-unit limit of a new folder
        POISON();
        EXPECT_FALSE(CreateDirectoryW(LayoutWide(folder).c_str(), nullptr));
        EXPECT_EQ((DWORD)ERROR_FILENAME_EXCED_RANGE, GetLastError());
    }
    ASSERT_TRUE(CreateDirectoryW((prefix + LayoutWide(folder)).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((prefix + LayoutWide(deep)).c_str(), nullptr));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesW((prefix + LayoutWide(deep)).c_str()));
    if (ON_SIMULATION) { // Wine takes long paths without the prefix too
        POISON();
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(LayoutWide(deep).c_str()));
        EXPECT_EQ((DWORD)ERROR_FILENAME_EXCED_RANGE, GetLastError());
    }
    const struct {
        std::string path;
        DWORD error;
    } refused[] = {{deep + "\\..\\" + std::string(100, 'g'), ERROR_INVALID_NAME},
                   {folder + "/" + std::string(100, 'g'), ERROR_INVALID_NAME}};
    for (const auto &row : refused) {
        POISON();
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((prefix + LayoutWide(row.path)).c_str())) << row.path;
        EXPECT_EQ(row.error, GetLastError()) << row.path;
    }
    // The full path of a long path, without the prefix, is the path itself.
    std::basic_string<WCHAR> full(400, 0);
    EXPECT_EQ((DWORD)deep.size(), GetFullPathNameW(LayoutWide(deep).c_str(), 400, &full[0], nullptr));
    EXPECT_EQ(deep, LayoutText(full.c_str()));
}

TEST_F(FileCalls, FullPathNames) {
    char buf[MAX_PATH];
    char *part = (char *)0xdd;
    std::string folder = root.substr(0, root.size() - 1);
    ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
    DWORD n = GetFullPathNameA("a\\b.txt", sizeof buf, buf, &part);
    EXPECT_EQ(root + "a\\b.txt", std::string(buf));
    EXPECT_EQ(n, (DWORD)strlen(buf));
    EXPECT_STREQ("b.txt", part);
    GetFullPathNameA("a\\..\\c\\.\\d", sizeof buf, buf, &part);
    EXPECT_EQ(root + "c\\d", std::string(buf));
    GetFullPathNameA("a\\", sizeof buf, buf, &part);
    EXPECT_EQ(root + "a\\", std::string(buf));
    EXPECT_EQ(nullptr, part) << "a path ending in a separator has no file part";
    GetFullPathNameA("C:\\x\\..\\..\\y", sizeof buf, buf, &part);
    EXPECT_STREQ("C:\\y", buf);
    GetFullPathNameA("\\top", sizeof buf, buf, &part);
    EXPECT_STREQ("C:\\top", buf) << "a leading separator is the current drive's root";
    GetFullPathNameA("C:\\表\\ソ", sizeof buf, buf, &part);
    EXPECT_STREQ("C:\\表\\ソ", buf);
    EXPECT_STREQ("ソ", part) << "trail bytes 0x5C are not separators";
    // Too small a buffer: the size needed, terminator included.
    char small[4];
    EXPECT_EQ((DWORD)strlen("C:\\long\\name") + 1, GetFullPathNameA("C:\\long\\name", sizeof small, small, &part));
    SetCurrentDirectoryA("C:\\");
}

TEST_F(FileCalls, TreesRoundTrip) {
    ASSERT_EQ("", BuildTree(root, "b\\x.txt text=\"xx\" attr=R\nA\\\nA\\y.bin text=\"abc\"\nc.txt attr=HS\n"));
    EXPECT_EQ("A\\ attr=\n"
              "A\\y.bin attr= size=3 text=\"abc\"\n"
              "b\\ attr=\n"
              "b\\x.txt attr=R size=2 text=\"xx\"\n"
              "c.txt attr=HS size=0\n",
              ReadTree(root, FILE_ATTRIBUTE_ARCHIVE));
}

TEST(WineSetup, AnsiCodePageIs932) {
#ifdef KESTREL_SIM
    GTEST_SKIP() << "the simulation's text is code page 932 bytes by construction";
#else
    // The test prefix runs with LANG=ja_JP.UTF-8; without it the Japanese names above would be
    // converted through another code page.
    EXPECT_EQ(932u, GetACP());
#endif
}

TEST_F(FileCalls, ListingOrderIsStable) {
    SIMULATION_ONLY("Wine lists in the order of the host's file system");
    ASSERT_EQ("", BuildTree(root, "b.txt\nA.txt\nc\\\n_x\nB2.txt\n"));
    // The simulation lists as NTFS does: by name, ASCII case ignored.
    EXPECT_EQ("A.txt;b.txt;B2.txt;c;_x;", List(Path("*")));
}

TEST(LastError, IsKeptPerThread) {
    // The two threads take turns through atomics only, so no other call touches the codes.
    std::atomic<int> step{0};
    DWORD seen = 0;
    std::thread other([&] {
        SetLastError(42);
        step = 1;
        while (step != 2) {
        }
        seen = GetLastError();
        step = 3;
    });
    while (step != 1) {
    }
    SetLastError(1234);
    step = 2;
    while (step != 3) {
    }
    EXPECT_EQ(1234u, GetLastError());
    other.join();
    EXPECT_EQ(42u, seen);
}
