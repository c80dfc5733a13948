// The invoice transfer: one document of FACTURAS_ZVR brought in line at the destination
// that DBEnvio is connected to, copied from the origin (DbCia) or deleted there. The send
// cycle transfers the invoice event CAuditor stands on (transferInvoice); the repair of
// sender/verify.h a document outside any event (transferDocument).
//
// Runs on the thread that owns the MainData, inside one call, with DbCia and DBEnvio
// connected. The failures it handles itself are the destination's and those of the one
// document: a change the destination refuses (the outcome Failed, its text stored on the
// event or left in `refusal`) and a lost or silent destination link (DestinationLost, the
// destination let go). A failure of the origin is thrown: data::DatabaseError /
// data::DataError. Origin columns that a destination lacks are said once per destination
// and column in ERRORES.TXT, for the life of the process (the workers of a parallel cycle
// share what was said, under a lock of its own).
#pragma once

#include <exception>
#include <string>

#include "data/dataset.h"
#include "sender/columnpairing.h"
#include "sender/maindata.h"

namespace enviozvr::sender {

// Document type of an invoice: the only type whose events are transferred.
inline constexpr int kInvoiceType = 236;

// What the transfer of one document came to.
enum class TransferOutcome {
    Done,             // the destination is in line with the origin (or nothing was to do)
    Failed,           // a failure confined to this document; its text is on the event
                      // (or in `refusal`)
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
// the destination (the sets are read once a batch, into MainData's originKeySets and
// destinationKeySets, which the caller resets for each batch).
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

// A destination whose attachment is gone, or that stopped answering and had its request
// cancelled, is let go for the rest of the cycle: DBEnvio's attachment is dropped or, when
// it survived the cancel, disconnected. Nothing here throws.
void letDestinationGo(MainData& data, const std::exception& error);

// A text of the queue row `a` stands on (REPLICA_EVENTOS), in Windows-1252, as the logs
// and the screens hold texts.
std::string queueText(const data::CachedResultSet& a, const std::string& column);

// The first column of the first row of `set` opened on `sql`; empty text when there is no
// row. The set is closed again.
std::string firstValue(data::CachedResultSet& set, const std::string& sql);

}  // namespace enviozvr::sender
