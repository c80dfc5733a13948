#include "sender/headless.h"
namespace enviozvr::sender {
int runHeadless(const std::vector<std::string>&) { return 2; }
}
