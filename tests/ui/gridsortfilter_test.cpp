// Title sorting and the filter row on the grid widget: markers drawn from clicks, Ctrl
// multi-sort applied on Ctrl release, filter cells that store on leaving and apply on
// Enter, a rejected text reported and put back, the drop-down items and the custom filter
// dialog.
#include "ui/gridsortfilter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QRadioButton>
#include <QTest>

#include "core/unhandled.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "support/memoryrows.h"
#include "support/recordederrors.h"
#include "ui/gridwidget.h"

namespace enviozvr::uitest {
namespace {

using grid::SortMarker;
using testing::field;
using testing::RecordedErrors;
using ui::GridHeader;
using ui::GridSortFilter;
using ui::GridWidget;

// Rows (CODE, CITY, N): C0 Lima 30, C1 lima 10, C2 Quito -, C3 Bogota 20, C4 Lima 10.
// Re-reading loads the same rows again, as a viewer's query would return them.
struct Host : testing::MemoryRows {
    Host() {
        read();
        grid::DataGrid& g = widget->dataGrid();
        g.setDataSet(&set);
        for (const char* name : {"CODE", "CITY", "N"}) g.addColumn(name).Width = 80;
        filters = new GridSortFilter(*widget);
        filters->reread = [this] {
            ++reads;
            read();
        };
        window.resize(400, 300);
        widget->setGeometry(0, 0, 400, 300);
        widget->reload();
        window.show();
        QApplication::setActiveWindow(&window);
        widget->setFocus();
    }

    void read() {
        auto t = [](const char* s) { return data::Value::text(s); };
        auto n = [](int v) { return data::Value::integer(v); };
        set.loadRows(
            {field("CODE", data::FieldType::String, 4), field("CITY", data::FieldType::String, 20),
             field("N", data::FieldType::Integer, 4)},
            {{t("C0"), t("Lima"), n(30)},
             {t("C1"), t("lima"), n(10)},
             {t("C2"), t("Quito"), data::Value::null()},
             {t("C3"), t("Bogota"), n(20)},
             {t("C4"), t("Lima"), n(10)}});
    }

    // CODE of every row the widget shows, in order.
    QString codes() const {
        QStringList out;
        for (int r = 0; r < widget->gridModel()->rowCount(); ++r)
            out << widget->gridModel()->index(r, 0).data().toString();
        return out.join(' ');
    }

    QPoint titlePoint(int column) const {
        GridHeader* h = widget->titleHeader();
        return {h->sectionViewportPosition(column) + h->sectionSize(column) / 2, 3};
    }
    void clickTitle(int column, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseClick(widget->titleHeader()->viewport(), Qt::LeftButton, modifiers,
                          titlePoint(column));
    }

    // Clicks a filter cell, replaces its text by typing, and presses Enter when asked.
    void type(int column, const QString& text, bool enter) {
        ui::FilterCell* cell = filters->cell(column);
        QTest::mouseClick(cell, Qt::LeftButton);
        cell->setFocus();
        cell->selectAll();
        QTest::keyClicks(cell, text);
        if (enter) QTest::keyClick(cell, Qt::Key_Return);
    }

