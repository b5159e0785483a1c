// The viewers' entry points until the viewer windows arrive: they count the request and return
// at once, as if the user had closed the viewer.
#include "viewers.h"

std::atomic<int> g_missingViewerShown{0};
std::atomic<int> g_logViewerShown{0};

void ShowMissingViewer(HWND dialog) {
    (void)dialog;
    g_missingViewerShown++;
}

void ShowLogViewer(HWND dialog) {
    (void)dialog;
    g_logViewerShown++;
}
