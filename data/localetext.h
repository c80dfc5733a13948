// The workstation's long time text without its time-zone part. Pure functions; nothing
// throws.
#pragma once

#include <QLocale>
#include <QString>
#include <QTime>

namespace enviozvr::data {

// `time` in the long time format of `locale` without the time-zone field: a
// workstation's long time is the wall-clock time, as logs and screens show it. The
// brackets and separators that only framed the zone ("8:00:01 (UTC)", "8:00:01 AM, UTC")
// go with it, so nothing is left empty or dangling.
QString wallClockTimeText(const QLocale& locale, const QTime& time);

}  // namespace enviozvr::data
