// Feeds arbitrary catalog values to ContainerCatalog::parse: only bytes of the value are read
// (the sanitizer watches an exact-size copy), and a successful parse yields the declared names.
#include <cstdint>
#include <cstring>
#include <vector>

#include "model/ContainerCatalog.h"
#include "model/Status.h"

namespace {

size_t CountNames(ContainerCatalog& catalog, size_t size) {
  size_t names = 0;
  for (const TextBuffer* name = catalog.nextName(true); name; name = catalog.nextName(false), ++names) {
    if (name->length() + 4 > size || std::strlen(name->text()) != name->length()) __builtin_trap();
  }
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> value(data, data + size);
  ContainerCatalog catalog;
  const int32_t status = catalog.parse(value.data(), size);
  const size_t names = CountNames(catalog, size);
  if ((status == StatusOk && names != catalog.count()) || (status == StatusFail && names != 0)) __builtin_trap();
  // A second, shorter value replaces the names of the first, never mixes with them.
  if (catalog.parse(value.data(), size / 2) == StatusOk && CountNames(catalog, size / 2) != catalog.count())
    __builtin_trap();
  return 0;
}
