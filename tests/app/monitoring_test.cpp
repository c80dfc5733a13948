// The status check as a monitoring system runs it: the built program as a child process
// over databases of the local server, under the users' locale (es_CO, made for the test with
// localedef), after headless cycles that could not reach a destination and then did; and its
// Prometheus text, read back by the Prometheus client library's own parser (Debian's
// python3-prometheus-client, for Debian's own python3).
#include <gtest/gtest.h>

#include <QDateTime>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "core/staterecord.h"
#include "senderworld.h"
#include "support/childprocess.h"
#include "support/loopback.h"

namespace enviozvr::sendertest {
namespace {

using AppInstance = testing::ApplicationInstance;
using testing::ChildRun;
using testing::linesOf;
using Environment = std::vector<std::pair<std::string, std::string>>;

// Runs `program` with `args` and the variables `env` added to this process's environment.
ChildRun run(const std::string& program, const std::vector<std::string>& args,
             const Environment& env = {}) {
    testing::ChildOptions options{.program = program,
                                  .environment = {{"QT_QPA_PLATFORM", "offscreen"}}};
    options.environment.insert(options.environment.end(), env.begin(), env.end());
    return testing::runChild(args, options);
}

ChildRun enviozvr(const std::vector<std::string>& args, const Environment& env = {}) {
    return run({}, args, env);
}

// The users' locale, compiled into a folder of its own (LOCPATH), so that the machine's
// locales need not be changed.
class UsersLocale {
  public:
    UsersLocale() {
        ok_ = run("localedef",
                  {"-i", "es_CO", "-f", "UTF-8", dir_.path().toStdString() + "/es_CO.UTF-8"})
                  .status == 0;
    }
    bool ok() const { return ok_; }
    Environment env() const {
        return {{"LOCPATH", dir_.path().toStdString()},
                {"LANG", "es_CO.UTF-8"},
                {"LC_ALL", "es_CO.UTF-8"}};
    }

