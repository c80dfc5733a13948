#include "ui/principalzvr.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <stdexcept>
#include <utility>

#include "core/unhandled.h"
#include "data/codepage.h"
#include "data/errors.h"
#include "data/value.h"
#include "sender/sendcycle.h"
#include "ui/ctrlaccesozvr.h"
#include "ui/guide.h"
#include "ui/lookupbox.h"
#include "ui/mensajesenvzvr.h"
#include "ui/messageboxes.h"
#include "ui/pendienteszvr.h"
#include "ui/pictures.h"
#include "ui/repcompania.h"
#include "ui/repdocs.h"
#include "ui/screenlook.h"
#include "ui/sendrunner.h"

namespace enviozvr::ui {

namespace {

constexpr int kBottomBarHeight = 60;

QLabel* label(QWidget* parent, const char* name, const QString& text, QPoint at) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->move(at);
    l->adjustSize();
    return l;
}

QLineEdit* textBox(QWidget* parent, const char* name, const QString& text, QRect geometry,
                   bool readOnly = false) {
    auto* box = new QLineEdit(text, parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(geometry);
    box->setReadOnly(readOnly);
    return box;
}

QCheckBox* checkBox(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(geometry);
    return box;
}

}  // namespace

Tfprincipalzvr::Tfprincipalzvr(std::vector<std::string> arguments, QWidget* parent)
    : QWidget(parent),
      arguments_(std::move(arguments)),
      data_(std::make_unique<sender::MainData>()) {
    endProgram = [] { QCoreApplication::exit(0); };
    data_->beep = [] { QApplication::beep(); };
    runner_ = std::make_unique<SendRunner>(*this, *this, *this);
    runner_->finished = [this](const std::exception_ptr& failure) { cycleDone(failure); };
    buildControls();

    // FormCreate: the update-error hooks are wired by MainData itself; then the
    // unhandled-error handler, and the next activation is the first.
    core::installUnhandledErrorHandler(&data_->loginRecord, &desktopErrorDisplay());
    firstActivation_ = true;
}

Tfprincipalzvr::~Tfprincipalzvr() {
    Timer1->stop();
    // A cycle in progress finishes its event in hand before the window goes.
    runner_.reset();
}

std::string Tfprincipalzvr::argument(std::size_t n) const {
    return n >= 1 && n <= arguments_.size() ? arguments_[n - 1] : std::string();
}

void Tfprincipalzvr::buildControls() {
    setObjectName(QStringLiteral("fprincipalzvr"));
    setWindowTitle(QStringLiteral("Envío de información ZVR"));
    setFont(msSansSerif8());
    const QSize client = clientSizeForOuter(QSize(589, 273));
    setFixedSize(client);

    buildPanels(client);
    buildCompanyAndOptions();
    buildSideButtons();
    buildProgressPanel();
    buildBottomBar();
    setTabOrderAndFocus();
    installGuideKey(this);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    start(kInitialTimerMs);
    connectHandlers();
}

// The upper panel holds the options and the progress; the lower one the two big buttons.
void Tfprincipalzvr::buildPanels(QSize client) {
    PanelArriba = new QWidget(this);
    PanelArriba->setObjectName(QStringLiteral("PanelArriba"));
    PanelArriba->setGeometry(0, 0, client.width(), client.height() - kBottomBarHeight);
    PanelAbajo = new QWidget(this);
    PanelAbajo->setObjectName(QStringLiteral("PanelAbajo"));
    PanelAbajo->setGeometry(0, client.height() - kBottomBarHeight, client.width(),
                            kBottomBarHeight);
}

// The origin company, the agency, the last send and the send options.
void Tfprincipalzvr::buildCompanyAndOptions() {
    QWidget* up = PanelArriba;
    Label1 = label(up, "Label1", QStringLiteral("Compañía Origen:"), {8, 1});
    SerOri1 = textBox(up, "SerOri1", {}, {8, 16, 281, 19}, true);
    LCiaOri = new LookupBox(up);
    LCiaOri->setObjectName(QStringLiteral("LCiaOri"));
    LCiaOri->setGeometry(8, 40, 281, 19);
    Label12 = label(up, "Label12", QStringLiteral("Agencia:"), {8, 68});
    CboAgencia = new TypeOpensComboBox(up);
    CboAgencia->setObjectName(QStringLiteral("CboAgencia"));
    CboAgencia->setGeometry(56, 60, 233, 21);
    CboAgencia->setMaxVisibleItems(4);
    Label6 = label(up, "Label6", QStringLiteral("Ultima actualización:"), {8, 100});
    EUltenvio = textBox(up, "EUltenvio", {}, {106, 92, 159, 21}, true);
    Label8 = label(up, "Label8", QStringLiteral("Ultimo error:"), {8, 168});
    Label7 = label(up, "Label7", QStringLiteral("Prefijo a enviar:"), {296, 20});
    Pref = textBox(up, "Pref", {}, {370, 12, 41, 21});
    Label2 = label(up, "Label2", QStringLiteral("Operaciones a enviar:"), {424, 20});
    NroOp = textBox(up, "NroOp", QString::number(sender::kDefaultBatchSize), {530, 12, 41, 21});
    Label3 = label(up, "Label3", QStringLiteral("Frecuencia actualización:"), {296, 44});
    Minut = textBox(up, "Minut", QStringLiteral("1"), {420, 36, 38, 21});
    Label4 = label(up, "Label4", QStringLiteral("minutos"), {460, 44});
    ckreciente = checkBox(up, "ckreciente", QStringLiteral("Enviar lo más reciente primero"),
                          {296, 64, 170, 17});
    CkError = checkBox(up, "CkError", QStringLiteral("No reintentar errores"), {296, 80, 170, 17});
}

// The buttons that open the event lists and the settings editors.
void Tfprincipalzvr::buildSideButtons() {
    QWidget* up = PanelArriba;
    const auto sideButton = [up](const char* name, const QString& caption, const QIcon& icon,
                                 QRect geometry) {
        QToolButton* b = pictureButton(up, QString::fromLatin1(name), caption, icon, QSize(16, 16),
                                       ButtonLook::Raised);
        b->setFont(arialNarrow8());
        b->setGeometry(geometry);
        return b;
    };
    PngSpeedButton1 = sideButton("PngSpeedButton1", QStringLiteral("&Mensajes error"),
                                 pictures::errors(), {296, 100, 100, 32});
    PngSpeedButton2 = sideButton("PngSpeedButton2", QStringLiteral("Com&pañías"),
                                 pictures::companies(), {472, 76, 100, 32});
    PngSpeedButton4 = sideButton("PngSpeedButton4", QStringLiteral("Conf. &Documentos"),
                                 pictures::documents(), {472, 108, 100, 32});
    PngSpeedButton3 = sideButton("PngSpeedButton3", QStringLiteral("Pe&ndientes"),
                                 pictures::pending(), {472, 140, 100, 32});
}

// Panel3: the caption and bar shown while a cycle sends; hidden otherwise.
void Tfprincipalzvr::buildProgressPanel() {
    Panel3 = new QFrame(PanelArriba);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel3->setLineWidth(1);
    Panel3->setAutoFillBackground(true);
    Panel3->setGeometry(16, 114, 273, 57);
    Panel3Caption = new QLabel(Panel3);
    Panel3Caption->setObjectName(QStringLiteral("Panel3Caption"));
    Panel3Caption->setAlignment(Qt::AlignCenter);
    Panel3Caption->setGeometry(2, 8, 269, 18);
    ProgressBar1 = new QProgressBar(Panel3);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(24, 32, 225, 17);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    Panel3->hide();
    Panel3->raise();
}

// "Enviar", the event being sent, "Cancelar" and the revision label.
void Tfprincipalzvr::buildBottomBar() {
    QWidget* down = PanelAbajo;
    SpeedButton1 = pictureButton(down, QStringLiteral("SpeedButton1"), QStringLiteral("&Enviar"),
                                 pictures::send(), QSize(32, 32), ButtonLook::Flat);
    SpeedButton1->setGeometry(72, 1, 65, 55);
    Edit1 = textBox(down, "Edit1", {}, {140, 16, 190, 21}, true);
    Edit1->hide();
    SpeedButton2 = pictureButton(down, QStringLiteral("SpeedButton2"), QStringLiteral("&Cancelar"),
                                 pictures::cancel(), QSize(32, 32), ButtonLook::Flat);
    SpeedButton2->setGeometry(336, 1, 65, 55);
    Label5 = new QLabel(QStringLiteral("Rev:2016/06/18"), down);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->setFont(arialNarrow8());
    Label5->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Label5->move(464, 1);
    Label5->adjustSize();
}

void Tfprincipalzvr::setTabOrderAndFocus() {
    // Each label names its field for a screen reader (and reads as its field's name).
    Label1->setBuddy(LCiaOri);
    Label12->setBuddy(CboAgencia);
    Label6->setBuddy(EUltenvio);
    Label7->setBuddy(Pref);
    Label2->setBuddy(NroOp);
    Label3->setBuddy(Minut);
    SerOri1->setAccessibleName(QStringLiteral("Servidor origen"));
    Minut->setAccessibleDescription(Label4->text());
    ProgressBar1->setAccessibleName(QStringLiteral("Progreso del envío"));
    Edit1->setAccessibleName(QStringLiteral("Documento en envío"));
    Label8->setAccessibleName(QStringLiteral("Último error"));
    // The read-only texts are read, not typed into: a click still selects their text
    // for copying, but Tab passes them by.
    for (QWidget* readOnly : {static_cast<QWidget*>(SerOri1), static_cast<QWidget*>(EUltenvio),
                              static_cast<QWidget*>(Edit1)})
        readOnly->setFocusPolicy(Qt::ClickFocus);
    // Tab goes as the screen reads: the company column, the options column, then the
    // buttons as they stand (the side screens, then the bottom bar).
    const std::vector<QWidget*> order{LCiaOri,         CboAgencia,      Pref,
                                      NroOp,           Minut,           ckreciente,
                                      CkError,         PngSpeedButton1, PngSpeedButton2,
                                      PngSpeedButton4, PngSpeedButton3, SpeedButton1,
                                      SpeedButton2};
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (qobject_cast<QToolButton*>(order[i])) order[i]->setFocusPolicy(Qt::TabFocus);
        if (i > 0) setTabOrder(order[i - 1], order[i]);
    }
    Pref->setFocus();
}

