// Program entry: picks the run mode from the arguments.
//   --help, -h, --version  print and exit, before any window system or database
//   --export=...         writes an event list to a file and exits (no window)
//   --status             the health report of an origin company's queue (no window)
//   --verify [--repair]  whether the destinations hold what the queue routed to them
//   --headless [--once]  the automatic mode without any window
//   --log-dir=DIR        with --status, --verify or --headless: the folder of the logs and lock
//   anything else        the desktop program
#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "app/commandline.h"
#include "app/desktop.h"
#include "app/exportcli.h"
#include "app/headless.h"
#include "app/nodump.h"
#include "app/serviceargs.h"
#include "app/signals.h"
#include "app/status.h"
#include "app/verify.h"

int main(int argc, char** argv) {
    // Before any thread exists: SIGINT and SIGTERM then reach only the program's own stop.
    enviozvr::app::blockStopSignals();
    // The locale's character encoding, for the arguments and messages of the console modes.
    std::setlocale(LC_CTYPE, "");
    std::vector<std::string> args(argv + 1, argv + argc);
    if (const auto status = enviozvr::app::handleCommonOptions(args, std::cout, std::cerr))
        return *status;
    // Every run mode from here on takes a password: none of it goes into a core file.
    enviozvr::app::keepPasswordsOutOfCoreFiles();
    for (const auto& a : args) {
        if (a.rfind("--export=", 0) == 0) return enviozvr::app::runExportCommand(args);
    }
    for (const auto& a : args) {
        if (a == "--status" || a == "--headless" || a == "--verify") {
            // The folder of the logs, the lock and the state, for both service modes.
            // A bad value is a bad argument: UNKNOWN (3) for the check, 2 for headless.
            if (!enviozvr::app::takeLogDirectory(args, std::cerr))
                return a == "--headless" ? enviozvr::app::kConfigurationError : 3;
            break;
        }
    }
    for (const auto& a : args) {
        if (a == "--status") return enviozvr::app::runStatus(args);
        if (a == "--verify") return enviozvr::app::runVerify(args);
    }
    for (const auto& a : args) {
        if (a == "--headless") return enviozvr::app::runHeadless(args);
    }
    return enviozvr::app::runDesktop(argc, argv);
}
