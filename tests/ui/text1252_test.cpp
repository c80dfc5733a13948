#include <gtest/gtest.h>

#include "ui/text1252.h"

namespace enviozvr::ui {
namespace {

struct Case {
    std::string bytes;
    QString text;
};

// Every byte class of the code page: ASCII, the 0x80-0x9F block (with its five undefined
// bytes), Latin-1 letters.
TEST(Text1252, BytesAndTextsMapBothWays)
{
    const Case cases[] = {
        {"", QString()},
        {"Env\xedo de informaci\xf3n", QStringLiteral("Envío de información")},
        {"Compa\xf1\xed" "a \xc1ngel \xfc\xff", QStringLiteral("Compañía Ángel üÿ")},
        {"\x80 \x8a\x9a \x8c\x9c \x9f \x99 \x85 \x93x\x94", QStringLiteral("€ Šš Œœ Ÿ ™ … “x”")},
        {"\x81\x8d\x8f\x90\x9d", QString(QChar(0x81)) + QChar(0x8D) + QChar(0x8F) + QChar(0x90) +
                                     QChar(0x9D)},
        {std::string("a\0b", 3), QString(QChar('a')) + QChar(0) + QChar('b')},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fromAnsi(c.bytes), c.text) << c.text.toStdString();
        EXPECT_EQ(toAnsi(c.text), c.bytes) << c.text.toStdString();
    }
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        EXPECT_EQ(toAnsi(fromAnsi(byte)), byte) << b;
    }
}

TEST(Text1252, CharactersOutsideTheCodePageBecomeQuestionMarks)
{
    EXPECT_EQ(toAnsi(QStringLiteral("a\u0100b\u4e2dc")), "a?b?c");
    EXPECT_EQ(toAnsi(QStringLiteral("x\U0001F600y")), "x?y");  // one character, one byte
}

}  // namespace
}  // namespace enviozvr::ui
