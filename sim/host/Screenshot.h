#pragma once
// Saves what the screen shows of the host's windows as a PNG file: the frame and whatever
// window of the host stands over it (dialogs, message boxes, the status text).
#include <windows.h>

#include <string>

namespace screenshot {

// The bounding rectangle of the visible top-level windows of this thread.
RECT hostArea(HWND frame);
// Captures the rectangle from the screen; false with a reason on failure.
bool save(const RECT& area, const std::wstring& path, std::string* error);

}  // namespace screenshot
