#include "ui/gridsortfilter.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QRadioButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "core/unhandled.h"
#include "data/codepage.h"
#include "ui/gridwidget.h"

namespace enviozvr::ui {

namespace {

// A small down arrow for the drop-down button of a filter cell.
QIcon dropDownIcon(const QPalette& palette) {
    QPixmap pixmap(12, 12);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(palette.color(QPalette::ButtonText));
    p.drawPolygon(QPolygon({QPoint(2, 4), QPoint(10, 4), QPoint(6, 9)}));
    return QIcon(pixmap);
}

}  // namespace

// ---- FilterCell --------------------------------------------------------------------------

FilterCell::FilterCell(int column, QWidget* parent) : QLineEdit(parent), column_(column) {
    setFrame(false);
    dropDown_ = addAction(dropDownIcon(palette()), QLineEdit::TrailingPosition);
    dropDown_->setVisible(false);
    connect(dropDown_, &QAction::triggered, this, [this] { emit dropDownRequested(column_); });
}

void FilterCell::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    dropDown_->setVisible(true);
}

void FilterCell::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // A drop-down list or dialog opened from the cell keeps it in editing.
    if (event->reason() == Qt::PopupFocusReason) return;
    dropDown_->setVisible(false);
    emit left(column_);
}

void FilterCell::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        emit entered(column_);
        return;
    }
    if (event->key() == Qt::Key_Down && (event->modifiers() & Qt::AltModifier)) {
        event->accept();
        emit dropDownRequested(column_);
        return;
    }
    QLineEdit::keyPressEvent(event);
}

// ---- GridSortFilter ----------------------------------------------------------------------

GridSortFilter::GridSortFilter(GridWidget& widget) : QObject(&widget), widget_(widget) {
    reread = [this] {
        data::CachedResultSet* set = widget_.dataGrid().dataSet();
        if (!set) return;
        set->close();
        set->open();
    };
    connect(&widget_, &GridWidget::titleClicked, this, &GridSortFilter::titleClicked);
    connect(&widget_, &GridWidget::filterRowVisibilityChanged, this,
            &GridSortFilter::showFilterRow);
    connect(&widget_, &GridWidget::reloaded, this, [this] {
        updateMarkers();
        layoutCells();
    });
    GridHeader* header = widget_.titleHeader();
    connect(header, &GridHeader::bandGeometryChanged, this, &GridSortFilter::layoutCells);
    connect(header, &QHeaderView::sectionResized, this, &GridSortFilter::layoutCells);
    connect(header, &QHeaderView::geometriesChanged, this, &GridSortFilter::layoutCells);
    // Columns moved by their titles: markers and cells follow their fields.
    connect(header, &QHeaderView::sectionMoved, this, [this] {
        updateMarkers();
        refreshCellTexts();
        layoutCells();
    });
    connect(widget_.horizontalScrollBar(), &QScrollBar::valueChanged, this,
            &GridSortFilter::layoutCells);
    widget_.installEventFilter(this);
    if (widget_.filterRowVisible()) showFilterRow(true);
}

GridSortFilter::~GridSortFilter() {
    if (sortPending_) qApp->removeEventFilter(this);
}

std::string GridSortFilter::fieldOf(int column) const {
    const grid::DataGrid& grid = widget_.dataGrid();
    if (column < 0 || column >= grid.columnCount()) return {};
    return grid.column(column).FieldName();
}

// -- sorting

void GridSortFilter::titleClicked(int column, Qt::KeyboardModifiers modifiers) {
    core::runGuarded([&] {
        const std::string field = fieldOf(column);
        if (field.empty()) return;
        const bool keepOthers = (modifiers & Qt::ControlModifier) != 0;
        sort_.click(field, keepOthers);
        updateMarkers();
        if (!keepOthers) {
            applySort();
            return;
        }
        if (!sortPending_) {
            sortPending_ = true;
            qApp->installEventFilter(this);  // to see Ctrl released wherever the focus is
        }
    });
}

