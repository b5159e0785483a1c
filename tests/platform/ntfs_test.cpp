// Conformance of the compression control and file encryption: the simulation against Wine.
#include "tests/support/sim_api.h"

class NtfsTest : public PlatformTest {
  protected:
    DWORD Attr(const char *rel) { return GetFileAttributesA(Path(rel).c_str()); }
    HANDLE Open(const char *rel, DWORD access, DWORD flags) {
        return CreateFileA(Path(rel).c_str(), access, 0, nullptr, OPEN_EXISTING, flags, nullptr);
    }
    // The compression control on an open handle; the last error is poisoned first.
    BOOL Compress(HANDLE h, USHORT format, DWORD inSize = sizeof(USHORT)) {
        DWORD returned = 0xdddddddd;
        SetLastError(0xdeadbeef);
        return DeviceIoControl(h, FSCTL_SET_COMPRESSION, &format, inSize, nullptr, 0, &returned, nullptr);
    }
};

TEST_F(NtfsTest, AFolderOpensOnlyWithBackupSemantics) {
    ASSERT_EQ("", BuildTree(root, "d\\\n"));
    SetLastError(0xdeadbeef);
    HANDLE h = Open("d", GENERIC_READ | GENERIC_WRITE, 0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, h);
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    h = Open("d", GENERIC_READ | GENERIC_WRITE, FILE_FLAG_BACKUP_SEMANTICS);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
}

TEST_F(NtfsTest, SetCompressionOnFileAndFolderHandles) {
    ASSERT_EQ("", BuildTree(root, "d\\\nf.txt text=\"abc\"\n"));
    HANDLE f = Open("f.txt", GENERIC_READ | GENERIC_WRITE, 0);
    HANDLE d = Open("d", GENERIC_READ | GENERIC_WRITE, FILE_FLAG_BACKUP_SEMANTICS);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    ASSERT_NE(INVALID_HANDLE_VALUE, d);
    if (ON_SIMULATION) {
        EXPECT_TRUE(Compress(f, COMPRESSION_FORMAT_DEFAULT));
        EXPECT_TRUE(Compress(d, COMPRESSION_FORMAT_LZNT1));
        EXPECT_TRUE(Attr("f.txt") & FILE_ATTRIBUTE_COMPRESSED);
        EXPECT_TRUE(Attr("d") & FILE_ATTRIBUTE_COMPRESSED);
        EXPECT_TRUE(Compress(f, COMPRESSION_FORMAT_NONE));
        EXPECT_FALSE(Attr("f.txt") & FILE_ATTRIBUTE_COMPRESSED);
    } else {
        // Wine has no compression and says so.
        EXPECT_FALSE(Compress(f, COMPRESSION_FORMAT_DEFAULT));
        EXPECT_EQ((DWORD)ERROR_NOT_SUPPORTED, GetLastError());
        EXPECT_FALSE(Compress(d, COMPRESSION_FORMAT_DEFAULT));
        EXPECT_EQ((DWORD)ERROR_NOT_SUPPORTED, GetLastError());
    }
    CloseHandle(f);
    CloseHandle(d);
    EXPECT_EQ("abc", ReadWholeFile(Path("f.txt")));
}

