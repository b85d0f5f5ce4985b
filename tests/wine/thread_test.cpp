// The user-interface side's waits under Wine: while the main thread waits
// for the worker, a message that another thread sends to the main window
// (as a message box owned by it does) is still serviced.
#include <windows.h>

#include <atomic>
#include <cstdio>

#include "platform/msgbox.h"
#include "platform/thread.h"

namespace {

std::atomic<bool> gDelivered{false};
std::atomic<bool> gSenderDone{false};
HWND gWindow;

LRESULT CALLBACK proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_APP + 7) {
    gDelivered = true;
    return 42;
  }
  return DefWindowProcA(w, m, wp, lp);
}

unsigned sender(void*) {
  // A cross-thread SendMessage returns only once the owning thread has
  // handled it.
  const LRESULT r = SendMessageA(gWindow, WM_APP + 7, 0, 0);
  gSenderDone = r == 42;
  platWakeWaiters();
  return 0;
}

}  // namespace

void platMessageBox(WindowHandle, const char*, const char*, unsigned) {}

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  platMarkUiThread();
  WNDCLASSA wc = {};
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "ZeltoThreadTest";
  RegisterClassA(&wc);
  gWindow = CreateWindowExA(0, wc.lpszClassName, "t", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);

  uint32_t id = 0;
  const PlatHandle t = platThreadCreate(sender, nullptr, &id);
  const DWORD start = GetTickCount();
  while (!gSenderDone && GetTickCount() - start < 5000) platWaitForWake(1);
  platThreadClose(t);
  const bool ok = gDelivered && gSenderDone;
  std::printf("%s thread_wait_services_sent_messages\n", ok ? "PASS" : "FAIL");
  if (!ok) std::printf("INFO window %p delivered %d sender %d\n", static_cast<void*>(gWindow), gDelivered.load(), gSenderDone.load());

  // The per-byte delay is kept in whole milliseconds on Windows too, whose
  // default timer tick is far coarser.
  LARGE_INTEGER f, a, b;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&a);
  for (int i = 0; i < 50; i++) platSleepMs(2);
  QueryPerformanceCounter(&b);
  const double msEach = (b.QuadPart - a.QuadPart) * 1000.0 / f.QuadPart / 50;
  std::printf("INFO platSleepMs(2) took %.2f ms each\n", msEach);
  return ok ? 0 : 1;
}
