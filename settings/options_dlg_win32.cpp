// The Options dialog (102) on Win32: built at run time from the options table, one row per option, in the dialog font of the other dialogs.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/frame_win32.h"
#include "settings/options.h"
#include "settings/options_dlg.h"
#include "settings/setup.h"

namespace {

// Sizes in dialog units, as a resource script would give them.
constexpr int kMargin = 7;
constexpr int kGap = 4;       // between a label and its field
constexpr int kPitch = 16;    // from row to row
constexpr int kFieldH = 12;   // an edit field or a closed list
constexpr int kButtonW = 50;
constexpr int kButtonH = 14;

// The field's width by kind: texts are lists of words and take the most.
int fieldWidth(OptionKind kind) {
  switch (kind) {
    case kOptionFlag: return 10;
    case kOptionNumber: return 40;
    case kOptionChoice: return 50;
    default: return 180;
  }
}

// A dialog unit rectangle in the dialog's pixels.
RECT dlu(HWND dlg, int x, int y, int w, int h) {
  RECT r = {x, y, x + w, y + h};
  MapDialogRect(dlg, &r);
  return r;
}

HWND child(HWND dlg, const char* cls, const char* text, DWORD style, int id, const RECT& r) {
  HWND w = CreateWindowExA(std::string(cls) == "EDIT" ? WS_EX_CLIENTEDGE : 0, cls, text, style | WS_CHILD | WS_VISIBLE,
                           r.left, r.top, r.right - r.left, r.bottom - r.top, dlg,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  SendMessageA(w, WM_SETFONT, SendMessageA(dlg, WM_GETFONT, 0, 0), FALSE);
  return w;
}

// Every label with its colon, measured in the dialog font; the widest sets
// where the fields begin.
int labelWidth(HWND dlg) {
  HDC dc = GetDC(dlg);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(dlg, WM_GETFONT, 0, 0)));
  LONG widest = 0;
  for (int i = 0; i < OptionCount(); i++) {
    const std::string text = std::string(OptionAt(i).label) + ":";
    SIZE s = {0, 0};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &s);
    if (s.cx > widest) widest = s.cx;
  }
  SelectObject(dc, old);
  ReleaseDC(dlg, dc);
  RECT unit = {0, 0, 4, 8};   // pixels of 4 horizontal dialog units
  MapDialogRect(dlg, &unit);
  return static_cast<int>((widest * 4 + unit.right - 1) / unit.right) + 4;
}

// An editable list's entries as they are now, its typed text kept; the
// list drops down as wide as its longest entry.
void fillList(HWND dlg, int i) {
  HWND f = GetDlgItem(dlg, kOptionsFieldId + i);
  std::vector<char> text(static_cast<size_t>(GetWindowTextLengthA(f)) + 1);
  GetWindowTextA(f, text.data(), static_cast<int>(text.size()));
  static char entries[64][kOptionEntryMax];
  const int n = OptionsFieldEntries(i, entries, 64);
  SendMessageA(f, CB_RESETCONTENT, 0, 0);
  HDC dc = GetDC(f);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(f, WM_GETFONT, 0, 0)));
  LONG widest = 0;
  for (int k = 0; k < n; k++) {
    SendMessageA(f, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entries[k]));
    SIZE size = {0, 0};
    GetTextExtentPoint32A(dc, entries[k], static_cast<int>(std::strlen(entries[k])), &size);
    widest = std::max(widest, size.cx);
  }
  SelectObject(dc, old);
  ReleaseDC(f, dc);
  SendMessageA(f, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(widest + GetSystemMetrics(SM_CXVSCROLL) + 8), 0);
  SetWindowTextA(f, text.data());
}

