#include "data/codepage.h"

#include <QStringDecoder>

namespace enviozvr::data {

namespace {

// Code points of bytes 0x80 to 0x9F; the rest of the code page equals Latin-1.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t toUnit(unsigned char b) {
    return (b >= 0x80 && b < 0xA0) ? kHigh[b - 0x80] : static_cast<char16_t>(b);
}

// The byte of one UTF-16 unit; 0 when the code page has none (and for the unit 0, whose
// byte is 0 too: callers tell the two apart).
char byteOf(char16_t u) {
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return static_cast<char>(u);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == u) return static_cast<char>(0x80 + i);
    return 0;
}

bool isPair(const QString& text, qsizetype i) {
    return text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
}

}  // namespace

QString qstringFromWindows1252(std::string_view bytes) {
    QString out(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar* d = out.data();
    for (size_t i = 0; i < bytes.size(); ++i)
        d[i] = QChar(toUnit(static_cast<unsigned char>(bytes[i])));
    return out;
}

std::u16string utf16FromWindows1252(std::string_view bytes) {
    std::u16string out(bytes.size(), u'\0');
    for (size_t i = 0; i < bytes.size(); ++i) out[i] = toUnit(static_cast<unsigned char>(bytes[i]));
    return out;
}

std::string windows1252FromQString(const QString& text) {
    std::string out;
    out.reserve(static_cast<size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isPair(text, i)) {
            ++i;  // one character outside the BMP, one '?'
            out.push_back('?');
            continue;
        }
        const char16_t u = text.at(i).unicode();
        const char b = byteOf(u);
        out.push_back(b || u == 0 ? b : '?');
    }
    return out;
}

bool fitsWindows1252(const QString& text) {
    for (QChar c : text)
        if (c.unicode() != 0 && byteOf(c.unicode()) == 0) return false;
    return true;
}

namespace {

// The encodings behind the character sets the converter knows; sets of one encoding
// share their bytes.
enum class Encoding { Unknown, Windows1252, Utf8, Ascii, Latin1 };

Encoding encodingOf(int characterSet) {
    switch (characterSet) {
        case charset::kNone:
        case charset::kWin1252:
            return Encoding::Windows1252;
        case charset::kUtf8:
        case charset::kUnicodeFss:
            return Encoding::Utf8;
        case charset::kAscii:
            return Encoding::Ascii;
        case charset::kLatin1:
            return Encoding::Latin1;
        default:
            return Encoding::Unknown;
    }
}

// The characters of `bytes`; nothing when they are no valid text of the encoding.
std::optional<QString> decode(std::string_view bytes, Encoding encoding) {
    switch (encoding) {
        case Encoding::Utf8: {
            // A byte-order mark at the start is a character like any other here.
            QStringDecoder decoder(
                QStringConverter::Utf8,
                QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
            QString text =
                decoder(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
            if (decoder.hasError()) return std::nullopt;
            return text;
        }
        case Encoding::Ascii:
            for (const char c : bytes)
                if (static_cast<unsigned char>(c) > 0x7F) return std::nullopt;
            return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
        case Encoding::Latin1:
            return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
        default:
            return qstringFromWindows1252(bytes);
    }
}

// The bytes of `text` in the encoding; nothing when it cannot hold a character.
std::optional<std::string> encode(const QString& text, Encoding encoding) {
    switch (encoding) {
        case Encoding::Utf8: {
            for (qsizetype i = 0; i < text.size(); ++i) {
                // A surrogate without its other half is no character UTF-8 can hold.
                const QChar c = text.at(i);
                if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
                    ++i;
                else if (c.isSurrogate())
                    return std::nullopt;
            }
            const QByteArray utf8 = text.toUtf8();
            return std::string(utf8.constData(), static_cast<size_t>(utf8.size()));
        }
        case Encoding::Ascii:
        case Encoding::Latin1: {
            const char16_t top = encoding == Encoding::Ascii ? 0x7F : 0xFF;
            std::string out;
            out.reserve(static_cast<size_t>(text.size()));
            for (const QChar c : text) {
                if (c.unicode() > top) return std::nullopt;
                out.push_back(static_cast<char>(c.unicode()));
            }
            return out;
        }
        default:
            if (!fitsWindows1252(text)) return std::nullopt;
            return windows1252FromQString(text);
    }
}

}  // namespace

std::string characterSetName(int characterSet) {
    switch (characterSet) {
        case charset::kNone:
            return "NONE";
        case charset::kOctets:
            return "OCTETS";
        case charset::kAscii:
            return "ASCII";
        case charset::kUnicodeFss:
            return "UNICODE_FSS";
        case charset::kUtf8:
            return "UTF8";
        case charset::kLatin1:
            return "ISO8859_1";
        case charset::kWin1252:
            return "WIN1252";
        default:
            return std::to_string(characterSet);
    }
}

int characterSetNumber(std::string_view name) {
    for (const int set : {charset::kNone, charset::kOctets, charset::kAscii, charset::kUnicodeFss,
                          charset::kUtf8, charset::kLatin1, charset::kWin1252})
        if (characterSetName(set) == name) return set;
    return -1;
}

std::optional<std::string> convertText(std::string_view bytes, int from, int to) {
    const Encoding source = encodingOf(from);
    const Encoding target = encodingOf(to);
    if (source == target || source == Encoding::Unknown || target == Encoding::Unknown)
        return std::string(bytes);
    const std::optional<QString> text = decode(bytes, source);
    if (!text) return std::nullopt;
    return encode(*text, target);
}

std::string windows1252From(std::string_view bytes, int characterSet) {
    const Encoding source = encodingOf(characterSet);
    if (source == Encoding::Windows1252 || source == Encoding::Unknown) return std::string(bytes);
    if (source == Encoding::Utf8)
        return windows1252FromQString(
            QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())));
    std::string out(bytes);
    if (source == Encoding::Ascii)
        for (char& c : out)
            if (static_cast<unsigned char>(c) > 0x7F) c = '?';
    if (source == Encoding::Latin1)
        for (char& c : out)
            if (const auto b = static_cast<unsigned char>(c); b >= 0x80 && b < 0xA0) c = '?';
    return out;
}

}  // namespace enviozvr::data
