#include "data/value.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QTime>
#include <atomic>
#include <cmath>
#include <cstdio>

#include "data/codepage.h"
#include "data/errors.h"
#include "data/localetext.h"

namespace enviozvr::data {

namespace {

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

// 1858-11-17, day 0 of Firebird dates, counted from 1970-01-01.
constexpr int64_t kFirebirdEpoch = -40587;

int64_t pow10(int n) {
    int64_t p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

[[noreturn]] void wrongKind(const char* wanted) {
    throw DataError(std::string("Value is not a valid ") + wanted);
}

// Exact arithmetic for rescaling: 18 digits of scale on a 64-bit unscaled value stay
// well inside 128 bits.
using Wide = __int128;

Wide widePow10(int n) {
    Wide p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

// `unscaled` at scale `from` moved to scale `to`, rounding half away from zero.
Wide rescaleWide(Wide unscaled, int from, int to) {
    if (to >= from) return unscaled * widePow10(to - from);
    const Wide div = widePow10(from - to);
    Wide q = unscaled / div;
    const Wide r = unscaled % div;
    if (2 * (r < 0 ? -r : r) >= div) q += unscaled < 0 ? -1 : 1;
    return q;
}

bool fitsBytes(Wide v, int bytes) {
    switch (bytes) {
        case 2:
            return v >= INT16_MIN && v <= INT16_MAX;
        case 4:
            return v >= INT32_MIN && v <= INT32_MAX;
        default:
            return v >= INT64_MIN && v <= INT64_MAX;
    }
}

[[noreturn]] void doesNotFit(const std::string& value, const std::string& column) {
    if (column.empty()) throw DataError("Value '" + value + "' is out of range");
    throw DataError("Value '" + value + "' does not fit column '" + column + "'");
}

// A plain decimal number: optional sign, digits, optional point and digits. Gives the
// unscaled value and its scale; false when the text is no such number.
bool parsePlainNumber(const std::string& text, bool integerOnly, Wide& unscaled, int& scale,
                      bool& tooLarge) {
    unscaled = 0;
    scale = 0;
    tooLarge = false;
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    bool digits = false, point = false;
    int significant = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && !point && !integerOnly) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            digits = true;
            if (unscaled != 0 || c != '0') ++significant;
            if (significant > 36) {
                // Past what 128 bits hold: whole digits make the number too large, far
                // fraction digits are dropped.
                if (!point) tooLarge = true;
            } else {
                unscaled = unscaled * 10 + (c - '0');
                if (point) ++scale;
            }
        } else {
            return false;
        }
    }
    if (!digits) return false;
    if (negative) unscaled = -unscaled;
    return true;
}

}  // namespace

Date Date::fromYmd(int year, int month, int day) {
    return Date{static_cast<int32_t>(
        daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
        kFirebirdEpoch)};
}

void Date::toYmd(int& year, int& month, int& day) const {
    civilFromDays(static_cast<int64_t>(days) + kFirebirdEpoch, year, month, day);
}

Time Time::fromHms(int hour, int minute, int second, int tenThousandths) {
    return Time{
        static_cast<uint32_t>(((hour * 60 + minute) * 60 + second) * 10000 + tenThousandths)};
}

void Time::toHms(int& hour, int& minute, int& second, int& tenThousandths) const {
    uint32_t f = fractions;
    tenThousandths = static_cast<int>(f % 10000);
    f /= 10000;
    second = static_cast<int>(f % 60);
    f /= 60;
    minute = static_cast<int>(f % 60);
    hour = static_cast<int>(f / 60);
}

bool Decimal::operator==(const Decimal& other) const {
    const int s = std::max(scale, other.scale);
    return rescaleWide(unscaled, scale, s) == rescaleWide(other.unscaled, other.scale, s);
}

double Decimal::toDouble() const {
    return static_cast<double>(unscaled) / static_cast<double>(pow10(scale));
}

std::string Decimal::toString() const {
    bool negative = unscaled < 0;
    // Work on the magnitude as unsigned so INT64_MIN does not overflow.
    uint64_t mag = negative ? 0 - static_cast<uint64_t>(unscaled) : static_cast<uint64_t>(unscaled);
    std::string digits = std::to_string(mag);
    if (scale > 0) {
        if (digits.size() <= static_cast<size_t>(scale))
            digits.insert(0, static_cast<size_t>(scale) + 1 - digits.size(), '0');
        digits.insert(digits.size() - static_cast<size_t>(scale), ".");
    }
    return negative ? "-" + digits : digits;
}

