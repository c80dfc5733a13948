#include "app/commandline.h"

#include <algorithm>

#include "app/options.h"
#include "app/version.h"

namespace enviozvr::app {

namespace {

bool isOption(const std::string& a) { return a.size() > 1 && a[0] == '-'; }

}  // namespace

std::string versionText() { return std::string("enviozvr ") + ENVIOZVR_VERSION_TEXT; }

std::string usageText() {
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
