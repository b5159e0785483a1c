// What the GUI bench's test files share: where the bench's programs and artefacts are, and
// screenshots of windows.
#pragma once
#include <windows.h>
#include <string>

// The folder of the bench's programs (the driver's own), ending in "\".
std::string BenchProgramDir();

// The artefacts folder (<build>/artefacts, or beside the driver when it runs on its own), made
// when missing, ending in "\".
std::string ArtefactFolder();

// Saves the window (frame and caption included) as a PNG in the artefacts folder.
bool Screenshot(HWND window, const std::string &name);
