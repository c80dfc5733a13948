#include "ui/messageboxes.h"

#include <QApplication>
#include <QMessageBox>

#include "core/messages.h"
#include "data/codepage.h"

namespace enviozvr::ui {

namespace {

class MessageBoxDisplay : public core::ErrorDisplay {
  public:
    void showError(const std::string& text) override {
        showMessageBox(data::qstringFromWindows1252(text));
    }
};

}  // namespace

void showMessageBox(const QString& text) {
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent) parent = QApplication::activeWindow();
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok,
                    parent);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.exec();
}

core::ErrorDisplay& desktopErrorDisplay() {
    static MessageBoxDisplay display;
    return display;
}

void installDesktopMessages() {
    core::setUserMessageHandler(
        [](const std::string& text) { showMessageBox(data::qstringFromWindows1252(text)); });
}

}  // namespace enviozvr::ui