TEST_F(NtfsTest, SetCompressionRefusals) {
    SIMULATION_ONLY("Wine refuses every compression control with ERROR_NOT_SUPPORTED");
    ASSERT_EQ("", BuildTree(root, "f.txt\ne.txt attr=E\n"));
    HANDLE r = Open("f.txt", GENERIC_READ, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, r);
    EXPECT_FALSE(Compress(r, COMPRESSION_FORMAT_DEFAULT)); // needs read and write access
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    CloseHandle(r);
    HANDLE h = Open("f.txt", GENERIC_READ | GENERIC_WRITE, 0);
    EXPECT_FALSE(Compress(h, COMPRESSION_FORMAT_DEFAULT, 1));
    EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, GetLastError());
    EXPECT_FALSE(Compress(h, 3));
    EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, GetLastError());
    USHORT format = COMPRESSION_FORMAT_DEFAULT;
    DWORD returned;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeviceIoControl(h, 0x00090000, &format, sizeof format, nullptr, 0, &returned, nullptr));
    EXPECT_EQ((DWORD)ERROR_INVALID_FUNCTION, GetLastError());
    SimInjectFault("DeviceIoControl", Path("f.txt").c_str(), ERROR_DISK_FULL);
    EXPECT_FALSE(Compress(h, COMPRESSION_FORMAT_DEFAULT));
    EXPECT_EQ((DWORD)ERROR_DISK_FULL, GetLastError());
    EXPECT_EQ(1, SimFaultsFired());
    EXPECT_FALSE(Attr("f.txt") & FILE_ATTRIBUTE_COMPRESSED);
    CloseHandle(h);
    // An encrypted file's compression cannot be set.
    HANDLE e = Open("e.txt", GENERIC_READ | GENERIC_WRITE, 0);
    EXPECT_FALSE(Compress(e, COMPRESSION_FORMAT_DEFAULT));
    EXPECT_EQ((DWORD)ERROR_INVALID_FUNCTION, GetLastError());
    CloseHandle(e);
    // A closed handle is no handle.
    EXPECT_FALSE(Compress(h, COMPRESSION_FORMAT_DEFAULT));
    EXPECT_EQ((DWORD)ERROR_INVALID_HANDLE, GetLastError());
}

TEST_F(NtfsTest, AnEntryHeldOpenCannotBeOpenedWithoutSharing) {
    SIMULATION_ONLY("another program holding the entry is simulated");
    ASSERT_EQ("", BuildTree(root, "d\\\nf.txt\n"));
    HANDLE hf = SimHoldEntry(Path("f.txt").c_str());
    HANDLE hd = SimHoldEntry(Path("d").c_str());
    SetLastError(0xdeadbeef);
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open("f.txt", GENERIC_READ | GENERIC_WRITE, 0));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open("d", GENERIC_READ | GENERIC_WRITE, FILE_FLAG_BACKUP_SEMANTICS));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    SimReleaseEntry(hf);
    SimReleaseEntry(hd);
    HANDLE h = Open("f.txt", GENERIC_READ | GENERIC_WRITE, 0);
    EXPECT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
}

TEST_F(NtfsTest, EncryptAndDecryptSucceedOnPlainFiles) {
    ASSERT_EQ("", BuildTree(root, "f.txt text=\"secret\"\nd\\\n"));
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(EncryptFileA(Path("f.txt").c_str()));
    EXPECT_TRUE(EncryptFileA(Path("d").c_str()));
    EXPECT_EQ("secret", ReadWholeFile(Path("f.txt")));
    if (ON_SIMULATION) {
        EXPECT_TRUE(Attr("f.txt") & FILE_ATTRIBUTE_ENCRYPTED);
        EXPECT_TRUE(Attr("d") & FILE_ATTRIBUTE_ENCRYPTED);
    }
    EXPECT_TRUE(DecryptFileA(Path("f.txt").c_str(), 0));
    EXPECT_TRUE(DecryptFileA(Path("d").c_str(), 0));
    EXPECT_FALSE(Attr("f.txt") & FILE_ATTRIBUTE_ENCRYPTED); // Wine never shows it
    EXPECT_FALSE(Attr("d") & FILE_ATTRIBUTE_ENCRYPTED);
    EXPECT_EQ("secret", ReadWholeFile(Path("f.txt")));
}

