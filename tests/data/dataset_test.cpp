// Cached result sets and update application over real embedded databases.
#include "data/dataset.h"

#include <gtest/gtest.h>

#include "data/errors.h"
#include "data/transaction.h"
#include "support/memoryrows.h"
#include "support/testdb.h"

using namespace enviozvr::data;
using enviozvr::testing::field;
using enviozvr::testing::TempDir;
using enviozvr::testing::TestDatabase;

namespace {

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

// A table of three rows and the provider chain over it, plus a second connection that
// sees only what was committed.
class CachedSetTest : public ::testing::Test {
  protected:
    CachedSetTest() : db(dir.file("t.fdb")), conn(open()), other(open()) {
        db.exec(
            "create table T (ID integer not null, NOMBRE char(10), NOTA varchar(20), NOTAS blob "
            "sub_type text)");
        db.exec("insert into T values (1, 'uno', 'a', 'blob uno')");
        db.exec("insert into T values (2, 'dos', null, null)");
        db.exec("insert into T values (3, 'tres', '', null)");
    }

    std::unique_ptr<Connection> open() const {
        auto c = Connection::company("DBEnvio");
        c->setDatabase(db.location());
        c->setParam("User_Name", "SYSDBA");
        c->setParam("password", "");
        c->setParam("RoleName", "");
        return c;
    }

    int64_t count(const std::string& where = "1=1") {
        auto cur = other->open("select count(*) from T where " + where);
        cur->fetch();
        int64_t n = cur->value(0).asInteger();
        cur->close();
        return n;
    }

    TempDir dir;
    TestDatabase db;
    std::unique_ptr<Connection> conn, other;
    Query query{*conn, "select * from T"};
    Provider provider{"PDestino", query, true};
    CachedResultSet set{"CDestino", provider};
};

}  // namespace

TEST_F(CachedSetTest, FetchHoldsRowsWithoutTrailingBlanksAndSurvivesDisconnect) {
    set.setCommandText("select * from T order by ID");
    set.open();
    EXPECT_EQ(set.recordCount(), 3);
    EXPECT_EQ(set.asText("NOMBRE"), "uno");
    EXPECT_EQ(set.asText("NOTAS"), "blob uno");
    conn->disconnect();
    set.last();
    EXPECT_EQ(set.asInteger(set.fieldByName("ID")), 3);
    EXPECT_TRUE(set.eof());
    // Opening again does not re-read, even with another command text.
    set.setCommandText("select * from T where ID = 1");
    set.open();
    EXPECT_EQ(set.recordCount(), 3);
    EXPECT_FALSE(conn->isConnected());
    // Refresh re-reads with the new text and reconnects.
    set.refresh();
    EXPECT_EQ(set.recordCount(), 1);
}

TEST_F(CachedSetTest, DeclaredFieldsBindByName) {
    set.declareField(field("ID", FieldType::Integer));
    set.open();
    EXPECT_EQ(set.fieldCount(), 1);
    set.close();

    set.declareField(field("NOPE", FieldType::String));
    EXPECT_EQ(errorOf([&] { set.open(); }), "Field 'NOPE' not found");
    EXPECT_FALSE(set.active());

    set.clearDeclaredFields();
    set.declareField(field("ID", FieldType::String));
    EXPECT_EQ(errorOf([&] { set.open(); }),
              "Type mismatch for field 'ID', expecting: String actual: Integer");
}

TEST_F(CachedSetTest, InsertIsCommittedAndSeenFromAnotherConnection) {
    set.setCommandText("select * from T where ID = 99");
    set.open();
    EXPECT_TRUE(set.isEmpty());
    set.insert();
    set.setValue("ID", Value::integer(4));
    set.setValue("NOMBRE", Value::text("cuatro"));
    set.post();
    EXPECT_EQ(set.changeCount(), 1);
    EXPECT_EQ(set.applyUpdates(0), 0);
    EXPECT_EQ(set.changeCount(), 0);
    EXPECT_FALSE(conn->inTransaction());
    EXPECT_EQ(count("ID = 4 and NOMBRE = 'cuatro' and NOTA is null"), 1);
}

