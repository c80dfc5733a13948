// The send cycle: purges old sent events, serves every destination company that has
// pending events (connects its database, transfers a batch of invoice events, marks each
// one sent or leaves it with its error) and re-arms the timer.
//
// Runs on the thread that owns the MainData, from start to end inside one call (the
// desktop's on a thread of its own, ui/sendrunner.h; the headless mode's on its main
// thread or, per destination, on the workers of parallelcycle.h). Reads
// its options and reports its status through the interfaces of sendinterfaces.h. The
// failures it handles itself are those of a destination: a connection that fails or is
// lost in mid-batch (logged to errorenvio.txt, shown as the last error, the company's
// batch ends and the next company is served) and a failure confined to one event's
// transfer (stored on the event, which stays pending; the batch goes on). Every other
// failure, the origin's, is thrown: data::DatabaseError / data::DataError,
// std::invalid_argument "'%s' is not a valid integer value" for a batch size or a minute
// count that cannot be used. The caller runs it inside core::runGuarded.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sender/maindata.h"
#include "sender/sendinterfaces.h"

namespace enviozvr::sender {

// The two CONFIGURACION rows of the origin that hold the user and the password the send
// cycle logs in with at every destination.
extern const char* const kReplicationUser;
extern const char* const kReplicationPassword;

// Document type of an invoice: the only type whose events are transferred.
inline constexpr int kInvoiceType = 236;

// A minute in milliseconds: Minut counts minutes, the timer milliseconds.
inline constexpr int kMinuteMs = 60000;

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

// What the transfer of one event came to.
enum class TransferOutcome {
    Done,             // the destination is in line with the origin (or nothing was to do)
    Failed,           // a failure confined to this event; its text is on the event
    DestinationLost,  // the destination's attachment is gone, or it stopped answering and
                      // its request was cancelled (stall limit); the event is left as it was
};

// The transfer of the invoice event CAuditor stands on (RPEV_OPER "D" deletes the
// document at the destination, anything else copies it from the origin). A replace (the
// destination already holds the document) deletes and inserts in one destination
// transaction, so a refused insert leaves the old rows in place. The copy pairs columns
// by name (sender/columnpairing.h): a destination column the origin lacks is left to its
// default (or NULL), an origin column the destination lacks is left out and said once per
// destination and run in ERRORES.TXT. It copies every value exactly as the origin holds
// it, exact decimals with every digit the destination column holds, texts as the same
// characters in the destination column's character set (NONE holding Windows-1252), and
// a value that does not fit its column, a text its character set cannot hold included,
// is a failure naming the column and the value. The document key is written into every
// statement in the character set of the column it is compared with, at the origin and at
// the destination.
//
// Any failure while the destination is worked on (a refused change, a refused post in
// the cache, a value that does not fit, a column that requires a value the origin cannot
// give, any error the destination raises) is stored on the event
// (MainData::storeEventError): Failed. A lost
// destination attachment: DestinationLost. A failure of the origin (its invoice row, or
// storing the text) is thrown.
TransferOutcome transferInvoice(MainData& data, const std::string& oper, const std::string& pref,
                                const std::string& numero);

// The same transfer for a document outside any event (the repair of sender/verify.h):
// `remove` deletes every row of it at the destination, otherwise it is copied from the
// origin. The key is written in the character sets of the key columns at each side, as
// for an event. Nothing is stored on an event: Failed leaves the destination's text in `refusal`. A
// failure of the origin is thrown.
TransferOutcome transferDocument(MainData& data, bool remove, const DocumentKey& key,
                                 std::string& refusal);

// Last-send status. The first form looks at every event and sets the "Mensajes error"
// button; the second (invoiceOnly) only at invoice events and leaves the button alone.
void showLastSend(MainData& data, SendStatus& status, bool invoiceOnly);

// Whole-number readings of the option texts, with the message of a failed conversion.
// Batch size: a whole number from 1 up. Minutes: a whole number from 0 up whose interval
// (minutes x 60000 ms) fits a 32-bit millisecond count; negative and larger values are
// refused like text. Both throw std::invalid_argument "'<text>' is not a valid integer
// value"; the try forms return nothing instead.
int batchSizeValue(const std::string& text);
int minutesValue(const std::string& text);
std::optional<int> tryMinutesValue(const std::string& text);

}  // namespace enviozvr::sender
