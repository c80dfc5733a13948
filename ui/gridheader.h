// The title row of the grid widget: raised titles, sort markers, the column-selection
// zone and, below the titles, a band for widgets placed by others (a filter row).
// GUI thread only.
#pragma once

#include <QHeaderView>
#include <QPolygon>
#include <vector>

#include "grid/grid.h"

namespace enviozvr::ui {

// The title row. Titles are drawn raised; a click on a title (not a drag) is reported by
// titleClicked; a click in the lowest kColumnSelectZone pixels of a title reports
// columnSelectClicked instead, and the pointer turns into the column-selection cursor
// there. Below the titles the header may reserve a band (bandHeight) for widgets placed
// by others, e.g. a filter row: bandRect gives each column's part of it.
class GridHeader : public QHeaderView {
    Q_OBJECT
  public:
    explicit GridHeader(grid::DataGrid& grid, QWidget* parent = nullptr);

    static constexpr int kColumnSelectZone = 7;

    // Height of the title cells alone.
    int titleHeight() const;
    int bandHeight() const { return bandHeight_; }
    void setBandHeight(int height);
    // The part of the band under a column, in header coordinates.
    QRect bandRect(int logicalIndex) const;
    // The column-selection zone of a title cell, in header coordinates (empty when column
    // selection is not possible).
    QRect columnSelectRect(int logicalIndex) const;
    bool columnSelectionPossible() const;

    // Sort markers drawn at the right of titles: a column, its direction and its rank in a
    // multi-column sort (rank 0: a single-column marker, no number drawn).
    struct SortMarker {
        int column = -1;
        bool ascending = true;
        int rank = 0;
    };
    void setSortMarkers(std::vector<SortMarker> markers);
    const std::vector<SortMarker>& sortMarkers() const { return markers_; }

    // Where the parts of a title cell `title` go: the caption (drawn and cut inside that
    // rectangle), the sort marker (empty when the column has none) and its rank (empty when
    // none is drawn). The marker goes at the right, beside the caption, when both fit;
    // otherwise the caption keeps the title's width and the marker lies flat above it, so
    // that a marker never covers or cuts a narrow column's title.
    struct TitleLayout {
        QRect caption;
        QPolygon marker;
        QRect rank;
        bool markerAbove = false;
    };
    TitleLayout titleLayout(int logicalIndex, const QRect& title) const;
    // The tip of a title: its whole caption when it is cut, with its sort; empty when the
    // title shows everything.
    QString titleTip(int logicalIndex) const;

    QSize sizeHint() const override;

    // The cursor shown over the column-selection zone.
    static QCursor columnSelectCursor();

  signals:
    void titleClicked(int column, Qt::KeyboardModifiers modifiers);
    void columnSelectClicked(int column, Qt::KeyboardModifiers modifiers);
    void bandGeometryChanged();

  protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;

  private:
    const SortMarker* markerOf(int logicalIndex) const;
    QFont rankFont() const;

    grid::DataGrid& grid_;
    int bandHeight_ = 0;
    std::vector<SortMarker> markers_;
    int pressedSection_ = -1;
    QPoint pressPos_;
    bool overZone_ = false;
};

}  // namespace enviozvr::ui
