// The Win32 clipboard: text as CF_UNICODETEXT (Windows offers it as CF_TEXT and CF_OEMTEXT too), converted from and to the core's UTF-8.
#include <windows.h>

#include <cstdint>

#include "display/charset.h"
#include "platform/clipboard.h"

namespace {

// Another program may hold the clipboard for a moment.
bool openBoard(HWND w) {
  for (int i = 0; i < 10; i++) {
    if (OpenClipboard(w)) return true;
    Sleep(10);
  }
  return false;
}

}  // namespace

int platClipboardSet(WindowHandle w, const std::string& text, int primary) {
  if (primary) return 0;   // Windows has no primary selection
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n < 0) return 0;
  const HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (static_cast<size_t>(n) + 1) * sizeof(WCHAR));
  if (!mem) return 0;
  auto* wide = static_cast<WCHAR*>(GlobalLock(mem));
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide, n);
  wide[n] = 0;
  GlobalUnlock(mem);
  if (!openBoard(static_cast<HWND>(w))) {
    GlobalFree(mem);
    return 0;
  }
  EmptyClipboard();
  const bool taken = SetClipboardData(CF_UNICODETEXT, mem) != nullptr;
  CloseClipboard();
  if (!taken) GlobalFree(mem);   // on success the clipboard owns it
  return taken ? 1 : 0;
}

int platClipboardGet(WindowHandle w, int primary, std::string* text) {
  text->clear();
  if (primary || !openBoard(static_cast<HWND>(w))) return 0;
  if (const HANDLE mem = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* wide = static_cast<const WCHAR*>(GlobalLock(mem))) {
      // The block's size ends the text, so that a NUL inside it is pasted
      // like any character; the NULs at its end are its terminator.
      size_t n = GlobalSize(mem) / sizeof(WCHAR);
      while (n > 0 && wide[n - 1] == 0) n--;
      static_assert(sizeof(WCHAR) == sizeof(uint16_t), "UTF-16 units");
      *text = Utf8FromUtf16(reinterpret_cast<const uint16_t*>(wide), n);
      GlobalUnlock(mem);
    }
  }
  CloseClipboard();
  return text->empty() ? 0 : 1;
}

const char* platLineEnd() { return "\r\n"; }