// An insert is not counted: through a view whose trigger adds no row, one or two, it is
// applied all the same, as the server reports one row for it each time.
TEST_F(CachedSetTest, InsertsThroughAViewApplyWhateverItsTriggerDoes) {
    db.exec("create view V (ID, NOMBRE) as select distinct ID, NOMBRE from T");
    db.exec(
        "create trigger V_ADD for V before insert as declare i integer = 0; begin "
        "while (i < new.ID - 10) do begin "
        "insert into T (ID, NOMBRE) values (new.ID, new.NOMBRE); i = i + 1; end end");
    struct Case {
        const char* source;
        int id;
        int64_t rowsAfter;
    } cases[] = {
        {"select * from T where ID = 0", 4, 4},
        {"select * from V where ID = 0", 5, 4},   // the trigger adds nothing
        {"select * from V where ID = 0", 11, 5},  // one row
        {"select * from V where ID = 0", 12, 7},  // two rows
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " " + std::to_string(c.id));
        set.close();
        set.setCommandText(c.source);
        set.open();
        set.insert();
        set.setValue("ID", Value::integer(c.id));
        set.setValue("NOMBRE", Value::text("nuevo"));
        set.post();
        EXPECT_EQ(set.applyUpdates(0), 0);
        EXPECT_EQ(count(), c.rowsAfter);
    }
}

TEST_F(CachedSetTest, DeleteMatchingZeroOneOrTwoRows) {
    struct Case {
        const char* what;
        std::function<void(TestDatabase&)> prepare;
        int errors;
        const char* text;
        int64_t rowsLeft;
    } cases[] = {
        {"one row matches", [](TestDatabase&) {}, 0, "", 2},
        {"another user removed it", [](TestDatabase& d) { d.exec("delete from T where ID = 2"); },
         1, "Record not found or changed by another user", 2},
        {"two identical rows: rolled back",
         [](TestDatabase& d) { d.exec("insert into T values (2, 'dos', null, null)"); }, 1,
         "Update affected more than 1 record.", 4},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        db.exec("delete from T where ID = 2");
        db.exec("insert into T values (2, 'dos', null, null)");
        set.close();
        set.setCommandText("select * from T where ID = 2");
        set.open();
        c.prepare(db);
        std::vector<std::string> hooked;
        provider.onUpdateError = [&](Provider* sender, const Change* change, const DataError& e,
                                     TUpdateKind kind, TResolverResponse& response) {
            EXPECT_EQ(sender, &provider);
            EXPECT_EQ(kind, ukDelete);
            EXPECT_EQ(response, rrAbort);  // no error tolerated
            EXPECT_NE(change, nullptr);
            hooked.push_back(e.what());
        };
        set.remove();
        EXPECT_EQ(set.applyUpdates(0), c.errors);
        EXPECT_EQ(set.changeCount(), c.errors);  // a failed change stays in the log
        if (c.errors) {
            ASSERT_EQ(hooked.size(), 1u);
            EXPECT_EQ(hooked[0], c.text);
            EXPECT_EQ(set.changeLog()[0].error, c.text);
        }
        EXPECT_EQ(count(), c.rowsLeft);
        EXPECT_FALSE(conn->inTransaction());
    }
}

// The first failure rolls the whole application back: the change applied before it, the
// failed one and the one never attempted after it all stay in the log, and a second try
// once the failure is mended writes all three.
TEST_F(CachedSetTest, FirstFailureRollsBackEverythingAndKeepsEveryChange) {
    set.setCommandText("select * from T order by ID");
    set.open();
    set.insert();
    set.setValue("ID", Value::integer(10));
    set.post();
    set.insert();  // too long for CHAR(10): the server refuses it
    set.setValue("ID", Value::integer(11));
    set.setValue("NOMBRE", Value::text("far too long for ten"));
    set.post();
    set.last();
    set.remove();  // ID 3, after the failure: never attempted
    EXPECT_EQ(set.applyUpdates(0), 1);
    EXPECT_EQ(count("ID = 10"), 0);  // rolled back with the failure
    EXPECT_EQ(count("ID = 3"), 1);
    ASSERT_EQ(set.changeCount(), 3);
    EXPECT_EQ(set.changeLog()[0].error, "");
    EXPECT_EQ(set.changeLog()[1].newValues[1], Value::text("far too long for ten"));
    EXPECT_NE(set.changeLog()[1].error.find("SQL Server Error: "), std::string::npos);
    EXPECT_EQ(set.changeLog()[2].kind, ukDelete);
    EXPECT_EQ(set.changeLog()[2].error, "");

    set.first();  // the refused row, mended in place
    while (!set.eof() && set.asInteger(0) != 11) set.next();
    ASSERT_EQ(set.asInteger(0), 11);
    set.edit();
    set.setValue("NOMBRE", Value::text("once"));
    set.post();
    EXPECT_EQ(set.applyUpdates(0), 0);
    EXPECT_EQ(set.changeCount(), 0);
    EXPECT_EQ(count("ID in (10, 11)"), 2);
    EXPECT_EQ(count("ID = 3"), 0);
    EXPECT_EQ(count("NOMBRE = 'once'"), 1);
}

