// Win32 message boxes.
#include <windows.h>

#include "platform/msgbox.h"

void platMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned icon) {
  MessageBoxA(static_cast<HWND>(owner), text, caption, MB_OK | icon);
}
