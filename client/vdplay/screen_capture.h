// Saves what the screen shows in a window's client area (the picture with its
// overlay, as the user sees it) as a 24-bit bitmap file.
#pragma once

#include <windows.h>

#include <string>

namespace vdplay {

// Empty result, or why nothing was written.
std::string SaveWindowImage(HWND window, const std::string& path);

}  // namespace vdplay