void GridSortFilter::applySort() {
    if (sortPending_) {
        sortPending_ = false;
        qApp->removeEventFilter(this);
    }
    core::runGuarded([&] {
        // Reload whether or not the index could be built: the old index is gone already.
        struct Reload {
            GridWidget& w;
            ~Reload() { w.reload(); }
        } reload{widget_};
        grid::applyGridSort(widget_.dataGrid(), sort_);
    });
    updateMarkers();
}

void GridSortFilter::updateMarkers() {
    std::vector<GridHeader::SortMarker> markers;
    const grid::DataGrid& grid = widget_.dataGrid();
    const bool several = sort_.marked().size() > 1;
    for (const auto& entry : sort_.marked()) {
        const grid::TGridColumn* column = grid.findColumn(entry.fieldName);
        if (!column) continue;
        markers.push_back({column->Index(), entry.marker == grid::SortMarker::Down,
                           several ? sort_.sortIndex(entry.fieldName) : 0});
    }
    widget_.titleHeader()->setSortMarkers(std::move(markers));
    widget_.titleHeader()->viewport()->update();
}

bool GridSortFilter::eventFilter(QObject* watched, QEvent* event) {
    // The row beside the grid follows the grid wherever its window lays it out.
    if (watched == &widget_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize ||
                                event->type() == QEvent::Show || event->type() == QEvent::Hide))
        layoutCells();
    if (sortPending_) {
        const bool ctrlReleased = event->type() == QEvent::KeyRelease &&
                                  static_cast<QKeyEvent*>(event)->key() == Qt::Key_Control;
        const bool gridLeft = watched == &widget_ && event->type() == QEvent::FocusOut;
        if (ctrlReleased || gridLeft) applySort();
    }
    return QObject::eventFilter(watched, event);
}

// -- filter row

void GridSortFilter::ensureCells() {
    if (!row_) {
        // The row is a widget beside the grid, laid over the header's band: inside the
        // table view a screen reader would see the grid's cells only, and would take the
        // focus of a filter cell for the grid's current cell. A grid without a parent
        // keeps its cells in the band itself.
        QWidget* host = widget_.parentWidget();
        row_ = host ? new QWidget(host) : widget_.titleHeader()->viewport();
        if (host) {
            row_->setObjectName(QStringLiteral("FilterRow"));
            row_->setAccessibleName(QStringLiteral("Filtros"));
            row_->hide();
        }
    }
    const int count = widget_.dataGrid().columnCount();
    for (int i = static_cast<int>(cells_.size()); i < count; ++i) {
        auto* cell = new FilterCell(i, row_);
        connect(cell, &FilterCell::left, this, &GridSortFilter::cellLeft);
        connect(cell, &FilterCell::entered, this, &GridSortFilter::cellEntered);
        connect(cell, &FilterCell::dropDownRequested, this, &GridSortFilter::showDropDown);
        cells_.emplace_back(cell);
    }
}

FilterCell* GridSortFilter::cell(int column) const {
    if (column < 0 || column >= static_cast<int>(cells_.size())) return nullptr;
    return cells_[column];
}

void GridSortFilter::showFilterRow(bool visible) {
    GridHeader* header = widget_.titleHeader();
    if (!visible) {
        // Hiding the row stops editing; the stored texts stay.
        for (FilterCell* c : cells_) {
            if (!c) continue;
            c->blockSignals(true);
            c->hide();
            c->blockSignals(false);
        }
        if (row_ && row_ != header->viewport()) row_->hide();
        header->setBandHeight(0);
        return;
    }
    ensureCells();
    header->setBandHeight(widget_.rowHeight() + 2);
    refreshCellTexts();
    layoutCells();
}

void GridSortFilter::refreshCellTexts() {
    for (FilterCell* c : cells_)
        if (c) c->setText(data::qstringFromWindows1252(filters_.text(fieldOf(c->column()))));
}