TEST_F(CachedSetTest, EditSendsOnlyAssignedColumnsAndCancelUpdatesRestores) {
    set.setCommandText("select * from T order by ID");
    set.open();
    set.edit();
    set.setValue("NOTA", Value::text("b"));
    set.post();
    set.next();
    set.remove();
    EXPECT_EQ(set.recordCount(), 2);
    set.cancelUpdates();
    EXPECT_EQ(set.recordCount(), 3);
    set.first();
    EXPECT_EQ(set.asText("NOTA"), "a");

    set.edit();
    set.setValue("NOTA", Value::text("b"));
    set.post();
    EXPECT_EQ(set.applyUpdates(0), 0);
    EXPECT_EQ(count("ID = 1 and NOTA = 'b' and NOTAS = 'blob uno'"), 1);
}

// A delete the database refuses (a trigger) holds every other change back; undoing that one
// change brings the row back and lets the rest be written. Each kind of change is undone on
// its own, the others left as they are.
TEST_F(CachedSetTest, OneChangeIsUndoneAndTheOthersAreWritten) {
    db.exec("create exception NO_BORRAR 'no se borra'");
    db.exec(
        "create trigger T_NO_BORRAR for T before delete as begin "
        "if (old.ID = 2) then exception NO_BORRAR; end");
    set.setCommandText("select * from T order by ID");
    set.open();
    set.edit();  // ID 1
    set.setValue("NOTA", Value::text("b"));
    set.post();
    set.next();
    set.remove();  // ID 2, refused by the trigger
    set.insert();
    set.setValue("ID", Value::integer(10));
    set.post();
    EXPECT_EQ(set.applyUpdates(0), 1);
    ASSERT_EQ(set.changeCount(), 3);
    EXPECT_EQ(count("NOTA = 'b' or ID = 10"), 0);

    const auto ids = [&] {
        std::vector<int64_t> out;
        for (int r = 0; r < set.recordCount(); ++r) out.push_back(set.valueAt(r, 0).asInteger());
        return out;
    };
    EXPECT_EQ(ids(), (std::vector<int64_t>{1, 10, 3}));
    EXPECT_EQ(set.currentChange(), 2);  // on the inserted row
    set.first();
    EXPECT_EQ(set.currentChange(), 0);
    set.last();
    EXPECT_EQ(set.currentChange(), -1);  // ID 3, unchanged

    set.revertChange(1);  // the delete: the row is back where it was read, the cursor on it
    EXPECT_EQ(ids(), (std::vector<int64_t>{1, 2, 10, 3}));
    EXPECT_EQ(set.asText("NOMBRE"), "dos");
    EXPECT_EQ(set.recNo(), 1);
    EXPECT_EQ(set.applyUpdates(0), 0);
    EXPECT_EQ(set.changeCount(), 0);
    EXPECT_EQ(count("NOTA = 'b' or ID = 10"), 2);
    EXPECT_EQ(count("ID = 2"), 1);

    // An edit in progress is abandoned; a modify takes its old values again; an insert goes.
    set.first();
    set.edit();
    set.setValue("NOTA", Value::text("c"));
    set.post();
    set.edit();
    set.setValue("NOTA", Value::text("d"));
    set.revertChange(set.currentChange());
    EXPECT_EQ(set.state(), DataSetState::Browse);
    EXPECT_EQ(set.asText("NOTA"), "b");
    set.append();
    set.setValue("ID", Value::integer(11));
    set.post();
    set.revertChange(set.currentChange());
    EXPECT_EQ(ids(), (std::vector<int64_t>{1, 2, 10, 3}));
    EXPECT_EQ(set.changeCount(), 0);
    EXPECT_EQ(errorOf([&] { set.revertChange(0); }), "Change index out of range");
}

