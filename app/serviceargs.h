// Arguments of the unattended run modes (headless, status check).
#pragma once

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace enviozvr::app {

// A whole number of seconds from 1 to 86400 written in digits only; nothing otherwise.
std::optional<std::chrono::seconds> secondsOption(const std::string& text);

// The PASSWORD argument as given, or for "-" the value of the environment variable
// ENVIOZVR_PASSWORD (empty when unset), decoded like an argument. A password in the environment
// stays out of the process list, which every local user can read; a service reads it from a file
// that only root can read.
std::string passwordArgument(const std::string& argument);

// Takes every "--log-dir=DIR" out of `args` (the last one counts) and makes DIR, as an
// absolute path, the folder of the logs and the lock file (core::setLogDirectory). False
// after writing the problem to `err` when a DIR is empty.
bool takeLogDirectory(std::vector<std::string>& args, std::ostream& err);

}  // namespace enviozvr::app
