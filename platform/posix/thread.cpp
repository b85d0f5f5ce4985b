// POSIX threads, locks and waits: pthreads, a condition variable for the
// user-interface side's waits and a self-pipe that wakes the idle worker.
#include "platform/thread.h"

#include "platform/posix/paths.h"
#include "platform/posix/ui_wait.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <new>

static_assert(sizeof(pthread_mutex_t) <= sizeof(PlatLock::storage), "lock storage");

void platLockInit(PlatLock* l, int recursive) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  if (recursive) pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(reinterpret_cast<pthread_mutex_t*>(l->storage), &attr);
  pthread_mutexattr_destroy(&attr);
}

void platLock(PlatLock* l) { pthread_mutex_lock(reinterpret_cast<pthread_mutex_t*>(l->storage)); }
void platUnlock(PlatLock* l) { pthread_mutex_unlock(reinterpret_cast<pthread_mutex_t*>(l->storage)); }

namespace {

struct ThreadStart {
  unsigned (*entry)(void*);
  void* arg;
};
std::atomic<uint32_t> gNextId{1};

void* threadMain(void* p) {
  ThreadStart s = *static_cast<ThreadStart*>(p);
  s.entry(s.arg);
  return nullptr;
}

pthread_mutex_t gWakeMutex = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t gWakeCond = PTHREAD_COND_INITIALIZER;
unsigned long gWakeGeneration = 0;

int gWorkerPipe[2] = {-1, -1};
pthread_once_t gPipeOnce = PTHREAD_ONCE_INIT;
void makeWorkerPipe() {
  if (pipe2(gWorkerPipe, O_NONBLOCK | O_CLOEXEC) != 0) {
    gWorkerPipe[0] = gWorkerPipe[1] = -1;
  }
}

std::atomic<bool> gUiMarked{false};
pthread_t gUiThread;
std::atomic<void (*)()> gUiWaitService{nullptr};

}  // namespace

PlatHandle platThreadCreate(unsigned (*entry)(void*), void* arg, uint32_t* id) {
  static pthread_mutex_t startMutex = PTHREAD_MUTEX_INITIALIZER;
  pthread_mutex_lock(&startMutex);
  static ThreadStart starts[2];
  static int which = 0;
  which ^= 1;   // the previous worker has long copied its start record
  starts[which] = ThreadStart{entry, arg};
  pthread_t t;
  const int rc = pthread_create(&t, nullptr, threadMain, &starts[which]);
  pthread_mutex_unlock(&startMutex);
  if (rc != 0) return kInvalidHandle;
  *id = gNextId.fetch_add(1);
  return static_cast<PlatHandle>(t);
}

void platThreadClose(PlatHandle h) {
  if (h == kInvalidHandle) return;
  pthread_join(static_cast<pthread_t>(h), nullptr);
}

void platThreadDetach(PlatHandle h) {
  if (h != kInvalidHandle) pthread_detach(static_cast<pthread_t>(h));
}

void platSleepMs(int ms) {
  if (ms <= 0) return;
  timespec ts{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

void platSleepUs(int64_t us) {
  if (us <= 0) return;
  timespec ts{static_cast<time_t>(us / 1000000), static_cast<long>(us % 1000000) * 1000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

int64_t platMonotonicUs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

void posixSetUiWaitService(void (*service)()) { gUiWaitService = service; }

void platWaitForWake(int ms) {
  pthread_mutex_lock(&gWakeMutex);
  const unsigned long gen = gWakeGeneration;
  // The generation is read first: a request handed over while the service
  // runs ends the sleep below at once, and the caller's next wait serves it.
  void (*service)() = gUiMarked ? gUiWaitService.load() : nullptr;
  if (service && pthread_equal(gUiThread, pthread_self())) {
    pthread_mutex_unlock(&gWakeMutex);
    service();
    pthread_mutex_lock(&gWakeMutex);
  }
  timespec deadline;
  clock_gettime(CLOCK_REALTIME, &deadline);
  deadline.tv_nsec += static_cast<long>(ms) * 1000000L;
  deadline.tv_sec += deadline.tv_nsec / 1000000000L;
  deadline.tv_nsec %= 1000000000L;
  while (gen == gWakeGeneration) {
    if (pthread_cond_timedwait(&gWakeCond, &gWakeMutex, &deadline) == ETIMEDOUT) break;
  }
  pthread_mutex_unlock(&gWakeMutex);
}

void platWakeWaiters() {
  pthread_mutex_lock(&gWakeMutex);
  gWakeGeneration++;
  pthread_cond_broadcast(&gWakeCond);
  pthread_mutex_unlock(&gWakeMutex);
}

void platWaitLinkIdle(PlatHandle link, int /*isSocket*/, int ms) {
  pthread_once(&gPipeOnce, makeWorkerPipe);
  pollfd fds[2];
  int n = 0;
  if (gWorkerPipe[0] >= 0) fds[n++] = pollfd{gWorkerPipe[0], POLLIN, 0};
  if (link != kInvalidHandle) fds[n++] = pollfd{static_cast<int>(link), POLLIN, 0};
  if (n == 0) {
    platSleepMs(ms);
    return;
  }
  if (poll(fds, n, ms) <= 0) return;
  if (gWorkerPipe[0] >= 0 && (fds[0].revents & POLLIN)) {
    char drain[64];
    while (read(gWorkerPipe[0], drain, sizeof drain) > 0) {
    }
    return;
  }
  // A line whose device went away (a USB adapter pulled, the far end of a
  // pseudo-terminal closed) reports a hang-up at once, every time: wait out
  // the pause rather than spin.
  if (fds[n - 1].revents & (POLLHUP | POLLERR | POLLNVAL)) platSleepMs(ms);
}

// Serial lines and sockets alike are descriptors that poll watches.
int platLinkWaitEndsOnData(int /*isSocket*/) { return 1; }

void platSignalWorker() {
  pthread_once(&gPipeOnce, makeWorkerPipe);
  if (gWorkerPipe[1] >= 0) {
    const char one = 1;
    ssize_t r = write(gWorkerPipe[1], &one, 1);   // a full pipe already wakes the worker
    (void)r;
  }
}

void platMarkUiThread() {
  gUiThread = pthread_self();
  gUiMarked = true;
}

int platOnUiThread() { return !gUiMarked || pthread_equal(gUiThread, pthread_self()); }

namespace {
std::atomic<int32_t> gFixedTimeOfDay{-1};
}  // namespace

void posixSetLocalTimeOfDay(int32_t ms) { gFixedTimeOfDay = ms; }

int32_t platLocalTimeOfDayMs() {
  const int32_t fixed = gFixedTimeOfDay;
  if (fixed >= 0) return fixed;
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  tm local;
  localtime_r(&ts.tv_sec, &local);
  return ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 + static_cast<int32_t>(ts.tv_nsec / 1000000);
}
