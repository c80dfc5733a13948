// The send cycle: purges old sent events, serves every destination company that has
// pending events (connects its database, transfers a batch of invoice events, marks each
// one sent or leaves it with its error) and re-arms the timer.
//
// Runs on the thread that owns the MainData, from start to end inside one call (the
// desktop's on a thread of its own, ui/sendrunner.h; the headless mode's on its main
// thread or, per destination, on the workers of parallelcycle.h). Reads its options and
// reports its status through the interfaces of sendinterfaces.h. The failures it handles
// itself are those of a destination: a connection that fails or is lost in mid-batch
// (logged to errorenvio.txt, shown as the last error, the company's batch ends and the
// next company is served) and a failure confined to one event's transfer
// (invoicetransfer.h: stored on the event, which stays pending; the batch goes on). Every
// other failure, the origin's, is thrown: data::DatabaseError / data::DataError,
// std::invalid_argument "'%s' is not a valid integer value" for a batch size or a minute
// count that cannot be used. The caller runs it inside core::runGuarded.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "sender/maindata.h"
#include "sender/sendinterfaces.h"

namespace enviozvr::sender {

enum class CycleEnd {
    Completed,  // went through every company and re-armed the timer
    NoCompany,  // stopped at the company check ("Debe indicar la compañía de origen.")
    Stopped,    // ended early at a stop request (SendStatus::stopRequested)
};

// One send cycle (the "Enviar" button, the timer tick and the automatic start).
//
// A cycle that ends early with an exception still re-arms the timer from Minut when Minut
// holds a usable number, so automatic sending never stops by itself; the exception is then
// rethrown unchanged.
//
// `serve`, when given, serves the destination companies the cycle found (in the order
// listed) in place of the cycle's own loop, which serves them one after another on this
// thread; it answers true when a stop request ended the serving early.
using ServeDestinations = std::function<bool(const std::vector<std::string>& companies)>;
CycleEnd runSendCycle(MainData& data, SendOptions& options, SendStatus& status, SendTimer& timer,
                      const ServeDestinations& serve = {});

// Serves one destination company: connects DBEnvio to it, sends a batch of its pending
// events and disconnects. Fills `summary` and reports it (SendStatus::companyServed),
// and records the attempt in the origin's state record (core/staterecord.h): reached,
// or not with the reason; unless the company is not active or a stop of the program
// ended the attempt. A failure of the origin is thrown after the summary is reported
// with what the batch came to (originFailed and the reason, or stopped when a stop ended
// the wait), so that every event marked sent is counted.
void serveCompany(MainData& data, SendOptions& options, SendStatus& status, SendTimer& timer,
                  const std::string& company, CompanySummary& summary);

// Last-send status. The first form looks at every event and sets the "Mensajes error"
// button; the second (invoiceOnly) only at invoice events and leaves the button alone.
void showLastSend(MainData& data, SendStatus& status, bool invoiceOnly);

}  // namespace enviozvr::sender
