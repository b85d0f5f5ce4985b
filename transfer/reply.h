// The reply matcher of the paced upload: takes a device's answer to one line,
// leaves out the echo of the line, and tells when the answer shows a prompt
// or an error text.
//
// The rules, as the docs give them:
// - Echo: the received bytes are compared in order with the line as sent
//   (without its CR and LF bytes); while they match they are the echo. The
//   first byte that differs ends the echo and begins the reply. Line ends,
//   blanks, tabs and a '>' that come before the first echo byte are left
//   out too (the end of the previous answer, a prompt such as "> "), and so
//   are the blanks and tabs at the front of the line.
// - Prompt: a word of the prompt list or of the continue list standing
//   alone (at the start of a reply line or after a blank or tab) and
//   followed by CR, LF, a blank, '.', '>' or '<' completes the reply at
//   once; followed by nothing, it completes it after 30 ms without another
//   byte. The rest of that reply line, when its end comes later, is left out
//   of the next reply. A word of the continue list ("compiled") means the
//   device is inside a definition; any other prompt means the line is done.
// - Error: an entry of the error list found anywhere in a reply line. An
//   entry made of punctuation only (no letter, digit or blank; "?" in the
//   default list) counts only as the last word of a reply line. The reply
//   line with the error is reported once it has ended (CR, LF, or 30 ms
//   without another byte).
#pragma once
#include <cstddef>
#include <cstdint>

// The longest list text, its end included. An entry takes at least one byte
// and its '|', so the table holds every entry of any list that fits: no
// entry and no byte of one is ever left out.
constexpr int kReplyListMax = 4096;
constexpr int kReplyPatternMax = kReplyListMax / 2;
constexpr int kReplyLineMax = 160;
constexpr int kReplyEchoMax = 4096;   // a whole line of the upload
constexpr int64_t kReplyQuietUs = 30000;

struct ReplyPattern {
  int16_t at;      // its bytes: ReplyPatterns::bytes[at] on
  int16_t len;
  bool lastWord;   // punctuation only: must end a reply line as a word
};

struct ReplyPatterns {
  uint8_t bytes[kReplyListMax];
  ReplyPattern items[kReplyPatternMax];
  int count;
};

// Parses a '|'-separated list in which "\xHH" is a byte (and "\\" a
// backslash). Empty entries are left out. Returns the number of entries, or
// -1 (and no entries) for a text of kReplyListMax characters or more.
int ParseReplyList(const char* text, ReplyPatterns* out);

enum class ReplyState { Waiting, Prompt, Error };

struct ReplyMatcher {
  ReplyPatterns prompts;
  ReplyPatterns continues;   // prompts that mean "inside a definition"
  ReplyPatterns errors;
  uint8_t echo[kReplyEchoMax];
  int echoLen;
  int echoPos;
  bool echoing;
  bool tail;          // the previous prompt's line has not ended yet
  uint8_t line[kReplyLineMax];   // the current reply line
  int lineLen;
  int linePrompt;     // the line ends with a prompt word (1 done, 2 continue)
  ReplyState state;
  bool continued;     // the prompt that ended the reply is a continue word
  bool errorPending;  // an error text is on the current line, not ended
  char errorLine[kReplyLineMax + 1];
  int64_t lastByteUs; // the last byte received (or the line's start)
};

// Sets the patterns and forgets everything else (an upload starts). Without
// a continue list every prompt means "done".
void ReplyReset(ReplyMatcher* m, const ReplyPatterns& prompts, const ReplyPatterns& errors,
                const ReplyPatterns* continues = nullptr);
// A line went out at nowUs: its echo is expected next.
void ReplyBegin(ReplyMatcher* m, const uint8_t* line, int n, int64_t nowUs);
// Bytes received at nowUs.
void ReplyFeed(ReplyMatcher* m, const uint8_t* p, int n, int64_t nowUs);
// The state at nowUs (the 30 ms rules are applied here).
ReplyState ReplyCheck(ReplyMatcher* m, int64_t nowUs);
