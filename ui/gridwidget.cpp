#include "ui/gridwidget.h"

#include <qdrawutil.h>

#include <QApplication>
#include <QBitmap>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QValidator>

#include "core/unhandled.h"
#include "data/codepage.h"
#include "data/value.h"
#include "ui/gridclipboard.h"
#include "ui/gridsearch.h"

namespace enviozvr::ui {

namespace {

Qt::Alignment toQtAlignment(grid::TAlignment alignment) {
    switch (alignment) {
        case grid::taRightJustify:
            return Qt::AlignRight | Qt::AlignVCenter;
        case grid::taCenter:
            return Qt::AlignHCenter | Qt::AlignVCenter;
        default:
            return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

bool dataSetOpen(const grid::DataGrid& grid) { return grid.dataSet() && grid.dataSet()->active(); }

// Draws selected cells (the grid model's selection) and the focused cell highlighted.
class GridDelegate : public QStyledItemDelegate {
  public:
    explicit GridDelegate(GridWidget& view) : QStyledItemDelegate(&view), view_(view) {}

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const grid::DataGrid& g = view_.dataGrid();
        const grid::TGridSelection& selection = g.Selection();
        bool selected = false;
        switch (selection.SelectionType()) {
            case grid::gstAll:
                selected = true;
                break;
            case grid::gstColumns:
                selected = index.column() < g.columnCount() &&
                           selection.Columns.contains(&g.column(index.column()));
                break;
            default:
                break;
        }
        const bool focused = view_.hasFocus() && index == view_.currentIndex();
        if (selected || focused)
            option->state |= QStyle::State_Selected;
        else
            option->state &= ~QStyle::State_Selected;
        option->state &= ~QStyle::State_HasFocus;
        // Selected cells keep the highlight when the grid loses the focus.
        option->state |= QStyle::State_Active;
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        view_.paintOverCell(*painter, option, index);
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            view_.prepareCellEditor(*line, index.column());
        return editor;
    }

  private:
    GridWidget& view_;
};

// The first character of `text` (one or two UTF-16 units) that Windows-1252 lacks; empty
// when every one fits.
QString firstCharacterOutsideWindows1252(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype n =
            text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()
                ? 2
                : 1;
        const QString character = text.mid(i, n);
        if (!data::fitsWindows1252(character)) return character;
        i += n - 1;
    }
    return {};
}

// Refuses an input holding a character the database's character set lacks, telling the
// user so at the editor (the text stays as it was).
class Windows1252Validator : public QValidator {
  public:
    explicit Windows1252Validator(QLineEdit* editor) : QValidator(editor), editor_(editor) {}

    State validate(QString& input, int&) const override {
        const QString refused = firstCharacterOutsideWindows1252(input);
        if (refused.isEmpty()) return Acceptable;
        QToolTip::showText(editor_->mapToGlobal(QPoint(0, editor_->height())),
                           GridWidget::refusedCharacterText(refused), editor_);
        return Invalid;
    }

  private:
    QLineEdit* editor_;
};

void drawRaisedCell(QPainter* painter, const QRect& rect, const QPalette& palette,
                    const QColor& face) {
    painter->fillRect(rect, face);
    qDrawWinButton(painter, rect, palette, false, nullptr);
}

}  // namespace

// ---- Environment -----------------------------------------------------------------------

grid::TColor ScreenGridEnvironment::systemColorRgb(int index) const {
    const QPalette palette = QApplication::palette();
    QColor c;
    switch (index) {
        case 8:  // window text
            c = palette.color(QPalette::Text);
            break;
        case 13:  // highlight
            c = palette.color(QPalette::Highlight);
            break;
        case 14:  // highlight text
            c = palette.color(QPalette::HighlightedText);
            break;
        case 15:  // button face
            c = palette.color(QPalette::Button);
            break;
        case 18:  // button text
            c = palette.color(QPalette::ButtonText);
            break;
        default:  // window and the rest
            c = palette.color(QPalette::Base);
            break;
    }
    return grid::rgbColor(c.red(), c.green(), c.blue());
}

int ScreenGridEnvironment::pixelsPerInch() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? qRound(screen->logicalDotsPerInchX()) : 96;
}

const ScreenGridEnvironment& ScreenGridEnvironment::instance() {
    static const ScreenGridEnvironment environment;
    return environment;
}

QColor toQColor(grid::TColor color, const grid::GridEnvironment& environment) {
    const grid::TColor rgb = grid::colorToRgb(color, environment);
    return QColor(grid::redOf(rgb), grid::greenOf(rgb), grid::blueOf(rgb));
}

// ---- GridModel -------------------------------------------------------------------------

GridModel::GridModel(grid::DataGrid& grid, QObject* parent)
    : QAbstractTableModel(parent), writeCell(&GridModel::writeCellText), grid_(grid) {}

int GridModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !dataSetOpen(grid_)) return 0;
    return grid_.dataSet()->rowsShown();
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : grid_.columnCount();
}

QString GridModel::cellText(int row, int column) const {
    std::string text = grid_.cellTextAt(grid_.column(column), row);
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    }
    return data::qstringFromWindows1252(text);
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.column() >= grid_.columnCount()) return {};
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return cellText(index.row(), index.column());
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(toQtAlignment(grid_.column(index.column()).Alignment));
        default:
            return {};
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= grid_.columnCount()) return {};
    const grid::TGridColumn& column = grid_.column(section);
    switch (role) {
        case Qt::DisplayRole:
            return data::qstringFromWindows1252(column.Title.Caption);
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(toQtAlignment(column.Title.Alignment));
        default:
            return {};
    }
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (editing_ && index.column() < grid_.columnCount()) {
        const grid::GridField& field = grid_.column(index.column()).Field();
        if (fieldEditable(field)) f |= Qt::ItemIsEditable;
    }
    return f;
}

bool GridModel::fieldEditable(const grid::GridField& field) const {
    const data::CachedResultSet* set = grid_.dataSet();
    if (!set) return false;
    if (field.kind == grid::GridField::Kind::Data) return !set->field(field.index).readOnly;
    if (field.kind != grid::GridField::Kind::Lookup) return false;
    // A looked-up column is edited through its key fields (a drop-down writes them).
    for (const std::string& key : grid::splitFieldNames(grid_.lookupField(field.index).keyFields)) {
        const int k = set->fieldIndex(key);
        if (k < 0 || set->field(k).readOnly) return false;
    }
    return true;
}

bool GridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!editing_ || role != Qt::EditRole || !index.isValid() || !writeCell) return false;
    const auto state = [this] {
        const data::CachedResultSet* set = grid_.dataSet();
        return set ? set->state() : data::DataSetState::Inactive;
    };
    const data::DataSetState before = state();
    const bool ok = core::runGuardedOk(
        [&] { writeCell(grid_, index.row(), grid_.column(index.column()), value.toString()); });
    if (ok)
        emit dataChanged(this->index(index.row(), 0), this->index(index.row(), columnCount() - 1));
    if (state() != before) emit recordStateChanged();
    return ok;
}

void GridModel::writeCellText(grid::DataGrid& grid, int row, grid::TGridColumn& column,
                              const QString& text) {
    data::CachedResultSet& set = *grid.dataSet();
    const grid::GridField& field = column.Field();
    if (field.kind != grid::GridField::Kind::Data) return;
    const data::Field& target = set.field(field.index);
    const QString refused = firstCharacterOutsideWindows1252(text);
    if (!refused.isEmpty())
        throw data::DataError(
            data::windows1252FromQString(GridWidget::refusedCharacterText(refused)));
    if (target.type == data::FieldType::String && target.size > 0 && text.size() > target.size)
        throw data::DataError("'" + data::windows1252FromQString(text) +
                              "' is too long for field '" + target.label() + "' (at most " +
                              std::to_string(target.size) + " characters)");
    const std::string bytes = data::windows1252FromQString(text);
    data::Value value;
    if (!bytes.empty()) {
        switch (set.field(field.index).type) {
            case data::FieldType::Integer:
                value = data::Value::integer(data::Value::text(bytes).asInteger());
                break;
            case data::FieldType::String:
                value = data::Value::text(bytes);
                break;
            default:
                throw data::DataError("'" + bytes + "' cannot be entered in field '" +
                                      set.field(field.index).label() + "'");
        }
    }
    if (set.recNo() != row) set.moveTo(row);
    if (set.state() == data::DataSetState::Browse) set.edit();
    set.setValue(field.index, std::move(value));
}

void GridModel::reset() {
    beginResetModel();
    endResetModel();
}

