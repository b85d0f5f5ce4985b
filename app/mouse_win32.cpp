// The view's mouse on Win32: selecting with the left button (one, two or three clicks) and the right button's menu.
#include <windows.h>
#include <windowsx.h>

#include <cstdlib>

#include "app/commands.h"
#include "app/frame_win32.h"
#include "display/selection.h"
#include "display/view.h"

namespace {

// Windows reports the second click of a double click; the third is a press
// that follows a double click within the double-click time and distance.
DWORD gDoubleClickAt = 0;
POINT gDoubleClickPos{};
bool gTriplePossible = false;

void cellAt(LPARAM lParam, int32_t* row, int32_t* col) {
  DISPLAYCellAt(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), row, col);
}

bool isThirdClick(LPARAM lParam) {
  if (!gTriplePossible) return false;
  gTriplePossible = false;
  const DWORD since = GetMessageTime() - gDoubleClickAt;
  const int dx = std::abs(GET_X_LPARAM(lParam) - gDoubleClickPos.x);
  const int dy = std::abs(GET_Y_LPARAM(lParam) - gDoubleClickPos.y);
  return since <= GetDoubleClickTime() && dx <= GetSystemMetrics(SM_CXDOUBLECLK) && dy <= GetSystemMetrics(SM_CYDOUBLECLK);
}

void press(HWND hwnd, LPARAM lParam, int clicks) {
  int32_t row = 0, col = 0;
  cellAt(lParam, &row, &col);
  SelectionPress(row, col, clicks);
  SetCapture(hwnd);
}

void popupMenu(HWND hwnd, LPARAM lParam) {
  const HMENU menu = CreatePopupMenu();
  if (!menu) return;
  for (const CommandText& c : kSelectionMenu) AppendMenuA(menu, MF_STRING, c.command, c.text);
  POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  ClientToScreen(hwnd, &pt);
  // The choice comes back as WM_COMMAND, as a menu bar item's does.
  TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, pt.x, pt.y, 0, hwnd, nullptr);
  DestroyMenu(menu);
}

}  // namespace

BOOL DISPLAYMouseMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_LBUTTONDOWN:
      press(hwnd, lParam, isThirdClick(lParam) ? 3 : 1);
      return TRUE;
    case WM_LBUTTONDBLCLK:
      gDoubleClickAt = GetMessageTime();
      gDoubleClickPos = POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      gTriplePossible = true;
      press(hwnd, lParam, 2);
      return TRUE;
    case WM_MOUSEMOVE:
      if ((wParam & MK_LBUTTON) && GetCapture() == hwnd) DISPLAYSelectTo(hwnd, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return TRUE;
    case WM_LBUTTONUP:
      if (GetCapture() == hwnd) ReleaseCapture();
      return TRUE;
    case WM_RBUTTONUP:
      popupMenu(hwnd, lParam);
      return TRUE;
    default: return FALSE;
  }
}
