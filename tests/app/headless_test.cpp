// The headless run mode over real embedded databases: exit statuses, its output and
// where unhandled errors go.
#include "app/headless.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <functional>
#include <sstream>

#include "senderworld.h"

namespace enviozvr::sendertest {
namespace {

struct HeadlessCase {
    std::string name;
    std::vector<std::string> args;  // "$S" stands for the server text
    int status;
    std::string stdoutText;  // expected standard output ("" = none)
    std::string stderrPart;  // a part of standard error ("" = not checked)
};

void PrintTo(const HeadlessCase& c, std::ostream* os) { *os << c.name; }

class Headless : public ::testing::TestWithParam<HeadlessCase> {};

TEST_P(Headless, ExitStatusAndOutput) {
    const HeadlessCase& c = GetParam();
    SenderWorld w(false);
    w.addDestination("002");
    w.addEvent({.id = 1, .company = "002", .tipo = 120, .numero = "1"});
    w.addEvent({.id = 2, .company = "002", .tipo = 120, .numero = "2", .registeredAt = "09:00:00"});
    std::vector<std::string> args;
    for (std::string a : c.args) {
        if (const auto p = a.find("$S"); p != std::string::npos) a.replace(p, 2, w.server);
        args.push_back(a);
    }
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int status = app::runHeadless(args);
    const std::string out = ::testing::internal::GetCapturedStdout();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, c.status) << err;
    EXPECT_EQ(out, c.stdoutText);
    if (!c.stderrPart.empty()) {
        EXPECT_NE(err.find(c.stderrPart), std::string::npos) << err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    SendCycle, Headless,
    ::testing::Values(
        HeadlessCase{"OneCycle",
                     {"--headless", "--once", "$S", "sysdba", "masterkey", "001"},
                     0,
                     "002: 2 tomados, 2 enviados, 0 con error\n",
                     ""},
        HeadlessCase{"BatchAndNewest",
                     {"--headless", "$S", "sysdba", "masterkey", "001", "0", "--batch=1", "--once",
                      "--no-retry-errors", "--minutes=5"},
                     0,
                     "002: 1 tomados, 1 enviados, 0 con error\n",
                     ""},
        HeadlessCase{"MissingArguments",
                     {"--headless", "--once", "$S", "sysdba", "masterkey"},
                     2,
                     "",
                     "usage: enviozvr --headless SERVER USER PASSWORD COMPANY"},
        HeadlessCase{"EmptyCompany",
                     {"--headless", "--once", "$S", "sysdba", "masterkey", ""},
                     2,
                     "",
                     "COMPANY must not be empty"},
        HeadlessCase{"BadBatch",
                     {"--headless", "--once", "--batch=0", "$S", "sysdba", "masterkey", "001"},
                     2,
                     "",
                     "--batch needs a whole number above 0"},
        HeadlessCase{"BadMinutes",
                     {"--headless", "--once", "--minutes=x", "$S", "sysdba", "masterkey", "001"},
                     2,
                     "",
                     "--minutes needs a whole number"},
        HeadlessCase{"BadParallel",
                     {"--headless", "--once", "--parallel=0", "$S", "sysdba", "masterkey", "001"},
                     2,
                     "",
                     "--parallel needs a whole number from 1 to 64, not '0'"},
        HeadlessCase{"UnknownOption",
                     {"--headless", "--once", "--fast", "$S", "sysdba", "masterkey", "001"},
                     2,
                     "",
                     "unknown option '--fast'"},
        HeadlessCase{"FailedLogin",
                     {"--headless", "--once", "$S/nowhere", "sysdba", "masterkey", "001"},
                     2,
                     "",
                     "No se encontr"},
        HeadlessCase{"UnknownCompany",
                     {"--headless", "--once", "$S", "sysdba", "masterkey", "777"},
                     2,
                     "",
                     "the company 777 is not in COMPANIA"},
        HeadlessCase{"CompanyWithoutDatabase",
                     {"--headless", "--once", "$S", "sysdba", "masterkey", "003"},
                     1,
                     "",
                     "No se encontr"}),
    [](const auto& info) { return info.param.name; });

// An unhandled error of the headless run is logged with the login's user.
TEST(Headless, UnhandledErrorGoesToErroresTxt) {
    SenderWorld w(false);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(app::runHeadless({"--headless", "--once", w.server, "sysdba", "masterkey", "003"}),
              1);
    ::testing::internal::GetCapturedStderr();
    const auto lines = w.logFields("ERRORES.TXT");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].rfind("D,T,SYSDBA,", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("/datos/003/nivora.fdb"), std::string::npos) << lines[0];
}

// Destinations served side by side report in the order of the company list, one line
// each, whatever order they finish in; one after another (--parallel=1) the same.
TEST(Headless, SummaryLinesInDestinationOrder) {
    SenderWorld w(false);
    const std::vector<std::string> codes = {"002", "004", "005"};
    int id = 1;
    for (const std::string& code : codes) {
        w.addDestination(code);
        // The first destination has the most to do: it finishes last.
        const int events = code == "002" ? 30 : 2;
        for (int e = 0; e < events; ++e, ++id)
            w.addEvent({.id = id, .company = code, .tipo = 120, .numero = std::to_string(id)});
    }
    for (const char* parallel : {"--parallel=3", "--parallel=1"}) {
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        const int status = app::runHeadless({"--headless", "--once", parallel, w.server, "sysdba",
                                             "masterkey", "001", "--batch=10"});
        const std::string out = ::testing::internal::GetCapturedStdout();
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, 0) << err;
        EXPECT_EQ(out,
                  "002: 10 tomados, 10 enviados, 0 con error\n"
                  "004: 2 tomados, 2 enviados, 0 con error\n"
                  "005: 2 tomados, 2 enviados, 0 con error\n")
            << parallel;
        // Taken again by the second run.
        w.origin->exec("UPDATE REPLICA_EVENTOS SET RPEV_FECREP = NULL, RPEV_HORAREP = NULL");
    }
}

