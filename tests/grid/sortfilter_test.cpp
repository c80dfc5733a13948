// Title sorting and the filter row over a real event list: an embedded company database,
// the viewer's list CErroresenv with its declared fields, CTipodoc for the looked-up
// "Tipo doc", and the viewer's grid columns.
#include <gtest/gtest.h>

#include "data/connection.h"
#include "data/dataset.h"
#include "grid/eventviewers.h"
#include "grid/gridfilter.h"
#include "grid/gridsort.h"
#include "support/testdb.h"

using namespace enviozvr::grid;
using enviozvr::data::CachedResultSet;
using enviozvr::data::Connection;
using enviozvr::data::Provider;
using enviozvr::data::Query;
using enviozvr::testing::TempDir;
using enviozvr::testing::TestDatabase;

namespace {

// Five events; natural order by RPEV_ID. Types: 236 FACT, 12 ABONO, 99 missing.
//  id servidor tipo pref  codigo fecha       hora   op ptvt error
//  1  B02      236  FV    c-1    2024-12-09  08:30  A  7    err a
//  2  b01      12   FV    C-2    2024-12-08  17:05  D  -    Error B
//  3  B01      236  AB    C-3    2024-12-10  09:00  A  3    err c
//  4  B03      99   FV    -      2024-12-10  10:00  A  12   timeout
//  5  B01      236  -     C-5    -           -      A  5    Error e
class EventListTest : public ::testing::Test {
  protected:
    EventListTest() : db(dir.file("c.fdb")) {
        db.createCompanySchema();
        db.exec({
            "insert into TIPO_DOCUMENTO (TIDO_COD, TIDO_NOMCORTO, TIDO_NOMLARGO) values (236, "
            "'FACT', 'Factura')",
            "insert into TIPO_DOCUMENTO (TIDO_COD, TIDO_NOMCORTO, TIDO_NOMLARGO) values (12, "
            "'ABONO', 'Abono')",
            "insert into REPLICA_EVENTOS values (1, 'B02', 236, 10, 'FV', '000124', 'c-1', "
            "'2024-12-09', '08:30:00', null, null, 'A', 'PD', 7, 'err a')",
            "insert into REPLICA_EVENTOS values (2, 'b01', 12, 11, 'FV', '000123', 'C-2', "
            "'2024-12-08', '17:05:00', null, null, 'D', null, null, 'Error B')",
            "insert into REPLICA_EVENTOS values (3, 'B01', 236, 12, 'AB', '000125', 'C-3', "
            "'2024-12-10', '09:00:00', null, null, 'A', null, 3, 'err c')",
            "insert into REPLICA_EVENTOS values (4, 'B03', 99, 13, 'FV', '000126', null, "
            "'2024-12-10', '10:00:00', null, null, 'A', null, 12, 'timeout')",
            "insert into REPLICA_EVENTOS values (5, 'B01', 236, 14, null, '000127', 'C-5', "
            "null, null, null, null, 'A', null, 5, 'Error e')",
        });
        conn->setDatabase(db.location());
        conn->setParam("User_Name", "SYSDBA");
        conn->setParam("password", "");
        declareEventListFields(list);
        list.setCommandText("select * from replica_eventos r order by r.rpev_id");
        list.open();
        tipodoc.open();
        setUpEventGrid(grid, EventViewer::Errors, &list, &tipodoc);
    }

    // RPEV_ID of every held row, in the list's order.
    std::vector<int> ids() const {
        std::vector<int> out;
        const int f = list.fieldByName("RPEV_ID");
        for (int r = 0; r < list.recordCount(); ++r)
            out.push_back(static_cast<int>(list.valueAt(r, f).asInteger()));
        return out;
    }

    void reread() {
        list.close();
        list.open();
    }

    // Stores a filter text in the column of that title and applies the filters.
    void filter(const std::string& field, const std::string& text) {
        filters.store(field, columnOperandType(*grid.findColumn(field)), text, FilterLocale{});
        installGridFilter(grid, filters);
        reread();
    }

