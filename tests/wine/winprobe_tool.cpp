// A probe for the Wine end-to-end tests: reads from outside what ZELTO.EXE shows (its window, message boxes, dialogs) and what its resources hold.
//
//   winprobe metrics                 system metrics and the default character cell
//   winprobe window [MS]             the main window (waits up to MS for it)
//   winprobe dialogs                 every visible dialog and message box, with items
//   winprobe wait-dialog CAPTION MS  waits for a dialog with that caption, then lists it
//   winprobe wait-gone CAPTION MS    waits until no dialog has that caption
//   winprobe press CAPTION ID        presses a dialog's button (BM_CLICK)
//   winprobe text CAPTION ID         the text a dialog's control holds
//   winprobe post MSG WPARAM LPARAM  posts a message to the main window
//   winprobe send MSG WPARAM LPARAM  sends it and tells how long the window
//                                    took to handle it ("sent ms=N")
//   winprobe caret-after MSG WPARAM LPARAM X Y MS
//                                    sends the message, then waits until the
//                                    main window's caret stands at X, Y
//                                    (client pixels; X -1: any) and tells
//                                    how long that took ("caret ok=1 ms=N")
//   winprobe wait-closed MS          waits until the main window is gone
//   winprobe resources EXE           menu, accelerators, strings and dialog
//                                    templates, read from the file itself
//   winprobe hold PORT MS            opens a port exclusively and holds it
//   winprobe clip-get                the clipboard's CF_UNICODETEXT as the hex
//                                    of its UTF-8 ("clip hex=...")
//   winprobe clip-set HEX            puts that UTF-8 there as CF_UNICODETEXT
//                                    (NULs in it too)
//   winprobe fit EXE ID...           builds those dialogs from the file's
//                                    templates, hidden, in this process (so
//                                    with this prefix's dialog fonts), and
//                                    tells for each text whether it shows
//                                    whole on one line in its control
//   winprobe fit-open CAPTION EXE ID the same for the open dialog with that
//                                    caption, built at run time, measured
//                                    in the font of the file's dialog ID
//
// Output is one record per line, "kind key=value ..." with texts in quotes,
// where \t, \n, \r, \" and \\ stand for themselves. Exit code 0 on success,
// 1 when something waited for did not come.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kClass[] = "Zelto v3.16";

std::string quote(const char* s) {
  std::string out = "\"";
  for (; *s; s++) {
    switch (*s) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      default: out += *s;
    }
  }
  return out + "\"";
}

std::string quoteW(const wchar_t* s, int n = -1) {
  char buf[1024];
  const int len = WideCharToMultiByte(CP_ACP, 0, s, n, buf, sizeof buf - 1, nullptr, nullptr);
  buf[len > 0 ? (n < 0 ? len - 1 : len) : 0] = 0;
  return quote(buf);
}

HWND mainWindow() { return FindWindowA(kClass, nullptr); }

void printWindow(HWND w) {
  char title[256] = "", cls[256] = "";
  GetWindowTextA(w, title, sizeof title);
  GetClassNameA(w, cls, sizeof cls);
  RECT r, c;
  GetWindowRect(w, &r);
  GetClientRect(w, &c);
  POINT origin = {0, 0};
  ClientToScreen(w, &origin);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  const LONG style = GetWindowLongA(w, GWL_STYLE);
  // The vertical bar: its range over history and grid, and its position.
  SCROLLINFO bar{sizeof bar, SIF_RANGE | SIF_POS, 0, 0, 0, 0, 0};
  if (!GetScrollInfo(w, SB_VERT, &bar)) bar.nMax = bar.nPos = 0;
  std::printf("window class=%s title=%s x=%ld y=%ld w=%ld h=%ld clientx=%ld clienty=%ld clientw=%ld clienth=%ld "
              "style=0x%08lx visible=%d foreground=%d enabled=%d pid=%lu menu=%d vmax=%d vpos=%d\n",
              quote(cls).c_str(), quote(title).c_str(), r.left, r.top, r.right - r.left, r.bottom - r.top, origin.x,
              origin.y, c.right - c.left, c.bottom - c.top, static_cast<unsigned long>(style),
              IsWindowVisible(w) ? 1 : 0, GetForegroundWindow() == w ? 1 : 0, IsWindowEnabled(w) ? 1 : 0,
              static_cast<unsigned long>(pid), GetMenu(w) ? 1 : 0, bar.nMax, bar.nPos);
}

