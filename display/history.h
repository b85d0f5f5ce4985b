// The history: rows that left the top of the grid, kept compactly, oldest first, up to a limit of rows.
//
// A row is stored as one record: its cells up to the last one that shows
// something (the blanks at its end are not stored), as bytes while every
// character of the row is below 0x100 and as 32-bit characters otherwise,
// and its attributes as runs (none at all for a row in the default ones).
// Records lie one after another in chunks of 64 KB; an index of their places
// is a ring. Rows beyond the limit go from the oldest end, and a chunk goes
// with its last row: a full history takes no memory allocation for a new row
// once its oldest rows have made room. Not thread-safe: the screen model
// holds it under the screen lock.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "display/cells.h"

// A grid row as the model stores it, for the history to take.
struct GridRowRef {
  const uint8_t* bytes;      // the characters while the row has no wide one
  const uint32_t* wide;      // the characters, when not null
  const CellAttr* attrs;     // the attributes of each cell, when not null
  CellAttr uniform;          // every cell's attributes, when attrs is null
  int32_t cols;
  int32_t used;              // cells at most worth storing (the rest are blank)
  bool wrapped;
};

class History {
 public:
  History() = default;
  ~History();
  History(const History&) = delete;
  History& operator=(const History&) = delete;

  int64_t size() const { return count_; }
  // Appends a row as the newest; when the history holds limit rows (or
  // more), the oldest go first. A limit of 0 keeps nothing.
  void push(const GridRowRef& row, int64_t limit);
  // The same for the common row, n bytes (its blanks at the end already
  // left out) in the default attributes: on the path of every line feed,
  // so it costs no call while the chunk has room. The bytes may be read
  // up to 15 beyond n.
  void pushBytes(const uint8_t* bytes, int32_t n, bool wrapped, int64_t limit) {
    if (limit <= 0 || count_ > limit || (count_ < limit && count_ == capacity_) || chunks_.empty() ||
        fill_ + kHeader + static_cast<uint32_t>(n) + 16 > kChunkSize) {
      pushBytesSlow(bytes, n, wrapped, limit);
      return;
    }
    if (count_ == limit) {
      head_ = head_ + 1 == capacity_ ? 0 : head_ + 1;
      count_--;
      if (count_ > 0 && static_cast<int64_t>(index_[head_] >> kChunkBits) != chunkBase_) dropChunks();
    }
    uint8_t* p = chunks_.back() + fill_;
    index_[at(count_)] = static_cast<uint64_t>(chunkBase_ + static_cast<int64_t>(chunks_.size()) - 1) << kChunkBits | fill_;
    p[0] = static_cast<uint8_t>(n);
    p[1] = static_cast<uint8_t>(n >> 8);
    p[2] = 0;
    p[3] = 0;
    p[4] = wrapped ? kRecordWrapped : 0;
    for (int32_t k = 0; k < n; k += 16) std::memcpy(p + kHeader + k, bytes + k, 16);
    fill_ += kHeader + static_cast<uint32_t>(n);
    count_++;
  }
  // Drops the oldest rows until at most limit remain.
  void trim(int64_t limit);
  void clear();
  // Row i (0 the oldest) into out, cols cells wide. False for a row it does not hold.
  bool read(int64_t i, int32_t cols, RowCells* out) const;
  // Memory the history holds (chunks and index).
  size_t bytesHeld() const;

 private:
  static constexpr int kChunkBits = 16;
  static constexpr uint32_t kChunkSize = 1u << kChunkBits;   // 64 KB
  // A record: a header of 5 bytes (cells stored, attribute runs, flags),
  // the characters (a byte or 4 bytes each), then each run as its first
  // column (2 bytes) and its attributes (9 bytes).
  static constexpr uint32_t kHeader = 5;
  static constexpr uint32_t kRunBytes = 11;
  static constexpr uint8_t kRecordWide = 1;
  static constexpr uint8_t kRecordWrapped = 2;

  // The ring position of row i (0 the oldest), without a division: this
  // is on the path of every line feed.
  int64_t at(int64_t i) const {
    const int64_t p = head_ + i;
    return p >= capacity_ ? p - capacity_ : p;
  }
  uint8_t* room(uint32_t bytes);
  void pushBytesSlow(const uint8_t* bytes, int32_t n, bool wrapped, int64_t limit);
  void dropChunks();
  void dropOldest();
  void growIndex(int64_t limit);

  std::vector<uint8_t*> chunks_;   // chunks_[0] is chunk number chunkBase_
  int64_t chunkBase_ = 0;
  uint32_t fill_ = kChunkSize;     // bytes used in the newest chunk
  uint8_t* spare_ = nullptr;       // a chunk kept for reuse
  std::unique_ptr<uint64_t[]> index_;   // ring: chunk number << 16 | offset
  int64_t capacity_ = 0;
  int64_t head_ = 0;               // ring position of the oldest row
  int64_t count_ = 0;
};
