// ZELTO.EXE's entry: start-up, the message loop and the main window procedure with its closing order.
#include <windows.h>

#include <cstring>

#include "app/commands.h"
#include "app/frame_win32.h"
#include "app/statusbar.h"
#include "display/keyboard.h"
#include "display/view.h"
#include "display/vt_screen.h"
#include "display/view_gdi_win32.h"
#include "platform/thread.h"
#include "platform/win32/deferred.h"
#include "platform/win32/shell.h"
#include "settings/globals.h"
#include "settings/options.h"
#include "settings/preset.h"
#include "transfer/filesend.h"
#include "transfer/record.h"
#include "transfer/transfer.h"

HACCEL ghAccel = nullptr;

namespace {

constexpr int kIconId = 130;

// The status bar: a plain text control along the bottom of the client area,
// refreshed by a timer while it is shown (option "Status bar").
constexpr UINT_PTR kStatusTimer = 0x5A54;
HWND gStatusBar = nullptr;
int gStatusHeight = 0;

void createStatusBar(HWND hwnd) {
  gStatusHeight = GetSystemMetrics(SM_CYMENU) + 2;
  gStatusBar = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_SUNKEN, 0, 0,
                               0, gStatusHeight, hwnd, nullptr, reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd, GWLP_HINSTANCE)),
                               nullptr);
  SendMessageA(gStatusBar, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
  winSetBottomStrip(gStatusHeight);
  SetTimer(hwnd, kStatusTimer, kStatusBarPeriodMs, nullptr);
}

void refreshStatusBar() {
  char text[kStatusBarTextMax];
  if (ComposeStatusBar(text, sizeof text)) SetWindowTextA(gStatusBar, text);
}

