// Conversion between Windows-1252 bytes (the texts of the databases, logs and files) and
// UTF-16: the one converter of the program, for the screens, the exporters and the
// command line alike. Pure functions; nothing throws. Bytes 0x81, 0x8D, 0x8F, 0x90 and
// 0x9D, which the code page leaves undefined, map to the code points of the same number
// and back. A character the code page cannot hold becomes one '?', a character outside
// the Basic Multilingual Plane (a surrogate pair) included.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace enviozvr::data {

QString qstringFromWindows1252(std::string_view bytes);
std::u16string utf16FromWindows1252(std::string_view bytes);
std::string windows1252FromQString(const QString& text);
// Whether every character of `text` has a Windows-1252 byte.
bool fitsWindows1252(const QString& text);

}  // namespace enviozvr::data
