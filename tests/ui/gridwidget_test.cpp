// The grid widget over a cached result set filled in memory: texts read on demand, the
// current cell and the data set's cursor, Tab and Enter, selection kinds from keys and
// title clicks, columns moved and resized by their titles, key hooks, the editing switch,
// and errors kept inside the guard.
#include "ui/gridwidget.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

#include "core/unhandled.h"
#include "data/codepage.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "grid/gridexport.h"
#include "support/appdir.h"
#include "support/memoryrows.h"
#include "support/recordederrors.h"
#include "ui/gridnavigator.h"

namespace enviozvr::uitest {
namespace {

using grid::DataGrid;
using testing::field;
using testing::RecordedErrors;
using ui::GridHeader;
using ui::GridWidget;

// A grid widget over rows of (CODE, NAME, N), shown in a window of its own.
struct GridHost : testing::MemoryRows {
    explicit GridHost(int rows = 5) {
        std::vector<data::Row> data;
        for (int i = 0; i < rows; ++i) {
            data.push_back(
                {data::Value::text("C" + std::to_string(i)),
                 data::Value::text(i == 1 ? "L\xEDnea\r\ndos" : "Fila " + std::to_string(i)),
                 i == 2 ? data::Value::null() : data::Value::integer(i * 10)});
        }
        set.loadRows(
            {field("CODE", data::FieldType::String, 4), field("NAME", data::FieldType::String, 40),
             field("N", data::FieldType::Integer, 4)},
            std::move(data));
        DataGrid& g = widget->dataGrid();
        g.setDataSet(&set);
        g.EditActions = grid::geaCopy | grid::geaSelectAll;
        for (const char* name : {"CODE", "NAME", "N"}) g.addColumn(name).Width = 60;
        window.resize(400, 300);
        widget->setGeometry(0, 0, 400, 300);
        widget->reload();
        window.show();
        widget->setFocus();
    }
    QModelIndex at(int row, int column) const { return widget->gridModel()->index(row, column); }
    QString text(int row, int column) const { return at(row, column).data().toString(); }
    // A point in the lowest pixels of a title (the column-selection zone) or above them.
    QPoint titlePoint(int column, bool inZone) const {
        GridHeader* h = widget->titleHeader();
        const int x = h->sectionViewportPosition(column) + h->sectionSize(column) / 2;
        return {x, inZone ? h->titleHeight() - 2 : 2};
    }

