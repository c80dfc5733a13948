#include "ui/gridcelltext.h"

#include <QLineEdit>
#include <QToolTip>

#include "data/codepage.h"

namespace enviozvr::ui {

QString firstCharacterOutsideWindows1252(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype n =
            text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()
                ? 2
                : 1;
        QString character = text.mid(i, n);
        if (!data::fitsWindows1252(character)) return character;
        i += n - 1;
    }
    return {};
}

QString refusedCharacterText(const QString& character) {
    return QStringLiteral(
               "No se puede guardar \u00ab%1\u00bb: el juego de caracteres de la "
               "base de datos (Windows-1252) no lo tiene.")
        .arg(character);
}

Windows1252Validator::Windows1252Validator(QLineEdit* editor)
    : QValidator(editor), editor_(editor) {}

QValidator::State Windows1252Validator::validate(QString& input, int&) const {
    const QString refused = firstCharacterOutsideWindows1252(input);
    if (refused.isEmpty()) return Acceptable;
    QToolTip::showText(editor_->mapToGlobal(QPoint(0, editor_->height())),
                       refusedCharacterText(refused), editor_);
    return Invalid;
}

}  // namespace enviozvr::ui
