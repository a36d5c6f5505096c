// Feeds arbitrary container record values to ContainerRecord::parse and
// checks that the labels come only from the value and follow its version.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "model/ContainerRecord.h"
#include "model/Status.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t* value = new uint8_t[size ? size : 1];
  if (size) std::memcpy(value, data, size);

  ContainerRecord record;
  const int32_t status = record.parse(size ? value : nullptr, size);
  const TextBuffer& exchange = record.exchangeCertLabel();
  const TextBuffer& signature = record.signatureCertLabel();
  if (std::strlen(exchange.text()) != exchange.length()) __builtin_trap();
  if (std::strlen(signature.text()) != signature.length()) __builtin_trap();
  // The labels are disjoint pieces of the bytes after the two header bytes.
  if (size >= 4 && exchange.length() + signature.length() > size - 2) __builtin_trap();
  if (status == StatusOk) {
    if (record.version() == 0 && !(exchange.empty() && signature.empty())) __builtin_trap();
    if (record.version() == 1 && !signature.empty()) __builtin_trap();
  } else if (status == StatusFail) {
    if (size >= 4 || !exchange.empty() || !signature.empty() || record.version() != 2) __builtin_trap();
  }
  delete[] value;
  return 0;
}