// Every handler runs guarded; the timer and "Enviar" run as cycle events.
void Tfprincipalzvr::connectHandlers() {
    connect(Timer1, &QTimer::timeout, this, [this] {
        // A box raised by a cycle is still open: no cycle starts inside its wait.
        if (cycleEventRunning_) return;
        cycleEvent([this] { Timer1Timer(); });
    });
    connect(SpeedButton1, &QToolButton::clicked, this,
            [this] { cycleEvent([this] { SpeedButton1Click(); }); });
    connect(SpeedButton2, &QToolButton::clicked, this,
            [this] { guarded([this] { SpeedButton2Click(); }); });
    connect(PngSpeedButton1, &QToolButton::clicked, this,
            [this] { guarded([this] { PngSpeedButton1Click(); }); });
    connect(PngSpeedButton2, &QToolButton::clicked, this,
            [this] { guarded([this] { PngSpeedButton2Click(); }); });
    connect(PngSpeedButton3, &QToolButton::clicked, this,
            [this] { guarded([this] { PngSpeedButton3Click(); }); });
    connect(PngSpeedButton4, &QToolButton::clicked, this,
            [this] { guarded([this] { PngSpeedButton4Click(); }); });
    // A company chosen by the user; choices made in code run the change themselves.
    connect(LCiaOri, &LookupBox::textChanged, this,
            [this] { guarded([this] { LCiaOriChange(); }); });
}

