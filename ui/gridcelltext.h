// What a cell of the grid may hold: the database's character set is Windows-1252, so text
// typed into a cell is checked character by character, and a cell editor refuses, with a
// message at the editor, a character the database could not store.
#pragma once

#include <QString>
#include <QValidator>

class QLineEdit;

namespace enviozvr::ui {

// The first character of `text` (one or two UTF-16 units) that Windows-1252 lacks; empty
// when every one fits.
QString firstCharacterOutsideWindows1252(const QString& text);

// The message shown for a refused `character`.
QString refusedCharacterText(const QString& character);

// Refuses an input holding a character the database's character set lacks, telling the
// user so at the editor (the text stays as it was).
class Windows1252Validator : public QValidator {
  public:
    explicit Windows1252Validator(QLineEdit* editor);
    State validate(QString& input, int& position) const override;

  private:
    QLineEdit* editor_;
};

}  // namespace enviozvr::ui
