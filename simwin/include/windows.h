// The simulated Windows: the Win32 declarations that KESTREL's code uses, for the host build.
// Production code includes <windows.h> unchanged; the host build finds this file first.
#pragma once
#include "simwin_types.h"
#include "simwin_text.h"
#include "simwin_fs.h"
#include "simwin_user.h"
#include "simwin_registry.h"
#include "simwin_controls.h"
#include "simwin_ntfs.h"
#include "simwin_app.h"
