// Verify and repair on the local server: what the send cycle wrote is in line, every kind
// of difference made by hand at two destinations is named (and only those), the repair
// mends them through the transfer, and a document with a pending event is left alone.
#include "sender/verify.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "data/codepage.h"
#include "senderworld.h"
#include "support/relay.h"

namespace enviozvr::sendertest {
namespace {

using sender::CheckedDocument;
using sender::DestinationCheck;
using sender::DocumentState;

// "002 FV3: diferente FACT_TOTAL,FACT_NOTAS" for each document not in line.
std::vector<std::string> findings(const std::vector<DestinationCheck>& checks) {
    std::vector<std::string> out;
    for (const DestinationCheck& c : checks) {
        if (!c.reached) out.push_back(c.company + ": " + c.reason);
        for (const CheckedDocument& d : c.documents) {
            std::string line = c.company + " " + d.pref + d.numero + ": " + stateWord(d.state);
            for (size_t i = 0; i < d.columns.size(); ++i) line += (i ? "," : " ") + d.columns[i];
            out.push_back(line);
        }
    }
    return out;
}

sender::VerifyRequest repairing() {
    sender::VerifyRequest r;
    r.repair = true;
    return r;
}

// Two destinations served by the send cycle: invoices 1 to 6 copied to both, invoice 7
// deleted (its delete event last), then one more event for invoice 8 still pending.
struct VerifyWorld : SenderWorld {
    VerifyWorld() : SenderWorld(WorldOptions{.viaServer = true}) {
        for (int n = 1; n <= 8; ++n) origin->exec(invoiceValues("FV", std::to_string(n), n % 9));
        int id = 0;
        for (const std::string code : {"002", "004"}) {
            addDestination(code);
            for (int n = 1; n <= 7; ++n)
                addEvent({.id = ++id, .company = code, .numero = std::to_string(n)});
            addEvent({.id = ++id,
                      .company = code,
                      .numero = "7",
                      .oper = "D",
                      .registeredAt = "09:00:00"});
        }
        origin->exec("DELETE FROM FACTURAS_ZVR WHERE FACT_NUMERO = '7'");
        EXPECT_EQ(cycle(), sender::CycleEnd::Completed);
        addEvent({.id = ++id, .company = "002", .numero = "8"});
    }
};

TEST(Verify, NamesEveryDifferenceAtTwoDestinationsAndTheRepairMendsThem) {
    VerifyWorld w;
    // What the send cycle wrote is in line; the pending event is in flight.
    auto checks = sender::verifyDestinations(w.data, {});
    EXPECT_EQ(findings(checks), (std::vector<std::string>{"002 FV8: en camino"}));
    ASSERT_EQ(checks.size(), 2u);
    EXPECT_EQ(checks[0].compared, 8);
    EXPECT_EQ(checks[0].inLine, 7);
    EXPECT_EQ(checks[1].compared, 7);

    TestDatabase& north = *w.destinations["002"];
    TestDatabase& south = *w.destinations["004"];
    north.exec({"DELETE FROM FACTURAS_ZVR WHERE FACT_NUMERO = '1'",
                "UPDATE FACTURAS_ZVR SET FACT_TOTAL = 1.00 WHERE FACT_NUMERO = '2'",
                invoiceValues("FV", "3", 3), invoiceValues("FV", "7", 7),
                // Not the queue's: a document of no event is nobody's concern here.
                invoiceValues("ZZ", "1", 1)});
    const std::string editedByHand =
        "UPDATE FACTURAS_ZVR SET FACT_NOTAS = 'otra nota', FACT_CLIENTE = 'Jos\xe9 Pe\xf1"
        "a' WHERE FACT_NUMERO = '4'";
    const std::string changedLater =
        "UPDATE FACTURAS_ZVR SET FACT_REGISTRO = FACT_REGISTRO + 1, FACT_TASA = 0 WHERE "
        "FACT_NUMERO = '5'";
    south.exec({editedByHand, changedLater, invoiceValues("FV", "6", 6),
                "DELETE FROM FACTURAS_ZVR WHERE FACT_NUMERO = '3'", invoiceValues("FV", "7", 1)});

    const std::vector<std::string> expected = {"002 FV1: falta",
                                               "002 FV2: diferente FACT_TOTAL",
                                               "002 FV3: doble",
                                               "002 FV7: sobra",
                                               "002 FV8: en camino",
                                               "004 FV3: falta",
                                               "004 FV4: diferente FACT_CLIENTE,FACT_NOTAS",
                                               "004 FV5: diferente FACT_TASA,FACT_REGISTRO",
                                               "004 FV6: doble",
                                               "004 FV7: sobra"};
    EXPECT_EQ(findings(sender::verifyDestinations(w.data, {})), expected);

    const size_t linesBefore = w.logLines("ENVIO.TXT").size();
    checks = sender::verifyDestinations(w.data, repairing());
    EXPECT_EQ(findings(checks), expected);
    EXPECT_EQ(checks[0].repaired + checks[1].repaired, 9);
    EXPECT_EQ(checks[0].repairFailed + checks[1].repairFailed, 0);
    const auto lines = w.logLines("ENVIO.TXT");
    ASSERT_EQ(lines.size(), linesBefore + 9);
    // The last event of the document at 004, its delete.
    EXPECT_NE(lines.back().find(",16,236,FV7 reparacion"), std::string::npos) << lines.back();

    EXPECT_EQ(findings(sender::verifyDestinations(w.data, {})),
              (std::vector<std::string>{"002 FV8: en camino"}));
    EXPECT_EQ(north.scalar("SELECT COUNT(*) FROM FACTURAS_ZVR WHERE FACT_NUMERO = '3'"),
              Value::integer(1));
    EXPECT_EQ(north.scalar("SELECT COUNT(*) FROM FACTURAS_ZVR WHERE PREF_PRE = 'ZZ'"),
              Value::integer(1));
    // The document in flight was never touched: the send cycle brings it.
    EXPECT_EQ(north.scalar("SELECT COUNT(*) FROM FACTURAS_ZVR WHERE FACT_NUMERO = '8'"),
              Value::integer(0));
}

TEST(Verify, OneDestinationNamedADateAndOneThatCannotBeReached) {
    VerifyWorld w;
    // Invoice 9, of no event, dated 2026-12-09; invoice 8 dated 2026-12-08 (by the fixture).
    w.origin->exec(invoiceValues("FV", "9", 9));
    TestDatabase& south = *w.destinations["004"];
    const std::string between =
        "EXECUTE BLOCK AS DECLARE n INTEGER = 1000; BEGIN WHILE (n < 1200) DO BEGIN INSERT INTO "
        "FACTURAS_ZVR (PREF_PRE, FACT_NUMERO, FACT_MONEDA) VALUES ('FV', :n, 'COP'); n = n + 1; "
        "END END";
    south.exec({invoiceValues("FV", "9", 1), invoiceValues("FV", "8", 8),
                // Invoices of no event whose numbers lie between those of the queue: more
                // than the range read takes, so the documents are read one by one.
                between,
                // Stored after them, so that the range read's first rows do not hold it.
                "DELETE FROM FACTURAS_ZVR WHERE FACT_NUMERO = '2'", invoiceValues("FV", "2", 2)});
    w.listCompany("005", testing::serverHost() + "/1:" + w.root);

    sender::VerifyRequest r;
    r.destinations = {"004", "005", "006"};
    r.since = data::Date::fromYmd(2026, 12, 9);
    const auto checks = sender::verifyDestinations(w.data, r);
    const auto found = findings(checks);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0],
              "004 FV9: diferente FACT_ID,FACT_SERIAL,FACT_TOTAL,FACT_TASA,FACT_PESO,"
              "FACT_FECHA,FACT_HORA,FACT_REGISTRO,FACT_CLIENTE,FACT_NOTAS");
    EXPECT_EQ(found[1].rfind("005: servidor inalcanzable", 0), 0u) << found[1];
    EXPECT_EQ(found[2], "006: sin servidor activo");
    EXPECT_EQ(checks[0].compared, 8);
}

