// Queue rows whose keys hold a NUL byte or other control bytes, on the local server: the
// statements built from them reach the server whole, and neither the event nor those
// behind it at every destination are held up.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "senderworld.h"

namespace enviozvr::sendertest {
namespace {

using sender::CycleEnd;

struct OddKey {
    std::string name;
    std::string column;  // of REPLICA_EVENTOS
    std::string bytes;
};

// Event 1 at 002 carries the odd key; event 2 follows it at 002 and event 3 is at 003.
// An odd document key names an invoice that the origin holds under that very key: it is
// copied with the key intact. The other odd columns only travel into the log, where a
// control byte is a blank.
TEST(QueueKeys, ControlBytesInAKeyHoldUpNothing) {
    std::vector<OddKey> cases;
    for (const auto& [what, bytes] :
         std::vector<std::pair<std::string, std::string>>{{"NUL", std::string("A\0B", 3)},
                                                          {"SOH", "\x01Z"},
                                                          {"line break", "\r\n"},
                                                          {"US and DEL", "\x1F\x7F"}}) {
        for (const std::string column : {"RPEV_PREF", "RPEV_NUMERO", "RPEV_CODIGO", "RPEV_OPER"}) {
            std::string name = what;
            name += " in ";
            name += column;
            cases.push_back(
                {name, column, column == "RPEV_OPER" ? bytes.substr(bytes.size() - 2, 1) : bytes});
        }
    }
    cases.push_back({"NUL in RPEV_COMPANIA", "RPEV_COMPANIA",
                     std::string("00\0"
                                 "2",
                                 4)});

    SenderWorld w(WorldOptions{.viaServer = true});
    TestDatabase& dest = w.addDestination("002");
    TestDatabase& other = w.addDestination("003");
    w.origin->exec(invoiceValues("FV", "2", 2));
    w.origin->exec(invoiceValues("FV", "3", 3));
    for (const OddKey& c : cases) {
        SCOPED_TRACE(c.name);
        w.origin->exec("DELETE FROM REPLICA_EVENTOS");
        dest.exec("DELETE FROM FACTURAS_ZVR");
        other.exec("DELETE FROM FACTURAS_ZVR");
        w.install.writeFile("ENVIO.TXT", "");
        Event odd{.id = 1, .company = "002", .numero = "1", .registeredAt = "08:00:00"};
        if (c.column == "RPEV_PREF") odd.pref = c.bytes;
        if (c.column == "RPEV_NUMERO") odd.numero = c.bytes;
        if (c.column == "RPEV_CODIGO") odd.codigo = c.bytes;
        if (c.column == "RPEV_OPER") odd.oper = c.bytes;
        if (c.column == "RPEV_COMPANIA") odd.company = c.bytes;
        w.origin->exec("DELETE FROM FACTURAS_ZVR WHERE FACT_NUMERO NOT IN ('2', '3')");
        w.origin->exec(invoiceValues(odd.pref, odd.numero, 1));
        w.addEvent(odd);
        w.addEvent({.id = 2, .company = "002", .numero = "2", .registeredAt = "09:00:00"});
        w.addEvent({.id = 3, .company = "003", .numero = "3", .registeredAt = "08:00:00"});

        ASSERT_EQ(w.cycle(), CycleEnd::Completed);
        EXPECT_EQ(w.state(2), "sent") << w.errorText(2);
        EXPECT_EQ(w.state(3), "sent") << w.errorText(3);
        EXPECT_EQ(SenderWorld::invoiceRows(dest, "FV", "2").size(), 1u);
        EXPECT_EQ(SenderWorld::invoiceRows(other, "FV", "3").size(), 1u);
        if (c.column == "RPEV_COMPANIA") {
            // No company has that code: its event waits, as any unlisted company's does.
            EXPECT_EQ(w.state(1), "pending");
            continue;
        }
        EXPECT_EQ(w.state(1), "sent") << w.errorText(1);
        EXPECT_EQ(SenderWorld::invoiceRows(dest, odd.pref, odd.numero),
                  SenderWorld::invoiceRows(*w.origin, odd.pref, odd.numero));
        const auto lines = w.logFields("ENVIO.TXT");
        ASSERT_EQ(lines.size(), 3u);
        std::string logged = odd.pref + odd.numero + odd.codigo;
        for (char& ch : logged)
            if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) ch = ' ';
        EXPECT_EQ(lines[0], "D,T,1,236," + logged);
    }
}

// A key the destination cannot take (a character outside Windows-1252 bound for a
// WIN1252 database): that event keeps the reason, naming the key column, and never
// reaches the destination under other bytes; the events behind it at every destination
// go on, this cycle and the next.
TEST(QueueKeys, AKeyTheDestinationCannotTakeIsThatEventsError) {
    SenderWorld w(WorldOptions{.viaServer = true, .originCharset = "UTF8"});
    TestDatabase& dest = w.addDestination("002", "S", "WIN1252");
    TestDatabase& other = w.addDestination("003");
    const std::string han = "\xE6\xBC\xA2";
    for (const auto& [pref, numero] :
         std::vector<std::pair<std::string, std::string>>{{han, "1"}, {"FV", "2"}, {"FV", "3"}})
        w.origin->exec("INSERT INTO FACTURAS_ZVR (PREF_PRE, FACT_NUMERO, FACT_MONEDA) VALUES (" +
                       data::quoted(pref) + ", " + data::quoted(numero) + ", 'COP')");
    w.addEvent({.id = 1, .company = "002", .pref = han, .numero = "1"});
    w.addEvent({.id = 2, .company = "002", .numero = "2", .registeredAt = "09:00:00"});
    w.addEvent({.id = 3, .company = "003", .numero = "3"});
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round ? "next cycle" : "first cycle");
        ASSERT_EQ(w.cycle(), CycleEnd::Completed);
        EXPECT_EQ(w.state(1), "pending with error");
        EXPECT_NE(w.errorText(1).find("'PREF_PRE' cannot be written in character set WIN1252"),
                  std::string::npos)
            << w.errorText(1);
        EXPECT_EQ(w.state(2), "sent") << w.errorText(2);
        EXPECT_EQ(w.state(3), "sent") << w.errorText(3);
    }
    EXPECT_EQ(dest.scalar("SELECT COUNT(*) FROM FACTURAS_ZVR"), Value::integer(1));
    EXPECT_EQ(SenderWorld::invoiceRows(dest, "FV", "2").size(), 1u);
    EXPECT_EQ(SenderWorld::invoiceRows(other, "FV", "3").size(), 1u);
}

}  // namespace
}  // namespace enviozvr::sendertest
