#include "data/codepage.h"

#include <gtest/gtest.h>

#include <optional>

namespace enviozvr::data {
namespace {

struct Case {
    std::string bytes;
    QString text;
};

// Every byte class of the code page: ASCII, the 0x80-0x9F block (with its five undefined
// bytes), Latin-1 letters.
TEST(Codepage, BytesAndTextsMapBothWays) {
    const Case cases[] = {
        {"", QString()},
        {"Env\xedo de informaci\xf3n", QStringLiteral("Envío de información")},
        {"Compa\xf1\xed"
         "a \xc1ngel \xfc\xff",
         QStringLiteral("Compañía Ángel üÿ")},
        {"\x80 \x8a\x9a \x8c\x9c \x9f \x99 \x85 \x93x\x94", QStringLiteral("€ Šš Œœ Ÿ ™ … “x”")},
        {"\x81\x8d\x8f\x90\x9d",
         QString(QChar(0x81)) + QChar(0x8D) + QChar(0x8F) + QChar(0x90) + QChar(0x9D)},
        {std::string("a\0b", 3), QString(QChar('a')) + QChar(0) + QChar('b')},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(qstringFromWindows1252(c.bytes), c.text) << c.text.toStdString();
        EXPECT_EQ(windows1252FromQString(c.text), c.bytes) << c.text.toStdString();
        EXPECT_EQ(QString::fromStdU16String(utf16FromWindows1252(c.bytes)), c.text);
        EXPECT_TRUE(fitsWindows1252(c.text)) << c.text.toStdString();
    }
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        EXPECT_EQ(windows1252FromQString(qstringFromWindows1252(byte)), byte) << b;
    }
}

// One '?' per character the code page cannot hold, whether it takes one UTF-16 unit or
// two; a lone surrogate is one character too.
TEST(Codepage, EachCharacterOutsideTheCodePageBecomesOneQuestionMark) {
    const Case cases[] = {
        {"a?b?c", QStringLiteral("a\u0100b\u4e2dc")},
        {"x?y", QStringLiteral("x\U0001F600y")},
        {"??", QStringLiteral("\U0001F600\U00010348")},
        {"?\xf3"
         "d?",
         QStringLiteral("Łódź")},
        {"a?", QString(QChar('a')) + QChar(0xD83D)},
        {"?b", QString(QChar(0xDE00)) + QChar('b')},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(windows1252FromQString(c.text), c.bytes) << c.text.toStdString();
        EXPECT_FALSE(fitsWindows1252(c.text)) << c.text.toStdString();
    }
}

// Texts between the character sets of company databases: the same characters in the
// other set's bytes, or nothing when the target cannot hold one of them (or the source is
// no valid text of its set); sets of the same bytes, and sets the converter does not know,
// pass the bytes unchanged.
TEST(Codepage, TextsChangeCharacterSetsOrSayTheyCannot) {
    using namespace charset;
    struct Conversion {
        std::string bytes;
        int from, to;
        std::optional<std::string> converted;
    };
    const std::string accents =
        "Compa\xf1\xed"
        "a \x80";
    const std::string accentsUtf8 =
        "Compa\xc3\xb1\xc3\xad"
        "a \xe2\x82\xac";
    const std::string han = "\xe6\xbc\xa2 x";
    const std::string clef = "\xf0\x9d\x84\x9e";  // outside the Basic Multilingual Plane
    const Conversion cases[] = {
        {accents, kNone, kUtf8, accentsUtf8},
        {accents, kWin1252, kUnicodeFss, accentsUtf8},
        {accentsUtf8, kUtf8, kNone, accents},
        {accentsUtf8, kUtf8, kWin1252, accents},
        {accents, kNone, kWin1252, accents},
        {han, kUtf8, kUnicodeFss, han},
        {clef, kUtf8, kUtf8, clef},
        {han, kUtf8, kWin1252, std::nullopt},
        {clef, kUtf8, kNone, std::nullopt},
        {"a\xc3", kUtf8, kWin1252, std::nullopt},  // a broken sequence
        {"\xef\xbb\xbf"
         "a",
         kUtf8, kWin1252, std::nullopt},  // a byte-order mark is a character
        {"\xef\xbb\xbf\xc3\xb1", kUtf8, kUnicodeFss, "\xef\xbb\xbf\xc3\xb1"},
        {std::string("a\0\x01", 3), kUtf8, kWin1252, std::string("a\0\x01", 3)},
        {"\xf1", kWin1252, kAscii, std::nullopt},
        {"\xf1", kWin1252, kLatin1, "\xf1"},
        {"\x80", kWin1252, kLatin1, std::nullopt},
        {"\xff\x80", kOctets, kUtf8, "\xff\x80"},
        {"\xff\x80", kUtf8, 52, "\xff\x80"},  // WIN1251: bytes as they are
    };
    for (const Conversion& c : cases)
        EXPECT_EQ(convertText(c.bytes, c.from, c.to), c.converted)
            << characterSetName(c.from) << " -> " << characterSetName(c.to) << ": " << c.bytes;

    // For the logs and screens: Windows-1252, '?' for what it lacks.
    EXPECT_EQ(windows1252From(accentsUtf8 + " " + han, kUtf8), accents + " ? x");
    EXPECT_EQ(windows1252From(clef + "a\xc3", kUtf8), "?a?");
    EXPECT_EQ(windows1252From(accents, kNone), accents);
    for (const int set : {kNone, kAscii, kUtf8, kWin1252, kLatin1})
        EXPECT_EQ(characterSetNumber(characterSetName(set)), set);
    EXPECT_EQ(characterSetNumber("KOI8R"), -1);
}

}  // namespace
}  // namespace enviozvr::data
