// The command table: each menu command or function key mapped to the operation it starts.
#include "app/commands.h"

#include <cstdio>
#include <string>

#include "display/find.h"
#include "display/save_output.h"
#include "display/screen.h"
#include "display/selection.h"
#include "display/view.h"
#include "display/vt_screen.h"
#include "link/connection.h"
#include "platform/clipboard.h"
#include "link/serial.h"
#include "platform/msgbox.h"
#include "platform/shell.h"
#include "settings/globals.h"
#include "settings/options.h"
#include "settings/preset.h"
#include "settings/setup.h"
#include "transfer/break.h"
#include "transfer/filesend.h"
#include "transfer/paste.h"
#include "transfer/record.h"
#include "transfer/transfer.h"
#include "transfer/upload.h"
#include "transfer/xmodem.h"

namespace {

// F6 and F7: the next line of a running send in the new mode, or a new send.
// A stopped upload's next line is the upload's to read.
void sendLineByLine(int mode) {
  if (UploadRunning()) return;   // the replies pace the file meanwhile
  if (UploadKeyLine(mode == 2 ? 1 : 0)) return;
  gSendMode = mode;
  if (gfSendFileOpen) {
    SendCommBlock();
  } else {
    StartSendFile();
  }
}

// "Terminal": the Setup dialog waits until a transfer has ended.
void runSetup(WindowHandle w) {
  if (!SetupRefusedDuringTransfer(w)) platRunDialog(kDialogSetup, w);
}

// The options go beside the preset. The screen says where both went, or
// where the options could not go (the preset's own failure has said its
// part).
void saveSetup(WindowHandle w) {
  if (!SavePreset(w)) return;
  char text[kPathMax + 40];
  if (SaveOptions()) {
    std::snprintf(text, sizeof text, "\r-Setup saved to %s-\r", gszPresetPathName);
  } else {
    std::snprintf(text, sizeof text, "\r-Options not saved to %s-\r",
                  gszOptionsPathName[0] ? gszOptionsPathName : "(no folder for them)");
  }
  WriteDISPLAYStatus(text);
}

void copySelection(WindowHandle w) {
  const std::string text = SelectionText(platLineEnd());
  if (!text.empty()) platClipboardSet(w, text, 0);
}

void paste(WindowHandle w, int primary) {
  if (TransferRefusesKeys()) return;
  std::string text;
  if (platClipboardGet(w, primary, &text)) PasteText(text);
}

}  // namespace

void DISPLAYOfferPrimary(WindowHandle w) {
  const std::string text = SelectionText(platLineEnd());
  if (!text.empty()) platClipboardSet(w, text, 1);
}

void DISPLAYPastePrimary(WindowHandle w) { paste(w, 1); }

int DISPLAYFindText(WindowHandle w, const char* text, int matchCase, int older) {
  const FindResult r = FindInScreen(w, text ? text : "", matchCase != 0, older != 0, nullptr);
  if (r == kFindFound || r == kFindWrapped) DISPLAYOfferPrimary(w);
  return r;
}

const char* DISPLAYFindNote(int result) {
  switch (result) {
    case kFindWrapped: return "-wrapped-";
    case kFindNotFound: return "not found";
    default: return "";
  }
}

namespace {

// A protocol takes the link alone: the other sends and the break wait.
bool refusedByProtocol(WindowHandle w, int id) {
  switch (id) {
    case kCmdSendRaw:
    case kCmdSendLine:
    case kCmdSendLineSkip:
    case kCmdUploadPaced:
    case kCmdUploadPacedSkip:
    case kCmdSendBreak: break;
    default: return false;
  }
  if (!ProtocolRunning()) return false;
  platMessageBox(w, "First terminate\nFile Transfer !", gszAppName, kIconWarning);
  return true;
}

}  // namespace

