// The pictures of the screens' buttons and images, drawn in code (no image files).
// GUI thread only; nothing throws.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace enviozvr::ui::pictures {

QIcon send();               // "Enviar": an envelope with an arrow
QIcon cancel();             // "Cancelar", "ESC: &Salir": a red cross
QIcon enter();              // "F2: &Entrar": a key
QIcon errors();             // "Mensajes error": a warning sign
QIcon companies();          // "Compañías": buildings
QIcon documents();          // "Conf. Documentos": a page with lines
QIcon pending();            // "Pendientes": a clock
QIcon save();               // "Grabar": a diskette
QPixmap server(int size);   // access screen: a database server
QPixmap padlock(int size);  // access screen: a padlock

}  // namespace enviozvr::ui::pictures
