// VT100 emulation's input: the device's bytes in the character set they are in, to libvterm as UTF-8, with the sequences libvterm 0.1.4 mishandles taken care of on the way.
#include <vterm.h>

#include <algorithm>
#include <cstring>

#include "display/cells.h"
#include "display/charset.h"
#include "display/vt_internal.h"
#include "settings/options.h"

namespace {

// Bytes to libvterm as they are (UTF-8 by now).
void input(const uint8_t* data, int32_t len) {
  vterm_input_write(gVt, reinterpret_cast<const char*>(data), static_cast<size_t>(len));
}

// The device's escape sequences, followed across blocks as libvterm's
// parser reads them, for what libvterm 0.1.4 does not take as a VT100 does
// or cannot take at all:
//  - DECCOLM (ESC [ ? 3 h or l, 132 or 80 columns): a VT100 erases its
//    screen, whatever width it then keeps; libvterm takes no notice, so the
//    erase is given to it after the sequence.
//  - REP (ESC [ n b, the preceding character n times): libvterm loops for
//    ever when nothing has been printed yet (or the last character had no
//    width), which would hold the screen lock and freeze the window. The
//    sequence is ended with a final byte libvterm ignores and the repeat is
//    made here, from the character left of the cursor.
//  - A CSI sequence of more than 16 arguments: libvterm writes the 17th
//    beyond its array. The separators after the 15th are dropped.
//  - Arguments of more than 5 digits (leading zeros aside): libvterm's
//    sums with them overflow. The digits after the 5th are dropped.
//  - A restored cursor (ESC 8, CSI ? 1048 l or 1049 l) saved before the
//    screen was made smaller: libvterm puts it back outside the screen and
//    writes the next characters there. An ANSI mode libvterm does not know
//    is reset after it, which does nothing but bring the cursor inside.
//  - UTF-8 in plain text: a character whose bytes a control, an escape
//    sequence or the end of a write cut short leaves libvterm's decoder
//    inside it, and the next run of text then overflows libvterm's array of
//    its characters; a C1 control (U+0080..U+009F) is a character of width
//    -1 to it, which moves cells outside its screen. A character's bytes
//    are given in one write once all are there (held across blocks); one
//    cut short is dropped, and so is a C1 control.
//  - The string terminator ESC \ of an OSC or DCS string: libvterm reads
//    before the start of its input when the ESC came in an earlier write,
//    or a control byte came between the two. The ESC is held back until
//    its next byte comes, and control bytes between them are dropped.
struct Seq {
  enum State { Ground, Esc, Csi, Str, StrEsc } state = Ground;
  bool args = false;        // past the leader
  int leaders = 0;          // leader bytes (0x3C..0x3F); '?' alone is DEC private
  bool question = false;
  bool intermediate = false;
  int32_t first = -1;       // the first argument (-1 missing), kept below a bound
  int32_t argIndex = 0;
  bool three = false;       // an argument is 3
  bool restore = false;     // an argument is 1048 or 1049 (DEC private: the saved cursor)
  int32_t current = -1;
  int digits = 0;           // of the argument being read
};
Seq gSeq;
uint8_t gHeld = 0;          // a string's ESC, not yet given to libvterm
// A UTF-8 character begun in plain text: its bytes so far, and how many
// more it needs. libvterm's decoder is never left inside a character at
// the end of a run of text (see above).
uint8_t gPart[6];
int gPartLen = 0;
int gNeed = 0;

void endArg() {
  if (gSeq.current == 3) gSeq.three = true;
  if (gSeq.current == 1048 || gSeq.current == 1049) gSeq.restore = true;
  if (gSeq.argIndex == 0) gSeq.first = gSeq.current;
  gSeq.argIndex++;
  gSeq.current = -1;
  gSeq.digits = 0;
}

// UTF-8 of u into out (4 bytes at most); returns the length.
size_t utf8(uint32_t u, char* out) {
  if (u < 0x80) {
    out[0] = static_cast<char>(u);
    return 1;
  }
  if (u < 0x800) {
    out[0] = static_cast<char>(0xC0 | (u >> 6));
    out[1] = static_cast<char>(0x80 | (u & 0x3F));
    return 2;
  }
  if (u < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (u >> 12));
    out[1] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (u & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (u >> 18));
  out[1] = static_cast<char>(0x80 | ((u >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (u & 0x3F));
  return 4;
}

void repeatLeft(int32_t count) {
  VTermPos pos;
  vterm_state_get_cursorpos(vterm_obtain_state(gVt), &pos);
  VTermScreenCell cell;
  if (pos.col <= 0 || !vterm_screen_get_cell(gScreen, VTermPos{pos.row, pos.col - 1}, &cell)) return;
  const uint32_t u = cell.chars[0];
  if (u < 0x20 || u == 0x7F || u > 0x10FFFF || (u >= 0x80 && u < 0xA0)) return;
  char one[4];
  const size_t n = utf8(u, one);
  char buf[4 * kMaxScreenCols];
  size_t len = 0;
  for (int32_t k = 0; k < count && k < gCols; k++) {
    std::memcpy(buf + len, one, n);
    len += n;
  }
  vterm_input_write(gVt, buf, len);
}

}  // namespace

void VtCursorInside() {
  VTermPos pos;
  vterm_state_get_cursorpos(vterm_obtain_state(gVt), &pos);
  int rows = 0, cols = 0;
  vterm_get_size(gVt, &rows, &cols);
  if (pos.row >= 0 && pos.row < rows && pos.col >= 0 && pos.col < cols) return;
  static const char kUnknownModeReset[] = "\x1b[11l";
  vterm_input_write(gVt, kUnknownModeReset, sizeof kUnknownModeReset - 1);
}

namespace {

// Device bytes to libvterm, a held ESC in front of them in the same write.
void give(const uint8_t* data, int32_t len) {
  if (len <= 0) return;
  if (gHeld) {
    const uint8_t pair[2] = {gHeld, data[0]};
    input(pair, 2);
    gHeld = 0;
    data++;
    len--;
  }
  input(data, len);
}

// A byte in a CSI sequence: more of it, its final byte, or one to drop.
enum class CsiStep { More, Final, Drop };
constexpr int32_t kMaxSeparators = 15;   // libvterm keeps 16 arguments
// libvterm adds an argument to the cursor's column in an int, and reads it
// into a long without a bound: digits beyond these are dropped.
constexpr int kMaxDigits = 5;

CsiStep csiByte(uint8_t b) {
  Seq& q = gSeq;
  if (!q.args && b >= 0x3C && b <= 0x3F) {
    q.leaders++;
    q.question = q.leaders == 1 && b == '?';
    return CsiStep::More;
  }
  q.args = true;
  if (!q.intermediate && b >= '0' && b <= '9') {
    if (q.current <= 0 && b == '0') {   // leading zeros count for nothing
      q.current = 0;
      return CsiStep::More;
    }
    if (q.digits >= kMaxDigits) return CsiStep::Drop;
    q.digits++;
    q.current = (q.current < 0 ? 0 : q.current) * 10 + (b - '0');
    return CsiStep::More;
  }
  if (!q.intermediate && (b == ';' || b == ':')) {
    if (q.argIndex >= kMaxSeparators) return CsiStep::Drop;
    endArg();
    return CsiStep::More;
  }
  if (!q.intermediate) endArg();
  if (b >= 0x20 && b <= 0x2F) {
    q.intermediate = true;
    return CsiStep::More;
  }
  q.state = Seq::Ground;
  return b >= 0x40 && b <= 0x7E && !q.intermediate ? CsiStep::Final : CsiStep::More;
}

// The next byte from i on that the reading of plain text stops at: ESC,
// or the first byte of a UTF-8 character of two bytes or more.
int32_t nextSpecial(const uint8_t* data, int32_t i, int32_t len) {
  while (i < len && data[i] != 0x1B && (data[i] < 0xC0 || data[i] > 0xFD)) i++;
  return i;
}

// A character's bytes, all there: to libvterm in one write, unless it is a
// C1 control (see above).
void givePart() {
  const bool c1 = gPartLen == 2 && gPart[0] == 0xC2 && gPart[1] < 0xA0;
  if (!c1) input(gPart, gPartLen);
  gPartLen = 0;
}

// The device's bytes, in UTF-8, through the reading above to libvterm.
void feedUtf8(const uint8_t* data, int32_t len) {
  static const char kErase[] = "\x1b[r\x1b[2J\x1b[H";
  Seq& q = gSeq;
  int32_t from = 0;
  for (int32_t i = 0; i < len; i++) {
    if (q.state == Seq::Ground) {
      if (gNeed > 0) {   // a character's bytes so far wait for the rest (everything before them was given)
        const uint8_t c = data[i];
        if (c >= 0x80 && c <= 0xBF) {
          gPart[gPartLen++] = c;
          from = i + 1;
          if (--gNeed == 0) givePart();
          continue;
        }
        gNeed = 0;   // cut short: its bytes are dropped
        gPartLen = 0;
      }
      i = nextSpecial(data, i, len);
      if (i == len) break;
      const uint8_t lead = data[i];
      if (lead != 0x1B) {   // a character of two bytes or more begins
        give(data + from, i - from);
        from = i + 1;
        gPart[0] = lead;
        gPartLen = 1;
        gNeed = lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : lead < 0xF8 ? 3 : lead < 0xFC ? 4 : 5;
        continue;
      }
    }
    const uint8_t b = data[i];
    if (q.state == Seq::Str) {
      if (b == 0x1B) {
        give(data + from, i - from);   // the ESC waits for its next byte
        from = i + 1;
        gHeld = 0x1B;
        q.state = Seq::StrEsc;
      } else if (b == 0x07 || b == 0x18 || b == 0x1A) {
        q.state = Seq::Ground;
      }
      continue;
    }
    if (q.state == Seq::StrEsc) {
      if (b == 0x18 || b == 0x1A) {
        q.state = Seq::Ground;
        continue;
      }
      if ((b < 0x20 && b != 0x1B) || b == 0x7F) {   // dropped
        give(data + from, i - from);
        from = i + 1;
        continue;
      }
      if (b == '\\') {
        q.state = Seq::Ground;
        continue;
      }
      q = Seq{};   // the string is left: the byte is read after a plain ESC
      q.state = Seq::Esc;
      if (b == 0x1B) continue;
    }
    if (b == 0x1B) {
      q = Seq{};
      q.state = Seq::Esc;
      continue;
    }
    if (b == 0x18 || b == 0x1A) {
      q.state = Seq::Ground;
      continue;
    }
    if (b < 0x20 || b == 0x7F) continue;   // carried out (or ignored) inside the sequence
    if (q.state == Seq::Esc) {
      if (b == '[') {
        q.state = Seq::Csi;
      } else if (b == ']' || b == 'P') {
        q.state = Seq::Str;
      } else if (b >= 0x30 && b < 0x7F) {
        q.state = Seq::Ground;   // bytes above these leave libvterm waiting for one
        if (b == '8') {   // DECRC
          give(data + from, i + 1 - from);
          from = i + 1;
          VtCursorInside();
        }
      }
      continue;
    }
    const CsiStep step = csiByte(b);
    if (step == CsiStep::Drop) {
      give(data + from, i - from);
      from = i + 1;
      continue;
    }
    if (step == CsiStep::More) continue;
    if (b == 'b' && q.leaders == 0) {
      give(data + from, i - from);
      vterm_input_write(gVt, "z", 1);
      from = i + 1;
      repeatLeft(q.first <= 0 ? 1 : q.first);
    } else if ((b == 'h' || b == 'l') && q.question && q.leaders == 1 && (q.three || q.restore)) {
      give(data + from, i + 1 - from);
      from = i + 1;
      if (q.three) vterm_input_write(gVt, kErase, sizeof kErase - 1);
      if (q.restore) VtCursorInside();
    }
  }
  if ((gHeld || gNeed) && from == len) return;   // nothing after the held bytes yet
  give(data + from, len - from);
}

}  // namespace

void VtFeedDevice(const uint8_t* data, int32_t len) {
  const int32_t set = gVtCharset.load(std::memory_order_relaxed);
  if (set == kVtCharsetUtf8) {
    feedUtf8(data, len);
    return;
  }
  // latin1 and cp437: each byte as its character in UTF-8 (C1 controls
  // dropped, see above), read then as UTF-8 is, in steps that keep the
  // buffer small.
  uint8_t buf[3 * 512];
  while (len > 0) {
    const int32_t step = std::min(len, static_cast<int32_t>(512));
    int32_t n = 0;
    for (int32_t i = 0; i < step; i++) {
      const uint8_t b = data[i];
      const uint32_t u = b < 0x80 ? b : set == kVtCharsetCp437 ? kOemChars[b] : b;
      if (u >= 0x80 && u < 0xA0) continue;
      if (u < 0x80) {
        buf[n++] = static_cast<uint8_t>(u);
      } else if (u < 0x800) {
        buf[n++] = static_cast<uint8_t>(0xC0 | (u >> 6));
        buf[n++] = static_cast<uint8_t>(0x80 | (u & 0x3F));
      } else {
        buf[n++] = static_cast<uint8_t>(0xE0 | (u >> 12));
        buf[n++] = static_cast<uint8_t>(0x80 | ((u >> 6) & 0x3F));
        buf[n++] = static_cast<uint8_t>(0x80 | (u & 0x3F));
      }
    }
    feedUtf8(buf, n);
    data += step;
    len -= step;
  }
}

void VtEndSequence() {
  gNeed = 0;   // a character's bytes so far are dropped
  gPartLen = 0;
  if (gSeq.state == Seq::Ground && !gHeld) return;
  vterm_input_write(gVt, "\x18", 1);
  gSeq = Seq{};
  gHeld = 0;
}


void VtFeedReset() {
  gSeq = Seq{};
  gHeld = 0;
  gNeed = 0;
  gPartLen = 0;
}
