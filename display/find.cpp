// Find: the text as the screen shows it, searched line by line through the history and the grid in batches under the screen lock.
#include "display/find.h"

#include <vector>

#include "display/charset.h"
#include "display/screen.h"
#include "display/screen_model.h"
#include "display/selection.h"
#include "display/view.h"
#include "settings/globals.h"

namespace {

const ScreenModel& M = gScreenModel;

// Rows read under one hold of the screen lock: a few milliseconds.
constexpr int kBatchRows = 4000;

// Letters compared whatever their case: ASCII and Latin-1.
uint32_t fold(uint32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  return c;
}

uint32_t drawn(uint32_t ch) { return ch <= 0xFF ? gDrawnChars[ch] : ch; }

struct Pattern {
  std::vector<uint32_t> chars;
  std::vector<int32_t> next;   // the longest proper border of each prefix (Knuth-Morris-Pratt)
  bool fold = false;
};

void buildPattern(const std::string& text, bool matchCase, bool hex, Pattern* p) {
  static const char kHex[] = "0123456789abcdef";
  size_t at = 0;
  while (at < text.size()) {
    const uint32_t ch = NextUtf8(text.data(), text.size(), &at);
    if (!hex) {
      p->chars.push_back(matchCase ? ch : fold(ch));
      continue;
    }
    // The byte typing it would send, as the hex display shows one.
    const int b = OemByteOf(ch);
    const uint32_t byte = static_cast<uint32_t>(b < 0 ? '?' : b);
    if (!p->chars.empty()) p->chars.push_back(' ');
    p->chars.push_back(static_cast<uint8_t>(kHex[byte >> 4]));
    p->chars.push_back(static_cast<uint8_t>(kHex[byte & 15]));
  }
  p->fold = hex || !matchCase;
  const size_t m = p->chars.size();
  p->next.assign(m, 0);
  for (size_t i = 1, k = 0; i < m; i++) {
    while (k > 0 && p->chars[i] != p->chars[k]) k = static_cast<size_t>(p->next[k - 1]);
    if (p->chars[i] == p->chars[k]) k++;
    p->next[i] = static_cast<int32_t>(k);
  }
}

// A line of text as the screen shows it: the rows from first on that are
// joined by wraps, all of each but the last, which ends at its last shown cell.
struct Logical {
  int64_t first = 0, last = 0;   // lines as numbered from the start (ScreenModel::scrolled)
  std::vector<uint32_t> text;
};

RowCells gRow;   // under the screen lock

bool readLine(int64_t line, bool* wrapped) {
  if (!M.readRow(line - M.scrolled(), &gRow)) return false;
  *wrapped = gRow.wrapped;
  return true;
}

// The logical line that holds line; rows counts the rows read.
void readLogical(int64_t line, bool folded, Logical* lg, int* rows) {
  bool wrapped = false;
  while (readLine(line - 1, &wrapped) && wrapped) {
    line--;
    (*rows)++;
  }
  lg->first = line;
  lg->text.clear();
  for (;; line++) {
    if (!readLine(line, &wrapped)) break;
    (*rows)++;
    lg->last = line;
    const int32_t n = wrapped ? M.cols() : gRow.used;
    for (int32_t c = 0; c < n; c++) lg->text.push_back(folded ? fold(drawn(gRow.ch[c])) : drawn(gRow.ch[c]));
    if (!wrapped) break;
  }
}

// The match in text nearest to limit: for older the last that begins
// before it, for newer the first that begins after it. -1 when none.
int64_t nearest(const Pattern& p, const std::vector<uint32_t>& text, int64_t limit, bool older) {
  const size_t m = p.chars.size();
  if (text.size() < m) return -1;
  int64_t found = -1;
  size_t k = 0;
  for (size_t i = 0; i < text.size(); i++) {
    while (k > 0 && text[i] != p.chars[k]) k = static_cast<size_t>(p.next[k - 1]);
    if (text[i] == p.chars[k]) k++;
    if (k < m) continue;
    const int64_t start = static_cast<int64_t>(i + 1 - m);
    k = static_cast<size_t>(p.next[k - 1]);
    if (older) {
      if (start >= limit) break;
      found = start;
    } else if (start > limit) {
      return start;
    }
  }
  return found;
}

struct Place {
  int64_t line;
  int32_t col;
};

// Searches the logical lines from the one holding from.line on, towards
// older or newer output. In the first, a match must begin before (older)
// or after (newer) from; with a stop, the search ends with the logical line
// that begins there. On a match the cells are selected and shown, and the
// match is put in *m.
bool scan(WindowHandle w, const Pattern& p, Place from, bool older, const int64_t* stop, FindMatch* m) {
  Logical lg;
  bool first = true;
  int64_t line = from.line;
  for (;;) {
    ScopedLock hold(ScreenLock());
    for (int rows = 0; rows < kBatchRows;) {
      const int64_t oldest = M.scrolled() - M.historyRows();
      const int64_t newest = M.scrolled() + M.rows() - 1;
      if (line < oldest) {
        if (older) return false;   // gone past the oldest row (or it left the history meanwhile)
        line = oldest;
      }
      if (line > newest) return false;
      readLogical(line, p.fold, &lg, &rows);
      if (stop && (older ? lg.first < *stop : lg.first > *stop)) return false;
      int64_t limit = older ? INT64_MAX : -1;
      if (first) limit = (from.line - lg.first) * M.cols() + from.col;
      first = false;
      const int64_t at = nearest(p, lg.text, limit, older);
      if (at >= 0) {
        const int64_t end = at + static_cast<int64_t>(p.chars.size()) - 1;
        const int64_t base = lg.first - M.scrolled();
        *m = FindMatch{static_cast<int32_t>(base + at / M.cols()), static_cast<int32_t>(at % M.cols()),
                       static_cast<int32_t>(base + end / M.cols()), static_cast<int32_t>(end % M.cols())};
        SelectCells(m->firstRow, m->firstCol, m->lastRow, m->lastCol);
        DISPLAYShowRows(w, m->firstRow, m->lastRow);
        return true;
      }
      if (stop && lg.first == *stop) return false;
      line = older ? lg.first - 1 : lg.last + 1;
    }
  }
}

}  // namespace

