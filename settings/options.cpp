// The options file ZELTO.INI: the table of options, reading it, and writing it
// back with every line the program does not own kept in place.
#include "settings/options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "display/screen.h"
#include "platform/file.h"
#include "settings/preset.h"
#include "settings/serial_options.h"

// The defaults from the start, as the numbers have them: a program part that
// runs before LoadOptions (or without it) never sees empty lists.
char gszUploadPrompt[kUploadListMax] = "ok|compiled";
char gszUploadContinue[kUploadListMax] = "compiled";
char gszUploadErrors[kUploadListMax] = "not found|Undefined word|?|Stack underflow|compile-only|\\x15";
Flag32 gUploadTimeoutMs{5000};
Flag32 gfNewLineOnLf{0};
Flag32 gEnterSends{kEnterCr};
Flag32 gfTimeStamps{0};
Flag32 gfTimeStampsInRecord{0};
Flag32 gfStatusBar{0};
Flag32 gScrollbackLines{10000};
Flag32 gEmulation{kEmulationNone};
Flag32 gVtCharset{kVtCharsetUtf8};
char gszVtSize[kUploadListMax] = "auto";
Flag32 gBackspaceSends{kBackspaceDel};
Flag32 gSendFilter{kSendFilterText};
Flag32 gfXmodem1k{1};
char gszReceiveFolder[kUploadListMax] = "";
char gszOptionsPathName[kPathMax];
const char gszOptionsName[] = "ZELTO.INI";
namespace {
char gLoadNote[1024] = "";
}  // namespace

int EnterBytes(uint8_t out[2]) {
  switch (gEnterSends.load()) {
    case kEnterLf: out[0] = '\n'; return 1;
    case kEnterCrLf:
      out[0] = '\r';
      out[1] = '\n';
      return 2;
    default: out[0] = '\r'; return 1;
  }
}

