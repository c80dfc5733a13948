#include "grid/filtertext.h"

#include <QDate>
#include <QLocale>
#include <QTime>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "data/codepage.h"

namespace enviozvr::grid {

FilterOperandType filterOperandTypeOf(TFieldType type) {
    switch (type) {
        case ftString:
        case ftFixedChar:
        case ftWideString:
        case ftMemo:
        case ftFmtMemo:
        case ftGuid:
            return FilterOperandType::Text;
        case ftSmallint:
        case ftInteger:
        case ftLargeint:
        case ftWord:
        case ftAutoInc:
        case ftFloat:
        case ftCurrency:
        case ftBCD:
        case ftFMTBcd:
            return FilterOperandType::Number;
        case ftDate:
        case ftTime:
        case ftDateTime:
        case ftTimeStamp:
            return FilterOperandType::DateTime;
        case ftBoolean:
            return FilterOperandType::Boolean;
        default:
            return FilterOperandType::None;
    }
}

FilterLocale FilterLocale::workstation() { return of(QLocale::system()); }

FilterLocale FilterLocale::of(const QLocale& locale) {
    FilterLocale out;
    out.shown = locale;
    const QString dp = locale.decimalPoint();
    if (dp.size() == 1 && dp.at(0).unicode() < 0x100)
        out.decimalSeparator = static_cast<char>(dp.at(0).unicode());
    const QString format = locale.dateFormat(QLocale::ShortFormat).toLower();
    const qsizetype d = format.indexOf(QLatin1Char('d'));
    const qsizetype m = format.indexOf(QLatin1Char('m'));
    const qsizetype y = format.indexOf(QLatin1Char('y'));
    if (y >= 0 && d >= 0 && m >= 0) {
        if (y < m && y < d)
            out.dateOrder = DateOrder::YearMonthDay;
        else if (m < d)
            out.dateOrder = DateOrder::MonthDayYear;
        else
            out.dateOrder = DateOrder::DayMonthYear;
    }
    for (QChar c : format) {
        if (!c.isLetter() && !c.isSpace() && c != QLatin1Char('\'') && c.unicode() < 0x80) {
            out.dateSeparator = static_cast<char>(c.unicode());
            break;
        }
    }
    const QString time = locale.timeFormat(QLocale::LongFormat);
    for (QChar c : time) {
        if (!c.isLetter() && !c.isSpace() && c != QLatin1Char('\'') && c.unicode() < 0x80) {
            out.timeSeparator = static_cast<char>(c.unicode());
            break;
        }
    }
    return out;
}

std::string trimmedFilterText(std::string_view text) {
    size_t a = 0;
    size_t b = text.size();
    while (a < b && static_cast<unsigned char>(text[a]) <= ' ') ++a;
    while (b > a && static_cast<unsigned char>(text[b - 1]) <= ' ') --b;
    return std::string(text.substr(a, b - a));
}

// ---- Operand conversions -----------------------------------------------------------------

double filterNumber(std::string_view text, const FilterLocale& locale) {
    const std::string s = trimmedFilterText(text);
    std::string plain;  // the number with '.' as its decimal point, for strtod
    size_t i = 0;
    bool digits = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) plain += s[i++];
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        plain += s[i++];
        digits = true;
    }
    if (i < s.size() && s[i] == locale.decimalSeparator) {
        plain += '.';
        ++i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            plain += s[i++];
            digits = true;
        }
    }
    if (digits && i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        plain += 'e';
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) plain += s[i++];
        bool exponent = false;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            plain += s[i++];
            exponent = true;
        }
        if (!exponent) digits = false;
    }
    const double value = digits && i == s.size() ? std::strtod(plain.c_str(), nullptr) : NAN;
    if (!std::isfinite(value))
        throw FilterError("'" + std::string(text) + "' is not a valid floating point value");
    return value;
}

namespace {

// Digits at `i`: their value, or nothing when there is no digit.
std::optional<int> readNumber(const std::string& s, size_t& i, size_t maxDigits = 4) {
    size_t start = i;
    int value = 0;
    while (i < s.size() && i - start < maxDigits && std::isdigit(static_cast<unsigned char>(s[i])))
        value = value * 10 + (s[i++] - '0');
    if (i == start) return std::nullopt;
    return value;
}

// A morning or afternoon marker reduced to what tells it: upper case, without blanks (a
// no-break space too) or dots, so that "p. m.", "P. M.", "p.m." and "PM" read alike.
std::string amPmKey(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u == ' ' || u == 0xA0 || u == '.') continue;
        out += static_cast<char>(data::upperCase1252(u));
    }
    return out;
}
std::string amPmKey(const QString& text) { return amPmKey(data::windows1252FromQString(text)); }