    TempDir dir;
    TestDatabase db;
    std::unique_ptr<Connection> conn = Connection::company("DbCia");
    Query QErroresenv{*conn, ""};
    Query TTipodoc = Query::table(*conn, "TIPO_DOCUMENTO");
    Provider listProvider{"PErroresenv", QErroresenv, true};
    Provider typeProvider{"PTipodoc", TTipodoc, false};
    CachedResultSet list{"CErroresenv", listProvider};
    CachedResultSet tipodoc{"CTipodoc", typeProvider};
    FixedGridEnvironment env;
    DataGrid grid{"Grid1", &env};
    GridSortState sort;
    GridFilterState filters;
};

using Ids = std::vector<int>;

}  // namespace

TEST_F(EventListTest, TitleClicksWithoutCtrlSortOneColumn) {
    struct Step {
        const char* field;
        SortMarker marker;
        Ids order;
    };
    // Texts are case-sensitive (upper case first); equal keys keep the natural order.
    const Step steps[] = {
        {"RPEV_COMPANIA", SortMarker::Down, {3, 5, 1, 4, 2}},
        {"RPEV_COMPANIA", SortMarker::Up, {2, 4, 1, 3, 5}},
        {"RPEV_COMPANIA", SortMarker::Down, {3, 5, 1, 4, 2}},
        // Another title alone: the only sort column; NULL first ascending.
        {"RPEV_FECREG", SortMarker::Down, {5, 2, 1, 3, 4}},
        {"RPEV_FECREG", SortMarker::Up, {3, 4, 1, 2, 5}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.field);
        sort.click(s.field, false);
        applyGridSort(grid, sort);
        EXPECT_EQ(sort.marked().size(), 1u);
        EXPECT_EQ(sort.marker(s.field), s.marker);
        EXPECT_EQ(ids(), s.order);
        EXPECT_EQ(list.recNo(), 0);
    }
    EXPECT_EQ(sort.marker("RPEV_COMPANIA"), SortMarker::None);
}

TEST_F(EventListTest, CtrlClicksBuildAMultiColumnKeyAndTheLastRemovalRestoresNaturalOrder) {
    sort.click("RPEV_OPER", true);
    sort.click("RPEV_PTVT", true);
    EXPECT_EQ(sort.sortIndex("RPEV_OPER"), 1);
    EXPECT_EQ(sort.sortIndex("RPEV_PTVT"), 2);
    EXPECT_EQ(ids(), (Ids{1, 2, 3, 4, 5})) << "nothing applied before the sort is";
    applyGridSort(grid, sort);
    EXPECT_EQ(ids(), (Ids{3, 5, 1, 4, 2}));

    sort.click("RPEV_OPER", true);  // up
    EXPECT_EQ(sort.descendingList(), "RPEV_OPER");
    applyGridSort(grid, sort);
    EXPECT_EQ(ids(), (Ids{2, 3, 5, 1, 4}));

    sort.click("RPEV_OPER", true);  // none: PtVt moves up to index 1
    EXPECT_EQ(sort.sortIndex("RPEV_OPER"), 0);
    EXPECT_EQ(sort.sortIndex("RPEV_PTVT"), 1);
    applyGridSort(grid, sort);
    EXPECT_EQ(ids(), (Ids{2, 3, 5, 1, 4}));

    sort.click("RPEV_PTVT", true);  // up
    sort.click("RPEV_PTVT", true);  // none
    EXPECT_TRUE(sort.empty());
    applyGridSort(grid, sort);
    EXPECT_EQ(ids(), (Ids{1, 2, 3, 4, 5}));
    EXPECT_FALSE(list.hasIndex(kGridSortIndex));
}

TEST_F(EventListTest, SortOnTheLookedUpTipoDocUsesItsText) {
    sort.click("NomTipo", false);
    ASSERT_NO_THROW(applyGridSort(grid, sort));
    EXPECT_EQ(ids(), (Ids{4, 2, 1, 3, 5}));  // missing type (empty) first, ABONO, FACT
    sort.click("NomTipo", false);
    applyGridSort(grid, sort);
    EXPECT_EQ(ids(), (Ids{1, 3, 5, 2, 4}));
}