namespace {

const char* const kEnterChoices[] = {"CR", "LF", "CRLF", nullptr};
const char* const kFilterChoices[] = {"TEXT", "FORTH", "ALL", nullptr};
const char* const kParityChoices[] = {"none", "even", "odd", "mark", "space", nullptr};
const char* const kStopChoices[] = {"1", "1.5", "2", nullptr};
const char* const kFlowChoices[] = {"none", "rtscts", "xonxoff", nullptr};
const char* const kEmulationChoices[] = {"none", "vt100", nullptr};
const char* const kCharsetChoices[] = {"utf8", "latin1", "cp437", nullptr};
const char* const kBackspaceChoices[] = {"DEL", "BS", nullptr};

// The sizes vt_size takes: the screen model's grid bounds them.
constexpr int32_t kVtMinCols = 2, kVtMinRows = 2;

// "auto", or COLSxROWS within the grid; 0 for anything else.
int readVtSize(const char* value, int32_t* cols, int32_t* rows) {
  const char* a = value;
  while (*a == ' ') a++;
  if ((a[0] | 0x20) == 'a' && (a[1] | 0x20) == 'u' && (a[2] | 0x20) == 't' && (a[3] | 0x20) == 'o' && a[4] == '\0') {
    *cols = 0;
    *rows = 0;
    return 1;
  }
  int32_t n[2] = {0, 0};
  int part = 0, digits = 0;
  for (const char* p = value; *p; p++) {
    if (*p >= '0' && *p <= '9' && digits < 5) {
      n[part] = n[part] * 10 + (*p - '0');
      digits++;
    } else if ((*p == 'x' || *p == 'X') && part == 0 && digits > 0) {
      part = 1;
      digits = 0;
    } else {
      return 0;
    }
  }
  if (part != 1 || digits == 0) return 0;
  if (n[0] < kVtMinCols || n[0] > kScreenCols || n[1] < kVtMinRows || n[1] > kScreenRows) return 0;
  *cols = n[0];
  *rows = n[1];
  return 1;
}
int checkVtSize(const char* value) {
  int32_t c = 0, r = 0;
  return readVtSize(value, &c, &r);
}
void acceptsVtSize(char* buf, size_t size) {
  std::snprintf(buf, size, "auto or COLSxROWS from %dx%d to %dx%d", kVtMinCols, kVtMinRows, kScreenCols, kScreenRows);
}
const OptionRule kVtSizeRule{checkVtSize, acceptsVtSize, nullptr};

// One row per option; the order is the Options dialog's and the order keys
// are added to a file that lacks them.
const OptionDesc kOptions[] = {
    {"upload", "prompt", "Prompts that end a reply", kOptionText, 0, 0, "ok|compiled", nullptr},
    {"upload", "continue_prompts", "Prompts inside a definition", kOptionText, 0, 0, "compiled", nullptr},
    {"upload", "errors", "Error texts that stop an upload", kOptionText, 0, 0,
     "not found|Undefined word|?|Stack underflow|compile-only|\\x15", nullptr},
    {"upload", "timeout_ms", "Reply timeout (ms)", kOptionNumber, 100, 600000, "5000", nullptr},
    {"terminal", "newline_on_lf", "New line on LF", kOptionFlag, 0, 1, "0", nullptr},
    {"terminal", "enter_sends", "Enter sends", kOptionChoice, 0, 2, "CR", kEnterChoices},
    {"terminal", "timestamps", "Time stamps", kOptionFlag, 0, 1, "0", nullptr},
    {"terminal", "timestamps_in_record", "Time stamps in record file", kOptionFlag, 0, 1, "0", nullptr},
    {"terminal", "status_bar", "Status bar", kOptionFlag, 0, 1, "0", nullptr},
    {"terminal", "scrollback_lines", "Scrollback lines", kOptionNumber, 0, 1000000, "10000", nullptr},
    {"serial", "device", "Serial port (empty: Setup's)", kOptionList, 0, kSerialNameMax - 1, "", nullptr,
     &kSerialDeviceRule},
    {"serial", "baud", "Baud rate (0: Setup's)", kOptionNumber, 0, kSerialRateMax, "0", nullptr, &kSerialBaudRule},
    {"serial", "data_bits", "Data bits", kOptionNumber, 5, 8, "8", nullptr, &kSerialFramingRule},
    {"serial", "parity", "Parity", kOptionChoice, 0, 4, "none", kParityChoices, &kSerialFramingRule},
    {"serial", "stop_bits", "Stop bits", kOptionChoice, 0, 2, "1", kStopChoices, &kSerialFramingRule},
    {"serial", "flow", "Flow control", kOptionChoice, 0, 2, "none", kFlowChoices, &kSerialFramingRule},
    {"transfer", "xmodem_1k", "XMODEM sends 1K blocks", kOptionFlag, 0, 1, "1", nullptr},
    {"transfer", "receive_folder", "Receive folder", kOptionText, 0, 0, "", nullptr},
    {"terminal", "emulation", "VT100 Emulation", kOptionChoice, 0, 1, "none", kEmulationChoices},
    // The rows from here on are kept in the file but not shown in the
    // Options dialog: the emulation's finer settings, which the user sets
    // in the file, and what the program remembers of how it was used.
    {"terminal", "vt_charset", "VT100 character set", kOptionChoice, 0, 2, "utf8", kCharsetChoices},
    {"terminal", "vt_size", "VT100 screen size", kOptionText, 0, 0, "auto", nullptr, &kVtSizeRule},
    {"terminal", "backspace_sends", "Backspace sends", kOptionChoice, 0, 1, "DEL", kBackspaceChoices},
    {"files", "send_filter", "Send file filter", kOptionChoice, 0, 2, "TEXT", kFilterChoices},
};
constexpr int kOptionTotal = static_cast<int>(sizeof kOptions / sizeof kOptions[0]);
constexpr int kRememberedTotal = 4;   // the last rows, not in the dialog

// Where each option's value lives: a text buffer or a number.
char* textOf(int i) {
  switch (i) {
    case 0: return gszUploadPrompt;
    case 1: return gszUploadContinue;
    case 2: return gszUploadErrors;
    case 10: return gszSerialDevice;
    case 17: return gszReceiveFolder;
    case 20: return gszVtSize;
    default: return nullptr;
  }
}
Flag32* numberOf(int i) {
  static Flag32* const numbers[kOptionTotal] = {nullptr, nullptr, nullptr, &gUploadTimeoutMs, &gfNewLineOnLf,
                                                &gEnterSends, &gfTimeStamps, &gfTimeStampsInRecord,
                                                &gfStatusBar, &gScrollbackLines, nullptr, &gSerialBaud,
                                                &gSerialDataBits, &gSerialParity, &gSerialStopBits, &gSerialFlow,
                                                &gfXmodem1k, nullptr, &gEmulation, &gVtCharset,
                                                nullptr, &gBackspaceSends, &gSendFilter};
  // cppcheck-suppress CastIntegerToAddressAtReturn ; an entry of a table of pointers
  return numbers[i];
}

bool sameWord(const char* a, const char* b) {
  for (; *a && *b; a++, b++) {
    const char x = (*a >= 'a' && *a <= 'z') ? static_cast<char>(*a - 32) : *a;
    const char y = (*b >= 'a' && *b <= 'z') ? static_cast<char>(*b - 32) : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

std::string trimmed(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t')) a++;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r')) b--;
  return s.substr(a, b - a);
}

// A file larger than this is not the program's: it is read for its values
// but never written over, so nothing of it is cut off.
constexpr size_t kFileMax = 1u << 20;

// The byte-order mark that Windows editors put before UTF-8 text: not part
// of the first line, and written back as the file had it.
const char kUtf8Bom[] = "\xEF\xBB\xBF";
constexpr size_t kUtf8BomLen = sizeof kUtf8Bom - 1;

// How the file was written, so a save writes it the same way.
struct FileForm {
  bool crlf = false;   // CR LF line ends
  bool bom = false;    // a leading UTF-8 byte-order mark
};

// The file's lines without their ends, and its form. whole is false when
// it could not be read to its end. Returns false when there is no file.
bool readLines(std::vector<std::string>& lines, FileForm& form, bool& whole) {
  lines.clear();
  form = FileForm{};
  whole = true;
  if (!gszOptionsPathName[0]) return false;
  PlatHandle h = platFileOpenRead(gszOptionsPathName);
  if (h == kInvalidHandle) {
    // The user has saved none yet: an options file that came with an
    // installation, beside the program, is read (and kept on a save).
    char shipped[kPathMax];
    if (!SettingsReadPath(gszOptionsName, shipped, sizeof shipped) ||
        std::strcmp(shipped, gszOptionsPathName) == 0)
      return false;
    h = platFileOpenRead(shipped);
    if (h == kInvalidHandle) return false;
  }
  std::string text;
  char buf[4096];
  for (;;) {
    uint32_t got = 0;
    if (!platFileRead(h, buf, sizeof buf, &got)) {
      whole = false;
      break;
    }
    if (got == 0) break;
    if (text.size() + got > kFileMax) {
      whole = false;
      break;
    }
    text.append(buf, got);
  }
  platFileClose(h);
  size_t start = 0;
  if (text.compare(0, kUtf8BomLen, kUtf8Bom) == 0) {
    form.bom = true;
    start = kUtf8BomLen;
  }
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
      if (lines.empty()) form.crlf = true;
    }
    lines.push_back(line);
    start = end + 1;
  }
  return true;
}

