#include "support/delayrelay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <optional>
#include <stdexcept>
#include <vector>

#include "support/loopback.h"

namespace enviozvr::testing {

namespace {

using Clock = std::chrono::steady_clock;

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
    // The last answer counted, while it may still prove not waited for: when it reaches
    // the client.
    std::optional<Clock::time_point> answerDelivered;
};

}  // namespace

DelayingRelay::DelayingRelay(std::chrono::microseconds delay, int targetPort)
    : targetPort_(targetPort > 0 ? targetPort : testServerPort()), delayUs_(delay.count()) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) throw std::runtime_error("relay: socket failed");
    const int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = loopback(0);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listenFd_, 64) != 0)
        throw std::runtime_error("relay: cannot listen on 127.0.0.1");
    socklen_t len = sizeof a;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    if (::pipe2(wakeFds_, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("relay: pipe failed");
    thread_ = std::thread([this] { run(); });
}

DelayingRelay::~DelayingRelay() {
    stopping_ = true;
    const char c = 's';
    (void)!::write(wakeFds_[1], &c, 1);
    thread_.join();
    ::close(listenFd_);
    ::close(wakeFds_[0]);
    ::close(wakeFds_[1]);
}

std::string DelayingRelay::serverText() const { return "127.0.0.1/" + std::to_string(port_) + ":"; }

void DelayingRelay::run() {
    std::vector<Link> links;
    std::vector<char> buffer(64 * 1024);
    while (!stopping_) {
        // Sleep until something arrives or the earliest queued chunk is due.
        std::optional<Clock::time_point> next;
        for (const Link& l : links)
            for (const auto* q : {&l.toServer, &l.toClient})
                if (!q->empty() && (!next || q->front().due < *next)) next = q->front().due;
        std::vector<pollfd> fds{{wakeFds_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}};
        for (const Link& l : links) {
            fds.push_back({l.client, static_cast<short>(l.clientEnded ? 0 : POLLIN), 0});
            fds.push_back({l.server, static_cast<short>(l.serverEnded ? 0 : POLLIN), 0});
        }
        timespec wait{};
        if (next) {
            const auto left = std::max<Clock::duration>(*next - Clock::now(), {});
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            wait.tv_sec = static_cast<time_t>(ns / 1000000000);
            wait.tv_nsec = static_cast<long>(ns % 1000000000);
        }
        if (::ppoll(fds.data(), fds.size(), next ? &wait : nullptr, nullptr) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents) {
            char drain[64];
            while (::read(wakeFds_[0], drain, sizeof drain) > 0) {
            }
        }
        const size_t known = links.size();  // the fds above cover these
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
                    Link link;
                    link.client = client;
                    link.server = server;
                    links.push_back(std::move(link));
                    ++accepted_;
                } else {
                    if (server >= 0) ::close(server);
                    ::close(client);
                }
            }
        }
        // Queue what arrived, stamped with the time it is to be passed on.
        const auto arrived = Clock::now();
        const auto due = arrived + std::chrono::microseconds(delayUs_.load());
        for (size_t i = 0; i < known; ++i) {
            Link& l = links[i];
            for (const bool fromClient : {true, false}) {
                const pollfd& p = fds[2 + 2 * i + (fromClient ? 0 : 1)];
                if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
                const ssize_t n = ::recv(p.fd, buffer.data(), buffer.size(), 0);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) {
                    (fromClient ? l.clientEnded : l.serverEnded) = true;
                    continue;
                }
                (fromClient ? l.toServer : l.toClient)
                    .push_back({due, std::string(buffer.data(), static_cast<size_t>(n))});
                if (fromClient) {
                    // The client sending again before the answer reached it had not been
                    // waiting for it (a packet it sent and went on, like a deferred free).
                    if (l.answerDelivered && arrived < *l.answerDelivered) --roundTrips_;
                    l.answerDelivered.reset();
                    l.requestPending = true;
                } else if (l.requestPending) {
                    l.requestPending = false;
                    l.answerDelivered = due;
                    ++roundTrips_;
                }
            }
        }
        // Pass on what is due. A connection either side ended is closed whole once what
        // it still had to deliver is gone.
        const auto now = Clock::now();
        std::vector<Link> kept;
        for (Link& l : links) {
            for (auto [queue, to] :
                 {std::pair{&l.toServer, l.server}, std::pair{&l.toClient, l.client}}) {
                while (!l.broken && !queue->empty() && queue->front().due <= now) {
                    const std::string& b = queue->front().bytes;
                    l.broken = !writeAll(to, b.data(), b.size());
                    queue->pop_front();
                }
            }
            const bool drained = l.toServer.empty() && l.toClient.empty();
            if (l.broken || ((l.clientEnded || l.serverEnded) && drained)) {
                ::close(l.client);
                ::close(l.server);
            } else {
                kept.push_back(std::move(l));
            }
        }
        links = std::move(kept);
    }
    for (const Link& l : links) {
        ::close(l.client);
        ::close(l.server);
    }
}

}  // namespace enviozvr::testing
