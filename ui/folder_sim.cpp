// Host build: the folder picker returns scripted choices, special folders have set paths, and
// CenterWindow has no screen to move windows on.
#include "folder.h"
#include "folder_record.h"
#include <cstring>
#include <deque>
#include <map>
#include <mutex>

namespace {
struct ScriptedChoice {
    bool chosen;
    std::string path;
};
std::mutex g_shellLock;
std::deque<ScriptedChoice> g_choices;
std::vector<RecordedFolderPicker> g_pickers;
std::map<int, std::pair<bool, std::string>> g_specialFolders;
} // namespace

static const char DEFAULT_DESKTOP[] = "C:\\TEMP";

void ResetFolderPickerScript() {
    std::lock_guard<std::mutex> lock(g_shellLock);
    g_choices.clear();
    g_pickers.clear();
    g_specialFolders.clear();
}

void ScriptFolderChoice(const char *path) {
    std::lock_guard<std::mutex> lock(g_shellLock);
    g_choices.push_back(ScriptedChoice{path != nullptr, path ? path : ""});
}

std::vector<RecordedFolderPicker> RecordedFolderPickers() {
    std::lock_guard<std::mutex> lock(g_shellLock);
    return g_pickers;
}

void SetSpecialFolderPath(int folder, const char *path) {
    std::lock_guard<std::mutex> lock(g_shellLock);
    g_specialFolders[folder] = std::make_pair(path != nullptr, path ? path : "");
}

int GetSpecialFolderPath(int folder, char *path) {
    std::lock_guard<std::mutex> lock(g_shellLock);
    path[0] = 0;
    auto it = g_specialFolders.find(folder);
    bool has = it != g_specialFolders.end() ? it->second.first : folder == CSIDL_DESKTOP;
    std::string value = it != g_specialFolders.end() ? it->second.second : DEFAULT_DESKTOP;
    if (!has || value.empty() || value.size() >= MAX_PATH) return (int)0x80000001;
    memcpy(path, value.c_str(), value.size() + 1);
    return 0;
}

int BrowseForFolder(HWND owner, const char *title, const char *initialFolder, char *path) {
    std::lock_guard<std::mutex> lock(g_shellLock);
    g_pickers.push_back(RecordedFolderPicker{owner, title ? title : "", initialFolder != nullptr,
                                             initialFolder ? initialFolder : ""});
    if (g_choices.empty()) return -1;
    ScriptedChoice c = g_choices.front();
    g_choices.pop_front();
    // Like the real picker, only a file-system path can be accepted.
    if (!c.chosen || c.path.empty() || c.path.size() >= MAX_PATH) return -1;
    memcpy(path, c.path.c_str(), c.path.size() + 1);
    return 0;
}

int CenterWindow(HWND, HWND) { return 0; }
