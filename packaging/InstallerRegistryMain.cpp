// zelt-installer-registry: writes the installer's registry rows of the page as a wixl include.
//   zelt-installer-registry <registry script> <idl> <module ref> <folder ref> <output .wxi>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "InstallerRegistry.h"

namespace {

bool Read(const char* path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  *text = s.str();
  return true;
}

std::wstring Widen(const std::string& s) {  // the script and the references are ASCII
  std::wstring w;
  for (unsigned char c : s) w.push_back(static_cast<wchar_t>(c));
  return w;
}

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::cerr << "usage: zelt-installer-registry <registry script> <idl> <module ref> <folder ref> <output .wxi>\n";
    return 2;
  }
  std::string script, idl;
  if (!Read(argv[1], &script) || !Read(argv[2], &idl)) {
    std::cerr << "zelt-installer-registry: cannot read " << argv[1] << " or " << argv[2] << "\n";
    return 1;
  }
  std::vector<InstallerRegistryRow> rows;
  std::wstring error;
  if (!InstallerRowsFromScript(Widen(script), Widen(argv[3]), &rows, &error)) {
    std::cerr << argv[1] << ": " << Narrow(error) << "\n";
    return 1;
  }
  if (!InstallerRowsFromIdl(idl, Widen(argv[3]), Widen(argv[4]), &rows, &error)) {
    std::cerr << argv[2] << ": " << Narrow(error) << "\n";
    return 1;
  }
  std::ofstream out(argv[5], std::ios::binary);
  out << InstallerRowsAsWix(rows);
  return out.good() ? 0 : 1;
}
