// FreezableRelay: a TCP forwarder on 127.0.0.1 in front of the local Firebird server, for
// tests of a link that stops answering.
//
// It listens on an ephemeral port of 127.0.0.1 and forwards every connection to
// 127.0.0.1:<target> (by default the test server's port: 3050, or the port named in
// ENVIOZVR_TEST_SERVER as "host/port") in both directions on one thread of its own (the
// loop of RelayCore), passing each chunk on as soon as it arrives. freeze() stops
// all forwarding and stops taking new connections without closing anything: the peers see a link
// that is up but silent (the kernel still completes TCP handshakes into the listen backlog, so a
// new client gets no answer to its first packet). thaw() resumes. The destructor closes everything
// and joins the thread. Every method may be called from any thread.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "support/relaycore.h"

namespace enviozvr::testing {

class FreezableRelay : public RelayCore {
  public:
    // `listenPort` 0 takes an ephemeral port; another port is taken again (SO_REUSEADDR),
    // so that a relay destroyed and made again on the port of the first one is the same
    // link going down and coming back.
    explicit FreezableRelay(int targetPort = 0, int listenPort = 0);
    ~FreezableRelay() override;

    void freeze();
    void thaw();
    // Closes every link it forwards at once, both ends (a cable pulled, a router
    // restarted); new connections are forwarded as before.
    void cut();
    // Freezes by itself right after the next `count` chunks from the server have been
    // passed on to a client (1: just after the server's first answer to a new connection).
    void freezeAfterServerReplies(int count);
    bool frozen() const { return frozen_; }
    // Holds the one link over which the next `count` chunks from the server have been
    // passed on (counted from now): nothing more goes either way on it until
    // releaseHeld(), while other links, new ones too, go on as before. What its client
    // sends meanwhile (a commit, say) waits in the relay and reaches the server at the
    // release, even when the client has closed its end by then.
    void holdAfterServerReplies(int count);
    void releaseHeld();
    // From now on a new link whose client's first packet holds `text` (the database path
    // in Firebird's first packet, say) is never forwarded: it is accepted and stays silent,
    // while every other link goes on as before. An empty text ends it for new links.
    void silenceLinksMentioning(const std::string& text);
    // Like cut(), but each end gets a reset (RST) instead of an orderly close.
    void reset();
    bool holding() const { return heldPairs_ > 0; }

  private:
    struct Pair {
        int client;
        int server;
        bool held = false;
        bool fresh = true;    // nothing came from the client yet
        bool silent = false;  // never forwarded (silenceLinksMentioning)
        bool ended = false;   // either end closed: the pair is closed whole
    };

    bool watching() override;
    std::size_t linkCount() const override { return pairs_.size(); }
    pollfd watch(std::size_t i, bool clientEnd) const override;
    bool afterWake() override;
    void addLink(int client, int server) override { pairs_.push_back({client, server}); }
    void forward(std::size_t i, short clientEvents, short serverEvents,
                 std::vector<char>& buffer) override;
    void endRound() override;
    void closeAll() override;

    // The relay thread's own.
    std::vector<Pair> pairs_;
    bool forwarding_ = true;  // not frozen when the round's wait began

    std::atomic<bool> frozen_{false};
    std::atomic<int> repliesBeforeFreeze_{0};  // 0: not armed
    std::atomic<int> repliesBeforeHold_{0};    // 0: not armed
    std::atomic<bool> releaseHeld_{false};
    std::atomic<bool> cut_{false};
    std::atomic<int> heldPairs_{0};
    std::atomic<bool> reset_{false};
    mutable std::mutex silenceMutex_;
    std::string silenceText_;
};

}  // namespace enviozvr::testing