Decimal Decimal::rescaled(int newScale) const {
    if (newScale == scale) return *this;
    const Wide v = rescaleWide(unscaled, scale, newScale);
    if (!fitsBytes(v, 8)) doesNotFit(toString(), {});
    return Decimal{static_cast<int64_t>(v), newScale};
}

int64_t fixedPointFor(const Value& v, int scale, int bytes, const std::string& column) {
    Wide result = 0;
    switch (v.kind()) {
        case Value::Kind::Integer:
            result = rescaleWide(v.asInteger(), 0, scale);
            break;
        case Value::Kind::Boolean:
            result = rescaleWide(v.asBoolean() ? 1 : 0, 0, scale);
            break;
        case Value::Kind::Decimal: {
            const Decimal d = v.asDecimal();
            result = rescaleWide(d.unscaled, d.scale, scale);
            break;
        }
        case Value::Kind::Float: {
            const double r = std::round(v.asDouble() * static_cast<double>(pow10(scale)));
            // 2^63 as a double: anything from there on (or not finite) cannot be held.
            if (!(r > -9223372036854775808.0 && r < 9223372036854775808.0))
                doesNotFit(v.toText(), column);
            result = static_cast<int64_t>(r);
            break;
        }
        case Value::Kind::Text: {
            const std::string& text = v.asString();
            Wide unscaled = 0;
            int textScale = 0;
            bool tooLarge = false;
            if (!parsePlainNumber(text, scale == 0, unscaled, textScale, tooLarge))
                throw DataError("'" + text + "' is not a valid " +
                                (scale == 0 ? "integer" : "BCD") + " value");
            if (tooLarge) doesNotFit(text, column);
            result = rescaleWide(unscaled, textScale, scale);
            break;
        }
        case Value::Kind::Null:
            return 0;
        default:
            wrongKind(scale == 0 ? "integer" : "decimal");
    }
    if (!fitsBytes(result, bytes)) doesNotFit(v.toText(), column);
    return static_cast<int64_t>(result);
}

Date today() {
    QDate d = QDate::currentDate();
    return Date::fromYmd(d.year(), d.month(), d.day());
}

Time timeNow() {
    QTime t = QTime::currentTime();
    return Time::fromHms(t.hour(), t.minute(), t.second(), t.msec() * 10);
}

int64_t Value::asInteger() const {
    switch (kind()) {
        case Kind::Integer:
            return std::get<int64_t>(v_);
        case Kind::Decimal: {
            const auto& d = std::get<Decimal>(v_);
            return d.unscaled / pow10(d.scale);
        }
        case Kind::Float:
        case Kind::Text:
            return fixedPointFor(*this, 0, 8, {});
        case Kind::Boolean:
            return std::get<bool>(v_) ? 1 : 0;
        default:
            wrongKind("integer");
    }
}

double Value::asDouble() const {
    switch (kind()) {
        case Kind::Integer:
            return static_cast<double>(std::get<int64_t>(v_));
        case Kind::Decimal:
            return std::get<Decimal>(v_).toDouble();
        case Kind::Float:
            return std::get<double>(v_);
        default:
            wrongKind("float");
    }
}

const std::string& Value::asString() const {
    if (kind() != Kind::Text) wrongKind("string");
    return std::get<std::string>(v_);
}

Decimal Value::asDecimal() const {
    switch (kind()) {
        case Kind::Integer:
            return Decimal{std::get<int64_t>(v_), 0};
        case Kind::Decimal:
            return std::get<Decimal>(v_);
        case Kind::Float:
            return Decimal{fixedPointFor(*this, 4, 8, {}), 4};
        default:
            wrongKind("decimal");
    }
}

Date Value::asDate() const {
    if (kind() == Kind::Timestamp) return std::get<Timestamp>(v_).date;
    if (kind() != Kind::Date) wrongKind("date");
    return std::get<Date>(v_);
}

Time Value::asTime() const {
    if (kind() == Kind::Timestamp) return std::get<Timestamp>(v_).time;
    if (kind() != Kind::Time) wrongKind("time");
    return std::get<Time>(v_);
}