void Tfprincipalzvr::guarded(const std::function<void()>& handler) { core::runGuarded(handler); }

void Tfprincipalzvr::cycleEvent(const std::function<void()>& handler) {
    if (cycleEventRunning_) {
        guarded(handler);
        return;
    }
    // Covers the cycle and the boxes it raises, the unhandled-error box after it included.
    cycleEventRunning_ = true;
    guarded(handler);
    // A cycle started on the runner's thread ends the event when it is over.
    if (!runner_->running()) endCycleEvent();
}

void Tfprincipalzvr::endCycleEvent() {
    cycleEventRunning_ = false;
    // A box may have stayed open for long: the countdown starts again now that it is shut.
    if (timerOn_ && timerInterval_ > 0) Timer1->start(timerInterval_);
}

void Tfprincipalzvr::cycleDone(const std::exception_ptr& failure) {
    // The origin's failure: ERRORES.TXT and its box, as if the cycle had run here. A cycle
    // that nobody started by hand (a tick, the automatic start) shows it in the window
    // instead: a box would hold every later cycle until someone closed it.
    if (failure && cycleUnattended_)
        showUnattendedFailure(failure);
    else if (failure)
        guarded([&] { std::rethrow_exception(failure); });
    // A cycle started while the box was open ends the event in turn.
    if (!runner_->running()) endCycleEvent();
    emit cycleFinished();
    if (closeAfterCycle_ && !runner_->running()) close();
}

