// The message box on Windows: a modal dialog built at run time from a template in memory,
// measured in its fixed-pitch font, sized and placed, with its buttons, icon, sound and painting.
#include "msgbox.h"
#include <cstring>

// The module instance the boxes are created with: written once at start, then only read.
static HINSTANCE g_messageBoxInstance;

void SetMessageBoxInstance(HINSTANCE instance) { g_messageBoxInstance = instance; }

// The state of one open box. It lives in ShowMessageBox's frame and reaches the box procedure
// through DWLP_USER, so boxes open on two threads at once share nothing. The text comes first:
// the GUI bench reads a box's text there from its own process, as no window message gives it.
struct MessageBoxState {
    char text[MESSAGE_TEXT_MAX + 1];
    const char *caption;
    UINT type;
    HFONT font;
    int charWidth;
    int charHeight;
    int columns;
    int lines;
    int result;
    bool opened; // the box was created (WM_INITDIALOG came)
};

static const DWORD MESSAGE_BOX_STYLE = 0x90C80080; // WS_POPUP|WS_VISIBLE|WS_CAPTION|WS_SYSMENU|DS_MODALFRAME
static const DWORD MESSAGE_BOX_FRAME_STYLE = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU;
static const DWORD MESSAGE_BUTTON_STYLE = 0x50010000; // WS_CHILD|WS_VISIBLE|WS_TABSTOP, push button

static ScreenRect ToScreenRect(const RECT &r) { return ScreenRect{r.left, r.top, r.right, r.bottom}; }

static ScreenRect WorkArea() {
    RECT work;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) {
        work.left = work.top = 0;
        work.right = GetSystemMetrics(SM_CXSCREEN);
        work.bottom = GetSystemMetrics(SM_CYSCREEN);
    }
    return ToScreenRect(work);
}

static void MeasureBox(HWND box, MessageBoxState *state) {
    state->font = CreateFontA(MESSAGE_FONT_HEIGHT, MESSAGE_FONT_WIDTH, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                              SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH,
                              MESSAGE_FONT_FACE);
    // Without the font the box still works in the device context's own font, measured the same way.
    state->charWidth = MESSAGE_FONT_WIDTH;
    state->charHeight = MESSAGE_FONT_HEIGHT;
    HDC dc = GetDC(box);
    if (dc) {
        HGDIOBJ old = state->font ? SelectObject(dc, state->font) : nullptr;
        SIZE extent;
        if (GetTextExtentPointA(dc, "A", 1, &extent)) {
            state->charWidth = extent.cx;
            state->charHeight = extent.cy;
        }
        if (old) SelectObject(dc, old);
        ReleaseDC(box, dc);
    }
    MessageTextSize size = MeasureMessageText(state->text);
    state->columns = size.columns;
    state->lines = size.lines;
}

// Creates the buttons; returns the one that is to start with the focus when it is not the first
// (MB_DEFBUTTON2), else null.
static HWND CreateButtons(HWND box, MessageBoxState *state) {
    const MessageBoxButtonSet &set = MessageBoxButtons(state->type);
    RECT client;
    GetClientRect(box, &client);
    ScreenRect places[3];
    LayoutMessageBoxButtons(client.right - client.left, client.bottom - client.top, state->charWidth,
                            state->charHeight, set.count, places);
    int first = MessageBoxDefaultButton(state->type);
    HWND focus = nullptr;
    for (int i = 0; i < set.count; i++) {
        HWND button = CreateWindowExA(0, "BUTTON", set.buttons[i].caption, MESSAGE_BUTTON_STYLE, places[i].left,
                                      places[i].top, RectWidth(places[i]), RectHeight(places[i]), box,
                                      (HMENU)(INT_PTR)set.buttons[i].id, g_messageBoxInstance, nullptr);
        if (button && state->font) SendMessageA(button, WM_SETFONT, (WPARAM)state->font, TRUE);
        if (i == first && i > 0) focus = button;
    }
    return focus;
}

