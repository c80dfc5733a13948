// Connections against real databases: embedded files and the local server.
#include "data/connection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "data/errors.h"
#include "data/statement.h"
#include "data/transaction.h"
#include "support/testdb.h"

using namespace enviozvr::data;
using enviozvr::testing::TempDir;
using enviozvr::testing::TestDatabase;

namespace {

std::unique_ptr<Connection> companyTo(const std::string& location, const std::string& user,
                                      const std::string& password) {
    auto c = Connection::company("DbCia");
    c->setDatabase(location);
    c->setParam("User_Name", user);
    c->setParam("password", password);
    c->setParam("RoleName", "");
    return c;
}

// The integer in the first column of the first row of `sql`, read through `c`.
int64_t integerOf(Connection& c, const std::string& sql) {
    auto cursor = c.open(sql);
    cursor->fetch();
    const int64_t n = cursor->value(0).asInteger();
    cursor->close();
    return n;
}

std::string messageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const DatabaseError& e) {
        return e.what();
    }
    return "(no error)";
}

}  // namespace

TEST(Connection, EmbeddedRoundTripOfEveryColumnType) {
    TempDir dir;
    TestDatabase db(dir.file("c.fdb"));
    db.createCompanySchema();
    auto c = companyTo("  " + db.location() + "  ", "SYSDBA", "");  // location is trimmed
    std::string notas(70000, 'n');
    notas[5] = '\xe1';
    std::vector<Value> row = {Value::text("A'B"),
                              Value::text("000123"),
                              Value::integer(-7),
                              Value::integer(9000000000LL),
                              Value::decimal(123456, 2),
                              Value::decimal(1234567, 6),
                              Value::real(2.5),
                              Value::date(Date::fromYmd(2026, 12, 31)),
                              Value::time(Time::fromHms(23, 59, 58, 1200)),
                              Value::timestamp({Date::fromYmd(2026, 1, 2), Time::fromHms(3, 4, 5)}),
                              Value::text("A"),
                              Value::text("Compa\xf1\xed"
                                          "a Espa\xf1ola"),
                              Value::text(notas),
                              Value::text("COP")};
    EXPECT_EQ(c->execute("insert into FACTURAS_ZVR values (?,?,?,?,?,?,?,?,?,?,?,?,?,?)", row), 1);
    auto cursor = c->open("select * from FACTURAS_ZVR");
    ASSERT_TRUE(cursor->fetch());
    for (size_t i = 0; i < row.size(); ++i) {
        Value got = cursor->value(static_cast<int>(i));
        if (row[i].kind() == Value::Kind::Decimal)
            EXPECT_TRUE(got.asDecimal() == row[i].asDecimal()) << i;
        else
            EXPECT_EQ(got, row[i]) << cursor->fields()[i].name;
    }
    EXPECT_FALSE(cursor->fetch());
    cursor->close();
    EXPECT_EQ(cursor->fields()[0].type, FieldType::String);
    EXPECT_TRUE(cursor->fields()[0].required);
    EXPECT_EQ(cursor->fields()[5].type, FieldType::Decimal);
    EXPECT_EQ(cursor->fields()[5].scale, 6);
    EXPECT_TRUE(cursor->fields()[12].textBlob);
    EXPECT_TRUE(cursor->fields()[10].fixedWidth);
}

