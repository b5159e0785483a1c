// Control messages and calls of the simulated Windows beyond the first window calls: check boxes,
// combo boxes, button images, posted messages and destroying windows.
#pragma once
#include "simwin_user.h"

#define IMAGE_BITMAP 0
#define IMAGE_ICON 1
#define CB_GETEDITSEL 0x0140
#define CB_SELECTSTRING 0x014D
#define CB_SETEDITSEL 0x0142
#define CB_ERRSPACE (-2)
#define CB_OKAY 0
#define BST_INDETERMINATE 2

BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