// Returns true when it has put the focus on a button itself (the dialog manager then leaves it).
static bool OpenBox(HWND box, MessageBoxState *state) {
    MeasureBox(box, state);
    MessageTextSize text = {state->columns, state->lines};
    MessageBoxClient client = MessageBoxClientSize(state->type, state->charWidth, state->charHeight, text);
    if (client.buttonCount > 0) {
        EnableMenuItem(GetSystemMenu(box, FALSE), SC_CLOSE, MF_DISABLED);
        DrawMenuBar(box);
        SendMessageA(box, WM_SETTEXT, 0, (LPARAM)state->caption);
    }
    RECT frame = {0, 0, client.width, client.height};
    AdjustWindowRect(&frame, MESSAGE_BOX_FRAME_STYLE, FALSE);
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    ScreenRect work = WorkArea();
    CutToWorkArea(width, height, work);

    MessageBoxOwnerState ownerState = OWNER_ABSENT;
    ScreenRect ownerRect = work;
    POINT cursor = {0, 0};
    HWND parent = GetParent(box);
    if (parent && IsWindowVisible(parent)) {
        if (IsIconic(parent)) {
            ownerState = OWNER_MINIMISED;
            GetCursorPos(&cursor);
        } else {
            RECT r;
            if (GetWindowRect(parent, &r)) {
                ownerState = OWNER_SHOWN;
                ownerRect = ToScreenRect(r);
            }
        }
    }
    ScreenPoint at = PlaceMessageBox(ownerState, ownerRect, ScreenPoint{cursor.x, cursor.y}, work, width, height);
    SetWindowPos(box, nullptr, at.x, at.y, width, height, 0);

    HWND focus = CreateButtons(box, state);
    if (focus) {
        // Enter clicks the default button, and the focused push button is the default one:
        // both on the button that MB_DEFBUTTON2 names.
        SendMessageA(box, DM_SETDEFID, (WPARAM)GetDlgCtrlID(focus), 0);
        SendMessageA(box, WM_NEXTDLGCTL, (WPARAM)focus, TRUE);
    }
    UINT icon = MessageBoxIconValue(state->type);
    if (icon) {
        MessageBeep(icon);
        Sleep(50);
    }
    return focus != nullptr;
}

static void PaintBox(HWND box, MessageBoxState *state) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(box, &ps);
    if (!dc) return;
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ old = state->font ? SelectObject(dc, state->font) : nullptr;
    int systemIcon = MessageBoxSystemIcon(state->type);
    if (systemIcon) {
        HICON icon = LoadIconA(nullptr, MAKEINTRESOURCEA(systemIcon));
        if (icon) DrawIcon(dc, 20, 10, icon);
    }
    int textLeft = systemIcon ? 62 : 20;
    MessageTextWalk walk = {state->text, 0, 0, 0};
    MessageTextSegment segment;
    while (NextMessageTextSegment(walk, segment))
        TextOutA(dc, textLeft + segment.column * state->charWidth, 10 + segment.line * state->charHeight,
                 segment.start, segment.length);
    if (old) SelectObject(dc, old);
    EndPaint(box, &ps);
}

static INT_PTR CALLBACK MessageBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    MessageBoxState *state = (MessageBoxState *)GetWindowLongPtrA(box, DWLP_USER);
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(box, DWLP_USER, lParam);
        ((MessageBoxState *)lParam)->opened = true;
        // TRUE: the dialog manager gives the focus to the first button.
        return OpenBox(box, (MessageBoxState *)lParam) ? FALSE : TRUE;
    case WM_PAINT:
        if (!state) return FALSE;
        PaintBox(box, state);
        return TRUE;
    case WM_COMMAND: {
        int id = LOWORD(wParam);
        if (state && id >= IDOK && id <= IDNO) {
            state->result = id;
            EndDialog(box, id);
            return TRUE;
        }
        return FALSE;
    }
    case WM_NCDESTROY:
        // The font goes with the box however it ends (a command, or the box destroyed with its
        // owner), and only after the buttons that use it are gone.
        if (state && state->font) {
            DeleteObject(state->font);
            state->font = nullptr;
        }
        return FALSE;
    }
    return FALSE;
}

// The template: a DLGTEMPLATE followed by three empty words (no menu, the default class, an empty
// title), zero-filled.
static HGLOBAL BuildBoxTemplate() {
    HGLOBAL memory = GlobalAlloc(GMEM_ZEROINIT, sizeof(DLGTEMPLATE) + 3 * sizeof(WORD) + 16);
    if (!memory) return nullptr;
    DLGTEMPLATE *t = (DLGTEMPLATE *)GlobalLock(memory);
    if (!t) {
        GlobalFree(memory);
        return nullptr;
    }
    t->style = MESSAGE_BOX_STYLE;
    t->dwExtendedStyle = 0;
    t->cdit = 0;
    t->x = 0;
    t->y = 10;
    t->cx = 100;
    t->cy = 50;
    GlobalUnlock(memory);
    return memory;
}

int ShowMessageBox(HWND owner, const char *text, const char *caption, UINT type) {
    MessageBoxState state;
    memset(&state, 0, sizeof state);
    CopyMessageText(state.text, text);
    state.caption = caption ? caption : "";
    state.type = type;
    state.result = IDCANCEL;

    HGLOBAL memory = BuildBoxTemplate();
    if (!memory) return -1;
    const DLGTEMPLATE *t = (const DLGTEMPLATE *)GlobalLock(memory);
    INT_PTR r = -1;
    if (t) r = DialogBoxIndirectParamA(g_messageBoxInstance, t, owner, MessageBoxProc, (LPARAM)&state);
    DWORD error = GetLastError();
    GlobalUnlock(memory);
    GlobalFree(memory);
    // The box ends through EndDialog with 1–7, or without a command (destroyed with its owner,
    // or a quit message during the box): then it returns 2. Windows returns 0 without showing
    // anything when the owner is not a valid window: a failure, not a cancelled box.
    if (r == -1 || (r == 0 && !state.opened)) {
        // Freeing the template must not hide why the box could not be created.
        SetLastError(error);
        return -1;
    }
    return state.result;
}
