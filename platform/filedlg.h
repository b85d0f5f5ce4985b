// The file dialogs: the open-file dialog through which the user chooses the send and record files, and the save dialog of Save Output As.
#pragma once
#include <cstdint>

#include "platform/types.h"

// The members of the platform's open-file record (OPENFILENAME) that the
// terminal fills, under their Win32 names and in their order. The Win32
// layer copies them into the system's own record for each call.
struct OpenFileRecord {
  uint32_t lStructSize;        // 0: never filled; the dialog refuses the record
  WindowHandle hwndOwner;
  void* hInstance;
  const char* lpstrFilter;     // text/pattern pairs, ended by an empty text
  char* lpstrCustomFilter;
  uint32_t nMaxCustFilter;
  uint32_t nFilterIndex;
  char* lpstrFile;             // in: the path the dialog starts with; out: the chosen path
  uint32_t nMaxFile;
  char* lpstrFileTitle;        // out: the bare file name
  uint32_t nMaxFileTitle;
  const char* lpstrInitialDir;
  const char* lpstrTitle;
  uint32_t Flags;
  uint16_t nFileOffset;
  uint16_t nFileExtension;
  const char* lpstrDefExt;
  void* lCustData;
  void* lpfnHook;
  const char* lpTemplateName;
};

// lStructSize of a filled record: the record in its original form, without
// the members added for the places bar (76 bytes on 32-bit Windows; the
// Win32 layer passes the matching size of the build's own pointer width).
constexpr uint32_t kOpenFileRecordSize = 76;

enum : uint32_t {   // Flags (OFN_*)
  kOfnReadOnly = 0x1,
  kOfnPathMustExist = 0x800,
  kOfnFileMustExist = 0x1000,
};

// Shows the modal open-file dialog for r (GetOpenFileNameA). Returns non-zero
// when the user chose a file: its full path is then in r->lpstrFile and its
// bare name in r->lpstrFileTitle. On Cancel, on any failure, and for a record
// whose lStructSize is not kOpenFileRecordSize it returns 0 and leaves both
// buffers as they were.
int platOpenFileDialog(OpenFileRecord* r);
// The modal save dialog (GetSaveFileNameA) for r, which asks before a file
// that exists is replaced; otherwise as platOpenFileDialog.
int platSaveFileDialog(OpenFileRecord* r);
