// The shell services on Windows: the folder picker, the desktop folder's path, CenterWindow.
#include "folder.h"
#include <shlobj.h>
#include <cstring>

// Frees an item identifier list with the shell's allocator.
static void FreeItemList(LPITEMIDLIST list) {
    if (!list) return;
    IMalloc *allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator) {
        allocator->Free(list);
        allocator->Release();
    }
}

int GetSpecialFolderPath(int folder, char *path) {
    path[0] = 0;
    LPITEMIDLIST list = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, folder, &list)) || !list) return (int)0x80000001;
    BOOL ok = SHGetPathFromIDListA(list, path);
    FreeItemList(list);
    if (!ok) {
        path[0] = 0;
        return (int)0x80000001;
    }
    return 0;
}

// What the picker's callback needs of its caller; it travels as the callback data.
struct PickerRequest {
    HWND owner;
    const char *initialFolder;
};

static int CALLBACK PickerCallback(HWND picker, UINT message, LPARAM lParam, LPARAM data) {
    const PickerRequest *request = (const PickerRequest *)data;
    if (message == BFFM_INITIALIZED) {
        CenterWindow(picker, request->owner);
        if (request->initialFolder) SendMessageA(picker, BFFM_SETSELECTIONA, TRUE, (LPARAM)request->initialFolder);
    } else if (message == BFFM_SELCHANGED) {
        // Virtual items (the control panel, the printers) have no file-system path and cannot be
        // accepted.
        char path[MAX_PATH];
        path[0] = 0;
        if (!lParam || !SHGetPathFromIDListA((LPCITEMIDLIST)lParam, path)) path[0] = 0;
        SendMessageA(picker, BFFM_ENABLEOK, 0, path[0] != 0);
    }
    return 0;
}

int BrowseForFolder(HWND owner, const char *title, const char *initialFolder, char *path) {
    PickerRequest request = {owner, initialFolder};
    BROWSEINFOA info;
    memset(&info, 0, sizeof info);
    info.hwndOwner = owner;
    info.pidlRoot = nullptr;
    info.pszDisplayName = nullptr;
    info.lpszTitle = title;
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = PickerCallback;
    info.lParam = (LPARAM)&request;
    LPITEMIDLIST chosen = SHBrowseForFolderA(&info);
    if (!chosen) return -1;
    // The path is taken into the caller's buffer only when the chosen item has one, so that a
    // failure cannot be reported as a chosen folder.
    char chosenPath[MAX_PATH];
    chosenPath[0] = 0;
    BOOL ok = SHGetPathFromIDListA(chosen, chosenPath);
    FreeItemList(chosen);
    if (!ok || !chosenPath[0]) return -1;
    strcpy(path, chosenPath);
    return 0;
}

int CenterWindow(HWND window, HWND reference) {
    if (!reference) reference = GetParent(window);
    RECT work;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) {
        work.left = work.top = 0;
        work.right = GetSystemMetrics(SM_CXSCREEN);
        work.bottom = GetSystemMetrics(SM_CYSCREEN);
    }
    ScreenRect workArea = {work.left, work.top, work.right, work.bottom};
    ScreenRect ref = workArea;
    RECT r;
    if (reference && GetWindowRect(reference, &r)) ref = ScreenRect{r.left, r.top, r.right, r.bottom};
    RECT own;
    if (!GetWindowRect(window, &own)) return 0;
    ScreenPoint at = CenterPlacement(ref, own.right - own.left, own.bottom - own.top, workArea);
    SetWindowPos(window, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    return 0;
}
