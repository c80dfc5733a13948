// The limits of a connection that must not wait on a silent network: the connect timeout
// of the whole attach and the stall limit of every later call.
//
// attachWithin: the client's own attach parameter (isc_dpb_connect_timeout) bounds only the
// server's first answer; the rest of the attach (authentication, the attach itself) has
// no limit of its own. So the attach runs on a helper thread and the caller waits at most
// `timeout` for it. When the time is up the caller gets a DatabaseError (connection
// lost), the helper is left to finish by itself (an attachment it still makes is
// detached at once), and on Linux the socket that the helper thread itself waits on (to
// the server's host and port) is shut down so that it finishes at once. Only that one:
// the process's other links to the same server (other destinations on it, served side by
// side) go on untouched.
//
// StallWatch: the stall limit of one connection.
//
// The connection marks every call into the client library with a Scope. A call that has
// not returned `limit` after it started is cancelled from the watch's own thread
// (fb_cancel_raise: the server stops the running request); if it still has not returned
// after a further grace, the attachment's link is closed (fb_cancel_abort), which makes a
// call that waits on a silent network fail at once. Either way fired() stays true until
// reset(): the connection counts as stalled and its owner gives it up.
//
// Scopes nest (only the outermost one times the call) and belong to the one thread that
// uses the connection. The cancel calls hold their own reference to the attachment, so
// the connection may release it at any time. The watch thread starts with the first timed
// call and ends with the StallWatch.
#pragma once

#include <firebird/Interface.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "data/connectionkind.h"

namespace enviozvr::data {

Firebird::IAttachment* attachWithin(const std::string& location,
                                    const std::vector<unsigned char>& dpb,
                                    std::chrono::milliseconds timeout, ConnectionKind kind);

// The TCP port a location goes to ("host:path" 3050, "host/port:path", "host/service:path",
// "inet://host:port/path"); nothing for a local path.
std::optional<int> remotePort(const std::string& location);

// The host name or address of a remote location (without brackets or port).
std::string remoteHost(const std::string& location);

class StallWatch {
  public:
    using Clock = std::chrono::steady_clock;

    StallWatch();
    ~StallWatch();
    StallWatch(const StallWatch&) = delete;
    StallWatch& operator=(const StallWatch&) = delete;

    // 0 switches the watch off.
    void setLimit(std::chrono::milliseconds limit);
    std::chrono::milliseconds limit() const { return limit_; }

    bool fired() const { return fired_; }
    void reset() { fired_ = false; }

    // Ends the call in progress now, as the stall limit would (see interruptWaits in
    // connection.h). Any thread.
    void interrupt();

    class Scope {
      public:
        Scope(StallWatch& watch, Firebird::IAttachment* attachment);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

      private:
        StallWatch& watch_;
        bool outermost_;
    };

  private:
    void begin(Firebird::IAttachment* attachment);
    void end();
    void run();

    std::chrono::milliseconds limit_{0};
    int depth_ = 0;  // owner thread only
    std::atomic<bool> fired_{false};

    std::mutex mutex_;
    std::condition_variable wake_;
    Firebird::IAttachment* watched_ = nullptr;  // the call in progress (held by reference)
    Clock::time_point deadline_{};
    int stage_ = 0;  // 0 waiting, 1 raised, 2 aborted
    bool stopping_ = false;
    std::thread thread_;
};

// True once trackEveryCall has been called.
bool everyCallTracked();

}  // namespace enviozvr::data
