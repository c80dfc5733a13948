#include "ui/gridenvironment.h"

#include <qdrawutil.h>

#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <QScreen>

namespace enviozvr::ui {

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

void drawRaisedCell(QPainter* painter, const QRect& rect, const QPalette& palette,
                    const QColor& face) {
    painter->fillRect(rect, face);
    qDrawWinButton(painter, rect, palette, false, nullptr);
}

}  // namespace enviozvr::ui
