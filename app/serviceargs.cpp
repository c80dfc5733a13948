#include "app/serviceargs.h"

#include <cstdlib>

#include "app/consoletext.h"

namespace enviozvr::app {

std::optional<std::chrono::seconds> secondsOption(const std::string& text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    // 0 would switch a limit off; a wait without a limit is what the options are for.
    if (v < 1 || v > 86400) return std::nullopt;
    return std::chrono::seconds(v);
}

std::string passwordArgument(const std::string& argument) {
    if (argument != "-") return argument;
    const char* v = std::getenv("ENVIOZVR_PASSWORD");
    return v ? argumentText(v) : std::string();
}

}  // namespace enviozvr::app
