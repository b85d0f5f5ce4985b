// The Setup dialog's Win32 procedure: moves the controls to and from the portable setup rules.
#include "settings/setup_dlg_win32.h"

#include <commdlg.h>

#include <cstring>

#include "display/view.h"
#include "settings/globals.h"
#include "settings/setup.h"

static_assert(sizeof(DisplayFontDesc) == sizeof(LOGFONTA), "the display font is a LOGFONTA");
static_assert((CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_NOVECTORFONTS | CF_FIXEDPITCHONLY | CF_NOSCRIPTSEL) ==
              8407105);

namespace {

constexpr int kLabelSize = 80;   // LoadString buffer of the list labels

HINSTANCE instanceOf(HWND w) { return reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(w, GWLP_HINSTANCE)); }

int32_t checked(HWND dlg, int id) { return IsDlgButtonChecked(dlg, id) != BST_UNCHECKED ? 1 : 0; }

void readList(HWND dlg, int id, int32_t* sel, int32_t* value) {
  *sel = static_cast<int32_t>(SendDlgItemMessageA(dlg, id, CB_GETCURSEL, 0, 0));
  *value = *sel >= 0 ? static_cast<int32_t>(SendDlgItemMessageA(dlg, id, CB_GETITEMDATA, *sel, 0)) : -1;
}

}  // namespace

void FillComboBox(HINSTANCE instance, HWND list, int firstString, const int32_t* table, int count, int32_t current) {
  char label[kLabelSize];
  for (int i = 0; i < count; i++) {
    label[0] = 0;
    LoadStringA(instance, static_cast<UINT>(firstString + i), label, sizeof label);
    const WPARAM pos = LOWORD(SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label)));
    SendMessageA(list, CB_SETITEMDATA, pos, static_cast<LPARAM>(table[i]));
    if (table[i] == current) SendMessageA(list, CB_SETCURSEL, pos, 0);
  }
}

void SettingsDlgInit(HWND dlg) {
  SetupControls c;
  SetupControlsFromSettings(&c);
  const HINSTANCE instance = instanceOf(dlg);

  SetDlgItemTextA(dlg, kIdDelimEdit, c.delimText);
  CheckDlgButton(dlg, kIdSkipComment, c.skipComment ? BST_CHECKED : BST_UNCHECKED);
  FillComboBox(instance, GetDlgItem(dlg, kIdDelayList), kDelayLabels, DelayTable, kDelayEntries, gPackDelay);

  char com[kLabelSize] = "";
  LoadStringA(instance, kComLabel, com, sizeof com);
  const HWND ports = GetDlgItem(dlg, kIdPortList);
  for (int n = 1; n <= kPortEntries; n++) {
    char label[kLabelSize + 16];
    wsprintfA(label, "%s%d", com, n);
    SendMessageA(ports, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label));
  }
  // A port outside the list selects nothing.
  SendMessageA(ports, CB_SETCURSEL, static_cast<WPARAM>(c.portSel), 0);

  FillComboBox(instance, GetDlgItem(dlg, kIdBaudList), kBaudLabels, BaudTable, kBaudEntries,
               static_cast<int32_t>(gdwBaudRate));
  CheckDlgButton(dlg, kIdCtsCheck, c.cts ? BST_CHECKED : BST_UNCHECKED);
  SetDlgItemTextA(dlg, kIdIPEdit, c.ipText);
  SetDlgItemTextA(dlg, kIdRxPortEdit, c.rxPortText);
  SetDlgItemTextA(dlg, kIdTxPortEdit, c.txPortText);
  CheckDlgButton(dlg, kIdSerialRadio, c.udp ? BST_UNCHECKED : BST_CHECKED);
  CheckDlgButton(dlg, kIdUdpRadio, c.udp ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dlg, kIdLocalEcho, c.localEcho ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dlg, kIdHexPrint, c.hexPrint ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dlg, kIdHexEnter, c.hexEnter ? BST_CHECKED : BST_UNCHECKED);
}

void SettingsDlgTerm(HWND dlg) {
  SetupControls c;
  std::memset(&c, 0, sizeof c);
  c.udp = checked(dlg, kIdUdpRadio);
  c.cts = checked(dlg, kIdCtsCheck);
  GetDlgItemTextA(dlg, kIdDelimEdit, c.delimText, sizeof c.delimText);
  int32_t portValue = 0;   // the port list carries no item values
  readList(dlg, kIdPortList, &c.portSel, &portValue);
  readList(dlg, kIdBaudList, &c.baudSel, &c.baudValue);
  readList(dlg, kIdDelayList, &c.delaySel, &c.delayValue);
  c.skipComment = checked(dlg, kIdSkipComment);
  GetDlgItemTextA(dlg, kIdIPEdit, c.ipText, sizeof c.ipText);
  GetDlgItemTextA(dlg, kIdRxPortEdit, c.rxPortText, sizeof c.rxPortText);
  GetDlgItemTextA(dlg, kIdTxPortEdit, c.txPortText, sizeof c.txPortText);
  c.localEcho = checked(dlg, kIdLocalEcho);
  c.hexPrint = checked(dlg, kIdHexPrint);
  c.hexEnter = checked(dlg, kIdHexEnter);

  char typed[sizeof c.delimText];
  std::memcpy(typed, c.delimText, sizeof typed);
  const int reopen = SetupStoreControls(&c);
  // A valid delimiter is shown back as its two digits before any reopen.
  if (std::memcmp(typed, c.delimText, sizeof typed) != 0) SetDlgItemTextA(dlg, kIdDelimEdit, c.delimText);
  SetupReopenLink(reopen);
}

BOOL SelectDISPLAYFont(HWND dlg) {
  // The chooser works on a copy, so a cancelled choice leaves the font as it was.
  LOGFONTA font;
  std::memcpy(&font, &GlfDISPLAYFont, sizeof font);
  CHOOSEFONTA cf;
  std::memset(&cf, 0, sizeof cf);
  cf.lStructSize = sizeof cf;
  cf.hwndOwner = dlg;
  cf.lpLogFont = &font;
  cf.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_NOVECTORFONTS | CF_FIXEDPITCHONLY | CF_NOSCRIPTSEL;
  cf.rgbColors = GrgbFGColor;
  if (ChooseFontA(&cf)) {
    std::memcpy(&GlfDISPLAYFont, &font, sizeof font);
    GrgbFGColor = cf.rgbColors;
    ResetDISPLAYScreen(GetParent(dlg));
  }
  return TRUE;
}

INT_PTR CALLBACK SettingsDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      SettingsDlgInit(dlg);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          // The close and open of the link may raise message boxes owned by
          // the main window, which leave this dialog enabled: it is disabled
          // until Ok is done, and an Ok or Cancel reaching it meanwhile
          // does nothing.
          if (SetupOkRunning() || !IsWindowEnabled(dlg)) return TRUE;
          EnableWindow(dlg, FALSE);
          SettingsDlgTerm(dlg);
          EnableWindow(dlg, TRUE);
          EndDialog(dlg, 1);
          return TRUE;
        case IDCANCEL:
          if (SetupOkRunning() || !IsWindowEnabled(dlg)) return TRUE;
          EndDialog(dlg, 1);
          return TRUE;
        case kIdFontButton:
          return SelectDISPLAYFont(dlg);
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}
