#include "support/delayrelay.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "support/loopback.h"

namespace enviozvr::testing {

DelayingRelay::DelayingRelay(std::chrono::microseconds delay, int targetPort)
    : RelayCore(targetPort, 0, 64), delayUs_(delay.count()) {
    start();
}

DelayingRelay::~DelayingRelay() { stop(); }

// The wait ends when something arrives or the earliest queued chunk is due.
std::optional<RelayCore::Clock::time_point> DelayingRelay::nextDue() const {
    std::optional<Clock::time_point> next;
    for (const Link& l : links_)
        for (const auto* q : {&l.toServer, &l.toClient})
            if (!q->empty() && (!next || q->front().due < *next)) next = q->front().due;
    return next;
}

pollfd DelayingRelay::watch(std::size_t i, bool clientEnd) const {
    const Link& l = links_[i];
    const bool ended = clientEnd ? l.clientEnded : l.serverEnded;
    return {clientEnd ? l.client : l.server, static_cast<short>(ended ? 0 : POLLIN), 0};
}

bool DelayingRelay::afterWake() {
    arrived_ = Clock::now();
    return true;
}

void DelayingRelay::addLink(int client, int server) {
    Link link;
    link.client = client;
    link.server = server;
    links_.push_back(std::move(link));
}

// Queues what arrived, stamped with the time it is to be passed on.
void DelayingRelay::forward(std::size_t i, short clientEvents, short serverEvents,
                            std::vector<char>& buffer) {
    Link& l = links_[i];
    const auto due = arrived_ + std::chrono::microseconds(delayUs_.load());
    for (const bool fromClient : {true, false}) {
        if (!((fromClient ? clientEvents : serverEvents) & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t n = ::recv(fromClient ? l.client : l.server, buffer.data(), buffer.size(), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            (fromClient ? l.clientEnded : l.serverEnded) = true;
            continue;
        }
        (fromClient ? l.toServer : l.toClient)
            .push_back({due, std::string(buffer.data(), static_cast<size_t>(n))});
        if (fromClient) {
            // The client sending again before the answer reached it had not been waiting
            // for it (a packet it sent and went on, like a deferred free).
            if (l.answerDelivered && arrived_ < *l.answerDelivered) --roundTrips_;
            l.answerDelivered.reset();
            l.requestPending = true;
        } else if (l.requestPending) {
            l.requestPending = false;
            l.answerDelivered = due;
            ++roundTrips_;
        }
    }
}

// Passes on what is due. A connection either side ended is closed whole once what it
// still had to deliver is gone.
void DelayingRelay::endRound() {
    const auto now = Clock::now();
    std::vector<Link> kept;
    for (Link& l : links_) {
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
    links_ = std::move(kept);
}

void DelayingRelay::closeAll() {
    for (const Link& l : links_) {
        ::close(l.client);
        ::close(l.server);
    }
    links_.clear();
}

}  // namespace enviozvr::testing
