// The "Find text" dialog over a real pending-events list, through the interface the grid
// widget implements, with the grid's own locate routine behind it.
#include "ui/gridfinddlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "grid/locate.h"
#include "support/eventlist.h"

namespace enviozvr::uitest {
namespace {

using Col = testing::PendingEventList::Col;
using ui::GridFindDlg;
using ui::ShowFindDialog;
using ui::TGridFindDlg;

struct LocateCall {
    std::string fieldName;
    int matching, direction;
    unsigned options;
    std::string text;
};

// The grid model and its locate routine; records every request.
class ModelTarget : public ui::GridFindTarget {
  public:
    explicit ModelTarget(grid::DataGrid& g) : grid_(g) {}
    ~ModelTarget() override { ui::forgetFindTarget(this); }
    const grid::DataGrid& findGrid() const override { return grid_; }
    bool locateText(const std::string& fieldName, int treeRange, int matching, int direction,
                    unsigned options, const std::string& text) override {
        calls.push_back({fieldName, matching, direction, options, text});
        return grid::LocateCellText(grid_, fieldName, treeRange, matching, direction, options,
                                    text);
    }
    std::vector<LocateCall> calls;

  private:
    grid::DataGrid& grid_;
};

class FindDialogTest : public ::testing::Test {
  protected:
    FindDialogTest() : target(events.dataGrid) {}

    // Opens the dialog without waiting for it to close.
    TGridFindDlg& open() {
        ShowFindDialog(target, {}, false);
        TGridFindDlg* d = GridFindDlg();
        EXPECT_NE(d, nullptr);
        return *d;
    }
    void click(TGridFindDlg& d, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseClick(d.bFind, Qt::LeftButton, modifiers);
    }
    static void setText(TGridFindDlg& d, const char* text) {
        d.cbText->setEditText(QString::fromLatin1(text));
    }

