// The XMODEM/YMODEM receiver: asks for the start ('C' for CRC-16; XMODEM
// falls back to NAK and the checksum after three unanswered), checks each
// block (a bad one is answered with NAK once the line is quiet; a block
// sent again is acknowledged and not written twice), and writes the file
// under a temporary name that it renames at the end. YMODEM's block 0
// names each file and gives its size, to which the file is trimmed; an
// empty block 0 ends the batch. XMODEM has no size: the padding of the
// last block (SUB bytes) is left out.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/file.h"
#include "platform/thread.h"
#include "transfer/xmodem_internal.h"

namespace xmodem {

namespace {

enum class Phase { Start, Block, Body, Quiet, Done };

struct Receiver {
  bool ymodem = false;
  bool crc = true;
  bool wantHeader = false;   // YMODEM: block 0 of the next file (or the end)
  Phase phase = Phase::Done;
  Phase afterQuiet = Phase::Block;
  uint8_t expect = 1;
  uint8_t buf[kPacketMax] = {};
  int need = 0;
  int got = 0;
  int len = 0;
  int starts = 0;            // start characters sent without an answer
  int tries = 0;             // of this block
  int retries = 0;           // of this file, for the row
  int cans = 0;
  int64_t deadline = 0;
  char folder[kPathMax] = {};
  char name[kPathMax] = {};
  char tmp[kPathMax + 32] = {};
  PlatHandle h = kInvalidHandle;
  int64_t size = -1;         // -1: not given
  int64_t written = 0;
  uint8_t held[kBlockMax] = {};   // the last block, whose padding may go
  int heldLen = 0;
  int64_t fileStartUs = 0;
};
Receiver r;

void row(bool force) { Progress("receive", r.name, r.written + r.heldLen, r.size, r.retries, force); }

void dropFile() {
  if (r.h == kInvalidHandle) return;
  platFileClose(r.h);
  r.h = kInvalidHandle;
  platFileDelete(r.tmp);
}

bool write(const uint8_t* p, int n) {
  uint32_t put = 0;
  if (n > 0 && (!platFileWrite(r.h, p, static_cast<uint32_t>(n), &put) || put != static_cast<uint32_t>(n))) {
    char text[kPathMax + 32];
    std::snprintf(text, sizeof text, "-Cannot write %s-", r.name);
    Stop(text, true);
    return false;
  }
  r.written += n;
  return true;
}

void sendStart(int64_t now) {
  if (!r.ymodem && r.starts >= kChecksumAfter) r.crc = false;
  PutByte(r.crc ? kCrcStart : kNak);
  r.starts++;
  r.phase = Phase::Start;
  r.deadline = now + kStartRepeatUs;
}

void expectBlock(int64_t now) {
  r.phase = Phase::Block;
  r.deadline = now + kAnswerUs;
}

// A block that failed: NAK once the line is quiet, ten times at most.
void bad(int64_t now) {
  if (++r.tries > kRetries) {
    Stop("-Too many retries-", true);
    return;
  }
  r.retries++;
  row(true);
  r.afterQuiet = Phase::Block;
  r.phase = Phase::Quiet;
  r.deadline = now + kQuietUs;
}

bool openFile(const char* name) {
  std::snprintf(r.name, sizeof r.name, "%s", name);
  r.h = CreateTemp(r.folder, r.name, r.tmp, sizeof r.tmp);
  if (r.h == kInvalidHandle) {
    char text[kPathMax + 32];
    std::snprintf(text, sizeof text, "-Cannot write %s-", r.name);
    Stop(text, true);
    return false;
  }
  r.written = 0;
  r.heldLen = 0;
  r.retries = 0;
  r.fileStartUs = platMonotonicUs();
  row(true);
  return true;
}

// YMODEM's block 0: "name\0size ..." or all zeros.
void header(int64_t now) {
  const char* data = reinterpret_cast<const char*>(r.buf + 2);
  if (data[0] == 0) {
    PutByte(kAck);
    r.phase = Phase::Done;
    Over();
    return;
  }
  char raw[kBlockMax + 1];
  std::memcpy(raw, data, static_cast<size_t>(r.len));
  raw[r.len] = 0;
  char plain[kPathMax];
  if (!PlainName(raw, plain, sizeof plain)) {
    char shown[80], text[120];
    ShownName(raw, shown, sizeof shown);
    std::snprintf(text, sizeof text, "-YMODEM refused the file name %s-", shown);
    Stop(text, true);
    return;
  }
  const size_t at = std::strlen(raw) + 1;
  r.size = -1;
  if (at < static_cast<size_t>(r.len) && raw[at] >= '0' && raw[at] <= '9') r.size = std::strtoll(raw + at, nullptr, 10);
  if (!openFile(plain)) return;
  PutByte(kAck);
  r.wantHeader = false;
  r.expect = 1;
  r.starts = 0;
  sendStart(now);
}

// The file is complete: the rest written, then named.
void finish() {
  if (r.heldLen > 0) {
    int n = r.heldLen;
    while (n > 0 && r.held[n - 1] == kSub) n--;
    r.heldLen = 0;
    if (!write(r.held, n)) return;
  }
  platFileClose(r.h);
  r.h = kInvalidHandle;
  char final[kPathMax + 32];
  if (!PlaceFile(r.tmp, r.folder, r.name, final, sizeof final)) {
    platFileDelete(r.tmp);
    char text[kPathMax + 32];
    std::snprintf(text, sizeof text, "-Cannot write %s-", r.name);
    Stop(text, true);
    return;
  }
  FileDone("received", BaseName(final), r.written, r.fileStartUs);
}

void endOfFile(int64_t now) {
  PutByte(kAck);
  if (r.h == kInvalidHandle) return;   // an EOT sent again: our ACK was lost
  finish();
  if (r.phase == Phase::Done) return;
  if (!r.ymodem) {
    r.phase = Phase::Done;
    Over();
    return;
  }
  r.wantHeader = true;
  r.expect = 0;
  r.starts = 0;
  r.name[0] = 0;
  sendStart(now);
}

void data(int64_t now) {
  const uint8_t* p = r.buf + 2;
  int n = r.len;
  if (r.size >= 0) {
    // YMODEM gave the size: what lies beyond it is padding.
    const int64_t left = r.size - r.written;
    if (n > left) n = static_cast<int>(left < 0 ? 0 : left);
    if (!write(p, n)) return;
  } else {
    if (!write(r.held, r.heldLen)) return;
    std::memcpy(r.held, p, static_cast<size_t>(n));
    r.heldLen = n;
  }
  PutByte(kAck);
  r.expect++;
  r.tries = 0;
  row(false);
  expectBlock(now);
}

void block(int64_t now) {
  const uint8_t seq = r.buf[0];
  bool ok = static_cast<uint8_t>(seq ^ r.buf[1]) == 0xFF;
  if (ok && r.crc) {
    const uint16_t c = Crc16(r.buf + 2, r.len);
    ok = r.buf[2 + r.len] == static_cast<uint8_t>(c >> 8) && r.buf[3 + r.len] == static_cast<uint8_t>(c);
  } else if (ok) {
    ok = r.buf[2 + r.len] == Sum8(r.buf + 2, r.len);
  }
  if (!ok) {
    bad(now);
    return;
  }
  if (r.wantHeader && seq == 0) {
    header(now);
    return;
  }
  if (!r.wantHeader && seq == r.expect) {
    data(now);
    return;
  }
  if (!r.wantHeader && seq == static_cast<uint8_t>(r.expect - 1)) {
    // Sent again because our ACK was lost: acknowledged, not written twice.
    // A block 0 sent again waits for the data's start once more.
    PutByte(kAck);
    if (r.ymodem && seq == 0) {
      sendStart(now);
    } else {
      expectBlock(now);
    }
    return;
  }
  if (r.wantHeader) {
    bad(now);
    return;
  }
  Stop("-Block out of sequence-", true);
}

void take(uint8_t b, int64_t now) {
  switch (r.phase) {
    case Phase::Start:
    case Phase::Block:
      if (b == kSoh || b == kStx) {
        r.len = b == kSoh ? 128 : kBlockMax;
        r.need = 2 + r.len + (r.crc ? 2 : 1);
        r.got = 0;
        r.phase = Phase::Body;
        r.deadline = now + kByteGapUs;
      } else if (b == kEot) {
        endOfFile(now);
      } else {
        // Line noise, or a block whose first byte was spoiled: what follows
        // is dropped until the line is quiet, then the block is asked for
        // again (the start, before the first one).
        r.afterQuiet = r.phase;
        r.phase = Phase::Quiet;
        r.deadline = now + kQuietUs;
      }
      break;
    case Phase::Body:
      r.buf[r.got++] = b;
      r.deadline = now + kByteGapUs;
      if (r.got == r.need) block(now);
      break;
    case Phase::Quiet: r.deadline = now + kQuietUs; break;
    case Phase::Done: break;
  }
}

}  // namespace

void RecvBegin(bool ymodem, const char* path, int64_t now) {
  r = Receiver{};
  r.ymodem = ymodem;
  r.wantHeader = ymodem;
  r.expect = ymodem ? 0 : 1;
  if (ymodem) {
    std::snprintf(r.folder, sizeof r.folder, "%s", path);
  } else {
    const char* base = BaseName(path);
    std::snprintf(r.folder, sizeof r.folder, "%.*s", static_cast<int>(base - path), path);
    if (!openFile(base)) return;
  }
  if (ymodem) row(true);
  sendStart(now);
}

void RecvBytes(const uint8_t* p, int32_t n, int64_t now) {
  for (int32_t i = 0; i < n && r.phase != Phase::Done; i++) {
    // CAN CAN outside a block is the device's cancel.
    if (p[i] == kCan && r.phase != Phase::Body) {
      if (++r.cans >= 2) {
        Stop("-Cancelled by the device-", false);
        return;
      }
      continue;
    }
    if (r.phase != Phase::Body) r.cans = 0;
    take(p[i], now);
  }
}

void RecvTick(int64_t now) {
  if (r.phase == Phase::Done || now < r.deadline) return;
  switch (r.phase) {
    case Phase::Start:
      if (r.starts > kRetries) {
        Stop("-No answer from the device-", true);
        return;
      }
      sendStart(now);
      break;
    case Phase::Block:
    case Phase::Body:
      // No block, or one cut short.
      bad(now);
      break;
    case Phase::Quiet:
      if (r.afterQuiet == Phase::Start) {
        sendStart(now);
        break;
      }
      PutByte(kNak);
      expectBlock(now);
      break;
    case Phase::Done: break;
  }
}

void RecvDrop() {
  dropFile();
  r.phase = Phase::Done;
}

}  // namespace xmodem
