#include "support/relay.h"

#include <sys/socket.h>
#include <unistd.h>

#include <string_view>
#include <tuple>
#include <utility>

#include "support/loopback.h"

namespace enviozvr::testing {

namespace {

// Closes a socket with a reset instead of an orderly end.
void closeWithReset(int fd) {
    const linger abort{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(fd);
}

}  // namespace

FreezableRelay::FreezableRelay(int targetPort, int listenPort)
    : RelayCore(targetPort, listenPort, 16) {
    start();
}

FreezableRelay::~FreezableRelay() { stop(); }

void FreezableRelay::freeze() {
    frozen_ = true;
    wake();
}

void FreezableRelay::thaw() {
    frozen_ = false;
    wake();
}

void FreezableRelay::cut() {
    cut_ = true;
    wake();
}

void FreezableRelay::freezeAfterServerReplies(int count) { repliesBeforeFreeze_ = count; }

void FreezableRelay::holdAfterServerReplies(int count) { repliesBeforeHold_ = count; }

void FreezableRelay::releaseHeld() {
    releaseHeld_ = true;
    wake();
}

void FreezableRelay::silenceLinksMentioning(const std::string& text) {
    std::lock_guard lock(silenceMutex_);
    silenceText_ = text;
}

void FreezableRelay::reset() {
    reset_ = true;
    wake();
}

bool FreezableRelay::watching() {
    if (releaseHeld_.exchange(false)) {
        for (Pair& p : pairs_) p.held = false;
        heldPairs_ = 0;
    }
    // While frozen only the wake pipe is watched: nothing is read, nothing accepted.
    forwarding_ = !frozen_;
    return forwarding_;
}

pollfd FreezableRelay::watch(std::size_t i, bool clientEnd) const {
    const Pair& p = pairs_[i];
    // A held link is not watched at all (poll skips a negative descriptor).
    const bool still = p.held || p.silent;
    return {still ? -1 : (clientEnd ? p.client : p.server), POLLIN, 0};
}

bool FreezableRelay::afterWake() {
    if (cut_.exchange(false)) {
        for (const Pair& p : pairs_) {
            ::shutdown(p.client, SHUT_RDWR);
            ::shutdown(p.server, SHUT_RDWR);
            ::close(p.client);
            ::close(p.server);
        }
        pairs_.clear();
        heldPairs_ = 0;
        return false;
    }
    if (reset_.exchange(false)) {
        for (const Pair& p : pairs_) {
            closeWithReset(p.client);
            closeWithReset(p.server);
        }
        pairs_.clear();
        heldPairs_ = 0;
        return false;
    }
    return forwarding_ && !frozen_;
}

// Forwards what arrived; a pair whose either end closed is closed whole.
void FreezableRelay::forward(std::size_t i, short clientEvents, short serverEvents,
                             std::vector<char>& buffer) {
    Pair& p = pairs_[i];
    bool alive = true;
    for (const auto& [events, from, to] : {std::tuple{clientEvents, p.client, p.server},
                                           std::tuple{serverEvents, p.server, p.client}}) {
        if (!alive || p.held || p.silent || !(events & (POLLIN | POLLHUP | POLLERR))) continue;
        if (frozen_) break;
        const ssize_t n = ::recv(from, buffer.data(), buffer.size(), 0);
        if (n > 0 && to == p.server && p.fresh) {
            p.fresh = false;
            std::lock_guard lock(silenceMutex_);
            if (!silenceText_.empty() &&
                std::string_view(buffer.data(), static_cast<size_t>(n)).find(silenceText_) !=
                    std::string_view::npos) {
                p.silent = true;
                continue;
            }
        }
        alive = n > 0 && writeAll(to, buffer.data(), static_cast<size_t>(n));
        if (alive && to == p.client && repliesBeforeFreeze_ > 0 && --repliesBeforeFreeze_ == 0)
            frozen_ = true;
        if (alive && to == p.client && repliesBeforeHold_ > 0 && --repliesBeforeHold_ == 0) {
            p.held = true;
            ++heldPairs_;
        }
    }
    p.ended = !alive;
}

void FreezableRelay::endRound() {
    std::vector<Pair> kept;
    for (const Pair& p : pairs_) {
        if (!p.ended) {
            kept.push_back(p);
        } else {
            ::close(p.client);
            ::close(p.server);
        }
    }
    pairs_ = std::move(kept);
}

void FreezableRelay::closeAll() {
    for (const Pair& p : pairs_) {
        ::close(p.client);
        ::close(p.server);
    }
    pairs_.clear();
}

}  // namespace enviozvr::testing
