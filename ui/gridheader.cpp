#include "ui/gridheader.h"

#include <QApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

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

QFont GridHeader::rankFont() const {
    QFont small = font();
    small.setPointSizeF(std::max(5.0, font().pointSizeF() - 2));
    return small;
}

const GridHeader::SortMarker* GridHeader::markerOf(int logicalIndex) const {
    for (const SortMarker& marker : markers_)
        if (marker.column == logicalIndex) return &marker;
    return nullptr;
}

GridHeader::TitleLayout GridHeader::titleLayout(int logicalIndex, const QRect& title) const {
    TitleLayout layout;
    layout.caption = title.adjusted(2, 1, -2, -1);
    const SortMarker* marker = markerOf(logicalIndex);
    if (!marker || logicalIndex < 0 || logicalIndex >= grid_.columnCount()) return layout;
    const QString caption = data::qstringFromWindows1252(grid_.column(logicalIndex).Title.Caption);
    const int captionWidth = fontMetrics().horizontalAdvance(caption);

    // Beside the caption: a small triangle at the right of the title, with its rank in a
    // multi-column sort at its left.
    const int size = 7;
    const int x = title.right() - size - 4;
    const int y = title.center().y() - size / 2;
    QRect beside = layout.caption;
    QRect rank;
    beside.setRight(x - 2);
    if (marker->rank > 0) {
        const int w = QFontMetrics(rankFont()).horizontalAdvance(QString::number(marker->rank));
        rank = QRect(x - w - 1, title.top(), w + 1, title.height());
        beside.setRight(x - w - 3);
    }
    if (captionWidth <= beside.width()) {
        if (marker->ascending)
            layout.marker << QPoint(x, y + size - 2) << QPoint(x + size, y + size - 2)
                          << QPoint(x + size / 2, y);
        else
            layout.marker << QPoint(x, y) << QPoint(x + size, y)
                          << QPoint(x + size / 2, y + size - 2);
        layout.caption = beside;
        layout.rank = rank;
        return layout;
    }

    // No room beside the caption: the caption keeps the whole title and a small flat
    // triangle lies above it, in the middle, over the inner line of the raised edge where
    // the letters do not reach; the rank is left to the title's tip.
    const int half = 2;
    const int cx = title.center().x();
    const int top = title.top() + 1;
    if (marker->ascending)
        layout.marker << QPoint(cx - half, top + half) << QPoint(cx + half, top + half)
                      << QPoint(cx, top);
    else
        layout.marker << QPoint(cx - half, top) << QPoint(cx + half, top) << QPoint(cx, top + half);
    layout.markerAbove = true;
    return layout;
}

void GridHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    if (logicalIndex < 0 || logicalIndex >= grid_.columnCount()) return;
    const grid::TGridColumn& column = grid_.column(logicalIndex);
    painter->save();
    const QRect title(rect.left(), rect.top(), rect.width(), titleHeight());
    drawRaisedCell(painter, title, palette(), toQColor(column.Title.Color, grid_.environment()));
    const TitleLayout layout = titleLayout(logicalIndex, title);
    if (!layout.marker.isEmpty()) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(palette().color(QPalette::ButtonText));
        painter->drawPolygon(layout.marker);
    }
    if (!layout.rank.isEmpty()) {
        painter->setFont(rankFont());
        painter->setPen(palette().color(QPalette::ButtonText));
        painter->drawText(layout.rank, Qt::AlignVCenter,
                          QString::number(markerOf(logicalIndex)->rank));
    }
    painter->setFont(font());
    painter->setPen(toQColor(column.Title.Font.Color, grid_.environment()));
    // A title wider than its column is cut at the column's edge.
    painter->setClipRect(layout.caption);
    painter->drawText(layout.caption, static_cast<int>(toQtAlignment(column.Title.Alignment)),
                      data::qstringFromWindows1252(column.Title.Caption));
    painter->setClipping(false);
    if (bandHeight_ > 0) {
        painter->fillRect(QRect(rect.left(), title.bottom() + 1, rect.width(), bandHeight_),
                          palette().color(QPalette::Button));
    }
    painter->restore();
}

QString GridHeader::titleTip(int logicalIndex) const {
    if (logicalIndex < 0 || logicalIndex >= grid_.columnCount() || isSectionHidden(logicalIndex))
        return {};
    const QString caption = data::qstringFromWindows1252(grid_.column(logicalIndex).Title.Caption);
    const QRect title(sectionViewportPosition(logicalIndex), 0, sectionSize(logicalIndex),
                      titleHeight());
    const TitleLayout layout = titleLayout(logicalIndex, title);
    const bool cut = fontMetrics().horizontalAdvance(caption) > layout.caption.width();
    const SortMarker* marker = markerOf(logicalIndex);
    if (!cut && !(marker && layout.markerAbove && marker->rank > 0)) return {};
    QString tip = caption;
    if (marker) {
        tip += marker->ascending ? QStringLiteral("\nOrden ascendente")
                                 : QStringLiteral("\nOrden descendente");
        if (marker->rank > 0) tip += QStringLiteral(", nivel %1").arg(marker->rank);
    }
    return tip;
}

bool GridHeader::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString tip =
            help->pos().y() < titleHeight() ? titleTip(logicalIndexAt(help->pos())) : QString();
        if (tip.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), tip, viewport());
        }
        return true;
    }
    return QHeaderView::viewportEvent(event);
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
