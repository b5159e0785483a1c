// The simulated Windows' shell declarations: special-folder numbers and the folder picker's flag
// (the calls themselves are KESTREL's scripted shell on the host build, ui/folder_sim.cpp).
#pragma once
#include "windows.h"

#define CSIDL_DESKTOP 0x0000
#define CSIDL_PERSONAL 0x0005
#define CSIDL_DRIVES 0x0011
#define BIF_RETURNONLYFSDIRS 0x0001

// Tells the shell that something it shows has changed (KESTREL: file associations).
#define SHCNE_ASSOCCHANGED 0x08000000L
#define SHCNF_IDLIST 0x0000
void SHChangeNotify(LONG event, UINT flags, LPCVOID item1, LPCVOID item2);