TEST_F(CachedSetTest, RulesOfTheCache) {
    set.setCommandText("select * from T where ID = 99");
    set.open();
    EXPECT_EQ(errorOf([&] { set.remove(); }), "Cannot perform this operation on an empty dataset");
    EXPECT_EQ(errorOf([&] { set.setValue("ID", Value::integer(1)); }),
              "Dataset not in edit or insert mode");
    EXPECT_TRUE(set.value("ID").isNull());

    set.insert();
    set.setValue("NOMBRE", Value::text("sin id"));
    EXPECT_EQ(errorOf([&] { set.post(); }), "Field 'ID' must have a value");
    EXPECT_EQ(set.state(), DataSetState::Insert);
    set.setValue("ID", Value::integer(5));
    set.post();
    EXPECT_EQ(errorOf([&] { set.refresh(); }), "Must apply updates before refreshing data");
    EXPECT_EQ(set.applyUpdates(0), 0);
    set.refresh();

    // An empty change log sends nothing and starts no transaction.
    EXPECT_EQ(set.applyUpdates(0), 0);
    EXPECT_FALSE(conn->inTransaction());

    Provider strict("PSubemp", query, false);
    CachedResultSet s2("CSubemp", strict);
    s2.setCommandText("select * from T");
    EXPECT_EQ(errorOf([&] { s2.open(); }), "CommandText changes are not allowed");
    EXPECT_EQ(errorOf([&] { s2.execute(); }), "CommandText changes are not allowed");
    s2.setCommandText("");
    s2.open();  // the source's SQL, as the last command text left it
    EXPECT_EQ(query.sql(), "select * from T where ID = 99");
    EXPECT_TRUE(s2.active());
    EXPECT_EQ(s2.recordCount(), 0);
}

TEST_F(CachedSetTest, ErrorHooksDecideWhatAFailedPostDoes) {
    set.setCommandText("select * from T where ID = 99");
    set.open();
    int calls = 0;
    set.onPostError = [&](CachedResultSet& ds, const DataError& e, TDataAction& action) {
        EXPECT_EQ(&ds, &set);
        EXPECT_STREQ(e.what(), "Field 'ID' must have a value");
        ++calls;
        if (calls == 1) {
            ds.setValue("ID", Value::integer(7));  // mend it and try again
            action = daRetry;
        } else {
            action = daAbort;
        }
    };
    set.insert();
    set.post();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(set.asInteger(0), 7);

    set.insert();
    EXPECT_THROW(set.post(), SilentAbort);
    EXPECT_EQ(calls, 2);
}

TEST_F(CachedSetTest, AnErrorRaisedInTheUpdateHookEndsTheApplication) {
    set.setCommandText("select * from T where ID = 1");
    set.open();
    db.exec("delete from T where ID = 1");
    set.remove();
    provider.onUpdateError = [](Provider*, const Change*, const DataError&, TUpdateKind,
                                TResolverResponse&) { throw DataError("hook failed"); };
    EXPECT_EQ(errorOf([&] { set.applyUpdates(0); }), "hook failed");
    EXPECT_FALSE(conn->inTransaction());
}

// A hook that ends the caller's transaction leaves the rest of the changes nowhere to run:
// the application stops with a UsageError (the caller's fault, never shown to the hook as
// a refused change) instead of committing them one by one.
TEST_F(CachedSetTest, ATransactionEndedUnderTheApplicationStopsItAsTheCallersFault) {
    set.setCommandText("select * from T order by ID");
    set.open();
    Transaction tx(*conn);
    db.exec("delete from T where ID = 1");
    set.remove();  // refused: the row is gone
    set.edit();
    set.setValue("NOMBRE", Value::text("otro"));
    set.post();
    std::vector<std::string> seen;
    provider.onUpdateError = [&](Provider*, const Change*, const DataError& error, TUpdateKind,
                                 TResolverResponse& response) {
        seen.push_back(error.what());
        tx.rollback();
        response = rrSkip;
    };
    EXPECT_THROW(set.applyUpdates(1), UsageError);
    EXPECT_EQ(seen, std::vector<std::string>{"Record not found or changed by another user"});
    EXPECT_EQ(count("NOMBRE = 'otro'"), 0) << "the second change did not run on its own";
    EXPECT_EQ(set.changeCount(), 2);
}

