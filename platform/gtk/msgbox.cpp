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

void showBox(WindowHandle owner, const char* text, const char* caption, unsigned icon) {
  GtkWindow* parent = owner ? GTK_WINDOW(owner) : nullptr;
  GtkWidget* box = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL,
                                          icon == kIconError ? GTK_MESSAGE_ERROR : GTK_MESSAGE_WARNING,
                                          GTK_BUTTONS_OK, "%s", text);
  gtk_window_set_title(GTK_WINDOW(box), caption ? caption : kGtkDefaultCaption);
  gtk_window_set_position(GTK_WINDOW(box), parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
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
