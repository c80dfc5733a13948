// F1 opens the user's guide: from the main window and from both event list viewers, in
// the desktop's browser (a URL handler stands in for it here, as QDesktopServices allows),
// or, with no browser to take it, in the program's own viewer.
#include "ui/guide.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QShortcut>
#include <QTest>
#include <QTextBrowser>
#include <QUrl>
#include <memory>

#include "support/recordederrors.h"
#include "ui/gridwidget.h"
#include "ui/mensajesenvzvr.h"
#include "ui/pendienteszvr.h"
#include "ui/principalzvr.h"
#include "uitest.h"

namespace enviozvr::uitest {
namespace {

// Receives the addresses that QDesktopServices::openUrl hands to the browser.
class Browser : public QObject {
    Q_OBJECT
  public:
    Browser() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~Browser() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QList<QUrl> opened;
  public slots:
    void open(const QUrl& url) { opened << url; }
};

// ENVIOZVR_GUIDE set for the life of the object, the earlier value put back after.
class GuideSetting {
  public:
    explicit GuideSetting(const QString& file) : before_(qgetenv("ENVIOZVR_GUIDE")) {
        qputenv("ENVIOZVR_GUIDE", file.toLocal8Bit());
    }
    ~GuideSetting() {
        if (before_.isNull())
            qunsetenv("ENVIOZVR_GUIDE");
        else
            qputenv("ENVIOZVR_GUIDE", before_);
    }

  private:
    QByteArray before_;
};

const QString kGuide = QStringLiteral(ENVIOZVR_SOURCE_DIR "/docs/guia.html");

QDialog* openViewer(QWidget* parent) {
    return parent->findChild<QDialog*>(QStringLiteral("guideViewer"));
}

TEST(Guide, F1InTheMainWindowOpensTheGuideInTheBrowser) {
    GuideSetting guide(kGuide);
    Browser browser;
    ui::Tfprincipalzvr window({});
    auto* key = window.findChild<QShortcut*>(QStringLiteral("guideKey"));
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->key(), QKeySequence(Qt::Key_F1));
    EXPECT_EQ(key->context(), Qt::WindowShortcut);
    // The main window's first activation would start the login, so the key's own signal
    // stands in for the key press here; the viewers below take the real key.
    emit key->activated();
    ASSERT_EQ(browser.opened.size(), 1);
    EXPECT_EQ(browser.opened.front(), QUrl::fromLocalFile(kGuide));
    EXPECT_EQ(openViewer(&window), nullptr);
}

// Both viewers over a logged-in company of the world: F1 pressed in the grid.
TEST(Guide, F1InEitherEventListOpensTheGuideInTheBrowser) {
    GuideSetting guide(kGuide);
    testing::RecordedErrors errors;
    UiWorld world;
    sender::MainData data;
    data.loginAutomatic(world.server, world.user, world.password);
    data.selectCompany("001");
    const std::unique_ptr<ui::EventListViewer> viewers[] = {
        std::make_unique<ui::Tfmensajesenvzvr>(data),
        std::make_unique<ui::Tfpendienteszvr>(data),
    };
    for (const auto& viewer : viewers) {
        SCOPED_TRACE(viewer->windowTitle().toStdString());
        Browser browser;
        viewer->show();
        QApplication::setActiveWindow(viewer.get());
        viewer->Grid1->setFocus();
        QTest::keyClick(viewer->Grid1, Qt::Key_F1);
        ASSERT_EQ(browser.opened.size(), 1);
        EXPECT_EQ(browser.opened.front(), QUrl::fromLocalFile(kGuide));
        viewer->close();
    }
    EXPECT_TRUE(errors.shown.empty());
}

// No file where the guide should be: the program's own viewer shows its built-in copy,
// with the guide's title and its sections; F1 again brings that viewer forward.
TEST(Guide, WithoutTheFileTheProgramsOwnViewerShowsItsCopy) {
    GuideSetting guide(QStringLiteral("/nonexistent/guia.html"));
    if (!ui::guideFile().isEmpty()) GTEST_SKIP() << "a guide is installed on this machine";
    Browser browser;
    QWidget parent;
    ui::openGuide(&parent);
    ui::openGuide(&parent);
    EXPECT_TRUE(browser.opened.isEmpty());
    EXPECT_EQ(parent.findChildren<QDialog*>().size(), 1);
    QDialog* viewer = openViewer(&parent);
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    const QString text = viewer->findChild<QTextBrowser*>()->toPlainText();
    EXPECT_TRUE(text.startsWith(QStringLiteral("Guía de uso de enviozvr")))
        << text.left(80).toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Qué hacer con cada mensaje")));
    viewer->close();
}

}  // namespace
}  // namespace enviozvr::uitest

#include "guide_test.moc"
