// The device end of a serial port for the Wine tests, the run script and the benchmark: a pseudo-terminal whose other end Wine opens as COM1.
//
//   ptydev --link FILE [--alias PATH] [--ctl FIFO] [--ack FILE] [--rx FILE] [--tx FILE] [--stamps FILE] [--echo]
//          [--stats FILE] [--target MS] [--rate N] [--lines FILE] [--run PROG ARGS...]
//
// FILE receives the terminal's path once the device is ready. --alias makes
// PATH a symbolic link to the terminal, a name that stays the same when the
// device is pulled and plugged in again. Commands come one per line through
// the control FIFO:
//   echo 0|1        send every received byte back
//   send HEX        send these bytes (two hex digits each)
//   clear           drop whatever waits in both directions, empty the record
//   flood 0|1       send text lines as fast as the line takes them
//   line HEX        the line that flood and pace send (two hex digits a
//                   byte; none: the text line again)
//   file PATH       send the file's bytes once, as fast as the line takes
//                   them
//   pace N          send the same lines at N bytes a second, a few bytes
//                   each millisecond as a serial line delivers them (0 stops)
//   hold 0|1        stop reading what the program sends (a device that
//                   stopped reading: its line fills up), or read again
//   stats           write "rx N tx N purges N dropped N" (so far) into the
//                   stats file
//   target MS       act as a small FORTH board (0 stops), as --target MS
//   rate N          send at most N bytes a second, as --rate N (0: no limit)
//   sync TOKEN      append TOKEN and a newline to the ack file (all earlier
//                   commands have been carried out by then)
//   pull            the device is gone, as a USB adapter pulled out: both
//                   ends of the terminal closed (the other end hangs up),
//                   the alias removed
//   plug            a device again, on a new terminal: the alias and FILE
//                   name it
//   quit            end
// --target MS makes the device a small FORTH board: it echoes what arrives,
// and at each line end (CR or LF) works on the line for MS milliseconds,
// dropping every byte that arrives meanwhile, then answers " ok" CR LF, or
// " compiled" CR LF while a definition is open (a line whose first word is
// ':' opens one, a ';' word closes it); a line holding "oops" is answered
// " oops not found." CR LF and throws the open definition away, a line
// holding "mute" is not answered at all. --lines appends each line it worked
// on to a file. --rate N makes the device a slow line: whatever it sends
// (the board's echo and answers too) goes out at N bytes a second.
// --rx appends every received byte to a file, --tx every byte sent (what a
// bridged program printed, say). --stamps appends one line per
// received byte to a file: the time it was read, in nanoseconds of
// CLOCK_MONOTONIC_RAW, the clock that Wine's QueryPerformanceCounter counts
// in 100 ns steps, so that a Windows program can set the arrival of its bytes
// against its own times. Each purge of the port's
// queues by the program on the other end (as a terminal does when it opens
// the port) appends the line "purge" to the ack file. --run bridges the line
// to a program on a terminal of its own (a FORTH system, say), holding what
// the program writes until the port is first opened, so that its greeting is
// not purged, and starts it again when it ends.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int gMaster = -1;
int gSlave = -1;  // held so that the line stays up while Wine closes and reopens the port
int gCtl = -1;
int gRx = -1;
int gStamps = -1;
int gTx = -1;
const char* gCtlPath = nullptr;
const char* gAckPath = nullptr;
const char* gStatsPath = nullptr;
bool gEcho = false;
bool gFlood = false;
bool gHold = false;
long gPaceRate = 0;             // bytes a second while pacing
long long gPaceStartNs = 0;
unsigned long long gPaced = 0;  // bytes of the paced stream so far
std::string gOut;    // waiting to go to the line
std::string gToProg; // waiting to go to the bridged program
std::string gCtlLine;
long gTargetMs = 0;             // the simulated board's time per line
long long gBusyUntilNs = 0;     // it drops what arrives before then
std::string gTargetLine;        // the line it is taking in
std::string gTargetReply;       // its answer, due when the work is done
bool gTargetInDefinition = false;
long gRate = 0;                 // bytes a second it sends at most (0: no limit)
long long gRateNextNs = 0;      // when the next of them may go
unsigned long long gDropped = 0;
int gLines = -1;
unsigned long long gRxCount = 0;
unsigned long long gTxCount = 0;
unsigned long long gPurges = 0;
bool gOpened = false;  // the other end has purged the port at least once
std::string gHeld;     // the bridged program's output from before that
char** gProgArgv = nullptr;
int gProg = -1;  // the bridged program's terminal
pid_t gProgPid = -1;
bool gQuit = false;
const char* gLinkPath = nullptr;
const char* gAliasPath = nullptr;

