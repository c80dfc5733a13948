// The grid's screen environment: the system colours and the resolution as the exporters
// need them, and the conversions and drawing the grid's parts share (colours, alignment,
// raised cells). GUI thread only.
#pragma once

#include <QColor>
#include <Qt>

#include "grid/grid.h"

class QPainter;
class QPalette;
class QRect;

namespace enviozvr::ui {

// System colours and the screen resolution as the exporters need them, from the
// application palette and the primary screen.
class ScreenGridEnvironment : public grid::GridEnvironment {
  public:
    grid::TColor systemColorRgb(int index) const override;
    int pixelsPerInch() const override;
    // One instance for the whole program.
    static const ScreenGridEnvironment& instance();
};

// Windows-1252 colour value <-> QColor.
QColor toQColor(grid::TColor color, const grid::GridEnvironment& environment);

// A grid alignment as Qt draws it, centred vertically.
Qt::Alignment toQtAlignment(grid::TAlignment alignment);

// A cell drawn raised (titles, the row indicator) on `face`.
void drawRaisedCell(QPainter* painter, const QRect& rect, const QPalette& palette,
                    const QColor& face);

}  // namespace enviozvr::ui
