// The state record of an origin company: for each destination company, the last attempt
// to serve it, its outcome and reason, and the last success. Every run mode that sends
// keeps it; the health check reads it, so that no date has to be read back out of the
// logs (whose date and time follow the locale of whoever wrote them).
//
// The record lives beside the logs as "enviozvr-<ORIGIN>.state" and is replaced whole
// on every change (written to a temporary file in the same folder, then renamed over the
// old one), so a reader sees the record before or after a change, never a part of one.
// Its text, LF-ended lines:
//   enviozvr-state 1
//   <destination> TAB <last attempt> TAB <ok|failed> TAB <last success> TAB <reason>
//   [TAB <reason since>]
// with times in ISO 8601 UTC ("2026-12-10T09:58:01Z", "-" for none), the reason the
// destination was not reached, in Windows-1252 without control characters (empty for
// ok), and the first of the failed attempts in a row that gave that same reason (left out
// by earlier versions: then unknown). Lines a reader does not understand are skipped.
//
// Every function may be called from any thread; nothing throws.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace enviozvr::core {

struct DestinationState {
    std::int64_t lastAttempt = 0;  // Unix time of the last attempt, 0 when none is recorded
    bool reached = false;          // the last attempt reached the destination and served it
    std::string reason;            // why the last attempt did not (empty when it did)
    std::int64_t lastSuccess = 0;  // Unix time of the last attempt that did, 0 when never
    // Unix time of the first of the failed attempts in a row that gave this reason (how
    // long the destination has waited for it); 0 when it was reached, or unknown.
    std::int64_t reasonSince = 0;
};

// Destination company code -> its state.
using StateRecord = std::map<std::string, DestinationState>;

// "enviozvr-<origin>.state".
std::string stateRecordName(const std::string& origin);

// The path of the origin's record beside the logs; empty without an installation
// directory.
std::string stateRecordPath(const std::string& origin);

// The record as text, and back (unknown or malformed lines are left out).
std::string stateRecordText(const StateRecord& record);
StateRecord parseStateRecord(const std::string& text);

// The origin's record as it stands; empty when there is none or it cannot be read.
StateRecord readStateRecord(const std::string& origin);

// Records an attempt at `destination` made at Unix time `when`: reached (and served), or
// not, with the reason. The other destinations' states are kept. Returns empty text when
// the record was replaced, otherwise the reason it could not be; the first failure for a
// path in the run is also said on standard error (the path and the reason).
std::string recordDestinationAttempt(const std::string& origin, const std::string& destination,
                                     bool reached, const std::string& reason, std::int64_t when);

// The same at the current time.
std::string recordDestinationAttempt(const std::string& origin, const std::string& destination,
                                     bool reached, const std::string& reason);

}  // namespace enviozvr::core
