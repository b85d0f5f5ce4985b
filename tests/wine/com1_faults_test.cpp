// Faults of the Win32 build under Wine on COM1: the device is pulled out
// while connected and plugged in again, Setup's Ok is pressed again under a
// box of its own open, the record file's disk fills up, the
// send file is deleted or cut short while it goes out, and the program is
// closed while it sends, records and receives at once. COM1 is the run's
// device helper, driven through its control FIFO (ZW_DEV_CTL). The small
// disk is the tmpfs the run mounts for this (ZW_SMALLFS). Prints "PASS name"
// or "FAIL name: detail" per check, and "SKIP name: reason" for a case this
// machine cannot set up.
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/commands.h"
#include "display/screen.h"
#include "link/connection.h"
#include "platform/msgbox.h"
#include "platform/thread.h"
#include "settings/globals.h"
#include "settings/setup.h"
#include "transfer/filesend.h"
#include "transfer/record.h"
#include "fault_checks.h"
#include "tests/support/numbered_text.h"

namespace {

using namespace faultcheck;

const char kFinished[] = "Transfer Finished, File Closed!";
CoreLock gMessageLock;
std::string gMessages;   // every text shown, one per line, with its caption

std::string messages() {
  ScopedLock hold(gMessageLock);
  return gMessages;
}

void clearMessages() {
  ScopedLock hold(gMessageLock);
  gMessages.clear();
}

// A Unix path of the run as this program sees it: drive Z: is the root.
std::string winePath(const char* path) {
  std::string p = std::string("Z:") + path;
  for (char& c : p) c = c == '/' ? '\\' : c;
  return p;
}


std::string readFile(const std::string& path) {
  const HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "";
  std::string s;
  char buf[65536];
  for (DWORD got = 0; ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0;) s.append(buf, got);
  CloseHandle(h);
  return s;
}

void writeFile(const std::string& path, const std::string& text) {
  const HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD put = 0;
  if (h != INVALID_HANDLE_VALUE) WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

unsigned long long fileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA a;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &a)) return 0;
  return (static_cast<unsigned long long>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
}

