// Columns of FACTURAS_ZVR paired by name between an origin and a destination whose tables
// no longer match (a column dropped, added at one end or at both, moved), on the local
// server: each destination column takes the origin column of its name, a column the
// origin lacks its default or NULL, and an origin column the destination lacks is left
// out, said once per destination in ERRORES.TXT.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "senderworld.h"

namespace enviozvr::sendertest {
namespace {

using sender::CycleEnd;

const std::vector<std::string> kColumns = {
    "PREF_PRE",    "FACT_NUMERO",  "FACT_ID",    "FACT_SERIAL", "FACT_TOTAL",
    "FACT_TASA",   "FACT_PESO",    "FACT_FECHA", "FACT_HORA",   "FACT_REGISTRO",
    "FACT_ESTADO", "FACT_CLIENTE", "FACT_NOTAS", "FACT_MONEDA"};

struct PairingCase {
    std::string name{};
    std::vector<std::string> atOrigin{};       // statements run at the origin
    std::vector<std::string> atDestination{};  // statements run at the destination
    std::string dropped{};                     // a column the destination no longer has
    std::string added{};                       // a column only the destination has
    Value addedValue{};                        // what the copy leaves in it
    std::string leftOut{};                     // origin column named in ERRORES.TXT
    std::string refusal{};                     // when set: the copy is refused with this
};

std::string columnList(const std::string& dropped) {
    std::string list;
    for (const std::string& c : kColumns)
        if (c != dropped) list += (list.empty() ? "" : ", ") + c;
    return list;
}

TEST(ColumnPairing, DestinationColumnsTakeTheOriginColumnsOfTheirNames) {
    const std::string vendor = "ALTER TABLE FACTURAS_ZVR ADD FACT_VENDEDOR VARCHAR(40)";
    const std::vector<PairingCase> cases = {
        {.name = "same columns in the same order"},
        {.name = "two columns moved",
         .atDestination = {"ALTER TABLE FACTURAS_ZVR ALTER FACT_TASA POSITION 3",
                           "ALTER TABLE FACTURAS_ZVR ALTER FACT_MONEDA POSITION 4"}},
        {.name = "a column dropped at the destination",
         .atDestination = {"ALTER TABLE FACTURAS_ZVR DROP FACT_ESTADO"},
         .dropped = "FACT_ESTADO",
         .leftOut = "FACT_ESTADO"},
        {.name = "a column added at each end",
         .atOrigin = {vendor, "UPDATE FACTURAS_ZVR SET FACT_VENDEDOR = 'Vendedor Uno'"},
         .atDestination = {"ALTER TABLE FACTURAS_ZVR ADD FACT_SUCURSAL VARCHAR(40)"},
         .added = "FACT_SUCURSAL",
         .leftOut = "FACT_VENDEDOR"},
        {.name = "a column added at the destination only",
         .atDestination = {"ALTER TABLE FACTURAS_ZVR ADD FACT_SUCURSAL INTEGER"},
         .added = "FACT_SUCURSAL"},
        {.name = "a column with a default added at the destination only",
         .atDestination = {"ALTER TABLE FACTURAS_ZVR ADD FACT_SUCURSAL INTEGER DEFAULT 7 NOT "
                           "NULL"},
         .added = "FACT_SUCURSAL",
         .addedValue = Value::integer(7)},
        {.name = "a required column without a default added at the destination only",
         .atDestination = {"ALTER TABLE FACTURAS_ZVR ADD FACT_SUCURSAL INTEGER NOT NULL"},
         .added = "FACT_SUCURSAL",
         .refusal = "FACT_SUCURSAL"},
    };
    for (const PairingCase& c : cases) {
        SCOPED_TRACE(c.name);
        SenderWorld w(WorldOptions{.viaServer = true});
        TestDatabase& dest = w.addDestination("002");
        w.origin->exec(invoiceValues("FV", "1", 1));
        w.origin->exec(invoiceValues("FV", "2", 2));
        w.origin->exec(c.atOrigin);
        dest.exec(c.atDestination);

        // An insert in the first cycle; in the second a replace of it, with new values,
        // and another insert.
        w.addEvent({.id = 1, .company = "002", .numero = "1"});
        ASSERT_EQ(w.cycle(), CycleEnd::Completed);
        w.origin->exec(
            "UPDATE FACTURAS_ZVR SET FACT_CLIENTE = 'Otro', FACT_ESTADO = 'B', "
            "FACT_TOTAL = 5.25 WHERE FACT_NUMERO = '1'");
        w.addEvent({.id = 2, .company = "002", .numero = "1"});
        w.addEvent({.id = 3, .company = "002", .numero = "2", .registeredAt = "09:00:00"});
        ASSERT_EQ(w.cycle(), CycleEnd::Completed);

        const std::string common = columnList(c.dropped);
        for (const int id : {1, 2, 3}) {
            if (!c.refusal.empty()) {
                EXPECT_EQ(w.state(id), "pending with error");
                EXPECT_NE(w.errorText(id).find(c.refusal), std::string::npos) << w.errorText(id);
                continue;
            }
            EXPECT_EQ(w.state(id), "sent") << id << ": " << w.errorText(id);
        }
        for (const std::string numero : {"1", "2"}) {
            SCOPED_TRACE("invoice " + numero);
            const std::string where = " FROM FACTURAS_ZVR WHERE FACT_NUMERO = '" + numero + "'";
            std::string select = "SELECT " + common;
            select += where;
            const auto there = dest.query(select);
            if (!c.refusal.empty()) {
                EXPECT_TRUE(there.empty());
                continue;
            }
            EXPECT_EQ(there, w.origin->query(select));
            if (!c.added.empty()) {
                EXPECT_EQ(dest.scalar("SELECT " + c.added + where), c.addedValue);
            }
        }

        std::vector<std::string> mentions;
        for (const std::string& line : w.logLines("ERRORES.TXT"))
            if (line.find("FACT_") != std::string::npos) mentions.push_back(line);
        if (c.leftOut.empty()) {
            EXPECT_TRUE(mentions.empty()) << mentions.front();
        } else {
            EXPECT_EQ(mentions.size(), 1u) << "said once for the destination and the run";
            for (const std::string& line : mentions) {
                EXPECT_NE(line.find(c.leftOut), std::string::npos) << line;
                EXPECT_NE(line.find(dest.path()), std::string::npos) << line;
            }
        }
    }
}

}  // namespace
}  // namespace enviozvr::sendertest
