#include "grid/format.h"

#include <QDate>
#include <QLocale>
#include <cmath>
#include <cstdio>
#include <vector>

#include "data/codepage.h"

namespace enviozvr::grid {

using data::windows1252FromQString;

namespace {

struct Separators {
    char decimal = '.';
    char thousands = ',';
    char date = '/';
    char time = ':';
};

char latinOf(QChar c, char fallback) {
    const ushort u = c.unicode();
    return u > 0 && u < 0x100 ? static_cast<char>(u) : fallback;
}

char separatorOf(const QString& format, char fallback) {
    for (QChar c : format) {
        if (!c.isLetter() && c != QLatin1Char('\'') && c != QLatin1Char('"') && !c.isSpace())
            return latinOf(c, fallback);
    }
    return fallback;
}

Separators localeSeparators() {
    const QLocale locale = QLocale::system();
    Separators s;
    const QString dp = locale.decimalPoint();
    const QString gs = locale.groupSeparator();
    if (dp.size() == 1) s.decimal = latinOf(dp.at(0), '.');
    if (gs.size() == 1) s.thousands = latinOf(gs.at(0), ',');
    s.date = separatorOf(locale.dateFormat(QLocale::ShortFormat), '/');
    s.time = separatorOf(locale.timeFormat(QLocale::LongFormat), ':');
    return s;
}

// The sections of a float format, split at ';' outside quotes.
std::vector<std::string_view> splitSections(std::string_view format) {
    std::vector<std::string_view> out;
    size_t start = 0;
    char quote = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ';') {
            out.push_back(format.substr(start, i - start));
            start = i + 1;
        }
    }
    out.push_back(format.substr(start));
    return out;
}

std::string groupThousands(const std::string& digits, char sep) {
    std::string out;
    const size_t n = digits.size();
    for (size_t i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0) out.push_back(sep);
        out.push_back(digits[i]);
    }
    return out;
}

std::string formatSection(std::string_view section, double value, bool negative) {
    const Separators sep = localeSeparators();
    std::string prefix, suffix;
    int minInt = 0, minDec = 0, maxDec = 0;
    bool seenPlaceholder = false, afterPoint = false, thousands = false, seenZero = false;
    bool scientific = false, expAlwaysSign = false;
    int expDigits = 0;
    for (size_t i = 0; i < section.size(); ++i) {
        const char c = section[i];
        if (c == '"' || c == '\'') {
            const size_t end = section.find(c, i + 1);
            const std::string_view lit = section.substr(
                i + 1, (end == std::string_view::npos ? section.size() : end) - i - 1);
            (seenPlaceholder ? suffix : prefix).append(lit);
            i = end == std::string_view::npos ? section.size() : end;
            continue;
        }
        if ((c == 'E' || c == 'e') && i + 1 < section.size() &&
            (section[i + 1] == '+' || section[i + 1] == '-') && seenPlaceholder && !scientific) {
            scientific = true;
            expAlwaysSign = section[i + 1] == '+';
            i += 2;
            while (i < section.size() && section[i] == '0') {
                ++expDigits;
                ++i;
            }
            --i;
            continue;
        }
        if (c == '0' || c == '#') {
            seenPlaceholder = true;
            if (afterPoint) {
                ++maxDec;
                if (c == '0') minDec = maxDec;
            } else {
                if (c == '0') seenZero = true;
                if (seenZero) ++minInt;
            }
            continue;
        }
        if (c == '.' && !afterPoint) {
            afterPoint = true;
            seenPlaceholder = true;
            continue;
        }
        if (c == ',' && !afterPoint) {
            thousands = true;
            continue;
        }
        (seenPlaceholder ? suffix : prefix).push_back(c);
    }

    std::string number;
    bool nonZero = false;
    if (scientific) {
        int exponent = 0;
        double mantissa = value;
        if (value != 0) {
            exponent = static_cast<int>(std::floor(std::log10(value)));
            mantissa = value / std::pow(10.0, exponent);
        }
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.*f", maxDec, mantissa);
        if (buf[0] == '1' && buf[1] == '0') {  // rounding carried to 10.x
            mantissa /= 10;
            ++exponent;
            std::snprintf(buf, sizeof buf, "%.*f", maxDec, mantissa);
        }
        std::string m(buf);
        const size_t point = m.find('.');
        std::string intPart = m.substr(0, point);
        std::string frac = point == std::string::npos ? std::string() : m.substr(point + 1);
        while (static_cast<int>(frac.size()) > minDec && !frac.empty() && frac.back() == '0')
            frac.pop_back();
        for (char d : m) nonZero |= (d >= '1' && d <= '9');
        number = intPart;
        if (!frac.empty()) number += sep.decimal + frac;
        std::string expText = std::to_string(std::abs(exponent));
        while (static_cast<int>(expText.size()) < expDigits) expText.insert(0, "0");
        number += 'E';
        if (exponent < 0)
            number += '-';
        else if (expAlwaysSign)
            number += '+';
        number += expText;
    } else {
        char buf[512];
        std::snprintf(buf, sizeof buf, "%.*f", maxDec, value);
        std::string s(buf);
        const size_t point = s.find('.');
        std::string intPart = s.substr(0, point);
        std::string frac = point == std::string::npos ? std::string() : s.substr(point + 1);
        while (static_cast<int>(frac.size()) > minDec && !frac.empty() && frac.back() == '0')
            frac.pop_back();
        for (char d : s) nonZero |= (d >= '1' && d <= '9');
        if (intPart == "0" && minInt == 0) intPart.clear();
        while (static_cast<int>(intPart.size()) < minInt) intPart.insert(0, "0");
        if (thousands) intPart = groupThousands(intPart, sep.thousands);
        number = intPart;
        if (!frac.empty()) number += sep.decimal + frac;
    }
    std::string out;
    if (negative && nonZero) out.push_back('-');
    out += prefix;
    out += number;
    out += suffix;
    return out;
}

