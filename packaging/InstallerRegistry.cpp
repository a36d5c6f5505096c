#include "InstallerRegistry.h"

#include <cstdio>
#include <regex>

#include "server/RegistryScript.h"

namespace {

const wchar_t kModuleMark[] = L"\x01MODULE\x01";

// The installer reads keys, names and values as formatted text, where brackets are syntax.
std::wstring Formatted(const std::wstring& text, const std::wstring& moduleRef) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'[') out += L"[\\[]";
    else if (c == L']') out += L"[\\]]";
    else out += c;
  }
  return RegistryScriptSubstitute(out, kModuleMark, moduleRef);
}

bool AddKey(const std::wstring& root, const std::wstring& parent, const RegistryScriptKey& key,
            const std::wstring& moduleRef, std::vector<InstallerRegistryRow>* rows, std::wstring* error) {
  using Rule = RegistryScriptKey::Rule;
  const std::wstring path = parent.empty() ? key.name : parent + L"\\" + key.name;
  const bool hasValues = key.hasDefault || !key.values.empty();
  if (key.rule == Rule::Delete) {
    *error = L"Delete " + path + L": the installer removes no key at install";
    return false;
  }
  if (key.rule == Rule::NoRemove && hasValues) {
    *error = L"NoRemove " + path + L" has values, which the installer would remove at uninstall";
    return false;
  }
  if (key.rule == Rule::Normal && !hasValues) {
    *error = L"the empty key " + path + L" would outlive the uninstallation";
    return false;
  }
  auto add = [&](const std::wstring& name, const RegistryScriptValue& v) {
    InstallerRegistryRow row{root, Formatted(path, moduleRef), Formatted(name, moduleRef), v.type, {}};
    row.value = v.type == L'd' ? std::to_wstring(v.number) : Formatted(v.text, moduleRef);
    rows->push_back(row);
  };
  if (key.rule == Rule::ForceRemove) rows->push_back({root, Formatted(path, moduleRef), L"*", L's', {}});
  if (key.hasDefault) add(L"", key.defaultValue);
  for (const RegistryScriptValue& v : key.values) add(v.name, v);
  for (const RegistryScriptKey& child : key.children)
    if (!AddKey(root, path, child, moduleRef, rows, error)) return false;
  return true;
}

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

void Utf8(std::string* out, wchar_t c) {
  const unsigned long u = static_cast<unsigned long>(c);
  if (u < 0x80) {
    out->push_back(static_cast<char>(u));
  } else if (u < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (u >> 6)));
    out->push_back(static_cast<char>(0x80 | (u & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xE0 | (u >> 12)));
    out->push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (u & 0x3F)));
  }
}

std::string Attribute(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    switch (c) {
      case L'&': out += "&amp;"; break;
      case L'<': out += "&lt;"; break;
      case L'>': out += "&gt;"; break;
      case L'"': out += "&quot;"; break;
      default: Utf8(&out, c);
    }
  }
  return out;
}

}  // namespace

bool InstallerRowsFromScript(const std::wstring& script, const std::wstring& moduleRef,
                             std::vector<InstallerRegistryRow>* rows, std::wstring* error) {
  // As the module's registrar does: the placeholder is replaced before the script is parsed.
  RegistryScript parsed;
  if (!ParseRegistryScript(RegistryScriptSubstitute(script, L"%MODULE%", kModuleMark), &parsed, error)) return false;
  for (const RegistryScriptKey& root : parsed.roots) {
    static const wchar_t* const known[] = {L"HKCR", L"HKCU", L"HKLM", L"HKU"};
    bool ok = false;
    for (const wchar_t* k : known) ok = ok || root.name == k;
    if (!ok) {
      *error = L"unknown root key " + root.name;
      return false;
    }
    for (const RegistryScriptKey& key : root.children)
      if (!AddKey(root.name, L"", key, moduleRef, rows, error)) return false;
  }
  return true;
}

bool InstallerRowsFromIdl(const std::string& idl, const std::wstring& moduleRef, const std::wstring& folderRef,
                          std::vector<InstallerRegistryRow>* rows, std::wstring* error) {
  // The attribute list that stands right before `library NAME`.
  std::smatch m;
  if (!std::regex_search(idl, m, std::regex(R"(\[([^\[\]]*)\]\s*library\s+\w+)"))) {
    *error = L"no library statement";
    return false;
  }
  const std::string attributes = m[1];
  auto attribute = [&](const char* pattern, std::string* out) {
    std::smatch a;
    if (!std::regex_search(attributes, a, std::regex(pattern))) return false;
    *out = a[1];
    return true;
  };
  std::string uuid, version, lcid = "0", help;
  if (!attribute(R"(uuid\(\s*([0-9A-Fa-f-]{36})\s*\))", &uuid) ||
      !attribute(R"(version\(\s*(\d+\.\d+)\s*\))", &version)) {
    *error = L"the library has no uuid or version";
    return false;
  }
  attribute(R"(lcid\(\s*(0x[0-9A-Fa-f]+|\d+)\s*\))", &lcid);
  attribute(R"(helpstring\(\s*\"([^\"]*)\"\s*\))", &help);
  // LIBFLAG_FRESTRICTED, LIBFLAG_FCONTROL, LIBFLAG_FHIDDEN
  unsigned flags = 0;
  for (const auto& flag : {std::make_pair("restricted", 1u), std::make_pair("control", 2u), std::make_pair("hidden", 4u)})
    if (std::regex_search(attributes, std::regex(std::string("(^|[\\s,])") + flag.first + "\\s*(,|$)"))) flags |= flag.second;
  // Type libraries are registered under the upper-case braced form and the hex locale.
  for (char& c : uuid) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  char locale[16];
  std::snprintf(locale, sizeof locale, "%lx", std::stoul(lcid, nullptr, 0));

  const std::wstring key = L"TypeLib\\{" + Widen(uuid) + L"}\\" + Widen(version);
  rows->push_back({L"HKCR", key, L"", L's', Formatted(Widen(help), L"")});
  rows->push_back({L"HKCR", key + L"\\FLAGS", L"", L's', std::to_wstring(flags)});
  rows->push_back({L"HKCR", key + L"\\" + Widen(locale) + L"\\win32", L"", L's', moduleRef});
  rows->push_back({L"HKCR", key + L"\\HELPDIR", L"", L's', folderRef});
  return true;
}

std::string InstallerRowsAsWix(const std::vector<InstallerRegistryRow>& rows) {
  std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Include>\n";
  for (const InstallerRegistryRow& r : rows) {
    out += "  <RegistryValue Root=\"" + Attribute(r.root) + "\" Key=\"" + Attribute(r.key) + "\"";
    if (!r.name.empty()) out += " Name=\"" + Attribute(r.name) + "\"";
    out += std::string(" Type=\"") + (r.type == L'd' ? "integer" : "string") + "\" Value=\"" + Attribute(r.value) + "\"/>\n";
  }
  return out + "</Include>\n";
}