// One line of a flood: printable text ending in CR LF, as a chatty device sends.
const char kFloodLine[] = "0123456789 The quick brown fox jumps over the lazy dog. ABCDEFGHIJKLMNOPQRST\r\n";
std::string gLine = kFloodLine;  // what flood and pace send, line after line
std::string gFile;               // a file being sent, and how far it has gone
size_t gFileAt = 0;

long long nowNs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// The paced stream: the flood's lines, cut wherever the time is up.
void pace() {
  const unsigned long long due =
      static_cast<unsigned long long>((nowNs() - gPaceStartNs) / 1000) * gPaceRate / 1000000;
  const size_t len = gLine.size();
  for (; gPaced < due; gPaced++) gOut += gLine[gPaced % len];
}

void setNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void writeWhole(const char* path, const std::string& text, bool append) {
  if (!path) return;
  const int fd = open(path, O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC), 0644);
  if (fd < 0) return;
  const ssize_t r = write(fd, text.data(), text.size());
  (void)r;
  close(fd);
}

bool plugIn();
void pullOut();

void discardLine() {
  // Our own flush shows up as a purge on the master in packet mode: it is
  // read away here and not counted.
  if (gMaster >= 0) {
    tcflush(gSlave, TCIOFLUSH);
    char buf[4096];
    while (read(gMaster, buf, sizeof buf) > 0) {
    }
  }
  gOut.clear();
  if (gRx >= 0 && ftruncate(gRx, 0) != 0) std::perror("ptydev: truncate");
}

void command(const std::string& line) {
  const size_t sp = line.find(' ');
  const std::string verb = line.substr(0, sp);
  const std::string arg = sp == std::string::npos ? "" : line.substr(sp + 1);
  if (verb == "echo") {
    gEcho = arg == "1";
  } else if (verb == "send") {
    for (size_t i = 0; i + 1 < arg.size(); i += 2) {
      const int hi = hexValue(arg[i]), lo = hexValue(arg[i + 1]);
      if (hi < 0 || lo < 0) break;
      gOut += static_cast<char>(hi * 16 + lo);
    }
  } else if (verb == "line") {
    std::string line;
    for (size_t i = 0; i + 1 < arg.size(); i += 2) {
      const int hi = hexValue(arg[i]), lo = hexValue(arg[i + 1]);
      if (hi < 0 || lo < 0) break;
      line += static_cast<char>(hi * 16 + lo);
    }
    gLine = line.empty() ? std::string(kFloodLine) : line;
  } else if (verb == "file") {
    gFile.clear();
    gFileAt = 0;
    const int fd = open(arg.c_str(), O_RDONLY);
    if (fd < 0) std::perror("ptydev: file");
    char chunk[65536];
    ssize_t r;
    while (fd >= 0 && (r = read(fd, chunk, sizeof chunk)) > 0) gFile.append(chunk, static_cast<size_t>(r));
    if (fd >= 0) close(fd);
  } else if (verb == "clear") {
    discardLine();
  } else if (verb == "flood") {
    gFlood = arg == "1";
  } else if (verb == "pace") {
    gPaceRate = std::atol(arg.c_str());
    gPaceStartNs = nowNs();
    gPaced = 0;
  } else if (verb == "hold") {
    gHold = arg == "1";
  } else if (verb == "stats") {
    char text[96];
    std::snprintf(text, sizeof text, "rx %llu tx %llu purges %llu dropped %llu\n", gRxCount, gTxCount, gPurges,
                  gDropped);
    writeWhole(gStatsPath, text, false);
  } else if (verb == "sync") {
    writeWhole(gAckPath, arg + "\n", true);
  } else if (verb == "target") {
    gTargetMs = std::atol(arg.c_str());
  } else if (verb == "rate") {
    gRate = std::atol(arg.c_str());
  } else if (verb == "pull") {
    pullOut();
  } else if (verb == "plug") {
    if (gMaster < 0 && !plugIn()) gQuit = true;
  } else if (verb == "quit") {
    gQuit = true;
  } else if (!verb.empty()) {
    std::fprintf(stderr, "ptydev: unknown command '%s'\n", line.c_str());
  }
}

