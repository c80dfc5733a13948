// The --status health report over real embedded databases: a table of queue situations
// and state records with the report they give and their exit statuses, the refusals, and
// an origin that refuses, stays silent or refuses the login.
#include "app/status.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDateTime>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "core/staterecord.h"
#include "senderworld.h"
#include "support/loopback.h"
#include "support/relay.h"

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

// An attempt of the send cycle at a destination, `minutesAgo` minutes before now.
struct PastAttempt {
    std::string destination;
    bool reached;
    std::string reason;
    int minutesAgo;
};

struct StatusCase {
    std::string name;
    std::vector<AgedEvent> events;
    std::vector<PastAttempt> attempts;
    std::vector<std::string> extraArgs;
    std::string errorenvio;          // contents of errorenvio.txt ("" = no file); "$NOW" =
                                     // the date and time now, as the logs write them
    std::vector<std::string> lines;  // expected report after the summary; "$Y" = yesterday
                                     // 10:00:00
    std::string summary;             // the first line
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
    const std::int64_t now = QDateTime::currentSecsSinceEpoch();
    for (const PastAttempt& p : c.attempts)
        core::recordDestinationAttempt("001", p.destination, p.reached, p.reason,
                                       now - std::int64_t{p.minutesAgo} * 60);
    const std::string logNow =
        data::shortDateText(data::today()) + "," + data::longTimeText(data::timeNow());
    const auto withNow = [&](std::string text) {
        for (auto p = text.find("$NOW"); p != std::string::npos; p = text.find("$NOW"))
            text.replace(p, 4, logNow);
        return text;
    };
    if (!c.errorenvio.empty()) w.install.writeFile("errorenvio.txt", withNow(c.errorenvio));

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
    std::string expected = c.summary + "\n";
    for (std::string line : c.lines) {
        if (const auto p = line.find("$Y"); p != std::string::npos) line.replace(p, 2, y);
        expected += withNow(line) + "\n";
    }
    EXPECT_EQ(out, expected);
    EXPECT_EQ(status, c.status) << err;
    EXPECT_EQ(w.install.readFile("ERRORES.TXT"), std::nullopt) << "the check logs nothing";
}

// Perfdata of the summary line: pending, errored, oldest age, unreachable, destinations.
std::string perf(int pending, int errored, int oldest, int unreachable, int destinations,
                 int stale = 60) {
    return " | pending=" + std::to_string(pending) + " errored=" + std::to_string(errored) +
           " oldest_minutes=" + std::to_string(oldest) + ";" + std::to_string(stale) +
           " unreachable=" + std::to_string(unreachable) +
           " destinations=" + std::to_string(destinations);
}

const std::string kOk = "ENVIOZVR OK - origen 001: ";
const std::string kWarning = "ENVIOZVR WARNING - origen 001: ";
const std::string kNoLines = "errorenvio.txt: sin lineas";

