// The main window over real widgets and the local Firebird server: its controls, the
// first activation in both run modes, company selection, and a send with its progress.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <utility>

#include "core/scrambler.h"
#include "core/staterecord.h"
#include "data/codepage.h"
#include "support/relay.h"
#include "ui/ctrlaccesozvr.h"
#include "ui/lookupbox.h"
#include "ui/principalzvr.h"
#include "uitest.h"

namespace enviozvr::uitest {
namespace {

using ui::LookupBox;
using ui::Tfprincipalzvr;

const QString kNoCompany = QStringLiteral("Debe indicar la compañía de origen.");
const QString kWrongLogin = QStringLiteral("El nombre de Usuario o la clave son incorrectas.");
constexpr const char* kUnreachable = "localhost:/enviozvr-no-such-folder";

// The main window with the end of the program recorded instead of carried out.
struct Window {
    explicit Window(std::vector<std::string> args = {}) : w(std::move(args)) {
        w.endProgram = [this] { ++endRequests; };
    }
    Tfprincipalzvr w;
    int endRequests = 0;
};

// Answers the access control screen with the world's server and credentials, then F2.
ModalDriver::Handler logInAs(const std::string& server, const std::string& user,
                             const std::string& password) {
    return [=](QWidget* modal) {
        auto* screen = qobject_cast<ui::Tfaccesozvr*>(modal);
        ASSERT_NE(screen, nullptr);
        screen->Servidor->setEditText(data::qstringFromWindows1252(server));
        screen->Tusua->setText(data::qstringFromWindows1252(user));
        screen->TClave->setText(data::qstringFromWindows1252(password));
        QTest::keyClick(screen->Tusua, Qt::Key_F2);
    };
}

// Activates the window as the platform does: the first activation then runs from the
// event loop, guarded like every event.
void activate(Tfprincipalzvr& w) {
    QEvent activation(QEvent::WindowActivate);
    QApplication::sendEvent(&w, &activation);
    QCoreApplication::processEvents();
}

QStringList items(const QComboBox* box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
    return out;
}

int rowOf(const LookupBox* box, const QString& key) {
    for (int row = 0; row < box->count(); ++row) {
        if (box->model()->index(row, 0).data().toString() == key) return row;
    }
    return -1;
}

TEST(MainWindow, StartsWithItsControlsInPlace) {
    Window window;
    Tfprincipalzvr& w = window.w;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Envío de información ZVR"));
    EXPECT_EQ(w.size(), QSize(581, 246));

    const std::pair<QWidget*, QString> texts[] = {
        {w.Label1, "Compañía Origen:"},
        {w.Label12, "Agencia:"},
        {w.Label6, "Ultima actualización:"},
        {w.Label8, "Ultimo error:"},
        {w.Label7, "Prefijo a enviar:"},
        {w.Label2, "Operaciones a enviar:"},
        {w.Label3, "Frecuencia actualización:"},
        {w.Label4, "minutos"},
        {w.Label5, "Rev:2016/06/18"},
        {w.NroOp, "100"},
        {w.Minut, "1"},
        {w.Pref, ""},
        {w.SerOri1, ""},
        {w.EUltenvio, ""},
        {w.ckreciente, "Enviar lo más reciente primero"},
        {w.CkError, "No reintentar errores"},
        {w.PngSpeedButton1, "&Mensajes error"},
        {w.PngSpeedButton2, "Com&pañías"},
        {w.PngSpeedButton4, "Conf. &Documentos"},
        {w.PngSpeedButton3, "Pe&ndientes"},
        {w.SpeedButton1, "&Enviar"},
        {w.SpeedButton2, "&Cancelar"},
    };
    for (const auto& [widget, text] : texts) {
        QString shown;
        if (auto* l = qobject_cast<QLabel*>(widget))
            shown = l->text();
        else if (auto* e = qobject_cast<QLineEdit*>(widget))
            shown = e->text();
        else if (auto* b = qobject_cast<QAbstractButton*>(widget))
            shown = b->text();
        EXPECT_EQ(shown, text) << widget->objectName().toStdString();
        // Every control lies inside its area.
        EXPECT_TRUE(widget->parentWidget()->rect().contains(widget->geometry()))
            << widget->objectName().toStdString();
    }
    EXPECT_FALSE(w.ckreciente->isChecked());
    EXPECT_FALSE(w.CkError->isChecked());
    EXPECT_TRUE(w.SerOri1->isReadOnly());
    EXPECT_TRUE(w.EUltenvio->isReadOnly());
    EXPECT_TRUE(w.Panel3->isHidden());
    EXPECT_TRUE(w.Edit1->isHidden());
    EXPECT_TRUE(w.PngSpeedButton1->isEnabled());
    EXPECT_EQ(w.LCiaOri->currentText(), QString());
    EXPECT_EQ(w.CboAgencia->count(), 0);
    EXPECT_TRUE(w.Timer1->isActive());
    EXPECT_EQ(w.Timer1->interval(), Tfprincipalzvr::kInitialTimerMs);
    EXPECT_TRUE(w.isActive());
    EXPECT_EQ(w.interval(), 1800000);
    EXPECT_TRUE(w.firstActivationPending());

    // The labels' texts end before the boxes they name (whatever font stands in).
    const std::pair<QLabel*, QWidget*> labelled[] = {
        {w.Label7, w.Pref},        {w.Label2, w.NroOp},     {w.Label3, w.Minut},
        {w.Label12, w.CboAgencia}, {w.Label6, w.EUltenvio},
    };
    for (const auto& [label, box] : labelled) {
        EXPECT_LE(label->x() + label->fontMetrics().horizontalAdvance(label->text()), box->x())
            << label->text().toStdString();
    }
    for (QCheckBox* box : {w.ckreciente, w.CkError})
        EXPECT_LE(box->sizeHint().width(), box->width()) << box->text().toStdString();
    EXPECT_LE(w.Label4->geometry().right(), w.PanelArriba->width());

    // Focus order: the company column, the options column, the buttons as they stand, and
    // round again; the read-only texts are passed by.
    std::vector<QWidget*> chain;
    QWidget* next = w.Pref;
    for (int i = 0; i < 14; ++i) {
        chain.push_back(next);
        do next = next->nextInFocusChain();
        while (!(next->focusPolicy() & Qt::TabFocus) || next->isHidden());
    }
    EXPECT_EQ(chain, (std::vector<QWidget*>{w.Pref, w.NroOp, w.Minut, w.ckreciente, w.CkError,
                                            w.PngSpeedButton1, w.PngSpeedButton2, w.PngSpeedButton4,
                                            w.PngSpeedButton3, w.SpeedButton1, w.SpeedButton2,
                                            w.LCiaOri, w.CboAgencia, w.Pref}));
}

TEST(CompanyLookup, TypingOpensTheDropDownAndSearchesTheNames) {
    QWidget host;
    auto* box = new LookupBox(&host);
    box->setGeometry(8, 40, 281, 19);
    host.show();
    box->setRows({{"001", "Origen S.A."}, {"002", "Almacén Norte"}, {"003", "Sin sucursales"}});
    std::vector<QString> changes;
    QObject::connect(box, &LookupBox::textChanged, [&](const QString& t) { changes.push_back(t); });
    EXPECT_EQ(box->currentText(), QString());
    EXPECT_EQ(box->keyValue(), QString());

    box->setFocus();
    QTest::keyClicks(box, QStringLiteral("Sin"));
    ASSERT_TRUE(box->dropDownVisible());
    QTableView* table = box->dropDown();
    EXPECT_EQ(table->currentIndex().row(), 2);
    EXPECT_EQ(table->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Código"));
    EXPECT_EQ(table->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Nombre"));
    EXPECT_EQ(table->columnWidth(0), 60);
    EXPECT_EQ(table->columnWidth(1), 150);
    EXPECT_TRUE(table->showGrid());
    EXPECT_TRUE(table->horizontalHeader()->isVisible());
    EXPECT_EQ(box->dropDownFrame()->width(), LookupBox::kDropDownWidth);
    // Column widths stay within their limits when resized.
    table->horizontalHeader()->resizeSection(0, 10);
    table->horizontalHeader()->resizeSection(1, 400);
    EXPECT_EQ(table->columnWidth(0), 50);
    EXPECT_EQ(table->columnWidth(1), 220);

    QTest::keyClick(table, Qt::Key_Return);
    EXPECT_FALSE(box->dropDownVisible());
    EXPECT_EQ(box->currentText(), QStringLiteral("Sin sucursales"));
    EXPECT_EQ(box->keyValue(), QStringLiteral("003"));

    // Choosing by key; the same row again changes nothing; an unknown key shows nothing.
    box->setKeyValue(QStringLiteral("002"));
    box->setKeyValue(QStringLiteral("002 "));
    box->setKeyValue(QStringLiteral("999"));
    EXPECT_EQ(changes, (std::vector<QString>{"Sin sucursales", "Almacén Norte", ""}));
    EXPECT_EQ(box->keyValue(), QString());
}

// The drop-down opens at its left edge, the code column in view, whether it is opened by
// a click or by typing, the first time or again after the user scrolled it sideways.
TEST(CompanyLookup, DropDownOpensWithTheCodeColumnInView) {
    QWidget host;
    auto* box = new LookupBox(&host);
    box->setGeometry(8, 40, 281, 19);
    host.show();
    box->setRows({{"001", "Distribuidora Andina S.A."},
                  {"002", "Almacén del Norte Ltda."},
                  {"003", "Comercial Señorial S.A.S."}});
    QTableView* table = box->dropDown();
    const auto codeInView = [&] {
        return table->horizontalScrollBar()->value() == 0 && table->columnViewportPosition(0) == 0;
    };

    box->showPopup();
    ASSERT_TRUE(box->dropDownVisible());
    EXPECT_TRUE(codeInView()) << "scrolled by " << table->horizontalScrollBar()->value();
    QTest::keyClick(table, Qt::Key_Return);

    box->showPopup();
    table->horizontalScrollBar()->setValue(table->horizontalScrollBar()->maximum());
    box->hidePopup();
    box->setFocus();
    QTest::keyClicks(box, QStringLiteral("Com"));
    ASSERT_TRUE(box->dropDownVisible());
    EXPECT_EQ(table->currentIndex().row(), 2);
    EXPECT_TRUE(codeInView()) << "scrolled by " << table->horizontalScrollBar()->value();
}

TEST(MainWindow, CancelarClosesTheWindow) {
    Window window;
    window.w.show();
    window.w.SpeedButton2->click();
    EXPECT_FALSE(window.w.isVisible());
}

TEST(MainWindow, EnviarWithoutCompanyOnlyAsksForIt) {
    testing::InstallDir install;
    Window window;
    Tfprincipalzvr& w = window.w;
    ModalDriver driver;
    driver.run([&] { w.SpeedButton1->click(); });
    EXPECT_EQ(driver.messages, std::vector<QString>{kNoCompany});
    EXPECT_TRUE(w.isActive());
    EXPECT_EQ(w.interval(), 1800000);
    EXPECT_TRUE(w.Panel3->isHidden());
    EXPECT_EQ(w.EUltenvio->text(), QString());
    EXPECT_FALSE(install.readFile("ERRORES.TXT").has_value());
}

// With a cycle that ends in a box every time and the timer firing while the box is
// open, the ticks start no cycle: one box, never a box inside a box.
TEST(MainWindow, TicksWhileACycleBoxIsOpenStartNoCycle) {
    struct Case {
        const char* what;
        std::function<void(Tfprincipalzvr&)> start;
    };
    const Case cases[] = {
        {"a box of Enviar", [](Tfprincipalzvr& w) { w.SpeedButton1->click(); }},
        {"a box of a tick",
         [](Tfprincipalzvr& w) {
             QSignalSpy firstTick(w.Timer1, &QTimer::timeout);
             w.start(1);
             firstTick.wait(5000);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testing::InstallDir install;
        Window window;
        Tfprincipalzvr& w = window.w;
        std::vector<QString> boxes;
        int ticksInsideTheBox = 0;
        QTimer poll;
        poll.setInterval(0);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box->property("seen").toBool()) return;
            box->setProperty("seen", true);
            boxes.push_back(box->text());
            if (boxes.size() > 1) {
                QMetaObject::invokeMethod(
                    box, [box] { box->accept(); }, Qt::QueuedConnection);
                return;
            }
            // The first box: the timer fires three times while it is open, then it closes.
            QMetaObject::invokeMethod(
                box,
                [&w, box, &ticksInsideTheBox] {
                    QSignalSpy ticks(w.Timer1, &QTimer::timeout);
                    w.start(1);
                    while (ticks.count() < 3 && ticks.wait(5000)) {
                    }
                    ticksInsideTheBox = static_cast<int>(ticks.count());
                    box->accept();
                },
                Qt::QueuedConnection);
        });
        poll.start();
        c.start(w);
        poll.stop();
        w.stop();
        EXPECT_GE(ticksInsideTheBox, 3);
        ASSERT_EQ(boxes.size(), 1u) << "boxes opened inside the first one";
        EXPECT_EQ(boxes.front(), kNoCompany);
    }
}

TEST(MainWindow, EscOnTheLoginEndsTheProgram) {
    testing::InstallDir install;
    Tfprincipalzvr w({});  // the real end of the program: the event loop returns
    ModalDriver driver;
    driver.expect([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    int result = -1;
    driver.run([&] {
        w.show();
        w.activateWindow();
        result = QApplication::exec();
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(driver.dialogs, 1);
    EXPECT_EQ(driver.unexpected, 0);
    EXPECT_FALSE(w.data().DbGeneral.isConnected());
    EXPECT_EQ(w.SerOri1->text(), QString());
    EXPECT_FALSE(w.firstActivationPending());
}

TEST(MainWindow, InteractiveStartLogsInOnceAndLoadsTheCompanies) {
    UiWorld world;
    Window window({world.server, world.user, world.password});  // ignored without argument 4
    Tfprincipalzvr& w = window.w;
    ModalDriver driver;
    driver.expect(logInAs(world.server, world.user, world.password));
    driver.run([&] { activate(w); });

    EXPECT_EQ(driver.dialogs, 1);
    EXPECT_TRUE(driver.messages.empty());
    EXPECT_EQ(window.endRequests, 0);
    EXPECT_EQ(w.SerOri1->text(), data::qstringFromWindows1252(world.server));
    EXPECT_EQ(w.loginRecord().ServidorSesion, world.server);
    EXPECT_EQ(w.LCiaOri->count(), 5);
    EXPECT_EQ(w.LCiaOri->currentText(), QString());  // nothing chosen, nothing sent
    EXPECT_FALSE(w.data().DbCia.isConnected());
    EXPECT_TRUE(world.logLines("ENVIO.TXT").empty());

    // Later activations do nothing: no second login, no send.
    driver.run([&] {
        activate(w);
        w.FormActivate();
    });
    EXPECT_EQ(driver.dialogs, 1);
    EXPECT_TRUE(driver.messages.empty());
    EXPECT_EQ(window.endRequests, 0);
}

TEST(MainWindow, ChoosingACompanyConnectsItAndReplacesTheAgencies) {
    UiWorld world;
    Window window;
    Tfprincipalzvr& w = window.w;
    w.data().loginAutomatic(world.server, world.user, world.password);
    w.setOriginServer(w.loginRecord().ServidorSesion);
    ASSERT_EQ(w.LCiaOri->count(), 5);

    struct Case {
        const char* code;
        QStringList agencies;     // CboAgencia afterwards
        const char* connectedTo;  // company folder DbCia is connected to; "" not connected
        const char* message;      // start of the message shown, "" none
    };
    const Case cases[] = {
        {"001", {"Todas", "Principal", "Sur"}, "001", ""},
        {"002", {"Todas", "Bodega Norte"}, "002", ""},
        {"003", {"Todas"}, "003", ""},
        // An empty name shows nothing: nothing happens.
        {"004", {"Todas"}, "003", ""},
        // No database: the error is shown and the list stays as it was.
        {"005", {"Todas"}, "", "No se encontró el archivo o la ruta "},
        {"001", {"Todas", "Principal", "Sur"}, "001", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        ModalDriver driver;
        driver.run([&] { w.LCiaOri->chooseRow(rowOf(w.LCiaOri, QString::fromLatin1(c.code))); });
        EXPECT_EQ(items(w.CboAgencia), c.agencies);
        EXPECT_EQ(w.CboAgencia->currentIndex(), 0);
        if (*c.connectedTo) {
            EXPECT_TRUE(w.data().DbCia.isConnected());
            EXPECT_EQ(w.data().DbCia.database(),
                      world.server + "/datos/" + c.connectedTo + "/nivora.fdb");
        } else {
            EXPECT_FALSE(w.data().DbCia.isConnected());
        }
        if (*c.message) {
            ASSERT_EQ(driver.messages.size(), 1u);
            EXPECT_TRUE(driver.messages[0].startsWith(QString::fromUtf8(c.message)))
                << driver.messages[0].toStdString();
        } else {
            EXPECT_TRUE(driver.messages.empty()) << driver.messages.front().toStdString();
        }
    }
    EXPECT_EQ(w.data().DbCia.param("User_Name"), world.user);
}

// Records what the window shows each time the send cycle has it repaint.
class RecordingWindow : public Tfprincipalzvr {
  public:
    using Tfprincipalzvr::Tfprincipalzvr;
    std::vector<std::string> shots;
    void repaint() override {
        std::string shot;
        if (!Panel3->isHidden())
            shot += "panel " + data::windows1252FromQString(Panel3Caption->text()) + " " +
                    std::to_string(ProgressBar1->value()) + "/" +
                    std::to_string(progressMaximum()) +
                    (ProgressBar1->maximum() == 0 ? " busy" : "") + "; ";
        if (!Edit1->isHidden())
            shot += "event " + data::windows1252FromQString(Edit1->text()) + "; ";
        shot += std::string("timer ") + (isActive() ? "on" : "off");
        shot += "; last " + data::windows1252FromQString(EUltenvio->text());
        shot += PngSpeedButton1->isEnabled() ? "; viewer on" : "; viewer off";
        shots.push_back(shot);
        Tfprincipalzvr::repaint();
    }
};

bool contains(const std::vector<std::string>& shots, const std::string& shot) {
    return std::find(shots.begin(), shots.end(), shot) != shots.end();
}

TEST(MainWindow, SendShowsItsProgressAndLeavesTheStatus) {
    UiWorld world;
    world.listDestination("002", world.server);
    world.listDestination("005", kUnreachable);
    world.addInvoiceEvent(1, "002", "1001");
    world.addInvoiceEvent(2, "002", "1002");
    world.addInvoiceEvent(3, "005", "1003");

    RecordingWindow w(std::vector<std::string>{});
    w.endProgram = [] {};
    w.data().loginAutomatic(world.server, world.user, world.password);
    w.setOriginServer(w.loginRecord().ServidorSesion);
    w.chooseCompany("001");
    ASSERT_TRUE(w.data().DbCia.isConnected());

    ModalDriver driver;
    sendAndWait(driver, w, [&] { w.SpeedButton1->click(); });

    EXPECT_TRUE(driver.messages.empty()) << driver.messages.front().toStdString();
    EXPECT_TRUE(world.sent(1));
    EXPECT_TRUE(world.sent(2));
    EXPECT_FALSE(world.sent(3));
    EXPECT_EQ(world.companies.at("002")->scalar("SELECT COUNT(*) FROM FACTURAS_ZVR").asInteger(),
              2);

    // What the user saw while it ran.
    const std::string none = "timer on; last Sin envios hasta ahora.; viewer off";
    EXPECT_TRUE(contains(w.shots, "panel Borrando informaci\xf3n procesada... 0/0; " + none))
        << ::testing::PrintToString(w.shots);
    EXPECT_TRUE(contains(w.shots,
                         "panel Enviando informaci\xf3n a 002 0/0; timer off; last Sin "
                         "envios hasta ahora.; viewer off"))
        << ::testing::PrintToString(w.shots);
    // While it connects: a busy bar, whatever the previous destination left.
    EXPECT_TRUE(contains(w.shots,
                         "panel Conectando con 002... 0/0 busy; timer off; last Sin "
                         "envios hasta ahora.; viewer off"))
        << ::testing::PrintToString(w.shots);
    EXPECT_TRUE(contains(w.shots,
                         "panel Enviando informaci\xf3n a 002 0/2; event 236,I,FV1001,C1; "
                         "timer off; last Sin envios hasta ahora.; viewer off"))
        << ::testing::PrintToString(w.shots);
    EXPECT_TRUE(contains(w.shots,
                         "panel Enviando informaci\xf3n a 002 1/2; event 236,I,FV1002,C2; "
                         "timer off; last Sin envios hasta ahora.; viewer off"))
        << ::testing::PrintToString(w.shots);

    // What it left.
    EXPECT_TRUE(w.Panel3->isHidden());
    EXPECT_TRUE(w.Edit1->isHidden());
    // 005 came last: its connect left an empty bar, not 002's full one.
    EXPECT_EQ(w.ProgressBar1->value(), 0);
    EXPECT_EQ(w.progressMaximum(), 2);
    const QString today = data::qstringFromWindows1252(data::shortDateText(data::today()));
    EXPECT_TRUE(w.EUltenvio->text().startsWith(today + " - ")) << w.EUltenvio->text().toStdString();
    // "Mensajes error" was off at the start (nothing ever sent) and is on once the first
    // batch has gone out.
    EXPECT_TRUE(w.PngSpeedButton1->isEnabled());
    // The last error: its text and the reason errorenvio.txt gives, whole in the tip; on
    // the window, inside it, the company by code and name and the reason, date and time
    // apart.
    const std::string failure = std::string("No se pudo conectar con el servidor ") + kUnreachable +
                                "/datos/005/nivora.fdb";
    const std::vector<std::string> logged = world.logLines("errorenvio.txt");
    ASSERT_EQ(logged.size(), 1u);
    const auto at = logged[0].find(failure + ",");
    ASSERT_NE(at, std::string::npos) << logged[0];
    const std::string reason = logged[0].substr(at + failure.size() + 1);
    ASSERT_FALSE(reason.empty());
    const QString whole = w.Label8->toolTip();
    const QString stamp = "Ult. error:" + today + " ";
    EXPECT_TRUE(whole.startsWith(stamp)) << whole.toStdString();
    EXPECT_TRUE(whole.endsWith(data::qstringFromWindows1252(" " + failure + ", " + reason)))
        << whole.toStdString();
    const QString shown = w.Label8->text();
    EXPECT_TRUE(shown.startsWith(stamp)) << shown.toStdString();
    EXPECT_TRUE(shown.at(stamp.size()).isDigit()) << shown.toStdString();  // the time
    const QString named = QStringLiteral(" No se pudo conectar con 005 Sin base: ") +
                          data::qstringFromWindows1252(reason.substr(0, 5));
    EXPECT_TRUE(shown.contains(named)) << shown.toStdString();
    EXPECT_FALSE(shown.contains(QStringLiteral("/datos/"))) << shown.toStdString();
    EXPECT_LT(w.Label8->geometry().right(), w.PngSpeedButton3->x());  // clear of the buttons
    EXPECT_LE(w.Label8->fontMetrics().horizontalAdvance(shown), w.Label8->width());
    EXPECT_TRUE(w.isActive());
    EXPECT_EQ(w.interval(), 60000);
    EXPECT_TRUE(w.Timer1->isActive());
    EXPECT_EQ(w.Timer1->interval(), 60000);
    EXPECT_EQ(w.NroOp->text(), QStringLiteral("100"));
    // The desktop keeps the origin's state record as the unattended modes do.
    const core::StateRecord record = core::readStateRecord("001");
    ASSERT_EQ(record.size(), 2u);
    EXPECT_TRUE(record.at("002").reached);
    EXPECT_FALSE(record.at("005").reached);
    EXPECT_NE(record.at("005").reason, "");

    // A destination that fails, then one that connects: the failure stays shown.
    world.addInvoiceEvent(4, "002", "1004");
    world.addInvoiceEvent(5, "005", "1005");
    sendAndWait(driver, w, [&] { w.SpeedButton1->click(); });
    EXPECT_TRUE(world.sent(4));
    EXPECT_TRUE(w.PngSpeedButton1->isEnabled());
    EXPECT_TRUE(w.Label8->toolTip().contains("/datos/005/nivora.fdb, "))
        << w.Label8->toolTip().toStdString();
    EXPECT_EQ(world.logLines("errorenvio.txt").size(), 2u);
}

// Pixels of the window as the platform holds them (what a user would see now).
QImage onScreen(QWidget& window) { return window.screen()->grabWindow(window.winId()).toImage(); }

int darkPixels(const QImage& image, const QRect& area) {
    int dark = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) dark += qGray(image.pixel(x, y)) < 96;
    return dark;
}

// What the send shows while it runs reaches the screen.
class PaintWatchingWindow : public Tfprincipalzvr {
  public:
    using Tfprincipalzvr::Tfprincipalzvr;
    QImage duringBatch;
    void repaint() override {
        Tfprincipalzvr::repaint();
        if (duringBatch.isNull() && !Edit1->isHidden()) duringBatch = onScreen(*this);
    }
};

TEST(MainWindow, SendIsPaintedWhileItRuns) {
    UiWorld world;
    world.listDestination("002", world.server);
    world.addInvoiceEvent(1, "002", "1001");
    PaintWatchingWindow w(std::vector<std::string>{});
    w.endProgram = [] {};

    // Shown, the window activates; its first activation asks for the login.
    ModalDriver driver;
    driver.expect(logInAs(world.server, world.user, world.password));
    driver.run([&] {
        w.show();
        while (w.firstActivationPending()) QCoreApplication::processEvents();
    });
    ASSERT_EQ(driver.dialogs, 1);
    w.chooseCompany("001");
    driver.run([&] { QCoreApplication::processEvents(); });

    const QRect caption(w.Panel3->mapTo(&w, QPoint(2, 8)), QSize(269, 18));
    const QRect event(w.Edit1->mapTo(&w, QPoint(2, 2)), w.Edit1->size() - QSize(4, 4));
    const QImage before = onScreen(w);
    ASSERT_FALSE(before.isNull());
    EXPECT_EQ(darkPixels(before, caption), 0);
    EXPECT_EQ(darkPixels(before, event), 0);

    sendAndWait(driver, w, [&] { QTest::mouseClick(w.SpeedButton1, Qt::LeftButton); });
    ASSERT_TRUE(world.sent(1));
    ASSERT_FALSE(w.duringBatch.isNull());
    EXPECT_GT(darkPixels(w.duringBatch, caption), 20);  // "Enviando información a 002"
    EXPECT_GT(darkPixels(w.duringBatch, event), 20);    // "236,I,FV1001,C1"
    driver.run([&] { QCoreApplication::processEvents(); });
    EXPECT_EQ(darkPixels(onScreen(w), caption), 0);  // hidden again afterwards
}

TEST(MainWindow, TimerIntervalOfZeroNeverFires) {
    Window window;
    window.w.start(0);
    EXPECT_TRUE(window.w.isActive());
    EXPECT_EQ(window.w.interval(), 0);
    EXPECT_FALSE(window.w.Timer1->isActive());
    window.w.start(120000);
    EXPECT_TRUE(window.w.Timer1->isActive());
    window.w.stop();
    EXPECT_FALSE(window.w.isActive());
    EXPECT_FALSE(window.w.Timer1->isActive());
}

TEST(MainWindow, AutomaticStartLogsInChoosesAndSendsAtOnce) {
    struct Case {
        const char* what;
        std::vector<std::string> extra;  // arguments after the company code
        bool newestFirst;
    };
    const Case cases[] = {
        {"four arguments", {}, false},
        {"a fifth argument, even 0", {"0"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UiWorld world;
        world.listDestination("002", world.server);
        world.addInvoiceEvent(1, "002", "1001");
        std::vector<std::string> args{world.server, "sysdba", world.password, "001"};
        if (world.user != "SYSDBA") args[1] = world.user;
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        Window window(args);
        Tfprincipalzvr& w = window.w;

        ModalDriver driver;
        sendAndWait(driver, w, [&] { activate(w); });

        EXPECT_TRUE(driver.messages.empty()) << driver.messages.front().toStdString();
        EXPECT_EQ(driver.dialogs, 0);
        EXPECT_EQ(w.loginRecord().UsuarioSesion, world.user);
        EXPECT_EQ(w.loginRecord().ClaveSesion, core::CifrarClave(world.password));
        EXPECT_EQ(w.SerOri1->text(), data::qstringFromWindows1252(world.server));
        EXPECT_EQ(w.LCiaOri->currentText(), QStringLiteral("Origen S.A."));
        EXPECT_EQ(items(w.CboAgencia), (QStringList{"Todas", "Principal", "Sur"}));
        EXPECT_EQ(w.ckreciente->isChecked(), c.newestFirst);
        EXPECT_TRUE(world.sent(1));
        EXPECT_EQ(w.interval(), 60000);
        EXPECT_EQ(world.logLines("ENVIO.TXT").size(), 1u);

        // Re-activation: no second login, no second send.
        world.addInvoiceEvent(2, "002", "1002");
        driver.run([&] { activate(w); });
        EXPECT_FALSE(world.sent(2));
        EXPECT_EQ(world.logLines("ENVIO.TXT").size(), 1u);
    }
}

TEST(MainWindow, AutomaticStartWithAWrongPasswordShowsOneMessageAndSendsNothing) {
    UiWorld world;
    world.listDestination("002", world.server);
    world.addInvoiceEvent(1, "002", "1001");
    Window window({world.server, world.user, world.password + "x", "001"});
    Tfprincipalzvr& w = window.w;

    ModalDriver driver;
    driver.run([&] {
        activate(w);
        activate(w);
    });
    EXPECT_EQ(driver.messages, std::vector<QString>{kWrongLogin});
    EXPECT_EQ(driver.dialogs, 0);
    EXPECT_EQ(window.endRequests, 0);
    EXPECT_EQ(w.SerOri1->text(), QString());
    EXPECT_EQ(w.LCiaOri->currentText(), QString());
    EXPECT_TRUE(w.loginRecord().UsuarioSesion.empty());
    EXPECT_FALSE(world.sent(1));
    EXPECT_EQ(world.logLines("ERRORES.TXT").size(), 1u);

    // The next timer tick stops at the company check.
    driver.run([&] { w.Timer1Timer(); });
    EXPECT_EQ(driver.messages.size(), 2u);
    EXPECT_EQ(driver.messages.back(), kNoCompany);
}

// Shown and logged in through the login screen on the world's server, company 001 chosen.
void logInAndChoose(Tfprincipalzvr& w, UiWorld& world, ModalDriver& driver) {
    driver.expect(logInAs(world.server, world.user, world.password));
    driver.run([&] {
        w.show();
        while (w.firstActivationPending()) QCoreApplication::processEvents();
    });
    w.chooseCompany("001");
    driver.run([&] { QCoreApplication::processEvents(); });
}

// Every button from the keyboard: its mnemonic presses it, Tab after the options reaches
// the buttons as they stand on the screen, and Space presses the focused one.
TEST(MainWindow, EveryButtonAnswersItsMnemonicAndTab) {
    UiWorld world;
    world.listDestination("002", world.server);
    world.addInvoiceEvent(1, "002", "1001");
    world.addInvoiceEvent(2, "002", "1002");
    Window window;
    Tfprincipalzvr& w = window.w;
    ModalDriver driver;
    logInAndChoose(w, world, driver);
    w.NroOp->setText(QStringLiteral("1"));  // one event a send

    struct Case {
        Qt::Key key;
        QToolButton* button;
        const char* screen;
    };
    const Case cases[] = {
        {Qt::Key_M, w.PngSpeedButton1, "enviozvr::ui::Tfmensajesenvzvr"},
        {Qt::Key_P, w.PngSpeedButton2, "enviozvr::ui::Tfrepcompania"},
        {Qt::Key_D, w.PngSpeedButton4, "enviozvr::ui::Tfrepdocs"},
        {Qt::Key_N, w.PngSpeedButton3, "enviozvr::ui::Tfpendienteszvr"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.screen);
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        QString opened;
        driver.expect([&](QWidget* modal) {
            opened = QString::fromLatin1(modal->metaObject()->className());
            modal->close();
        });
        driver.run([&] { pressMnemonic(&w, c.key, c.button); });
        EXPECT_EQ(opened, QString::fromLatin1(c.screen));
    }
    EXPECT_EQ(driver.unexpected, 0);

    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    sendAndWait(driver, w, [&] { pressMnemonic(&w, Qt::Key_E, w.SpeedButton1); });
    EXPECT_TRUE(world.sent(1));
    EXPECT_FALSE(world.sent(2));

    // Tab goes down the company column, then the options column, then the buttons as
    // they stand; the read-only texts are passed by.
    w.LCiaOri->setFocus();
    const std::vector<QWidget*> tabbedTo{w.CboAgencia,      w.Pref,
                                         w.NroOp,           w.Minut,
                                         w.ckreciente,      w.CkError,
                                         w.PngSpeedButton1, w.PngSpeedButton2,
                                         w.PngSpeedButton4, w.PngSpeedButton3,
                                         w.SpeedButton1};
    for (QWidget* expected : tabbedTo) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), expected)
            << QApplication::focusWidget()->objectName().toStdString();
    }
    for (QWidget* text : {static_cast<QWidget*>(w.SerOri1), static_cast<QWidget*>(w.EUltenvio),
                          static_cast<QWidget*>(w.Edit1)})
        EXPECT_FALSE(text->focusPolicy() & Qt::TabFocus) << text->objectName().toStdString();
    sendAndWait(driver, w, [&] { QTest::keyClick(w.SpeedButton1, Qt::Key_Space); });
    EXPECT_TRUE(world.sent(2));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), w.SpeedButton2);

    pressMnemonic(&w, Qt::Key_C, w.SpeedButton2);
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(driver.messages.empty()) << driver.messages.front().toStdString();
}

// Runs `whileConnecting` once, from the window's event loop, when the panel first says
// that the destination `company` is being connected.
class ConnectWatchingWindow : public Tfprincipalzvr {
  public:
    using Tfprincipalzvr::Tfprincipalzvr;
    std::function<void()> whileConnecting;
    QString company;
    void setConnecting(bool connecting) override {
        Tfprincipalzvr::setConnecting(connecting);
        if (!connecting || !whileConnecting || !Panel3Caption->text().contains(company)) return;
        QMetaObject::invokeMethod(this, std::exchange(whileConnecting, nullptr),
                                  Qt::QueuedConnection);
    }
};

// A destination that does not answer its connect holds only the send: the window shows
// the connect with a busy bar, opens a side screen, and takes "Cancelar", which says
// "Cancelando..." at once, ends the connect wait (the link stays frozen and the connect
// limit is an hour) and closes the window once the cycle has stopped; the destination's
// events wait.
TEST(MainWindow, AnswersWhileADestinationConnectsAndCancelarWaitsForTheCycle) {
    UiWorld world;
    testing::FreezableRelay relay;
    relay.freeze();  // the attach gets no answer until thawed
    world.listDestination("002", world.server);
    world.listDestination("003", relay.serverText() + world.dir.path());
    world.addInvoiceEvent(1, "002", "1001");
    world.addInvoiceEvent(2, "003", "1002");
    world.addInvoiceEvent(3, "003", "1003");
    ConnectWatchingWindow w(std::vector<std::string>{});
    w.endProgram = [] {};
    w.company = QStringLiteral("003");
    ModalDriver driver;
    logInAndChoose(w, world, driver);
    w.data().DBEnvio.setTimeouts(std::chrono::hours(1), std::chrono::hours(1));
    QString cancelling;

    QString caption;
    bool busy = false;
    QString opened;
    bool openedWhileSending = false;
    bool stayedAfterCancelar = false;
    driver.expect([&](QWidget* modal) {
        opened = QString::fromLatin1(modal->metaObject()->className());
        openedWhileSending = w.sending();
        modal->close();
    });
    w.whileConnecting = [&] {
        caption = w.Panel3Caption->text();
        busy = !w.Panel3->isHidden() && w.ProgressBar1->maximum() == 0;
        QTest::mouseClick(w.PngSpeedButton3, Qt::LeftButton);
        QTest::mouseClick(w.SpeedButton2, Qt::LeftButton);
        stayedAfterCancelar = w.isVisible() && w.sending();
        cancelling = w.Panel3->isHidden() ? QString() : w.Panel3Caption->text();
    };
    sendAndWait(driver, w, [&] { w.SpeedButton1->click(); });

    EXPECT_EQ(caption, QStringLiteral("Conectando con 003..."));
    EXPECT_TRUE(busy);
    EXPECT_EQ(opened, QStringLiteral("enviozvr::ui::Tfpendienteszvr"));
    EXPECT_TRUE(openedWhileSending);
    EXPECT_TRUE(stayedAfterCancelar);
    EXPECT_EQ(cancelling, QStringLiteral("Cancelando..."));
    EXPECT_TRUE(relay.frozen());
    EXPECT_FALSE(w.sending());
    EXPECT_FALSE(w.isVisible());  // closed at the end of the cycle
    EXPECT_TRUE(world.sent(1));
    EXPECT_FALSE(world.sent(2));
    EXPECT_FALSE(world.sent(3));
    EXPECT_EQ(world.logLines("ENVIO.TXT").size(), 1u);
    EXPECT_TRUE(world.logLines("errorenvio.txt").empty());
    EXPECT_TRUE(driver.messages.empty()) << driver.messages.front().toStdString();
}

// What the cycle throws on its thread (here a batch size it cannot use) reaches the
// window's: ERRORES.TXT and one box, and the timer is re-armed from Minut.
TEST(MainWindow, AFailureOfTheCycleIsShownByTheWindowAndSendingGoesOn) {
    UiWorld world;
    world.listDestination("002", world.server);
    world.addInvoiceEvent(1, "002", "1001");
    Window window;
    Tfprincipalzvr& w = window.w;
    w.data().loginAutomatic(world.server, world.user, world.password);
    w.setOriginServer(w.loginRecord().ServidorSesion);
    w.chooseCompany("001");
    w.NroOp->setText(QStringLiteral("abc"));
    w.Minut->setText(QStringLiteral("2"));

    ModalDriver driver;
    sendAndWait(driver, w, [&] { w.SpeedButton1->click(); });
    ASSERT_EQ(driver.messages.size(), 1u);
    EXPECT_TRUE(driver.messages[0].contains(QStringLiteral("'abc'")))
        << driver.messages[0].toStdString();
    const std::vector<std::string> logged = world.logLines("ERRORES.TXT");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("'abc' is not a valid integer value"), std::string::npos) << logged[0];
    EXPECT_FALSE(world.sent(1));
    EXPECT_FALSE(w.sending());
    EXPECT_TRUE(w.isActive());
    EXPECT_EQ(w.interval(), 120000);
    EXPECT_TRUE(w.Timer1->isActive());

    // The next send with a usable batch goes out.
    w.NroOp->setText(QStringLiteral("5"));
    sendAndWait(driver, w, [&] { w.SpeedButton1->click(); });
    EXPECT_TRUE(world.sent(1));
    EXPECT_EQ(driver.messages.size(), 1u);
}

// Lets the timer fire once (the interval set to 1 ms) and the cycle it starts run to its end.
void tickAndWait(ModalDriver& driver, Tfprincipalzvr& w) {
    sendAndWait(driver, w, [&] {
        QSignalSpy tick(w.Timer1, &QTimer::timeout);
        w.start(1);
        EXPECT_TRUE(tick.wait(5000)) << "no tick";
    });
}

// A window left sending on its own: the origin's link is lost between two ticks. The
// next tick's failure is logged and shown on the last-error line without a box, the timer
// goes on, and the tick after it connects the origin again and sends. The same failure of
// a cycle started by "Enviar" still shows its box.
TEST(MainWindow, ATicksFailureIsShownWithoutABoxAndTheNextTickTriesAgain) {
    UiWorld world;
    world.listDestination("002", world.server);
    world.addInvoiceEvent(1, "002", "1001");
    testing::FreezableRelay relay;
    Window window;
    Tfprincipalzvr& w = window.w;
    w.show();
    w.data().loginAutomatic(relay.serverText() + world.dir.path(), world.user, world.password);
    w.setOriginServer(w.loginRecord().ServidorSesion);
    w.chooseCompany("001");
    w.Minut->setText(QStringLiteral("7"));

    ModalDriver driver;
    tickAndWait(driver, w);
    EXPECT_TRUE(world.sent(1));

    relay.cut();
    world.addInvoiceEvent(2, "002", "1002");
    tickAndWait(driver, w);
    EXPECT_TRUE(driver.messages.empty()) << driver.messages.front().toStdString();
    EXPECT_FALSE(world.sent(2));
    const std::vector<std::string> logged = world.logLines("ERRORES.TXT");
    ASSERT_EQ(logged.size(), 1u);
    const QString today = data::qstringFromWindows1252(data::shortDateText(data::today()));
    EXPECT_TRUE(w.Label8->text().startsWith("Ult. error:" + today + " "))
        << w.Label8->text().toStdString();
    EXPECT_FALSE(w.Label8->toolTip().isEmpty());
    EXPECT_TRUE(w.Panel3->isHidden());
    EXPECT_TRUE(w.Timer1->isActive());
    EXPECT_EQ(w.Timer1->interval(), 420000);

    tickAndWait(driver, w);
    EXPECT_TRUE(driver.messages.empty()) << driver.messages.front().toStdString();
    EXPECT_TRUE(world.sent(2));
    EXPECT_EQ(world.logLines("ERRORES.TXT").size(), 1u);

    // By hand: the box, and the timer goes on afterwards.
    relay.cut();
    world.addInvoiceEvent(3, "002", "1003");
    sendAndWait(driver, w, [&] { w.SpeedButton1->click(); });
    EXPECT_EQ(driver.messages.size(), 1u);
    EXPECT_EQ(world.logLines("ERRORES.TXT").size(), 2u);
    EXPECT_TRUE(w.Timer1->isActive());
    tickAndWait(driver, w);
    EXPECT_TRUE(world.sent(3));
    w.stop();
}

// The company box shows the chosen name whole in its tip, however narrow the box.
TEST(CompanyLookup, TheChosenNameIsWholeInTheTip) {
    LookupBox box;
    const QString longName =
        QStringLiteral("Distribuidora de Productos Alimenticios del Norte S.A.S.");
    box.setRows({{QStringLiteral("001"), QStringLiteral("Origen S.A.")},
                 {QStringLiteral("002"), longName}});
    box.resize(120, 19);
    EXPECT_EQ(box.toolTip(), QString());
    box.setKeyValue(QStringLiteral("002"));
    EXPECT_GT(box.fontMetrics().horizontalAdvance(longName), box.width());
    EXPECT_EQ(box.toolTip(), longName);
    EXPECT_EQ(box.model()->index(1, 1).data(Qt::ToolTipRole).toString(), longName);
    box.setKeyValue(QStringLiteral("001"));
    EXPECT_EQ(box.toolTip(), QStringLiteral("Origen S.A."));
}

}  // namespace
}  // namespace enviozvr::uitest
