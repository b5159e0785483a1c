// A minimal PNG writer for the bench's screenshots (8-bit RGB, uncompressed deflate blocks).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// `rgb` holds height rows of width × 3 bytes, top row first. True when the file was written.
bool WritePng(const std::string &path, int width, int height, const std::vector<uint8_t> &rgb);
