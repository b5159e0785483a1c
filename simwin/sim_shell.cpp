// Dropped files of the simulated shell.
#include <shellapi.h>
#include <cstring>
#include <memory>
#include <mutex>

struct SimDrop {
    std::vector<std::string> names;
    bool finished = false;
};

static std::mutex g_dropLock;
static std::vector<std::unique_ptr<SimDrop>> g_drops; // kept for the life of the process

HDROP SimMakeDrop(const std::vector<std::string> &names) {
    std::lock_guard<std::mutex> guard(g_dropLock);
    g_drops.push_back(std::unique_ptr<SimDrop>(new SimDrop{names, false}));
    return g_drops.back().get();
}

bool SimDropFinished(HDROP drop) {
    std::lock_guard<std::mutex> guard(g_dropLock);
    return drop->finished;
}

UINT DragQueryFileA(HDROP drop, UINT index, LPSTR name, UINT size) {
    std::lock_guard<std::mutex> guard(g_dropLock);
    if (index == 0xFFFFFFFF) return (UINT)drop->names.size();
    if (index >= drop->names.size()) return 0;
    const std::string &n = drop->names[index];
    if (!name) return (UINT)n.size();
    if (size == 0) return 0;
    size_t copied = n.size() < size - 1 ? n.size() : size - 1;
    memcpy(name, n.data(), copied);
    name[copied] = '\0';
    return (UINT)copied;
}

void DragFinish(HDROP drop) {
    std::lock_guard<std::mutex> guard(g_dropLock);
    drop->finished = true;
}
