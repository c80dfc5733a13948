// The Esc check of long grid walks: it sees an Esc waiting, holds every input event until
// the walk ends, and fires no timer meanwhile.
#include "ui/escapewatch.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

namespace enviozvr::uitest {
namespace {

void postKey(QWidget* to, int key, const QString& text = {}) {
    QCoreApplication::postEvent(to, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, text));
}

TEST(EscapeWatch, SeesEscHoldsInputAndFiresNoTimer) {
    QLineEdit edit;
    edit.show();
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(0);
    {
        qint64 now = 0;
        ui::EscapeWatch watch([&] { return now; });
        postKey(&edit, Qt::Key_X, QStringLiteral("x"));
        EXPECT_FALSE(watch.escapeWaiting()) << "a letter is no Esc";
        postKey(&edit, Qt::Key_Escape);
        postKey(&edit, Qt::Key_Y, QStringLiteral("y"));
        // Past the first question the watch looks again only after its interval.
        now += ui::EscapeWatch::kIntervalMs - 1;
        EXPECT_FALSE(watch.escapeWaiting()) << "not looked at before the interval is up";
        now += 1;
        EXPECT_TRUE(watch.escapeWaiting());
        EXPECT_TRUE(watch.escapeWaiting()) << "it stays seen";
        EXPECT_EQ(edit.text(), QString()) << "input is held during the walk";
        EXPECT_EQ(ticks, 0) << "no timer fires during the walk";
    }
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(edit.text(), QStringLiteral("xy")) << "held keys reach their receiver in order";
}

}  // namespace
}  // namespace enviozvr::uitest
