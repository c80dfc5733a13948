#include "ui/lookupbox.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScreen>
#include <QSizeGrip>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>

namespace enviozvr::ui {

namespace {

// Printable text typed without Ctrl or Alt: the keys that start a search.
bool isSearchKey(const QKeyEvent* event) {
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString text = event->text();
    return !text.isEmpty() && text.at(0).isPrint();
}

QString withoutTrailingBlanks(QString s) {
    while (!s.isEmpty() && s.back() == QLatin1Char(' ')) s.chop(1);
    return s;
}

struct ColumnLimits {
    int initial, minimum, maximum;
};
constexpr ColumnLimits kCodeColumn{60, 50, 60};
constexpr ColumnLimits kNameColumn{150, 100, 220};

// The two columns are wider than the drop-down, so making a name cell visible would
// scroll the codes out of view (and before the first show, with the viewport not yet
// laid out, even the names' start). Moving to a row scrolls only up and down and brings
// back the left edge: the code and the start of the name stay in view.
class DropDownTable : public QTableView {
  public:
    using QTableView::QTableView;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override {
        QTableView::scrollTo(index.isValid() ? index.siblingAtColumn(0) : index, hint);
    }
};

}  // namespace

LookupBox::LookupBox(QWidget* parent)
    : QComboBox(parent), model_(new QStandardItemModel(0, 2, this)) {
    model_->setHorizontalHeaderLabels({QStringLiteral("Código"), QStringLiteral("Nombre")});
    setModel(model_);
    setModelColumn(1);
    setEditable(false);
    setCurrentIndex(-1);
    connect(this, &QComboBox::currentIndexChanged, this, [this] { syncText(); });
}

void LookupBox::setRows(const std::vector<Row>& rows) {
    filling_ = true;
    hidePopup();
    model_->removeRows(0, model_->rowCount());
    for (const Row& r : rows) {
        auto* key = new QStandardItem(r.key);
        auto* name = new QStandardItem(r.name);
        name->setToolTip(r.name);  // whole, where the column cuts it
        key->setEditable(false);
        name->setEditable(false);
        model_->appendRow({key, name});
    }
    setCurrentIndex(-1);
    filling_ = false;
    syncText();
}

QString LookupBox::keyValue() const {
    const int row = currentIndex();
    if (row < 0) return {};
    return model_->index(row, 0).data().toString();
}

void LookupBox::setKeyValue(const QString& key) {
    const QString wanted = withoutTrailingBlanks(key);
    for (int row = 0; row < model_->rowCount(); ++row) {
        if (withoutTrailingBlanks(model_->index(row, 0).data().toString()) == wanted) {
            chooseRow(row);
            return;
        }
    }
    chooseRow(-1);
}

void LookupBox::setKeyValueSilently(const QString& key) {
    silent_ = true;
    setKeyValue(key);
    silent_ = false;
}

void LookupBox::chooseRow(int row) {
    hidePopup();
    setCurrentIndex(row);
    syncText();
}

void LookupBox::syncText() {
    if (filling_) return;
    const QString text = currentText();
    // The box is narrower than many names: the tip shows the chosen one whole.
    setToolTip(text);
    if (text == lastText_) return;
    lastText_ = text;
    if (!silent_) emit textChanged(text);
}

void LookupBox::ensureDropDown() {
    if (frame_) return;
    frame_ = new QFrame(this, Qt::Popup);
    frame_->setObjectName(QStringLiteral("LCiaOriDropDown"));
    frame_->setFrameShape(QFrame::Box);
    frame_->setLineWidth(1);
    auto* layout = new QVBoxLayout(frame_);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);

    table_ = new DropDownTable(frame_);
    table_->setModel(model_);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setShowGrid(true);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    table_->horizontalHeader()->setHighlightSections(false);
    table_->horizontalHeader()->setStretchLastSection(false);
    table_->horizontalHeader()->setMinimumSectionSize(kCodeColumn.minimum);
    table_->setColumnWidth(0, kCodeColumn.initial);
    table_->setColumnWidth(1, kNameColumn.initial);
    table_->setFont(font());
    table_->installEventFilter(this);
    connect(table_->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int section, int, int newSize) { clampSection(section, newSize); });
    connect(table_, &QTableView::clicked, this,
            [this](const QModelIndex& index) { chooseRow(index.row()); });
    layout->addWidget(table_);

    auto* grip = new QSizeGrip(frame_);
    layout->addWidget(grip, 0, Qt::AlignBottom | Qt::AlignRight);
}

void LookupBox::clampSection(int section, int newSize) {
    const ColumnLimits& limits = section == 0 ? kCodeColumn : kNameColumn;
    const int clamped = std::clamp(newSize, limits.minimum, limits.maximum);
    if (clamped != newSize) table_->horizontalHeader()->resizeSection(section, clamped);
}

QTableView* LookupBox::dropDown() {
    ensureDropDown();
    return table_;
}

QFrame* LookupBox::dropDownFrame() {
    ensureDropDown();
    return frame_;
}

bool LookupBox::dropDownVisible() const { return frame_ && frame_->isVisible(); }

void LookupBox::showPopup() {
    ensureDropDown();
    if (frame_->isVisible()) return;
    QSize size = userSize_;
    if (!size.isValid()) {
        const int header = table_->horizontalHeader()->sizeHint().height();
        const int rows = table_->verticalHeader()->defaultSectionSize() * kDropDownRows;
        const int grip = 12;
        size = QSize(kDropDownWidth, header + rows + grip + 2 * table_->frameWidth() + 2);
    }
    QPoint at = mapToGlobal(QPoint(0, height()));
    if (const QScreen* s = screen()) {
        const QRect area = s->availableGeometry();
        if (at.y() + size.height() > area.bottom())
            at.setY(mapToGlobal(QPoint(0, 0)).y() - size.height());
        at.setX(
            std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - size.width())));
    }
    frame_->setGeometry(QRect(at, size));
    const int row = std::max(currentIndex(), 0);
    if (model_->rowCount() > 0) {
        table_->setCurrentIndex(model_->index(row, 1));
        table_->scrollTo(model_->index(row, 1));
    }
    frame_->show();
    table_->setFocus(Qt::PopupFocusReason);
}

void LookupBox::hidePopup() {
    if (frame_ && frame_->isVisible()) {
        userSize_ = frame_->size();
        frame_->hide();
    }
}

void LookupBox::keyPressEvent(QKeyEvent* event) {
    if (isSearchKey(event)) {
        showPopup();
        // The search runs over the name column: the current cell of the table is a name.
        table_->keyboardSearch(event->text());
        return;
    }
    QComboBox::keyPressEvent(event);
}

void LookupBox::wheelEvent(QWheelEvent* event) {
    // Each choice reconnects the company database: the wheel does not change it.
    event->ignore();
}

bool LookupBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == table_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                if (table_->currentIndex().isValid())
                    chooseRow(table_->currentIndex().row());
                else
                    hidePopup();
                return true;
            case Qt::Key_Escape:
            case Qt::Key_F4:
                hidePopup();
                return true;
            default:
                break;
        }
    }
    return QComboBox::eventFilter(watched, event);
}

void TypeOpensComboBox::keyPressEvent(QKeyEvent* event) {
    if (isSearchKey(event) && count() > 0) {
        showPopup();
        view()->keyboardSearch(event->text());
        return;
    }
    QComboBox::keyPressEvent(event);
}

}  // namespace enviozvr::ui
