#include "data/internal/timeouts.h"

#include <ibase.h>
#ifdef _WIN32
#include <winsock2.h>
#else
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "data/connection.h"
#include "data/connectstop.h"
#include "data/internal/fbapi.h"

using namespace Firebird;

namespace enviozvr::data {

namespace {

// How long a raised cancel may take before the link is closed.
std::chrono::milliseconds graceAfter(std::chrono::milliseconds limit) {
    return std::min<std::chrono::milliseconds>(limit, std::chrono::seconds(5));
}

// One cancel request; a failure (unsupported, attachment already gone) changes nothing.
void cancel(IAttachment* attachment, int kind) {
    try {
        fb::Status st;
        attachment->cancelOperation(&st, kind);
    } catch (...) {
        // Nothing to cancel, or no way to: the watch escalates or the call ends by itself.
    }
}

// The kernel's id of the calling thread (its /proc/self/task entry).
long currentThreadId() {
#ifdef __linux__
    return static_cast<long>(::syscall(SYS_gettid));
#else
    return 1;
#endif
}

// Every StallWatch, so that a stop can end the calls in progress; and the flag that a
// stop was asked for, which the attach waits below read.
std::mutex g_watchesMutex;
std::vector<StallWatch*> g_watches;
std::atomic<bool> g_interrupted{false};
std::atomic<bool> g_trackEveryCall{false};
// The calling thread's ConnectStop flag, if any.
thread_local const std::atomic<bool>* t_connectStop = nullptr;

}  // namespace

void trackEveryCall() { g_trackEveryCall = true; }

void interruptWaits() {
    g_interrupted = true;
    {
        std::lock_guard lock(g_watchesMutex);
        for (StallWatch* w : g_watches) w->interrupt();
    }
}

bool waitsInterrupted() { return g_interrupted; }

bool everyCallTracked() { return g_trackEveryCall; }

void StallWatch::interrupt() {
    {
        std::lock_guard lock(mutex_);
        if (!watched_ || stage_ == 2) return;
        deadline_ = Clock::now();
    }
    wake_.notify_all();
}

StallWatch::StallWatch() {
    std::lock_guard lock(g_watchesMutex);
    g_watches.push_back(this);
}

StallWatch::~StallWatch() {
    {
        std::lock_guard lock(g_watchesMutex);
        std::erase(g_watches, this);
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        if (watched_) watched_->release();
        watched_ = nullptr;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void StallWatch::setLimit(std::chrono::milliseconds limit) { limit_ = limit; }

StallWatch::Scope::Scope(StallWatch& watch, IAttachment* attachment)
    : watch_(watch), outermost_(watch.depth_++ == 0) {
    if (outermost_ && attachment && (watch_.limit_.count() > 0 || g_trackEveryCall))
        watch_.begin(attachment);
}

StallWatch::Scope::~Scope() {
    --watch_.depth_;
    if (outermost_) watch_.end();
}

void StallWatch::begin(IAttachment* attachment) {
    {
        std::lock_guard lock(mutex_);
        attachment->addRef();
        if (watched_) watched_->release();
        watched_ = attachment;
        // Without a limit the call is only watched for a stop (interruptWaits).
        deadline_ = limit_.count() > 0 ? Clock::now() + limit_ : Clock::time_point::max();
        stage_ = 0;
        if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
    }
    wake_.notify_all();
}

void StallWatch::end() {
    std::lock_guard lock(mutex_);
    if (watched_) watched_->release();
    watched_ = nullptr;
}

void StallWatch::run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (!watched_ || stage_ == 2) {
            wake_.wait(lock);
            continue;
        }
        if (deadline_ == Clock::time_point::max()) {
            wake_.wait(lock);
            continue;
        }
        if (Clock::now() < deadline_) {
            wake_.wait_until(lock, deadline_);
            continue;
        }
        IAttachment* attachment = watched_;
        attachment->addRef();
        fired_ = true;
        if (stage_ == 0) {
            // A polite cancel first. It is sent over the attachment's own link and may
            // wait there, so it runs on a thread of its own: the close below must not
            // wait for it.
            stage_ = 1;
            deadline_ =
                Clock::now() + graceAfter(limit_.count() > 0 ? limit_ : std::chrono::seconds(5));
            std::thread([attachment] {
                cancel(attachment, fb_cancel_raise);
                attachment->release();
            }).detach();
        } else {
            stage_ = 2;
            lock.unlock();
            cancel(attachment, fb_cancel_abort);
            attachment->release();
            lock.lock();
        }
    }
}

}  // namespace enviozvr::data