// Without a hook a refusal is kept as it was raised, for the caller to take as its own
// error: the server's refusal stays a DatabaseError; the next application forgets it.
TEST_F(CachedSetTest, TheFirstRefusalOfAnApplicationIsKeptAsRaised) {
    db.exec("alter table T add constraint NOMBRE_NO_X check (NOMBRE <> 'x')");
    set.setCommandText("select * from T order by ID");
    set.open();
    set.edit();
    set.setValue("NOMBRE", Value::text("x"));
    set.post();
    ASSERT_EQ(set.applyUpdates(0), 1);
    ASSERT_TRUE(set.lastApplyError());
    try {
        std::rethrow_exception(set.lastApplyError());
    } catch (const DatabaseError& error) {
        EXPECT_NE(std::string(error.what()).find("NOMBRE_NO_X"), std::string::npos) << error.what();
        EXPECT_FALSE(error.connectionLost());
    }
    set.cancelUpdates();
    set.edit();
    set.setValue("NOMBRE", Value::text("y"));
    set.post();
    EXPECT_EQ(set.applyUpdates(0), 0);
    EXPECT_FALSE(set.lastApplyError());
}

TEST_F(CachedSetTest, WorksInsideATransactionItDidNotStart) {
    set.setCommandText("select * from T where ID = 3");
    set.open();
    Transaction tx(*conn);
    conn->execute("delete from T where ID = 1");
    set.remove();
    EXPECT_EQ(set.applyUpdates(0), 0);
    EXPECT_TRUE(conn->inTransaction());  // not ended by the application
    EXPECT_EQ(count(), 3);
    tx.rollback();
    EXPECT_EQ(count(), 3);
}

// Named indexes, calculated fields and the row filter over rows loaded in memory.
TEST(CachedSetIndexes, OrderFilterAndTheirFailures) {
    auto conn = Connection::company("DbCia");
    Query q(*conn, "select * from T");
    Provider p("PT", q, true);
    CachedResultSet set("CT", p);
    auto f = [](const char* name, FieldType type) { return field(name, type, 10); };
    auto load = [&] {
        set.loadRows(
            {f("NAME", FieldType::String), f("N", FieldType::Integer), f("D", FieldType::Date)},
            {{Value::text("b"), Value::integer(2), Value::date(Date::fromYmd(2024, 1, 2))},
             {Value::text("A"), Value::null(), Value::null()},
             {Value::text("a"), Value::integer(1), Value::date(Date::fromYmd(2024, 1, 1))},
             {Value::text("B"), Value::integer(2), Value::date(Date::fromYmd(2024, 1, 3))}});
    };
    auto names = [&] {
        std::string out;
        for (int r = 0; r < set.recordCount(); ++r) out += set.valueAt(r, 0).toText();
        return out;
    };
    load();
    set.addIndex("BYNAME", "NAME");
    set.addIndex("BYNAMECI", "name", ixCaseInsensitive);
    set.addIndex("BYN", "N;NAME", 0, "N");
    set.addIndex("BYD", "D", ixDescending);
    const std::pair<const char*, const char*> orders[] = {
        {"BYNAME", "ABab"},    // case-sensitive bytes
        {"BYNAMECI", "AabB"},  // equal keys keep the natural order
        {"BYN", "BbaA"},       // N descending (NULL last), then NAME ascending
        {"BYD", "BbaA"},      {"", "bAaB"},
    };
    for (const auto& [index, order] : orders) {
        set.setIndexName(index);
        EXPECT_EQ(names(), order) << index;
    }
    // The current index and a row filter hold for every later read.
    set.setIndexName("BYNAME");
    set.setRowFilter([](const CachedResultSet& s) -> RowTest {
        const KeyFunction n = s.keyFunction("N");
        return [n](const RowValues& row) { return !n(row).isNull(); };
    });
    load();
    EXPECT_EQ(names(), "Bab");
    set.setRowFilter({});
    set.defineCalculatedField("UPPER", [](const CachedResultSet& s) -> KeyFunction {
        const KeyFunction name = s.keyFunction("NAME");
        return [name](const RowValues& row) {
            return Value::text(name(row).asString() == "a" ? "z" : "m");
        };
    });
    load();
    set.addIndex("BYCALC", "UPPER;NAME");
    set.setIndexName("BYCALC");
    EXPECT_EQ(names(), "ABba");
    // Deleting the current index returns to the natural order; failures name what is missing.
    set.deleteIndex("BYCALC");
    EXPECT_EQ(set.indexName(), "");
    EXPECT_EQ(names(), "bAaB");
    EXPECT_EQ(errorOf([&] { set.addIndex("X", "NAME;NOPE"); }), "Field 'NOPE' not found");
    EXPECT_FALSE(set.hasIndex("X"));
    EXPECT_EQ(errorOf([&] { set.setIndexName("X"); }), "Index 'X' not found");
    EXPECT_EQ(errorOf([&] { set.deleteIndex("X"); }), "Index 'X' not found");
}