// A destination whose link goes silent while it is compared is said as such (within the
// stall limit) and the other destination is still compared.
TEST(Verify, ADestinationThatStopsAnsweringIsSaidAndTheOthersAreCompared) {
    using namespace std::chrono_literals;
    VerifyWorld w;
    testing::FreezableRelay relay;
    w.origin->exec("UPDATE REPLICA_COMPANIA SET RPCO_SERVIDOR = " +
                   data::quoted(relay.serverText() + w.root) + " WHERE RPCO_COD = '002'");
    w.data.DBEnvio.setTimeouts(2s, 2s);
    // After six answers the attach and the first reads are through: the link goes silent
    // while the invoices are read.
    relay.freezeAfterServerReplies(6);
    const auto checks = sender::verifyDestinations(w.data, {});
    ASSERT_EQ(checks.size(), 2u);
    EXPECT_FALSE(checks[0].reached);
    EXPECT_EQ(checks[0].reason.rfind("sin respuesta ", 0), 0u) << checks[0].reason;
    EXPECT_TRUE(checks[1].reached);
    EXPECT_EQ(checks[1].inLine, 7);
}

// Each pair of NONE, WIN1252 and UTF8: what the cycle wrote (accents, a euro sign, a key
// with an accent, a note longer than comes inline) is in line; a changed accent is not.
TEST(Verify, TextsAreComparedAsCharactersInEveryPairOfSets) {
    const std::vector<std::string> sets = {"", "WIN1252", "UTF8"};
    std::string note;
    while (note.size() < 5000) note += "L\xEDnea \xF1 \x80 ";
    const std::string key =
        "F\xD1"
        "1";
    for (const std::string& from : sets) {
        SCOPED_TRACE("origin " + from);
        SenderWorld w(WorldOptions{.viaServer = true, .originCharset = from});
        const auto in = [&](const std::string& set, const std::string& win1252) {
            return set == "UTF8"
                       ? *data::convertText(win1252, data::charset::kWin1252, data::charset::kUtf8)
                       : win1252;
        };
        w.origin->exec(in(from, invoiceValues("F\xD1", "1")));
        w.origin->exec("UPDATE FACTURAS_ZVR SET FACT_NOTAS = " + data::quoted(in(from, note)));
        int id = 0;
        // 006: tables made in WIN1252, the database's default changed to UTF8 since, so
        // that the key columns' set is not the default.
        const std::vector<std::string> codes = {"002", "004", "005", "006"};
        const std::vector<std::string> tables = {"", "WIN1252", "UTF8", "WIN1252"};
        for (size_t i = 0; i < codes.size(); ++i) {
            w.addDestination(codes[i], "S", tables[i]);
            w.addEvent({.id = ++id, .company = codes[i], .pref = in(from, "F\xD1"), .numero = "1"});
        }
        w.destinations["006"]->exec("ALTER DATABASE SET DEFAULT CHARACTER SET UTF8");
        ASSERT_EQ(w.cycle(), sender::CycleEnd::Completed);
        EXPECT_EQ(findings(sender::verifyDestinations(w.data, {})), std::vector<std::string>{});
        std::vector<std::string> expected;
        for (size_t i = 0; i < 3; ++i) {
            w.destinations[codes[i]]->exec("UPDATE FACTURAS_ZVR SET FACT_CLIENTE = " +
                                           data::quoted(in(tables[i],
                                                           "Jose Pe\xf1"
                                                           "a \xc1ngel \x80"
                                                           "1")));
            expected.push_back(codes[i] + " " + key + ": diferente FACT_CLIENTE");
        }
        w.destinations["006"]->exec("DELETE FROM FACTURAS_ZVR");
        expected.push_back("006 " + key + ": falta");
        EXPECT_EQ(findings(sender::verifyDestinations(w.data, {})), expected);
        EXPECT_EQ(findings(sender::verifyDestinations(w.data, repairing())).size(), 4u);
        EXPECT_EQ(findings(sender::verifyDestinations(w.data, {})), std::vector<std::string>{});
    }
}

