#include "app/serviceargs.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/consoletext.h"
#include "core/localfiles.h"
#include "core/unhandled.h"
#include "data/errors.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

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

std::optional<std::string> passwordFromFile(const std::string& path, std::string& problem) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        problem = std::strerror(errno);
        return std::nullopt;
    }
#ifndef _WIN32
    struct stat info {};
    if (::fstat(::fileno(file), &info) == 0 && (info.st_mode & S_IROTH) != 0) {
        std::fclose(file);
        problem = "every user may read it (chmod o-r)";
        return std::nullopt;
    }
#endif
    std::string line;
    for (int c = std::fgetc(file); c != EOF && c != '\n'; c = std::fgetc(file))
        line += static_cast<char>(c);
    const bool failed = std::ferror(file) != 0;
    if (failed) problem = std::strerror(errno);
    std::fclose(file);
    if (failed) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return argumentText(line);
}

namespace {

bool contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

bool connectTimedOut(const std::exception& error) {
    const auto* db = dynamic_cast<const data::DatabaseError*>(&error);
    return db && db->connectionLost() && contains(error.what(), "no answer within");
}

// The client's wordings when the host is known but its port takes no connection: nothing
// listens there ("Failed to establish a connection"), or what answers drops it at once
// ("connection rejected by remote interface"). "Failed to locate host machine" is a name
// that is not known, which the translated error says.
bool connectRefused(const std::exception& error) {
    return contains(error.what(), "Failed to establish a connection") ||
           contains(error.what(), "connection rejected by remote interface");
}

}  // namespace

std::string originFailureReason(const std::exception& error, std::chrono::seconds connectTimeout) {
    if (connectTimedOut(error))
        return "el servidor no responde (sin respuesta al conectar en " +
               std::to_string(connectTimeout.count()) + " s)";
    if (connectRefused(error))
        return "el servidor rechaza la conexion (nadie atiende en su puerto)";
    return core::translateErrorMessage(error.what());
}

bool originServerUnreachable(const std::exception& error) {
    return connectTimedOut(error) || connectRefused(error);
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