void GridModel::textsChanged() {
    if (rowCount() > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    if (columnCount() > 0) emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

// ---- GridHeader ------------------------------------------------------------------------

GridHeader::GridHeader(grid::DataGrid& grid, QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent), grid_(grid) {
    setMouseTracking(true);
    setSectionsClickable(false);
    setSectionsMovable(true);
    setHighlightSections(false);
    setStretchLastSection(false);
    setSectionResizeMode(QHeaderView::Interactive);
    setMinimumSectionSize(1);
}

int GridHeader::titleHeight() const { return fontMetrics().height() + 5; }

void GridHeader::setBandHeight(int height) {
    if (height == bandHeight_) return;
    bandHeight_ = height;
    updateGeometry();
    if (QWidget* view = parentWidget()) {
        // The table lays its header out from the header's size hint, in its
        // updateGeometries slot.
        QMetaObject::invokeMethod(view, "updateGeometries", Qt::DirectConnection);
    }
    viewport()->update();
    emit bandGeometryChanged();
}

QRect GridHeader::bandRect(int logicalIndex) const {
    if (bandHeight_ <= 0 || isSectionHidden(logicalIndex)) return {};
    return QRect(sectionViewportPosition(logicalIndex), titleHeight(), sectionSize(logicalIndex),
                 bandHeight_);
}

bool GridHeader::columnSelectionPossible() const {
    return grid_.hasOption(grid::dgTitles) && !grid_.hasOption(grid::dgRowSelect) &&
           (grid_.AllowedSelections & grid::allowed(grid::gstColumns));
}

QRect GridHeader::columnSelectRect(int logicalIndex) const {
    if (!columnSelectionPossible() || logicalIndex < 0 || isSectionHidden(logicalIndex)) return {};
    const int title = titleHeight();
    const int zone = std::min(title, kColumnSelectZone);
    return QRect(sectionViewportPosition(logicalIndex), title - zone, sectionSize(logicalIndex),
                 zone);
}

void GridHeader::setSortMarkers(std::vector<SortMarker> markers) {
    markers_ = std::move(markers);
    viewport()->update();
}

QSize GridHeader::sizeHint() const {
    QSize size = QHeaderView::sizeHint();
    size.setHeight(titleHeight() + bandHeight_);
    return size;
}

QCursor GridHeader::columnSelectCursor() {
    // A black arrow pointing down, outlined in white.
    static const QCursor cursor = [] {
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing, false);
        QPainterPath arrow;
        arrow.moveTo(6, 0);
        arrow.lineTo(10, 0);
        arrow.lineTo(10, 8);
        arrow.lineTo(14, 8);
        arrow.lineTo(8, 15);
        arrow.lineTo(2, 8);
        arrow.lineTo(6, 8);
        arrow.closeSubpath();
        p.setPen(Qt::white);
        p.setBrush(Qt::black);
        p.drawPath(arrow);
        p.end();
        return QCursor(pixmap, 8, 15);
    }();
    return cursor;
}

void GridHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    if (logicalIndex < 0 || logicalIndex >= grid_.columnCount()) return;
    const grid::TGridColumn& column = grid_.column(logicalIndex);
    painter->save();
    const QRect title(rect.left(), rect.top(), rect.width(), titleHeight());
    drawRaisedCell(painter, title, palette(), toQColor(column.Title.Color, grid_.environment()));
    QRect text = title.adjusted(2, 1, -2, -1);
    for (const SortMarker& marker : markers_) {
        if (marker.column != logicalIndex) continue;
        // A small triangle at the right of the title, with its rank in a multi-column sort.
        const int size = 7;
        const int x = title.right() - size - 4;
        const int y = title.center().y() - size / 2;
        QPolygon triangle;
        if (marker.ascending)
            triangle << QPoint(x, y + size - 2) << QPoint(x + size, y + size - 2)
                     << QPoint(x + size / 2, y);
        else
            triangle << QPoint(x, y) << QPoint(x + size, y) << QPoint(x + size / 2, y + size - 2);
        painter->setPen(Qt::NoPen);
        painter->setBrush(palette().color(QPalette::ButtonText));
        painter->drawPolygon(triangle);
        text.setRight(x - 2);
        if (marker.rank > 0) {
            QFont small = font();
            small.setPointSizeF(std::max(5.0, font().pointSizeF() - 2));
            painter->setFont(small);
            painter->setPen(palette().color(QPalette::ButtonText));
            const QString rank = QString::number(marker.rank);
            const int w = QFontMetrics(small).horizontalAdvance(rank);
            painter->drawText(QRect(x - w - 1, title.top(), w + 1, title.height()),
                              Qt::AlignVCenter, rank);
            text.setRight(x - w - 3);
        }
    }
    painter->setFont(font());
    painter->setPen(toQColor(column.Title.Font.Color, grid_.environment()));
    // A title wider than its column is cut at the column's edge.
    painter->setClipRect(text);
    painter->drawText(text, toQtAlignment(column.Title.Alignment),
                      data::qstringFromWindows1252(column.Title.Caption));
    painter->setClipping(false);
    if (bandHeight_ > 0) {
        painter->fillRect(QRect(rect.left(), title.bottom() + 1, rect.width(), bandHeight_),
                          palette().color(QPalette::Button));
    }
    painter->restore();
}

void GridHeader::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const int section = logicalIndexAt(pos);
    pressedSection_ = -1;
    if (event->button() == Qt::LeftButton && cursor().shape() != Qt::SplitHCursor) {
        if (columnSelectRect(section).contains(pos)) {
            emit columnSelectClicked(section, event->modifiers());
            event->accept();
            return;
        }
        if (section >= 0 && pos.y() < titleHeight()) {
            pressedSection_ = section;
            pressPos_ = pos;
        }
    }
    QHeaderView::mousePressEvent(event);
}

