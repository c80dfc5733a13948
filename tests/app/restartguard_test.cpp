// A run killed while the network still holds its request at a destination, and the next
// run of the program (a new process): the request that reaches the server late must not
// duplicate the invoice, nor must the dead run's open transaction keep the destination
// from being served. The link is encrypted, so the relay cannot tell the insert's request
// by its bytes: each case holds the first run after its 1st, 2nd, ... answer from the
// server, in turn, until a run goes through without being held; every request of the
// event (the insert alone, or inside a replace) is held once. The program is killed
// (SIGKILL), started again, and the held request is let through after the second run.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "senderworld.h"
#include "support/childprocess.h"
#include "support/relay.h"

namespace enviozvr::sendertest {
namespace {

using namespace std::chrono_literals;

using testing::waitUntil;

// The program with `args`, started at once; it may take two minutes to finish.
struct Program : testing::Child {
    explicit Program(const std::vector<std::string>& args)
        : testing::Child(args, {.finishLimit = std::chrono::minutes(2)}) {}
};

std::vector<std::string> runArgs(const SenderWorld& w, const std::string& origin,
                                 int stallSeconds = 20) {
    return {"--headless",
            "--once",
            "--stall-timeout=" + std::to_string(stallSeconds),
            "--connect-timeout=5",
            w.server,
            "sysdba",
            w.password,
            origin};
}

// Destination 002 of the world, reached through `relay`.
TestDatabase& destinationBehind(SenderWorld& w, const testing::FreezableRelay& relay,
                                bool uniqueIndex) {
    w.makeDirectories("/datos/002");
    w.destinations["002"] = std::make_unique<TestDatabase>(
        w.root + "/datos/002/nivora.fdb", TestDatabase::Options{.viaServer = true});
    TestDatabase& dest = *w.destinations["002"];
    dest.createCompanySchema();
    if (uniqueIndex)
        dest.exec(std::vector<std::string>{
            "DROP INDEX FACTURAS_ZVR_DOCUMENTO",
            "CREATE UNIQUE INDEX FACTURAS_ZVR_DOCUMENTO ON FACTURAS_ZVR (PREF_PRE, "
            "FACT_NUMERO)"});
    w.listCompany("002", relay.serverText() + w.root);
    return dest;
}

// Lets the held request through and waits until the server has ended every attachment
// to `dest` (the killed run's among them, whatever the request did).
void releaseAndSettle(testing::FreezableRelay& relay, TestDatabase& dest) {
    relay.releaseHeld();
    ASSERT_TRUE(waitUntil([&] { return dest.otherAttachments() == 0; })) << [&] {
        std::string names;
        for (const auto& row : dest.query("select mon$remote_process, mon$state from "
                                          "mon$attachments where mon$system_flag = 0 and "
                                          "mon$attachment_id <> current_connection"))
            names += row[0].toText() + " (" + row[1].toText() + "); ";
        return names;
    }();
}

struct RestartCase {
    const char* name;
    bool replace;      // the destination holds an older row of the invoice
    bool uniqueIndex;  // on FACTURAS_ZVR (PREF_PRE, FACT_NUMERO) at the destination
};

class KilledWhileHeld : public ::testing::TestWithParam<RestartCase> {};

TEST_P(KilledWhileHeld, TheNextRunLeavesTheInvoiceThereOnce) {
    const RestartCase& c = GetParam();
    const testing::ApplicationInstance app;
    testing::FreezableRelay relay;
    SenderWorld w(WorldOptions{.viaServer = true});
    TestDatabase& dest = destinationBehind(w, relay, c.uniqueIndex);
    w.origin->exec(invoiceValues("FV", "1", 1));
    w.addEvent({.id = 1, .company = "002", .numero = "1"});
    const auto originRow = SenderWorld::invoiceRows(*w.origin, "FV", "1").at(0);

    for (int replies = 1;; ++replies) {
        SCOPED_TRACE("held after the server's answer " + std::to_string(replies));
        dest.exec("DELETE FROM FACTURAS_ZVR");
        if (c.replace) dest.exec(invoiceValues("FV", "1", 2));
        w.origin->exec(
            "UPDATE REPLICA_EVENTOS SET RPEV_FECREP = NULL, RPEV_HORAREP = NULL, RPEV_ERROR = "
            "NULL");
        relay.holdAfterServerReplies(replies);
        {
            Program first(runArgs(w, "001"));
            ASSERT_TRUE(first.started);
            ASSERT_TRUE(waitUntil([&] {
                return relay.holding() || first.process.state() == QProcess::NotRunning ||
                       first.process.waitForFinished(1);
            }));
            if (!relay.holding()) {
                // Every request of the run went through: every one has been held.
                relay.holdAfterServerReplies(0);
                first.finish();
                EXPECT_GT(replies, 10) << "the run ended early: " << first.err;
                break;
            }
            first.process.kill();
            ASSERT_TRUE(first.finish());
        }
        Program second(runArgs(w, "001"));
        ASSERT_TRUE(second.started);
        ASSERT_TRUE(second.finish());
        EXPECT_EQ(second.process.exitCode(), 0) << second.err;
        releaseAndSettle(relay, dest);

        const auto rows = SenderWorld::invoiceRows(dest, "FV", "1");
        ASSERT_EQ(rows.size(), 1u) << "rows of the invoice at the destination";
        EXPECT_EQ(rows[0], originRow);
        EXPECT_EQ(w.state(1), "sent") << second.out << second.err;
        if (::testing::Test::HasFailure()) break;
    }
}

INSTANTIATE_TEST_SUITE_P(RestartGuard, KilledWhileHeld,
                         ::testing::Values(RestartCase{"Insert", false, false},
                                           RestartCase{"InsertUniqueIndex", false, true},
                                           RestartCase{"Replace", true, false},
                                           RestartCase{"ReplaceUniqueIndex", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Origins 001 and 003 send to destination 002. A run of 003 is held in the middle of its
// batch, alive and then killed: runs of 001 leave its attachment alone (another origin's)
// and send their own event; the next run of 003 ends it, and each of its invoices is there
// once.
TEST(RestartGuard, AnotherOriginsAttachmentIsLeftAlone) {
    const testing::ApplicationInstance app;
    testing::FreezableRelay relay;
    SenderWorld w(WorldOptions{.viaServer = true});
    TestDatabase& dest = destinationBehind(w, relay, false);
    w.makeDirectories("/datos/003");
    TestDatabase other(w.root + "/datos/003/nivora.fdb", TestDatabase::Options{.viaServer = true});
    other.createCompanySchema();
    for (const auto& row : w.origin->query("SELECT * FROM CONFIGURACION"))
        other.exec("INSERT INTO CONFIGURACION VALUES (" + data::quoted(row[0].toText()) + ", " +
                   data::quoted(row[1].toText()) + ", " + data::quoted(row[2].toText()) + ", " +
                   data::quoted(row[3].toText()) + ")");
    other.exec("INSERT INTO REPLICA_COMPANIA VALUES ('002', 'Destino', " +
               data::quoted(relay.serverText() + w.root) + ", 'N', 1, 'S')");
    const int otherEvents = 30;
    for (int n = 1; n <= otherEvents; ++n) {
        other.exec(invoiceValues("FV", "3" + std::to_string(n), n % 9 + 1));
        other.exec(
            "INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, RPEV_PREF, "
            "RPEV_NUMERO, RPEV_CODIGO, RPEV_FECREG, RPEV_HORAREG, RPEV_OPER) VALUES (" +
            std::to_string(100 + n) + ", '002', 236, 'FV', '3" + std::to_string(n) +
            "', 'C1', CURRENT_DATE, '08:00:00', 'I')");
    }
    w.origin->exec(invoiceValues("FV", "1", 1));
    w.origin->exec(invoiceValues("FV", "2", 2));
    w.addEvent({.id = 1, .company = "002", .numero = "1"});

    // Alive until killed: its stall limit is longer than the runs of 001 take.
    auto held = std::make_unique<Program>(runArgs(w, "003", 120));
    ASSERT_TRUE(held->started);
    ASSERT_TRUE(waitUntil([&] {
        for (const std::string& line : w.logLines("ENVIO.TXT"))
            if (line.find(",105,236,") != std::string::npos) return true;
        return false;
    }));
    relay.holdAfterServerReplies(1);
    ASSERT_TRUE(waitUntil([&] { return relay.holding(); }));
    for (const bool killed : {false, true}) {
        if (killed) {
            held->process.kill();
            ASSERT_TRUE(held->finish());
            w.addEvent({.id = 2, .company = "002", .numero = "2", .registeredAt = "09:00:00"});
        }
        Program run(runArgs(w, "001"));
        ASSERT_TRUE(run.started);
        ASSERT_TRUE(run.finish());
        EXPECT_EQ(run.process.exitCode(), 0) << run.err;
        EXPECT_EQ(run.out.rfind("002: 1 tomados, 1 enviados, 0 con error\n", 0), 0u)
            << (killed ? "003 killed: " : "003 running: ") << run.out << run.err;
        EXPECT_EQ(dest.otherAttachments(), 1) << (killed ? "003 killed" : "003 running");
    }
    EXPECT_EQ(w.state(1), "sent");
    EXPECT_EQ(w.state(2), "sent");

    Program restarted(runArgs(w, "003"));
    ASSERT_TRUE(restarted.started);
    ASSERT_TRUE(restarted.finish());
    EXPECT_EQ(restarted.process.exitCode(), 0) << restarted.err;
    relay.releaseHeld();
    EXPECT_EQ(
        other.scalar("SELECT COUNT(*) FROM REPLICA_EVENTOS WHERE RPEV_FECREP IS NULL").asInteger(),
        0)
        << restarted.out << restarted.err;
    for (int n = 1; n <= otherEvents; ++n)
        EXPECT_EQ(SenderWorld::invoiceRows(dest, "FV", "3" + std::to_string(n)).size(), 1u) << n;
    for (const char* numero : {"1", "2"})
        EXPECT_EQ(SenderWorld::invoiceRows(dest, "FV", numero).size(), 1u) << numero;
}

}  // namespace
}  // namespace enviozvr::sendertest