// ---------------------------------------------------------------------------------------
// Connect timeout

namespace enviozvr::data {

namespace {

#ifdef __linux__
// Socket descriptors of the process: descriptor -> socket inode text.
std::map<int, std::string> openSockets() {
    std::map<int, std::string> out;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        std::error_code linkError;
        const std::string target = std::filesystem::read_symlink(entry.path(), linkError).string();
        if (linkError || target.rfind("socket:", 0) != 0) continue;
        try {
            out[std::stoi(entry.path().filename().string())] = target;
        } catch (...) {
            // An entry whose name is not a descriptor number is not a socket of ours.
        }
    }
    return out;
}

// The addresses `host` resolves to, as raw bytes (IPv4 and IPv6); empty when it does not
// resolve.
std::vector<std::string> hostAddresses(const std::string& host) {
    std::vector<std::string> out;
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (host.empty() || ::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0) return out;
    for (const addrinfo* a = list; a; a = a->ai_next) {
        if (a->ai_family == AF_INET) {
            const auto& in = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr;
            out.emplace_back(reinterpret_cast<const char*>(&in), sizeof in);
        } else if (a->ai_family == AF_INET6) {
            const auto& in6 = reinterpret_cast<const sockaddr_in6*>(a->ai_addr)->sin6_addr;
            out.emplace_back(reinterpret_cast<const char*>(&in6), sizeof in6);
        }
    }
    ::freeaddrinfo(list);
    return out;
}

// The peer of a connected socket: its address bytes and port; nothing when `fd` is no
// connected TCP socket.
std::optional<std::pair<std::string, int>> peerOf(int fd) {
    sockaddr_storage peer{};
    socklen_t len = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) != 0) return std::nullopt;
    if (peer.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<sockaddr_in*>(&peer);
        return std::pair{
            std::string(reinterpret_cast<const char*>(&in->sin_addr), sizeof in->sin_addr),
            static_cast<int>(ntohs(in->sin_port))};
    }
    if (peer.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<sockaddr_in6*>(&peer);
        return std::pair{
            std::string(reinterpret_cast<const char*>(&in6->sin6_addr), sizeof in6->sin6_addr),
            static_cast<int>(ntohs(in6->sin6_port))};
    }
    return std::nullopt;
}

// Reads `size` bytes at `address` of this process's own memory; false when they cannot be
// read (the thread that owned them has moved on and they are gone).
bool readOwnMemory(unsigned long long address, void* into, size_t size) {
    const int fd = ::open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const ssize_t read = ::pread(fd, into, size, static_cast<off_t>(address));
    ::close(fd);
    return read == static_cast<ssize_t>(size);
}

// The descriptors that thread `tid` of this process waits on at this moment: the first
// argument of a blocking socket call (connect, send, receive, read, write), or the
// descriptors of the poll or select it sleeps in (the client library waits for the
// server's answer in poll). Empty while the thread runs or waits on anything else.
std::vector<int> descriptorsWaitedOn(long tid) {
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/syscall");
    std::string number;
    if (!(in >> number) || number.empty() || !std::isdigit(static_cast<unsigned char>(number[0])))
        return {};
    std::vector<unsigned long long> args;
    std::string word;
    while (args.size() < 6 && in >> word) {
        try {
            args.push_back(std::stoull(word, nullptr, 16));
        } catch (...) {
            return {};
        }
    }
    if (args.size() < 6) return {};
    const long call = std::stol(number);
    std::vector<int> out;
    const auto pollSet = [&] {
        const size_t count = std::min<unsigned long long>(args[1], 16);
        std::vector<pollfd> fds(count);
        if (count && readOwnMemory(args[0], fds.data(), count * sizeof(pollfd)))
            for (const pollfd& p : fds)
                if (p.fd >= 0) out.push_back(p.fd);
    };
    const auto selectSet = [&] {
        const int count = static_cast<int>(std::min<unsigned long long>(args[0], FD_SETSIZE));
        for (const unsigned long long at : {args[1], args[2]}) {
            fd_set set;
            FD_ZERO(&set);
            if (!at || !readOwnMemory(at, &set, sizeof set)) continue;
            for (int fd = 0; fd < count; ++fd)
                if (FD_ISSET(fd, &set)) out.push_back(fd);
        }
    };
    switch (call) {
#ifdef SYS_poll
        case SYS_poll:
#endif
        case SYS_ppoll:
            pollSet();
            break;
#ifdef SYS_select
        case SYS_select:
#endif
        case SYS_pselect6:
            selectSet();
            break;
        case SYS_connect:
        case SYS_recvfrom:
        case SYS_recvmsg:
        case SYS_sendto:
        case SYS_sendmsg:
        case SYS_read:
        case SYS_write:
            out.push_back(static_cast<int>(args[0]));
            break;
        default:
            break;
    }
    return out;
}

