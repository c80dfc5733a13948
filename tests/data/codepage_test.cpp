#include "data/codepage.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace enviozvr::data
