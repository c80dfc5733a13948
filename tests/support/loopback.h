// Small socket helpers shared by the test relays: loopback addresses, whole writes and the
// port of the local test server.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace enviozvr::testing {

inline sockaddr_in loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    return a;
}

// A port of 127.0.0.1 where nothing listens (the kernel's choice, bound for a moment and
// let go): a connection to it is refused at once. 0 when no port could be had.
inline int closedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = loopback(0);
    socklen_t length = sizeof a;
    const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                       ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) == 0;
    if (fd >= 0) ::close(fd);
    return bound ? ntohs(a.sin_port) : 0;
}

// Writes all of `n` bytes; false when the peer is gone.
inline bool writeAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

// The port of the local test server: "host/port" in ENVIOZVR_TEST_SERVER, else 3050.
inline int testServerPort() {
    const char* server = std::getenv("ENVIOZVR_TEST_SERVER");
    const std::string text = server ? server : "";
    const auto slash = text.find('/');
    if (slash == std::string::npos) return 3050;
    try {
        return std::stoi(text.substr(slash + 1));
    } catch (...) {
        return 3050;
    }
}

}  // namespace enviozvr::testing
