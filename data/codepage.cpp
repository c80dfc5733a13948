#include "data/codepage.h"

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

}  // namespace enviozvr::data
