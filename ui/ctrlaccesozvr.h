// Tfaccesozvr, the access control screen: server, user and password; F2 logs in against
// the general database of the server (through the main screen's MainData), ESC ends the
// program.
//
// A modal dialog of the GUI thread, created by the main screen's first activation and
// destroyed after it closes. Its result is Accepted only after a successful login; every
// other way out (ESC, "ESC: &Salir", the window's close button) leaves it Rejected, and the
// caller then ends the program. Event handlers run guarded: a failed login is logged and
// shown by the unhandled-error handler and the screen stays open, its "Conectando" panel
// hidden again. Nothing is thrown out
// of it except by its constructor (a failing installation directory lookup).
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QToolButton;

namespace enviozvr::sender {
class MainData;
}

namespace enviozvr::ui {

class Tfaccesozvr : public QDialog {
    Q_OBJECT
  public:
    // FormCreate: installs the unhandled-error handler and fills the server box from
    // SERVIDORES.cfg of the installation directory.
    explicit Tfaccesozvr(sender::MainData& data, QWidget* parent = nullptr);
    ~Tfaccesozvr() override;

    // Controls, named as on the screen.
    QLabel* Image1;
    QLabel* Image2;
    QFrame* Panel1;
    QWidget* GroupBox1;  // the "Origen:" group
    QLabel* GroupCaption;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QComboBox* Servidor;
    QLineEdit* Tusua;
    QLineEdit* TClave;
    QToolButton* SpeedButton1;
    QToolButton* SpeedButton2;
    QFrame* Panel2;
    QLabel* Panel2Caption;

    // The server entries read at creation.
    const std::vector<std::string>& serverList() const { return servers_; }
    // True once ESC or "ESC: &Salir" asked for the end of the program.
    bool endRequested() const { return endRequested_; }

    // The login (F2 and "F2: &Entrar"): throws what the connection or the user query
    // throws; the guarded handlers call it.
    void SpeedButton1Click();
    // Ends the program: closes the screen without a login.
    void SpeedButton2Click();

    void done(int result) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    bool FormKeyDown(QKeyEvent* event);
    bool EnterKey(QObject* watched, QKeyEvent* event);

    sender::MainData& data_;
    std::vector<std::string> servers_;
    bool endRequested_ = false;
    bool centred_ = false;
};

}  // namespace enviozvr::ui