    QWidget window;
    GridWidget* widget = new GridWidget(&window);
    GridSortFilter* filters;
    int reads = 0;
};

std::vector<std::tuple<int, bool, int>> markers(const GridWidget& w) {
    std::vector<std::tuple<int, bool, int>> out;
    for (const auto& m : w.titleHeader()->sortMarkers())
        out.emplace_back(m.column, m.ascending, m.rank);
    return out;
}

}  // namespace

TEST(GridSortFilter, TitleClicksSortAtOnceAndDrawTheirMarker) {
    Host host;
    host.clickTitle(1);
    EXPECT_EQ(host.codes(), "C3 C0 C4 C2 C1");  // case-sensitive: upper case first
    EXPECT_EQ(markers(*host.widget), (std::vector<std::tuple<int, bool, int>>{{1, true, 0}}));
    host.clickTitle(1);
    EXPECT_EQ(host.codes(), "C1 C2 C0 C4 C3");
    EXPECT_EQ(markers(*host.widget), (std::vector<std::tuple<int, bool, int>>{{1, false, 0}}));
    host.clickTitle(2);  // another title alone: nulls first ascending
    EXPECT_EQ(host.codes(), "C2 C1 C4 C3 C0");
    EXPECT_EQ(markers(*host.widget), (std::vector<std::tuple<int, bool, int>>{{2, true, 0}}));
    EXPECT_EQ(host.set.recNo(), 0);
}

TEST(GridSortFilter, CtrlClicksSortOnceWhenCtrlIsReleased) {
    Host host;
    host.clickTitle(2, Qt::ControlModifier);
    host.clickTitle(1, Qt::ControlModifier);
    host.clickTitle(1, Qt::ControlModifier);  // CITY descending
    EXPECT_TRUE(host.filters->sortPending());
    EXPECT_EQ(host.codes(), "C0 C1 C2 C3 C4") << "not sorted while Ctrl is held";
    EXPECT_EQ(markers(*host.widget),
              (std::vector<std::tuple<int, bool, int>>{{2, true, 1}, {1, false, 2}}));
    QTest::keyRelease(host.widget, Qt::Key_Control);
    EXPECT_FALSE(host.filters->sortPending());
    EXPECT_EQ(host.codes(), "C2 C1 C4 C3 C0");  // N, then CITY descending
    // Removing the markers one by one; the last removal gives the natural order back.
    host.clickTitle(2, Qt::ControlModifier);
    host.clickTitle(2, Qt::ControlModifier);
    host.clickTitle(1, Qt::ControlModifier);
    EXPECT_TRUE(host.widget->titleHeader()->sortMarkers().empty());
    QTest::keyRelease(host.widget, Qt::Key_Control);
    EXPECT_EQ(host.codes(), "C0 C1 C2 C3 C4");
}

TEST(GridSortFilter, LosingTheFocusAppliesAPendingSort) {
    Host host;
    QLineEdit other(&host.window);
    other.show();
    host.clickTitle(0, Qt::ControlModifier);
    host.clickTitle(0, Qt::ControlModifier);
    EXPECT_EQ(host.codes(), "C0 C1 C2 C3 C4");
    host.widget->setFocus();
    other.setFocus();
    QApplication::processEvents();
    EXPECT_FALSE(host.filters->sortPending());
    EXPECT_EQ(host.codes(), "C4 C3 C2 C1 C0");
}

TEST(GridSortFilter, FilterCellsStoreOnLeavingAndApplyOnEnter) {
    RecordedErrors errors;
    Host host;
    host.widget->setFilterRowVisible(true);
    ASSERT_NE(host.filters->cell(1), nullptr);
    GridHeader* header = host.widget->titleHeader();
    EXPECT_GT(header->bandHeight(), 0);
    EXPECT_EQ(header->height(), header->titleHeight() + header->bandHeight());
    EXPECT_TRUE(host.filters->cell(1)->isVisible());
    // On the header's band, wherever the cells' row widget lies.
    const ui::FilterCell* cell = host.filters->cell(1);
    EXPECT_TRUE(QRect(header->mapTo(&host.window, QPoint(0, header->titleHeight())),
                      QSize(header->width(), header->bandHeight()))
                    .contains(QRect(cell->mapTo(&host.window, QPoint()), cell->size())));

    host.clickTitle(2);  // sorted by N; the order holds after filtering
    host.type(1, QStringLiteral("lima"), true);
    EXPECT_EQ(host.filters->filterState().text("CITY"), "lima");
    EXPECT_EQ(host.codes(), "C1 C4 C0");
    EXPECT_EQ(host.reads, 1);

    // Leaving a cell stores (and parses) without applying.
    host.type(2, QStringLiteral(">10"), false);
    host.widget->setFocus();
    EXPECT_EQ(host.filters->filterState().text("N"), ">10");
    EXPECT_EQ(host.reads, 1);
    EXPECT_EQ(host.codes(), "C1 C4 C0");
    host.filters->runDropDownItem(2, grid::FilterDropDownItem::ApplyFilter);
    EXPECT_EQ(host.codes(), "C0");

    // A rejected text is reported, the cell shows the stored text again, nothing re-read.
    host.type(2, QStringLiteral("> abc"), true);
    ASSERT_EQ(errors.shown.size(), 1u);
    EXPECT_EQ(errors.shown[0],
              "Se presento el siguiente error: 'abc' is not a valid floating point value");
    EXPECT_EQ(host.filters->cell(2)->text(), QStringLiteral(">10"));
    EXPECT_FALSE(host.filters->filterState().condition("N").empty());
    EXPECT_EQ(host.reads, 2);

    // Hiding the row keeps the texts; showing it shows them again.
    host.widget->setFilterRowVisible(false);
    EXPECT_FALSE(host.filters->cell(1)->isVisible());
    EXPECT_EQ(host.widget->titleHeader()->bandHeight(), 0);
    host.widget->setFilterRowVisible(true);
    EXPECT_EQ(host.filters->cell(1)->text(), QStringLiteral("lima"));

    // "(Clear filter)" empties every cell and shows every row again, still sorted.
    host.filters->runDropDownItem(0, grid::FilterDropDownItem::ClearFilter);
    EXPECT_EQ(host.filters->cell(1)->text(), QString());
    EXPECT_EQ(host.filters->cell(2)->text(), QString());
    EXPECT_EQ(host.codes(), "C2 C1 C4 C3 C0");
}

TEST(GridSortFilter, DropDownItems) {
    Host host;
    host.widget->setFilterRowVisible(true);
    QMenu* menu = host.filters->dropDownMenu(1);
    QStringList captions;
    for (QAction* a : menu->actions()) captions << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(captions.join('|'),
              "(Order by ascending)|(Order by descending)|-|(Clear filter)|"
              "(Apply filter)|(Custom...)|(All)|(Not empty)|(Empty)");
    delete menu;

    using Item = grid::FilterDropDownItem;
    host.filters->runDropDownItem(1, Item::OrderDescending);
    EXPECT_EQ(host.codes(), "C1 C2 C0 C4 C3");
    host.filters->runDropDownItem(2, Item::Empty);
    EXPECT_EQ(host.filters->cell(2)->text(), QStringLiteral("=Null"));
    EXPECT_EQ(host.reads, 0);
    host.filters->runDropDownItem(2, Item::ApplyFilter);
    EXPECT_EQ(host.codes(), "C2");
    host.filters->runDropDownItem(2, Item::NotEmpty);
    EXPECT_EQ(host.filters->cell(2)->text(), QStringLiteral("<>Null"));
    host.filters->runDropDownItem(2, Item::All);
    EXPECT_EQ(host.filters->cell(2)->text(), QString());
    host.filters->runDropDownItem(2, Item::ApplyFilter);
    EXPECT_EQ(host.codes(), "C1 C2 C0 C4 C3");
}

TEST(GridSortFilter, CustomFilterDialogBuildsTheCellText) {
    Host host;
    host.widget->setFilterRowVisible(true);
    host.filters->filterState().store("CITY", grid::FilterOperandType::Text, "~li%");
    QString seen;
    host.filters->execDialog = [&](QDialog& d) {
        auto& dialog = static_cast<ui::CustomFilterDialog&>(d);
        seen = dialog.windowTitle() + "|" + dialog.operatorBox(0)->currentText() + "|" +
               dialog.valueBox(0)->text();
        dialog.operatorBox(0)->setCurrentText(QStringLiteral("contains"));
        dialog.valueBox(0)->setText(QStringLiteral("it"));
        dialog.orButton()->setChecked(true);
        dialog.operatorBox(1)->setCurrentText(QStringLiteral("begins with"));
        dialog.valueBox(1)->setText(QStringLiteral("B"));
        return QDialog::Accepted;
    };
    host.filters->runDropDownItem(1, grid::FilterDropDownItem::Custom);
    EXPECT_EQ(seen, QStringLiteral("Custom filter|begins with|li"));
    EXPECT_EQ(host.filters->cell(1)->text(), QStringLiteral("~%it% OR ~B%"));
    EXPECT_EQ(host.reads, 0);
    host.filters->runDropDownItem(1, grid::FilterDropDownItem::ApplyFilter);
    EXPECT_EQ(host.codes(), "C2 C3");

    // A number column offers no pattern entries.
    ui::CustomFilterDialog numbers(grid::FilterOperandType::Number, {});
    EXPECT_EQ(numbers.operatorBox(0)->count(), 11);
    EXPECT_TRUE(numbers.andButton()->isChecked());
}

}  // namespace enviozvr::uitest
