// The line reader of the paced upload (see upload_lines.h).
#include "transfer/upload_lines.h"

#include <cstdio>
#include <cstring>

#include "platform/file.h"

namespace {

// Blocks one call may read: a long block comment is carried on by the next
// call, so no hold of the send lock grows with the file.
constexpr int kBlocksPerCall = 4;

bool isSeparator(char c) { return c == '/' || platIsPathSeparator(c); }

bool isAbsolute(const char* p) {
  if (isSeparator(p[0])) return true;
  const char d = static_cast<char>(p[0] | 0x20);
  return d >= 'a' && d <= 'z' && p[1] == ':' && isSeparator(p[2]);
}

// Makes sure a byte is ready; false at the end, on an error, or when the
// call's reads are used up (*yield).
bool fill(UploadLevel* l, int* readsLeft, bool* yield) {
  if (l->pos < l->len) return true;
  if (l->eof || l->error) return false;
  if (*readsLeft <= 0) {
    *yield = true;
    return false;
  }
  (*readsLeft)--;
  uint32_t got = 0;
  l->pos = l->len = 0;
  if (!platFileRead(l->h, l->ahead, kUploadBlock, &got)) {
    l->error = true;
    return false;
  }
  if (got == 0) {
    l->eof = true;
    return false;
  }
  l->len = got;
  return true;
}

uint8_t take(UploadLevel* l) { return l->ahead[l->pos++]; }

bool isBlank(uint8_t c) { return c == ' ' || c == '\t'; }

// The word buf[0, len) is text, compared without regard to case.
bool isWord(const uint8_t* buf, int32_t len, const char* text) {
  int32_t i = 0;
  for (; i < len && text[i] != '\0'; i++) {
    const uint8_t a = buf[i] >= 'A' && buf[i] <= 'Z' ? static_cast<uint8_t>(buf[i] | 0x20) : buf[i];
    if (a != static_cast<uint8_t>(text[i])) return false;
  }
  return i == len && text[i] == '\0';
}

// The character that ends the string a word opens, or 0 when it opens none.
// In the string of s\" a backslash takes the byte behind it along, so \"
// does not end it.
uint8_t stringEnd(const uint8_t* word, int32_t len, bool* escapes) {
  *escapes = isWord(word, len, "s\\\"");
  if (*escapes || isWord(word, len, ".\"") || isWord(word, len, "s\"") || isWord(word, len, "c\"") ||
      isWord(word, len, "abort\"")) {
    return '"';
  }
  return isWord(word, len, ".(") ? ')' : 0;
}

}  // namespace

void UploadLevelOpen(UploadLevel* l, PlatHandle h, const char* path) {
  std::memset(l, 0, sizeof *l);
  l->h = h;
  std::snprintf(l->path, sizeof l->path, "%s", path);
  if (!platFileStamp(path, &l->stamp)) l->stamp = PlatFileStamp{-1, -1};
}

LineRead UploadReadLine(UploadLevel* l, uint8_t* buf, int32_t* n) {
  int readsLeft = kBlocksPerCall;
  bool yield = false;
  for (;;) {
    if (!fill(l, &readsLeft, &yield)) {
      if (yield) return LineRead::Yield;
      if (l->error) return LineRead::Error;
      if (*n == 0) return LineRead::End;
      l->line++;   // the last line, without an end of its own
      return LineRead::Line;
    }
    const uint8_t b = take(l);
    const bool lfOfCrLf = b == '\n' && l->afterCr;
    l->afterCr = b == '\r';
    if (l->inComment) {
      // A '*' followed by another '*' leaves the second as the possible end.
      if (l->commentStar && b == '/') l->inComment = false;
      l->commentStar = b == '*';
      if ((b == '\r' || b == '\n') && !lfOfCrLf) l->line++;
      continue;
    }
    if (lfOfCrLf) continue;
    if (b == '\r' || b == '\n') {
      l->line++;
      return LineRead::Line;
    }
    if (*n >= kUploadLineMax) {
      l->pos--;   // read again as the line's next part
      return LineRead::TooLong;
    }
    buf[(*n)++] = b;
    if (b == '/' && gfSkipBigComment) {
      if (!fill(l, &readsLeft, &yield)) {
        if (yield) {
          // Read the '/' again with the byte behind it on the next call.
          l->pos--;
          (*n)--;
          return LineRead::Yield;
        }
        continue;
      }
      if (l->ahead[l->pos] == '*') {
        take(l);
        (*n)--;
        l->inComment = true;
        l->commentStar = false;
        continue;
      }
      // "//*" holds no block comment (a line already full reads it next).
      if (l->ahead[l->pos] == '/' && *n < kUploadLineMax) buf[(*n)++] = take(l);
    }
  }
}

