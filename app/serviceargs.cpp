#include "app/serviceargs.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "app/consoletext.h"
#include "core/localfiles.h"

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

bool takeLogDirectory(std::vector<std::string>& args, std::ostream& err) {
    constexpr std::string_view kOption = "--log-dir=";
    std::optional<std::string> chosen;
    for (auto it = args.begin(); it != args.end();) {
        if (it->rfind(kOption, 0) != 0) {
            ++it;
            continue;
        }
        chosen = it->substr(kOption.size());
        it = args.erase(it);
    }
    if (!chosen) return true;
    if (chosen->empty()) {
        err << "enviozvr: --log-dir needs a folder\n";
        return false;
    }
    // A path of the local file system, kept in the locale's encoding like every path.
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(*chosen, error);
    core::setLogDirectory(error ? *chosen : absolute.lexically_normal().string());
    return true;
}

}  // namespace enviozvr::app
