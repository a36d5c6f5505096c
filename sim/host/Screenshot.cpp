#include "Screenshot.h"

#include <vector>

#include "PngWriter.h"
#include "model/ScopedFileHandle.h"
#include "tokenkit/ScopedGdiObject.h"
#include "model/ScopedHandle.h"

namespace {

struct ScreenDcTraits {
  using Handle = HDC;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::ReleaseDC(nullptr, h); }
};
struct MemoryDcTraits {
  using Handle = HDC;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::DeleteDC(h); }
};

BOOL CALLBACK addWindow(HWND window, LPARAM lParam) {
  auto* area = reinterpret_cast<RECT*>(lParam);
  if (!::IsWindowVisible(window) || ::IsIconic(window)) return TRUE;
  RECT r;
  ::GetWindowRect(window, &r);
  if (r.right - r.left <= 0 || r.bottom - r.top <= 0) return TRUE;
  ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  if (::IsRectEmpty(area))
    *area = r;
  else
    ::UnionRect(area, area, &r);
  return TRUE;
}

}  // namespace

namespace screenshot {

RECT hostArea(HWND frame) {
  RECT area = {};
  addWindow(frame, reinterpret_cast<LPARAM>(&area));
  ::EnumThreadWindows(::GetCurrentThreadId(), addWindow, reinterpret_cast<LPARAM>(&area));
  // Only what is on the screen can be captured.
  RECT screen = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  ::IntersectRect(&area, &area, &screen);
  return area;
}

bool save(const RECT& area, const std::wstring& path, std::string* error) {
  const int width = area.right - area.left, height = area.bottom - area.top;
  if (width <= 0 || height <= 0) {
    *error = "nothing of the window is on the screen";
    return false;
  }
  ::GdiFlush();
  ScopedHandle<ScreenDcTraits> screen(::GetDC(nullptr));
  ScopedHandle<MemoryDcTraits> memory(::CreateCompatibleDC(screen.get()));
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  ScopedGdiObject<HBITMAP> bitmap(::CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!screen || !memory || !bitmap || !bits) {
    *error = "cannot make a bitmap for the screenshot (error " + std::to_string(::GetLastError()) + ")";
    return false;
  }
  HGDIOBJ old = ::SelectObject(memory.get(), bitmap.get());
  const BOOL copied = ::BitBlt(memory.get(), 0, 0, width, height, screen.get(), area.left, area.top, SRCCOPY | CAPTUREBLT);
  ::SelectObject(memory.get(), old);
  if (!copied) {
    *error = "cannot copy the screen (error " + std::to_string(::GetLastError()) + ")";
    return false;
  }
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  const auto* pixel = static_cast<const uint8_t*>(bits);
  for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) {
    rgb[i * 3] = pixel[i * 4 + 2];
    rgb[i * 3 + 1] = pixel[i * 4 + 1];
    rgb[i * 3 + 2] = pixel[i * 4];
  }
  const std::vector<uint8_t> png = pngwriter::encode(static_cast<uint32_t>(width), static_cast<uint32_t>(height), rgb);
  ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!file || !::WriteFile(file.get(), png.data(), static_cast<DWORD>(png.size()), &written, nullptr) ||
      written != png.size()) {
    *error = "cannot write the screenshot (error " + std::to_string(::GetLastError()) + ")";
    return false;
  }
  return true;
}

}  // namespace screenshot
