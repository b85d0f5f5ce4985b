// Filling the open-file dialog record of the send-file and record-file choices.
#include "transfer/dialog_record.h"

#include <cstring>

#include "settings/globals.h"

void FillOpenFileRecord(OpenFileRecord* r, WindowHandle owner, const char* filter, char* file, char* title,
                        const char* defExt) {
  std::memset(r, 0, sizeof *r);
  r->lStructSize = kOpenFileRecordSize;
  r->hwndOwner = owner;
  r->lpstrFilter = filter;
  r->lpstrFile = file;
  r->nMaxFile = kPathMax;
  r->lpstrFileTitle = title;
  r->nMaxFileTitle = kPathMax;
  r->lpstrDefExt = defExt;
}
