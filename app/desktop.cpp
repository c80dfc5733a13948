#include "app/desktop.h"

#include <QApplication>
#include <string>
#include <vector>

#include "ui/messageboxes.h"
#include "ui/principalzvr.h"
#include "ui/text1252.h"

namespace enviozvr::app {

using namespace enviozvr::ui;

int runDesktop(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("enviozvr"));
    installDesktopMessages();

    // Arguments after the program name (Qt's own options already removed), as
    // Windows-1252 bytes like every other text of the program.
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(toAnsi(QString::fromLocal8Bit(argv[i])));

    Tfprincipalzvr window(std::move(arguments));
    window.show();
    window.activateWindow();
    return QApplication::exec();
}

}  // namespace enviozvr::app
