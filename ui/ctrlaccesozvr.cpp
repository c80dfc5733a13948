#include "ui/ctrlaccesozvr.h"

#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QScreen>
#include <QToolButton>

#include "core/localfiles.h"
#include "core/unhandled.h"
#include "data/codepage.h"
#include "sender/maindata.h"
#include "ui/messageboxes.h"
#include "ui/pictures.h"
#include "ui/screenlook.h"

namespace enviozvr::ui {

namespace {

QLabel* label(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(geometry);
    return l;
}

QFrame* loweredPanel(QWidget* parent, const char* name, QRect geometry) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(QString::fromLatin1(name));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(1);
    panel->setGeometry(geometry);
    return panel;
}

// Shows "*" for each character of a password.
class StarPasswordStyle : public QProxyStyle {
  public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter) return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

bool isEnter(const QKeyEvent* event) {
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

}  // namespace

Tfaccesozvr::Tfaccesozvr(sender::MainData& data, QWidget* parent) : QDialog(parent), data_(data) {
    setObjectName(QStringLiteral("faccesozvr"));
    setWindowTitle(QStringLiteral("Control de acceso"));
    setFont(ui::msSansSerif8());
    setFixedSize(ui::clientSizeForOuter(QSize(479, 223)));
    setModal(true);

    Image1 = label(this, "Image1", {}, QRect(16, 16, 96, 96));
    Image1->setPixmap(ui::pictures::server(96));
    Image2 = label(this, "Image2", {}, QRect(25, 119, 48, 48));
    Image2->setPixmap(ui::pictures::padlock(48));

    Panel1 = loweredPanel(this, "Panel1", QRect(152, 4, 305, 165));

    // A classic group box: the frame line runs through the middle of the caption.
    GroupBox1 = new QWidget(Panel1);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 2, 289, 81);
    auto* groupFrame = new QFrame(GroupBox1);
    groupFrame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    groupFrame->setGeometry(0, 6, 289, 75);
    GroupCaption = new QLabel(QStringLiteral("Origen:"), GroupBox1);
    GroupCaption->setObjectName(QStringLiteral("GroupCaption"));
    GroupCaption->setAutoFillBackground(true);
    GroupCaption->move(8, 0);
    GroupCaption->adjustSize();
    GroupCaption->setFixedHeight(GroupCaption->sizeHint().height());

    Servidor = new QComboBox(GroupBox1);
    Servidor->setObjectName(QStringLiteral("Servidor"));
    Servidor->setEditable(true);
    Servidor->setInsertPolicy(QComboBox::NoInsert);
    Servidor->setFrame(false);
    Servidor->setGeometry(76, 8, 189, 21);

    Tusua = new QLineEdit(GroupBox1);
    Tusua->setObjectName(QStringLiteral("Tusua"));
    Tusua->setFrame(false);
    Tusua->setGeometry(76, 32, 97, 21);

    TClave = new QLineEdit(GroupBox1);
    TClave->setObjectName(QStringLiteral("TClave"));
    TClave->setFrame(false);
    TClave->setEchoMode(QLineEdit::Password);
    auto* passwordStyle = new StarPasswordStyle;
    passwordStyle->setParent(this);
    TClave->setStyle(passwordStyle);
    TClave->setGeometry(76, 56, 97, 21);

    Label1 = label(GroupBox1, "Label1", QStringLiteral("Servidor : "), QRect(12, 11, 62, 16));
    Label2 = label(GroupBox1, "Label2", QStringLiteral("Usuario : "), QRect(12, 35, 62, 16));
    Label3 = label(GroupBox1, "Label3", QStringLiteral("Clave : "), QRect(12, 59, 62, 16));
    for (QLabel* l : {Label1, Label2, Label3}) l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label1->setBuddy(Servidor);
    Label2->setBuddy(Tusua);
    Label3->setBuddy(TClave);

    SpeedButton1 =
        ui::pictureButton(Panel1, QStringLiteral("SpeedButton1"), QStringLiteral("F2: &Entrar"),
                          ui::pictures::enter(), QSize(28, 28), ui::ButtonLook::Flat);
    SpeedButton1->setFont(ui::arialNarrow8());
    SpeedButton1->setGeometry(42, 86, 63, 53);
    SpeedButton2 =
        ui::pictureButton(Panel1, QStringLiteral("SpeedButton2"), QStringLiteral("ESC: &Salir"),
                          ui::pictures::cancel(), QSize(28, 28), ui::ButtonLook::Flat);
    SpeedButton2->setFont(ui::arialNarrow8());
    SpeedButton2->setGeometry(202, 86, 63, 53);

