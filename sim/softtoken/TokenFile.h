// One token's file in the store folder: change detection, reading, and the atomic,
// durable replacement that every change goes through.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "TokenImage.h"
#include "WriteFault.h"

namespace softtoken {

// Identity of one version of the file: a replacement is a new file (new index) even when
// size and time happen to repeat.
struct FileStamp {
  bool exists = false;
  uint64_t index = 0;  // the file's number on its volume: a replaced file has another
  uint64_t size = 0;
  uint64_t writeTime = 0;

  bool operator==(const FileStamp &o) const {
    return exists == o.exists && index == o.index && size == o.size && writeTime == o.writeTime;
  }
  bool operator!=(const FileStamp &o) const { return !(*this == o); }
};

class TokenFile {
 public:
  enum class Load { Unchanged, Absent, Valid, Corrupt, Unreadable };

  TokenFile() = default;
  explicit TokenFile(std::wstring path) : path_(std::move(path)) {}

  const std::wstring &path() const { return path_; }

  // Reads the file unless it is the version `known` stands for; `known` becomes the
  // version just looked at. Unreadable means locked by someone else: keep what you have.
  Load load(FileStamp &known, TokenImage &out) const;

  // Writes a temporary file beside the token file, flushes it and moves it over the token
  // file in one step, so readers see the old or the new image, never a mix.
  bool save(const TokenImage &image, WriteFault fault) const;

  // True when the file is gone afterwards.
  bool remove() const;

 private:
  std::wstring path_;
};

}  // namespace softtoken
