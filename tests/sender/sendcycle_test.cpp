// Send cycles over real embedded databases: the event life cycle, batches and order,
// the purge, the transfer of every column type, refused changes, unreachable and
// inactive destinations, the timer and the logs.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>

#include "data/errors.h"
#include "senderworld.h"

namespace enviozvr::sendertest {
namespace {

using sender::CycleEnd;

// A destination trigger that refuses invoices whose FACT_ESTADO is 'X' with a message
// holding quotes and a line break.
void addRefusingTrigger(TestDatabase& db) {
    db.exec("CREATE EXCEPTION E_RECHAZO 'Factura ''bloqueada''\r\nen destino'");
    db.exec(
        "CREATE TRIGGER FACTURAS_ZVR_RECHAZO FOR FACTURAS_ZVR BEFORE INSERT AS BEGIN "
        "IF (NEW.FACT_ESTADO = 'X') THEN EXCEPTION E_RECHAZO; END");
}

TEST(SendCycle, EveryStateOfTheEventLifeCycle) {
    SenderWorld w;
    TestDatabase& dest = w.addDestination("002");
    addRefusingTrigger(dest);
    w.origin->exec(invoiceValues("FV", "1", 1));
    w.origin->exec(invoiceValues("FV", "2", 2, "X"));  // refused at the destination
    w.origin->exec(invoiceValues("FV", "3", 3, "X"));  // refused once, then accepted
    w.addEvent({.id = 1, .company = "002", .numero = "1"});
    w.addEvent({.id = 2, .company = "002", .numero = "2", .registeredAt = "08:01:00"});
    w.addEvent({.id = 3, .company = "002", .numero = "3", .registeredAt = "08:02:00"});
    // Already sent: the purge keeps 7 days, removes 8 days, keeps errored ones.
    w.addEvent({.id = 7, .company = "002", .numero = "7", .sentDaysAgo = 7});
    w.addEvent({.id = 8, .company = "002", .numero = "8", .sentDaysAgo = 8});
    w.addEvent({.id = 9, .company = "002", .numero = "9", .sentDaysAgo = 30, .error = "old"});
    // Never processed: an empty destination code.
    w.addEvent({.id = 10, .company = "", .numero = "1"});

    ASSERT_EQ(w.cycle(), CycleEnd::Completed);
    const std::vector<std::pair<int, std::string>> afterFirst = {{1, "sent"},
                                                                 {2, "pending with error"},
                                                                 {3, "pending with error"},
                                                                 {7, "sent"},
                                                                 {8, "purged"},
                                                                 {9, "sent with error"},
                                                                 {10, "pending"}};
    for (const auto& [id, state] : afterFirst) EXPECT_EQ(w.state(id), state) << "event " << id;
    EXPECT_EQ(w.origin->scalar("SELECT RPEV_FECREP FROM REPLICA_EVENTOS WHERE RPEV_ID = 1"),
              Value::date(data::today()));

    // The origin of invoice 3 is corrected; the next cycle retries both pending events.
    w.origin->exec("UPDATE FACTURAS_ZVR SET FACT_ESTADO = 'A' WHERE FACT_NUMERO = '3'");
    ASSERT_EQ(w.cycle(), CycleEnd::Completed);
    EXPECT_EQ(w.state(2), "pending with error");
    EXPECT_EQ(w.state(3), "sent with error");
    ASSERT_EQ(w.status.served.size(), 2u);
    EXPECT_EQ(w.status.served[1].taken, 2);
    EXPECT_EQ(w.status.served[1].sent, 1);
    EXPECT_EQ(w.status.served[1].failed, 1);

    // "No reintentar errores": the company is still served, with an empty batch.
    w.options.skip = true;
    ASSERT_EQ(w.cycle(), CycleEnd::Completed);
    ASSERT_EQ(w.status.served.size(), 3u);
    EXPECT_TRUE(w.status.served[2].connected);
    EXPECT_EQ(w.status.served[2].taken, 0);
    EXPECT_EQ(w.state(2), "pending with error");
}

TEST(SendCycle, RefusedInsertStoresTheDestinationTextOnTheEvent) {
    SenderWorld w;
    TestDatabase& dest = w.addDestination("002");
    addRefusingTrigger(dest);
    int beeps = 0;
    w.data.beep = [&] { ++beeps; };
    w.origin->exec(invoiceValues("FV", "2", 2, "X"));
    w.addEvent({.id = 2, .company = "002", .numero = "2"});

    ASSERT_EQ(w.cycle(), CycleEnd::Completed);
    const std::string text = w.errorText(2);
    EXPECT_NE(text.find("Factura 'bloqueada'\r\nen destino"), std::string::npos) << text;
    EXPECT_NE(text.find("SQL Server Error: "), std::string::npos) << text;
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(SenderWorld::invoiceRows(dest, "FV", "2").empty());
}

TEST(SendCycle, LongFailureTextIsCutToTheErrorColumn) {
    SenderWorld w;
    w.addEvent({.id = 5, .company = "002", .numero = "5"});
    w.data.CAuditor.setCommandText("select * from replica_eventos");
    w.data.CAuditor.open();
    const std::string longText = "it's " + std::string(3000, 'x');
    data::TResolverResponse response = data::rrSkip;
    w.data.ManejarError(nullptr, nullptr, data::DataError(longText), data::ukInsert, response);
    EXPECT_EQ(response, data::rrAbort);
    EXPECT_EQ(w.errorText(5), longText.substr(0, sender::kEventErrorWidth));

    // A failed post of a cached set: the text is stored and the operation silently aborts.
    data::TDataAction action = data::daFail;
    w.data.ManejarClientError(w.data.CAuditor, data::DataError("Field 'X' must have a value"),
                              action);
    EXPECT_EQ(action, data::daAbort);
    EXPECT_EQ(w.errorText(5), "Field 'X' must have a value");
}

TEST(SendCycle, CopyReplaceAndDeleteAtTheDestination) {
    SenderWorld w;
    TestDatabase& dest = w.addDestination("002");
    w.origin->exec(invoiceValues("FV", "1", 1));
    w.origin->exec(invoiceValues("FV", "2", 2));
    w.origin->exec(invoiceValues("O'K", "3", 3));
    dest.exec(invoiceValues("FV", "2", 7));  // replaced by the origin's
    dest.exec(invoiceValues("FV", "2", 8));  // a duplicate: both go
    dest.exec(invoiceValues("FV", "4", 4));  // deleted
    dest.exec(invoiceValues("FV", "4", 9));  // a second, different row of it: deleted too
    w.addEvent({.id = 1, .company = "002", .numero = "1"});
    w.addEvent({.id = 2, .company = "002", .numero = "2", .oper = "d", .registeredAt = "08:01:00"});
    w.addEvent({.id = 3,
                .company = "002",
                .pref = "O'K",
                .numero = "3",
                .oper = " ",
                .registeredAt = "08:02:00"});
    w.addEvent({.id = 4, .company = "002", .numero = "4", .oper = "D", .registeredAt = "08:03:00"});
    w.addEvent({.id = 5, .company = "002", .numero = "5", .oper = "D", .registeredAt = "08:04:00"});
    w.addEvent(
        {.id = 6, .company = "002", .numero = "6", .registeredAt = "08:05:00"});  // no origin

    ASSERT_EQ(w.cycle(), CycleEnd::Completed);
    for (int id = 1; id <= 6; ++id) EXPECT_EQ(w.state(id), "sent") << "event " << id;

    // Every column arrives as the origin holds it: accented text, NUMERIC(18,6) at full
    // scale, the text blob with its line break, the timestamp's fraction.
    for (const auto& [pref, numero] :
         std::vector<std::pair<std::string, std::string>>{{"FV", "1"}, {"FV", "2"}, {"O'K", "3"}}) {
        const auto expected = SenderWorld::invoiceRows(*w.origin, pref, numero);
        const auto got = SenderWorld::invoiceRows(dest, pref, numero);
        ASSERT_EQ(got.size(), 1u) << pref << numero;
        ASSERT_EQ(got[0].size(), expected[0].size());
        for (size_t c = 0; c < got[0].size(); ++c)
            EXPECT_EQ(got[0][c], expected[0][c]) << pref << numero << " column " << c;
    }
    EXPECT_EQ(dest.scalar("SELECT FACT_TASA FROM FACTURAS_ZVR WHERE FACT_NUMERO = '1'")
                  .asDecimal()
                  .toString(),
              "4012.345671");
    EXPECT_TRUE(SenderWorld::invoiceRows(dest, "FV", "4").empty());
    EXPECT_TRUE(SenderWorld::invoiceRows(dest, "FV", "6").empty());
}

TEST(SendCycle, RefusedInsertDuringAReplaceKeepsTheOldRow) {
    SenderWorld w;
    TestDatabase& dest = w.addDestination("002");
    addRefusingTrigger(dest);
    dest.exec(invoiceValues("FV", "2", 7));
    const auto before = SenderWorld::invoiceRows(dest, "FV", "2");
    w.origin->exec(invoiceValues("FV", "2", 2, "X"));
    w.addEvent({.id = 2, .company = "002", .numero = "2"});

    ASSERT_EQ(w.cycle(), CycleEnd::Completed);
    EXPECT_EQ(w.state(2), "pending with error");
    EXPECT_EQ(SenderWorld::invoiceRows(dest, "FV", "2"), before);
}

struct BatchCase {
    std::string batch;
    bool newest;
    std::vector<int> sent;  // of events 1..5, registered in that order
    std::string batchAfter;
};

void PrintTo(const BatchCase& c, std::ostream* os) {
    *os << "batch " << (c.batch.empty() ? "empty" : c.batch)
        << (c.newest ? ", newest first" : ", oldest first");
}

class BatchOrder : public ::testing::TestWithParam<BatchCase> {};

TEST_P(BatchOrder, TakesOneBatchInRegistrationOrder) {
    const BatchCase& c = GetParam();
    SenderWorld w;
    w.addDestination("002");
    // Registered on different days and times, inserted out of order.
    const std::vector<std::pair<int, Event>> events = {
        {3,
         {.id = 3,
          .company = "002",
          .tipo = 120,
          .numero = "3",
          .registeredDaysAgo = 1,
          .registeredAt = "07:00:00"}},
        {1,
         {.id = 1,
          .company = "002",
          .tipo = 120,
          .numero = "1",
          .registeredDaysAgo = 2,
          .registeredAt = "09:00:00"}},
        {5,
         {.id = 5,
          .company = "002",
          .tipo = 120,
          .numero = "5",
          .registeredDaysAgo = 0,
          .registeredAt = "06:00:00"}},
        {2,
         {.id = 2,
          .company = "002",
          .tipo = 120,
          .numero = "2",
          .registeredDaysAgo = 2,
          .registeredAt = "10:00:00"}},
        {4,
         {.id = 4,
          .company = "002",
          .tipo = 120,
          .numero = "4",
          .registeredDaysAgo = 1,
          .registeredAt = "08:00:00"}},
    };
    for (const auto& [id, e] : events) w.addEvent(e);
    w.options.batch = c.batch;
    w.options.newest = c.newest;

    ASSERT_EQ(w.cycle(), CycleEnd::Completed);
    std::vector<int> sent;
    for (int id = 1; id <= 5; ++id)
        if (w.state(id) == "sent") sent.push_back(id);
    EXPECT_EQ(sent, c.sent);
    EXPECT_EQ(w.options.batch, c.batchAfter);
    // The events were shown in batch order.
    ASSERT_EQ(w.status.shownEvents.size(), c.sent.size());
    const int firstShown = c.newest ? c.sent.back() : c.sent.front();
    EXPECT_EQ(w.status.shownEvents[0], "120,I,FV" + std::to_string(firstShown) + ",C1");
}

INSTANTIATE_TEST_SUITE_P(SendCycle, BatchOrder,
                         ::testing::Values(BatchCase{"2", false, {1, 2}, "2"},
                                           BatchCase{"2", true, {4, 5}, "2"},
                                           BatchCase{"", false, {1, 2, 3, 4, 5}, "80"},
                                           BatchCase{"", true, {1, 2, 3, 4, 5}, "80"},
                                           BatchCase{"3", true, {3, 4, 5}, "3"}));

// A batch size that is not a whole number above 0 stops the cycle before any statement:
// no purge, no event logged, and the timer is still re-armed.
TEST(SendCycle, UnusableBatchSizeStopsBeforeAnySql) {
    // The data module here was never connected: a cycle that sent any statement before
    // the check would fail otherwise than on the batch size.
    for (const std::string batch : {"0", "-1", "abc", "1.5", "5 ", "1; delete"}) {
        SCOPED_TRACE(batch);
        sender::MainData data;
        FakeOptions options;
        RecordingStatus status;
        FakeTimer timer;
        options.batch = batch;
        options.minutesText = "3";
        try {
            sender::runSendCycle(data, options, status, timer);
            ADD_FAILURE() << "no error";
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(std::string(e.what()), "'" + batch + "' is not a valid integer value");
        }
        EXPECT_EQ(timer.calls, std::vector<std::string>{"start 180000"});
    }
}

// Over real databases the stop leaves the queue as it was (not even the purge of events
// sent long ago runs) and logs nothing.
TEST(SendCycle, UnusableBatchSizeLeavesTheQueueAndTheLogsAlone) {
    SenderWorld w;
    w.addDestination("002");
    w.addEvent({.id = 1, .company = "002", .tipo = 120, .numero = "1"});
    w.addEvent({.id = 8, .company = "002", .numero = "8", .sentDaysAgo = 8});
    w.options.batch = "abc";
    w.options.minutesText = "3";
    try {
        w.cycle();
        ADD_FAILURE() << "no error";
    } catch (const std::invalid_argument& e) {
        EXPECT_EQ(std::string(e.what()), "'abc' is not a valid integer value");
    }
    EXPECT_EQ(w.state(8), "sent");
    EXPECT_EQ(w.state(1), "pending");
    EXPECT_TRUE(w.logLines("ENVIO.TXT").empty());
    EXPECT_EQ(w.timer.calls, std::vector<std::string>{"start 180000"});
}

TEST(SendCycle, UnreachableAndInactiveDestinationsLeaveTheOthersServed) {
    SenderWorld w;
    TestDatabase& dest = w.addDestination("002");
    w.listCompany("003", w.server + "/nowhere");  // no database there
    w.listCompany("004", w.server, "N");          // inactive
    w.listCompany("005", "");                     // no server
    w.origin->exec(invoiceValues("FV", "1", 1));
    for (const std::string company : {"002", "003", "004", "005", "006"})
        w.addEvent({.id = std::stoi(company), .company = company, .numero = "1"});

    ASSERT_EQ(w.cycle(), CycleEnd::Completed);
    EXPECT_EQ(w.state(2), "sent");
    for (int id : {3, 4, 5, 6}) EXPECT_EQ(w.state(id), "pending") << id;
    EXPECT_EQ(SenderWorld::invoiceRows(dest, "FV", "1").size(), 1u);

    const std::string path = w.server + "/nowhere/datos/003/nivora.fdb";
    // One line, with the reason: the database cannot be opened there.
    const auto lines = w.logFields("errorenvio.txt");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(
        lines[0].rfind(
            "D,T,No se pudo conectar con el servidor " + path + ",servidor inalcanzable: ", 0),
        0u)
        << lines[0];
    const std::string prefix = "Ult. error:" + data::shortDateText(data::today()) + ":";
    // ... followed by the reason, as errorenvio.txt has it.
    const std::string failure = " No se pudo conectar con el servidor " + path + ", ";
    EXPECT_EQ(w.status.lastError.rfind(prefix, 0), 0u) << w.status.lastError;
    const auto at = w.status.lastError.find(failure);
    ASSERT_NE(at, std::string::npos) << w.status.lastError;
    EXPECT_TRUE(lines[0].ends_with("," + w.status.lastError.substr(at + failure.size())))
        << w.status.lastError;

    // Served in the order listed: 002 with its batch, 003 unreachable; 004-006 skipped.
    ASSERT_EQ(w.status.served.size(), 2u);
    EXPECT_EQ(w.status.served[0].company, "002");
    EXPECT_EQ(w.status.served[0].sent, 1);
    EXPECT_EQ(w.status.served[1].company, "003");
    EXPECT_FALSE(w.status.served[1].connected);

    // A later successful connection does not clear the last error.
    const std::string lastError = w.status.lastError;
    w.origin->exec("DELETE FROM REPLICA_EVENTOS WHERE RPEV_ID = 3");
    w.addEvent({.id = 20, .company = "002", .tipo = 120, .numero = "9"});
    ASSERT_EQ(w.cycle(), CycleEnd::Completed);
    EXPECT_EQ(w.status.lastError, lastError);
}

TEST(SendCycle, EnvioLogHasOneLinePerEventHandled) {
    SenderWorld w;
    w.addDestination("002");
    w.origin->exec(invoiceValues("FV", "1", 1));
    w.addEvent({.id = 1, .company = "002", .numero = "1", .codigo = "V01"});
    w.addEvent({.id = 2,
                .company = "002",
                .tipo = 120,
                .pref = "PD",
                .numero = "42",
                .registeredAt = "09:00:00",
                .codigo = "P,9"});
    w.addEvent({.id = 3,
                .company = "002",
                .numero = "77",
                .oper = "D",
                .registeredAt = "10:00:00",
                .codigo = ""});

    ASSERT_EQ(w.cycle(), CycleEnd::Completed);
    EXPECT_EQ(
        w.logFields("ENVIO.TXT"),
        (std::vector<std::string>{"D,T,1,236,FV1V01", "D,T,2,120,PD42P,9", "D,T,3,236,FV77"}));
    EXPECT_TRUE(w.logLines("errorenvio.txt").empty());
}

// A stop request asked for during an event: that event is finished, the rest of its
// batch and the other destinations wait, and the cycle says it was stopped.
TEST(SendCycle, AStopRequestEndsTheCycleAfterTheEventInHand) {
    SenderWorld w;
    TestDatabase& dest = w.addDestination("002");
    w.addDestination("003");
    for (int i = 1; i <= 3; ++i) w.origin->exec(invoiceValues("FV", std::to_string(i), i));
    w.addEvent({.id = 1, .company = "002", .numero = "1", .registeredAt = "08:01:00"});
    w.addEvent({.id = 2, .company = "002", .numero = "2", .registeredAt = "08:02:00"});
    w.addEvent({.id = 3, .company = "003", .numero = "3"});
    w.status.onEventShown = [&](const std::string&) { w.status.stop = true; };

    EXPECT_EQ(w.cycle(), CycleEnd::Stopped);
    EXPECT_EQ(w.state(1), "sent");
    EXPECT_EQ(SenderWorld::invoiceRows(dest, "FV", "1").size(), 1u);
    EXPECT_EQ(w.state(2), "pending");
    EXPECT_EQ(w.state(3), "pending");
    ASSERT_EQ(w.status.served.size(), 1u);
    EXPECT_TRUE(w.status.served[0].stopped);
    EXPECT_EQ(w.status.served[0].taken, 2);
    EXPECT_EQ(w.status.served[0].sent, 1);
    EXPECT_FALSE(w.data.DBEnvio.isConnected());
    EXPECT_EQ(w.timer.calls.back(), "start 60000");

    // The next cycle, without the request, sends the rest.
    w.status.stop = false;
    w.status.onEventShown = nullptr;
    EXPECT_EQ(w.cycle(), CycleEnd::Completed);
    for (int id = 1; id <= 3; ++id) EXPECT_EQ(w.state(id), "sent") << id;
}

// Timer1 and the status texts of the cycle.
TEST(SendCycle, TimerAndStatusAcrossCycles) {
    SenderWorld w;
    w.addDestination("002");

    // No origin company: the message, and nothing else changes.
    w.options.chosen = false;
    EXPECT_EQ(w.cycle(), CycleEnd::NoCompany);
    EXPECT_EQ(w.status.messages, std::vector<std::string>{"Debe indicar la compa\xF1\xED"
                                                          "a de origen."});
    EXPECT_TRUE(w.timer.calls.empty());
    EXPECT_TRUE(w.status.panel.empty());
    w.options.chosen = true;

    // Nothing pending: no company visited, the timer re-armed anyway.
    w.options.minutesText = "0";
    EXPECT_EQ(w.cycle(), CycleEnd::Completed);
    EXPECT_EQ(w.timer.calls, std::vector<std::string>{"start 0"});
    EXPECT_EQ(w.status.lastSend, "Sin envios hasta ahora.");
    EXPECT_EQ(w.status.errorViewerEnabled, std::optional<bool>(false));
    EXPECT_EQ(w.status.panel,
              (std::vector<std::string>{"Borrando informaci\xF3n procesada...|shown",
                                        "Borrando informaci\xF3n procesada...|hidden",
                                        "Borrando informaci\xF3n procesada...|hidden"}));

    // A company served: off while serving, on again with Minut. Only a non-invoice
    // event has been sent: the first form (before the send) saw nothing, the second form
    // looks at invoices only.
    w.timer.calls.clear();
    w.status.panel.clear();
    w.addEvent({.id = 1, .company = "002", .tipo = 120, .numero = "1"});
    w.options.minutesText = "35791";
    EXPECT_EQ(w.cycle(), CycleEnd::Completed);
    EXPECT_EQ(w.timer.calls, (std::vector<std::string>{"stop", "start 2147460000"}));
    EXPECT_EQ(w.status.panel.back(), "Enviando informaci\xF3n a 002|hidden");
    EXPECT_FALSE(w.status.eventBoxVisible);
    EXPECT_EQ(w.status.errorViewerEnabled, std::optional<bool>(false));
    EXPECT_EQ(w.status.lastSend, "Sin envios hasta ahora.");

    // An invoice event (its invoice no longer exists at the origin) is sent: both forms
    // now see a send, and the text is the invoice event's date and time.
    w.timer.calls.clear();
    w.addEvent({.id = 2, .company = "002", .numero = "2"});
    EXPECT_EQ(w.cycle(), CycleEnd::Completed);
    EXPECT_EQ(w.status.errorViewerEnabled, std::optional<bool>(true));
    const auto sent = w.origin->query(
        "SELECT RPEV_FECREP, RPEV_HORAREP FROM REPLICA_EVENTOS WHERE RPEV_ID = 2")[0];
    EXPECT_EQ(w.status.lastSend, sent[0].toText() + " - " + sent[1].toText());

    // Minut unusable: the events are all processed, then the error; the timer stays off.
    for (const std::string minutes : {"abc", "-1", "35792", ""}) {
        SCOPED_TRACE(minutes);
        w.timer.calls.clear();
        const int id = 10 + static_cast<int>(minutes.size());
        w.addEvent({.id = id, .company = "002", .tipo = 120, .numero = "9"});
        w.options.minutesText = minutes;
        try {
            w.cycle();
            ADD_FAILURE() << "no error";
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(std::string(e.what()), "'" + minutes + "' is not a valid integer value");
        }
        EXPECT_EQ(w.state(id), "sent");
        EXPECT_EQ(w.timer.calls, std::vector<std::string>{"stop"});
        EXPECT_FALSE(w.timer.active);
    }
}

// A cycle that ends early, after switching the timer off, still re-arms it from Minut.
TEST(SendCycle, EarlyEndStillRearmsTheTimer) {
    SenderWorld w;
    w.addDestination("002");
    // The origin has no invoice table: reading the invoice fails while 002 is served, a
    // failure of the origin, which ends the cycle.
    w.origin->exec("DROP TABLE FACTURAS_ZVR");
    w.addEvent({.id = 1, .company = "002", .numero = "1"});
    w.options.minutesText = "2";
    EXPECT_THROW(w.cycle(), data::DatabaseError);
    EXPECT_EQ(w.state(1), "pending");
    EXPECT_EQ(w.timer.calls, (std::vector<std::string>{"stop", "start 120000"}));
}

// The destination FACTURAS_ZVR recreated with other columns.
void recreateInvoices(TestDatabase& db, const std::string& columns) {
    db.exec("DROP TABLE FACTURAS_ZVR");
    db.exec("CREATE TABLE FACTURAS_ZVR (" + columns + ")");
}

const char* const kInvoiceColumns =
    "PREF_PRE VARCHAR(4) NOT NULL, FACT_NUMERO VARCHAR(6) NOT NULL, FACT_ID INTEGER, "
    "FACT_SERIAL BIGINT, FACT_TOTAL NUMERIC(15,2), FACT_TASA NUMERIC(18,6), "
    "FACT_PESO DOUBLE PRECISION, FACT_FECHA DATE, FACT_HORA TIME, FACT_REGISTRO TIMESTAMP, "
    "FACT_ESTADO CHAR(1), FACT_CLIENTE VARCHAR(80), FACT_NOTAS BLOB SUB_TYPE TEXT, "
    "FACT_MONEDA CHAR(3) NOT NULL";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    if (at == std::string::npos) throw std::logic_error("no " + from);
    return text.replace(at, from.size(), to);
}

// A failure confined to one event's transfer: what is done to the origin and the
// destination 002 before the cycle, and the text stored on the event.
struct EventFailureCase {
    std::string name;
    std::function<void(TestDatabase& origin, TestDatabase& destination)> prepare;
    std::string storedText;  // found in RPEV_ERROR
};

void PrintTo(const EventFailureCase& c, std::ostream* os) { *os << c.name; }

class PerEventFailure : public ::testing::TestWithParam<EventFailureCase> {};

// The failure is stored on its event, which stays pending; the batch goes on with the
// next event and the cycle with the next destination. Invoice FV1 of event 1 is the one
// that fails at 002; event 2 (another type) follows it at 002; event 3 copies FV2 to 003.
TEST_P(PerEventFailure, IsStoredOnTheEventAndTheCycleGoesOn) {
    const EventFailureCase& c = GetParam();
    SenderWorld w;
    TestDatabase& dest = w.addDestination("002");
    TestDatabase& other = w.addDestination("003");
    w.origin->exec(invoiceValues("FV", "1", 1));
    w.origin->exec(invoiceValues("FV", "2", 2));
    c.prepare(*w.origin, dest);
    w.addEvent({.id = 1, .company = "002", .numero = "1"});
    w.addEvent({.id = 2, .company = "002", .tipo = 120, .numero = "9", .registeredAt = "09:00:00"});
    w.addEvent({.id = 3, .company = "003", .numero = "2"});

    ASSERT_EQ(w.cycle(), CycleEnd::Completed);
    EXPECT_EQ(w.state(1), "pending with error");
    EXPECT_NE(w.errorText(1).find(c.storedText), std::string::npos) << w.errorText(1);
    EXPECT_EQ(w.state(2), "sent");
    EXPECT_EQ(w.state(3), "sent");
    EXPECT_EQ(SenderWorld::invoiceRows(other, "FV", "2").size(), 1u);
    ASSERT_EQ(w.status.served.size(), 2u);
    EXPECT_EQ(w.status.served[0].failed, 1);
    EXPECT_EQ(w.status.served[0].sent, 1);
    EXPECT_TRUE(w.logLines("errorenvio.txt").empty());
    EXPECT_EQ(w.timer.calls.back(), "start 60000");

    // The next cycle meets the same failure and still goes on.
    ASSERT_EQ(w.cycle(), CycleEnd::Completed);
    EXPECT_EQ(w.state(1), "pending with error");
}

INSTANTIATE_TEST_SUITE_P(
    SendCycle, PerEventFailure,
    ::testing::Values(
        EventFailureCase{"RequiredColumnLeftNull",
                         [](TestDatabase& o, TestDatabase& d) {
                             d.exec("ALTER TABLE FACTURAS_ZVR ADD FACT_EXTRA INTEGER NOT NULL");
                             o.exec("ALTER TABLE FACTURAS_ZVR ADD FACT_EXTRA INTEGER");
                         },
                         "Field 'FACT_EXTRA' must have a value"},
        EventFailureCase{"DecimalPastSixtyFourBitsAtTheDestinationScale",
                         [](TestDatabase& o, TestDatabase& d) {
                             o.exec(
                                 "UPDATE FACTURAS_ZVR SET FACT_TOTAL = 1844674407370955.16 "
                                 "WHERE FACT_NUMERO = '1'");
                             recreateInvoices(d,
                                              replaced(kInvoiceColumns, "FACT_TOTAL NUMERIC(15,2)",
                                                       "FACT_TOTAL NUMERIC(18,4)"));
                         },
                         "Value '1844674407370955.16' does not fit column 'FACT_TOTAL'"},
        EventFailureCase{
            "IntegerPastASmallintColumn",
            [](TestDatabase& o, TestDatabase& d) {
                o.exec("UPDATE FACTURAS_ZVR SET FACT_ID = 100000 WHERE FACT_NUMERO = '1'");
                recreateInvoices(d,
                                 replaced(kInvoiceColumns, "FACT_ID INTEGER", "FACT_ID SMALLINT"));
            },
            "Value '100000' does not fit column 'FACT_ID'"},
        EventFailureCase{
            "DoublePastADecimalColumn",
            [](TestDatabase& o, TestDatabase& d) {
                o.exec("UPDATE FACTURAS_ZVR SET FACT_PESO = 1e300 WHERE FACT_NUMERO = '1'");
                recreateInvoices(d, replaced(kInvoiceColumns, "FACT_PESO DOUBLE PRECISION",
                                             "FACT_PESO NUMERIC(18,2)"));
            },
            "Value '1e+300' does not fit column 'FACT_PESO'"},
        EventFailureCase{"TextIntoAnIntegerColumnOfTheSameName",
                         [](TestDatabase&, TestDatabase& d) {
                             recreateInvoices(d, replaced(kInvoiceColumns, "FACT_ESTADO CHAR(1)",
                                                          "FACT_ESTADO INTEGER"));
                         },
                         "'A' is not a valid integer value (column 'FACT_ESTADO')"},
        EventFailureCase{"DestinationRefusesTheDeleteOfAReplace",
                         [](TestDatabase&, TestDatabase& d) {
                             d.exec(invoiceValues("FV", "1", 7));
                             d.exec("CREATE EXCEPTION E_BORRADO 'No se borra'");
                             d.exec(
                                 "CREATE TRIGGER FACTURAS_ZVR_BORRADO FOR FACTURAS_ZVR BEFORE "
                                 "DELETE AS BEGIN EXCEPTION E_BORRADO; END");
                         },
                         "No se borra"},
        EventFailureCase{"DestinationHasNoInvoiceTable",
                         [](TestDatabase&, TestDatabase& d) { d.exec("DROP TABLE FACTURAS_ZVR"); },
                         "Table unknown"}),
    [](const ::testing::TestParamInfo<EventFailureCase>& info) { return info.param.name; });

// Events registered in the same second are served in the order they were queued
// (RPEV_ID), oldest first, or the reverse with newest first.
TEST(SendCycle, EventsOfOneSecondKeepTheirQueueOrder) {
    for (const bool newest : {false, true}) {
        SCOPED_TRACE(newest ? "newest first" : "oldest first");
        SenderWorld w;
        w.addDestination("002");
        for (int id : {3, 1, 4, 2})
            w.addEvent({.id = id, .company = "002", .tipo = 120, .numero = std::to_string(id)});
        w.options.newest = newest;
        ASSERT_EQ(w.cycle(), CycleEnd::Completed);
        std::vector<std::string> expected;
        for (int id : {1, 2, 3, 4}) expected.push_back("120,I,FV" + std::to_string(id) + ",C1");
        if (newest) std::reverse(expected.begin(), expected.end());
        EXPECT_EQ(w.status.shownEvents, expected);
    }
}

// Which origin column each destination column takes: the one of its name, wherever it
// stands (the tables' other differences: columnpairing_test.cpp).
TEST(SendCycle, ColumnsAreMatchedByNameWhereverTheyStand) {
    const std::string swapped =
        replaced(kInvoiceColumns, "FACT_TOTAL NUMERIC(15,2), FACT_TASA NUMERIC(18,6)",
                 "FACT_TASA NUMERIC(18,6), FACT_TOTAL NUMERIC(15,2)");
    struct Case {
        const char* name;
        std::string columns;
        std::string total, tasa;  // FACT_TOTAL and FACT_TASA at the destination
    };
    const std::vector<Case> cases = {
        {"same order", kInvoiceColumns, "12341.75", "4012.345671"},
        {"two columns swapped", swapped, "12341.75", "4012.345671"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SenderWorld w;
        TestDatabase& dest = w.addDestination("002");
        recreateInvoices(dest, c.columns);
        w.origin->exec(invoiceValues("FV", "1", 1));
        w.addEvent({.id = 1, .company = "002", .numero = "1"});
        ASSERT_EQ(w.cycle(), CycleEnd::Completed);
        EXPECT_EQ(w.state(1), "sent");
        const auto got = dest.query("SELECT FACT_TOTAL, FACT_TASA FROM FACTURAS_ZVR");
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0][0].toText(), c.total);
        EXPECT_EQ(got[0][1].toText(), c.tasa);
    }
}

