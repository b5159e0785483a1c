// The log and missing-files viewers that a copy run shows at its end, modal to the main dialog;
// each returns when the user has closed it.
#pragma once
#include <windows.h>
#include <atomic>

void ShowMissingViewer(HWND dialog);
void ShowLogViewer(HWND dialog);

// How many times each viewer has been asked for since the process started (tests read them).
extern std::atomic<int> g_missingViewerShown;
extern std::atomic<int> g_logViewerShown;