TEST_F(EventListTest, TheSortIndexSurvivesReReads) {
    sort.click("RPEV_COMPANIA", false);
    sort.click("RPEV_COMPANIA", false);
    applyGridSort(grid, sort);
    reread();
    EXPECT_EQ(ids(), (Ids{2, 4, 1, 3, 5}));
    list.refresh();
    EXPECT_EQ(ids(), (Ids{2, 4, 1, 3, 5}));
    db.exec(
        "insert into REPLICA_EVENTOS values (6, 'B025', 236, 15, 'FV', '000128', 'C-6', "
        "'2024-12-11', '12:00:00', null, null, 'A', null, 1, 'x')");
    reread();
    EXPECT_EQ(ids(), (Ids{2, 4, 6, 1, 3, 5}));
}

TEST_F(EventListTest, FiltersKeepTheRowsThatMeetTheirConditions) {
    struct Case {
        const char* field;
        const char* text;
        Ids kept;
    };
    const Case cases[] = {
        // Text: like without regard to case, equality, lists, null tests.
        {"RPEV_COMPANIA", "b01", {2, 3, 5}},
        {"RPEV_COMPANIA", "=B01", {2, 3, 5}},
        {"RPEV_COMPANIA", "<>b01", {1, 4}},
        {"RPEV_COMPANIA", "B0_", {1, 2, 3, 4, 5}},
        {"RPEV_COMPANIA", "in (B02,B03)", {1, 4}},
        {"RPEV_COMPANIA", "=B02 or =B03", {1, 4}},
        {"RPEV_COMPANIA", ">b01", {1, 4}},
        {"RPEV_CODIGO", "=Null", {4}},
        {"RPEV_CODIGO", "<>Null", {1, 2, 3, 5}},
        {"RPEV_ERROR", "~%error%", {2, 5}},
        {"RPEV_ERROR", "!~err%", {4}},
        {"NomTipo", "fact", {1, 3, 5}},
        {"NomTipo", "=Null", {4}},
        // Numbers as numbers (12 > 7), NULL meeting no comparison.
        {"RPEV_PTVT", "> 3 and < 10", {1, 5}},
        {"RPEV_PTVT", ">=7", {1, 4}},
        {"RPEV_PTVT", "3,12", {3, 4}},
        {"RPEV_PTVT", "!in(3,12)", {1, 5}},
        {"RPEV_PTVT", "=Null", {2}},
        // Dates as dates, times as times, NOW as the current date and time.
        {"RPEV_FECREG", ">= 09/12/2024", {1, 3, 4}},
        {"RPEV_FECREG", "10/12/2024", {3, 4}},
        {"RPEV_FECREG", "< now", {1, 2, 3, 4}},
        {"RPEV_HORAREG", ">= 09:00", {2, 3, 4}},
        {"RPEV_HORAREG", "<9:00 or >12:00", {1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.field) + " " + c.text);
        filters.clearAll();
        filter(c.field, c.text);
        EXPECT_EQ(ids(), c.kept);
    }
}

TEST_F(EventListTest, ConditionsOfSeveralColumnsAllHoldAndClearFilterShowsEveryRow) {
    filter("RPEV_COMPANIA", "B01");
    filter("RPEV_PTVT", ">4");
    EXPECT_EQ(ids(), (Ids{5}));
    EXPECT_EQ(filters.text("RPEV_COMPANIA"), "B01");

    filters.clearAll();
    installGridFilter(grid, filters);
    reread();
    EXPECT_EQ(ids(), (Ids{1, 2, 3, 4, 5}));
    EXPECT_EQ(filters.text("RPEV_COMPANIA"), "");
    EXPECT_FALSE(list.hasRowFilter());
}

