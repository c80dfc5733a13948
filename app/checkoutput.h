// What the monitoring checks (--status, --verify) share in their output: the plugin's
// states and summary line, the journal priority of a state, a Prometheus label value and
// the replacement of a file at once.
#pragma once

#include <string>

#include "core/journal.h"

namespace enviozvr::app {

// A monitoring plugin's state, which is also its exit status.
enum Health { kOk = 0, kWarning = 1, kCritical = 2, kUnknown = 3 };

// "OK", "WARNING", "CRITICAL" or "UNKNOWN".
const char* healthName(int health);

// The journal's priority of a summary line: its state's (OK 6, WARNING 4, CRITICAL 2,
// UNKNOWN 3).
core::Priority priorityOf(int health);

// The summary line of a monitoring plugin: "ENVIOZVR <STATE> - <text>[ | <perfdata>]".
std::string summaryLine(int health, const std::string& text, const std::string& perfdata = {});

// A Prometheus label value from a Windows-1252 text: UTF-8, with backslash, double quote
// and line feed escaped.
std::string labelValue(const std::string& windows1252);

// Who may read a file that replaceFile writes.
enum class FileReaders { AsUmaskSays, EveryUser };

// Replaces the file named `name` (in the locale's encoding) with `text` at once (a
// temporary file renamed over it); empty when done, otherwise the reason. With
// FileReaders::EveryUser the file is readable by every user whatever the umask.
std::string replaceFile(const std::string& name, const std::string& text,
                        FileReaders readers = FileReaders::AsUmaskSays);

}  // namespace enviozvr::app