void Tfprincipalzvr::showUnattendedFailure(const std::exception_ptr& failure) {
    std::string text;
    try {
        std::rethrow_exception(failure);
    } catch (const data::SilentAbort&) {
        return;
    } catch (const std::exception& error) {
        text = core::recordUnhandled(error);
    } catch (...) {
        text = core::recordUnhandled(std::runtime_error("Unknown error"));
    }
    // What the cycle had on view when it failed is over.
    Panel3->hide();
    Edit1->hide();
    const QString when = data::qstringFromWindows1252(data::shortDateText(data::today()) + " " +
                                                      data::longTimeText(data::timeNow()));
    const QString whole = QStringLiteral("Ult. error:") + when + QLatin1Char(' ') +
                          data::qstringFromWindows1252(text);
    showLastErrorLine(whole, whole);
}

bool Tfprincipalzvr::sending() const { return runner_->running(); }

bool Tfprincipalzvr::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && firstActivation_) {
        // Run the first activation from the event loop, after the window is on screen.
        // In automatic mode the first activation sends at once: a cycle event.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (argument(4).empty())
                    guarded([this] { FormActivate(); });
                else
                    cycleEvent([this] { FormActivate(); });
            },
            Qt::QueuedConnection);
    }
    return QWidget::event(event);
}

void Tfprincipalzvr::closeEvent(QCloseEvent* event) {
    if (runner_->running()) {
        // The cycle finishes the event in hand first (a connect in progress ends at once);
        // its end closes the window. Until then the panel says that the stop was heard.
        runner_->requestStop();
        closeAfterCycle_ = true;
        Panel3Caption->setText(cancellingText());
        Panel3->show();
        Panel3->raise();
        event->ignore();
        return;
    }
    Timer1->stop();
    event->accept();
}

void Tfprincipalzvr::FormActivate() {
    if (!firstActivation_) return;
    firstActivation_ = false;

    const std::string company = argument(4);
    if (!company.empty()) {
        data_->loginAutomatic(argument(1), argument(2), argument(3));
        loggedIn_ = true;
    } else {
        ui::Tfaccesozvr access(*data_, this);
        if (access.exec() == QDialog::Accepted) {
            loggedIn_ = true;
        } else {
            if (endProgram) endProgram();
            return;
        }
    }

    if (loggedIn_) {
        loggedIn_ = false;
        setOriginServer(data_->loginRecord.ServidorSesion);
        if (!company.empty()) {
            chooseCompany(company);
            if (!argument(5).empty()) ckreciente->setChecked(true);
            // As "Enviar" does, but nobody waits at the window: see cycleDone.
            startCycle(true);
        }
    }
}

void Tfprincipalzvr::setOriginServer(const std::string& server) {
    const QString text = data::qstringFromWindows1252(server);
    if (SerOri1->text() == text) return;
    SerOri1->setText(text);
    SerOri1Change();
}

void Tfprincipalzvr::chooseCompany(const std::string& code) {
    const QString before = LCiaOri->currentText();
    LCiaOri->setKeyValueSilently(data::qstringFromWindows1252(code));
    if (LCiaOri->currentText() != before) LCiaOriChange();
}

void Tfprincipalzvr::SerOri1Change() {
    data_->loadCompanies();
    data::CachedResultSet& list = data_->CCompania;
    const int code = list.fieldByName("COMP_COD");
    const int name = list.fieldByName("COM_NOMBRE");
    std::vector<LookupBox::Row> rows;
    rows.reserve(static_cast<std::size_t>(list.recordCount()));
    for (int row = 0; row < list.recordCount(); ++row) {
        rows.push_back({data::qstringFromWindows1252(list.valueAt(row, code).toText()),
                        data::qstringFromWindows1252(list.valueAt(row, name).toText())});
    }
    LCiaOri->setRows(rows);
}

