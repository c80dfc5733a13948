#include "app/verify.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <QDate>
#include <QDateTime>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "app/checkoutput.h"
#include "app/consoletext.h"
#include "app/instancelock.h"
#include "app/options.h"
#include "app/serviceargs.h"
#include "app/signals.h"
#include "core/localfiles.h"
#include "core/messages.h"
#include "core/unhandled.h"
#include "data/errors.h"

namespace enviozvr::app {

namespace {

using sender::CheckedDocument;
using sender::DestinationCheck;
using sender::DocumentState;

enum class Format { Nagios, Csv, Prometheus };

struct VerifyArgs {
    std::vector<std::string> positional;
    sender::VerifyRequest request;
    Format format = Format::Nagios;
    std::string output;  // as typed, in the locale's encoding
};

std::optional<data::Date> isoDate(const std::string& text) {
    int y = 0, m = 0, d = 0;
    char tail = 0;
    if (text.size() != 10 || text[4] != '-' || text[7] != '-' ||
        std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3)
        return std::nullopt;
    if (text.find_first_not_of("0123456789-") != std::string::npos) return std::nullopt;
    const QDate date(y, m, d);
    if (!date.isValid()) return std::nullopt;
    return data::Date::fromYmd(y, m, d);
}

std::optional<VerifyArgs> parseArgs(const std::vector<std::string>& args, std::string& problem) {
    VerifyArgs v;
    for (const std::string& a : args) {
        if (a == "--verify") continue;
        if (a == "--repair") {
            v.request.repair = true;
        } else if (a.rfind("--destination=", 0) == 0) {
            const std::string code = argumentText(a.substr(14));
            if (code.empty()) problem = "--destination needs a company code";
            v.request.destinations.push_back(code);
        } else if (a.rfind("--since=", 0) == 0) {
            v.request.since = isoDate(a.substr(8));
            if (!v.request.since)
                problem = "--since needs a date as YYYY-MM-DD, not '" + a.substr(8) + "'";
        } else if (a.rfind("--format=", 0) == 0) {
            const std::string f = a.substr(9);
            if (f == "nagios")
                v.format = Format::Nagios;
            else if (f == "csv")
                v.format = Format::Csv;
            else if (f == "prometheus")
                v.format = Format::Prometheus;
            else
                problem = "--format of --verify is nagios, csv or prometheus, not '" + f + "'";
        } else if (a.rfind("--output=", 0) == 0) {
            v.output = a.substr(9);
            if (v.output.empty()) problem = "--output needs a file name";
        } else if (a.rfind("--", 0) == 0) {
            problem = "unknown option '" + a + "'";
        } else {
            v.positional.push_back(a);
        }
        if (!problem.empty()) return std::nullopt;
    }
    if (v.positional.size() != 4)
        problem = "SERVER, USER, PASSWORD and COMPANY are required, and nothing more";
    else if (v.positional[3].empty())
        problem = "COMPANY must not be empty";
    else if (!v.output.empty() && v.format == Format::Nagios)
        problem = "--output goes with --format=csv or --format=prometheus";
    if (!problem.empty()) return std::nullopt;
    return v;
}

// A file name of the log folder for a company code: characters other than letters,
// digits, '-' and '_' written as '_'.
std::string recordPath(const std::string& company) {
    std::string safe;
    for (char c : company)
        safe += (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') ? c : '_';
    return core::logFile("enviozvr-" + safe + ".verify");
}

// What a document line says after the document.
std::string what(const CheckedDocument& d) {
    std::string text;
    switch (d.state) {
        case DocumentState::Missing:
            text = "falta en el destino";
            break;
        case DocumentState::Different:
            text = "diferente en ";
            for (std::size_t i = 0; i < d.columns.size(); ++i)
                text += (i ? ", " : "") + d.columns[i];
            break;
        case DocumentState::Left:
            text = "sigue en el destino tras un borrado";
            if (d.rows > 1) text += " (" + std::to_string(d.rows) + " filas)";
            break;
        case DocumentState::Doubled:
            text = "duplicado (" + std::to_string(d.rows) + " filas)";
            break;
        case DocumentState::InFlight:
            text = "en camino (evento " + d.lastEvent + " o anterior pendiente)";
            break;
        case DocumentState::InLine:
            text = "en linea";
            break;
    }
    if (d.repaired) text += "; reparado";
    if (!d.repairFailure.empty()) text += "; no reparado: " + d.repairFailure;
    return text;
}

// ---- CSV for the accountants ---------------------------------------------------------

// A field of the list: quoted when it holds the separator, a quote or a line end; a text
// that a spreadsheet would run as a formula is guarded with a leading apostrophe.
std::string csvField(const std::string& text) {
    std::string t = text;
    if (!t.empty() && (t[0] == '=' || t[0] == '+' || t[0] == '-' || t[0] == '@')) t = "'" + t;
    if (t.find_first_of(";\"\r\n") == std::string::npos) return t;
    std::string out = "\"";
    for (char c : t) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

std::string csvText(const std::vector<DestinationCheck>& checks) {
    std::string out = "Destino;Prefijo;Numero;Estado;Detalle;Ultimo evento\r\n";
    for (const DestinationCheck& c : checks) {
        if (!c.reached) {
            out += csvField(c.company) + ";;;sin conexion;" + csvField(c.reason) + ";\r\n";
            continue;
        }
        for (const CheckedDocument& d : c.documents)
            out += csvField(c.company) + ";" + csvField(d.pref) + ";" + csvField(d.numero) + ";" +
                   sender::stateWord(d.state) + ";" + csvField(what(d)) + ";" +
                   csvField(d.lastEvent) + "\r\n";
    }
    return out;
}

// ---- Prometheus ----------------------------------------------------------------------

std::string metricsText(const std::string& origin, int health, bool up,
                        const std::vector<DestinationCheck>& checks) {
    const std::string o = "origin=\"" + labelValue(origin) + "\"";
    std::string m;
    const auto family = [&](const char* name, const char* help) {
        m += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n";
    };
    family("enviozvr_verify_up", "Whether the verification could read the origin company.");
    m += "enviozvr_verify_up{" + o + "} " + (up ? "1" : "0") + "\n";
    family("enviozvr_verify_status",
           "The verification's state: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.");
    m += "enviozvr_verify_status{" + o + "} " + std::to_string(health) + "\n";
    family("enviozvr_verify_destination_reached",
           "Whether the verification reached the destination (1) or not (0).");
    for (const DestinationCheck& c : checks)
        m += "enviozvr_verify_destination_reached{" + o + ",destination=\"" +
             labelValue(c.company) + "\"} " + (c.reached ? "1" : "0") + "\n";
    family("enviozvr_verify_documents",
           "Documents compared at the destination, by state (in_flight: an event pending).");
    for (const DestinationCheck& c : checks) {
        if (!c.reached) continue;
        const std::pair<const char*, long> states[] = {
            {"in_line", c.inLine}, {"missing", c.missing}, {"different", c.different},
            {"left", c.left},      {"doubled", c.doubled}, {"in_flight", c.inFlight}};
        for (const auto& [state, n] : states)
            m += "enviozvr_verify_documents{" + o + ",destination=\"" + labelValue(c.company) +
                 "\",state=\"" + state + "\"} " + std::to_string(n) + "\n";
    }
    family("enviozvr_verify_repaired_documents", "Documents the repair brought in line.");
    for (const DestinationCheck& c : checks)
        if (c.reached)
            m += "enviozvr_verify_repaired_documents{" + o + ",destination=\"" +
                 labelValue(c.company) + "\"} " + std::to_string(c.repaired) + "\n";
    return m;
}

std::string originFailure(const std::exception& e) {
    const std::string text = e.what();
    if (text.find("Failed to establish a connection") != std::string::npos)
        return "el servidor rechaza la conexion (nadie atiende en su puerto)";
    return core::translateErrorMessage(text);
}

}  // namespace

VerifyRecord recordOf(const std::vector<DestinationCheck>& checks) {
    VerifyRecord r;
    r.at = QDateTime::currentSecsSinceEpoch();
    for (const DestinationCheck& c : checks) {
        r.compared += c.compared;
        r.outOfLine += c.outOfLine();
        r.repaired += c.repaired;
        if (!c.reached) ++r.unreachable;
    }
    return r;
}

bool writeVerifyRecord(const std::string& company, const VerifyRecord& r) {
    const std::string path = recordPath(company);
    if (path.empty()) return false;
    return replaceFile(path, std::to_string(r.at) + "," + std::to_string(r.compared) + "," +
                                 std::to_string(r.outOfLine) + "," + std::to_string(r.repaired) +
                                 "," + std::to_string(r.unreachable) + "\n")
        .empty();
}

std::optional<VerifyRecord> readVerifyRecord(const std::string& company) {
    const std::string path = recordPath(company);
    if (path.empty()) return std::nullopt;
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line)) return std::nullopt;
    VerifyRecord r;
    char c1 = 0, c2 = 0, c3 = 0, c4 = 0;
    long long at = 0;
    std::istringstream fields(line);
    if (!(fields >> at >> c1 >> r.compared >> c2 >> r.outOfLine >> c3 >> r.repaired >> c4 >>
          r.unreachable) ||
        c1 != ',' || c2 != ',' || c3 != ',' || c4 != ',')
        return std::nullopt;
    r.at = at;
    return r;
}

std::string verifyReport(const std::string& company, const std::vector<DestinationCheck>& checks,
                         bool repair, int& health) {
    long compared = 0, missing = 0, different = 0, left = 0, doubled = 0, inFlight = 0;
    long repaired = 0, notRepaired = 0;
    std::vector<std::string> unreachable, outOfLine;
    std::string documents, destinations;
    for (const DestinationCheck& c : checks) {
        if (!c.reached) {
            unreachable.push_back(c.company);
            destinations += c.company + ": no se pudo verificar (" + c.reason + ")\n";
            continue;
        }
        compared += c.compared;
        missing += c.missing;
        different += c.different;
        left += c.left;
        doubled += c.doubled;
        inFlight += c.inFlight;
        repaired += c.repaired;
        notRepaired += c.outOfLine() - c.repaired;
        if (c.outOfLine() > 0) outOfLine.push_back(c.company);
        for (const CheckedDocument& d : c.documents)
            documents += c.company + " " + d.pref + d.numero + ": " + what(d) + "\n";
        destinations += c.company + ": " + std::to_string(c.compared) + " comparados, " +
                        std::to_string(c.inLine) + " en linea, " + std::to_string(c.missing) +
                        " faltan, " + std::to_string(c.different) + " diferentes, " +
                        std::to_string(c.left) + " sobran, " + std::to_string(c.doubled) +
                        " duplicados, " + std::to_string(c.inFlight) + " en camino";
        if (repair) destinations += ", " + std::to_string(c.repaired) + " reparados";
        if (!c.reason.empty()) destinations += " (" + c.reason + ")";
        destinations += "\n";
    }
    const long found = missing + different + left + doubled;
    std::vector<std::string> problems;
    const auto join = [](const std::vector<std::string>& v) {
        std::string out;
        for (const std::string& s : v) out += (out.empty() ? "" : ", ") + s;
        return out;
    };
    if (found > 0) {
        std::string p = std::to_string(found) + " documentos fuera de linea en " + join(outOfLine);
        if (repair) p += ", " + std::to_string(repaired) + " reparados";
        problems.push_back(p);
    }
    if (!unreachable.empty()) problems.push_back("sin conexion con " + join(unreachable));
    const bool mended = repair && notRepaired == 0;
    health = unreachable.empty() && (found == 0 || mended) ? kOk : kWarning;
    std::string text = "origen " + company + ": ";
    if (problems.empty())
        text += std::to_string(compared) + " documentos en linea en " +
                std::to_string(checks.size()) + " destinos";
    else
        text += problems[0] + (problems.size() > 1 ? "; " + problems[1] : std::string());
    if (inFlight > 0) text += ", " + std::to_string(inFlight) + " en camino";
    std::string perfdata =
        "compared=" + std::to_string(compared) + " missing=" + std::to_string(missing) +
        " different=" + std::to_string(different) + " left=" + std::to_string(left) +
        " doubled=" + std::to_string(doubled) + " in_flight=" + std::to_string(inFlight) +
        " unreachable=" + std::to_string(unreachable.size());
    if (repair) perfdata += " repaired=" + std::to_string(repaired);
    return summaryLine(health, text, perfdata) + "\n" + documents + destinations;
}

int runVerify(const std::vector<std::string>& args) {
    std::string problem;
    const std::optional<VerifyArgs> parsed = parseArgs(args, problem);
    if (!parsed) {
        std::cout << consoleText(summaryLine(kUnknown, argumentText(problem))) << std::endl;
        std::cerr << "enviozvr: " << problem << "\n" << modeUsage(kVerifyMode);
        return kUnknown;
    }
    const VerifyArgs& a = *parsed;
    const std::string company = argumentText(a.positional[3]);
    const auto say = [&](int health, const std::string& text) {
        std::cout << consoleText(summaryLine(health, text)) << std::endl;
        if (health >= kCritical) std::cerr << "enviozvr: " << consoleText(text) << "\n";
        return health;
    };

    // A repair holds the instance lock and writes ENVIO.TXT: it ends after the document in
    // hand at a stop signal. A verification alone is ended at once.
    if (!a.request.repair) stopEndsTheProcess();
    core::setUserMessageHandler(
        [](const std::string& text) { std::cerr << consoleText(text) << "\n"; });
    struct RestoreHandler {
        ~RestoreHandler() { core::setUserMessageHandler({}); }
    } restoreHandler;

    if (const std::string unusable = core::installationDirectoryProblem(); !unusable.empty())
        return say(kUnknown, unusable);

    sender::MainData data;
    for (data::Connection* c : {&data.DbGeneral, &data.DbCia})
        c->setTimeouts(sender::kDestinationConnectTimeout, sender::kDestinationStallLimit);
    try {
        data.loginAutomatic(argumentText(a.positional[0]), argumentText(a.positional[1]),
                            passwordArgument(a.positional[2]));
        if (data.companyName(company).empty())
            return say(kUnknown, "the company " + company + " is not in COMPANIA");
        data.selectCompany(company);
    } catch (const std::exception& e) {
        return say(kCritical, "origen " + company + ": " + originFailure(e));
    }

    InstanceLock lock(company, data.DbCia);
    if (a.request.repair) {
        InstanceLock::Result held = InstanceLock::Result::Acquired;
        try {
            held = lock.tryAcquire();
        } catch (const std::exception& e) {
            return say(kCritical, "origen " + company + ": " + originFailure(e));
        }
        if (held != InstanceLock::Result::Acquired)
            return say(kUnknown, "--repair no corre al lado del envio de " + company + ": " +
                                     lock.busyMessage(held));
    }

    sender::VerifyRequest request = a.request;
    request.stopRequested = [] { return stopRequested(); };
    // Someone at a terminal sees which destination is being compared; a monitoring
    // system reads standard output only.
#ifdef _WIN32
    const bool terminal = _isatty(2) != 0;
#else
    const bool terminal = isatty(STDERR_FILENO) != 0;
#endif
    if (terminal)
        request.progress = [](const std::string& destination) {
            std::cerr << "enviozvr: verificando " << consoleText(destination) << "...\n";
        };
    std::vector<DestinationCheck> checks;
    try {
        checks = sender::verifyDestinations(data, request);
    } catch (const std::exception& e) {
        return say(kCritical, "origen " + company + ": " + originFailure(e));
    }
    if (a.request.repair) lock.release();
    writeVerifyRecord(company, recordOf(checks));

    int health = kOk;
    const std::string report = verifyReport(company, checks, a.request.repair, health);
    if (a.format != Format::Nagios) {
        const std::string text =
            a.format == Format::Csv ? csvText(checks) : metricsText(company, health, true, checks);
        if (a.output.empty()) {
            // CSV holds the program's Windows-1252 texts, as its other lists do.
            std::cout << text << std::flush;
            return health;
        }
        if (const std::string failure = replaceFile(a.output, text); !failure.empty())
            return say(kUnknown, "the file " + argumentText(a.output) + " cannot be written: " +
                                     windows1252FromEncoding(failure, "UTF-8"));
    }
    std::cout << consoleText(report) << std::flush;
    return health;
}

}  // namespace enviozvr::app
