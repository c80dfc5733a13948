#include "ui/griddelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QLineEdit>
#include <QToolTip>

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

bool GridDelegate::textCut(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    if (opt.text.isEmpty()) return false;
    const QWidget* widget = opt.widget ? opt.widget : &view_;
    const QStyle* style = widget->style();
    // The style draws the text inside the text rectangle less a margin on either side, and
    // elides what does not fit.
    const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    return opt.fontMetrics.horizontalAdvance(opt.text) > text.width() - 2 * margin;
}

QString GridDelegate::cutTextTip(const QString& text) {
    // Rich text, so that a long text wraps instead of running off the screen.
    return QStringLiteral("<p style='white-space:pre-wrap'>") + text.toHtmlEscaped() +
           QStringLiteral("</p>");
}

bool GridDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                             const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (!event || !view || event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    if (!textCut(option, index)) {
        QToolTip::hideText();
        event->ignore();
        return false;
    }
    QToolTip::showText(event->globalPos(), cutTextTip(index.data(Qt::DisplayRole).toString()),
                       view->viewport(), view->visualRect(index));
    return true;
}

}  // namespace enviozvr::ui
