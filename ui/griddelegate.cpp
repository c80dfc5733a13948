#include "ui/griddelegate.h"

#include <QAbstractItemView>
#include <QLineEdit>

namespace enviozvr::ui {

GridDelegate::GridDelegate(QAbstractItemView& view, const grid::DataGrid& grid)
    : QStyledItemDelegate(&view), view_(view), grid_(grid) {}

void GridDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    const grid::TGridSelection& selection = grid_.Selection();
    bool selected = false;
    switch (selection.SelectionType()) {
        case grid::gstAll:
            selected = true;
            break;
        case grid::gstColumns:
            selected = index.column() < grid_.columnCount() &&
                       selection.Columns.contains(&grid_.column(index.column()));
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

void GridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, option, index);
    if (paintOver) paintOver(*painter, option, index);
}

QWidget* GridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor); line && prepareEditor)
        prepareEditor(*line, index.column());
    return editor;
}

}  // namespace enviozvr::ui
