// Win32 file dialogs: GetOpenFileNameA and GetSaveFileNameA over the terminal's record.
#include <windows.h>
#include <commdlg.h>

#include <cstddef>
#include <cstring>

#include "platform/filedlg.h"

namespace {
// The original form of the record (no places-bar members) at this build's
// pointer width: 76 bytes on 32-bit Windows, larger on 64-bit, where the
// dialog refuses 76.
constexpr DWORD kOldFormSize = offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR);

// The open dialog, or with save the save dialog, which asks before
// replacing a file.
int runFileDialog(OpenFileRecord* r, bool save) {
  if (!r || r->lStructSize != kOpenFileRecordSize || !r->lpstrFile || r->nMaxFile == 0) return 0;
  // The dialog works on copies of the two buffers, so that Cancel, a failure
  // or a too-small buffer (where the dialog writes a size into the buffer)
  // leaves the terminal's paths untouched.
  char file[MAX_PATH * 4];
  char title[MAX_PATH * 4];
  const DWORD maxFile = r->nMaxFile < sizeof file ? r->nMaxFile : static_cast<DWORD>(sizeof file);
  const DWORD maxTitle = r->nMaxFileTitle < sizeof title ? r->nMaxFileTitle : static_cast<DWORD>(sizeof title);
  std::memcpy(file, r->lpstrFile, maxFile);
  file[maxFile - 1] = 0;
  title[0] = 0;

  OPENFILENAMEA ofn;
  std::memset(&ofn, 0, sizeof ofn);
  ofn.lStructSize = kOldFormSize;
  ofn.hwndOwner = static_cast<HWND>(r->hwndOwner);
  ofn.hInstance = static_cast<HINSTANCE>(r->hInstance);
  ofn.lpstrFilter = r->lpstrFilter;
  ofn.lpstrCustomFilter = r->lpstrCustomFilter;
  ofn.nMaxCustFilter = r->nMaxCustFilter;
  ofn.nFilterIndex = r->nFilterIndex;
  ofn.lpstrFile = file;
  ofn.nMaxFile = maxFile;
  ofn.lpstrFileTitle = r->lpstrFileTitle ? title : nullptr;
  ofn.nMaxFileTitle = r->lpstrFileTitle ? maxTitle : 0;
  ofn.lpstrInitialDir = r->lpstrInitialDir;
  ofn.lpstrTitle = r->lpstrTitle;
  ofn.Flags = r->Flags;
  ofn.lpstrDefExt = r->lpstrDefExt;
  ofn.lCustData = reinterpret_cast<LPARAM>(r->lCustData);
  ofn.lpfnHook = reinterpret_cast<LPOFNHOOKPROC>(r->lpfnHook);
  ofn.lpTemplateName = r->lpTemplateName;
  if (save) ofn.Flags |= OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
  if (!(save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn))) return 0;

  std::memcpy(r->lpstrFile, file, maxFile);
  r->lpstrFile[maxFile - 1] = 0;
  if (r->lpstrFileTitle && maxTitle) {
    std::memcpy(r->lpstrFileTitle, title, maxTitle);
    r->lpstrFileTitle[maxTitle - 1] = 0;
  }
  r->Flags = ofn.Flags;   // the read-only box as the user left it
  r->nFilterIndex = ofn.nFilterIndex;
  r->nFileOffset = ofn.nFileOffset;
  r->nFileExtension = ofn.nFileExtension;
  return 1;
}

}  // namespace

int platOpenFileDialog(OpenFileRecord* r) { return runFileDialog(r, false); }

int platSaveFileDialog(OpenFileRecord* r) { return runFileDialog(r, true); }
