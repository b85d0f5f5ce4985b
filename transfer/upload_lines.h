// The line reader of the paced upload: one file of the include stack read a
// line at a time, filtered as the line modes of the file send filter, and
// the paths that "#include" and "#require" name.
#pragma once
#include <cstdint>

#include "platform/types.h"
#include "settings/globals.h"

constexpr int kUploadLineMax = 4096;
constexpr uint32_t kUploadBlock = 4096;

// One file being uploaded.
struct UploadLevel {
  PlatHandle h;
  char path[kPathMax];
  int32_t line;          // lines of this file taken so far
  uint8_t ahead[kUploadBlock];
  uint32_t pos;
  uint32_t len;
  bool eof;
  bool error;
  bool inComment;        // inside a "/*" block comment
  bool commentStar;
  int64_t taken;         // bytes taken from the file since the mark
  int64_t lineStart;     // the current line's first byte, from the mark
};

enum class LineRead { Line, End, Error, TooLong, Yield };

// Resets the read-ahead: the file is read on from where it stands.
void UploadLevelMark(UploadLevel* l);
// Reads the next line (up to and including the delimiter, "/*" comments left
// out when gfSkipBigComment is set) into buf; *n is its length. Reads at most
// a few blocks: Yield means call again for the rest (buf and *n are kept).
LineRead UploadReadLine(UploadLevel* l, uint8_t* buf, int32_t* n);
// Puts the file back to the beginning of the line just read.
void UploadLevelRewind(UploadLevel* l);

// The comment filter of the line mode without comments, with FORTH's own
// line comment: "( ", "//" and "\ " (or a '\' before the line end) each
// begin a comment that runs to the end of the line; the delimiter stays
// when something was kept before the comment. Filters in place; returns the
// new length.
int32_t UploadFilterLine(uint8_t* buf, int32_t n, uint8_t delimiter);
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
