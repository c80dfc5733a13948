#include "app/status.h"

#include <QDateTime>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>

#include "app/checkoutput.h"
#include "app/consoletext.h"
#include "app/options.h"
#include "app/serviceargs.h"
#include "app/signals.h"
#include "app/verify.h"
#include "core/journal.h"
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

// The whole check's time by default: under the 10 s after which check_nrpe (and the
// monitoring plugins' own default) gives up, with room for the program's start.
constexpr std::chrono::seconds kDefaultStatusTimeout{8};

struct StatusArgs {
    std::vector<std::string> positional;
    long staleMinutes = 60;
    bool prometheus = false;
    std::string output;  // as typed, in the locale's encoding
    bool report = true;  // the report goes to standard output (not the metrics)
    std::chrono::seconds timeout = kDefaultStatusTimeout;
    std::string passwordFile;  // as typed
};

// The arguments, or the reason they cannot be used.
std::optional<StatusArgs> parseArgs(const std::vector<std::string>& args, std::string& problem) {
    StatusArgs s;
    bool metrics = false;  // --metrics: the report, and the metrics into the file named
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
            if (!s.output.empty()) problem = "--output and --metrics name one file; give one";
            s.output = a.substr(9);
            if (s.output.empty()) problem = "--output needs a file name";
        } else if (a.rfind("--metrics=", 0) == 0) {
            if (!s.output.empty()) problem = "--output and --metrics name one file; give one";
            s.output = a.substr(10);
            metrics = true;
        } else if (a.rfind("--timeout=", 0) == 0) {
            if (const auto v = secondsOption(a.substr(10)))
                s.timeout = *v;
            else
                problem = "--timeout needs a whole number of seconds from 1 to 86400, not '" +
                          a.substr(10) + "'";
        } else if (a.rfind("--password-file=", 0) == 0) {
            s.passwordFile = a.substr(16);
            if (s.passwordFile.empty()) problem = "--password-file needs a file name";
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
    else if (!s.output.empty() && !s.prometheus && !metrics)
        problem = "--output goes with --format=prometheus";
    else if (metrics && s.prometheus)
        problem = "--metrics goes without --format=prometheus (it prints the report)";
    else if (!s.passwordFile.empty() && s.positional[2] != "-")
        problem = "--password-file goes with a PASSWORD of '-'";
    if (!problem.empty()) return std::nullopt;
    s.report = !s.prometheus || !s.output.empty();
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

// "errorenvio.txt: " and the last line of that log, without its line end: "sin lineas"
// when the log is missing or empty, "no se puede leer (<reason>)" when it cannot be read
// (the log of a service is not meant for every account).
std::string lastConnectionFailureLine() {
    const std::string path = [] {
        try {
            return core::logFile("errorenvio.txt");
        } catch (const std::exception&) {
            return std::string();
        }
    }();
    const std::string lead = "errorenvio.txt: ";
    std::FILE* file = path.empty() ? nullptr : std::fopen(path.c_str(), "rb");
    if (!file) {
        if (path.empty() || errno == ENOENT) return lead + "sin lineas";
        return lead + "no se puede leer (" + std::strerror(errno) + ")";
    }
    std::string bytes;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        bytes.append(buffer, n);
    const bool failed = std::ferror(file) != 0;
    const int error = errno;
    std::fclose(file);
    if (failed) return lead + "no se puede leer (" + std::strerror(error) + ")";
    std::istringstream lines(bytes);
    std::string last;
    for (std::string line; std::getline(lines, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
        if (!line.empty()) last = line;
    }
    return lead + (last.empty() ? std::string("sin lineas") : last);
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

// The time the whole check may take (--timeout). Each step toward the origin gets the
// connect and stall limits of what is left of it, so that the check answers, CRITICAL
// with the step that did not, before the agent that runs it gives up. A stalled request
// is cancelled at its limit and given as long again (see data/internal/timeouts.h) before
// its link is closed: half of what is left covers both.
class CheckTime {
  public:
    using Clock = std::chrono::steady_clock;

    explicit CheckTime(std::chrono::seconds total) : total_(total), end_(Clock::now() + total) {}

    // Sets `c`'s limits for the step that `step` names ("al conectar con ..."); false
    // when no whole second is left for it.
    bool limit(data::Connection& c, const std::string& step) {
        step_ = step;
        const auto left = std::chrono::duration_cast<std::chrono::seconds>(end_ - Clock::now());
        if (left.count() < 1) return false;
        const std::chrono::seconds connect = std::min(sender::kDestinationConnectTimeout, left);
        const std::chrono::seconds stall = std::min<std::chrono::seconds>(
            sender::kDestinationStallLimit,
            std::max<std::chrono::seconds>(std::chrono::seconds(1), left / 2));
        bounded_ =
            connect < sender::kDestinationConnectTimeout || stall < sender::kDestinationStallLimit;
        c.setTimeouts(connect, stall);
        return true;
    }

    // True when `error` (of the step on `c`) is a limit of the check's time running out
    // rather than the usual limits of a connection.
    bool ranOut(const std::exception& error, const data::Connection& c) const {
        if (!bounded_) return false;
        const auto* db = dynamic_cast<const data::DatabaseError*>(&error);
        return c.stalled() ||
               (db && db->connectionLost() &&
                std::string(error.what()).find("no answer within") != std::string::npos);
    }

    // "sin respuesta en S s <step>".
    std::string noAnswer() const {
        return "sin respuesta en " + std::to_string(total_.count()) + " s " + step_;
    }

  private:
    std::chrono::seconds total_;
    Clock::time_point end_;
    std::string step_;
    bool bounded_ = false;
};

// What the check read of the origin. `failure` is set when the queue could not be read:
// the state it makes (CRITICAL or UNKNOWN), the text of the summary line and the line
// said on standard error.
struct Failure {
    int health = kUnknown;
    std::string text;
    std::string said;
};
struct Reading {
    std::optional<Failure> failure;
    std::map<std::string, Destination> destinations;  // with what the state record says
    core::StateRecordReading record;
};

// Logs in, opens the origin company database and reads its queue and the state record,
// each step toward the origin within what is left of `time`.
Reading readOrigin(const StatusArgs& a, CheckTime& time) {
    const std::string& company = a.positional[3];
    Reading r;
    const auto failed = [&](int health, const std::string& text, const std::string& said) {
        r.failure = Failure{health, text, said};
        return std::move(r);
    };
    // Without an installation directory there is no state record to read: whether the
    // destinations were reached cannot be told.
    if (const std::string unusable = core::installationDirectoryProblem(); !unusable.empty())
        return failed(kUnknown, unusable, unusable);
    std::string password;
    if (!a.passwordFile.empty()) {
        std::string unreadable;
        const std::optional<std::string> kept = passwordFromFile(a.passwordFile, unreadable);
        if (!kept) {
            const std::string text = "the password file " + argumentText(a.passwordFile) +
                                     " cannot be used: " + argumentText(unreadable);
            return failed(kUnknown, text, "enviozvr: " + text);
        }
        password = *kept;
    } else {
        password = passwordArgument(a.positional[2]);
    }

    sender::MainData data;
    r.record = core::readStateRecordFile(company);
    const auto withRecord = [&] {
        for (const auto& [code, state] : r.record.record) r.destinations[code].state = state;
    };
    // The origin cannot be used: CRITICAL, with what the record says of the destinations.
    const auto originDown = [&](const std::string& reason) {
        r.destinations.clear();
        withRecord();
        return failed(kCritical, "origen " + company + ": " + reason, reason);
    };
    const auto downBy = [&](const std::exception& e, const data::Connection& c) {
        return originDown(time.ranOut(e, c) ? time.noAnswer()
                                            : originFailureReason(e, c.connectTimeout()));
    };
    // A step that finds no time left is said as one that did not answer.
    const auto outOfTime = [&] { return originDown(time.noAnswer()); };
    const std::string server = a.positional[0];
    const std::string generalPath = sender::generalDatabasePath(server);
    try {
        if (!time.limit(data.DbGeneral, "al conectar con la base general " + generalPath))
            return outOfTime();
        data.loginAutomatic(server, a.positional[1], password);
    } catch (const std::exception& e) {
        return downBy(e, data.DbGeneral);
    }
    data::Connection* step = &data.DbGeneral;
    try {
        if (!time.limit(data.DbGeneral, "al leer COMPANIA de la base general")) return outOfTime();
        if (data.companyName(company).empty()) {
            const std::string text = "the company " + company + " is not in COMPANIA";
            return failed(kUnknown, text, "enviozvr: " + text);
        }
        // The check reads only the queue and the destinations' list: not the company's
        // agencies, which selecting it for sending reads.
        step = &data.DbCia;
        if (!time.limit(data.DbCia, "al conectar con la base de la compania " +
                                        sender::companyDatabasePath(server, company)))
            return outOfTime();
        data.connectCompany(company);
        if (!time.limit(data.DbCia, "al leer la cola de la base de la compania"))
            return outOfTime();
        r.destinations = readDestinations(data.DbCia);
    } catch (const std::exception& e) {
        return downBy(e, *step);
    }
    withRecord();
    return r;
}

// What the check makes of one destination shown.
struct Concerns {
    bool down = false;     // its last attempt failed while events wait for it
    bool waiting = false;  // of those, held back by an attachment an ended run left there
    bool errored = false;  // pending events that carry an error
    bool stale = false;    // a pending event older than --stale
};

// The health of the origin's queue, decided once: the state, the summary line's text and
// perfdata, the line said on standard error (CRITICAL and UNKNOWN), and the concerns per
// destination shown. The report, the plugin line, the journal priority and the metrics
// read it.
struct Verdict {
    int health = kOk;
    bool reached = false;  // the queue was read
    std::string text;
    std::string perfdata;
    std::string said;
    std::map<std::string, Concerns> concerns;
};

Verdict decideHealth(const Reading& r, const std::string& company, long staleMinutes) {
    Verdict v;
    if (r.failure) {
        v.health = r.failure->health;
        v.text = r.failure->text;
        v.said = r.failure->said;
        return v;
    }
    v.reached = true;
    long pending = 0;
    long errored = 0;
    long oldest = 0;
    std::vector<std::string> down, waiting, withError, stale;
    for (const auto& [code, d] : r.destinations) {
        if (!d.shown()) continue;
        Concerns& c = v.concerns[code];
        pending += d.pending;
        errored += d.errored;
        oldest = std::max(oldest, d.oldestMinutes.value_or(0));
        c.down = d.unreachable();
        c.waiting = c.down && d.state->reason == sender::kLeftAttachmentWaits;
        c.errored = d.errored > 0;
        c.stale = d.oldestMinutes && *d.oldestMinutes > staleMinutes;
        if (c.down) (c.waiting ? waiting : down).push_back(code);
        if (c.errored) withError.push_back(code);
        if (c.stale) stale.push_back(code);
    }
    std::vector<std::string> problems;
    if (!down.empty()) problems.push_back("sin conexion con " + joined(down, ", "));
    if (!waiting.empty())
        problems.push_back("en espera de una conexion abandonada en " + joined(waiting, ", "));
    if (!withError.empty())
        problems.push_back(std::to_string(errored) + " con error para " + joined(withError, ", "));
    if (!stale.empty())
        problems.push_back("pendientes de mas de " + std::to_string(staleMinutes) + " min para " +
                           joined(stale, ", "));
    // A record that is there but cannot be read leaves the destinations' state unknown: no
    // verdict from the queue alone, least of all OK.
    if (!r.record.problem.empty()) {
        v.health = kUnknown;
        v.text = "the state record " + argumentText(r.record.path) +
                 " cannot be read: " + argumentText(r.record.problem);
        if (!problems.empty()) v.text += "; origen " + company + ": " + joined(problems, "; ");
        v.said = "enviozvr: " + v.text;
        return v;
    }
    v.health = problems.empty() ? kOk : kWarning;
    v.text = "origen " + company + ": ";
    if (problems.empty())
        v.text += std::to_string(pending) + " pendientes para " +
                  std::to_string(v.concerns.size()) + " destinos" +
                  (pending + errored > 0 ? ", mas antiguo hace " + std::to_string(oldest) + " min"
                                         : std::string());
    else
        v.text += joined(problems, "; ");
    v.perfdata = "pending=" + std::to_string(pending) + " errored=" + std::to_string(errored) +
                 " oldest_minutes=" + std::to_string(oldest) + ";" + std::to_string(staleMinutes) +
                 " unreachable=" + std::to_string(down.size() + waiting.size()) +
                 " destinations=" + std::to_string(v.concerns.size());
    return v;
}

// The lines after the summary: one per destination shown, the last line of
// errorenvio.txt and the last verification (each in the locale's encoding).
std::string detailLines(const Reading& r, const Verdict& v, const std::string& company) {
    std::string details;
    for (const auto& [code, d] : r.destinations) {
        const auto concerns = v.concerns.find(code);
        if (concerns == v.concerns.end()) continue;
        const Concerns& c = concerns->second;
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
        if (c.waiting) {
            // Reached, but held back while a request of an ended run may still commit there.
            const std::int64_t since =
                d.state->reasonSince > 0 ? d.state->reasonSince : d.state->lastAttempt;
            line += ", en espera hace " + minutesSince(since) + " min (" + d.state->reason + ")";
        } else if (c.down) {
            line += ", sin conexion hace " + minutesSince(d.state->lastAttempt) + " min";
            if (!d.state->reason.empty()) line += " (" + d.state->reason + ")";
        }
        details += consoleText(line) + "\n";
    }
    details += consoleText(lastConnectionFailureLine()) + "\n";
    if (const std::optional<VerifyRecord> rec = readVerifyRecord(company))
        details += "verificacion: hace " + minutesSince(rec->at) + " min, " +
                   std::to_string(rec->compared) + " comparados, " +
                   std::to_string(rec->outOfLine) + " fuera de linea, " +
                   std::to_string(rec->repaired) + " reparados, " +
                   std::to_string(rec->unreachable) + " destinos sin conexion\n";
    return details;
}

}  // namespace

int runStatus(const std::vector<std::string>& args) {
    std::string problem;
    const std::optional<StatusArgs> parsed = parseArgs(args, problem);
    if (!parsed) {
        std::cout << core::journalText(
                         1, priorityOf(kUnknown),
                         consoleText(summaryLine(kUnknown, argumentText(problem))) + "\n")
                  << std::flush;
        std::cerr << "enviozvr: " << problem << "\n" << modeUsage(kStatusMode);
        return kUnknown;
    }
    const StatusArgs& a = *parsed;
    const std::string& company = a.positional[3];
    CheckTime time(a.timeout);

    // Nothing is held or written here: a stop signal ends the check at once.
    stopEndsTheProcess();
    core::setUserMessageHandler(
        [](const std::string& text) { std::cerr << consoleText(text) << "\n"; });
    struct RestoreHandler {
        ~RestoreHandler() { core::setUserMessageHandler({}); }
    } restoreHandler;

    const Reading reading = readOrigin(a, time);
    const Verdict verdict = decideHealth(reading, company, a.staleMinutes);
    if (!verdict.said.empty())
        std::cerr << core::journalText(2, priorityOf(verdict.health),
                                       consoleText(verdict.said) + "\n");

    // Whatever else comes out, the metrics file says it: a file left as it was would keep
    // telling of a past state.
    const auto metrics = [&] {
        return metricsText(company, verdict.health, verdict.reached, reading.destinations);
    };
    if (!a.report) {
        std::cout << metrics() << std::flush;
        return verdict.health;
    }
    const std::string details = verdict.reached ? detailLines(reading, verdict, company) : "";
    const std::string journalDetails = core::journalText(1, core::Priority::Info, details);
    const auto summary = [](int health, const std::string& text, const std::string& perfdata) {
        return core::journalText(1, priorityOf(health),
                                 consoleText(summaryLine(health, text, perfdata)) + "\n");
    };
    if (!a.output.empty()) {
        const std::string failure = replaceFile(a.output, metrics(), FileReaders::EveryUser);
        if (!failure.empty()) {
            std::cout << summary(
                             kUnknown,
                             "the metrics file " + argumentText(a.output) +
                                 " cannot be written: " + windows1252FromEncoding(failure, "UTF-8"),
                             {})
                      << journalDetails << std::flush;
            return kUnknown;
        }
    }
    std::cout << summary(verdict.health, verdict.text, verdict.perfdata) << journalDetails
              << std::flush;
    return verdict.health;
}

}  // namespace enviozvr::app
