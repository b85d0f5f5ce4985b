// The open-file dialog record that the send-file and record-file choices share.
#pragma once
#include "platform/filedlg.h"

// Fills a record: owner, one filter list, the path buffer and the file-title
// buffer (each kPathMax bytes), and the default extension; all else empty.
void FillOpenFileRecord(OpenFileRecord* r, WindowHandle owner, const char* filter, char* file, char* title,
                        const char* defExt);