void GridHeader::mouseMoveEvent(QMouseEvent* event) {
    QHeaderView::mouseMoveEvent(event);
    if (event->buttons() != Qt::NoButton) return;
    const QPoint pos = event->position().toPoint();
    const bool inZone =
        columnSelectRect(logicalIndexAt(pos)).contains(pos) && cursor().shape() != Qt::SplitHCursor;
    if (inZone)
        setCursor(columnSelectCursor());
    else if (overZone_ && cursor().shape() != Qt::SplitHCursor)
        unsetCursor();
    overZone_ = inZone;
}

void GridHeader::mouseReleaseEvent(QMouseEvent* event) {
    const int pressed = pressedSection_;
    pressedSection_ = -1;
    const QPoint pos = event->position().toPoint();
    const int visualBefore = pressed >= 0 ? visualIndex(pressed) : -1;
    QHeaderView::mouseReleaseEvent(event);
    if (pressed >= 0 && event->button() == Qt::LeftButton &&
        (pos - pressPos_).manhattanLength() < QApplication::startDragDistance() &&
        logicalIndexAt(pos) == pressed && visualIndex(pressed) == visualBefore) {
        emit titleClicked(pressed, event->modifiers());
    }
}

void GridHeader::leaveEvent(QEvent* event) {
    if (overZone_) unsetCursor();
    overZone_ = false;
    QHeaderView::leaveEvent(event);
}

// ---- GridIndicator ---------------------------------------------------------------------

GridIndicator::GridIndicator(QWidget* parent) : QHeaderView(Qt::Vertical, parent) {
    setSectionsClickable(false);
    setSectionResizeMode(QHeaderView::Fixed);
    setHighlightSections(false);
    setFixedWidth(kWidth);
}

void GridIndicator::setCurrentRow(int row) {
    if (row == currentRow_) return;
    const int old = currentRow_;
    currentRow_ = row;
    if (old >= 0) updateSection(old);
    if (row >= 0) updateSection(row);
}

QSize GridIndicator::sizeHint() const {
    QSize size = QHeaderView::sizeHint();
    size.setWidth(kWidth);
    return size;
}

void GridIndicator::setCurrentMark(Mark mark) {
    if (mark == mark_) return;
    mark_ = mark;
    if (currentRow_ >= 0) updateSection(currentRow_);
}

void GridIndicator::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    painter->save();
    drawRaisedCell(painter, rect, palette(), palette().color(QPalette::Button));
    if (logicalIndex == currentRow_ && mark_ == Mark::Edit) {
        // The row is edited: an I-beam.
        const int h = std::min(10, rect.height() - 4);
        const int x = rect.center().x();
        const int y = rect.center().y() - h / 2;
        painter->setPen(QPen(Qt::black, 1));
        painter->drawLine(x, y, x, y + h);
        painter->drawLine(x - 2, y, x + 2, y);
        painter->drawLine(x - 2, y + h, x + 2, y + h);
    } else if (logicalIndex == currentRow_ && mark_ == Mark::Insert) {
        // A new row: an asterisk.
        const int r = std::min(4, (rect.height() - 4) / 2);
        const QPoint c = rect.center();
        painter->setPen(QPen(Qt::black, 1));
        painter->drawLine(c.x(), c.y() - r, c.x(), c.y() + r);
        painter->drawLine(c.x() - r, c.y() - r / 2, c.x() + r, c.y() + r / 2);
        painter->drawLine(c.x() - r, c.y() + r / 2, c.x() + r, c.y() - r / 2);
    } else if (logicalIndex == currentRow_) {
        // The current record: a black triangle pointing right.
        const int h = std::min(8, rect.height() - 4);
        const int x = rect.left() + (rect.width() - h / 2) / 2;
        const int y = rect.center().y() - h / 2;
        QPolygon triangle;
        triangle << QPoint(x, y) << QPoint(x, y + h) << QPoint(x + h / 2, y + h / 2);
        painter->setPen(Qt::NoPen);
        painter->setBrush(Qt::black);
        painter->drawPolygon(triangle);
    }
    painter->restore();
}

// ---- GridWidget ------------------------------------------------------------------------