TEST(Connection, CharValuesKeepTheirBlanksOnPlainStatements) {
    TempDir dir;
    TestDatabase db(dir.file("c.fdb"));
    db.createCompanySchema();
    db.exec("insert into REPLICA_COMPANIA (RPCO_COD, RPCO_ACTIVA) values ('A', 'S')");
    auto c = companyTo(db.location(), "SYSDBA", "");
    PlainStatement q("QCopia", *c);
    q.setText("select RPCO_COD from REPLICA_COMPANIA");
    q.open();
    EXPECT_EQ(q.value(0), Value::text("A  "));
    // Executing while open is refused; the statement stays open.
    try {
        q.execute();
        FAIL();
    } catch (const DataError& e) {
        EXPECT_STREQ(e.what(), "Cannot perform this operation on an open dataset");
    }
    EXPECT_TRUE(q.isOpen());
    // Disconnecting closes what is open on the connection.
    c->disconnect();
    EXPECT_FALSE(q.isOpen());
    q.setText("update REPLICA_COMPANIA set RPCO_ACTIVA = 'N' where RPCO_COD = 'ZZZ'");
    EXPECT_EQ(q.execute(), 0);  // no row matched: no failure; connects again implicitly
    EXPECT_TRUE(c->isConnected());
}

TEST(Connection, EmptyPasswordAttachesWithNoPassword) {
    TempDir dir;
    TestDatabase db(dir.file("c.fdb"), /*viaServer=*/true);
    auto c = companyTo(db.location(), enviozvr::testing::serverUser(), "");
    EXPECT_FALSE(c->params().has("password"));
    // The server asks for a password that was never sent.
    EXPECT_NE(messageOf([&] { c->connect(); }).find("Your user name and password are not defined"),
              std::string::npos);
    EXPECT_FALSE(c->isConnected());
    c->setParam("password", enviozvr::testing::serverPassword());
    c->connect();
    EXPECT_TRUE(c->isConnected());
}

TEST(Connection, ServerErrorsInTheTwoTextForms) {
    TempDir dir;
    TestDatabase db(dir.file("c.fdb"), true);
    const std::string host = enviozvr::testing::serverHost();

    auto general = Connection::general();
    general->setDatabase(db.location());
    general->setParam("User_Name", enviozvr::testing::serverUser());
    general->setParam("password", "wrong");
    EXPECT_EQ(messageOf([&] { general->connect(); }),
              "Your user name and password are not defined. Ask your database administrator to set "
              "up a Firebird login");

    auto company = companyTo(host + ":" + dir.file("missing.fdb"), enviozvr::testing::serverUser(),
                             enviozvr::testing::serverPassword());
    std::string text = messageOf([&] { company->connect(); });
    EXPECT_EQ(text.rfind("SQL Server Error: I/O error during \"open\" operation for file \"", 0),
              0u)
        << text;
    EXPECT_NE(text.find("missing.fdb\"\r\n"), std::string::npos) << text;
    EXPECT_FALSE(company->isConnected());

    try {
        auto bad = companyTo(db.location(), enviozvr::testing::serverUser(),
                             enviozvr::testing::serverPassword());
        bad->execute("select * from NO_SUCH_TABLE");
        FAIL();
    } catch (const DatabaseError& e) {
        EXPECT_EQ(e.sqlState(), "42S02");
        EXPECT_EQ(e.statement(), "select * from NO_SUCH_TABLE");
        EXPECT_FALSE(e.connectionLost());
    }
}

TEST(Connection, UnknownHostIsANetworkError) {
    auto c = companyTo("nohost.invalid:/datos/001/nivora.fdb", "SYSDBA", "x");
    std::string text = messageOf([&] { c->connect(); });
    EXPECT_NE(text.find("Unable to complete network request to host \"nohost.invalid\""),
              std::string::npos)
        << text;
}

TEST(Connection, ALostAttachmentIsConnectedAgainOnNextUse) {
    TempDir dir;
    TestDatabase db(dir.file("c.fdb"));
    db.createCompanySchema();
    auto c = companyTo(db.location(), "SYSDBA", "");
    PlainStatement q("QCopia", *c);
    q.setText("select * from REPLICA_EVENTOS");
    q.open();
    // Another attachment throws every other one off the database.
    db.exec("delete from mon$attachments where mon$attachment_id <> current_connection");
    try {
        c->execute("delete from REPLICA_EVENTOS");
        FAIL() << "the attachment should be gone";
    } catch (const DatabaseError& e) {
        EXPECT_TRUE(e.connectionLost()) << e.what();
    }
    EXPECT_FALSE(c->isConnected());
    EXPECT_FALSE(q.isOpen());
    EXPECT_EQ(c->execute("delete from REPLICA_EVENTOS"), 0);
    EXPECT_TRUE(c->isConnected());
}

