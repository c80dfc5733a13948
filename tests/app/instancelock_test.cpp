// One instance per origin company: a second headless run finds the lock file of this
// machine or the lock attachment of another instance on the origin database and steps
// aside; two processes started at once on one origin send every invoice once.
#include "app/instancelock.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include "app/headless.h"
#include "senderworld.h"

namespace enviozvr::sendertest {
namespace {

struct RunResult {
    int status;
    std::string out;
    std::string err;
};

RunResult runOnce(SenderWorld& w, std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"--headless", "--once", w.server, "sysdba", "masterkey", "001"};
    args.insert(args.end(), extra.begin(), extra.end());
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    RunResult r;
    r.status = app::runHeadless(args);
    r.out = ::testing::internal::GetCapturedStdout();
    r.err = ::testing::internal::GetCapturedStderr();
    return r;
}

TEST(InstanceLock, LockFileOfThisMachineMakesASecondRunExitWithTwo) {
    SenderWorld w(false);
    w.addDestination("002");
    w.addEvent({.id = 1, .company = "002", .tipo = 120, .numero = "1"});

    app::FileLock other;
    ASSERT_TRUE(other.tryLock(w.install.file("enviozvr-001.lock")));
    RunResult r = runOnce(w);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("otra instancia ya envia la compania 001 en este equipo (" +
                         w.install.file("enviozvr-001.lock") + ")"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(w.state(1), "pending");

    // Released (as when the other process ends): the next run sends, and leaves the lock
    // free behind it.
    other.release();
    r = runOnce(w);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(w.state(1), "sent");
    EXPECT_TRUE(other.tryLock(w.install.file("enviozvr-001.lock")));
}

TEST(InstanceLock, LockAttachmentOfAnotherInstanceMakesASecondRunExitWithTwo) {
    SenderWorld w(false);
    w.addDestination("002");
    w.addEvent({.id = 1, .company = "002", .tipo = 120, .numero = "1"});

    // Another machine's instance: its lock attachment on the origin database.
    auto other = data::Connection::company("other");
    other->setDatabase(w.origin->location());
    other->setParam("User_Name", "SYSDBA");
    other->setParam("password", "masterkey");
    other->setParam("ProcessName", app::kLockProcessName);
    other->connect();

    RunResult r = runOnce(w);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("otra instancia ya envia la compania 001 desde otra conexion a " +
                         w.origin->path()),
              std::string::npos)
        << r.err;
    EXPECT_EQ(w.state(1), "pending");

    other->disconnect();
    r = runOnce(w);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(w.state(1), "sent");
}

// The lock file is its owner's only, whatever the umask of the run (022 by hand or from
// cron): another local user who could open it could hold the lock and stop the sending.
// A file an earlier run left readable by all is made the owner's as well.
TEST(InstanceLock, TheLockFileIsReadableByItsOwnerOnly) {
    struct Case {
        const char* what;
        bool leftBefore;  // a lock file with mode 0644 is there before the run
    };
    const Case cases[] = {{"created by the run", false}, {"left readable by all", true}};
    const mode_t umaskBefore = ::umask(022);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SenderWorld w(false);
        w.addDestination("002");
        w.addEvent({.id = 1, .company = "002", .tipo = 120, .numero = "1"});
        const std::string path = w.install.file("enviozvr-001.lock");
        if (c.leftBefore) {
            w.install.writeFile("enviozvr-001.lock", "");
            ::chmod(path.c_str(), 0644);
        }
        const RunResult r = runOnce(w);
        EXPECT_EQ(r.status, 0) << r.err;
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
    ::umask(umaskBefore);
}

// Two processes on one origin, started at once, on one machine (one installation
// directory) or on two (two installation directories: only the origin database is
// shared). 200 invoices; each is at the destination once and marked sent.
struct RaceCase {
    std::string name;
    bool twoMachines;
};

void PrintTo(const RaceCase& c, std::ostream* os) { *os << c.name; }

class TwoProcesses : public ::testing::TestWithParam<RaceCase> {};

TEST_P(TwoProcesses, EveryInvoiceArrivesOnce) {
    const RaceCase& c = GetParam();
    SenderWorld w(WorldOptions{.login = false, .viaServer = true, .originCharset = {}});
    TestDatabase& dest = w.addDestination("002");
    testing::InstallDir secondMachine;
    constexpr int kInvoices = 200;
    std::vector<std::string> inserts;
    for (int i = 1; i <= kInvoices; ++i) inserts.push_back(invoiceValues("FV", std::to_string(i)));
    w.origin->exec(inserts);
    for (int i = 1; i <= kInvoices; ++i)
        w.addEvent({.id = i, .company = "002", .numero = std::to_string(i)});

    const QStringList args{"--headless",
                           "--once",
                           QString::fromStdString(w.server),
                           "sysdba",
                           QString::fromStdString(w.password),
                           "001",
                           "--batch=500"};
    QProcess first;
    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_DIRS", QString::fromStdString(w.install.configDir()));
    first.setProcessEnvironment(env);
    if (c.twoMachines)
        env.insert("XDG_CONFIG_DIRS", QString::fromStdString(secondMachine.configDir()));
    second.setProcessEnvironment(env);
    first.start(ENVIOZVR_PROGRAM, args);
    second.start(ENVIOZVR_PROGRAM, args);
    ASSERT_TRUE(first.waitForFinished(120000));
    ASSERT_TRUE(second.waitForFinished(120000));

    std::vector<int> statuses{first.exitCode(), second.exitCode()};
    RecordProperty("exit_statuses",
                   std::to_string(statuses[0]) + "," + std::to_string(statuses[1]));
    std::sort(statuses.begin(), statuses.end());
    const std::string errors = first.readAllStandardError().toStdString() + "|" +
                               second.readAllStandardError().toStdString();
    // Either the runs overlapped (one stepped aside) or one came after the other.
    EXPECT_TRUE(statuses == std::vector<int>({0, 2}) || statuses == std::vector<int>({0, 0}))
        << statuses[0] << " " << statuses[1] << " " << errors;
    if (statuses[1] == 2) {
        EXPECT_NE(errors.find("otra instancia ya envia la compania 001"), std::string::npos)
            << errors;
    }

    EXPECT_TRUE(dest.query("SELECT PREF_PRE, FACT_NUMERO FROM FACTURAS_ZVR GROUP BY 1, 2 "
                           "HAVING COUNT(*) > 1")
                    .empty());
    EXPECT_EQ(dest.scalar("SELECT COUNT(*) FROM FACTURAS_ZVR").asInteger(), kInvoices);
    EXPECT_EQ(w.origin->scalar("SELECT COUNT(*) FROM REPLICA_EVENTOS WHERE RPEV_FECREP IS NULL")
                  .asInteger(),
              0);
}

INSTANTIATE_TEST_SUITE_P(InstanceLock, TwoProcesses,
                         ::testing::Values(RaceCase{"OneMachine", false},
                                           RaceCase{"TwoMachines", true}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace enviozvr::sendertest
