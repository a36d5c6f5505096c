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
// The bytes of a file, read to its end (a /proc file reports no size); empty when it cannot be read.
std::vector<unsigned char> ReadWholeFile(const std::wstring& path);

}  // namespace testkit