TEST(Connection, BlobParametersOfEveryLength) {
    // Texts up to the longest VARCHAR travel as strings that the server turns into the
    // blob; longer ones are written as blobs by the client. Both must arrive whole.
    TempDir dir;
    TestDatabase db(dir.file("c.fdb"));
    db.createCompanySchema();
    auto c = companyTo(db.location(), "SYSDBA", "");
    std::string binary;
    for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
    const std::vector<std::string> texts = {"",
                                            "corta \xe1",
                                            binary,
                                            std::string(32765, 'a'),
                                            std::string(32766, 'b'),
                                            std::string(100000, 'c')};
    for (size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(texts[i].size());
        c->execute(
            "insert into FACTURAS_ZVR (PREF_PRE, FACT_NUMERO, FACT_NOTAS, FACT_MONEDA) "
            "values ('FV', ?, ?, 'COP')",
            {Value::text(std::to_string(i)), Value::text(texts[i])});
        auto cursor = c->open("select FACT_NOTAS from FACTURAS_ZVR where FACT_NUMERO = '" +
                              std::to_string(i) + "'");
        ASSERT_TRUE(cursor->fetch());
        EXPECT_EQ(cursor->value(0), Value::text(texts[i]));
        cursor->close();
    }
}

TEST(Connection, SelectsSeeWhatOthersCommittedAndLockingSelectsStillRun) {
    TempDir dir;
    TestDatabase db(dir.file("c.fdb"));
    db.createCompanySchema();
    auto c = companyTo(db.location(), "SYSDBA", "");
    auto count = [&] { return integerOf(*c, "select count(*) from REPLICA_COMPANIA"); };
    EXPECT_EQ(count(), 0);
    // Committed by another attachment between two reads of this connection.
    db.exec("insert into REPLICA_COMPANIA (RPCO_COD, RPCO_ACTIVA) values ('002', 'S')");
    EXPECT_EQ(count(), 1);
    // A cursor still open while another attachment commits: the next read sees the row.
    auto open = c->open("select RPCO_COD from REPLICA_COMPANIA");
    db.exec("insert into REPLICA_COMPANIA (RPCO_COD, RPCO_ACTIVA) values ('003', 'S')");
    EXPECT_EQ(count(), 2);
    open->close();
    // A SELECT that locks its rows writes: it runs, and its lock ends with the cursor.
    auto locking =
        c->open("select RPCO_COD from REPLICA_COMPANIA where RPCO_COD = '002' with lock");
    ASSERT_TRUE(locking->fetch());
    locking->close();
    db.exec("update REPLICA_COMPANIA set RPCO_ACTIVA = 'N' where RPCO_COD = '002'");
    // Writes of this connection are seen by its next read.
    c->executeImmediate("delete from REPLICA_COMPANIA where RPCO_COD = '003'");
    EXPECT_EQ(count(), 1);
    // Repeatable-read connections keep a transaction per read.
    c->setParam("TransIsolation", "RepeatableRead");
    db.exec("insert into REPLICA_COMPANIA (RPCO_COD, RPCO_ACTIVA) values ('004', 'S')");
    EXPECT_EQ(count(), 2);
}

