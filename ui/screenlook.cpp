#include "ui/screenlook.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPainter>
#include <QProxyStyle>
#include <QScreen>
#include <QStyleFactory>
#include <QStyleOptionToolButton>
#include <QToolButton>
#include <QWidget>
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

// Draws a picture button's caption under its picture within the button: the style's own
// layout gives the caption of a small button (32 pixels) less than its height, so its
// last line, where the underlined mnemonic letter is, was cut off. The picture takes what
// the caption leaves.
class CaptionUnderPictureStyle : public QProxyStyle {
  public:
    using QProxyStyle::QProxyStyle;

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto* button = qstyleoption_cast<const QStyleOptionToolButton*>(option);
        if (element != CE_ToolButtonLabel || !button ||
            button->toolButtonStyle != Qt::ToolButtonTextUnderIcon) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        const QRect r = button->rect;
        const int textHeight = QFontMetrics(button->font).height();
        const QRect textRect(r.left(), r.bottom() + 1 - textHeight, r.width(), textHeight);
        const QRect pictureRect(r.left(), r.top(), r.width(), textRect.top() - r.top());
        const bool enabled = (button->state & State_Enabled) != 0;
        const QPixmap picture = button->icon.pixmap(
            button->iconSize, painter->device() ? painter->device()->devicePixelRatioF() : 1.0,
            enabled ? QIcon::Normal : QIcon::Disabled);
        proxy()->drawItemPixmap(painter, pictureRect, Qt::AlignCenter, picture);
        painter->setFont(button->font);
        int flags = Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextShowMnemonic;
        if (!proxy()->styleHint(SH_UnderlineShortcut, option, widget))
            flags |= Qt::TextHideMnemonic;
        proxy()->drawItemText(painter, textRect, flags, button->palette, enabled, button->text,
                              QPalette::ButtonText);
    }
};

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

void keepInsideScreen(QWidget* window) {
    const QWidget* parent = window->parentWidget();
    QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QSize room = clientSizeForOuter(screen->availableGeometry().size());
    const QSize size = window->size().boundedTo(room).expandedTo(window->minimumSizeHint());
    if (size != window->size()) window->resize(size);
}

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
    if (iconSize.height() <= 16) {
        // A small button: its caption is laid out to fit (see CaptionUnderPictureStyle).
        auto* style = new CaptionUnderPictureStyle(QStyleFactory::create(qApp->style()->name()));
        style->setParent(button);
        button->setStyle(style);
    }
    return button;
}

}  // namespace enviozvr::ui
