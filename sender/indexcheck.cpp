#include "sender/indexcheck.h"

#include <map>

#include "data/sqltext.h"
#include "sender/sendcycle.h"

namespace enviozvr::sender {

namespace {

const WantedIndex kEventId{"REPLICA_EVENTOS", {"RPEV_ID"},
                           "CREATE INDEX REPLICA_EVENTOS_ID ON REPLICA_EVENTOS (RPEV_ID)"};
const WantedIndex kEventPending{
    "REPLICA_EVENTOS", {"RPEV_COMPANIA", "RPEV_FECREP"},
    "CREATE INDEX REPLICA_EVENTOS_PENDIENTES ON REPLICA_EVENTOS (RPEV_COMPANIA, RPEV_FECREP)"};
const WantedIndex kInvoiceDocument{
    "FACTURAS_ZVR", {"PREF_PRE", "FACT_NUMERO"},
    "CREATE INDEX FACTURAS_ZVR_DOCUMENTO ON FACTURAS_ZVR (PREF_PRE, FACT_NUMERO)"};

std::string trimmed(std::string s)
{
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

std::string columnList(const std::vector<std::string>& columns)
{
    std::string out;
    for (const auto& c : columns) out += (out.empty() ? "" : ", ") + c;
    return out;
}


// First column of the first row, empty text when there is none.
std::string firstText(data::Connection& c, const std::string& sql)
{
    auto cursor = c.open(sql);
    std::string v = cursor->fetch() ? cursor->value(0).toText() : std::string();
    cursor->close();
    return v;
}

void warn(std::vector<std::string>& out, const std::string& database,
          const std::vector<WantedIndex>& missing)
{
    for (const auto& w : missing)
        out.push_back("warning: " + database + " has no index on " + w.table + " (" +
                      columnList(w.columns) + "); it would help: " + w.create);
}

}  // namespace

const std::vector<WantedIndex>& originIndexes()
{
    static const std::vector<WantedIndex> v{kEventId, kEventPending, kInvoiceDocument};
    return v;
}

const std::vector<WantedIndex>& destinationIndexes()
{
    static const std::vector<WantedIndex> v{kInvoiceDocument};
    return v;
}

std::vector<WantedIndex> missingIndexes(data::Connection& connection,
                                        const std::vector<WantedIndex>& wanted)
{
    // Segments of every active column index of the tables asked about, in order.
    std::map<std::string, std::map<std::string, std::vector<std::string>>> byTable;
    std::string tables;
    for (const auto& w : wanted)
        if (tables.find(data::quoted(w.table)) == std::string::npos)
            tables += (tables.empty() ? "" : ", ") + data::quoted(w.table);
    auto cursor = connection.open(
        "select i.RDB$RELATION_NAME, i.RDB$INDEX_NAME, s.RDB$FIELD_NAME from RDB$INDICES i "
        "join RDB$INDEX_SEGMENTS s on s.RDB$INDEX_NAME = i.RDB$INDEX_NAME "
        "where i.RDB$RELATION_NAME in (" + tables + ") and coalesce(i.RDB$INDEX_INACTIVE, 0) = 0 "
        "order by i.RDB$INDEX_NAME, s.RDB$FIELD_POSITION");
    while (cursor->fetch())
        byTable[trimmed(cursor->value(0).toText())][trimmed(cursor->value(1).toText())].push_back(
            trimmed(cursor->value(2).toText()));
    cursor->close();

    std::vector<WantedIndex> missing;
    for (const auto& w : wanted) {
        bool served = false;
        for (const auto& [name, segments] : byTable[w.table]) {
            if (segments.size() >= w.columns.size() &&
                std::equal(w.columns.begin(), w.columns.end(), segments.begin()))
                served = true;
        }
        if (!served) missing.push_back(w);
    }
    return missing;
}

std::vector<std::string> indexWarnings(MainData& d)
{
    std::vector<std::string> out;
    warn(out, "the origin database " + d.DbCia.database(), missingIndexes(d.DbCia, originIndexes()));

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
        auto c = data::Connection::company("DBEnvio");
        c->setParam("Database", dest.server + "/datos/" + dest.code + "/nivora.fdb");
        c->setParam("User_Name", user);
        c->setParam("password", password);
        std::vector<WantedIndex> missing;
        try {
            missing = missingIndexes(*c, destinationIndexes());
        } catch (const std::exception&) {
            continue;  // unreachable: the send cycle logs it
        }
        warn(out, "the destination database " + c->param("Database"), missing);
    }
    return out;
}

}  // namespace enviozvr::sender
