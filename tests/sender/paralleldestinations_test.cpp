// Destinations served side by side: every destination's queue is sent in its own order,
// the summaries come in the order of the company list, and a destination that stops
// answering holds up none of the others.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "queuecheck.h"
#include "sender/parallelcycle.h"
#include "support/relay.h"
#include "support/thawguard.h"

namespace enviozvr::sendertest {
namespace {

using namespace std::chrono_literals;
using sender::CycleEnd;

const std::vector<std::string> kCodes = {"002", "003", "004", "005"};

CycleEnd parallelCycle(SenderWorld& w, int workers) {
    return sender::runParallelSendCycle(w.data, "001", workers, w.options, w.status, w.timer);
}

// Four destinations with mixed events, four workers: each destination's events reach
// ENVIO.TXT and the destination in queue order, one summary per destination in the order
// of the company list, and the cycle ends as a one-by-one cycle does.
TEST(ParallelDestinations, EachDestinationKeepsItsOrderAndTheSummariesTheirs) {
    SenderWorld w(WorldOptions{.viaServer = true});
    std::map<std::string, std::vector<std::string>> queued;  // ids per destination
    int id = 1;
    for (size_t i = 0; i < kCodes.size(); ++i) {
        w.addDestination(kCodes[i]);
        const int first = id;
        id = queueMixedEvents(w, kCodes[i], id, static_cast<int>(i) * 10);
        for (int e = first; e < id; ++e) queued[kCodes[i]].push_back(std::to_string(e));
    }
    // Queued interleaved: the first destination's last event was registered last of all.
    w.addEvent(
        {.id = 99, .company = "002", .tipo = 120, .numero = "9", .registeredAt = "09:00:00"});
    queued["002"].push_back("99");

    ASSERT_EQ(parallelCycle(w, 4), CycleEnd::Completed);
    for (const std::string& code : kCodes)
        EXPECT_EQ(queueFaults(w, code, true), std::vector<std::string>{});

    std::map<std::string, std::vector<std::string>> logged;
    std::map<std::string, std::string> companyOf;
    for (const auto& [code, ids] : queued)
        for (const std::string& e : ids) companyOf[e] = code;
    for (const std::string& line : w.logFields("ENVIO.TXT")) {
        // "D,T,<id>,<tipo>,<document>"
        const auto from = line.find(',', 4);
        const std::string eventId = line.substr(4, from - 4);
        ASSERT_TRUE(companyOf.count(eventId)) << line;
        logged[companyOf[eventId]].push_back(eventId);
    }
    EXPECT_EQ(logged, queued);

    ASSERT_EQ(w.status.served.size(), kCodes.size());
    for (size_t i = 0; i < kCodes.size(); ++i) {
        EXPECT_EQ(w.status.served[i].company, kCodes[i]);
        EXPECT_EQ(w.status.served[i].sent, static_cast<int>(queued[kCodes[i]].size()));
    }
    EXPECT_EQ(w.timer.calls.back(), "start 60000");
    EXPECT_FALSE(w.status.lastSend.empty());
}

// Destination 002 stops answering in the middle of its batch, with the limits far off:
// the others are all sent while it is still silent (one destination after another, they
// would wait behind it). When it answers again its batch goes on; it is reported first,
// as the company list has it.
TEST(ParallelDestinations, ASilentDestinationHoldsUpNoneOfTheOthers) {
    testing::FreezableRelay relay;
    SenderWorld w(WorldOptions{.viaServer = true});
    w.data.DBEnvio.setTimeouts(120s, 120s);
    const std::string slowServer = relay.serverText() + w.root;
    w.makeDirectories("/datos/002");
    w.destinations["002"] = std::make_unique<TestDatabase>(
        w.root + "/datos/002/nivora.fdb", TestDatabase::Options{.viaServer = true});
    w.destinations["002"]->createCompanySchema();
    w.listCompany("002", slowServer);
    int id = queueMixedEvents(w, "002", 1, 0);
    for (size_t i = 1; i < kCodes.size(); ++i) {
        w.addDestination(kCodes[i]);
        id = queueMixedEvents(w, kCodes[i], id, static_cast<int>(i) * 10);
    }
    w.status.onEventShown = [&](const std::string& text) {
        if (text == "236,D,FV1,C1" && !relay.frozen()) relay.freeze();
    };
    // Thaws the relay once every other destination is done, or after a minute.
    std::atomic<bool> othersDoneWhileFrozen{false};
    // (w.origin is the watcher's alone until it is disarmed.)
    testing::ThawAfterLimit watcher(
        [&] { relay.thaw(); }, std::chrono::minutes(1),
        [&] {
            const auto pending =
                w.origin
                    ->scalar(
                        "SELECT COUNT(*) FROM REPLICA_EVENTOS WHERE RPEV_FECREP IS "
                        "NULL AND RPEV_COMPANIA <> '002'")
                    .asInteger();
            othersDoneWhileFrozen = pending == 0 && relay.frozen();
            return othersDoneWhileFrozen.load();
        });
    const CycleEnd end = parallelCycle(w, 4);
    watcher.disarm();
    relay.thaw();
    EXPECT_EQ(end, CycleEnd::Completed);
    EXPECT_TRUE(othersDoneWhileFrozen);
    ASSERT_EQ(w.status.served.size(), kCodes.size());
    for (size_t i = 0; i < kCodes.size(); ++i) EXPECT_EQ(w.status.served[i].company, kCodes[i]);
    for (size_t i = 1; i < kCodes.size(); ++i)
        EXPECT_EQ(queueFaults(w, kCodes[i], true), std::vector<std::string>{});
    EXPECT_EQ(queueFaults(w, "002", false), std::vector<std::string>{});

    ASSERT_EQ(parallelCycle(w, 4), CycleEnd::Completed);
    for (const std::string& code : kCodes)
        EXPECT_EQ(queueFaults(w, code, true), std::vector<std::string>{});
}

}  // namespace
}  // namespace enviozvr::sendertest