bool isDateSeparator(char c, const FilterLocale& locale) {
    return c == locale.dateSeparator || c == '/' || c == '-' || c == '.';
}

bool validDate(int y, int m, int d) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return d <= days[m - 1] + (m == 2 && leap ? 1 : 0);
}

}  // namespace

namespace {

// A time format without its time-zone field ("t" runs outside quotes) and the blanks,
// brackets and commas that only framed it, as the grid shows times.
QString zonelessFormat(const QString& format) {
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) quoted = !quoted;
        if (!quoted && c == QLatin1Char('t')) {
            while (!out.isEmpty() &&
                   (out.back().isSpace() || out.back() == QLatin1Char('(') ||
                    out.back() == QLatin1Char('[') || out.back() == QLatin1Char(',')))
                out.chop(1);
            while (i + 1 < format.size() &&
                   (format.at(i + 1) == QLatin1Char('t') || format.at(i + 1) == QLatin1Char(')') ||
                    format.at(i + 1) == QLatin1Char(']')))
                ++i;
            continue;
        }
        out += c;
    }
    return out.trimmed();
}

// A date, a time, or a date and a time, as the grid shows them in `locale` (its short date
// and its long or short time format); nothing when the text is not such.
std::optional<data::Timestamp> shownDateTime(const std::string& text, const QLocale& locale) {
    const QString s = data::qstringFromWindows1252(text);
    const QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
    const QStringList timeFormats = {zonelessFormat(locale.timeFormat(QLocale::LongFormat)),
                                     locale.timeFormat(QLocale::ShortFormat)};
    const bool twoDigitYear = !dateFormat.contains(QLatin1String("yyyy"));
    const auto date = [&](const QString& part) {
        QDate d = locale.toDate(part, dateFormat);
        if (d.isValid() && twoDigitYear) {
            // As typed in the numeric forms: within fifty years of the current one.
            int ty, tm, td;
            data::today().toYmd(ty, tm, td);
            int y = d.year() % 100 + (ty / 100) * 100;
            if (y > ty + 50) y -= 100;
            if (y <= ty - 50) y += 100;
            d = QDate(y, d.month(), d.day());
        }
        return d;
    };
    const auto time = [&](const QString& part) {
        for (const QString& format : timeFormats) {
            const QTime t = locale.toTime(part, format);
            if (t.isValid()) return t;
        }
        return QTime();
    };
    const auto stamp = [](const QDate& d, const QTime& t) {
        data::Timestamp out{data::Date::fromYmd(1899, 12, 30), data::Time{}};
        if (d.isValid()) out.date = data::Date::fromYmd(d.year(), d.month(), d.day());
        if (t.isValid())
            out.time = data::Time::fromHms(t.hour(), t.minute(), t.second(), t.msec() * 10);
        return out;
    };
    if (const QDate d = date(s); d.isValid()) return stamp(d, {});
    if (const QTime t = time(s); t.isValid()) return stamp({}, t);
    // A date and a time separated by a blank: try each blank as the place between them.
    for (qsizetype at = s.indexOf(QLatin1Char(' ')); at > 0;
         at = s.indexOf(QLatin1Char(' '), at + 1)) {
        const QDate d = date(s.left(at).trimmed());
        if (!d.isValid()) continue;
        if (const QTime t = time(s.mid(at + 1).trimmed()); t.isValid()) return stamp(d, t);
    }
    return std::nullopt;
}

data::Timestamp numericDateTime(std::string_view text, const FilterLocale& locale);

}  // namespace

data::Timestamp filterDateTime(std::string_view text, const FilterLocale& locale) {
    try {
        return numericDateTime(text, locale);
    } catch (const FilterError&) {
        if (locale.shown) {
            if (const auto shown = shownDateTime(trimmedFilterText(text), *locale.shown))
                return *shown;
        }
        throw;
    }
}