void readControl() {
  char buf[4096];
  ssize_t r;
  while ((r = read(gCtl, buf, sizeof buf)) > 0) {
    for (ssize_t i = 0; i < r; i++) {
      if (buf[i] == '\n') {
        if (!gCtlLine.empty() && gCtlLine.back() == '\r') gCtlLine.pop_back();
        command(gCtlLine);
        gCtlLine.clear();
      } else {
        gCtlLine += buf[i];
      }
    }
  }
}

void startProgram() {
  // The program's terminal cooks nothing on the way in: what arrives from
  // the line reaches the program as typed, CR for Enter included; on the way
  // out a newline becomes CR LF, which a terminal window needs.
  termios tio;
  std::memset(&tio, 0, sizeof tio);
  cfmakeraw(&tio);
  tio.c_iflag |= ICRNL;
  tio.c_oflag |= OPOST | ONLCR;
  tio.c_lflag |= ISIG | ICANON | ECHO | ECHOE | IEXTEN;
  tio.c_cc[VINTR] = 3;
  tio.c_cc[VERASE] = 8;
  tio.c_cc[VEOF] = 4;
  tio.c_cc[VMIN] = 1;
  cfsetspeed(&tio, B115200);
  winsize ws;
  std::memset(&ws, 0, sizeof ws);
  ws.ws_row = 32;
  ws.ws_col = 80;
  const pid_t pid = forkpty(&gProg, nullptr, &tio, &ws);
  if (pid < 0) {
    std::perror("ptydev: forkpty");
    gProg = -1;
    return;
  }
  if (pid == 0) {
    setenv("TERM", "dumb", 1);
    execvp(gProgArgv[0], gProgArgv);
    std::perror("ptydev: exec");
    _exit(127);
  }
  gProgPid = pid;
  setNonBlocking(gProg);
}

void programEnded() {
  close(gProg);
  gProg = -1;
  int status = 0;
  waitpid(gProgPid, &status, 0);
  gProgPid = -1;
  gToProg.clear();
  static const char kRestart[] = "\r\n[program ended - starting it again]\r\n";
  gOut.append(kRestart, sizeof kRestart - 1);
  sleep(1);
  startProgram();
}

void received(const char* data, size_t n);

void purged() {
  gPurges++;
  writeWhole(gAckPath, "purge\n", true);
  if (!gOpened) {
    gOpened = true;
    gOut += gHeld;
    gHeld.clear();
  }
}

// A read from the master in packet mode: a zero byte and data, or one byte
// of status flags.
void packet(const char* data, size_t n) {
  if (n == 0) return;
  if (data[0] != 0) {
    if (data[0] & TIOCPKT_FLUSHREAD) purged();
    return;
  }
  received(data + 1, n - 1);
}

void stamp(size_t n) {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC_RAW, &ts);
  char one[24];
  const int len = std::snprintf(one, sizeof one, "%lld\n", static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec);
  // Bytes read together arrived together: one write for all their lines.
  std::string lines;
  for (size_t i = 0; i < n; i++) lines.append(one, static_cast<size_t>(len));
  const ssize_t r = write(gStamps, lines.data(), lines.size());
  (void)r;
}

// The simulated board: echo, then a busy time per line that loses input.
void targetByte(char c) {
  if (nowNs() < gBusyUntilNs) {
    gDropped++;
    return;
  }
  if (c != '\r' && c != '\n') {
    gOut += c;
    gTargetLine += c;
    return;
  }
  if (gLines >= 0) {
    const std::string rec = gTargetLine + "\n";
    const ssize_t r = write(gLines, rec.data(), rec.size());
    (void)r;
  }
  const std::string words = " " + gTargetLine + " ";
  if (gTargetLine.find("mute") != std::string::npos) {
    gTargetReply.clear();
  } else if (gTargetLine.find("oops") != std::string::npos) {
    gTargetReply = " oops not found.\r\n";
    gTargetInDefinition = false;
  } else {
    const size_t first = gTargetLine.find_first_not_of(" \t");
    if (first != std::string::npos && gTargetLine.compare(first, 2, ": ") == 0) gTargetInDefinition = true;
    if (words.find(" ; ") != std::string::npos) gTargetInDefinition = false;
    gTargetReply = gTargetInDefinition ? " compiled\r\n" : " ok\r\n";
  }
  gTargetLine.clear();
  gBusyUntilNs = nowNs() + gTargetMs * 1000000LL;
}

