// Conversion between Windows-1252 bytes (the texts of the databases, logs and files) and
// UTF-16: the one converter of the program, for the screens, the exporters and the
// command line alike. Pure functions; nothing throws. Bytes 0x81, 0x8D, 0x8F, 0x90 and
// 0x9D, which the code page leaves undefined, map to the code points of the same number
// and back. A character the code page cannot hold becomes one '?', a character outside
// the Basic Multilingual Plane (a surrogate pair) included.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>

namespace enviozvr::data {

QString qstringFromWindows1252(std::string_view bytes);
std::u16string utf16FromWindows1252(std::string_view bytes);
std::string windows1252FromQString(const QString& text);
// Whether every character of `text` has a Windows-1252 byte.
bool fitsWindows1252(const QString& text);

// The server's numbers of the character sets that texts are converted between. A column of
// NONE holds Windows-1252, the business system's code page, as WIN1252 does.
namespace charset {
inline constexpr int kNone = 0;
inline constexpr int kOctets = 1;
inline constexpr int kAscii = 2;
inline constexpr int kUnicodeFss = 3;
inline constexpr int kUtf8 = 4;
inline constexpr int kLatin1 = 21;  // ISO8859_1
inline constexpr int kWin1252 = 53;
}  // namespace charset

// The name the server gives a character set number ("UTF8"), or its number as text; and
// the number of a name (-1 for one this converter does not know).
std::string characterSetName(int characterSet);
int characterSetNumber(std::string_view name);

// The text of `bytes`, held in character set `from`, in character set `to`: the same
// characters in the other set's bytes. Nothing when `to` cannot hold one of them, or when
// `bytes` is no valid text of `from` (a broken UTF-8 sequence). Between sets of the same
// bytes, and where either side is one this converter does not know (OCTETS, a set of
// other languages), the bytes go unchanged.
std::optional<std::string> convertText(std::string_view bytes, int from, int to);

// The Windows-1252 bytes of a text held in `characterSet`, for the logs and the screens:
// a character the code page lacks, or a byte of a broken sequence, becomes '?'.
std::string windows1252From(std::string_view bytes, int characterSet);

}  // namespace enviozvr::data
