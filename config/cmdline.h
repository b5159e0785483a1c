// The command line: program arguments (or /script with a script file) fill the main dialog.
#pragma once
#include <windows.h>

// Applies the command-line text to the main dialog's controls. 0 when accepted, -1 when refused
// (a warning has then been shown, owner the dialog). Called once by the dialog's initialisation.
int ApplyCommandLine(HWND dialog, const char *text);
