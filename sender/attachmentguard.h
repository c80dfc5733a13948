// The names of the send cycle's destination attachments, and the ending of those that a
// transfer given up in mid-flight, or a process that died, left at a destination.
//
// Every destination attachment carries in MON$REMOTE_PROCESS the origin and destination
// company codes and the process that made it:
//   "enviozvr envio <origin>><destination> <pid>.<start>.<boot>.<machine> <serial> <host>"
// (<start>: the process's start time in clock ticks since boot, <boot>: the start of the
// boot id, which together tell a process from a later one with the same pid; <machine>:
// the start of the machine id). The machine is told by its boot and machine ids, which do
// not change with its name: the host name is only a label, so what a run left before the
// machine was renamed (or its container made again on the same boot) is still this
// machine's. Names of earlier versions, without the machine id, are read too. A request of
// such an attachment that the network still holds may reach the server after its process
// is gone, and commit an insert that was sent again since. Before a destination is served,
// the attachments of the same origin and destination that an earlier process of this
// machine left there (its process no longer runs) are ended through MON$ATTACHMENTS, and
// so are the ones this process gave up itself; a running instance's attachments, another
// machine's and another origin's are never touched.
//
// Ending an attachment takes the right to delete from MON$ATTACHMENTS: SYSDBA, the
// database owner, or a user granted it (GRANT DELETE ON MON$ATTACHMENTS TO <user>).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "data/connection.h"

namespace enviozvr::sender {

// A process of a machine, as an attachment name records it.
struct ProcessIdentity {
    long long pid = 0;
    unsigned long long start = 0;  // start time, clock ticks since boot (0: unknown)
    std::string boot;              // the machine's boot id, first 8 characters
    std::string machine;           // the machine id, first 8 characters (empty: unknown)
    std::string host;              // the machine's host name: a label only
    bool operator==(const ProcessIdentity&) const = default;
};

// This process.
const ProcessIdentity& thisProcess();
// A process of this machine that is running now; nothing when there is none by that pid
// (or it cannot be told on this system).
std::optional<ProcessIdentity> runningProcess(long long pid);
// Whether the process ran on this machine: the same machine id, or the same boot id (the
// same running system, a container made again on it included); for a name without a
// machine id, of an earlier boot, the same host name.
bool ofThisMachine(const ProcessIdentity& owner);
// True unless the process is known to have ended: one of this machine whose pid no longer
// runs, or runs another program started later, or one of an earlier boot. A process of
// another machine counts as running (nothing here can tell).
bool mayStillRun(const ProcessIdentity& owner);

// The name of a new attachment of `owner` to destination `destination` for origin
// `origin`; no two names of one process are the same.
std::string destinationAttachmentName(const std::string& origin, const std::string& destination,
                                      const ProcessIdentity& owner = thisProcess());

// What endLeftAttachments came to.
struct LeftAttachments {
    int ended = 0;         // attachments ended (and gone from the server)
    int remaining = 0;     // attachments that may still commit and could not be ended
    std::string why;       // the reason of the first that remained
    bool noRight = false;  // the user of the connection may not end attachments there
    bool clear() const { return remaining == 0; }
};

// Why a destination is not sent to while an attachment left there remains (the reason the
// send cycle gives in errorenvio.txt and the state record, and that --status tells apart).
extern const char* const kLeftAttachmentWaits;

// At the destination `c` is connected to (its own attachment aside), ends the attachments
// of origin `origin` to destination `destination` whose process has ended, and the
// attachments of this process named in `givenUp`, then waits until the server has let
// them go (their transactions rolled back), at most the stall limit of `c` (or a minute).
// An attachment of a process that may still run (another instance, another machine) is
// left alone and counts as remaining. Nothing is thrown: a failure (no right to end
// attachments, a lost link) leaves the attachments as remaining, with the reason (and
// noRight set when the server refused the user the right).
LeftAttachments endLeftAttachments(data::Connection& c, const std::string& origin,
                                   const std::string& destination,
                                   const std::vector<std::string>& givenUp = {});

// Whether the user of `c` may end attachments of its database (delete from
// MON$ATTACHMENTS); when not, `why` gets the server's text. Ends nothing.
bool canEndAttachments(data::Connection& c, std::string* why = nullptr);

}  // namespace enviozvr::sender
