// FACTURAS_ZVR gains a column while the program keeps its origin connection across
// cycles (one destination at a time, and the desktop), on the local server.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "senderworld.h"

namespace enviozvr::sendertest {
namespace {

using sender::CycleEnd;

struct ChangeCase {
    std::string name;
    bool atOrigin;
    bool atDestination;
    std::string state;   // of the event sent after the change
    std::string stored;  // found in its error text
};

// The first cycle reads the origin's invoices often enough for their shape to be kept;
// then the table changes and later cycles go on. Added at both ends, the new column is
// copied; at the origin only, it is left out; at the destination only, it stays NULL.
TEST(TableChange, ACycleAfterAColumnWasAddedGoesOn) {
    const std::vector<ChangeCase> cases = {
        {"both ends", true, true, "sent", ""},
        {"origin only", true, false, "sent", ""},
        {"destination only", false, true, "sent", ""},
    };
    for (const ChangeCase& c : cases) {
        SCOPED_TRACE(c.name);
        SenderWorld w(WorldOptions{.viaServer = true});
        TestDatabase& dest = w.addDestination("002");
        for (int n = 1; n <= 4; ++n) {
            w.origin->exec(invoiceValues("FV", std::to_string(n), n));
            w.addEvent({.id = n, .company = "002", .numero = std::to_string(n)});
        }
        ASSERT_EQ(w.cycle(), CycleEnd::Completed);
        for (int n = 1; n <= 4; ++n) ASSERT_EQ(w.state(n), "sent") << w.errorText(n);

        for (int n = 5; n <= 6; ++n) {
            w.origin->exec(invoiceValues("FV", std::to_string(n), n));
            w.addEvent({.id = n, .company = "002", .numero = std::to_string(n)});
            w.addEvent({.id = 10 + n, .company = "002", .numero = std::to_string(n - 4)});
        }
        if (c.atOrigin) w.origin->exec("ALTER TABLE FACTURAS_ZVR ADD FACT_EXTRA VARCHAR(10)");
        if (c.atDestination) dest.exec("ALTER TABLE FACTURAS_ZVR ADD FACT_EXTRA VARCHAR(10)");
        if (c.atOrigin) w.origin->exec("UPDATE FACTURAS_ZVR SET FACT_EXTRA = 'extra'");
        ASSERT_EQ(w.cycle(), CycleEnd::Completed);
        ASSERT_EQ(w.cycle(), CycleEnd::Completed);
        for (const int id : {5, 6, 15, 16}) {
            EXPECT_EQ(w.state(id), c.state) << id << ": " << w.errorText(id);
            EXPECT_NE(w.errorText(id).find(c.stored), std::string::npos) << w.errorText(id);
        }
        if (c.atDestination && !c.atOrigin) {
            EXPECT_TRUE(dest.scalar("SELECT FACT_EXTRA FROM FACTURAS_ZVR WHERE FACT_NUMERO = '5'")
                            .isNull());
        }
        if (c.atOrigin && c.atDestination) {
            EXPECT_EQ(SenderWorld::invoiceRows(dest, "FV", "5"),
                      SenderWorld::invoiceRows(*w.origin, "FV", "5"));
            EXPECT_EQ(dest.scalar("SELECT FACT_EXTRA FROM FACTURAS_ZVR WHERE FACT_NUMERO = '1'"),
                      Value::text("extra"));
        }
    }
}

}  // namespace
}  // namespace enviozvr::sendertest