std::string nameText(const QString& name) { return windows1252FromQString(name); }

}  // namespace

std::string formatGeneral(double value, int precision) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    if (precision < 1 || precision > 18) precision = 15;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*g", precision, value);
    std::string s(buf);
    const char decimal = localeSeparators().decimal;
    std::string out;
    const size_t e = s.find('e');
    const std::string mantissa = s.substr(0, e);
    for (char c : mantissa) out.push_back(c == '.' ? decimal : c);
    if (e != std::string::npos) {
        const int exponent = std::atoi(s.c_str() + e + 1);
        out += 'E';
        out += std::to_string(exponent);
    }
    return out;
}

std::string formatCurrency(double value, int decimals) {
    return nameText(QLocale::system().toCurrencyString(value, QString(), decimals));
}

int currencyDecimals() { return 2; }

std::string formatFloat(std::string_view format, double value) {
    if (std::isnan(value) || std::isinf(value)) return formatGeneral(value);
    const std::vector<std::string_view> sections = splitSections(format);
    if (value < 0 && sections.size() >= 2 && !sections[1].empty())
        return formatSection(sections[1], -value, false);
    if (value == 0 && sections.size() >= 3 && !sections[2].empty())
        return formatSection(sections[2], value, false);
    if (sections[0].empty()) return formatGeneral(value);
    return formatSection(sections[0], std::fabs(value), value < 0);
}

namespace {

// The calendar and clock fields of one value, taken apart once for a whole format.
struct DateTimeFields {
    data::Date date;
    data::Time time;
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0, millis = 0;
    int dayOfWeek = 1;  // 1 = Monday ... 7 = Sunday
    bool twelveHour = false;
};

std::string twoDigits(int v) {
    char b[16];
    std::snprintf(b, sizeof b, "%02d", v);
    return b;
}

char lowerAscii(char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); }

// Whether `format` holds the (lower-case) word `w` at `i`, ignoring case.
bool wordAt(std::string_view format, size_t i, std::string_view w) {
    if (i + w.size() > format.size()) return false;
    for (size_t k = 0; k < w.size(); ++k)
        if (lowerAscii(format[i + k]) != w[k]) return false;
    return true;
}

DateTimeFields fieldsOf(std::string_view format, data::Date date, data::Time time) {
    DateTimeFields f{.date = date, .time = time};
    int fraction = 0;
    date.toYmd(f.year, f.month, f.day);
    time.toHms(f.hour, f.minute, f.second, fraction);
    f.millis = fraction / 10;
    // Day 0 (17 November 1858) was a Wednesday.
    f.dayOfWeek = ((date.days % 7) + 7 + 2) % 7 + 1;
    for (size_t i = 0; i < format.size(); ++i)
        if (wordAt(format, i, "am/pm") || wordAt(format, i, "a/p")) f.twelveHour = true;
    return f;
}

