// The --status health report over real embedded databases: a table of queue situations
// with the report they give and their exit statuses, and the refusals.
#include "app/status.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "senderworld.h"

namespace enviozvr::sendertest {
namespace {

// An event registered `minutesAgo` minutes before the server's now (negative: after it).
struct AgedEvent {
    int id;
    std::string company;
    int minutesAgo;
    bool error = false;
    bool sentYesterday = false;
};

void addAged(SenderWorld& w, const AgedEvent& e) {
    const std::string at =
        "DATEADD(MINUTE, " + std::to_string(-e.minutesAgo) + ", CURRENT_TIMESTAMP)";
    w.origin->exec(
        "INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, RPEV_PREF, RPEV_NUMERO, "
        "RPEV_FECREG, RPEV_HORAREG, RPEV_FECREP, RPEV_HORAREP, RPEV_OPER, RPEV_ERROR) VALUES (" +
        std::to_string(e.id) + ", " + data::quoted(e.company) + ", 236, 'FV', '1', CAST(" + at +
        " AS DATE), CAST(" + at + " AS TIME), " +
        (e.sentYesterday ? "CURRENT_DATE - 1, '10:00:00'" : "NULL, NULL") + ", 'I', " +
        (e.error ? "'refused'" : "NULL") + ")");
}

struct StatusCase {
    std::string name;
    std::vector<AgedEvent> events;
    std::vector<std::string> extraArgs;
    std::string errorenvio;          // contents of errorenvio.txt ("" = no file); "$NOW" =
                                     // the date and time now, as the logs write them
    std::vector<std::string> lines;  // expected report; "$Y" = yesterday 10:00:00
    int status;
};

void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.name; }

class StatusReport : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusReport, LinesAndExitStatus) {
    const StatusCase& c = GetParam();
    SenderWorld w(false);
    w.listCompany("002", w.server);
    w.listCompany("004", w.server, "N");
    for (const AgedEvent& e : c.events) addAged(w, e);
    if (!c.errorenvio.empty()) {
        std::string text = c.errorenvio;
        const std::string now =
            data::shortDateText(data::today()) + "," + data::longTimeText(data::timeNow());
        for (auto p = text.find("$NOW"); p != std::string::npos; p = text.find("$NOW"))
            text.replace(p, 4, now);
        w.install.writeFile("errorenvio.txt", text);
    }

    std::vector<std::string> args{"--status", w.server, "sysdba", "masterkey", "001"};
    args.insert(args.end(), c.extraArgs.begin(), c.extraArgs.end());
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int status = app::runStatus(args);
    const std::string out = ::testing::internal::GetCapturedStdout();
    const std::string err = ::testing::internal::GetCapturedStderr();

    data::Date yesterday = data::today();
    yesterday.days -= 1;
    const std::string y =
        data::shortDateText(yesterday) + " " + data::longTimeText(data::Time::fromHms(10, 0, 0));
    std::string expected;
    for (std::string line : c.lines) {
        if (const auto p = line.find("$Y"); p != std::string::npos) line.replace(p, 2, y);
        expected += line + "\n";
    }
    EXPECT_EQ(out, expected);
    EXPECT_EQ(status, c.status) << err;
    EXPECT_EQ(w.install.readFile("ERRORES.TXT"), std::nullopt) << "the check logs nothing";
}

