// The viewer dialogs on Windows: DIALOG_LOG and DIALOG_SYNC, each one rich-edit control filled
// from its document, resizable down to 400 × 300 pixels and closed only by the Close command;
// each puts "保存(&S)" at the top of its system menu, the missing-files viewer then
// "バッチファイルの作成(&B)".
#include "viewers.h"
#include <richedit.h>

static const char MENU_MAKEBATCH[] = "バッチファイルの作成(&B)";
static const char MENU_SAVELOG[] = "保存(&S)";
static const COLORREF VIEWER_BACKGROUND = 0xC0C0C0; // light grey: red, green and blue 192

// The state of one open viewer; it lives in OpenViewerDialog's frame and reaches the dialog
// procedure through DWLP_USER.
struct ViewerState {
    ViewerKind kind;
    LogDocument *document;
    int controlId;
    HICON smallIcon; // loaded on opening, destroyed with the viewer
};

void StreamRtfIntoControl(HWND control, LogDocument *document) {
    CloseRtfDocument(document);
    RtfStreamState state = {document->text, 0, document->length};
    EDITSTREAM stream;
    stream.dwCookie = (DWORD_PTR)&state;
    stream.dwError = 0;
    stream.pfnCallback = ReadRtfStream;
    SendMessageA(control, EM_STREAMIN, SF_RTF, (LPARAM)&stream);
    SendMessageA(control, EM_SETSEL, 0, 0);
}

static void OpenViewer(HWND viewer, ViewerState *state) {
    // Loaded at the small size, so a copy of its own: destroyed again when the viewer goes.
    state->smallIcon = (HICON)LoadImageA(GetModuleHandleA(nullptr), "ICON1_MAIN", IMAGE_ICON, 16, 16, 0);
    if (state->smallIcon) SendMessageA(viewer, WM_SETICON, ICON_SMALL, (LPARAM)state->smallIcon);
    HMENU menu = GetSystemMenu(viewer, FALSE);
    if (menu) {
        // By position at the top: first the separator, then the items above it, the last first.
        InsertMenuA(menu, 0, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
        if (state->kind == VIEWER_MISSING) InsertMenuA(menu, 0, MF_BYPOSITION | MF_STRING, IDM_MAKEBATCH, MENU_MAKEBATCH);
        InsertMenuA(menu, 0, MF_BYPOSITION | MF_STRING, IDM_SAVELOG, MENU_SAVELOG);
        DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
        DeleteMenu(menu, SC_MINIMIZE, MF_BYCOMMAND);
        DeleteMenu(menu, SC_RESTORE, MF_BYCOMMAND);
        DrawMenuBar(viewer);
    }
    HWND control = GetDlgItem(viewer, state->controlId);
    SendMessageA(control, EM_EXLIMITTEXT, 0, (LPARAM)state->document->capacity);
    SendMessageA(control, EM_SETBKGNDCOLOR, 0, (LPARAM)VIEWER_BACKGROUND);
    StreamRtfIntoControl(control, state->document);
    SetFocus(GetDlgItem(viewer, IDOK));
}

static INT_PTR CALLBACK ViewerProc(HWND viewer, UINT message, WPARAM wParam, LPARAM lParam) {
    ViewerState *state = (ViewerState *)GetWindowLongPtrA(viewer, DWLP_USER);
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(viewer, DWLP_USER, lParam);
        OpenViewer(viewer, (ViewerState *)lParam);
        return FALSE; // the focus is on the hidden OK button already
    case WM_SIZE:
        if (state) MoveWindow(GetDlgItem(viewer, state->controlId), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return TRUE;
    case WM_SIZING: {
        RECT *frame = (RECT *)lParam;
        KeepViewerMinimumSize((int)wParam, frame->left, frame->top, frame->right, frame->bottom);
        return FALSE;
    }
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFFF) == SC_CLOSE) {
            EndDialog(viewer, 0);
            return TRUE;
        }
        if (state && state->kind == VIEWER_MISSING && (wParam & 0xFFFF) == IDM_MAKEBATCH) {
            MakeBatchFromList(viewer);
            SetFocus(GetDlgItem(viewer, IDOK));
            return TRUE;
        }
        if (state && (wParam & 0xFFFF) == IDM_SAVELOG) {
            SaveViewerDocument(viewer, state->kind);
            SetFocus(GetDlgItem(viewer, IDOK));
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        if (state && state->smallIcon) {
            SendMessageA(viewer, WM_SETICON, ICON_SMALL, 0);
            DestroyIcon(state->smallIcon);
            state->smallIcon = nullptr;
        }
        return FALSE;
    default:
        // No command handling: Enter and Escape do nothing.
        return FALSE;
    }
}

INT_PTR OpenViewerDialog(HWND owner, ViewerKind kind) {
    ViewerState state;
    state.kind = kind;
    state.document = kind == VIEWER_LOG ? &g_copyLog : &g_missingList;
    state.controlId = kind == VIEWER_LOG ? IDC_LOG_VIEW : IDC_MISSING_VIEW;
    state.smallIcon = nullptr;
    return DialogBoxParamA(GetModuleHandleA(nullptr), kind == VIEWER_LOG ? "DIALOG_LOG" : "DIALOG_SYNC", owner,
                           ViewerProc, (LPARAM)&state);
}
