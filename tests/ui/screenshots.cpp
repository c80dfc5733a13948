// Takes the screenshots of docs/operating.md on a running X display (Xvfb): the access control
// screen filled in, the main window in the middle of a send of the demo data, and the two settings
// editors over the demo's origin company.
//
//   ui_screenshots <demo folder kept by KEEP=1 bash scripts/demo> <output folder>
//
// The demo folder holds the installation directory (xdg/ names it) and the embedded
// databases under servidor/. Fresh pending events are queued in the origin company 001 so
// that the window has a batch to send; the picture of the main window is taken from
// inside the send, at the fourth event of company 002, as the user sees it then. After
// the send, the error viewer and the pending viewer are opened over what it left, and the
// pending viewer once more with its filter row showing a date condition.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QTimer>
#include <cstdio>
#include <string>

#include "core/unhandled.h"
#include "data/connection.h"
#include "ui/ctrlaccesozvr.h"
#include "ui/gridsortfilter.h"
#include "ui/gridwidget.h"
#include "ui/mensajesenvzvr.h"
#include "ui/messageboxes.h"
#include "ui/pendienteszvr.h"
#include "ui/principalzvr.h"
#include "ui/repcompania.h"
#include "ui/repdocs.h"

namespace {

using enviozvr::ui::Tfprincipalzvr;

bool capture(QWidget& window, const QString& file) {
    // No sync with the display here: the picture shows what the window has flushed by
    // itself, which is what the user sees while the send holds the thread.
    const int rc =
        QProcess::execute(QStringLiteral("import"),
                          {QStringLiteral("-window"), QString::number(window.winId()), file});
    std::printf("%s %s\n", rc == 0 ? "wrote" : "FAILED", qPrintable(file));
    return rc == 0;
}

// Stops in the middle of the batch of company 002 to take the picture.
class ShootingWindow : public Tfprincipalzvr {
  public:
    ShootingWindow(std::vector<std::string> args, QString file)
        : Tfprincipalzvr(std::move(args)), file_(std::move(file)) {}
    bool taken = false;
    void repaint() override {
        Tfprincipalzvr::repaint();
        if (!taken && !Edit1->isHidden() && ProgressBar1->value() == 3) {
            taken = capture(*this, file_);
        }
    }

  private:
    QString file_;
};

// Shows a viewer over the main window's data, waits for its list and takes its picture.
bool captureViewer(enviozvr::ui::EventListViewer& viewer, const QString& file) {
    viewer.show();
    viewer.activateWindow();
    for (int i = 0; i < 200 && viewer.listReads() == 0; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const bool ok = capture(viewer, file);
    viewer.close();
    return ok;
}

// Shows a viewer with its filter row on, types in "Fecha" the condition "from the date of
// the first row on" in the workstation's date form, applies it with Enter and takes the
// picture.
bool captureFiltered(enviozvr::ui::EventListViewer& viewer, const QString& file) {
    constexpr int kFecha = 5;
    viewer.show();
    viewer.activateWindow();
    for (int i = 0; i < 200 && viewer.listReads() == 0; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    viewer.ckfiltro->click();
    QCoreApplication::processEvents();
    const QString date = viewer.Grid1->model()->index(0, kFecha).data().toString();
    enviozvr::ui::FilterCell* cell = viewer.sortFilter->cell(kFecha);
    if (cell == nullptr || date.isEmpty()) return false;
    cell->setFocus();
    cell->setText(QStringLiteral(">=") + date);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(cell, &enter);
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const bool ok = capture(viewer, file);
    viewer.close();
    return ok;
}

void queueEvents(const std::string& origin) {
    auto db = enviozvr::data::Connection::company("DbDemo");
    db->setDatabase(origin);
    db->setParam("User_Name", "SYSDBA");
    db->setParam("password", "");
    const char* docs[][3] = {{"1001", "I", "V01"}, {"1002", "I", "V01"}, {"1003", "I", "V01"},
                             {"1004", "M", "V02"}, {"1001", "M", "V03"}, {"1002", "M", "V03"},
                             {"1003", "M", "V03"}, {"1004", "M", "V03"}};
    int id = 100;
    for (const auto& d : docs) {
        db->execute(
            "INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, RPEV_PREF, "
            "RPEV_NUMERO, RPEV_CODIGO, RPEV_FECREG, RPEV_HORAREG, RPEV_OPER) VALUES (" +
            std::to_string(id) + ", '002', 236, 'FV', '" + d[0] + "', '" + d[2] +
            "', CURRENT_DATE, '13:" + std::to_string(10 + id - 100) + ":00', '" + d[1] + "')");
        ++id;
    }
    db->disconnect();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("enviozvr"));
    if (argc < 3) {
        std::fprintf(stderr, "usage: ui_screenshots <demo folder> <output folder>\n");
        return 2;
    }
    const std::string demo = argv[1];
    const QString out = QString::fromLocal8Bit(argv[2]);
    qputenv("XDG_CONFIG_DIRS", QByteArray::fromStdString(demo + "/xdg"));
    enviozvr::ui::installDesktopMessages();
    const std::string server = demo + "/servidor";
    QCursor::setPos(0, 0);  // no button under the pointer

    // The access control screen, filled in.
    bool ok = true;
    {
        enviozvr::sender::MainData data;
        enviozvr::ui::Tfaccesozvr screen(data);
        screen.show();
        screen.Tusua->setText(QStringLiteral("sysdba"));
        screen.TClave->setText(QStringLiteral("masterkey"));
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
        ok = capture(screen, out + "/login.png") && ok;
    }

    // The settings editors over the origin company, "Activa" focused on a closed branch.
    {
        enviozvr::sender::MainData data;
        data.DbCia.setDatabase(server + "/datos/001/nivora.fdb");
        data.DbCia.setParam("User_Name", "SYSDBA");
        data.DbCia.setParam("password", "");
        {
            enviozvr::ui::Tfrepcompania screen(data.QRepcomp);
            screen.show();
            screen.activateWindow();
            screen.Grid1->moveToCell(2, 3);
            for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
            ok = capture(screen, out + "/repcompania.png") && ok;
        }
        {
            enviozvr::ui::Tfrepdocs screen(data.QRepdocs, data.TTipodoc);
            screen.show();
            screen.activateWindow();
            screen.Grid1->moveToCell(0, 0);
            for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
            ok = capture(screen, out + "/repdocs.png") && ok;
        }
        data.DbCia.disconnect();
    }

    queueEvents(server + "/datos/001/nivora.fdb");
    ShootingWindow window({server, "SYSDBA", "masterkey", "001"}, out + "/main.png");
    // The send starts from the window's first activation, as in the program.
    window.show();
    window.activateWindow();
    QTimer done;
    QObject::connect(&done, &QTimer::timeout, [&] {
        if (window.firstActivationPending() || window.sending()) return;
        done.stop();
        capture(window, out + "/main-after.png");
        enviozvr::ui::Tfmensajesenvzvr errors(window.data(), &window);
        ok = captureViewer(errors, out + "/errores.png") && ok;
        enviozvr::ui::Tfpendienteszvr pending(window.data(), &window);
        ok = captureViewer(pending, out + "/pendientes.png") && ok;
        enviozvr::ui::Tfpendienteszvr filtered(window.data(), &window);
        ok = captureFiltered(filtered, out + "/filtro.png") && ok;
        QCoreApplication::quit();
    });
    done.start(0);
    QApplication::exec();
    return ok && window.taken ? 0 : 1;
}
