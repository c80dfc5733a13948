// The options every run mode shares: --help, --version, and the check that the options
// before the first positional argument are ones the program knows. Decided before any
// window system or database is touched.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace enviozvr::app {

// "enviozvr VERSION": the project version, and the git commit when built from a checkout.
std::string versionText();

// The usage of every run mode, its options, exit statuses, environment and files.
std::string usageText();

// Handles --help (-h) and --version and refuses an unknown option among the leading
// options (those before the first argument that does not start with '-'; a lone "-" is
// a password read from the environment). Returns the exit status when the program is to
// end here: 0 after the help or the version on `out`, 2 after the problem and the usage
// on `err` (3 for the status check, which also says "ENVIOZVR UNKNOWN - ..." on `out`).
// nullopt when a run mode is to take the arguments.
std::optional<int> handleCommonOptions(const std::vector<std::string>& args, std::ostream& out,
                                       std::ostream& err);

}  // namespace enviozvr::app
