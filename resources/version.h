// The programs' version, written only here: the version resource (version.rc), the main window's
// title, the manifest's assembly version and the zip's name (both made by CMake, which reads the
// two numbers below) all come from it. Plain #defines only, so that windres reads it too.
#pragma once

#define KESTREL_VERSION_MAJOR 2
#define KESTREL_VERSION_MINOR 71

#define KESTREL_VERSION_STRING_(number) #number
#define KESTREL_VERSION_STRING(number) KESTREL_VERSION_STRING_(number)
// "2.71": the product version and the title's version.
#define KESTREL_VERSION_TEXT KESTREL_VERSION_STRING(KESTREL_VERSION_MAJOR) "." KESTREL_VERSION_STRING(KESTREL_VERSION_MINOR)
