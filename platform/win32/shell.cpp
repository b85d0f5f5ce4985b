// Win32 command shell: WM_CLOSE to the main window and modal dialogs through the front end's runner.
#include "platform/win32/shell.h"

#include <atomic>

#include "platform/shell.h"

namespace {
std::atomic<WinDialogRunner> gRunner{nullptr};
}  // namespace

void winSetDialogRunner(WinDialogRunner run) { gRunner = run; }

void platPostClose(WindowHandle w) {
  if (w) PostMessageA(static_cast<HWND>(w), WM_CLOSE, 0, 0);
}

int platRunDialog(int id, WindowHandle owner) {
  const WinDialogRunner run = gRunner.load();
  return run ? run(id, static_cast<HWND>(owner)) : 0;
}
