// The screen model: the grid's ring of rows, writing characters and attributes into them, the scroll into the history, and reading rows out.
#include "display/screen_model.h"

#include <algorithm>

#include "display/screen.h"

ScreenModel gScreenModel(kScreenRows, kScreenCols);

ScreenModel::ScreenModel(int32_t rows, int32_t cols)
    : rows_(std::clamp(rows, 1, kMaxScreenRows)),
      cols_(std::clamp(cols, 1, kMaxScreenCols)),
      bytes_(static_cast<size_t>(rows_) * cols_ + 16, ' '),
      wide_(static_cast<size_t>(rows_) * cols_, ' '),
      attrs_(static_cast<size_t>(rows_) * cols_),
      state_(static_cast<size_t>(rows_)) {}

void ScreenModel::makeWide(int32_t p) {
  RowState& s = state_[p];
  if (s.wide) return;
  const size_t at = static_cast<size_t>(p) * cols_;
  for (int32_t c = 0; c < cols_; c++) wide_[at + c] = bytes_[at + c];
  s.wide = true;
  s.plain = false;
}

void ScreenModel::makeMixed(int32_t p) {
  RowState& s = state_[p];
  if (s.mixed) return;
  std::fill_n(attrs_.begin() + static_cast<std::ptrdiff_t>(p) * cols_, cols_, s.uniform);
  s.mixed = true;
  s.plain = false;
}

void ScreenModel::putSlow(int32_t p, int32_t col, const uint8_t* src, int32_t n) {
  RowState& s = state_[p];
  const size_t at = static_cast<size_t>(p) * cols_ + col;
  if (s.wide) {
    for (int32_t k = 0; k < n; k++) wide_[at + k] = src[k];
  } else {
    std::memcpy(&bytes_[at], src, static_cast<size_t>(n));
  }
  if (!s.mixed && s.uniform == pen_) return;
  makeMixed(p);
  std::fill_n(attrs_.begin() + static_cast<std::ptrdiff_t>(at), n, pen_);
}

void ScreenModel::putChar(int32_t row, int32_t col, uint32_t ch) {
  if (ch <= 0xFF) {
    putByte(row, col, static_cast<uint8_t>(ch));
    return;
  }
  const int32_t p = phys(row);
  makeWide(p);
  const uint8_t placeholder = ' ';
  putSlow(p, col, &placeholder, 1);   // the attributes
  wide_[static_cast<size_t>(p) * cols_ + col] = ch;
  if (col + 1 > state_[p].used) state_[p].used = col + 1;
}

void ScreenModel::setAttrs(int32_t row, int32_t col, int32_t n, const CellAttr& a) {
  if (row < 0 || row >= rows_ || col < 0 || col >= cols_ || n <= 0) return;
  if (n > cols_ - col) n = cols_ - col;
  const int32_t p = phys(row);
  makeMixed(p);
  std::fill_n(attrs_.begin() + static_cast<std::ptrdiff_t>(p) * cols_ + col, n, a);
  // Blanks in other attributes may show (a coloured paper): they count as written.
  if (col + n > state_[p].used) state_[p].used = col + n;
}

void ScreenModel::blankRow(int32_t p) {
  std::memset(&bytes_[static_cast<size_t>(p) * cols_], ' ', static_cast<size_t>(cols_));
  state_[p] = RowState{};
}

void ScreenModel::pushTopRow(int64_t historyLimit) {
  const int32_t p = top_;
  const RowState& s = state_[p];
  if (historyLimit > 0) {
    const size_t at = static_cast<size_t>(p) * cols_;
    const GridRowRef ref{&bytes_[at], s.wide ? &wide_[at] : nullptr, s.mixed ? &attrs_[at] : nullptr, s.uniform,
                         cols_, s.used, s.wrapped};
    history_.push(ref, historyLimit);
  } else if (history_.size() > 0) {
    history_.clear();
  }
}

void ScreenModel::putCells(int32_t row, int32_t col, const uint32_t* ch, const CellAttr* attr, int32_t n) {
  if (row < 0 || row >= rows_ || col < 0 || col >= cols_ || n <= 0) return;
  if (n > cols_ - col) n = cols_ - col;
  const int32_t p = phys(row);
  RowState& s = state_[p];
  const size_t at = static_cast<size_t>(p) * cols_ + col;
  bool narrow = true, oneAttr = true;
  for (int32_t k = 0; k < n; k++) {
    narrow &= ch[k] <= 0xFF;
    oneAttr &= attr[k] == attr[0];
  }
  const bool whole = col == 0 && n == cols_;
  if (whole && narrow) s.wide = false;
  if (!narrow) makeWide(p);
  if (s.wide) {
    std::copy_n(ch, n, wide_.begin() + static_cast<std::ptrdiff_t>(at));
  } else {
    uint8_t* b = &bytes_[at];
    for (int32_t k = 0; k < n; k++) b[k] = static_cast<uint8_t>(ch[k]);
  }
  if (whole && oneAttr) {
    s.mixed = false;
    s.uniform = attr[0];
  } else if (s.mixed || !oneAttr || attr[0] != s.uniform) {
    makeMixed(p);
    std::copy_n(attr, n, attrs_.begin() + static_cast<std::ptrdiff_t>(at));
  }
  s.plain = !s.wide && !s.mixed && s.uniform.isDefault();
  if (col + n > s.used) s.used = col + n;
}

