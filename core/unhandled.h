// Application-wide handling of the errors that no operation handles itself.
//
// Every event handler (button, timer tick, first activation, menu item, grid key) runs
// inside runGuarded: a silent abort is dropped, every other error is logged to
// ERRORES.TXT and shown through the installed ErrorDisplay, translated where the
// database client's wording is recognised. User-interface thread only. The installed
// login record and display are borrowed: they must outlive their installation.
#pragma once

#include <exception>
#include <functional>
#include <string>

#include "core/loginrecord.h"

namespace enviozvr::core {

// Where the unhandled-error message goes. showError returns when the user has seen it.
class ErrorDisplay {
  public:
    virtual ~ErrorDisplay() = default;
    virtual void showError(const std::string& text) = 0;
};

// Writes the text and a newline to standard error (the headless mode, and the default
// before any display is installed).
class StandardErrorDisplay : public ErrorDisplay {
  public:
    void showError(const std::string& text) override;
};

// The text shown for an error message (Windows-1252 bytes): a refused login, a database
// file that cannot be opened and an unreachable server get Spanish texts naming the file
// or host; anything else is prefixed with "Se presento el siguiente error: ".
std::string translateErrorMessage(const std::string& message);

// Installs the handler's state; a later call replaces the earlier one. `login` is read
// at the time of each error (null: the user is empty); a null `display` means standard
// error.
void installUnhandledErrorHandler(const LoginRecord* login, ErrorDisplay* display);

// Logs the error to ERRORES.TXT (date, time, user, message) and then shows its
// translated text. A log that cannot be written (I/O failure or an unusable installation
// directory setting) loses the line; the message is still shown.
void ENoManejada(const std::exception& error);

// As ENoManejada, but nothing is shown: logs the error to ERRORES.TXT and returns its
// translated text, for a caller that shows it without waiting for the user (a window left
// sending on its own).
std::string recordUnhandled(const std::exception& error);

// Runs `handler`; enviozvr::data::SilentAbort is dropped silently, any other
// std::exception goes to ENoManejada, anything else goes to it as "Unknown error".
// Always returns normally.
void runGuarded(const std::function<void()>& handler);

// As runGuarded; true when the handler completed without an error or a silent abort.
bool runGuardedOk(const std::function<void()>& handler);

}  // namespace enviozvr::core