void buildControls(HWND dlg) {
  const int labelW = labelWidth(dlg);
  int widest = 0;
  for (int i = 0; i < OptionCount(); i++) widest = std::max(widest, fieldWidth(OptionAt(i).kind));
  const int fieldX = kMargin + labelW + kGap;
  const int clientW = fieldX + widest + kMargin;
  int y = kMargin;
  HWND first = nullptr;
  for (int i = 0; i < OptionCount(); i++, y += kPitch) {
    const OptionDesc& o = OptionAt(i);
    const std::string label = std::string(o.label) + ":";
    child(dlg, "STATIC", label.c_str(), SS_LEFT | SS_NOPREFIX, kOptionsLabelId + i, dlu(dlg, kMargin, y + 2, labelW, 8));
    char text[kUploadListMax];
    const int32_t state = OptionsFieldState(i, text, sizeof text);
    const int id = kOptionsFieldId + i;
    HWND f = nullptr;
    if (o.kind == kOptionFlag) {
      f = child(dlg, "BUTTON", "", BS_AUTOCHECKBOX | WS_TABSTOP, id, dlu(dlg, fieldX, y + 1, 10, 10));
      CheckDlgButton(dlg, id, state ? BST_CHECKED : BST_UNCHECKED);
    } else if (o.kind == kOptionChoice) {
      f = child(dlg, "COMBOBOX", "", CBS_DROPDOWNLIST | CBS_HASSTRINGS | WS_VSCROLL | WS_TABSTOP, id,
                dlu(dlg, fieldX, y, fieldWidth(o.kind), 80));
      for (int k = 0; o.choices[k]; k++) SendMessageA(f, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(o.choices[k]));
      SendMessageA(f, CB_SETCURSEL, static_cast<WPARAM>(state), 0);
    } else if (o.kind == kOptionList) {
      f = child(dlg, "COMBOBOX", text, CBS_DROPDOWN | CBS_AUTOHSCROLL | CBS_HASSTRINGS | WS_VSCROLL | WS_TABSTOP, id,
                dlu(dlg, fieldX, y, fieldWidth(o.kind), 100));
      SetWindowTextA(f, text);   // its edit field, made after the window's own text
      fillList(dlg, i);
    } else {
      f = child(dlg, "EDIT", text, ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP, id,
                dlu(dlg, fieldX, y, fieldWidth(o.kind), kFieldH));
    }
    if (!first) first = f;
  }
  y += kFieldH - kPitch + 10;   // the buttons below the last row
  const int okX = clientW - kMargin - 2 * kButtonW - kGap;
  child(dlg, "BUTTON", "Ok", BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK, dlu(dlg, okX, y, kButtonW, kButtonH));
  child(dlg, "BUTTON", "Cancel", BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL,
        dlu(dlg, okX + kButtonW + kGap, y, kButtonW, kButtonH));
  // The window around a client area that holds every row and the buttons.
  RECT client = dlu(dlg, 0, 0, clientW, y + kButtonH + kMargin);
  AdjustWindowRectEx(&client, static_cast<DWORD>(GetWindowLongA(dlg, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongA(dlg, GWL_EXSTYLE)));
  SetWindowPos(dlg, nullptr, 0, 0, client.right - client.left, client.bottom - client.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (first) SetFocus(first);
}

// Ok: every field's text to the core, which stores them all or none.
// Returns the row of a field that does not read, or -1.
int storeControls(HWND dlg) {
  std::vector<std::string> texts(static_cast<size_t>(OptionCount()));
  std::vector<const char*> ptrs;
  for (int i = 0; i < OptionCount(); i++) {
    const int id = kOptionsFieldId + i;
    const OptionKind kind = OptionAt(i).kind;
    if (kind == kOptionFlag) {
      texts[i] = OptionsStateText(i, IsDlgButtonChecked(dlg, id) == BST_CHECKED ? 1 : 0);
    } else if (kind == kOptionChoice) {
      texts[i] = OptionsStateText(i, static_cast<int32_t>(SendDlgItemMessageA(dlg, id, CB_GETCURSEL, 0, 0)));
    } else {
      texts[i].resize(static_cast<size_t>(GetWindowTextLengthA(GetDlgItem(dlg, id))) + 1);
      GetDlgItemTextA(dlg, id, &texts[i][0], static_cast<int>(texts[i].size()));
    }
    ptrs.push_back(texts[i].c_str());
  }
  return OptionsStoreFields(dlg, ptrs.data());
}

INT_PTR CALLBACK OptionsDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM) {
  if (msg == WM_INITDIALOG) {
    buildControls(dlg);
    return FALSE;   // the focus is set: on the first field
  }
  if (msg != WM_COMMAND) return FALSE;
  const int id = LOWORD(wParam);
  if (HIWORD(wParam) == CBN_DROPDOWN && id >= kOptionsFieldId && id < kOptionsFieldId + OptionCount()) {
    fillList(dlg, id - kOptionsFieldId);   // the ports found now
    return TRUE;
  }
  // A reopen of the serial port raises its boxes owned by the main window,
  // which leave this dialog enabled: it is disabled until Ok is done.
  if (SetupOkRunning() || !IsWindowEnabled(dlg)) return (id == IDOK || id == IDCANCEL) ? TRUE : FALSE;
  if (id == IDCANCEL) {
    EndDialog(dlg, 0);
    return TRUE;
  }
  if (id != IDOK) return FALSE;
  EnableWindow(dlg, FALSE);
  const int bad = storeControls(dlg);
  EnableWindow(dlg, TRUE);
  if (bad < 0) {
    EndDialog(dlg, 1);
  } else {
    // The field that did not read takes the focus, its text selected.
    HWND f = GetDlgItem(dlg, kOptionsFieldId + bad);
    SendMessageA(dlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(f), TRUE);
  }
  return TRUE;
}

void put(std::vector<WORD>& t, DWORD v) {
  t.push_back(LOWORD(v));
  t.push_back(HIWORD(v));
}
void put(std::vector<WORD>& t, const char* s) {
  for (; *s; s++) t.push_back(static_cast<WORD>(static_cast<unsigned char>(*s)));
  t.push_back(0);
}

}  // namespace

int RunOptionsDialog(HWND owner) {
  // A template without controls: the caption, frame and font of the Setup
  // dialog; the controls come from the table when the dialog starts.
  std::vector<WORD> t;
  put(t, static_cast<DWORD>(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION));
  put(t, static_cast<DWORD>(0));
  for (int v : {0, 25, 20, 100, 50}) t.push_back(static_cast<WORD>(v));   // no items; x, y, cx, cy
  t.push_back(0);   // no menu
  t.push_back(0);   // the dialog class
  put(t, "Options");
  t.push_back(8);
  put(t, "Helv");
  const HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(owner, GWLP_HINSTANCE));
  return static_cast<int>(DialogBoxIndirectParamA(instance, reinterpret_cast<LPCDLGTEMPLATEA>(t.data()), owner,
                                                  OptionsDlgProc, 0));
}