namespace {

data::Timestamp numericDateTime(std::string_view text, const FilterLocale& locale) {
    const std::string s = trimmedFilterText(text);
    auto fail = [&]() -> FilterError {
        return FilterError("'" + std::string(text) + "' is not a valid date and time");
    };
    size_t i = 0;
    data::Timestamp out{data::Date::fromYmd(1899, 12, 30), data::Time{}};
    // Date: two or three numbers separated by the date separator, in the locale's order.
    {
        size_t probe = i;
        std::vector<int> parts;
        std::vector<size_t> widths;
        while (true) {
            size_t start = probe;
            std::optional<int> n = readNumber(s, probe);
            if (!n) break;
            parts.push_back(*n);
            widths.push_back(probe - start);
            if (parts.size() < 3 && probe < s.size() && isDateSeparator(s[probe], locale) &&
                probe + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[probe + 1])))
                ++probe;
            else
                break;
        }
        if (parts.size() >= 2) {
            int ty, tm, td;
            data::today().toYmd(ty, tm, td);
            int y = ty, m = 0, d = 0;
            size_t yearWidth = 4;
            using Order = FilterLocale::DateOrder;
            if (parts.size() == 2) {
                if (locale.dateOrder == Order::DayMonthYear) {
                    d = parts[0];
                    m = parts[1];
                } else {
                    m = parts[0];
                    d = parts[1];
                }
            } else if (locale.dateOrder == Order::YearMonthDay) {
                y = parts[0], m = parts[1], d = parts[2], yearWidth = widths[0];
            } else if (locale.dateOrder == Order::MonthDayYear) {
                m = parts[0], d = parts[1], y = parts[2], yearWidth = widths[2];
            } else {
                d = parts[0], m = parts[1], y = parts[2], yearWidth = widths[2];
            }
            if (parts.size() == 3 && yearWidth <= 2) {
                // Two-digit years fall within fifty years of the current one.
                y += (ty / 100) * 100;
                if (y > ty + 50) y -= 100;
                if (y <= ty - 50) y += 100;
            }
            if (!validDate(y, m, d)) throw fail();
            out.date = data::Date::fromYmd(y, m, d);
            i = probe;
            while (i < s.size() && s[i] == ' ') ++i;
            if (i == s.size()) return out;
        }
    }
    // Time: hours and minutes, optional seconds and fraction, optional AM/PM.
    std::optional<int> h = readNumber(s, i, 2);
    if (!h || i >= s.size() || (s[i] != locale.timeSeparator && s[i] != ':')) throw fail();
    ++i;
    std::optional<int> mi = readNumber(s, i, 2);
    if (!mi) throw fail();
    int sec = 0, frac = 0;
    if (i < s.size() && (s[i] == locale.timeSeparator || s[i] == ':')) {
        ++i;
        std::optional<int> se = readNumber(s, i, 2);
        if (!se) throw fail();
        sec = *se;
        if (i < s.size() && (s[i] == '.' || s[i] == ',')) {
            ++i;
            size_t start = i;
            std::optional<int> f = readNumber(s, i, 3);
            if (!f) throw fail();
            frac = *f;
            for (size_t k = i - start; k < 4; ++k) frac *= 10;
        }
    }
    while (i < s.size() && s[i] == ' ') ++i;
    int hour = *h;
    if (i < s.size()) {
        const std::string rest = amPmKey(s.substr(i));
        const bool am = rest == "AM" || (locale.shown && rest == amPmKey(locale.shown->amText()));
        const bool pm = rest == "PM" || (locale.shown && rest == amPmKey(locale.shown->pmText()));
        if ((am || pm) && hour >= 1 && hour <= 12)
            hour = (hour % 12) + (pm ? 12 : 0);
        else
            throw fail();
    }
    if (hour > 23 || *mi > 59 || sec > 59) throw fail();
    out.time = data::Time::fromHms(hour, *mi, sec, frac);
    return out;
}

}  // namespace

// ---- Lexemes -------------------------------------------------------------------------------

namespace {

enum class Lex {
    None,  // end of text, or a ')' where no lexeme starts
    Value,
    Equal,
    NotEqual,
    Greater,
    GreaterOrEqual,
    Less,
    LessOrEqual,
    Like,
    Not,
    NotLike,
    InList,
    NotInList,
    And,
    Or,
    Null,
    NotNull,
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool endsWord(char c) {
    return static_cast<unsigned char>(c) < ' ' || isBlank(c) ||
           std::strchr("!\"&'()+,-.<=>|~", c) != nullptr;
}

bool sameWord(std::string_view word, const char* keyword) {
    if (word.size() != std::strlen(keyword)) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(word[i])) != keyword[i]) return false;
    return true;
}

class FilterParser {
  public:
    FilterParser(std::string text, FilterOperandType type, const FilterLocale& locale)
        : s_(std::move(text)), type_(type), locale_(locale) {
        listsAllowed_ = !(type == FilterOperandType::Number && locale.decimalSeparator == ',');
    }