void Tfprincipalzvr::LCiaOriChange() {
    if (LCiaOri->currentText().isEmpty()) return;
    const std::vector<std::string> agencies =
        data_->selectCompany(data::windows1252FromQString(LCiaOri->keyValue()));
    CboAgencia->clear();
    for (const std::string& agency : agencies)
        CboAgencia->addItem(data::qstringFromWindows1252(agency));
    CboAgencia->setCurrentIndex(0);
}

void Tfprincipalzvr::SpeedButton1Click() { startCycle(false); }

void Tfprincipalzvr::startCycle(bool unattended) {
    if (runner_->running()) return;
    if (!companyChosen()) {
        // The cycle only asks for a company: its box waits here.
        sender::runSendCycle(*data_, *this, *this, *this);
        return;
    }
    SendRunner::Cycle cycle;
    cycle.login = data_->loginRecord;
    cycle.company = data::windows1252FromQString(LCiaOri->keyValue());
    cycle.connectTimeout = data_->DBEnvio.connectTimeout();
    cycle.stallLimit = data_->DBEnvio.stallLimit();
    if (runner_->start(cycle)) cycleUnattended_ = unattended;
}

void Tfprincipalzvr::SpeedButton2Click() { close(); }

void Tfprincipalzvr::Timer1Timer() { startCycle(true); }

// Each press builds a fresh screen owned by this window, shows it modally and releases it
// when it closes.
void Tfprincipalzvr::PngSpeedButton1Click() {
    Tfmensajesenvzvr screen(*data_, this);
    screen.exec();
}

void Tfprincipalzvr::PngSpeedButton2Click() {
    Tfrepcompania screen(data_->QRepcomp, this);
    screen.exec();
}

void Tfprincipalzvr::PngSpeedButton3Click() {
    Tfpendienteszvr screen(*data_, this);
    screen.exec();
}

void Tfprincipalzvr::PngSpeedButton4Click() {
    Tfrepdocs screen(data_->QRepdocs, data_->TTipodoc, this);
    screen.exec();
}

// ---- SendOptions ---------------------------------------------------------------

bool Tfprincipalzvr::companyChosen() const { return !LCiaOri->currentText().isEmpty(); }
sender::BatchSize Tfprincipalzvr::batchSize() const {
    return sender::BatchSize::fromText(data::windows1252FromQString(NroOp->text()));
}
void Tfprincipalzvr::setBatchSize(int events) {
    NroOp->setText(QString::number(events));
    touched(NroOp);
}
bool Tfprincipalzvr::newestFirst() const { return ckreciente->isChecked(); }
bool Tfprincipalzvr::skipErrored() const { return CkError->isChecked(); }
std::string Tfprincipalzvr::minutes() const { return data::windows1252FromQString(Minut->text()); }

// ---- SendStatus ----------------------------------------------------------------

void Tfprincipalzvr::showMessage(const std::string& text) {
    showMessageBox(data::qstringFromWindows1252(text));
}

void Tfprincipalzvr::setProgressPanel(const std::string& caption, bool visible) {
    // After "Cancelar" the panel keeps saying so until the cycle is over.
    Panel3Caption->setText(closeAfterCycle_ ? cancellingText()
                                            : data::qstringFromWindows1252(caption));
    Panel3->setVisible(visible);
    if (visible) Panel3->raise();
    touched(Panel3);
}

void Tfprincipalzvr::resetProgress(int maximum) {
    progressMaximum_ = maximum;
    // A bar with minimum = maximum would show a busy indicator: an empty batch shows 0 of 1.
    ProgressBar1->setRange(0, maximum > 0 ? maximum : 1);
    ProgressBar1->setValue(0);
    touched(ProgressBar1);
}

void Tfprincipalzvr::stepProgress() {
    if (ProgressBar1->value() < ProgressBar1->maximum())
        ProgressBar1->setValue(ProgressBar1->value() + 1);
    touched(ProgressBar1);
}

void Tfprincipalzvr::setConnecting(bool connecting) {
    // Minimum = maximum: the style's busy indicator. Afterwards the bar is empty (the
    // previous destination's full bar is not left behind).
    ProgressBar1->setRange(0, connecting ? 0 : 1);
    ProgressBar1->setValue(0);
    touched(ProgressBar1);
}

