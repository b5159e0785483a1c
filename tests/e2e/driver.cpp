// The GUI test bench's tests of the message box and the folder picker: starts the GUI test program
// under Wine, finds its message box or folder picker, checks what a user would see through window
// messages (sizes, places, captions, buttons), saves screenshots, and ends the box as a user would
// (a click, Escape).
#include <windows.h>
#include <gtest/gtest.h>
#include <commctrl.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "folder.h"
#include "ids.h"
#include "messages.h"
#include "msgbox.h"
#include "patterns.h"
#include "bench.h"

// The box font's character size, measured here the way the box measures it.
static SIZE MeasureBoxFont() {
    SIZE extent = {MESSAGE_FONT_WIDTH, MESSAGE_FONT_HEIGHT};
    HFONT font = CreateFontA(MESSAGE_FONT_HEIGHT, MESSAGE_FONT_WIDTH, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                             SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH,
                             MESSAGE_FONT_FACE);
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    EXPECT_TRUE(GetTextExtentPointA(dc, "A", 1, &extent));
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    DeleteObject(font);
    return extent;
}

struct Button {
    HWND window;
    int id;
    std::string caption;
    ScreenRect client; // in the box's client coordinates
};

static BOOL CALLBACK CollectButton(HWND window, LPARAM data) {
    std::vector<HWND> *all = (std::vector<HWND> *)data;
    char cls[64] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (_stricmp(cls, "Button") == 0) all->push_back(window);
    return TRUE;
}

static std::vector<Button> Buttons(HWND box) {
    std::vector<HWND> all;
    EnumChildWindows(box, CollectButton, (LPARAM)&all);
    std::vector<Button> buttons;
    for (HWND w : all) {
        RECT r;
        GetWindowRect(w, &r);
        MapWindowPoints(nullptr, box, (POINT *)&r, 2);
        buttons.push_back(Button{w, GetDlgCtrlID(w), WindowText(w), ToScreenRect(r)});
    }
    std::sort(buttons.begin(), buttons.end(), [](const Button &a, const Button &b) { return a.client.left < b.client.left; });
    return buttons;
}

class GuiBench : public ::testing::Test {
  protected:
    BenchProcess program;
    PROCESS_INFORMATION &app = program.info;

    void Start(const std::string &args) { program.Start(BenchDir() + "kestrel_boxapp.exe", args); }

    // The visible dialog-class window of the test program: the box or the picker.
    HWND WaitForDialog(const char *caption = nullptr) { return program.WaitForWindow(MESSAGE_BOX_CLASS, caption); }

    DWORD Finish() { return program.Finish(); }
};

// The box's client size follows the measured character size; its buttons are centred in the
// client area, carry their captions and stand where the layout puts them.
static void CheckBoxLayout(HWND box, UINT type, const char *text, const char *const *captions, const int *ids) {
    SIZE ch = MeasureBoxFont();
    ::testing::Test::RecordProperty("char_size", std::to_string(ch.cx) + "x" + std::to_string(ch.cy));
    MessageBoxClient expected = MessageBoxClientSize(type, ch.cx, ch.cy, MeasureMessageText(text));
    RECT client;
    ASSERT_TRUE(GetClientRect(box, &client));
    EXPECT_EQ(expected.width, client.right) << "client width for a " << ch.cx << "x" << ch.cy << " character";
    EXPECT_EQ(expected.height, client.bottom) << "client height for a " << ch.cx << "x" << ch.cy << " character";

    std::vector<Button> buttons = Buttons(box);
    ASSERT_EQ(expected.buttonCount, (int)buttons.size());
    ScreenRect places[3];
    LayoutMessageBoxButtons(client.right, client.bottom, ch.cx, ch.cy, expected.buttonCount, places);
    for (int i = 0; i < expected.buttonCount; i++) {
        SCOPED_TRACE("button " + std::to_string(i));
        EXPECT_EQ(captions[i], buttons[i].caption);
        EXPECT_EQ(ids[i], buttons[i].id);
        EXPECT_EQ(places[i].left, buttons[i].client.left);
        EXPECT_EQ(places[i].top, buttons[i].client.top);
        EXPECT_EQ(9 * ch.cx + 20, RectWidth(buttons[i].client));
        EXPECT_EQ(ch.cy + 10, RectHeight(buttons[i].client));
        EXPECT_EQ(client.bottom - 10, buttons[i].client.bottom); // the row ends 10 pixels above the bottom
    }
    if (!buttons.empty()) {
        // Centred: as much room on the right of the row as on its left (an odd pixel goes right).
        int left = buttons.front().client.left, right = client.right - buttons.back().client.right;
        EXPECT_GE(right - left, 0);
        EXPECT_LE(right - left, 1);
    }
}

