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
  kCmdTerminal = 331,
  kCmdEraseScreen = 332,
  kCmdSaveSetup = 333,
  kCmdDtr = 336,                 // check item: the DTR line
  kCmdRts = 337,                 // check item: the RTS line
  kCmdSendBreak = 338,           // a 250 ms break
  kCmdInfo = 341,
};

// Carries out command id, chosen on main window w. Returns 1 when id is a
// command of the table, 0 for any other number (which changes nothing).
int DoDISPLAYCommand(WindowHandle w, int id);

// How a menu shows command id now (bits): greyed, checked.
constexpr unsigned kCmdGreyed = 1;
constexpr unsigned kCmdChecked = 2;
unsigned DISPLAYCommandState(int id);
