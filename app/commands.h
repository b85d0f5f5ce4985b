// The menu and function-key commands: one table from command number to action.
#pragma once
#include "platform/types.h"

// Command numbers of the menu "ZELTO" and its accelerators.
enum : int {
  kCmdExit = 301,
  kCmdSelectSendFile = 302,      // F1
  kCmdSelectRecordFile = 304,    // F2
  kCmdDropStream = 311,          // F3
  kCmdShowStream = 312,          // F4
  kCmdSendRaw = 321,             // F5
  kCmdSendLine = 322,            // F6
  kCmdSendLineSkip = 323,        // F7
  kCmdAbortSend = 324,           // F8
  kCmdRecordShown = 325,         // F9
  kCmdRecordQuiet = 326,         // F10
  kCmdPauseRecord = 327,         // F11
  kCmdCloseRecord = 328,         // F12
  kCmdUploadPaced = 329,         // Shift+F6
  kCmdUploadPacedSkip = 330,     // Shift+F7
  kCmdTerminal = 331,
  kCmdEraseScreen = 332,
  kCmdSaveSetup = 333,
  kCmdInfo = 341,
};

// Carries out command id, chosen on main window w. Returns 1 when id is a
// command of the table, 0 for any other number (which changes nothing).
int DoDISPLAYCommand(WindowHandle w, int id);
