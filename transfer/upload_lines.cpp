// The line reader of the paced upload (see upload_lines.h).
#include "transfer/upload_lines.h"

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

uint8_t take(UploadLevel* l) {
  l->taken++;
  return l->ahead[l->pos++];
}

}  // namespace

void UploadLevelMark(UploadLevel* l) {
  l->pos = l->len = 0;
  l->eof = l->error = false;
  l->taken = l->lineStart = 0;
}

void UploadLevelRewind(UploadLevel* l) {
  // What the file gave so far, less what this line and the read-ahead hold.
  const int64_t back = l->taken - l->lineStart + (l->len - l->pos);
  if (back > 0 && platFileSkip(l->h, -back)) UploadLevelMark(l);
}

LineRead UploadReadLine(UploadLevel* l, uint8_t* buf, int32_t* n) {
  const uint8_t d = static_cast<uint8_t>(gDelimiter.load() & 0xFF);
  int readsLeft = kBlocksPerCall;
  bool yield = false;
  if (*n == 0 && !l->inComment) l->lineStart = l->taken;
  for (;;) {
    if (!fill(l, &readsLeft, &yield)) {
      if (yield) return LineRead::Yield;
      if (l->error) return LineRead::Error;
      if (*n == 0) return LineRead::End;
      l->line++;   // the last line, without its delimiter
      return LineRead::Line;
    }
    const uint8_t b = take(l);
    if (l->inComment) {
      // A '*' followed by another '*' leaves the second as the possible end.
      if (l->commentStar && b == '/') l->inComment = false;
      l->commentStar = b == '*';
      if (b == d) l->line++;
      continue;
    }
    if (*n >= kUploadLineMax - 1) return LineRead::TooLong;
    buf[(*n)++] = b;
    if (b == '/' && gfSkipBigComment) {
      if (!fill(l, &readsLeft, &yield)) {
        if (yield) {
          // Read the '/' again with the byte behind it on the next call.
          l->pos--;
          l->taken--;
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
      if (l->ahead[l->pos] == '/') buf[(*n)++] = take(l);   // "//*" holds no block comment
    }
    if (buf[*n - 1] == d) {
      l->line++;
      return LineRead::Line;
    }
  }
}

int32_t UploadFilterLine(uint8_t* buf, int32_t n, uint8_t delimiter) {
  int32_t kept = 0;
  int32_t comment = 0;
  for (int32_t i = 0; i < n; i++) {
    const uint8_t b = buf[i];
    if (i + 1 < n) {
      const uint8_t next = buf[i + 1];
      const bool lineEnd = next == '\r' || next == '\n' || next == delimiter;
      if ((b == '(' && next == ' ') || (b == '/' && next == '/') || (b == '\\' && (next == ' ' || lineEnd))) {
        if (comment == 0) comment = kept + 1;
      }
    }
    if (b == delimiter && comment > 1) comment = 0;
    if (comment == 0) buf[kept++] = b;
  }
  return kept;
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
