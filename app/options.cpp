#include "app/options.h"

#include <sstream>

#include "grid/export/formats.h"

namespace enviozvr::app {

namespace {

constexpr unsigned kServiceModes = kHeadlessMode | kStatusMode | kVerifyMode;
constexpr std::size_t kWidth = 80;
constexpr std::size_t kDescriptionColumn = 22;

// `text` wrapped at kWidth columns, each line after the first indented to `column`, the
// first one starting at `first`.
std::string wrapped(const std::string& text, std::size_t first, std::size_t column,
                    std::size_t width = kWidth) {
    std::istringstream words(text);
    std::string out;
    std::size_t at = first;
    bool lineStart = true;
    for (std::string word; words >> word;) {
        if (!lineStart && at + 1 + word.size() > width) {
            out += "\n" + std::string(column, ' ');
            at = column;
            lineStart = true;
        }
        if (!lineStart) {
            out += ' ';
            ++at;
        }
        out += word;
        at += word.size();
        lineStart = false;
    }
    return out;
}

std::string withValue(const std::string& name, const std::string& value) {
    return value.empty() ? name : name + "=" + value;
}

std::string modeName(unsigned bit) {
    for (const RunModeEntry& m : runModeTable())
        if (m.bit == bit) return m.option;
    return {};
}

}  // namespace

const std::vector<OptionEntry>& optionTable() {
    static const std::vector<OptionEntry> table = {
        {"--once", kHeadlessMode, "", "one send cycle, then exit"},
        {"--minutes", kHeadlessMode, "N",
         "minutes between send cycles (default 1); while a cycle's batch comes back full the "
         "next cycle starts at once"},
        {"--batch", kHeadlessMode, "N", "events taken per destination and cycle (default 100)"},
        {"--no-retry-errors", kHeadlessMode, "", "leave out events that carry an error"},
        {"--connect-timeout", kHeadlessMode, "S",
         "seconds a destination, or the origin, may take to connect (default 15; 0 is not "
         "accepted)"},
        {"--stall-timeout", kHeadlessMode, "S",
         "seconds a destination may leave a request unanswered before it is skipped for the "
         "cycle; an origin request unanswered as long ends the cycle early (default 60; 0 is "
         "not accepted)"},
        {"--parallel", kHeadlessMode, "N",
         "destination companies served at once, each on its own connections (default 4, at "
         "most 64; 1 serves them one after another)"},
        {"--verify-every", kHeadlessMode, "N",
         "verify the destinations between cycles, at most every N minutes (see --verify); "
         "with --repair, mend them too",
         InSynopsis::Optional, "[--verify-every=N [--repair]]"},
        {"--repair", kHeadlessMode, "", "with --verify-every: mend what is out of line",
         InSynopsis::Hidden},
        {"--stale", kStatusMode, "MINUTES",
         "a pending event older than this is a failure (default 60)"},
        {"--format", kStatusMode, "nagios|prometheus",
         "the report (nagios, the default), or the same facts as Prometheus exposition text"},
        {"--output", kStatusMode, "FILE",
         "with --format=prometheus: replace FILE with them at once (for node_exporter's "
         "textfile collector) and print the report as without it"},
        {"--metrics", kStatusMode, "FILE",
         "the report, and the same Prometheus text into FILE (an empty FILE: none), as the "
         "packaged timer writes it"},
        {"--timeout", kStatusMode, "S",
         "seconds the whole check may take (default 8, under check_nrpe's 10): what did not "
         "answer is CRITICAL"},
        {"--password-file", kStatusMode, "FILE",
         "with a PASSWORD of '-': the password is the first line of FILE (which every user "
         "must not be able to read)"},
        {"--destination", kVerifyMode, "CODE",
         "only this destination company (repeatable; default every active one)",
         InSynopsis::Repeatable},
        {"--since", kVerifyMode, "YYYY-MM-DD",
         "also every origin invoice of that date or later that the destination holds (the "
         "queue keeps sent events 7 days)"},
        {"--repair", kVerifyMode, "",
         "mend what is out of line through the transfer (logged in ENVIO.TXT; never a "
         "document with a pending event; not while the service of the company holds its "
         "lock)"},
        {"--format", kVerifyMode, "nagios|csv|prometheus",
         "the report (nagios, the default), the list of documents (csv) or the counts per "
         "destination (prometheus), to --output=FILE (replaced at once) or standard output"},
        {"--output", kVerifyMode, "FILE",
         "with --format=csv or --format=prometheus: the file to replace at once; the report "
         "still goes to standard output"},
        {"--log-dir", kServiceModes, "DIR",
         "folder of the logs, the lock files and the state record (default: the installation "
         "directory); one per origin company when several run on one machine"},
        {"--format", kExportMode, grid::exportFormatUsage("|"), "the file format",
         InSynopsis::Required},
        {"--output", kExportMode, "FILE", "the file to write", InSynopsis::Required},
        {"--sort", kExportMode, "TITLE[:desc]", "sort by the column with that title (repeatable)",
         InSynopsis::Repeatable},
        {"--filter", kExportMode, "TITLE=TEXT",
         "keep the rows whose column matches TEXT (repeatable)", InSynopsis::Repeatable},
    };
    return table;
}

const std::vector<RunModeEntry>& runModeTable() {
    static const std::vector<RunModeEntry> table = {
        {kHeadlessMode, "--headless", "", "SERVER USER PASSWORD COMPANY [NEWEST]", "",
         "Exit status of --headless --once: 0 the cycle reached its end, 1 it ended early,\n"
         "or a log line could not be written, 2 bad arguments, no installation directory,\n"
         "an unknown company, a login the server refused, a database file that does not\n"
         "exist or another instance sending for the company, 75 the origin database could\n"
         "not be reached at the start (a later try may succeed). Without --once it runs\n"
         "until SIGTERM or SIGINT and then exits 0 (2 or 75 as above before its first\n"
         "cycle; a second signal ends it at once with 128 + the signal's number).\n"},
        {kStatusMode, "--status", "", "SERVER USER PASSWORD COMPANY", "",
         "Exit status of --status: 0 OK, 1 WARNING: a destination has events with an\n"
         "error, a pending event older than --stale or was not reached at its last\n"
         "attempt, 2 CRITICAL: the origin cannot be reached, refuses the login, its\n"
         "queue cannot be read or it did not answer within --timeout, 3 UNKNOWN: bad\n"
         "arguments, an unknown company, no installation directory, or a state record or\n"
         "password file that cannot be read; the first line says which (ENVIOZVR OK - ...).\n"},
        {kVerifyMode, "--verify", "", "SERVER USER PASSWORD COMPANY", "",
         "Exit status of --verify: 0 OK, everything in line (after --repair: all of it\n"
         "mended), 1 WARNING: documents out of line or a destination not reached,\n"
         "2 CRITICAL: the origin cannot be used, 3 UNKNOWN: bad arguments, an unknown\n"
         "company, or --repair while the service holds the company's lock.\n"},
        {kExportMode, "--export", "errores|pendientes", "", "SERVER USER PASSWORD COMPANY",
         "Exit status of --export: 0 the file was written, 1 the login, the company, the\n"
         "list or the file failed, 2 bad arguments or more rows than the format holds\n"
         "(XLS: 65535; nothing is written).\n"},
    };
    return table;
}

bool knownOption(const std::string& argument) {
    const auto matches = [&](const std::string& name, const std::string& value) {
        if (value.empty()) return argument == name;
        return argument.rfind(name + "=", 0) == 0;
    };
    for (const RunModeEntry& m : runModeTable())
        if (matches(m.option, m.value)) return true;
    for (const OptionEntry& o : optionTable())
        if (matches(o.name, o.value)) return true;
    return false;
}

std::string synopsis(unsigned mode, const std::string& lead, std::size_t width,
                     std::size_t indent) {
    std::vector<std::string> pieces;
    for (const RunModeEntry& m : runModeTable()) {
        if (m.bit != mode) continue;
        pieces.push_back("enviozvr " + withValue(m.option, m.value));
        if (!m.positional.empty()) pieces.push_back(m.positional);
        for (const OptionEntry& o : optionTable()) {
            if ((o.modes & mode) == 0 || o.synopsis == InSynopsis::Hidden) continue;
            const std::string option = withValue(o.name, o.value);
            if (!o.synopsisText.empty())
                pieces.push_back(o.synopsisText);
            else if (o.synopsis == InSynopsis::Required)
                pieces.push_back(option);
            else
                pieces.push_back("[" + option + "]" +
                                 (o.synopsis == InSynopsis::Repeatable ? "..." : ""));
        }
        if (!m.trailing.empty()) pieces.push_back(m.trailing);
    }
    // Each piece (an option with its value, the positional arguments) stays whole on a line.
    std::string out = lead;
    std::size_t at = lead.size();
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const std::string& p = pieces[i];
        if (i > 0 && at + 1 + p.size() > width) {
            out += "\n" + std::string(indent, ' ');
            at = indent;
        } else if (i > 0) {
            out += ' ';
            ++at;
        }
        out += p;
        at += p.size();
    }
    return out + "\n";
}

