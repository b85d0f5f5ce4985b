// The command table: each menu command or function key mapped to the operation it starts.
#include "app/commands.h"

#include "display/screen.h"
#include "platform/msgbox.h"
#include "platform/shell.h"
#include "settings/globals.h"
#include "settings/options.h"
#include "settings/preset.h"
#include "transfer/filesend.h"
#include "transfer/record.h"
#include "transfer/upload.h"

namespace {

// F6 and F7: the next line of a running send in the new mode, or a new send.
void sendLineByLine(int mode) {
  if (UploadRunning()) return;   // the replies pace the file meanwhile
  gSendMode = mode;
  if (gfSendFileOpen) {
    UploadKeyLine();
    SendCommBlock();
  } else {
    StartSendFile();
  }
}

// "Terminal": the settings that a running transfer reads must not change
// under it, so the Setup dialog waits until the transfer has ended.
void runSetup(WindowHandle w) {
  if (gfSendFileOpen || gfRecFileOpen) {
    platMessageBox(w, "First terminate\nFile Transfer !", gszAppName, kIconWarning);
    return;
  }
  platRunDialog(kDialogSetup, w);
}

}  // namespace

int DoDISPLAYCommand(WindowHandle w, int id) {
  switch (id) {
    case kCmdExit: platPostClose(w); break;
    case kCmdSelectSendFile: SendFileOpenDlg(); break;
    case kCmdSelectRecordFile: RecFileOpenDlg(); break;
    case kCmdDropStream: gfDropStream = 1; break;
    case kCmdShowStream: gfDropStream = 0; break;
    case kCmdSendRaw:
      if (UploadRunning()) break;
      gSendMode = 0;
      StartSendFile();
      break;
    case kCmdSendLine: sendLineByLine(1); break;
    case kCmdSendLineSkip: sendLineByLine(2); break;
    case kCmdAbortSend: StopSendFile(); break;
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
    case kCmdSaveSetup:
      SavePreset(w);
      SaveOptions();
      break;
    case kCmdInfo: platRunDialog(kDialogAbout, w); break;
    default: return 0;
  }
  return 1;
}
