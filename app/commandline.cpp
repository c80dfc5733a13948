#include "app/commandline.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "app/version.h"
#include "grid/export/formats.h"

namespace enviozvr::app {

namespace {

// Options taken as a whole argument, and options that carry "=VALUE".
constexpr std::array<std::string_view, 7> kFlags = {
    "--headless", "--status", "--once", "--no-retry-errors", "--help", "--verify", "--repair"};
constexpr std::array<std::string_view, 18> kValued = {
    "--export=",      "--format=",  "--output=",          "--sort=",          "--filter=",
    "--minutes=",     "--batch=",   "--connect-timeout=", "--stall-timeout=", "--stale=",
    "--parallel=",    "--log-dir=", "--timeout=",         "--metrics=",       "--password-file=",
    "--destination=", "--since=",   "--verify-every="};

bool knownOption(const std::string& a) {
    for (std::string_view f : kFlags)
        if (a == f) return true;
    for (std::string_view v : kValued)
        if (a.rfind(v, 0) == 0) return true;
    return false;
}

bool isOption(const std::string& a) { return a.size() > 1 && a[0] == '-'; }

}  // namespace

std::string versionText() { return std::string("enviozvr ") + ENVIOZVR_VERSION_TEXT; }

std::string usageText() {
    return "usage: enviozvr [SERVER USER PASSWORD COMPANY [NEWEST]]\n"
           "       enviozvr --headless SERVER USER PASSWORD COMPANY [NEWEST] [--once]\n"
           "                [--minutes=N] [--batch=N] [--no-retry-errors]\n"
           "                [--connect-timeout=S] [--stall-timeout=S] [--parallel=N]\n"
           "                [--verify-every=N [--repair]]\n"
           "       enviozvr --status SERVER USER PASSWORD COMPANY [--stale=MINUTES]\n"
           "                [--format=nagios|prometheus] [--output=FILE] [--metrics=FILE]\n"
           "                [--timeout=S] [--password-file=FILE]\n"
           "       enviozvr --verify SERVER USER PASSWORD COMPANY [--destination=CODE]...\n"
           "                [--since=YYYY-MM-DD] [--repair] [--format=nagios|csv|prometheus]\n"
           "                [--output=FILE]\n"
           "       enviozvr --export=errores|pendientes --format=" +
           grid::exportFormatUsage("|") +
           "\n"
           "                --output=FILE [--sort=TITLE[:desc]]... [--filter=TITLE=TEXT]...\n"
           "                SERVER USER PASSWORD COMPANY\n"
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
           "\n"
           "Options of --headless:\n"
           "  --once              one send cycle, then exit\n"
           "  --minutes=N         minutes between send cycles (default 1)\n"
           "  --batch=N           events taken per destination and cycle (default 100)\n"
           "  --no-retry-errors   leave out events that carry an error\n"
           "  --connect-timeout=S seconds a destination, or the origin, may take to\n"
           "                      connect (default 15; 0 is not accepted)\n"
           "  --stall-timeout=S   seconds a destination may leave a request unanswered\n"
           "                      before it is skipped for the cycle; an origin request\n"
           "                      unanswered as long ends the cycle early (default 60; 0 is\n"
           "                      not accepted)\n"
           "  --parallel=N        destination companies served at once, each on its own\n"
           "                      connections (default 4, at most 64; 1 serves them one\n"
           "                      after another)\n"
           "  --verify-every=N    verify the destinations between cycles, at most every N\n"
           "                      minutes (see --verify); with --repair, mend them too\n"
           "Options of --headless and --status:\n"
           "  --log-dir=DIR       folder of the logs, the lock files and the state record\n"
           "                      (default: the installation directory); one per origin\n"
           "                      company when several run on one machine\n"
           "Options of --status:\n"
           "  --stale=MINUTES     a pending event older than this is a failure (default 60)\n"
           "  --format=prometheus the same facts as Prometheus exposition text\n"
           "  --output=FILE       with --format=prometheus: replace FILE with them at once\n"
           "                      (for node_exporter's textfile collector) and print the\n"
           "                      report as without it\n"
           "  --metrics=FILE      the report, and the same Prometheus text into FILE (an\n"
           "                      empty FILE: none), as the packaged timer writes it\n"
           "  --timeout=S         seconds the whole check may take (default 8, under\n"
           "                      check_nrpe's 10): what did not answer is CRITICAL\n"
           "  --password-file=FILE  with a PASSWORD of '-': the password is the first line\n"
           "                      of FILE (which every user must not be able to read)\n"
           "Options of --verify:\n"
           "  --destination=CODE  only this destination company (repeatable; default every\n"
           "                      active one)\n"
           "  --since=YYYY-MM-DD  also every origin invoice of that date or later that the\n"
           "                      destination holds (the queue keeps sent events 7 days)\n"
           "  --repair            mend what is out of line through the transfer (logged in\n"
           "                      ENVIO.TXT; never a document with a pending event; not\n"
           "                      while the service of the company holds its lock)\n"
           "  --format=csv|prometheus  the list of documents, or the counts per destination,\n"
           "                      to --output=FILE (replaced at once) or standard output\n"
           "Options of --export:\n"
           "  --format=" +
           grid::exportFormatUsage("|") +
           "   the file format\n"
           "  --output=FILE       the file to write\n"
           "  --sort=TITLE[:desc] sort by the column with that title (repeatable)\n"
           "  --filter=TITLE=TEXT keep the rows whose column matches TEXT (repeatable)\n"
           "\n"
           "Exit status of --headless --once: 0 the cycle reached its end, 1 it ended early,\n"
           "or a log line could not be written, 2 bad arguments, no installation directory,\n"
           "an unknown company, a login the server refused, a database file that does not\n"
           "exist or another instance sending for the company, 75 the origin database could not be "
           "reached at the start (a later\n"
           "try may succeed). Without --once it runs until SIGTERM or SIGINT and then exits\n"
           "0 (2 or 75 as above before its first cycle; a second signal ends it at once\n"
           "with 128 + the signal's number).\n"
           "Exit status of --status: 0 OK, 1 WARNING: a destination has events with an\n"
           "error, a pending event older than --stale or was not reached at its last\n"
           "attempt, 2 CRITICAL: the origin cannot be reached, refuses the login, its\n"
           "queue cannot be read or it did not answer within --timeout, 3 UNKNOWN: bad\n"
           "arguments, an unknown company, no installation directory, or a state record or\n"
           "password file that cannot be read; the first line says which (ENVIOZVR OK - ...).\n"
           "Exit status of --verify: 0 OK, everything in line (after --repair: all of it\n"
           "mended), 1 WARNING: documents out of line or a destination not reached,\n"
           "2 CRITICAL: the origin cannot be used, 3 UNKNOWN: bad arguments, an unknown\n"
           "company, or --repair while the service holds the company's lock.\n"
           "Exit status of --export: 0 the file was written, 1 the login, the company, the\n"
           "list or the file failed, 2 bad arguments or more rows than the format holds\n"
           "(XLS: 65535; nothing is written).\n"
           "Any mode: 2 for an unknown option (--status: 3).\n"
           "\n"
           "The installation directory (logs ENVIO.TXT, errorenvio.txt, ERRORES.TXT and the\n"
           "server list SERVIDORES.cfg) is the value Directorio of\n"
           "/etc/xdg/Orbalt/NivoraERP2016.conf (see XDG_CONFIG_DIRS). See enviozvr(1).\n";
}

std::optional<int> handleCommonOptions(const std::vector<std::string>& args, std::ostream& out,
                                       std::ostream& err) {
    for (const std::string& a : args) {
        if (!isOption(a)) break;
        if (a == "--help" || a == "-h") {
            out << usageText();
            return 0;
        }
        if (a == "--version") {
            out << versionText() << "\n";
            return 0;
        }
        if (!knownOption(a)) {
            err << "enviozvr: unknown option '" << a << "'\n" << usageText();
            // The status check answers as a monitoring plugin: UNKNOWN, on standard output.
            if (std::find(args.begin(), args.end(), "--status") != args.end() ||
                std::find(args.begin(), args.end(), "--verify") != args.end()) {
                out << "ENVIOZVR UNKNOWN - unknown option '" << a << "'" << std::endl;
                return 3;
            }
            return 2;
        }
    }
    return std::nullopt;
}

}  // namespace enviozvr::app
