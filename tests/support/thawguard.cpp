#include "support/thawguard.h"

namespace enviozvr::testing {

ThawAfterLimit::ThawAfterLimit(std::function<void()> thaw, std::chrono::milliseconds limit,
                               std::function<bool()> until) {
    thread_ = std::thread([this, thaw = std::move(thaw), limit, until = std::move(until)] {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        std::unique_lock lock(mutex_);
        for (;;) {
            if (disarmed_) return;
            if (until) {
                lock.unlock();
                const bool ready = until();
                lock.lock();
                if (disarmed_) return;
                if (ready) break;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                limitReached_ = true;
                break;
            }
            const auto step =
                until ? std::chrono::steady_clock::now() + std::chrono::milliseconds(50) : deadline;
            wake_.wait_until(lock, std::min(step, deadline));
        }
        lock.unlock();
        thaw();
    });
}

ThawAfterLimit::~ThawAfterLimit() { disarm(); }

void ThawAfterLimit::disarm() {
    {
        std::lock_guard lock(mutex_);
        disarmed_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool ThawAfterLimit::limitReached() const {
    std::lock_guard lock(mutex_);
    return limitReached_;
}

}  // namespace enviozvr::testing