INSTANTIATE_TEST_SUITE_P(
    Situations, StatusReport,
    ::testing::Values(
        StatusCase{"NothingQueued",
                   {},
                   {},
                   {},
                   "",
                   {"002: 0 pendientes, 0 con error, sin pendientes, ultimo envio nunca", kNoLines},
                   kOk + "0 pendientes para 1 destinos" + perf(0, 0, 0, 0, 1),
                   0},
        StatusCase{
            "FreshPendingAndSent",
            {{1, "002", 5}, {2, "002", 2}, {3, "002", 900, false, true}},
            {},
            {},
            "",
            {"002: 2 pendientes, 0 con error, mas antiguo hace 5 min, ultimo envio $Y", kNoLines},
            kOk + "2 pendientes para 1 destinos, mas antiguo hace 5 min" + perf(2, 0, 5, 0, 1),
            0},
        // A workstation whose clock is ahead of the server's registers events "later".
        StatusCase{
            "RegisteredAheadOfTheServersClock",
            {{1, "002", -600}},
            {},
            {},
            "",
            {"002: 1 pendientes, 0 con error, mas antiguo hace 0 min, ultimo envio nunca",
             kNoLines},
            kOk + "1 pendientes para 1 destinos, mas antiguo hace 0 min" + perf(1, 0, 0, 0, 1),
            0},
        StatusCase{"PendingOlderThanTheDefault",
                   {{1, "002", 90}},
                   {},
                   {},
                   "",
                   {"002: 1 pendientes, 0 con error, mas antiguo hace 90 min, ultimo envio nunca",
                    kNoLines},
                   kWarning + "pendientes de mas de 60 min para 002" + perf(1, 0, 90, 0, 1),
                   1},
        StatusCase{"StaleLimitRaised",
                   {{1, "002", 90}},
                   {},
                   {"--stale=120"},
                   "",
                   {"002: 1 pendientes, 0 con error, mas antiguo hace 90 min, ultimo envio nunca",
                    kNoLines},
                   kOk + "1 pendientes para 1 destinos, mas antiguo hace 90 min" +
                       perf(1, 0, 90, 0, 1, 120),
                   0},
        StatusCase{"PendingWithError",
                   {{1, "002", 1, true}, {2, "002", 1}},
                   {},
                   {},
                   "",
                   {"002: 1 pendientes, 1 con error, mas antiguo hace 1 min, ultimo envio nunca",
                    kNoLines},
                   kWarning + "1 con error para 002" + perf(1, 1, 1, 0, 1),
                   1},
        StatusCase{"SentWithErrorIsHistory",
                   {{1, "002", 900, true, true}},
                   {},
                   {},
                   "",
                   {"002: 0 pendientes, 0 con error, sin pendientes, ultimo envio $Y", kNoLines},
                   kOk + "0 pendientes para 1 destinos" + perf(0, 0, 0, 0, 1),
                   0},
        StatusCase{
            "DestinationWithoutActiveServer",
            {{1, "004", 3}, {2, "007", 4}},
            {},
            {},
            "",
            {"002: 0 pendientes, 0 con error, sin pendientes, ultimo envio nunca",
             "007: 1 pendientes, 0 con error, mas antiguo hace 4 min, ultimo envio nunca "
             "(sin servidor activo)",
             kNoLines},
            kOk + "1 pendientes para 2 destinos, mas antiguo hace 4 min" + perf(1, 0, 4, 0, 2),
            0},
        // The state record says the last attempt failed; the log's dates (of any locale)
        // are not read, only its last line is shown.
        StatusCase{"LastAttemptFailed",
                   {{1, "002", 1}},
                   {{"002", false, "conexion perdida", 3}},
                   {},
                   "31/12/99,10:00:00 p. m.,No se pudo conectar con el servidor "
                   "s/datos/003/nivora.fdb\r\n",
                   {"002: 1 pendientes, 0 con error, mas antiguo hace 1 min, ultimo envio nunca, "
                    "sin conexion hace 3 min (conexion perdida)",
                    "errorenvio.txt: 31/12/99,10:00:00 p. m.,No se pudo conectar con el servidor "
                    "s/datos/003/nivora.fdb"},
                   kWarning + "sin conexion con 002" + perf(1, 0, 1, 1, 1),
                   1},
        // However long ago: no cycle has reached it since.
        StatusCase{"FailedLongAgoAndNotTriedSince",
                   {{1, "002", 1}},
                   {{"002", true, "", 700}, {"002", false, "servidor inalcanzable: x", 600}},
                   {},
                   "",
                   {"002: 1 pendientes, 0 con error, mas antiguo hace 1 min, ultimo envio nunca, "
                    "sin conexion hace 600 min (servidor inalcanzable: x)",
                    kNoLines},
                   kWarning + "sin conexion con 002" + perf(1, 0, 1, 1, 1),
                   1},
        // Reached, but nothing sent while an attachment an ended run left there may still
        // commit: how long it has been waiting, since the first attempt held back.
        StatusCase{"WaitingForAnAttachmentLeftThere",
                   {{1, "002", 1}},
                   {{"002", false, "conexion perdida", 50},
                    {"002", false, "una conexion abandonada antes aun puede confirmar", 45},
                    {"002", false, "una conexion abandonada antes aun puede confirmar", 2}},
                   {},
                   "",
                   {"002: 1 pendientes, 0 con error, mas antiguo hace 1 min, ultimo envio nunca, "
                    "en espera hace 45 min (una conexion abandonada antes aun puede confirmar)",
                    kNoLines},
                   kWarning + "en espera de una conexion abandonada en 002" + perf(1, 0, 1, 1, 1),
                   1},
        // A destination served since its failure is healthy again, whatever the log says.
        StatusCase{
            "ServedSinceItsFailure",
            {{1, "002", 1}},
            {{"002", false, "conexion perdida", 2}, {"002", true, "", 1}},
            {},
            "$NOW,No se pudo conectar con el servidor s/datos/002/nivora.fdb,conexion "
            "perdida\r\n",
            {"002: 1 pendientes, 0 con error, mas antiguo hace 1 min, ultimo envio nunca",
             "errorenvio.txt: $NOW,No se pudo conectar con el servidor "
             "s/datos/002/nivora.fdb,conexion perdida"},
            kOk + "1 pendientes para 1 destinos, mas antiguo hace 1 min" + perf(1, 0, 1, 0, 1),
            0},
        // Nothing waits for it: no cycle will try it until something does.
        StatusCase{"FailedWithNothingWaiting",
                   {},
                   {{"002", false, "conexion perdida", 5}},
                   {},
                   "",
                   {"002: 0 pendientes, 0 con error, sin pendientes, ultimo envio nunca", kNoLines},
                   kOk + "0 pendientes para 1 destinos" + perf(0, 0, 0, 0, 1),
                   0},
        StatusCase{"LastConnectionFailure",
                   {},
                   {},
                   {},
                   "01/02/2026,10:00:00,No se pudo conectar con el servidor a\r\n"
                   "02/02/2026,11:00:00,No se pudo conectar con el servidor b\r\n",
                   {"002: 0 pendientes, 0 con error, sin pendientes, ultimo envio nunca",
                    "errorenvio.txt: 02/02/2026,11:00:00,No se pudo conectar con el servidor b"},
                   kOk + "0 pendientes para 1 destinos" + perf(0, 0, 0, 0, 1),
                   0}),
    [](const auto& info) { return info.param.name; });

