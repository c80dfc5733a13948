// The workstation's date and time texts: the long time without its time-zone part, and
// the short date and that long time read once from a locale and applied field by field.
// Nothing throws.
#pragma once

#include <QLocale>
#include <QString>
#include <QTime>
#include <string>
#include <vector>

namespace enviozvr::data {

// `time` in the long time format of `locale` without the time-zone field: a
// workstation's long time is the wall-clock time, as logs and screens show it. The
// brackets and separators that only framed the zone ("8:00:01 (UTC)", "8:00:01 AM, UTC")
// go with it, so nothing is left empty or dangling.
QString wallClockTimeText(const QLocale& locale, const QTime& time);

// A locale's short date format or zone-less long time format, parsed once into
// Windows-1252 literals and numeric fields, so that each text is formed without going
// through QLocale. A format that uses something this does not form itself (names of days
// or months, digits other than ASCII, an AM/PM text that would change what is trimmed
// around the zone) keeps the locale and forms every text through it; either way the text
// is the same as QLocale's (see directForm()).
class DateTimePattern {
  public:
    DateTimePattern() = default;
    static DateTimePattern shortDate(const QLocale& locale);
    static DateTimePattern wallClockTime(const QLocale& locale);

    std::string dateText(int year, int month, int day) const;
    std::string timeText(int hour, int minute, int second, int millisecond = 0) const;

    // True when the texts are formed from the parsed fields (the fast path).
    bool directForm() const { return direct_; }

  private:
    enum class Part : unsigned char {
        Literal,
        Day,
        Day2,
        Month,
        Month2,
        Year2,
        Year4,
        Hour,
        Hour2,
        Hour12,
        Hour12Pad,
        Minute,
        Minute2,
        Second,
        Second2,
        AmPm,
    };
    struct Token {
        Part part = Part::Literal;
        std::string text;  // the literal, or the AM text of AmPm
        std::string pm;    // the PM text of AmPm
    };

    void append(std::string& out, int year, int month, int day, int hour, int minute,
                int second) const;
    bool parse(const QLocale& locale, const QString& format, bool time);

    enum class Kind : unsigned char { None, Date, Time };
    Kind kind_ = Kind::None;
    bool direct_ = false;
    std::vector<Token> tokens_;
    size_t reserve_ = 0;
    QLocale locale_;
};

}  // namespace enviozvr::data
