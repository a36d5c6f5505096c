#pragma once
#include <windows.h>

#include "model/TextBuffer.h"

namespace StringResource {

// Loads string id of instance (at most 499 characters) into text. When
// nothing loads, text keeps what it held and the result is false.
bool load(HINSTANCE instance, UINT id, TextBuffer& text);

}  // namespace StringResource
