#include "app/desktop.h"

#include <QApplication>
#include <string>
#include <vector>

#include "app/signals.h"
#include "data/codepage.h"
#include "ui/messageboxes.h"
#include "ui/principalzvr.h"
#include "ui/qttranslations.h"

namespace enviozvr::app {

using namespace enviozvr::ui;

int runDesktop(int argc, char** argv) {
    // The arguments are positional: server, user, password, company, newest-first. Qt
    // would take some of them for its own options ("-name", "-style", "-platform", ...)
    // and remove them, shifting the rest, so Qt is given the program name only.
    int qtArgc = argc > 0 ? 1 : 0;
    char* qtArgv[] = {argc > 0 ? argv[0] : nullptr, nullptr};
    QApplication app(qtArgc, qtArgv);
    QApplication::setApplicationName(QStringLiteral("enviozvr"));
    // The standard dialogs' own buttons in the workstation's language ("Guardar como").
    installQtTranslations();
    installDesktopMessages();

    // Arguments after the program name, as Windows-1252 bytes like every other text of
    // the program.
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(data::windows1252FromQString(QString::fromLocal8Bit(argv[i])));

    Tfprincipalzvr window(std::move(arguments));
    // SIGINT or SIGTERM closes the window as "Cancelar" does and leaves every event loop,
    // a modal window's among them.
    const StopRequest stop(&window, [&window] {
        window.SpeedButton2Click();
        QCoreApplication::exit(0);
    });
    window.show();
    window.activateWindow();
    return QApplication::exec();
}

}  // namespace enviozvr::app
