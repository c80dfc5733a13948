#include "sender/sendcycle.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <set>
#include <stdexcept>
#include <utility>

#include "core/localfiles.h"
#include "core/staterecord.h"
#include "data/codepage.h"
#include "data/sqltext.h"
#include "data/transaction.h"
#include "data/value.h"
#include "sender/attachmentguard.h"
#include "sender/columnpairing.h"

namespace enviozvr::sender {

const char* const kReplicationUser =
    "select conf_valor from configuracion where conf_modulo = 'INVENTARIO' and "
    "conf_categoria = 'ARTICULOS' and conf_propiedad = 'NOMBRE DE USUARIO PARA REPLICACION DE "
    "ARTICULOS'";
const char* const kReplicationPassword =
    "select conf_valor from configuracion where conf_modulo = 'INVENTARIO' and "
    "conf_categoria = 'ARTICULOS' and conf_propiedad = 'CLAVE DE USUARIO PARA REPLICACION DE "
    "ARTICULOS'";

namespace {

constexpr int kSentRetentionDays = 7;
constexpr int64_t kMaxIntervalMs = INT32_MAX;

std::invalid_argument notAnInteger(const std::string& text) {
    return std::invalid_argument("'" + text + "' is not a valid integer value");
}

// Whole decimal number: digits only, no sign, no blanks. nullopt when the text is none or
// the value exceeds `limit`.
std::optional<int64_t> wholeNumber(const std::string& text, int64_t limit) {
    if (text.empty() || text.size() > 18) return std::nullopt;
    int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    if (v > limit) return std::nullopt;
    return v;
}

const char* const kLastSendAll =
    "SELECT FIRST 1 RPEV_ID, RPEV_FECREP, RPEV_HORAREP FROM replica_eventos "
    "ORDER BY RPEV_FECREP DESC, RPEV_HORAREP DESC";
const std::string kLastSendInvoices =
    "SELECT FIRST 1 RPEV_ID, RPEV_FECREP, RPEV_HORAREP FROM replica_eventos "
    "WHERE RPEV_TIPO = " +
    std::to_string(kInvoiceType) + " ORDER BY RPEV_FECREP DESC, RPEV_HORAREP DESC";

// The first column of the first row of a cached set opened on `sql`; empty text when
// there is no row.
std::string firstValue(data::CachedResultSet& set, const std::string& sql) {
    set.close();
    set.setCommandText(sql);
    set.open();
    std::string v = set.isEmpty() ? std::string() : set.asText(0);
    set.close();
    return v;
}

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

// A text of the queue in Windows-1252, as the logs and the screens hold texts.
std::string queueText(const data::CachedResultSet& a, const std::string& column) {
    const int field = a.fieldByName(column);
    return data::windows1252From(a.asText(field), a.field(field).characterSet);
}

std::string eventText(const data::CachedResultSet& a) {
    return a.asText("RPEV_TIPO") + "," + queueText(a, "RPEV_OPER") + "," +
           queueText(a, "RPEV_PREF") + queueText(a, "RPEV_NUMERO") + "," +
           queueText(a, "RPEV_CODIGO");
}

// Label8's text, followed by the reason as errorenvio.txt has it.
std::string lastErrorText(const std::string& databasePath, const std::string& reason) {
    std::string text = "Ult. error:" + data::shortDateText(data::today()) + " " +
                       data::longTimeText(data::timeNow()) +
                       " No se pudo conectar con el servidor " + databasePath;
    if (!reason.empty()) text += ", " + reason;
    return text;
}

// A destination that cannot be reached (or was lost): errorenvio.txt, with the reason,
// and Label8.
void reportUnreachable(MainData& d, SendStatus& status, const std::string& reason) {
    // A wait ended by a stop of the program (or of the cycle) is no failure of the
    // destination.
    if (data::waitsInterrupted() || status.stopRequested()) return;
    const std::string path = d.DBEnvio.param("Database");
    core::logConnectionFailure(path, reason);
    status.setLastError(lastErrorText(path, reason));
}

// The first line of the server's text of a failure, without "SQL Server Error: ".
std::string firstLine(const std::exception& e) {
    std::string text = e.what();
    if (text.rfind("SQL Server Error: ", 0) == 0) text.erase(0, 18);
    return text.substr(0, text.find_first_of("\r\n"));
}

// Why a destination could not be connected.
std::string connectFailureReason(const data::Connection& c, const std::exception& e) {
    const auto* db = dynamic_cast<const data::DatabaseError*>(&e);
    if (db && db->connectionLost()) {
        if (std::string(e.what()).find("no answer within") != std::string::npos)
            return "sin respuesta al conectar en " + std::to_string(c.connectTimeout().count()) +
                   " s";
        return "servidor inalcanzable: " + firstLine(e);
    }
    return "conexion rechazada: " + firstLine(e);
}

// A destination whose attachment is gone, or that stopped answering and had its request
// cancelled, is let go for the rest of the cycle: the attachment is dropped or, when it
// survived the cancel, disconnected. Nothing here throws.
void letDestinationGo(MainData& d, const std::exception& error) {
    d.DBEnvio.dropIfLost(error);
    try {
        d.DBEnvio.disconnect();
    } catch (...) {
        // The attachment could not be detached; disconnect has let it go all the same.
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

// RPCO_SERVIDOR of an active destination company; empty text when it is not active.
std::string destinationServer(MainData& d, const std::string& company) {
    d.CBorraOri.close();
    d.CBorraOri.setCommandText("select RPCO_SERVIDOR from REPLICA_COMPANIA where RPCO_COD = " +
                               data::quoted(company) + " AND RPCO_ACTIVA = 'S'");
    d.CBorraOri.open();
    std::string server = d.CBorraOri.isEmpty() ? std::string() : d.CBorraOri.asText(0);
    d.CBorraOri.close();
    return server;
}

// Destinations held back by an attachment left there, said once (per destination
// database, until it is served again) for the life of the process; the workers of a
// parallel cycle share it. Answers whether the hold is new.
bool firstHold(const std::string& location, bool held) {
    static std::mutex mutex;
    static std::set<std::string> holding;
    std::lock_guard lock(mutex);
    if (!held) {
        holding.erase(location);
        return false;
    }
    return holding.insert(location).second;
}

// ERRORES.TXT, once a hold: why nothing is sent to the destination, and what would let
// the cycle end the attachment.
void sayHeld(MainData& d, const std::string& company, const LeftAttachments& left) {
    const std::string location = d.DBEnvio.param("Database");
    if (!firstHold(location, true)) return;
    std::string text = "No se envia nada al destino " + company;
    text += " (" + location + ")";
    text += " mientras una conexion que dejo antes este origen aun pueda confirmar: ";
    if (left.noRight) {
        const std::string user = d.DBEnvio.param("User_Name");
        text += "el usuario de replicacion " + user;
        text += " no puede terminarla (" + left.why + ")";
        text += "; para que el envio la termine y siga: GRANT DELETE ON MON$ATTACHMENTS TO ";
        text += user;
        text += " en esa base de datos";
    } else {
        text += left.why;
    }
    core::logUnhandledError(d.loginRecord.UsuarioSesion, text);
}

// Connects DBEnvio to the company's database on `server` with the replication login, and
// ends first what may still commit there: an attachment this process gave up in
// mid-transfer, and those an earlier process of this origin left (a transfer given up in
// mid-flight may still commit). While one remains, nothing is sent here, whatever the
// destination's indexes: a late insert could bring back an invoice deleted since, a late
// delete remove one sent again. False, with the reason logged and in `summary`, when the
// destination cannot be served.
bool connectDestination(MainData& d, SendStatus& status, const std::string& company,
                        const std::string& server, CompanySummary& summary) {
    d.DBEnvio.setParam("Database", companyDatabasePath(server, company));
    d.DBEnvio.setParam("User_Name", firstValue(d.CConfori, kReplicationUser));
    d.DBEnvio.setParam("password", firstValue(d.CConfori, kReplicationPassword));
    d.DBEnvio.setParam("ProcessName", destinationAttachmentName(d.originCompany, company));
    try {
        d.DBEnvio.connect();
    } catch (const std::exception& e) {
        summary.reason = connectFailureReason(d.DBEnvio, e);
        reportUnreachable(d, status, summary.reason);
        return false;
    }
    try {
        const std::string location = d.DBEnvio.param("Database");
        const std::optional<std::string> givenUp = d.abandonedAttachments.find(location);
        std::vector<std::string> names;
        if (givenUp) names.push_back(*givenUp);
        const LeftAttachments left = endLeftAttachments(d.DBEnvio, d.originCompany, company, names);
        if (!left.clear()) {
            sayHeld(d, company, left);
            throw data::DataError("an attachment given up earlier is still there: " + left.why);
        }
        if (givenUp) d.abandonedAttachments.gone(location, *givenUp);
        firstHold(location, false);
    } catch (const std::exception& error) {
        letDestinationGo(d, error);
        summary.reason = kLeftAttachmentWaits;
        reportUnreachable(d, status, summary.reason);
        return false;
    }
    return true;
}

// The batch of a company's pending events, in the order they are sent. Events that carry
// an error cannot take the whole batch: unless they are left out, up to the batch size of
// events without an error, and up to as many with one (retried every cycle), in one list
// in the batch's order.
std::string pendingBatchSql(SendOptions& options, const std::string& company) {
    if (options.batchSize().empty()) options.setBatchSize("80");
    const std::string first =
        "select first " + std::to_string(batchSizeValue(options.batchSize())) +
        " * from replica_eventos where rpev_fecrep is null and rpev_compania = " +
        data::quoted(company);
    // RPEV_ID last: events registered in the same second keep the order they were queued.
    const std::string order = options.newestFirst()
                                  ? " order by rpev_fecreg desc, rpev_horareg desc, rpev_id desc"
                                  : " order by rpev_fecreg, rpev_horareg, rpev_id";
    if (options.skipErrored()) return first + " AND RPEV_ERROR IS NULL" + order;
    return "select * from (select * from (" + first + " AND RPEV_ERROR IS NULL" + order +
           ") union all select * from (" + first + " AND RPEV_ERROR IS NOT NULL" + order + "))" +
           order;
}

// Marks the event sent at the origin, committed at once.
void markSent(MainData& d, const std::string& id) {
    d.QCopia.close();
    d.QCopia.clear();
    d.QCopia.setText("UPDATE REPLICA_EVENTOS SET RPEV_FECREP = " + data::sqlDate(data::today()) +
                     ", RPEV_HORAREP = " + data::sqlTime(data::timeNow()) +
                     " where RPEV_ID = " + id);
    d.QCopia.executeImmediate();
}

// Sends the events of CAuditor's batch one by one, each logged, transferred and marked
// sent (or left with its error). A destination lost in mid-batch, or a stop request,
// ends the batch: the rest waits for a later cycle.
void sendBatch(MainData& d, SendStatus& status, CompanySummary& summary) {
    data::CachedResultSet& a = d.CAuditor;
    // Known before the first event: a destination given up is remembered by these.
    const std::string location = d.DBEnvio.param("Database");
    const std::string attachment = d.DBEnvio.param("ProcessName");
    std::string shown;
    status.setCurrentEvent(shown, true);
    // Each event's statements commit at each side the moment they succeed (the replace
    // still in a transaction of its own), in one transaction per batch and side.
    data::AutocommitScope originCommits(d.DbCia);
    data::AutocommitScope destinationCommits(d.DBEnvio);
    // The key columns' sets are read again for each batch (the tables may have changed).
    d.originKeySets.reset();
    d.destinationKeySets.reset();
    for (; !a.eof(); a.next()) {
        if (status.stopRequested()) {
            summary.stopped = true;
            break;
        }
        shown = eventText(a);
        status.setCurrentEvent(shown, true);
        status.repaint();
        const std::string id = a.asText("RPEV_ID");
        // The log holds Windows-1252, whatever the origin's character set.
        core::archivo_auditoria(
            id, a.asText("RPEV_TIPO"),
            queueText(a, "RPEV_PREF") + queueText(a, "RPEV_NUMERO") + queueText(a, "RPEV_CODIGO"));
        status.stepProgress();

        TransferOutcome outcome = TransferOutcome::Done;
        if (a.asInteger(a.fieldByName("RPEV_TIPO")) == kInvoiceType)
            outcome = transferInvoice(d, a.asText("RPEV_OPER"), a.asText("RPEV_PREF"),
                                      a.asText("RPEV_NUMERO"));
        if (outcome == TransferOutcome::DestinationLost) {
            // The event stays pending as it was; the rest of this batch waits for a later
            // cycle, and the next company is served. A wait that a stop of the program
            // ended is no failure of the destination: the batch ends as stopped.
            d.abandonedAttachments.giveUp(location, attachment);
            if (data::waitsInterrupted() || status.stopRequested()) {
                summary.stopped = true;
                break;
            }
            summary.lost = true;
            summary.reason = d.DBEnvio.stalled()
                                 ? "sin respuesta durante " +
                                       std::to_string(d.DBEnvio.stallLimit().count()) + " s"
                                 : std::string("conexion perdida");
            reportUnreachable(d, status, summary.reason);
            break;
        }
        if (outcome == TransferOutcome::Failed) {
            ++summary.failed;
            continue;
        }
        markSent(d, id);
        ++summary.sent;
    }
    status.setCurrentEvent(shown, false);
}

}  // namespace

void serveCompany(MainData& d, SendOptions& options, SendStatus& status, SendTimer& timer,
                  const std::string& company, CompanySummary& summary) {
    status.setProgressPanel("Enviando informaci\xF3n a " + company, true);
    timer.stop();
    status.repaint();

    d.DBEnvio.disconnect();
    try {
        const std::string server = destinationServer(d, company);
        if (server.empty()) return;
        // The attach may take up to the connect limit: the panel says so meanwhile.
        status.setProgressPanel("Conectando con " + company + "...", true);
        status.setConnecting(true);
        status.repaint();
        const bool connected = connectDestination(d, status, company, server, summary);
        status.setConnecting(false);
        status.setProgressPanel("Enviando informaci\xF3n a " + company, true);
        if (!connected) {
            summary.connected = false;
            // A wait that a stop of the program ended says nothing of the destination.
            if (!data::waitsInterrupted() && !status.stopRequested())
                core::recordDestinationAttempt(d.originCompany, company, false, summary.reason);
            status.companyServed(summary);
            return;
        }

        data::CachedResultSet& a = d.CAuditor;
        a.close();
        a.setCommandText(pendingBatchSql(options, company));
        a.open();
        a.last();
        summary.taken = a.recordCount();
        status.resetProgress(summary.taken);
        a.first();
        sendBatch(d, status, summary);
        a.close();

        showLastSend(d, status, true);
        // The destination is let go after its batch: the next company's database is another
        // one, and what was kept for this batch (the prepared insert) goes with the attachment.
        d.DBEnvio.disconnect();
        // Reached and served, or lost in mid-batch (then not served since).
        core::recordDestinationAttempt(d.originCompany, company, !summary.lost, summary.reason);
    } catch (const std::exception& error) {
        // A failure of the origin (or a stop that ended one of its waits) goes on to the
        // caller; the destination's summary still says what its batch came to up to there,
        // so that every event marked sent is counted.
        status.setConnecting(false);
        if (data::waitsInterrupted() || status.stopRequested()) {
            summary.stopped = true;
        } else {
            summary.originFailed = true;
            summary.reason = d.DbCia.stalled()
                                 ? "origen sin respuesta durante " +
                                       std::to_string(d.DbCia.stallLimit().count()) + " s"
                                 : "fallo del origen: " + firstLine(error);
        }
        status.companyServed(summary);
        throw;
    }
    status.companyServed(summary);
}

namespace {

// Re-arms the timer from Minut (the end of a cycle).
void rearm(SendOptions& options, SendTimer& timer) {
    timer.start(minutesValue(options.minutes()) * kMinuteMs);
}

}  // namespace

int batchSizeValue(const std::string& text) {
    const auto v = wholeNumber(text, INT32_MAX);
    if (!v || *v < 1) throw notAnInteger(text);
    return static_cast<int>(*v);
}

std::optional<int> tryMinutesValue(const std::string& text) {
    const auto v = wholeNumber(text, kMaxIntervalMs / kMinuteMs);
    if (!v) return std::nullopt;
    return static_cast<int>(*v);
}

int minutesValue(const std::string& text) {
    const auto v = tryMinutesValue(text);
    if (!v) throw notAnInteger(text);
    return *v;
}

TransferOutcome transferInvoice(MainData& d, const std::string& oper, const std::string& pref,
                                const std::string& numero) {
    const DocumentKey key = eventKey(d.CAuditor, pref, numero);
    // The origin's invoice row; a failure here is the origin's and ends the cycle, unless
    // the key itself cannot be taken (a text the key columns' set cannot hold, or that the
    // server cannot read as one of its character set), which is this event's alone.
    std::optional<OriginRow> origin;
    if (oper != "D") {
        std::string match;
        try {
            match = keyMatch(d.DbCia, d.originKeySets, key);
        } catch (const data::DatabaseError&) {
            throw;
        } catch (const data::DataError& error) {
            d.storeEventError(error.what());
            return TransferOutcome::Failed;
        }
        try {
            origin = readOrigin(d, match);
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
        std::string match;
        try {
            match = keyMatch(d.DbCia, d.originKeySets, key);
        } catch (const data::DatabaseError&) {
            throw;
        } catch (const data::DataError& error) {
            refusal = error.what();
            return TransferOutcome::Failed;
        }
        origin = readOrigin(d, match);
        if (!origin) return TransferOutcome::Done;
    }
    return toDestination(d, origin, key, refusal);
}

void showLastSend(MainData& d, SendStatus& status, bool invoiceOnly) {
    d.CUltenvio.close();
    d.CUltenvio.setCommandText(invoiceOnly ? kLastSendInvoices : kLastSendAll);
    d.CUltenvio.open();
    const data::Value date =
        d.CUltenvio.isEmpty() ? data::Value() : d.CUltenvio.value("RPEV_FECREP");
    const bool sentBefore = !date.isNull();
    if (sentBefore)
        status.setLastSend(date.toText() + " - " + d.CUltenvio.asText("RPEV_HORAREP"));
    else
        status.setLastSend("Sin envios hasta ahora.");
    if (!invoiceOnly) status.setErrorViewerEnabled(sentBefore);
}

CycleEnd runSendCycle(MainData& d, SendOptions& options, SendStatus& status, SendTimer& timer,
                      const ServeDestinations& serve) {
    if (!options.companyChosen()) {
        status.showMessage(
            "Debe indicar la compa\xF1\xED"
            "a de origen.");
        return CycleEnd::NoCompany;
    }
    try {
        // A batch size that cannot be used stops the cycle before any statement is sent.
        if (!options.batchSize().empty()) batchSizeValue(options.batchSize());
        if (status.stopRequested()) {
            rearm(options, timer);
            return CycleEnd::Stopped;
        }

        showLastSend(d, status, false);

        status.setProgressPanel("Borrando informaci\xF3n procesada...", true);
        status.repaint();
        data::Date cutoff = data::today();
        cutoff.days -= kSentRetentionDays;
        d.CDestinos.close();
        d.CDestinos.setCommandText(
            "delete from replica_eventos r WHERE (R.rpev_fecrep IS NOT NULL) AND "
            "(R.rpev_fecrep < " +
            data::sqlDate(cutoff) + ") AND (RPEV_ERROR IS NULL)");
        d.CDestinos.execute();
        status.setProgressPanel("Borrando informaci\xF3n procesada...", false);
        status.repaint();

        d.CDestinos.close();
        d.CDestinos.setCommandText(
            "select distinct r.rpev_compania from replica_eventos r WHERE RPEV_COMPANIA <> '' "
            "AND (R.rpev_fecrep IS NULL)");
        d.CDestinos.open();
        std::vector<std::string> companies;
        companies.reserve(static_cast<size_t>(d.CDestinos.recordCount()));
        for (int row = 0; row < d.CDestinos.recordCount(); ++row)
            companies.push_back(d.CDestinos.valueAt(row, 0).toText());

        std::string panel = "Borrando informaci\xF3n procesada...";
        bool stopped = false;
        if (serve) {
            if (!companies.empty()) panel = "Enviando informaci\xF3n a " + companies.back();
            stopped = serve(companies);
        } else {
            for (const std::string& company : companies) {
                if (status.stopRequested()) {
                    stopped = true;
                    break;
                }
                CompanySummary summary;
                summary.company = company;
                panel = "Enviando informaci\xF3n a " + company;
                serveCompany(d, options, status, timer, company, summary);
                if (summary.stopped) {
                    stopped = true;
                    break;
                }
            }
        }

        rearm(options, timer);
        status.setProgressPanel(panel, false);
        status.repaint();
        return stopped ? CycleEnd::Stopped : CycleEnd::Completed;
    } catch (...) {
        // Automatic sending never stops by itself: an early end still re-arms the timer
        // when Minut can be read. The failure itself goes on to the caller.
        if (const auto minutes = tryMinutesValue(options.minutes()))
            timer.start(*minutes * kMinuteMs);
        throw;
    }
}

}  // namespace enviozvr::sender
