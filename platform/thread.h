// Threads, locks and waits: what the connection's worker and its partners on
// the user-interface thread need from the operating system.
#pragma once
#include <cstdint>
#include "platform/types.h"

// A mutual-exclusion lock in storage of its own (no allocation). A recursive
// lock may be taken again by the thread that holds it.
struct PlatLock {
  alignas(16) unsigned char storage[64];
};
void platLockInit(PlatLock* l, int recursive);
void platLock(PlatLock* l);
void platUnlock(PlatLock* l);

// A lock that initialises itself on first use, for locks held in globals.
class CoreLock {
 public:
  explicit CoreLock(int recursive = 0) { platLockInit(&lock_, recursive); }
  CoreLock(const CoreLock&) = delete;
  CoreLock& operator=(const CoreLock&) = delete;
  void lock() { platLock(&lock_); }
  void unlock() { platUnlock(&lock_); }

 private:
  PlatLock lock_;
};

class ScopedLock {
 public:
  explicit ScopedLock(CoreLock& l) : l_(l) { l_.lock(); }
  ~ScopedLock() { l_.unlock(); }
  ScopedLock(const ScopedLock&) = delete;
  ScopedLock& operator=(const ScopedLock&) = delete;

 private:
  CoreLock& l_;
};

// Starts entry(arg) on a new thread at once (CreateThread). Stores its
// identifier, never 0, in *id. Returns kInvalidHandle when no thread started.
PlatHandle platThreadCreate(unsigned (*entry)(void*), void* arg, uint32_t* id);
// Releases a thread handle whose thread has finished or is finishing.
void platThreadClose(PlatHandle h);
// Lets a running thread go: it ends by itself and nobody waits for it.
void platThreadDetach(PlatHandle h);
// Sleeps about ms milliseconds (the per-byte delay of a file send).
void platSleepMs(int ms);
// Sleeps at least us microseconds, as finely as the system allows.
void platSleepUs(int64_t us);
// A monotonic clock in microseconds, for pacing.
int64_t platMonotonicUs();
// The local wall-clock time of day in milliseconds since midnight (0 to
// 86 399 999), for the time stamps of received lines.
int32_t platLocalTimeOfDayMs();

// Waits up to ms milliseconds, or until platWakeWaiters is called. On the
// user-interface thread of ZELTO.EXE the wait keeps servicing messages sent
// by other threads, so a message box that the worker raises can still appear.
void platWaitForWake(int ms);
void platWakeWaiters();

// Idle wait of the worker: up to ms milliseconds until the link (a serial
// handle or socket; kInvalidHandle for none) has something to read, or until
// platSignalWorker is called because a byte was queued for sending.
void platWaitLinkIdle(PlatHandle link, int isSocket, int ms);
void platSignalWorker();
// Non-zero when that wait ends as soon as the link (a serial handle, or a
// socket when isSocket) has something to read: a longer wait then delays
// nothing that arrives.
int platLinkWaitEndsOnData(int isSocket);

// Marks the calling thread as the user-interface thread (start-up).
void platMarkUiThread();
// Non-zero when called on the thread marked above (or when none was marked).
int platOnUiThread();
