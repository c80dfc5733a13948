// The verification of an origin company's destinations, as a monitoring plugin answers:
//   enviozvr --verify SERVER USER PASSWORD COMPANY [--destination=CODE]...
//                     [--since=YYYY-MM-DD] [--repair] [--format=nagios|csv|prometheus]
//                     [--output=FILE]
//
// Logs in like the automatic start, compares what each destination holds with what the
// queue routed to it (sender/verify.h) and writes to standard output, in the locale's
// encoding:
//   - "ENVIOZVR OK - ..." when every document compared is in line, "ENVIOZVR WARNING - ..."
//     when some are not or a destination could not be reached, with the perfdata
//     " | compared=N missing=N different=N left=N doubled=N in_flight=N unreachable=N"
//     (and " repaired=N" with --repair); "ENVIOZVR CRITICAL - ..." when the origin cannot
//     be used; "ENVIOZVR UNKNOWN - ..." for bad arguments, an unknown company, no
//     installation directory, or --repair while the service of the origin holds its lock;
//   - a line per document out of line, or in flight: "<destination> <pref><numero>: <what>";
//   - a line per destination with its counts, or why it was not reached.
// --format=csv writes the list of documents (for the accountants) to --output=FILE, or to
// standard output without it; --format=prometheus the counts per destination as
// Prometheus text, to FILE (replaced at once) or standard output. With FILE the report
// still goes to standard output.
//
// --repair takes the instance lock of the origin (app/instancelock.h) for its whole run,
// so it never runs beside the send service of that company; each document mended is a
// line of ENVIO.TXT. Exit status 0, 1, 2, 3 as the first line says; after --repair, 0
// when every document out of line was mended.
//
// The last verification is kept beside the logs ("enviozvr-<company>.verify") for
// --status and its metrics: see writeVerifyRecord.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sender/verify.h"

namespace enviozvr::app {

// args: the program's arguments without the program name ("--verify" among them).
int runVerify(const std::vector<std::string>& args);

// What the last verification of an origin came to.
struct VerifyRecord {
    std::int64_t at = 0;  // Unix time it ended
    long compared = 0;
    long outOfLine = 0;  // found out of line
    long repaired = 0;
    long unreachable = 0;
};

// Replaces the record of `company` beside the logs; false when it cannot be written.
bool writeVerifyRecord(const std::string& company, const VerifyRecord& record);
// The record, or nothing when there is none (or it cannot be read).
std::optional<VerifyRecord> readVerifyRecord(const std::string& company);
VerifyRecord recordOf(const std::vector<sender::DestinationCheck>& checks);

// The report's lines (the first line and the rest) of a verification; `repair` says
// whether it was asked to mend. The exit status goes to `health`.
std::string verifyReport(const std::string& company,
                         const std::vector<sender::DestinationCheck>& checks, bool repair,
                         int& health);

}  // namespace enviozvr::app