GridWidget::GridWidget(QWidget* parent)
    : QTableView(parent),
      grid_(std::make_unique<grid::DataGrid>("Grid1", &ScreenGridEnvironment::instance())) {
    model_ = new GridModel(*grid_, this);
    header_ = new GridHeader(*grid_, this);
    indicator_ = new GridIndicator(this);
    setHorizontalHeader(header_);
    setVerticalHeader(indicator_);
    setModel(model_);
    setItemDelegate(new GridDelegate(*this));
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setTabKeyNavigation(true);
    setCornerButtonEnabled(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    indicator_->setDefaultSectionSize(rowHeight());
    indicator_->setMinimumSectionSize(1);

    connect(header_, &QHeaderView::sectionMoved, this, &GridWidget::columnMoved);
    connect(header_, &QHeaderView::sectionResized, this, &GridWidget::columnResized);
    connect(header_, &GridHeader::columnSelectClicked, this, &GridWidget::columnSelectClicked);
    connect(header_, &GridHeader::titleClicked, this, &GridWidget::titleClicked);
    connect(model_, &GridModel::recordStateChanged, this, &GridWidget::recordStateChanged);
    connect(this, &GridWidget::recordStateChanged, this, &GridWidget::updateIndicatorMark);

    grid_->onRepaint = [this] {
        viewport()->update();
        header_->viewport()->update();
    };
    grid_->onDataSetChanged = [this] { syncFromDataGrid(); };

    confirmDelete = [this] {
        QMessageBox box(QMessageBox::Question, QApplication::applicationName(),
                        QStringLiteral("Delete record?"), QMessageBox::Ok | QMessageBox::Cancel,
                        this);
        box.setObjectName(QStringLiteral("ConfirmDelete"));
        box.setDefaultButton(QMessageBox::Ok);
        const int answer = box.exec();
        return box.clickedButton() ? box.clickedButton() == box.button(QMessageBox::Ok)
                                   : answer == QMessageBox::Ok || answer == QDialog::Accepted;
    };
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        const auto inside = [this](QWidget* w) { return w && (w == this || isAncestorOf(w)); };
        if (inside(old) && now && !inside(now)) focusLeft();
    });
    search_ = new GridSearch(*this);
}

GridWidget::~GridWidget() {
    grid_->onRepaint = nullptr;
    grid_->onDataSetChanged = nullptr;
}

int GridWidget::rowHeight() const { return fontMetrics().height() + 4; }

void GridWidget::reload() {
    const bool wasSyncing = syncing_;
    syncing_ = true;
    data::refreshLocaleFormats();  // dates and times of this read in the locale as it is now
    grid_->bindFields();
    model_->reset();
    indicator_->setDefaultSectionSize(rowHeight());
    applyColumns();
    const data::CachedResultSet* set = grid_->dataSet();
    const int rows = model_->rowCount();
    if (rows > 0 && grid_->columnCount() > 0) {
        const int row = std::clamp(set->recNo(), 0, rows - 1);
        grid_->SelectedIndex = std::clamp(grid_->SelectedIndex, 0, grid_->columnCount() - 1);
        setCurrentSilently(row, grid_->SelectedIndex);
        scrollTo(model_->index(row, grid_->SelectedIndex));
    } else {
        setCurrentSilently(-1, grid_->SelectedIndex);
    }
    syncing_ = wasSyncing;
    updateWindowRows();
    updateIndicatorMark();
    emit reloaded();
}

void GridWidget::applyColumns() {
    const bool wasSyncing = syncing_;
    syncing_ = true;
    header_->setVisible(grid_->hasOption(grid::dgTitles));
    indicator_->setVisible(grid_->hasOption(grid::dgIndicator));
    setShowGrid(grid_->hasOption(grid::dgColLines) || grid_->hasOption(grid::dgRowLines));
    header_->setSectionResizeMode(grid_->hasOption(grid::dgColumnResize) ? QHeaderView::Interactive
                                                                         : QHeaderView::Fixed);
    for (int i = 0; i < grid_->columnCount() && i < header_->count(); ++i) {
        const grid::TGridColumn& column = grid_->column(i);
        header_->setSectionHidden(i, !column.Visible);
        if (column.Visible) header_->resizeSection(i, column.Width);
    }
    syncing_ = wasSyncing;
}

void GridWidget::setEditingEnabled(bool on) {
    model_->setEditing(on);
    grid_->setOption(grid::dgEditing, on);
    setEditTriggers(on ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                             QAbstractItemView::AnyKeyPressed
                       : QAbstractItemView::NoEditTriggers);
}

bool GridWidget::editingEnabled() const { return model_->editing(); }

bool GridWidget::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (!model_->editing()) return false;
    return QTableView::edit(index, trigger, event);
}