// Shuts down the socket that the abandoned attach of thread `tid` waits on, and again
// each socket it goes on to wait on, until the thread has finished (`done`) or a minute
// has passed. Only a socket that the thread itself sleeps on, that was opened since the
// attach began (not in `before`) and that goes to `port` of `host` is touched: other
// threads may be attaching to the same server at the same time (destinations on one
// server served side by side), and their links are theirs. A host that does not resolve
// any more matches by the port alone.
void endOwnSockets(long tid, const std::shared_ptr<std::atomic<bool>>& done,
                   std::map<int, std::string> before, const std::string& host, int port) {
    const std::vector<std::string> addresses = hostAddresses(host);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    const auto ours = [&](int fd) {
        std::error_code ec;
        const std::string inode =
            std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), ec).string();
        if (ec || inode.rfind("socket:", 0) != 0) return false;
        if (const auto old = before.find(fd); old != before.end() && old->second == inode)
            return false;
        const auto peer = peerOf(fd);
        if (!peer || peer->second != port) return false;
        return addresses.empty() ||
               std::find(addresses.begin(), addresses.end(), peer->first) != addresses.end();
    };
    while (!*done && std::chrono::steady_clock::now() < deadline) {
        for (const int fd : descriptorsWaitedOn(tid)) {
            if (!ours(fd)) continue;
            // Still the one it sleeps on (not closed and reused meanwhile): end it.
            const std::vector<int> again = descriptorsWaitedOn(tid);
            if (std::find(again.begin(), again.end(), fd) != again.end()) ::shutdown(fd, SHUT_RDWR);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
#else
std::map<int, std::string> openSockets() { return {}; }
void endOwnSockets(long, const std::shared_ptr<std::atomic<bool>>&, std::map<int, std::string>,
                   const std::string&, int) {}
#endif

int servicePort(const std::string& service) {
    if (!service.empty() && std::all_of(service.begin(), service.end(),
                                        [](unsigned char c) { return std::isdigit(c); }))
        return std::stoi(service);
    if (const servent* s = ::getservbyname(service.c_str(), "tcp")) return ntohs(s->s_port);
    return 3050;
}

}  // namespace

std::string remoteHost(const std::string& location) {
    const auto scheme = location.find("://");
    if (scheme != std::string::npos) {
        const std::string rest = location.substr(scheme + 3);
        std::string hostPort = rest.substr(0, rest.find('/'));
        if (!hostPort.empty() && hostPort[0] == '[')
            return hostPort.substr(1, hostPort.find(']') - 1);
        return hostPort.substr(0, hostPort.rfind(':'));
    }
    if (!location.empty() && location[0] == '[') return location.substr(1, location.find(']') - 1);
    const std::string host = location.substr(0, location.find(':'));
    return host.substr(0, host.find('/'));
}

std::optional<int> remotePort(const std::string& location) {
    const auto scheme = location.find("://");
    if (scheme != std::string::npos) {
        const std::string rest = location.substr(scheme + 3);
        const std::string hostPort = rest.substr(0, rest.find('/'));
        const auto colon = hostPort.rfind(':');
        const auto bracket = hostPort.rfind(']');
        if (colon == std::string::npos || (bracket != std::string::npos && colon < bracket))
            return 3050;
        return servicePort(hostPort.substr(colon + 1));
    }
    // "[v6 address]/port:path" or "host/port:path" or "host:path".
    size_t from = 0;
    if (!location.empty() && location[0] == '[') {
        from = location.find(']');
        if (from == std::string::npos) return std::nullopt;
    }
    const auto colon = location.find(':', from);
    // No host, or a drive letter ("C:\..."): a local file.
    if (colon == std::string::npos || colon < 2) return std::nullopt;
    const std::string host = location.substr(0, colon);
    const auto slash = host.find('/', from);
    if (slash == std::string::npos) return 3050;
    return servicePort(host.substr(slash + 1));
}

ConnectStop::ConnectStop(const std::atomic<bool>& flag) : previous_(t_connectStop) {
    t_connectStop = &flag;
}

ConnectStop::~ConnectStop() { t_connectStop = previous_; }

IAttachment* attachWithin(const std::string& location, const std::vector<unsigned char>& dpb,
                          std::chrono::milliseconds timeout, ConnectionKind kind) {
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        bool abandoned = false;
        IAttachment* attachment = nullptr;
        std::optional<DatabaseError> error;
        std::atomic<long> tid{0};  // the attaching thread
        std::shared_ptr<std::atomic<bool>> threadDone = std::make_shared<std::atomic<bool>>(false);
    };
    auto shared = std::make_shared<Shared>();
    const std::optional<int> port = remotePort(location);
    const auto before = port ? openSockets() : std::map<int, std::string>{};

    std::thread([shared, location, dpb, kind] {
        shared->tid = currentThreadId();
        // Whatever way it ends, the thread says so (for endOwnSockets).
        struct Done {
            std::atomic<bool>& done;
            ~Done() { done = true; }
        } markDone{*shared->threadDone};
        IAttachment* attachment = nullptr;
        std::optional<DatabaseError> error;
        try {
            fb::Status st;
            attachment = fb::provider()->attachDatabase(
                &st, location.c_str(), static_cast<unsigned>(dpb.size()), dpb.data());
        } catch (const FbException& e) {
            error = fb::toDatabaseError(e.getStatus(), kind);
        } catch (const std::exception& e) {
            error = DatabaseError(fb::errorText({e.what()}, kind), {e.what()}, 0, "");
        }
        std::lock_guard lock(shared->mutex);
        if (shared->abandoned) {
            // Nobody waits for it any more.
            if (attachment) {
                try {
                    fb::Status st;
                    attachment->detach(&st);
                } catch (...) {
                    attachment->release();
                }
            }
            return;
        }
        shared->attachment = attachment;
        shared->error = std::move(error);
        shared->finished = true;
        shared->done.notify_all();
    }).detach();

    std::unique_lock lock(shared->mutex);
    // A stop (interruptWaits, or the calling thread's ConnectStop) ends the wait like the
    // timeout; it is checked every 50 ms.
    const std::atomic<bool>* stop = t_connectStop;
    const auto stopped = [stop] { return g_interrupted || (stop && *stop); };
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool finished = false;
    while (!(finished = shared->done.wait_for(
                 lock,
                 std::min<std::chrono::steady_clock::duration>(
                     deadline - std::chrono::steady_clock::now(), std::chrono::milliseconds(50)),
                 [&] { return shared->finished; })) &&
           !stopped() && std::chrono::steady_clock::now() < deadline) {
    }
    if (!finished) {
        shared->abandoned = true;
        lock.unlock();
        // The attach is ended by its own socket only, on a thread of its own that follows
        // it until it has finished.
        if (port) {
            // The thread may not have started its work yet: it has once its id is known.
            std::thread([shared, before, host = remoteHost(location), port = *port] {
                while (shared->tid == 0 && !*shared->threadDone)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                endOwnSockets(shared->tid, shared->threadDone, before, host, port);
            }).detach();
        }
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout).count();
        std::vector<std::string> lines{"Unable to complete network request to \"" + location + "\"",
                                       stopped()
                                           ? std::string("stopped")
                                           : "no answer within " + std::to_string(seconds) + " s"};
        // isc_network_error: the connection counts as lost.
        throw DatabaseError(fb::errorText(lines, kind), lines, 335544721L, "08006");
    }
    if (shared->error) throw *shared->error;
    return shared->attachment;
}

}  // namespace enviozvr::data