static const char *const OK_CAPTION[] = {"ＯＫ"};
static const int OK_ID[] = {IDOK};

TEST_F(GuiBench, ErrorBoxWithTwoJapaneseLinesIsSizedCentredAndOkReturns1) {
    Start("box error japanese none");
    HWND box = WaitForDialog();
    ASSERT_TRUE(box) << "no box appeared";
    EXPECT_EQ("Error", WindowText(box));
    CheckBoxLayout(box, MB_OK | MB_ICONHAND, BenchMessageText("japanese"), OK_CAPTION, OK_ID);
    // No owner: centred on the work area.
    ScreenRect r = WindowRect(box), work = WorkArea();
    ScreenPoint at = PlaceMessageBox(OWNER_ABSENT, work, ScreenPoint{0, 0}, work, RectWidth(r), RectHeight(r));
    EXPECT_EQ(at.x, r.left);
    EXPECT_EQ(at.y, r.top);
    EXPECT_TRUE(Screenshot(box, "error-box.png"));
    Click(Buttons(box).at(0).window);
    EXPECT_EQ((DWORD)IDOK, Finish());
}

TEST_F(GuiBench, WarningBoxIsCentredOnItsOwner) {
    Start("box warning japanese shown");
    HWND box = WaitForDialog();
    ASSERT_TRUE(box) << "no box appeared";
    EXPECT_EQ("Warning", WindowText(box));
    CheckBoxLayout(box, MB_OK | MB_ICONEXCLAMATION, BenchMessageText("japanese"), OK_CAPTION, OK_ID);
    HWND owner = FindWindowA(TEST_OWNER_CLASS, TEST_OWNER_TITLE);
    ASSERT_TRUE(owner);
    EXPECT_FALSE(IsWindowEnabled(owner)) << "the box is modal to its owner";
    ScreenRect r = WindowRect(box), o = WindowRect(owner);
    ScreenPoint at = PlaceMessageBox(OWNER_SHOWN, o, ScreenPoint{0, 0}, WorkArea(), RectWidth(r), RectHeight(r));
    EXPECT_EQ(at.x, r.left);
    EXPECT_EQ(at.y, r.top);
    // The centres agree within the truncated half pixel.
    EXPECT_LE(abs((r.left + r.right) - (o.left + o.right)), 1);
    EXPECT_TRUE(Screenshot(box, "warning-box.png"));
    Click(Buttons(box).at(0).window);
    EXPECT_EQ((DWORD)IDOK, Finish());
}

TEST_F(GuiBench, BoxWithAHiddenOwnerIsCentredOnTheWorkArea) {
    Start("box information short hidden");
    HWND box = WaitForDialog();
    ASSERT_TRUE(box) << "no box appeared";
    ScreenRect r = WindowRect(box), work = WorkArea();
    EXPECT_EQ(work.left + (RectWidth(work) - RectWidth(r)) / 2, r.left);
    EXPECT_EQ(work.top + (RectHeight(work) - RectHeight(r)) / 2, r.top);
    Click(Buttons(box).at(0).window);
    EXPECT_EQ((DWORD)IDOK, Finish());
}

TEST_F(GuiBench, BoxThatCannotBeCreatedReturnsMinus1WithThePlatformsError) {
    Start("box error short gone");
    DWORD code = 0;
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(app.hProcess, 10000)) << "a box opened on a destroyed owner";
    code = Finish();
    EXPECT_EQ((DWORD)(0x10000 + ERROR_INVALID_WINDOW_HANDLE), code);
}