// Runs the repeating headless mode until `done` holds between two cycles (checked every
// few milliseconds while the program waits), then stops it; at most 60 s. Returns what it
// wrote to standard output.
std::string runRepeatingUntil(const std::vector<std::string>& args,
                              const std::function<bool()>& done) {
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argv);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        // Queued behind a cycle that the last one may have asked for at once.
        if (done()) QTimer::singleShot(0, [] { QCoreApplication::quit(); });
    });
    poll.start(20);
    QTimer::singleShot(60000, [] { QCoreApplication::quit(); });
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    app::runHeadless(args);
    ::testing::internal::GetCapturedStderr();
    return ::testing::internal::GetCapturedStdout();
}

std::vector<std::string> linesStartingWith(const std::string& text, const std::string& start) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(start, 0) == 0) out.push_back(line);
    return out;
}

// A full batch from which events went out is followed by the next cycle at once, until a
// batch is not full; the timer then takes over again.
TEST(Headless, ABacklogDrainsWithoutWaitingForTheTimer) {
    SenderWorld w(false);
    w.addDestination("002");
    for (int id = 1; id <= 25; ++id)
        w.addEvent(
            {.id = id,
             .company = "002",
             .tipo = 120,
             .numero = std::to_string(id),
             .registeredAt = "08:00:" + std::string(id < 10 ? "0" : "") + std::to_string(id)});
    const std::string out = runRepeatingUntil(
        {"--headless", w.server, "sysdba", "masterkey", "001", "--batch=10"}, [&] {
            return w.origin
                       ->scalar("SELECT COUNT(*) FROM REPLICA_EVENTOS WHERE RPEV_FECREP IS NULL")
                       .asInteger() == 0;
        });
    EXPECT_EQ(linesStartingWith(out, "ciclo"),
              (std::vector<std::string>{
                  "ciclo 1: 10 enviados, 0 con error, 10 enviados desde el inicio; lote lleno: el "
                  "siguiente ciclo empieza ya",
                  "ciclo 2: 10 enviados, 0 con error, 20 enviados desde el inicio; lote lleno: el "
                  "siguiente ciclo empieza ya",
                  "ciclo 3: 5 enviados, 0 con error, 25 enviados desde el inicio; siguiente ciclo "
                  "en 1 min"}))
        << out;
    EXPECT_EQ(linesStartingWith(out, "002:").size(), 3u) << out;
}

