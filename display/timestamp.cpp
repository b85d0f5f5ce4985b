// Time stamps of received lines: the stamp text and the line splitting the
// screen and the record file share, so both stamp the same lines.
#include "display/timestamp.h"

#include <cstring>

void FormatTimeStamp(int32_t msOfDay, char (&out)[kStampLen + 1]) {
  int32_t v = msOfDay;
  const int32_t ms = v % 1000;
  v /= 1000;
  const int32_t sec = v % 60;
  v /= 60;
  const int32_t min = v % 60;
  const int32_t hour = (v / 60) % 24;
  const int32_t fields[3] = {hour, min, sec};
  char* p = out;
  for (int i = 0; i < 3; i++) {
    *p++ = static_cast<char>('0' + fields[i] / 10);
    *p++ = static_cast<char>('0' + fields[i] % 10);
    *p++ = i < 2 ? ':' : '.';
  }
  *p++ = static_cast<char>('0' + ms / 100);
  *p++ = static_cast<char>('0' + ms / 10 % 10);
  *p++ = static_cast<char>('0' + ms % 10);
  *p++ = ' ';
  *p = 0;
}

int32_t NextLineRun(LineStarts& s, const uint8_t* data, int32_t len, bool lfEnds, bool* stampFirst) {
  *stampFirst = false;
  if (s.atStart) {
    const uint8_t b = data[0];
    if (s.end != 0 && (b == 0x0D || b == 0x0A) && b != s.end) {
      s.end = 0;   // the second half of a CR LF or LF CR
      return 1;
    }
    *stampFirst = true;
    s.atStart = false;
  }
  // memchr finds the line end many bytes at a time: a stamped stream costs
  // little more than one without.
  const size_t n = static_cast<size_t>(len);
  const void* cr = std::memchr(data, 0x0D, n);
  const size_t crAt = cr ? static_cast<size_t>(static_cast<const uint8_t*>(cr) - data) : n;
  const void* lf = lfEnds ? std::memchr(data, 0x0A, crAt) : nullptr;
  const size_t at = lf ? static_cast<size_t>(static_cast<const uint8_t*>(lf) - data) : crAt;
  if (at == n) return len;
  s.atStart = true;
  s.end = data[at];
  return static_cast<int32_t>(at + 1);
}
