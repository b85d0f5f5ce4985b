// The line reader of the paced upload: one file of the include stack read a
// line at a time, whatever its line ends, Shift+F7's FORTH comments, and the
// paths that "#include" and "#require" name.
#pragma once
#include <cstdint>

#include "platform/file.h"
#include "platform/types.h"
#include "settings/globals.h"

// The longest line, without its end: with Enter's bytes behind it, it still
// fits the transmit buffer whole.
constexpr int kUploadLineMax = 4094;
constexpr uint32_t kUploadBlock = 4096;

// One file being uploaded.
struct UploadLevel {
  PlatHandle h;
  char path[kPathMax];
  PlatFileStamp stamp;   // the file as it was opened: a change stops the upload
  int32_t line;          // lines of this file taken so far
  int32_t done;          // the last line the device answered "done" (0: none)
  uint8_t ahead[kUploadBlock];
  uint32_t pos;
  uint32_t len;
  bool eof;
  bool error;
  bool afterCr;          // the last byte taken was a CR: an LF behind it ends no line
  bool inComment;        // inside a "/*" block comment
  bool commentStar;
  bool inParen;          // Shift+F7: inside a "(" comment that goes on to a later line
};

enum class LineRead { Line, End, Error, TooLong, Yield };

// Makes l a fresh level on h, read from the file's start, with no line taken.
void UploadLevelOpen(UploadLevel* l, PlatHandle h, const char* path);
// Reads the next line into buf without its end: a line ends at CR, LF or
// CR LF, and the last one at the file's end whether it has one or not.
// "/*" comments are left out when gfSkipBigComment is set. *n is the
// line's length. Reads at most a few blocks: Yield means call again for the
// rest (buf and *n are kept). buf holds kUploadLineMax bytes. TooLong: the
// line has more than kUploadLineMax bytes (the bytes beyond are unread).
LineRead UploadReadLine(UploadLevel* l, uint8_t* buf, int32_t* n);
// Reads on until lines lines are taken, their comments passed through
// Shift+F7's filter when filter is set (so a "(" comment open at the end
// is open again). 1: done; 0: the file ended first; -1: a read error.
int UploadSkipLines(UploadLevel* l, int32_t lines, bool filter);
// Whether anything is left to read.
bool UploadLevelHasMore(UploadLevel* l);

// Shift+F7's comments, as FORTH has them: "\" and "//" standing alone as a
// word end the line's code; "(" standing alone begins a comment that ends at
// the next ")", on this line or a later one (*inParen carries it over).
// Neither counts inside a string that ."  s"  c"  s\"  abort"  or  .(
// opens (as words, in any case; the string ends at the next '"', or ')'
// for ".(", or at the line's end). Filters the line (without its end) in
// place; returns the new length.
int32_t UploadFilterLine(uint8_t* buf, int32_t n, bool* inParen);
// Nothing for the device in it: only blanks, tabs and line ends.
bool UploadLineIsEmpty(const uint8_t* buf, int32_t n);
// "#include NAME" or "#require NAME" as the line's first word: returns 1 or
// 2 and writes NAME (quotes and surrounding blanks left out) into name.
int UploadDirective(const uint8_t* buf, int32_t n, char* name, int32_t size);
// The path of name as seen from the file at base (absolute names as they
// are), "." and ".." folded away. Returns 0 when it does not fit.
int UploadResolvePath(const char* base, const char* name, char* out, int32_t size);
// The bare file name of a path.
const char* UploadBaseName(const char* path);