TEST_F(GuiBench, EscapeInAnOkBoxReturns2) {
    Start("box information japanese none");
    HWND box = WaitForDialog();
    ASSERT_TRUE(box) << "no box appeared";
    EXPECT_EQ("Information", WindowText(box));
    CheckBoxLayout(box, MB_OK | MB_ICONASTERISK, BenchMessageText("japanese"), OK_CAPTION, OK_ID);
    EXPECT_TRUE(Screenshot(box, "information-box.png"));
    // Escape as the keyboard gives it: a key message to the focused control, which the box's
    // dialog manager turns into the Cancel command.
    GUITHREADINFO gui;
    memset(&gui, 0, sizeof gui);
    gui.cbSize = sizeof gui;
    HWND focus = GetGUIThreadInfo(app.dwThreadId, &gui) && gui.hwndFocus ? gui.hwndFocus : Buttons(box).at(0).window;
    PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageA(focus, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    EXPECT_EQ((DWORD)IDCANCEL, Finish());
}

TEST_F(GuiBench, EmptyMessageGivesOneEmptyLine) {
    Start("box plain empty none");
    HWND box = WaitForDialog();
    ASSERT_TRUE(box) << "no box appeared";
    CheckBoxLayout(box, MB_OK, "", OK_CAPTION, OK_ID);
    SIZE ch = MeasureBoxFont();
    RECT client;
    GetClientRect(box, &client);
    // One line of no columns: the floor of 52 pixels plus the button row; as wide as the row.
    EXPECT_EQ(9 * ch.cx + 40, client.right);
    EXPECT_EQ(std::max((int)ch.cy + 20, 52) + ch.cy + 20, client.bottom);
    if (ch.cx == 6 && ch.cy == 12) {
        EXPECT_EQ(94, client.right);
        EXPECT_EQ(84, client.bottom);
    }
    EXPECT_EQ("Plain", WindowText(box));
    Click(Buttons(box).at(0).window);
    EXPECT_EQ((DWORD)IDOK, Finish());
}

TEST_F(GuiBench, MinimisedOwnerOpensNearTheCursorOnTheWorkArea) {
    ScreenRect work = WorkArea();
    const POINT spots[] = {{500, 400}, {work.right - 5, work.bottom - 5}, {work.left + 3, work.top + 3}};
    for (const POINT &spot : spots) {
        SCOPED_TRACE("cursor at " + std::to_string(spot.x) + "," + std::to_string(spot.y));
        ASSERT_TRUE(SetCursorPos(spot.x, spot.y));
        // Wine passes a moved cursor to other processes through the X server: wait until the move
        // is seen, so that the box does not read the previous spot.
        for (int i = 0; i < 40; i++) {
            POINT seen;
            if (GetCursorPos(&seen) && seen.x == spot.x && seen.y == spot.y) break;
            Sleep(50);
        }
        Sleep(300);
        Start("box warning short minimised");
        HWND box = WaitForDialog();
        ASSERT_TRUE(box) << "no box appeared";
        POINT cursor;
        GetCursorPos(&cursor);
        ScreenRect r = WindowRect(box);
        ScreenPoint at = PlaceMessageBox(OWNER_MINIMISED, work, ScreenPoint{cursor.x, cursor.y}, work, RectWidth(r),
                                         RectHeight(r));
        EXPECT_EQ(at.x, r.left);
        EXPECT_EQ(at.y, r.top);
        EXPECT_GE(r.left, work.left);
        EXPECT_GE(r.top, work.top);
        EXPECT_LE(r.right, work.right);
        EXPECT_LE(r.bottom, work.bottom);
        if (spot.x == 500) {
            EXPECT_EQ(cursor.x - 30, r.left);
            EXPECT_EQ(cursor.y - 30, r.top);
        }
        Click(Buttons(box).at(0).window);
        EXPECT_EQ((DWORD)IDOK, Finish());
        CloseHandle(app.hProcess);
        CloseHandle(app.hThread);
        app = PROCESS_INFORMATION{};
    }
}

TEST_F(GuiBench, ThreeButtonsStandCentredWithTheirCaptions) {
    Start("box yesnocancel tabs shown");
    HWND box = WaitForDialog();
    ASSERT_TRUE(box) << "no box appeared";
    EXPECT_EQ("Question", WindowText(box));
    const char *const captions[] = {"はい(&Y)", "いいえ(&N)", "ｷｬﾝｾﾙ"};
    const int ids[] = {IDYES, IDNO, IDCANCEL};
    CheckBoxLayout(box, MB_YESNOCANCEL | MB_ICONQUESTION, BenchMessageText("tabs"), captions, ids);
    EXPECT_TRUE(Screenshot(box, "question-box.png"));
    Click(Buttons(box).at(1).window);
    EXPECT_EQ((DWORD)IDNO, Finish());
}

TEST_F(GuiBench, BoxWiderThanTheWorkAreaIsCutToIt) {
    Start("box plain wide none");
    HWND box = WaitForDialog();
    ASSERT_TRUE(box) << "no box appeared";
    ScreenRect r = WindowRect(box), work = WorkArea();
    EXPECT_EQ(RectWidth(work), RectWidth(r));
    EXPECT_EQ(work.left, r.left);
    // The buttons are laid out in the client area the cut window really has.
    RECT client;
    GetClientRect(box, &client);
    std::vector<Button> buttons = Buttons(box);
    ASSERT_EQ(1u, buttons.size());
    int left = buttons[0].client.left, right = client.right - buttons[0].client.right;
    EXPECT_GE(right - left, 0);
    EXPECT_LE(right - left, 1);
    Click(buttons[0].window);
    EXPECT_EQ((DWORD)IDOK, Finish());
}

TEST_F(GuiBench, BoxesOnTwoThreadsAtOnceKeepTheirOwnState) {
    Start("two");
    HWND error = WaitForDialog("Error");
    ASSERT_TRUE(error) << "no box on the main thread";
    HWND information = WaitForDialog("Information");
    ASSERT_TRUE(information) << "no box on the second thread";
    EXPECT_NE(GetWindowThreadProcessId(error, nullptr), GetWindowThreadProcessId(information, nullptr));
    CheckBoxLayout(error, MB_OK | MB_ICONHAND, BenchMessageText("japanese"), OK_CAPTION, OK_ID);
    CheckBoxLayout(information, MB_OK | MB_ICONASTERISK, BenchMessageText("tabs"), OK_CAPTION, OK_ID);
    // Ending one box leaves the other open, with its text, size and buttons.
    Click(Buttons(information).at(0).window);
    for (int i = 0; i < 100 && IsWindow(information); i++) Sleep(50);
    EXPECT_FALSE(IsWindow(information));
    ASSERT_TRUE(IsWindowVisible(error));
    CheckBoxLayout(error, MB_OK | MB_ICONHAND, BenchMessageText("japanese"), OK_CAPTION, OK_ID);
    GUITHREADINFO gui;
    memset(&gui, 0, sizeof gui);
    gui.cbSize = sizeof gui;
    HWND focus = GetGUIThreadInfo(app.dwThreadId, &gui) && gui.hwndFocus ? gui.hwndFocus : Buttons(error).at(0).window;
    PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    EXPECT_EQ((DWORD)(IDCANCEL * 10 + IDOK), Finish());
}

// ---- folder picker ----

static std::string ReadResult(const std::string &path) {
    std::string text;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return "(missing)";
    char buf[512];
    size_t n = fread(buf, 1, sizeof buf, f);
    fclose(f);
    return std::string(buf, n);
}

TEST_F(GuiBench, PickerIsCentredOnItsOwnerAndReturnsTheInitialFolder) {
    char windows[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(windows, sizeof windows), 0u);
    std::string result = ArtefactDir() + "picker-result.txt";
    DeleteFileA(result.c_str());
    Start(std::string("picker \"") + windows + "\" \"" + result + "\"");
    HWND picker = WaitForDialog();
    ASSERT_TRUE(picker) << "no picker appeared";
    HWND owner = FindWindowA(TEST_OWNER_CLASS, TEST_OWNER_TITLE);
    ASSERT_TRUE(owner);
    ScreenRect r = WindowRect(picker);
    ScreenPoint at = CenterPlacement(WindowRect(owner), RectWidth(r), RectHeight(r), WorkArea());
    EXPECT_EQ(at.x, r.left);
    EXPECT_EQ(at.y, r.top);
    HWND ok = GetDlgItem(picker, PICKER_OK);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(IsWindowEnabled(ok)) << "the initial folder is a file-system folder";
    EXPECT_TRUE(Screenshot(picker, "folder-picker.png"));
    Click(ok);
    EXPECT_EQ(0u, Finish());
    EXPECT_EQ(0, _stricmp(windows, ReadResult(result).c_str())) << ReadResult(result);
}

TEST_F(GuiBench, PickerEnablesOkOnlyForFileSystemFoldersAndCancelReturnsMinus1) {
    std::string result = ArtefactDir() + "picker-cancel.txt";
    DeleteFileA(result.c_str());
    Start("picker C:\\ \"" + result + "\"");
    HWND picker = WaitForDialog();
    ASSERT_TRUE(picker) << "no picker appeared";
    HWND ok = GetDlgItem(picker, PICKER_OK);
    ASSERT_TRUE(ok);
    // Walk the top level of the folder tree (the desktop's items): the virtual ones (My Computer,
    // the network) disable OK, the file-system ones enable it.
    HWND tree = FindWindowExA(picker, nullptr, "SysTreeView32", nullptr);
    ASSERT_TRUE(tree);
    LRESULT root = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
    ASSERT_TRUE(root);
    SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, root);
    int enabled = 0, disabled = 0;
    for (LRESULT item = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD, root); item;
         item = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, item)) {
        SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, item);
        SendMessageTimeoutA(picker, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
        (IsWindowEnabled(ok) ? enabled : disabled)++;
    }
    EXPECT_GT(disabled, 0) << "a virtual item must disable OK";
    EXPECT_GT(enabled, 0) << "a file-system folder must enable OK again";
    Click(GetDlgItem(picker, PICKER_CANCEL));
    EXPECT_EQ(0xFFFFFFFFu, Finish());
    EXPECT_EQ("", ReadResult(result));
}

