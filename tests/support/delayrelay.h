// DelayingRelay: a TCP forwarder on 127.0.0.1 in front of the local Firebird server that
// plays a slow link, and counts the round trips made over it.
//
// It listens on an ephemeral port of 127.0.0.1 and forwards every connection to
// 127.0.0.1:<target> (by default the test server's port: 3050, or the port named in
// ENVIOZVR_TEST_SERVER as "host/port"), on one thread of its own (the loop of RelayCore).
// Every chunk read from
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
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "support/relaycore.h"

namespace enviozvr::testing {

class DelayingRelay : public RelayCore {
  public:
    explicit DelayingRelay(std::chrono::microseconds delay = {}, int targetPort = 0);
    ~DelayingRelay() override;

    // The one-way delay for chunks read from now on.
    void setDelay(std::chrono::microseconds delay) { delayUs_ = delay.count(); }
    std::chrono::microseconds delay() const { return std::chrono::microseconds(delayUs_); }
    // Round trips over every connection so far.
    long long roundTrips() const { return roundTrips_; }

  private:
    struct Chunk {
        Clock::time_point due;
        std::string bytes;
    };
    // One forwarded connection: what each side sent, waiting for its time.
    struct Link {
        int client = -1;
        int server = -1;
        std::deque<Chunk> toServer, toClient;
        bool clientEnded = false, serverEnded = false, broken = false;
        bool requestPending = false;  // the client sent since the server last answered
        // The last answer counted, while it may still prove not waited for: when it
        // reaches the client.
        std::optional<Clock::time_point> answerDelivered;
    };

    std::optional<Clock::time_point> nextDue() const override;
    std::size_t linkCount() const override { return links_.size(); }
    pollfd watch(std::size_t i, bool clientEnd) const override;
    bool afterWake() override;
    void addLink(int client, int server) override;
    void forward(std::size_t i, short clientEvents, short serverEvents,
                 std::vector<char>& buffer) override;
    void endRound() override;
    void closeAll() override;

    // The relay thread's own.
    std::vector<Link> links_;
    Clock::time_point arrived_;  // when the round's wait ended

    std::atomic<long long> delayUs_;
    std::atomic<long long> roundTrips_{0};
};

}  // namespace enviozvr::testing
