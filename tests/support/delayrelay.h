// DelayingRelay: a TCP forwarder on 127.0.0.1 in front of the local Firebird server that
// plays a slow link, and counts the round trips made over it.
//
// It listens on an ephemeral port of 127.0.0.1 and forwards every connection to
// 127.0.0.1:<target> (by default the test server's port: 3050, or the port named in
// ENVIOZVR_TEST_SERVER as "host/port"), on one thread of its own. Every chunk read from
// either side is passed on `delay` after it arrived, through a queue per direction, so the
// two directions are delayed independently and a chunk never waits for the other
// direction: a request and its answer each take `delay` more, as on a link with that
// one-way latency.
//
// A round trip is a request that waited for an answer: on each connection, one or more
// chunks from the client followed by a chunk from the server that was passed on to the
// client before the client sent again. Packets the client sends without waiting join the
// round trip of its next request when they go out together; one sent on its own (a
// deferred free, say) whose answer the client has not yet received when it sends again is
// no round trip. That last part needs the delay: count a side's round trips in runs where
// its relay delays. The count is kept over every connection, from the start.
// Every method may be called from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace enviozvr::testing {

class DelayingRelay {
  public:
    explicit DelayingRelay(std::chrono::microseconds delay = {}, int targetPort = 0);
    ~DelayingRelay();
    DelayingRelay(const DelayingRelay&) = delete;
    DelayingRelay& operator=(const DelayingRelay&) = delete;

    // The port clients connect to.
    int port() const { return port_; }
    // "127.0.0.1/<port>:": the server text that goes through the relay.
    std::string serverText() const;

    // The one-way delay for chunks read from now on.
    void setDelay(std::chrono::microseconds delay) { delayUs_ = delay.count(); }
    std::chrono::microseconds delay() const { return std::chrono::microseconds(delayUs_); }
    // Round trips over every connection so far.
    long long roundTrips() const { return roundTrips_; }
    // Connections accepted so far.
    int connectionsAccepted() const { return accepted_; }

  private:
    void run();

    int targetPort_;
    int port_ = 0;
    int listenFd_ = -1;
    int wakeFds_[2] = {-1, -1};
    std::atomic<long long> delayUs_;
    std::atomic<bool> stopping_{false};
    std::atomic<long long> roundTrips_{0};
    std::atomic<int> accepted_{0};
    std::thread thread_;
};

}  // namespace enviozvr::testing
