#include "data/localetext.h"

#include <QRegularExpression>

namespace enviozvr::data {

namespace {

// Stands for the zone in the formatted text; a private-use character no locale writes.
constexpr char16_t kZoneMark = 0xE000;

// The format with every unquoted run of 't' (the zone field, in any of its lengths)
// replaced by a quoted mark.
QString markZone(const QString& format)
{
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

bool isBlankOrSeparator(QChar c)
{
    return c.isSpace() || c == u',' || c == u';';
}

}  // namespace

QString wallClockTimeText(const QLocale& locale, const QTime& time)
{
    QString text = locale.toString(time, markZone(locale.timeFormat(QLocale::LongFormat)));

    // The mark with the blanks and list separators around it: one blank between two
    // parts, nothing at either end.
    static const QRegularExpression zone(QStringLiteral(u"[\\s,;]*\uE000[\\s,;]*"));
    for (auto m = zone.match(text); m.hasMatch(); m = zone.match(text)) {
        const bool inside = m.capturedStart() > 0 && m.capturedEnd() < text.size();
        text.replace(m.capturedStart(), m.capturedLength(), inside ? QStringLiteral(" ") : QString());
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

}  // namespace enviozvr::data
