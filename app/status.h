// The health report of the send queue of one origin company, for monitoring:
//   enviozvr --status SERVER USER PASSWORD COMPANY [--stale=MINUTES]
//
// Logs in like the automatic start, opens the origin company database and writes to
// standard output one line per destination company (active rows of REPLICA_COMPANIA and
// every company with events), in code order:
//   "<code>: <p> pendientes, <e> con error, mas antiguo hace <m> min, ultimo envio <date time>"
// where <p> counts the pending events without an error text, <e> the pending events with
// one, <m> is the age in minutes of the oldest pending event (by registration date and
// time, against the server's clock; "sin pendientes" when there is none) and the last send
// is the latest RPEV_FECREP/RPEV_HORAREP ("ultimo envio nunca" when none is kept). A
// destination with events but no active REPLICA_COMPANIA row gets " (sin servidor
// activo)". Then "errorenvio.txt: " and the last line of that log ("sin lineas" when it
// is missing or empty).
//
// Exit status: 0 when no destination has a pending event with an error text and none has
// a pending event older than MINUTES (default 60); 1 otherwise; 2 for bad arguments, a
// failed login, or a company that cannot be opened (the reason on standard error).
// Writes no log line.
#pragma once

#include <string>
#include <vector>

namespace enviozvr::app {

// args: the program's arguments without the program name ("--status" among them).
int runStatus(const std::vector<std::string>& args);

}  // namespace enviozvr::app
