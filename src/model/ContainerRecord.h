#pragma once
// One key container's record on the token: a version byte, a byte not
// interpreted here, then NUL-terminated strings: from version 1 two strings
// not interpreted here and the key-exchange certificate's label, from
// version 2 also the signature certificate's label.
#include <cstddef>
#include <cstdint>

#include "model/TextBuffer.h"

class ContainerRecord {
 public:
  ContainerRecord() = default;
  virtual ~ContainerRecord();
  ContainerRecord(const ContainerRecord&) = delete;
  ContainerRecord& operator=(const ContainerRecord&) = delete;

  // Reads a record object's value. A value shorter than 4 bytes is refused
  // (StatusFail) and leaves the record as it was. Only bytes inside the value
  // are read: a string that runs past the end is cut at the end, and strings
  // that start at or past the end are empty. A label that cannot be allocated
  // gives StatusOutOfMemory with the labels read before it kept.
  Status parse(const uint8_t* value, size_t length);

  // Empty when the record names no such certificate.
  const TextBuffer& exchangeCertLabel() const { return exchangeCertLabel_; }
  const TextBuffer& signatureCertLabel() const { return signatureCertLabel_; }
  uint8_t version() const { return version_; }
  uint8_t secondByte() const { return secondByte_; }

 private:
  uint8_t version_ = 2;
  uint8_t secondByte_ = 0;
  TextBuffer firstText_;
  TextBuffer secondText_;
  TextBuffer exchangeCertLabel_;
  TextBuffer signatureCertLabel_;
};