// Shows or hides the bar as the option says, at once. The window grows or
// shrinks by the bar, so the view keeps its size; a maximized window keeps
// its size and the view gives the bar its room.
void applyStatusBar(HWND hwnd) {
  const bool want = gfStatusBar != 0;
  if (want == (gStatusBar != nullptr)) return;
  int change = 0;
  if (want) {
    createStatusBar(hwnd);
    change = gStatusHeight;
    refreshStatusBar();
  } else {
    KillTimer(hwnd, kStatusTimer);
    DestroyWindow(gStatusBar);
    gStatusBar = nullptr;
    change = -gStatusHeight;
    gStatusHeight = 0;
    winSetBottomStrip(0);
  }
  RECT r;
  if (!IsZoomed(hwnd) && !IsIconic(hwnd) && GetWindowRect(hwnd, &r)) {
    SetWindowPos(hwnd, nullptr, 0, 0, r.right - r.left, r.bottom - r.top + change,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // The view and the bar laid out again, whether or not the size changed.
  RECT client;
  GetClientRect(hwnd, &client);
  SendMessageA(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
  InvalidateRect(hwnd, nullptr, TRUE);
}

// The modem-line items show the lines' state and are greyed where the link
// has none.
void showCommandStates(HMENU menu) {
  static const int kIds[] = {kCmdDtr, kCmdRts, kCmdSendBreak, kCmdVt100};
  for (const int id : kIds) {
    const unsigned state = DISPLAYCommandState(id);
    EnableMenuItem(menu, id, MF_BYCOMMAND | ((state & kCmdGreyed) ? MF_GRAYED : MF_ENABLED));
    CheckMenuItem(menu, id, MF_BYCOMMAND | ((state & kCmdChecked) ? MF_CHECKED : MF_UNCHECKED));
  }
}

// The keys VT100 emulation sends sequences for (display/vt_screen.h), 0
// for any other.
int vtKey(WPARAM vk) {
  switch (vk) {
    case VK_UP: return kVtKeyUp;
    case VK_DOWN: return kVtKeyDown;
    case VK_LEFT: return kVtKeyLeft;
    case VK_RIGHT: return kVtKeyRight;
    case VK_HOME: return kVtKeyHome;
    case VK_END: return kVtKeyEnd;
    case VK_INSERT: return kVtKeyInsert;
    case VK_DELETE: return kVtKeyDelete;
    case VK_PRIOR: return kVtKeyPageUp;
    case VK_NEXT: return kVtKeyPageDown;
    default: return 0;
  }
}

// No worker runs by the time this is called (the connection was ended
// first), so neither file is closed under the worker's hands.
void closeOpenFiles() {
  TransferEndAll(TransferEnd::Exit);
  if (gfRecFileOpen) CloseRecFileQuietly();
}

void registerMainClass(HINSTANCE instance) {
  WNDCLASSA wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = DISPLAYWndProc;
  wc.cbClsExtra = 0;
  wc.cbWndExtra = 0;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(kIconId));
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszMenuName = gszShortName;
  wc.lpszClassName = gszAppName;
  RegisterClassA(&wc);
}

}  // namespace

LRESULT CALLBACK DISPLAYWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  // Display frames: asked for by the screen model on either thread.
  if (DISPLAYFrameMessage(hwnd, msg, wParam)) return 0;
  if (DISPLAYMouseMessage(hwnd, msg, wParam, lParam)) return 0;
  switch (msg) {
    case WM_CREATE:
      if (gfStatusBar) createStatusBar(hwnd);
      CreateDISPLAYInfo(hwnd);
      if (gStatusBar) refreshStatusBar();
      return 0;
    case WM_TIMER:
      if (wParam != kStatusTimer) return DefWindowProcA(hwnd, msg, wParam, lParam);
      refreshStatusBar();
      return 0;
    case WM_INITMENUPOPUP:
      showCommandStates(reinterpret_cast<HMENU>(wParam));
      return 0;
    case WM_PAINT:
      PaintDISPLAY(hwnd);
      return 0;
    case WM_SIZE: {
      const int height = HIWORD(lParam) > gStatusHeight ? HIWORD(lParam) - gStatusHeight : 0;
      if (gStatusBar) MoveWindow(gStatusBar, 0, height, LOWORD(lParam), gStatusHeight, TRUE);
      SizeDISPLAY(hwnd, static_cast<WORD>(height), LOWORD(lParam));
      return 0;
    }
    case WM_SETFOCUS:
      SetDISPLAYFocus(hwnd);
      return 0;
    case WM_KILLFOCUS:
      KillDISPLAYFocus(hwnd);
      return 0;
    case WM_HSCROLL:
      ScrollDISPLAYHorz(hwnd, LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_VSCROLL: {
      // The message carries the thumb's position in 16 bits; over a long
      // history the bar's range is larger, and the bar itself has it whole.
      int pos = HIWORD(wParam);
      SCROLLINFO si{sizeof si, SIF_RANGE | SIF_TRACKPOS, 0, 0, 0, 0, 0};
      if ((LOWORD(wParam) == SB_THUMBPOSITION || LOWORD(wParam) == SB_THUMBTRACK) && GetScrollInfo(hwnd, SB_VERT, &si) &&
          si.nMax > 0xFFFF)
        pos = si.nTrackPos;
      ScrollDISPLAYVert(hwnd, LOWORD(wParam), pos);
      return 0;
    }
    case WM_MOUSEWHEEL: {
      // Fine-stepped wheels send parts of a notch: they add up until whole.
      static int wheelRest = 0;
      wheelRest += GET_WHEEL_DELTA_WPARAM(wParam);
      const int notches = wheelRest / WHEEL_DELTA;
      wheelRest -= notches * WHEEL_DELTA;
      if (notches) ScrollDISPLAYWheel(hwnd, notches);
      return 0;
    }
    case WM_CHAR:
      ProcessDISPLAYCharacter(hwnd, static_cast<int>(wParam & 0xFF));
      return 0;
    case WM_KEYDOWN: {
      // VT100 emulation's keys beyond characters; in raw and hex entry they do nothing, as ever.
      const int mods = (GetKeyState(VK_SHIFT) < 0 ? kVtModShift : 0) | (GetKeyState(VK_CONTROL) < 0 ? kVtModCtrl : 0);
      if (const int key = vtKey(wParam); key && ProcessDISPLAYKey(hwnd, key, mods)) return 0;
      return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
    case WM_COMMAND:
      DoDISPLAYCommand(hwnd, LOWORD(wParam));
      applyStatusBar(hwnd);   // the Options dialog may have switched it
      return 0;
    case WM_CLOSE:
      // The connection ends first: that stops the worker, which may still
      // be reading the send file or writing the record file.
      DestroyDISPLAYInfo();
      closeOpenFiles();
      DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      closeOpenFiles();
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*cmdLine*/, int showCmd) {
  platMarkUiThread();
  winSetDialogRunner(RunZeltoDialog);
  registerMainClass(instance);

  std::strcpy(GlfDISPLAYFont.lfFaceName, "Courier New");
  GxChar = GetSystemMetrics(SM_CXVSCROLL) / 2;
  GyChar = GetSystemMetrics(SM_CYHSCROLL);
  GlfDISPLAYFont.lfHeight = 3 - GyChar;   // negative: a character height in pixels

  LoadPreset();
  LoadOptions();

  // The loaded (or default) cell sizes the window before any font exists.
  SetDISPLAYPageSizes(33);
  // The status bar, when shown, adds its height: the view keeps its size.
  const int frame = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYMENU) + 20 +
                    (gfStatusBar ? GetSystemMetrics(SM_CYMENU) + 2 : 0);

  // WM_CREATE opens the connection inside this call; ghDISPLAYWnd is still
  // null then, so boxes raised there have no owner.
  const HWND main = CreateWindowExA(0, gszAppName, gszAppName, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                                    GxSize + 30, frame + GyVisible, nullptr, nullptr, instance, nullptr);
  ghDISPLAYWnd = main;
  if (!main) {
    // Without a window no close could ever arrive: end instead of running
    // on unseen with the link open.
    DestroyDISPLAYInfo();
    closeOpenFiles();
    return 1;
  }
  ShowWindow(main, showCmd);
  UpdateWindow(main);

  ghAccel = LoadAcceleratorsA(instance, "ZELTO");

  MSG m{};
  while (GetMessageA(&m, nullptr, 0, 0) > 0) {
    // The find dialog's keys are its own (Shift+Home selects in its text).
    if (FindDialogMessage(&m)) continue;
    if (TranslateAcceleratorA(main, ghAccel, &m)) continue;
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  return static_cast<int>(m.wParam);
}