// Texts arrive exactly as the origin holds them, trailing blanks included.
TEST(SendCycle, TextsArriveWithTheirTrailingBlanks) {
    SenderWorld w;
    TestDatabase& dest = w.addDestination("002");
    const std::vector<std::string> clients = {"Cliente 40 ", "  ", "a\t ", "Jos\xe9   "};
    for (size_t i = 0; i < clients.size(); ++i) {
        const std::string numero = std::to_string(i + 1);
        w.origin->exec(invoiceValues("FV", numero, 1));
        w.origin->exec("UPDATE FACTURAS_ZVR SET FACT_CLIENTE = " + data::quoted(clients[i]) +
                       " WHERE FACT_NUMERO = " + data::quoted(numero));
        w.addEvent({.id = static_cast<int>(i + 1), .company = "002", .numero = numero});
    }
    dest.exec(invoiceValues("FV", "4", 4));  // replaced
    ASSERT_EQ(w.cycle(), CycleEnd::Completed);
    for (size_t i = 0; i < clients.size(); ++i) {
        const std::string numero = std::to_string(i + 1);
        EXPECT_EQ(dest.scalar("SELECT FACT_CLIENTE FROM FACTURAS_ZVR WHERE FACT_NUMERO = " +
                              data::quoted(numero)),
                  Value::text(clients[i]))
            << numero;
    }
}

