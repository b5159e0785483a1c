// Host build: message boxes are recorded for the tests instead of shown, and return the result a
// test chose.
#include "msgbox.h"
#include "msgbox_record.h"
#include <deque>
#include <mutex>

namespace {
struct ChosenResult {
    int result;
    DWORD lastError;
};
std::mutex g_recordLock;
std::vector<RecordedMessageBox> g_recorded;
std::deque<ChosenResult> g_chosen;
} // namespace

static HINSTANCE g_messageBoxInstance;

void SetMessageBoxInstance(HINSTANCE instance) { g_messageBoxInstance = instance; }

int ShowMessageBox(HWND owner, const char *text, const char *caption, UINT type) {
    char held[MESSAGE_TEXT_MAX + 1];
    CopyMessageText(held, text);
    std::lock_guard<std::mutex> lock(g_recordLock);
    g_recorded.push_back(RecordedMessageBox{owner, held, caption ? caption : "", type});
    if (!g_chosen.empty()) {
        ChosenResult c = g_chosen.front();
        g_chosen.pop_front();
        if (c.result == -1) SetLastError(c.lastError);
        return c.result;
    }
    const MessageBoxButtonSet &set = MessageBoxButtons(type);
    return set.count > 0 ? set.buttons[MessageBoxDefaultButton(type)].id : IDCANCEL;
}

void ResetMessageBoxRecord() {
    std::lock_guard<std::mutex> lock(g_recordLock);
    g_recorded.clear();
    g_chosen.clear();
}

std::vector<RecordedMessageBox> RecordedMessageBoxes() {
    std::lock_guard<std::mutex> lock(g_recordLock);
    return g_recorded;
}

size_t RecordedMessageBoxCount() {
    std::lock_guard<std::mutex> lock(g_recordLock);
    return g_recorded.size();
}

void ChooseMessageBoxResult(int result, DWORD lastError) {
    std::lock_guard<std::mutex> lock(g_recordLock);
    g_chosen.push_back(ChosenResult{result, lastError});
}