void GridWidget::closeCellEditor(bool commit) {
    if (state() != QAbstractItemView::EditingState) return;
    QWidget* editor = QApplication::focusWidget();
    while (editor && editor->parentWidget() != viewport()) editor = editor->parentWidget();
    if (!editor) return;
    if (commit) commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void GridWidget::prepareCellEditor(QLineEdit& editor, int column) {
    const data::CachedResultSet* set = grid_->dataSet();
    if (set && column >= 0 && column < grid_->columnCount()) {
        const grid::GridField& field = grid_->column(column).Field();
        if (field.kind == grid::GridField::Kind::Data) {
            const data::Field& f = set->field(field.index);
            if (f.type == data::FieldType::String && f.size > 0) editor.setMaxLength(f.size);
        }
    }
    editor.setValidator(new Windows1252Validator(&editor));
    connect(&editor, &QLineEdit::textEdited, this,
            [this] { core::runGuarded([this] { cellTextEdited(); }); });
}

QString GridWidget::refusedCharacterText(const QString& character) {
    return QStringLiteral(
               "No se puede guardar \u00ab%1\u00bb: el juego de caracteres de la "
               "base de datos (Windows-1252) no lo tiene.")
        .arg(character);
}

void GridWidget::cellTextEdited() {
    if (!model_->editing() || !dataSetOpen(*grid_)) return;
    data::CachedResultSet& set = *grid_->dataSet();
    if (set.state() != data::DataSetState::Browse) return;
    set.edit();
    emit recordStateChanged();
}

void GridWidget::updateIndicatorMark() {
    const data::CachedResultSet* set = grid_->dataSet();
    const data::DataSetState state = set ? set->state() : data::DataSetState::Inactive;
    indicator_->setCurrentMark(state == data::DataSetState::Edit     ? GridIndicator::Mark::Edit
                               : state == data::DataSetState::Insert ? GridIndicator::Mark::Insert
                                                                     : GridIndicator::Mark::Browse);
}

void GridWidget::editOperation(const std::function<void(data::CachedResultSet&)>& operation) {
    if (!model_->editing() || !dataSetOpen(*grid_)) return;
    struct Reload {
        GridWidget& w;
        ~Reload() {
            w.reload();
            emit w.recordStateChanged();
        }
    } reload{*this};
    operation(*grid_->dataSet());
}

void GridWidget::insertRecord() {
    closeCellEditor(true);
    editOperation([](data::CachedResultSet& set) { set.insert(); });
}

void GridWidget::appendRecord() {
    closeCellEditor(true);
    editOperation([](data::CachedResultSet& set) { set.append(); });
}

void GridWidget::deleteRecord() {
    closeCellEditor(false);
    editOperation([this](data::CachedResultSet& set) {
        const bool newRow = set.state() == data::DataSetState::Insert;
        if (!newRow && !set.isEmpty() && grid_->hasOption(grid::dgConfirmDelete) && confirmDelete &&
            !confirmDelete())
            return;
        set.remove();
    });
}

void GridWidget::editRecord() {
    editOperation([](data::CachedResultSet& set) { set.edit(); });
}

void GridWidget::postRecord() {
    closeCellEditor(true);
    editOperation([](data::CachedResultSet& set) { set.post(); });
}

namespace {

bool changing(const data::CachedResultSet& set) {
    return set.state() == data::DataSetState::Insert || set.state() == data::DataSetState::Edit;
}

// The delete made last, -1 when none waits.
int lastDelete(const data::CachedResultSet& set) {
    for (int i = set.changeCount() - 1; i >= 0; --i)
        if (set.changeLog()[i].kind == data::ukDelete) return i;
    return -1;
}

}  // namespace

void GridWidget::cancelRecord() {
    closeCellEditor(false);
    editOperation([](data::CachedResultSet& set) {
        if (changing(set))
            set.cancel();
        else if (const int change = set.currentChange(); change >= 0)
            set.revertChange(change);
    });
}

void GridWidget::restoreDeletedRecord() {
    closeCellEditor(true);
    editOperation([](data::CachedResultSet& set) {
        if (changing(set)) set.post();  // as leaving the row would
        if (const int change = lastDelete(set); change >= 0) set.revertChange(change);
    });
}

bool GridWidget::canCancelRecord() const {
    if (!model_->editing() || !dataSetOpen(*grid_)) return false;
    const data::CachedResultSet& set = *grid_->dataSet();
    return changing(set) || set.currentChange() >= 0;
}

bool GridWidget::canRestoreDeletedRecord() const {
    return model_->editing() && dataSetOpen(*grid_) && lastDelete(*grid_->dataSet()) >= 0;
}

void GridWidget::focusLeft() {
    if (!grid_->hasOption(grid::dgCancelOnExit) || !model_->editing() || !dataSetOpen(*grid_))
        return;
    const data::CachedResultSet& set = *grid_->dataSet();
    if (set.state() == data::DataSetState::Insert && !set.modified()) {
        core::runGuarded([&] { cancelRecord(); });
    }
}

int GridWidget::currentRecord() const {
    return dataSetOpen(*grid_) ? grid_->dataSet()->recNo() : -1;
}

int GridWidget::currentColumn() const { return grid_->SelectedIndex; }

void GridWidget::moveToCell(int row, int column) {
    const int rows = model_->rowCount();
    if (rows == 0 || grid_->columnCount() == 0) return;
    row = std::clamp(row, 0, rows - 1);
    column = std::clamp(column, 0, grid_->columnCount() - 1);
    const QModelIndex index = model_->index(row, column);
    setCurrentIndex(index);
    scrollTo(index);
}

void GridWidget::moveToRecord(int row) { moveToCell(row, std::max(0, currentColumn())); }
void GridWidget::first() { moveToRecord(0); }
void GridWidget::prior() { moveToRecord(currentRecord() - 1); }
void GridWidget::next() { moveToRecord(currentRecord() + 1); }
void GridWidget::last() { moveToRecord(model_->rowCount() - 1); }

void GridWidget::refresh() {
    if (refreshHandler) {
        refreshHandler();
    } else if (dataSetOpen(*grid_)) {
        grid_->dataSet()->refresh();
    }
    reload();
}

bool GridWidget::copyAllowed() const {
    return grid_->canCopy() && (grid_->EditActions & grid::geaCopy);
}

bool GridWidget::selectAllAllowed() const {
    return grid_->canSelectAll() && (grid_->EditActions & grid::geaSelectAll);
}

void GridWidget::copySelection() {
    if (copyAllowed()) CopyGridToClipboard(*grid_, false);
}

void GridWidget::selectAll() {
    if (selectAllAllowed()) grid_->Selection().SelectWholeGrid();
}

void GridWidget::addKeyHook(KeyHook hook) { keyHooks_.push_back(std::move(hook)); }

void GridWidget::addCellPainter(CellPainter painter) {
    cellPainters_.push_back(std::move(painter));
}

void GridWidget::paintOverCell(QPainter& painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    for (const CellPainter& p : cellPainters_) {
        if (!p) continue;
        painter.save();
        p(painter, option, index);
        painter.restore();
    }
}

void GridWidget::setFilterRowVisible(bool visible) {
    if (visible == filterRowVisible_) return;
    filterRowVisible_ = visible;
    emit filterRowVisibilityChanged(visible);
}

bool GridWidget::isWindowFocus() const {
    const QWidget* focus = window()->focusWidget();
    return focus && (focus == this || isAncestorOf(focus));
}

void GridWidget::keyPressEvent(QKeyEvent* event) {
    event->accept();
    core::runGuarded([&] { handleKey(*event); });
}

void GridWidget::handleKey(QKeyEvent& event) {
    if (!dataSetOpen(*grid_)) {
        event.ignore();
        return;
    }
    for (const KeyHook& hook : keyHooks_) {
        if (hook && hook(event)) {
            event.accept();
            return;
        }
    }
    const Qt::KeyboardModifiers mods =
        event.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const int key = event.key();
    if (mods == Qt::ControlModifier && (key == Qt::Key_C || key == Qt::Key_Insert)) {
        copySelection();
        return;
    }
    if (mods == Qt::ControlModifier && key == Qt::Key_A) {
        selectAll();
        return;
    }
    const bool editorOpen = state() == QAbstractItemView::EditingState;
    if (model_->editing() && !editorOpen) {
        const data::CachedResultSet& set = *grid_->dataSet();
        const bool changing =
            set.state() == data::DataSetState::Insert || set.state() == data::DataSetState::Edit;
        if (mods == Qt::NoModifier && key == Qt::Key_Insert) {
            insertRecord();
            return;
        }
        if (mods == Qt::ControlModifier && key == Qt::Key_Delete) {
            deleteRecord();
            return;
        }
        if (mods == Qt::NoModifier && key == Qt::Key_Escape && changing) {
            cancelRecord();
            return;
        }
        // Down on the last row appends, unless that row is a new one never changed.
        if (mods == Qt::NoModifier && key == Qt::Key_Down &&
            currentRecord() >= model_->rowCount() - 1 &&
            !(set.state() == data::DataSetState::Insert && !set.modified())) {
            appendRecord();
            return;
        }
    }
    // Ctrl+Tab leaves the grid, as Tab does past its last cell (Shift: before its first).
    const bool backTab =
        key == Qt::Key_Backtab || (key == Qt::Key_Tab && (mods & Qt::ShiftModifier));
    if (!editorOpen && (key == Qt::Key_Tab || key == Qt::Key_Backtab) &&
        (mods & Qt::ControlModifier)) {
        QWidget::focusNextPrevChild(!backTab);  // the view's own would send Tab again
        return;
    }
    if (!editorOpen && mods == Qt::NoModifier && key == Qt::Key_Tab) {
        if (!moveBy(1)) QWidget::focusNextPrevChild(true);
        return;
    }
    if (!editorOpen && mods == Qt::NoModifier && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
        moveBy(1);
        return;
    }
    if (!editorOpen && backTab) {
        if (!moveBy(-1)) QWidget::focusNextPrevChild(false);
        return;
    }
    QTableView::keyPressEvent(&event);
}

bool GridWidget::moveBy(int step) {
    const int rows = model_->rowCount();
    const int columns = grid_->columnCount();
    if (rows == 0 || columns == 0) return false;
    int row = std::max(0, currentRecord());
    int column = std::clamp(currentColumn(), 0, columns - 1);
    for (;;) {
        column += step;
        if (column >= columns) {
            if (row + 1 >= rows) return false;
            ++row;
            column = 0;
        } else if (column < 0) {
            if (row == 0) return false;
            --row;
            column = columns - 1;
        }
        if (grid_->column(column).Visible) break;
    }
    moveToCell(row, column);
    return true;
}

void GridWidget::keyboardSearch(const QString&) {
    // Typing alone does not search.
}

void GridWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        // The context menu acts on the selection: a right click moves nothing.
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    core::runGuarded([&] {
        const QModelIndex index = indexAt(event->position().toPoint());
        if (event->button() == Qt::LeftButton && index.isValid() &&
            !(event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier))) {
            grid_->Selection().ClearSelection();
        }
    });
    QTableView::mousePressEvent(event);
}