std::string dayToken(size_t run, const DateTimeFields& f, const QLocale& locale) {
    switch (run) {
        case 1:
            return std::to_string(f.day);
        case 2:
            return twoDigits(f.day);
        case 3:
            return nameText(locale.dayName(f.dayOfWeek, QLocale::ShortFormat));
        case 4:
            return nameText(locale.dayName(f.dayOfWeek, QLocale::LongFormat));
        case 5:
            return data::shortDateText(f.date);
        default:
            return nameText(locale.toString(QDate(f.year, f.month, f.day), QLocale::LongFormat));
    }
}

// 'm' right after an hour is minutes; otherwise the month.
std::string monthToken(size_t run, bool afterHour, const DateTimeFields& f, const QLocale& locale) {
    if (afterHour && run <= 2) return run == 1 ? std::to_string(f.minute) : twoDigits(f.minute);
    switch (run) {
        case 1:
            return std::to_string(f.month);
        case 2:
            return twoDigits(f.month);
        case 3:
            return nameText(locale.monthName(f.month, QLocale::ShortFormat));
        default:
            return nameText(locale.monthName(f.month, QLocale::LongFormat));
    }
}

std::string yearToken(size_t run, const DateTimeFields& f) {
    if (run <= 2) return twoDigits(f.year % 100);
    char b[16];
    std::snprintf(b, sizeof b, "%04d", f.year);
    return b;
}

std::string hourToken(size_t run, const DateTimeFields& f) {
    int h = f.hour;
    if (f.twelveHour) {
        h = f.hour % 12;
        if (h == 0) h = 12;
    }
    return run == 1 ? std::to_string(h) : twoDigits(h);
}

std::string millisToken(size_t run, const DateTimeFields& f) {
    char b[16];
    std::snprintf(b, sizeof b, run >= 3 ? "%03d" : "%d", f.millis);
    return b;
}

// The text of one run of `run` equal letters or separators (ignoring case) starting at
// `format[i]`.
std::string runToken(std::string_view format, size_t i, size_t run, bool afterHour,
                     const DateTimeFields& f, const Separators& sep, const QLocale& locale) {
    switch (lowerAscii(format[i])) {
        case 'd':
            return dayToken(run, f, locale);
        case 'm':
            return monthToken(run, afterHour, f, locale);
        case 'y':
            return yearToken(run, f);
        case 'h':
            return hourToken(run, f);
        case 'n':
            return run == 1 ? std::to_string(f.minute) : twoDigits(f.minute);
        case 's':
            return run == 1 ? std::to_string(f.second) : twoDigits(f.second);
        case 'z':
            return millisToken(run, f);
        case 't':
            return run == 1 ? twoDigits(f.hour) + sep.time + twoDigits(f.minute)
                            : data::longTimeText(f.time);
        case 'c':
            return data::shortDateText(f.date) +
                   (f.time.fractions != 0 ? " " + data::longTimeText(f.time) : std::string());
        case '/':
            return std::string(run, sep.date);
        case ':':
            return std::string(run, sep.time);
        default:
            return std::string(format.substr(i, run));
    }
}

}  // namespace

std::string formatDateTime(std::string_view format, data::Date date, data::Time time) {
    const Separators sep = localeSeparators();
    const QLocale locale = QLocale::system();
    const DateTimeFields f = fieldsOf(format, date, time);

    std::string out;
    bool lastWasHour = false;
    size_t i = 0;
    while (i < format.size()) {
        const char c = format[i];
        if (c == '"' || c == '\'') {
            const size_t end = format.find(c, i + 1);
            const size_t stop = end == std::string_view::npos ? format.size() : end;
            out.append(format.substr(i + 1, stop - i - 1));
            i = stop + 1;
            continue;
        }
        if (wordAt(format, i, "am/pm")) {
            const bool upper = c == 'A';
            out += f.hour < 12 ? (upper ? "AM" : "am") : (upper ? "PM" : "pm");
            i += 5;
            continue;
        }
        if (wordAt(format, i, "a/p")) {
            out += f.hour < 12 ? (c == 'A' ? "A" : "a") : (c == 'A' ? "P" : "p");
            i += 3;
            continue;
        }
        const char lc = lowerAscii(c);
        size_t run = 1;
        while (i + run < format.size() && lowerAscii(format[i + run]) == lc) ++run;
        out += runToken(format, i, run, lastWasHour, f, sep, locale);
        if (lc >= 'a' && lc <= 'z') lastWasHour = lc == 'h';
        i += run;
    }
    return out;
}

std::string hexText(std::string_view bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

}  // namespace enviozvr::grid
