// Attachments left at a destination by earlier processes, on the local server: which ones
// the send cycle ends before it serves the destination, and what it does with a
// replication user that has no right to end them.
#include "sender/attachmentguard.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <chrono>
#include <exception>
#include <future>
#include <memory>
#include <thread>

#include "core/staterecord.h"
#include "sender/indexcheck.h"
#include "senderworld.h"
#include "support/relay.h"

namespace enviozvr::sendertest {
namespace {

using sender::ProcessIdentity;

// QProcess wants an application object; the test keeps the one made here.
std::unique_ptr<QCoreApplication> ensureApplication() {
    static int argc = 1;
    static char name[] = "sender_tests";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance()) return nullptr;
    return std::make_unique<QCoreApplication>(argc, argv);
}

// A process of this machine that ran and has ended.
ProcessIdentity endedProcess() {
    QProcess p;
    p.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    EXPECT_TRUE(p.waitForStarted(10000));
    const auto identity = sender::runningProcess(p.processId());
    p.kill();
    p.waitForFinished(10000);
    EXPECT_TRUE(identity.has_value());
    EXPECT_FALSE(sender::mayStillRun(*identity));
    return identity.value_or(ProcessIdentity{});
}

// An attachment to `db` named `name`, as `user`.
std::unique_ptr<data::Connection> attach(const TestDatabase& db, const std::string& name,
                                         const std::string& user = testing::serverUser(),
                                         const std::string& password = testing::serverPassword()) {
    auto c = data::Connection::company("Izquierda");
    c->setParam("Database", db.location());
    c->setParam("User_Name", user);
    c->setParam("password", password);
    c->setParam("ProcessName", name);
    c->connect();
    return c;
}

bool listed(TestDatabase& db, const std::string& name) {
    return db.scalar("select count(*) from mon$attachments where mon$remote_process = " +
                     data::quoted(name))
               .asInteger() > 0;
}

// A replication user that is neither SYSDBA nor the owner, with the rights on
// FACTURAS_ZVR at `dest` (and the right to end attachments when `right`), set in the
// origin's CONFIGURACION; dropped at the end.
struct ReplicationUser {
    ReplicationUser(SenderWorld& w, TestDatabase& dest, bool right)
        : origin(*w.origin), name("ENVIOZVR_T" + std::to_string(sender::thisProcess().pid)) {
        origin.exec("CREATE USER " + name + " PASSWORD " + data::quoted(password));
        dest.exec("GRANT SELECT, INSERT, UPDATE, DELETE ON FACTURAS_ZVR TO " + name);
        if (right) dest.exec("GRANT DELETE ON MON$ATTACHMENTS TO " + name);
        origin.exec(std::vector<std::string>{
            "UPDATE CONFIGURACION SET CONF_VALOR = " + data::quoted(name) +
                " WHERE CONF_PROPIEDAD LIKE 'NOMBRE DE USUARIO%'",
            "UPDATE CONFIGURACION SET CONF_VALOR = " + data::quoted(password) +
                " WHERE CONF_PROPIEDAD LIKE 'CLAVE DE USUARIO%'"});
    }
    ~ReplicationUser() {
        try {
            origin.exec("DROP USER " + name);
        } catch (...) {
            // Clean-up in a destructor, perhaps during a failing assertion's unwinding: a
            // user that cannot be dropped is left, named by the pid.
        }
    }
    ReplicationUser(const ReplicationUser&) = delete;
    ReplicationUser& operator=(const ReplicationUser&) = delete;

