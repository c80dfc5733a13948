#include "sender/indexcheck.h"

#include <map>

#include "data/sqltext.h"
#include "sender/attachmentguard.h"

namespace enviozvr::sender {

namespace {

const WantedIndex kEventId{"REPLICA_EVENTOS",
                           {"RPEV_ID"},
                           false,
                           "CREATE INDEX REPLICA_EVENTOS_ID ON REPLICA_EVENTOS (RPEV_ID)"};
const WantedIndex kEventPending{
    "REPLICA_EVENTOS",
    {"RPEV_COMPANIA", "RPEV_FECREP"},
    false,
    "CREATE INDEX REPLICA_EVENTOS_PENDIENTES ON REPLICA_EVENTOS (RPEV_COMPANIA, RPEV_FECREP)"};
const WantedIndex kEventOrder{
    "REPLICA_EVENTOS",
    {"RPEV_FECREG", "RPEV_HORAREG", "RPEV_ID"},
    false,
    "CREATE INDEX REPLICA_EVENTOS_ORDEN ON REPLICA_EVENTOS (RPEV_FECREG, RPEV_HORAREG, RPEV_ID)"};
const WantedIndex kEventOrderNewest{
    "REPLICA_EVENTOS",
    {"RPEV_FECREG", "RPEV_HORAREG", "RPEV_ID"},
    true,
    "CREATE DESCENDING INDEX REPLICA_EVENTOS_ORDEN_DESC ON REPLICA_EVENTOS (RPEV_FECREG, "
    "RPEV_HORAREG, RPEV_ID)"};
const WantedIndex kEventSent{
    "REPLICA_EVENTOS",
    {"RPEV_FECREP"},
    false,
    "CREATE INDEX REPLICA_EVENTOS_ENVIADOS ON REPLICA_EVENTOS (RPEV_FECREP)"};
const WantedIndex kEventLastSent{
    "REPLICA_EVENTOS",
    {"RPEV_FECREP", "RPEV_HORAREP"},
    true,
    "CREATE DESCENDING INDEX REPLICA_EVENTOS_ULTIMO_ENVIO ON REPLICA_EVENTOS (RPEV_FECREP, "
    "RPEV_HORAREP)"};
const WantedIndex kInvoiceDocument{
    "FACTURAS_ZVR",
    {"PREF_PRE", "FACT_NUMERO"},
    false,
    "CREATE INDEX FACTURAS_ZVR_DOCUMENTO ON FACTURAS_ZVR (PREF_PRE, FACT_NUMERO)"};
const WantedIndex kInvoiceDocumentUnique{
    "FACTURAS_ZVR",
    {"PREF_PRE", "FACT_NUMERO"},
    false,
    "CREATE UNIQUE INDEX FACTURAS_ZVR_DOCUMENTO ON FACTURAS_ZVR (PREF_PRE, FACT_NUMERO)",
    true};

std::string trimmed(std::string s) {
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

std::string columnList(const std::vector<std::string>& columns) {
    std::string out;
    for (const auto& c : columns) out += (out.empty() ? "" : ", ") + c;
    return out;
}

// First column of the first row, empty text when there is none.
std::string firstText(data::Connection& c, const std::string& sql) {
    auto cursor = c.open(sql);
    std::string v = cursor->fetch() ? cursor->value(0).toText() : std::string();
    cursor->close();
    return v;
}

void warn(std::vector<std::string>& out, const std::string& database,
          const std::vector<WantedIndex>& missing) {
    for (const auto& w : missing)
        out.push_back("warning: " + database + " has no " + (w.descending ? "descending " : "") +
                      (w.unique ? "unique " : "") + "index on " + w.table + " (" +
                      columnList(w.columns) + "); it would help: " + w.create);
}

}  // namespace

const std::vector<WantedIndex>& originIndexes(bool newestFirst) {
    static const std::vector<WantedIndex> oldest{kEventId,   kEventPending,  kEventOrder,
                                                 kEventSent, kEventLastSent, kInvoiceDocument};
    static const std::vector<WantedIndex> newest{kEventId,   kEventPending,  kEventOrderNewest,
                                                 kEventSent, kEventLastSent, kInvoiceDocument};
    return newestFirst ? newest : oldest;
}

const std::vector<WantedIndex>& destinationIndexes() {
    static const std::vector<WantedIndex> v{kInvoiceDocumentUnique};
    return v;
}

std::vector<WantedIndex> missingIndexes(data::Connection& connection,
                                        const std::vector<WantedIndex>& wanted) {
    // Segments of every active column index of the tables asked about, in order, and its
    // direction.
    struct Index {
        bool descending = false;
        bool unique = false;
        std::vector<std::string> segments;
    };
    std::map<std::string, std::map<std::string, Index>> byTable;
    std::string tables;
    for (const auto& w : wanted)
        if (tables.find(data::quoted(w.table)) == std::string::npos)
            tables += (tables.empty() ? "" : ", ") + data::quoted(w.table);
    auto cursor = connection.open(
        "select i.RDB$RELATION_NAME, i.RDB$INDEX_NAME, s.RDB$FIELD_NAME, "
        "coalesce(i.RDB$INDEX_TYPE, 0), coalesce(i.RDB$UNIQUE_FLAG, 0) from RDB$INDICES i "
        "join RDB$INDEX_SEGMENTS s on s.RDB$INDEX_NAME = i.RDB$INDEX_NAME "
        "where i.RDB$RELATION_NAME in (" +
        tables +
        ") and coalesce(i.RDB$INDEX_INACTIVE, 0) = 0 "
        "order by i.RDB$INDEX_NAME, s.RDB$FIELD_POSITION");
    while (cursor->fetch()) {
        Index& index =
            byTable[trimmed(cursor->value(0).toText())][trimmed(cursor->value(1).toText())];
        index.segments.push_back(trimmed(cursor->value(2).toText()));
        index.descending = cursor->value(3).asInteger() == 1;
        index.unique = cursor->value(4).asInteger() == 1;
    }
    cursor->close();

    std::vector<WantedIndex> missing;
    for (const auto& w : wanted) {
        bool served = false;
        for (const auto& [name, index] : byTable[w.table]) {
            const size_t wantedSize = w.columns.size();
            if (index.descending == w.descending &&
                (w.unique ? index.unique && index.segments.size() == wantedSize
                          : index.segments.size() >= wantedSize) &&
                std::equal(w.columns.begin(), w.columns.end(), index.segments.begin()))
                served = true;
        }
        if (!served) missing.push_back(w);
    }
    return missing;
}

std::vector<std::string> indexWarnings(MainData& d, bool newestFirst,
                                       const std::function<bool()>& stop) {
    std::vector<std::string> out;
    warn(out, "the origin database " + d.DbCia.database(),
         missingIndexes(d.DbCia, originIndexes(newestFirst)));

    struct Destination {
        std::string code, server;
    };
    std::vector<Destination> destinations;
    {
        auto cursor = d.DbCia.open(
            "select RPCO_COD, RPCO_SERVIDOR from REPLICA_COMPANIA where RPCO_ACTIVA = 'S'");
        while (cursor->fetch()) {
            Destination dest{trimmed(cursor->value(0).toText()), cursor->value(1).toText()};
            if (!dest.server.empty()) destinations.push_back(dest);
        }
        cursor->close();
    }
    if (destinations.empty()) return out;
    const std::string user = firstText(d.DbCia, kReplicationUser);
    const std::string password = firstText(d.DbCia, kReplicationPassword);
    for (const auto& dest : destinations) {
        if (stop && stop()) break;
        auto c = data::Connection::company("DBEnvio");
        c->setParam("Database", companyDatabasePath(dest.server, dest.code));
        c->setParam("User_Name", user);
        c->setParam("password", password);
        // The limits of the send cycle: a destination that does not answer costs this
        // check no more than it costs a cycle.
        c->setTimeouts(d.DBEnvio.connectTimeout(), d.DBEnvio.stallLimit());
        std::vector<WantedIndex> missing;
        std::string noRight;  // why the replication user cannot end attachments there
        try {
            missing = missingIndexes(*c, destinationIndexes());
            if (std::string why; !canEndAttachments(*c, &why))
                noRight = why.empty() ? std::string("no right") : why;
            c->disconnect();
        } catch (const std::exception& e) {
            // Unreachable, or it stopped answering: one line, and the attachment (if any)
            // is let go without waiting on it.
            c->dropIfLost(e);
            try {
                if (c->stalled()) c->disconnect();
            } catch (...) {
                // The detach of a stalled attachment failed: disconnect has let it go all
                // the same, and the warning below already says the check failed.
            }
            std::string reason = e.what();
            if (const auto at = reason.find("SQL Server Error: "); at == 0) reason.erase(0, 18);
            for (char& ch : reason)
                if (ch == '\r' || ch == '\n') ch = ' ';
            out.push_back("warning: the indexes of the destination database " +
                          c->param("Database") + " could not be checked: " + reason);
            continue;
        }
        warn(out, "the destination database " + c->param("Database"), missing);
        if (!noRight.empty()) {
            std::string line = "warning: the replication user ";
            line += user;
            line += " cannot end attachments at the destination database ";
            line += c->param("Database");
            line += " (";
            line += noRight;
            line +=
                "), so one that a stopped run left there is not ended, and until the "
                "server drops it nothing is sent there (a late request of it could bring "
                "back an invoice deleted since, or remove one sent again, whatever the "
                "indexes)";
            line += "; it would help: GRANT DELETE ON MON$ATTACHMENTS TO ";
            line += user;
            out.push_back(line);
        }
    }
    return out;
}

}  // namespace enviozvr::sender
