#include "ui/guide.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QKeySequence>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace enviozvr::ui {
namespace {

constexpr auto kGuideName = "guia.html";
// The copy of the guide and its screenshots built into the program (ui/guide.qrc).
constexpr auto kBuiltInGuide = "qrc:/guia/guia.html";

}  // namespace

QString guideFile() {
    QStringList candidates;
    if (const QString named = qEnvironmentVariable("ENVIOZVR_GUIDE"); !named.isEmpty()) {
        candidates << named;
    }
    candidates << QDir(QStringLiteral(ENVIOZVR_DOC_DIR)).filePath(QLatin1String(kGuideName))
               << QDir(QCoreApplication::applicationDirPath())
                      .filePath(QStringLiteral("../share/doc/enviozvr/") +
                                QLatin1String(kGuideName));
    for (const QString& candidate : candidates) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isReadable()) return info.absoluteFilePath();
    }
    return {};
}

void installGuideKey(QWidget* window) {
    auto* key = new QShortcut(QKeySequence(Qt::Key_F1), window);
    key->setObjectName(QStringLiteral("guideKey"));
    key->setContext(Qt::WindowShortcut);
    QObject::connect(key, &QShortcut::activated, window, [window] { openGuide(window); });
}

void openGuide(QWidget* parent) {
    const QString file = guideFile();
    if (!file.isEmpty() && QDesktopServices::openUrl(QUrl::fromLocalFile(file))) return;
    showGuideViewer(parent);
}

QWidget* showGuideViewer(QWidget* parent) {
    // F1 pressed again brings the open viewer forward instead of opening another one.
    if (auto* open = parent->findChild<QDialog*>(QStringLiteral("guideViewer"),
                                                 Qt::FindDirectChildrenOnly)) {
        open->raise();
        open->activateWindow();
        return open;
    }
    auto* dialog = new QDialog(parent);
    dialog->setObjectName(QStringLiteral("guideViewer"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("Guía de uso de enviozvr"));
    auto* layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* browser = new QTextBrowser(dialog);
    browser->setObjectName(QStringLiteral("guideText"));
    browser->setOpenExternalLinks(true);
    layout->addWidget(browser);
    const QString file = guideFile();
    browser->setSource(file.isEmpty() ? QUrl(QLatin1String(kBuiltInGuide))
                                      : QUrl::fromLocalFile(file));
    dialog->resize(900, 650);
    dialog->show();
    return dialog;
}

}  // namespace enviozvr::ui
