#include "grid/exportcli.h"
namespace enviozvr::grid {
int runExportCommand(const std::vector<std::string>&) { return 2; }
}