std::string optionList(unsigned modes) {
    std::string out;
    unsigned heading = 0;
    for (const OptionEntry& o : optionTable()) {
        if ((o.modes & modes) == 0) continue;
        if (o.modes != heading) {
            heading = o.modes;
            std::vector<std::string> names;
            for (const RunModeEntry& m : runModeTable())
                if (o.modes & m.bit) names.push_back(modeName(m.bit));
            std::string title;
            for (std::size_t i = 0; i < names.size(); ++i)
                title += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
            out += "Options of " + title + ":\n";
        }
        std::string line = "  " + withValue(o.name, o.value);
        line += line.size() < kDescriptionColumn
                    ? std::string(kDescriptionColumn - line.size(), ' ')
                    : std::string("   ");
        out += line + wrapped(o.description, line.size(), kDescriptionColumn) + "\n";
    }
    return out;
}

std::string modeUsage(unsigned mode) {
    for (const RunModeEntry& m : runModeTable())
        if (m.bit == mode)
            return synopsis(mode, "usage: ", kWidth, 16) + optionList(mode) + m.exitStatus;
    return {};
}

std::string helpText() {
    std::string text = "usage: enviozvr [SERVER USER PASSWORD COMPANY [NEWEST]]\n";
    unsigned modes = 0;
    for (const RunModeEntry& m : runModeTable()) {
        text += synopsis(m.bit, "       ", 80, 16);
        modes |= m.bit;
    }
    text +=
        "       enviozvr --help | -h | --version\n"
        "\n"
        "Sends the invoice replication events of an origin company to the databases of\n"
        "the destination companies.\n"
        "\n"
        "Run modes:\n"
        "  (no arguments)    the desktop program: login screen, then the main window\n"
        "  SERVER USER PASSWORD COMPANY [NEWEST]\n"
        "                    the desktop in automatic mode: logs in, selects COMPANY,\n"
        "                    sends at once and then on its timer\n"
        "  --headless        the automatic mode without a window, for a service\n"
        "  --status          the health of the origin company's queue, for monitoring\n"
        "  --verify          whether each destination holds the invoices the queue sent\n"
        "                    it; --repair brings those out of line in line\n"
        "  --export=errores|pendientes\n"
        "                    writes the list of events with an error, or of pending\n"
        "                    events, to a file\n"
        "\n"
        "Arguments:\n"
        "  SERVER    text that starts every database path: SERVER/datos/general.fdb and\n"
        "            SERVER/datos/COMPANY/nivora.fdb; host:/folder goes through that\n"
        "            Firebird server, a plain folder opens the files in-process\n"
        "  USER, PASSWORD  login of the general database; a PASSWORD of '-' is read\n"
        "            from the environment variable ENVIOZVR_PASSWORD (kept out of the\n"
        "            process list)\n"
        "  COMPANY   code of the origin company\n"
        "  NEWEST    any text: send the newest events first\n"
        "\n";
    text += optionList(modes) + "\n";
    for (const RunModeEntry& m : runModeTable()) text += m.exitStatus;
    text +=
        "Any mode: 2 for an unknown option (--status and --verify: 3).\n"
        "\n"
        "The installation directory (logs ENVIO.TXT, errorenvio.txt, ERRORES.TXT and the\n"
        "server list SERVIDORES.cfg) is the value Directorio of\n"
        "/etc/xdg/Orbalt/NivoraERP2016.conf (see XDG_CONFIG_DIRS). See enviozvr(1).\n";
    return text;
}

}  // namespace enviozvr::app
