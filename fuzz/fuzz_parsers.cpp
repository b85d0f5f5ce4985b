// Fuzzes the texts the user types into the Setup dialog: the delimiter and
// the two port numbers, at the widths the dialog reads them; the paced
// upload's option lists, a line of the upload file (filter, directive,
// include path) and a device's reply to it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "link/udp.h"
#include "settings/setup.h"
#include "transfer/reply.h"
#include "transfer/upload_lines.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  char delim[8] = {};
  std::memcpy(delim, data, size < 7 ? size : 7);
  int32_t value = -1;
  if (SetupParseDelimiter(delim, &value) && (value < 0 || value > 255)) std::abort();

  char port[16] = {};
  std::memcpy(port, data, size < 15 ? size : 15);
  const int32_t n = PortTextToNumber(port);
  (void)n;

  static char list[kReplyListMax] = {};
  std::memset(list, 0, sizeof list);
  std::memcpy(list, data, size < sizeof list - 1 ? size : sizeof list - 1);
  static ReplyPatterns prompts, errors;
  if (ParseReplyList(list, &prompts) > kReplyPatternMax) std::abort();
  ParseReplyList("not found|?|\\x15", &errors);
  static ReplyMatcher m;
  ReplyReset(&m, prompts, errors);
  const int half = static_cast<int>(size / 2);
  ReplyBegin(&m, data, half, 0);
  ReplyFeed(&m, data + half, static_cast<int>(size) - half, 1);
  ReplyCheck(&m, 100000);
  if (std::strlen(m.errorLine) > kReplyLineMax) std::abort();

  static uint8_t line[kUploadLineMax];
  const int32_t len = static_cast<int32_t>(size < sizeof line ? size : sizeof line);
  std::memcpy(line, data, static_cast<size_t>(len));
  bool inParen = (size & 1) != 0;
  if (UploadFilterLine(line, len, &inParen) > len) std::abort();
  char name[kPathMax], path[kPathMax];
  if (UploadDirective(line, len, name, kPathMax) != 0) UploadResolvePath("/a/b/main.fs", name, path, kPathMax);
  return 0;
}
