#pragma once
// One certificate found in a key container of the CSP: a node of the
// container map that CspContext owns.
#include <cstdint>
#include <memory>

#include "model/ByteBuffer.h"
#include "model/TextBuffer.h"

struct ContainerMapEntry {
  ByteBuffer certificate;     // DER encoding
  uint32_t keySpec = 1;       // AT_KEYEXCHANGE (1) or AT_SIGNATURE (2)
  TextBuffer containerName;
  bool isDefault = false;     // the map's default logon entry
  std::unique_ptr<ContainerMapEntry> next;
};
