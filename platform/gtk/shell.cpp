// GTK command shell: closing the main window as its close button does, and running the front end's modal dialogs.
#include "platform/shell.h"

#include <atomic>

#include "platform/gtk/gtk_main.h"

namespace {
std::atomic<GtkDialogRunner> gRunner{nullptr};

gboolean closeLater(gpointer w) {
  gtk_window_close(GTK_WINDOW(w));
  return G_SOURCE_REMOVE;
}
}  // namespace

void gtkSetDialogRunner(GtkDialogRunner run) { gRunner = run; }

void platPostClose(WindowHandle w) {
  // Posted, as WM_CLOSE is: the close runs from the main loop once the
  // current command has returned.
  if (w) g_idle_add(closeLater, w);
}

int platRunDialog(int id, WindowHandle owner) {
  const GtkDialogRunner run = gRunner.load();
  return run ? run(id, owner) : 0;
}
