// Texts at the console edge of the headless and command-line modes: arguments arrive and
// messages leave in the encoding of the user's locale, while the program's texts are
// Windows-1252 bytes, as the desktop makes them from what is typed. Pure functions apart
// from reading the locale; nothing throws.
#pragma once

#include <string>
#include <string_view>

namespace enviozvr::app {

// The character encoding of the current LC_CTYPE locale ("UTF-8", "ISO-8859-15", ...).
// A plain ASCII locale (C, POSIX) counts as UTF-8, which it is a part of.
std::string localeEncoding();

// `bytes` in `encoding` as Windows-1252 bytes; a character the code page lacks, or a byte
// that is not valid in `encoding`, becomes '?'.
std::string windows1252FromEncoding(std::string_view bytes, const std::string& encoding);

// Windows-1252 `text` in `encoding`; a character `encoding` lacks becomes '?'.
std::string encodingFromWindows1252(std::string_view text, const std::string& encoding);

// An argument of the program as a Windows-1252 text (from the locale's encoding).
std::string argumentText(std::string_view raw);

// A Windows-1252 message as the locale's encoding writes it.
std::string consoleText(std::string_view text);

}  // namespace enviozvr::app
