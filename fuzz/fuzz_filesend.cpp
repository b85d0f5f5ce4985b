// Fuzzes the file-send engine with arbitrary files and settings, played as the
// program plays it: F5/F6/F7 start the send and read the next unit, and the
// worker's pass (raw-mode reader, drainer, one transmit) runs until the
// transfer is over. It shows that the engine's indices stay inside their
// buffers, each transmit carries at most a line queue's worth (no per-byte
// delay is set), the reading never takes more passes than the file has bytes
// plus a few, no message appears, the
// transfer ends, and the device receives:
//  - in raw and line mode the whole file in order, less /*...*/ when skipped;
//    in line mode one unit per key press (a line up to and including the
//    delimiter, the text before a "/*", the rest of the file);
//  - in line mode without comments each line through the comment filter, the
//    text before a "/*" as it is (filtered once it outgrew the read buffer);
//  - after mode switches the same stream, and after lines cut short by a key
//    press, the comment filter or an abort a subsequence of it, with nothing
//    after the abort.
// Input: flags (bits 0-1: mode 0, 1, 2, or 3 for a keyed script whose first
// mode is in bits 3-4; bit 2: skip /*...*/; bit 5: a run of 'x' ending near
// the read buffer's end, its length and place in the next byte), the
// delimiter, for a script its length and steps (0xFF F8, 0xFE the link
// closes), then the file.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/commands.h"
#include "display/screen.h"
#include "display/view.h"
#include "link/connection.h"
#include "platform/posix/headless.h"
#include "settings/globals.h"
#include "transfer/filesend.h"