// A full batch of which nothing went out would come back the same: no cycle at once.
TEST(Headless, AFullBatchThatOnlyFailedWaitsForTheTimer) {
    SenderWorld w(false);
    TestDatabase& dest = w.addDestination("002");
    dest.exec("ALTER TABLE FACTURAS_ZVR ADD CONSTRAINT SIN_COP CHECK (FACT_MONEDA <> 'COP')");
    for (int id = 1; id <= 3; ++id) {
        w.origin->exec(invoiceValues("FV", std::to_string(id)));
        w.addEvent({.id = id, .company = "002", .numero = std::to_string(id)});
    }
    const std::string out = runRepeatingUntil(
        {"--headless", w.server, "sysdba", "masterkey", "001", "--batch=3", "--minutes=5"}, [&] {
            return w.origin
                       ->scalar("SELECT COUNT(*) FROM REPLICA_EVENTOS WHERE RPEV_ERROR IS NOT NULL")
                       .asInteger() == 3;
        });
    EXPECT_EQ(linesStartingWith(out, "ciclo"),
              (std::vector<std::string>{"ciclo 1: 0 enviados, 3 con error, 0 enviados desde el "
                                        "inicio; siguiente ciclo en 5 min"}))
        << out;
}

// At the start of a run, one warning per index that a database lacks, naming the
// statement that would add it (at a destination a unique one), and one line per active
// destination that cannot be reached; nothing else.
TEST(Headless, WarnsAboutEachMissingIndex) {
    SenderWorld w(false);
    TestDatabase& dest = w.addDestination("002");
    dest.exec(std::vector<std::string>{
        "DROP INDEX FACTURAS_ZVR_DOCUMENTO",
        "CREATE UNIQUE INDEX FACTURAS_ZVR_DOCUMENTO ON FACTURAS_ZVR (PREF_PRE, FACT_NUMERO)"});
    w.addDestination("004", "N");  // not active: not looked at
    w.destinations["004"]->exec("DROP INDEX FACTURAS_ZVR_DOCUMENTO");
    w.listCompany("005", w.server);  // active, but no database: one line
    const std::vector<std::string> args = {"--headless", "--once",    w.server,
                                           "sysdba",     "masterkey", "001"};
    const std::string unreachable = "enviozvr: warning: the indexes of the destination database " +
                                    w.server + "/datos/005/nivora.fdb could not be checked: ";
    // The warnings about indexes; the line about 005 is checked and left out.
    auto warnings = [&](const std::vector<std::string>& run) {
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        app::runHeadless(run);
        ::testing::internal::GetCapturedStdout();
        std::vector<std::string> out;
        int unreachableLines = 0;
        for (const std::string& line :
             linesStartingWith(::testing::internal::GetCapturedStderr(), "enviozvr: warning")) {
            if (line.rfind(unreachable, 0) == 0)
                ++unreachableLines;
            else
                out.push_back(line);
        }
        EXPECT_EQ(unreachableLines, 1);
        return out;
    };
    EXPECT_EQ(warnings(args), std::vector<std::string>{});

    w.origin->exec(std::vector<std::string>{"DROP INDEX REPLICA_EVENTOS_ID",
                                            "DROP INDEX REPLICA_EVENTOS_PENDIENTES",
                                            "DROP INDEX REPLICA_EVENTOS_ORDEN_DESC"});
    // A plain index at a destination does not keep an invoice from being there twice.
    dest.exec(std::vector<std::string>{
        "DROP INDEX FACTURAS_ZVR_DOCUMENTO",
        "CREATE INDEX FACTURAS_ZVR_DOCUMENTO ON FACTURAS_ZVR (PREF_PRE, FACT_NUMERO)"});
    const std::string origin = w.server + "/datos/001/nivora.fdb";
    const std::string destination = w.server + "/datos/002/nivora.fdb";
    EXPECT_EQ(warnings(args),
              (std::vector<std::string>{
                  "enviozvr: warning: the origin database " + origin +
                      " has no index on REPLICA_EVENTOS (RPEV_ID); it would help: CREATE INDEX "
                      "REPLICA_EVENTOS_ID ON REPLICA_EVENTOS (RPEV_ID)",
                  "enviozvr: warning: the origin database " + origin +
                      " has no index on REPLICA_EVENTOS (RPEV_COMPANIA, RPEV_FECREP); it would "
                      "help: CREATE INDEX REPLICA_EVENTOS_PENDIENTES ON REPLICA_EVENTOS "
                      "(RPEV_COMPANIA, RPEV_FECREP)",
                  "enviozvr: warning: the destination database " + destination +
                      " has no unique index on FACTURAS_ZVR (PREF_PRE, FACT_NUMERO); it would "
                      "help: CREATE UNIQUE INDEX FACTURAS_ZVR_DOCUMENTO ON FACTURAS_ZVR "
                      "(PREF_PRE, FACT_NUMERO)"}));

    // Sending the newest first wants the batch order's descending index instead.
    w.origin->exec(std::vector<std::string>{
        "CREATE INDEX REPLICA_EVENTOS_ID ON REPLICA_EVENTOS (RPEV_ID)",
        "CREATE INDEX REPLICA_EVENTOS_PENDIENTES ON REPLICA_EVENTOS (RPEV_COMPANIA, RPEV_FECREP)"});
    dest.exec(std::vector<std::string>{
        "DROP INDEX FACTURAS_ZVR_DOCUMENTO",
        "CREATE UNIQUE INDEX FACTURAS_ZVR_DOCUMENTO ON FACTURAS_ZVR (PREF_PRE, FACT_NUMERO)"});
    EXPECT_EQ(warnings(args), std::vector<std::string>{});
    std::vector<std::string> newest = args;
    newest.push_back("S");
    EXPECT_EQ(warnings(newest),
              std::vector<std::string>{
                  "enviozvr: warning: the origin database " + origin +
                  " has no descending index on REPLICA_EVENTOS (RPEV_FECREG, RPEV_HORAREG, "
                  "RPEV_ID); it would help: CREATE DESCENDING INDEX REPLICA_EVENTOS_ORDEN_DESC ON "
                  "REPLICA_EVENTOS (RPEV_FECREG, RPEV_HORAREG, RPEV_ID)"});
}

