#include "support/relay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "support/loopback.h"

namespace enviozvr::testing {

namespace {

struct Pair {
    int client;
    int server;
    bool held = false;
    bool fresh = true;    // nothing came from the client yet
    bool silent = false;  // never forwarded (silenceLinksMentioning)
};

// Closes a socket with a reset instead of an orderly end.
void closeWithReset(int fd) {
    const linger abort{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(fd);
}

}  // namespace

FreezableRelay::FreezableRelay(int targetPort, int listenPort)
    : targetPort_(targetPort > 0 ? targetPort : testServerPort()) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) throw std::runtime_error("relay: socket failed");
    const int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = loopback(listenPort);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listenFd_, 16) != 0)
        throw std::runtime_error("relay: cannot listen on 127.0.0.1");
    socklen_t len = sizeof a;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    if (::pipe2(wakeFds_, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("relay: pipe failed");
    thread_ = std::thread([this] { run(); });
}

FreezableRelay::~FreezableRelay() {
    stopping_ = true;
    const char c = 's';
    (void)!::write(wakeFds_[1], &c, 1);
    thread_.join();
    ::close(listenFd_);
    ::close(wakeFds_[0]);
    ::close(wakeFds_[1]);
}

std::string FreezableRelay::serverText() const {
    return "127.0.0.1/" + std::to_string(port_) + ":";
}

void FreezableRelay::freeze() {
    frozen_ = true;
    const char c = 'f';
    (void)!::write(wakeFds_[1], &c, 1);
}

void FreezableRelay::thaw() {
    frozen_ = false;
    const char c = 't';
    (void)!::write(wakeFds_[1], &c, 1);
}

void FreezableRelay::cut() {
    cut_ = true;
    const char c = 'c';
    (void)!::write(wakeFds_[1], &c, 1);
}

void FreezableRelay::freezeAfterServerReplies(int count) { repliesBeforeFreeze_ = count; }

void FreezableRelay::holdAfterServerReplies(int count) { repliesBeforeHold_ = count; }

void FreezableRelay::releaseHeld() {
    releaseHeld_ = true;
    const char c = 'r';
    (void)!::write(wakeFds_[1], &c, 1);
}

void FreezableRelay::silenceLinksMentioning(const std::string& text) {
    std::lock_guard lock(silenceMutex_);
    silenceText_ = text;
}

void FreezableRelay::reset() {
    reset_ = true;
    const char c = 'x';
    (void)!::write(wakeFds_[1], &c, 1);
}

void FreezableRelay::run() {
    std::vector<Pair> pairs;
    std::vector<char> buffer(size_t{64} * 1024);
    auto closePair = [](const Pair& p) {
        ::close(p.client);
        ::close(p.server);
    };
    while (!stopping_) {
        // While frozen only the wake pipe is watched: nothing is read, nothing accepted.
        if (releaseHeld_.exchange(false)) {
            for (Pair& p : pairs) p.held = false;
            heldPairs_ = 0;
        }
        std::vector<pollfd> fds{{wakeFds_[0], POLLIN, 0}};
        const bool forwarding = !frozen_;
        if (forwarding) {
            fds.push_back({listenFd_, POLLIN, 0});
            for (const Pair& p : pairs) {
                // A held link is not watched at all (poll skips a negative descriptor).
                const bool still = p.held || p.silent;
                fds.push_back({still ? -1 : p.client, POLLIN, 0});
                fds.push_back({still ? -1 : p.server, POLLIN, 0});
            }
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents) {
            char drain[64];
            while (::read(wakeFds_[0], drain, sizeof drain) > 0) {
            }
        }
        if (cut_.exchange(false)) {
            for (const Pair& p : pairs) {
                ::shutdown(p.client, SHUT_RDWR);
                ::shutdown(p.server, SHUT_RDWR);
                closePair(p);
            }
            pairs.clear();
            heldPairs_ = 0;
            continue;
        }
        if (reset_.exchange(false)) {
            for (const Pair& p : pairs) {
                closeWithReset(p.client);
                closeWithReset(p.server);
            }
            pairs.clear();
            heldPairs_ = 0;
            continue;
        }
        if (!forwarding || frozen_) continue;
        const size_t polled = pairs.size();
        if (fds[1].revents & POLLIN) {
            const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                sockaddr_in target = loopback(targetPort_);
                if (server >= 0 &&
                    ::connect(server, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0) {
                    const int one = 1;
                    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                    ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                    pairs.push_back({client, server});
                    ++accepted_;
                } else {
                    if (server >= 0) ::close(server);
                    ::close(client);
                }
            }
        }
        // Forward what arrived; a pair whose either end closed is closed whole.
        std::vector<Pair> kept;
        for (size_t i = 0; i < pairs.size(); ++i) {
            Pair& p = pairs[i];
            if (i >= polled) {  // accepted just now: nothing read from it yet
                kept.push_back(p);
                continue;
            }
            const pollfd& fromClient = fds[2 + 2 * i];
            const pollfd& fromServer = fds[3 + 2 * i];
            bool alive = true;
            for (const auto& [from, to] :
                 {std::pair{&fromClient, p.server}, std::pair{&fromServer, p.client}}) {
                if (!alive || p.held || p.silent || !(from->revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                if (frozen_) break;
                const ssize_t n = ::recv(from->fd, buffer.data(), buffer.size(), 0);
                if (n > 0 && to == p.server && p.fresh) {
                    p.fresh = false;
                    std::lock_guard lock(silenceMutex_);
                    if (!silenceText_.empty() &&
                        std::string_view(buffer.data(), static_cast<size_t>(n))
                                .find(silenceText_) != std::string_view::npos) {
                        p.silent = true;
                        continue;
                    }
                }
                alive = n > 0 && writeAll(to, buffer.data(), static_cast<size_t>(n));
                if (alive && to == p.client && repliesBeforeFreeze_ > 0 &&
                    --repliesBeforeFreeze_ == 0)
                    frozen_ = true;
                if (alive && to == p.client && repliesBeforeHold_ > 0 &&
                    --repliesBeforeHold_ == 0) {
                    p.held = true;
                    ++heldPairs_;
                }
            }
            if (alive)
                kept.push_back(p);
            else
                closePair(p);
        }
        pairs = std::move(kept);
    }
    for (const Pair& p : pairs) closePair(p);
}

}  // namespace enviozvr::testing
