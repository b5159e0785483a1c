// Attribute transfer in kestrel-nt: compression and encryption brought into line with the source,
// encryption first, then the source's attribute word; every result code and what stays done.
#include "attributes.h"
#include "tests/support/sim_api.h"

#define RO FILE_ATTRIBUTE_READONLY
#define HID FILE_ATTRIBUTE_HIDDEN
#define SYS FILE_ATTRIBUTE_SYSTEM
#define DIR FILE_ATTRIBUTE_DIRECTORY
#define ARC FILE_ATTRIBUTE_ARCHIVE
#define CMP FILE_ATTRIBUTE_COMPRESSED
#define ENC FILE_ATTRIBUTE_ENCRYPTED

class TransferTest : public PlatformTest {
  protected:
    DWORD Attr(const char *rel) { return GetFileAttributesA(Path(rel).c_str()); }
    LONG Transfer(const char *rel, DWORD attributes) {
        SetLastError(0xdeadbeef);
        return TransferAttributes(Path(rel).c_str(), attributes);
    }
};

// ---- what Wine can show as well ----

TEST_F(TransferTest, ReadOnlyHiddenAndSystemAreTransferred) {
    ASSERT_EQ("", BuildTree(root, "f.txt\n"));
    EXPECT_EQ(0, Transfer("f.txt", RO | HID | SYS | ARC));
    EXPECT_EQ(RO | HID | SYS | ARC, Attr("f.txt"));
}

TEST_F(TransferTest, AReadOnlySystemDestinationTakesAPlainWord) {
    ASSERT_EQ("", BuildTree(root, "f.txt attr=RSHA\n"));
    EXPECT_EQ(0, Transfer("f.txt", ARC));
    EXPECT_EQ(ARC, Attr("f.txt"));
}

TEST_F(TransferTest, AHiddenFolderIsGivenItsSourcesWord) {
    ASSERT_EQ("", BuildTree(root, "d\\ attr=H\n"));
    // (Wine keeps neither read-only nor archive on folders: the word here has neither.)
    EXPECT_EQ(0, Transfer("d", DIR | SYS));
    EXPECT_EQ(DIR | SYS, Attr("d"));
}

TEST_F(TransferTest, AReadOnlyDestinationThatCarriesTheWordGetsReadOnlyBack) {
    // The word is the one the entry had, but clearing read-only for the other steps changed it:
    // the word is set again at the end.
    ASSERT_EQ("", BuildTree(root, "f.txt attr=RA\ng.txt attr=RSA\n"));
    EXPECT_EQ(0, Transfer("f.txt", RO | ARC));
    EXPECT_EQ(RO | ARC, Attr("f.txt"));
    EXPECT_EQ(0, Transfer("g.txt", RO | SYS | ARC));
    EXPECT_EQ(RO | SYS | ARC, Attr("g.txt"));
}

TEST_F(TransferTest, AnEntryThatAlreadyCarriesTheWordIsNotSetAgain) {
    SIMULATION_ONLY("fault injection");
    // A copy that took its source's word along: no call is made, so a set that would fail
    // cannot fail, and the entry keeps the word it must have.
    ASSERT_EQ("", BuildTree(root, "f.txt attr=HA\nd\\ attr=H\n"));
    SimInjectFault("SetFileAttributesA", nullptr, ERROR_ACCESS_DENIED, SIM_FAULT_EVERY);
    EXPECT_EQ(0, Transfer("f.txt", HID | ARC));
    EXPECT_EQ(0, Transfer("d", DIR | HID));
    EXPECT_EQ(0, SimFaultsFired());
    EXPECT_EQ(HID | ARC, Attr("f.txt"));
    // One bit apart: the word is set, and its failure is reported.
    EXPECT_EQ(TRANSFER_SET_ATTRIBUTES_FAILED, Transfer("f.txt", ARC));
    EXPECT_EQ(TRANSFER_SET_ATTRIBUTES_FAILED, Transfer("d", DIR | HID | SYS));
    EXPECT_EQ(2, SimFaultsFired());
}

TEST_F(TransferTest, AMissingDestinationFailsAtTheFirstChange) {
    // The failed read gives 0xFFFFFFFF, which has read-only and system: clearing them fails.
    EXPECT_EQ(TRANSFER_CLEAR_READONLY_FAILED, Transfer("absent.txt", ARC));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_EQ((LONG)0x80000001, TRANSFER_CLEAR_READONLY_FAILED);
}

