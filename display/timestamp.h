// Received lines and their time stamps: where a line of received bytes
// begins, and the stamp "HH:MM:SS.mmm " put before it on the screen and in
// the record file.
#pragma once
#include <cstdint>

constexpr int kStampLen = 13;   // "HH:MM:SS.mmm "

// The stamp text of a local time of day (milliseconds since midnight), with
// its terminating zero.
void FormatTimeStamp(int32_t msOfDay, char (&out)[kStampLen + 1]);

// Where one stream of received bytes stands between lines. A line ends at a
// CR, and at an LF too where lfEnds; the other byte of a CR LF or LF CR pair
// right behind it still belongs to that end. The next byte begins a line.
struct LineStarts {
  bool atStart = true;   // the next byte begins a line (unless it ends a pair)
  uint8_t end = 0;       // the byte that ended the last line, 0 once paired
};

// Takes the next run of data (len > 0) that goes out as one piece: the
// bytes up to and including the next line end, or the pair byte alone.
// *stampFirst tells that a line begins with the run, so a stamp goes before.
int32_t NextLineRun(LineStarts& s, const uint8_t* data, int32_t len, bool lfEnds, bool* stampFirst);
