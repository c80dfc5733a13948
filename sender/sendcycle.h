// The send cycle: purges old sent events, serves every destination company that has
// pending events (connects its database, transfers a batch of invoice events, marks each
// one sent or leaves it with its error) and re-arms the timer.
//
// Runs on the thread that owns the MainData, from start to end inside one event. Reads
// its options and reports its status through the interfaces of sendinterfaces.h. The
// failures it handles itself are the destination connection (logged to errorenvio.txt and
// shown as the last error) and a refused change at the destination (stored on the event).
// Every other failure is thrown: data::DatabaseError / data::DataError, data::SilentAbort
// from the update-error hooks, std::invalid_argument "'%s' is not a valid integer value"
// for a batch size or a minute count that cannot be used. The caller runs it inside
// core::runGuarded.
#pragma once

#include <optional>
#include <string>

#include "sender/maindata.h"
#include "sender/sendinterfaces.h"

namespace enviozvr::sender {

// Document type of an invoice: the only type whose events are transferred.
inline constexpr int kInvoiceType = 236;

enum class CycleEnd {
    Completed,  // went through every company and re-armed the timer
    NoCompany,  // stopped at the company check ("Debe indicar la compañía de origen.")
};

// One send cycle (the "Enviar" button, the timer tick and the automatic start).
//
// A cycle that ends early with an exception still re-arms the timer from Minut when Minut
// holds a usable number, so automatic sending never stops by itself; the exception is then
// rethrown unchanged.
CycleEnd runSendCycle(MainData& data, SendOptions& options, SendStatus& status,
                           SendTimer& timer);

// The transfer of the invoice event CAuditor stands on (RPEV_OPER "D" deletes the
// document at the destination, anything else copies it from the origin). Returns true
// when the destination refused the change (the text is then on the event). A replace
// (the destination already holds the document) deletes and inserts in one destination
// transaction, so a refused insert leaves the old rows in place. Exact decimals are
// copied with every digit the destination column holds.
bool transferInvoice(MainData& data, const std::string& oper, const std::string& pref,
                     const std::string& numero);

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
