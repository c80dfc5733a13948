#include "app/status.h"

#include <QTime>
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
#include "core/localfiles.h"
#include "core/messages.h"
#include "core/unhandled.h"
#include "data/connection.h"
#include "data/value.h"
#include "sender/maindata.h"

namespace enviozvr::app {

namespace {

const char* const kUsage =
    "usage: enviozvr --status SERVER USER PASSWORD COMPANY [--stale=MINUTES]\n"
    "  one line per destination company: pending events, pending events with an error,\n"
    "  the age of the oldest pending event and the last send; then the last line of\n"
    "  errorenvio.txt. A PASSWORD of '-' is read from ENVIOZVR_PASSWORD.\n"
    "  Exit status: 0 healthy; 1 a destination has events with an error or a pending\n"
    "  event older than MINUTES (default 60); 2 bad arguments or a failed login\n";

struct StatusArgs {
    std::vector<std::string> positional;
    long staleMinutes = 60;
};

std::optional<StatusArgs> parseArgs(const std::vector<std::string>& args) {
    StatusArgs s;
    std::string problem;
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
        } else if (a.rfind("--", 0) == 0) {
            problem = "unknown option '" + a + "'";
        } else {
            s.positional.push_back(a);
        }
        if (!problem.empty()) break;
    }
    if (problem.empty() && s.positional.size() != 4)
        problem = "SERVER, USER, PASSWORD and COMPANY are required, and nothing more";
    else if (problem.empty() && s.positional[3].empty())
        problem = "COMPANY must not be empty";
    if (!problem.empty()) {
        std::cerr << "enviozvr: " << problem << "\n" << kUsage;
        return std::nullopt;
    }
    return s;
}

struct Destination {
    long pending = 0;
    long errored = 0;
    std::optional<long> oldestMinutes;
    std::optional<data::Timestamp> lastSent;
    bool active = false;
    bool listed = false;                   // has a REPLICA_COMPANIA row, active or not
    std::optional<long> failedMinutesAgo;  // its last errorenvio.txt line, when recent
};

const char* const kQueueByDestination =
    "SELECT RPEV_COMPANIA, "
    "SUM(IIF(RPEV_FECREP IS NULL AND RPEV_ERROR IS NULL, 1, 0)), "
    "SUM(IIF(RPEV_FECREP IS NULL AND RPEV_ERROR IS NOT NULL, 1, 0)), "
    "DATEDIFF(MINUTE FROM MIN(IIF(RPEV_FECREP IS NULL, "
    "RPEV_FECREG + COALESCE(RPEV_HORAREG, TIME '00:00:00'), NULL)) TO CURRENT_TIMESTAMP), "
    "MAX(RPEV_FECREP + COALESCE(RPEV_HORAREP, TIME '00:00:00')) "
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

// The lines of errorenvio.txt, without their line ends.
std::vector<std::string> connectionFailureLines() {
    std::ifstream in(core::logFile("errorenvio.txt"), std::ios::binary);
    if (!in) return {};
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> out;
    std::istringstream lines(bytes);
    for (std::string line; std::getline(lines, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
        if (!line.empty()) out.push_back(line);
    }
    return out;
}

// Minutes since the date and time that start a log line, when it was written today or
// yesterday (the short date of the system's locale, as the logs write it, and the time as
// hours, minutes and seconds); nothing otherwise.
std::optional<long> minutesAgo(const std::string& line) {
    const auto first = line.find(',');
    const auto second = first == std::string::npos ? first : line.find(',', first + 1);
    if (second == std::string::npos) return std::nullopt;
    const std::string dateText = line.substr(0, first);
    data::Date yesterday = data::today();
    yesterday.days -= 1;
    int daysAgo = -1;
    if (dateText == data::shortDateText(data::today()))
        daysAgo = 0;
    else if (dateText == data::shortDateText(yesterday))
        daysAgo = 1;
    const QTime time =
        QTime::fromString(QString::fromLatin1(line.substr(first + 1, second - first - 1).c_str()),
                          QStringLiteral("H:mm:ss"));
    if (daysAgo < 0 || !time.isValid()) return std::nullopt;
    const long seconds = daysAgo * 86400L + time.secsTo(QTime::currentTime());
    return seconds < 0 ? std::nullopt : std::optional<long>(seconds / 60);
}

}  // namespace

