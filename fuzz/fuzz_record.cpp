// Feeds arbitrary container record values to ContainerRecord::parse: the labels come only
// from the value and follow its version.
#include <cstdint>
#include <cstring>
#include <vector>

#include "model/ContainerRecord.h"
#include "model/Status.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> value(data, data + size);
  ContainerRecord record;
  const int32_t status = record.parse(value.data(), size);
  const TextBuffer& exchange = record.exchangeCertLabel();
  const TextBuffer& signature = record.signatureCertLabel();
  if (std::strlen(exchange.text()) != exchange.length() || std::strlen(signature.text()) != signature.length())
    __builtin_trap();
  // The labels are disjoint pieces of the bytes after the two header bytes.
  if (size >= 4 && exchange.length() + signature.length() > size - 2) __builtin_trap();
  if (status == StatusOk && record.version() < 2 && !signature.empty()) __builtin_trap();
  if (status == StatusOk && record.version() == 0 && !exchange.empty()) __builtin_trap();
  if (status == StatusFail && (size >= 4 || !exchange.empty() || !signature.empty())) __builtin_trap();
  return 0;
}