// Company connections prepare in dialect 3 whatever the database's dialect, so quoted
// names stay names; the general connection follows a lower database dialect.
TEST(Connection, DialectOfEachKindOnADialectOneDatabase) {
    TempDir dir;
    TestDatabase db(dir.file("d1.fdb"), TestDatabase::Options{.dialect = 1});
    db.exec("create table T (A integer)");
    struct Case {
        const char* name;
        std::unique_ptr<Connection> connection;
        unsigned dialect;
    };
    Case cases[] = {{"company", companyTo(db.location(), "SYSDBA", ""), 3},
                    {"general", Connection::general(), 1}};
    cases[1].connection->setDatabase(db.location());
    cases[1].connection->setParam("password", "");
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.connection->connect();
        EXPECT_EQ(c.connection->dialect(), c.dialect);
        if (c.dialect == 3)
            EXPECT_EQ(
                c.connection->execute("insert into \"T\" (\"A\") values (?)", {Value::integer(1)}),
                1);
        else
            EXPECT_EQ(c.connection->execute("insert into T (A) values (\"7\")"), 1)
                << "dialect 1 reads double quotes as text";
    }
}

// An attachment thrown off the server (as a restart does) met by each operation of a
// connection: disconnecting lets it go without an error; every other operation reports
// the loss and leaves the connection closed, and the next use connects again.
TEST(Connection, EveryOperationThatMeetsALostAttachmentLetsItGo) {
    struct Case {
        const char* name;
        std::function<void(Connection&, PlainStatement&)> before;  // while attached
        std::function<void(Connection&, PlainStatement&)> after;   // once thrown off
        bool throws;
    };
    const auto none = [](Connection&, PlainStatement&) {};
    std::optional<Transaction> tx;  // the explicit transaction of a case
    const std::vector<Case> cases = {
        {"disconnect", none, [](Connection& c, PlainStatement&) { c.disconnect(); }, false},
        {"execute", none, [](Connection& c, PlainStatement&) { c.execute("delete from T"); }, true},
        {"open a statement", none, [](Connection&, PlainStatement& q) { q.open(); }, true},
        {"start a transaction", none, [&](Connection& c, PlainStatement&) { tx.emplace(c); }, true},
        {"commit", [&](Connection& c, PlainStatement&) { tx.emplace(c); },
         [&](Connection&, PlainStatement&) { tx->commit(); }, true},
        {"rollback", [&](Connection& c, PlainStatement&) { tx.emplace(c); },
         [&](Connection&, PlainStatement&) { tx->rollback(); }, true},
        {"read a blob of an open statement", [](Connection&, PlainStatement& q) { q.open(); },
         [](Connection&, PlainStatement& q) { q.value(1); }, true},
        // Closing a cursor of the shared read transaction asks nothing of the server: the
        // next use of the connection is what meets the lost attachment.
        {"close an open statement, then use the connection",
         [](Connection&, PlainStatement& q) { q.open(); },
         [](Connection& c, PlainStatement& q) {
             q.close();
             c.execute("delete from T");
         },
         true},
    };
    TempDir dir;
    TestDatabase db(dir.file("lost.fdb"), /*viaServer=*/true);
    db.exec("create table T (A integer, B blob sub_type text)");
    db.exec("insert into T values (1, 'uno')");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto conn = companyTo(db.location(), enviozvr::testing::serverUser(),
                              enviozvr::testing::serverPassword());
        PlainStatement q("QCopia", *conn);
        q.setText("select A, B from T");
        conn->connect();
        c.before(*conn, q);
        db.exec("delete from mon$attachments where mon$attachment_id <> current_connection");
        try {
            c.after(*conn, q);
            EXPECT_FALSE(c.throws) << "no error";
        } catch (const DatabaseError& e) {
            EXPECT_TRUE(c.throws) << e.what();
            EXPECT_TRUE(e.connectionLost()) << e.what();
        }
        EXPECT_FALSE(conn->isConnected());
        EXPECT_FALSE(conn->inTransaction());
        EXPECT_FALSE(q.isOpen());
        EXPECT_EQ(conn->execute("update T set A = 1"), 1);
        EXPECT_NO_THROW(conn->disconnect());
        tx.reset();
    }

    // The general connection, with its read transaction open.
    auto general = Connection::general();
    general->setDatabase(db.location());
    general->setParam("User_Name", enviozvr::testing::serverUser());
    general->setParam("password", enviozvr::testing::serverPassword());
    general->open("select A from T")->close();
    db.exec("delete from mon$attachments where mon$attachment_id <> current_connection");
    EXPECT_NO_THROW(general->disconnect());
    EXPECT_FALSE(general->isConnected());
    EXPECT_NO_THROW(general->connect());
}

