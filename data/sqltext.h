// Pieces of SQL text built by concatenation: quoted texts, integers, dates and times.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "data/value.h"

namespace enviozvr::data {

// 'text' with every inner single quote doubled: it's -> 'it''s'.
std::string quoted(std::string_view text);
// Decimal digits, unquoted.
std::string sqlInteger(int64_t value);
// Quoted ISO date and time: '2026-12-10', '14:05:09'.
std::string sqlDate(Date d);
std::string sqlTime(Time t);

}  // namespace enviozvr::data
