// Simulated dialogs, for tests: a dialog is a window that holds controls by id; each control
// keeps its text and whether it is enabled, and answers the window messages that KESTREL's
// worker sends (WM_SETTEXT, WM_GETTEXT, WM_GETTEXTLENGTH). The handles are HWNDs, so production
// code reaches them with SendDlgItemMessageA, GetDlgItem, SetDlgItemTextA, … unchanged.
#pragma once
#include "windows.h"
#include <string>
#include <vector>

#ifndef ERROR_INVALID_WINDOW_HANDLE
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#endif
#ifndef ERROR_CONTROL_ID_NOT_FOUND
#define ERROR_CONTROL_ID_NOT_FOUND 1421L
#endif

// A new dialog without controls.
HWND SimCreateDialog();
// Adds the control `id` to `dialog` with its first text; returns its handle (null when the
// dialog is not a live dialog or already has a control with that id).
HWND SimAddControl(HWND dialog, int id, const char *text = "");
// Destroys a dialog and its controls; their handles become invalid.
void SimDestroyDialog(HWND dialog);

// What a control holds now, read without sending a message ("" when there is no such control).
std::string SimControlText(HWND dialog, int id);
// How many WM_SETTEXT messages the control has received since it was added.
int SimControlSetTextCount(HWND dialog, int id);

// A combo box (CBS_DROPDOWN) with its list; `upperCase` as CBS_UPPERCASE: the edit text and the
// items are stored with single-byte letters in upper case.
HWND SimAddComboBox(HWND dialog, int id, bool upperCase = true);
// A combo box's list items, in order.
std::vector<std::string> SimComboItems(HWND dialog, int id);
// A button's check state (-1 when there is no such control) and its image (BM_SETIMAGE).
int SimControlCheck(HWND dialog, int id);
LPARAM SimControlImage(HWND dialog, int id);

// Makes `parent` the parent of the dialog (GetParent).
void SimSetParent(HWND dialog, HWND parent);

// Is timer `id` of the window running (SetTimer and not yet KillTimer)?
bool SimTimerRunning(HWND window, UINT_PTR id);

// The messages posted to a window, oldest first (nothing takes them off).
struct SimPostedMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<SimPostedMessage> SimPostedMessages(HWND window);

// Called with every message sent to a simulated window, before the window handles it (null: none).
// Runs in the sending thread, with the windows' lock held: it may set flags, not send messages.
typedef void (*SimMessageHook)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void SimSetMessageHook(SimMessageHook hook);

// Calls `hook(context, text)` right after each WM_SETTEXT the control receives (a null hook: none),
// so that a test can act at an exact point of a worker's progress, as a user pressing a button
// between two messages would.
typedef void (*SimSetTextHook)(void *context, const char *text);
void SimOnSetText(HWND dialog, int id, SimSetTextHook hook, void *context);

// Memory handed out by LocalAlloc: bytes held now, and the most held at once since the last reset
// (for benchmarks that show what a walk keeps).
size_t SimLocalMemoryInUse();
size_t SimLocalMemoryPeak();
void SimResetLocalMemoryPeak();
