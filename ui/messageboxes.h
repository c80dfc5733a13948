// Modal message boxes of the desktop: user messages and unhandled-error messages.
//
// GUI thread only. Texts arrive as Windows-1252 bytes. Each box is modal with one OK
// button and returns when the user closes it; timer ticks are still delivered meanwhile,
// so boxes may stack.
#pragma once

#include <QString>
#include <string>

#include "core/unhandled.h"

namespace enviozvr::ui {

// Shows `text` in a modal box with an OK button over the active window.
void showMessageBox(const QString& text);

// The display of unhandled errors: one message box per error. One instance per process,
// alive for the whole process, so that every screen can install it.
core::ErrorDisplay& desktopErrorDisplay();

// Routes core::showUserMessage to message boxes.
void installDesktopMessages();

}  // namespace enviozvr::ui
