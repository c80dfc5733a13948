#include "data/localetext.h"

#include <QDate>
#include <QRegularExpression>

#include "data/codepage.h"

namespace enviozvr::data {

namespace {

// Stands for the zone in the formatted text; a private-use character no locale writes.
constexpr char16_t kZoneMark = 0xE000;

// The format with every unquoted run of 't' (the zone field, in any of its lengths)
// replaced by a quoted mark.
QString markZone(const QString& format) {
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == u'\'') quoted = !quoted;
        if (!quoted && c == u't') {
            while (i + 1 < format.size() && format.at(i + 1) == u't') ++i;
            out += u'\'';
            out += QChar(kZoneMark);
            out += u'\'';
            continue;
        }
        out += c;
    }
    return out;
}

bool isBlankOrSeparator(QChar c) { return c.isSpace() || c == u',' || c == u';'; }

// The text with the zone mark removed together with the blanks and list separators around
// it (one blank between two parts, nothing at either end) and the brackets it leaves empty.
QString withoutZone(QString text) {
    static const QRegularExpression zone(QStringLiteral(u"[\\s,;]*\uE000[\\s,;]*"));
    for (auto m = zone.match(text); m.hasMatch(); m = zone.match(text)) {
        const bool inside = m.capturedStart() > 0 && m.capturedEnd() < text.size();
        text.replace(m.capturedStart(), m.capturedLength(),
                     inside ? QStringLiteral(" ") : QString());
    }
    // Brackets left with nothing inside, and the blanks before them.
    static const QRegularExpression emptyBrackets(
        QStringLiteral(u"\\s*(\\(\\s*\\)|\\[\\s*\\]|\uFF08\\s*\uFF09)"));
    text.remove(emptyBrackets);

    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && isBlankOrSeparator(text.at(first))) ++first;
    while (last > first && isBlankOrSeparator(text.at(last - 1))) --last;
    return text.mid(first, last - first);
}

// Stands for the field of token i in a format's text while the zone is trimmed from it.
constexpr char16_t kFieldMark = 0xE001;

void appendNumber(std::string& out, int value, int width) {
    char digits[12];
    int n = 0;
    unsigned v = static_cast<unsigned>(value < 0 ? -value : value);
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n < width) digits[n++] = '0';
    if (value < 0) out.push_back('-');
    while (n > 0) out.push_back(digits[--n]);
}

}  // namespace

QString wallClockTimeText(const QLocale& locale, const QTime& time) {
    return withoutZone(locale.toString(time, markZone(locale.timeFormat(QLocale::LongFormat))));
}

DateTimePattern DateTimePattern::shortDate(const QLocale& locale) {
    DateTimePattern p;
    p.kind_ = Kind::Date;
    p.locale_ = locale;
    p.direct_ = p.parse(locale, locale.dateFormat(QLocale::ShortFormat), false);
    // The parsed form is used only where it gives the locale's own texts.
    static const int probes[][3] = {{2026, 3, 7}, {1999, 12, 31}, {2005, 11, 20}, {9, 1, 2}};
    for (const auto& d : probes) {
        if (!p.direct_) break;
        std::string mine;
        p.append(mine, d[0], d[1], d[2], 0, 0, 0);
        p.direct_ = mine == windows1252FromQString(
                                locale.toString(QDate(d[0], d[1], d[2]), QLocale::ShortFormat));
    }
    if (!p.direct_) p.tokens_.clear();
    return p;
}

DateTimePattern DateTimePattern::wallClockTime(const QLocale& locale) {
    DateTimePattern p;
    p.kind_ = Kind::Time;
    p.locale_ = locale;
    p.direct_ = p.parse(locale, markZone(locale.timeFormat(QLocale::LongFormat)), true);
    static const int probes[][3] = {{0, 0, 0},    {8, 0, 1},  {11, 59, 59},
                                    {12, 30, 45}, {17, 5, 9}, {23, 59, 58}};
    for (const auto& t : probes) {
        if (!p.direct_) break;
        std::string mine;
        p.append(mine, 0, 0, 0, t[0], t[1], t[2]);
        p.direct_ =
            mine == windows1252FromQString(wallClockTimeText(locale, QTime(t[0], t[1], t[2])));
    }
    if (!p.direct_) p.tokens_.clear();
    return p;
}

