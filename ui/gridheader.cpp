#include "ui/gridheader.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "data/codepage.h"
#include "ui/gridenvironment.h"

namespace enviozvr::ui {

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

}  // namespace enviozvr::ui
