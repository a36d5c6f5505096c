#pragma once
// Conversions between the UTF-16 texts of the platform and UTF-8, which the tools use inside.
#include <string>

namespace widetext {

std::string toUtf8(const std::wstring& wide);
std::wstring fromUtf8(const std::string& utf8);

}  // namespace widetext
