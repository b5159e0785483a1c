// Dropped files of the simulated shell.
#include "sim_internal.h"
#include <shellapi.h>
#include <cstring>
#include <memory>
#include <mutex>

struct SimDrop {
    std::vector<std::u16string> names;
    bool finished = false;
};

static std::mutex g_dropLock;
static std::vector<std::unique_ptr<SimDrop>> g_drops; // kept for the life of the process

HDROP SimMakeWideDrop(const std::vector<std::u16string> &names) {
    std::lock_guard<std::mutex> guard(g_dropLock);
    g_drops.push_back(std::unique_ptr<SimDrop>(new SimDrop{names, false}));
    return g_drops.back().get();
}

HDROP SimMakeDrop(const std::vector<std::string> &names) {
    std::vector<std::u16string> wide;
    for (const std::string &name : names) wide.push_back(SimWideOf(name));
    return SimMakeWideDrop(wide);
}

// Copies `n` into `name` (`size` units) as the DragQueryFile calls do.
template <typename Text, typename Unit> static UINT CopyDropped(const Text &n, Unit *name, UINT size) {
    if (!name) return (UINT)n.size();
    if (size == 0) return 0;
    size_t copied = n.size() < size - 1 ? n.size() : size - 1;
    memcpy(name, n.data(), copied * sizeof(Unit));
    name[copied] = 0;
    return (UINT)copied;
}

bool SimDropFinished(HDROP drop) {
    std::lock_guard<std::mutex> guard(g_dropLock);
    return drop->finished;
}

UINT DragQueryFileA(HDROP drop, UINT index, LPSTR name, UINT size) {
    std::lock_guard<std::mutex> guard(g_dropLock);
    if (index == 0xFFFFFFFF) return (UINT)drop->names.size();
    if (index >= drop->names.size()) return 0;
    std::string text;
    SimCodePageOf(drop->names[index], text, true);
    return CopyDropped(text, name, size);
}

UINT DragQueryFileW(HDROP drop, UINT index, LPWSTR name, UINT size) {
    std::lock_guard<std::mutex> guard(g_dropLock);
    if (index == 0xFFFFFFFF) return (UINT)drop->names.size();
    if (index >= drop->names.size()) return 0;
    return CopyDropped(drop->names[index], name, size);
}

void DragFinish(HDROP drop) {
    std::lock_guard<std::mutex> guard(g_dropLock);
    drop->finished = true;
}