// A destination database of dialect 1 takes the generated statements, which quote names.
TEST(SendCycle, ADialectOneDestinationTakesTheCopy) {
    SenderWorld w;
    w.makeDirectories("/datos/002");
    TestDatabase dest(w.root + "/datos/002/nivora.fdb", TestDatabase::Options{.dialect = 1});
    // Types that both dialects have, on both sides.
    const std::string columns =
        "PREF_PRE VARCHAR(4) NOT NULL, FACT_NUMERO VARCHAR(6) NOT NULL, FACT_ID INTEGER, "
        "FACT_TOTAL NUMERIC(9,2), FACT_CLIENTE VARCHAR(80)";
    dest.exec("CREATE TABLE FACTURAS_ZVR (" + columns + ")");
    recreateInvoices(*w.origin, columns);
    w.listCompany("002", w.server);
    w.origin->exec("INSERT INTO FACTURAS_ZVR VALUES ('FV', '1', 7, 1234.5, 'Cliente')");
    dest.exec("INSERT INTO FACTURAS_ZVR VALUES ('FV', '2', 8, 1.25, 'Otro')");
    w.addEvent({.id = 1, .company = "002", .numero = "1"});
    w.addEvent({.id = 2, .company = "002", .numero = "2", .oper = "D", .registeredAt = "09:00:00"});
    ASSERT_EQ(w.cycle(), CycleEnd::Completed);
    EXPECT_EQ(w.state(1), "sent") << w.errorText(1);
    EXPECT_EQ(w.state(2), "sent") << w.errorText(2);
    EXPECT_EQ(SenderWorld::invoiceRows(dest, "FV", "1"),
              SenderWorld::invoiceRows(*w.origin, "FV", "1"));
    EXPECT_TRUE(SenderWorld::invoiceRows(dest, "FV", "2").empty());
}