    QWidget window;
    GridWidget* widget = new GridWidget(&window);
};

TEST(GridWidget, ShowsTheGridModelsTextsAndFollowsTheCurrentCell) {
    GridHost host;
    GridWidget& w = *host.widget;
    EXPECT_EQ(w.gridModel()->rowCount(), 5);
    EXPECT_EQ(w.gridModel()->columnCount(), 3);
    EXPECT_EQ(w.model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("NAME"));
    EXPECT_EQ(host.text(0, 0), QStringLiteral("C0"));
    EXPECT_EQ(host.text(1, 1), QStringLiteral("Línea  dos"));  // one line per cell
    EXPECT_EQ(host.text(2, 2), QString());                     // NULL
    EXPECT_EQ(host.text(4, 2), QStringLiteral("40"));
    EXPECT_EQ(w.columnWidth(1), 60);
    EXPECT_FALSE(w.editingEnabled());
    EXPECT_FALSE(w.gridModel()->flags(host.at(0, 0)) & Qt::ItemIsEditable);

    // Keyboard moves move the data set's cursor and the grid model's focused column.
    QTest::keyClick(&w, Qt::Key_Down);
    QTest::keyClick(&w, Qt::Key_Right);
    EXPECT_EQ(host.set.recNo(), 1);
    EXPECT_EQ(w.dataGrid().SelectedIndex, 1);
    EXPECT_EQ(w.currentIndex(), host.at(1, 1));

    // Tab and Enter go to the next cell and on to the next row; Shift+Tab goes back.
    QTest::keyClick(&w, Qt::Key_Tab);
    EXPECT_EQ(w.currentIndex(), host.at(1, 2));
    QTest::keyClick(&w, Qt::Key_Return);
    EXPECT_EQ(w.currentIndex(), host.at(2, 0));
    QTest::keyClick(&w, Qt::Key_Backtab);
    EXPECT_EQ(w.currentIndex(), host.at(1, 2));
    EXPECT_EQ(host.set.recNo(), 1);
    EXPECT_EQ(host.window.focusWidget(), &w);  // Tab stayed inside the grid

    // Typing alone does not search; the navigator moves by records.
    QTest::keyClicks(&w, QStringLiteral("C4"));
    EXPECT_EQ(host.set.recNo(), 1);
    ui::GridNavigator navigator;
    navigator.setGrid(&w);
    navigator.nbLast->click();
    EXPECT_EQ(host.set.recNo(), 4);
    EXPECT_FALSE(navigator.nbNext->isEnabled());
    navigator.nbPrior->click();
    EXPECT_EQ(host.set.recNo(), 3);
    navigator.nbFirst->click();
    EXPECT_EQ(host.set.recNo(), 0);
    EXPECT_FALSE(navigator.nbPrior->isEnabled());
    EXPECT_EQ(w.currentColumn(), 2);
}

TEST(GridWidget, SelectsAllWithCtrlAAndColumnsFromTheLowestPixelsOfTheTitles) {
    GridHost host;
    GridWidget& w = *host.widget;
    DataGrid& g = w.dataGrid();
    std::vector<QString> clicked;
    QObject::connect(&w, &GridWidget::titleClicked, [&](int column, Qt::KeyboardModifiers) {
        clicked.push_back(QString::number(column));
    });

    QTest::keyClick(&w, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(g.Selection().SelectionType(), grid::gstAll);
    // Moving to another cell clears the selection.
    QTest::keyClick(&w, Qt::Key_Down);
    EXPECT_EQ(g.Selection().SelectionType(), grid::gstNon);

    QWidget* titles = w.titleHeader()->viewport();
    QTest::mouseClick(titles, Qt::LeftButton, {}, host.titlePoint(0, true));
    EXPECT_EQ(g.Selection().SelectionType(), grid::gstColumns);
    QTest::mouseClick(titles, Qt::LeftButton, Qt::ShiftModifier, host.titlePoint(2, true));
    ASSERT_EQ(g.Selection().Columns.Count(), 3);
    QTest::mouseClick(titles, Qt::LeftButton, Qt::ControlModifier, host.titlePoint(1, true));
    EXPECT_EQ(g.Selection().Columns.Count(), 2);
    EXPECT_FALSE(g.Selection().Columns.contains(&g.column(1)));
    EXPECT_TRUE(clicked.empty());

    // Above the zone a click is a title click; the selection stays.
    QTest::mouseClick(titles, Qt::LeftButton, {}, host.titlePoint(1, false));
    EXPECT_EQ(clicked, std::vector<QString>{"1"});
    EXPECT_EQ(g.Selection().SelectionType(), grid::gstColumns);

    // A right click moves nothing (the context menu copies the selection); a plain click
    // on a data cell clears it.
    const QRect cell = w.visualRect(host.at(3, 1));
    QTest::mouseClick(w.viewport(), Qt::RightButton, {}, cell.center());
    EXPECT_EQ(g.Selection().SelectionType(), grid::gstColumns);
    QTest::mouseClick(w.viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(g.Selection().SelectionType(), grid::gstNon);
    EXPECT_EQ(host.set.recNo(), 3);

    // Select-all on an empty list does nothing.
    host.set.loadRows(host.set.fields(), {});
    w.reload();
    QTest::keyClick(&w, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(g.Selection().SelectionType(), grid::gstNon);
    EXPECT_EQ(w.gridModel()->rowCount(), 0);
}

TEST(GridWidget, ColumnsMovedAndResizedByTheirTitlesChangeTheGridModel) {
    GridHost host;
    GridWidget& w = *host.widget;
    DataGrid& g = w.dataGrid();
    w.moveToCell(1, 0);  // focus on CODE

    // Drag NAME's title to the first place.
    w.titleHeader()->moveSection(1, 0);
    EXPECT_EQ(g.column(0).FieldName(), "NAME");
    EXPECT_EQ(g.column(1).FieldName(), "CODE");
    EXPECT_EQ(w.titleHeader()->visualIndex(0), 0);  // the view shows the grid model's order
    EXPECT_EQ(w.model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("NAME"));
    EXPECT_EQ(host.text(0, 0), QStringLiteral("Fila 0"));
    EXPECT_EQ(g.SelectedIndex, 1);  // the focused column moved with its column

    w.titleHeader()->resizeSection(2, 90);
    EXPECT_EQ(g.column(2).Width, 90);

    // Hidden columns are left out of the view, and of Tab.
    g.column(1).Visible = false;
    w.reload();
    EXPECT_TRUE(w.isColumnHidden(1));
    w.moveToCell(0, 0);
    QTest::keyClick(&w, Qt::Key_Tab);
    EXPECT_EQ(w.currentColumn(), 2);

    // The export walks the data set and gives the current record back.
    w.moveToCell(3, 0);
    grid::TMemoryStream out;
    grid::ExportGridToStream(&grid::makeGridExport<grid::TGridExportAsText>, g, out, true);
    EXPECT_EQ(out.bytes().substr(0, 9), "NAME\tN\r\nF");
    EXPECT_EQ(host.set.recNo(), 3);
    EXPECT_EQ(w.currentIndex(), host.at(3, 0));
}

TEST(GridWidget, KeyHooksRunFirstAndErrorsStayInsideTheGuard) {
    testing::InstallDir install;  // ERRORES.TXT
    RecordedErrors errors;
    GridHost host;
    GridWidget& w = *host.widget;
    std::vector<int> seen;
    w.addKeyHook([&](QKeyEvent& e) {
        if (e.key() != Qt::Key_Control) seen.push_back(e.key());
        return e.key() == Qt::Key_F && e.modifiers() == Qt::ControlModifier;
    });
    w.addKeyHook([&](QKeyEvent& e) {
        if (e.key() == Qt::Key_F3) throw data::DataError("hook failed");
        return false;
    });
    QTest::keyClick(&w, Qt::Key_F, Qt::ControlModifier);
    QTest::keyClick(&w, Qt::Key_Down);
    EXPECT_EQ(seen, (std::vector<int>{Qt::Key_F, Qt::Key_Down}));
    EXPECT_EQ(host.set.recNo(), 1);

    QTest::keyClick(&w, Qt::Key_F3);  // reaches the unhandled-error handler, not Qt
    const std::vector<std::string> lines = install.logLines("ERRORES.TXT");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("hook failed"), std::string::npos);
    ASSERT_EQ(errors.shown.size(), 1u);
    EXPECT_NE(errors.shown[0].find("hook failed"), std::string::npos);

    // A closed data set: the grid ignores keys, hooks included.
    host.set.close();
    w.reload();
    seen.clear();
    QTest::keyClick(&w, Qt::Key_Down);
    EXPECT_TRUE(seen.empty());
}

TEST(GridWidget, EditingIsASwitchOfTheSameWidget) {
    GridHost host;
    GridWidget& w = *host.widget;
    w.setEditingEnabled(true);
    EXPECT_TRUE(w.gridModel()->flags(host.at(0, 1)) & Qt::ItemIsEditable);
    EXPECT_TRUE(w.model()->setData(host.at(0, 1), QStringLiteral("Otra línea")));
    EXPECT_TRUE(w.model()->setData(host.at(0, 2), QStringLiteral("77")));
    host.set.post();
    EXPECT_EQ(host.text(0, 1), QStringLiteral("Otra línea"));
    EXPECT_EQ(host.set.valueAt(0, 2), data::Value::integer(77));
    EXPECT_EQ(host.set.changeCount(), 1);

    w.setEditingEnabled(false);
    EXPECT_FALSE(w.gridModel()->flags(host.at(0, 1)) & Qt::ItemIsEditable);
    EXPECT_FALSE(w.model()->setData(host.at(0, 1), QStringLiteral("x")));
}

}  // namespace
}  // namespace enviozvr::uitest