struct RefusalCase {
    std::string name;
    std::vector<std::string> args;  // "$S" stands for the server text
    int status;
    std::string outStart;  // the summary line starts so
    std::string stderrPart;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class StatusRefusal : public ::testing::TestWithParam<RefusalCase> {};

// One summary line on standard output for the monitoring system, the details on standard
// error for whoever reads it.
TEST_P(StatusRefusal, SaysWhyOnBothStreams) {
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
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(out.rfind(c.outStart, 0), 0u) << out;
    EXPECT_EQ(out.find('\n'), out.size() - 1) << "one line: " << out;
    EXPECT_EQ(out.find(" | "), std::string::npos) << "no perfdata without facts: " << out;
    EXPECT_NE(err.find(c.stderrPart), std::string::npos) << err;
}

const std::string kUnknown = "ENVIOZVR UNKNOWN - ";
const std::string kCritical = "ENVIOZVR CRITICAL - origen 001: ";

INSTANTIATE_TEST_SUITE_P(
    Arguments, StatusRefusal,
    ::testing::Values(
        RefusalCase{"MissingCompany",
                    {"--status", "$S", "sysdba", "masterkey"},
                    3,
                    kUnknown + "SERVER, USER, PASSWORD and COMPANY are required",
                    "usage: enviozvr --status SERVER USER PASSWORD COMPANY"},
        RefusalCase{"BadStale",
                    {"--status", "$S", "sysdba", "masterkey", "001", "--stale=1h"},
                    3,
                    kUnknown + "--stale needs a whole number of minutes, not '1h'",
                    "--stale needs a whole number of minutes"},
        RefusalCase{"UnknownOption",
                    {"--status", "$S", "sysdba", "masterkey", "001", "--x"},
                    3,
                    kUnknown + "unknown option '--x'",
                    "unknown option '--x'"},
        RefusalCase{"UnknownFormat",
                    {"--status", "$S", "sysdba", "masterkey", "001", "--format=json"},
                    3,
                    kUnknown + "--format of --status is nagios or prometheus, not 'json'",
                    "usage: enviozvr --status"},
        RefusalCase{"OutputWithoutPrometheus",
                    {"--status", "$S", "sysdba", "masterkey", "001", "--output=/tmp/x.prom"},
                    3,
                    kUnknown + "--output goes with --format=prometheus",
                    "usage: enviozvr --status"},
        RefusalCase{"UnknownCompany",
                    {"--status", "$S", "sysdba", "masterkey", "777"},
                    3,
                    kUnknown + "the company 777 is not in COMPANIA",
                    "the company 777 is not in COMPANIA"},
        RefusalCase{"NoGeneralDatabase",
                    {"--status", "$S/nowhere", "sysdba", "masterkey", "001"},
                    2,
                    kCritical + "No se encontró el archivo o la ruta",
                    "No se encontr"},
        RefusalCase{"CompanyWithoutDatabase",
                    {"--status", "$S", "sysdba", "masterkey", "003"},
                    2,
                    "ENVIOZVR CRITICAL - origen 003: No se encontró el archivo o la ruta",
                    "No se encontr"}),
    [](const auto& info) { return info.param.name; });

// An origin server that refuses the connection, one that takes it and never answers (the
// whole check's time, 8 s by default, runs out first), and one that refuses the login are
// each said as such: CRITICAL, never "host not found".
// In the server and the text said: "$C" stands for a server whose port nobody listens on,
// "$S" for the silent relay's, "$R" for the world's folder.
struct UnusableOriginCase {
    const char* name;
    bool viaServer;
    std::string serverPrefix;  // before the databases' folder
    std::string password;      // "" = the world's
    std::string says;
};

class UnusableOrigin : public ::testing::TestWithParam<UnusableOriginCase> {};

TEST_P(UnusableOrigin, IsCriticalAndSaysWhy) {
    const UnusableOriginCase& c = GetParam();
    testing::FreezableRelay silent;
    silent.freeze();
    const auto fill = [&](std::string text, const std::string& root) {
        const std::pair<const char*, std::string> marks[] = {
            {"$C", "127.0.0.1/" + std::to_string(testing::closedPort()) + ":"},
            {"$S", silent.serverText()},
            {"$R", root}};
        for (const auto& [mark, value] : marks)
            if (const auto p = text.find(mark); p != std::string::npos) text.replace(p, 2, value);
        return text;
    };
    SenderWorld w(WorldOptions{.login = false, .viaServer = c.viaServer});
    const std::string server = c.viaServer ? w.server : fill(c.serverPrefix, w.root) + w.root;
    const std::string says = fill(c.says, w.root);
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int status = app::runStatus(
        {"--status", server, "sysdba", c.password.empty() ? w.password : c.password, "001"});
    const std::string out = ::testing::internal::GetCapturedStdout();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 2);
    EXPECT_EQ(out, kCritical + says + "\n");
    EXPECT_NE(err.find(says), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(
    StatusReport, UnusableOrigin,
    ::testing::Values(
        UnusableOriginCase{"NothingListens", false, "$C", "",
                           "el servidor rechaza la conexion (nadie atiende en su puerto)"},
        UnusableOriginCase{"Silent", false, "$S", "",
                           "sin respuesta en 8 s al conectar con la base general $S$R"
                           "/datos/general.fdb"},
        UnusableOriginCase{"LoginRefused", true, "", "not-the-password",
                           "El nombre de Usuario o la clave son incorrectas."}),
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

// An origin that answers the general database but leaves the company database's link
// silent (a server stalled after the login): the check ends within its --timeout, CRITICAL,
// naming the step that got no answer.
TEST(StatusReport, TheWholeCheckEndsWithinItsTimeoutNamingWhatDidNotAnswer) {
    testing::FreezableRelay relay;
    relay.silenceLinksMentioning("/001/nivora.fdb");
    SenderWorld w(WorldOptions{.login = false, .viaServer = true});
    const std::string server = relay.serverText() + w.root;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int status = app::runStatus(
        {"--status", server, testing::serverUser(), w.password, "001", "--timeout=3"});
    const std::string out = ::testing::internal::GetCapturedStdout();
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 2);
    EXPECT_EQ(out, kCritical + "sin respuesta en 3 s al conectar con la base de la compania " +
                       server + "/datos/001/nivora.fdb\n");
}

// A state record that is there but cannot be read (here a folder stands in its place; a
// monitoring account without the right to the file meets the same) is never taken for "no
// record": UNKNOWN, naming the file and the reason, even with a destination down.
TEST(StatusReport, AStateRecordThatCannotBeReadIsUnknownNeverOk) {
    SenderWorld w(false);
    w.listCompany("002", w.server);
    addAged(w, {1, "002", 5});
    std::filesystem::create_directory(w.install.file("enviozvr-001.state"));
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int status = app::runStatus({"--status", w.server, "sysdba", "masterkey", "001"});
    const std::string out = ::testing::internal::GetCapturedStdout();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 3);
    const std::string said = "ENVIOZVR UNKNOWN - the state record " +
                             w.install.file("enviozvr-001.state") + " cannot be read: ";
    EXPECT_EQ(out.rfind(said, 0), 0u) << out;
    EXPECT_NE(err.find("the state record"), std::string::npos) << err;
}

// The password of a check from a file that its group may read: the first line, without
// its line end. A file every user may read, or one that cannot be read, is refused
// (UNKNOWN) before anything is contacted.
TEST(StatusReport, PasswordFromAFileThatOnlyItsGroupMayRead) {
    SenderWorld w(WorldOptions{.login = false, .viaServer = true});
    const std::string file = w.install.file("monitor.password");
    struct Case {
        const char* what;
        std::optional<std::string> content;  // nothing: no file
        mode_t mode;
        int status;
        std::string says;  // part of the summary
    };
    const Case cases[] = {
        {"group-readable", w.password + "\n", 0640, 0, "ENVIOZVR OK - "},
        {"without a line end", w.password, 0600, 0, "ENVIOZVR OK - "},
        {"a wrong one", "not-it\n", 0640, 2, "El nombre de Usuario o la clave son incorrectas."},
        {"readable by all", w.password + "\n", 0644, 3, "every user may read it"},
        {"missing", std::nullopt, 0, 3, "cannot be used: No such file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(file);
        if (c.content) {
            std::ofstream(file, std::ios::binary) << *c.content;
            ::chmod(file.c_str(), c.mode);
        }
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        const int status = app::runStatus(
            {"--status", w.server, testing::serverUser(), "-", "001", "--password-file=" + file});
        const std::string out = ::testing::internal::GetCapturedStdout();
        ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, c.status) << out;
        EXPECT_NE(out.find(c.says), std::string::npos) << out;
    }
}

// A monitoring user of its own needs no more than the rights the documentation gives it:
// SELECT on COMPANIA, REPLICA_EVENTOS and REPLICA_COMPANIA (embedded databases apply the
// rights of the user named).
TEST(StatusReport, AMonitoringUserWithTheDocumentedReadRightsSuffices) {
    SenderWorld w(false);
    w.listCompany("002", w.server);
    addAged(w, {1, "002", 5});
    w.general->exec("GRANT SELECT ON COMPANIA TO MONITOR");
    w.origin->exec(std::vector<std::string>{"GRANT SELECT ON REPLICA_EVENTOS TO MONITOR",
                                            "GRANT SELECT ON REPLICA_COMPANIA TO MONITOR"});
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int status = app::runStatus({"--status", w.server, "monitor", "x", "001"});
    const std::string out = ::testing::internal::GetCapturedStdout();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 0) << out << err;
    EXPECT_EQ(out.rfind(kOk + "1 pendientes para 1 destinos", 0), 0u) << out;
}

