// The simulated dialog controls: text through window messages, cut at the buffer's size, and the
// errors of a missing control or a destroyed dialog. Host only: under Wine the unit tests run
// without a display, where Wine creates no windows; the real controls are the Wine GUI bench's.
#ifdef KESTREL_SIM
#include "simwin_dialog.h"
#include <gtest/gtest.h>
#include <cstring>

class SimDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dialog = SimCreateDialog();
        ASSERT_NE(nullptr, SimAddControl(dialog, 1045, "first"));
    }
    void TearDown() override { SimDestroyDialog(dialog); }
    HWND dialog = nullptr;
};

TEST_F(SimDialogTest, TextGoesInAndOutThroughMessages) {
    EXPECT_EQ("first", SimControlText(dialog, 1045));
    EXPECT_EQ(TRUE, SendDlgItemMessageA(dialog, 1045, WM_SETTEXT, 0, (LPARAM) "コピー中"));
    EXPECT_EQ("コピー中", SimControlText(dialog, 1045));
    EXPECT_EQ(8, SendDlgItemMessageA(dialog, 1045, WM_GETTEXTLENGTH, 0, 0));
    char text[64];
    memset(text, 0xdd, sizeof text);
    EXPECT_EQ(8, SendDlgItemMessageA(dialog, 1045, WM_GETTEXT, sizeof text, (LPARAM)text));
    EXPECT_STREQ("コピー中", text);
    EXPECT_TRUE(SetDlgItemTextA(dialog, 1045, ""));
    EXPECT_EQ(0u, GetDlgItemTextA(dialog, 1045, text, sizeof text));
    EXPECT_STREQ("", text);
    EXPECT_EQ(2, SimControlSetTextCount(dialog, 1045));
    EXPECT_EQ(GetDlgItem(dialog, 1045), GetDlgItem(dialog, 1045));
}

TEST_F(SimDialogTest, TextIsCutAtTheBufferSizeAndNeverInsideACharacter) {
    SetDlgItemTextA(dialog, 1045, "abcdef");
    char text[8];
    memset(text, 0xdd, sizeof text);
    EXPECT_EQ(3, SendDlgItemMessageA(dialog, 1045, WM_GETTEXT, 4, (LPARAM)text));
    EXPECT_STREQ("abc", text);
    EXPECT_EQ(0, SendDlgItemMessageA(dialog, 1045, WM_GETTEXT, 0, (LPARAM)text)) << "no room at all";
    SetDlgItemTextA(dialog, 1045, "aソb");
    memset(text, 0xdd, sizeof text);
    EXPECT_EQ(1, SendDlgItemMessageA(dialog, 1045, WM_GETTEXT, 3, (LPARAM)text));
    EXPECT_STREQ("a", text) << "half of a double-byte character is never given";
}

TEST_F(SimDialogTest, MissingControlsAndDestroyedDialogs) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, SendDlgItemMessageA(dialog, 9999, WM_SETTEXT, 0, (LPARAM) "x"));
    EXPECT_EQ((DWORD)ERROR_CONTROL_ID_NOT_FOUND, GetLastError());
    EXPECT_EQ(nullptr, SimAddControl(dialog, 1045)) << "one control per id";
    HWND other = SimCreateDialog();
    HWND control = SimAddControl(other, 7, "x");
    SimDestroyDialog(other);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, SendMessageA(control, WM_SETTEXT, 0, (LPARAM) "y"));
    EXPECT_EQ((DWORD)ERROR_INVALID_WINDOW_HANDLE, GetLastError());
    EXPECT_EQ(0, SendDlgItemMessageA(nullptr, 1045, WM_SETTEXT, 0, (LPARAM) "y"));
    EXPECT_EQ((DWORD)ERROR_INVALID_WINDOW_HANDLE, GetLastError());
}

TEST_F(SimDialogTest, EnablingReportsTheFormerState) {
    HWND control = GetDlgItem(dialog, 1045);
    EXPECT_TRUE(IsWindowEnabled(control));
    EXPECT_FALSE(EnableWindow(control, FALSE)) << "was enabled";
    EXPECT_FALSE(IsWindowEnabled(control));
    EXPECT_TRUE(EnableWindow(control, TRUE)) << "was disabled";
}
#endif