TEST_F(NtfsTest, EncryptionStates) {
    SIMULATION_ONLY("Wine's EncryptFileA succeeds and does nothing");
    ASSERT_EQ("", BuildTree(root, "c.txt attr=CA\ne.txt attr=EA\n"));
    EXPECT_TRUE(EncryptFileA(Path("c.txt").c_str())); // decompressed first
    EXPECT_EQ((DWORD)(FILE_ATTRIBUTE_ENCRYPTED | FILE_ATTRIBUTE_ARCHIVE), Attr("c.txt"));
    EXPECT_TRUE(EncryptFileA(Path("e.txt").c_str())); // already encrypted: nothing to do
    EXPECT_EQ((DWORD)(FILE_ATTRIBUTE_ENCRYPTED | FILE_ATTRIBUTE_ARCHIVE), Attr("e.txt"));
    EXPECT_TRUE(DecryptFileA(Path("e.txt").c_str(), 0));
    EXPECT_TRUE(DecryptFileA(Path("e.txt").c_str(), 0)); // not encrypted: nothing to do
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_ARCHIVE, Attr("e.txt"));
    // SetFileAttributesA neither sets nor clears encryption or compression.
    EXPECT_TRUE(SetFileAttributesA(Path("c.txt").c_str(), FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ((DWORD)(FILE_ATTRIBUTE_ENCRYPTED | FILE_ATTRIBUTE_HIDDEN), Attr("c.txt"));
}

TEST_F(NtfsTest, EncryptionRefusals) {
    SIMULATION_ONLY("Wine's EncryptFileA succeeds and does nothing");
    ASSERT_EQ("", BuildTree(root, "r.txt attr=RA\ns.txt attr=SA\nh.txt\nrd\\ attr=R\n"));
    struct Case {
        const char *rel;
        DWORD error;
    } cases[] = {{"r.txt", ERROR_FILE_READ_ONLY}, {"s.txt", ERROR_ACCESS_DENIED}, {"absent.txt", ERROR_FILE_NOT_FOUND},
                 {"absent\\x.txt", ERROR_PATH_NOT_FOUND}};
    for (auto &c : cases) {
        SCOPED_TRACE(c.rel);
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(EncryptFileA(Path(c.rel).c_str()));
        EXPECT_EQ(c.error, GetLastError());
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(DecryptFileA(Path(c.rel).c_str(), 0));
        EXPECT_EQ(c.error, GetLastError());
    }
    // A read-only folder can be encrypted: the read-only attribute does not bind folders.
    EXPECT_TRUE(EncryptFileA(Path("rd").c_str()));
    // Encryption needs the file to itself.
    HANDLE hold = SimHoldEntry(Path("h.txt").c_str());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(EncryptFileA(Path("h.txt").c_str()));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    SimReleaseEntry(hold);
    HANDLE open = CreateFileA(Path("h.txt").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    EXPECT_FALSE(EncryptFileA(Path("h.txt").c_str()));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    CloseHandle(open);
    EXPECT_TRUE(EncryptFileA(Path("h.txt").c_str()));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DecryptFileA(Path("h.txt").c_str(), 1));
    EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, GetLastError());
    EXPECT_TRUE(Attr("h.txt") & FILE_ATTRIBUTE_ENCRYPTED);
}

TEST_F(NtfsTest, FaultInjectionOnEncryption) {
    SIMULATION_ONLY("fault injection");
    ASSERT_EQ("", BuildTree(root, "f.txt\n"));
    SimInjectFault("EncryptFileA", Path("f.txt").c_str(), ERROR_DISK_FULL);
    SimInjectFault("DecryptFileA", Path("f.txt").c_str(), ERROR_WRITE_PROTECT);
    EXPECT_FALSE(EncryptFileA(Path("f.txt").c_str()));
    EXPECT_EQ((DWORD)ERROR_DISK_FULL, GetLastError());
    EXPECT_FALSE(Attr("f.txt") & FILE_ATTRIBUTE_ENCRYPTED);
    EXPECT_TRUE(EncryptFileA(Path("f.txt").c_str())); // the fault was for the next call only
    EXPECT_FALSE(DecryptFileA(Path("f.txt").c_str(), 0));
    EXPECT_EQ((DWORD)ERROR_WRITE_PROTECT, GetLastError());
    EXPECT_TRUE(Attr("f.txt") & FILE_ATTRIBUTE_ENCRYPTED);
    EXPECT_EQ(2, SimFaultsFired());
}

TEST_F(NtfsTest, FaultsOnHandleCallsNameTheEntrysFullPath) {
    SIMULATION_ONLY("fault injection");
    // An entry two levels below the scratch folder: its path is rebuilt with every separator.
    ASSERT_EQ("", BuildTree(root, "a\\b\\f.txt text=\"x\"\n"));
    SimInjectFault("ReadFile", Path("a\\b\\f.txt").c_str(), ERROR_LOCK_VIOLATION);
    HANDLE h = CreateFileA(Path("a\\b\\f.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    char buf[4];
    DWORD got = 0;
    EXPECT_FALSE(ReadFile(h, buf, sizeof buf, &got, nullptr));
    EXPECT_EQ((DWORD)ERROR_LOCK_VIOLATION, GetLastError());
    CloseHandle(h);
}
