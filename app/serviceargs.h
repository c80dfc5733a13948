// Arguments of the unattended run modes (headless, status check).
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace enviozvr::app {

// A whole number of seconds from 1 to 86400 written in digits only; nothing otherwise.
std::optional<std::chrono::seconds> secondsOption(const std::string& text);

// The PASSWORD argument as given, or for "-" the value of the environment variable
// ENVIOZVR_PASSWORD (empty when unset), decoded like an argument. A password in the environment
// stays out of the process list, which every local user can read; a service reads it from a file
// that only root can read.
std::string passwordArgument(const std::string& argument);

}  // namespace enviozvr::app
