#include "model/ContainerCatalog.h"

#include <new>

#include "model/ValueReader.h"

ContainerCatalog::~ContainerCatalog() = default;

Status ContainerCatalog::parse(const uint8_t* value, size_t length) {
  if (!value || length < 4) return StatusFail;
  cursor_ = nullptr;
  first_.reset();
  version_ = value[0];
  secondByte_ = value[1];
  count_ = static_cast<uint16_t>(value[2] | (value[3] << 8));
  if (count_ > MaxNames) return StatusFail;

  ValueReader reader(value + 4, length - 4);
  std::unique_ptr<Name>* tail = &first_;
  Status status = StatusOk;
  for (uint16_t i = 0; i < count_; ++i) {
    std::unique_ptr<Name> name(new (std::nothrow) Name);
    if (!name) {
      status = StatusOutOfMemory;
      break;
    }
    status = reader.readString(name->text);
    if (status != StatusOk) break;
    *tail = std::move(name);
    tail = &(*tail)->next;
  }
  cursor_ = first_.get();
  return status;
}

const TextBuffer* ContainerCatalog::nextName(bool restart) {
  if (restart) cursor_ = first_.get();
  if (!cursor_) return nullptr;
  const Name* current = cursor_;
  cursor_ = cursor_->next.get();
  return &current->text;
}