TEST_F(EventListTest, TheSortOrderHoldsAfterFiltering) {
    sort.click("RPEV_COMPANIA", false);
    sort.click("RPEV_COMPANIA", false);
    applyGridSort(grid, sort);
    filter("RPEV_PTVT", "<>Null");
    EXPECT_EQ(ids(), (Ids{4, 1, 3, 5}));
}

TEST_F(EventListTest, ARejectedTextKeepsThePreviousTextAndItsCondition) {
    filters.store("RPEV_PTVT", FilterOperandType::Number, ">3", FilterLocale{});
    try {
        filters.store("RPEV_PTVT", FilterOperandType::Number, "> abc", FilterLocale{});
        FAIL() << "accepted";
    } catch (const FilterError& e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid floating point value");
    }
    EXPECT_EQ(filters.text("RPEV_PTVT"), ">3");
    EXPECT_FALSE(filters.condition("RPEV_PTVT").empty());
    filter("RPEV_PTVT", ">3");
    const Ids kept = ids();
    EXPECT_THROW(filters.store("RPEV_PTVT", FilterOperandType::Number, "'x", FilterLocale{}),
                 FilterError);
    installGridFilter(grid, filters);
    reread();
    EXPECT_EQ(ids(), kept) << "the condition shown still filters";
    EXPECT_THROW(filters.store("RPEV_PTVT", FilterOperandType::Number, "null", FilterLocale{}),
                 FilterError);
    EXPECT_EQ(filters.text("RPEV_PTVT"), ">3");
}

TEST(CustomFilter, OperatorListsPerOperandType) {
    using E = CustomFilterEntry;
    const std::vector<E> text = customFilterEntries(FilterOperandType::Text);
    ASSERT_EQ(text.size(), 19u);
    std::vector<std::string> captions;
    for (E e : text) captions.push_back(customFilterCaption(e));
    EXPECT_EQ(captions,
              (std::vector<std::string>{
                  "", "equals", "does not equal", "is greate than", "is greate than or equall to",
                  "is less than", "is less than or equall to", "begins with", "does not begin with",
                  "ends with", "does not end with", "contains", "does not contain", "like",
                  "not like", "in list", "not in list", "is blank", "is not blank"}));
    for (FilterOperandType t :
         {FilterOperandType::Number, FilterOperandType::DateTime, FilterOperandType::Boolean}) {
        EXPECT_EQ(customFilterEntries(t),
                  (std::vector<E>{E::Empty, E::Equals, E::DoesNotEqual, E::GreaterThan,
                                  E::GreaterOrEqual, E::LessThan, E::LessOrEqual, E::InList,
                                  E::NotInList, E::IsBlank, E::IsNotBlank}));
    }
}

