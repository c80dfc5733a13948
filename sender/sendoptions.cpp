#include "sender/sendoptions.h"

#include <cstdint>
#include <stdexcept>

namespace enviozvr::sender {

namespace {

constexpr int64_t kMaxIntervalMs = INT32_MAX;

std::invalid_argument notAnInteger(const std::string& text) {
    return std::invalid_argument("'" + text + "' is not a valid integer value");
}

// Whole decimal number: digits only, no sign, no blanks. nullopt when the text is none or
// the value exceeds `limit`.
std::optional<int64_t> wholeNumber(const std::string& text, int64_t limit) {
    if (text.empty() || text.size() > 18) return std::nullopt;
    int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    if (v > limit) return std::nullopt;
    return v;
}

}  // namespace

BatchSize BatchSize::fromText(const std::string& text) {
    BatchSize size;
    if (text.empty()) return size;
    const auto v = wholeNumber(text, INT32_MAX);
    if (v && *v >= 1)
        size.events_ = static_cast<int>(*v);
    else
        size.refused_ = text;
    return size;
}

std::optional<int> BatchSize::events() const {
    if (refused_) throw notAnInteger(*refused_);
    return events_;
}

std::optional<int> tryMinutesValue(const std::string& text) {
    const auto v = wholeNumber(text, kMaxIntervalMs / kMinuteMs);
    if (!v) return std::nullopt;
    return static_cast<int>(*v);
}

int minutesValue(const std::string& text) {
    const auto v = tryMinutesValue(text);
    if (!v) throw notAnInteger(text);
    return *v;
}

}  // namespace enviozvr::sender
