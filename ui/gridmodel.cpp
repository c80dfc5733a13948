#include "ui/gridmodel.h"

#include "core/unhandled.h"
#include "data/codepage.h"
#include "data/value.h"
#include "ui/gridcelltext.h"
#include "ui/gridenvironment.h"

namespace enviozvr::ui {

bool dataSetOpen(const grid::DataGrid& grid) { return grid.dataSet() && grid.dataSet()->active(); }

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
            return QVariant::fromValue(
                toQtAlignment(grid_.column(index.column()).shownAlignment()));
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
        throw data::DataError(data::windows1252FromQString(refusedCharacterText(refused)));
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
    set.setValue(field.index, value);
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

}  // namespace enviozvr::ui