void targetDue() {
  if (gTargetReply.empty() || nowNs() < gBusyUntilNs) return;
  gOut += gTargetReply;
  gTargetReply.clear();
}

void received(const char* data, size_t n) {
  if (gStamps >= 0 && n > 0) stamp(n);
  if (gTargetMs > 0) {
    for (size_t i = 0; i < n; i++) targetByte(data[i]);
  }
  gRxCount += n;
  if (gRx >= 0) {
    const ssize_t r = write(gRx, data, n);
    (void)r;
  }
  if (gEcho && gTargetMs == 0) gOut.append(data, n);
  if (gProg >= 0) gToProg.append(data, n);
}

// Bytes that went out to the line: counted, and kept in the --tx file.
void sentToLine(const char* data, ssize_t n) {
  gTxCount += static_cast<unsigned long long>(n);
  if (gTx >= 0 && write(gTx, data, static_cast<size_t>(n)) < 0) std::perror("ptydev: tx");
}

// Sends to the line no faster than the rate: a byte each 1/N s, with no
// burst for time left unused.
void flushRated() {
  const long long now = nowNs();
  if (gRateNextNs < now - 1000000) gRateNextNs = now - 1000000;
  size_t n = 0;
  while (n < gOut.size() && gRateNextNs <= now) {
    n++;
    gRateNextNs += 1000000000LL / gRate;
  }
  if (n == 0) return;
  const ssize_t r = write(gMaster, gOut.data(), n);
  if (r <= 0) {
    gRateNextNs = now;
    return;
  }
  sentToLine(gOut.data(), r);
  gOut.erase(0, static_cast<size_t>(r));
}

bool flush(int fd, std::string& pending, bool countTx) {
  while (!pending.empty()) {
    const ssize_t r = write(fd, pending.data(), pending.size());
    if (r <= 0) return errno == EAGAIN || errno == EINTR;
    if (countTx) sentToLine(pending.data(), r);
    pending.erase(0, static_cast<size_t>(r));
  }
  return true;
}

// Points PATH at TARGET in one step, so nobody sees it missing in between.
bool linkAs(const char* path, const std::string& target) {
  const std::string tmp = std::string(path) + ".tmp";
  unlink(tmp.c_str());
  if (symlink(target.c_str(), tmp.c_str()) != 0 || rename(tmp.c_str(), path) != 0) {
    std::perror("ptydev: alias");
    return false;
  }
  return true;
}

// A new terminal in raw mode at 115200 baud, with packet mode for purges,
// named by the alias and the link file.
bool plugIn() {
  termios tio;
  std::memset(&tio, 0, sizeof tio);
  cfmakeraw(&tio);
  cfsetspeed(&tio, B115200);
  char name[128] = "";
  if (openpty(&gMaster, &gSlave, name, &tio, nullptr) != 0) {
    std::perror("ptydev: openpty");
    return false;
  }
  setNonBlocking(gMaster);
  int on = 1;
  if (ioctl(gMaster, TIOCPKT, &on) != 0) {
    std::perror("ptydev: packet mode");
    return false;
  }
  if (gAliasPath && !linkAs(gAliasPath, name)) return false;
  const std::string tmp = std::string(gLinkPath) + ".tmp";
  writeWhole(tmp.c_str(), std::string(name) + "\n", false);
  if (rename(tmp.c_str(), gLinkPath) != 0) {
    std::perror("ptydev: rename");
    return false;
  }
  return true;
}

void pullOut() {
  if (gMaster < 0) return;
  if (gAliasPath) unlink(gAliasPath);
  close(gSlave);
  close(gMaster);
  gSlave = gMaster = -1;
  gOut.clear();
}

