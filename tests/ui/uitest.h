// Helpers of the desktop tests: a driver for the modal windows that open while a test
// action runs, and a world of real Firebird databases on the local server (a general
// database, company databases, an installation directory) to log in and send against.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QSignalSpy>
#include <QString>
#include <QTest>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "data/sqltext.h"
#include "data/value.h"
#include "support/appdir.h"
#include "support/testdb.h"
#include "ui/principalzvr.h"

namespace enviozvr::uitest {

// Answers the modal windows that open while run() executes its action. Every message box
// is recorded and closed with OK; any other modal window goes to the next queued handler
// (and is rejected, and counted as unexpected, when none is queued). A handler runs from
// the event loop of the modal window, so it may block in turn (a login that shows an
// error box): the driver keeps answering.
class ModalDriver {
  public:
    using Handler = std::function<void(QWidget* modal)>;

    void expect(Handler handler) { handlers_.push_back(std::move(handler)); }

    void run(const std::function<void()>& action) {
        QTimer poll;
        poll.setInterval(0);
        QObject::connect(&poll, &QTimer::timeout, [this] { answer(); });
        poll.start();
        action();
        poll.stop();
    }

    // The buttons that the next message boxes are answered with, in order; a box is
    // accepted when none is left.
    std::deque<QMessageBox::StandardButton> answers;
    std::vector<QString> messages;  // texts of the message boxes, in order
    int dialogs = 0;                // modal windows other than message boxes
    int unexpected = 0;             // ... of which no handler was queued for
    std::size_t handlersLeft() const { return handlers_.size(); }

  private:
    void answer() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal->property("answeredByDriver").toBool()) return;
        modal->setProperty("answeredByDriver", true);
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages.push_back(box->text());
            QAbstractButton* button = nullptr;
            if (!answers.empty()) {
                button = box->button(answers.front());
                answers.pop_front();
            }
            QMetaObject::invokeMethod(
                box,
                [box, button] {
                    if (button)
                        button->click();
                    else
                        box->accept();
                },
                Qt::QueuedConnection);
            return;
        }
        ++dialogs;
        if (handlers_.empty()) {
            ++unexpected;
            QMetaObject::invokeMethod(
                modal, [modal] { modal->close(); }, Qt::QueuedConnection);
            return;
        }
        Handler handler = std::move(handlers_.front());
        handlers_.pop_front();
        // Queued: the poll returns first, so that it can answer what the handler opens.
        QMetaObject::invokeMethod(
            modal, [handler, modal] { handler(modal); }, Qt::QueuedConnection);
    }

    std::deque<Handler> handlers_;
};

// Alt+`key` typed into `target`: a mnemonic shows `button` pressed and clicks it a moment
// later, from the event loop; this returns once it has been clicked (and what the click
// opened has closed).
inline void pressMnemonic(QWidget* target, Qt::Key key, QAbstractButton* button) {
    QSignalSpy clicked(button, &QAbstractButton::clicked);
    QTest::keyClick(target, key, Qt::AltModifier);
    if (clicked.isEmpty() && !clicked.wait(5000))
        ADD_FAILURE() << "Alt+" << QKeySequence(key).toString().toStdString() << " did not click "
                      << button->objectName().toStdString();
}

// Lets the send cycle started by `action` run to its end (and its boxes be answered).
inline void sendAndWait(ModalDriver& driver, ui::Tfprincipalzvr& w,
                        const std::function<void()>& action) {
    driver.run([&] {
        QSignalSpy finished(&w, &ui::Tfprincipalzvr::cycleFinished);
        action();
        if (w.sending()) {
            EXPECT_TRUE(finished.wait(120000)) << "the cycle did not end";
        }
    });
}

inline void makeWorldWritable(const std::string& path) {
    std::filesystem::permissions(path, std::filesystem::perms::all);
}

