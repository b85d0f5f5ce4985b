// GTK message boxes: a modal message dialog with one OK button, on the GTK thread only; a box asked for on another thread (the worker) waits there until the GTK thread has shown it and the user has closed it.
#include "platform/msgbox.h"

#include <pthread.h>

#include "platform/gtk/gtk_main.h"
#include "platform/thread.h"

namespace {

struct Request {
  WindowHandle owner;
  const char* text;
  const char* caption;
  unsigned icon;
  bool taken;
  bool done;
  Request* next;
};

pthread_mutex_t gMutex = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t gDone = PTHREAD_COND_INITIALIZER;
Request* gFirst = nullptr;

// The box: the warning or error sign, the text, and OK, which Enter presses.
void showBox(WindowHandle owner, const char* text, const char* caption, unsigned icon) {
  GtkWindow* parent = owner ? GTK_WINDOW(owner) : nullptr;
  GtkWidget* box = gtk_dialog_new();
  GtkWindow* win = GTK_WINDOW(box);
  gtk_window_set_title(win, caption ? caption : kGtkDefaultCaption);
  gtk_window_set_modal(win, TRUE);
  gtk_window_set_resizable(win, FALSE);
  gtk_window_set_skip_taskbar_hint(win, TRUE);
  if (parent) gtk_window_set_transient_for(win, parent);
  gtk_window_set_position(win, parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 16);
  gtk_container_set_border_width(GTK_CONTAINER(row), 12);
  GtkWidget* sign =
      gtk_image_new_from_icon_name(icon == kIconError ? "dialog-error" : "dialog-warning", GTK_ICON_SIZE_DIALOG);
  gtk_widget_set_valign(sign, GTK_ALIGN_START);
  GtkWidget* label = gtk_label_new(text);
  gtk_label_set_xalign(GTK_LABEL(label), 0);
  gtk_box_pack_start(GTK_BOX(row), sign, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row), label, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(box))), row, TRUE, TRUE, 0);
  GtkWidget* ok = gtk_dialog_add_button(GTK_DIALOG(box), "_OK", GTK_RESPONSE_OK);
  gtk_widget_show_all(row);
  gtk_widget_grab_default(ok);
  gtk_widget_grab_focus(ok);
  gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
}

gboolean serveLater(gpointer) {
  gtkServeRequests();
  return G_SOURCE_REMOVE;
}

}  // namespace

void gtkServeRequests() {
  pthread_mutex_lock(&gMutex);
  for (;;) {
    Request* r = gFirst;
    while (r && r->taken) r = r->next;
    if (!r) break;
    r->taken = true;
    pthread_mutex_unlock(&gMutex);
    showBox(r->owner, r->text, r->caption, r->icon);
    pthread_mutex_lock(&gMutex);
    r->done = true;
    pthread_cond_broadcast(&gDone);
  }
  pthread_mutex_unlock(&gMutex);
}

void platMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned icon) {
  if (platOnUiThread()) {
    showBox(owner, text, caption, icon);
    return;
  }
  Request r{owner, text, caption, icon, false, false, nullptr};
  pthread_mutex_lock(&gMutex);
  Request** tail = &gFirst;
  while (*tail) tail = &(*tail)->next;
  *tail = &r;
  pthread_mutex_unlock(&gMutex);
  // The main loop shows it when idle; a GTK thread that waits (for this
  // thread, say) is woken and shows it from its wait.
  g_idle_add(serveLater, nullptr);
  platWakeWaiters();
  pthread_mutex_lock(&gMutex);
  while (!r.done) pthread_cond_wait(&gDone, &gMutex);
  Request** p = &gFirst;
  while (*p != &r) p = &(*p)->next;
  *p = r.next;
  pthread_mutex_unlock(&gMutex);
}
