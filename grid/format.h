// Number and date-time formatting of display formats and footer totals, in the
// workstation's locale (decimal point, thousands separator, date and time separators, day
// and month names). Results are Windows-1252 bytes. Pure functions; nothing throws.
#pragma once

#include <string>
#include <string_view>

#include "data/value.h"

namespace enviozvr::grid {

// A float format: up to three sections (positive;negative;zero) of digit placeholders
// '0' (a digit always) and '#' (a digit when significant), '.' (decimal point), ','
// (thousands separators), "E+"/"E-" with '0's (scientific), and literal text, quoted in
// '...' or "..." or as any other character. An empty format gives the general format.
std::string formatFloat(std::string_view format, double value);

// A date-time format: d dd ddd dddd ddddd dddddd, m mm mmm mmmm (minutes after h or
// hh), yy yyyy, h hh, n nn, s ss, z zzz, t tt, c, am/pm, a/p, '/' and ':' as the locale's
// separators, quoted literals; other characters are written as they are.
std::string formatDateTime(std::string_view format, data::Date date, data::Time time);

// The general number format with at most `precision` significant digits.
std::string formatGeneral(double value, int precision = 15);

// The workstation's currency format with `decimals` digits.
std::string formatCurrency(double value, int decimals);
int currencyDecimals();

// Hexadecimal text of bytes, two upper-case digits per byte.
std::string hexText(std::string_view bytes);

}  // namespace enviozvr::grid
