// The health report of the send queue of one origin company, for monitoring, as a
// monitoring plugin gives it:
//   enviozvr --status SERVER USER PASSWORD COMPANY [--stale=MINUTES]
//                     [--format=nagios|prometheus] [--output=FILE]
//
// Logs in like the automatic start, opens the origin company database, reads the queue
// and the origin's state record (core/staterecord.h, beside the logs) and writes to
// standard output, in the locale's encoding:
//   - a summary line "ENVIOZVR <OK|WARNING|CRITICAL|UNKNOWN> - <text>", for OK and
//     WARNING followed by " | pending=N errored=N oldest_minutes=N;MINUTES unreachable=N
//     destinations=N" (the totals over the destinations shown);
//   - one line per destination company (active rows of REPLICA_COMPANIA and every
//     company with events), in code order:
//     "<code>: <p> pendientes, <e> con error, mas antiguo hace <m> min, ultimo envio <date time>"
//     where <p> counts the pending events without an error text, <e> the pending events
//     with one, <m> is the age in minutes of the oldest pending event (by registration
//     date and time, against the server's clock; "sin pendientes" when there is none) and
//     the last send is the latest RPEV_FECREP/RPEV_HORAREP ("ultimo envio nunca" when none
//     is kept). A destination with events but no active REPLICA_COMPANIA row gets
//     " (sin servidor activo)"; one whose last attempt failed while events wait for it
//     ", sin conexion hace <n> min (<reason>)", or, when nothing was sent to it because an
//     attachment an ended run left there may still commit, ", en espera hace <n> min
//     (<reason>)" with <n> the minutes since the first attempt held back so;
//   - "errorenvio.txt: " and the last line of that log ("sin lineas" when it is missing
//     or empty).
// With --format=prometheus the same facts go out as Prometheus exposition text instead;
// with --output=FILE as well, FILE is replaced with that text at once (a temporary file
// renamed over it) and the report goes to standard output as without the option.
//
// Exit status (and state): 0 OK; 1 WARNING when a destination has a pending event with an
// error text, a pending event older than MINUTES (default 60) or was not reached (or held
// back) at its last attempt; 2 CRITICAL when the origin (server, general or company database)
// cannot be reached, refuses the login or its queue cannot be read; 3 UNKNOWN for bad arguments, a
// company that is not in COMPANIA, no installation directory or a metrics file that cannot be
// written. The reason of a CRITICAL or UNKNOWN goes to standard error as well. Writes no log line.
#pragma once

#include <string>
#include <vector>

namespace enviozvr::app {

// args: the program's arguments without the program name ("--status" among them).
int runStatus(const std::vector<std::string>& args);

}  // namespace enviozvr::app
