#include "model/ContainerRecord.h"

#include "model/Status.h"
#include "model/ValueReader.h"

ContainerRecord::~ContainerRecord() = default;

Status ContainerRecord::parse(const uint8_t* value, size_t length) {
  if (!value || length < 4) return StatusFail;
  version_ = value[0];
  secondByte_ = value[1];
  firstText_.clear();
  secondText_.clear();
  exchangeCertLabel_.clear();
  signatureCertLabel_.clear();
  if (version_ == 0) return StatusOk;

  ValueReader reader(value + 2, length - 2);
  Status status = reader.readString(firstText_);
  if (status == StatusOk) status = reader.readString(secondText_);
  if (status == StatusOk) status = reader.readString(exchangeCertLabel_);
  if (status == StatusOk && version_ >= 2) status = reader.readString(signatureCertLabel_);
  return status;
}
