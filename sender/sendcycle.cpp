#include "sender/sendcycle.h"

#include <mutex>
#include <optional>
#include <set>

#include "core/localfiles.h"
#include "core/staterecord.h"
#include "data/sqltext.h"
#include "data/transaction.h"
#include "data/value.h"
#include "sender/attachmentguard.h"
#include "sender/invoicetransfer.h"

namespace enviozvr::sender {

namespace {

constexpr int kSentRetentionDays = 7;

const char* const kLastSendAll =
    "SELECT FIRST 1 RPEV_ID, RPEV_FECREP, RPEV_HORAREP FROM replica_eventos "
    "ORDER BY RPEV_FECREP DESC, RPEV_HORAREP DESC";
const std::string kLastSendInvoices =
    "SELECT FIRST 1 RPEV_ID, RPEV_FECREP, RPEV_HORAREP FROM replica_eventos "
    "WHERE RPEV_TIPO = " +
    std::to_string(kInvoiceType) + " ORDER BY RPEV_FECREP DESC, RPEV_HORAREP DESC";

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
    std::optional<int> events = options.batchSize().events();
    if (!events) {
        events = kEmptyBoxBatchSize;
        options.setBatchSize(*events);
    }
    const std::string first =
        "select first " + std::to_string(*events) +
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
        options.batchSize().events();
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
