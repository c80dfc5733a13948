// The send cycle with its destination companies served side by side.
//
// The purge and the company list run on the calling thread, over the caller's MainData,
// as in runSendCycle. Then up to `workers` destinations are served at once, each worker on
// a thread of its own with a MainData of its own: its own origin attachment (the caller's
// login, the same origin company) and its own destination attachment, with the connect
// and stall limits of the caller's DBEnvio. Every destination's batch keeps its order and
// its rules; a destination that stalls or fails ends alone while the others go on.
//
// What the workers report reaches `status` one call at a time: stopRequested, showMessage,
// setLastError and setCurrentEvent (the event each worker starts) as they happen; the summaries
// (companyServed) at the end of the cycle, in the order of the company list, then the last send
// (showLastSend). The progress calls are not made. A stop request lets each worker finish its event
// in hand. A failure of the origin in any worker lets the others finish their batch, takes no
// further destination and is thrown from here, as runSendCycle throws it, after the
// summaries: the destination it ended (or whose worker could not attach to the origin) has
// one too.
//
// For a program without windows: `status` and `options` are only read by the workers
// through this driver (options are copied at the start of the cycle); sendinterfaces.h
// says which status calls come from the workers. The destinations given up in mid-event
// are recorded in the registry of the caller's MainData (MainData::abandonedAttachments),
// which every worker's MainData shares, and so are kept across cycles whichever worker
// served them.
#pragma once

#include <string>

#include "sender/maindata.h"
#include "sender/sendcycle.h"
#include "sender/sendinterfaces.h"

namespace enviozvr::sender {

// Destinations served at once unless told otherwise.
inline constexpr int kDefaultParallelDestinations = 4;

// One send cycle over `data` (logged in, origin company `originCompany` selected) with up
// to `workers` destinations at once. With workers <= 1 it is runSendCycle itself: one
// destination after another on this thread.
CycleEnd runParallelSendCycle(MainData& data, const std::string& originCompany, int workers,
                              SendOptions& options, SendStatus& status, SendTimer& timer);

}  // namespace enviozvr::sender
