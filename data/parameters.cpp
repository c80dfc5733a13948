#include "data/parameters.h"

#include <cctype>

#include "data/names.h"

namespace enviozvr::data {

namespace {

std::string_view nameOf(const std::string& line) {
    auto eq = line.find('=');
    return std::string_view(line).substr(0, eq == std::string::npos ? line.size() : eq);
}

}  // namespace

ParameterList::ParameterList(std::vector<std::string> lines) : lines_(std::move(lines)) {}

int ParameterList::find(std::string_view name) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (sameName(nameOf(lines_[i]), name)) return static_cast<int>(i);
    }
    return -1;
}

void ParameterList::set(std::string_view name, std::string_view value) {
    int at = find(name);
    if (value.empty()) {
        if (at >= 0) lines_.erase(lines_.begin() + at);
        return;
    }
    std::string line = std::string(name) + "=" + std::string(value);
    if (at >= 0)
        lines_[at] = std::move(line);
    else
        lines_.push_back(std::move(line));
}

std::string ParameterList::get(std::string_view name) const {
    int at = find(name);
    if (at < 0) return {};
    const std::string& line = lines_[at];
    auto eq = line.find('=');
    return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

bool ParameterList::has(std::string_view name) const { return find(name) >= 0; }

}  // namespace enviozvr::data