Timestamp Value::asTimestamp() const {
    if (kind() == Kind::Date) return Timestamp{std::get<Date>(v_), Time{}};
    if (kind() != Kind::Timestamp) wrongKind("timestamp");
    return std::get<Timestamp>(v_);
}

bool Value::asBoolean() const {
    if (kind() != Kind::Boolean) wrongKind("boolean");
    return std::get<bool>(v_);
}

std::string Value::toText() const {
    switch (kind()) {
        case Kind::Null:
            return {};
        case Kind::Integer:
            return std::to_string(std::get<int64_t>(v_));
        case Kind::Decimal:
            return std::get<Decimal>(v_).toString();
        case Kind::Float: {
            char buf[40];
            std::snprintf(buf, sizeof buf, "%.15g", std::get<double>(v_));
            return buf;
        }
        case Kind::Text:
            return std::get<std::string>(v_);
        case Kind::Date:
            return shortDateText(std::get<Date>(v_));
        case Kind::Time:
            return longTimeText(std::get<Time>(v_));
        case Kind::Timestamp: {
            const auto& ts = std::get<Timestamp>(v_);
            // A time stamp at midnight shows as its date alone.
            if (ts.time.fractions == 0) return shortDateText(ts.date);
            return shortDateText(ts.date) + " " + longTimeText(ts.time);
        }
        case Kind::Boolean:
            return std::get<bool>(v_) ? "True" : "False";
    }
    return {};
}

const char* fieldTypeName(FieldType t) {
    switch (t) {
        case FieldType::Integer:
            return "Integer";
        case FieldType::Decimal:
            return "FMTBcd";
        case FieldType::Float:
            return "Float";
        case FieldType::String:
            return "String";
        case FieldType::Date:
            return "Date";
        case FieldType::Time:
            return "Time";
        case FieldType::Timestamp:
            return "TimeStamp";
        case FieldType::Blob:
            return "Blob";
        case FieldType::Boolean:
            return "Boolean";
    }
    return "Unknown";
}

namespace {

std::atomic<unsigned> localeGeneration{1};

// The system locale's patterns, read once per thread and again after
// refreshLocaleFormats().
struct SystemPatterns {
    unsigned generation = 0;
    DateTimePattern date;
    DateTimePattern time;
};

const SystemPatterns& systemPatterns() {
    thread_local SystemPatterns patterns;
    const unsigned generation = localeGeneration.load(std::memory_order_relaxed);
    if (patterns.generation != generation) {
        const QLocale locale = QLocale::system();
        patterns.date = DateTimePattern::shortDate(locale);
        patterns.time = DateTimePattern::wallClockTime(locale);
        patterns.generation = generation;
    }
    return patterns;
}

std::string dateTextBy(const DateTimePattern& pattern, Date d) {
    int y, m, dd;
    d.toYmd(y, m, dd);
    return pattern.dateText(y, m, dd);
}

std::string timeTextBy(const DateTimePattern& pattern, Time t) {
    int h, mi, s, f;
    t.toHms(h, mi, s, f);
    return pattern.timeText(h, mi, s, f / 10);
}

}  // namespace

void refreshLocaleFormats() { localeGeneration.fetch_add(1, std::memory_order_relaxed); }

std::string shortDateText(Date d) { return dateTextBy(systemPatterns().date, d); }

std::string longTimeText(Time t) { return timeTextBy(systemPatterns().time, t); }

std::string shortDateText(Date d, const QLocale& locale) {
    return dateTextBy(DateTimePattern::shortDate(locale), d);
}

std::string longTimeText(Time t, const QLocale& locale) {
    return timeTextBy(DateTimePattern::wallClockTime(locale), t);
}

std::string isoDateText(Date d) {
    int y, m, dd;
    d.toYmd(y, m, dd);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, dd);
    return buf;
}

std::string isoTimeText(Time t) {
    int h, mi, s, f;
    t.toHms(h, mi, s, f);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, mi, s);
    return buf;
}

unsigned char upperCase1252(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
    switch (c) {
        case 0x9A:
            return 0x8A;  // š
        case 0x9C:
            return 0x8C;  // œ
        case 0x9E:
            return 0x8E;  // ž
        case 0xFF:
            return 0x9F;  // ÿ
        default:
            return c;
    }
}

}  // namespace enviozvr::data
