// The simulated Windows' program calls: module path, modal dialog ends, focus, shell notices.
#include "simwin.h"
#include "simwin_dialog.h"
#include "shlobj.h"
#include <cstring>
#include <map>
#include <mutex>

static std::mutex g_appLock;
static std::string g_moduleFileName;
static std::map<HWND, INT_PTR> g_dialogEnds;
static HWND g_focus = nullptr;
static int g_notifyCount = 0;
static LONG g_lastNotifyEvent = 0;

static const char DEFAULT_MODULE_FILE[] = "C:\\KESTREL\\kestrel.exe";

void SimSetModuleFileName(const char *path) {
    std::lock_guard<std::mutex> lock(g_appLock);
    g_moduleFileName = path ? path : "";
}

DWORD GetModuleFileNameA(HMODULE, LPSTR path, DWORD size) {
    std::lock_guard<std::mutex> lock(g_appLock);
    std::string name = g_moduleFileName.empty() ? DEFAULT_MODULE_FILE : g_moduleFileName;
    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (name.size() + 1 > size) {
        // As Wine answers (measured): `size` bytes of the path, no terminator.
        memcpy(path, name.data(), size);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    memcpy(path, name.c_str(), name.size() + 1);
    return (DWORD)name.size();
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    if (!IsWindow(dialog)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(g_appLock);
    g_dialogEnds[dialog] = result;
    return TRUE;
}

bool SimDialogEnded(HWND dialog, INT_PTR *result) {
    std::lock_guard<std::mutex> lock(g_appLock);
    auto it = g_dialogEnds.find(dialog);
    if (it == g_dialogEnds.end()) return false;
    if (result) *result = it->second;
    return true;
}

void SimForgetDialogEnd(HWND dialog) {
    std::lock_guard<std::mutex> lock(g_appLock);
    g_dialogEnds.erase(dialog);
}

HWND SetFocus(HWND window) {
    if (window && !IsWindow(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(g_appLock);
    HWND previous = g_focus;
    g_focus = window;
    return previous;
}

HWND GetFocus(void) {
    std::lock_guard<std::mutex> lock(g_appLock);
    return g_focus;
}

void SHChangeNotify(LONG event, UINT, LPCVOID, LPCVOID) {
    std::lock_guard<std::mutex> lock(g_appLock);
    g_notifyCount++;
    g_lastNotifyEvent = event;
}

int SimShellNotifyCount() {
    std::lock_guard<std::mutex> lock(g_appLock);
    return g_notifyCount;
}

LONG SimLastShellNotifyEvent() {
    std::lock_guard<std::mutex> lock(g_appLock);
    return g_lastNotifyEvent;
}
