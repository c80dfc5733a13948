// Passwords out of core files.
//
// The run modes that take a password (the login screen, the headless mode, the export and
// the status check) hold it, and the replication password they read from the origin, in
// memory for as long as they run; a core file of the process would hold them too, readable
// by whoever can read the file. keepPasswordsOutOfCoreFiles makes the process
// non-dumpable: the kernel writes no core file of it (whatever the core size limit), and
// other processes of the same user can no longer attach to it or read its memory.
#pragma once

namespace enviozvr::app {

// Call once, before a password is read (main does, after --help and --version). Does
// nothing where the system has no such setting.
void keepPasswordsOutOfCoreFiles();

}  // namespace enviozvr::app