    TestDatabase& origin;
    const std::string name;
    const std::string password = "clave27";
};

void makeKeyUnique(TestDatabase& dest) {
    dest.exec(std::vector<std::string>{
        "DROP INDEX FACTURAS_ZVR_DOCUMENTO",
        "CREATE UNIQUE INDEX FACTURAS_ZVR_DOCUMENTO ON FACTURAS_ZVR (PREF_PRE, FACT_NUMERO)"});
}

// Whether the attachment `name` is gone from `db` within `limit`.
bool goneWithin(TestDatabase& db, const std::string& name, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (listed(db, name)) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

TEST(AttachmentGuard, EndsOnlyWhatAnEndedProcessOfTheSameOriginAndDestinationLeft) {
    const auto app = ensureApplication();
    SenderWorld w(WorldOptions{.viaServer = true});
    TestDatabase& dest = w.addDestination("002");
    QProcess running;
    running.start(QStringLiteral("sleep"), {QStringLiteral("60")});
    ASSERT_TRUE(running.waitForStarted(10000));
    const auto live = sender::runningProcess(running.processId());
    ASSERT_TRUE(live.has_value());
    const ProcessIdentity ended = endedProcess();
    ProcessIdentity earlierBoot = ended;
    earlierBoot.boot = "00000000";
    ProcessIdentity reusedPid = *live;  // the pid of a running process, started at another time
    reusedPid.start += 1;
    ProcessIdentity elsewhere = ended;
    elsewhere.host = "otra-maquina";
    elsewhere.boot = "00000000";
    elsewhere.machine = "0000000e";
    ProcessIdentity renamed = ended;  // this machine, before it was renamed
    renamed.host = "nombre-anterior";
    ProcessIdentity renamedBeforeBoot = renamed;  // ... and restarted since
    renamedBeforeBoot.boot = "00000000";
    ProcessIdentity namesake = elsewhere;  // another machine that has this one's name
    namesake.machine = "0000000f";
    namesake.host = ended.host;
    const ProcessIdentity& self = sender::thisProcess();

    struct Case {
        const char* what;
        std::string name;
        bool ended;
    };
    const std::string givenUp = sender::destinationAttachmentName("001", "002", self);
    const std::vector<Case> cases = {
        {"an ended process of this origin", sender::destinationAttachmentName("001", "002", ended),
         true},
        {"a process of an earlier boot",
         sender::destinationAttachmentName("001", "002", earlierBoot), true},
        {"a pid that another program runs now",
         sender::destinationAttachmentName("001", "002", reusedPid), true},
        {"a running instance", sender::destinationAttachmentName("001", "002", *live), false},
        {"this machine under an earlier name",
         sender::destinationAttachmentName("001", "002", renamed), true},
        {"this machine under an earlier name, before a restart",
         sender::destinationAttachmentName("001", "002", renamedBeforeBoot), true},
        {"another machine", sender::destinationAttachmentName("001", "002", elsewhere), false},
        {"another machine of the same name",
         sender::destinationAttachmentName("001", "002", namesake), false},
        {"another origin", sender::destinationAttachmentName("003", "002", ended), false},
        {"another destination", sender::destinationAttachmentName("001", "0021", ended), false},
        {"this process, in use", sender::destinationAttachmentName("001", "002", self), false},
        {"this process, given up", givenUp, true},
        {"another program", "isql-fb", false},
    };
    std::vector<std::unique_ptr<data::Connection>> attachments;
    attachments.reserve(cases.size());
    for (const Case& c : cases) attachments.push_back(attach(dest, c.name));

    auto guard = attach(dest, sender::destinationAttachmentName("001", "002"));
    const sender::LeftAttachments left =
        sender::endLeftAttachments(*guard, "001", "002", {givenUp});
    for (const Case& c : cases) EXPECT_EQ(listed(dest, c.name), !c.ended) << c.what;
    EXPECT_EQ(left.ended, 6);
    EXPECT_EQ(left.remaining, 3) << "the running instance's and the other machines'";
    EXPECT_FALSE(left.clear());
    EXPECT_NE(left.why.find("may still run"), std::string::npos) << left.why;
    running.kill();
    running.waitForFinished(10000);
}

// A replication user that is not SYSDBA nor the owner, with or without the right to end
// attachments and the unique index at the destination; an ended process of this origin
// left an attachment there. The start-up check says what is missing, and the cycle ends
// the attachment, or, without the right, leaves the destination alone whatever its
// indexes.
TEST(AttachmentGuard, AReplicationUserWithoutTheRight) {
    const auto app = ensureApplication();
    struct Case {
        const char* what;
        bool right;
        bool uniqueIndex;
        const char* warning;  // in the line about the right; empty: no such line
        bool sent;
    };
    const std::vector<Case> cases = {
        {"with the right", true, false, "", true},
        {"without it, with the unique index", false, true, "whatever the indexes", false},
        {"without either", false, false, "until the server drops it nothing is sent there", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SenderWorld w(WorldOptions{.viaServer = true});
        TestDatabase& dest = w.addDestination("002");
        const ReplicationUser replication(w, dest, c.right);
        const std::string& user = replication.name;
        const std::string& password = replication.password;
        if (c.uniqueIndex) makeKeyUnique(dest);

        const std::vector<std::string> lines = sender::indexWarnings(w.data);
        std::vector<std::string> aboutTheRight;
        for (const std::string& line : lines)
            if (line.find("cannot end attachments") != std::string::npos)
                aboutTheRight.push_back(line);
        if (*c.warning == '\0') {
            EXPECT_EQ(aboutTheRight, std::vector<std::string>{});
        } else {
            ASSERT_EQ(aboutTheRight.size(), 1u);
            const std::string& line = aboutTheRight[0];
            EXPECT_EQ(line.rfind("warning: the replication user " + user +
                                     " cannot end attachments at the destination database " +
                                     dest.location() + " (no permission for DELETE access",
                                 0),
                      0u)
                << line;
            EXPECT_NE(line.find(c.warning), std::string::npos) << line;
            EXPECT_NE(line.find("it would help: GRANT DELETE ON MON$ATTACHMENTS TO " + user),
                      std::string::npos)
                << line;
        }

        const std::string leftName =
            sender::destinationAttachmentName("001", "002", endedProcess());
        auto left = attach(dest, leftName, user, password);
        w.origin->exec(invoiceValues("FV", "1", 1));
        w.addEvent({.id = 1, .company = "002", .numero = "1"});
        ASSERT_EQ(w.cycle(), sender::CycleEnd::Completed);
        EXPECT_EQ(w.state(1), c.sent ? "sent" : "pending");
        EXPECT_EQ(SenderWorld::invoiceRows(dest, "FV", "1").size(), c.sent ? 1u : 0u);
        EXPECT_EQ(listed(dest, leftName), !c.right);
        const std::vector<std::string> skipped =
            c.sent ? std::vector<std::string>{}
                   : std::vector<std::string>{"D,T,No se pudo conectar con el servidor " +
                                              dest.location() +
                                              ",una conexion abandonada antes aun puede confirmar"};
        EXPECT_EQ(w.logFields("errorenvio.txt"), skipped);
    }
}

// The machine was renamed between a run that was killed and the next one: what the killed
// run left is still this machine's, and is ended; the next run sends at once.
TEST(AttachmentGuard, WhatARunLeftBeforeTheMachineWasRenamedIsEnded) {
    const auto app = ensureApplication();
    SenderWorld w(WorldOptions{.viaServer = true});
    TestDatabase& dest = w.addDestination("002");
    ProcessIdentity killed = endedProcess();
    killed.host = "nombre-anterior";
    const std::string leftName = sender::destinationAttachmentName("001", "002", killed);
    auto left = attach(dest, leftName);
    const int events = 20;
    for (int n = 1; n <= events; ++n) {
        w.origin->exec(invoiceValues("FV", std::to_string(n), n % 9 + 1));
        w.addEvent({.id = n, .company = "002", .numero = std::to_string(n)});
    }

    ASSERT_EQ(w.cycle(), sender::CycleEnd::Completed);
    ASSERT_EQ(w.status.served.size(), 1u);
    EXPECT_EQ(w.status.served[0].sent, events) << w.status.served[0].reason;
    EXPECT_FALSE(listed(dest, leftName));
    EXPECT_TRUE(w.logLines("errorenvio.txt").empty());
}

// A run of this origin ended while the network held one of its requests at destination
// 002, whose replication user cannot end attachments; the destination has the unique
// index. The request arrives after the next run's cycle and commits: a held insert of an
// invoice that the origin deleted since, or a held delete of one that the origin made
// again. While the attachment may still commit, nothing is sent to 002; once it is gone,
// the next cycle sends what waited, and the destination ends as the origin.
TEST(AttachmentGuard, NothingIsSentWhileALeftRequestMayStillCommit) {
    const auto app = ensureApplication();
    struct Case {
        const char* what;
        const char* held;           // the left run's request
        bool atDestinationBefore;   // the destination holds the invoice at the start
        std::vector<Event> events;  // queued by the origin meanwhile, in order
        bool atOriginAfter;         // the origin holds the invoice at the end
    };
    const std::vector<Case> cases = {
        {"a held insert of an invoice deleted since",
         "INSERT INTO FACTURAS_ZVR (PREF_PRE, FACT_NUMERO, FACT_CLIENTE, FACT_MONEDA) VALUES "
         "('FV', '1', 'tarde', 'COP')",
         false,
         {{.id = 1, .company = "002", .numero = "1"},
          {.id = 2, .company = "002", .numero = "1", .oper = "D", .registeredAt = "09:00:00"}},
         false},
        {"a held delete of an invoice made again since",
         "DELETE FROM FACTURAS_ZVR WHERE PREF_PRE = 'FV' AND FACT_NUMERO = '1'",
         true,
         {{.id = 1, .company = "002", .numero = "1", .oper = "D"},
          {.id = 2, .company = "002", .numero = "1", .registeredAt = "09:00:00"}},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SenderWorld w(WorldOptions{.viaServer = true});
        TestDatabase& dest = w.addDestination("002");
        makeKeyUnique(dest);
        const ReplicationUser replication(w, dest, false);
        if (c.atDestinationBefore) dest.exec(invoiceValues("FV", "1", 2));
        if (c.atOriginAfter) w.origin->exec(invoiceValues("FV", "1", 3));
        for (const Event& e : c.events) w.addEvent(e);

        // The left run's attachment, on a link that will hold its request: attached, then
        // the link freezes and the request goes out, to reach the server at the thaw.
        testing::FreezableRelay relay;
        const std::string leftName =
            sender::destinationAttachmentName("001", "002", endedProcess());
        std::promise<void> attached;
        std::future<void> attachedNow = attached.get_future();
        std::promise<void> send;
        std::exception_ptr leftFailure;
        struct Joined {
            testing::FreezableRelay& relay;
            std::thread thread;
            ~Joined() {
                relay.thaw();
                if (thread.joinable()) thread.join();
            }
        } leftRun{relay, std::thread([&, sendNow = send.get_future()] {
                      try {
                          auto left = data::Connection::company("Izquierda");
                          left->setParam("Database", relay.serverText() + dest.path());
                          left->setParam("User_Name", replication.name);
                          left->setParam("password", replication.password);
                          left->setParam("ProcessName", leftName);
                          left->connect();
                          attached.set_value();
                          sendNow.wait();
                          left->execute(c.held);
                          left->disconnect();
                      } catch (...) {
                          leftFailure = std::current_exception();
                      }
                  })};
        ASSERT_EQ(attachedNow.wait_for(std::chrono::minutes(1)), std::future_status::ready);
        relay.freeze();
        send.set_value();

        // The restarted run: two cycles while the request is held.
        for (int cycle = 1; cycle <= 2; ++cycle) ASSERT_EQ(w.cycle(), sender::CycleEnd::Completed);
        int sentWhileHeld = 0;
        for (const sender::CompanySummary& served : w.status.served) {
            sentWhileHeld += served.sent;
            EXPECT_EQ(served.reason, "una conexion abandonada antes aun puede confirmar");
        }
        EXPECT_EQ(sentWhileHeld, 0) << "events sent while the request is held";
        // The state record keeps since when the destination waits (--status shows it).
        const core::StateRecord held = core::readStateRecord("001");
        ASSERT_EQ(held.count("002"), 1u);
        EXPECT_EQ(held.at("002").reason, sender::kLeftAttachmentWaits);
        EXPECT_GT(held.at("002").reasonSince, 0);
        EXPECT_LE(held.at("002").reasonSince, held.at("002").lastAttempt);
        for (const Event& e : c.events) EXPECT_EQ(w.state(e.id), "pending") << e.id;
        // Said once, with the right that would let the attachment be ended.
        std::vector<std::string> told;
        for (const std::string& line : w.logLines("ERRORES.TXT"))
            if (line.find("GRANT DELETE ON MON$ATTACHMENTS TO " + replication.name) !=
                std::string::npos)
                told.push_back(line);
        EXPECT_EQ(told.size(), 1u);

        // The request reaches the server and commits; the left attachment goes.
        relay.thaw();
        leftRun.thread.join();
        ASSERT_FALSE(leftFailure);
        ASSERT_TRUE(goneWithin(dest, leftName, std::chrono::minutes(1)));

        const size_t afterTheRequest = SenderWorld::invoiceRows(dest, "FV", "1").size();

        // The next cycle sends what waited: the destination ends as the origin.
        ASSERT_EQ(w.cycle(), sender::CycleEnd::Completed);
        for (const Event& e : c.events) EXPECT_EQ(w.state(e.id), "sent") << e.id;
        EXPECT_EQ(SenderWorld::invoiceRows(dest, "FV", "1"),
                  SenderWorld::invoiceRows(*w.origin, "FV", "1"))
            << "rows of the invoice at the destination; right after the held request: "
            << afterTheRequest;
    }
}

}  // namespace
}  // namespace enviozvr::sendertest