// What a line is: a section header (section set), a key line (key set),
// or anything else (both left empty).
void classify(const std::string& line, std::string& section, std::string& key, std::string& value) {
  section.clear();
  key.clear();
  value.clear();
  const std::string t = trimmed(line);
  if (t.empty() || t[0] == '#' || t[0] == ';') return;
  if (t[0] == '[') {
    const size_t close = t.find(']');
    if (close != std::string::npos) section = trimmed(t.substr(1, close - 1));
    return;
  }
  const size_t eq = t.find('=');
  if (eq == std::string::npos) return;
  key = trimmed(t.substr(0, eq));
  value = trimmed(t.substr(eq + 1));
}

int findOption(const std::string& section, const std::string& key) {
  for (int i = 0; i < kOptionTotal; i++)
    if (sameWord(kOptions[i].section, section.c_str()) && sameWord(kOptions[i].key, key.c_str())) return i;
  return -1;
}

std::string keyLine(int i) {
  char value[kUploadListMax];
  OptionFormat(i, value, sizeof value);
  return std::string(kOptions[i].key) + (value[0] ? " = " : " =") + value;
}

}  // namespace

int VtSizeOption(int32_t* cols, int32_t* rows) {
  *cols = 0;
  *rows = 0;
  return readVtSize(gszVtSize, cols, rows) && *cols > 0 ? 1 : 0;
}