void GridWidget::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (syncing_ || !current.isValid()) return;
    bool rowEnded = false;
    const bool ok = core::runGuardedOk([&] {
        const int row = current.row();
        const int column = current.column();
        data::CachedResultSet* set = grid_->dataSet();
        if (set && set->active() && set->recNo() != row) {
            // Leaving a row being inserted or edited posts it (or drops a new row never
            // changed): the rows are read again once this change is over.
            const data::DataSetState before = set->state();
            set->moveTo(row);
            rowEnded = set->state() != before;
        }
        grid_->SelectedIndex = column;
        if (current != previous) grid_->Selection().ClearSelection();
        indicator_->setCurrentRow(row);
        emit currentCellChanged(row, column);
        if (row != lastRow_) {
            lastRow_ = row;
            emit currentRecordChanged(row);
        }
    });
    if (rowEnded || !ok) {
        // A refused post keeps the row in edit: the view goes back to it.
        QMetaObject::invokeMethod(
            this,
            [this] {
                reload();
                emit recordStateChanged();
            },
            Qt::QueuedConnection);
    }
}

void GridWidget::setCurrentSilently(int row, int column) {
    const bool wasSyncing = syncing_;
    syncing_ = true;
    if (row >= 0 && column >= 0) {
        selectionModel()->setCurrentIndex(model_->index(row, column),
                                          QItemSelectionModel::NoUpdate);
    } else {
        selectionModel()->clearCurrentIndex();
    }
    indicator_->setCurrentRow(row);
    syncing_ = wasSyncing;
    if (row != lastRow_) {
        lastRow_ = row;
        emit currentRecordChanged(row);
    }
}