// ---- CenterWindow on real windows (the driver's own) ----

static HWND PlainWindow(int x, int y, int w, int h, HWND owner = nullptr) {
    HWND window = CreateWindowExA(0, "STATIC", "centre me", WS_POPUP | WS_CAPTION | WS_VISIBLE, x, y, w, h, owner,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
    EXPECT_TRUE(window) << "error " << GetLastError();
    return window;
}

TEST(CenterWindowOnWine, NoReferenceAndNoParentCentresOnTheWorkArea) {
    ScreenRect work = WorkArea();
    HWND window = PlainWindow(3, 3, 301, 201);
    ASSERT_TRUE(window);
    EXPECT_EQ(0, CenterWindow(window, nullptr));
    ScreenRect r = WindowRect(window);
    EXPECT_EQ(work.left + (RectWidth(work) - 301) / 2, r.left);
    EXPECT_EQ(work.top + (RectHeight(work) - 201) / 2, r.top);
    EXPECT_EQ(301, RectWidth(r)); // the size is kept
    DestroyWindow(window);
}

TEST(CenterWindowOnWine, NoReferenceCentresOnTheParent) {
    HWND owner = PlainWindow(100, 120, 400, 300);
    HWND window = PlainWindow(0, 0, 200, 100, owner);
    ASSERT_TRUE(owner && window);
    EXPECT_EQ(0, CenterWindow(window, nullptr));
    ScreenRect r = WindowRect(window);
    EXPECT_EQ(200, r.left);
    EXPECT_EQ(220, r.top);
    DestroyWindow(window);
    DestroyWindow(owner);
}

TEST(CenterWindowOnWine, ReferenceNearTheRightEdgePushesTheWindowLeftAndALargeWindowSitsTopLeft) {
    ScreenRect work = WorkArea();
    HWND reference = PlainWindow(work.right - 120, 200, 100, 100);
    HWND window = PlainWindow(0, 0, 300, 150);
    ASSERT_TRUE(reference && window);
    EXPECT_EQ(0, CenterWindow(window, reference));
    ScreenRect r = WindowRect(window);
    EXPECT_EQ(work.right, r.right);
    EXPECT_EQ(200 + (100 - 150) / 2, r.top);
    SetWindowPos(window, nullptr, 0, 0, RectWidth(work) + 50, RectHeight(work) + 40, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(0, CenterWindow(window, reference));
    r = WindowRect(window);
    EXPECT_EQ(work.left, r.left);
    EXPECT_EQ(work.top, r.top);
    DestroyWindow(window);
    DestroyWindow(reference);
}
