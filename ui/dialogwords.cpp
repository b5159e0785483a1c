// The main dialog's word operations: MODE and CONF to and from the checkboxes and the log level
// text, and the idle/running switch of the inputs.
#include "dialogwords.h"
#include "controls.h"
#include "copyjob.h"
#include <cstring>

LONG PlatformCode = PLATFORM_NT5;
std::atomic<int> g_idleFlag{1};
HICON g_copyButtonImage = nullptr;
HICON g_stopButtonImage = nullptr;

// The 29 checkboxes in the order ShowModeWord sets them, each with its MODE bit.
static const struct {
    int id;
    int bit;
} MODE_BOXES[] = {
    {1009, 9},  {1010, 10}, {1011, 11}, {1012, 12}, {1013, 13}, {1014, 14}, {1015, 15}, {1016, 16}, {1017, 17},
    {1019, 0},  {1020, 1},  {1021, 2},  {1022, 3},  {1023, 4},  {1024, 5},  {1025, 6},  {1026, 7},  {1027, 8},
    {1029, 18}, {1030, 19}, {1031, 20}, {1032, 21}, {1033, 22}, {1034, 23}, {1035, 24}, {1036, 25}, {1037, 26},
    {IDC_SKIP_SAME_SIZE, 27}, {IDC_SKIP_NOT_NEWER, 28},
};

void ShowModeWord(HWND dialog, DWORD mode) {
    for (auto &box : MODE_BOXES)
        SendDlgItemMessageA(dialog, box.id, BM_SETCHECK, (mode >> box.bit) & 1u ? BST_CHECKED : BST_UNCHECKED, 0);
}

DWORD ReadModeWord(HWND dialog) {
    DWORD mode = 0;
    for (auto &box : MODE_BOXES)
        if (SendDlgItemMessageA(dialog, box.id, BM_GETCHECK, 0, 0) == BST_CHECKED) mode |= 1u << box.bit;
    return mode & PlatformModeMask(PlatformCode);
}

void ShowConfWord(HWND dialog, DWORD conf) {
    SendDlgItemMessageA(dialog, IDC_LOG_LEVEL, WM_SETTEXT, 0, (LPARAM)LogLevelCaption(conf & CONF_LEVEL_MASK));
    SendDlgItemMessageA(dialog, IDC_CLEAR_ARCHIVE, BM_SETCHECK, (conf & CONF_CLEAR_ARCHIVE) ? BST_CHECKED : BST_UNCHECKED,
                        0);
    SendDlgItemMessageA(dialog, IDC_CHECK_MISSING, BM_SETCHECK, (conf & CONF_CHECK_MISSING) ? BST_CHECKED : BST_UNCHECKED,
                        0);
}

DWORD ReadConfWord(HWND dialog) {
    char caption[128];
    caption[0] = '\0';
    SendDlgItemMessageA(dialog, IDC_LOG_LEVEL, WM_GETTEXT, sizeof caption, (LPARAM)caption);
    caption[sizeof caption - 1] = '\0';
    DWORD conf = LogLevelOfCaption(caption);
    if (SendDlgItemMessageA(dialog, IDC_CLEAR_ARCHIVE, BM_GETCHECK, 0, 0) == BST_CHECKED) conf |= CONF_CLEAR_ARCHIVE;
    if (SendDlgItemMessageA(dialog, IDC_CHECK_MISSING, BM_GETCHECK, 0, 0) == BST_CHECKED) conf |= CONF_CHECK_MISSING;
    return conf;
}

// The inputs in the order SetInputsEnabled switches them, each with the platform code from which
// the platform offers it (0: always).
static const struct {
    int id;
    LONG from;
} INPUTS[] = {
    {1001, 0}, {1002, 0}, {1003, 0}, {1004, 0}, {1006, 0}, {1005, 0}, {1008, 0}, {1007, 0},
    {1009, 0}, {1011, 0}, {1012, 0}, {1016, 0}, {1017, 0},
    {1013, 0x00020000}, {1010, 0x00030005}, {1014, 0x00030005}, {1015, 0x00030005},
    {1019, 0}, {1021, 0}, {1022, 0}, {1026, 0}, {1027, 0},
    {1023, 0x00020000}, {1020, 0x00030005}, {1024, 0x00030005}, {1025, 0x00030005},
    {1029, 0}, {1031, 0}, {1032, 0}, {1036, 0}, {1037, 0},
    {1033, 0x00020000}, {1030, 0x00030005}, {1034, 0x00030005}, {1035, 0x00030005},
    {1040, 0}, {1039, 0}, {1041, 0}, {1042, 0}, {1043, 0}, {1044, 0},
};

void SetInputsEnabled(HWND dialog, BOOL on) {
    for (auto &input : INPUTS)
        if (input.from == 0 || PlatformCode >= input.from) EnableWindow(GetDlgItem(dialog, input.id), on);
    HICON image = on ? g_copyButtonImage : g_stopButtonImage;
    if (image) SendDlgItemMessageA(dialog, IDC_START, BM_SETIMAGE, IMAGE_ICON, (LPARAM)image);
    // The idle flag changes before the start button is enabled: a press that comes as soon as the
    // button can be pressed again must see the new state. (With the button enabled first, a press
    // just before the flag turned 1 counted as a stop press and disabled the button for good.)
    g_idleFlag = on ? 1 : 0;
    EnableWindow(GetDlgItem(dialog, IDC_START), TRUE);
}
