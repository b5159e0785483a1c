// Registration of the script file type (.kjb → KESTRELScript) in HKEY_CLASSES_ROOT.
#pragma once
#include <windows.h>

// 0 on success, otherwise a failure code (negative as a signed 32-bit value).
int RegisterScriptFileType();
