// Shell services of the user interface: the folder picker, special folders (the desktop) and
// centring a window on another one, kept on the work area.
#pragma once
#include <windows.h>
#include <shlobj.h>
#include "placement.h"

// The file-system path of a shell special folder (KESTREL asks only for CSIDL_DESKTOP, 0) into
// `path` (MAX_PATH bytes). Returns 0, or 0x80000001 when the folder has no file-system path
// (`path` is then an empty text).
int GetSpecialFolderPath(int folder, char *path);

// Shows the folder picker modally on `owner` with `title`; `initialFolder` (may be null) is
// selected when the picker opens, and only file-system folders can be accepted. Returns 0 with
// the chosen folder's path in `path` (MAX_PATH bytes), or −1 when the user cancelled (`path` is
// left as it was). User-interface thread only, one picker at a time.
int BrowseForFolder(HWND owner, const char *title, const char *initialFolder, char *path);

// Centres `window` on `reference` (none: on the window's parent; no parent either: on the work
// area), keeping it on the work area, without changing its size or z-order. Returns 0.
int CenterWindow(HWND window, HWND reference);

// CenterWindow's placement: the top-left corner of a window w × h centred on `reference`, then
// moved left/up to end inside the work area, then right/down to start inside it (so a window
// larger than the work area sits at its top-left corner).
ScreenPoint CenterPlacement(const ScreenRect &reference, int width, int height, const ScreenRect &work);
