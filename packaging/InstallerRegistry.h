#pragma once
// The installer's registry rows for the page, made at build time from the module's own sources:
// the class and ProgIDs from its registry script (parsed by the module's own parser), the type
// library from the attributes of the library in its IDL. Pure code: no platform headers.
#include <string>
#include <vector>

struct InstallerRegistryRow {
  std::wstring root;   // HKCR, HKCU, HKLM, HKU
  std::wstring key;
  std::wstring name;   // empty: the key's default value; "*": the key itself (made at install,
                       // removed with all below it at uninstall)
  wchar_t type = L's'; // 's' string, 'd' 32-bit number
  std::wstring value;  // in the installer's formatted syntax
};

// The rows that register what the script registers. `moduleRef` stands for %MODULE% (e.g.
// "[#ZeltUtilUserPage.dll]"); every other bracket is escaped. False with a reason for what an
// installer cannot undo the way the module's own unregistration does.
bool InstallerRowsFromScript(const std::wstring& script, const std::wstring& moduleRef,
                             std::vector<InstallerRegistryRow>* rows, std::wstring* error);

// The rows that RegisterTypeLib writes for the library declared in `idl`: its help string, FLAGS,
// HELPDIR (`folderRef`) and the path of the module that holds it (`moduleRef`) under its locale.
bool InstallerRowsFromIdl(const std::string& idl, const std::wstring& moduleRef, const std::wstring& folderRef,
                          std::vector<InstallerRegistryRow>* rows, std::wstring* error);

// A wixl include file (<Include>) with one RegistryValue per row, in UTF-8.
std::string InstallerRowsAsWix(const std::vector<InstallerRegistryRow>& rows);