bool DateTimePattern::parse(const QLocale& locale, const QString& format, bool time) {
    // First the format as fields and literal text, each field standing as a mark.
    std::vector<Token> fields;
    QString text;
    bool ampm = false;
    auto field = [&](Part part) {
        fields.push_back(Token{part, {}, {}});
        text += QChar(char16_t(kFieldMark + fields.size() - 1));
    };
    const qsizetype n = format.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            ++i;
            if (i < n && format.at(i) == u'\'') {  // '' outside quotes
                text += u'\'';
                ++i;
                continue;
            }
            while (i < n) {
                if (format.at(i) == u'\'') {
                    if (i + 1 < n && format.at(i + 1) == u'\'') {
                        text += u'\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text += format.at(i++);
            }
            continue;
        }
        qsizetype repeat = 1;
        while (i + repeat < n && format.at(i + repeat) == c) ++repeat;
        const char16_t u = c.unicode();
        if (u == u'd' || u == u'M' || u == u'h' || u == u'H' || u == u'm' || u == u's') {
            if (repeat > 2) return false;  // names of days or months, or fields Qt splits
            const bool two = repeat == 2;
            switch (u) {
                case u'd':
                    field(two ? Part::Day2 : Part::Day);
                    break;
                case u'M':
                    field(two ? Part::Month2 : Part::Month);
                    break;
                case u'h':
                    field(two ? Part::Hour12Pad : Part::Hour12);
                    break;
                case u'H':
                    field(two ? Part::Hour2 : Part::Hour);
                    break;
                case u'm':
                    field(two ? Part::Minute2 : Part::Minute);
                    break;
                default:
                    field(two ? Part::Second2 : Part::Second);
                    break;
            }
            i += repeat;
        } else if (u == u'y') {
            if (repeat != 2 && repeat != 4) return false;
            field(repeat == 2 ? Part::Year2 : Part::Year4);
            i += repeat;
        } else if (u == u'a' || u == u'A') {
            const bool pair = i + 1 < n && (format.at(i + 1) == u'p' || format.at(i + 1) == u'P');
            const QChar second = pair ? format.at(i + 1) : c;
            const bool upper = u == u'A' && second == u'P';
            const bool lower = u == u'a' && second == u'p';
            QString am = locale.amText(), pm = locale.pmText();
            if (upper) am = am.toUpper(), pm = pm.toUpper();
            if (lower) am = am.toLower(), pm = pm.toLower();
            fields.push_back(
                Token{Part::AmPm, windows1252FromQString(am), windows1252FromQString(pm)});
            text += QChar(char16_t(kFieldMark + fields.size() - 1));
            ampm = true;
            i += pair ? 2 : 1;
        } else if (u == u'z' || (u == u't' && !time)) {
            return false;
        } else {
            text += c;
            ++i;
        }
    }
    if (!ampm) {
        for (Token& f : fields) {
            if (f.part == Part::Hour12) f.part = Part::Hour;
            if (f.part == Part::Hour12Pad) f.part = Part::Hour2;
        }
    }
    if (time) text = withoutZone(text);

    // Then the tokens in order: runs of literal text between the fields.
    tokens_.clear();
    QString literal;
    auto flush = [&] {
        if (literal.isEmpty()) return;
        tokens_.push_back(Token{Part::Literal, windows1252FromQString(literal), {}});
        literal.clear();
    };
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= kFieldMark && static_cast<size_t>(u - kFieldMark) < fields.size()) {
            flush();
            tokens_.push_back(fields[u - kFieldMark]);
        } else {
            literal += c;
        }
    }
    flush();
    reserve_ = 0;
    for (const Token& t : tokens_) reserve_ += t.part == Part::Literal ? t.text.size() : 4;
    for (const Token& t : tokens_)
        if (t.part == Part::AmPm) reserve_ += std::max(t.text.size(), t.pm.size());
    return true;
}

void DateTimePattern::append(std::string& out, int year, int month, int day, int hour, int minute,
                             int second) const {
    for (const Token& t : tokens_) {
        switch (t.part) {
            case Part::Literal:
                out += t.text;
                break;
            case Part::Day:
                appendNumber(out, day, 1);
                break;
            case Part::Day2:
                appendNumber(out, day, 2);
                break;
            case Part::Month:
                appendNumber(out, month, 1);
                break;
            case Part::Month2:
                appendNumber(out, month, 2);
                break;
            case Part::Year2:
                appendNumber(out, year % 100, 2);
                break;
            case Part::Year4:
                appendNumber(out, year, 4);
                break;
            case Part::Hour:
                appendNumber(out, hour, 1);
                break;
            case Part::Hour2:
                appendNumber(out, hour, 2);
                break;
            case Part::Hour12:
                appendNumber(out, hour % 12 == 0 ? 12 : hour % 12, 1);
                break;
            case Part::Hour12Pad:
                appendNumber(out, hour % 12 == 0 ? 12 : hour % 12, 2);
                break;
            case Part::Minute:
                appendNumber(out, minute, 1);
                break;
            case Part::Minute2:
                appendNumber(out, minute, 2);
                break;
            case Part::Second:
                appendNumber(out, second, 1);
                break;
            case Part::Second2:
                appendNumber(out, second, 2);
                break;
            case Part::AmPm:
                out += hour < 12 ? t.text : t.pm;
                break;
        }
    }
}

std::string DateTimePattern::dateText(int year, int month, int day) const {
    if (!direct_) {
        return windows1252FromQString(
            locale_.toString(QDate(year, month, day), QLocale::ShortFormat));
    }
    std::string out;
    out.reserve(reserve_);
    append(out, year, month, day, 0, 0, 0);
    return out;
}

std::string DateTimePattern::timeText(int hour, int minute, int second, int millisecond) const {
    if (!direct_) {
        return windows1252FromQString(
            wallClockTimeText(locale_, QTime(hour, minute, second, millisecond)));
    }
    std::string out;
    out.reserve(reserve_);
    append(out, 0, 0, 0, hour, minute, second);
    return out;
}

}  // namespace enviozvr::data