TEST(CustomFilter, PiecesAndTexts) {
    using E = CustomFilterEntry;
    const auto T = FilterOperandType::Text;
    const auto N = FilterOperandType::Number;
    struct Case {
        CustomFilterRow first;
        CustomFilterRow second;
        bool orRelation;
        FilterOperandType type;
        const char* text;
    };
    const Case cases[] = {
        {{E::Empty, "x"}, {}, false, T, ""},
        {{E::Equals, "abc"}, {}, false, T, "=abc"},
        {{E::DoesNotEqual, "abc"}, {}, false, T, "<>abc"},
        {{E::GreaterThan, "5"}, {}, false, N, ">5"},
        {{E::GreaterOrEqual, "5"}, {}, false, N, ">=5"},
        {{E::LessThan, "5"}, {}, false, N, "<5"},
        {{E::LessOrEqual, " 5"}, {}, false, N, "<= 5"},
        {{E::BeginsWith, "ab"}, {}, false, T, "~ab%"},
        {{E::DoesNotBeginWith, "ab"}, {}, false, T, "!~ab%"},
        {{E::EndsWith, "ab"}, {}, false, T, "~%ab"},
        {{E::DoesNotEndWith, "ab"}, {}, false, T, "!~%ab"},
        {{E::Contains, "ab"}, {}, false, T, "~%ab%"},
        {{E::DoesNotContain, "ab"}, {}, false, T, "!~%ab%"},
        {{E::Like, "a_c"}, {}, false, T, "~a_c"},
        {{E::NotLike, "a_c"}, {}, false, T, "!~a_c"},
        {{E::InList, "a,b"}, {}, false, T, "in(a,b)"},
        {{E::NotInList, "1,2"}, {}, false, N, "!in(1,2)"},
        {{E::IsBlank, "ignored"}, {}, false, T, "=Null"},
        {{E::IsNotBlank, "ignored"}, {}, false, T, "<>Null"},
        {{E::Equals, "a"}, {E::Equals, "b"}, false, T, "=a AND =b"},
        {{E::Equals, "a"}, {E::IsBlank, ""}, true, T, "=a OR =Null"},
        {{E::Empty, ""}, {E::Equals, "b"}, true, T, "=b"},
        // Enclosed in quotes: a text value starting with a blank, any value with a
        // parenthesis; the quotes take the '%' in and double inner quotes.
        {{E::Equals, " ab"}, {}, false, T, "=' ab'"},
        {{E::Contains, " ab"}, {}, false, T, "~'% ab%'"},
        {{E::BeginsWith, "f(x)"}, {}, false, T, "~'f(x)%'"},
        {{E::InList, "(a)"}, {}, false, T, "in('(a)')"},
        {{E::Equals, "it's (1)"}, {}, false, T, "='it''s (1)'"},
        {{E::Equals, "it's"}, {}, false, T, "=it's"},
        // Values that would read back as something else are enclosed as well.
        {{E::Contains, "a or b"}, {}, false, T, "~'%a or b%'"},
        {{E::Equals, "a,b"}, {}, false, T, "='a,b'"},
        {{E::Equals, "'x"}, {}, false, T, "='''x'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string text = customFilterText(c.type, c.first, c.orRelation, c.second);
        EXPECT_EQ(text, c.text);
        EXPECT_NO_THROW(parseFilterText(text, c.type, FilterLocale{}));
    }
}

TEST(CustomFilter, OpensWithTheRowsOfTheStoredCondition) {
    using E = CustomFilterEntry;
    const auto T = FilterOperandType::Text;
    const std::vector<CustomFilterRows> rows = {
        {{E::BeginsWith, "ab"}, {}, false},
        {{E::DoesNotEndWith, "ab"}, {E::Contains, "x y"}, true},
        {{E::Like, "a%b"}, {E::NotLike, "%"}, false},
        {{E::InList, "a,b"}, {E::IsNotBlank, ""}, false},
        {{E::Equals, " lead"}, {}, false},
    };
    for (const CustomFilterRows& r : rows) {
        const std::string text = customFilterText(T, r.first, r.orRelation, r.second);
        SCOPED_TRACE(text);
        const CustomFilterRows back = customFilterRowsOf(parseFilterText(text, T, FilterLocale{}));
        EXPECT_EQ(back.first, r.first);
        EXPECT_EQ(back.second, r.second);
        EXPECT_EQ(back.orRelation, r.orRelation);
    }
}

TEST(FilterRow, DropDownItemsInOrder) {
    std::vector<std::string> captions;
    for (const FilterDropDownEntry& e : filterDropDownItems()) captions.push_back(e.caption);
    EXPECT_EQ(captions, (std::vector<std::string>{
                            "(Order by ascending)", "(Order by descending)", "-", "(Clear filter)",
                            "(Apply filter)", "(Custom...)", "(All)", "(Not empty)", "(Empty)"}));
}

TEST(FilterRow, LikePatterns) {
    EXPECT_TRUE(likeMatch("Error B", "error%"));
    EXPECT_TRUE(likeMatch("Error B", "%r_B"));
    EXPECT_TRUE(likeMatch("\xE1rbol", "\xC1RBOL"));  // accented letters without case
    EXPECT_TRUE(likeMatch("", "%"));
    EXPECT_FALSE(likeMatch("abc", "ab"));
    EXPECT_FALSE(likeMatch("ab", "a_c"));
    EXPECT_TRUE(likeMatch("aXbXc", "a%b%c"));
}
