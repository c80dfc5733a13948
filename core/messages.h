// Messages for the user: one replaceable sink that every layer without windows uses.
//
// Texts are Windows-1252 bytes. The default sink writes the text and a newline to
// standard error; the desktop installs a modal message box, the headless mode keeps the
// default. Call from the user-interface thread only; nothing here throws by itself (a
// handler's own exceptions pass through).
#pragma once

#include <functional>
#include <string>

namespace enviozvr::core {

// Shows `text` through the installed handler and returns when the handler returns.
void showUserMessage(const std::string& text);

// Replaces the handler. An empty function restores the standard-error default.
void setUserMessageHandler(std::function<void(const std::string&)> handler);

}  // namespace enviozvr::core
