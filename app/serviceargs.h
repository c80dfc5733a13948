// Arguments of the unattended run modes (headless, status check), and the texts they
// share.
#pragma once

#include <chrono>
#include <exception>
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

// The password kept in the file `path` (in the locale's encoding): its first line without
// the line end, decoded like an argument. A monitoring agent's check names the file, which
// its group may read, instead of writing the password into the agent's own settings,
// which every local user may read. Nothing after writing why to `problem` when the file
// cannot be read, or when every user may read it (such a file keeps nothing secret).
std::optional<std::string> passwordFromFile(const std::string& path, std::string& problem);

// Why the origin (its general or its company database) could not be used, the same text
// in every run mode for one cause: a server that does not answer within `connectTimeout`,
// one whose port takes no connection, or else the translated error (a refused login, a
// host name that is not known, a missing database file).
std::string originFailureReason(const std::exception& error, std::chrono::seconds connectTimeout);
// True for the first two: the origin's server cannot be reached at all.
bool originServerUnreachable(const std::exception& error);

// Takes every "--log-dir=DIR" out of `args` (the last one counts) and makes DIR, as an
// absolute path, the folder of the logs and the lock file (core::setLogDirectory). False
// after writing the problem to `err` when a DIR is empty.
bool takeLogDirectory(std::vector<std::string>& args, std::ostream& err);

}  // namespace enviozvr::app
