#include "sender/abandonedattachments.h"

namespace enviozvr::sender {

std::optional<std::string> AbandonedAttachments::find(const std::string& location) const {
    std::lock_guard lock(mutex_);
    const auto it = names_.find(location);
    if (it == names_.end()) return std::nullopt;
    return it->second;
}

void AbandonedAttachments::giveUp(const std::string& location, const std::string& name) {
    std::lock_guard lock(mutex_);
    names_[location] = name;
}

void AbandonedAttachments::gone(const std::string& location, const std::string& name) {
    std::lock_guard lock(mutex_);
    if (const auto it = names_.find(location); it != names_.end() && it->second == name)
        names_.erase(it);
}

}  // namespace enviozvr::sender