// A statement run again by its text is not prepared again while it is kept; a failed one,
// a lost attachment and a disconnect leave no statement behind that could be used stale.
TEST(Connection, KeptStatementsAreReusedAndNeverOutliveTheirAttachment) {
    TempDir dir;
    TestDatabase db(dir.file("c.fdb"));
    db.createCompanySchema();
    auto c = companyTo(db.location(), "SYSDBA", "");
    db.exec("ALTER TABLE REPLICA_COMPANIA ADD CONSTRAINT NOT_BAD CHECK (RPCO_COD <> 'BAD')");
    c->setKeepPreparedStatements(true);
    const std::string insert =
        "insert into REPLICA_COMPANIA (RPCO_COD, RPCO_ACTIVA) values (?, 'S')";
    auto attachment = [&] { return integerOf(*c, "select current_connection from rdb$database"); };
    // Statements of this connection's attachment that insert, as the server lists them. The
    // monitoring tables are a snapshot per transaction: each look attaches anew.
    auto prepared = [&] {
        auto monitor = companyTo(db.location(), "SYSDBA", "");
        return integerOf(*monitor,
                         "select count(*) from mon$statements where mon$attachment_id = " +
                             std::to_string(attachment()) +
                             " and mon$sql_text starting with 'insert into REPLICA_COMPANIA'");
    };
    auto rows = [&] { return db.scalar("select count(*) from REPLICA_COMPANIA").asInteger(); };

    EXPECT_EQ(c->execute(insert, {Value::text("001")}), 1);
    EXPECT_EQ(c->execute(insert, {Value::text("002")}, false), -1);
    EXPECT_EQ(prepared(), 1);
    EXPECT_EQ(rows(), 2);

    // A failure drops the kept statement; the text runs again, prepared anew.
    EXPECT_NE(messageOf([&] { c->execute(insert, {Value::text("TOOLONG")}); }).find("truncation"),
              std::string::npos);
    EXPECT_EQ(prepared(), 0);
    EXPECT_EQ(c->execute(insert, {Value::text("003")}), 1);
    EXPECT_EQ(rows(), 3);
    // A row the table refuses says nothing against the statement: it stays kept.
    EXPECT_NE(messageOf([&] { c->execute(insert, {Value::text("BAD")}); }), "(no error)");
    EXPECT_EQ(prepared(), 1);
    EXPECT_EQ(rows(), 3);
    // Also when the refusal meets the statement's first execution.
    const std::string reordered =
        "insert into REPLICA_COMPANIA (RPCO_ACTIVA, RPCO_COD) values ('S', ?)";
    EXPECT_NE(messageOf([&] { c->execute(reordered, {Value::text("BAD")}); }), "(no error)");
    EXPECT_EQ(prepared(), 2);
    EXPECT_EQ(rows(), 3);

    // A lost attachment takes its kept statements with it, whichever statement meets the loss.
    db.exec("delete from mon$attachments where mon$attachment_id <> current_connection");
    EXPECT_NE(messageOf([&] { c->executeImmediate("delete from REPLICA_COMPANIA where 1 = 0"); }),
              "(no error)");
    EXPECT_EQ(c->execute(insert, {Value::text("004")}), 1);
    EXPECT_EQ(rows(), 4);

    // Disconnecting, or no longer keeping them, frees them on the server.
    c->disconnect();
    EXPECT_EQ(c->execute(insert, {Value::text("005")}), 1);
    EXPECT_EQ(prepared(), 1);
    c->setKeepPreparedStatements(false);
    EXPECT_EQ(prepared(), 0);
    EXPECT_EQ(c->execute(insert, {Value::text("006")}), 1);
    EXPECT_EQ(prepared(), 0);
    EXPECT_EQ(rows(), 6);
}