  private:
    QTemporaryDir dir_;
    bool ok_ = false;
};

// True when `bytes` is valid UTF-8 throughout: no raw Windows-1252 byte among them.
bool validUtf8(const std::string& bytes) {
    const QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return !text.contains(QChar::ReplacementCharacter) && text.toUtf8().toStdString() == bytes;
}

// Under es_CO the logs' dates are written as that locale writes them; the check reads the
// state record instead: a destination that is down is seen (WARNING, exit 1), one served
// since is healthy again at once (OK, exit 0), and nothing but UTF-8 reaches the terminal.
TEST(Monitoring, UnderTheUsersLocaleADownDestinationIsSeenAndAServedOneIsHealthyAgain) {
    AppInstance app;
    UsersLocale locale;
    ASSERT_TRUE(locale.ok()) << "localedef could not make es_CO.UTF-8 (package locales)";
    SenderWorld w(WorldOptions{.login = false, .viaServer = true});
    w.addDestination("002");
    w.origin->exec(
        "UPDATE REPLICA_COMPANIA SET RPCO_SERVIDOR = " +
        data::quoted("127.0.0.1/" + std::to_string(testing::closedPort()) + ":" + w.root));
    // Registered now, so that the oldest pending event stays under the hour whatever the
    // time of day the test runs.
    w.addEvent(
        {.id = 1,
         .company = "002",
         .tipo = 1,
         .numero = "1",
         .registeredAt = QTime::currentTime().toString(QStringLiteral("HH:mm:ss")).toStdString()});
    const std::vector<std::string> login{w.server, "sysdba", w.password, "001"};
    auto with = [&](std::vector<std::string> args) {
        args.insert(args.end(), login.begin(), login.end());
        return args;
    };

    const ChildRun down = enviozvr(with({"--headless", "--once"}), locale.env());
    ASSERT_EQ(down.status, 0) << down.err;
    ASSERT_EQ(w.logLines("errorenvio.txt").size(), 1u);
    const ChildRun warning = enviozvr(with({"--status"}), locale.env());
    EXPECT_EQ(warning.status, 1) << warning.out << warning.err;
    EXPECT_TRUE(validUtf8(warning.out)) << warning.out;
    const std::vector<std::string> seen = linesOf(warning.out);
    ASSERT_EQ(seen.size(), 3u) << warning.out;
    EXPECT_TRUE(std::regex_match(
        seen[0], std::regex("ENVIOZVR WARNING - origen 001: sin conexion con 002 \\| pending=1 "
                            "errored=0 oldest_minutes=[0-9]+;60 unreachable=1 destinations=1")))
        << seen[0];
    EXPECT_NE(seen[1].find(", ultimo envio nunca, sin conexion hace 0 min ("), std::string::npos)
        << seen[1];
    EXPECT_EQ(seen[2].rfind("errorenvio.txt: ", 0), 0u) << seen[2];

    // Served again: the log keeps its failure line, the check is healthy at once.
    w.origin->exec("UPDATE REPLICA_COMPANIA SET RPCO_SERVIDOR = " + data::quoted(w.server));
    const ChildRun served = enviozvr(with({"--headless", "--once"}), locale.env());
    ASSERT_EQ(served.status, 0) << served.err;
    ASSERT_EQ(w.state(1), "sent");
    const ChildRun ok = enviozvr(with({"--status"}), locale.env());
    EXPECT_EQ(ok.status, 0) << ok.out << ok.err;
    EXPECT_TRUE(validUtf8(ok.out)) << ok.out;
    const std::vector<std::string> healthy = linesOf(ok.out);
    ASSERT_EQ(healthy.size(), 3u) << ok.out;
    EXPECT_EQ(healthy[0],
              "ENVIOZVR OK - origen 001: 0 pendientes para 1 destinos | pending=0 errored=0 "
              "oldest_minutes=0;60 unreachable=0 destinations=1");
    // The last send in the locale's date and time, in UTF-8.
    EXPECT_EQ(healthy[1].rfind("002: 0 pendientes, 0 con error, sin pendientes, ultimo envio ", 0),
              0u)
        << healthy[1];
    EXPECT_EQ(healthy[1].find("nunca"), std::string::npos) << healthy[1];
    EXPECT_EQ(healthy[1].find("sin conexion"), std::string::npos) << healthy[1];
}

// The samples of a Prometheus text file as the Prometheus client library parses them: a
// "TYPE <family> <type>" line per family, then "<name>{<labels sorted>} <value>" lines.
const char* const kParse = R"(
import sys
from prometheus_client.parser import text_string_to_metric_families
text = open(sys.argv[1], encoding='utf-8').read()
for family in text_string_to_metric_families(text):
    print('TYPE', family.name, family.type)
    for s in family.samples:
        labels = ','.join('%s="%s"' % kv for kv in sorted(s.labels.items()))
        v = s.value
        print('%s{%s} %s' % (s.name, labels, int(v) if v == int(v) else v))
)";

ChildRun parsed(const std::string& file) { return run("/usr/bin/python3", {"-c", kParse, file}); }

// The same facts as Prometheus text, replaced whole in the file node_exporter reads:
// queue, last attempt, last success and reachability per destination; the origin down
// when it is, instead of a file left telling of a past state.
TEST(Monitoring, PrometheusTextIsReadByTheClientLibrarysParser) {
    AppInstance app;
    SenderWorld w(WorldOptions{.login = false, .viaServer = true});
    w.listCompany("002", w.server);
    w.listCompany("004", w.server, "N");  // switched off: left out
    w.addEvent({.id = 1, .company = "002", .numero = "1", .registeredDaysAgo = 1});
    w.addEvent({.id = 2, .company = "002", .numero = "2", .error = "rechazado"});
    w.addEvent({.id = 3, .company = "004", .numero = "3"});
    // 2026-12-10T09:58:01Z, and five minutes later.
    const std::int64_t success = 1796896681;
    const std::int64_t failure = success + 300;
    core::recordDestinationAttempt("001", "002", true, "", success);
    core::recordDestinationAttempt("001", "002", false, "conexion perdida", failure);

    QTemporaryDir textfiles;
    const std::string file = textfiles.path().toStdString() + "/enviozvr.prom";
    {
        std::ofstream old(file);
        old << "enviozvr_up{origin=\"001\"} 1\n";
    }
    const ChildRun check = enviozvr({"--status", "--format=prometheus", "--output=" + file,
                                     w.server, "sysdba", w.password, "001"});
    EXPECT_EQ(check.status, 1) << check.out << check.err;
    EXPECT_EQ(check.out.rfind("ENVIOZVR WARNING - origen 001: sin conexion con 002; 1 con error "
                              "para 002; pendientes de mas de 60 min para 002 | pending=1 "
                              "errored=1 oldest_minutes=",
                              0),
              0u)
        << check.out;
    const ChildRun up = parsed(file);
    ASSERT_EQ(up.status, 0) << up.err;
    std::vector<std::string> samples = linesOf(up.out);
    // The age of the oldest pending event: registered yesterday at 08:00.
    const std::string agePrefix =
        "enviozvr_oldest_pending_age_seconds{destination=\"002\",origin=\"001\"} ";
    for (std::string& s : samples) {
        if (s.rfind(agePrefix, 0) != 0) continue;
        const long age = std::stol(s.substr(agePrefix.size()));
        EXPECT_GT(age, 16 * 3600) << s;
        EXPECT_LT(age, 2 * 86400) << s;
        s = agePrefix + "AGE";
    }
    const std::string d = "{destination=\"002\",origin=\"001\"} ";
    EXPECT_EQ(samples, (std::vector<std::string>{
                           "TYPE enviozvr_up gauge",
                           "enviozvr_up{origin=\"001\"} 1",
                           "TYPE enviozvr_status gauge",
                           "enviozvr_status{origin=\"001\"} 1",
                           "TYPE enviozvr_pending_events gauge",
                           "enviozvr_pending_events" + d + "1",
                           "TYPE enviozvr_errored_events gauge",
                           "enviozvr_errored_events" + d + "1",
                           "TYPE enviozvr_oldest_pending_age_seconds gauge",
                           agePrefix + "AGE",
                           "TYPE enviozvr_last_attempt_timestamp_seconds gauge",
                           "enviozvr_last_attempt_timestamp_seconds" + d + std::to_string(failure),
                           "TYPE enviozvr_last_success_timestamp_seconds gauge",
                           "enviozvr_last_success_timestamp_seconds" + d + std::to_string(success),
                           "TYPE enviozvr_destination_reached gauge",
                           "enviozvr_destination_reached" + d + "0",
                       }));

    // The origin refuses the connection: CRITICAL, and the file says the origin is down
    // with what the state record still tells.
    const ChildRun refused =
        enviozvr({"--status", "--format=prometheus", "--output=" + file,
                  "127.0.0.1/" + std::to_string(testing::closedPort()) + ":" + w.root, "sysdba",
                  w.password, "001"});
    EXPECT_EQ(refused.status, 2) << refused.out << refused.err;
    EXPECT_EQ(refused.out,
              "ENVIOZVR CRITICAL - origen 001: el servidor rechaza la conexion (nadie atiende en "
              "su puerto)\n");
    const ChildRun down = parsed(file);
    ASSERT_EQ(down.status, 0) << down.err;
    EXPECT_EQ(linesOf(down.out),
              (std::vector<std::string>{
                  "TYPE enviozvr_up gauge",
                  "enviozvr_up{origin=\"001\"} 0",
                  "TYPE enviozvr_status gauge",
                  "enviozvr_status{origin=\"001\"} 2",
                  "TYPE enviozvr_last_attempt_timestamp_seconds gauge",
                  "enviozvr_last_attempt_timestamp_seconds" + d + std::to_string(failure),
                  "TYPE enviozvr_last_success_timestamp_seconds gauge",
                  "enviozvr_last_success_timestamp_seconds" + d + std::to_string(success),
                  "TYPE enviozvr_destination_reached gauge",
                  "enviozvr_destination_reached" + d + "0",
              }));
    // Replaced whole each time: nothing but the file is left in its folder.
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(textfiles.path().toStdString()))
        files.push_back(e.path().filename().string());
    EXPECT_EQ(files, std::vector<std::string>{"enviozvr.prom"});

    // Without standard output's report, the text itself goes there.
    const ChildRun plain =
        enviozvr({"--status", "--format=prometheus", w.server, "sysdba", w.password, "001"});
    EXPECT_EQ(plain.status, 1);
    EXPECT_EQ(plain.out.rfind("# HELP enviozvr_up ", 0), 0u) << plain.out;

    // A file that cannot be written is the check's own failure: UNKNOWN.
    const ChildRun nowhere =
        enviozvr({"--status", "--format=prometheus", "--output=" + file + "/no/such/folder.prom",
                  w.server, "sysdba", w.password, "001"});
    EXPECT_EQ(nowhere.status, 3) << nowhere.out;
    EXPECT_EQ(nowhere.out.rfind("ENVIOZVR UNKNOWN - the metrics file " + file +
                                    "/no/such/folder.prom cannot be written: ",
                                0),
              0u)
        << nowhere.out;
}

}  // namespace
}  // namespace enviozvr::sendertest