int OptionCount() { return kOptionTotal - kRememberedTotal; }

const OptionDesc& OptionAt(int i) { return kOptions[i]; }

void OptionFormat(int i, char* buf, size_t size) {
  if (size == 0) return;
  const OptionDesc& o = kOptions[i];
  const int32_t n = numberOf(i) ? numberOf(i)->load() : 0;
  switch (o.kind) {
    case kOptionText:
    case kOptionList: std::snprintf(buf, size, "%s", textOf(i)); break;
    case kOptionChoice: std::snprintf(buf, size, "%s", o.choices[n]); break;
    default: std::snprintf(buf, size, "%d", static_cast<int>(n)); break;
  }
}

namespace {

// Reads text as a value of option i; stores it only when store is set.
int readOption(int i, const char* text, bool store) {
  const OptionDesc& o = kOptions[i];
  std::string t = trimmed(text ? text : "");
  if (o.kind == kOptionList) {
    if (!t.empty() && t.back() == ')') t = trimmed(t.substr(0, t.find("  (")));
    if (t.size() > static_cast<size_t>(o.maximum)) return 0;
  }
  if (o.rule && o.rule->check && !o.rule->check(t.c_str())) return 0;
  switch (o.kind) {
    case kOptionText:
    case kOptionList: {
      if (t.size() >= kUploadListMax) return 0;
      if (store) std::memcpy(textOf(i), t.c_str(), t.size() + 1);
      return 1;
    }
    case kOptionFlag: {
      static const char* const yes[] = {"1", "yes", "on", "true"};
      static const char* const no[] = {"0", "no", "off", "false"};
      int32_t v = -1;
      for (int k = 0; k < 4 && v < 0; k++) {
        if (sameWord(t.c_str(), yes[k])) v = 1;
        if (sameWord(t.c_str(), no[k])) v = 0;
      }
      if (v < 0) return 0;
      if (store) numberOf(i)->store(v);
      return 1;
    }
    case kOptionChoice: {
      std::string compact;   // "CR LF" reads as "CRLF"
      for (char c : t)
        if (c != ' ' && c != '\t' && c != '+') compact += c;
      for (int k = 0; o.choices[k]; k++) {
        if (!sameWord(compact.c_str(), o.choices[k])) continue;
        if (store) numberOf(i)->store(k);
        return 1;
      }
      return 0;
    }
    case kOptionNumber: {
      if (t.empty() || t.size() > 9) return 0;
      for (char c : t)
        if (c < '0' || c > '9') return 0;
      const long v = std::strtol(t.c_str(), nullptr, 10);
      if (v < o.minimum || v > o.maximum) return 0;
      if (store) numberOf(i)->store(static_cast<int32_t>(v));
      return 1;
    }
  }
  return 0;
}

}  // namespace

int OptionParse(int i, const char* text) { return readOption(i, text, true); }

int OptionCheck(int i, const char* text) { return readOption(i, text, false); }

int OptionWouldChange(int i, const char* text) {
  if (!OptionCheck(i, text)) return 0;
  char before[kUploadListMax], after[kUploadListMax];
  OptionFormat(i, before, sizeof before);
  OptionParse(i, text);
  OptionFormat(i, after, sizeof after);
  OptionParse(i, before);
  return std::strcmp(before, after) != 0;
}

int OptionIndex(const char* section, const char* key) { return findOption(section, key); }

void OptionAccepts(int i, char* buf, size_t size) {
  if (size == 0) return;
  const OptionDesc& o = kOptions[i];
  if (o.rule && o.rule->accepts) {
    o.rule->accepts(buf, size);
    return;
  }
  switch (o.kind) {
    case kOptionFlag: std::snprintf(buf, size, "on or off"); break;
    case kOptionNumber:
      std::snprintf(buf, size, "a whole number from %d to %d", static_cast<int>(o.minimum), static_cast<int>(o.maximum));
      break;
    case kOptionText:
    case kOptionList: std::snprintf(buf, size, "a text of at most %d characters", kUploadListMax - 1); break;
    case kOptionChoice: {
      std::string list;
      for (int k = 0; o.choices[k]; k++) list += std::string(k ? ", " : "") + o.choices[k];
      std::snprintf(buf, size, "one of %s", list.c_str());
      break;
    }
  }
}

