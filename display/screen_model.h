// The screen model: the grid of cells (its dimensions, each cell's character and attributes), the cursor, and the history of rows that left the grid's top.
//
// One object of the core, guarded by the screen lock (ScreenLock(), held by
// every caller of a member). The writing rules of raw and hex display
// (display/screen.cpp) lay bytes into it with the pen's attributes; the
// frame, painting, the selection, find and save read it row by row through
// readRow, in one numbering: grid rows 0 .. rows() - 1 top to bottom, and
// history rows -1 (the newest, which left the grid last) down to
// -historyRows() (the oldest kept).
//
// The grid is a ring of rows: a scroll makes the top row the new bottom
// one, after handing it to the history, so a line feed at the bottom costs
// one row, never a move of the whole grid. A row keeps its characters as
// bytes, and as 32-bit characters only once one above 0xFF is written into
// it; its attributes are one set for the whole row until a cell is given
// others. Raw and hex display write bytes in the default attributes, which
// the fast path of putBytes stores with a single copy.
#pragma once
#include <cstdint>
#include <cstring>
#include <vector>

#include "display/cells.h"
#include "display/history.h"

class ScreenModel {
 public:
  ScreenModel(int32_t rows, int32_t cols);

  int32_t rows() const { return rows_; }
  int32_t cols() const { return cols_; }

  // The cursor cell: row 0 .. rows() - 1, column 0 .. cols() - 1 (GnRow,
  // GnColumn name them).
  int32_t cursorRow = 0;
  int32_t cursorCol = 0;

  // ---- writing

  // The attributes the next characters are written in.
  void setPen(const CellAttr& a) {
    pen_ = a;
    penPlain_ = a.isDefault();
  }
  const CellAttr& pen() const { return pen_; }
  // Stores n bytes from column col of grid row row on, in the pen's attributes.
  void putBytes(int32_t row, int32_t col, const uint8_t* src, int32_t n) {
    const int32_t p = phys(row);
    RowState& s = state_[p];
    if (s.plain & penPlain_) {
      std::memcpy(&bytes_[static_cast<size_t>(p) * cols_ + col], src, static_cast<size_t>(n));
    } else {
      putSlow(p, col, src, n);
    }
    if (col + n > s.used) s.used = col + n;
  }
  void putByte(int32_t row, int32_t col, uint8_t b) { putBytes(row, col, &b, 1); }
  // Stores one character of any value, in the pen's attributes.
  void putChar(int32_t row, int32_t col, uint32_t ch);
  // Gives n cells from (row, col) on the attributes a, their characters kept.
  void setAttrs(int32_t row, int32_t col, int32_t n, const CellAttr& a);
  // Whether the text of grid row row runs on into the next row.
  void setWrapped(int32_t row, bool wrapped) { state_[phys(row)].wrapped = wrapped; }
  // The grid scrolls up a row: the top row goes into the history (which
  // keeps at most historyLimit rows; 0 keeps none), a blank row comes at
  // the bottom.
  void scrollUp(int64_t historyLimit) {
    const int32_t p = top_;
    const RowState& s = state_[p];
    if (historyLimit > 0 && s.plain) {
      // The common row, bytes in the default attributes, without a call.
      const uint8_t* bytes = &bytes_[static_cast<size_t>(p) * cols_];
      int32_t n = s.used < cols_ ? s.used : cols_;
      while (n > 0 && bytes[n - 1] == ' ') n--;
      history_.pushBytes(bytes, n, s.wrapped, historyLimit);
    } else if (historyLimit > 0 || history_.size() > 0) {
      pushTopRow(historyLimit);
    }
    blankUsed(p);
    state_[p] = RowState{};
    top_ = top_ + 1 == rows_ ? 0 : top_ + 1;
    scrolled_++;
  }
  // ---- the emulator's writing (display/vt_screen.cpp)