// The column changes the transfer pairs by name: what the send cycle wrote after a column
// was added or dropped at either end is in line; a destination column the origin lacks is
// not compared, the columns both have still are.
TEST(Verify, WhatTheCycleWroteAfterAColumnChangeIsInLine) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"added at the destination",
         {"D:ALTER TABLE FACTURAS_ZVR ADD FACT_EXTRA VARCHAR(10) DEFAULT 'x'"}},
        {"added at the origin",
         {"O:ALTER TABLE FACTURAS_ZVR ADD FACT_EXTRA VARCHAR(10)",
          "O:UPDATE FACTURAS_ZVR SET FACT_EXTRA = 'extra'"}},
        {"dropped at the destination", {"D:ALTER TABLE FACTURAS_ZVR DROP FACT_PESO"}},
        {"dropped at the origin", {"O:ALTER TABLE FACTURAS_ZVR DROP FACT_TASA"}},
    };
    for (const auto& [name, changes] : cases) {
        SCOPED_TRACE(name);
        SenderWorld w(WorldOptions{.viaServer = true});
        TestDatabase& dest = w.addDestination("002");
        for (const std::string& change : changes)
            (change[0] == 'O' ? *w.origin : dest).exec(change.substr(2));
        for (int n = 1; n <= 3; ++n) {
            w.origin->exec(
                "INSERT INTO FACTURAS_ZVR (PREF_PRE, FACT_NUMERO, FACT_ID, FACT_CLIENTE, "
                "FACT_NOTAS, FACT_MONEDA) VALUES ('FV', '" +
                std::to_string(n) + "', " + std::to_string(n) + ", 'Jos\xe9', 'Nota', 'COP')");
            w.addEvent({.id = n, .company = "002", .numero = std::to_string(n)});
        }
        ASSERT_EQ(w.cycle(), sender::CycleEnd::Completed);
        for (int n = 1; n <= 3; ++n) ASSERT_EQ(w.state(n), "sent") << w.errorText(n);
        EXPECT_EQ(findings(sender::verifyDestinations(w.data, {})), std::vector<std::string>{});
        dest.exec("UPDATE FACTURAS_ZVR SET FACT_ID = 9 WHERE FACT_NUMERO = '2'");
        EXPECT_EQ(findings(sender::verifyDestinations(w.data, {})),
                  std::vector<std::string>{"002 FV2: diferente FACT_ID"});
    }
}

}  // namespace
}  // namespace enviozvr::sendertest
