// The incremental search and the find dialog of a grid window, driven by key events on a
// grid widget over a real pending-events list.
#include "ui/gridsearch.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QKeyEvent>
#include <QPushButton>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTimer>

#include "support/eventlist.h"
#include "ui/gridfinddlg.h"
#include "ui/gridwidget.h"

namespace enviozvr::uitest {
namespace {

using Col = testing::PendingEventList::Col;
using ui::GridWidget;

// The pending viewer's grid window with its search options.
class GridSearchTest : public ::testing::Test {
  protected:
    GridSearchTest() {
        grid::setUpEventGrid(widget->dataGrid(), grid::EventViewer::Pending, &events.list,
                             &events.tipodoc);
        widget->GridOptions = ui::gopIncSearch | ui::gopDialogFind;
        window.resize(900, 140);  // a few rows: the found record must be scrolled to
        widget->setGeometry(0, 0, 900, 140);
        widget->reload();
        window.show();
        widget->setFocus();
        widget->moveToCell(0, Col::Codigo);
    }

    ui::GridSearch& search() { return widget->search(); }
    int currentId() const { return events.currentId(); }
    void type(const char* text) { QTest::keyClicks(widget, QString::fromLatin1(text)); }
    void key(Qt::Key k, Qt::KeyboardModifiers m = {}) { QTest::keyClick(widget, k, m); }
    // The view shows the data set's current record and the focused column as its current
    // cell, inside the viewport.
    void expectShown() {
        const QModelIndex index = widget->currentIndex();
        EXPECT_EQ(index.row(), events.list.recNo());
        EXPECT_EQ(index.column(), widget->dataGrid().SelectedIndex);
        EXPECT_TRUE(widget->viewport()->rect().contains(widget->visualRect(index)));
    }
    QRect highlight() {
        QStyleOptionViewItem option;
        option.rect = widget->visualRect(widget->currentIndex());
        option.font = widget->font();
        return search().highlightRect(option, widget->currentIndex());
    }

    testing::PendingEventList events;
    QWidget window;
    GridWidget* widget = new GridWidget(&window);
};

TEST_F(GridSearchTest, CtrlFThenTypingFindsRowsInTheFocusedColumn) {
    type("ab");
    EXPECT_FALSE(search().searching()) << "typing alone does not search in a viewer";
    EXPECT_EQ(currentId(), 1);

    key(Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(search().searching());
    EXPECT_EQ(search().searchText(), "");
    EXPECT_FALSE(search().timerActive()) << "no time limit after Ctrl+F";

    struct Step {
        const char* what;
        std::function<void()> keys;
        int id;
        const char* text;
    };
    const Step steps[] = {
        {"a", [&] { type("a"); }, 1, "A"},
        {"b: the first record starting with ab in any case, in the cell's capitals",
         [&] { type("b"); }, 3, "AB"},
        {"e", [&] { type("e"); }, 4, "abe"},
        {"x matches nothing: dropped", [&] { type("x"); }, 4, "abe"},
        {"Backspace shortens without moving", [&] { key(Qt::Key_Backspace); }, 4, "ab"},
        {"Ctrl+Enter: the next record starting with the shorter text",
         [&] { key(Qt::Key_Return, Qt::ControlModifier); }, 7, "Ab"},
        {"Ctrl+Shift+Enter: the previous one",
         [&] { key(Qt::Key_Return, Qt::ControlModifier | Qt::ShiftModifier); }, 4, "ab"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        s.keys();
        EXPECT_TRUE(search().searching());
        EXPECT_EQ(currentId(), s.id);
        EXPECT_EQ(search().searchText(), s.text);
        EXPECT_EQ(widget->dataGrid().SelectedIndex, Col::Codigo);
        expectShown();
    }

    // Black on yellow over the first characters of the focused cell.
    const QRect r = highlight();
    ASSERT_FALSE(r.isEmpty());
    const QRect cell = widget->visualRect(widget->currentIndex());
    EXPECT_LT(r.left() - cell.left(), 6) << "at the cell's left margin";
    EXPECT_LT(r.width(), cell.width() / 2);
    const QImage shot = widget->viewport()->grab().toImage();
    int yellow = 0, black = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb p = shot.pixel(x, y) & 0xFFFFFF;
            yellow += p == 0xFFFF00;
            black += qGray(p) < 80;
        }
    EXPECT_GT(yellow, r.width() * r.height() / 2);
    EXPECT_GT(black, 0) << "the text over it";

    key(Qt::Key_Escape);
    EXPECT_FALSE(search().searching());
    EXPECT_EQ(search().searchText(), "");
    EXPECT_TRUE(highlight().isEmpty());
    EXPECT_EQ(currentId(), 4);
}

TEST_F(GridSearchTest, EnterF2AClickOrARefreshEndIt) {
    struct Case {
        const char* what;
        std::function<void()> end;
        int row, column;  // the current cell afterwards
    };
    const Case cases[] = {
        {"Enter, which then moves on as usual", [&] { key(Qt::Key_Return); }, 2, Col::Servidor},
        {"F2", [&] { key(Qt::Key_F2); }, 2, Col::Codigo},
        {"a click on another cell",
         [&] {
             const QModelIndex other = widget->gridModel()->index(0, Col::Pref);
             QTest::mouseClick(widget->viewport(), Qt::LeftButton, {},
                               widget->visualRect(other).center());
         },
         0, Col::Pref},
        {"a navigation key", [&] { key(Qt::Key_Down); }, 3, Col::Codigo},
        {"a refresh", [&] { widget->refresh(); }, 2, Col::Codigo},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        widget->moveToCell(0, Col::Codigo);
        key(Qt::Key_F, Qt::ControlModifier);
        type("ab");
        ASSERT_TRUE(search().searching());
        ASSERT_EQ(currentId(), 3);
        c.end();
        EXPECT_FALSE(search().searching());
        EXPECT_EQ(widget->currentIndex().row(), c.row);
        EXPECT_EQ(widget->currentIndex().column(), c.column);
    }
}

TEST_F(GridSearchTest, TypingAloneWithPreferIncSearchEndsAfterItsTimeLimit) {
    widget->GridOptions = ui::gopPreferIncSearch;
    type("c");
    EXPECT_TRUE(search().searching());
    EXPECT_EQ(currentId(), 5);
    EXPECT_EQ(search().searchText(), "C");
    EXPECT_EQ(search().timeLimit(), 1500);
    EXPECT_TRUE(search().timerActive());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !search().searching(); }, 5000));
    EXPECT_EQ(currentId(), 5);

