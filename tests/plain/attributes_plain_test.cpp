// Attribute transfer in kestrel, built without file encryption: only the compression steps remain.
#include "attributes.h"
#include "tests/support/sim_api.h"

#define RO FILE_ATTRIBUTE_READONLY
#define HID FILE_ATTRIBUTE_HIDDEN
#define SYS FILE_ATTRIBUTE_SYSTEM
#define DIR FILE_ATTRIBUTE_DIRECTORY
#define ARC FILE_ATTRIBUTE_ARCHIVE
#define CMP FILE_ATTRIBUTE_COMPRESSED
#define ENC FILE_ATTRIBUTE_ENCRYPTED

class PlainTransferTest : public PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
#ifdef KESTREL_SIM
        // Any encryption call would fire one of these: kestrel makes none.
        SimInjectFault("EncryptFileA", nullptr, ERROR_ACCESS_DENIED, SIM_FAULT_EVERY);
        SimInjectFault("DecryptFileA", nullptr, ERROR_ACCESS_DENIED, SIM_FAULT_EVERY);
#endif
    }
    DWORD Attr(const char *rel) { return GetFileAttributesA(Path(rel).c_str()); }
    LONG Transfer(const char *rel, DWORD attributes) {
        SetLastError(0xdeadbeef);
        return TransferAttributes(Path(rel).c_str(), attributes);
    }
    int Fired() {
#ifdef KESTREL_SIM
        return SimFaultsFired();
#else
        return 0;
#endif
    }
};

TEST_F(PlainTransferTest, ReadOnlyHiddenAndSystemAreTransferred) {
    ASSERT_EQ("", BuildTree(root, "f.txt attr=RA\nd\\\n"));
    EXPECT_EQ(0, Transfer("f.txt", HID | SYS | ARC));
    EXPECT_EQ(HID | SYS | ARC, Attr("f.txt"));
    EXPECT_EQ(0, Transfer("d", DIR | HID));
    EXPECT_EQ(DIR | HID, Attr("d"));
}

TEST_F(PlainTransferTest, AnEncryptedSourceIsNotEncryptedAtTheDestination) {
    // On Wine as on the simulation: no encryption call, the final word is set and its result
    // (success) is the result.
    ASSERT_EQ("", BuildTree(root, "f.txt\n"));
    EXPECT_EQ(0, Transfer("f.txt", ENC | HID | ARC));
    EXPECT_EQ(HID | ARC, Attr("f.txt"));
    EXPECT_EQ(0, Fired());
}

TEST_F(PlainTransferTest, AnEncryptedSourceRemovesTheDestinationsCompression) {
    SIMULATION_ONLY("compression cannot be stored");
    ASSERT_EQ("", BuildTree(root, "f.txt attr=CA\nd\\ attr=RC\n"));
    EXPECT_EQ(0, Transfer("f.txt", ENC | CMP | ARC));
    EXPECT_EQ(ARC, Attr("f.txt"));
    EXPECT_EQ(0, Transfer("d", DIR | RO | ENC));
    EXPECT_EQ(DIR | RO, Attr("d"));
    EXPECT_EQ(0, Fired());
}

TEST_F(PlainTransferTest, AnEncryptedDestinationStaysEncrypted) {
    SIMULATION_ONLY("encryption cannot be stored");
    ASSERT_EQ("", BuildTree(root, "p.txt attr=EA\nc.txt attr=EA\n"));
    // Neither: nothing to decrypt in kestrel, the word is set.
    EXPECT_EQ(0, Transfer("p.txt", HID));
    EXPECT_EQ(ENC | HID, Attr("p.txt"));
    // Compressed: the encrypted destination refuses compression.
    EXPECT_EQ(TRANSFER_COMPRESS_FAILED, Transfer("c.txt", CMP | HID));
    EXPECT_EQ((DWORD)ERROR_INVALID_FUNCTION, GetLastError());
    EXPECT_EQ(ENC | ARC, Attr("c.txt"));
    EXPECT_EQ(0, Fired());
}

TEST_F(PlainTransferTest, CompressionFollowsTheSource) {
    SIMULATION_ONLY("compression cannot be stored");
    ASSERT_EQ("", BuildTree(root, "a.txt\nb.txt attr=CA\n"));
    EXPECT_EQ(0, Transfer("a.txt", CMP | ARC));
    EXPECT_EQ(CMP | ARC, Attr("a.txt"));
    EXPECT_EQ(0, Transfer("b.txt", ARC));
    EXPECT_EQ(ARC, Attr("b.txt"));
}

TEST_F(PlainTransferTest, ResultCodesOfKestrel) {
    SIMULATION_ONLY("compression cannot be stored; entries held open and faults are simulated");
    ASSERT_EQ("", BuildTree(root, "e.txt attr=CA\nc.txt\nn.txt attr=CA\nr.txt attr=RA\nw.txt\n"));
    struct Case {
        const char *rel;
        DWORD attributes;
        LONG code;
        DWORD after;
    } cases[] = {
        {"e.txt", ENC | ARC, (LONG)0x80000002, CMP | ARC}, // the only step of the encrypted branch
        {"c.txt", CMP | ARC, (LONG)0x80000005, ARC},
        {"n.txt", ARC, (LONG)0x80000007, CMP | ARC},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.rel);
        HANDLE hold = SimHoldEntry(Path(c.rel).c_str());
        EXPECT_EQ(c.code, Transfer(c.rel, c.attributes));
        EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
        SimReleaseEntry(hold);
        EXPECT_EQ(c.after, Attr(c.rel));
    }
    SimInjectFault("SetFileAttributesA", Path("r.txt").c_str(), ERROR_ACCESS_DENIED);
    EXPECT_EQ((LONG)0x80000001, Transfer("r.txt", ARC));
    EXPECT_EQ(RO | ARC, Attr("r.txt"));
    SimInjectFault("SetFileAttributesA", Path("w.txt").c_str(), ERROR_ACCESS_DENIED);
    EXPECT_EQ((LONG)0x80000008, Transfer("w.txt", CMP | HID));
    EXPECT_EQ(CMP | ARC, Attr("w.txt")); // compressed, and that stays
    EXPECT_EQ(2, Fired());
}

TEST_F(PlainTransferTest, AnEncryptedSourceGivesTheResultOfTheFinalAttributeCall) {
    SIMULATION_ONLY("fault injection");
    ASSERT_EQ("", BuildTree(root, "f.txt\n"));
    SimInjectFault("SetFileAttributesA", Path("f.txt").c_str(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(TRANSFER_SET_ATTRIBUTES_FAILED, Transfer("f.txt", ENC | HID));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ(ARC, Attr("f.txt"));
}

TEST_F(PlainTransferTest, ARefusedCompressionLeavesTheWordUnset) {
    // Wine refuses the compression control with ERROR_NOT_SUPPORTED; the simulation is told to.
    ASSERT_EQ("", BuildTree(root, "f.txt text=\"data\"\n"));
#ifdef KESTREL_SIM
    SimInjectFault("DeviceIoControl", Path("f.txt").c_str(), ERROR_NOT_SUPPORTED);
#endif
    EXPECT_EQ(TRANSFER_COMPRESS_FAILED, Transfer("f.txt", SYS | CMP | ARC));
    EXPECT_EQ((DWORD)ERROR_NOT_SUPPORTED, GetLastError());
    EXPECT_EQ(0u, Attr("f.txt") & (SYS | CMP));
    EXPECT_EQ("data", ReadWholeFile(Path("f.txt")));
}
