// The locate routine and the incremental search over a real pending-events list.
#include "grid/locate.h"

#include <gtest/gtest.h>

#include "data/value.h"
#include "support/eventlist.h"

using namespace enviozvr::grid;
using enviozvr::testing::PendingEventList;
using Col = PendingEventList::Col;

namespace {

class LocateTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { events = new PendingEventList; }
    static void TearDownTestSuite() {
        delete events;
        events = nullptr;
    }

    void SetUp() override {
        DataGrid& g = events->dataGrid;
        for (int i = 0; i < g.columnCount(); ++i) {
            g.column(i).Visible = true;
            g.column(i).DisplayFormat.clear();
        }
        g.SelectedIndex = 0;
        g.topRow = 0;
        g.visibleRowCount = 3;
        g.onDataSetChanged = nullptr;
        events->list.first();
    }

    static PendingEventList* events;
};

PendingEventList* LocateTest::events = nullptr;

std::string shortDate(int y, int m, int d) {
    return enviozvr::data::shortDateText(enviozvr::data::Date::fromYmd(y, m, d));
}

}  // namespace

// Row ids by position: 1 Arce-1, 2 zorro, 3 ABC-3, 4 abedul, 5 Cabra, 6 "ñandú", 7 Abeto
// (the Código column); Servidor B01 B02 B01 B03 B02 B01 B03; PtVt 1 2 7 - 12 3 4.
TEST_F(LocateTest, MatchingsDirectionsAndOptions) {
    struct Case {
        const char* what;
        const char* field;
        int startRow, startCol;
        int matching, direction;
        unsigned options;
        std::string text;
        int foundId;  // 0: not found
        int foundCol;
    };
    const unsigned ic = loIgnoreCase, all = loAllColumns, disp = loDisplayText;
    const Case cases[] = {
        {"any part, down, skips the current record", "RPEV_CODIGO", 0, 0, lmAnyPart, ldDown, 0,
         "be", 4, Col::Codigo},
        {"any part keeps case", "RPEV_CODIGO", 0, 0, lmAnyPart, ldDown, 0, "BE", 0, 0},
        {"any part ignoring case", "rpev_codigo", 0, 0, lmAnyPart, ldDown, ic, "BE", 4,
         Col::Codigo},
        {"any part, empty text finds nothing", "RPEV_CODIGO", 0, 0, lmAnyPart, ldFromTop, 0, "", 0,
         0},
        {"whole field", "RPEV_CODIGO", 0, 0, lmWholeField, ldFromTop, 0, "abedul", 4, Col::Codigo},
        {"whole field, a part is not enough", "RPEV_CODIGO", 0, 0, lmWholeField, ldFromTop, 0,
         "abedu", 0, 0},
        {"whole field keeps case", "RPEV_CODIGO", 0, 0, lmWholeField, ldFromTop, 0, "ABEDUL", 0, 0},
        {"whole field ignoring case", "RPEV_CODIGO", 0, 0, lmWholeField, ldFromTop, ic, "ABEDUL", 4,
         Col::Codigo},
        {"accented letters ignoring case", "RPEV_CODIGO", 0, 0, lmWholeField, ldFromTop, ic,
         "\xD1"
         "AND\xDA",
         6, Col::Codigo},
        {"accented letters keep case", "RPEV_CODIGO", 0, 0, lmWholeField, ldFromTop, 0,
         "\xD1"
         "AND\xDA",
         0, 0},
        {"beginning keeps case", "RPEV_CODIGO", 0, 0, lmFromBeginning, ldFromTop, 0, "Ab", 7,
         Col::Codigo},
        {"beginning ignoring case", "RPEV_CODIGO", 0, 0, lmFromBeginning, ldFromTop, ic, "ab", 3,
         Col::Codigo},
        {"from the top examines the first record", "RPEV_CODIGO", 3, 0, lmFromBeginning, ldFromTop,
         0, "Ar", 1, Col::Codigo},
        {"beginning, empty text: the first cell examined (down)", "RPEV_CODIGO", 0, 0,
         lmFromBeginning, ldDown, 0, "", 2, Col::Codigo},
        {"beginning, empty text: the first cell examined (from the top)", "RPEV_CODIGO", 4, 0,
         lmFromBeginning, ldFromTop, 0, "", 1, Col::Codigo},
        {"down skips the current cell", "RPEV_CODIGO", 2, 0, lmFromBeginning, ldDown, ic, "ab", 4,
         Col::Codigo},
        {"up", "RPEV_CODIGO", 6, 0, lmFromBeginning, ldUp, ic, "ab", 4, Col::Codigo},
        {"up from the first record", "RPEV_CODIGO", 0, 0, lmFromBeginning, ldUp, ic, "", 0, 0},
        {"down from the last record", "RPEV_CODIGO", 6, 0, lmFromBeginning, ldDown, ic, "", 0, 0},
        {"empty field name: the focused column", "", 0, Col::Servidor, lmWholeField, ldDown, 0,
         "B03", 4, Col::Servidor},
        {"a field name that no column shows", "RPEV_IDDOC", 0, 0, lmAnyPart, ldFromTop, 0, "1", 0,
         0},
        {"looked-up field", "NomTipo", 0, 0, lmWholeField, ldDown, 0, "FACT", 2, Col::TipoDoc},
        {"all columns from the top skip the cells left of the start in the first record", "", 0,
         Col::Codigo, lmWholeField, ldFromTop, all, "FV", 2, Col::Pref},
        {"all columns down: the next cell of the same record", "", 0, Col::Codigo, lmWholeField,
         ldDown, all, "B01", 1, Col::Servidor},
        {"all columns up: from the last column of the previous record", "", 2, Col::TipoDoc,
         lmWholeField, ldUp, all, "B02", 2, Col::Servidor},
        {"all columns up: the previous cell of the same record", "", 1, Col::Prefd, lmWholeField,
         ldUp, all, "B02", 2, Col::Servidor},
        {"all columns, case ignored, the found column becomes focused", "", 0, Col::Codigo,
         lmAnyPart, ldDown, all | ic, "ab", 2, Col::Prefd},
        {"all columns keep case", "", 0, Col::Codigo, lmAnyPart, ldDown, all, "ab", 4, Col::Codigo},
        {"plain value", "RPEV_PTVT", 0, 0, lmWholeField, ldFromTop, 0, "7", 3, Col::PtVt},
        {"plain value is not the display text", "RPEV_PTVT", 0, 0, lmWholeField, ldFromTop, 0, "07",
         0, 0},
        {"display text", "RPEV_PTVT", 0, 0, lmWholeField, ldFromTop, disp, "07", 3, Col::PtVt},
        {"display text is not the plain value", "RPEV_PTVT", 0, 0, lmWholeField, ldFromTop, disp,
         "7", 0, 0},
        {"a date's display text", "RPEV_FECREG", 0, 0, lmWholeField, ldFromTop, disp,
         shortDate(2026, 3, 5), 5, Col::Fecha},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        DataGrid& g = events->dataGrid;
        g.column(Col::PtVt).DisplayFormat = "00";
        events->list.moveTo(c.startRow);
        g.SelectedIndex = c.startCol;
        const int startId = events->currentId();
        const bool found =
            LocateCellText(g, c.field, 0, c.matching, c.direction, c.options, c.text);
        EXPECT_EQ(found, c.foundId != 0);
        if (c.foundId) {
            EXPECT_EQ(events->currentId(), c.foundId);
            EXPECT_EQ(g.SelectedIndex, c.foundCol);
        } else {
            EXPECT_EQ(events->currentId(), startId) << "the position is restored";
            EXPECT_EQ(g.SelectedIndex, c.startCol);
        }
    }
}

