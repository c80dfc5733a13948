#include "ui/screenlook.h"

#include <QToolButton>

namespace enviozvr::ui {

void registerFontSubstitutes()
{
    static const bool done = [] {
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                                   {QStringLiteral("Microsoft Sans Serif"),
                                    QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                                    QStringLiteral("DejaVu Sans Condensed"),
                                    QStringLiteral("DejaVu Sans")});
        QFont::insertSubstitutions(QStringLiteral("Arial Narrow"),
                                   {QStringLiteral("Liberation Sans Narrow"),
                                    QStringLiteral("DejaVu Sans Condensed"),
                                    QStringLiteral("DejaVu Sans")});
        QFont::insertSubstitutions(QStringLiteral("Arial"),
                                   {QStringLiteral("Liberation Sans"),
                                    QStringLiteral("DejaVu Sans Condensed"),
                                    QStringLiteral("DejaVu Sans")});
        return true;
    }();
    (void)done;
}

namespace {

QFont font8(const QString& family)
{
    registerFontSubstitutes();
    QFont font(family);
    font.setPointSize(8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

}  // namespace

QFont msSansSerif8() { return font8(QStringLiteral("MS Sans Serif")); }
QFont arialNarrow8() { return font8(QStringLiteral("Arial Narrow")); }
QFont arial8() { return font8(QStringLiteral("Arial")); }

QSize clientSizeForOuter(QSize outer) { return outer - QSize(8, 27); }

QToolButton* pictureButton(QWidget* parent, const QString& objectName, const QString& caption,
                           const QIcon& icon, QSize iconSize, ButtonLook look)
{
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