// A SELECT of table columns read before in the same shape (the same text but for the
// strings it compares with) gets its row in one request, with text blobs inside the row.
// Whatever the read finds, it must give what a cursor gives: no row, one, several rows
// (the cursor reads them), a text longer than the row holds (read by its blob), and the
// bytes of a text as they are stored.
TEST(Connection, ReadsOfAKnownShapeGiveWhatACursorGives) {
    TempDir dir;
    TestDatabase db(dir.file("c.fdb"), true);
    db.createCompanySchema();
    auto c = companyTo(db.location(), enviozvr::testing::serverUser(),
                       enviozvr::testing::serverPassword());
    const std::string accented =
        "se\xf1or Garc\xed"
        "a";
    const std::string longText(40000, 'x');
    auto insert = [&](const std::string& numero, const std::string& notas) {
        c->execute(
            "insert into FACTURAS_ZVR (PREF_PRE, FACT_NUMERO, FACT_NOTAS, FACT_MONEDA) "
            "values ('FV', ?, ?, 'COP')",
            {Value::text(numero), Value::text(notas)});
    };
    insert("1", accented);
    insert("2", longText);
    insert("3", "first");
    insert("3", "second");
    insert("4", "");
    c->execute("update FACTURAS_ZVR set FACT_NOTAS = null where FACT_NUMERO = '4'");

    // Statements of this connection's attachment on the server that read invoices: a
    // cursor's is there while it is open, a read in one request leaves none.
    auto attachment = integerOf(*c, "select current_connection from rdb$database");
    auto statementsOpen = [&] {
        auto monitor = companyTo(db.location(), enviozvr::testing::serverUser(),
                                 enviozvr::testing::serverPassword());
        return integerOf(*monitor,
                         "select count(*) from mon$statements where mon$attachment_id = " +
                             std::to_string(attachment) +
                             " and mon$sql_text starting with 'select * from FACTURAS_ZVR'");
    };
    struct Case {
        std::string numero;
        std::vector<Value> notas;  // FACT_NOTAS of each row found, sorted
        bool oneRequest;
    };
    const std::vector<Case> cases = {
        {"1", {Value::text(accented)}, false},  // the first read of the shape: a cursor
        {"1", {Value::text(accented)}, true},
        {"9", {}, true},
        {"4", {Value::null()}, true},
        {"2", {Value::text(longText)}, false},
        {"3", {Value::text("first"), Value::text("second")}, false},
        {"1", {Value::text(accented)}, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.numero);
        auto cursor =
            c->open("select * from FACTURAS_ZVR where PREF_PRE = 'FV' AND FACT_NUMERO = '" +
                    k.numero + "'");
        std::vector<Value> notas;
        int column = -1;
        for (size_t i = 0; i < cursor->fields().size(); ++i)
            if (cursor->fields()[i].name == "FACT_NOTAS") column = static_cast<int>(i);
        ASSERT_GE(column, 0);
        EXPECT_EQ(cursor->fields()[static_cast<size_t>(column)].type, FieldType::Blob);
        EXPECT_EQ(statementsOpen() == 0, k.oneRequest);
        while (cursor->fetch()) notas.push_back(cursor->value(column));
        cursor->close();
        std::sort(notas.begin(), notas.end(),
                  [](const Value& a, const Value& b) { return a.toText() < b.toText(); });
        EXPECT_EQ(notas, k.notas);
    }
    // Inside an explicit transaction a read sees the transaction's own changes.
    Transaction tx(*c);
    c->executeImmediate("delete from FACTURAS_ZVR where FACT_NUMERO = '1'");
    auto gone = c->open("select * from FACTURAS_ZVR where PREF_PRE = 'FV' AND FACT_NUMERO = '1'");
    EXPECT_FALSE(gone->fetch());
    gone->close();
    tx.rollback();
    auto back = c->open("select * from FACTURAS_ZVR where PREF_PRE = 'FV' AND FACT_NUMERO = '1'");
    EXPECT_TRUE(back->fetch());
    back->close();
}

