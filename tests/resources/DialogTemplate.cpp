#include "DialogTemplate.h"

namespace {

// DS_SETFONT and DS_SHELLFONT: the header carries a font.
constexpr uint32_t kSetFont = 0x40;

// Reads little-endian fields from the template, failing (not crashing) past its end.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool ok() const { return ok_; }

  uint8_t U8() {
    if (!Need(1)) return 0;
    return data_[pos_++];
  }
  uint16_t U16() {
    if (!Need(2)) return 0;
    const uint16_t v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
  }
  uint32_t U32() {
    const uint32_t lo = U16();
    const uint32_t hi = U16();
    return lo | (hi << 16);
  }
  int16_t S16() { return static_cast<int16_t>(U16()); }

  std::wstring Text() {
    std::wstring s;
    for (;;) {
      const uint16_t c = U16();
      if (!ok_ || c == 0) return s;
      s.push_back(static_cast<wchar_t>(c));
    }
  }

  DialogTemplate::NameOrOrdinal NameOrOrdinal() {
    DialogTemplate::NameOrOrdinal n;
    const uint16_t first = U16();
    if (first == 0xFFFF) {
      n.ordinal = U16();
    } else if (first != 0) {
      n.text.push_back(static_cast<wchar_t>(first));
      n.text += Text();
    }
    return n;
  }

  // Items start on 32-bit boundaries of the template.
  void AlignTo4() {
    const size_t aligned = (pos_ + 3) & ~static_cast<size_t>(3);
    if (aligned > size_) {
      // The last item may end without padding.
      pos_ = size_;
      return;
    }
    pos_ = aligned;
  }

  void Skip(size_t n) {
    if (Need(n)) pos_ += n;
  }

 private:
  bool Need(size_t n) {
    if (!ok_ || size_ - pos_ < n) {
      ok_ = false;
      return false;
    }
    return true;
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace

bool DialogTemplate::Parse(const void* data, size_t size) {
  *this = DialogTemplate();
  if (!data) return false;
  Reader r(static_cast<const uint8_t*>(data), size);

  uint16_t count = 0;
  const uint16_t version = r.U16();
  const uint16_t signature = r.U16();
  extended = version == 1 && signature == 0xFFFF;
  if (extended) {
    r.U32();  // help id
    exStyle = r.U32();
    style = r.U32();
  } else {
    style = static_cast<uint32_t>(version) | (static_cast<uint32_t>(signature) << 16);
    exStyle = r.U32();
  }
  count = r.U16();
  x = r.S16();
  y = r.S16();
  cx = r.S16();
  cy = r.S16();
  menu = r.NameOrOrdinal();
  windowClass = r.NameOrOrdinal();
  title = r.Text();
  if (style & kSetFont) {
    hasFont = true;
    pointSize = r.U16();
    if (extended) {
      weight = r.U16();
      italic = r.U8() != 0;
      r.U8();  // character set
    }
    faceName = r.Text();
  }

  for (uint16_t i = 0; i < count && r.ok(); ++i) {
    r.AlignTo4();
    Item item;
    if (extended) {
      r.U32();  // help id
      item.exStyle = r.U32();
      item.style = r.U32();
    } else {
      item.style = r.U32();
      item.exStyle = r.U32();
    }
    item.x = r.S16();
    item.y = r.S16();
    item.cx = r.S16();
    item.cy = r.S16();
    item.id = extended ? static_cast<int32_t>(r.U32()) : static_cast<int16_t>(r.U16());
    item.windowClass = r.NameOrOrdinal();
    item.text = r.NameOrOrdinal();
    const uint16_t extra = r.U16();
    r.Skip(extra);
    if (r.ok()) items.push_back(item);
  }
  return r.ok() && items.size() == count;
}

const DialogTemplate::Item* DialogTemplate::FindItem(int32_t id) const {
  for (const Item& item : items) {
    if (item.id == id) return &item;
  }
  return nullptr;
}