// A server folder reached through the local Firebird server: "localhost:<folder>" is the
// server text, its datos/general.fdb the general database, datos/<code>/nivora.fdb the
// company databases.
//   general: 001 "Origen S.A." (branches Principal, Sur), 002 "Almacén Norte" (branch
//   Bodega Norte), 003 "Sin sucursales" (no branches), 004 with an empty name,
//   005 "Sin base" (no database).
class UiWorld {
  public:
    UiWorld() {
        makeWorldWritable(dir.path());
        std::filesystem::create_directories(dir.path() + "/datos");
        makeWorldWritable(dir.path() + "/datos");
        server = testing::serverHost() + ":" + dir.path();
        user = testing::serverUser();
        password = testing::serverPassword();

        general = std::make_unique<testing::TestDatabase>(dir.path() + "/datos/general.fdb", true);
        general->createGeneralSchema();
        general->exec({"INSERT INTO COMPANIA (COMP_COD, COM_NOMBRE) VALUES ('001', 'Origen S.A.')",
                       "INSERT INTO COMPANIA (COMP_COD, COM_NOMBRE) VALUES ('002', "
                       "'Almac\xe9n Norte')",
                       "INSERT INTO COMPANIA (COMP_COD, COM_NOMBRE) VALUES ('003', "
                       "'Sin sucursales')",
                       "INSERT INTO COMPANIA (COMP_COD, COM_NOMBRE) VALUES ('004', '')",
                       "INSERT INTO COMPANIA (COMP_COD, COM_NOMBRE) VALUES ('005', 'Sin base')"});
        addCompany("001", {"Principal", "Sur"});
        addCompany("002", {"Bodega Norte"});
        addCompany("003", {});
        origin().exec(
            {"INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'ARTICULOS', 'NOMBRE DE USUARIO "
             "PARA REPLICACION DE ARTICULOS', " +
                 data::quoted(user) + ")",
             "INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'ARTICULOS', 'CLAVE DE USUARIO "
             "PARA REPLICACION DE ARTICULOS', " +
                 data::quoted(password) + ")"});
    }

    testing::TestDatabase& addCompany(const std::string& code,
                                      const std::vector<std::string>& branches) {
        const std::string folder = dir.path() + "/datos/" + code;
        std::filesystem::create_directories(folder);
        makeWorldWritable(folder);
        auto db = std::make_unique<testing::TestDatabase>(folder + "/nivora.fdb", true);
        db->createCompanySchema();
        int id = 1;
        for (const std::string& b : branches) {
            db->exec("INSERT INTO SUCURSALES VALUES (" + std::to_string(id++) + ", " +
                     data::quoted(b) + ", NULL, NULL)");
        }
        testing::TestDatabase& ref = *db;
        companies[code] = std::move(db);
        return ref;
    }

    testing::TestDatabase& origin() { return *companies.at("001"); }

    // An invoice of the origin and a pending event that sends it to `destination`.
    void addInvoiceEvent(int id, const std::string& destination, const std::string& numero) {
        origin().exec(
            "INSERT INTO FACTURAS_ZVR (PREF_PRE, FACT_NUMERO, FACT_CLIENTE, "
            "FACT_MONEDA) VALUES ('FV', " +
            data::quoted(numero) + ", 'Cliente " + numero + "', 'COP')");
        origin().exec(
            "INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, "
            "RPEV_PREF, RPEV_NUMERO, RPEV_CODIGO, RPEV_FECREG, RPEV_HORAREG, "
            "RPEV_OPER) VALUES (" +
            std::to_string(id) + ", " + data::quoted(destination) + ", 236, 'FV', " +
            data::quoted(numero) + ", 'C" + std::to_string(id) + "', CURRENT_DATE, '08:00:" +
            (id < 10 ? "0" : "") + std::to_string(id % 60) + "', 'I')");
    }
    // A destination of the origin's REPLICA_COMPANIA, active.
    void listDestination(const std::string& code, const std::string& serverText) {
        origin().exec("INSERT INTO REPLICA_COMPANIA VALUES (" + data::quoted(code) +
                      ", 'Destino', " + data::quoted(serverText) + ", 'N', 1, 'S')");
    }
    bool sent(int id) {
        return !origin()
                    .scalar("SELECT RPEV_FECREP FROM REPLICA_EVENTOS WHERE RPEV_ID = " +
                            std::to_string(id))
                    .isNull();
    }

    std::vector<std::string> logLines(const std::string& name) const {
        return install.logLines(name);
    }

    testing::InstallDir install;
    testing::TempDir dir;
    std::string server;
    std::string user;
    std::string password;
    std::unique_ptr<testing::TestDatabase> general;
    std::map<std::string, std::unique_ptr<testing::TestDatabase>> companies;
};

}  // namespace enviozvr::uitest
