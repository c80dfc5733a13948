// Texts between company databases of different character sets, on the local server: a
// NONE column holds Windows-1252, each side's characters arrive as the other side's
// bytes, a text the destination cannot hold is its event's error, and the logs are
// Windows-1252 whatever the origin's set.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "senderworld.h"

namespace enviozvr::sendertest {
namespace {

using sender::CycleEnd;

// One text in the bytes of both encodings a company database may hold it in.
struct Text {
    std::string win1252;
    std::string utf8;
    const std::string& in(const std::string& characterSet) const {
        return characterSet == "UTF8" ? utf8 : win1252;
    }
};

const Text kCompany{
    "Compa\xF1\xED"
    "a \xD1"
    "and\xFA \x80",
    "Compa\xC3\xB1\xC3\xAD"
    "a \xC3\x91"
    "and\xC3\xBA \xE2\x82\xAC"};
const Text kPref{"F\xD1", "F\xC3\x91"};
const Text kEstado{"\xD1", "\xC3\x91"};
const Text kCodigo{"C\x80", "C\xE2\x82\xAC"};
// Outside Windows-1252: only a UTF8 database holds it.
const std::string kHan = "\xE6\xBC\xA2\xE5\xAD\x97 Tienda";

// A note longer than the longest VARCHAR (32,765 bytes) in either encoding.
Text longNote() {
    Text note;
    while (note.win1252.size() < 40000) {
        note.win1252 +=
            "L\xED"
            "nea \xF1 \x80 ";
        note.utf8 +=
            "L\xC3\xAD"
            "nea \xC3\xB1 \xE2\x82\xAC ";
    }
    return note;
}

// The text as a SQL literal; a long one as pieces that the statement joins.
std::string literal(const std::string& bytes) {
    std::string out;
    for (size_t at = 0; at < bytes.size(); at += 8000)
        out += (at ? " || " : "") + data::quoted(bytes.substr(at, 8000));
    return out;
}

// The character set names of the matrix; "" is NONE (the database has no default set).
const std::vector<std::string> kSets = {"", "WIN1252", "UTF8"};

std::string shown(const std::string& set) { return set.empty() ? "NONE" : set; }

// Every pair of NONE, WIN1252 and UTF8 as origin and destination: accents, "€", a text
// blob past the longest VARCHAR, a key with an accent (replacing the row the destination
// holds), and at a UTF8 origin a text that Windows-1252 cannot hold.
TEST(CharacterSets, TextsArriveAsTheSameCharactersInEveryPairOfSets) {
    const Text note = longNote();
    for (const std::string& from : kSets) {
        SCOPED_TRACE("origin " + shown(from));
        SenderWorld w(WorldOptions{.viaServer = true, .originCharset = from});
        const bool unicodeOrigin = from == "UTF8";
        w.origin->exec(
            "INSERT INTO FACTURAS_ZVR (PREF_PRE, FACT_NUMERO, FACT_ESTADO, FACT_CLIENTE, "
            "FACT_NOTAS, FACT_MONEDA) VALUES (" +
            data::quoted(kPref.in(from)) + ", '1', " + data::quoted(kEstado.in(from)) + ", " +
            data::quoted(kCompany.in(from)) + ", " + literal(note.in(from)) + ", 'COP')");
        if (unicodeOrigin)
            w.origin->exec(
                "INSERT INTO FACTURAS_ZVR (PREF_PRE, FACT_NUMERO, FACT_CLIENTE, FACT_MONEDA) "
                "VALUES ('FV', '2', " +
                data::quoted(kHan) + ", 'COP')");
        const std::vector<std::string> codes = {"002", "003", "004"};
        int id = 0;
        for (size_t i = 0; i < codes.size(); ++i) {
            TestDatabase& dest = w.addDestination(codes[i], "S", kSets[i]);
            dest.exec(
                "INSERT INTO FACTURAS_ZVR (PREF_PRE, FACT_NUMERO, FACT_CLIENTE, FACT_MONEDA) "
                "VALUES (" +
                data::quoted(kPref.in(kSets[i])) + ", '1', 'antes', 'USD')");
            w.addEvent({.id = ++id,
                        .company = codes[i],
                        .pref = kPref.in(from),
                        .numero = "1",
                        .codigo = kCodigo.in(from)});
            if (unicodeOrigin)
                w.addEvent({.id = ++id,
                            .company = codes[i],
                            .numero = "2",
                            .registeredAt = "09:00:00",
                            .codigo = "\xE6\xBC\xA2"});
        }

        ASSERT_EQ(w.cycle(), CycleEnd::Completed);
        id = 0;
        for (size_t i = 0; i < codes.size(); ++i) {
            const std::string& to = kSets[i];
            SCOPED_TRACE("destination " + shown(to));
            TestDatabase& dest = *w.destinations[codes[i]];
            const int copied = ++id;
            EXPECT_EQ(w.state(copied), "sent") << w.errorText(copied);
            const auto rows = dest.query(
                "SELECT PREF_PRE, FACT_ESTADO, FACT_CLIENTE, FACT_NOTAS, FACT_MONEDA FROM "
                "FACTURAS_ZVR WHERE FACT_NUMERO = '1'");
            ASSERT_EQ(rows.size(), 1u);
            EXPECT_EQ(rows[0][0], Value::text(kPref.in(to)));
            // A CHAR of a UTF8 table comes back as four bytes a character, blanks after.
            const bool unicode = to == "UTF8";
            EXPECT_EQ(rows[0][1], Value::text(kEstado.in(to) + (unicode ? "  " : "")));
            EXPECT_EQ(rows[0][2], Value::text(kCompany.in(to)));
            EXPECT_TRUE(rows[0][3] == Value::text(note.in(to))) << "the long note differs";
            EXPECT_EQ(rows[0][4], Value::text(unicode ? "COP" + std::string(9, ' ') : "COP"));
            if (!unicodeOrigin) continue;
            const int han = ++id;
            const auto held = dest.query(
                "SELECT FACT_CLIENTE FROM FACTURAS_ZVR WHERE "
                "FACT_NUMERO = '2'");
            if (to == "UTF8") {
                EXPECT_EQ(w.state(han), "sent") << w.errorText(han);
                ASSERT_EQ(held.size(), 1u);
                EXPECT_EQ(held[0][0], Value::text(kHan));
            } else {
                // Never '?' or mojibake marked sent: the event keeps the reason.
                EXPECT_EQ(w.state(han), "pending with error");
                EXPECT_NE(w.errorText(han).find("'FACT_CLIENTE' cannot be written in character "
                                                "set " +
                                                shown(to)),
                          std::string::npos)
                    << w.errorText(han);
                EXPECT_TRUE(held.empty());
            }
        }

        // ENVIO.TXT is Windows-1252 whatever the origin holds; what the code page lacks
        // is '?'.
        std::vector<std::string> expected;
        for (int n = 1; n <= id; ++n) {
            const bool hanEvent = unicodeOrigin && n % 2 == 0;
            expected.push_back("D,T," + std::to_string(n) + ",236," +
                               (hanEvent ? std::string("FV2?")
                                         : "F\xD1"
                                           "1C\x80"));
        }
        EXPECT_EQ(w.logFields("ENVIO.TXT"), expected);
    }
}

// A destination whose default character set is not the one of its key columns (the
// default changed after the tables were made): the lookup, the replace and the delete
// find the document by its key in the bytes of PREF_PRE and FACT_NUMERO, as the insert
// writes it. A replace leaves one row, and a delete none.
TEST(CharacterSets, TheKeyIsWrittenInTheCharacterSetOfItsColumns) {
    const Text numero{
        "N\xBA"
        "0001",
        "N\xC2\xBA"
        "0001"};
    struct Case {
        std::string origin;   // default set of the origin
        std::string columns;  // default set the destination's tables were made with
    };
    const std::vector<Case> cases = {{"", ""}, {"UTF8", "WIN1252"}};
    for (const Case& c : cases) {
        SCOPED_TRACE("origin " + shown(c.origin) + ", destination columns " + shown(c.columns));
        SenderWorld w(WorldOptions{.viaServer = true, .originCharset = c.origin});
        TestDatabase& dest = w.addDestination("002", "S", c.columns);
        dest.exec("ALTER DATABASE SET DEFAULT CHARACTER SET UTF8");
        const std::string key =
            data::quoted(kPref.in(c.columns)) + ", " + data::quoted(numero.in(c.columns));
        dest.exec(
            "INSERT INTO FACTURAS_ZVR (PREF_PRE, FACT_NUMERO, FACT_CLIENTE, FACT_MONEDA) "
            "VALUES (" +
            key + ", 'antes', 'USD')");
        w.origin->exec(
            "INSERT INTO FACTURAS_ZVR (PREF_PRE, FACT_NUMERO, FACT_CLIENTE, FACT_MONEDA) VALUES "
            "(" +
            data::quoted(kPref.in(c.origin)) + ", " + data::quoted(numero.in(c.origin)) +
            ", 'nuevo', 'COP')");
        const auto rows = [&] {
            return dest.query("SELECT FACT_CLIENTE FROM FACTURAS_ZVR WHERE PREF_PRE = " +
                              data::quoted(kPref.in(c.columns)) + " AND FACT_NUMERO = " +
                              data::quoted(numero.in(c.columns)) + " ORDER BY FACT_CLIENTE");
        };

        // The copy replaces the row the destination holds.
        w.addEvent(
            {.id = 1, .company = "002", .pref = kPref.in(c.origin), .numero = numero.in(c.origin)});
        ASSERT_EQ(w.cycle(), CycleEnd::Completed);
        EXPECT_EQ(w.state(1), "sent") << w.errorText(1);
        EXPECT_EQ(rows(), (std::vector<std::vector<Value>>{{Value::text("nuevo")}}));

        // The delete removes it.
        w.addEvent({.id = 2,
                    .company = "002",
                    .pref = kPref.in(c.origin),
                    .numero = numero.in(c.origin),
                    .oper = "D"});
        ASSERT_EQ(w.cycle(), CycleEnd::Completed);
        EXPECT_EQ(w.state(2), "sent") << w.errorText(2);
        EXPECT_TRUE(rows().empty()) << rows().size() << " rows left";
    }
}

}  // namespace
}  // namespace enviozvr::sendertest
