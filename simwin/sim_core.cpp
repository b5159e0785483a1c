// The simulated Windows' process state: last-error codes, memory, handles and fault injection.
#include "sim_internal.h"
#include <chrono>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include <malloc.h>
#include <thread>

static thread_local DWORD t_lastError = 0;

DWORD GetLastError(void) { return t_lastError; }
void SetLastError(DWORD code) { t_lastError = code; }

// Bytes held in LocalAlloc blocks now, and the most held at once since the last reset.
static std::atomic<size_t> g_localInUse{0}, g_localPeak{0};

size_t SimLocalMemoryInUse() { return g_localInUse; }
size_t SimLocalMemoryPeak() { return g_localPeak; }
void SimResetLocalMemoryPeak() { g_localPeak = g_localInUse.load(); }

HLOCAL LocalAlloc(UINT flags, size_t bytes) {
    if (SimFaultFires("LocalAlloc", nullptr)) return nullptr;
    void *p = (flags & LMEM_ZEROINIT) ? calloc(1, bytes ? bytes : 1) : malloc(bytes ? bytes : 1);
    if (!p) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return p;
    }
    size_t now = g_localInUse += malloc_usable_size(p);
    size_t peak = g_localPeak;
    while (now > peak && !g_localPeak.compare_exchange_weak(peak, now)) {
    }
    return p;
}

HLOCAL LocalFree(HLOCAL mem) {
    if (mem) g_localInUse -= malloc_usable_size(mem);
    free(mem);
    return nullptr;
}