FindResult FindInScreen(WindowHandle w, const std::string& text, bool matchCase, bool older, FindMatch* match) {
  Pattern p;
  buildPattern(text, matchCase, gfHexPrint.load() != 0, &p);
  if (p.chars.empty()) return kFindNone;
  FindMatch found{};
  FindMatch* m = match ? match : &found;
  Place from{};
  bool fromSelection = false;
  int64_t startLogical = 0;
  {
    ScopedLock hold(ScreenLock());
    int row = 0, col = 0;
    fromSelection = SelectionStart(&row, &col) != 0;
    if (fromSelection) {
      from = Place{M.scrolled() + row, col};
      Logical lg;
      int rows = 0;
      readLogical(from.line, false, &lg, &rows);
      startLogical = lg.first;
    } else if (older) {
      from = Place{M.scrolled() + M.rows() - 1, M.cols()};   // after the last cell
    } else {
      from = Place{M.scrolled() - M.historyRows(), -1};      // before the first
    }
  }
  if (scan(w, p, from, older, nullptr, m)) return kFindFound;
  if (!fromSelection) return kFindNotFound;
  // On from the other end, back to the line it began in.
  Place end{};
  {
    ScopedLock hold(ScreenLock());
    end = older ? Place{M.scrolled() + M.rows() - 1, M.cols()} : Place{M.scrolled() - M.historyRows(), -1};
  }
  return scan(w, p, end, older, &startLogical, m) ? kFindWrapped : kFindNotFound;
}
