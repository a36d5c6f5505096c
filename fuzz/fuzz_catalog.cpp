// Feeds arbitrary catalog values to ContainerCatalog::parse and checks what
// a parse promises: only bytes of the value are read, and a successful parse
// yields exactly the declared number of names.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "model/ContainerCatalog.h"
#include "model/Status.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy so that the sanitizer catches any read past the value.
  uint8_t* value = new uint8_t[size ? size : 1];
  if (size) std::memcpy(value, data, size);

  ContainerCatalog catalog;
  const int32_t status = catalog.parse(size ? value : nullptr, size);
  size_t names = 0;
  for (const TextBuffer* name = catalog.nextName(true); name; name = catalog.nextName(false)) {
    if (name->length() + 4 > size) __builtin_trap();
    if (std::strlen(name->text()) != name->length()) __builtin_trap();
    ++names;
  }
  if (status == StatusOk && names != catalog.count()) __builtin_trap();
  if (status == StatusFail && names != 0) __builtin_trap();
  if (catalog.nextName(false)) __builtin_trap();

  // A second parse of a shorter value replaces or keeps the first, never mixes them.
  const size_t half = size / 2;
  if (catalog.parse(value, half) == StatusOk) {
    size_t again = 0;
    for (const TextBuffer* name = catalog.nextName(true); name; name = catalog.nextName(false)) ++again;
    if (again != catalog.count()) __builtin_trap();
  }
  delete[] value;
  return 0;
}