void GridSortFilter::layoutCells() {
    if (!widget_.filterRowVisible()) return;
    ensureCells();
    GridHeader* header = widget_.titleHeader();
    // The row covers the band exactly (and the cells are clipped to it, like the titles
    // above them when the grid scrolls sideways).
    QPoint offset(0, 0);
    if (row_ != header->viewport()) {
        const QPoint at =
            header->viewport()->mapTo(row_->parentWidget(), QPoint(0, header->titleHeight()));
        row_->setGeometry(QRect(at, QSize(header->viewport()->width(), header->bandHeight())));
        row_->setVisible(header->bandHeight() > 0 && widget_.isVisible());
        row_->raise();
        offset = QPoint(0, -header->titleHeight());
    }
    for (FilterCell* c : cells_) {
        if (!c) continue;
        const QRect rect = c->column() < widget_.dataGrid().columnCount()
                               ? header->bandRect(c->column())
                               : QRect();
        if (rect.isEmpty()) {
            c->hide();
            continue;
        }
        const QString title =
            data::qstringFromWindows1252(widget_.dataGrid().column(c->column()).Title.Caption);
        c->setAccessibleName(QStringLiteral("Filtro ") + title);
        c->setGeometry(rect.adjusted(1, 1, -1, -1).translated(offset));
        c->show();
    }
}

void GridSortFilter::storeText(int column, const std::string& text) {
    const int count = widget_.dataGrid().columnCount();
    if (column < 0 || column >= count) return;
    const grid::TGridColumn& c = widget_.dataGrid().column(column);
    try {
        filters_.store(c.FieldName(), grid::columnOperandType(c), text);
    } catch (...) {
        if (FilterCell* cell = this->cell(column))
            cell->setText(data::qstringFromWindows1252(filters_.text(c.FieldName())));
        throw;
    }
    if (FilterCell* cell = this->cell(column)) cell->setText(data::qstringFromWindows1252(text));
}

void GridSortFilter::storeCell(int column, bool always) {
    FilterCell* c = cell(column);
    if (!c) return;
    const std::string text = data::windows1252FromQString(c->text());
    if (!always && text == filters_.text(fieldOf(column))) return;
    storeText(column, text);
}

void GridSortFilter::storeOpenEditor() {
    // Only the cell being edited can differ from its stored text: a rejected text is put
    // back as soon as it is rejected.
    for (FilterCell* c : cells_)
        if (c && c->isVisible()) storeCell(c->column());
}

void GridSortFilter::cellLeft(int column) {
    if (storing_) return;
    storing_ = true;
    core::runGuarded([&] { storeCell(column); });
    storing_ = false;
}

void GridSortFilter::cellEntered(int column) {
    if (storing_) return;
    storing_ = true;
    // Enter stores and parses whatever the cell holds, also a text equal to the stored one.
    const bool stored = core::runGuardedOk([&] { storeCell(column, true); });
    storing_ = false;
    if (stored) applyFilters();
}

void GridSortFilter::applyFilters() {
    // Focus moves while a message is shown or the list is read: cells leaving then store
    // nothing.
    storing_ = true;
    core::runGuarded([&] {
        storeOpenEditor();
        grid::installGridFilter(widget_.dataGrid(), filters_);
        struct Reload {
            GridWidget& w;
            ~Reload() { w.reload(); }
        } reload{widget_};
        if (reread) reread();
    });
    storing_ = false;
}

QMenu* GridSortFilter::dropDownMenu(int column) {
    auto* menu = new QMenu(&widget_);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setMinimumWidth(100);
    for (const grid::FilterDropDownEntry& entry : grid::filterDropDownItems()) {
        if (entry.item == grid::FilterDropDownItem::Separator) {
            menu->addSeparator();
            continue;
        }
        const grid::FilterDropDownItem item = entry.item;
        menu->addAction(QString::fromLatin1(entry.caption), this,
                        [this, column, item] { runDropDownItem(column, item); });
    }
    return menu;
}

void GridSortFilter::showDropDown(int column) {
    FilterCell* c = cell(column);
    if (!c) return;
    QMenu* menu = dropDownMenu(column);
    menu->popup(c->mapToGlobal(QPoint(0, c->height())));
}

