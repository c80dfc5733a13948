// Fonts, sizes and button kinds shared by the screens. GUI thread only; nothing throws.
//
// The screens request the fonts of the workstation they were drawn for ("MS Sans Serif"
// 8 pt, "Arial Narrow" 8 pt, "Arial" 8 pt); where one is missing, Qt uses the closest
// metric-compatible or condensed font installed.
#pragma once

#include <QFont>
#include <QIcon>
#include <QSize>
#include <QString>

class QToolButton;
class QWidget;

namespace enviozvr::ui {

QFont msSansSerif8();
QFont arialNarrow8();
QFont arial8();

// Screens are specified by their outer size (frame and caption included); the client
// area is that less a standard frame: 4 pixels each side and a 19-pixel caption.
QSize clientSizeForOuter(QSize outer);

// Shrinks a resizable top-level `window` (not yet shown) so that it fits, with a standard
// frame, inside the available area of the screen it opens on (its parent's, else the
// primary one), never below its minimum size: a small screen or a large scale factor
// leaves no part of it off the screen.
void keepInsideScreen(QWidget* window);

// A button that takes no keyboard focus and shows its picture above its caption: flat
// (raised only under the mouse) or raised.
enum class ButtonLook { Flat, Raised };
QToolButton* pictureButton(QWidget* parent, const QString& objectName, const QString& caption,
                           const QIcon& icon, QSize iconSize, ButtonLook look);

}  // namespace enviozvr::ui
