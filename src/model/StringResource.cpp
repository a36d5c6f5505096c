#include "model/StringResource.h"

namespace StringResource {

bool load(HINSTANCE instance, UINT id, TextBuffer& text) {
  char buffer[500];
  const int length = ::LoadStringA(instance, id, buffer, sizeof buffer);
  if (length <= 0) return false;
  return SUCCEEDED(text.assign(buffer, static_cast<size_t>(length)));
}

}  // namespace StringResource