TEST_F(LocateTest, NotFoundRestoresRecordAndWindow) {
    DataGrid& g = events->dataGrid;
    events->list.moveTo(4);
    g.topRow = 3;
    EXPECT_FALSE(LocateCellText(g, "RPEV_CODIGO", 0, lmAnyPart, ldFromTop, loIgnoreCase, "qq"));
    EXPECT_EQ(events->list.recNo(), 4);
    EXPECT_EQ(g.topRow, 3);
    EXPECT_FALSE(g.controlsDisabled());
}

TEST_F(LocateTest, WalksWithNotificationsSuspendedAndGivesUpOnEscape) {
    DataGrid& g = events->dataGrid;
    int changed = 0;
    g.onDataSetChanged = [&] { ++changed; };
    int asked = 0;
    bool suspended = true;
    auto escapeOnThird = [&] {
        suspended = suspended && g.controlsDisabled();
        return ++asked == 3;
    };
    events->list.moveTo(1);
    // "abedul" is the fourth record: the third question gives up before it.
    EXPECT_FALSE(LocateCellText(g, "RPEV_CODIGO", 0, lmWholeField, ldFromTop, loBreakOnEscape,
                                "abedul", escapeOnThird));
    EXPECT_EQ(asked, 3);
    EXPECT_TRUE(suspended);
    EXPECT_EQ(events->currentId(), 2);
    EXPECT_EQ(changed, 1) << "one notification when the walk ends";

    asked = 0;
    EXPECT_TRUE(
        LocateCellText(g, "RPEV_CODIGO", 0, lmWholeField, ldFromTop, 0, "abedul", escapeOnThird));
    EXPECT_EQ(asked, 0) << "without the option nothing is asked";
    EXPECT_EQ(events->currentId(), 4);
}

