// The simulated Windows' program calls: module path, modal dialog ends, focus, shell notices.
#include "simwin.h"
#include "simwin_dialog.h"
#include "shlobj.h"
#include "sim_internal.h"
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <strings.h>

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

static std::atomic<DWORD> g_versionPlatform{VER_PLATFORM_WIN32_NT};
static std::atomic<DWORD> g_versionMajor{5};

void SimSetVersion(DWORD platformId, DWORD majorVersion) {
    g_versionPlatform = platformId;
    g_versionMajor = majorVersion;
}

BOOL GetVersionExA(OSVERSIONINFOA *info) {
    if (SimFaultFires("GetVersionExA", nullptr)) return FALSE;
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->dwMajorVersion = g_versionMajor;
    info->dwMinorVersion = g_versionMajor == 5 ? 1 : 0;
    info->dwBuildNumber = 2600;
    info->dwPlatformId = g_versionPlatform;
    info->szCSDVersion[0] = '\0';
    return TRUE;
}

// ---- run-time binding ----

static std::set<std::string> g_hiddenExports;
static char g_kernel32, g_advapi32; // the module handles are their addresses

HMODULE GetModuleHandleA(LPCSTR name) {
    if (name && strcasecmp(name, "KERNEL32.DLL") == 0) return &g_kernel32;
    if (name && strcasecmp(name, "ADVAPI32.DLL") == 0) return &g_advapi32;
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

// Each call goes through void (*)(void), the type that stands for any function.
template <typename F> static FARPROC Export(F call) { return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)(void)>(call)); }

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    static const struct {
        const void *module;
        const char *name;
        FARPROC call;
    } EXPORTS[] = {
        {&g_kernel32, "GetFileAttributesExA", Export(GetFileAttributesExA)},
        {&g_kernel32, "GetFileAttributesExW", Export(GetFileAttributesExW)},
        {&g_kernel32, "CopyFileExW", Export(CopyFileExW)},
        {&g_kernel32, "MoveFileExW", Export(MoveFileExW)},
        {&g_advapi32, "EncryptFileW", Export(EncryptFileW)},
        {&g_advapi32, "DecryptFileW", Export(DecryptFileW)},
    };
    std::lock_guard<std::mutex> lock(g_appLock);
    for (const auto &entry : EXPORTS)
        if (entry.module == module && strcmp(entry.name, name) == 0 && !g_hiddenExports.count(name)) return entry.call;
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

void SimHideExport(const char *name) {
    std::lock_guard<std::mutex> lock(g_appLock);
    if (name)
        g_hiddenExports.insert(name);
    else
        g_hiddenExports.clear();
}
