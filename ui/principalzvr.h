// Tfprincipalzvr, the main window: origin server and company, send options, "Enviar" and
// "Cancelar", the side-screen buttons, the progress panel and status fields of the send
// cycle, and Timer1 that repeats the cycle.
//
// GUI thread only. The window owns the MainData (every connection and data object) for
// its whole life: the login, the company list, the origin company of the side screens.
// The send cycle runs on a thread of its own (SendRunner) over a MainData of that thread,
// so that the window answers while a destination is slow; the window is the cycle's
// SendOptions, SendStatus and SendTimer, whose calls the runner brings to this thread.
// Every handler the event loop calls (buttons, timer tick, first activation, a company
// chosen by the user, the end of a cycle) runs inside core::runGuarded, so nothing is
// thrown into Qt; the handler methods themselves throw and are public for tests and for
// the side screens.
//
// From the keyboard: Tab goes down the company column (company, agency), the options
// column (prefix, batch size, minutes, the two check boxes) and then the six buttons (the
// read-only texts are no tab stops), each button with its
// mnemonic (Alt+E "Enviar", Alt+C "Cancelar", Alt+M "Mensajes error", Alt+P "Compañías",
// Alt+D "Conf. Documentos", Alt+N "Pendientes"); Space presses the focused one.
#pragma once

#include <QPointer>
#include <QWidget>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sender/maindata.h"
#include "sender/sendinterfaces.h"

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QProgressBar;
class QTimer;
class QToolButton;

