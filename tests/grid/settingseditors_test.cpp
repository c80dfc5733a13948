// The settings editors' data side over a real company database: the lists and their
// fields, the "Activa" check box rule, "Tipo documento", and "Grabar" / "Cancelar" with
// refused changes kept in the cache.
#include "grid/settingseditors.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "data/connection.h"
#include "data/errors.h"
#include "support/testdb.h"

using namespace enviozvr::grid;
using enviozvr::data::CachedResultSet;
using enviozvr::data::Connection;
using enviozvr::data::DataSetState;
using enviozvr::data::Query;
using enviozvr::data::Value;
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

Value txt(const char* s) { return Value::text(s); }

TEST(ActivaCheckBox, StatesAndClickRule) {
    struct Case {
        const char* name;
        Value value;
        FlagCheckState state;
        const char* afterClick;
    };
    const Case cases[] = {
        {"S", txt("S"), FlagCheckState::Checked, "N"},
        {"lower s", txt("s"), FlagCheckState::Checked, "N"},
        {"N", txt("N"), FlagCheckState::Unchecked, "S"},
        {"lower n", txt("n"), FlagCheckState::Unchecked, "S"},
        {"empty", txt(""), FlagCheckState::Grayed, "S"},
        {"NULL", Value::null(), FlagCheckState::Grayed, "S"},
        {"other letter", txt("X"), FlagCheckState::Grayed, "S"},
        {"longer text", txt("SI"), FlagCheckState::Grayed, "S"},
        {"a number", Value::integer(1), FlagCheckState::Grayed, "S"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(flagCheckState(c.value), c.state);
        EXPECT_EQ(flagAfterClick(c.value), c.afterClick);
    }
}

// A company database with a few destinations and settings rows, the main window's
// queries over it, and a second connection that sees only what was committed.
class SettingsEditorsTest : public ::testing::Test {
  protected:
    SettingsEditorsTest() : db(dir.file("nivora.fdb")), DbCia(open()), other(open()) {
        db.createCompanySchema();
        db.exec({
            "INSERT INTO REPLICA_COMPANIA VALUES ('002', 'Norte', 'srv2:/datos', 'N', 1, 'S')",
            "INSERT INTO REPLICA_COMPANIA VALUES ('003', 'Sur', 'srv3:/datos', 'N', 1, 's')",
            "INSERT INTO REPLICA_COMPANIA VALUES ('004', 'Este', 'srv4:/datos', NULL, NULL, 'N')",
            "INSERT INTO TIPO_DOCUMENTO (TIDO_COD, TIDO_NOMCORTO, TIDO_NOMLARGO) "
            "VALUES (236, 'FACT', 'Factura de venta')",
            "INSERT INTO TIPO_DOCUMENTO (TIDO_COD, TIDO_NOMCORTO, TIDO_NOMLARGO) "
            "VALUES (240, 'NCRED', 'Nota credito')",
            "INSERT INTO REPLICACION_CONFIGURA VALUES (236, 'FV', 'S', '002')",
            "INSERT INTO REPLICACION_CONFIGURA VALUES (999, 'ZZ', 'N', '003')",
        });
    }

    std::unique_ptr<Connection> open() const {
        auto c = Connection::company("DbCia");
        c->setDatabase(db.location());
        c->setParam("User_Name", "SYSDBA");
        c->setParam("password", "");
        c->setParam("RoleName", "");
        return c;
    }

    std::vector<std::vector<Value>> read(const std::string& sql) {
        auto cur = other->open(sql);
        std::vector<std::vector<Value>> rows;
        while (cur->fetch()) {
            std::vector<Value> row;
            for (int c = 0; c < static_cast<int>(cur->fields().size()); ++c)
                row.push_back(cur->value(c));
            rows.push_back(std::move(row));
        }
        cur->close();
        return rows;
    }
    std::vector<std::vector<Value>> companies() {
        return read(
            "SELECT RPCO_COD, RPCO_SERVIDOR, RPCO_ACTIVA FROM REPLICA_COMPANIA "
            "ORDER BY RPCO_COD");
    }

    // Moves the list to the row whose `field` shows `text`.
    static void go(CachedResultSet& list, const char* field, const std::string& text) {
        list.first();
        while (!list.eof() && list.asText(field) != text) list.next();
        ASSERT_EQ(list.asText(field), text);
    }

    TempDir dir;
    TestDatabase db;
    std::unique_ptr<Connection> DbCia, other;
    Query QRepcomp{*DbCia, "SELECT * FROM REPLICA_COMPANIA"};
    Query QRepdocs{*DbCia, "SELECT * FROM REPLICACION_CONFIGURA"};
    Query TTipodoc{Query::table(*DbCia, "TIPO_DOCUMENTO")};
    FixedGridEnvironment env;
};

TEST_F(SettingsEditorsTest, CompaniesGridShowsTheListWithItsTitlesAndWidths) {
    RepcompaniaLists lists(QRepcomp);
    lists.open();
    DataGrid grid("Grid1", &env);
    setUpRepcompGrid(grid, &lists.CRepcomp);
    EXPECT_EQ(grid.Options, settingsGridOptions());
    EXPECT_TRUE(grid.hasOption(dgEditing));
    struct Column {
        const char* field;
        const char* title;
        int width;
    };
    const Column expected[] = {{"RPCO_COD",
                                "C\xF3"
                                "digo",
                                38},
                               {"RPCP_NOMBRE",
                                "Compa\xF1\xED"
                                "a",
                                223},
                               {"RPCO_SERVIDOR", "Servidor", 262},
                               {"RPCO_ACTIVA", "Activa", 35}};
    ASSERT_EQ(grid.columnCount(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(grid.column(i).FieldName(), expected[i].field);
        EXPECT_EQ(grid.column(i).Title.Caption, expected[i].title);
        EXPECT_EQ(grid.column(i).Width, expected[i].width);
        EXPECT_TRUE(grid.column(i).Field().exists());
    }
    EXPECT_EQ(lists.CRepcomp.recordCount(), 3);
    go(lists.CRepcomp, "RPCO_COD", "003");
    EXPECT_EQ(grid.cellText(grid.column(2)), "srv3:/datos");
    EXPECT_EQ(flagCheckState(lists.CRepcomp.value("RPCO_ACTIVA")), FlagCheckState::Checked);
}

// Add, change (server and active flag) and delete, then "Grabar": a second connection
// reads exactly that; a lower-case s clicked twice stores 'S'.
TEST_F(SettingsEditorsTest, GrabarWritesAddsChangesAndDeletes) {
    RepcompaniaLists lists(QRepcomp);
    lists.open();
    CachedResultSet& list = lists.CRepcomp;

    go(list, "RPCO_COD", "002");
    list.edit();
    list.setValue("RPCO_SERVIDOR", txt("nuevo:/srv"));
    clickFlag(list, "RPCO_ACTIVA");  // S -> N
    list.post();
    go(list, "RPCO_COD", "003");
    clickFlag(list, "RPCO_ACTIVA");  // s -> N
    clickFlag(list, "RPCO_ACTIVA");  // N -> S
    list.post();
    go(list, "RPCO_COD", "004");
    list.remove();
    list.insert();
    list.setValue("RPCO_COD", txt("005"));
    list.setValue("RPCP_NOMBRE", txt("Oeste"));
    clickFlag(list, "RPCO_ACTIVA");                 // NULL -> S
    EXPECT_EQ(list.state(), DataSetState::Insert);  // still being inserted

    EXPECT_TRUE(companies().size() == 3);     // nothing written before "Grabar"
    EXPECT_TRUE(saveSettings(list).empty());  // posts the new row first
    EXPECT_EQ(list.changeCount(), 0);

    const auto rows = companies();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (std::vector<Value>{txt("002"), txt("nuevo:/srv"), txt("N")}));
    EXPECT_EQ(rows[1], (std::vector<Value>{txt("003"), txt("srv3:/datos"), txt("S")}));
    EXPECT_EQ(rows[2], (std::vector<Value>{txt("005"), Value::null(), txt("S")}));
    EXPECT_FALSE(DbCia->inTransaction());
}

TEST_F(SettingsEditorsTest, GrabarWithoutChangesAndCancelarWriteNothing) {
    const auto before = companies();
    {
        RepcompaniaLists lists(QRepcomp);
        lists.open();
        EXPECT_TRUE(saveSettings(lists.CRepcomp).empty());
    }
    {  // "Cancelar": a posted change, a delete and a row still in edit are all dropped
        RepcompaniaLists lists(QRepcomp);
        lists.open();
        CachedResultSet& list = lists.CRepcomp;
        list.edit();
        list.setValue("RPCO_SERVIDOR", txt("otro"));
        list.post();
        list.next();
        list.remove();
        list.edit();
        list.setValue("RPCO_ACTIVA", txt("N"));
        discardSettings(list);
        EXPECT_EQ(list.changeCount(), 0);
        EXPECT_EQ(list.state(), DataSetState::Browse);
        EXPECT_EQ(list.recordCount(), 3);
        lists.close();
    }
    {  // closing by the frame: the list is closed with its changes
        RepcompaniaLists lists(QRepcomp);
        lists.open();
        lists.CRepcomp.edit();
        lists.CRepcomp.setValue("RPCO_SERVIDOR", txt("otro"));
        lists.CRepcomp.post();
        lists.close();
    }
    EXPECT_EQ(companies(), before);
}

TEST_F(SettingsEditorsTest, RequiredFieldLeftEmptyIsRefusedWithItsLabel) {
    {
        RepcompaniaLists lists(QRepcomp);
        lists.open();
        lists.CRepcomp.insert();
        lists.CRepcomp.setValue("RPCP_NOMBRE", txt("Sin c\xF3"
                                                   "digo"));
        EXPECT_EQ(errorOf([&] { saveSettings(lists.CRepcomp); }),
                  "Field 'C\xF3"
                  "digo' must have a value");
        EXPECT_EQ(lists.CRepcomp.state(), DataSetState::Insert);
    }
    struct Case {
        const char* missing;
        const char* label;
    };
    for (const Case c : {Case{"REPC_TIPO", "Tipo"}, Case{"REPC_PREF", "Prefijo"},
                         Case{"REPC_COMPANIA",
                              "Compa\xF1\xED"
                              "a"}}) {
        SCOPED_TRACE(c.missing);
        RepdocsLists lists(QRepdocs, TTipodoc);
        lists.open();
        CachedResultSet& list = lists.CRepConf;
        list.insert();
        if (std::string(c.missing) != "REPC_TIPO") chooseDocumentType(list, 240);
        if (std::string(c.missing) != "REPC_PREF") list.setValue("REPC_PREF", txt("NC"));
        if (std::string(c.missing) != "REPC_COMPANIA") list.setValue("REPC_COMPANIA", txt("002"));
        EXPECT_EQ(errorOf([&] { list.post(); }),
                  std::string("Field '") + c.label + "' must have a value");
        EXPECT_EQ(list.state(), DataSetState::Insert);
    }
    EXPECT_EQ(read("SELECT COUNT(*) FROM REPLICACION_CONFIGURA")[0][0], Value::integer(2));
}

// A row the database refuses is reported with the server's text; nothing is written (the
// change before it is rolled back with it) and every change stays cached, so that the
// user can mend the refused row and save again.
TEST_F(SettingsEditorsTest, RefusedRowIsReportedAndKept) {
    db.exec(
        "ALTER TABLE REPLICA_COMPANIA ADD CONSTRAINT ACTIVA_SN CHECK (RPCO_ACTIVA IN ('S', 'N'))");
    db.exec("CREATE UNIQUE INDEX REPLICA_COMPANIA_COD ON REPLICA_COMPANIA (RPCO_COD)");
    const auto before = companies();

    RepcompaniaLists lists(QRepcomp);
    lists.open();
    CachedResultSet& list = lists.CRepcomp;
    go(list, "RPCO_COD", "002");
    list.edit();
    list.setValue("RPCO_SERVIDOR", txt("nuevo:/srv"));
    list.post();
    list.insert();  // a duplicate code
    list.setValue("RPCO_COD", txt("003"));
    list.setValue("RPCP_NOMBRE", txt("Otra vez"));
    list.post();

    const std::vector<RefusedChange> refused = saveSettings(list);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].kind, enviozvr::data::ukInsert);
    EXPECT_EQ(refused[0].values[0], txt("003"));
    EXPECT_EQ(refused[0].values[1], txt("Otra vez"));
    EXPECT_NE(refused[0].error.find("REPLICA_COMPANIA_COD"), std::string::npos) << refused[0].error;
    EXPECT_EQ(companies(), before);
    EXPECT_EQ(list.changeCount(), 2);
    EXPECT_EQ(list.recordCount(), 4);

    list.edit();  // still on the refused row: a new code mends it
    list.setValue("RPCO_COD", txt("006"));
    list.post();
    go(list, "RPCO_COD", "004");
    list.edit();
    list.setValue("RPCO_ACTIVA", txt("x"));  // the CHECK refuses this one
    list.post();
    const std::vector<RefusedChange> second = saveSettings(list);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].kind, enviozvr::data::ukModify);
    EXPECT_EQ(second[0].values[0], txt("004"));
    EXPECT_NE(second[0].error.find("ACTIVA_SN"), std::string::npos) << second[0].error;
    EXPECT_EQ(companies(), before);

    clickFlag(list, "RPCO_ACTIVA");  // greyed -> S
    list.post();
    EXPECT_TRUE(saveSettings(list).empty());
    const auto rows = companies();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0][1], txt("nuevo:/srv"));
    EXPECT_EQ(rows[2], (std::vector<Value>{txt("004"), txt("srv4:/datos"), txt("S")}));
    EXPECT_EQ(rows[3][0], txt("006"));
}