INSTANTIATE_TEST_SUITE_P(
    Situations, StatusReport,
    ::testing::Values(
        StatusCase{"NothingQueued",
                   {},
                   {},
                   "",
                   {"002: 0 pendientes, 0 con error, sin pendientes, ultimo envio nunca",
                    "errorenvio.txt: sin lineas"},
                   0},
        StatusCase{"FreshPendingAndSent",
                   {{1, "002", 5}, {2, "002", 2}, {3, "002", 900, false, true}},
                   {},
                   "",
                   {"002: 2 pendientes, 0 con error, mas antiguo hace 5 min, ultimo envio $Y",
                    "errorenvio.txt: sin lineas"},
                   0},
        // A workstation whose clock is ahead of the server's registers events "later".
        StatusCase{"RegisteredAheadOfTheServersClock",
                   {{1, "002", -600}},
                   {},
                   "",
                   {"002: 1 pendientes, 0 con error, mas antiguo hace 0 min, ultimo envio nunca",
                    "errorenvio.txt: sin lineas"},
                   0},
        StatusCase{"PendingOlderThanTheDefault",
                   {{1, "002", 90}},
                   {},
                   "",
                   {"002: 1 pendientes, 0 con error, mas antiguo hace 90 min, ultimo envio nunca",
                    "errorenvio.txt: sin lineas"},
                   1},
        StatusCase{"StaleLimitRaised",
                   {{1, "002", 90}},
                   {"--stale=120"},
                   "",
                   {"002: 1 pendientes, 0 con error, mas antiguo hace 90 min, ultimo envio nunca",
                    "errorenvio.txt: sin lineas"},
                   0},
        StatusCase{"PendingWithError",
                   {{1, "002", 1, true}, {2, "002", 1}},
                   {},
                   "",
                   {"002: 1 pendientes, 1 con error, mas antiguo hace 1 min, ultimo envio nunca",
                    "errorenvio.txt: sin lineas"},
                   1},
        StatusCase{"SentWithErrorIsHistory",
                   {{1, "002", 900, true, true}},
                   {},
                   "",
                   {"002: 0 pendientes, 0 con error, sin pendientes, ultimo envio $Y",
                    "errorenvio.txt: sin lineas"},
                   0},
        StatusCase{"DestinationWithoutActiveServer",
                   {{1, "004", 3}, {2, "007", 4}},
                   {},
                   "",
                   {"002: 0 pendientes, 0 con error, sin pendientes, ultimo envio nunca",
                    "007: 1 pendientes, 0 con error, mas antiguo hace 4 min, ultimo envio nunca "
                    "(sin servidor activo)",
                    "errorenvio.txt: sin lineas"},
                   0},
        StatusCase{
            "RecentConnectionFailureOfADestination",
            {{1, "002", 1}},
            {},
            "01/02/2026,10:00:00,No se pudo conectar con el servidor s/datos/002/nivora.fdb\r\n"
            "$NOW,No se pudo conectar con el servidor s/datos/002/nivora.fdb,conexion "
            "perdida\r\n"
            "01/02/2026,10:00:00,No se pudo conectar con el servidor s/datos/003/nivora.fdb\r\n",
            {"002: 1 pendientes, 0 con error, mas antiguo hace 1 min, ultimo envio nunca, "
             "sin conexion hace 0 min",
             "errorenvio.txt: 01/02/2026,10:00:00,No se pudo conectar con el servidor "
             "s/datos/003/nivora.fdb"},
            1},
        StatusCase{"LastConnectionFailure",
                   {},
                   {},
                   "01/02/2026,10:00:00,No se pudo conectar con el servidor a\r\n"
                   "02/02/2026,11:00:00,No se pudo conectar con el servidor b\r\n",
                   {"002: 0 pendientes, 0 con error, sin pendientes, ultimo envio nunca",
                    "errorenvio.txt: 02/02/2026,11:00:00,No se pudo conectar con el servidor b"},
                   0}),
    [](const auto& info) { return info.param.name; });

struct RefusalCase {
    std::string name;
    std::vector<std::string> args;  // "$S" stands for the server text
    std::string stderrPart;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class StatusRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(StatusRefusal, ExitsWithTwoAndSaysWhy) {
    const RefusalCase& c = GetParam();
    SenderWorld w(false);
    std::vector<std::string> args;
    for (std::string a : c.args) {
        if (const auto p = a.find("$S"); p != std::string::npos) a.replace(p, 2, w.server);
        args.push_back(a);
    }
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int status = app::runStatus(args);
    const std::string out = ::testing::internal::GetCapturedStdout();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 2);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find(c.stderrPart), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, StatusRefusal,
    ::testing::Values(RefusalCase{"MissingCompany",
                                  {"--status", "$S", "sysdba", "masterkey"},
                                  "usage: enviozvr --status SERVER USER PASSWORD COMPANY"},
                      RefusalCase{"BadStale",
                                  {"--status", "$S", "sysdba", "masterkey", "001", "--stale=1h"},
                                  "--stale needs a whole number of minutes"},
                      RefusalCase{"UnknownOption",
                                  {"--status", "$S", "sysdba", "masterkey", "001", "--x"},
                                  "unknown option '--x'"},
                      RefusalCase{"FailedLogin",
                                  {"--status", "$S/nowhere", "sysdba", "masterkey", "001"},
                                  "No se encontr"},
                      RefusalCase{"UnknownCompany",
                                  {"--status", "$S", "sysdba", "masterkey", "777"},
                                  "the company 777 is not in COMPANIA"},
                      RefusalCase{"CompanyWithoutDatabase",
                                  {"--status", "$S", "sysdba", "masterkey", "003"},
                                  "No se encontr"}),
    [](const auto& info) { return info.param.name; });

// A password of "-" comes from the environment, out of the process list.
TEST(StatusReport, PasswordFromTheEnvironment) {
    SenderWorld w(false);
    ::setenv("ENVIOZVR_PASSWORD", "masterkey", 1);
    ::testing::internal::CaptureStdout();
    const int status = app::runStatus({"--status", w.server, "sysdba", "-", "001"});
    ::testing::internal::GetCapturedStdout();
    ::unsetenv("ENVIOZVR_PASSWORD");
    EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace enviozvr::sendertest