// A login user that lacks a right the send cycle needs at the origin is refused at the
// start as a configuration error (status 2: the unit does not restart), with one line
// that names the user, the right, the table and the GRANT that gives it; with every right
// the same user sends. Embedded databases take the user's name as given and apply its
// rights, so each case takes one right away from a user that has them all.
TEST(Headless, AMissingRightAtTheOriginIsAConfigurationErrorNamedWithItsGrant) {
    const std::vector<std::string> grants = {
        "GRANT SELECT ON SUCURSALES TO CAJERO",      "GRANT SELECT ON REPLICA_COMPANIA TO CAJERO",
        "GRANT SELECT ON CONFIGURACION TO CAJERO",   "GRANT SELECT ON REPLICA_EVENTOS TO CAJERO",
        "GRANT SELECT ON FACTURAS_ZVR TO CAJERO",    "GRANT UPDATE ON REPLICA_EVENTOS TO CAJERO",
        "GRANT DELETE ON REPLICA_EVENTOS TO CAJERO",
    };
    struct Case {
        std::string revoke;  // "" = every right kept
        bool general;
        std::string says;  // the right and the table, as the line names them
    };
    const Case cases[] = {
        {"REVOKE SELECT ON COMPANIA FROM CAJERO", true, "SELECT on COMPANIA"},
        {"REVOKE SELECT ON SUCURSALES FROM CAJERO", false, "SELECT on SUCURSALES"},
        {"REVOKE SELECT ON CONFIGURACION FROM CAJERO", false, "SELECT on CONFIGURACION"},
        {"REVOKE UPDATE ON REPLICA_EVENTOS FROM CAJERO", false, "UPDATE on REPLICA_EVENTOS"},
        {"REVOKE DELETE ON REPLICA_EVENTOS FROM CAJERO", false, "DELETE on REPLICA_EVENTOS"},
        {"", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.revoke);
        SenderWorld w(false);
        w.addDestination("002");
        w.addEvent({.id = 1, .company = "002", .tipo = 120, .numero = "1"});
        w.general->exec("GRANT SELECT ON COMPANIA TO CAJERO");
        w.origin->exec(grants);
        if (!c.revoke.empty()) (c.general ? w.general : w.origin)->exec(c.revoke);
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        const int status =
            app::runHeadless({"--headless", "--once", w.server, "cajero", "whatever", "001"});
        const std::string out = ::testing::internal::GetCapturedStdout();
        const std::string err = ::testing::internal::GetCapturedStderr();
        if (c.revoke.empty()) {
            EXPECT_EQ(status, 0) << err;
            EXPECT_EQ(out, "002: 1 tomados, 1 enviados, 0 con error\n");
            continue;
        }
        EXPECT_EQ(status, 2) << err;
        EXPECT_EQ(out, "");
        const std::string table = c.says.substr(c.says.rfind(' ') + 1);
        const std::string right = c.says.substr(0, c.says.find(' '));
        const std::string line =
            "enviozvr: the login user CAJERO lacks " + c.says + " in the " +
            (c.general ? "general database " + w.server + "/datos/general.fdb"
                       : "company database " + w.server + "/datos/001/nivora.fdb") +
            "; give it with: GRANT " + right + " ON " + table + " TO CAJERO\n";
        EXPECT_EQ(err, line);
    }
}

}  // namespace
}  // namespace enviozvr::sendertest
