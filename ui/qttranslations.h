// Qt's own texts (the buttons and labels of the standard dialogs: file dialogs, message
// boxes, the context menu of a text box) in the workstation's language, from the
// translations Qt installs (qtbase_<language>.qm in its translations folder).
//
// GUI thread, once a QApplication exists. Nothing throws.
#pragma once

#include <QLocale>

class QTranslator;

namespace enviozvr::ui {

// Installs Qt's translations for `locale` on the application; returns the translator
// (owned by the application), or null when Qt has none for that language (its texts then
// stay English).
QTranslator* installQtTranslations(const QLocale& locale = QLocale::system());

}  // namespace enviozvr::ui