int UploadSkipLines(UploadLevel* l, int32_t lines, bool filter) {
  uint8_t buf[kUploadLineMax];
  int32_t n = 0;
  while (l->line < lines) {
    switch (UploadReadLine(l, buf, &n)) {
      case LineRead::Yield: break;
      case LineRead::TooLong: n = 0; break;   // its rest is read as more of it
      case LineRead::Error: return -1;
      case LineRead::End: return 0;
      case LineRead::Line:
        if (filter) UploadFilterLine(buf, n, &l->inParen);
        n = 0;
        break;
    }
  }
  return 1;
}

bool UploadLevelHasMore(UploadLevel* l) {
  int reads = 1;
  bool yield = false;
  return fill(l, &reads, &yield);
}

int32_t UploadFilterLine(uint8_t* buf, int32_t n, bool* inParen) {
  int32_t out = 0;
  int32_t i = 0;
  while (i < n) {
    if (*inParen) {
      while (i < n && buf[i] != ')') i++;
      if (i < n) {
        i++;
        *inParen = false;
      }
      continue;
    }
    if (isBlank(buf[i])) {
      buf[out++] = buf[i++];
      continue;
    }
    int32_t e = i;
    while (e < n && !isBlank(buf[e])) e++;
    const int32_t len = e - i;
    if (isWord(buf + i, len, "\\") || isWord(buf + i, len, "//")) break;   // the rest is comment
    if (isWord(buf + i, len, "(")) {
      *inParen = true;
      i = e;
      continue;
    }
    bool escapes = false;
    const uint8_t end = stringEnd(buf + i, len, &escapes);
    if (end != 0) {
      // The string runs from behind the word to its end, comments and all.
      while (e < n && buf[e] != end) e += escapes && buf[e] == '\\' && e + 1 < n ? 2 : 1;
      if (e < n) e++;
    }
    while (i < e) buf[out++] = buf[i++];
  }
  return out;
}

bool UploadLineIsEmpty(const uint8_t* buf, int32_t n) {
  for (int32_t i = 0; i < n; i++) {
    if (buf[i] != ' ' && buf[i] != '\t' && buf[i] != '\r' && buf[i] != '\n') return false;
  }
  return true;
}

int UploadDirective(const uint8_t* buf, int32_t n, char* name, int32_t size) {
  int32_t i = 0;
  while (i < n && (buf[i] == ' ' || buf[i] == '\t' || buf[i] == '\r' || buf[i] == '\n')) i++;
  int kind = 0;
  if (n - i > 8 && std::memcmp(buf + i, "#include", 8) == 0) kind = 1;
  if (n - i > 8 && std::memcmp(buf + i, "#require", 8) == 0) kind = 2;
  if (kind == 0 || (buf[i + 8] != ' ' && buf[i + 8] != '\t')) return 0;
  i += 8;
  int32_t end = n;
  while (i < end && (buf[i] == ' ' || buf[i] == '\t')) i++;
  while (end > i && (buf[end - 1] <= ' ')) end--;
  if (end - i >= 2 && buf[i] == '"' && buf[end - 1] == '"') {
    i++;
    end--;
  }
  if (end <= i || end - i >= size) return 0;
  std::memcpy(name, buf + i, static_cast<size_t>(end - i));
  name[end - i] = '\0';
  return kind;
}

int UploadResolvePath(const char* base, const char* name, char* out, int32_t size) {
  char joined[2 * kPathMax];
  size_t dir = 0;
  if (!isAbsolute(name)) {
    for (size_t i = 0; base[i] != '\0'; i++) {
      if (isSeparator(base[i])) dir = i + 1;
    }
  }
  const size_t nameLen = std::strlen(name);
  if (dir + nameLen + 1 > sizeof joined) return 0;
  std::memcpy(joined, base, dir);
  std::memcpy(joined + dir, name, nameLen + 1);
  // Folds "./" and "dir/../" so that one file has one name on the stack.
  int32_t o = 0;
  const char* s = joined;
  while (*s != '\0') {
    const char* e = s;
    while (*e != '\0' && !isSeparator(*e)) e++;
    const size_t len = static_cast<size_t>(e - s);
    const bool sep = *e != '\0';
    if (len == 1 && s[0] == '.' && o > 0) {
      // "." adds nothing
    } else if (len == 2 && s[0] == '.' && s[1] == '.' && o > 1) {
      int32_t k = o - 1;   // o ends with a separator: back to the one before
      while (k > 0 && !isSeparator(out[k - 1])) k--;
      o = k;
    } else {
      if (o + static_cast<int32_t>(len) + 2 > size) return 0;
      std::memcpy(out + o, s, len);
      o += static_cast<int32_t>(len);
      if (sep) out[o++] = *e;
    }
    s = sep ? e + 1 : e;
  }
  out[o] = '\0';
  return o > 0 ? 1 : 0;
}

const char* UploadBaseName(const char* path) {
  const char* b = path;
  for (const char* p = path; *p != '\0'; p++) {
    if (isSeparator(*p)) b = p + 1;
  }
  return b;
}
