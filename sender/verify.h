// Verify and repair: whether each destination company holds the invoices the queue
// routed to it, and bringing the documents out of line back in line.
//
// The documents compared for a destination are the invoice documents of its events still
// in REPLICA_EVENTOS, sent or pending; the last event of a document (in the order the
// send cycle takes them) says what the destination should hold: the origin's row, or no
// row after a delete (or when the origin no longer holds the invoice). A document with a
// pending event is in flight: listed, never counted as a difference, never repaired. With
// a date (`since`), also every origin invoice of that date or later (FACT_FECHA) that the
// destination holds. Documents the queue no longer holds cannot be known otherwise.
//
// Rows are compared column by column as the transfer pairs them (sender/columnpairing.h):
// a destination column the origin lacks is not compared (it took its default), an origin
// column the destination lacks is left out. Each destination value is compared with the
// value the transfer would write from the origin's (destinationValue): texts as the same
// characters whatever the character sets of the two columns (NONE holding Windows-1252;
// the blanks that pad a CHAR ignored), exact numbers at the destination column's scale.
//
// Everything is read in bulk: the queue in one statement, the invoices of each side in
// statements of up to kVerifyChunk documents of one prefix, their text blobs inline up to
// a few hundred characters (a longer one is read alone afterwards).
//
// Runs on the thread that owns the MainData, with DbCia connected to the origin (the
// company selection). A failure of the origin is thrown (data::DatabaseError /
// data::DataError); a destination that cannot be reached, or is lost, is reported in its
// DestinationCheck and the others are still compared. Repairs go through the transfer of
// the send cycle (transferDocument in invoicetransfer.h), one ENVIO.TXT line each.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "data/value.h"
#include "sender/columnpairing.h"
#include "sender/maindata.h"

namespace enviozvr::sender {

// Documents of one prefix read per statement at each side.
inline constexpr std::size_t kVerifyChunk = 500;

enum class DocumentState {
    InLine,
    Missing,    // the destination lacks the origin's row
    Different,  // it holds one row that differs (see CheckedDocument::columns)
    Left,       // it holds rows although it should hold none (after a delete)
    Doubled,    // it holds the document more than once
    InFlight,   // an event of the document is still pending
};

// The word of a state in reports: "en linea", "falta", "diferente", "sobra", "doble",
// "en camino".
const char* stateWord(DocumentState state);

struct CheckedDocument {
    std::string pref;    // the key in Windows-1252, for reports
    std::string numero;  //
    // The key as the queue or the origin holds it, in the bytes of its columns' sets.
    DocumentKey key;
    DocumentState state = DocumentState::InLine;
    std::vector<std::string> columns;  // Different: the columns that differ, by name
    int rows = 0;                      // the document's rows at the destination
    bool wanted = false;               // the destination should hold the origin's row
    std::string lastEvent;             // RPEV_ID of its last event; empty from `since` only
    // Repair: whether it was mended, or why not.
    bool repaired = false;
    std::string repairFailure;
};

struct DestinationCheck {
    std::string company;
    bool reached = false;
    std::string reason;  // why it was not reached (or was lost)
    long compared = 0;   // documents compared, in flight ones included
    long inLine = 0;
    long missing = 0;
    long different = 0;
    long left = 0;
    long doubled = 0;
    long inFlight = 0;
    long repaired = 0;
    long repairFailed = 0;
    // Every document not in line (in flight ones too), in key order.
    std::vector<CheckedDocument> documents;

    long outOfLine() const { return missing + different + left + doubled; }
};

struct VerifyRequest {
    std::vector<std::string> destinations;  // empty: every active destination company
    std::optional<data::Date> since;
    bool repair = false;
    // Asked between documents and destinations: true ends the work at once (what was
    // done stays, the rest is not compared). May be empty.
    std::function<bool()> stopRequested;
    // Told which destination is being compared, before it is. May be empty.
    std::function<void(const std::string& company)> progress;
};

// Compares (and with `repair` mends) each destination asked for, in code order. A
// destination named that is not active in REPLICA_COMPANIA is reported as not reached
// ("sin servidor activo").
std::vector<DestinationCheck> verifyDestinations(MainData& data, const VerifyRequest& request);

// One origin row and one destination row of a document: the destination columns whose
// values differ from the origin's, paired by name (see the top). Exposed for tests.
std::vector<std::string> differingColumns(const std::vector<data::Field>& destinationFields,
                                          const std::vector<data::Value>& destination,
                                          const std::vector<data::Field>& originFields,
                                          const std::vector<data::Value>& origin);

}  // namespace enviozvr::sender
