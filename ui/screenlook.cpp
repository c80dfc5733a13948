#include "ui/screenlook.h"

#include <QFontDatabase>
#include <QToolButton>
#include <initializer_list>

namespace enviozvr::ui {

namespace {

struct Candidate {
    const char* family;
    qreal spacingPercent;  // letter spacing that brings its widths near the requested face
};

// The requested family first, then stand-ins with near metrics, then what every Linux
// desktop has. The first installed one wins.
QFont font8(std::initializer_list<Candidate> candidates) {
    for (const Candidate& c : candidates) {
        const QString family = QString::fromLatin1(c.family);
        if (!QFontDatabase::hasFamily(family)) continue;
        QFont font(family);
        font.setPointSize(8);
        if (c.spacingPercent != 100.0)
            font.setLetterSpacing(QFont::PercentageSpacing, c.spacingPercent);
        return font;
    }
    QFont font(QString::fromLatin1(candidates.begin()->family));
    font.setPointSize(8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

}  // namespace

QFont msSansSerif8() {
    // MS Sans Serif runs slightly narrower than Arial at 8 pt.
    return font8({{"MS Sans Serif", 100},
                  {"Microsoft Sans Serif", 100},
                  {"Arial", 97},
                  {"Liberation Sans", 97},
                  {"DejaVu Sans Condensed", 93},
                  {"DejaVu Sans", 86}});
}

QFont arialNarrow8() {
    return font8({{"Arial Narrow", 100},
                  {"Liberation Sans Narrow", 100},
                  {"DejaVu Sans Condensed", 100},
                  {"DejaVu Sans", 85}});
}

QFont arial8() {
    return font8({{"Arial", 100},
                  {"Liberation Sans", 100},
                  {"DejaVu Sans Condensed", 100},
                  {"DejaVu Sans", 90}});
}
QSize clientSizeForOuter(QSize outer) { return outer - QSize(8, 27); }

QToolButton* pictureButton(QWidget* parent, const QString& objectName, const QString& caption,
                           const QIcon& icon, QSize iconSize, ButtonLook look) {
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setText(caption);
    button->setIcon(icon);
    button->setIconSize(iconSize);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(look == ButtonLook::Flat);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

}  // namespace enviozvr::ui
