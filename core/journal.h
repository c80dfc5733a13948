// Lines for the systemd journal. When a service's standard output or error is the
// journal's stream, systemd names that stream in JOURNAL_STREAM ("DEVICE:INODE"); a line
// that starts with "<N>" is then stored with priority N (2 critical, 3 error, 4 warning, 6
// information), so that `journalctl -p warning` picks out what needs attention. On any
// other stream (a terminal, a pipe to a monitoring agent, a file) lines stay as they are.
// Pure apart from reading the environment and fstat; nothing throws.
#pragma once

#include <string>
#include <string_view>

namespace enviozvr::core {

enum class Priority { Critical = 2, Error = 3, Warning = 4, Info = 6 };

// True when the file descriptor `fd` is the stream that JOURNAL_STREAM names.
bool isJournalStream(int fd);

// `text` for the stream `fd`: each of its lines led by "<N>" when `fd` is the journal's
// stream, unchanged otherwise.
std::string journalText(int fd, Priority priority, std::string_view text);

}  // namespace enviozvr::core