// --metrics=FILE, as the packaged timer runs the check: the report on standard output,
// the same facts as Prometheus text in FILE, readable by every user (the textfile
// collector reads it under an account of its own) whatever the umask; an empty FILE
// writes none.
TEST(StatusReport, MetricsFileBesideTheReport) {
    SenderWorld w(false);
    w.listCompany("002", w.server);
    const std::string file = w.install.file("enviozvr-001.prom");
    for (const std::string& option : {"--metrics=" + file, std::string("--metrics=")}) {
        SCOPED_TRACE(option);
        const mode_t old = ::umask(027);
        ::testing::internal::CaptureStdout();
        const int status =
            app::runStatus({"--status", w.server, "sysdba", "masterkey", "001", option});
        const std::string out = ::testing::internal::GetCapturedStdout();
        ::umask(old);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(out.rfind(kOk, 0), 0u) << out;
        if (option == "--metrics=") {
            EXPECT_FALSE(std::filesystem::exists(file));
            continue;
        }
        std::ifstream in(file);
        const std::string text(std::istreambuf_iterator<char>(in), {});
        EXPECT_NE(text.find("enviozvr_status{origin=\"001\"} 0\n"), std::string::npos) << text;
        EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms(0644));
        std::filesystem::remove(file);
    }
}