namespace enviozvr::ui {

class LookupBox;
class SendRunner;
class TypeOpensComboBox;

class Tfprincipalzvr : public QWidget,
                       public sender::SendOptions,
                       public sender::SendStatus,
                       public sender::SendTimer {
    Q_OBJECT
  public:
    // FormCreate. `arguments` are the program's arguments after its name, as
    // Windows-1252 bytes: server, user, password, company code, newest-first switch.
    explicit Tfprincipalzvr(std::vector<std::string> arguments, QWidget* parent = nullptr);
    ~Tfprincipalzvr() override;

    sender::MainData& data() { return *data_; }
    const core::LoginRecord& loginRecord() const { return data_->loginRecord; }
    // Argument n (1-based); empty when absent.
    std::string argument(std::size_t n) const;

    // ---- Controls, named as on the screen ---------------------------------------
    QWidget* PanelArriba;  // upper area
    QWidget* PanelAbajo;   // bottom bar
    QLabel* Label1;
    QLineEdit* SerOri1;
    LookupBox* LCiaOri;
    QLabel* Label12;
    TypeOpensComboBox* CboAgencia;
    QLabel* Label6;
    QLineEdit* EUltenvio;
    QLabel* Label8;
    QLabel* Label7;
    QLineEdit* Pref;
    QLabel* Label2;
    QLineEdit* NroOp;
    QLabel* Label3;
    QLineEdit* Minut;
    QLabel* Label4;
    QCheckBox* ckreciente;
    QCheckBox* CkError;
    QToolButton* PngSpeedButton1;
    QToolButton* PngSpeedButton2;
    QToolButton* PngSpeedButton4;
    QToolButton* PngSpeedButton3;
    QToolButton* SpeedButton1;
    QLineEdit* Edit1;
    QToolButton* SpeedButton2;
    QLabel* Label5;
    QFrame* Panel3;
    QLabel* Panel3Caption;
    QProgressBar* ProgressBar1;
    QTimer* Timer1;

    // ---- Handlers (throwing; the event loop reaches them guarded) -----------------
    // First activation: the run-mode decision; later calls do nothing.
    void FormActivate();
    bool firstActivationPending() const { return firstActivation_; }
    // The origin server changed: loads the company list.
    void SerOri1Change();
    // The shown company changed: connects the company database, fills the agency list.
    void LCiaOriChange();
    // "Enviar": starts one send cycle on the runner's thread and returns; nothing happens
    // while a cycle is still running. Without a company only the cycle's box is shown
    // (on this thread).
    void SpeedButton1Click();
    // "Cancelar": closes the window, which ends the program. During a cycle the window
    // stays until the cycle has finished the event in hand, then closes (the frame's
    // close does the same).
    void SpeedButton2Click();
    // A send cycle is running (until cycleFinished).
    bool sending() const;
    void Timer1Timer();
    // The side screens ("Mensajes error", "Compañías", "Pendientes", "Conf. Documentos").
    void PngSpeedButton1Click();
    void PngSpeedButton2Click();
    void PngSpeedButton3Click();
    void PngSpeedButton4Click();

    // Puts `server` into SerOri1 (as the first activation does), and chooses the company
    // whose code is `code` in LCiaOri (as the automatic start does). Each runs the change
    // handler when the text changed, throwing what it throws.
    void setOriginServer(const std::string& server);
    void chooseCompany(const std::string& code);

    // The interactive login route ends the program through this (QCoreApplication::exit
    // by default).
    std::function<void()> endProgram;

    // ---- sender::SendOptions ---------------------------------------------------
    bool companyChosen() const override;
    // NroOp read as a number here, once for each cycle (the runner copies the options).
    sender::BatchSize batchSize() const override;
    void setBatchSize(int events) override;
    bool newestFirst() const override;
    bool skipErrored() const override;
    std::string minutes() const override;

    // ---- sender::SendStatus ------------------------------------------------------
    void showMessage(const std::string& text) override;
    void setProgressPanel(const std::string& caption, bool visible) override;
    void resetProgress(int maximum) override;
    void stepProgress() override;
    // A busy bar while a destination is attached, then an empty one.
    void setConnecting(bool connecting) override;
    void setCurrentEvent(const std::string& text, bool visible) override;
    void setLastSend(const std::string& text) override;
    void setErrorViewerEnabled(bool enabled) override;
    // Label8 stays inside the window: a text too long for it is cut at its end, and the
    // whole text is its tip. Once the company's summary comes, the line names the company
    // (code and name from the company list) and the reason instead of the database path.
    void setLastError(const std::string& text) override;
    // Enables "Mensajes error" once a batch sent or stored an error, and completes the
    // last-error line.
    void companyServed(const sender::CompanySummary& summary) override;
    void repaint() override;

    // ---- sender::SendTimer -------------------------------------------------------
    void stop() override;
    void start(int intervalMs) override;
    bool isActive() const override;
    int interval() const override;

    // The progress bar's maximum as the cycle set it (the bar shows 0 of 1 for an empty
    // batch instead of a busy indicator).
    int progressMaximum() const { return progressMaximum_; }

    static constexpr int kInitialTimerMs = 1800000;
    // Panel3's caption from "Cancelar" during a cycle until the cycle is over.
    static QString cancellingText();

  signals:
    // A send cycle is over, its failure box (if any) closed.
    void cycleFinished();

  protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildControls();
    void buildPanels(QSize client);
    void buildCompanyAndOptions();
    void buildSideButtons();
    void buildProgressPanel();
    void buildBottomBar();
    void setTabOrderAndFocus();
    void connectHandlers();
    // Runs a handler from the event loop.
    void guarded(const std::function<void()>& handler);
    // Runs, guarded, an event that runs a send cycle ("Enviar", a tick, the automatic
    // start). Until it returns, with any box the cycle raised closed, timer ticks start
    // no cycle; then the timer's countdown starts afresh.
    void cycleEvent(const std::function<void()>& handler);
    // The end of a cycle run by the runner: its failure shown, the cycle event over.
    void cycleDone(const std::exception_ptr& failure);
    // Starts a cycle as "Enviar" does; `unattended` for a tick or the automatic start,
    // whose failure is then logged and shown in the window without a box.
    void startCycle(bool unattended);
    // The failure of an unattended cycle: ERRORES.TXT, and the last-error line.
    void showUnattendedFailure(const std::exception_ptr& failure);
    void showLastErrorLine(const QString& shown, const QString& whole);
    // The end of a cycle event: ticks may start cycles again, the countdown restarts.
    void endCycleEvent();
    // Notes a widget the send cycle changed, for the next repaint().
    void touched(QWidget* widget);

    std::vector<std::string> arguments_;
    std::unique_ptr<sender::MainData> data_;
    bool firstActivation_ = true;
    bool loggedIn_ = false;
    bool timerOn_ = false;
    bool cycleEventRunning_ = false;
    bool closeAfterCycle_ = false;
    bool cycleUnattended_ = false;   // the running cycle was not started by hand
    bool lastErrorPending_ = false;  // setLastError came; the company's summary not yet
    int timerInterval_ = 0;
    int progressMaximum_ = 0;
    std::vector<QPointer<QWidget>> touched_;
    std::unique_ptr<SendRunner> runner_;  // last member: its thread ends first
};

}  // namespace enviozvr::ui
