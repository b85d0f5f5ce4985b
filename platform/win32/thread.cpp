// Win32 threads, locks and waits. Waits on the user-interface thread keep
// servicing messages sent by other threads (MsgWaitForMultipleObjects), so a
// message box that the worker raises, owned by the main window, can appear
// while this thread waits for the worker.
#include <winsock2.h>
#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstring>

#include "platform/thread.h"

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(PlatLock::storage), "lock storage");

void platLockInit(PlatLock* l, int /*recursive*/) {
  // A critical section may always be re-entered by its owner.
  InitializeCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(l->storage));
}
void platLock(PlatLock* l) { EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(l->storage)); }
void platUnlock(PlatLock* l) { LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(l->storage)); }

namespace {

struct ThreadStart {
  unsigned (*entry)(void*);
  void* arg;
};

DWORD WINAPI threadMain(LPVOID p) {
  const ThreadStart s = *static_cast<ThreadStart*>(p);
  return s.entry(s.arg);
}

std::atomic<DWORD> gUiThread{0};

// The default timer tick is about 15.6 ms; the per-byte delay and the idle
// wait need 1 ms steps.
void fineTimer() {
  static std::atomic<bool> done{false};
  if (!done.exchange(true)) timeBeginPeriod(1);
}

HANDLE wakeEvent() {
  static HANDLE ev = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  return ev;
}

HANDLE workerEvent() {
  static HANDLE ev = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  return ev;
}

}  // namespace

PlatHandle platThreadCreate(unsigned (*entry)(void*), void* arg, uint32_t* id) {
  static ThreadStart starts[2];
  static int which = 0;
  which ^= 1;   // the previous worker has long copied its start record
  starts[which] = ThreadStart{entry, arg};
  DWORD tid = 0;
  HANDLE h = CreateThread(nullptr, 0, threadMain, &starts[which], 0, &tid);
  if (!h) return kInvalidHandle;
  *id = tid;
  return reinterpret_cast<PlatHandle>(h);
}

void platThreadClose(PlatHandle h) {
  if (h != kInvalidHandle && h != 0) CloseHandle(reinterpret_cast<HANDLE>(h));
}

void platThreadDetach(PlatHandle h) { platThreadClose(h); }

void platSleepMs(int ms) {
  if (ms <= 0) return;
  fineTimer();
  Sleep(static_cast<DWORD>(ms));
}

namespace {
// The system's own delay call takes 100-nanosecond steps; where it is
// missing, whole milliseconds, rounded up, keep the sleep at least as long.
using DelayExecution = LONG(WINAPI*)(BOOLEAN, PLARGE_INTEGER);
DelayExecution delayExecution() {
  static const DelayExecution f = [] {
    HMODULE nt = GetModuleHandleA("ntdll.dll");
    FARPROC p = nt ? GetProcAddress(nt, "NtDelayExecution") : nullptr;
    DelayExecution d = nullptr;
    static_assert(sizeof d == sizeof p, "procedure pointer");
    std::memcpy(&d, &p, sizeof d);
    return d;
  }();
  return f;
}
}  // namespace

void platSleepUs(int64_t us) {
  if (us <= 0) return;
  fineTimer();
  if (DelayExecution d = delayExecution()) {
    LARGE_INTEGER interval;
    interval.QuadPart = -us * 10;   // negative: relative to now
    d(FALSE, &interval);
    return;
  }
  Sleep(static_cast<DWORD>((us + 999) / 1000));
}

int64_t platMonotonicUs() {
  static const int64_t perSecond = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<int64_t>(f.QuadPart);
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  const int64_t t = c.QuadPart;
  return t / perSecond * 1000000 + t % perSecond * 1000000 / perSecond;
}

void platWaitForWake(int ms) {
  fineTimer();
  HANDLE ev = wakeEvent();
  if (!platOnUiThread()) {
    WaitForSingleObject(ev, static_cast<DWORD>(ms));
    return;
  }
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD spent = GetTickCount() - start;
    if (spent >= static_cast<DWORD>(ms)) return;
    const DWORD r = MsgWaitForMultipleObjects(1, &ev, FALSE, static_cast<DWORD>(ms) - spent, QS_SENDMESSAGE);
    if (r != WAIT_OBJECT_0 + 1) return;   // woken, timed out or failed
    MSG m;
    PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);   // runs the sent messages
  }
}

void platWakeWaiters() { SetEvent(wakeEvent()); }

namespace {

// The worker's idle wait on a UDP link is a select on the link's socket,
// which an event cannot interrupt. So that a typed byte still goes out at
// once, the wait also watches a socket of its own on loopback, and a signal
// sends it one datagram. Made on the first such wait (Windows Sockets are
// started by then) and kept for the life of the program.
std::atomic<SOCKET> gWakeSock{INVALID_SOCKET};
sockaddr_in gWakeAddr{};

SOCKET wakeSocket() {
  SOCKET s = gWakeSock.load();
  if (s != INVALID_SOCKET) return s;
  s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) return s;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int len = sizeof a;
  u_long nonBlocking = 1;
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0 || ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  gWakeAddr = a;
  gWakeSock.store(s);   // only the worker makes it; signals read it after this
  return s;
}

}  // namespace

void platWaitLinkIdle(PlatHandle link, int isSocket, int ms) {
  fineTimer();
  if (isSocket && link != kInvalidHandle) {
    // The link's socket stays blocking; select only asks whether a datagram waits.
    const SOCKET wake = wakeSocket();
    fd_set rd;
    FD_ZERO(&rd);
    FD_SET(static_cast<SOCKET>(link), &rd);
    if (wake != INVALID_SOCKET) FD_SET(wake, &rd);
    timeval tv{0, ms * 1000};
    if (select(0, &rd, nullptr, nullptr, &tv) > 0 && wake != INVALID_SOCKET && FD_ISSET(wake, &rd)) {
      char drain[16];
      while (recv(wake, drain, sizeof drain, 0) > 0) {
      }
    }
    return;
  }
  WaitForSingleObject(workerEvent(), static_cast<DWORD>(ms));
}

// A serial port is read only at the end of the wait. A socket's select ends
// on data, but ZELTO.EXE keeps the short waits there as well, as measured.
int platLinkWaitEndsOnData(int /*isSocket*/) { return 0; }

void platSignalWorker() {
  SetEvent(workerEvent());
  const SOCKET wake = gWakeSock.load();
  if (wake != INVALID_SOCKET) {
    const char one = 1;
    sendto(wake, &one, 1, 0, reinterpret_cast<const sockaddr*>(&gWakeAddr), sizeof gWakeAddr);
  }
}

void platMarkUiThread() { gUiThread = GetCurrentThreadId(); }

int platOnUiThread() {
  const DWORD ui = gUiThread.load();
  return ui == 0 || ui == GetCurrentThreadId();
}

int32_t platLocalTimeOfDayMs() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return ((t.wHour * 60 + t.wMinute) * 60 + t.wSecond) * 1000 + t.wMilliseconds;
}
