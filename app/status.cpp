#include "app/status.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>

#include "app/consoletext.h"
#include "app/serviceargs.h"
#include "core/localfiles.h"
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
};

const char* const kQueueByDestination =
    "SELECT RPEV_COMPANIA, "
    "SUM(IIF(RPEV_FECREP IS NULL AND RPEV_ERROR IS NULL, 1, 0)), "
    "SUM(IIF(RPEV_FECREP IS NULL AND RPEV_ERROR IS NOT NULL, 1, 0)), "
    "DATEDIFF(MINUTE FROM MIN(IIF(RPEV_FECREP IS NULL, "
    "RPEV_FECREG + COALESCE(RPEV_HORAREG, TIME '00:00:00'), NULL)) TO CURRENT_TIMESTAMP), "
    "MAX(RPEV_FECREP + COALESCE(RPEV_HORAREP, TIME '00:00:00')) "
    "FROM REPLICA_EVENTOS WHERE RPEV_COMPANIA <> '' GROUP BY RPEV_COMPANIA";
const char* const kActiveDestinations =
    "SELECT TRIM(RPCO_COD) FROM REPLICA_COMPANIA WHERE RPCO_ACTIVA = 'S'";

std::map<std::string, Destination> readDestinations(data::Connection& company) {
    std::map<std::string, Destination> out;
    auto queue = company.open(kQueueByDestination);
    while (queue->fetch()) {
        Destination& d = out[queue->value(0).toText()];
        d.pending = static_cast<long>(queue->value(1).asInteger());
        d.errored = static_cast<long>(queue->value(2).asInteger());
        if (const data::Value age = queue->value(3); !age.isNull())
            d.oldestMinutes = static_cast<long>(age.asInteger());
        if (const data::Value last = queue->value(4); !last.isNull())
            d.lastSent = last.asTimestamp();
    }
    queue->close();
    auto active = company.open(kActiveDestinations);
    while (active->fetch()) out[active->value(0).toText()].active = true;
    active->close();
    return out;
}

// The last non-empty line of errorenvio.txt, without its line end.
std::string lastConnectionFailure() {
    std::ifstream in(core::applicationFile("errorenvio.txt"), std::ios::binary);
    if (!in) return {};
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string last;
    std::istringstream lines(bytes);
    for (std::string line; std::getline(lines, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
        if (!line.empty()) last = line;
    }
    return last;
}

}  // namespace

int runStatus(const std::vector<std::string>& args) {
    const std::optional<StatusArgs> parsed = parseArgs(args);
    if (!parsed) return 2;
    const StatusArgs& a = *parsed;
    const std::string& company = a.positional[3];

    sender::MainData data;
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

    bool healthy = true;
    for (const auto& [code, d] : destinations) {
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
        std::cout << "\n";
        if (d.errored > 0 || (d.oldestMinutes && *d.oldestMinutes > a.staleMinutes))
            healthy = false;
    }
    const std::string last = lastConnectionFailure();
    std::cout << "errorenvio.txt: " << (last.empty() ? "sin lineas" : consoleText(last))
              << std::endl;
    return healthy ? 0 : 1;
}

}  // namespace enviozvr::app
