#include "core/journal.h"

#include <cstdlib>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace enviozvr::core {

bool isJournalStream(int fd) {
#ifdef _WIN32
    (void)fd;
    return false;
#else
    const char* named = std::getenv("JOURNAL_STREAM");
    if (!named) return false;
    const std::string_view text(named);
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == text.size()) return false;
    unsigned long long device = 0, inode = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == colon) continue;
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        unsigned long long& n = i < colon ? device : inode;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) return false;
    return static_cast<unsigned long long>(info.st_dev) == device &&
           static_cast<unsigned long long>(info.st_ino) == inode;
#endif
}

std::string journalText(int fd, Priority priority, std::string_view text) {
    if (!isJournalStream(fd)) return std::string(text);
    // Priorities are single digits: "<N>".
    const char prefix[] = {'<', static_cast<char>('0' + static_cast<int>(priority)), '>', '\0'};
    std::string out;
    out.reserve(text.size() + sizeof prefix);
    bool lineStart = true;
    for (const char c : text) {
        if (lineStart && c != '\n') out += prefix;
        out += c;
        lineStart = c == '\n';
    }
    return out;
}

}  // namespace enviozvr::core
