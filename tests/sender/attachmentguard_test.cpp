// Attachments left at a destination by earlier processes, on the local server: which ones
// the send cycle ends before it serves the destination, and what it does with a
// replication user that has no right to end them.
#include "sender/attachmentguard.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <memory>

#include "sender/indexcheck.h"
#include "senderworld.h"

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
        {"another machine", sender::destinationAttachmentName("001", "002", elsewhere), false},
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
    EXPECT_EQ(left.ended, 4);
    EXPECT_EQ(left.remaining, 2) << "the running instance's and the other machine's";
    EXPECT_FALSE(left.clear());
    EXPECT_NE(left.why.find("may still run"), std::string::npos) << left.why;
    running.kill();
    running.waitForFinished(10000);
}

// A replication user that is not SYSDBA nor the owner, with or without the right to end
// attachments and the unique index at the destination; an ended process of this origin
// left an attachment there. The start-up check says what is missing, and the cycle ends
// the attachment, or goes on without ending it when the unique index is there, or leaves
// the destination alone.
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
        {"without it, with the unique index", false, true, "and sending goes on", true},
        {"without either", false, false, "until the server drops it nothing is sent there", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SenderWorld w(WorldOptions{.viaServer = true});
        TestDatabase& dest = w.addDestination("002");
        const std::string user = "ENVIOZVR_T" + std::to_string(sender::thisProcess().pid);
        const std::string password = "clave27";
        struct DropUser {
            TestDatabase& db;
            std::string user;
            ~DropUser() {
                try {
                    db.exec("DROP USER " + user);
                } catch (...) {
                    // Clean-up in a destructor, perhaps during a failing assertion's
                    // unwinding: a user that cannot be dropped is left, named by the pid.
                }
            }
        } dropUser{*w.origin, user};
        w.origin->exec("CREATE USER " + user + " PASSWORD " + data::quoted(password));
        dest.exec("GRANT SELECT, INSERT, UPDATE, DELETE ON FACTURAS_ZVR TO " + user);
        if (c.right) dest.exec("GRANT DELETE ON MON$ATTACHMENTS TO " + user);
        if (c.uniqueIndex)
            dest.exec(std::vector<std::string>{
                "DROP INDEX FACTURAS_ZVR_DOCUMENTO",
                "CREATE UNIQUE INDEX FACTURAS_ZVR_DOCUMENTO ON FACTURAS_ZVR (PREF_PRE, "
                "FACT_NUMERO)"});
        w.origin->exec(std::vector<std::string>{
            "UPDATE CONFIGURACION SET CONF_VALOR = " + data::quoted(user) +
                " WHERE CONF_PROPIEDAD LIKE 'NOMBRE DE USUARIO%'",
            "UPDATE CONFIGURACION SET CONF_VALOR = " + data::quoted(password) +
                " WHERE CONF_PROPIEDAD LIKE 'CLAVE DE USUARIO%'"});

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

}  // namespace
}  // namespace enviozvr::sendertest
