// A destination that stops answering: through a relay in front of the local server that
// freezes before the connection, during the attach or in the middle of a batch, and a
// destination row held by another transaction. Each time the destination counts as
// unreachable for the cycle, the events it did not commit stay pending without an error
// text, and the next destination is still served.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <thread>

#include "core/staterecord.h"
#include "data/transaction.h"
#include "sender/parallelcycle.h"
#include "senderworld.h"
#include "support/relay.h"
#include "support/thawguard.h"

namespace enviozvr::sendertest {
namespace {

using namespace std::chrono_literals;
using sender::CycleEnd;
using testing::FreezableRelay;

enum class Stall { BeforeConnect, DuringAttach, MidBatch, LockedRow };

struct StallCase {
    const char* name;
    Stall stall;
    std::vector<std::string> expected;  // states of events 1..4 of company 002
    std::string reason;                 // in errorenvio.txt
};

void PrintTo(const StallCase& c, std::ostream* os) { *os << c.name; }

// Freezes the relay when the cycle shows the third event of the batch.
class FreezingStatus : public RecordingStatus {
  public:
    FreezableRelay* relay = nullptr;
    std::string freezeAt;
    void setCurrentEvent(const std::string& text, bool visible) override {
        RecordingStatus::setCurrentEvent(text, visible);
        if (relay && visible && text == freezeAt) relay->freeze();
    }
};

// A destination company database made through the local server (so that it can be
// reached through the relay), listed with `serverText` in REPLICA_COMPANIA.
TestDatabase& addServedDestination(SenderWorld& w, const std::string& code,
                                   const std::string& serverText) {
    const std::string folder = w.root + "/datos/" + code;
    w.makeDirectories("/datos/" + code);
    auto db = std::make_unique<TestDatabase>(folder + "/nivora.fdb", true);
    db->createCompanySchema();
    w.listCompany(code, serverText);
    TestDatabase& ref = *db;
    w.destinations[code] = std::move(db);
    return ref;
}

class DestinationStall : public ::testing::TestWithParam<StallCase> {};

TEST_P(DestinationStall, DestinationIsUnreachableForTheCycleAndTheNextOneIsServed) {
    const StallCase& c = GetParam();
    FreezableRelay relay;
    SenderWorld w;
    FreezingStatus status;
    w.data.DBEnvio.setTimeouts(2s, 2s);
    const std::string hostServer = testing::serverHost() + ":" + w.root;
    const std::string slowServer =
        c.stall == Stall::LockedRow ? hostServer : relay.serverText() + w.root;
    TestDatabase& slow = addServedDestination(w, "002", slowServer);
    TestDatabase& next = addServedDestination(w, "003", hostServer);
    for (int i = 1; i <= 4; ++i) {
        w.origin->exec(invoiceValues("FV", std::to_string(i), i));
        w.addEvent({.id = i,
                    .company = "002",
                    .numero = std::to_string(i),
                    .registeredAt = "08:0" + std::to_string(i) + ":00"});
    }
    w.addEvent({.id = 10, .company = "003", .numero = "1"});

    // A row of invoice 3 already at the destination, locked by an open transaction.
    std::unique_ptr<data::Connection> holder;
    std::optional<data::Transaction> holding;  // holder's lock on a destination row
    switch (c.stall) {
        case Stall::BeforeConnect:
            relay.freeze();
            break;
        case Stall::DuringAttach:
            relay.freezeAfterServerReplies(1);
            break;
        case Stall::MidBatch:
            status.relay = &relay;
            status.freezeAt = "236,I,FV3,C1";
            break;
        case Stall::LockedRow:
            slow.exec(invoiceValues("FV", "3", 9));
            holder = data::Connection::company("holder");
            holder->setDatabase(slow.location());
            holder->setParam("User_Name", testing::serverUser());
            holder->setParam("password", testing::serverPassword());
            holding.emplace(*holder);
            holder->execute("UPDATE FACTURAS_ZVR SET FACT_ESTADO = 'L' WHERE FACT_NUMERO = '3'");
            break;
    }

    // Without the limits this cycle would wait as long as the destination stays silent.
    // After a minute at the latest the relay is thawed and the lock released, so that a
    // fault fails the test instead of hanging it.
    testing::ThawAfterLimit safety([&] {
        relay.thaw();
        if (holding) holding->rollback();
    });
    CycleEnd end{};
    const auto started = std::chrono::steady_clock::now();
    end = sender::runSendCycle(w.data, w.options, status, w.timer);
    // For the record (not checked): how long the cycle took with the limits at 2 s.
    RecordProperty("cycle_ms",
                   static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now() - started)
                                        .count()));
    safety.disarm();
    if (holding) holding->rollback();