int usage() {
  std::fprintf(stderr,
               "usage: ptydev --link FILE [--alias PATH] [--ctl FIFO] [--ack FILE] [--rx FILE] [--tx FILE] "
               "[--stamps FILE] [--echo] [--stats FILE] [--target MS] [--rate N] [--lines FILE] [--run PROG ARGS...]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const char* rxPath = nullptr;
  const char* stampsPath = nullptr;
  for (int i = 1; i < argc; i++) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "--link" && more) gLinkPath = argv[++i];
    else if (a == "--alias" && more) gAliasPath = argv[++i];
    else if (a == "--ctl" && more) gCtlPath = argv[++i];
    else if (a == "--ack" && more) gAckPath = argv[++i];
    else if (a == "--rx" && more) rxPath = argv[++i];
    else if (a == "--tx" && more) gTx = open(argv[++i], O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
    else if (a == "--stamps" && more) stampsPath = argv[++i];
    else if (a == "--stats" && more) gStatsPath = argv[++i];
    else if (a == "--echo") gEcho = true;
    else if (a == "--target" && more) gTargetMs = std::atol(argv[++i]);
    else if (a == "--rate" && more) gRate = std::atol(argv[++i]);
    else if (a == "--lines" && more) gLines = open(argv[++i], O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
    else if (a == "--run" && more) {
      gProgArgv = argv + i + 1;
      break;
    } else return usage();
  }
  if (!gLinkPath) return usage();
  signal(SIGPIPE, SIG_IGN);

  if (gCtlPath) {
    unlink(gCtlPath);
    if (mkfifo(gCtlPath, 0600) != 0) {
      std::perror("ptydev: mkfifo");
      return 1;
    }
    // Opened for writing too, so that the FIFO never reads as ended between writers.
    gCtl = open(gCtlPath, O_RDWR | O_NONBLOCK);
  }
  if (rxPath) gRx = open(rxPath, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
  if (stampsPath) gStamps = open(stampsPath, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
  if (gProgArgv) startProgram();
  if (!plugIn()) return 1;

  char buf[8192];
  while (!gQuit) {
    if (gPaceRate > 0) pace();
    if (gTargetMs > 0) targetDue();
    if (gFlood && gOut.size() < sizeof buf) {
      while (gOut.size() < sizeof buf) gOut += gLine;
    }
    // A file goes out a buffer at a time, so what waits stays small.
    if (gFileAt < gFile.size() && gOut.size() < sizeof buf) {
      const size_t n = std::min(sizeof buf - gOut.size(), gFile.size() - gFileAt);
      gOut.append(gFile, gFileAt, n);
      gFileAt += n;
    }
    pollfd fds[3];
    int n = 0;
    // A pulled device has no terminal: poll passes over a negative descriptor.
    const bool rated = gRate > 0 && !gOut.empty();   // waits for its time, not for room
    fds[n++] = {gMaster, static_cast<short>((gHold ? 0 : POLLIN) | (gOut.empty() || rated ? 0 : POLLOUT)), 0};
    const int ctlIndex = gCtl >= 0 ? n : -1;
    if (gCtl >= 0) fds[n++] = {gCtl, POLLIN, 0};
    const int progIndex = gProg >= 0 ? n : -1;
    if (gProg >= 0) fds[n++] = {gProg, static_cast<short>(POLLIN | (gToProg.empty() ? 0 : POLLOUT)), 0};
    if (poll(fds, n, gPaceRate > 0 || !gTargetReply.empty() || rated ? 1 : -1) < 0) {
      if (errno == EINTR) continue;
      std::perror("ptydev: poll");
      return 1;
    }
    if (fds[0].revents & POLLIN) {
      const ssize_t r = read(gMaster, buf, sizeof buf);
      if (r > 0) packet(buf, static_cast<size_t>(r));
    }
    if (ctlIndex >= 0 && (fds[ctlIndex].revents & POLLIN)) readControl();
    if (gMaster >= 0 && !gOut.empty()) {
      if (gRate > 0) {
        flushRated();
      } else {
        flush(gMaster, gOut, true);
      }
    }
    if (gMaster < 0) gOut.clear();
    if (progIndex >= 0 && gProg >= 0) {
      if (fds[progIndex].revents & POLLIN) {
        const ssize_t r = read(gProg, buf, sizeof buf);
        if (r > 0) (gOpened ? gOut : gHeld).append(buf, static_cast<size_t>(r));
        else if (r < 0 && errno != EAGAIN && errno != EINTR) programEnded();
      } else if (fds[progIndex].revents & (POLLHUP | POLLERR)) {
        programEnded();
      }
      if (gProg >= 0 && !gToProg.empty()) flush(gProg, gToProg, false);
    }
  }
  if (gProgPid > 0) {
    kill(gProgPid, SIGTERM);
    waitpid(gProgPid, nullptr, 0);
  }
  if (gCtlPath) unlink(gCtlPath);
  return 0;
}
