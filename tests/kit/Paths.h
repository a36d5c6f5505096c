#pragma once
#include <string>
#include <vector>

namespace testkit {

// Folder of the running test executable (where the DLLs under test are built), with a trailing '\'.
std::wstring BinDir();
// A path of the source tree (ZELT_SOURCE_DIR, a Unix path) as Wine sees it: Z:\...
std::wstring SourcePath(const std::wstring& relative);
// A fresh empty folder under the prefix's temp folder; removed by RemoveTree.
std::wstring MakeTempDir(const std::wstring& hint);
void RemoveTree(const std::wstring& dir);
// A folder of MakeTempDir, removed with what it holds when this goes, however a test ends.
class TempDir {
 public:
  explicit TempDir(const std::wstring& hint) : path_(MakeTempDir(hint)) {}
  ~TempDir() { RemoveTree(path_); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};
// The bytes of a file, read to its end (a /proc file reports no size); empty when it cannot be read.
std::vector<unsigned char> ReadWholeFile(const std::wstring& path);

}  // namespace testkit
