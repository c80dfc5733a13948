// The automatic mode without any window (for servers with no display).
#pragma once

#include <string>
#include <vector>

namespace enviozvr::app {

// args: the program's arguments without the program name, in the locale's encoding (its
// texts are used as Windows-1252, its messages written back in the locale's encoding).
// Refuses to start (status 2) without a usable installation directory. After SIGINT or
// SIGTERM (see signals.h) it finishes the event in hand, disconnects and returns 0; with
// --once, the status of the cycle so far (1 when it ended early). Returns the exit status.
int runHeadless(const std::vector<std::string>& args);

}  // namespace enviozvr::app