void Sleep(DWORD ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

DWORD GetTickCount(void) {
    using namespace std::chrono;
    return (DWORD)duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

static bool g_localTimeSet = false;
static SYSTEMTIME g_localTime;

void SimSetLocalTime(const SYSTEMTIME *time) {
    g_localTimeSet = time != nullptr;
    if (time) g_localTime = *time;
}

void GetLocalTime(LPSYSTEMTIME time) {
    if (g_localTimeSet) {
        *time = g_localTime;
        return;
    }
    using namespace std::chrono;
    system_clock::time_point now = system_clock::now();
    time_t seconds = system_clock::to_time_t(now);
    struct tm local;
    localtime_r(&seconds, &local);
    *time = {(WORD)(local.tm_year + 1900), (WORD)(local.tm_mon + 1), (WORD)local.tm_wday, (WORD)local.tm_mday,
             (WORD)local.tm_hour, (WORD)local.tm_min, (WORD)local.tm_sec,
             (WORD)(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000)};
}

SimState &Sim() {
    static SimState state;
    return state;
}

// ---- handles ----

SimHandle *SimNewHandle(SimHandleKind kind, SimNode *node) {
    auto h = std::make_unique<SimHandle>();
    h->kind = kind;
    h->node = node;
    SimHandle *raw = h.get();
    Sim().handles.push_back(std::move(h));
    return raw;
}

SimHandle *SimGetHandle(HANDLE handle, SimHandleKind kind) {
    for (auto &h : Sim().handles)
        if (h.get() == handle && (kind == 0 || h->kind == kind)) return h.get();
    return nullptr;
}

void SimDropHandle(SimHandle *h) {
    auto &v = Sim().handles;
    for (size_t i = 0; i < v.size(); i++)
        if (v[i].get() == h) {
            v.erase(v.begin() + (long)i);
            return;
        }
}

DWORD SimSharingConflict(SimNode *node, DWORD access, DWORD share) {
    // The Win32 rule: a new open conflicts with an open handle when either side asks for an access
    // that the other side's share mode does not grant. Opens without read or write access (and
    // attribute calls, which open nothing here) never conflict. A hold is read+write, no sharing.
    for (auto &h : Sim().handles) {
        if (h->node != node || (h->kind != SIM_HANDLE_FILE && h->kind != SIM_HANDLE_HOLD)) continue;
        DWORD hAccess = h->kind == SIM_HANDLE_HOLD ? (GENERIC_READ | GENERIC_WRITE) : h->access;
        DWORD hShare = h->kind == SIM_HANDLE_HOLD ? 0 : h->share;
        if ((access & GENERIC_READ) && !(hShare & FILE_SHARE_READ)) return ERROR_SHARING_VIOLATION;
        if ((access & GENERIC_WRITE) && !(hShare & FILE_SHARE_WRITE)) return ERROR_SHARING_VIOLATION;
        if ((access & DELETE) && !(hShare & FILE_SHARE_DELETE)) return ERROR_SHARING_VIOLATION;
        if ((hAccess & GENERIC_READ) && !(share & FILE_SHARE_READ)) return ERROR_SHARING_VIOLATION;
        if ((hAccess & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) return ERROR_SHARING_VIOLATION;
    }
    return 0;
}

HANDLE SimHoldEntry(const char *path) {
    SIM_LOCK;
    SimLookup l = SimFind(path);
    if (!l.node) return nullptr;
    return SimNewHandle(SIM_HANDLE_HOLD, l.node);
}

int SimOpenFinds() {
    SIM_LOCK;
    int n = 0;
    for (auto &h : Sim().handles)
        if (h->kind == SIM_HANDLE_FIND) n++;
    return n;
}

void SimReleaseEntry(HANDLE hold) {
    SIM_LOCK;
    if (SimHandle *h = SimGetHandle(hold, SIM_HANDLE_HOLD)) SimDropHandle(h);
}

// ---- fault injection ----

struct SimFault {
    std::string op;
    std::string path; // upper-cased full path; empty: any
    DWORD error;
    SimFaultMode mode;
    int n;
    int seen = 0;
    bool spent = false;
};
static std::vector<SimFault> g_faults;
static int g_faultsFired = 0;

void SimInjectFault(const char *op, const char *path, DWORD error, SimFaultMode mode, int n) {
    SIM_LOCK;
    SimFault f;
    f.op = op;
    if (path) {
        std::string full;
        f.path = SimFullPath(path, full, nullptr) ? SimUpper(full) : SimUpper(path);
    }
    f.error = error;
    f.mode = mode;
    f.n = n;
    g_faults.push_back(f);
}

void SimClearFaults() {
    SIM_LOCK;
    g_faults.clear();
    g_faultsFired = 0;
}

int SimFaultsFired() { return g_faultsFired; }

// A counter is a fault that never comes to its turn.
static const int NEVER = 0x7FFFFFFF;
void SimCountCalls(const char *op, const char *path) { SimInjectFault(op, path, 0, SIM_FAULT_NTH, NEVER); }
int SimCallsCounted(const char *op, const char *path) {
    SIM_LOCK;
    std::string upper, full;
    if (path) upper = SimFullPath(path, full, nullptr) ? SimUpper(full) : SimUpper(path);
    for (auto &f : g_faults)
        if (f.n == NEVER && f.op == op && f.path == upper) return f.seen;
    return -1;
}

void __attribute__((noinline)) SimFaultHook(const char *op, const char *path, DWORD error) {
    (void)op;
    (void)path;
    (void)error;
    asm volatile("");
}

// The fault that fires for this call of `op` on `path`, or null.
static SimFault *FireFault(const char *op, const char *path) {
    if (g_faults.empty()) return nullptr;
    std::string upper;
    if (path) {
        std::string full;
        upper = SimFullPath(path, full, nullptr) ? SimUpper(full) : SimUpper(path);
    }
    for (auto &f : g_faults) {
        if (f.spent) continue;
        // "*" stands for the file-system operations that fail; memory faults, registry calls,
        // failed closes and short writes are asked for by name.
        if (f.op == "*" ? (strcmp(op, "LocalAlloc") == 0 || strncmp(op, "Reg", 3) == 0 ||
                           strcmp(op, "CloseHandle") == 0 || strcmp(op, SIM_SHORT_WRITE) == 0 ||
                           strcmp(op, SIM_HARD_END) == 0)
                        : f.op != op)
            continue;
        if (!f.path.empty() && f.path != upper) continue;
        f.seen++;
        bool fire = f.mode == SIM_FAULT_EVERY || (f.mode == SIM_FAULT_NEXT) ||
                    (f.mode == SIM_FAULT_NTH && f.seen == f.n);
        if (!fire) continue;
        if (f.mode != SIM_FAULT_EVERY) f.spent = true;
        g_faultsFired++;
        SimFaultHook(op, path, f.error);
        return &f;
    }
    return nullptr;
}

bool SimFaultFires(const char *op, const char *path) {
    SIM_LOCK;
    SimFault *f = FireFault(op, path);
    if (f) SetLastError(f->error);
    return f != nullptr;
}

void SimInjectShortWrite(const char *path, DWORD bytes, SimFaultMode mode, int n) {
    SimInjectFault(SIM_SHORT_WRITE, path, bytes, mode, n);
}

void SimInjectHardEnd(const char *path, DWORD bytes, bool fullLength) {
    SimInjectFault(SIM_HARD_END, path, bytes | (fullLength ? SIM_HARD_END_FULL_LENGTH : 0));
}

bool SimShortWriteFires(const char *path, DWORD *bytes) { return SimShortWriteFires(SIM_SHORT_WRITE, path, bytes); }

bool SimShortWriteFires(const char *op, const char *path, DWORD *bytes) {
    SIM_LOCK;
    // The fault's error field holds the byte count: a short write reports no error.
    SimFault *f = FireFault(op, path);
    if (f) *bytes = f->error;
    return f != nullptr;
}

void SimResetFaults() {
    g_faults.clear();
    g_faultsFired = 0;
}