    testing::PendingEventList events;
    ModelTarget target;
};

TEST_F(FindDialogTest, CaptionSizeControlsAndDefaults) {
    events.dataGrid.column(Col::Hora).Visible = false;
    events.dataGrid.SelectedIndex = Col::Numero;
    // A dialog of its own: the program's one keeps the choices of earlier tests.
    TGridFindDlg d;
    d.showFor(target, {}, false);
    EXPECT_EQ(d.objectName(), QStringLiteral("GridFindDlg"));
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Find text"));
    EXPECT_EQ(d.size(), QSize(505, d.dbcTreeFindRange->y())) << "no tree row: cut to its top";
    EXPECT_FALSE(d.dbcTreeFindRange->isVisible());
    EXPECT_FALSE(d.Label4->isVisible());
    EXPECT_EQ(d.font().pixelSize(), 10);

    const std::pair<QLabel*, const char*> labels[] = {
        {d.Label1, "Fi&nd What:"}, {d.Label2, "Find &in:"},     {d.cbMatchType, "Matc&h:"},
        {d.Label3, "Sea&rch:"},    {d.Label4, "Find in Tree:"},
    };
    for (const auto& [l, text] : labels) EXPECT_EQ(l->text(), QString::fromLatin1(text));
    EXPECT_EQ(d.Label1->buddy(), d.cbText);
    EXPECT_EQ(d.cbMatchType->buddy(), d.cbMatchinType);
    EXPECT_EQ(d.cbCharCase->text(), QStringLiteral("Match &Case"));
    EXPECT_EQ(d.cbUseFormat->text(), QStringLiteral("Match F&ormat"));
    EXPECT_EQ(d.bFind->text(), QStringLiteral("&Find next"));
    EXPECT_EQ(d.bCancel->text(), QStringLiteral("Close"));
    EXPECT_TRUE(d.cbText->isEditable());

    auto items = [](QComboBox* c) {
        QStringList out;
        for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
        return out;
    };
    EXPECT_EQ(items(d.cbMatchinType),
              (QStringList{"From any part of field", "Whole field", "From beging of field"}));
    EXPECT_EQ(items(d.cbFindDirection), (QStringList{"Up", "Down", "All"}));
    EXPECT_EQ(items(d.dbcTreeFindRange), (QStringList{"In all nodes", "In expanded nodes",
                                                      "In current level", "In current node"}));
    EXPECT_EQ(items(d.cbFindIn), (QStringList{"Tipo doc", "Pref", QString::fromUtf8("Número"),
                                              QString::fromUtf8("Código"), "Servidor", "Fecha",
                                              "Op", "Prefd", "PtVt", "<All>"}))
        << "the visible columns' titles in display order";
    EXPECT_EQ(d.cbFindIn->currentText(), QString::fromUtf8("Número")) << "the focused column";
    EXPECT_EQ(d.cbMatchinType->currentIndex(), 0);
    EXPECT_EQ(d.cbFindDirection->currentText(), QStringLiteral("All"));
    EXPECT_FALSE(d.cbCharCase->isChecked());
    EXPECT_TRUE(d.cbUseFormat->isChecked());
    EXPECT_TRUE(d.firstTry());
    EXPECT_EQ(d.target(), &target);
    d.close();

    events.dataGrid.SelectedIndex = Col::Hora;  // a hidden column
    d.showFor(target, {}, false);
    EXPECT_EQ(d.cbFindIn->currentText(), QStringLiteral("<All>"));
    d.close();
    d.forgetTarget(&target);

    TGridFindDlg& program = open();
    EXPECT_EQ(&open(), &program) << "one dialog for the program";
    program.close();
}

// "All" from the top on the first try only; Ctrl reverses; the options come from the
// controls.
TEST_F(FindDialogTest, FirstTryAndCtrlReversal) {
    events.dataGrid.SelectedIndex = Col::Codigo;
    TGridFindDlg& d = open();
    d.cbMatchinType->setCurrentIndex(grid::lmWholeField);
    d.cbCharCase->setChecked(false);
    d.cbUseFormat->setChecked(true);
    d.cbFindIn->setCurrentIndex(d.cbFindIn->count() - 1);  // <All>
    d.cbFindDirection->setCurrentIndex(2);
    setText(d, "B01");
    events.list.moveTo(4);

    struct Step {
        const char* what;
        std::function<void()> before;
        Qt::KeyboardModifiers modifiers;
        int direction;
        int foundId;  // 0: not found
        int foundCol;
    };
    const Step steps[] = {
        {"All, first try: from the focused column of the first record",
         [] {},
         {},
         2,
         1,
         Col::Servidor},
        {"All again: down from the found cell", [] {}, {}, 1, 3, Col::Servidor},
        {"a change of matching keeps going",
         [&] { d.cbMatchinType->setCurrentIndex(0); },
         {},
         1,
         6,
         Col::Servidor},
        {"a new text starts over", [&] { setText(d, "B03"); }, {}, 2, 4, Col::Servidor},
        {"Ctrl with All: up", [] {}, Qt::ControlModifier, 0, 0, 0},
        {"Down", [&] { d.cbFindDirection->setCurrentIndex(1); }, {}, 1, 7, Col::Servidor},
        {"Ctrl with Down: up", [] {}, Qt::ControlModifier, 0, 4, Col::Servidor},
        {"Ctrl with Up: down", [&] { d.cbFindDirection->setCurrentIndex(0); }, Qt::ControlModifier,
         1, 7, Col::Servidor},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        s.before();
        const int before = events.currentId();
        target.calls.clear();
        click(d, s.modifiers);
        ASSERT_EQ(target.calls.size(), 1u);
        const LocateCall& call = target.calls[0];
        EXPECT_EQ(call.direction, s.direction);
        EXPECT_EQ(call.fieldName, "");
        EXPECT_EQ(call.options, grid::loIgnoreCase | grid::loDisplayText | grid::loAllColumns);
        EXPECT_EQ(events.currentId(), s.foundId ? s.foundId : before);
        if (s.foundId) {
            EXPECT_EQ(events.dataGrid.SelectedIndex, s.foundCol);
        }
    }
    d.close();
}

TEST_F(FindDialogTest, OptionsColumnAndEmptyTexts) {
    events.dataGrid.SelectedIndex = Col::Pref;
    TGridFindDlg& d = open();
    d.cbFindDirection->setCurrentIndex(2);
    d.cbFindIn->setCurrentIndex(Col::Codigo);
    d.cbMatchinType->setCurrentIndex(grid::lmFromBeginning);
    d.cbCharCase->setChecked(true);
    d.cbUseFormat->setChecked(false);
    setText(d, "Ab");
    click(d);
    ASSERT_EQ(target.calls.size(), 1u);
    EXPECT_EQ(target.calls[0].fieldName, "RPEV_CODIGO");
    EXPECT_EQ(target.calls[0].matching, grid::lmFromBeginning);
    EXPECT_EQ(target.calls[0].options, 0u) << "case kept, plain values, one column";
    EXPECT_EQ(target.calls[0].text, "Ab");
    EXPECT_EQ(events.currentId(), 7);
    EXPECT_EQ(events.dataGrid.SelectedIndex, Col::Codigo);

    // "From beging of field" with an empty text: the first cell examined; "From any part
    // of field": nothing.
    setText(d, "");
    events.list.moveTo(3);
    click(d);
    EXPECT_EQ(events.currentId(), 1);
    d.cbMatchinType->setCurrentIndex(grid::lmAnyPart);
    setText(d, "x");
    setText(d, "");
    events.list.moveTo(3);
    click(d);
    EXPECT_EQ(events.currentId(), 4) << "not found: the grid stays where it was";
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "nothing is shown";

    // Match Case with "<All>": a match in another column becomes the focused column.
    d.cbFindIn->setCurrentIndex(d.cbFindIn->count() - 1);
    d.cbMatchinType->setCurrentIndex(grid::lmWholeField);
    setText(d, "AB");
    events.dataGrid.SelectedIndex = Col::TipoDoc;
    click(d);
    EXPECT_EQ(target.calls.back().options, static_cast<unsigned>(grid::loAllColumns));
    EXPECT_EQ(events.currentId(), 2);
    EXPECT_EQ(events.dataGrid.SelectedIndex, Col::Prefd);
    d.close();
}

TEST_F(FindDialogTest, HistoryEnterEscAndClose) {
    TGridFindDlg d;
    d.showFor(target, {}, false);
    d.cbText->setEditText(QStringLiteral("abc"));
    QTest::keyClick(d.cbText->lineEdit(), Qt::Key_Return);
    ASSERT_EQ(target.calls.size(), 1u) << "Enter runs Find next";
    EXPECT_EQ(d.cbText->count(), 1);
    EXPECT_EQ(d.cbText->itemText(0), QStringLiteral("abc"));
    EXPECT_EQ(d.cbText->currentText(), QStringLiteral("abc"));
    EXPECT_FALSE(d.cbText->lineEdit()->isModified());
    click(d);
    EXPECT_EQ(d.cbText->count(), 1) << "a text already in the history is not added";
    d.cbText->setEditText(QStringLiteral("ABC"));
    click(d);
    d.cbText->setEditText({});
    click(d);
    EXPECT_EQ(d.cbText->count(), 3) << "another case and an empty text join the history too";
    EXPECT_EQ(d.cbText->itemText(2), QString());

    QTest::keyClick(d.cbText->lineEdit(), Qt::Key_Escape);
    EXPECT_FALSE(d.isVisible());

    // The next opening empties the text and keeps the history and the choices.
    d.cbCharCase->setChecked(true);
    d.cbText->setEditText(QStringLiteral("abc"));
    d.showFor(target, {}, false);
    EXPECT_EQ(d.cbText->currentText(), QString());
    EXPECT_EQ(d.cbText->count(), 3);
    EXPECT_TRUE(d.cbCharCase->isChecked());
    QTest::mouseClick(d.bCancel, Qt::LeftButton);
    EXPECT_FALSE(d.isVisible());
    d.forgetTarget(&target);
}

// What is typed is what is sought: the history never completes or swaps the typed text,
// whatever case or prefix it shares with a remembered one.
TEST_F(FindDialogTest, TypedTextIsSoughtAsTypedWhateverTheHistoryHolds) {
    TGridFindDlg d;
    d.showFor(target, {}, false);
    for (const char* remembered : {"abc", "zzzzz"}) {
        d.cbText->setEditText(QString::fromLatin1(remembered));
        click(d);
    }
    d.cbCharCase->setChecked(true);
    const struct { const char* typed; } cases[] = {{"ABC"}, {"zz"}, {"ab"}, {"abc"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        d.showFor(target, {}, false);
        d.activateWindow();
        d.cbText->setFocus();
        target.calls.clear();
        QTest::keyClicks(d.cbText->lineEdit(), QString::fromLatin1(c.typed));
        EXPECT_EQ(d.cbText->currentText(), QString::fromLatin1(c.typed));
        QTest::keyClick(d.cbText->lineEdit(), Qt::Key_Return);
        ASSERT_EQ(target.calls.size(), 1u);
        EXPECT_EQ(target.calls[0].text, c.typed);
        EXPECT_EQ(d.cbText->currentText(), QString::fromLatin1(c.typed));
    }
    EXPECT_NE(d.cbText->findText(QStringLiteral("ABC"), Qt::MatchExactly | Qt::MatchCaseSensitive),
              -1)
        << "the typed text joins the history";
    d.forgetTarget(&target);
}

TEST_F(FindDialogTest, TheGridOpensItModal) {
    bool wasModal = false;
    QTimer::singleShot(0, [&] {
        TGridFindDlg* d = GridFindDlg();
        wasModal = d && d->isModal() && QApplication::activeModalWidget() == d;
        if (d) d->reject();
    });
    ShowFindDialog(target, {}, true);
    EXPECT_TRUE(wasModal);
    EXPECT_FALSE(GridFindDlg()->isVisible());
}

}  // namespace
}  // namespace enviozvr::uitest
