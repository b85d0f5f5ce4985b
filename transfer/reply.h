// The reply matcher of the paced upload: takes a device's answer to one line,
// leaves out the echo of the line, and tells when the answer shows a prompt
// or an error text.
//
// The rules, as the docs give them:
// - Echo: the received bytes are compared in order with the line as sent
//   (without its CR and LF bytes); while they match they are the echo. The
//   first byte that differs ends the echo and begins the reply. Line ends,
//   blanks and a '>' that come before the first echo byte are left out too
//   (the end of the previous answer, a prompt such as "> ").
// - Prompt: a word of the prompt list standing alone (at the start of a
//   reply line or after a blank or tab) and followed by CR, LF, a blank,
//   '.', '>' or '<' completes the reply at once; followed by nothing, it
//   completes it after 30 ms without another byte. The rest of that reply
//   line, when its end comes later, is left out of the next reply.
// - Error: an entry of the error list found anywhere in a reply line. An
//   entry made of punctuation only (no letter, digit or blank; "?" in the
//   default list) counts only as the last word of a reply line. The reply
//   line with the error is reported once it has ended (CR, LF, or 30 ms
//   without another byte).
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int kReplyPatternMax = 16;
constexpr int kReplyPatternLen = 64;
constexpr int kReplyLineMax = 160;
constexpr int kReplyEchoMax = 4096;   // a whole line of the upload
constexpr int64_t kReplyQuietUs = 30000;

struct ReplyPattern {
  uint8_t text[kReplyPatternLen];
  int len;
  bool lastWord;   // punctuation only: must end a reply line as a word
};

struct ReplyPatterns {
  ReplyPattern items[kReplyPatternMax];
  int count;
};

// Parses a '|'-separated list in which "\xHH" is a byte (and "\\" a
// backslash). Empty entries are left out; entries beyond the table's room
// are dropped. Returns the number of entries.
int ParseReplyList(const char* text, ReplyPatterns* out);

enum class ReplyState { Waiting, Prompt, Error };

struct ReplyMatcher {
  ReplyPatterns prompts;
  ReplyPatterns errors;
  uint8_t echo[kReplyEchoMax];
  int echoLen;
  int echoPos;
  bool echoing;
  bool tail;          // the previous prompt's line has not ended yet
  uint8_t line[kReplyLineMax];   // the current reply line
  int lineLen;
  bool lineHasPrompt; // the line ends with a prompt word, terminator unseen
  ReplyState state;
  bool errorPending;  // an error text is on the current line, not ended
  char errorLine[kReplyLineMax + 1];
  int64_t lastByteUs;
};

// Sets the patterns and forgets everything else (an upload starts).
void ReplyReset(ReplyMatcher* m, const ReplyPatterns& prompts, const ReplyPatterns& errors);
// A line went out at nowUs: its echo is expected next.
void ReplyBegin(ReplyMatcher* m, const uint8_t* line, int n, int64_t nowUs);
// Bytes received at nowUs.
void ReplyFeed(ReplyMatcher* m, const uint8_t* p, int n, int64_t nowUs);
// The state at nowUs (the 30 ms rules are applied here).
ReplyState ReplyCheck(ReplyMatcher* m, int64_t nowUs);
