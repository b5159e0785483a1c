// Script files (.kjb): reading one into the main dialog, and the create-script dialog that writes
// the dialog's current settings to a script on the desktop.
#pragma once
#include <windows.h>

// The main dialog, kept by start-up for the create-script dialog (null until it exists).
extern HWND g_mainDialog;

// Reads the script file at `path` into the dialog's controls. 0 when the whole file was read, -1
// on a failure (a message has then been shown).
int ReadScriptFile(HWND dialog, const char *path);

// Dialog procedure of DIALOG_MKSCRIPT; opened with DialogBoxParamA, owner the main window.
INT_PTR CALLBACK MkScriptDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
