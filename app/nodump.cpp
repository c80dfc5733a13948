#include "app/nodump.h"

#ifdef __linux__
#include <sys/prctl.h>
#include <sys/resource.h>
#endif

namespace enviozvr::app {

void keepPasswordsOutOfCoreFiles() {
#ifdef __linux__
    // Non-dumpable: no core file, and no ptrace or /proc/PID/mem from other processes.
    (void)::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    // And a core size limit of 0, for a system that dumps non-dumpable processes all the
    // same (fs.suid_dumpable = 2).
    const rlimit none{0, 0};
    (void)::setrlimit(RLIMIT_CORE, &none);
#endif
}

}  // namespace enviozvr::app
