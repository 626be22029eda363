// PNG files of presented frames (libpng): 8-bit RGB, rows top-down as the device gives them.
#pragma once

#include <string>

#include "platform/win/WinTypes.h"

// Writes width x height 0xFFRRGGBB words (rows top-down, tightly packed) to path. False with
// *error (why, without the path) on failure. The target is replaced only by a complete
// picture, and only when it is a regular file that is not write-protected; a failure leaves
// it untouched.
bool WritePng(const std::string& path, const DWORD* pixels, UINT width, UINT height, std::string* error);
