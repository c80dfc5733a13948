// What each selection kind exports, the selection transitions, and the grid's position
// around an export, also a failing one.
#include <QDir>
#include <QFile>
#include <fstream>
#include <functional>
#include <sstream>

#include "gridfixture.h"
#include "support/testdb.h"

using namespace enviozvr::grid;
using namespace enviozvr::grid::testing;
using enviozvr::data::FieldType;

namespace {

// Four records of three columns A (text), B (integer), C (text).
class SelectionTest : public ::testing::Test, public GridFixture {
  protected:
    void SetUp() override {
        std::vector<enviozvr::data::Row> rows;
        for (int i = 0; i < 4; ++i)
            rows.push_back({txt(("a" + std::to_string(i)).c_str()), num(i),
                            txt(("c" + std::to_string(i)).c_str())});
        load({field("A", FieldType::String, 5), field("B", FieldType::Integer, 4),
              field("C", FieldType::String, 5)},
             std::move(rows));
    }
    Bookmark row(int i) {
        const int saved = set.recNo();
        set.moveTo(i);
        const Bookmark b = set.bookmark();
        set.moveTo(saved);
        return b;
    }
};

}  // namespace

TEST_F(SelectionTest, EachKindExportsItsColumnsAndRecords) {
    struct Case {
        const char* name;
        std::function<void()> select;
        bool exportAll;
        std::string text;
    };
    const std::string all = "A\tB\tC\r\na0\t0\tc0\r\na1\t1\tc1\r\na2\t2\tc2\r\na3\t3\tc3";
    const Case cases[] = {
        {"no selection: focused cell of the current record",
         [&] {
             set.moveTo(2);
             grid.SelectedIndex = 1;
         },
         false, "2"},
        {"whole grid", [&] { grid.Selection().SelectWholeGrid(); }, false, all},
        {"columns in column order",
         [&] {
             grid.Selection().selectColumn(grid.column(2));
             grid.Selection().toggleColumn(grid.column(0));
         },
         false, "A\tC\r\na0\tc0\r\na1\tc1\r\na2\tc2\r\na3\tc3"},
        {"rectangle given bottom-right to top-left",
         [&] {
             grid.Selection().selectRectangle({2, row(3)}, {1, row(1)});
         },
         false, "B\tC\r\n1\tc1\r\n2\tc2\r\n3\tc3"},
        {"rectangle within one record",
         [&] {
             grid.Selection().selectRectangle({0, row(2)}, {1, row(2)});
         },
         false, "A\tB\r\na2\t2"},
        {"row bookmarks in data-set order",
         [&] {
             grid.Selection().selectRows({row(3), row(0)});
         },
         false, "A\tB\tC\r\na0\t0\tc0\r\na3\t3\tc3"},
        {"export all ignores a column selection",
         [&] { grid.Selection().selectColumn(grid.column(1)); }, true, all},
        {"hidden and moved columns",
         [&] {
             grid.column(1).Visible = false;
             grid.moveColumn(2, 0);
         },
         true, "C\tA\r\nc0\ta0\r\nc1\ta1\r\nc2\ta2\r\nc3\ta3"},
        {"no titles", [&] { grid.setOption(dgTitles, false); }, true,
         "a0\t0\tc0\r\na1\t1\tc1\r\na2\t2\tc2\r\na3\t3\tc3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        grid.clearColumns();
        grid.setOption(dgTitles, true);
        grid.Selection().ClearSelection();
        for (const char* n : {"A", "B", "C"}) grid.addColumn(n);
        set.first();
        c.select();
        EXPECT_EQ(run<TGridExportAsText>(c.exportAll), c.text);
    }
}

TEST_F(SelectionTest, NoSelectionWritesOneCellInEveryFormat) {
    set.moveTo(1);
    grid.SelectedIndex = 2;
    grid.column(2).Width = 35;
    EXPECT_EQ(run<TGridExportAsText>(false), "c1");
    EXPECT_EQ(run<TGridExportAsCSV>(false), "\"c1\"");
    const std::string html = run<TGridExportAsHTML>(false);
    EXPECT_NE(
        html.find("BGCOLOR=#C0C0C0>\r\n\r\n<TR>\r\n  <TD WIDTH=35 ALIGN=\"LEFT\" BGCOLOR=#FFFFFF>"
                  "<FONT STYLE=\"font-family: MS Sans Serif; font-size: 8pt; color: "
                  "#000000\">c1</FONT></TD>\r\n</TR>\r\n</table>"),
        std::string::npos)
        << html;
    const std::string rtf = run<TGridExportAsRTF>(false);
    EXPECT_EQ(rtf.find("\\trowd"), rtf.rfind("\\trowd")) << "one row only";
    EXPECT_NE(rtf.find(" c1\\cell}"), std::string::npos);
    EXPECT_EQ(run<TGridExportAsXLS>(false), xlsBof() + xlsLabel(0, 0, "c1") + xlsEof());
}

TEST(EmptyDataSet, TitlesAloneOrNothing) {
    GridFixture f;
    f.load({field("A", FieldType::String, 5), field("B", FieldType::Integer, 4)}, {});
    EXPECT_EQ(f.run<TGridExportAsText>(true), "A\tB");
    EXPECT_EQ(f.run<TGridExportAsCSV>(true), "\"A\";\"B\"");
    EXPECT_EQ(f.run<TGridExportAsXLS>(true),
              xlsBof() + xlsLabel(0, 0, "A") + xlsLabel(0, 1, "B") + xlsEof());
    const std::string html = f.run<TGridExportAsHTML>(true);
    EXPECT_EQ(html.find("<TR>"), html.rfind("<TR>")) << "title row only";
    EXPECT_EQ(f.run<TGridExportAsText>(false), "");
    EXPECT_FALSE(f.grid.canSelectAll());
}

TEST_F(SelectionTest, Transitions) {
    int changes = 0;
    grid.OnSelectionChanged = [&] { ++changes; };
    TGridSelection& s = grid.Selection();
    ASSERT_EQ(s.SelectionType(), gstNon);

    s.SelectWholeGrid();
    EXPECT_EQ(s.SelectionType(), gstAll);
    EXPECT_EQ(changes, 1);
    s.SelectWholeGrid();
    EXPECT_EQ(changes, 1) << "select-all twice reports once";

    s.selectColumn(grid.column(1));  // replaces the whole-grid selection
    EXPECT_EQ(s.SelectionType(), gstColumns);
    EXPECT_EQ(s.Columns.items(), (TGridColumnList{&grid.column(1)}));
    s.toggleColumn(grid.column(0));
    EXPECT_EQ(s.Columns.items(), (TGridColumnList{&grid.column(0), &grid.column(1)}));
    EXPECT_EQ(s.Columns.Anchor(), &grid.column(0));

    grid.column(1).Visible = false;
    s.extendColumnSelection(grid.column(2));  // from the anchor, visible columns only
    EXPECT_EQ(s.Columns.items(), (TGridColumnList{&grid.column(0), &grid.column(2)}));
    grid.column(1).Visible = true;

    grid.moveColumn(0, 2);  // A moves behind C: the list stays in column order
    EXPECT_EQ(s.Columns.items(), (TGridColumnList{&grid.column(1), &grid.column(2)}));

    s.toggleColumn(grid.column(1));
    s.toggleColumn(grid.column(2));
    EXPECT_EQ(s.SelectionType(), gstNon) << "toggling the last column off";

    s.selectColumn(grid.column(0));
    const int before = changes;
    s.SelectWholeGrid();
    EXPECT_EQ(s.SelectionType(), gstAll);
    EXPECT_EQ(s.Columns.Count(), 0);
    EXPECT_EQ(changes, before + 2) << "the cleared columns and the new kind";

    s.ClearSelection();
    EXPECT_EQ(s.SelectionType(), gstNon);
    const int afterClear = changes;
    s.ClearSelection();
    EXPECT_EQ(changes, afterClear) << "clearing nothing reports nothing";

    s.selectRectangle({0, row(0)}, {1, row(1)});
    s.ClearSelection();
    EXPECT_TRUE(s.Rect.empty());
    EXPECT_EQ(s.Rect.Anchor.Col, -1);
    s.selectRows({row(2)});
    s.ClearSelection();
    EXPECT_EQ(s.Rows.Count(), 0);
}

TEST_F(SelectionTest, SelectAllIsAllowedOnlyWithRecordsAndTheKindAllowed) {
    EXPECT_TRUE(grid.canSelectAll());
    grid.AllowedSelections = allowed(gstColumns);
    EXPECT_FALSE(grid.canSelectAll());
    grid.AllowedSelections = kAllSelections;
    set.close();
    EXPECT_FALSE(grid.canSelectAll());
    EXPECT_FALSE(grid.canCopy());
    EXPECT_THROW(run<TGridExportAsText>(true), GridError);
}

TEST_F(SelectionTest, PositionIsRestoredAfterAnExport) {
    set.moveTo(2);
    grid.topRow = 1;
    grid.visibleRowCount = 2;
    int resumed = 0;
    grid.onDataSetChanged = [&] { ++resumed; };
    grid.Selection().selectRectangle({0, row(0)}, {2, row(1)});
    run<TGridExportAsRTF>(false);
    run<TGridExportAsXLS>(true);
    EXPECT_EQ(set.recNo(), 2);
    EXPECT_EQ(grid.topRow, 1);
    EXPECT_FALSE(grid.controlsDisabled());
    EXPECT_EQ(resumed, 2);
    EXPECT_EQ(grid.Selection().SelectionType(), gstRectangle) << "an export leaves the selection";
}

TEST_F(SelectionTest, PositionIsRestoredAfterAFailingExportAndNoFileIsLeft) {
    grid.Selection().selectRows({row(1), row(3)});
    set.moveTo(3);
    set.remove();  // the second bookmarked record is gone
    set.moveTo(1);
    grid.topRow = 0;
    grid.visibleRowCount = 3;
    int resumed = 0;
    grid.onDataSetChanged = [&] { ++resumed; };

    EXPECT_THROW(run<TGridExportAsHTML>(false), enviozvr::data::DataError);
    EXPECT_EQ(set.recNo(), 1);
    EXPECT_EQ(grid.topRow, 0);
    EXPECT_FALSE(grid.controlsDisabled());
    EXPECT_EQ(resumed, 1);

    enviozvr::testing::TempDir dir;
    const std::string path = dir.file("list.csv");
    { std::ofstream(path, std::ios::binary) << "previous"; }
    EXPECT_THROW(ExportGridToFile(&makeGridExport<TGridExportAsCSV>, grid,
                                  QString::fromStdString(path), false),
                 enviozvr::data::DataError);
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(content.str(), "previous") << "a failed run replaces nothing";
    EXPECT_EQ(QDir(QString::fromStdString(dir.path())).entryList(QDir::Files).size(), 1)
        << "no temporary file is left";
    EXPECT_EQ(set.recNo(), 1);
}
