// The find dialog of ZELTO.EXE: non-modal, kept while the program runs; its Next and Previous search the screen through the portable core and say "-wrapped-" or "not found" in the dialog.
#include <windows.h>

#include <string>

#include "app/commands.h"
#include "app/frame_win32.h"

namespace {

constexpr int kFindDialogId = 103;
constexpr int kIdText = 1031;
constexpr int kIdPrevious = 1032;
constexpr int kIdMatchCase = 1033;
constexpr int kIdNote = 1034;

HWND gFind = nullptr;

// The text as UTF-8, as the core takes it: whatever the code page, a
// character typed into the box is searched for as itself.
std::string findText(HWND dlg) {
  HWND edit = GetDlgItem(dlg, kIdText);
  const int n = GetWindowTextLengthW(edit);
  if (n <= 0) return std::string();
  std::wstring wide(static_cast<size_t>(n) + 1, L'\0');
  const int got = GetWindowTextW(edit, &wide[0], n + 1);
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), got, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), got, &text[0], bytes, nullptr, nullptr);
  return text;
}

void find(HWND dlg, bool older) {
  const std::string text = findText(dlg);
  const int r = DISPLAYFindText(GetWindow(dlg, GW_OWNER), text.c_str(),
                                IsDlgButtonChecked(dlg, kIdMatchCase) == BST_CHECKED ? 1 : 0, older ? 1 : 0);
  SetDlgItemTextA(dlg, kIdNote, DISPLAYFindNote(r));
}

INT_PTR CALLBACK FindDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG: return TRUE;
    case WM_CLOSE:
      ShowWindow(dlg, SW_HIDE);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK: find(dlg, GetKeyState(VK_SHIFT) >= 0); return TRUE;   // Enter; with Shift towards newer
        case kIdPrevious: find(dlg, false); return TRUE;
        case IDCANCEL:
          ShowWindow(dlg, SW_HIDE);
          SetFocus(GetWindow(dlg, GW_OWNER));
          return TRUE;
        case kIdText:
          if (HIWORD(wParam) == EN_CHANGE) SetDlgItemTextA(dlg, kIdNote, "");
          return TRUE;
        default: return FALSE;
      }
    default: return FALSE;
  }
}

}  // namespace

int ShowFindDialog(HWND owner) {
  if (!gFind) {
    const HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(owner, GWLP_HINSTANCE));
    gFind = CreateDialogParamA(instance, MAKEINTRESOURCEA(kFindDialogId), owner, FindDlgProc, 0);
    if (!gFind) return 0;
  }
  ShowWindow(gFind, SW_SHOW);
  HWND edit = GetDlgItem(gFind, kIdText);
  SetFocus(edit);
  SendMessageA(edit, EM_SETSEL, 0, -1);   // a new text replaces the last
  return 1;
}

BOOL FindDialogMessage(MSG* m) { return gFind && IsWindowVisible(gFind) && IsDialogMessageA(gFind, m); }
