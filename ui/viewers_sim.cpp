// Host build: the viewer dialogs are recorded for the tests instead of shown.
#include "viewers.h"
#include "msgbox_record.h"
#include "viewers_record.h"
#include <mutex>

namespace {
std::mutex g_viewerLock;
std::vector<RecordedViewer> g_viewers;
} // namespace

INT_PTR OpenViewerDialog(HWND owner, ViewerKind kind) {
    CloseRtfDocument(kind == VIEWER_LOG ? &g_copyLog : &g_missingList);
    size_t boxes = RecordedMessageBoxCount();
    std::lock_guard<std::mutex> lock(g_viewerLock);
    g_viewers.push_back(RecordedViewer{owner, kind, boxes});
    return 0;
}

void ResetViewerRecord() {
    std::lock_guard<std::mutex> lock(g_viewerLock);
    g_viewers.clear();
}

std::vector<RecordedViewer> RecordedViewers() {
    std::lock_guard<std::mutex> lock(g_viewerLock);
    return g_viewers;
}
