// The check for the indexes the send cycle's statements need, against a real database.
#include "sender/indexcheck.h"

#include <gtest/gtest.h>

#include "support/testdb.h"

namespace enviozvr::sendertest {
namespace {

std::vector<std::string> tablesAndColumns(const std::vector<sender::WantedIndex>& missing) {
    std::vector<std::string> out;
    for (const auto& w : missing) {
        std::string s = w.table + " (";
        for (size_t i = 0; i < w.columns.size(); ++i) s += (i ? ", " : "") + w.columns[i];
        out.push_back(s + ")" + (w.descending ? " descending" : ""));
    }
    return out;
}

TEST(IndexCheck, WhichIndexesServe) {
    struct Case {
        const char* what;
        std::vector<std::string> change;  // statements on the schema with its three indexes
        std::vector<std::string> missing;
    };
    const std::vector<Case> cases = {
        {"the schema's own indexes", {}, {}},
        {"none at all",
         {"DROP INDEX REPLICA_EVENTOS_ID", "DROP INDEX REPLICA_EVENTOS_PENDIENTES",
          "DROP INDEX REPLICA_EVENTOS_ORDEN", "DROP INDEX REPLICA_EVENTOS_ORDEN_DESC",
          "DROP INDEX REPLICA_EVENTOS_ENVIADOS", "DROP INDEX REPLICA_EVENTOS_ULTIMO_ENVIO",
          "DROP INDEX FACTURAS_ZVR_DOCUMENTO"},
         {"REPLICA_EVENTOS (RPEV_ID)", "REPLICA_EVENTOS (RPEV_COMPANIA, RPEV_FECREP)",
          "REPLICA_EVENTOS (RPEV_FECREG, RPEV_HORAREG, RPEV_ID)", "REPLICA_EVENTOS (RPEV_FECREP)",
          "REPLICA_EVENTOS (RPEV_FECREP, RPEV_HORAREP) descending",
          "FACTURAS_ZVR (PREF_PRE, FACT_NUMERO)"}},
        {"an index in the other direction does not serve",
         {"DROP INDEX REPLICA_EVENTOS_ULTIMO_ENVIO", "DROP INDEX REPLICA_EVENTOS_ORDEN",
          "CREATE INDEX U1 ON REPLICA_EVENTOS (RPEV_FECREP, RPEV_HORAREP)"},
         {"REPLICA_EVENTOS (RPEV_FECREG, RPEV_HORAREG, RPEV_ID)",
          "REPLICA_EVENTOS (RPEV_FECREP, RPEV_HORAREP) descending"}},
        {"an inactive index serves nothing",
         {"ALTER INDEX REPLICA_EVENTOS_ID INACTIVE"},
         {"REPLICA_EVENTOS (RPEV_ID)"}},
        {"a longer index with the same first segments serves, a key serves",
         {"DROP INDEX REPLICA_EVENTOS_PENDIENTES", "DROP INDEX REPLICA_EVENTOS_ID",
          "CREATE INDEX P3 ON REPLICA_EVENTOS (RPEV_COMPANIA, RPEV_FECREP, RPEV_FECREG)",
          "ALTER TABLE REPLICA_EVENTOS ADD CONSTRAINT PK_EVENTOS PRIMARY KEY (RPEV_ID)"},
         {}},
        {"segments in another order, or only the first one, do not serve",
         {"DROP INDEX REPLICA_EVENTOS_PENDIENTES", "DROP INDEX FACTURAS_ZVR_DOCUMENTO",
          "CREATE INDEX P1 ON REPLICA_EVENTOS (RPEV_FECREP, RPEV_COMPANIA)",
          "CREATE INDEX F1 ON FACTURAS_ZVR (PREF_PRE)"},
         {"REPLICA_EVENTOS (RPEV_COMPANIA, RPEV_FECREP)", "FACTURAS_ZVR (PREF_PRE, FACT_NUMERO)"}},
        {"an index of another table does not serve",
         {"DROP INDEX FACTURAS_ZVR_DOCUMENTO",
          "CREATE INDEX OTRA ON SUCURSALES (SUCU_ID, SUCU_NOMBRE)"},
         {"FACTURAS_ZVR (PREF_PRE, FACT_NUMERO)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testing::TempDir dir;
        testing::TestDatabase db(dir.file("c.fdb"));
        db.createCompanySchema();
        db.exec(c.change);
        auto connection = data::Connection::company("DbCia");
        connection->setDatabase(db.location());
        connection->setParam("User_Name", "SYSDBA");
        connection->setParam("password", "");
        connection->setParam("RoleName", "");
        EXPECT_EQ(tablesAndColumns(sender::missingIndexes(*connection, sender::originIndexes())),
                  c.missing);
        connection->disconnect();
    }
}

}  // namespace
}  // namespace enviozvr::sendertest
