#include "core/scrambler.h"

#include <gtest/gtest.h>

#include <string>

#include "core/loginrecord.h"

using namespace std::string_literals;
using enviozvr::core::CifrarClave;
using enviozvr::core::DescifrarClave;

namespace {

struct ScrambleCase {
    const char* what;
    std::string plain;
    std::string scrambled;
};

// Byte p of a text of n bytes moves up by n + p + key(p), keys 9, 2, 8 repeating.
TEST(Scrambler, KnownValuesBothWays) {
    const ScrambleCase cases[] = {
        {"empty", ""s, ""s},
        {"single byte scrambles to zero", "\xF5"s, "\0"s},
        {"zero byte inside the scrambled form", "x\xF9y"s, "\x85\0\x87"s},
        {"wraps below 256", "\xFF"s, "\x0A"s},
        {"positions 1 and 4 share a key but differ", "aaaa"s, "oipr"s},
        {"zero byte in the password", "\0\0"s, "\x0C\x06"s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CifrarClave(c.plain), c.scrambled);
        EXPECT_EQ(DescifrarClave(c.scrambled), c.plain);
    }
}

TEST(Scrambler, RoundTripsEveryByteAtManyLengths) {
    std::string allBytes;
    for (int b = 0; b < 256; ++b) allBytes.push_back(static_cast<char>(b));
    for (std::size_t length : {1u, 2u, 3u, 4u, 7u, 255u, 256u, 300u, 1000u}) {
        std::string text;
        while (text.size() < length) text += allBytes;
        text.resize(length);
        const std::string scrambled = CifrarClave(text);
        ASSERT_EQ(scrambled.size(), length);
        EXPECT_EQ(DescifrarClave(scrambled), text) << "length " << length;
    }
}

TEST(LoginRecord, UpperAsciiChangesOnlyLettersAToZ) {
    EXPECT_EQ(enviozvr::core::upperAscii("juan.p\xE9rez_9z \xF1"), "JUAN.P\xE9REZ_9Z \xF1");
    EXPECT_EQ(enviozvr::core::upperAscii(""), "");
}

}  // namespace