// With autocommit, each statement is committed the moment it succeeds: another attachment
// sees it at once, a refused one leaves nothing and the next ones go on, an explicit
// transaction still undoes what it ran as a whole, and the long transaction holds back
// no garbage collection (the oldest active transaction moves on with each statement).
TEST(Connection, AutocommitCommitsEachStatementAsItSucceeds) {
    TempDir dir;
    TestDatabase db(dir.file("c.fdb"), true);
    db.createCompanySchema();
    db.exec(
        "ALTER TABLE REPLICA_COMPANIA ADD CONSTRAINT ACTIVE_S_OR_N "
        "CHECK (RPCO_ACTIVA IN ('S', 'N'))");
    const std::string user = enviozvr::testing::serverUser();
    const std::string password = enviozvr::testing::serverPassword();
    auto c = companyTo(db.location(), user, password);
    c->setKeepPreparedStatements(true);
    // What another attachment sees now (the monitoring tables are a snapshot per
    // transaction: each look attaches anew).
    auto seen = [&](const std::string& sql) {
        auto other = companyTo(db.location(), user, password);
        return integerOf(*other, sql);
    };
    auto rows = [&] { return seen("select count(*) from REPLICA_COMPANIA"); };
    const std::string insert = "insert into REPLICA_COMPANIA (RPCO_COD, RPCO_ACTIVA) values (?, ?)";
    {
        AutocommitScope scope(*c);
        EXPECT_TRUE(c->autocommit());
        c->execute(insert, {Value::text("001"), Value::text("S")}, false);
        EXPECT_EQ(rows(), 1);
        c->executeImmediate("update REPLICA_COMPANIA set RPCO_ACTIVA = 'N'");
        EXPECT_EQ(seen("select count(*) from REPLICA_COMPANIA where RPCO_ACTIVA = 'N'"), 1);

        EXPECT_NE(messageOf([&] {
                      c->execute(insert, {Value::text("002"), Value::text("X")});
                  }),
                  "(no error)");
        EXPECT_NE(messageOf([&] {
                      c->executeImmediate("update REPLICA_COMPANIA set RPCO_ACTIVA = 'X'");
                  }),
                  "(no error)");
        EXPECT_EQ(rows(), 1);
        EXPECT_EQ(seen("select count(*) from REPLICA_COMPANIA where RPCO_ACTIVA = 'N'"), 1);
        c->execute(insert, {Value::text("003"), Value::text("S")}, false);
        EXPECT_EQ(rows(), 2);

        {
            Transaction tx(*c);
            c->execute(insert, {Value::text("004"), Value::text("S")}, false);
            c->executeImmediate("delete from REPLICA_COMPANIA where RPCO_COD = '001'");
            EXPECT_EQ(rows(), 2);
        }
        EXPECT_EQ(rows(), 2);
        EXPECT_EQ(seen("select count(*) from REPLICA_COMPANIA where RPCO_COD = '001'"), 1);

        // The server keeps row versions as old as the oldest snapshot any transaction
        // holds; the shared transaction holds its start's until it is renewed.
        auto oldestSnapshot = [&] { return seen("select mon$oldest_snapshot from mon$database"); };
        const int64_t before = oldestSnapshot();
        for (int i = 0; i < Connection::kAutocommitSpan; ++i)
            c->executeImmediate("update REPLICA_COMPANIA set RPCO_ACTIVA = 'S'");
        EXPECT_GT(oldestSnapshot(), before);
    }
    EXPECT_FALSE(c->autocommit());
    // Without it, a statement's transaction is its own again.
    c->execute(insert, {Value::text("005"), Value::text("S")}, false);
    EXPECT_EQ(rows(), 3);
}