TEST_F(LocateTest, ClosedDataSetOrNoVisibleColumnFindsNothing) {
    DataGrid& g = events->dataGrid;
    for (int i = 0; i < g.columnCount(); ++i) g.column(i).Visible = false;
    EXPECT_FALSE(LocateCellText(g, "", 0, lmFromBeginning, ldFromTop, 0, ""));
    SetUp();
    g.column(Col::Codigo).Visible = false;
    EXPECT_FALSE(LocateCellText(g, "RPEV_CODIGO", 0, lmFromBeginning, ldFromTop, 0, ""))
        << "a hidden starting column";

    DataGrid closed("Grid2");
    EXPECT_FALSE(LocateCellText(closed, "", 0, lmFromBeginning, ldFromTop, 0, ""));
    IncrementalSearch search;
    EXPECT_FALSE(search.search(closed, "a", -1, ldFromTop));
    EXPECT_FALSE(search.searching()) << "a search on a closed data set does nothing";
}

TEST(UpperAnsi, CodePageLetters) {
    EXPECT_EQ(upperAnsi("abz \xE0\xE9\xF1\xFE \x9A\x9C\x9E\xFF"),
              "ABZ \xC0\xC9\xD1\xDE \x8A\x8C\x8E\x9F");
    EXPECT_EQ(upperAnsi("\xF7\xB5\xDF\xAA 09{}"), "\xF7\xB5\xDF\xAA 09{}")
        << "the division sign, micro, sharp s and ordinals have no capital";
}

// Typed characters, Backspace and the next and previous matches, as the grid widget
// drives them (the widget's own key handling is tested with it).
TEST_F(LocateTest, IncrementalSearchKeepsTheCellsCapitalisation) {
    DataGrid& g = events->dataGrid;
    g.SelectedIndex = Col::Codigo;
    events->list.moveTo(5);
    IncrementalSearch s;
    s.search(g, "", -1, ldFromTop);  // Ctrl+F
    EXPECT_TRUE(s.searching());
    EXPECT_EQ(s.text(), "");
    EXPECT_EQ(events->currentId(), 6) << "an empty text does not search";

    struct Step {
        const char* what;
        std::string added;
        int direction;
        bool backspace;
        bool found;
        int id;
        const char* text;
    };
    const Step steps[] = {
        {"a", "a", ldFromTop, false, true, 1, "A"},
        {"b: the first record starting with ab in any case", "b", ldFromTop, false, true, 3, "AB"},
        {"e", "e", ldFromTop, false, true, 4, "abe"},
        {"x matches nothing: dropped", "x", ldFromTop, false, false, 4, "abe"},
        {"Backspace does not move", "", ldFromTop, true, false, 4, "ab"},
        {"Ctrl+Enter: next", "", ldDown, false, true, 7, "Ab"},
        {"Ctrl+Enter: no further match", "", ldDown, false, false, 7, "Ab"},
        {"Ctrl+Shift+Enter: previous", "", ldUp, false, true, 4, "ab"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        if (step.backspace)
            s.backspace();
        else
            EXPECT_EQ(s.search(g, step.added, -1, step.direction), step.found);
        EXPECT_TRUE(s.searching());
        EXPECT_EQ(events->currentId(), step.id);
        EXPECT_EQ(s.text(), step.text);
        EXPECT_EQ(g.SelectedIndex, Col::Codigo);
    }
    EXPECT_TRUE(s.stop());
    EXPECT_FALSE(s.searching());
    EXPECT_EQ(s.text(), "");
    EXPECT_FALSE(s.stop()) << "stopping twice";
}