void Tfprincipalzvr::setCurrentEvent(const std::string& text, bool visible) {
    Edit1->setText(data::qstringFromWindows1252(text));
    Edit1->setVisible(visible);
    touched(Edit1);
}

void Tfprincipalzvr::setLastSend(const std::string& text) {
    EUltenvio->setText(data::qstringFromWindows1252(text));
    touched(EUltenvio);
}

void Tfprincipalzvr::setErrorViewerEnabled(bool enabled) {
    PngSpeedButton1->setEnabled(enabled);
    touched(PngSpeedButton1);
}

void Tfprincipalzvr::setLastError(const std::string& text) {
    const QString whole = data::qstringFromWindows1252(text);
    // Until the company's summary names it (companyServed), the line shows the text as the
    // cycle gave it.
    showLastErrorLine(whole, whole);
    lastErrorPending_ = true;
}

void Tfprincipalzvr::companyServed(const sender::CompanySummary& summary) {
    // A send that stored errors (or sent anything) leaves a list worth opening.
    if (summary.sent > 0 || summary.failed > 0) setErrorViewerEnabled(true);
    if (!std::exchange(lastErrorPending_, false) || (summary.connected && !summary.lost)) return;
    // The line names the company (code and name) and the reason; the path, which the
    // line could show only cut, stays whole in the tip.
    const QString whole = Label8->toolTip();
    const QString failure = QStringLiteral(" No se pudo conectar con el servidor ");
    const auto at = whole.indexOf(failure);
    if (at < 0) return;
    const QString code = data::qstringFromWindows1252(summary.company);
    QString company = code;
    for (int row = 0; row < LCiaOri->count(); ++row) {
        if (LCiaOri->model()->index(row, 0).data().toString() != code) continue;
        const QString name = LCiaOri->model()->index(row, 1).data().toString().trimmed();
        if (!name.isEmpty()) company += QLatin1Char(' ') + name;
    }
    QString shown = whole.left(at) + QStringLiteral(" No se pudo conectar con ") + company;
    if (!summary.reason.empty())
        shown += QStringLiteral(": ") + data::qstringFromWindows1252(summary.reason);
    showLastErrorLine(shown, whole);
}

void Tfprincipalzvr::showLastErrorLine(const QString& shown, const QString& whole) {
    // Label8 stays left of the side buttons: what does not fit is cut at its end, where
    // the reason's detail is, and the whole text is the tip.
    const int room = PngSpeedButton3->x() - Label8->x() - 8;
    Label8->setText(Label8->fontMetrics().elidedText(shown, Qt::ElideRight, room));
    Label8->adjustSize();
    Label8->setToolTip(whole);
    Label8->setAccessibleDescription(whole);
    touched(PanelArriba);  // the label may have shrunk: its old area too
}

QString Tfprincipalzvr::cancellingText() { return QStringLiteral("Cancelando..."); }

void Tfprincipalzvr::touched(QWidget* widget) {
    if (std::find(touched_.begin(), touched_.end(), widget) == touched_.end())
        touched_.emplace_back(widget);
}

void Tfprincipalzvr::repaint() {
    // The cycle holds the thread: paint now what it changed instead of waiting for the
    // event loop. A widget just hidden leaves its area to its parent.
    const std::vector<QPointer<QWidget>> widgets = std::move(touched_);
    touched_.clear();
    for (const QPointer<QWidget>& w : widgets) {
        if (!w) continue;
        if (w->isVisible())
            w->repaint();
        else if (QWidget* parent = w->parentWidget(); parent && parent->isVisible())
            parent->repaint(w->geometry());
    }
}

// ---- SendTimer -----------------------------------------------------------------

void Tfprincipalzvr::stop() {
    timerOn_ = false;
    Timer1->stop();
}

void Tfprincipalzvr::start(int intervalMs) {
    timerOn_ = true;
    timerInterval_ = intervalMs;
    // An interval of 0 (or below) never fires: sending then goes on only by "Enviar".
    if (intervalMs > 0)
        Timer1->start(intervalMs);
    else
        Timer1->stop();
}

bool Tfprincipalzvr::isActive() const { return timerOn_; }
int Tfprincipalzvr::interval() const { return timerInterval_; }

}  // namespace enviozvr::ui
