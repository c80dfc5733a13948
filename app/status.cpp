#include "app/status.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>

#include "app/consoletext.h"
#include "app/serviceargs.h"
#include "app/signals.h"
#include "app/verify.h"
#include "core/localfiles.h"
#include "core/messages.h"
#include "core/staterecord.h"
#include "core/unhandled.h"
#include "data/connection.h"
#include "data/errors.h"
#include "data/value.h"
#include "sender/attachmentguard.h"
#include "sender/maindata.h"

namespace enviozvr::app {

namespace {

const char* const kUsage =
    "usage: enviozvr --status SERVER USER PASSWORD COMPANY [--stale=MINUTES]\n"
    "                [--format=nagios|prometheus] [--output=FILE]\n"
    "  a summary line (ENVIOZVR OK|WARNING|CRITICAL|UNKNOWN - ... | perfdata), one line\n"
    "  per destination company (pending events, pending events with an error, the age of\n"
    "  the oldest pending event, the last send, a failed last attempt), then the last line\n"
    "  of errorenvio.txt. --format=prometheus prints the same facts as Prometheus text;\n"
    "  with --output=FILE it replaces FILE with them at once and prints the report.\n"
    "  A PASSWORD of '-' is read from ENVIOZVR_PASSWORD.\n"
    "  Exit status: 0 OK; 1 WARNING: a destination has events with an error, a pending\n"
    "  event older than MINUTES (default 60) or was not reached at its last attempt;\n"
    "  2 CRITICAL: the origin cannot be reached or refuses the login; 3 UNKNOWN: bad\n"
    "  arguments or no usable installation directory\n";

enum Health { kOk = 0, kWarning = 1, kCritical = 2, kUnknown = 3 };

const char* healthName(int health) {
    switch (health) {
        case kOk:
            return "OK";
        case kWarning:
            return "WARNING";
        case kCritical:
            return "CRITICAL";
        default:
            return "UNKNOWN";
    }
}

// The summary line of a monitoring plugin: "ENVIOZVR <STATE> - <text>[ | <perfdata>]".
std::string summaryLine(int health, const std::string& text, const std::string& perfdata = {}) {
    std::string line = std::string("ENVIOZVR ") + healthName(health) + " - " + text;
    if (!perfdata.empty()) line += " | " + perfdata;
    return line;
}

struct StatusArgs {
    std::vector<std::string> positional;
    long staleMinutes = 60;
    bool prometheus = false;
    std::string output;  // as typed, in the locale's encoding
};

// The arguments, or the reason they cannot be used.
std::optional<StatusArgs> parseArgs(const std::vector<std::string>& args, std::string& problem) {
    StatusArgs s;
    for (const std::string& a : args) {
        if (a == "--status") continue;
        if (a.rfind("--stale=", 0) == 0) {
            const std::string v = a.substr(8);
            const bool digits = !v.empty() && v.size() <= 9 &&
                                v.find_first_not_of("0123456789") == std::string::npos;
            if (digits)
                s.staleMinutes = std::stol(v);
            else
                problem = "--stale needs a whole number of minutes, not '" + v + "'";
        } else if (a.rfind("--format=", 0) == 0) {
            const std::string v = a.substr(9);
            if (v == "prometheus" || v == "nagios")
                s.prometheus = v == "prometheus";
            else
                problem = "--format of --status is nagios or prometheus, not '" + v + "'";
        } else if (a.rfind("--output=", 0) == 0) {
            s.output = a.substr(9);
            if (s.output.empty()) problem = "--output needs a file name";
        } else if (a.rfind("--", 0) == 0) {
            problem = "unknown option '" + a + "'";
        } else {
            s.positional.push_back(a);
        }
        if (!problem.empty()) return std::nullopt;
    }
    if (s.positional.size() != 4)
        problem = "SERVER, USER, PASSWORD and COMPANY are required, and nothing more";
    else if (s.positional[3].empty())
        problem = "COMPANY must not be empty";
    else if (!s.output.empty() && !s.prometheus)
        problem = "--output goes with --format=prometheus";
    if (!problem.empty()) return std::nullopt;
    return s;
}

struct Destination {
    long pending = 0;
    long errored = 0;
    std::optional<long> oldestMinutes;
    std::optional<long> oldestSeconds;
    std::optional<data::Timestamp> lastSent;
    bool active = false;
    bool listed = false;  // has a REPLICA_COMPANIA row, active or not
    std::optional<core::DestinationState> state;
    // Its last attempt failed and events still wait for it.
    bool unreachable() const { return state && !state->reached && pending + errored > 0; }
    // A destination switched off in REPLICA_COMPANIA is nobody's concern here.
    bool shown() const { return !listed || active; }
};

const char* const kQueueByDestination =
    "SELECT RPEV_COMPANIA, "
    "SUM(IIF(RPEV_FECREP IS NULL AND RPEV_ERROR IS NULL, 1, 0)), "
    "SUM(IIF(RPEV_FECREP IS NULL AND RPEV_ERROR IS NOT NULL, 1, 0)), "
    "DATEDIFF(MINUTE FROM MIN(IIF(RPEV_FECREP IS NULL, "
    "RPEV_FECREG + COALESCE(RPEV_HORAREG, TIME '00:00:00'), NULL)) TO CURRENT_TIMESTAMP), "
    "MAX(RPEV_FECREP + COALESCE(RPEV_HORAREP, TIME '00:00:00')), "
    "DATEDIFF(SECOND FROM MIN(IIF(RPEV_FECREP IS NULL, "
    "RPEV_FECREG + COALESCE(RPEV_HORAREG, TIME '00:00:00'), NULL)) TO CURRENT_TIMESTAMP) "
    "FROM REPLICA_EVENTOS WHERE RPEV_COMPANIA <> '' GROUP BY RPEV_COMPANIA";
const char* const kListedDestinations =
    "SELECT TRIM(RPCO_COD), MAX(IIF(RPCO_ACTIVA = 'S', 1, 0)) FROM REPLICA_COMPANIA "
    "GROUP BY 1";

std::map<std::string, Destination> readDestinations(data::Connection& company) {
    std::map<std::string, Destination> out;
    auto queue = company.open(kQueueByDestination);
    while (queue->fetch()) {
        Destination& d = out[queue->value(0).toText()];
        d.pending = static_cast<long>(queue->value(1).asInteger());
        d.errored = static_cast<long>(queue->value(2).asInteger());
        // An event registered by a workstation whose clock is ahead of the server's is
        // not older than now.
        if (const data::Value age = queue->value(3); !age.isNull())
            d.oldestMinutes = std::max(0L, static_cast<long>(age.asInteger()));
        if (const data::Value last = queue->value(4); !last.isNull())
            d.lastSent = last.asTimestamp();
        if (const data::Value age = queue->value(5); !age.isNull())
            d.oldestSeconds = std::max(0L, static_cast<long>(age.asInteger()));
    }
    queue->close();
    auto listed = company.open(kListedDestinations);
    while (listed->fetch()) {
        Destination& d = out[listed->value(0).toText()];
        d.listed = true;
        d.active = listed->value(1).asInteger() == 1;
    }
    listed->close();
    return out;
}

// The last line of errorenvio.txt, without its line end; empty when there is none or it
// cannot be read.
std::string lastConnectionFailureLine() {
    std::string bytes;
    try {
        std::ifstream in(core::logFile("errorenvio.txt"), std::ios::binary);
        if (!in) return {};
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::exception&) {
        return {};
    }
    std::istringstream lines(bytes);
    std::string last;
    for (std::string line; std::getline(lines, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
        if (!line.empty()) last = line;
    }
    return last;
}

// Why the origin (its general or its company database) could not be used: a server that
// refuses the connection or does not answer is said to do so, a refused login as such.
std::string originFailure(const std::exception& e) {
    const std::string text = e.what();
    const auto* db = dynamic_cast<const data::DatabaseError*>(&e);
    if (db && db->connectionLost() && text.find("no answer within") != std::string::npos)
        return "el servidor no responde (sin respuesta al conectar en " +
               std::to_string(sender::kDestinationConnectTimeout.count()) + " s)";
    // The client's wording when the host is known but its port takes no connection ("Failed
    // to locate host machine" is a name that is not known: "host not found" fits that one).
    if (text.find("Failed to establish a connection") != std::string::npos)
        return "el servidor rechaza la conexion (nadie atiende en su puerto)";
    return core::translateErrorMessage(text);
}

std::string minutesSince(std::int64_t then) {
    const std::int64_t now = QDateTime::currentSecsSinceEpoch();
    return std::to_string(std::max<std::int64_t>(0, now - then) / 60);
}

// "a, b y c"-free joining: the codes with commas.
std::string joined(const std::vector<std::string>& items, const char* separator) {
    std::string out;
    for (const std::string& i : items) {
        if (!out.empty()) out += separator;
        out += i;
    }
    return out;
}

// ---- Prometheus exposition text ---------------------------------------------------

// A label value: UTF-8, with backslash, double quote and line feed escaped.
std::string labelValue(const std::string& windows1252) {
    std::string out;
    for (const char c : encodingFromWindows1252(windows1252, "UTF-8")) {
        if (c == '\\' || c == '"') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out;
}

class Exposition {
  public:
    explicit Exposition(const std::string& origin) : origin_(labelValue(origin)) {}

    // Starts a metric family.
    void family(const std::string& name, const std::string& help) {
        name_ = name;
        text_ += "# HELP " + name + " " + help + "\n# TYPE " + name + " gauge\n";
    }
    void sample(long long value) {
        text_ += name_ + "{origin=\"" + origin_ + "\"} " + std::to_string(value) + "\n";
    }
    void sample(const std::string& destination, long long value) {
        text_ += name_ + "{origin=\"" + origin_ + "\",destination=\"" + labelValue(destination) +
                 "\"} " + std::to_string(value) + "\n";
    }
    const std::string& text() const { return text_; }

  private:
    std::string origin_;
    std::string name_;
    std::string text_;
};

// The facts of the check as metrics. `reached`: the origin's queue could be read (the
// destinations then come with their queue; otherwise only what the state record says).
std::string metricsText(const std::string& origin, int health, bool reached,
                        const std::map<std::string, Destination>& destinations) {
    Exposition m(origin);
    m.family("enviozvr_up", "Whether the check could read the origin company's queue.");
    m.sample(reached ? 1 : 0);
    m.family("enviozvr_status",
             "The check's state: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN (as its exit status).");
    m.sample(health);
    std::vector<std::pair<std::string, const Destination*>> shown;
    for (const auto& [code, d] : destinations)
        if (d.shown()) shown.emplace_back(code, &d);
    if (reached) {
        m.family("enviozvr_pending_events",
                 "Pending events without an error, by destination company.");
        for (const auto& [code, d] : shown) m.sample(code, d->pending);
        m.family("enviozvr_errored_events",
                 "Pending events that carry an error, by destination company.");
        for (const auto& [code, d] : shown) m.sample(code, d->errored);
        m.family("enviozvr_oldest_pending_age_seconds",
                 "Age of the oldest pending event by the origin server's clock (0: none).");
        for (const auto& [code, d] : shown) m.sample(code, d->oldestSeconds.value_or(0));
    }
    m.family("enviozvr_last_attempt_timestamp_seconds",
             "Unix time of the last attempt to serve the destination.");
    for (const auto& [code, d] : shown)
        if (d->state) m.sample(code, d->state->lastAttempt);
    m.family("enviozvr_last_success_timestamp_seconds",
             "Unix time the destination was last reached and served.");
    for (const auto& [code, d] : shown)
        if (d->state && d->state->lastSuccess > 0) m.sample(code, d->state->lastSuccess);
    m.family("enviozvr_destination_reached",
             "Whether the last attempt reached the destination (1) or not (0).");
    for (const auto& [code, d] : shown)
        if (d->state) m.sample(code, d->state->reached ? 1 : 0);
    // The last verification of the destinations (enviozvr --verify, or headless's own).
    if (const std::optional<VerifyRecord> v = readVerifyRecord(origin)) {
        m.family("enviozvr_verify_last_timestamp_seconds",
                 "Unix time the destinations were last verified.");
        m.sample(v->at);
        m.family("enviozvr_verify_out_of_line_documents",
                 "Documents the last verification found out of line.");
        m.sample(v->outOfLine);
        m.family("enviozvr_verify_repaired_documents_total",
                 "Documents the last verification's repair brought in line.");
        m.sample(v->repaired);
    }
    return m.text();
}

// Replaces the file named `output` (in the locale's encoding) with `text` at once; empty
// text when done, otherwise the reason.
std::string replaceFile(const std::string& output, const std::string& text) {
    QSaveFile file(QFile::decodeName(output.c_str()));
    if (file.open(QIODevice::WriteOnly) &&
        file.write(text.data(), static_cast<qint64>(text.size())) ==
            static_cast<qint64>(text.size()) &&
        file.commit())
        return {};
    return file.errorString().toStdString();
}

}  // namespace

int runStatus(const std::vector<std::string>& args) {
    std::string problem;
    const std::optional<StatusArgs> parsed = parseArgs(args, problem);
    if (!parsed) {
        std::cout << consoleText(summaryLine(kUnknown, argumentText(problem))) << std::endl;
        std::cerr << "enviozvr: " << problem << "\n" << kUsage;
        return kUnknown;
    }
    const StatusArgs& a = *parsed;
    const std::string& company = a.positional[3];

    // Nothing is held or written here: a stop signal ends the check at once.
    stopEndsTheProcess();
    core::setUserMessageHandler(
        [](const std::string& text) { std::cerr << consoleText(text) << "\n"; });
    struct RestoreHandler {
        ~RestoreHandler() { core::setUserMessageHandler({}); }
    } restoreHandler;

    // Whatever else comes out, the metrics file says it: a file left as it was would keep
    // telling of a past state.
    std::map<std::string, Destination> destinations;
    const auto finish = [&](int health, bool reached, const std::string& text,
                            const std::string& perfdata, const std::string& details) -> int {
        if (a.prometheus && a.output.empty()) {
            std::cout << metricsText(company, health, reached, destinations) << std::flush;
            return health;
        }
        if (!a.output.empty()) {
            const std::string failure =
                replaceFile(a.output, metricsText(company, health, reached, destinations));
            if (!failure.empty()) {
                std::cout << consoleText(summaryLine(kUnknown,
                                                     "the metrics file " + argumentText(a.output) +
                                                         " cannot be written: " +
                                                         windows1252FromEncoding(failure, "UTF-8")))
                          << "\n"
                          << details << std::flush;
                return kUnknown;
            }
        }
        std::cout << consoleText(summaryLine(health, text, perfdata)) << "\n"
                  << details << std::flush;
        return health;
    };

    // Without an installation directory there is no state record to read: whether the
    // destinations were reached cannot be told.
    if (const std::string unusable = core::installationDirectoryProblem(); !unusable.empty()) {
        std::cerr << consoleText(unusable) << "\n";
        return finish(kUnknown, false, unusable, {}, {});
    }

    sender::MainData data;
    // The check must answer even when the origin does not: the same limits as a
    // destination of the send cycle, and a lock on a row it reads cannot hold it.
    for (data::Connection* c : {&data.DbGeneral, &data.DbCia})
        c->setTimeouts(sender::kDestinationConnectTimeout, sender::kDestinationStallLimit);
    const core::StateRecord record = core::readStateRecord(company);
    const auto withRecord = [&] {
        for (const auto& [code, state] : record) destinations[code].state = state;
    };
    const auto originDown = [&](const std::exception& e) -> int {
        const std::string reason = originFailure(e);
        std::cerr << consoleText(reason) << "\n";
        withRecord();
        return finish(kCritical, false, "origen " + company + ": " + reason, {}, {});
    };
    try {
        data.loginAutomatic(a.positional[0], a.positional[1], passwordArgument(a.positional[2]));
    } catch (const std::exception& e) {
        return originDown(e);
    }
    try {
        if (data.companyName(company).empty()) {
            const std::string text = "the company " + company + " is not in COMPANIA";
            std::cerr << "enviozvr: " << consoleText(text) << "\n";
            return finish(kUnknown, false, text, {}, {});
        }
        data.selectCompany(company);
        destinations = readDestinations(data.DbCia);
    } catch (const std::exception& e) {
        destinations.clear();
        return originDown(e);
    }
    withRecord();

    long pending = 0;
    long errored = 0;
    long oldest = 0;
    long shownCount = 0;
    std::vector<std::string> unreachable;
    std::vector<std::string> waiting;  // of them, held back by an attachment left there
    std::vector<std::string> withError;
    std::vector<std::string> stale;
    std::string details;
    for (const auto& [code, d] : destinations) {
        if (!d.shown()) continue;
        ++shownCount;
        pending += d.pending;
        errored += d.errored;
        oldest = std::max(oldest, d.oldestMinutes.value_or(0));
        std::string line = code + ": " + std::to_string(d.pending) + " pendientes, " +
                           std::to_string(d.errored) + " con error, ";
        if (d.oldestMinutes)
            line += "mas antiguo hace " + std::to_string(*d.oldestMinutes) + " min";
        else
            line += "sin pendientes";
        line += ", ultimo envio ";
        if (d.lastSent)
            line +=
                data::shortDateText(d.lastSent->date) + " " + data::longTimeText(d.lastSent->time);
        else
            line += "nunca";
        if (!d.active) line += " (sin servidor activo)";
        if (d.unreachable() && d.state->reason == sender::kLeftAttachmentWaits) {
            // Reached, but held back while a request of an ended run may still commit there.
            const std::int64_t since =
                d.state->reasonSince > 0 ? d.state->reasonSince : d.state->lastAttempt;
            line += ", en espera hace " + minutesSince(since) + " min (" + d.state->reason + ")";
            unreachable.push_back(code);
            waiting.push_back(code);
        } else if (d.unreachable()) {
            line += ", sin conexion hace " + minutesSince(d.state->lastAttempt) + " min";
            if (!d.state->reason.empty()) line += " (" + d.state->reason + ")";
            unreachable.push_back(code);
        }
        details += consoleText(line) + "\n";
        if (d.errored > 0) withError.push_back(code);
        if (d.oldestMinutes && *d.oldestMinutes > a.staleMinutes) stale.push_back(code);
    }
    const std::string last = lastConnectionFailureLine();
    details +=
        "errorenvio.txt: " + (last.empty() ? std::string("sin lineas") : consoleText(last)) + "\n";
    if (const std::optional<VerifyRecord> v = readVerifyRecord(company))
        details += "verificacion: hace " + minutesSince(v->at) + " min, " +
                   std::to_string(v->compared) + " comparados, " + std::to_string(v->outOfLine) +
                   " fuera de linea, " + std::to_string(v->repaired) + " reparados, " +
                   std::to_string(v->unreachable) + " destinos sin conexion\n";

    std::string text = "origen " + company + ": ";
    std::vector<std::string> problems;
    std::vector<std::string> down;
    for (const std::string& code : unreachable)
        if (std::find(waiting.begin(), waiting.end(), code) == waiting.end()) down.push_back(code);
    if (!down.empty()) problems.push_back("sin conexion con " + joined(down, ", "));
    if (!waiting.empty())
        problems.push_back("en espera de una conexion abandonada en " + joined(waiting, ", "));
    if (!withError.empty())
        problems.push_back(std::to_string(errored) + " con error para " + joined(withError, ", "));
    if (!stale.empty())
        problems.push_back("pendientes de mas de " + std::to_string(a.staleMinutes) + " min para " +
                           joined(stale, ", "));
    const int health = problems.empty() ? kOk : kWarning;
    if (problems.empty())
        text += std::to_string(pending) + " pendientes para " + std::to_string(shownCount) +
                " destinos" +
                (pending + errored > 0 ? ", mas antiguo hace " + std::to_string(oldest) + " min"
                                       : std::string());
    else
        text += joined(problems, "; ");
    const std::string perfdata =
        "pending=" + std::to_string(pending) + " errored=" + std::to_string(errored) +
        " oldest_minutes=" + std::to_string(oldest) + ";" + std::to_string(a.staleMinutes) +
        " unreachable=" + std::to_string(unreachable.size()) +
        " destinations=" + std::to_string(shownCount);
    return finish(health, true, text, perfdata, details);
}

}  // namespace enviozvr::app