// A failure while applying (the database gone) is thrown; the changes stay for another try.
TEST_F(SettingsEditorsTest, FailureWhileApplyingKeepsTheChanges) {
    RepcompaniaLists lists(QRepcomp);
    lists.open();
    CachedResultSet& list = lists.CRepcomp;
    list.edit();
    list.setValue("RPCO_SERVIDOR", txt("nuevo:/srv"));
    list.post();
    DbCia->disconnect();
    DbCia->setDatabase(dir.file("missing.fdb"));
    EXPECT_NE(errorOf([&] { saveSettings(list); }), "(no error)");
    EXPECT_EQ(list.changeCount(), 1);

    DbCia->disconnect();
    DbCia->setDatabase(db.location());
    EXPECT_TRUE(saveSettings(list).empty());
    EXPECT_EQ(
        read("SELECT COUNT(*) FROM REPLICA_COMPANIA WHERE RPCO_SERVIDOR = 'nuevo:/srv'")[0][0],
        Value::integer(1));
}

TEST_F(SettingsEditorsTest, RefreshWithCachedChangesIsRefused) {
    RepcompaniaLists lists(QRepcomp);
    lists.open();
    lists.CRepcomp.remove();
    EXPECT_EQ(errorOf([&] { lists.CRepcomp.refresh(); }),
              "Must apply updates before refreshing data");
    EXPECT_EQ(lists.CRepcomp.recordCount(), 2);
}