// Whether nobody holds the file open: it can be opened unshared.
bool closedEverywhere(const std::string& path) {
  const HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

// The device end of COM1: commands through the helper's FIFO, each batch
// confirmed through its ack file, and everything it received in its rx file.
struct Device {
  std::string ctl, ack, rx;
  int token = 0;
  bool ok() const { return !ctl.empty() && !ack.empty() && !rx.empty(); }
  bool command(const std::string& lines) {
    const std::string mark = "xfer-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++token);
    const HANDLE h = CreateFileA(ctl.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const std::string all = lines + "sync " + mark + "\n";
    DWORD put = 0;
    const BOOL wrote = WriteFile(h, all.data(), static_cast<DWORD>(all.size()), &put, nullptr);
    CloseHandle(h);
    return wrote && put == all.size() &&
           waitFor([&] { return readFile(ack).find(mark + "\n") != std::string::npos; }, 5000);
  }
  std::string received() const { return readFile(rx); }
};

void doCommand(int id) { DoDISPLAYCommand(nullptr, id); }
bool idle() { return gfSendFileOpen == 0 && gLinePtr >= gLineMax; }
void closeOpenFiles() {   // the main window's WM_CLOSE and WM_DESTROY, after the connection ended
  if (gfSendFileOpen) AbortSendFileQuietly();
  if (gfRecFileOpen) CloseRecFileQuietly();
}

double cpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto secs = [](const FILETIME& t) { return ((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7; };
  return secs(kernel) + secs(user);
}

// A USB adapter pulled out while connected: the line hangs up under the
// worker. It lets the dead port go without spinning and says so; a key
// meanwhile is dropped without a timeout or a hang; once the adapter is back
// under the same name, the link is open again by itself and says so.
void devicePulled(Device& dev) {
  ClearDISPLAYScreen();
  clearMessages();
  dev.command("send 6265666f7265\n");   // "before"
  check(waitFor([] { return screen() == "before"; }, 5000), "wine_pulled_device_heard_before", screen());

  check(dev.command("pull\n"), "wine_pulled_device_pulled");
  check(waitFor([] { return screen() == "before|-COM1 lost-"; }, 3000), "wine_pulled_device_loss_shown", screen());
  const double c0 = cpuSeconds();
  sendCommByte('x');
  Sleep(1000);
  const double used = cpuSeconds() - c0;
  check(used < 0.5, "wine_pulled_device_worker_does_not_spin", std::to_string(used) + " s of processor in 1 s");
  check(gComTxLen == 0 && gfConnected == 1 && screen() == "before|-COM1 lost-" && messages().empty(),
        "wine_pulled_device_typing_dropped_quietly", screen() + " / " + messages());

  check(dev.command("plug\nclear\n"), "wine_pulled_device_plugged_in");
  check(waitFor([] { return screen() == "before|-COM1 lost-|-COM1 back-"; }, 3000),
        "wine_pulled_device_reopened_by_itself", screen());
  sendCommByte('y');
  check(waitFor([&] { return dev.received() == "y"; }, 5000), "wine_pulled_device_hears_again", dev.received());
  dev.command("send 6166746572\n");   // "after"
  check(waitFor([] { return screen() == "before|-COM1 lost-|-COM1 back-|after"; }, 5000) && messages().empty(),
        "wine_pulled_device_shows_again", screen() + " / " + messages());
}

// The threads of this process.
int threadCount() {
  const HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snap == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 t;
  t.dwSize = sizeof t;
  int n = 0;
  for (BOOL more = Thread32First(snap, &t); more; more = Thread32Next(snap, &t)) {
    if (t.th32OwnerProcessID == GetCurrentProcessId()) n++;
  }
  CloseHandle(snap);
  return n;
}

// Setup's Ok with CTS handshake ticked: the open warns that CTS is down (a
// pseudo-terminal has no modem lines), and while that box is up Ok is
// pressed again. The second Ok does nothing: one open, one worker, and a
// file goes out once, byte for byte.
std::atomic<bool> gOkAgainUnderBox{false};
void setupOkReentered(Device& dev, const std::string& dir) {
  closeConnection();
  Sleep(100);   // the old worker has returned
  const int before = threadCount();
  clearMessages();
  ClearDISPLAYScreen();
  gfCtsHandsh = 1;
  gOkAgainUnderBox = true;
  SetupReopenLink(1);
  gOkAgainUnderBox = false;
  Sleep(200);
  const int workers = threadCount() - before;
  const std::string warning = "Warning: CTS line is down!\ncannot send data\ndisable CTS handshake or change cable [Zelto v3.16]\n";
  check(gfConnected == 1 && workers == 1 && messages() == warning, "wine_setup_ok_again_under_box_one_worker",
        std::to_string(workers) + " workers; " + messages());
  gfCtsHandsh = 0;   // the start of a send checks the lines too
  const std::string path = dir + "\\once.txt", content = NumberedText(600);
  writeFile(path, content);
  dev.command("clear\n");
  std::snprintf(gszSendPathName, sizeof gszSendPathName, "%s", path.c_str());
  gPackDelay = 1;
  doCommand(kCmdSendRaw);
  waitFor(idle, 15000);
  waitFor([&] { return dev.received().size() >= content.size(); }, 3000);
  Sleep(100);
  check(dev.received() == content, "wine_setup_ok_again_under_box_sends_once",
        std::to_string(dev.received().size()) + " bytes of " + std::to_string(content.size()));
  DeleteFileA(path.c_str());
  SetupReopenLink(1);   // back to the line without handshake
}

void recordDiskFull(Device& dev, const std::string& dir) {
  const char* small = std::getenv("ZW_SMALLFS");
  if (!small || !*small) {
    std::printf("SKIP wine_record_disk_full: the run could not mount a small disk\n");
    return;
  }
  // Fill the small disk, then give 8192 bytes back: less than the device
  // sends, so that all it sends still fits the screen.
  const std::string disk = winePath(small);
  const std::string filler = disk + "\\filler";
  const HANDLE f = CreateFileA(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  static const char chunk[4096] = {};
  LONG size = 0;
  for (DWORD put = 0; WriteFile(f, chunk, sizeof chunk, &put, nullptr) && put > 0;) size += static_cast<LONG>(put);
  const bool filled = size > 8192 && SetFilePointer(f, size - 8192, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
                      SetEndOfFile(f);
  CloseHandle(f);
  check(filled, "wine_record_disk_full_setup", "filled " + std::to_string(size) + " bytes");

  const std::string rec = disk + "\\ZELTO.REC";
  std::snprintf(gszRecPathName, sizeof gszRecPathName, "%s", rec.c_str());
  ClearDISPLAYScreen();
  clearMessages();
  doCommand(kCmdRecordShown);
  const std::string data = NumberedText(10000);
  std::string hex;
  static const char d[] = "0123456789abcdef";
  for (unsigned char c : data) (hex += d[c >> 4]) += d[c & 15];
  check(dev.command("send " + hex + "\n"), "wine_record_disk_full_device");
  const std::string expect = "-Recording-" + data;
  check(waitFor([&] { return grid().compare(0, expect.size(), expect) == 0; }, 10000),
        "wine_record_disk_full_screen_shows_every_byte", screen().substr(0, 100));
  check(messages() == "Record File Write Error! [(default)]\n" && gfRecFileOpen == 0 && gfRecRecv == 0,
        "wine_record_disk_full_reported_once", messages());
  const std::string file = readFile(rec);
  check(file.size() >= 4096 && file.size() < data.size() && file == data.substr(0, file.size()) && closedEverywhere(rec),
        "wine_record_disk_full_file_holds_what_fitted", std::to_string(file.size()) + " bytes");
  ULARGE_INTEGER avail{}, total{}, free{};
  if (GetDiskFreeSpaceExA((disk + "\\").c_str(), &avail, &total, &free)) {
    check(avail.QuadPart == 0, "wine_record_disk_full_to_the_last_byte", std::to_string(avail.QuadPart) + " left");
  }
  doCommand(kCmdCloseRecord);
  DeleteFileA(rec.c_str());
  DeleteFileA(filler.c_str());

  // Recording onto a disk with room works again.
  const std::string again = dir + "\\again.REC";
  std::snprintf(gszRecPathName, sizeof gszRecPathName, "%s", again.c_str());
  doCommand(kCmdRecordShown);
  dev.command("send 6166746572\n");   // "after"
  waitFor([&] { return fileSize(again) == 5; }, 5000);
  doCommand(kCmdCloseRecord);
  check(readFile(again) == "after" && messages() == "Record File Write Error! [(default)]\n",
        "wine_record_after_disk_full_works", readFile(again));
  DeleteFileA(again.c_str());
}

// A raw send with no delay to a device that stops reading: a key typed while
// the write is held up is queued at once (no write timed out for it), and
// once the device reads again every key has arrived, no file byte lost.
void keysDuringRawSend(Device& dev, const std::string& dir) {
  const std::string path = dir + "\\keys.txt", file = NumberedText(200000);
  writeFile(path, file);
  std::snprintf(gszSendPathName, sizeof gszSendPathName, "%s", path.c_str());
  dev.command("clear\nhold 1\n");
  gPackDelay = 0;
  doCommand(kCmdSendRaw);
  waitFor([] { return gfTxBusy == 1; }, 5000);
  Sleep(300);
  sendCommByte('~');
  check(gfSendFileOpen == 1, "wine_keys_during_send_never_wait", screen());
  dev.command("hold 0\n");
  for (int i = 0; i < 9; i++, Sleep(5)) sendCommByte('~');
  waitFor([] { return idle() && gComTxLen == 0; }, 30000);
  Sleep(300);
  std::string got = dev.received();
  const size_t keys = std::count(got.begin(), got.end(), '~');
  got.erase(std::remove(got.begin(), got.end(), '~'), got.end());
  check(keys == 10 && got == file, "wine_keys_during_send_all_arrive", std::to_string(keys) + " keys");
  DeleteFileA(path.c_str());
}

// Starts a raw send of the file at 2 ms a byte on a cleared screen, and
// waits until the device has heard its first 50 bytes.
void startRawSend(Device& dev, const std::string& path) {
  std::snprintf(gszSendPathName, sizeof gszSendPathName, "%s", path.c_str());
  ClearDISPLAYScreen();
  dev.command("clear\n");
  gPackDelay = 2;
  doCommand(kCmdSendRaw);
  waitFor([&] { return dev.received().size() >= 50; }, 5000);
}

// Another Windows program cannot delete or cut short a file being sent: it
// is open unshared. The send goes on whole; afterwards the file is free.
void sendFileInUse(Device& dev, const std::string& dir) {
  const std::string path = dir + "\\send.txt", content = NumberedText(900);
  writeFile(path, content);
  startRawSend(dev, path);
  const bool deleted = DeleteFileA(path.c_str());
  const DWORD why = GetLastError();
  const HANDLE cut = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const bool truncated = cut != INVALID_HANDLE_VALUE;
  if (truncated) CloseHandle(cut);
  check(!deleted && why == ERROR_SHARING_VIOLATION && !truncated, "wine_send_file_in_use_refused",
        "delete " + std::to_string(deleted) + " (" + std::to_string(why) + "), truncate " + std::to_string(truncated));
  const bool ended = waitFor(idle, 15000);
  waitFor([&] { return dev.received().size() >= content.size(); }, 5000);
  Sleep(50);
  check(ended && dev.received() == content && screen() == std::string("Sending|") + kFinished,
        "wine_send_file_in_use_goes_out_whole", screen() + " / " + std::to_string(dev.received().size()));
  check(DeleteFileA(path.c_str()), "wine_send_file_in_use_free_afterwards");
}

// The Unix path of a file of this program, for a program outside Wine.
std::string unixPath(const std::string& path) {
  using ToUnix = char*(CDECL*)(const WCHAR*);
  const auto toUnix = reinterpret_cast<ToUnix>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  WCHAR wide[MAX_PATH];
  if (!toUnix || !MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH)) return "";
  char* u = toUnix(wide);
  const std::string r = u ? u : "";
  if (u) HeapFree(GetProcessHeap(), 0, u);
  return r;
}

// Starts a Linux program, as another program of the user's desktop would
// touch the file: Wine runs a Unix executable named by its Z: path.
bool runOutside(const std::string& commandLine) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string cmd = commandLine;
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  // Wine hands back no process for a Unix program, and a thread value that
  // is no handle of ours: closing it could close one of the program's files.
  if (pi.hProcess) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  return true;
}

// A program outside Wine deletes or cuts short the file while it is sent:
// deleted, the open file still reads to its end; cut short, the send ends at
// the new end with the end-of-file texts, having sent the file's beginning.
void sendFileChangedOutside(Device& dev, const std::string& dir) {
  const std::string path = dir + "\\outside.txt", upath = unixPath(path);
  if (upath.empty()) {
    std::printf("SKIP wine_send_file_changed_outside: no Unix path for %s\n", path.c_str());
    return;
  }
  const std::string raw = NumberedText(900);
  clearMessages();
  for (int cut = 0; cut < 2; cut++) {
    const std::string name = cut ? "wine_send_raw_cut_short_outside" : "wine_send_raw_deleted_outside";
    writeFile(path, raw);
    startRawSend(dev, path);
    const bool changed =
        runOutside(cut ? "Z:\\usr\\bin\\truncate -s 0 " + upath : "Z:\\usr\\bin\\rm -f " + upath) &&
        waitFor([&] { return cut ? fileSize(path) == 0 : GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES; },
                5000);
    const bool ended = waitFor(idle, 15000);
    if (!cut) waitFor([&] { return dev.received().size() >= raw.size(); }, 5000);
    Sleep(100);
    const std::string got = dev.received();
    const bool sent = cut ? got.size() >= 50 && got.size() < raw.size() && got == raw.substr(0, got.size()) : got == raw;
    check(changed && ended && sent && screen() == std::string("Sending|") + kFinished && messages().empty(),
          name.c_str(), std::to_string(got.size()) + " bytes sent; " + screen() + "; " + messages());
  }

  // Line mode, cut inside a line not yet read: the lines before the cut go
  // out whole, the cut line as far as it reaches, then the end texts.
  writeFile(path, "first\rsecond\rthird\rfourth\r");
  ClearDISPLAYScreen();
  dev.command("clear\n");
  gPackDelay = 0;
  doCommand(kCmdSendLine);
  doCommand(kCmdSendLine);
  waitFor([&] { return dev.received() == "first\r"; }, 3000);
  const bool cut =
      runOutside("Z:\\usr\\bin\\truncate -s 16 " + upath) && waitFor([&] { return fileSize(path) == 16; }, 5000);
  doCommand(kCmdSendLine);
  waitFor([&] { return dev.received() == "first\rsecond\r"; }, 3000);
  const bool open = gfSendFileOpen == 1;
  doCommand(kCmdSendLine);
  waitFor([&] { return dev.received() == "first\rsecond\rthi"; }, 3000);
  Sleep(50);
  check(cut && open && idle() && dev.received() == "first\rsecond\rthi" && screen() == std::string("Sending|") + kFinished,
        "wine_send_line_cut_short_outside", dev.received() + " / " + screen());

  // A new send afterwards goes out whole.
  writeFile(path, "fresh start\r");
  dev.command("clear\n");
  doCommand(kCmdSendRaw);
  check(waitFor([&] { return idle() && dev.received() == "fresh start\r"; }, 5000), "wine_send_after_changes_works",
        dev.received());
  DeleteFileA(path.c_str());
}

void closeWhileBusy(Device& dev, const std::string& dir) {
  const std::string floodLine = "0123456789 The quick brown fox jumps over the lazy dog. ABCDEFGHIJKLMNOPQRST\r\n";
  std::string period;
  for (int i = 0; i < 40; i++) period += floodLine;
  const std::string send = NumberedText(900);   // under 999 bytes: no progress dot
  const std::string sendPath = dir + "\\busy.txt", recPath = dir + "\\busy.REC";
  writeFile(sendPath, send);
  const unsigned long long depths[] = {3000, 30000, 150000};
  for (const unsigned long long depth : depths) {
    const std::string name = "wine_close_while_busy_" + std::to_string(depth);
    if (!gfConnected) openConnection();
    dev.command("flood 0\nclear\n");
    ClearDISPLAYScreen();
    clearMessages();
    gPackDelay = 3;
    std::snprintf(gszSendPathName, sizeof gszSendPathName, "%s", sendPath.c_str());
    std::snprintf(gszRecPathName, sizeof gszRecPathName, "%s", recPath.c_str());
    doCommand(kCmdRecordShown);
    doCommand(kCmdSendRaw);
    dev.command("flood 1\n");
    const bool deep = waitFor([&] { return fileSize(recPath) >= depth; }, 30000);
    const bool busy = gfSendFileOpen == 1 && gfRecRecv == 1;
    check(deep && busy, (name + "_under_way").c_str(), std::to_string(fileSize(recPath)) + " bytes recorded");
    HANDLE sentinel[3] = {};
    {
      Watchdog dog((name + "_returns").c_str(), 30000);
      if (gfConnected) closeConnection();   // WM_CLOSE, through the display teardown
      // Whatever takes the freed handles must survive the closes that follow.
      for (HANDLE& s : sentinel) s = CreateEventA(nullptr, TRUE, FALSE, nullptr);
      closeOpenFiles();   // WM_CLOSE
      closeOpenFiles();   // WM_DESTROY
    }
    bool sentinelsAlive = true;
    for (HANDLE s : sentinel) {
      DWORD flags = 0;
      sentinelsAlive = sentinelsAlive && GetHandleInformation(s, &flags);
      CloseHandle(s);
    }
    dev.command("flood 0\n");
    check(gfConnected == 0 && gdwThreadID == 0 && gfSendFileOpen == 0 && gfRecFileOpen == 0 && sentinelsAlive &&
              closedEverywhere(sendPath) && closedEverywhere(recPath),
          (name + "_everything_closed_once").c_str());

    // The file is the flood from its start up to where the close began; the
    // purge at the close may make it jump ahead (under Wine a read cut by the
    // purge can jump again), within the worker's last two passes: what
    // follows is at most two pieces of the flood.
    const std::string rec = readFile(recPath);
    std::string stream;
    while (stream.size() < rec.size()) stream += period;
    size_t same = 0;
    while (same < rec.size() && rec[same] == stream[same]) same++;
    const std::string late = rec.substr(same);
    const std::string cycle = period + period;
    size_t lo = 0, hi = late.size();   // the longest start of it that is a piece of the flood
    while (lo < hi) {
      const size_t mid = (lo + hi + 1) / 2;
      if (cycle.find(late.substr(0, mid)) != std::string::npos) lo = mid; else hi = mid - 1;
    }
    const bool pieces = cycle.find(late.substr(lo)) != std::string::npos;   // at most two
    check(same >= depth && late.size() <= 2u * kRxBlockSize && pieces,
          (name + "_record_is_the_stream").c_str(),
          std::to_string(rec.size()) + " bytes, " + std::to_string(late.size()) + " after the first difference");
    // The screen is what that file shows behind the status texts.
    const std::string shown = grid();
    ClearDISPLAYScreen();
    const std::string all = "-Recording-\rSending\r" + rec + "Aborted\r";
    WriteDISPLAYBlock(all.data(), static_cast<int32_t>(all.size()));
    check(grid() == shown, (name + "_record_holds_all_shown").c_str());
    const std::string got = dev.received();
    check(got.size() < send.size() && got == send.substr(0, got.size()) && messages().empty(),
          (name + "_sent_the_file_beginning").c_str(), std::to_string(got.size()) + " bytes; " + messages());
  }
  DeleteFileA(sendPath.c_str());
  DeleteFileA(recPath.c_str());
}

}  // namespace

// Message boxes are remembered instead of shown: nobody clicks them here.
void platMessageBox(WindowHandle, const char* text, const char* caption, unsigned) {
  {
    ScopedLock hold(gMessageLock);
    gMessages += std::string(text) + " [" + (caption ? caption : "(default)") + "]\n";
  }
  // The user presses Setup's Ok again while this box is up.
  if (gOkAgainUnderBox.exchange(false)) SetupReopenLink(1);
}

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  platMarkUiThread();
  Device dev;
  for (auto [var, field] : {std::pair{"ZW_DEV_CTL", &dev.ctl}, {"ZW_DEV_ACK", &dev.ack}, {"ZW_DEV_RX", &dev.rx}}) {
    if (const char* v = std::getenv(var)) *field = winePath(v);
  }
  if (!dev.ok() || !dev.command("echo 0\nflood 0\nclear\n")) {
    check(false, "wine_com1_faults_device", "the device helper cannot be reached");
    return 1;
  }
  char cwd[MAX_PATH];
  GetCurrentDirectoryA(sizeof cwd, cwd);
  const std::string dir = std::string(cwd) + "\\xfer-faults.tmp";
  CreateDirectoryA(dir.c_str(), nullptr);
  check(openConnection() == 1, "wine_com1_faults_open_com1", messages());
  if (gfConnected) devicePulled(dev);
  if (gfConnected) setupOkReentered(dev, dir);
  if (gfConnected) {
    recordDiskFull(dev, dir);
    sendFileInUse(dev, dir);
    sendFileChangedOutside(dev, dir);
    keysDuringRawSend(dev, dir);
    closeWhileBusy(dev, dir);
  }
  if (gfConnected) closeConnection();
  closeOpenFiles();
  dev.command("flood 0\nclear\necho 1\n");
  RemoveDirectoryA(dir.c_str());
  return gFailures == 0 ? 0 : 1;
}
