// The automatic mode without any window (for servers with no display).
#pragma once

#include <string>
#include <vector>

namespace enviozvr::app {

// Exit statuses that tell a service manager whether starting again can help. A
// configuration error (bad arguments, no installation directory, an unknown company, a
// user name and password the server refused, a database file that does not exist) stays until
// someone edits the settings; a temporary failure (the origin database could not be reached at the
// start: not up yet, the network down) may pass by itself (75 is EX_TEMPFAIL of sysexits.h).
constexpr int kConfigurationError = 2;
constexpr int kTemporaryFailure = 75;

// args: the program's arguments without the program name, in the locale's encoding (its
// texts are used as Windows-1252, its messages written back in the locale's encoding).
// Refuses to start (kConfigurationError) without a usable installation directory, and
// ends with kTemporaryFailure when the origin cannot be reached at the start. After SIGINT or
// SIGTERM (see signals.h) it finishes the event in hand, disconnects and returns 0; with
// --once, the status of the cycle so far (1 when it ended early). Returns the exit status.
int runHeadless(const std::vector<std::string>& args);

}  // namespace enviozvr::app
