// Generated update statements, compared as whole texts.
#include <gtest/gtest.h>

#include "data/dataset.h"
#include "support/memoryrows.h"

using namespace enviozvr::data;
using enviozvr::testing::field;

namespace {

const std::vector<Field> kFields = {
    field("ID", FieldType::Integer, 4), field("NOMBRE", FieldType::String, 20),
    field("NOTAS", FieldType::Blob), field("LARGO", FieldType::String, 9000)};

Row row(Value id, Value nombre, Value notas, Value largo) { return {id, nombre, notas, largo}; }

Change change(TUpdateKind kind, Row oldValues, Row newValues, std::vector<bool> assigned) {
    Change c;
    c.kind = kind;
    c.oldValues = std::move(oldValues);
    c.newValues = std::move(newValues);
    c.assigned = std::move(assigned);
    return c;
}

}  // namespace

TEST(GeneratedStatements, TextsAndParameters) {
    struct Case {
        const char* what;
        Change change;
        std::string text;
        std::vector<Value> params;
    };
    Change insert = change(ukInsert, {},
                           row(Value::integer(1), Value::text(""), Value::null(), Value::text("x")),
                           {true, true, true, true});
    Change del = change(
        ukDelete, row(Value::integer(1), Value::null(), Value::text("blob"), Value::text("long")),
        {}, {});
    Change delEmpty = change(
        ukDelete, row(Value::integer(2), Value::text(""), Value::null(), Value::null()), {}, {});
    Change modify =
        change(ukModify, row(Value::integer(1), Value::text("a"), Value::null(), Value::null()),
               row(Value::integer(1), Value::text("b"), Value::text("n"), Value::null()),
               {false, true, true, false});
    Change modifyOne =
        change(ukModify, row(Value::integer(1), Value::null(), Value::null(), Value::null()),
               row(Value::integer(1), Value::text("b"), Value::null(), Value::null()),
               {false, true, false, false});
    Change nothing =
        change(ukModify, row(Value::integer(1), Value::null(), Value::null(), Value::null()),
               row(Value::integer(1), Value::null(), Value::null(), Value::null()),
               {false, false, false, false});
    std::vector<Case> cases = {
        {"insert, every column, NULL bound as NULL", insert,
         "insert into \"T\"\r\n  (\"ID\", \"NOMBRE\", \"NOTAS\", \"LARGO\")\r\nvalues\r\n  (?, ?, "
         "?, ?)\r\n",
         insert.newValues},
        {"delete: NULL old value, blob and long string left out",
         del,
         "delete from \"T\" \r\nwhere\r\n \"ID\" = ? and\r\n \"NOMBRE\" is null\r\n",
         {Value::integer(1)}},
        {"delete: an empty string is an ordinary value",
         delEmpty,
         "delete from \"T\" \r\nwhere\r\n \"ID\" = ? and\r\n \"NOMBRE\" = ?\r\n",
         {Value::integer(2), Value::text("")}},
        {"update: assigned columns only, blob set but not compared",
         modify,
         "update \"T\"  set\r\n \"NOMBRE\" = ?,\r\n \"NOTAS\" = ?\r\nwhere\r\n \"ID\" = ? and\r\n "
         "\"NOMBRE\" = ?\r\n",
         {Value::text("b"), Value::text("n"), Value::integer(1), Value::text("a")}},
        {"update of one column",
         modifyOne,
         "update \"T\"  set\r\n \"NOMBRE\" = ?\r\nwhere\r\n \"ID\" = ? and\r\n \"NOMBRE\" is "
         "null\r\n",
         {Value::text("b"), Value::integer(1)}},
        {"modify with nothing assigned sends nothing", nothing, "", {}},
    };
    for (const auto& c : cases) {
        GeneratedStatement s = generateStatement(c.change, kFields, "\"T\"");
        EXPECT_EQ(s.text, c.text) << c.what;
        EXPECT_EQ(s.params, c.params) << c.what;
    }
}

TEST(GeneratedStatements, ReadOnlyColumnsAreComparedButNotWritten) {
    std::vector<Field> fields = {field("ID", FieldType::Integer, 4),
                                 field("CALC", FieldType::Integer, 4)};
    fields[1].readOnly = true;
    Change insert = change(ukInsert, {}, {Value::integer(1), Value::integer(2)}, {true, true});
    EXPECT_EQ(generateStatement(insert, fields, "\"T\"").text,
              "insert into \"T\"\r\n  (\"ID\")\r\nvalues\r\n  (?)\r\n");
    Change del = change(ukDelete, {Value::integer(1), Value::integer(2)}, {}, {});
    EXPECT_EQ(generateStatement(del, fields, "\"T\"").text,
              "delete from \"T\" \r\nwhere\r\n \"ID\" = ? and\r\n \"CALC\" = ?\r\n");
}

TEST(GeneratedStatements, NoComparableColumnIsRefused) {
    std::vector<Field> fields = {field("NOTAS", FieldType::Blob)};
    Change del = change(ukDelete, {Value::text("x")}, {}, {});
    try {
        generateStatement(del, fields, "\"T\"");
        FAIL();
    } catch (const DataError& e) {
        EXPECT_STREQ(e.what(), "Unable to find record.  No key specified");
    }
}

TEST(TargetTable, FirstNameAfterFromAndItsQuoting) {
    struct Case {
        std::string sql, table, quoted;
    } cases[] = {
        {"SELECT * FROM FACTURAS_ZVR where PREF_PRE = 'A'", "FACTURAS_ZVR", "\"FACTURAS_ZVR\""},
        {"select * from replica_eventos r where x = 1", "replica_eventos", "\"replica_eventos\""},
        {"select * from\n  owner.tabla", "owner.tabla", "\"owner\".\"tabla\""},
        {"select * from \"Mixed\" where a = 'from x'", "\"Mixed\"", "\"Mixed\""},
        {"select 'from' from rdb$database", "rdb$database", "\"rdb$database\""},
        {"select fromage from t1", "t1", "\"t1\""},
        {"select 1", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(targetTableName(c.sql), c.table) << c.sql;
        EXPECT_EQ(quotedTableName(c.table), c.quoted) << c.sql;
    }
}
