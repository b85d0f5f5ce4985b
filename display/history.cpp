// The history: rows that left the grid, as compact records in chunks, with a ring index of their places.
#include "display/history.h"

#include <cstring>

namespace {

void put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
uint32_t get16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8; }

void putAttr(uint8_t* p, const CellAttr& a) {
  std::memcpy(p, &a.fg, 4);
  std::memcpy(p + 4, &a.bg, 4);
  p[8] = a.flags;
}
CellAttr getAttr(const uint8_t* p) {
  CellAttr a;
  std::memcpy(&a.fg, p, 4);
  std::memcpy(&a.bg, p + 4, 4);
  a.flags = p[8];
  return a;
}

uint32_t charOf(const GridRowRef& r, int32_t col) { return r.wide ? r.wide[col] : r.bytes[col]; }
const CellAttr& attrOf(const GridRowRef& r, int32_t col) { return r.attrs ? r.attrs[col] : r.uniform; }

// The cells worth storing: up to the last one that shows something.
int32_t storedCells(const GridRowRef& r) {
  int32_t n = r.used < r.cols ? r.used : r.cols;
  if (!r.wide && !r.attrs && InvisibleBlank(' ', r.uniform)) {
    while (n > 0 && r.bytes[n - 1] == ' ') n--;   // the common row: bytes in one attribute
    return n;
  }
  while (n > 0 && InvisibleBlank(charOf(r, n - 1), attrOf(r, n - 1))) n--;
  return n;
}

// The attribute runs of cells 0..n-1; 0 when they are all the default.
int32_t countRuns(const GridRowRef& r, int32_t n) {
  if (n == 0) return 0;
  if (!r.attrs) return r.uniform.isDefault() ? 0 : 1;
  int32_t runs = 1;
  for (int32_t c = 1; c < n; c++)
    if (r.attrs[c] != r.attrs[c - 1]) runs++;
  return runs == 1 && r.attrs[0].isDefault() ? 0 : runs;
}

}  // namespace

History::~History() {
  clear();
  delete[] spare_;
}

uint8_t* History::room(uint32_t bytes) {
  // 16 bytes to spare at the end: pushBytes copies in steps of 16.
  if (fill_ + bytes + 16 > kChunkSize || chunks_.empty()) {
    uint8_t* chunk = spare_ ? spare_ : new uint8_t[kChunkSize];
    spare_ = nullptr;
    if (chunks_.empty()) chunkBase_ = 0;
    chunks_.push_back(chunk);
    fill_ = 0;
  }
  uint8_t* p = chunks_.back() + fill_;
  fill_ += bytes;
  return p;
}

void History::dropOldest() {
  if (count_ == 0) return;
  head_ = head_ + 1 == capacity_ ? 0 : head_ + 1;
  count_--;
  dropChunks();
}

void History::pushBytesSlow(const uint8_t* bytes, int32_t n, bool wrapped, int64_t limit) {
  const GridRowRef row{bytes, nullptr, nullptr, CellAttr{}, n, n, wrapped};
  push(row, limit);
}

void History::dropChunks() {
  // Chunks before the one the oldest row lies in hold no row any more.
  const int64_t keepFrom = count_ ? static_cast<int64_t>(index_[head_] >> kChunkBits) : chunkBase_ + static_cast<int64_t>(chunks_.size()) - 1;
  size_t drop = 0;
  while (chunkBase_ + static_cast<int64_t>(drop) < keepFrom && drop + 1 < chunks_.size()) {
    if (!spare_) {
      spare_ = chunks_[drop];
    } else {
      delete[] chunks_[drop];
    }
    drop++;
  }
  if (drop) {
    chunks_.erase(chunks_.begin(), chunks_.begin() + static_cast<std::ptrdiff_t>(drop));
    chunkBase_ += static_cast<int64_t>(drop);
  }
}

void History::growIndex(int64_t limit) {
  int64_t want = capacity_ ? capacity_ * 2 : 256;
  if (want > limit) want = limit;
  std::unique_ptr<uint64_t[]> grown(new uint64_t[static_cast<size_t>(want)]);
  for (int64_t i = 0; i < count_; i++) grown[i] = index_[at(i)];
  index_ = std::move(grown);
  capacity_ = want;
  head_ = 0;
}