    widget->setEditingEnabled(true);
    type("a");
    EXPECT_FALSE(search().searching()) << "a grid that edits takes the key itself";
}

TEST_F(GridSearchTest, EscWaitingGivesUpTheWalk) {
    key(Qt::Key_F, Qt::ControlModifier);
    // The Esc is waiting when "z" starts the walk: nothing is found ("zorro" would be) and
    // the grid stays; the Esc then reaches the grid and ends the search.
    QCoreApplication::postEvent(widget,
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    type("z");
    EXPECT_EQ(currentId(), 1);
    EXPECT_EQ(search().searchText(), "");
    EXPECT_TRUE(search().searching());
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(search().searching());
}

TEST_F(GridSearchTest, RightAlignedHighlightStartsWhereTheTextStarts) {
    widget->dataGrid().column(Col::PtVt).Alignment = grid::taRightJustify;
    widget->dataGrid().column(Col::PtVt).Width = 90;
    widget->reload();
    widget->moveToCell(0, Col::PtVt);
    key(Qt::Key_F, Qt::ControlModifier);
    type("12");
    ASSERT_EQ(currentId(), 5);
    const QRect full = highlight();
    key(Qt::Key_Backspace);
    const QRect part = highlight();
    EXPECT_EQ(part.left(), full.left()) << "over the first character, shifted by the rest";
    EXPECT_LT(part.width(), full.width());
    const QRect cell = widget->visualRect(widget->currentIndex());
    EXPECT_GT(full.left(), cell.left() + cell.width() / 2) << "at the right of the cell";
    EXPECT_LT(cell.right() - full.right(), 6) << "up to the right margin";
}

// Ctrl+F during the search opens "Find text" modal over the grid; it finds forwards,
// backwards and from the top.
TEST_F(GridSearchTest, CtrlFAgainOpensTheFindDialog) {
    std::vector<int> ids;
    bool modal = false;
    QString findIn;
    key(Qt::Key_F, Qt::ControlModifier);
    QTimer::singleShot(0, [&] {
        ui::TGridFindDlg* d = ui::GridFindDlg();
        ASSERT_NE(d, nullptr);
        modal = QApplication::activeModalWidget() == d;
        findIn = d->cbFindIn->currentText();
        d->cbFindIn->setCurrentIndex(d->cbFindIn->count() - 1);  // <All>
        d->cbMatchinType->setCurrentIndex(grid::lmWholeField);
        d->cbCharCase->setChecked(false);
        d->cbUseFormat->setChecked(true);
        d->cbFindDirection->setCurrentIndex(2);
        d->cbText->setEditText(QStringLiteral("b03"));
        QTest::mouseClick(d->bFind, Qt::LeftButton);  // All: from the top
        ids.push_back(currentId());
        QTest::mouseClick(d->bFind, Qt::LeftButton);  // then down
        ids.push_back(currentId());
        QTest::mouseClick(d->bFind, Qt::LeftButton, Qt::ControlModifier);  // back up
        ids.push_back(currentId());
        d->cbFindDirection->setCurrentIndex(0);
        d->cbText->setEditText(QStringLiteral("b01"));
        QTest::mouseClick(d->bFind, Qt::LeftButton);  // up
        ids.push_back(currentId());
        QTest::mouseClick(d->bCancel, Qt::LeftButton);
    });
    key(Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(modal);
    EXPECT_EQ(findIn, QString::fromUtf8("Código")) << "the focused column";
    EXPECT_EQ(ids, (std::vector<int>{4, 7, 4, 3}));
    EXPECT_FALSE(search().searching()) << "the search ended when the dialog opened";
    EXPECT_EQ(widget->dataGrid().SelectedIndex, Col::Servidor);
    expectShown();
}

TEST_F(GridSearchTest, CtrlFWithoutIncrementalSearch) {
    int opened = 0;
    auto closeWhenOpen = [&] {
        QTimer::singleShot(0, [&] {
            if (ui::TGridFindDlg* d = ui::GridFindDlg(); d && d->isVisible()) {
                ++opened;
                d->reject();
            }
        });
    };
    widget->GridOptions = ui::gopDialogFind;
    closeWhenOpen();
    key(Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(opened, 1) << "the dialog at once";
    EXPECT_FALSE(search().searching());

    widget->GridOptions = 0;
    key(Qt::Key_F, Qt::ControlModifier);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(opened, 1);
    EXPECT_FALSE(search().searching());
}

}  // namespace
}  // namespace enviozvr::uitest
