#include "ui/gridindicator.h"

#include <QPainter>

#include "ui/gridenvironment.h"

namespace enviozvr::ui {

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

}  // namespace enviozvr::ui
