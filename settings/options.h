// The options file ZELTO.INI beside the preset: every setting that the fixed
// 630-byte preset record has no room for, as "key = value" lines.
//
// The file is plain text under [section] headers; lines that begin with '#'
// or ';' are comments. A value is everything after the first '=', blanks
// around it left out (so a value may itself hold ';', '#' or '='). When the
// program writes the file back, every line it does not own (comments, blank
// lines, unknown sections and keys) stays where it was, and only the values
// of known keys change; keys the file lacks are added to their section.
// A missing file, or a value that does not read, means that key's default:
// reading never fails and never shows a box.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/types.h"
#include "settings/globals.h"

// ---- The options (each one named variable, read by its name) ----
// [upload]: the reply-paced upload. The lists are separated by '|', with
// any number of entries; the upload module reads the texts when an upload
// starts. A list text holds at most kUploadListMax - 1 characters: the
// Options dialog refuses a longer one, and the file's reader says so on the
// screen (OptionsLoadNote) and takes the default instead.
constexpr int kUploadListMax = 4096;
extern char gszUploadPrompt[kUploadListMax];     // prompt = ok|compiled
extern char gszUploadContinue[kUploadListMax];   // continue_prompts = compiled
extern char gszUploadErrors[kUploadListMax];     // errors = not found|...|\x15
extern Flag32 gUploadTimeoutMs;                // timeout_ms = 5000
// [terminal]
extern Flag32 gfNewLineOnLf;        // newline_on_lf: a lone LF starts a new line
enum : int32_t { kEnterCr = 0, kEnterLf = 1, kEnterCrLf = 2 };
extern Flag32 gEnterSends;          // enter_sends = CR | LF | CRLF
// The bytes Enter sends as gEnterSends says (CR, LF or CR LF): typed, and
// for each line end of a paste. Returns how many (1 or 2).
int EnterBytes(uint8_t out[2]);
extern Flag32 gfTimeStamps;         // timestamps: each screen line stamped
extern Flag32 gfTimeStampsInRecord; // timestamps_in_record
extern Flag32 gfStatusBar;          // status_bar: the bar below the screen
extern Flag32 gScrollbackLines;     // scrollback_lines: rows kept above the grid (0 none)
// VT100 emulation (display/vt_screen.h): received bytes drawn as a VT100
// terminal draws them, and keys sending what its keys send.
enum : int32_t { kEmulationNone = 0, kEmulationVt100 = 1 };
extern Flag32 gEmulation;           // emulation = none | vt100
enum : int32_t { kVtCharsetUtf8 = 0, kVtCharsetLatin1 = 1, kVtCharsetCp437 = 2 };
extern Flag32 gVtCharset;           // vt_charset = utf8 | latin1 | cp437: what the device's bytes mean
// vt_size = auto (the view's whole rows and columns) or COLSxROWS (80x24).
extern char gszVtSize[kUploadListMax];
// The emulated screen's size vt_size fixes: 0 for auto, else cols and rows.
int VtSizeOption(int32_t* cols, int32_t* rows);
enum : int32_t { kBackspaceDel = 0, kBackspaceBs = 1 };
extern Flag32 gBackspaceSends;      // backspace_sends = DEL | BS (in VT100 emulation)
// [transfer]: XMODEM and YMODEM.
extern Flag32 gfXmodem1k;           // xmodem_1k: XMODEM-CRC sends 1K blocks
// receive_folder: where YMODEM writes what it receives and the XMODEM
// dialog starts; empty: the user's download folder.
extern char gszReceiveFolder[kUploadListMax];
// [files]: remembered, not in the Options dialog.
// The send-file dialog's filter last chosen (TEXT, FORTH or ALL), in the
// order of the dialog's list of filters.
enum : int32_t { kSendFilterText = 0, kSendFilterForth = 1, kSendFilterAll = 2 };
extern Flag32 gSendFilter;          // send_filter = TEXT | FORTH | ALL

// The options file's full path, beside the preset (empty when there is none).
extern char gszOptionsPathName[kPathMax];
extern const char gszOptionsName[];   // "ZELTO.INI"

// ---- The table of options, for the Options dialog and the file ----
// kOptionList: a text typed, or picked from a list of what the system has now
// (the serial ports); an entry may follow its value with two blanks and a
// description in parentheses ("COM12  (USB Serial Port)"), which the value
// leaves out.
enum OptionKind : int { kOptionFlag, kOptionNumber, kOptionText, kOptionChoice, kOptionList };

constexpr int kOptionEntryMax = 320;   // one entry of a kOptionList row's list

// A row's own rule beyond its kind (the serial port's rows). A value read
// from the file that it refuses is told on the screen (OptionsLoadNote).
struct OptionRule {
  int (*check)(const char* value);             // 0 refuses a value the kind takes
  void (*accepts)(char* buf, size_t size);     // what the row takes
  int (*entries)(char (*list)[kOptionEntryMax], int max);   // kOptionList: the entries now
};

struct OptionDesc {
  const char* section;   // "upload"
  const char* key;       // "timeout_ms"
  const char* label;     // the Options dialog's text for it
  OptionKind kind;
  int32_t minimum;       // kOptionNumber: the accepted range
  int32_t maximum;       //   (kOptionList: the longest value)
  const char* fallback;  // the default, in the file's text form
  const char* const* choices;   // kOptionChoice: names, null-terminated
  const OptionRule* rule;       // or null
};

// The options the Options dialog shows, rows 0 to OptionCount() - 1; the
// file holds these and the remembered ones after them.
int OptionCount();
const OptionDesc& OptionAt(int i);
// The current value of option i in the file's text form ("1", "5000", "CRLF").
void OptionFormat(int i, char* buf, size_t size);
// Sets option i from its text form. Returns 0, changing nothing, when the
// text does not read as a value of that option (out of range, too long, not
// one of its choices). Flags take 0/1, also no/yes, off/on, false/true.
int OptionParse(int i, const char* text);
// Whether OptionParse would take the text, changing nothing.
int OptionCheck(int i, const char* text);
// What option i takes, for a message about a value that does not read
// ("a whole number from 100 to 600000", "one of CR, LF, CRLF").
void OptionAccepts(int i, char* buf, size_t size);
// Whether OptionParse would change option i's value.
int OptionWouldChange(int i, const char* text);
// The row of section and key, or -1.
int OptionIndex(const char* section, const char* key);
// Every option back to its default.
void ResetOptions();

// Computes gszOptionsPathName from the preset's folder (LoadPreset has run),
// then reads the file. Returns 1 when a file was read, 0 when none was there.
// Keys that are missing or do not read take their defaults.
int LoadOptions();
// What the last LoadOptions could not take as it was written (a list longer
// than its bound, a [serial] value its row refuses), as status texts for the
// fresh screen, one per key; "" when nothing.
const char* OptionsLoadNote();
// Writes the options into gszOptionsPathName, keeping every line that is not
// one of the known keys' values, the line ends and a leading UTF-8
// byte-order mark as the file had them. The new file takes the old one's
// place only when written whole (platFileReplace). Returns 1 then; 0 leaves
// the old file as it was.
int SaveOptions();
