// The main dialog's word operations against the controls, by control id: every MODE bit has its
// own check box, and the running/idle switch covers exactly the inputs each platform offers.
#include "controls.h"
#include "copyjob.h"
#include "dialog.h"
#include "dialogwords.h"
#include "tree.h"
#include <set>
#include <string>

// Every check box of MODE with its bit, written out as the dialog defines them.
static const struct {
    int id;
    int bit;
} MODE_BOX_BITS[] = {
    {1019, 0},  {1020, 1},  {1021, 2},  {1022, 3},  {1023, 4},  {1024, 5},  {1025, 6},  {1026, 7},
    {1027, 8},  {1009, 9},  {1010, 10}, {1011, 11}, {1012, 12}, {1013, 13}, {1014, 14}, {1015, 15},
    {1016, 16}, {1017, 17}, {1029, 18}, {1030, 19}, {1031, 20}, {1032, 21}, {1033, 22}, {1034, 23},
    {1035, 24}, {1036, 25}, {1037, 26}, {1040, 27}, {1039, 28},
};

class DialogWordsTest : public PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        NEEDS_WINDOWS();
        savedPlatform = PlatformCode;
        PlatformCode = PLATFORM_NT5;
        dialog = CreateTestMainDialog();
        ASSERT_NE(nullptr, dialog);
    }
    void TearDown() override {
        if (dialog) DestroyTestMainDialog(dialog);
        PlatformCode = savedPlatform;
        g_idleFlag = 1;
        PlatformTest::TearDown();
    }
    HWND dialog = nullptr;
    LONG savedPlatform = PLATFORM_NT5;
};

TEST_F(DialogWordsTest, EveryModeBitHasItsOwnCheckBox) {
    ASSERT_EQ(29u, sizeof MODE_BOX_BITS / sizeof *MODE_BOX_BITS);
    for (auto &box : MODE_BOX_BITS) {
        SCOPED_TRACE(box.id);
        // Shown: that box and no other is checked.
        ShowModeWord(dialog, 1u << box.bit);
        for (auto &other : MODE_BOX_BITS)
            EXPECT_EQ(other.id == box.id ? BST_CHECKED : BST_UNCHECKED, ControlCheck(dialog, other.id)) << other.id;
        // Read: that box alone gives that bit alone.
        ShowModeWord(dialog, 0);
        SendDlgItemMessageA(dialog, box.id, BM_SETCHECK, BST_CHECKED, 0);
        EXPECT_EQ(1u << box.bit, ReadModeWord(dialog));
    }
}

// The inputs enabled and disabled together, for each platform class: what every platform offers,
// plus compressed from NT 3 on, plus encrypted, temporary and not indexed on NT 5.
TEST_F(DialogWordsTest, InputsSwitchedOnEachPlatformClass) {
    const std::set<int> always = {1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009, 1011, 1012, 1016, 1017,
                                  1019, 1021, 1022, 1026, 1027, 1029, 1031, 1032, 1036, 1037, 1039, 1040, 1041,
                                  1042, 1043, 1044};
    const std::set<int> fromNt3 = {1013, 1023, 1033};
    const std::set<int> onNt5 = {1010, 1014, 1015, 1020, 1024, 1025, 1030, 1034, 1035};
    const struct {
        LONG platform;
        bool compressed, nt5;
    } classes[] = {
        {PLATFORM_WIN32S, false, false}, {PLATFORM_WIN95, false, false}, {-1, false, false},
        {PLATFORM_NT3, true, false},     {PLATFORM_NT4, true, false},    {PLATFORM_NT5, true, true},
    };
    for (auto &c : classes) {
        SCOPED_TRACE(c.platform);
        PlatformCode = c.platform;
        std::set<int> switched = always;
        if (c.compressed) switched.insert(fromNt3.begin(), fromNt3.end());
        if (c.nt5) switched.insert(onNt5.begin(), onNt5.end());
        for (bool on : {false, true}) {
            // Every other control keeps the state it had: start from the opposite of `on`.
            for (int id = 1001; id <= 1046; id++) EnableWindow(GetDlgItem(dialog, id), !on);
            SetInputsEnabled(dialog, on);
            for (int id = 1001; id <= 1044; id++) {
                if (!GetDlgItem(dialog, id) || id == IDC_PROGRESS) continue;
                EXPECT_EQ(switched.count(id) ? on : !on, ControlEnabled(dialog, id)) << id << (on ? " on" : " off");
            }
            EXPECT_TRUE(ControlEnabled(dialog, IDC_START)) << "the start button stays pressable";
            EXPECT_EQ(on ? 1 : 0, g_idleFlag.load());
        }
    }
}