void ScreenModel::copyCells(int32_t dst, int32_t dstCol, int32_t src, int32_t srcCol, int32_t n) {
  if (dst < 0 || dst >= rows_ || src < 0 || src >= rows_ || n <= 0) return;
  if (dstCol < 0 || srcCol < 0 || dstCol >= cols_ || srcCol >= cols_) return;
  n = std::min({n, cols_ - dstCol, cols_ - srcCol});
  static RowCells row;   // under the screen lock, like every member
  readRow(src, &row);
  const bool wrapped = row.wrapped;
  putCells(dst, dstCol, row.ch + srcCol, row.attr + srcCol, n);
  if (dstCol == 0 && srcCol == 0 && n == cols_) state_[phys(dst)].wrapped = wrapped;
}

void ScreenModel::dropTopRows(int32_t n) {
  if (n > rows_) n = rows_;
  for (int32_t k = 0; k < n; k++) {
    blankUsed(top_);
    state_[top_] = RowState{};
    top_ = top_ + 1 == rows_ ? 0 : top_ + 1;
  }
}

void ScreenModel::pushHistoryRow(const uint32_t* ch, const CellAttr* attr, int32_t n, bool wrapped,
                                 int64_t historyLimit) {
  if (n > cols_) n = cols_;
  if (n < 0) n = 0;
  scrolled_++;
  if (historyLimit <= 0) {
    history_.clear();
    return;
  }
  static uint8_t bytes[kMaxScreenCols + 16];
  bool narrow = true, oneAttr = true;
  for (int32_t k = 0; k < n; k++) {
    narrow &= ch[k] <= 0xFF;
    oneAttr &= attr[k] == attr[0];
    bytes[k] = static_cast<uint8_t>(ch[k]);
  }
  const GridRowRef ref{bytes, narrow ? nullptr : ch, oneAttr ? nullptr : attr, n > 0 ? attr[0] : CellAttr{}, n, n,
                       wrapped};
  history_.push(ref, historyLimit);
}

void ScreenModel::clearGrid() {
  for (int32_t p = 0; p < rows_; p++) blankRow(p);
}

bool ScreenModel::readRow(int64_t row, RowCells* out) const {
  if (row < 0) return history_.read(history_.size() + row, cols_, out);
  if (row >= rows_) return false;
  const int32_t p = phys(static_cast<int32_t>(row));
  const RowState& s = state_[p];
  const size_t at = static_cast<size_t>(p) * cols_;
  if (s.wide) {
    std::memcpy(out->ch, &wide_[at], static_cast<size_t>(cols_) * 4);
  } else {
    for (int32_t c = 0; c < cols_; c++) out->ch[c] = bytes_[at + c];
  }
  if (s.mixed) {
    std::copy_n(attrs_.begin() + static_cast<std::ptrdiff_t>(at), cols_, out->attr);
  } else {
    std::fill_n(out->attr, cols_, s.uniform);
  }
  int32_t used = s.used < cols_ ? s.used : cols_;
  while (used > 0 && InvisibleBlank(out->ch[used - 1], out->attr[used - 1])) used--;
  out->used = used;
  out->wrapped = s.wrapped;
  return true;
}

uint32_t ColourToRgb(CellColour c, uint32_t defaultRgb) {
  // The sixteen colours as terminals commonly draw them.
  static const uint32_t kSixteen[16] = {0x000000, 0xCD0000, 0x00CD00, 0xCDCD00, 0x0000EE, 0xCD00CD, 0x00CDCD, 0xE5E5E5,
                                        0x7F7F7F, 0xFF0000, 0x00FF00, 0xFFFF00, 0x5C5CFF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
  switch (c & 0xFF000000u) {
    case kColourKindRgb: return c & 0xFFFFFFu;
    case kColourKindIndex: {
      const uint32_t i = c & 0xFFu;
      if (i < 16) return kSixteen[i];
      if (i < 232) {
        static const uint32_t kLevel[6] = {0, 95, 135, 175, 215, 255};
        const uint32_t k = i - 16;
        return kLevel[k / 36] << 16 | kLevel[(k / 6) % 6] << 8 | kLevel[k % 6];
      }
      const uint32_t grey = 8 + (i - 232) * 10;
      return grey << 16 | grey << 8 | grey;
    }
    default: return defaultRgb;
  }
}
