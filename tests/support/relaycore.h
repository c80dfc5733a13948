// RelayCore: what the test relays in front of the local Firebird server share. It listens
// on 127.0.0.1 (an ephemeral port, or the one asked for, taken again with SO_REUSEADDR),
// runs one thread of its own, and connects every connection it accepts to
// 127.0.0.1:<target> (by default the test server's port: 3050, or the port named in
// ENVIOZVR_TEST_SERVER as "host/port") as one link. Its loop waits on the links' ends, a
// wake pipe and the listening socket, and hands each link's readiness to the relay, which
// decides what is forwarded, when and how (the hooks below, all called on the relay's
// thread). A relay calls start() at the end of its constructor and stop() at the start of
// its destructor, so that the hooks never run on a half-made or half-gone relay.
#pragma once

#include <poll.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace enviozvr::testing {

class RelayCore {
  public:
    RelayCore(const RelayCore&) = delete;
    RelayCore& operator=(const RelayCore&) = delete;

    // The port clients connect to.
    int port() const { return port_; }
    // "127.0.0.1/<port>:": the server text that goes through the relay.
    std::string serverText() const;
    // Connections accepted so far.
    int connectionsAccepted() const { return accepted_; }

  protected:
    using Clock = std::chrono::steady_clock;

    RelayCore(int targetPort, int listenPort, int backlog);
    virtual ~RelayCore();

    void start();
    void stop();
    // Ends the loop's current wait, so that it sees a request made from another thread.
    void wake() const;

    // Before each wait: false watches nothing but the wake pipe (no link, no new
    // connection).
    virtual bool watching() { return true; }
    // When the wait must end at the latest (a chunk falls due), if ever.
    virtual std::optional<Clock::time_point> nextDue() const { return std::nullopt; }
    virtual std::size_t linkCount() const = 0;
    // What one end of link `i` is watched for (a negative descriptor: not at all).
    virtual pollfd watch(std::size_t i, bool clientEnd) const = 0;
    // After the wait: false ends the round there (nothing accepted, nothing read).
    virtual bool afterWake() { return true; }
    // A new link: the accepted client's socket and the server's, both connected.
    virtual void addLink(int client, int server) = 0;
    // Link `i` (one of those watched) with what the wait found on each of its ends.
    virtual void forward(std::size_t i, short clientEvents, short serverEvents,
                         std::vector<char>& buffer) = 0;
    // The end of a round: pass on what is due, drop the links that ended.
    virtual void endRound() {}
    // The relay stops: closes every link.
    virtual void closeAll() = 0;

  private:
    void run();

    int targetPort_;
    int port_ = 0;
    int listenFd_ = -1;
    int wakeFds_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::atomic<int> accepted_{0};
    std::thread thread_;
};

}  // namespace enviozvr::testing
