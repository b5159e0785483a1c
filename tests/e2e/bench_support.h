// What the GUI bench's test files share, under the names the viewer tests use; the helpers
// themselves are bench.h's (bench.cpp).
#pragma once
#include <windows.h>
#include <string>
#include "bench.h"

// The folder of the bench's programs (the driver's own), ending in "\".
inline std::string BenchProgramDir() { return BenchDir(); }

// The artefacts folder (<build>/artefacts, or beside the driver when it runs on its own), made
// when missing, ending in "\".
inline std::string ArtefactFolder() { return ArtefactDir(); }
