// Code-page conversions of the simulated Windows: code page 932 (the ANSI code page) and UTF-8
// to and from UTF-16, with Win32's counting rules, and the wide file names that tests plant.
#pragma once
#include "simwin_types.h"

typedef char16_t WCHAR;
typedef WCHAR *LPWSTR;
typedef const WCHAR *LPCWSTR;

#define CP_ACP 0
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_NO_BEST_FIT_CHARS 0x00000400

// As Win32: `length` -1 converts up to and including the terminator (which is counted);
// `size` 0 returns the size needed. Too small a buffer: 0 with ERROR_INSUFFICIENT_BUFFER.
// Only CP_ACP (932) and CP_UTF8. A code-page 932 character is one UTF-16 unit.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR wide, int size);
// A character that the code page lacks becomes `defaultChar` (or "?"), one per UTF-16 unit, and
// sets *usedDefault; without WC_NO_BEST_FIT_CHARS accented Latin letters become their plain
// letter first ("é" → "e"), as Windows' best fit does.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int length, LPSTR text, int size,
                        LPCSTR defaultChar, LPBOOL usedDefault);

// As Windows: the text (`length` bytes, not necessarily terminated) goes to UTF-16 in the ANSI
// code page, each unit to its upper case (the Unicode simple mapping: ｒ → Ｒ, α → Α, ⅰ → Ⅰ),
// and back into the same bytes; returns the bytes written. A character that code page 932 holds
// twice comes back in the form Windows writes it (the IBM extension's, not the NEC selection's).
DWORD CharUpperBuffA(LPSTR text, DWORD length);