BOOL CALLBACK printItem(HWND item, LPARAM) {
  char text[512] = "", cls[64] = "";
  GetWindowTextA(item, text, sizeof text);
  GetClassNameA(item, cls, sizeof cls);
  RECT r;
  GetWindowRect(item, &r);
  const LONG style = GetWindowLongA(item, GWL_STYLE);
  const bool icon = _stricmp(cls, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON;
  std::printf("  item id=%d class=%s text=%s x=%ld y=%ld w=%ld h=%ld style=0x%08lx icon=%d visible=%d\n",
              GetDlgCtrlID(item), quote(cls).c_str(), quote(text).c_str(), r.left, r.top, r.right - r.left,
              r.bottom - r.top, static_cast<unsigned long>(style), icon ? 1 : 0, IsWindowVisible(item) ? 1 : 0);
  return TRUE;
}

struct Search {
  const char* caption;  // null: every dialog
  HWND found;
  bool print;
};

BOOL CALLBACK visitTop(HWND w, LPARAM lp) {
  Search* s = reinterpret_cast<Search*>(lp);
  char cls[64] = "", title[256] = "";
  GetClassNameA(w, cls, sizeof cls);
  if (std::strcmp(cls, "#32770") != 0 || !IsWindowVisible(w)) return TRUE;
  GetWindowTextA(w, title, sizeof title);
  if (s->caption && std::strcmp(title, s->caption) != 0) return TRUE;
  s->found = w;
  if (s->print) {
    RECT r;
    GetWindowRect(w, &r);
    HWND owner = GetWindow(w, GW_OWNER);
    std::printf("dialog caption=%s x=%ld y=%ld w=%ld h=%ld owner=%s style=0x%08lx foreground=%d\n",
                quote(title).c_str(), r.left, r.top, r.right - r.left, r.bottom - r.top,
                owner == nullptr ? "none" : (owner == mainWindow() ? "main" : "other"),
                static_cast<unsigned long>(GetWindowLongA(w, GWL_STYLE)), GetForegroundWindow() == w ? 1 : 0);
    EnumChildWindows(w, printItem, 0);
  }
  return TRUE;
}

HWND findDialog(const char* caption, bool print) {
  Search s = {caption, nullptr, print};
  EnumWindows(visitTop, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

int metrics() {
  const int cx = GetSystemMetrics(SM_CXVSCROLL), cy = GetSystemMetrics(SM_CYHSCROLL);
  // The character cell the display measures for its default font: "Courier
  // New", characters of the scroll-bar height less 3 pixels, OEM set, fixed.
  LOGFONTA lf = {};
  lf.lfHeight = 3 - cy;
  lf.lfCharSet = OEM_CHARSET;
  lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  std::strcpy(lf.lfFaceName, "Courier New");
  HFONT font = CreateFontIndirectA(&lf);
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICA tm = {};
  GetTextMetricsA(dc, &tm);
  char face[64] = "";
  GetTextFaceA(dc, sizeof face, face);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  DeleteObject(font);
  std::printf("metrics cxvscroll=%d cyhscroll=%d cycaption=%d cymenu=%d cellx=%ld celly=%ld face=%s "
              "screenw=%d screenh=%d\n",
              cx, cy, GetSystemMetrics(SM_CYCAPTION), GetSystemMetrics(SM_CYMENU), tm.tmAveCharWidth,
              tm.tmHeight + tm.tmExternalLeading, quote(face).c_str(), GetSystemMetrics(SM_CXSCREEN),
              GetSystemMetrics(SM_CYSCREEN));
  return 0;
}

template <typename F>
bool waitUntil(int ms, F cond) {
  for (int t = 0;; t += 20) {
    if (cond()) return true;
    if (t >= ms) return false;
    Sleep(20);
  }
}

void dumpMenu(HMENU menu, const std::string& path) {
  const int n = GetMenuItemCount(menu);
  for (int i = 0; i < n; i++) {
    char text[256] = "";
    MENUITEMINFOA mi = {};
    mi.cbSize = sizeof mi;
    mi.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING | MIIM_STATE;
    mi.dwTypeData = text;
    mi.cch = sizeof text;
    if (!GetMenuItemInfoA(menu, i, TRUE, &mi)) continue;
    if (mi.fType & MFT_SEPARATOR) {
      std::printf("menu path=%s pos=%d separator=1\n", quote(path.c_str()).c_str(), i);
    } else if (mi.hSubMenu) {
      std::printf("menu path=%s pos=%d popup=%s\n", quote(path.c_str()).c_str(), i, quote(text).c_str());
      dumpMenu(mi.hSubMenu, path.empty() ? text : path + "/" + text);
    } else {
      std::printf("menu path=%s pos=%d id=%u text=%s state=0x%x\n", quote(path.c_str()).c_str(), i, mi.wID,
                  quote(text).c_str(), mi.fState);
    }
  }
}

// Walks one dialog template, DLGTEMPLATE or DLGTEMPLATEEX.
class TemplateReader {
 public:
  explicit TemplateReader(const BYTE* p) : p_(p) {}
  WORD word() {
    WORD w;
    std::memcpy(&w, p_, 2);
    p_ += 2;
    return w;
  }
  DWORD dword() {
    DWORD d;
    std::memcpy(&d, p_, 4);
    p_ += 4;
    return d;
  }
  short sword() { return static_cast<short>(word()); }
  // A resource name or ordinal, or a text.
  std::string sz() {
    if (peek() == 0xFFFF) {
      word();
      char ordinal[16];
      std::snprintf(ordinal, sizeof ordinal, "#%u", static_cast<unsigned>(word()));
      return ordinal;
    }
    const wchar_t* s = reinterpret_cast<const wchar_t*>(p_);
    const size_t n = wcslen(s);
    p_ += (n + 1) * 2;
    return quoteW(s, static_cast<int>(n));
  }
  void align(const BYTE* base) {
    while ((p_ - base) % 4) p_++;
  }
  void skip(size_t n) { p_ += n; }
  WORD peek() const {
    WORD w;
    std::memcpy(&w, p_, 2);
    return w;
  }

 private:
  const BYTE* p_;
};

std::string className(const std::string& cls) {
  static const char* atoms[] = {"Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox"};
  if (cls.size() > 1 && cls[0] == '#') {
    const int a = std::atoi(cls.c_str() + 1);
    if (a >= 0x80 && a <= 0x85) return atoms[a - 0x80];
  }
  if (cls.size() > 1 && cls[0] == '"') return cls.substr(1, cls.size() - 2);
  return cls;
}

void dumpDialog(const char* id, const BYTE* base) {
  TemplateReader r(base);
  const bool ex = r.peek() == 1 && reinterpret_cast<const WORD*>(base)[1] == 0xFFFF;
  DWORD style, exStyle;
  if (ex) {
    r.skip(4);  // version, signature
    r.dword();  // help id
    exStyle = r.dword();
    style = r.dword();
  } else {
    style = r.dword();
    exStyle = r.dword();
  }
  const WORD count = r.word();
  const short x = r.sword(), y = r.sword(), cx = r.sword(), cy = r.sword();
  const std::string menu = r.sz(), cls = r.sz(), title = r.sz();
  std::string font;
  if (style & DS_SETFONT) {
    const WORD points = r.word();
    if (ex) r.skip(4);  // weight, italic, charset
    font = r.sz() + " " + std::to_string(points);
  }
  std::printf("dialog id=%s title=%s x=%d y=%d w=%d h=%d style=0x%08lx exstyle=0x%08lx items=%u font=%s\n", id,
              title.c_str(), x, y, cx, cy, static_cast<unsigned long>(style), static_cast<unsigned long>(exStyle),
              count, font.c_str());
  for (WORD i = 0; i < count; i++) {
    r.align(base);
    DWORD istyle, iex, iid;
    if (ex) {
      r.dword();  // help id
      iex = r.dword();
      istyle = r.dword();
    } else {
      istyle = r.dword();
      iex = r.dword();
    }
    const short ix = r.sword(), iy = r.sword(), icx = r.sword(), icy = r.sword();
    iid = ex ? r.dword() : r.word();
    const std::string icls = className(r.sz());
    const std::string itext = r.sz();
    const WORD extra = r.word();
    r.skip(extra);
    std::printf("  dlgitem dialog=%s id=%d class=%s text=%s x=%d y=%d w=%d h=%d style=0x%08lx exstyle=0x%08lx\n", id,
                static_cast<int>(static_cast<short>(iid)), icls.c_str(), itext.c_str(), ix, iy, icx, icy,
                static_cast<unsigned long>(istyle), static_cast<unsigned long>(iex));
  }
}

BOOL CALLBACK visitDialog(HMODULE mod, LPCSTR, LPSTR name, LONG_PTR) {
  HRSRC res = FindResourceA(mod, name, reinterpret_cast<LPCSTR>(RT_DIALOG));
  HGLOBAL data = res ? LoadResource(mod, res) : nullptr;
  if (!data) return TRUE;
  const std::string id = IS_INTRESOURCE(name) ? std::to_string(reinterpret_cast<ULONG_PTR>(name)) : quote(name);
  dumpDialog(id.c_str(), static_cast<const BYTE*>(LockResource(data)));
  return TRUE;
}

// The version resource as the system's file properties read it.
void printVersion(const char* exe) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(exe, &ignored);
  std::string info(size, '\0');
  if (size == 0 || !GetFileVersionInfoA(exe, 0, size, info.data())) {
    std::printf("version present=0\n");
    return;
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  char* description = nullptr;
  UINT dlen = 0;
  char* product = nullptr;
  UINT plen = 0;
  VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &len);
  VerQueryValueA(info.data(), "\\StringFileInfo\\040904E4\\FileDescription", reinterpret_cast<void**>(&description),
                 &dlen);
  VerQueryValueA(info.data(), "\\StringFileInfo\\040904E4\\ProductVersion", reinterpret_cast<void**>(&product), &plen);
  std::printf("version present=1 file=%lu.%lu.%lu.%lu description=%s product=%s\n",
              fixed ? HIWORD(fixed->dwFileVersionMS) : 0ul, fixed ? LOWORD(fixed->dwFileVersionMS) : 0ul,
              fixed ? HIWORD(fixed->dwFileVersionLS) : 0ul, fixed ? LOWORD(fixed->dwFileVersionLS) : 0ul,
              quote(description && dlen ? description : "").c_str(), quote(product && plen ? product : "").c_str());
}

int resources(const char* exe) {
  HMODULE mod = LoadLibraryExA(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!mod) {
    std::printf("error text=\"cannot load %s\"\n", exe);
    return 1;
  }
  HMENU menu = LoadMenuA(mod, "ZELTO");
  if (menu) {
    dumpMenu(menu, "");
    DestroyMenu(menu);
  } else {
    std::printf("error text=\"no menu ZELTO\"\n");
  }
  HACCEL accel = LoadAcceleratorsA(mod, "ZELTO");
  if (accel) {
    ACCEL table[64];
    const int n = CopyAcceleratorTableA(accel, table, 64);
    for (int i = 0; i < n; i++)
      std::printf("accel key=0x%02x cmd=%u flags=0x%02x\n", table[i].key, table[i].cmd, table[i].fVirt);
  } else {
    std::printf("error text=\"no accelerators ZELTO\"\n");
  }
  for (int id = 0; id < 1000; id++) {
    char text[512];
    if (LoadStringA(mod, id, text, sizeof text) > 0) std::printf("string id=%d text=%s\n", id, quote(text).c_str());
  }
  EnumResourceNamesA(mod, reinterpret_cast<LPCSTR>(RT_DIALOG), visitDialog, 0);
  HRSRC icon = FindResourceA(mod, MAKEINTRESOURCEA(130), reinterpret_cast<LPCSTR>(RT_GROUP_ICON));
  std::printf("icon id=130 present=%d\n", icon ? 1 : 0);
  FreeLibrary(mod);
  printVersion(exe);
  return 0;
}

// Room a control's own drawing takes beside its text: the box of a check box
// or radio button and its gap, the bevel of a push button, the indent of a
// group box's caption.
int textRoom(const char* cls, LONG style) {
  if (_stricmp(cls, "Button") != 0) return 0;
  switch (style & BS_TYPEMASK) {
    case BS_CHECKBOX: case BS_AUTOCHECKBOX: case BS_RADIOBUTTON: case BS_AUTORADIOBUTTON:
    case BS_3STATE: case BS_AUTO3STATE:
      return GetSystemMetrics(SM_CXMENUCHECK) + 4;
    case BS_GROUPBOX:
      return 16;
    default:
      return 8;
  }
}

// font: 0 to measure in the control's own font, or the font of the
// program's dialog to measure another process's control in.
BOOL CALLBACK printFit(HWND item, LPARAM font) {
  char text[512] = "", cls[64] = "", face[64] = "";
  GetWindowTextA(item, text, sizeof text);
  GetClassNameA(item, cls, sizeof cls);
  const LONG style = GetWindowLongA(item, GWL_STYLE);
  const bool isStatic = _stricmp(cls, "Static") == 0;
  if (!text[0] || (!isStatic && _stricmp(cls, "Button") != 0)) return TRUE;
  if (isStatic && (style & SS_TYPEMASK) > SS_RIGHT) return TRUE;  // icons, rules
  RECT c;
  GetClientRect(item, &c);
  HDC dc = GetDC(font ? nullptr : item);
  HGDIOBJ old =
      SelectObject(dc, font ? reinterpret_cast<HFONT>(font) : reinterpret_cast<HFONT>(SendMessageA(item, WM_GETFONT, 0, 0)));
  GetTextFaceA(dc, sizeof face, face);
  TEXTMETRICA tm = {};
  GetTextMetricsA(dc, &tm);
  RECT need = {0, 0, 0, 0};
  const UINT prefix = isStatic && (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
  DrawTextA(dc, text, -1, &need, DT_CALCRECT | DT_SINGLELINE | DT_EXPANDTABS | prefix);
  SelectObject(dc, old);
  ReleaseDC(font ? nullptr : item, dc);
  const long needW = need.right + textRoom(cls, style), needH = tm.tmHeight;
  // A group box's caption sits on its top edge and needs no height of its own.
  const long haveH = (style & BS_TYPEMASK) == BS_GROUPBOX && !isStatic ? needH : c.bottom;
  std::printf("fit id=%d class=%s text=%s need=%ldx%ld have=%ldx%ld face=%s whole=%d\n", GetDlgCtrlID(item),
              quote(cls).c_str(), quote(text).c_str(), needW, needH, c.right, haveH, quote(face).c_str(),
              needW <= c.right && needH <= haveH ? 1 : 0);
  return TRUE;
}

INT_PTR CALLBACK quietDialog(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// Dialog template id of the file, built hidden in this process.
HWND buildDialog(HMODULE mod, const char* id) {
  HRSRC res = FindResourceA(mod, MAKEINTRESOURCEA(std::atoi(id)), reinterpret_cast<LPCSTR>(RT_DIALOG));
  HGLOBAL data = res ? LoadResource(mod, res) : nullptr;
  HWND d = data ? CreateDialogIndirectParamA(GetModuleHandleA(nullptr), static_cast<LPCDLGTEMPLATEA>(LockResource(data)),
                                             nullptr, quietDialog, 0)
                : nullptr;
  if (!d) std::printf("error text=\"no dialog %s\"\n", id);
  return d;
}

// fit EXE ID...: the file's dialogs; fit-open CAPTION EXE ID: the open one.
int fit(int argc, char** argv, bool open) {
  HMODULE mod = LoadLibraryExA(argv[open ? 3 : 2], nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!mod) {
    std::printf("error text=\"cannot load %s\"\n", argv[open ? 3 : 2]);
    return 1;
  }
  int rc = 0;
  for (int i = open ? 4 : 3; i < argc; i++) {
    HWND d = buildDialog(mod, argv[i]);
    if (!d) {
      rc = 1;
      continue;
    }
    if (open) {
      HWND live = findDialog(argv[2], false);
      std::printf("dialog caption=%s\n", quote(argv[2]).c_str());
      if (live) EnumChildWindows(live, printFit, SendMessageA(d, WM_GETFONT, 0, 0));
      rc = live ? rc : 1;
    } else {
      std::printf("dialog id=%s\n", argv[i]);
      EnumChildWindows(d, printFit, 0);
    }
    DestroyWindow(d);
  }
  FreeLibrary(mod);
  return rc;
}

// The clipboard's text, read and written the way other programs do.
int clipGet() {
  std::string hex;
  if (OpenClipboard(nullptr)) {
    if (HANDLE mem = GetClipboardData(CF_UNICODETEXT)) {
      const auto* w = static_cast<const WCHAR*>(GlobalLock(mem));
      // As long as the text is: a Select All copies the history too.
      const int size = w ? WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr) : 0;
      std::string utf8(static_cast<size_t>(size > 0 ? size : 1), '\0');
      const int n = size > 0 ? WideCharToMultiByte(CP_UTF8, 0, w, -1, &utf8[0], size, nullptr, nullptr) : 0;
      for (int i = 0; i + 1 < n; i++) {
        char b[3];
        std::snprintf(b, sizeof b, "%02x", static_cast<unsigned char>(utf8[static_cast<size_t>(i)]));
        hex += b;
      }
      GlobalUnlock(mem);
    }
    CloseClipboard();
  }
  std::printf("clip hex=%s\n", hex.c_str());
  return 0;
}

int clipSet(const char* hex) {
  std::string utf8;
  for (size_t i = 0; hex[i] && hex[i + 1]; i += 2) utf8 += static_cast<char>(std::strtoul(std::string(hex + i, 2).c_str(), nullptr, 16));
  // By its length, so that a NUL in the text is put there too; then the
  // terminator.
  WCHAR wide[4096];
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide, 4095);
  wide[n++] = 0;
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, n * sizeof(WCHAR));
  std::memcpy(GlobalLock(mem), wide, n * sizeof(WCHAR));
  GlobalUnlock(mem);
  if (!OpenClipboard(nullptr)) return 1;
  EmptyClipboard();
  const bool ok = SetClipboardData(CF_UNICODETEXT, mem) != nullptr;
  CloseClipboard();
  return ok ? 0 : 1;
}

int usage() {
  std::fprintf(stderr, "usage: winprobe metrics|window|dialogs|wait-dialog|wait-gone|press|post|wait-closed|"
                       "resources|hold|fit|fit-open ... (see the source)\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  _setmode(_fileno(stdout), _O_BINARY);  // lines end in LF alone, for the shell
  if (argc < 2) return usage();
  const std::string cmd = argv[1];
  if (cmd == "metrics") return metrics();
  if (cmd == "window") {
    const int ms = argc > 2 ? std::atoi(argv[2]) : 0;
    if (!waitUntil(ms, [] { return mainWindow() != nullptr; })) {
      std::printf("nowindow\n");
      return 1;
    }
    printWindow(mainWindow());
    return 0;
  }
  if (cmd == "dialogs") {
    findDialog(nullptr, true);
    return 0;
  }
  if (cmd == "wait-dialog" && argc == 4) {
    if (!waitUntil(std::atoi(argv[3]), [&] { return findDialog(argv[2], false) != nullptr; })) {
      std::printf("nodialog caption=%s\n", quote(argv[2]).c_str());
      findDialog(nullptr, true);
      return 1;
    }
    findDialog(argv[2], true);
    return 0;
  }
  if (cmd == "wait-gone" && argc == 4) {
    const bool gone = waitUntil(std::atoi(argv[3]), [&] { return findDialog(argv[2], false) == nullptr; });
    if (!gone) findDialog(argv[2], true);
    return gone ? 0 : 1;
  }
  if (cmd == "press" && argc == 4) {
    HWND d = findDialog(argv[2], false);
    HWND b = d ? GetDlgItem(d, std::atoi(argv[3])) : nullptr;
    if (!b) return 1;
    PostMessageA(b, BM_CLICK, 0, 0);
    return 0;
  }
  if (cmd == "text" && argc == 4) {
    // An edit field's text lives in the control: only WM_GETTEXT gives it.
    HWND d = findDialog(argv[2], false);
    HWND c = d ? GetDlgItem(d, std::atoi(argv[3])) : nullptr;
    char text[512] = "";
    DWORD_PTR n = 0;
    if (!c || !SendMessageTimeoutA(c, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, &n))
      return 1;
    std::printf("text text=%s\n", quote(text).c_str());
    return 0;
  }
  if (cmd == "post" && argc == 5) {
    HWND w = mainWindow();
    if (!w) return 1;
    return PostMessageA(w, std::strtoul(argv[2], nullptr, 0), std::strtoul(argv[3], nullptr, 0),
                        std::strtol(argv[4], nullptr, 0))
               ? 0
               : 1;
  }
  if (cmd == "send" && argc == 5) {
    HWND w = mainWindow();
    if (!w) return 1;
    LARGE_INTEGER f, t0, t1;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t0);
    DWORD_PTR result = 0;
    const LRESULT ok = SendMessageTimeoutA(w, std::strtoul(argv[2], nullptr, 0), std::strtoul(argv[3], nullptr, 0),
                                           std::strtol(argv[4], nullptr, 0), SMTO_NORMAL, 30000, &result);
    QueryPerformanceCounter(&t1);
    std::printf("sent ok=%d ms=%.1f\n", ok ? 1 : 0, 1000.0 * (t1.QuadPart - t0.QuadPart) / f.QuadPart);
    return ok ? 0 : 1;
  }
  if (cmd == "caret-after" && argc == 8) {
    // The display places the caret last in a frame, so the caret standing
    // at its new place tells that the frame is on the screen.
    HWND w = mainWindow();
    if (!w) return 1;
    const DWORD thread = GetWindowThreadProcessId(w, nullptr);
    const long wantX = std::strtol(argv[5], nullptr, 0), wantY = std::strtol(argv[6], nullptr, 0);
    const int limit = std::atoi(argv[7]);
    LARGE_INTEGER f, t0, t1;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t0);
    DWORD_PTR result = 0;
    SendMessageTimeoutA(w, std::strtoul(argv[2], nullptr, 0), std::strtoul(argv[3], nullptr, 0),
                        std::strtol(argv[4], nullptr, 0), SMTO_NORMAL, 30000, &result);
    GUITHREADINFO gi = {};
    gi.cbSize = sizeof gi;
    bool ok = false;
    double ms = 0;
    do {
      ok = GetGUIThreadInfo(thread, &gi) && gi.rcCaret.top == wantY && (wantX < 0 || gi.rcCaret.left == wantX);
      QueryPerformanceCounter(&t1);
      ms = 1000.0 * (t1.QuadPart - t0.QuadPart) / f.QuadPart;
      if (!ok) Sleep(0);
    } while (!ok && ms < limit);
    std::printf("caret ok=%d ms=%.1f x=%ld y=%ld\n", ok ? 1 : 0, ms, gi.rcCaret.left, gi.rcCaret.top);
    return ok ? 0 : 1;
  }
  if (cmd == "wait-closed" && argc == 3) return waitUntil(std::atoi(argv[2]), [] { return mainWindow() == nullptr; }) ? 0 : 1;
  if (cmd == "resources" && argc == 3) return resources(argv[2]);
  if (cmd == "fit" && argc >= 4) return fit(argc, argv, false);
  if (cmd == "fit-open" && argc == 5) return fit(argc, argv, true);
  if (cmd == "clip-get") return clipGet();
  if (cmd == "clip-set" && argc == 3) return clipSet(argv[2]);
  if (cmd == "hold" && argc == 4) {
    HANDLE h = CreateFileA(argv[2], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      std::printf("hold port=%s opened=0 error=%lu\n", argv[2], GetLastError());
      return 1;
    }
    std::printf("hold port=%s opened=1\n", argv[2]);
    Sleep(std::atoi(argv[3]));
    CloseHandle(h);
    return 0;
  }
  return usage();
}
