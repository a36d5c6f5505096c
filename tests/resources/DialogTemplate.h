#pragma once
// A dialog resource decoded: the header and every item, from either template layout
// (DLGTEMPLATE or DLGTEMPLATEEX). Pure code: no windows.h.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class DialogTemplate {
 public:
  // A name-or-ordinal field: either text or, when ordinal is non-zero, a 16-bit number.
  struct NameOrOrdinal {
    std::wstring text;
    uint16_t ordinal = 0;
  };

  struct Item {
    uint32_t style = 0;
    uint32_t exStyle = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    int32_t id = 0;  // -1 for the unnamed controls (0xFFFF in a classic template)
    NameOrOrdinal windowClass;  // ordinals 0x80..0x85: Button, Edit, Static, ListBox, ScrollBar, ComboBox
    NameOrOrdinal text;
  };

  // Decodes size bytes at data; false when the bytes are not a complete template.
  bool Parse(const void* data, size_t size);

  bool extended = false;
  uint32_t style = 0;
  uint32_t exStyle = 0;
  int16_t x = 0, y = 0, cx = 0, cy = 0;
  NameOrOrdinal menu;
  NameOrOrdinal windowClass;
  std::wstring title;
  bool hasFont = false;
  uint16_t pointSize = 0;
  uint16_t weight = 0;
  bool italic = false;
  std::wstring faceName;
  std::vector<Item> items;

  // The item with that control id, or null.
  const Item* FindItem(int32_t id) const;
};