// What an editing grid shows: the row being inserted at its place (before the current row,
// or after the last one for an append), the row being edited with its new values; leaving
// a new row never changed drops it and the rows after it move back up.
TEST_F(CachedSetTest, RowsAsShownWhileInsertingAndEditing) {
    set.setCommandText("select * from T order by ID");
    set.open();
    auto shownIds = [&] {
        std::vector<Value> ids;
        for (int r = 0; r < set.rowsShown(); ++r) ids.push_back(set.valueShown(r, 0));
        return ids;
    };
    const Value n1 = Value::integer(1), n2 = Value::integer(2), n3 = Value::integer(3);

    set.moveTo(1);
    set.insert();
    EXPECT_EQ(set.recNo(), 1);
    set.setValue("ID", Value::integer(7));
    EXPECT_EQ(shownIds(), (std::vector<Value>{n1, Value::integer(7), n2, n3}));
    EXPECT_EQ(set.recordCount(), 3);
    set.moveTo(3);  // leaving the changed row posts it where it stood
    EXPECT_EQ(set.state(), DataSetState::Browse);
    EXPECT_EQ(set.asInteger(0), 3);
    EXPECT_EQ(shownIds(), (std::vector<Value>{n1, Value::integer(7), n2, n3}));

    set.append();
    EXPECT_EQ(set.recNo(), 4);
    EXPECT_FALSE(set.modified());
    EXPECT_EQ(set.rowsShown(), 5);
    EXPECT_TRUE(set.valueShown(4, 0).isNull());
    set.moveTo(0);  // never changed: dropped
    EXPECT_EQ(set.rowsShown(), 4);
    EXPECT_EQ(set.asInteger(0), 1);

    set.insert();  // before row 0, left for the row shown at 2 (stored at 1)
    set.moveTo(2);
    EXPECT_EQ(set.asInteger(0), 7);

    set.edit();
    set.setValue("ID", Value::integer(8));
    EXPECT_EQ(set.valueShown(1, 0), Value::integer(8));
    EXPECT_EQ(set.valueAt(1, 0), Value::integer(7));
    set.append();  // posts the edit first
    set.setValue("ID", Value::integer(9));
    set.post();
    EXPECT_EQ(shownIds(), (std::vector<Value>{n1, Value::integer(8), n2, n3, Value::integer(9)}));
    EXPECT_EQ(set.recNo(), 4);
    EXPECT_EQ(set.applyUpdates(0), 0);
    EXPECT_EQ(count("ID in (7, 8, 9)"), 2);
}

