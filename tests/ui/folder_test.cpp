// CenterWindow's placement, and the host build's scripted folder picker and special folders.
#include <gtest/gtest.h>
#include <windows.h>
#include "folder.h"
#ifdef KESTREL_SIM
#include "folder_record.h"
#endif

static const ScreenRect WORK = {0, 0, 1024, 738};

TEST(CenterPlacement, CentredOnTheReferenceWithTruncatingHalves) {
    ScreenRect owner = {100, 50, 501, 351};
    ScreenPoint p = CenterPlacement(owner, 200, 100, WORK);
    EXPECT_EQ(100 + 201 / 2, p.x);
    EXPECT_EQ(50 + 201 / 2, p.y);
    // A window larger than its reference: the negative half truncates toward zero.
    ScreenRect small = {400, 300, 500, 350};
    p = CenterPlacement(small, 301, 151, WORK);
    EXPECT_EQ(400 + (100 - 301) / 2, p.x); // 400 - 100
    EXPECT_EQ(300 + (50 - 151) / 2, p.y);  // 300 - 50
}

TEST(CenterPlacement, OwnerNearTheRightEdgeIsPushedLeftToTheEdge) {
    ScreenRect owner = {900, 600, 1100, 760};
    ScreenPoint p = CenterPlacement(owner, 300, 200, WORK);
    EXPECT_EQ(1024 - 300, p.x);
    EXPECT_EQ(738 - 200, p.y);
}

TEST(CenterPlacement, OwnerOffTheTopLeftIsPushedOntoTheWorkArea) {
    ScreenRect work = {50, 30, 1024, 768}; // a taskbar on the left and at the top
    ScreenRect owner = {-400, -300, 100, 100};
    ScreenPoint p = CenterPlacement(owner, 300, 200, work);
    EXPECT_EQ(50, p.x);
    EXPECT_EQ(30, p.y);
}

TEST(CenterPlacement, WindowLargerThanTheWorkAreaSitsAtItsTopLeft) {
    ScreenRect work = {10, 20, 810, 620};
    ScreenPoint p = CenterPlacement(work, 1000, 900, work);
    EXPECT_EQ(10, p.x);
    EXPECT_EQ(20, p.y);
}

TEST(CenterPlacement, NoReferenceCentresOnTheWorkArea) {
    ScreenPoint p = CenterPlacement(WORK, 401, 201, WORK);
    EXPECT_EQ((1024 - 401) / 2, p.x);
    EXPECT_EQ((738 - 201) / 2, p.y);
}

#ifdef KESTREL_SIM
class ScriptedShellTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetFolderPickerScript(); }
    void TearDown() override { ResetFolderPickerScript(); }
};

TEST_F(ScriptedShellTest, PickerReturnsTheScriptedFolderAndRecordsTheRequest) {
    HWND owner = reinterpret_cast<HWND>(0x42);
    char path[MAX_PATH] = "unchanged";
    ScriptFolderChoice("D:\\バックアップ");
    EXPECT_EQ(0, BrowseForFolder(owner, "コピー先のフォルダ名", "", path));
    EXPECT_STREQ("D:\\バックアップ", path);
    auto pickers = RecordedFolderPickers();
    ASSERT_EQ(1u, pickers.size());
    EXPECT_EQ(owner, pickers[0].owner);
    EXPECT_EQ("コピー先のフォルダ名", pickers[0].title);
    EXPECT_TRUE(pickers[0].hasInitialFolder);
    EXPECT_EQ("", pickers[0].initialFolder);
}

TEST_F(ScriptedShellTest, CancelLeavesThePathAsItWas) {
    char path[MAX_PATH] = "C:\\before";
    ScriptFolderChoice(nullptr);
    EXPECT_EQ(-1, BrowseForFolder(nullptr, "t", nullptr, path));
    EXPECT_STREQ("C:\\before", path);
    EXPECT_EQ(-1, BrowseForFolder(nullptr, "t", nullptr, path)); // nothing scripted: cancelled
    EXPECT_STREQ("C:\\before", path);
    EXPECT_FALSE(RecordedFolderPickers()[0].hasInitialFolder);
}

TEST_F(ScriptedShellTest, SpecialFolders) {
    char path[MAX_PATH];
    EXPECT_EQ(0, GetSpecialFolderPath(CSIDL_DESKTOP, path));
    EXPECT_STREQ("C:\\TEMP", path);
    EXPECT_EQ((int)0x80000001, GetSpecialFolderPath(CSIDL_PERSONAL, path));
    EXPECT_STREQ("", path);
    SetSpecialFolderPath(CSIDL_DESKTOP, "C:\\Users\\u\\Desktop");
    EXPECT_EQ(0, GetSpecialFolderPath(CSIDL_DESKTOP, path));
    EXPECT_STREQ("C:\\Users\\u\\Desktop", path);
    SetSpecialFolderPath(CSIDL_DESKTOP, nullptr);
    EXPECT_EQ((int)0x80000001, GetSpecialFolderPath(CSIDL_DESKTOP, path));
}
#else
TEST(ShellOnWine, DesktopFolderHasAPath) {
    char path[MAX_PATH];
    memset(path, 0xdd, sizeof path);
    ASSERT_EQ(0, GetSpecialFolderPath(CSIDL_DESKTOP, path));
    EXPECT_EQ(':', path[1]);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path));
}

TEST(ShellOnWine, FolderWithoutAFileSystemPathIsRefused) {
    char path[MAX_PATH];
    memset(path, 0xdd, sizeof path);
    EXPECT_EQ((int)0x80000001, GetSpecialFolderPath(CSIDL_DRIVES, path)); // "My Computer" is virtual
    EXPECT_EQ('\0', path[0]);
}
#endif
