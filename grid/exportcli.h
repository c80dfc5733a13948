// Command-line export of the event lists.
#pragma once

#include <string>
#include <vector>

namespace enviozvr::grid {

// args: the program's arguments without the program name. Returns the exit status.
int runExportCommand(const std::vector<std::string>& args);

}  // namespace enviozvr::grid