    FilterCondition parse() {
        FilterCondition out;
        out.type = type_;
        readCondition(out.operator1, out.operand1, false);
        skipBlanks();
        if (pos_ < s_.size()) readSecond(out);
        // Values are converted once the whole text has parsed.
        convert(out.operator1, out.operand1);
        convert(out.operator2, out.operand2);
        return out;
    }

  private:
    void readSecond(FilterCondition& out) {
        const Lex relation = next(false);
        if (relation == Lex::None) fail("Incorrect expression: ");
        if (relation != Lex::And && relation != Lex::Or) fail("Unexpected AND or OR: ");
        out.relation = relation == Lex::And ? FilterRelation::And : FilterRelation::Or;
        readCondition(out.operator2, out.operand2, true);
    }

    [[noreturn]] void fail(const char* message) const { throw FilterError(message + s_); }

    void skipBlanks() {
        while (pos_ < s_.size() && isBlank(s_[pos_])) ++pos_;
    }

    // The operator lexeme (symbol or keyword) at `at`, with the position after it; Value
    // when none starts there. IN counts only when "(" follows, which it consumes.
    Lex operatorAt(size_t at, size_t& end) const {
        if (at >= s_.size()) return Lex::Value;
        const char c = s_[at];
        const char d = at + 1 < s_.size() ? s_[at + 1] : '\0';
        end = at + 1;
        switch (c) {
            case '=':
                return Lex::Equal;
            case '<':
                if (d == '>') return end = at + 2, Lex::NotEqual;
                if (d == '=') return end = at + 2, Lex::LessOrEqual;
                return Lex::Less;
            case '>':
                if (d == '=') return end = at + 2, Lex::GreaterOrEqual;
                return Lex::Greater;
            case '!':
                if (d == '=') return end = at + 2, Lex::NotEqual;
                return Lex::Not;
            case '~':
                return Lex::Like;
            case '&':
                return Lex::And;
            case '|':
                return Lex::Or;
            default:
                break;
        }
        size_t w = at;
        while (w < s_.size() && !endsWord(s_[w])) ++w;
        const std::string_view word(s_.data() + at, w - at);
        end = w;
        if (sameWord(word, "LIKE")) return Lex::Like;
        if (sameWord(word, "NOT")) return Lex::Not;
        if (sameWord(word, "AND")) return Lex::And;
        if (sameWord(word, "OR")) return Lex::Or;
        if (sameWord(word, "NULL")) return Lex::Null;
        if (sameWord(word, "IN")) {
            size_t p = w;
            while (p < s_.size() && isBlank(s_[p])) ++p;
            if (p < s_.size() && s_[p] == '(') return end = p + 1, Lex::InList;
        }
        return Lex::Value;
    }

    // The next lexeme; a value or list lands in values_ (list_ set for more than one).
    Lex next(bool listsAllowed) {
        for (;;) {
            skipBlanks();
            if (pos_ >= s_.size() || s_[pos_] == ')') return Lex::None;
            if (s_[pos_] == '(') {
                ++pos_;
                continue;
            }
            break;
        }
        size_t end = pos_;
        Lex lex = operatorAt(pos_, end);
        if (lex == Lex::Value) {
            readValues(listsAllowed);
            return Lex::Value;
        }
        pos_ = end;
        if (lex == Lex::Not) {
            size_t p = pos_;
            while (p < s_.size() && isBlank(s_[p])) ++p;
            size_t after = p;
            const Lex following = operatorAt(p, after);
            const Lex combined = following == Lex::Like     ? Lex::NotLike
                                 : following == Lex::InList ? Lex::NotInList
                                 : following == Lex::Null   ? Lex::NotNull
                                                            : Lex::Not;
            if (combined != Lex::Not) pos_ = after;
            return combined;
        }
        return lex;
    }

    void readValues(bool listsAllowed) {
        values_.clear();
        list_ = false;
        for (;;) {
            if (pos_ < s_.size() && s_[pos_] == '\'') {
                std::string value;
                size_t i = pos_ + 1;
                for (;;) {
                    const size_t q = s_.find('\'', i);
                    if (q == std::string::npos) fail("Quote is absent: ");
                    value.append(s_, i, q - i);
                    if (q + 1 < s_.size() && s_[q + 1] == '\'') {
                        value += '\'';
                        i = q + 2;
                        continue;
                    }
                    pos_ = q + 1;
                    break;
                }
                values_.push_back(std::move(value));
            } else {
                const size_t start = pos_;
                size_t end = pos_;
                while (pos_ < s_.size()) {
                    const char c = s_[pos_];
                    if (c == '(' || c == ')' || (listsAllowed && c == ',')) {
                        end = pos_;
                        break;
                    }
                    if (isBlank(c)) {
                        size_t p = pos_;
                        while (p < s_.size() && isBlank(s_[p])) ++p;
                        size_t after = p;
                        if (p == s_.size() || operatorAt(p, after) != Lex::Value) {
                            end = pos_;
                            pos_ = p;
                            break;
                        }
                        pos_ = p;
                        continue;
                    }
                    ++pos_;
                    end = pos_;
                }
                if (pos_ >= s_.size() && end < pos_) end = pos_;
                values_.push_back(s_.substr(start, end - start));
            }
            if (listsAllowed && pos_ < s_.size() && s_[pos_] == ',') {
                ++pos_;
                list_ = true;
                continue;
            }
            return;
        }
    }

