// PNG files of presented frames (libpng): 8-bit RGB, rows top-down as the device gives them;
// and the replace-when-complete writing that pictures and videos share.
#pragma once

#include <string>

#include "platform/win/WinTypes.h"

// Writes width x height 0xFFRRGGBB words (rows top-down, tightly packed) to path. False with
// *error (why, without the path) on failure. The target is replaced only by a complete
// picture, and only when it is a regular file that is not write-protected; a failure leaves
// it untouched.
bool WritePng(const std::string& path, const DWORD* pixels, UINT width, UINT height, std::string* error);

// Files that replace what is at their path only once complete: written under a new name beside
// the target, then renamed over it. BeginReplacement checks that the target may be replaced (a
// regular file that is not write-protected, or nothing) and makes the new file; false with
// *error (why, without the path). CompleteReplacement renames it over the target; on failure it
// removes the new file, as AbandonReplacement does.
bool BeginReplacement(const std::string& path, std::string* temp, std::string* error);
bool CompleteReplacement(const std::string& temp, const std::string& path, std::string* error);
void AbandonReplacement(const std::string& temp);
