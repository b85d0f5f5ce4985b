// GTK open-file dialog: a file chooser over the terminal's open-file record, with its filters, start path and default extension.
#include "platform/filedlg.h"

#include <cctype>
#include <cstring>
#include <string>

#include "platform/gtk/gtk_main.h"

namespace {

// A Windows pattern ("*.txt") matches names whatever their case; a GTK
// pattern is exact, so each letter becomes a class of both cases.
std::string anyCase(const char* pattern) {
  std::string out;
  for (const char* p = pattern; *p; p++) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (std::isalpha(c)) {
      out += '[';
      out += static_cast<char>(std::tolower(c));
      out += static_cast<char>(std::toupper(c));
      out += ']';
    } else {
      out += *p;
    }
  }
  return out;
}

// The filter list: pairs of a text and its patterns (separated by ';'),
// ended by an empty text. Returns the filters in order.
void addFilters(GtkFileChooser* chooser, const char* list, GtkFileFilter** filters, int max, int* count) {
  *count = 0;
  for (const char* p = list; p && *p && *count < max;) {
    const char* name = p;
    const char* patterns = name + std::strlen(name) + 1;
    GtkFileFilter* f = gtk_file_filter_new();
    gtk_file_filter_set_name(f, name);
    std::string all(patterns);
    size_t start = 0;
    while (start <= all.size()) {
      const size_t semi = all.find(';', start);
      const std::string one = all.substr(start, semi == std::string::npos ? std::string::npos : semi - start);
      if (!one.empty()) gtk_file_filter_add_pattern(f, anyCase(one.c_str()).c_str());
      if (semi == std::string::npos) break;
      start = semi + 1;
    }
    gtk_file_chooser_add_filter(chooser, f);
    filters[(*count)++] = f;
    p = patterns + std::strlen(patterns) + 1;
  }
}

}  // namespace

namespace {

// The open dialog, or with save the save dialog, which asks before
// replacing a file.
int runFileDialog(OpenFileRecord* r, bool save) {
  if (!r || r->lStructSize != kOpenFileRecordSize || !r->lpstrFile || r->nMaxFile == 0) return 0;
  // A file that must exist is opened; otherwise (the record file) a new
  // name may be typed, as the Windows dialog allows.
  const bool mustExist = !save && (r->Flags & kOfnFileMustExist) != 0;
  GtkWidget* d = gtk_file_chooser_dialog_new(
      r->lpstrTitle ? r->lpstrTitle : save ? "Save" : "Open", r->hwndOwner ? GTK_WINDOW(r->hwndOwner) : nullptr,
      mustExist ? GTK_FILE_CHOOSER_ACTION_OPEN : GTK_FILE_CHOOSER_ACTION_SAVE, "_Cancel", GTK_RESPONSE_CANCEL,
      save ? "_Save" : "_Open", GTK_RESPONSE_ACCEPT, nullptr);
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(d);
  // A size that fits beside the main window on a small screen.
  gtk_window_set_default_size(GTK_WINDOW(d), 720, 480);
  gtk_window_set_position(GTK_WINDOW(d), GTK_WIN_POS_CENTER_ON_PARENT);
  gtk_dialog_set_default_response(GTK_DIALOG(d), GTK_RESPONSE_ACCEPT);
  gtk_file_chooser_set_local_only(chooser, TRUE);
  gtk_file_chooser_set_do_overwrite_confirmation(chooser, save ? TRUE : FALSE);

  GtkFileFilter* filters[16];
  int count = 0;
  addFilters(chooser, r->lpstrFilter, filters, 16, &count);
  if (count > 0) {
    const uint32_t index = r->nFilterIndex >= 1 && r->nFilterIndex <= static_cast<uint32_t>(count) ? r->nFilterIndex : 1;
    gtk_file_chooser_set_filter(chooser, filters[index - 1]);
  }

  // The dialog starts at the path the record holds: its folder, with the
  // file chosen (or its name typed in, for a new file).
  const std::string start(r->lpstrFile, strnlen(r->lpstrFile, r->nMaxFile));
  const size_t slash = start.find_last_of('/');
  if (slash != std::string::npos) {
    const std::string folder = slash == 0 ? "/" : start.substr(0, slash);
    gtk_file_chooser_set_current_folder(chooser, folder.c_str());
    if (mustExist) {
      if (g_file_test(start.c_str(), G_FILE_TEST_IS_REGULAR)) gtk_file_chooser_select_filename(chooser, start.c_str());
    } else if (slash + 1 < start.size()) {
      gtk_file_chooser_set_current_name(chooser, start.c_str() + slash + 1);
    }
  } else {
    if (r->lpstrInitialDir) gtk_file_chooser_set_current_folder(chooser, r->lpstrInitialDir);
    // A bare name, in the current folder, to be given again.
    if (!mustExist && !start.empty()) gtk_file_chooser_set_current_name(chooser, start.c_str());
  }

  int chosen = 0;
  if (gtk_dialog_run(GTK_DIALOG(d)) == GTK_RESPONSE_ACCEPT) {
    if (gchar* name = gtk_file_chooser_get_filename(chooser)) {
      std::string path = name;
      g_free(name);
      size_t cut = path.find_last_of('/');
      std::string title = cut == std::string::npos ? path : path.substr(cut + 1);
      // A typed name without an extension gets the default one.
      if (!mustExist && r->lpstrDefExt && r->lpstrDefExt[0] && title.find('.') == std::string::npos) {
        path += std::string(".") + r->lpstrDefExt;
        title += std::string(".") + r->lpstrDefExt;
      }
      // A path that does not fit the buffer cannot be chosen, as the system
      // dialog of Windows refuses it.
      const bool fits = path.size() + 1 <= r->nMaxFile && (!r->lpstrFileTitle || title.size() + 1 <= r->nMaxFileTitle);
      if (fits) {
        std::memcpy(r->lpstrFile, path.c_str(), path.size() + 1);
        if (r->lpstrFileTitle) std::memcpy(r->lpstrFileTitle, title.c_str(), title.size() + 1);
        cut = path.find_last_of('/');
        r->nFileOffset = static_cast<uint16_t>(cut == std::string::npos ? 0 : cut + 1);
        const size_t dot = title.find_last_of('.');
        r->nFileExtension = static_cast<uint16_t>(dot == std::string::npos ? 0 : r->nFileOffset + dot + 1);
        GtkFileFilter* used = gtk_file_chooser_get_filter(chooser);
        for (int i = 0; i < count; i++) {
          if (filters[i] == used) r->nFilterIndex = static_cast<uint32_t>(i + 1);
        }
        chosen = 1;
      }
    }
  }
  gtk_widget_destroy(d);
  return chosen;
}

}  // namespace

int platOpenFileDialog(OpenFileRecord* r) { return runFileDialog(r, false); }

int platSaveFileDialog(OpenFileRecord* r) { return runFileDialog(r, true); }
