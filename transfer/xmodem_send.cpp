// The XMODEM/YMODEM sender: waits for the receiver's start ('C' for CRC-16,
// NAK for the checksum), sends each block until it is acknowledged (a NAK
// or no answer within 10 s sends it again, ten times at most), then EOT.
// YMODEM sends block 0 with each file's name and size first, and an empty
// block 0 after the last file.
#include <cstdio>
#include <cstring>

#include "platform/file.h"
#include "platform/thread.h"
#include "transfer/xmodem_internal.h"

namespace xmodem {

namespace {

enum class Phase { Start, Settle, DataStart, Packet, Answer, Done };
enum class Packet { Header, Data, End, Eot };

struct Sender {
  bool ymodem = false;
  bool oneK = false;
  bool crc = false;
  char paths[kBatchMax][kPathMax] = {};
  int count = 0;
  int index = 0;
  PlatHandle h = kInvalidHandle;
  int64_t size = 0;
  int64_t acked = 0;
  bool atEnd = false;      // the file's last byte was read
  Phase phase = Phase::Done;
  Packet kind = Packet::Data;
  uint8_t pkt[kPacketMax] = {};
  int pktLen = 0;
  int dataLen = 0;         // file bytes in the packet
  uint8_t seq = 1;
  int tries = 0;           // of this block (or of the start)
  int retries = 0;         // of this file, for the row
  int cans = 0;
  bool eotNakSeen = false;
  uint8_t startedBy = 0;   // the start character met while settling
  int64_t deadline = 0;
  int64_t fileStartUs = 0;
};
Sender s;

const char* name() { return BaseName(s.paths[s.index]); }

void closeFile() {
  if (s.h != kInvalidHandle) platFileClose(s.h);
  s.h = kInvalidHandle;
}

void row(bool force) { Progress("send", name(), s.acked, s.size, s.retries, force); }

// Reads up to n bytes of the file, as many reads as it takes.
int readFile(uint8_t* p, int n, bool* error) {
  int got = 0;
  while (got < n) {
    uint32_t r = 0;
    if (!platFileRead(s.h, p + got, static_cast<uint32_t>(n - got), &r)) {
      *error = true;
      return got;
    }
    if (r == 0) break;
    got += static_cast<int>(r);
  }
  return got;
}

void frame(uint8_t start, int len) {
  s.pkt[0] = start;
  s.pkt[1] = s.seq;
  s.pkt[2] = static_cast<uint8_t>(0xFF - s.seq);
  if (s.crc) {
    const uint16_t c = Crc16(s.pkt + 3, len);
    s.pkt[3 + len] = static_cast<uint8_t>(c >> 8);
    s.pkt[4 + len] = static_cast<uint8_t>(c);
    s.pktLen = 5 + len;
  } else {
    s.pkt[3 + len] = Sum8(s.pkt + 3, len);
    s.pktLen = 4 + len;
  }
}

// Queues the packet; when the buffer has no room now, the step does later.
void send() {
  s.phase = Phase::Packet;
  SendStep();
}

// YMODEM's block 0: the name and the size in decimal, or all zeros after
// the last file. A name too long for 128 bytes goes in a block of 1024.
void header(bool end) {
  s.seq = 0;
  s.kind = end ? Packet::End : Packet::Header;
  std::memset(s.pkt + 3, 0, kBlockMax);
  int len = 128;
  if (!end) {
    const int n = std::snprintf(reinterpret_cast<char*>(s.pkt + 3), kBlockMax - 24, "%s", name());
    std::snprintf(reinterpret_cast<char*>(s.pkt + 4 + n), 24, "%lld", static_cast<long long>(s.size));
    if (n + 24 > 128) len = kBlockMax;
  }
  s.dataLen = 0;
  frame(len == 128 ? kSoh : kStx, len);
  send();
}

bool openFile() {
  const PlatHandle h = platFileOpenRead(s.paths[s.index]);
  if (h == kInvalidHandle) return false;
  s.h = h;
  // The size: read to the end once; the file is opened again to send it.
  uint8_t buf[4096];
  bool error = false;
  int64_t size = 0;
  for (;;) {
    const int n = readFile(buf, sizeof buf, &error);
    size += n;
    if (error || n < static_cast<int>(sizeof buf)) break;
  }
  platFileClose(h);
  s.h = error ? kInvalidHandle : platFileOpenRead(s.paths[s.index]);
  if (s.h == kInvalidHandle) return false;
  s.size = size;
  s.acked = 0;
  s.atEnd = size == 0;
  s.retries = 0;
  s.seq = 1;
  s.eotNakSeen = false;
  return true;
}

void eot() {
  s.kind = Packet::Eot;
  s.pkt[0] = kEot;
  s.pktLen = 1;
  s.dataLen = 0;
  send();
}

// The next data block, or EOT at the end of the file. A rest of 128 bytes
// or less goes in a short block.
void nextBlock() {
  if (s.atEnd) {
    eot();
    return;
  }
  const int len = s.oneK && s.crc && s.size - s.acked > 128 ? kBlockMax : 128;
  bool error = false;
  const int n = readFile(s.pkt + 3, len, &error);
  if (error) {
    char text[kPathMax + 32];
    std::snprintf(text, sizeof text, "-Cannot read %s-", name());
    Stop(text, true);
    return;
  }
  if (n < len) {
    std::memset(s.pkt + 3 + n, kSub, static_cast<size_t>(len - n));
    s.atEnd = true;
  } else if (s.acked + n >= s.size) {
    s.atEnd = true;
  }
  if (n == 0) {
    eot();
    return;
  }
  s.kind = Packet::Data;
  s.dataLen = n;
  frame(len == 128 ? kSoh : kStx, len);
  send();
}

// The receiver asked for the start (YMODEM: of a file's block 0 or of its
// data).
void started(uint8_t b) {
  // A receiver program that has only just started may still be setting up
  // its line and drop what comes at once: the first block of a session
  // waits until the line was quiet for a moment.
  if (s.phase == Phase::Start && s.index == 0 && s.startedBy == 0) {
    s.startedBy = b;
    s.phase = Phase::Settle;
    s.deadline = platMonotonicUs() + kSettleUs;
    return;
  }
  if (s.phase == Phase::Start && !s.ymodem) s.crc = b == kCrcStart;
  if (s.ymodem) s.crc = true;
  s.tries = 0;
  if (s.ymodem && s.phase == Phase::Start) {
    header(s.index >= s.count);
    return;
  }
  nextBlock();
}

void retry(const char* why) {
  if (++s.tries > kRetries) {
    Stop(why, true);
    return;
  }
  s.retries++;
  row(true);
  send();
}

// The batch's end: its empty block 0 needs no answer (some receivers end
// without one); an ACK that comes soon is taken.
void finishBatch() {
  closeFile();
  s.phase = Phase::Done;
  Over();
}

void acknowledged(int64_t now) {
  s.tries = 0;
  switch (s.kind) {
    case Packet::End: finishBatch(); return;
    case Packet::Header:
      s.seq = 1;
      s.phase = Phase::DataStart;
      s.deadline = now + kAnswerUs;
      return;
    case Packet::Data:
      s.acked += s.dataLen;
      s.seq++;
      row(false);
      nextBlock();
      return;
    case Packet::Eot:
      closeFile();
      FileDone("sent", name(), s.acked, s.fileStartUs);
      s.index++;
      if (!s.ymodem) {
        s.phase = Phase::Done;
        Over();
        return;
      }
      if (s.index < s.count && !openFile()) {
        char text[kPathMax + 32];
        std::snprintf(text, sizeof text, "-Cannot open %s-", name());
        Stop(text, true);
        return;
      }
      s.fileStartUs = now;
      if (s.index < s.count) row(true);
      s.phase = Phase::Start;
      s.deadline = now + kAnswerUs;
      return;
  }
}

}  // namespace

bool SendBegin(bool ymodem, bool oneK, const char (*paths)[kPathMax], int count, char* failed, size_t size) {
  s = Sender{};
  s.ymodem = ymodem;
  s.oneK = ymodem || oneK;
  s.count = count < kBatchMax ? count : kBatchMax;
  if (!ymodem) s.count = 1;
  for (int i = 0; i < s.count; i++) std::memcpy(s.paths[i], paths[i], kPathMax);
  if (!openFile()) {
    std::snprintf(failed, size, "%s", s.paths[0]);
    return false;
  }
  s.phase = Phase::Start;
  s.fileStartUs = platMonotonicUs();
  s.deadline = s.fileStartUs + kAnswerUs;
  row(true);
  return true;
}

void SendStep() {
  if (s.phase != Phase::Packet) return;
  if (!Put(s.pkt, s.pktLen)) return;
  s.phase = Phase::Answer;
  s.deadline = platMonotonicUs() + (s.kind == Packet::End ? kEndAnswerUs : kAnswerUs);
}

void SendBytes(const uint8_t* p, int32_t n, int64_t now) {
  for (int32_t i = 0; i < n && s.phase != Phase::Done; i++) {
    const uint8_t b = p[i];
    if (b == kCan) {
      if (++s.cans >= 2) {
        Stop("-Cancelled by the device-", false);
        return;
      }
      continue;
    }
    s.cans = 0;
    switch (s.phase) {
      case Phase::Start:
        if (b == kCrcStart || (b == kNak && !s.ymodem)) started(b);
        break;
      case Phase::DataStart:
        if (b == kCrcStart) started(b);
        break;
      case Phase::Settle: s.deadline = now + kSettleUs; break;
      case Phase::Answer:
        if (b == kAck) {
          acknowledged(now);
        } else if (b == kNak) {
          // A YMODEM receiver answers the first EOT with NAK by rule.
          if (s.kind == Packet::Eot && !s.eotNakSeen) {
            s.eotNakSeen = true;
            send();
          } else {
            retry("-Too many retries-");
          }
        }
        break;
      default: break;
    }
  }
}

void SendTick(int64_t now) {
  if (s.phase == Phase::Done || s.phase == Phase::Packet || now < s.deadline) return;
  if (s.phase == Phase::Settle) {
    s.phase = Phase::Start;
    started(s.startedBy);
    return;
  }
  if (s.phase == Phase::Answer && s.kind == Packet::End) {
    finishBatch();
    return;
  }
  s.deadline = now + kAnswerUs;
  if (s.phase == Phase::Answer) {
    retry("-Too many retries-");
    return;
  }
  // No start from the receiver.
  if (++s.tries > kRetries) {
    Stop("-No answer from the device-", true);
    return;
  }
  s.retries++;
  row(true);
}

void SendDrop() {
  closeFile();
  s.phase = Phase::Done;
}

}  // namespace xmodem