namespace {

using Bytes = std::string;
struct Unit {
  Bytes text;
  bool beforeComment;   // the text before a "/*"
};
char gPath[96];
Bytes gOut;   // what the device received
size_t gFileLen;

void checkBounds() {
  const int32_t ptr = gLinePtr, max = gLineMax;
  if (ptr < 0 || ptr > max || max > kLineQueueSize) std::abort();
  if (gTXCol < 0 || gTXCol > kReadBufSize) std::abort();
  if ((gfBack != 0 && gfBack != 1) || gBackByte < 0 || gBackByte > 255) std::abort();
  if (gComment < 0 || static_cast<size_t>(gComment) > gFileLen + 1) std::abort();
  if (gSendSize < 0 || static_cast<size_t>(gSendSize) > gFileLen + 1) std::abort();
}

// One worker pass: the raw-mode reader, the drainer, then the transmit.
void pass() {
  if (SendFilePending()) SendFileContinue();
  if (gfSendFileOpen == 1 && gSendMode == 0) SendCommBlock();
  if (gLinePtr < gLineMax) {
    if (gPackDelay != 0) std::abort();   // the drainer would sleep
    SendCommLine();
  }
  const int32_t len = gComTxLen;
  if (len > kLineQueueSize) std::abort();   // with no delay, at most a queue's worth per transmit
  gOut.append(reinterpret_cast<const char*>(gComTxBuf), static_cast<size_t>(len));
  EmptyCommTxBuffer();
  checkBounds();
}

// Passes until nothing is left to send; each one reads or sends a byte.
void runOut() {
  for (size_t i = 0; (gfSendFileOpen == 1 && gSendMode == 0) || gLinePtr < gLineMax || SendFilePending(); i++) {
    if (i > 2 * gFileLen + 8) std::abort();
    pass();
  }
}

void key(int mode) {
  DoDISPLAYCommand(nullptr, mode == 0 ? kCmdSendRaw : mode == 1 ? kCmdSendLine : kCmdSendLineSkip);
  checkBounds();
}

// The units line mode reads, one per key press: a '/' is read with the byte
// behind it, and only the last byte read ends a line or begins a "/*".
std::vector<Unit> referenceUnits(const Bytes& f, bool skip, uint8_t d) {
  std::vector<Unit> units;
  Bytes cur;
  size_t i = 0;
  while (i < f.size()) {
    uint8_t b = static_cast<uint8_t>(f[i++]);
    cur += static_cast<char>(b);
    if (b == '/') {
      if (i == f.size()) break;
      b = static_cast<uint8_t>(f[i++]);
      cur += static_cast<char>(b);
      if (skip && b == '*') {
        cur.resize(cur.size() - 2);
        units.push_back({cur, true});
        cur.clear();
        for (bool star = false;;) {
          if (i == f.size()) return units;   // the file ends inside the comment
          const uint8_t c = static_cast<uint8_t>(f[i++]);
          if (star && c == '/') break;
          star = c == '*';
        }
        continue;
      }
    }
    if (b == d) units.push_back({cur, false}), cur.clear();
  }
  units.push_back({cur, false});   // the rest, up to the end of the file
  return units;
}

// The comment filter over one whole line: "( " and "//" comments run to the
// line's end; the delimiter stays only when a byte was kept before them.
Bytes filterLine(const Bytes& u, uint8_t d) {
  Bytes out;
  int32_t comment = 0, kept = 0;
  for (size_t i = 0; i < u.size(); i++) {
    const uint8_t b = static_cast<uint8_t>(u[i]);
    if (i + 1 < u.size() && ((b == '(' && u[i + 1] == ' ') || (b == '/' && u[i + 1] == '/'))) comment = kept + 1;
    if (b == d && comment > 1) comment = 0;
    if (comment == 0) out += static_cast<char>(b), kept++;
  }
  return out;
}

bool isSubsequence(const Bytes& sub, const Bytes& of) {
  size_t j = 0;
  for (size_t i = 0; i < of.size() && j < sub.size(); i++) j += of[i] == sub[j];
  return j == sub.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  if (!gPath[0]) {
    std::snprintf(gPath, sizeof gPath, "/tmp/zelto-fuzz-filesend-%d.bin", static_cast<int>(getpid()));
    std::atexit([] { unlink(gPath); });
  }
  const int flags = data[0];
  const uint8_t d = data[1];
  size_t at = 2;
  size_t runLen = 0, runAt = 0;
  if ((flags & 0x20) && at < size) {   // 4063..4126 or 8157..8220 bytes: one or two read buffers' ends
    const int p = data[at++];
    runLen = static_cast<size_t>((p & 0x40 ? 2 : 1) * (kReadBufSize - 1) - 32 + (p & 63));
    runAt = p & 0x80 ? 3 : 0;
  }
  const bool scripted = (flags & 3) == 3;
  Bytes script;
  if (scripted && at < size) {
    const size_t n = std::min<size_t>(data[at] & 31, size - at - 1);
    script.assign(data + at + 1, data + at + 1 + n);
    at += 1 + n;
  }
  Bytes file(data + std::min(at, size), data + size);
  file.insert(std::min(runAt, file.size()), runLen, 'x');
  gFileLen = file.size();

  AbortSendFileQuietly();
  ResetSharedState();
  GxChar = 8;
  GyChar = 16;
  InitDISPLAYView();
  InitDISPLAYGrid();
  headlessClearMessages();
  EmptyCommTxBuffer();
  gfConnected = 1;   // a link that is up; no worker runs, its passes are played here
  gPackDelay = 0;
  gDelimiter = d;
  gfSkipBigComment = (flags >> 2) & 1;
  FILE* f = std::fopen(gPath, "wb");
  if (!f) return 0;
  std::fwrite(file.data(), 1, file.size(), f);
  std::fclose(f);
  std::snprintf(gszSendPathName, sizeof gszSendPathName, "%s", gPath);
  gOut.clear();

  const std::vector<Unit> units = referenceUnits(file, gfSkipBigComment != 0, d);
  Bytes stream;   // the file less the skipped block comments
  for (const Unit& u : units) stream += u.text;

  if (!scripted) {
    const int mode = flags & 3;
    key(mode);
    if (gfSendFileOpen != 1) std::abort();
    runOut();
    if (mode == 0 && gOut != stream) std::abort();
    if (mode != 0 && !gOut.empty()) std::abort();   // the first key press only opens the file
    for (size_t k = 0; mode != 0 && gfSendFileOpen == 1; k++) {
      if (k >= units.size()) std::abort();
      gOut.clear();
      key(mode);
      runOut();
      const Unit& u = units[k];
      const bool filtered = mode == 2 && (!u.beforeComment || u.text.size() >= size_t{kReadBufSize - 1});
      if (gOut != (filtered ? filterLine(u.text, d) : u.text)) std::abort();
      if ((gfSendFileOpen == 1) != (k + 1 < units.size())) std::abort();
    }
  } else {
    key(((flags >> 3) & 3) % 3);
    // Only a line cut short by F6 or F7, the comment filter or an abort lose bytes.
    bool aborted = false, lossless = gSendMode != 2;
    for (size_t s = 0; s < script.size() && gfSendFileOpen == 1 && !aborted; s++) {
      const uint8_t step = static_cast<uint8_t>(script[s]);
      if (step >= 0xFE) {   // F8, or the link closes as closing the connection does
        if (step == 0xFF) DoDISPLAYCommand(nullptr, kCmdAbortSend);
        if (step == 0xFE) gfConnected = 0, AbortSendFileQuietly();
        aborted = true;
      } else if ((step & 3) == 0) {
        for (int i = 0; i < step >> 2; i++) pass();
      } else {   // F5, F6 or F7: the mode, and in a line mode the next unit
        if ((step & 3) == 3 || ((step & 3) == 2 && gLinePtr < gLineMax)) lossless = false;
        key((step & 3) - 1);
      }
    }
    const size_t before = gOut.size();
    for (size_t i = 0;; i++) {
      runOut();
      if (gfSendFileOpen != 1 || i > gFileLen + 2) break;
      key(gSendMode);
    }
    if (gfSendFileOpen != 0) std::abort();   // pressing on always ends the transfer
    if (aborted && gOut.size() != before) std::abort();
    if (!isSubsequence(gOut, stream) || (lossless && !aborted && gOut != stream)) std::abort();
  }
  if (headlessMessageCount() != 0) std::abort();
  AbortSendFileQuietly();
  gfConnected = 0;
  return 0;
}
