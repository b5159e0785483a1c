// Fault injection of the simulated Windows (nothing to compare with on Wine).
#include "tree.h"

class FaultInjection : public PlatformTest {};

TEST_F(FaultInjection, NextEveryAndNthCall) {
    SIMULATION_ONLY("faults are injected into the simulation only");
#ifdef KESTREL_SIM
    ASSERT_EQ("", BuildTree(root, "f.txt\ng.txt\n"));
    std::string f = Path("f.txt"), g = Path("g.txt");
    SimInjectFault("GetFileAttributesA", f.c_str(), ERROR_ACCESS_DENIED);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(g.c_str())) << "another path is not affected";
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(f.c_str()));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(f.c_str())) << "the next call only";
    EXPECT_EQ(1, SimFaultsFired());

    SimInjectFault("CopyFileA", nullptr, ERROR_DISK_FULL, SIM_FAULT_EVERY);
    EXPECT_FALSE(CopyFileA(f.c_str(), Path("a").c_str(), FALSE));
    EXPECT_FALSE(CopyFileA(f.c_str(), Path("b").c_str(), FALSE));
    EXPECT_EQ((DWORD)ERROR_DISK_FULL, GetLastError());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Path("a").c_str())) << "a failed copy creates nothing";
    SimClearFaults();
    EXPECT_TRUE(CopyFileA(f.c_str(), Path("a").c_str(), FALSE));

    // The third file-system call of any kind fails.
    SimInjectFault("*", nullptr, ERROR_NOT_READY, SIM_FAULT_NTH, 3);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(f.c_str()));
    EXPECT_TRUE(CreateDirectoryA(Path("d").c_str(), nullptr));
    EXPECT_FALSE(SetFileAttributesA(f.c_str(), FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ((DWORD)ERROR_NOT_READY, GetLastError());
    EXPECT_TRUE(SetFileAttributesA(f.c_str(), FILE_ATTRIBUTE_HIDDEN));
#endif
}

TEST_F(FaultInjection, HeldEntriesRefuseExclusiveOpens) {
    SIMULATION_ONLY("entries are held by another program only in the simulation");
#ifdef KESTREL_SIM
    ASSERT_EQ("", BuildTree(root, "f.txt text=\"x\"\n"));
    HANDLE hold = SimHoldEntry(Path("f.txt").c_str());
    ASSERT_NE(nullptr, hold);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              CreateFileA(Path("f.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    EXPECT_FALSE(DeleteFileA(Path("f.txt").c_str()));
    SimReleaseEntry(hold);
    HANDLE h = CreateFileA(Path("f.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
#endif
}
