#include "core/scrambler.h"

#include <array>
#include <cstddef>

namespace enviozvr::core {
namespace {

// Entry 0 is never used: positions take entries 1, 2, 3, 1, 2, 3, ...
constexpr std::array<int, 4> kKeyTable{3, 9, 2, 8};
constexpr std::size_t kHighestKeyIndex = kKeyTable.size() - 1;

int keyOf(std::size_t position) {
    const std::size_t r = position % kHighestKeyIndex;
    return kKeyTable[r == 0 ? kHighestKeyIndex : r];
}

// Adds (sign +1) or removes (sign -1) the length, the position and its key from each
// byte. The sums are formed in wide integers; only the final byte wraps modulo 256.
std::string shiftBytes(std::string_view text, long long sign) {
    const long long n = static_cast<long long>(text.size());
    std::string out(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t position = i + 1;
        const long long shift = n + static_cast<long long>(position) + keyOf(position);
        const long long value = static_cast<unsigned char>(text[i]) + sign * shift;
        out[i] = static_cast<char>(static_cast<unsigned char>(((value % 256) + 256) % 256));
    }
    return out;
}

}  // namespace

std::string CifrarClave(std::string_view text) { return shiftBytes(text, +1); }

std::string DescifrarClave(std::string_view text) { return shiftBytes(text, -1); }

}  // namespace enviozvr::core
