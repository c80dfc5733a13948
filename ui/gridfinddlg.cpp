#include "ui/gridfinddlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "core/unhandled.h"
#include "data/codepage.h"
#include "grid/grid.h"
#include "grid/locate.h"
#include "ui/screenlook.h"

namespace enviozvr::ui {

namespace {

constexpr int kClientWidth = 505;
constexpr int kClientHeight = 150;
constexpr int kTreeRowTop = 120;  // the "Find in Tree:" row; the client ends here without it

QLabel* label(QWidget* parent, const char* name, const QString& text, QRect geometry,
              QWidget* buddy) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(geometry);
    l->setBuddy(buddy);
    return l;
}

QComboBox* dropDownList(QWidget* parent, const char* name, QRect geometry,
                        const QStringList& items = {}) {
    auto* c = new QComboBox(parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setGeometry(geometry);
    c->addItems(items);
    return c;
}

QPointer<TGridFindDlg>& instance() {
    static QPointer<TGridFindDlg> dialog;
    return dialog;
}

void deleteInstance() { delete instance().data(); }

}  // namespace

TGridFindDlg::TGridFindDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("GridFindDlg"));
    setWindowTitle(QStringLiteral("Find text"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    QFont font = msSansSerif8();
    font.setPixelSize(10);
    setFont(font);
    setFixedSize(kClientWidth, kClientHeight);

    cbText = new QComboBox(this);
    cbText->setObjectName(QStringLiteral("cbText"));
    cbText->setEditable(true);
    cbText->setInsertPolicy(QComboBox::NoInsert);  // the history grows on "&Find next" only
    // The history is offered in the drop-down only: no completion rewrites what is typed
    // (and, without a case-blind completer, Enter never swaps the text for a history item
    // that differs in case).
    cbText->setCompleter(nullptr);
    cbText->setGeometry(92, 8, 302, 21);
    Label1 = label(this, "Label1", QStringLiteral("Fi&nd What:"), QRect(8, 12, 80, 13), cbText);

    cbFindIn = dropDownList(this, "cbFindIn", QRect(92, 36, 302, 21));
    Label2 = label(this, "Label2", QStringLiteral("Find &in:"), QRect(8, 40, 80, 13), cbFindIn);

    cbMatchinType =
        dropDownList(this, "cbMatchinType", QRect(92, 64, 150, 21),
                     {QStringLiteral("From any part of field"), QStringLiteral("Whole field"),
                      QStringLiteral("From beging of field")});
    cbMatchType =
        label(this, "cbMatchType", QStringLiteral("Matc&h:"), QRect(8, 68, 80, 13), cbMatchinType);

    cbFindDirection =
        dropDownList(this, "cbFindDirection", QRect(92, 92, 150, 21),
                     {QStringLiteral("Up"), QStringLiteral("Down"), QStringLiteral("All")});
    cbFindDirection->setCurrentIndex(2);
    Label3 =
        label(this, "Label3", QStringLiteral("Sea&rch:"), QRect(8, 96, 80, 13), cbFindDirection);

    cbCharCase = new QCheckBox(QStringLiteral("Match &Case"), this);
    cbCharCase->setObjectName(QStringLiteral("cbCharCase"));
    cbCharCase->setGeometry(258, 66, 136, 17);
    cbUseFormat = new QCheckBox(QStringLiteral("Match F&ormat"), this);
    cbUseFormat->setObjectName(QStringLiteral("cbUseFormat"));
    cbUseFormat->setGeometry(258, 94, 136, 17);
    cbUseFormat->setChecked(true);

    dbcTreeFindRange =
        dropDownList(this, "dbcTreeFindRange", QRect(92, kTreeRowTop, 150, 21),
                     {QStringLiteral("In all nodes"), QStringLiteral("In expanded nodes"),
                      QStringLiteral("In current level"), QStringLiteral("In current node")});
    Label4 = label(this, "Label4", QStringLiteral("Find in Tree:"),
                   QRect(8, kTreeRowTop + 4, 80, 13), dbcTreeFindRange);

    bFind = new QPushButton(QStringLiteral("&Find next"), this);
    bFind->setObjectName(QStringLiteral("bFind"));
    bFind->setGeometry(408, 8, 89, 25);
    bFind->setDefault(true);
    bCancel = new QPushButton(QStringLiteral("Close"), this);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    bCancel->setGeometry(408, 38, 89, 25);
    bCancel->setAutoDefault(false);

    setTabOrder(cbText, cbFindIn);
    setTabOrder(cbFindIn, cbMatchinType);
    setTabOrder(cbMatchinType, cbFindDirection);
    setTabOrder(cbFindDirection, cbCharCase);
    setTabOrder(cbCharCase, cbUseFormat);
    setTabOrder(cbUseFormat, dbcTreeFindRange);
    setTabOrder(dbcTreeFindRange, bFind);
    setTabOrder(bFind, bCancel);

    // A new text, direction, tree range or column starts over; the matching and the
    // check boxes do not.
    auto again = [this] { firstTry_ = true; };
    connect(cbText, &QComboBox::editTextChanged, this, again);
    connect(cbFindDirection, &QComboBox::currentIndexChanged, this, again);
    connect(dbcTreeFindRange, &QComboBox::currentIndexChanged, this, again);
    connect(cbFindIn, &QComboBox::currentIndexChanged, this, again);

    connect(bFind, &QPushButton::clicked, this,
            [this] { core::runGuarded([this] { bFindClick(); }); });
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TGridFindDlg::~TGridFindDlg() = default;

void TGridFindDlg::showFor(GridFindTarget& target, const QString& initialText, bool modal) {
    const bool tree = target.treeShaped();
    Label4->setVisible(tree);
    dbcTreeFindRange->setVisible(tree);
    setFixedSize(kClientWidth, tree ? kClientHeight : kTreeRowTop);

    cbText->setEditText(initialText);
    target_ = &target;

    const grid::DataGrid& g = target.findGrid();
    const grid::TGridColumn* focused = g.focusedColumn();
    cbFindIn->blockSignals(true);
    cbFindIn->clear();
    int selected = -1;
    for (const grid::TGridColumn* column : g.visibleColumns()) {
        if (selected < 0 && focused && column->Title.Caption == focused->Title.Caption)
            selected = cbFindIn->count();
        cbFindIn->addItem(data::qstringFromWindows1252(column->Title.Caption),
                          data::qstringFromWindows1252(column->FieldName()));
    }
    cbFindIn->addItem(QStringLiteral("<All>"));
    cbFindIn->setCurrentIndex(selected);
    cbFindIn->blockSignals(false);

    firstTry_ = true;
    if (isVisible()) hide();
    cbText->setFocus(Qt::OtherFocusReason);
    if (cbFindIn->currentIndex() < 0) cbFindIn->setCurrentIndex(cbFindIn->count() - 1);

    if (modal) {
        setWindowFlag(Qt::WindowStaysOnTopHint, false);
        exec();
    } else {
        setWindowFlag(Qt::WindowStaysOnTopHint, true);
        show();
    }
}

void TGridFindDlg::bFindClick() {
    findNext((QGuiApplication::keyboardModifiers() & Qt::ControlModifier) != 0);
}

void TGridFindDlg::findNext(bool reversed) {
    const QString typed = cbText->currentText();
    if (cbText->findText(typed, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0) {
        const QString keep = cbText->currentText();
        cbText->addItem(typed);
        cbText->setEditText(keep);
    }
    if (!target_) return;
    const data::CachedResultSet* ds = target_->findGrid().dataSet();
    if (!ds || !ds->active()) return;

    int direction =
        cbFindDirection->currentIndex() < 0 ? grid::ldFromTop : cbFindDirection->currentIndex();
    if (reversed) direction = direction == grid::ldUp ? grid::ldDown : grid::ldUp;
    if (!firstTry_ && direction == grid::ldFromTop) direction = grid::ldDown;
    const int matching = std::max(0, cbMatchinType->currentIndex());
    const bool all = cbFindIn->currentIndex() == cbFindIn->count() - 1;
    const std::string fieldName =
        cbFindIn->currentIndex() < 0 || all
            ? std::string()
            : data::windows1252FromQString(cbFindIn->currentData().toString());
    unsigned options = 0;
    if (!cbCharCase->isChecked()) options |= grid::loIgnoreCase;
    if (cbUseFormat->isChecked()) options |= grid::loDisplayText;
    if (all) options |= grid::loAllColumns;

    const bool found = target_->locateText(fieldName, dbcTreeFindRange->currentIndex(), matching,
                                           direction, options, data::windows1252FromQString(typed));
    if (found) firstTry_ = false;
    cbText->lineEdit()->setModified(false);
}

void TGridFindDlg::forgetTarget(GridFindTarget* target) {
    if (target_ == target) target_ = nullptr;
}

void TGridFindDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The one dialog is shown again and again: ask for the keyboard each time it appears,
    // so typing goes to "Find What:" without a click first, with or without a window
    // manager to hand the focus over.
    QTimer::singleShot(0, this, [this] {
        activateWindow();
        cbText->setFocus(Qt::ActiveWindowFocusReason);
        cbText->lineEdit()->selectAll();
    });
    if (const QScreen* s = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(s->availableGeometry().center());
        move(frame.topLeft());
    }
}

TGridFindDlg* GridFindDlg() { return instance().data(); }

void ShowFindDialog(GridFindTarget& target, const QString& initialText, bool modal) {
    if (!instance()) {
        instance() = new TGridFindDlg;
        qAddPostRoutine(deleteInstance);
    }
    instance()->showFor(target, initialText, modal);
}

void forgetFindTarget(GridFindTarget* target) {
    if (TGridFindDlg* dialog = GridFindDlg()) dialog->forgetTarget(target);
}

}  // namespace enviozvr::ui
