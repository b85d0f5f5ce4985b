// The about box (dialog 100) and the runner through which the commands open their modal dialogs.
#include <windows.h>

#include "app/frame_win32.h"
#include "platform/shell.h"
#include "settings/setup_dlg_win32.h"

namespace {
constexpr int kIdAboutTitle = 402;
constexpr int kAboutTextSize = 80;
}  // namespace

INT_PTR CALLBACK HelpDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM /*lParam*/) {
  switch (msg) {
    case WM_INITDIALOG: {
      char text[kAboutTextSize] = "";
      GetDlgItemTextA(dlg, kIdAboutTitle, text, sizeof text);
      SetDlgItemTextA(dlg, kIdAboutTitle, text);
      return TRUE;
    }
    case WM_COMMAND:
      // Only OK (or Enter on it) closes the box; Esc leaves it open.
      if (LOWORD(wParam) == IDOK) {
        EndDialog(dlg, 1);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

INT_PTR GoModalDialogBoxParam(HINSTANCE instance, int id, HWND owner, DLGPROC proc, LPARAM param) {
  return DialogBoxParamA(instance, MAKEINTRESOURCEA(id), owner, proc, param);
}

int RunZeltoDialog(int id, HWND owner) {
  if (id == kDialogOptions) return RunOptionsDialog(owner);
  if (id == kDialogFind) return ShowFindDialog(owner);
  DLGPROC proc = nullptr;
  if (id == kDialogAbout) proc = HelpDlgProc;
  if (id == kDialogSetup) proc = SettingsDlgProc;
  if (!proc) return 0;
  const HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(owner, GWLP_HINSTANCE));
  return static_cast<int>(GoModalDialogBoxParam(instance, id, owner, proc, 0));
}