  // Stores n cells from (row, col) on, each with its own character and
  // attributes: a row written whole in one set of attributes keeps them as
  // one set.
  void putCells(int32_t row, int32_t col, const uint32_t* ch, const CellAttr* attr, int32_t n);
  // Copies n cells of grid row src from column srcCol to grid row dst at
  // column dstCol (the rows may be the same; the cells may overlap).
  void copyCells(int32_t dst, int32_t dstCol, int32_t src, int32_t srcCol, int32_t n);
  // The grid scrolls up n rows in its ring: the top rows are dropped, not
  // kept (the emulator has handed them to the history already, or they
  // were never a line of output), blank rows come at the bottom.
  void dropTopRows(int32_t n);
  // A row that left the emulator's screen goes into the history as the
  // newest: n cells (the rest of the grid's width blank).
  void pushHistoryRow(const uint32_t* ch, const CellAttr* attr, int32_t n, bool wrapped, int64_t historyLimit);
  // Blanks every row of the grid; the history stays.
  void clearGrid();
  void clearHistory() { history_.clear(); }
  void trimHistory(int64_t limit) { history_.trim(limit); }

  // ---- reading

  int64_t historyRows() const { return history_.size(); }
  // Rows that have left the grid's top since the start: grid row r is line
  // scrolled() + r of all the lines the screen has shown.
  int64_t scrolled() const { return scrolled_; }
  // Row row (grid or history, see above) into out; false for a row neither holds.
  bool readRow(int64_t row, RowCells* out) const;
  // One cell of the grid.
  uint32_t charAt(int32_t row, int32_t col) const {
    const int32_t p = phys(row);
    const size_t i = static_cast<size_t>(p) * cols_ + col;
    return state_[p].wide ? wide_[i] : bytes_[i];
  }
  CellAttr attrAt(int32_t row, int32_t col) const {
    const int32_t p = phys(row);
    return state_[p].mixed ? attrs_[static_cast<size_t>(p) * cols_ + col] : state_[p].uniform;
  }
  // Memory the history holds.
  size_t historyBytes() const { return history_.bytesHeld(); }

 private:
  struct RowState {
    CellAttr uniform;       // every cell's attributes while not mixed
    int32_t used = 0;       // cells from the left that have been written
    bool wide = false;      // the characters are in wide_, not bytes_
    bool mixed = false;     // the attributes are in attrs_, cell by cell
    bool wrapped = false;
    bool plain = true;      // bytes in the default attributes: neither wide nor mixed, uniform the default
  };

  int32_t phys(int32_t row) const {
    const int32_t p = row + top_;
    return p >= rows_ ? p - rows_ : p;
  }
  // Blanks the cells of ring row p that have been written: the cells from
  // used on were never written since the row was last blanked, so a short
  // line (16 cells or fewer) costs one store of 16 blanks, not a whole row.
  void blankUsed(int32_t p) {
    static const uint8_t kBlanks[16] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    uint8_t* row = &bytes_[static_cast<size_t>(p) * cols_];
    if (state_[p].used <= 16 && cols_ >= 16) {
      std::memcpy(row, kBlanks, 16);
    } else {
      std::memset(row, ' ', static_cast<size_t>(cols_));
    }
  }
  void putSlow(int32_t p, int32_t col, const uint8_t* src, int32_t n);
  void pushTopRow(int64_t historyLimit);
  void makeWide(int32_t p);
  void makeMixed(int32_t p);
  void blankRow(int32_t p);

  int32_t rows_, cols_;
  int32_t top_ = 0;         // the ring position of grid row 0
  int64_t scrolled_ = 0;
  CellAttr pen_;
  bool penPlain_ = true;    // the pen is the default attributes
  std::vector<uint8_t> bytes_;   // and 16 to spare: the history copies a row in steps of 16
  std::vector<uint32_t> wide_;
  std::vector<CellAttr> attrs_;
  std::vector<RowState> state_;
  History history_;
};

// The screen of the program.
extern ScreenModel gScreenModel;