int runStatus(const std::vector<std::string>& args) {
    const std::optional<StatusArgs> parsed = parseArgs(args);
    if (!parsed) return 2;
    const StatusArgs& a = *parsed;
    const std::string& company = a.positional[3];

    // Nothing is held or written here: a stop signal ends the check at once.
    stopEndsTheProcess();
    core::setUserMessageHandler(
        [](const std::string& text) { std::cerr << consoleText(text) << "\n"; });
    struct RestoreHandler {
        ~RestoreHandler() { core::setUserMessageHandler({}); }
    } restoreHandler;

    sender::MainData data;
    // The check must answer even when the origin does not: the same limits as a
    // destination of the send cycle, and a lock on a row it reads cannot hold it.
    for (data::Connection* c : {&data.DbGeneral, &data.DbCia})
        c->setTimeouts(sender::kDestinationConnectTimeout, sender::kDestinationStallLimit);
    std::map<std::string, Destination> destinations;
    try {
        data.loginAutomatic(a.positional[0], a.positional[1], passwordArgument(a.positional[2]));
        if (data.companyName(company).empty()) {
            std::cerr << "enviozvr: the company " << consoleText(company)
                      << " is not in COMPANIA\n";
            return 2;
        }
        data.selectCompany(company);
    } catch (const std::exception& e) {
        std::cerr << consoleText(core::translateErrorMessage(e.what())) << "\n";
        return 2;
    }
    try {
        destinations = readDestinations(data.DbCia);
    } catch (const std::exception& e) {
        std::cerr << consoleText(core::translateErrorMessage(e.what())) << "\n";
        return 2;
    }

    // A destination's last connection failure, when it came within the stale minutes.
    const std::vector<std::string> failures = connectionFailureLines();
    for (auto& [code, d] : destinations) {
        const std::string path = "/datos/" + code + "/nivora.fdb";
        // The newest line of this destination (the log is in time order).
        const auto newest = std::find_if(
            failures.rbegin(), failures.rend(),
            [&](const std::string& line) { return line.find(path) != std::string::npos; });
        if (newest == failures.rend()) continue;
        if (const auto ago = minutesAgo(*newest); ago && *ago <= a.staleMinutes)
            d.failedMinutesAgo = *ago;
    }

    bool healthy = true;
    for (const auto& [code, d] : destinations) {
        // A destination switched off in REPLICA_COMPANIA is nobody's concern here.
        if (d.listed && !d.active) continue;
        std::cout << consoleText(code) << ": " << d.pending << " pendientes, " << d.errored
                  << " con error, ";
        if (d.oldestMinutes)
            std::cout << "mas antiguo hace " << *d.oldestMinutes << " min";
        else
            std::cout << "sin pendientes";
        std::cout << ", ultimo envio ";
        if (d.lastSent)
            std::cout << data::shortDateText(d.lastSent->date) << " "
                      << data::longTimeText(d.lastSent->time);
        else
            std::cout << "nunca";
        if (!d.active) std::cout << " (sin servidor activo)";
        if (d.failedMinutesAgo)
            std::cout << ", sin conexion hace " << *d.failedMinutesAgo << " min";
        std::cout << "\n";
        if (d.errored > 0 || (d.oldestMinutes && *d.oldestMinutes > a.staleMinutes) ||
            d.failedMinutesAgo)
            healthy = false;
    }
    const std::string last = failures.empty() ? std::string() : failures.back();
    std::cout << "errorenvio.txt: " << (last.empty() ? "sin lineas" : consoleText(last))
              << std::endl;
    return healthy ? 0 : 1;
}

}  // namespace enviozvr::app