// When standard output is the journal's stream, the summary carries the priority of its
// state (a WARNING at 4, so that `journalctl -p warning` shows it) and the other lines 6.
TEST(StatusReport, TheSummaryCarriesThePriorityOfItsStateInTheJournal) {
    SenderWorld w(false);
    w.listCompany("002", w.server);
    addAged(w, {1, "002", 90});
    ::testing::internal::CaptureStdout();
    struct stat info {};
    ::fstat(1, &info);
    ::setenv("JOURNAL_STREAM",
             (std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino)).c_str(), 1);
    const int status = app::runStatus({"--status", w.server, "sysdba", "masterkey", "001"});
    ::unsetenv("JOURNAL_STREAM");
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 1);
    EXPECT_EQ(out.rfind("<4>" + kWarning, 0), 0u) << out;
    EXPECT_NE(out.find("\n<6>002: 1 pendientes"), std::string::npos) << out;
    EXPECT_NE(out.find("\n<6>errorenvio.txt: "), std::string::npos) << out;
}

// The usage printed for a bad option names every option the check takes.
TEST(StatusReport, TheUsageOfABadOptionNamesEveryOption) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    app::runStatus({"--status", "s", "u", "p", "001", "--timeout=0"});
    ::testing::internal::GetCapturedStdout();
    const std::string err = ::testing::internal::GetCapturedStderr();
    for (const char* option : {"--stale=", "--format=", "--output=", "--metrics=", "--timeout=",
                               "--password-file=", "--log-dir="})
        EXPECT_NE(err.find(option), std::string::npos) << option << " not in: " << err;
}

}  // namespace
}  // namespace enviozvr::sendertest
