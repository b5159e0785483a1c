// Stand-ins for the command line, script files and the file-type registration until they are
// built: each says what is missing instead of doing it.
#include "cmdline.h"
#include "filetype.h"
#include "msgbox.h"
#include "script.h"

HWND g_mainDialog = nullptr;

int ApplyCommandLine(HWND, const char *) { return 0; }

int ReadScriptFile(HWND dialog, const char *) {
    ShowWarningBox(dialog, "スクリプトファイルはまだ読めません。");
    return -1;
}

INT_PTR CALLBACK MkScriptDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

int RegisterScriptFileType() { return (int)0x80000001; }
