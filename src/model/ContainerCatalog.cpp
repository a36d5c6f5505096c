#include "model/ContainerCatalog.h"

#include <new>

#include "model/Status.h"
#include "model/ValueReader.h"

ContainerCatalog::~ContainerCatalog() { clearNames(); }

void ContainerCatalog::clearNames() {
  while (first_) {
    Name* next = first_->next;
    delete first_;
    first_ = next;
  }
  cursor_ = nullptr;
}

int32_t ContainerCatalog::parse(const uint8_t* value, size_t length) {
  if (!value || length < 4) return StatusFail;
  clearNames();
  version_ = value[0];
  secondByte_ = value[1];
  count_ = static_cast<uint16_t>(value[2] | (value[3] << 8));
  if (count_ > MaxNames) return StatusFail;

  ValueReader reader(value + 4, length - 4);
  Name** tail = &first_;
  int32_t status = StatusOk;
  for (uint16_t i = 0; i < count_; ++i) {
    Name* name = new (std::nothrow) Name;
    if (!name) {
      status = StatusOutOfMemory;
      break;
    }
    status = reader.readString(name->text);
    if (status != StatusOk) {
      delete name;
      break;
    }
    *tail = name;
    tail = &name->next;
  }
  cursor_ = first_;
  return status;
}

const TextBuffer* ContainerCatalog::nextName(bool restart) {
  if (restart) cursor_ = first_;
  if (!cursor_) return nullptr;
  const Name* current = cursor_;
  cursor_ = cursor_->next;
  return &current->text;
}
