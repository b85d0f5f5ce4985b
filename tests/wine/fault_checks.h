// What the Wine fault programs share: one "PASS name" / "FAIL name: detail"
// line per check, the failure count for the exit code, what the screen shows
// (read under the screen lock, the worker may be writing) and a bounded wait.
#pragma once
#include <windows.h>

#include <cstdio>
#include <string>

#include "display/screen.h"
#include "display/screen_model.h"

namespace faultcheck {

inline int gFailures = 0;

inline void check(bool ok, const char* name, const std::string& detail = "") {
  std::printf("%s %s%s%s\n", ok ? "PASS" : "FAIL", name, ok || detail.empty() ? "" : ": ", ok ? "" : detail.c_str());
  std::fflush(stdout);
  if (!ok) gFailures++;
}

inline std::string grid() {
  ScopedLock hold(ScreenLock());
  std::string g;
  for (int r = 0; r < kScreenRows; r++)
    for (int c = 0; c < kScreenCols; c++) g += static_cast<char>(gScreenModel.charAt(r, c));
  return g;
}

inline bool gridHas(const std::string& s) { return grid().find(s) != std::string::npos; }

// The non-empty rows of the screen, joined by '|'.
inline std::string screen() {
  const std::string g = grid();
  std::string s;
  for (int r = 0; r < kScreenRows; r++) {
    std::string row = g.substr(static_cast<size_t>(r) * kScreenCols, kScreenCols);
    row.erase(row.find_last_not_of(' ') + 1);
    if (row.empty()) continue;
    if (!s.empty()) s += '|';
    s += row;
  }
  return s;
}

// Polls cond every 2 ms for up to ms milliseconds; its last answer counts.
template <class F>
bool waitFor(F cond, int ms) {
  for (const DWORD start = GetTickCount(); !cond(); Sleep(2)) {
    if (GetTickCount() - start > static_cast<DWORD>(ms)) return cond();
  }
  return true;
}

// Ends the run when a step that must return does not, as a failure of its own.
struct Watchdog {
  HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = nullptr;
  const char* name;
  int ms;
  Watchdog(const char* n, int limitMs) : name(n), ms(limitMs) {
    thread = CreateThread(nullptr, 0, watch, this, 0, nullptr);
  }
  ~Watchdog() {
    SetEvent(done);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CloseHandle(done);
  }
  static DWORD WINAPI watch(void* p) {
    auto* w = static_cast<Watchdog*>(p);
    if (WaitForSingleObject(w->done, static_cast<DWORD>(w->ms)) == WAIT_OBJECT_0) return 0;
    std::printf("FAIL %s: did not return within %d ms\n", w->name, w->ms);
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 1);
    return 0;
  }
};

}  // namespace faultcheck