    static bool isNullLex(Lex l) { return l == Lex::Null || l == Lex::NotNull; }

    void readCondition(FilterOperator& op, FilterOperand& operand, bool second) {
        const Lex first = next(listsAllowed_);
        switch (first) {
            case Lex::None:
                fail("Error in expression: ");
            case Lex::And:
            case Lex::Or:
                fail("Unexpected AND or OR: ");
            case Lex::Value:
                op = list_                              ? FilterOperator::InList
                     : type_ == FilterOperandType::Text ? FilterOperator::Like
                                                        : FilterOperator::Equal;
                takeOperand(operand);
                return;
            default:
                break;
        }
        op = operatorOf(first);
        const bool inList = first == Lex::InList || first == Lex::NotInList;
        const Lex after = next(listsAllowed_ || inList);
        if (isNullLex(after)) {
            if (first == Lex::Equal && after == Lex::Null)
                op = FilterOperator::IsNull;
            else if (first == Lex::NotEqual && after == Lex::Null)
                op = FilterOperator::IsNotNull;
            else
                fail("Unexpected expression before Null: ");
            return;
        }
        if (after != Lex::Value || first == Lex::Not)
            fail("Unexpected expression after operator: ");
        takeOperand(operand);
        if (op == FilterOperator::IsNull || op == FilterOperator::IsNotNull) operand = {};
        if (inList && !second) {
            skipBlanks();
            if (pos_ >= s_.size() || s_[pos_] != ')') fail("')' expected: ");
            ++pos_;
        }
    }

    static FilterOperator operatorOf(Lex l) {
        switch (l) {
            case Lex::Equal:
                return FilterOperator::Equal;
            case Lex::NotEqual:
                return FilterOperator::NotEqual;
            case Lex::Greater:
                return FilterOperator::Greater;
            case Lex::GreaterOrEqual:
                return FilterOperator::GreaterOrEqual;
            case Lex::Less:
                return FilterOperator::Less;
            case Lex::LessOrEqual:
                return FilterOperator::LessOrEqual;
            case Lex::Like:
                return FilterOperator::Like;
            case Lex::NotLike:
                return FilterOperator::NotLike;
            case Lex::InList:
                return FilterOperator::InList;
            case Lex::NotInList:
                return FilterOperator::NotInList;
            case Lex::Null:
                return FilterOperator::IsNull;
            case Lex::NotNull:
                return FilterOperator::IsNotNull;
            default:
                return FilterOperator::None;
        }
    }

    void takeOperand(FilterOperand& operand) {
        operand.list = list_;
        operand.values.clear();
        for (std::string& v : values_) operand.values.push_back(data::Value::text(std::move(v)));
        values_.clear();
    }

    void convert(FilterOperator op, FilterOperand& operand) const {
        if (op == FilterOperator::None || op == FilterOperator::IsNull ||
            op == FilterOperator::IsNotNull)
            return;
        for (data::Value& v : operand.values) {
            const std::string& text = v.asString();
            if (type_ == FilterOperandType::Number) {
                v = data::Value::real(filterNumber(text, locale_));
            } else if (type_ == FilterOperandType::DateTime) {
                if (sameWord(trimmedFilterText(text), "NOW"))
                    v = data::Value::text("NOW");
                else
                    v = data::Value::timestamp(filterDateTime(text, locale_));
            }
        }
    }

    std::string s_;
    FilterOperandType type_;
    const FilterLocale& locale_;
    bool listsAllowed_ = true;
    size_t pos_ = 0;
    std::vector<std::string> values_;
    bool list_ = false;
};

}  // namespace

FilterCondition parseFilterText(std::string_view text, FilterOperandType type,
                                const FilterLocale& locale) {
    std::string trimmed = trimmedFilterText(text);
    if (trimmed.empty()) return {};
    return FilterParser(std::move(trimmed), type, locale).parse();
}

}  // namespace enviozvr::grid
