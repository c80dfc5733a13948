#include "sender/invoicetransfer.h"

#include <mutex>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "core/localfiles.h"
#include "data/codepage.h"
#include "data/errors.h"
#include "data/transaction.h"
#include "data/value.h"

namespace enviozvr::sender {

namespace {

// The origin FACTURAS_ZVR row of one document, read whole before the destination is
// touched, so that a failure while reading it is always the origin's.
struct OriginRow {
    std::vector<data::Field> columns;
    data::Row values;
};

std::optional<OriginRow> readOrigin(MainData& d, const std::string& match) {
    d.QCopia.close();
    d.QCopia.clear();
    d.QCopia.setText("select * from FACTURAS_ZVR where " + match);
    d.QCopia.open();
    if (d.QCopia.isEmpty()) {
        d.QCopia.close();
        return std::nullopt;
    }
    OriginRow row;
    for (int i = 0; i < d.QCopia.columnCount(); ++i) {
        row.columns.push_back(d.QCopia.column(i));
        row.values.push_back(d.QCopia.value(i));
    }
    d.QCopia.close();
    return row;
}

// Applies CDestino's change log; a refusal is thrown as the error the destination (or
// the cached set) raised, so that the event's failure is the destination's own text.
void applyToDestination(MainData& d) {
    if (d.CDestino.applyUpdates(0) != 0) {
        if (d.CDestino.lastApplyError()) std::rethrow_exception(d.CDestino.lastApplyError());
        throw data::DataError("the destination refused the change");
    }
}

// Fills a new CDestino row from the origin row, each column from the origin column of its
// name, posts it and applies it. CDestino holds only columns the origin has (see
// copyDocument). A refusal is thrown (see applyToDestination).
void insertFromOrigin(MainData& d, const OriginRow& origin) {
    d.CDestino.insert();
    const ColumnPairing pairing = pairColumns(d.CDestino.fields(), origin.columns);
    for (int i = 0; i < d.CDestino.fieldCount(); ++i) {
        const ColumnPair& pair = pairing.pairs[static_cast<size_t>(i)];
        if (!pair.origin) continue;  // left to the destination's default
        const size_t from = *pair.origin;
        try {
            d.CDestino.setValue(
                i, destinationValue(pair.destination, origin.columns[from], origin.values[from]));
        } catch (const data::DatabaseError&) {
            throw;
        } catch (const data::DataError& e) {
            // Columns of one name may differ in kind: the failure names the column.
            const std::string text = e.what();
            if (text.find("'" + pair.destination.name + "'") != std::string::npos) throw;
            throw data::DataError(text + " (column '" + pair.destination.name + "')");
        }
    }
    d.CDestino.post();
    applyToDestination(d);
}

// Deletes every row of the document by its key, however many there are (a destination
// without the unique index may hold more than one); no row of it is left behind.
void deleteDocument(MainData& d, const std::string& match) {
    d.Qcopiades.close();
    d.Qcopiades.clear();
    d.Qcopiades.setText("delete from FACTURAS_ZVR WHERE " + match);
    d.DBEnvio.executeImmediate(d.Qcopiades.text());
}

// Origin columns that a destination lacks, said once per destination database and column
// for the life of the process (the workers of a parallel cycle share it).
bool firstMention(const std::string& location, const std::string& column) {
    static std::mutex mutex;
    static std::set<std::pair<std::string, std::string>> said;
    std::lock_guard lock(mutex);
    return said.emplace(location, column).second;
}

void sayLeftOut(MainData& d, const ColumnPairing& pairing) {
    const std::string location = d.DBEnvio.param("Database");
    for (const std::string& column : pairing.originOnly) {
        if (!firstMention(location, column)) continue;
        std::string text = "La columna " + column;
        text += " de FACTURAS_ZVR del origen no existe en el destino ";
        text += location;
        text += "; sus valores no se copian alli";
        core::logUnhandledError(d.loginRecord.UsuarioSesion, text);
    }
}

void copyDocument(MainData& d, const OriginRow& origin, const std::string& match) {
    const std::string lookup = "SELECT * FROM FACTURAS_ZVR where " + match;
    d.CDestino.close();
    d.CDestino.setCommandText(lookup);
    d.CDestino.open();

    // Columns by name. A destination column the origin lacks is left out of the new row's
    // statement, so that the destination gives it its default (or NULL): the new row is
    // made in a set that reads only the columns the origin has.
    const ColumnPairing pairing = pairColumns(d.CDestino.fields(), origin.columns);
    sayLeftOut(d, pairing);
    const std::string insertShape = pairing.complete() ? lookup
                                                       : "SELECT " + pairedColumnList(pairing) +
                                                             " FROM FACTURAS_ZVR where " + match;

    if (d.CDestino.isEmpty()) {
        if (!pairing.complete()) {
            d.CDestino.close();
            d.CDestino.setCommandText(insertShape);
            d.CDestino.open();
        }
        insertFromOrigin(d, origin);
    } else {
        // Replace: the delete and the new row share one destination transaction, so a
        // refused insert leaves the old rows where they were (the transaction rolls back
        // as the refusal leaves this block).
        data::Transaction tx(d.DBEnvio);
        d.Qcopiades.close();
        d.Qcopiades.clear();
        d.Qcopiades.setText("delete from FACTURAS_ZVR WHERE " + match);
        d.DBEnvio.executeImmediate(d.Qcopiades.text());
        d.CDestino.close();
        d.CDestino.setCommandText(insertShape);
        d.CDestino.open();
        if (d.CDestino.isEmpty()) insertFromOrigin(d, origin);
        tx.commit();
    }
    d.CDestino.close();
}

// The event's document key: RPEV_PREF and RPEV_NUMERO in the character sets the queue
// holds them in.
DocumentKey eventKey(const data::CachedResultSet& a, const std::string& pref,
                     const std::string& numero) {
    return {pref, a.field(a.fieldByName("RPEV_PREF")).characterSet, numero,
            a.field(a.fieldByName("RPEV_NUMERO")).characterSet};
}

// The key's condition at the database of `c`, in the bytes of its key columns' sets
// (read once a batch into `sets`; a key of plain ASCII is the same in every set and
// needs none).
std::string keyMatch(data::Connection& c, std::optional<KeyColumnSets>& sets,
                     const DocumentKey& key) {
    if (key.ascii()) return documentMatch(key, {key.prefSet, key.numeroSet});
    if (!sets) sets = keyColumnSets(c);
    return documentMatch(key, *sets);
}

// The key's condition at the origin. Nothing, with the failure's text in `failure`, when
// the key itself cannot be taken there (a text the key columns' set cannot hold, or that
// the server cannot read as one of its character set): a failure of this document alone.
// A failure of the database is thrown.
std::optional<std::string> originMatch(MainData& d, const DocumentKey& key, std::string& failure) {
    try {
        return keyMatch(d.DbCia, d.originKeySets, key);
    } catch (const data::DatabaseError&) {
        throw;
    } catch (const data::DataError& error) {
        failure = error.what();
        return std::nullopt;
    }
}

// The destination's part of a transfer: the origin's row copied (or, without one, every
// row of the document deleted) at the destination. Failed leaves the destination's
// refusal in `refusal`; a link that failed lets the destination go.
TransferOutcome toDestination(MainData& d, const std::optional<OriginRow>& origin,
                              const DocumentKey& key, std::string& refusal) {
    try {
        const std::string there = keyMatch(d.DBEnvio, d.destinationKeySets, key);
        if (origin)
            copyDocument(d, *origin, there);
        else
            deleteDocument(d, there);
        return TransferOutcome::Done;
    } catch (const data::DataError& error) {
        // Anything the destination side raised for this event: a refusal of the server or
        // of the cached set (a value the column cannot hold), or the end of the link.
        if (d.destinationLinkFailed(error)) {
            letDestinationGo(d, error);
            return TransferOutcome::DestinationLost;
        }
        refusal = error.what();
    }
    return TransferOutcome::Failed;
}

}  // namespace

std::string firstValue(data::CachedResultSet& set, const std::string& sql) {
    set.close();
    set.setCommandText(sql);
    set.open();
    std::string v = set.isEmpty() ? std::string() : set.asText(0);
    set.close();
    return v;
}

std::string queueText(const data::CachedResultSet& a, const std::string& column) {
    const int field = a.fieldByName(column);
    return data::windows1252From(a.asText(field), a.field(field).characterSet);
}

void letDestinationGo(MainData& d, const std::exception& error) {
    d.DBEnvio.dropIfLost(error);
    try {
        d.DBEnvio.disconnect();
    } catch (...) {
        // The attachment could not be detached; disconnect has let it go all the same.
    }
}

TransferOutcome transferInvoice(MainData& d, const std::string& oper, const std::string& pref,
                                const std::string& numero) {
    const DocumentKey key = eventKey(d.CAuditor, pref, numero);
    // The origin's invoice row; a failure here is the origin's and ends the cycle, unless
    // the key itself cannot be taken (a text the key columns' set cannot hold, or that the
    // server cannot read as one of its character set), which is this event's alone.
    std::optional<OriginRow> origin;
    if (oper != "D") {
        std::string failure;
        const std::optional<std::string> match = originMatch(d, key, failure);
        if (!match) {
            d.storeEventError(failure);
            return TransferOutcome::Failed;
        }
        try {
            origin = readOrigin(d, *match);
        } catch (const data::DatabaseError& error) {
            if (error.connectionLost() || d.DbCia.stalled() || error.sqlState().rfind("22", 0) != 0)
                throw;
            d.storeEventError(error.what());
            return TransferOutcome::Failed;
        }
        if (!origin) {
            // Nothing to send; the event counts as done, and the log says why.
            core::logUnhandledError(d.loginRecord.UsuarioSesion,
                                    "La factura " + queueText(d.CAuditor, "RPEV_PREF") +
                                        queueText(d.CAuditor, "RPEV_NUMERO") + " del evento " +
                                        d.CAuditor.asText("RPEV_ID") +
                                        " ya no existe en el origen; el evento se marca enviado");
            return TransferOutcome::Done;
        }
    }
    std::string refusal;
    const TransferOutcome outcome = toDestination(d, origin, key, refusal);
    if (outcome != TransferOutcome::Failed) return outcome;
    // Stored on the event at the origin, outside the destination's work: a failure of the
    // origin here is the origin's and ends the cycle.
    d.storeEventError(refusal);
    return TransferOutcome::Failed;
}

TransferOutcome transferDocument(MainData& d, bool remove, const DocumentKey& key,
                                 std::string& refusal) {
    std::optional<OriginRow> origin;
    if (!remove) {
        const std::optional<std::string> match = originMatch(d, key, refusal);
        if (!match) return TransferOutcome::Failed;
        origin = readOrigin(d, *match);
        if (!origin) return TransferOutcome::Done;
    }
    return toDestination(d, origin, key, refusal);
}

}  // namespace enviozvr::sender