int DoDISPLAYCommand(WindowHandle w, int id) {
  if (refusedByProtocol(w, id)) return 1;
  switch (id) {
    case kCmdExit: platPostClose(w); break;
    case kCmdSelectSendFile: SendFileOpenDlg(); break;
    case kCmdSelectRecordFile: RecFileOpenDlg(); break;
    case kCmdDropStream: gfDropStream = 1; break;
    case kCmdShowStream: gfDropStream = 0; break;
    case kCmdSendRaw:
      // An upload, stopped or not, is no file to stream raw: its includes
      // would go out as text.
      if (UploadActive()) break;
      gSendMode = 0;
      StartSendFile();
      break;
    case kCmdSendLine: sendLineByLine(1); break;
    case kCmdSendLineSkip: sendLineByLine(2); break;
    case kCmdAbortSend: TransferAbortCommand(); break;
    case kCmdUploadPaced: UploadStart(0); break;
    case kCmdUploadPacedSkip: UploadStart(1); break;
    case kCmdRecordShown:
      gfRecQuiet = 0;
      StartRecReceive();
      break;
    case kCmdRecordQuiet:
      gfRecQuiet = 1;
      StartRecReceive();
      break;
    case kCmdPauseRecord:
      if (gfRecFileOpen) PauseRecReceive();
      break;
    case kCmdCloseRecord: CloseRecFile(); break;
    case kCmdTerminal: runSetup(w); break;
    case kCmdEraseScreen: ClearDISPLAYScreen(); break;
    case kCmdVt100:
      gEmulation = gEmulation == kEmulationVt100 ? kEmulationNone : kEmulationVt100;
      VtApplyMode();
      break;
    case kCmdClearScrollback: ClearDISPLAYScrollback(); break;
    // Unlike Setup, Options is not refused during a transfer: an upload takes
    // its prompts, errors and timeout when it starts (a change applies to
    // the next one), and the other options are flags read where they are
    // used. Only a change of the serial port's settings waits (its Ok says so).
    case kCmdOptions:
      platRunDialog(kDialogOptions, w);
      ApplyScrollbackLimit();
      VtApplyMode();
      break;
    case kCmdDtr: SetModemLine(kLineDtr, gfDtrOn ? 0 : 1); break;
    case kCmdRts: SetModemLine(kLineRts, gfRtsOn ? 0 : 1); break;
    case kCmdSendBreak: RequestBreak(); break;
    case kCmdSaveSetup: saveSetup(w); break;
    case kCmdInfo: platRunDialog(kDialogAbout, w); break;
    case kCmdXmodemSend: ProtocolSendCommand(0); break;
    case kCmdYmodemSend: ProtocolSendCommand(1); break;
    case kCmdXmodemReceive: ProtocolReceiveCommand(0); break;
    case kCmdYmodemReceive: ProtocolReceiveCommand(1); break;
    case kCmdCopy: copySelection(w); break;
    case kCmdPaste: paste(w, 0); break;
    case kCmdSelectAll:
      SelectAllCells();
      DISPLAYOfferPrimary(w);
      break;
    case kCmdFind: platRunDialog(kDialogFind, w); break;
    case kCmdSaveOutput: SaveOutputDlg(w); break;
    case kCmdViewPageUp: ScrollDISPLAYPages(w, 1); break;
    case kCmdViewPageDown: ScrollDISPLAYPages(w, -1); break;
    case kCmdViewTop: ScrollDISPLAYVert(w, kSbTop, 0); break;
    case kCmdViewBottom: ScrollDISPLAYVert(w, kSbBottom, 0); break;
    default: return 0;
  }
  return 1;
}

unsigned DISPLAYCommandState(int id) {
  const unsigned greyed = ModemControlAvailable() ? 0u : kCmdGreyed;
  switch (id) {
    case kCmdDtr: return greyed | (gfDtrOn ? kCmdChecked : 0u);
    case kCmdRts: return greyed | (gfRtsOn ? kCmdChecked : 0u);
    case kCmdSendBreak: return greyed;
    case kCmdVt100: return gEmulation == kEmulationVt100 ? kCmdChecked : 0u;
    default: return 0;
  }
}
