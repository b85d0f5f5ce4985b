// The menu and function-key commands: one table from command number to action.
#pragma once
#include "platform/types.h"

// Command numbers of the menu "ZELTO" and its accelerators.
enum : int {
  kCmdExit = 301,
  kCmdSelectSendFile = 302,      // F1
  kCmdSelectRecordFile = 304,    // F2
  kCmdSaveOutput = 306,          // Ctrl+Shift+S: "Save Output As..."
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
  kCmdOptions = 335,
  kCmdDtr = 336,                 // check item: the DTR line
  kCmdRts = 337,                 // check item: the RTS line
  kCmdSendBreak = 338,           // a 250 ms break
  kCmdClearScrollback = 339,     // Erase Screen and the history emptied
  kCmdInfo = 341,
  kCmdVt100 = 342,               // check item: VT100 emulation
  kCmdCopy = 351,                // Ctrl+Insert, Ctrl+Shift+C
  kCmdPaste = 352,               // Shift+Insert, Ctrl+Shift+V
  kCmdSelectAll = 353,
  kCmdFind = 354,                // Ctrl+Shift+F: "Find..."
  kCmdViewPageUp = 355,          // Shift+Page Up: the view a page up through history and grid
  kCmdViewPageDown = 356,        // Shift+Page Down
  kCmdViewTop = 357,             // Shift+Home: the oldest row of the history
  kCmdViewBottom = 358,          // Shift+End: the end, following output again
  kCmdXmodemSend = 361,          // Ctrl+F5
  kCmdYmodemSend = 362,          // Ctrl+F6
  kCmdXmodemReceive = 363,       // Ctrl+F7
  kCmdYmodemReceive = 364,       // Ctrl+F8
};

// The menu a right click on the view opens.
struct CommandText {
  const char* text;
  int command;
};
constexpr CommandText kSelectionMenu[] = {{"Copy", kCmdCopy},
                                         {"Paste", kCmdPaste},
                                         {"Select All", kCmdSelectAll},
                                         {"Find...", kCmdFind},
                                         {"Clear Scrollback", kCmdClearScrollback}};

// Carries out command id, chosen on main window w. Returns 1 when id is a
// command of the table, 0 for any other number (which changes nothing).
int DoDISPLAYCommand(WindowHandle w, int id);

// Find (the find bar's Next and Previous): text searched towards older or
// newer output (display/find.h); a match is selected, brought into view and
// offered as the primary selection. Returns a FindResult.
int DISPLAYFindText(WindowHandle w, const char* text, int matchCase, int older);
// The note the find bar shows for a FindResult: "-wrapped-", "not found" or "".
const char* DISPLAYFindNote(int result);

// X's primary selection (GTK): the selection, once made, is offered there;
// a middle click pastes what it holds.
void DISPLAYOfferPrimary(WindowHandle w);
void DISPLAYPastePrimary(WindowHandle w);
// How a menu shows command id now (bits): greyed, checked.
constexpr unsigned kCmdGreyed = 1;
constexpr unsigned kCmdChecked = 2;
unsigned DISPLAYCommandState(int id);
