// The access control screen over real widgets and the local Firebird server.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QTest>
#include <QToolButton>

#include "core/scrambler.h"
#include "data/codepage.h"
#include "sender/maindata.h"
#include "ui/ctrlaccesozvr.h"
#include "uitest.h"

namespace enviozvr::uitest {
namespace {

using ui::Tfaccesozvr;

const QString kWrongLogin = QStringLiteral("El nombre de Usuario o la clave son incorrectas.");

std::vector<std::string> fields(const std::string& line, int count) {
    std::vector<std::string> out;
    std::string::size_type start = 0;
    for (int i = 0; i + 1 < count; ++i) {
        const auto comma = line.find(',', start);
        if (comma == std::string::npos) break;
        out.push_back(line.substr(start, comma - start));
        start = comma + 1;
    }
    out.push_back(line.substr(start));
    return out;
}

TEST(AccessScreen, ShowsItsControlsAndTheServerList) {
    struct Case {
        const char* what;
        std::optional<std::string> file;
        QStringList items;
        int current;
    };
    const Case cases[] = {
        {"CR LF lines",
         std::string("localhost:/srv\r\nremoto:/datos2\r\n\r\nultimo"),
         {"localhost:/srv", "remoto:/datos2", "", "ultimo"},
         0},
        {"no SERVIDORES.cfg", std::nullopt, {}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testing::InstallDir install;
        if (c.file) install.writeFile("SERVIDORES.cfg", *c.file);
        sender::MainData data;
        Tfaccesozvr screen(data);
        screen.show();

        EXPECT_EQ(screen.windowTitle(), QStringLiteral("Control de acceso"));
        EXPECT_EQ(screen.size(), QSize(471, 196));
        QStringList items;
        for (int i = 0; i < screen.Servidor->count(); ++i) items << screen.Servidor->itemText(i);
        EXPECT_EQ(items, c.items);
        EXPECT_EQ(screen.Servidor->currentIndex(), c.current);
        EXPECT_EQ(screen.Servidor->currentText(), c.items.value(0));
        EXPECT_TRUE(screen.Servidor->isEditable());
        EXPECT_EQ(screen.TClave->echoMode(), QLineEdit::Password);
        EXPECT_EQ(screen.TClave->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter), '*');
        EXPECT_EQ(screen.SpeedButton1->text(), QStringLiteral("F2: &Entrar"));
        EXPECT_EQ(screen.SpeedButton2->text(), QStringLiteral("ESC: &Salir"));
        EXPECT_TRUE(screen.Panel2->isHidden());
        EXPECT_EQ(screen.focusWidget(), screen.Tusua);

        // Tab order: server, user, password, and round again.
        std::vector<QWidget*> chain;
        QWidget* w = screen.Servidor;
        do {
            chain.push_back(w);
            do w = w->nextInFocusChain();
            while (!(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(&screen) ||
                   w->focusProxy());
        } while (w != screen.Servidor && chain.size() < 10);
        EXPECT_EQ(chain, (std::vector<QWidget*>{screen.Servidor, screen.Tusua, screen.TClave}));

        // Every control inside the panel and its group, and every label clear of its box.
        const QRect panel = screen.Panel1->geometry();
        EXPECT_TRUE(screen.rect().contains(panel));
        for (QWidget* child : screen.GroupBox1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            EXPECT_TRUE(screen.GroupBox1->rect().contains(child->geometry()))
                << child->objectName().toStdString();
        for (QLabel* label : {screen.Label1, screen.Label2, screen.Label3}) {
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width())
                << label->text().toStdString();
            EXPECT_LE(label->geometry().right(), screen.Servidor->x());
        }
    }
}

// Typed texts of the screen's three boxes.
void typeLogin(Tfaccesozvr& screen, const std::string& server, const std::string& user,
               const std::string& password) {
    screen.Servidor->setEditText(data::qstringFromWindows1252(server));
    screen.Tusua->setText(data::qstringFromWindows1252(user));
    screen.TClave->setText(data::qstringFromWindows1252(password));
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

TEST(AccessScreen, F2LogsInThroughTheServer) {
    UiWorld world;
    sender::MainData data;
    Tfaccesozvr screen(data);
    screen.show();
    // The user in lower case: the database takes it as typed, the record upper-cased.
    typeLogin(screen, world.server, lower(world.user), world.password);

    ModalDriver driver;
    driver.run([&] { QTest::keyClick(screen.Tusua, Qt::Key_F2); });

    EXPECT_TRUE(driver.messages.empty()) << driver.messages.front().toStdString();
    EXPECT_EQ(screen.result(), QDialog::Accepted);
    EXPECT_TRUE(data.DbGeneral.isConnected());
    EXPECT_EQ(data.DbGeneral.database(), world.server + "/datos/general.fdb");
    EXPECT_EQ(data.loginRecord.UsuarioSesion, world.user);
    EXPECT_EQ(data.loginRecord.ClaveSesion, core::CifrarClave(world.password));
    EXPECT_EQ(data.loginRecord.ServidorSesion, world.server);
    EXPECT_TRUE(screen.Panel2->isHidden());
    EXPECT_FALSE(data.Cusuario.active());
}

TEST(AccessScreen, WrongPasswordIsLoggedShownAndTheScreenStaysOpen) {
    UiWorld world;
    sender::MainData data;
    Tfaccesozvr screen(data);
    screen.show();
    typeLogin(screen, world.server, world.user, world.password + "x");

    ModalDriver driver;
    driver.run([&] { QTest::keyClick(screen.TClave, Qt::Key_F2); });

    EXPECT_EQ(driver.messages, std::vector<QString>{kWrongLogin});
    const auto lines = world.logLines("ERRORES.TXT");
    ASSERT_EQ(lines.size(), 1u);
    const auto f = fields(lines[0], 4);
    ASSERT_EQ(f.size(), 4u);
    EXPECT_EQ(f[0], data::shortDateText(data::today()));
    EXPECT_EQ(f[2], "");  // nobody has logged in yet
    EXPECT_NE(f[3].find("Your user name and password are not defined"), std::string::npos) << f[3];
    EXPECT_EQ(screen.result(), 0);
    EXPECT_TRUE(screen.isVisible());
    // The connect is over: "Conectando con el servidor origen" is not left on view.
    EXPECT_TRUE(screen.Panel2->isHidden());
    EXPECT_TRUE(data.loginRecord.UsuarioSesion.empty());
    EXPECT_TRUE(data.loginRecord.ServidorSesion.empty());

    // Corrected, the button logs in.
    screen.TClave->setText(data::qstringFromWindows1252(world.password));
    driver.run([&] { QTest::mouseClick(screen.SpeedButton1, Qt::LeftButton); });
    EXPECT_EQ(driver.messages.size(), 1u);
    EXPECT_EQ(screen.result(), QDialog::Accepted);
    EXPECT_EQ(data.loginRecord.ServidorSesion, world.server);
}

// A server that cannot be reached: any login attempt shows a message, so a key that must
// do nothing shows none.
constexpr const char* kNoServer = "localhost:/enviozvr-no-such-folder";

TEST(AccessScreen, F2AndEscWithShiftAltOrCtrlDoNothing) {
    testing::InstallDir install;
    const Qt::Key keys[] = {Qt::Key_F2, Qt::Key_Escape};
    const Qt::KeyboardModifier modifiers[] = {Qt::ShiftModifier, Qt::AltModifier,
                                              Qt::ControlModifier};
    for (Qt::Key key : keys) {
        for (Qt::KeyboardModifier modifier : modifiers) {
            SCOPED_TRACE(QKeySequence(key | modifier).toString().toStdString());
            sender::MainData data;
            Tfaccesozvr screen(data);
            screen.show();
            typeLogin(screen, kNoServer, "SYSDBA", "masterkey");
            ModalDriver driver;
            driver.run([&] {
                for (QWidget* target :
                     {static_cast<QWidget*>(screen.Tusua), static_cast<QWidget*>(screen.Servidor)})
                    QTest::keyClick(target, key, modifier);
            });
            EXPECT_TRUE(driver.messages.empty());
            EXPECT_TRUE(screen.isVisible());
            EXPECT_FALSE(screen.endRequested());
            EXPECT_TRUE(screen.Panel2->isHidden());
        }
    }
    // Without a modifier F2 does try (the same screen state, one message).
    sender::MainData data;
    Tfaccesozvr screen(data);
    screen.show();
    typeLogin(screen, kNoServer, "SYSDBA", "masterkey");
    ModalDriver driver;
    driver.run([&] { QTest::keyClick(screen.Tusua, Qt::Key_F2); });
    EXPECT_EQ(driver.messages.size(), 1u);
}

TEST(AccessScreen, EnterMovesTheFocusOnAndNeverLogsIn) {
    testing::InstallDir install;
    sender::MainData data;
    Tfaccesozvr screen(data);
    screen.show();
    typeLogin(screen, kNoServer, "SYSDBA", "masterkey");
    struct Case {
        QWidget* from;
        QWidget* to;
        Qt::Key key;
    };
    const Case cases[] = {
        {screen.Servidor, screen.Tusua, Qt::Key_Return},
        {screen.Tusua, screen.TClave, Qt::Key_Return},
        {screen.TClave, screen.Servidor, Qt::Key_Return},  // wraps to the server box
        {screen.TClave, screen.Servidor, Qt::Key_Enter},
    };
    ModalDriver driver;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.from->objectName().toStdString());
        c.from->setFocus();
        driver.run([&] { QTest::keyClick(c.from, c.key); });
        EXPECT_EQ(screen.focusWidget(), c.to);
    }
    EXPECT_TRUE(driver.messages.empty());
    EXPECT_EQ(screen.Servidor->currentText(), QString::fromLatin1(kNoServer));
    EXPECT_EQ(screen.Servidor->count(), 0);  // Enter adds nothing to the list
    EXPECT_TRUE(screen.isVisible());
}

TEST(AccessScreen, EscOrSalirEndsWithoutAnyDatabaseAccess) {
    testing::InstallDir install;
    const std::function<void(Tfaccesozvr&)> ways[] = {
        [](Tfaccesozvr& s) { QTest::keyClick(s.Tusua, Qt::Key_Escape); },
        [](Tfaccesozvr& s) { QTest::mouseClick(s.SpeedButton2, Qt::LeftButton); },
    };
    for (const auto& way : ways) {
        sender::MainData data;
        Tfaccesozvr screen(data);
        screen.show();
        typeLogin(screen, kNoServer, "SYSDBA", "masterkey");
        ModalDriver driver;
        driver.run([&] { way(screen); });
        EXPECT_TRUE(driver.messages.empty());
        EXPECT_TRUE(screen.endRequested());
        EXPECT_EQ(screen.result(), QDialog::Rejected);
        EXPECT_FALSE(screen.isVisible());
        EXPECT_FALSE(data.DbGeneral.isConnected());
        EXPECT_FALSE(install.readFile("ERRORES.TXT").has_value());
    }
}

}  // namespace
}  // namespace enviozvr::uitest
