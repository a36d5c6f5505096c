#pragma once
// Parser of the registrar's script grammar used by the module's REGISTRY resource:
//   HKCR { Name = s 'value' { val Named = s 'text'  NoRemove Child { ... } } }
// Pure code: no platform headers.
#include <cstdint>
#include <string>
#include <vector>

struct RegistryScriptValue {
  std::wstring name;  // empty: the key's default value
  wchar_t type = L's';  // 's' string, 'd' 32-bit number
  std::wstring text;
  uint32_t number = 0;
};

struct RegistryScriptKey {
  enum class Rule { Normal, NoRemove, ForceRemove, Delete };
  std::wstring name;
  Rule rule = Rule::Normal;
  bool hasDefault = false;
  RegistryScriptValue defaultValue;
  std::vector<RegistryScriptValue> values;
  std::vector<RegistryScriptKey> children;
};

struct RegistryScript {
  std::vector<RegistryScriptKey> roots;  // names are root keys: HKCR, HKCU, HKLM, ...
};

// Quotes a text for a value of the script: every apostrophe doubled.
std::wstring RegistryScriptQuote(const std::wstring& text);

// Replaces every occurrence of `placeholder` (e.g. L"%MODULE%") by `replacement`.
std::wstring RegistryScriptSubstitute(std::wstring script, const std::wstring& placeholder,
                                      const std::wstring& replacement);

// Parses a whole script; false with a short reason on a syntax error.
bool ParseRegistryScript(const std::wstring& text, RegistryScript* out, std::wstring* error);
