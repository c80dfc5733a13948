#include "app/commandline.h"

#include <algorithm>

#include "app/options.h"
#include "app/version.h"

namespace enviozvr::app {

namespace {

bool isOption(const std::string& a) { return a.size() > 1 && a[0] == '-'; }

}  // namespace

std::string versionText() { return std::string("enviozvr ") + ENVIOZVR_VERSION_TEXT; }

std::string usageText() { return helpText(); }

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