TEST_F(TransferTest, ARefusedCompressionLeavesTheWordUnset) {
    // Wine refuses the compression control with ERROR_NOT_SUPPORTED; so does a volume without
    // compression, which the simulation is told to be here.
    ASSERT_EQ("", BuildTree(root, "f.txt\n"));
#ifdef KESTREL_SIM
    SimInjectFault("DeviceIoControl", Path("f.txt").c_str(), ERROR_NOT_SUPPORTED);
#endif
    EXPECT_EQ(TRANSFER_COMPRESS_FAILED, Transfer("f.txt", HID | CMP | ARC));
    EXPECT_EQ((DWORD)ERROR_NOT_SUPPORTED, GetLastError());
    // Nothing undone and nothing more done: the hidden bit of step 5 is not set, the file is whole
    // and free to be opened again (the handle was closed).
    EXPECT_EQ(0u, Attr("f.txt") & (HID | CMP));
    HANDLE h = CreateFileA(Path("f.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, h);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

TEST_F(TransferTest, SetCompressionReportsARefusedControlCall) {
    ASSERT_EQ("", BuildTree(root, "d\\\nd\\f.txt\n"));
#ifdef KESTREL_SIM
    SimInjectFault("DeviceIoControl", nullptr, ERROR_NOT_SUPPORTED, SIM_FAULT_EVERY);
#endif
    for (const char *rel : {"d\\f.txt", "d"}) {
        SCOPED_TRACE(rel);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(COMPRESSION_CONTROL_FAILED, SetCompression(Path(rel).c_str(), COMPRESSION_FORMAT_DEFAULT));
        EXPECT_EQ((DWORD)ERROR_NOT_SUPPORTED, GetLastError());
    }
}

TEST_F(TransferTest, SetCompressionOfAMissingEntry) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(COMPRESSION_READ_ATTRIBUTES_FAILED, SetCompression(Path("absent").c_str(), COMPRESSION_FORMAT_NONE));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
}

// ---- the simulation: compression and encryption states ----

TEST_F(TransferTest, SetCompressionOfFilesAndFolders) {
    SIMULATION_ONLY("compression cannot be stored");
    ASSERT_EQ("", BuildTree(root, "d\\\nd\\f.txt\n"));
    EXPECT_EQ(0, SetCompression(Path("d").c_str(), COMPRESSION_FORMAT_DEFAULT));
    EXPECT_EQ(0, SetCompression(Path("d\\f.txt").c_str(), COMPRESSION_FORMAT_DEFAULT));
    EXPECT_EQ(DIR | CMP, Attr("d"));
    EXPECT_EQ(ARC | CMP, Attr("d\\f.txt"));
    EXPECT_EQ(0, SetCompression(Path("d").c_str(), COMPRESSION_FORMAT_NONE));
    EXPECT_EQ(DIR, Attr("d"));
}

TEST_F(TransferTest, SetCompressionOfAnEntryHeldOpen) {
    SIMULATION_ONLY("another program holding the entry is simulated");
    ASSERT_EQ("", BuildTree(root, "d\\ attr=C\nf.txt\n"));
    for (const char *rel : {"d", "f.txt"}) {
        SCOPED_TRACE(rel);
        HANDLE hold = SimHoldEntry(Path(rel).c_str());
        SetLastError(0xdeadbeef);
        EXPECT_EQ(COMPRESSION_OPEN_FAILED, SetCompression(Path(rel).c_str(), COMPRESSION_FORMAT_NONE));
        EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
        SimReleaseEntry(hold);
    }
    EXPECT_EQ(DIR | CMP, Attr("d"));
}

TEST_F(TransferTest, CompressedDestinationOfAPlainSourceIsDecompressed) {
    SIMULATION_ONLY("compression cannot be stored");
    ASSERT_EQ("", BuildTree(root, "f.txt attr=CA\n"));
    EXPECT_EQ(0, Transfer("f.txt", HID | ARC));
    EXPECT_EQ(HID | ARC, Attr("f.txt"));
}

TEST_F(TransferTest, CompressedSourceCompressesTheDestination) {
    SIMULATION_ONLY("compression cannot be stored");
    ASSERT_EQ("", BuildTree(root, "f.txt\nd\\\n"));
    EXPECT_EQ(0, Transfer("f.txt", CMP | ARC));
    EXPECT_EQ(CMP | ARC, Attr("f.txt"));
    EXPECT_EQ(0, Transfer("d", DIR | CMP));
    EXPECT_EQ(DIR | CMP, Attr("d"));
}

TEST_F(TransferTest, EncryptedDestinationOfACompressedSourceIsDecryptedThenCompressed) {
    SIMULATION_ONLY("encryption cannot be stored");
    ASSERT_EQ("", BuildTree(root, "f.txt attr=EA\n"));
    EXPECT_EQ(0, Transfer("f.txt", CMP | ARC));
    EXPECT_EQ(CMP | ARC, Attr("f.txt"));
}

TEST_F(TransferTest, EncryptedSourceEncryptsTheDestinationAfterDecompressingIt) {
    SIMULATION_ONLY("encryption cannot be stored");
    ASSERT_EQ("", BuildTree(root, "a.txt attr=CA\nb.txt\nd\\ attr=C\n"));
    EXPECT_EQ(0, Transfer("a.txt", ENC | ARC));
    EXPECT_EQ(ENC | ARC, Attr("a.txt"));
    EXPECT_EQ(0, Transfer("b.txt", ENC | ARC));
    EXPECT_EQ(ENC | ARC, Attr("b.txt"));
    EXPECT_EQ(0, Transfer("d", DIR | ENC));
    EXPECT_EQ(DIR | ENC, Attr("d"));
}

TEST_F(TransferTest, EncryptedDestinationOfAPlainSourceIsDecrypted) {
    SIMULATION_ONLY("encryption cannot be stored");
    ASSERT_EQ("", BuildTree(root, "f.txt attr=EA\nd\\ attr=E\n"));
    EXPECT_EQ(0, Transfer("f.txt", ARC));
    EXPECT_EQ(ARC, Attr("f.txt"));
    EXPECT_EQ(0, Transfer("d", DIR));
    EXPECT_EQ(DIR, Attr("d"));
}

TEST_F(TransferTest, ASourceBothEncryptedAndCompressedTakesTheEncryptedBranch) {
    SIMULATION_ONLY("compression and encryption cannot be stored");
    ASSERT_EQ("", BuildTree(root, "a.txt attr=CA\nb.txt attr=A\n"));
    EXPECT_EQ(0, Transfer("a.txt", ENC | CMP | ARC));
    EXPECT_EQ(ENC | ARC, Attr("a.txt")); // decompressed and encrypted; the word cannot add compression
    // Not compressed: no compression call at all, only the encryption.
    SimInjectFault("DeviceIoControl", nullptr, ERROR_INVALID_FUNCTION, SIM_FAULT_EVERY);
    EXPECT_EQ(0, Transfer("b.txt", ENC | CMP | ARC));
    EXPECT_EQ(ENC | ARC, Attr("b.txt"));
    EXPECT_EQ(0, SimFaultsFired());
}

TEST_F(TransferTest, StatesAlreadyInLineAreNotTouched) {
    SIMULATION_ONLY("compression and encryption cannot be stored");
    ASSERT_EQ("", BuildTree(root, "e.txt attr=EA\nc.txt attr=CA\np.txt\n"));
    for (const char *op : {"DeviceIoControl", "EncryptFileA", "DecryptFileA", "CreateFileA"})
        SimInjectFault(op, nullptr, ERROR_ACCESS_DENIED, SIM_FAULT_EVERY);
    EXPECT_EQ(0, Transfer("e.txt", ENC | HID));
    EXPECT_EQ(0, Transfer("c.txt", CMP | HID));
    EXPECT_EQ(0, Transfer("p.txt", HID));
    EXPECT_EQ(0, SimFaultsFired());
    EXPECT_EQ(ENC | HID, Attr("e.txt"));
    EXPECT_EQ(CMP | HID, Attr("c.txt"));
    EXPECT_EQ(HID, Attr("p.txt"));
}

TEST_F(TransferTest, AnExistingReadOnlyFolderIsOpenedUpForTheCompressionChange) {
    SIMULATION_ONLY("compression cannot be stored");
    ASSERT_EQ("", BuildTree(root, "d\\ attr=RS\n"));
    // First the source's word without read-only and system, then compression, then the whole word.
    EXPECT_EQ(0, Transfer("d", DIR | RO | HID | CMP));
    EXPECT_EQ(DIR | RO | HID | CMP, Attr("d"));
}

TEST_F(TransferTest, ReadOnlyIsClearedBeforeEncryptionAndSetAgainAfter) {
    SIMULATION_ONLY("encryption cannot be stored");
    // A read-only or system file cannot be encrypted: the first step opens it up.
    ASSERT_EQ("", BuildTree(root, "f.txt attr=RA\ng.txt attr=SA\n"));
    EXPECT_EQ(0, Transfer("f.txt", RO | ENC | ARC));
    EXPECT_EQ(RO | ENC | ARC, Attr("f.txt"));
    EXPECT_EQ(0, Transfer("g.txt", SYS | ENC));
    EXPECT_EQ(SYS | ENC, Attr("g.txt"));
}

// ---- each result code, and the steps already done stay done ----

TEST_F(TransferTest, Code1ClearingReadOnlyFails) {
    SIMULATION_ONLY("fault injection");
    ASSERT_EQ("", BuildTree(root, "d\\ attr=R\n"));
    SimInjectFault("SetFileAttributesA", Path("d").c_str(), ERROR_ACCESS_DENIED);
    EXPECT_EQ((LONG)0x80000001, Transfer("d", DIR | CMP));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ(DIR | RO, Attr("d"));
}

TEST_F(TransferTest, Code1AFailedReadOfTheDestinationIsNotTakenForItsStates) {
    SIMULATION_ONLY("fault injection");
    // The failed read's 0xFFFFFFFF would say "compressed and encrypted": the encryption would be
    // skipped and success reported. It fails instead, and nothing is changed.
    ASSERT_EQ("", BuildTree(root, "e.txt attr=CA\nc.txt attr=A\n"));
    SimInjectFault("GetFileAttributesA", Path("e.txt").c_str(), ERROR_NOT_READY);
    EXPECT_EQ((LONG)0x80000001, Transfer("e.txt", ENC | ARC));
    EXPECT_EQ((DWORD)ERROR_NOT_READY, GetLastError());
    EXPECT_EQ(CMP | ARC, Attr("e.txt"));
    SimInjectFault("GetFileAttributesA", Path("c.txt").c_str(), ERROR_NOT_READY);
    EXPECT_EQ((LONG)0x80000001, Transfer("c.txt", CMP | HID));
    EXPECT_EQ(ARC, Attr("c.txt"));
    EXPECT_EQ(2, SimFaultsFired());
}

TEST_F(TransferTest, Code2DecompressingBeforeEncryptionFails) {
    SIMULATION_ONLY("compression cannot be stored");
    ASSERT_EQ("", BuildTree(root, "f.txt attr=RCA\n"));
    HANDLE hold = SimHoldEntry(Path("f.txt").c_str());
    EXPECT_EQ((LONG)0x80000002, Transfer("f.txt", RO | ENC | ARC));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    SimReleaseEntry(hold);
    // Step 2 stays done: read-only is off; compression and encryption are as they were.
    EXPECT_EQ(CMP | ARC, Attr("f.txt"));
}

TEST_F(TransferTest, Code3EncryptionFailsAfterTheDecompressionStaysDone) {
    SIMULATION_ONLY("compression and encryption cannot be stored");
    ASSERT_EQ("", BuildTree(root, "f.txt attr=CA\n"));
    SimInjectFault("EncryptFileA", Path("f.txt").c_str(), ERROR_ACCESS_DENIED);
    EXPECT_EQ((LONG)0x80000003, Transfer("f.txt", ENC | ARC));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ(ARC, Attr("f.txt")); // uncompressed, not encrypted
}

TEST_F(TransferTest, Code3AnEncryptedSourceOverAFileHeldOpen) {
    SIMULATION_ONLY("another program holding the entry is simulated");
    ASSERT_EQ("", BuildTree(root, "f.txt attr=HA\n"));
    HANDLE hold = SimHoldEntry(Path("f.txt").c_str());
    EXPECT_EQ((LONG)0x80000003, Transfer("f.txt", ENC | ARC));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    SimReleaseEntry(hold);
    EXPECT_EQ(HID | ARC, Attr("f.txt"));
}

TEST_F(TransferTest, Code4DecryptionBeforeCompressionFails) {
    SIMULATION_ONLY("encryption cannot be stored");
    ASSERT_EQ("", BuildTree(root, "f.txt attr=SEA\n"));
    SimInjectFault("DecryptFileA", Path("f.txt").c_str(), ERROR_ACCESS_DENIED);
    EXPECT_EQ((LONG)0x80000004, Transfer("f.txt", SYS | CMP | ARC));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ(ENC | ARC, Attr("f.txt")); // system off (step 2 done), still encrypted
}

TEST_F(TransferTest, Code5CompressionFailsAfterTheDecryptionStaysDone) {
    SIMULATION_ONLY("encryption cannot be stored");
    ASSERT_EQ("", BuildTree(root, "f.txt attr=EA\n"));
    SimInjectFault("DeviceIoControl", Path("f.txt").c_str(), ERROR_DISK_FULL);
    EXPECT_EQ((LONG)0x80000005, Transfer("f.txt", CMP | ARC));
    EXPECT_EQ((DWORD)ERROR_DISK_FULL, GetLastError());
    EXPECT_EQ(ARC, Attr("f.txt"));
}

TEST_F(TransferTest, Code5ACompressionChangeOnAFolderHeldOpen) {
    SIMULATION_ONLY("another program holding the entry is simulated");
    ASSERT_EQ("", BuildTree(root, "d\\ attr=R\n"));
    HANDLE hold = SimHoldEntry(Path("d").c_str());
    EXPECT_EQ((LONG)0x80000005, Transfer("d", DIR | RO | CMP));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    SimReleaseEntry(hold);
    EXPECT_EQ(DIR, Attr("d")); // read-only cleared by step 2 and not set again
}

TEST_F(TransferTest, Code6DecryptionFails) {
    SIMULATION_ONLY("encryption cannot be stored");
    ASSERT_EQ("", BuildTree(root, "f.txt attr=EA\n"));
    HANDLE hold = SimHoldEntry(Path("f.txt").c_str());
    EXPECT_EQ((LONG)0x80000006, Transfer("f.txt", ARC));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    SimReleaseEntry(hold);
    EXPECT_EQ(ENC | ARC, Attr("f.txt"));
}

TEST_F(TransferTest, Code7DecompressionFails) {
    SIMULATION_ONLY("compression cannot be stored");
    ASSERT_EQ("", BuildTree(root, "f.txt attr=CEA\n"));
    // Both states at once (not possible on NTFS, possible on the simulation): decrypting is done
    // and stays done, then decompressing fails.
    SimInjectFault("DeviceIoControl", Path("f.txt").c_str(), ERROR_ACCESS_DENIED);
    EXPECT_EQ((LONG)0x80000007, Transfer("f.txt", HID));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ(CMP | ARC, Attr("f.txt"));
}

TEST_F(TransferTest, Code7ADecompressionOfAFileHeldOpen) {
    SIMULATION_ONLY("another program holding the entry is simulated");
    ASSERT_EQ("", BuildTree(root, "f.txt attr=CA\n"));
    HANDLE hold = SimHoldEntry(Path("f.txt").c_str());
    EXPECT_EQ((LONG)0x80000007, Transfer("f.txt", ARC));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    SimReleaseEntry(hold);
    EXPECT_EQ(CMP | ARC, Attr("f.txt"));
}

TEST_F(TransferTest, Code8TheFinalWordFailsAfterTheStateChangesStayDone) {
    SIMULATION_ONLY("compression cannot be stored");
    ASSERT_EQ("", BuildTree(root, "f.txt attr=A\n"));
    SimInjectFault("SetFileAttributesA", Path("f.txt").c_str(), ERROR_ACCESS_DENIED);
    EXPECT_EQ((LONG)0x80000008, Transfer("f.txt", CMP | HID));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ(CMP | ARC, Attr("f.txt"));
}

TEST_F(TransferTest, Code8AfterTheReadOnlyStepAndEncryption) {
    SIMULATION_ONLY("encryption cannot be stored");
    ASSERT_EQ("", BuildTree(root, "f.txt attr=RA\n"));
    SimInjectFault("SetFileAttributesA", Path("f.txt").c_str(), ERROR_ACCESS_DENIED, SIM_FAULT_NTH, 2);
    EXPECT_EQ((LONG)0x80000008, Transfer("f.txt", RO | HID | ENC));
    EXPECT_EQ(HID | ENC, Attr("f.txt")); // the word without read-only, encrypted; read-only not back
}