    Panel2 = loweredPanel(Panel1, "Panel2", QRect(48, 141, 201, 20));
    Panel2->setFont(ui::arial8());
    Panel2Caption = label(Panel2, "Panel2Caption", QStringLiteral("Conectando con el servidor"),
                          QRect(1, 1, 199, 18));
    Panel2Caption->setAlignment(Qt::AlignCenter);
    Panel2->hide();

    setTabOrder(Servidor, Tusua);
    setTabOrder(Tusua, TClave);
    setTabOrder(TClave, Servidor);

    connect(SpeedButton1, &QToolButton::clicked, this,
            [this] { core::runGuarded([this] { SpeedButton1Click(); }); });
    connect(SpeedButton2, &QToolButton::clicked, this,
            [this] { core::runGuarded([this] { SpeedButton2Click(); }); });

    // Keys reach the screen before its controls.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);

    // FormCreate.
    installUnhandledErrorHandler(&data_.loginRecord, &ui::desktopErrorDisplay());
    servers_ = core::leerServidores();
    for (const std::string& server : servers_)
        Servidor->addItem(data::qstringFromWindows1252(server));
    Servidor->setCurrentIndex(servers_.empty() ? -1 : 0);
    Servidor->lineEdit()->setCursorPosition(0);  // a long server text shows its start
}

Tfaccesozvr::~Tfaccesozvr() = default;

void Tfaccesozvr::SpeedButton1Click() {
    Panel2Caption->setText(QStringLiteral("Conectando con el servidor origen"));
    Panel2->show();
    repaint();
    try {
        data_.loginInteractive(data::windows1252FromQString(Servidor->currentText()),
                               data::windows1252FromQString(Tusua->text()),
                               data::windows1252FromQString(TClave->text()));
    } catch (...) {
        // The connect is over: the panel does not stay on view beside the error's box.
        Panel2->hide();
        throw;
    }
    Panel2->hide();
    repaint();
    accept();
}

void Tfaccesozvr::SpeedButton2Click() {
    endRequested_ = true;
    reject();
}

void Tfaccesozvr::done(int result) {
    // FormClose: the user query's result set is closed with the screen.
    data_.Cusuario.close();
    QDialog::done(result);
}

bool Tfaccesozvr::FormKeyDown(QKeyEvent* event) {
    if (event->modifiers() & (Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier))
        return false;
    switch (event->key()) {
        case Qt::Key_F2:
            core::runGuarded([this] { SpeedButton1Click(); });
            return true;
        case Qt::Key_Escape:
            core::runGuarded([this] { SpeedButton2Click(); });
            return true;
        default:
            return false;
    }
}

bool Tfaccesozvr::EnterKey(QObject* watched, QKeyEvent* event) {
    if (!isEnter(event)) return false;
    if (watched == Tusua) {
        TClave->setFocus(Qt::TabFocusReason);
        return true;
    }
    if (watched == TClave) {
        Servidor->setFocus(Qt::TabFocusReason);
        return true;
    }
    if (watched == Servidor || watched == Servidor->lineEdit()) {
        Tusua->setFocus(Qt::TabFocusReason);
        return true;
    }
    return false;
}

bool Tfaccesozvr::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // A key the screen takes stops here; any other goes on to the control (and may
        // come back here on its way up to the parents, where it is still not taken).
        if (FormKeyDown(key)) return true;
        if (EnterKey(watched, key)) return true;
    }
    return QDialog::eventFilter(watched, event);
}

void Tfaccesozvr::keyPressEvent(QKeyEvent* event) {
    // Keys left over by the controls do nothing here: no default button, and ESC is
    // FormKeyDown's alone.
    event->ignore();
}

void Tfaccesozvr::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!centred_) {
        centred_ = true;
        if (const QScreen* s = screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(s->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    // FormActivate.
    Tusua->setFocus(Qt::ActiveWindowFocusReason);
}

}  // namespace enviozvr::ui