    EXPECT_EQ(end, CycleEnd::Completed);
    EXPECT_FALSE(safety.limitReached())
        << "the cycle only went on once the destination answered again";
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(w.state(i), c.expected[static_cast<size_t>(i - 1)]) << "event " << i;
    // Nothing is marked sent that the destination did not commit.
    for (int i = 1; i <= 4; ++i) {
        if (w.state(i) == "sent") {
            EXPECT_EQ(SenderWorld::invoiceRows(slow, "FV", std::to_string(i)).size(), 1u) << i;
        }
    }
    EXPECT_EQ(w.state(10), "sent");
    EXPECT_EQ(SenderWorld::invoiceRows(next, "FV", "1").size(), 1u);

    const std::string path = slowServer + "/datos/002/nivora.fdb";
    // One line, naming the reason the destination was given up.
    const auto lines = w.logFields("errorenvio.txt");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "D,T,No se pudo conectar con el servidor " + path + "," + c.reason);
    ASSERT_EQ(status.served.size(), 2u);
    EXPECT_TRUE(!status.served[0].connected || status.served[0].lost);
    EXPECT_TRUE(status.served[1].connected);
    EXPECT_FALSE(status.served[1].lost);
    EXPECT_FALSE(w.data.DBEnvio.isConnected());

    // The origin's state record says the same, without any date out of the logs: 002 not
    // reached, with the reason; 003 reached and served.
    core::StateRecord record = core::readStateRecord("001");
    ASSERT_EQ(record.count("002"), 1u);
    ASSERT_EQ(record.count("003"), 1u);
    EXPECT_FALSE(record["002"].reached);
    EXPECT_EQ(record["002"].reason, c.reason);
    EXPECT_TRUE(record["003"].reached);
    EXPECT_EQ(record["003"].lastSuccess, record["003"].lastAttempt);
    EXPECT_GT(record["003"].lastAttempt, 0);
    const std::int64_t failedAt = record["002"].lastAttempt;

    // Once the destination answers again, the next cycle sends what was left, and the
    // record has it reached again.
    relay.thaw();
    w.data.DBEnvio.setTimeouts(15s, 60s);
    ASSERT_EQ(w.cycle(), CycleEnd::Completed);
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(w.state(i), "sent") << "event " << i;
    record = core::readStateRecord("001");
    EXPECT_TRUE(record["002"].reached);
    EXPECT_EQ(record["002"].reason, "");
    EXPECT_GE(record["002"].lastSuccess, failedAt);
}

