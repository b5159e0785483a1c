// The program's start: platform detection, the settings version check, and the start sequence
// of WinMain with its main window (mainwindow_win.cpp).
#pragma once
#include <windows.h>

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

// Texts of the start sequence.
#define MAIN_WINDOW_CLASS "kestrel"
#define MAIN_WINDOW_TITLE "KESTREL 2.71"
#define IDM_REGISTER 1050
#define IDM_MKSCRIPT 1051
extern const char MSG_RICHEDIT_LOAD_FAILED[];
extern const char MSG_REGISTRY_FAILED[];
extern const char MSG_CLASS_FAILED[];
extern const char MSG_WINDOW_FAILED[];
extern const char MSG_DIALOG_FAILED[];
extern const char MSG_REGISTER_FAILED[];
extern const char MSG_REGISTERED[];
extern const char MENU_REGISTER[];
extern const char MENU_MKSCRIPT[];
