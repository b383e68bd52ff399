// The display the GTK tests run on: a private Xvfb started on first use on a
// display number the server picks itself, with GTK opened on it and the GTK
// backend installed. Stopped when the test program ends. Tests that need it
// skip when Xvfb is not installed.
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <functional>

#include "framework/gtk/gtk_backend.h"

namespace pagorix::test {

// The backend on the private display, or nullptr when there is no Xvfb.
gtk::GtkBackend* GtkSession();

#define PAGORIX_NEED_DISPLAY()                                                                 \
    do {                                                                                       \
        if (::pagorix::test::GtkSession() == nullptr) GTEST_SKIP() << "Xvfb is not installed"; \
    } while (0)

// Runs the backend's own loop (WaitMessage, ProcessMessages) for ms
// milliseconds, or until done() holds.
void PumpFor(unsigned ms, const std::function<bool()>& done = {});

// Runs action once, ms milliseconds from now, from the message loop (so
// also inside a dialog's own loop). The action returns false to be tried
// again a little later (a window not yet on screen).
void After(unsigned ms, std::function<bool()> action);

// The modal dialog on screen, or nullptr.
GtkWidget* OpenDialog();
// Presses a key in a window through the X server's test extension.
void PressKey(GtkWidget* window, guint keyval);
// The title bar's close box, as the window manager reports it.
void CloseBox(GtkWidget* window);
// The first widget in the tree under root (root included) that matches, or
// nullptr.
GtkWidget* FindWidget(GtkWidget* root, const std::function<bool(GtkWidget*)>& match);

}  // namespace pagorix::test
