// Date and time texts of screens and logs in a workstation's locale, and the Windows-1252
// conversion they go through.
#include "data/localetext.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <string>

#include "data/codepage.h"
#include "data/value.h"

namespace enviozvr::data {
namespace {

TEST(LocaleTexts, LongTimeWithoutZoneAndWithoutWhatFramedIt) {
    struct Case {
        const char* locale;
        const char* morning;    // 08:00:01
        const char* afternoon;  // 17:05:09
    };
    const Case cases[] = {
        {"es_ES", "8:00:01", "17:05:09"},                        // H:mm:ss (t)
        {"ca_ES", "8:00:01", "17:05:09"},                        // H:mm:ss (t)
        {"eu_ES", "08:00:01", "17:05:09"},                       // HH:mm:ss (t)
        {"en_US", "8:00:01 AM", "5:05:09 PM"},                   // h:mm:ss AP t
        {"de_DE", "08:00:01", "17:05:09"},                       // HH:mm:ss t
        {"zh_CN", "08:00:01", "17:05:09"},                       // t HH:mm:ss
        {"sq_AL", "8:00:01 E PARADITES", "5:05:09 E PASDITES"},  // h:mm:ss AP, t
        {"fr_CA", "08 h 00 min 01 s", "17 h 05 min 09 s"},       // HH 'h' mm 'min' ss 's' t
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        const QLocale locale{QString::fromLatin1(c.locale)};
        EXPECT_EQ(longTimeText(Time::fromHms(8, 0, 1), locale), c.morning);
        EXPECT_EQ(longTimeText(Time::fromHms(17, 5, 9, 9999), locale), c.afternoon);
    }
}

TEST(LocaleTexts, ShortDate) {
    struct Case {
        const char* locale;
        const char* text;
    };
    const Case cases[] = {
        {"es_ES", "7/3/26"},
        {"en_US", "3/7/26"},
        {"de_DE", "07.03.26"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        EXPECT_EQ(shortDateText(Date::fromYmd(2026, 3, 7), QLocale{QString::fromLatin1(c.locale)}),
                  c.text);
    }
}

// The patterns read once from a locale form the same texts as the locale itself, for every
// hour, minute and second and for days across the years; common locales take the direct
// form, and one whose digits are not ASCII keeps going through the locale.
TEST(LocaleTexts, PatternsFormTheLocalesOwnTexts) {
    struct Case {
        const char* locale;
        bool directTime;
        bool directDate;
    };
    const Case cases[] = {
        {"es_ES", true, true},   {"ca_ES", true, true}, {"eu_ES", true, true},
        {"en_US", true, true},   {"en_GB", true, true}, {"de_DE", true, true},
        {"fr_FR", true, true},   {"fr_CA", true, true}, {"it_IT", true, true},
        {"pt_BR", true, true},   {"zh_CN", true, true}, {"ja_JP", true, true},
        {"ko_KR", true, true},   {"sq_AL", true, true}, {"hi_IN", true, true},
        {"ru_RU", true, true},   {"nl_NL", true, true}, {"sv_SE", true, true},
        {"C", true, false},       // d MMM yyyy: a month name
        {"ar_EG", false, false},  // Arabic-Indic digits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        const QLocale locale{QString::fromLatin1(c.locale)};
        const DateTimePattern time = DateTimePattern::wallClockTime(locale);
        const DateTimePattern date = DateTimePattern::shortDate(locale);
        EXPECT_EQ(time.directForm(), c.directTime);
        EXPECT_EQ(date.directForm(), c.directDate);
        for (int h = 0; h < 24; ++h) {
            for (int m : {0, 1, 9, 10, 30, 59}) {
                const int s = (h * 7 + m) % 60;
                ASSERT_EQ(time.timeText(h, m, s),
                          windows1252FromQString(wallClockTimeText(locale, QTime(h, m, s))))
                    << h << ":" << m << ":" << s;
            }
        }
        for (int y : {1, 10, 99, 100, 1858, 1999, 2000, 2009, 2026, 9999}) {
            for (int mo : {1, 9, 10, 12}) {
                for (int d : {1, 9, 10, 31}) {
                    const QDate day(y, mo, d);
                    if (!day.isValid()) continue;
                    ASSERT_EQ(date.dateText(y, mo, d),
                              windows1252FromQString(locale.toString(day, QLocale::ShortFormat)))
                        << y << "-" << mo << "-" << d;
                }
            }
        }
    }
}

TEST(LocaleTexts, Windows1252BothWays) {
    struct Case {
        const char* what;
        QString text;
        std::string bytes;
    };
    const Case cases[] = {
        {"ASCII", QStringLiteral("08:00:01"), "08:00:01"},
        {"Latin-1 range", QStringLiteral("compañía Ñ"),
         "compa\xF1\xED"
         "a \xD1"},
        {"the code page's own 0x80-0x9F", QStringLiteral("€‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ"),
         "\x80\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8E\x91\x92\x93\x94\x95\x96\x97\x98"
         "\x99\x9A\x9B\x9C\x9E\x9F"},
        {"undefined bytes keep their number", QString(QChar(0x81)) + QChar(0x9D), "\x81\x9D"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(windows1252FromQString(c.text), c.bytes);
        EXPECT_EQ(qstringFromWindows1252(c.bytes), c.text);
    }
    // What the code page cannot hold becomes '?'.
    EXPECT_EQ(windows1252FromQString(QStringLiteral("ч. ✓")), "?. ?");
}

}  // namespace
}  // namespace enviozvr::data