// Numbers put into numeric columns: each fits its column or fails naming the column and
// the value; nothing wraps.
TEST_F(CachedSetTest, NumbersThatDoNotFitTheirColumnAreRefused) {
    db.exec("create table N (S smallint, I integer, B bigint, D numeric(18,4), P numeric(4,2))");
    struct Case {
        const char* column;
        Value value;
        std::string stored;  // the value's text once stored, or the error
    };
    const std::vector<Case> cases = {
        {"S", Value::integer(32767), "32767"},
        {"S", Value::integer(40000), "Value '40000' does not fit column 'S'"},
        {"I", Value::integer(3000000000LL), "Value '3000000000' does not fit column 'I'"},
        {"I", Value::real(2.5), "3"},
        {"I", Value::real(-3e9), "Value '-3000000000' does not fit column 'I'"},
        {"I", Value::decimal(1999, 3), "2"},
        {"B", Value::real(1e19), "Value '1e+19' does not fit column 'B'"},
        {"B", Value::text("9223372036854775807"), "9223372036854775807"},
        {"B", Value::text("9223372036854775808"),
         "Value '9223372036854775808' does not fit column 'B'"},
        {"B", Value::text("A"), "'A' is not a valid integer value"},
        {"D", Value::decimal(184467440737095516LL, 2),
         "Value '1844674407370955.16' does not fit column 'D'"},
        {"D", Value::integer(922337203685478LL), "Value '922337203685478' does not fit column 'D'"},
        {"D", Value::integer(922337203685477LL), "922337203685477.0000"},
        {"D", Value::real(1e15), "Value '1e+15' does not fit column 'D'"},
        {"D", Value::real(0.12345), "0.1235"},
        {"D", Value::text("-12.34567"), "-12.3457"},
        {"D", Value::text("1e5"), "'1e5' is not a valid BCD value"},
        {"P", Value::decimal(32767, 2), "327.67"},
        {"P", Value::decimal(400, 0), "Value '400' does not fit column 'P'"},
    };
    Query numbers{*conn, "select * from N"};
    Provider provider{"PN", numbers, true};
    CachedResultSet n{"CN", provider};
    n.open();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.column) + " <- " + c.value.toText());
        n.insert();
        const std::string got = errorOf([&] {
            n.setValue(c.column, c.value);
            throw DataError(n.value(c.column).toText());
        });
        EXPECT_EQ(got, c.stored);
        n.cancel();
    }
    // Reads of a field as currency and as an integer are checked the same way.
    n.insert();
    n.setValue("B", Value::integer(INT64_MAX));
    EXPECT_EQ(errorOf([&] { n.asCurrency(n.fieldByName("B")); }),
              "Value '9223372036854775807' does not fit column 'B'");
}

// Texts keep their trailing blanks only in a set that carries them on to a table.
TEST_F(CachedSetTest, TrailingBlanksAreKeptOnlyWhenAsked) {
    db.exec("insert into T values (4, 'cuatro', 'x  ', null)");
    for (const bool keep : {false, true}) {
        SCOPED_TRACE(keep ? "kept" : "trimmed");
        set.close();
        set.setKeepTrailingBlanks(keep);
        set.setCommandText("select * from T where ID = 4");
        set.open();
        EXPECT_EQ(set.asText("NOTA"), keep ? "x  " : "x");
        EXPECT_EQ(set.asText("NOMBRE"), keep ? "cuatro    " : "cuatro");
        set.insert();
        set.setValue("ID", Value::integer(keep ? 6 : 5));
        set.setValue("NOTA", Value::text("y "));
        EXPECT_EQ(set.asText("NOTA"), keep ? "y " : "y");
        EXPECT_EQ(set.applyUpdates(0), 0);
        EXPECT_EQ(count(std::string("NOTA = ") + (keep ? "'y ' and char_length(NOTA) = 2"
                                                       : "'y' and char_length(NOTA) = 1")),
                  1);
    }
}

// On a connection that commits each statement as it succeeds, a log of one insert is
// applied without a transaction of its own: committed whole or, refused, not at all. A
// longer log is still applied in one transaction, all or nothing.
TEST_F(CachedSetTest, InsertsOnAnAutocommitConnectionAreAllOrNothing) {
    db.exec("alter table T add constraint ID_POSITIVE check (ID > 0)");
    AutocommitScope scope(*conn);
    struct Case {
        std::vector<int> ids;
        int errors;
        int64_t added;
    };
    const std::vector<Case> cases = {
        {{10}, 0, 1}, {{-1}, 1, 0}, {{11, -2}, 1, 0}, {{12, 13}, 0, 2}};
    set.setCommandText("select * from T");
    set.open();
    for (const Case& k : cases) {
        SCOPED_TRACE(k.ids.front());
        const int64_t before = count();
        for (int id : k.ids) {
            set.insert();
            set.setValue(0, Value::integer(id));
            set.post();
        }
        EXPECT_EQ(set.applyUpdates(0), k.errors);
        EXPECT_FALSE(conn->inTransaction());
        EXPECT_EQ(count() - before, k.added);
        set.cancelUpdates();
    }
}
