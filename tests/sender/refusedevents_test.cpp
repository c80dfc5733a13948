// Events a destination refuses for good: they neither starve the good events behind them
// nor, with a text the origin cannot store as it comes, stop the other events and
// destinations.
#include <gtest/gtest.h>

#include "senderworld.h"

namespace enviozvr::sendertest {
namespace {

using sender::CycleEnd;

// Refuses every invoice whose number starts with "R".
void refuseNumbersStartingWithR(TestDatabase& destination) {
    destination.exec(std::vector<std::string>{
        "CREATE EXCEPTION E_RECHAZO 'Factura rechazada'",
        "CREATE TRIGGER T_RECHAZO FOR FACTURAS_ZVR BEFORE INSERT AS BEGIN "
        "IF (NEW.FACT_NUMERO STARTING WITH 'R') THEN EXCEPTION E_RECHAZO; END"});
}

TEST(RefusedEvents, DoNotStarveTheGoodEventsBehindThem) {
    struct Case {
        const char* what;
        bool skipErrored;
        int refusedSentAgain;  // how many refused events each cycle takes (all retried: 12)
    };
    const Case cases[] = {{"refused ones retried", false, 12},
                          {"refused ones skipped on request", true, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SenderWorld w;
        TestDatabase& dest = w.addDestination("002");
        refuseNumbersStartingWithR(dest);
        // Twelve refused invoices registered first, then three good ones; batch of 10.
        for (int i = 1; i <= 12; ++i) {
            w.origin->exec(invoiceValues("FV", "R" + std::to_string(i), i % 9 + 1));
            w.addEvent({.id = i,
                        .company = "002",
                        .numero = "R" + std::to_string(i),
                        .registeredDaysAgo = 1});
        }
        for (int i = 1; i <= 3; ++i) {
            w.origin->exec(invoiceValues("FV", "G" + std::to_string(i), i));
            w.addEvent({.id = 100 + i, .company = "002", .numero = "G" + std::to_string(i)});
        }
        w.options.batch = "10";
        // The first cycle meets all refusals for the first time.
        w.options.skip = false;
        ASSERT_EQ(w.cycle(), CycleEnd::Completed);
        w.options.skip = c.skipErrored;
        for (int cycle = 0; cycle < 2; ++cycle) {
            w.status.served.clear();
            ASSERT_EQ(w.cycle(), CycleEnd::Completed);
        }
        for (int i = 1; i <= 3; ++i) {
            EXPECT_EQ(w.state(100 + i), "sent") << "good event " << i;
            EXPECT_EQ(SenderWorld::invoiceRows(dest, "FV", "G" + std::to_string(i)).size(), 1u);
        }
        for (int i = 1; i <= 10; ++i)
            EXPECT_EQ(w.state(i), "pending with error") << "refused event " << i;
        ASSERT_EQ(w.status.served.size(), 1u);
        // The last cycle: only the refused events were left; they were tried again unless
        // skipped on request.
        EXPECT_EQ(w.status.served[0].failed, std::min(c.refusedSentAgain, 10));
        EXPECT_EQ(w.status.served[0].sent, 0);
    }
}

// A WIN1252 destination refuses with a text that a UTF8 origin cannot take byte for byte.
TEST(RefusedEvents, ATextTheOriginCannotStoreAsItComesStopsNothing) {
    SenderWorld w(WorldOptions{.originCharset = "UTF8"});
    w.makeDirectories("/datos/002");
    auto latin = std::make_unique<TestDatabase>(w.root + "/datos/002/nivora.fdb",
                                                TestDatabase::Options{.characterSet = "WIN1252"});
    latin->createCompanySchema();
    latin->exec(
        std::vector<std::string>{"CREATE EXCEPTION E_CERRADO 'Factura rechazada: a\xf1o cerrado'",
                                 "CREATE TRIGGER T_CERRADO FOR FACTURAS_ZVR BEFORE INSERT AS BEGIN "
                                 "IF (NEW.FACT_NUMERO = '1') THEN EXCEPTION E_CERRADO; END"});
    w.listCompany("002", w.server);
    TestDatabase& latinRef = *latin;
    w.destinations["002"] = std::move(latin);
    TestDatabase& other = w.addDestination("003");
    // Storing the error of event 3 fails at the origin for a reason of its own.
    w.origin->exec("CREATE EXCEPTION E_NO 'no se admite'");
    w.origin->exec(
        "CREATE TRIGGER T_NO FOR REPLICA_EVENTOS BEFORE UPDATE AS BEGIN "
        "IF (NEW.RPEV_ID = 3 AND NEW.RPEV_ERROR IS NOT NULL) THEN EXCEPTION E_NO; END");
    // Plain ASCII invoices: the UTF8 origin takes them as they are.
    const auto invoice = [&](const std::string& pref, const std::string& numero) {
        w.origin->exec("INSERT INTO FACTURAS_ZVR (PREF_PRE, FACT_NUMERO, FACT_MONEDA) VALUES (" +
                       data::quoted(pref) + ", " + data::quoted(numero) + ", 'COP')");
    };
    invoice("FV", "1");
    invoice("FV", "2");
    invoice("XX", "3");
    w.addEvent({.id = 1, .company = "002", .numero = "1", .registeredAt = "08:00:00"});
    w.addEvent({.id = 2, .company = "002", .numero = "2", .registeredAt = "08:01:00"});
    w.addEvent(
        {.id = 3, .company = "003", .pref = "XX", .numero = "3", .registeredAt = "08:00:00"});
    w.addEvent({.id = 4, .company = "003", .numero = "1", .registeredAt = "08:01:00"});
    other.exec("CREATE EXCEPTION E_X 'no'");
    other.exec(
        "CREATE TRIGGER T_X FOR FACTURAS_ZVR BEFORE INSERT AS BEGIN "
        "IF (NEW.PREF_PRE = 'XX') THEN EXCEPTION E_X; END");

    ASSERT_EQ(w.cycle(), CycleEnd::Completed);
    EXPECT_EQ(w.state(1), "pending with error");
    // Stored as the origin's character set holds it (UTF-8 here).
    EXPECT_NE(w.errorText(1).find("Factura rechazada: a\xc3\xb1o cerrado"), std::string::npos)
        << w.errorText(1);
    EXPECT_EQ(w.state(2), "sent");
    EXPECT_EQ(SenderWorld::invoiceRows(latinRef, "FV", "2").size(), 1u);
    // The text of event 3 could not be stored: the event stays pending as it was, the
    // failure is in ERRORES.TXT, and the next event went out.
    EXPECT_EQ(w.state(3), "pending");
    EXPECT_EQ(w.state(4), "sent");
    const auto errors = w.logLines("ERRORES.TXT");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("No se pudo guardar el error del evento 3"), std::string::npos)
        << errors[0];
}

// An invoice the origin no longer has: nothing to send, the event is marked sent, and
// ERRORES.TXT says so.
TEST(RefusedEvents, AnInvoiceGoneFromTheOriginIsLoggedAndMarkedSent) {
    SenderWorld w;
    TestDatabase& dest = w.addDestination("002");
    w.addEvent({.id = 7, .company = "002", .numero = "77"});
    ASSERT_EQ(w.cycle(), CycleEnd::Completed);
    EXPECT_EQ(w.state(7), "sent");
    EXPECT_TRUE(SenderWorld::invoiceRows(dest, "FV", "77").empty());
    const auto errors = w.logLines("ERRORES.TXT");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("La factura FV77 del evento 7 ya no existe en el origen"),
              std::string::npos)
        << errors[0];
}

}  // namespace
}  // namespace enviozvr::sendertest
