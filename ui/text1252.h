// Windows-1252 bytes <-> QString, at the edge between the screens and the core (whose
// texts are single-byte Windows-1252 strings). Pure functions, any thread, no throws.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace enviozvr::ui {

// Every byte maps to one character; the five bytes that Windows-1252 leaves undefined
// map to the C1 control of the same value, as Windows itself does.
QString fromAnsi(std::string_view bytes);

// Characters outside Windows-1252 become '?'.
std::string toAnsi(const QString& text);

}  // namespace enviozvr::ui