INSTANTIATE_TEST_SUITE_P(SendCycle, DestinationStall,
                         ::testing::Values(StallCase{"FrozenBeforeConnect",
                                                     Stall::BeforeConnect,
                                                     {"pending", "pending", "pending", "pending"},
                                                     "sin respuesta al conectar en 2 s"},
                                           StallCase{"FrozenDuringAttach",
                                                     Stall::DuringAttach,
                                                     {"pending", "pending", "pending", "pending"},
                                                     "sin respuesta al conectar en 2 s"},
                                           StallCase{"FrozenMidBatch",
                                                     Stall::MidBatch,
                                                     {"sent", "sent", "pending", "pending"},
                                                     "sin respuesta durante 2 s"},
                                           StallCase{"LockedRowAtDestination",
                                                     Stall::LockedRow,
                                                     {"sent", "sent", "pending", "pending"},
                                                     "sin respuesta durante 2 s"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace enviozvr::sendertest

namespace enviozvr::sendertest {
namespace {

// The destination's link is held right before the insert of an invoice commits, so that
// the commit waits in the network: the cycle gives the destination up at the stall limit
// and the next cycle sends the invoice again on a new attachment. When the held commit
// arrives afterwards it must find nothing left to commit: one row, never two. With
// `workers`, both cycles serve the destination on a worker thread of a parallel cycle,
// each with a MainData of its own: the second worker learns of the attachment the first
// gave up through the registry they share with the caller's.
void lateCommitCase(int workers) {
    FreezableRelay relay;
    SenderWorld w;
    const auto cycle = [&] {
        return workers > 0 ? sender::runParallelSendCycle(w.data, "001", workers, w.options,
                                                          w.status, w.timer)
                           : w.cycle();
    };
    w.data.DBEnvio.setTimeouts(2s, 2s);
    TestDatabase& dest = addServedDestination(w, "002", relay.serverText() + w.root);
    w.origin->exec(invoiceValues("FV", "1", 1));
    w.addEvent({.id = 1, .company = "002", .numero = "1"});
    // The five server replies on the destination link from the event's display to the
    // insert's prepare (the lookup, the start of the batch's transaction, the prepare):
    // the link is held with the insert's execution, which commits it, still to come.
    w.status.onEventShown = [&](const std::string&) { relay.holdAfterServerReplies(5); };

    ASSERT_EQ(cycle(), CycleEnd::Completed);
    ASSERT_TRUE(relay.holding());
    EXPECT_EQ(w.state(1), "pending");
    ASSERT_EQ(w.status.served.size(), 1u);
    EXPECT_TRUE(w.status.served[0].lost);

    w.status.onEventShown = nullptr;
    ASSERT_EQ(cycle(), CycleEnd::Completed);
    EXPECT_EQ(w.state(1), "sent");

    // The held commit goes on its way; then wait until its attachment is gone.
    relay.releaseHeld();
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (dest.otherAttachments() > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(50ms);
    EXPECT_EQ(dest.otherAttachments(), 0);
    EXPECT_EQ(SenderWorld::invoiceRows(dest, "FV", "1").size(), 1u);
}

TEST(LateCommit, AnAbandonedInsertNeverCommitsAfterTheInvoiceWasSentAgain) { lateCommitCase(0); }

TEST(LateCommit, AWorkerOfTheNextParallelCycleEndsWhatAnEarlierWorkerGaveUp) { lateCommitCase(4); }

}  // namespace
}  // namespace enviozvr::sendertest

#include "sender/indexcheck.h"

namespace enviozvr::sendertest {
namespace {

// The start-up check of the indexes meets a destination that accepts the connection and
// never answers: it gives up within the cycle's limits with one line and still checks the
// next destination.
TEST(IndexCheckLimits, ASilentDestinationCostsNoMoreThanTheLimits) {
    FreezableRelay relay;
    SenderWorld w;
    w.data.DBEnvio.setTimeouts(2s, 2s);
    const std::string silent = relay.serverText() + w.root;
    addServedDestination(w, "002", silent);
    TestDatabase& next = addServedDestination(w, "003", testing::serverHost() + ":" + w.root);
    next.exec("DROP INDEX FACTURAS_ZVR_DOCUMENTO");
    relay.freeze();

    testing::ThawAfterLimit safety([&] { relay.thaw(); });
    const std::vector<std::string> lines = sender::indexWarnings(w.data);
    safety.disarm();
    EXPECT_FALSE(safety.limitReached())
        << "the check only went on once the destination answered again";
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("warning: the indexes of the destination database " + silent +
                                 "/datos/002/nivora.fdb could not be checked: ",
                             0),
              0u)
        << lines[0];
    EXPECT_NE(lines[1].find("/datos/003/nivora.fdb has no unique index on FACTURAS_ZVR"),
              std::string::npos)
        << lines[1];

    // Asked to stop, it checks no destination at all.
    EXPECT_TRUE(sender::indexWarnings(w.data, false, [] { return true; }).empty());
}

}  // namespace
}  // namespace enviozvr::sendertest
