// Program entry: picks the run mode from the arguments.
//   --help, -h, --version  print and exit, before any window system or database
//   --export=...         writes an event list to a file and exits (no window)
//   --status             the health report of an origin company's queue (no window)
//   --headless [--once]  the automatic mode without any window
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
#include "app/signals.h"
#include "app/status.h"

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
        if (a == "--status") return enviozvr::app::runStatus(args);
    }
    for (const auto& a : args) {
        if (a == "--headless") return enviozvr::app::runHeadless(args);
    }
    return enviozvr::app::runDesktop(argc, argv);
}
