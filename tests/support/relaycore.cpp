#include "support/relaycore.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <stdexcept>

#include "support/loopback.h"

namespace enviozvr::testing {

RelayCore::RelayCore(int targetPort, int listenPort, int backlog)
    : targetPort_(targetPort > 0 ? targetPort : testServerPort()) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) throw std::runtime_error("relay: socket failed");
    const int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = loopback(listenPort);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listenFd_, backlog) != 0) {
        ::close(listenFd_);
        throw std::runtime_error("relay: cannot listen on 127.0.0.1");
    }
    socklen_t len = sizeof a;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    if (::pipe2(wakeFds_, O_CLOEXEC | O_NONBLOCK) != 0) {
        ::close(listenFd_);
        throw std::runtime_error("relay: pipe failed");
    }
}

RelayCore::~RelayCore() {
    ::close(listenFd_);
    ::close(wakeFds_[0]);
    ::close(wakeFds_[1]);
}

std::string RelayCore::serverText() const { return "127.0.0.1/" + std::to_string(port_) + ":"; }

void RelayCore::start() {
    thread_ = std::thread([this] { run(); });
}

void RelayCore::stop() {
    stopping_ = true;
    wake();
    if (thread_.joinable()) thread_.join();
}

void RelayCore::wake() const {
    const char c = 'w';
    (void)!::write(wakeFds_[1], &c, 1);
}

void RelayCore::run() {
    std::vector<char> buffer(size_t{64} * 1024);
    while (!stopping_) {
        const bool watched = watching();
        const std::optional<Clock::time_point> due = nextDue();
        std::vector<pollfd> fds{{wakeFds_[0], POLLIN, 0}, {watched ? listenFd_ : -1, POLLIN, 0}};
        const std::size_t known = linkCount();  // the descriptors below cover these
        for (std::size_t i = 0; i < known; ++i)
            for (const bool clientEnd : {true, false})
                fds.push_back(watched ? watch(i, clientEnd) : pollfd{-1, 0, 0});
        timespec wait{};
        if (due) {
            const auto left = std::max<Clock::duration>(*due - Clock::now(), {});
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            wait.tv_sec = static_cast<time_t>(ns / 1000000000);
            wait.tv_nsec = static_cast<long>(ns % 1000000000);
        }
        if (::ppoll(fds.data(), fds.size(), due ? &wait : nullptr, nullptr) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents) {
            char drain[64];
            while (::read(wakeFds_[0], drain, sizeof drain) > 0) {
            }
        }
        if (stopping_ || !afterWake()) continue;
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
                    addLink(client, server);
                    ++accepted_;
                } else {
                    if (server >= 0) ::close(server);
                    ::close(client);
                }
            }
        }
        for (std::size_t i = 0; i < known; ++i)
            forward(i, fds[2 + 2 * i].revents, fds[3 + 2 * i].revents, buffer);
        endRound();
    }
    closeAll();
}

}  // namespace enviozvr::testing