// "Tipo documento": the short name of the type, empty for an unknown type; choosing a type
// stores its code; the types are those read when the screen opened.
TEST_F(SettingsEditorsTest, DocumentTypeIsLookedUpAndChosenByName) {
    RepdocsLists lists(QRepdocs, TTipodoc);
    lists.open();
    DataGrid grid("Grid1", &env);
    setUpRepdocsGrid(grid, &lists.CRepConf, &lists.CTipodoc);
    struct Column {
        const char* field;
        const char* title;
        int width;
    };
    const Column expected[] = {{"NomTipo", "Tipo documento", 301},
                               {"REPC_PREF", "Prefijo", 35},
                               {"REPC_REPLICA", "Replica", 43},
                               {"REPC_COMPANIA",
                                "Compa\xF1\xED"
                                "a",
                                55}};
    ASSERT_EQ(grid.columnCount(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(grid.column(i).FieldName(), expected[i].field);
        EXPECT_EQ(grid.column(i).Title.Caption, expected[i].title);
        EXPECT_EQ(grid.column(i).Width, expected[i].width);
    }
    EXPECT_TRUE(grid.column(0).Field().isLookup());

    db.exec(
        "INSERT INTO TIPO_DOCUMENTO (TIDO_COD, TIDO_NOMCORTO, TIDO_NOMLARGO) "
        "VALUES (999, 'LATE', 'Added after opening')");
    const std::vector<DocumentType> types = documentTypes(lists.CTipodoc);
    ASSERT_EQ(types.size(), 2u);
    EXPECT_EQ(types[0].code, 236);
    EXPECT_EQ(types[0].shortName, "FACT");
    EXPECT_EQ(types[1].code, 240);
    EXPECT_EQ(types[1].shortName, "NCRED");

    CachedResultSet& list = lists.CRepConf;
    go(list, "REPC_PREF", "FV");
    EXPECT_EQ(grid.cellText(grid.column(0)), "FACT");
    go(list, "REPC_PREF", "ZZ");
    EXPECT_EQ(grid.cellText(grid.column(0)), "");  // 999 was unknown when the screen opened
    chooseDocumentType(list, 240);
    EXPECT_EQ(grid.cellText(grid.column(0)), "NCRED");
    list.post();
    EXPECT_TRUE(saveSettings(list).empty());
    EXPECT_EQ(read("SELECT REPC_TIPO FROM REPLICACION_CONFIGURA WHERE REPC_PREF = 'ZZ'")[0][0],
              Value::integer(240));

    lists.close();
    EXPECT_FALSE(lists.CTipodoc.active());
    EXPECT_FALSE(list.active());
    EXPECT_TRUE(documentTypes(lists.CTipodoc).empty());
}

}  // namespace
