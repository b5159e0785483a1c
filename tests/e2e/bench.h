// The GUI bench's shared helpers for every end-to-end test file: starting a program of the build
// under Wine, finding its windows, reading what a user sees, waiting, screenshots. A new test file
// (tests/e2e/<topic>_e2e.cpp) includes this header and is linked into kestrel_e2e by itself.
#pragma once
#include <windows.h>
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include <vector>
#include "placement.h"

// How long the bench waits for a window or a program (ms).
static const DWORD WAIT_MS = 30000;

// The folder of the driver and of the test programs beside it, ending in "\\".
std::string BenchDir();
// The folder of the built programs (kestrel.exe, kestrel-nt.exe), ending in "\\".
std::string ProgramDir();
// Screenshots and other artefacts: <build>/artefacts\ (made when missing), ending in "\\".
std::string ArtefactDir();

ScreenRect ToScreenRect(const RECT &r);
ScreenRect WorkArea();
ScreenRect WindowRect(HWND window);
// A window's text through WM_GETTEXT (works across processes), at most 4095 bytes.
std::string WindowText(HWND window);
// A window's class name.
std::string ClassName(HWND window);

// The first visible top-level window of process `pid` whose class is `cls` (null: any) and
// whose caption is `caption` (null: any); null when there is none now.
HWND FindProcessWindow(DWORD pid, const char *cls, const char *caption);

// Polls `done` every 20 ms until it holds or `ms` have passed; true when it held.
bool WaitUntil(const std::function<bool()> &done, DWORD ms = WAIT_MS);

// Waits until the window's thread has handled everything sent before (WM_NULL round trip).
void Settle(HWND window);

// Saves the window (frame and caption included) as a PNG in ArtefactDir().
bool Screenshot(HWND window, const std::string &name);

// One program started by the bench; ended (TerminateProcess) by its destructor if still running.
struct BenchProcess {
    PROCESS_INFORMATION info = {};
    bool running = false;
    ~BenchProcess();
    // Starts `program` (a path) with the argument text; `environment` adds NAME=VALUE entries to
    // the driver's own environment for this program only. Fails the test when it cannot start.
    void Start(const std::string &program, const std::string &args,
               const std::vector<std::string> &environment = {});
    // Waits for a visible top-level window of the program (see FindProcessWindow).
    HWND WaitForWindow(const char *cls, const char *caption = nullptr, DWORD ms = WAIT_MS);
    // Waits for the program to end; its exit code (0xDEAD when it did not end in time).
    DWORD Finish(DWORD ms = WAIT_MS);
    bool Ended(DWORD ms = 0);
};

// The lines of a rich-edit control of another process (a viewer's text), in code page 932.
std::vector<std::string> RichEditLines(HWND control);

// The text of KESTREL's message box `box` of `process`: the box draws it and no window message
// gives it, so it is read from the box's state in that process (DWLP_USER, where the text comes
// first). "<unreadable>" when that fails.
std::string MessageBoxText(HANDLE process, HWND box);

// Presses a button as a click would.
inline void Click(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }
