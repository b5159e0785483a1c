// The program's start: platform detection, the settings version check, and the start sequence
// of WinMain with its main window (mainwindow_win.cpp).
#pragma once
#include <windows.h>
#include "version.h"

// The platform code of a platform id and major version (GetVersionExA's answer). NT 5 and every
// later NT give 0x00030005: every attribute choice exists there.
LONG PlatformCodeOf(DWORD platformId, DWORD majorVersion);
// PlatformCodeOf the running system; 0x80000001 when the version query fails.
LONG DetectPlatform();

// Start step 4: makes sure the settings key exists and holds the current layout version. A
// stored version below SETTINGS_VERSION loses "Configuration" and "Mode" (results ignored) and
// gets the current version; a version at or above it is kept. 0, or -1 when the key cannot be
// ensured or the version cannot be written.
int MigrateSettings();

// The platform calls of the start sequence. WinMain fills them with the real calls; the host
// tests with recording stand-ins.
struct StartSteps {
    void (*setMessageBoxInstance)(HINSTANCE instance);                        // step 1
    void (*initCommonControls)();                                             // step 2
    HMODULE (*loadRichEdit)();                                                // step 3
    int (*migrateSettings)();                                                 // step 4
    HICON (*loadIcon)(HINSTANCE instance, const char *name, int width, int height); // step 6
    int (*registerClass)(HINSTANCE instance, HICON large, HICON small);       // step 7: 0 on failure
    HWND (*createWindow)(HINSTANCE instance);                                 // step 8
    HWND (*createDialog)(HINSTANCE instance, HWND window);                    // step 9
    void (*sizeAndShow)(HWND window, HWND dialog, int show);                  // steps 10 and 11
    // A /run start, once the window is shown: the job is started as the start button starts it.
    void (*startRun)(HWND dialog);
    // GetMessageA for any window into the sequence's one message; on WM_QUIT `quitCode` gets
    // its wParam.
    BOOL (*getMessage)(int *quitCode);
    // IsDialogMessageA on the dialog, else TranslateMessage and DispatchMessageA, of that message.
    void (*dispatchMessage)(HWND dialog);
    void (*destroyWindow)(HWND window);
    void (*destroyIcon)(HICON icon);
    void (*freeLibrary)(HMODULE module);
};

// The icons of the main window (the button images are dialogwords.h's).
extern HICON g_mainIconLarge, g_mainIconSmall;

// The start sequence, the message loop and the clean-up of WinMain: each failed step shows its
// message (an error box without owner) and releases what the steps before it acquired, in the
// order main icons, button images, rich-edit library. The exit code: WM_QUIT's wParam, or 0
// after a failed start or a failed GetMessageA.
// A /run start is recognised first, from `runWordsText` (the command line in which a character
// code page 932 cannot hold is UNHOLDABLE_MARK; null: `commandLine`): its boxes become records,
// a refused line or log place ends it at once, a command line or script refused while the dialog
// is made ends it before the window is shown, otherwise the job is started once the window is
// shown. Its exit code is the one of its end (scheduled.h), whatever ends it.
int RunStartSequence(const StartSteps &steps, HINSTANCE instance, const char *commandLine, int show,
                     const char *runWordsText = nullptr);

// Texts of the start sequence.
#define MAIN_WINDOW_CLASS "kestrel"
#define MAIN_WINDOW_TITLE "KESTREL " KESTREL_VERSION_TEXT // "KESTREL 2.71"
#define IDM_REGISTER 1050
#define IDM_MKSCRIPT 1051
#define IDM_TRIAL 1053 // the trial run: the job as the start button would run it, nothing changed
extern const char MSG_RICHEDIT_LOAD_FAILED[];
extern const char MSG_REGISTRY_FAILED[];
extern const char MSG_CLASS_FAILED[];
extern const char MSG_WINDOW_FAILED[];
extern const char MSG_DIALOG_FAILED[];
extern const char MSG_REGISTER_FAILED[];
extern const char MSG_REGISTERED[];
extern const char MENU_REGISTER[];
extern const char MENU_MKSCRIPT[];
extern const char MENU_TRIAL[];