void History::push(const GridRowRef& row, int64_t limit) {
  if (limit <= 0) {
    clear();
    return;
  }
  while (count_ >= limit) dropOldest();
  if (count_ == capacity_) growIndex(limit);
  const int32_t n = storedCells(row);
  const int32_t runs = countRuns(row, n);
  const bool wide = row.wide != nullptr;
  const uint32_t size = kHeader + static_cast<uint32_t>(n) * (wide ? 4u : 1u) + static_cast<uint32_t>(runs) * kRunBytes;
  uint8_t* p = room(size);
  const uint64_t place = static_cast<uint64_t>(chunkBase_ + static_cast<int64_t>(chunks_.size()) - 1) << kChunkBits |
                         static_cast<uint64_t>(p - chunks_.back());
  put16(p, static_cast<uint32_t>(n));
  put16(p + 2, static_cast<uint32_t>(runs));
  p[4] = static_cast<uint8_t>((wide ? kRecordWide : 0) | (row.wrapped ? kRecordWrapped : 0));
  p += kHeader;
  if (wide) {
    std::memcpy(p, row.wide, static_cast<size_t>(n) * 4);
    p += static_cast<size_t>(n) * 4;
  } else {
    std::memcpy(p, row.bytes, static_cast<size_t>(n));
    p += n;
  }
  for (int32_t c = 0; c < n && runs > 0; c++) {
    if (c > 0 && attrOf(row, c) == attrOf(row, c - 1)) continue;
    put16(p, static_cast<uint32_t>(c));
    putAttr(p + 2, attrOf(row, c));
    p += kRunBytes;
  }
  index_[at(count_)] = place;
  count_++;
}

void History::trim(int64_t limit) {
  if (limit <= 0) {
    clear();
    return;
  }
  while (count_ > limit) dropOldest();
  // A ring far larger than the new limit gives its memory back.
  if (capacity_ > 256 && capacity_ > 2 * limit) {
    const int64_t keep = count_ > 256 ? count_ : 256;
    std::unique_ptr<uint64_t[]> smaller(new uint64_t[static_cast<size_t>(keep)]);
    for (int64_t i = 0; i < count_; i++) smaller[i] = index_[at(i)];
    index_ = std::move(smaller);
    capacity_ = keep;
    head_ = 0;
  }
}

void History::clear() {
  for (uint8_t* c : chunks_) {
    if (!spare_) {
      spare_ = c;
    } else {
      delete[] c;
    }
  }
  chunks_.clear();
  chunkBase_ = 0;
  fill_ = kChunkSize;
  index_.reset();
  capacity_ = 0;
  head_ = 0;
  count_ = 0;
}

bool History::read(int64_t i, int32_t cols, RowCells* out) const {
  if (i < 0 || i >= count_) return false;
  const uint64_t place = index_[at(i)];
  const uint8_t* p = chunks_[static_cast<size_t>(static_cast<int64_t>(place >> kChunkBits) - chunkBase_)] +
                     (place & (kChunkSize - 1));
  int32_t n = static_cast<int32_t>(get16(p));
  const int32_t runs = static_cast<int32_t>(get16(p + 2));
  const bool wide = (p[4] & kRecordWide) != 0;
  out->wrapped = (p[4] & kRecordWrapped) != 0;
  p += kHeader;
  const int32_t shown = n < cols ? n : cols;   // a narrower grid shows the row's start
  if (wide) {
    std::memcpy(out->ch, p, static_cast<size_t>(shown) * 4);
    p += static_cast<size_t>(n) * 4;
  } else {
    for (int32_t c = 0; c < shown; c++) out->ch[c] = p[c];
    p += n;
  }
  for (int32_t c = shown; c < cols; c++) out->ch[c] = ' ';
  const CellAttr plain;
  for (int32_t c = 0; c < cols; c++) out->attr[c] = plain;
  for (int32_t r = 0; r < runs; r++) {
    const int32_t from = static_cast<int32_t>(get16(p));
    const int32_t to = r + 1 < runs ? static_cast<int32_t>(get16(p + kRunBytes)) : shown;
    const CellAttr a = getAttr(p + 2);
    for (int32_t c = from; c < to && c < shown; c++) out->attr[c] = a;
    p += kRunBytes;
  }
  out->used = shown;
  return true;
}

size_t History::bytesHeld() const {
  return (chunks_.size() + (spare_ ? 1 : 0)) * kChunkSize + static_cast<size_t>(capacity_) * sizeof(uint64_t);
}