void ResetOptions() {
  for (int i = 0; i < kOptionTotal; i++) OptionParse(i, kOptions[i].fallback);
}

int LoadOptions() {
  ResetOptions();
  gLoadNote[0] = '\0';
  // The options lie in the preset's folder: the same folder rules for both.
  std::memset(gszOptionsPathName, 0, sizeof gszOptionsPathName);
  size_t folder = std::strlen(gszPresetPathName);
  while (folder > 0 && gszPresetPathName[folder - 1] != '/' && gszPresetPathName[folder - 1] != '\\') folder--;
  if (gszPresetPathName[0] && folder + sizeof gszOptionsName <= sizeof gszOptionsPathName) {
    std::snprintf(gszOptionsPathName, sizeof gszOptionsPathName, "%.*s%s", static_cast<int>(folder), gszPresetPathName,
                  gszOptionsName);
  }
  std::vector<std::string> lines;
  FileForm form;
  bool whole = true;
  const bool read = readLines(lines, form, whole);
  std::string section, s, key, value;
  for (const std::string& line : lines) {
    classify(line, s, key, value);
    if (!s.empty()) section = s;
    if (key.empty()) continue;
    const int i = findOption(section, key);
    if (i < 0 || OptionParse(i, value.c_str())) continue;
    OptionParse(i, kOptions[i].fallback);
    // A list too long to keep is not cut short unseen, and the serial port
    // is never opened with a value other than the one the screen names (nor
    // the emulated screen given a size other than the one it says).
    const size_t used = std::strlen(gLoadNote);
    if (kOptions[i].kind == kOptionText && value.size() >= kUploadListMax) {
      if (gLoadNote[0]) continue;
      std::snprintf(gLoadNote, sizeof gLoadNote, "\r-%s: %s is longer than %d characters, its default is used-\r",
                    gszOptionsName, kOptions[i].key, kUploadListMax - 1);
    } else if (kOptions[i].rule) {
      char accepts[200];
      OptionAccepts(i, accepts, sizeof accepts);
      std::snprintf(gLoadNote + used, sizeof gLoadNote - used, "\r-%s: %s takes %s; its default is used-\r",
                    gszOptionsName, kOptions[i].key, accepts);
    }
  }
  SerialOptionsLoaded(gLoadNote, sizeof gLoadNote);
  return read ? 1 : 0;
}

const char* OptionsLoadNote() { return gLoadNote; }

int SaveOptions() {
  if (!gszOptionsPathName[0]) return 0;
  std::vector<std::string> lines;
  FileForm form;
  bool whole = true;
  readLines(lines, form, whole);
  if (!whole) return 0;   // a file it could not read whole is left as it is
  // Known keys get their values in place.
  bool written[kOptionTotal] = {};
  std::string section, s, key, value;
  for (std::string& line : lines) {
    classify(line, s, key, value);
    if (!s.empty()) section = s;
    if (key.empty()) continue;
    const int i = findOption(section, key);
    if (i < 0) continue;
    line = keyLine(i);
    written[i] = true;
  }
  // Keys the file lacks go after the last key of their section, or into a
  // new section at the end.
  for (int i = 0; i < kOptionTotal; i++) {
    if (written[i]) continue;
    int after = -1;
    section.clear();
    for (int n = 0; n < static_cast<int>(lines.size()); n++) {
      classify(lines[n], s, key, value);
      if (!s.empty()) section = s;
      if (sameWord(section.c_str(), kOptions[i].section) && (!s.empty() || !key.empty())) after = n;
    }
    if (after < 0) {
      if (!lines.empty() && !trimmed(lines.back()).empty()) lines.emplace_back();
      lines.push_back(std::string("[") + kOptions[i].section + "]");
      after = static_cast<int>(lines.size()) - 1;
    }
    lines.insert(lines.begin() + after + 1, keyLine(i));
    written[i] = true;
  }
  std::string text = form.bom ? kUtf8Bom : "";
  const char* end = form.crlf ? "\r\n" : "\n";
  for (const std::string& line : lines) text += line + end;
  // All or nothing: a disk that fills up mid-way keeps the user's file.
  return platFileReplace(gszOptionsPathName, text.data(), static_cast<uint32_t>(text.size()));
}