void GridSortFilter::runDropDownItem(int column, grid::FilterDropDownItem item) {
    using Item = grid::FilterDropDownItem;
    const std::string field = fieldOf(column);
    if (field.empty()) return;
    switch (item) {
        case Item::OrderAscending:
        case Item::OrderDescending:
            sort_.setMarker(field, item == Item::OrderAscending ? grid::SortMarker::Down
                                                                : grid::SortMarker::Up);
            applySort();
            return;
        case Item::ClearFilter:
            filters_.clearAll();
            refreshCellTexts();
            applyFilters();
            return;
        case Item::ApplyFilter:
            applyFilters();
            return;
        case Item::Custom:
            openCustomFilter(column);
            return;
        case Item::All:
            filters_.clearColumn(field);
            refreshCellTexts();
            return;
        case Item::NotEmpty:
        case Item::Empty:
            core::runGuarded([&] { storeText(column, item == Item::Empty ? "=Null" : "<>Null"); });
            return;
        case Item::Separator:
            return;
    }
}

void GridSortFilter::openCustomFilter(int column) {
    core::runGuarded([&] {
        const grid::TGridColumn& c = widget_.dataGrid().column(column);
        const grid::FilterOperandType type = grid::columnOperandType(c);
        CustomFilterDialog dialog(type, grid::customFilterRowsOf(filters_.condition(c.FieldName())),
                                  widget_.window());
        if (execDialog(dialog) != QDialog::Accepted) return;
        storeText(column, dialog.filterText());
    });
}

// ---- CustomFilterDialog ------------------------------------------------------------------

CustomFilterDialog::CustomFilterDialog(grid::FilterOperandType type,
                                       const grid::CustomFilterRows& rows, QWidget* parent)
    : QDialog(parent), type_(type), entries_(grid::customFilterEntries(type)) {
    setWindowTitle(QStringLiteral("Custom filter"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Show records where:"), this));
    auto* rowsLayout = new QGridLayout;
    auto makeRow = [&](int r, const grid::CustomFilterRow& row, QComboBox*& op, QLineEdit*& value) {
        op = new QComboBox(this);
        for (grid::CustomFilterEntry e : entries_)
            op->addItem(QString::fromLatin1(grid::customFilterCaption(e)));
        const auto at = std::find(entries_.begin(), entries_.end(), row.entry);
        op->setCurrentIndex(at == entries_.end() ? 0 : static_cast<int>(at - entries_.begin()));
        value = new QLineEdit(data::qstringFromWindows1252(row.value), this);
        value->setMinimumWidth(160);
        rowsLayout->addWidget(op, r, 0);
        rowsLayout->addWidget(value, r, 1);
    };
    makeRow(0, rows.first, op1_, value1_);
    auto* relation = new QHBoxLayout;
    and_ = new QRadioButton(QStringLiteral("&And"), this);
    or_ = new QRadioButton(QStringLiteral("&Or"), this);
    (rows.orRelation ? or_ : and_)->setChecked(true);
    relation->addWidget(and_);
    relation->addWidget(or_);
    relation->addStretch();
    rowsLayout->addLayout(relation, 1, 0, 1, 2);
    makeRow(2, rows.second, op2_, value2_);
    layout->addLayout(rowsLayout);
    layout->addWidget(
        new QLabel(QStringLiteral("Use '_' to represent any single character"), this));
    layout->addWidget(
        new QLabel(QStringLiteral("Use '%' to represent any series of characters"), this));
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

grid::CustomFilterRow CustomFilterDialog::firstRow() const {
    return {entries_.at(std::max(0, op1_->currentIndex())),
            data::windows1252FromQString(value1_->text())};
}

grid::CustomFilterRow CustomFilterDialog::secondRow() const {
    return {entries_.at(std::max(0, op2_->currentIndex())),
            data::windows1252FromQString(value2_->text())};
}

bool CustomFilterDialog::orRelation() const { return or_->isChecked(); }

std::string CustomFilterDialog::filterText() const {
    return grid::customFilterText(type_, firstRow(), orRelation(), secondRow());
}

}  // namespace enviozvr::ui
