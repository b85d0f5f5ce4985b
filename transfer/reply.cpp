// The reply matcher of the paced upload (rules in reply.h).
#include "transfer/reply.h"

#include <cstring>

#include "settings/globals.h"

namespace {

bool isPunct(uint8_t c) { return c > ' ' && c < 0x7F && !std::strchr("0123456789", c) && !((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); }

bool isLineEnd(uint8_t b) { return b == '\r' || b == '\n'; }

void finishEntry(ReplyPatterns* out, ReplyPattern* p) {
  if (p->len == 0) return;
  p->lastWord = true;
  for (int i = 0; i < p->len; i++) {
    if (!isPunct(out->bytes[p->at + i])) p->lastWord = false;
  }
  out->count++;
}

const uint8_t* textOf(const ReplyPatterns& list, const ReplyPattern& p) { return list.bytes + p.at; }

// Where pattern p ends a word at the end of the line's first n bytes: the
// text stands alone (line start, blank or tab before it).
bool endsWithWord(const uint8_t* line, int n, const ReplyPatterns& list, const ReplyPattern& p) {
  if (p.len == 0 || n < p.len) return false;
  if (std::memcmp(line + n - p.len, textOf(list, p), static_cast<size_t>(p.len)) != 0) return false;
  const int before = n - p.len - 1;
  return before < 0 || line[before] == ' ' || line[before] == '\t';
}

bool endsWithOneOf(const ReplyMatcher* m, const ReplyPatterns& list) {
  for (int i = 0; i < list.count; i++) {
    if (endsWithWord(m->line, m->lineLen, list, list.items[i])) return true;
  }
  return false;
}

// The prompt word the current line ends with: 0 none, 1 done, 2 continue
// (a word in both lists continues).
int endsWithPrompt(const ReplyMatcher* m) {
  if (endsWithOneOf(m, m->continues)) return 2;
  return endsWithOneOf(m, m->prompts) ? 1 : 0;
}

// An error text on the current line. wholeLine: the line has ended, so the
// entries that must be its last word count too.
bool lineHasError(const ReplyMatcher* m, bool wholeLine) {
  int n = m->lineLen;
  while (n > 0 && (m->line[n - 1] == ' ' || m->line[n - 1] == '\t')) n--;
  for (int i = 0; i < m->errors.count; i++) {
    const ReplyPattern& p = m->errors.items[i];
    if (p.lastWord) {
      if (wholeLine && endsWithWord(m->line, n, m->errors, p)) return true;
      continue;
    }
    for (int at = 0; at + p.len <= m->lineLen; at++) {
      if (std::memcmp(m->line + at, textOf(m->errors, p), static_cast<size_t>(p.len)) == 0) return true;
    }
  }
  return false;
}

// The reply line as the status text shows it: blanks around it left out,
// control bytes written as \xHH.
void keepErrorLine(ReplyMatcher* m) {
  int a = 0;
  int b = m->lineLen;
  while (a < b && m->line[a] == ' ') a++;
  while (b > a && m->line[b - 1] == ' ') b--;
  int o = 0;
  for (int i = a; i < b && o + 5 < kReplyLineMax; i++) {
    const uint8_t c = m->line[i];
    if (c < ' ' || c == 0x7F) {
      static const char kHex[] = "0123456789ABCDEF";
      m->errorLine[o++] = '\\';
      m->errorLine[o++] = 'x';
      m->errorLine[o++] = kHex[c >> 4];
      m->errorLine[o++] = kHex[c & 15];
    } else {
      m->errorLine[o++] = static_cast<char>(c);
    }
  }
  m->errorLine[o] = '\0';
  m->state = ReplyState::Error;
}

// The current reply line has ended (a line end, or quiet).
void endLine(ReplyMatcher* m) {
  if (m->errorPending || lineHasError(m, true)) {
    keepErrorLine(m);
    return;
  }
  const int prompt = m->linePrompt != 0 ? m->linePrompt : endsWithPrompt(m);
  if (prompt != 0) {
    m->state = ReplyState::Prompt;
    m->continued = prompt == 2;
    return;
  }
  m->lineLen = 0;
}

void replyByte(ReplyMatcher* m, uint8_t b) {
  if (isLineEnd(b)) {
    if (m->lineLen > 0) endLine(m);
    return;
  }
  if ((b == ' ' || b == '.' || b == '>' || b == '<') && m->linePrompt == 0) m->linePrompt = endsWithPrompt(m);
  if (m->lineLen == kReplyLineMax) {
    // A line longer than the buffer: its head goes, its end still counts.
    std::memmove(m->line, m->line + kReplyLineMax / 2, kReplyLineMax / 2);
    m->lineLen = kReplyLineMax / 2;
  }
  m->line[m->lineLen++] = b;
  if (!m->errorPending && lineHasError(m, false)) m->errorPending = true;
}

}  // namespace

int ParseReplyList(const char* text, ReplyPatterns* out) {
  out->count = 0;
  if (std::strlen(text) >= static_cast<size_t>(kReplyListMax)) return -1;
  // The bytes of the entries never outnumber the text's characters, nor the
  // entries its '|': the tables hold the whole list.
  int used = 0;
  ReplyPattern* p = &out->items[0];
  p->at = 0;
  p->len = 0;
  for (const char* s = text;; s++) {
    if (*s == '\0' || *s == '|') {
      finishEntry(out, p);
      if (*s == '\0') break;
      p = &out->items[out->count];
      p->at = static_cast<int16_t>(used);
      p->len = 0;
      continue;
    }
    uint8_t c = static_cast<uint8_t>(*s);
    if (*s == '\\' && s[1] == 'x' && HexDigitValue(s[2]) >= 0 && HexDigitValue(s[3]) >= 0) {
      c = static_cast<uint8_t>(HexDigitValue(s[2]) * 16 + HexDigitValue(s[3]));
      s += 3;
    } else if (*s == '\\' && s[1] == '\\') {
      s++;
    }
    out->bytes[used++] = c;
    p->len++;
  }
  return out->count;
}

void ReplyReset(ReplyMatcher* m, const ReplyPatterns& prompts, const ReplyPatterns& errors,
                const ReplyPatterns* continues) {
  std::memset(m, 0, sizeof *m);
  m->prompts = prompts;
  m->errors = errors;
  if (continues != nullptr) m->continues = *continues;
}

void ReplyBegin(ReplyMatcher* m, const uint8_t* line, int n, int64_t nowUs) {
  m->echoLen = 0;
  // Blanks at the front are left out of the echo as they are of what
  // arrives: an indented line's echo is still its echo.
  int i = 0;
  while (i < n && (line[i] == ' ' || line[i] == '\t')) i++;
  for (; i < n && m->echoLen < kReplyEchoMax; i++) {
    if (!isLineEnd(line[i])) m->echo[m->echoLen++] = line[i];
  }
  m->echoPos = 0;
  m->echoing = m->echoLen > 0;
  m->lineLen = 0;
  m->linePrompt = 0;
  m->continued = false;
  m->errorPending = false;
  m->errorLine[0] = '\0';
  m->state = ReplyState::Waiting;
  m->lastByteUs = nowUs;
}

void ReplyFeed(ReplyMatcher* m, const uint8_t* p, int n, int64_t nowUs) {
  for (int i = 0; i < n && m->state == ReplyState::Waiting; i++) {
    const uint8_t b = p[i];
    if (m->echoing) {
      if (m->echoPos == 0 && (isLineEnd(b) || b == ' ' || b == '\t' || b == '>')) continue;
      if (b == m->echo[m->echoPos]) {
        if (++m->echoPos == m->echoLen) m->echoing = false;
        continue;
      }
      m->echoing = false;
    }
    replyByte(m, b);
  }
  if (n > 0) m->lastByteUs = nowUs;
}

ReplyState ReplyCheck(ReplyMatcher* m, int64_t nowUs) {
  if (m->state == ReplyState::Waiting && m->lineLen > 0 && nowUs - m->lastByteUs >= kReplyQuietUs) endLine(m);
  return m->state;
}
