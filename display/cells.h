// The screen's cells: a character and its attributes (colours, bold, underline, inverse), and a row of them as the screen model hands it out.
#pragma once
#include <cstdint>

// A colour as a cell keeps it: the default (the window's text or paper), one
// of a palette of 256 (0..7 the eight colours, 8..15 their bright forms,
// then the 6 x 6 x 6 cube and the grey ramp), or a 24-bit value.
using CellColour = uint32_t;
constexpr CellColour kColourDefault = 0;
constexpr uint32_t kColourKindIndex = 0x01000000u;
constexpr uint32_t kColourKindRgb = 0x02000000u;
constexpr CellColour ColourIndex(int index) { return kColourKindIndex | (static_cast<uint32_t>(index) & 0xFFu); }
constexpr CellColour ColourRgb(int r, int g, int b) {
  return kColourKindRgb | ((static_cast<uint32_t>(r) & 0xFFu) << 16) | ((static_cast<uint32_t>(g) & 0xFFu) << 8) |
         (static_cast<uint32_t>(b) & 0xFFu);
}
// The colour as red << 16 | green << 8 | blue; the default one is given.
uint32_t ColourToRgb(CellColour c, uint32_t defaultRgb);

enum : uint8_t {
  kAttrBold = 1,
  kAttrUnderline = 2,
  kAttrInverse = 4,
};

struct CellAttr {
  CellColour fg = kColourDefault;
  CellColour bg = kColourDefault;
  uint8_t flags = 0;
  bool operator==(const CellAttr& o) const { return fg == o.fg && bg == o.bg && flags == o.flags; }
  bool operator!=(const CellAttr& o) const { return !(*this == o); }
  bool isDefault() const { return fg == kColourDefault && bg == kColourDefault && flags == 0; }
};

// A blank that shows nothing: a space on the default paper, neither
// underlined nor inverted. The ends of rows made of these are not stored.
inline bool InvisibleBlank(uint32_t ch, const CellAttr& a) {
  return ch == ' ' && a.bg == kColourDefault && (a.flags & (kAttrUnderline | kAttrInverse)) == 0;
}

// The widest grid a model can have, and so the widest row.
constexpr int kMaxScreenCols = 512;
constexpr int kMaxScreenRows = 1024;

// One row of cells read out of the model (grid or history): every column of
// the grid filled, blanks beyond what was written.
struct RowCells {
  int32_t used = 0;        // cells up to and including the last one that is not an invisible blank
  bool wrapped = false;    // the row's text runs on into the next row (a wrap, not a line end)
  uint32_t ch[kMaxScreenCols];
  CellAttr attr[kMaxScreenCols];
};