TEST(SendCycle, ErrorTextIsCutOnACharacterBoundary) {
    struct Case {
        std::string text;
        std::size_t max;
        std::string set;
        std::string cut;
    };
    const std::string e = "\xc3\xa9";  // é in UTF-8
    const std::vector<Case> cases = {
        {"abc", 2, "NONE", "ab"},
        {"a" + e + e, 4, "UTF8", "a" + e},
        {"a" + e + e, 5, "UTF8", "a" + e + e},
        {"a" + e + e, 4, "WIN1252", ("a" + e + e).substr(0, 4)},
        {"a\xe2\x82\xac"
         "b",
         3, "UNICODE_FSS", "a"},
        {"a\x82\xa0\xb1", 2, "SJIS_0208", "a"},
        {"a\xb1\x82\xa0", 2, "SJIS_0208", "a\xb1"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(sender::cutToCharacters(c.text, c.max, c.set), c.cut) << c.set << " " << c.max;

    // Stored on a UTF8 company database: a text whose cut would fall inside a character.
    SenderWorld w(WorldOptions{.originCharset = "UTF8"});
    w.addEvent({.id = 5, .company = "002", .numero = "5"});
    w.data.CAuditor.setCommandText("select * from replica_eventos");
    w.data.CAuditor.open();
    std::string longText = "x";
    while (longText.size() < 3000) longText += e;
    data::TResolverResponse response = data::rrSkip;
    w.data.ManejarError(nullptr, nullptr, data::DataError(longText), data::ukInsert, response);
    EXPECT_EQ(w.errorText(5), longText.substr(0, sender::kEventErrorWidth - 1));
}

// Where an attachment is lost in the middle of a cycle (thrown off the database, as a
// server restart does), and whether the databases are embedded or on the local server.
struct LostCase {
    std::string name;
    bool viaServer;
    bool destination;  // the destination 002's attachment, else the origin's
};

void PrintTo(const LostCase& c, std::ostream* os) { *os << c.name; }

class LostAttachment : public ::testing::TestWithParam<LostCase> {};

// A lost destination ends its batch (the event stays pending without text, errorenvio.txt
// gets its line) and the cycle goes on; a lost origin ends the cycle. Either way the next
// cycle connects again and sends everything.
TEST_P(LostAttachment, TheNextCycleRecovers) {
    const LostCase& c = GetParam();
    SenderWorld w(WorldOptions{.viaServer = c.viaServer});
    TestDatabase& dest = w.addDestination("002");
    TestDatabase& other = w.addDestination("003");
    w.origin->exec(invoiceValues("FV", "1", 1));
    w.origin->exec(invoiceValues("FV", "2", 2));
    w.addEvent({.id = 1, .company = "002", .numero = "1"});
    w.addEvent({.id = 2, .company = "002", .numero = "2", .registeredAt = "09:00:00"});
    w.addEvent({.id = 3, .company = "003", .numero = "1"});
    bool dropped = false;
    w.status.onEventShown = [&](const std::string&) {
        if (dropped) return;
        dropped = true;
        SenderWorld::dropAttachments(c.destination ? dest : *w.origin);
    };

    if (c.destination) {
        ASSERT_EQ(w.cycle(), CycleEnd::Completed);
        EXPECT_EQ(w.state(1), "pending");
        EXPECT_EQ(w.state(2), "pending");
        EXPECT_EQ(w.state(3), "sent");
        ASSERT_EQ(w.logLines("errorenvio.txt").size(), 1u);
        EXPECT_NE(w.logLines("errorenvio.txt")[0].find("/datos/002/nivora.fdb"), std::string::npos);
        ASSERT_EQ(w.status.served.size(), 2u);
        EXPECT_TRUE(w.status.served[0].lost);
        EXPECT_FALSE(w.status.served[1].lost);
    } else {
        EXPECT_THROW(w.cycle(), data::DatabaseError);
        EXPECT_EQ(w.state(1), "pending");
        EXPECT_TRUE(w.logLines("errorenvio.txt").empty());
    }

    ASSERT_EQ(w.cycle(), CycleEnd::Completed);
    for (int id : {1, 2, 3}) EXPECT_EQ(w.state(id), "sent") << id << " " << w.errorText(id);
    EXPECT_EQ(SenderWorld::invoiceRows(dest, "FV", "2").size(), 1u);
    EXPECT_EQ(SenderWorld::invoiceRows(other, "FV", "1").size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(SendCycle, LostAttachment,
                         ::testing::Values(LostCase{"EmbeddedDestination", false, true},
                                           LostCase{"EmbeddedOrigin", false, false},
                                           LostCase{"ServerDestination", true, true},
                                           LostCase{"ServerOrigin", true, false}),
                         [](const ::testing::TestParamInfo<LostCase>& info) {
                             return info.param.name;
                         });

}  // namespace
}  // namespace enviozvr::sendertest
