// ThawAfterLimit: the guard of a test that freezes a link or holds a lock that the code
// under test waits on. A thread of its own runs `thaw` once `limit` has passed (or, with
// `until`, as soon as that holds, looked at every 50 ms), unless the guard is disarmed
// first, so that a fault fails the test instead of hanging it. The destructor disarms.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace enviozvr::testing {

class ThawAfterLimit {
  public:
    explicit ThawAfterLimit(std::function<void()> thaw,
                            std::chrono::milliseconds limit = std::chrono::minutes(1),
                            std::function<bool()> until = {});
    ~ThawAfterLimit();
    ThawAfterLimit(const ThawAfterLimit&) = delete;
    ThawAfterLimit& operator=(const ThawAfterLimit&) = delete;

    // Stops waiting and joins the thread: `thaw` does not run from here on (it has run
    // already when the limit or `until` came first).
    void disarm();
    // True when the limit ran out (and `thaw` ran) before the guard was disarmed.
    bool limitReached() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool disarmed_ = false;
    bool limitReached_ = false;
    std::thread thread_;
};

}  // namespace enviozvr::testing
