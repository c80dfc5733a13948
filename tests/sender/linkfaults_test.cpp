// Faults of the links and of the origin in the middle of a cycle: a reset link is the
// destination's failure and never an event's refusal; a destination that never answers
// its connect cuts no other link to the same server; a destination whose batch a failure
// of the origin ended still gets its summary, with every event marked sent counted.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "queuecheck.h"
#include "sender/parallelcycle.h"
#include "support/relay.h"

namespace enviozvr::sendertest {
namespace {

using namespace std::chrono_literals;
using sender::CycleEnd;

// Destination 002 of a world through the server, behind `relay`.
void addDestinationBehind(SenderWorld& w, const std::string& code,
                          const testing::FreezableRelay& relay) {
    w.makeDirectories("/datos/" + code);
    w.destinations[code] = std::make_unique<TestDatabase>(w.root + "/datos/" + code + "/nivora.fdb",
                                                          TestDatabase::Options{.viaServer = true});
    w.destinations[code]->createCompanySchema();
    w.listCompany(code, relay.serverText() + w.root);
}

// The events that carry an error text, as "id: text".
std::vector<std::string> storedErrors(SenderWorld& w) {
    std::vector<std::string> out;
    for (const auto& row : w.origin->query(
             "SELECT RPEV_ID, RPEV_ERROR FROM REPLICA_EVENTOS WHERE RPEV_ERROR IS NOT NULL"))
        out.push_back(row[0].toText() + ": " + row[1].toText());
    return out;
}

// The link to the destination is reset (RST at both ends) at many points of a batch of
// copies, replaces and deletes: after the connect, in the lookups, in the middle of a
// replace, between events. Whatever the client reports then, no event gets an error
// text (it would show in "Mensajes error" and stay there once the event is sent), the
// batch ends as the destination's failure, and the next cycle sends everything.
// The parameter: the answer of the server (over any link) after which the link is held
// (the client waits for an answer), then reset. A reset in the middle of a fetch has come
// back as "attempt to fetch past the last record in a record stream", without a network
// code.
class ResetLink : public ::testing::TestWithParam<int> {};

TEST_P(ResetLink, NeverStoredAsAnEventsRefusal) {
    const int point = GetParam();
    testing::FreezableRelay relay;
    SenderWorld w(WorldOptions{.viaServer = true});
    addDestinationBehind(w, "002", relay);
    int id = 1;
    for (int round = 0; round < 4; ++round) id = queueMixedEvents(w, "002", id, round * 10);

    relay.holdAfterServerReplies(point);
    std::atomic<bool> done{false};
    std::thread resetter([&] {
        while (!done && !relay.holding()) std::this_thread::sleep_for(1ms);
        if (relay.holding()) relay.reset();
    });
    try {
        w.cycle();
    } catch (...) {
        done = true;
        resetter.join();
        throw;
    }
    done = true;
    resetter.join();
    EXPECT_EQ(storedErrors(w), std::vector<std::string>{});
    EXPECT_EQ(queueFaults(w, "002", false), std::vector<std::string>{});
    ASSERT_EQ(w.status.served.size(), 1u);
    EXPECT_TRUE(!w.status.served[0].connected || w.status.served[0].lost ||
                w.status.served[0].sent == id - 1)
        << "a batch that went on after the reset";

    w.status.served.clear();
    ASSERT_EQ(w.cycle(), CycleEnd::Completed);
    EXPECT_EQ(queueFaults(w, "002", true), std::vector<std::string>{});
    EXPECT_EQ(storedErrors(w), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(AfterAnswer, ResetLink,
                         ::testing::Values(1, 2, 3, 4, 5, 6, 7, 8, 10, 12, 14, 16, 18, 20, 21, 22,
                                           23, 24, 25, 26, 27, 28, 30, 33, 36, 40),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Answer" + std::to_string(info.param);
                         });

// Destinations 002 and 004 on one server, behind one relay (one host and port), served
// side by side: 002 never answers its connect. Its connect timeout ends its own attach
// only: 004, which connected while 002's attach waited, sends its whole batch, and
// errorenvio.txt names 002 alone. (003, served first on 004's worker, makes sure 004's
// link is opened after 002's attach began.)
TEST(SharedServer, ASilentDestinationsConnectTimeoutCutsNoOtherLink) {
    testing::FreezableRelay relay;
    SenderWorld w(WorldOptions{.viaServer = true});
    w.data.DBEnvio.setTimeouts(1s, 30s);
    addDestinationBehind(w, "002", relay);
    w.addDestination("003");
    addDestinationBehind(w, "004", relay);
    relay.silenceLinksMentioning("/datos/002/");
    constexpr int kEvents = 1000;
    w.options.batch = std::to_string(kEvents);
    w.addEvent({.id = 1, .company = "002", .numero = "1"});
    w.addEvent({.id = 2, .company = "003", .numero = "1"});
    w.origin->exec(invoiceValues("FV", "1"));
    // 004's events, one invoice each, queued in one request.
    w.origin->exec(
        "EXECUTE BLOCK AS DECLARE I INTEGER = 1; BEGIN WHILE (I <= " + std::to_string(kEvents) +
        ") DO BEGIN "
        "INSERT INTO FACTURAS_ZVR SELECT PREF_PRE, 100000 + :I, FACT_ID, FACT_SERIAL, "
        "FACT_TOTAL, FACT_TASA, FACT_PESO, FACT_FECHA, FACT_HORA, FACT_REGISTRO, FACT_ESTADO, "
        "FACT_CLIENTE, FACT_NOTAS, FACT_MONEDA FROM FACTURAS_ZVR WHERE FACT_NUMERO = '1'; "
        "INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, RPEV_PREF, "
        "RPEV_NUMERO, RPEV_CODIGO, RPEV_FECREG, RPEV_HORAREG, RPEV_OPER) VALUES (10 + :I, "
        "'004', 236, 'FV', 100000 + :I, 'C1', CURRENT_DATE, '08:00:00', 'I'); "
        "I = I + 1; END END");

    ASSERT_EQ(sender::runParallelSendCycle(w.data, "001", 2, w.options, w.status, w.timer),
              CycleEnd::Completed);
    ASSERT_EQ(w.status.served.size(), 3u);
    EXPECT_EQ(w.status.served[0].company, "002");
    EXPECT_FALSE(w.status.served[0].connected);
    const sender::CompanySummary& healthy = w.status.served[2];
    EXPECT_EQ(healthy.company, "004");
    RecordProperty("events_sent_to_the_healthy_destination", healthy.sent);
    EXPECT_EQ(healthy.sent, kEvents) << healthy.reason;
    EXPECT_FALSE(healthy.lost) << healthy.reason;
    EXPECT_EQ(queueFaults(w, "004", true), std::vector<std::string>{});
    EXPECT_EQ(queueFaults(w, "003", true), std::vector<std::string>{});
    for (const std::string& line : w.logLines("errorenvio.txt"))
        EXPECT_NE(line.find("/datos/002/"), std::string::npos) << line;
}

// The origin's attachments are thrown off the server in the middle of 002's batch (the
// third event), one destination after another and side by side: the cycle ends with the
// origin's failure, and 002 still has its summary, which counts the two events marked
// sent before it and says why the rest waits.
TEST(OriginFailure, TheDestinationInHandKeepsItsSummaryAndItsCount) {
    for (const int workers : {1, 2}) {
        SCOPED_TRACE(std::to_string(workers) + " worker(s)");
        SenderWorld w(WorldOptions{.viaServer = true});
        w.addDestination("002");
        queueMixedEvents(w, "002", 1, 0);
        w.status.onEventShown = [&](const std::string& text) {
            if (text == "236,I,FV3,C1") SenderWorld::dropAttachments(*w.origin);
        };
        EXPECT_THROW(
            sender::runParallelSendCycle(w.data, "001", workers, w.options, w.status, w.timer),
            data::DataError);
        w.status.onEventShown = nullptr;
        const auto marked =
            w.origin->scalar("SELECT COUNT(*) FROM REPLICA_EVENTOS WHERE RPEV_FECREP IS NOT NULL")
                .asInteger();
        EXPECT_EQ(marked, 3);
        ASSERT_EQ(w.status.served.size(), 1u);
        const sender::CompanySummary& s = w.status.served[0];
        EXPECT_EQ(s.company, "002");
        EXPECT_EQ(s.taken, 6);
        EXPECT_EQ(s.sent, marked);
        EXPECT_TRUE(s.originFailed);
        EXPECT_EQ(s.reason.rfind("fallo del origen: ", 0), 0u) << s.reason;
    }
}

}  // namespace
}  // namespace enviozvr::sendertest
