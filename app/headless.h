// The automatic mode without any window (for servers with no display).
#pragma once

#include <string>
#include <vector>

namespace enviozvr::app {

// args: the program's arguments without the program name. Returns the exit status.
int runHeadless(const std::vector<std::string>& args);

}  // namespace enviozvr::app