void GridWidget::syncFromDataGrid() {
    if (!dataSetOpen(*grid_) || indicator_->count() != grid_->dataSet()->recordCount()) {
        reload();
        return;
    }
    const int top = grid_->topRow;
    setCurrentSilently(grid_->dataSet()->recNo(), grid_->SelectedIndex);
    verticalScrollBar()->setValue(top);
    viewport()->update();
}

void GridWidget::updateWindowRows() {
    grid_->topRow = std::max(0, verticalScrollBar()->value());
    grid_->visibleRowCount = std::max(1, viewport()->height() / std::max(1, rowHeight()));
}

void GridWidget::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    updateWindowRows();
}

void GridWidget::scrollContentsBy(int dx, int dy) {
    QTableView::scrollContentsBy(dx, dy);
    updateWindowRows();
}

void GridWidget::columnMoved(int, int oldVisualIndex, int newVisualIndex) {
    if (syncing_) return;
    core::runGuarded([&] {
        // The header shows the grid model's order: undo the header's own move and move
        // the column in the grid model instead.
        syncing_ = true;
        header_->moveSection(newVisualIndex, oldVisualIndex);
        syncing_ = false;
        grid::TGridColumn* focused = grid_->focusedColumn();
        grid_->moveColumn(oldVisualIndex, newVisualIndex);
        if (focused) grid_->SelectedIndex = focused->Index();
        model_->textsChanged();
        applyColumns();
        setCurrentSilently(currentRecord(), grid_->SelectedIndex);
        viewport()->update();
    });
}

void GridWidget::columnResized(int logicalIndex, int, int newSize) {
    if (syncing_ || logicalIndex >= grid_->columnCount() || header_->isSectionHidden(logicalIndex))
        return;
    grid_->column(logicalIndex).Width = newSize;
}

void GridWidget::columnSelectClicked(int column, Qt::KeyboardModifiers modifiers) {
    core::runGuarded([&] {
        if (column < 0 || column >= grid_->columnCount()) return;
        grid::TGridColumn& c = grid_->column(column);
        grid::TGridSelection& selection = grid_->Selection();
        if (modifiers & Qt::ShiftModifier)
            selection.extendColumnSelection(c);
        else if (modifiers & Qt::ControlModifier)
            selection.toggleColumn(c);
        else
            selection.selectColumn(c);
    });
}

}  // namespace enviozvr::ui
