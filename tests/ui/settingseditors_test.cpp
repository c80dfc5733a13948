// The settings editors on real widgets over real company databases: the window, editing in
// the grid (typed cells, the "Activa" check box, the "Tipo documento" drop-down, the
// navigator), "Grabar", "Cancelar", closing by the frame, refused rows, and the main
// window's buttons with a send that uses what was saved.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QToolTip>
#include <functional>

#include "core/unhandled.h"
#include "data/codepage.h"
#include "data/connection.h"
#include "support/recordederrors.h"
#include "ui/gridnavigator.h"
#include "ui/gridwidget.h"
#include "ui/principalzvr.h"
#include "ui/repcompania.h"
#include "ui/repdocs.h"
#include "uitest.h"

namespace enviozvr::uitest {
namespace {

using data::Value;
using testing::RecordedErrors;
using ui::Tfrepcompania;
using ui::Tfrepdocs;

// A company database on the local server with the main window's queries over it.
struct CompanyDb {
    CompanyDb() : db((makeWorldWritable(dir.path()), dir.file("nivora.fdb")), true) {
        db.createCompanySchema();
        db.exec({
            "INSERT INTO REPLICA_COMPANIA VALUES ('002', 'Norte', 'srv2:/datos', 'N', 1, 'S')",
            "INSERT INTO REPLICA_COMPANIA VALUES ('003', 'Sur', 'srv3:/datos', 'N', 1, 'x')",
            "INSERT INTO TIPO_DOCUMENTO (TIDO_COD, TIDO_NOMCORTO, TIDO_NOMLARGO) "
            "VALUES (236, 'FACT', 'Factura de venta')",
            "INSERT INTO TIPO_DOCUMENTO (TIDO_COD, TIDO_NOMCORTO, TIDO_NOMLARGO) "
            "VALUES (240, 'NCRED', 'Nota credito')",
            "INSERT INTO REPLICACION_CONFIGURA VALUES (236, 'FV', 'S', '002')",
            "INSERT INTO REPLICACION_CONFIGURA VALUES (999, 'ZZ', 'N', '003')",
        });
        DbCia->setDatabase(db.location());
        DbCia->setParam("User_Name", testing::serverUser());
        DbCia->setParam("password", testing::serverPassword());
    }
    std::vector<std::vector<Value>> rows(const std::string& sql) { return db.query(sql); }

    testing::TempDir dir;
    testing::TestDatabase db;
    std::unique_ptr<data::Connection> DbCia = data::Connection::company("DbCia");
    data::Query QRepcomp{*DbCia, "SELECT * FROM REPLICA_COMPANIA"};
    data::Query QRepdocs{*DbCia, "SELECT * FROM REPLICACION_CONFIGURA"};
    data::Query TTipodoc{data::Query::table(*DbCia, "TIPO_DOCUMENTO")};
};

QModelIndex cell(ui::GridWidget* grid, int row, int column) {
    return grid->gridModel()->index(row, column);
}

// Types `text` into a cell as a user does: F2 opens the cell editor, Enter writes it.
void typeInto(ui::GridWidget* grid, int row, int column, const QString& text) {
    grid->moveToCell(row, column);
    QTest::keyClick(grid, Qt::Key_F2);
    auto* editor = grid->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();  // the text is written and the editor closed
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Shows a screen as the active window, as the user has it.
void showActive(QWidget& screen) {
    screen.show();
    screen.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&screen));
}

void clickCheckBox(ui::GridWidget* grid, int row, int column) {
    const QRect box = ui::FlagCheckBoxDelegate::boxRect(grid->visualRect(cell(grid, row, column)));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, box.center());
}

int rowOf(ui::GridWidget* grid, int column, const QString& text) {
    for (int r = 0; r < grid->gridModel()->rowCount(); ++r)
        if (grid->gridModel()->cellText(r, column) == text) return r;
    return -1;
}

TEST(SettingsEditors, WindowsColumnsAndCheckBoxes) {
    CompanyDb company;
    {
        Tfrepcompania screen(company.QRepcomp);
        showActive(screen);
        EXPECT_EQ(screen.windowTitle(), QStringLiteral("Configuración compañías"));
        EXPECT_EQ(screen.size(), QSize(584, 200));
        EXPECT_EQ(screen.DBNavigator1->height(), 18);
        EXPECT_EQ(screen.Panel1->height(), 57);
        EXPECT_EQ(screen.SpeedButton1->text(), QStringLiteral("&Grabar"));
        EXPECT_EQ(screen.SpeedButton1->geometry(), QRect(88, 1, 65, 55));
        EXPECT_EQ(screen.SpeedButton2->text(), QStringLiteral("&Cancelar"));
        EXPECT_EQ(screen.SpeedButton2->geometry(), QRect(440, 1, 65, 55));
        EXPECT_TRUE(screen.SpeedButton1->autoRaise());
        for (QToolButton* b : {screen.DBNavigator1->nbFirst, screen.DBNavigator1->nbInsert,
                               screen.DBNavigator1->nbDelete, screen.DBNavigator1->nbEdit,
                               screen.DBNavigator1->nbPost, screen.DBNavigator1->nbCancel,
                               screen.DBNavigator1->nbRefresh})
            EXPECT_TRUE(b->isVisible()) << b->objectName().toStdString();
        ui::GridWidget* g = screen.Grid1;
        EXPECT_TRUE(g->editingEnabled());
        EXPECT_EQ(g->gridModel()->rowCount(), 2);
        const QStringList titles = {QStringLiteral("Código"), QStringLiteral("Compañía"),
                                    QStringLiteral("Servidor"), QStringLiteral("Activa")};
        const int widths[] = {38, 223, 262, 35};
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(g->gridModel()->headerData(c, Qt::Horizontal).toString(), titles[c]);
            EXPECT_EQ(g->horizontalHeader()->sectionSize(c), widths[c]);
        }
        // The check box column has no text editor: F2 there opens nothing.
        g->moveToCell(0, 3);
        QTest::keyClick(g, Qt::Key_F2);
        EXPECT_EQ(g->viewport()->findChild<QLineEdit*>(), nullptr);
    }
    {
        Tfrepdocs screen(company.QRepdocs, company.TTipodoc);
        showActive(screen);
        EXPECT_EQ(screen.windowTitle(), QStringLiteral("Configuración documentos"));
        ui::GridWidget* g = screen.Grid1;
        const QStringList titles = {QStringLiteral("Tipo documento"), QStringLiteral("Prefijo"),
                                    QStringLiteral("Replica"), QStringLiteral("Compañía")};
        const int widths[] = {301, 35, 43, 55};
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(g->gridModel()->headerData(c, Qt::Horizontal).toString(), titles[c]);
            EXPECT_EQ(g->horizontalHeader()->sectionSize(c), widths[c]);
        }
        const int fv = rowOf(g, 1, "FV"), zz = rowOf(g, 1, "ZZ");
        EXPECT_EQ(g->gridModel()->cellText(fv, 0), "FACT");
        EXPECT_EQ(g->gridModel()->cellText(zz, 0), "");   // type 999 is unknown
        EXPECT_EQ(g->gridModel()->cellText(fv, 2), "S");  // "Replica" is plain text
    }
}

// Typing a server, clicking "Activa" (x -> S, S -> N) and adding a row with the navigator,
// then "Grabar": the table holds exactly that and the screen closed.
TEST(SettingsEditors, GrabarWritesWhatWasTypedAndClicked) {
    CompanyDb company;
    Tfrepcompania screen(company.QRepcomp);
    showActive(screen);
    ui::GridWidget* g = screen.Grid1;
    const int norte = rowOf(g, 0, "002"), sur = rowOf(g, 0, "003");
    typeInto(g, norte, 2, "nuevo:/srv");
    clickCheckBox(g, norte, 3);
    clickCheckBox(g, sur, 3);
    QCoreApplication::processEvents();
    EXPECT_EQ(company.rows(
                  "SELECT COUNT(*) FROM REPLICA_COMPANIA WHERE RPCO_SERVIDOR = 'nuevo:/srv'")[0][0],
              Value::integer(0));  // nothing written yet

    screen.DBNavigator1->nbLast->click();
    screen.DBNavigator1->nbInsert->click();
    EXPECT_EQ(g->gridModel()->rowCount(), 3);
    const int added = g->currentRecord();
    typeInto(g, added, 0, "009");
    typeInto(g, added, 1, "Nueva");
    clickCheckBox(g, added, 3);
    screen.SpeedButton1->click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(screen.isVisible());
    EXPECT_EQ(company.rows("SELECT RPCO_COD, RPCO_SERVIDOR, RPCO_ACTIVA FROM REPLICA_COMPANIA "
                           "ORDER BY RPCO_COD"),
              (std::vector<std::vector<Value>>{
                  {Value::text("002"), Value::text("nuevo:/srv"), Value::text("N")},
                  {Value::text("003"), Value::text("srv3:/datos"), Value::text("S")},
                  {Value::text("009"), Value::null(), Value::text("S")}}));
}

TEST(SettingsEditors, CancelarAndClosingTheFrameWriteNothing) {
    CompanyDb company;
    const auto before = company.rows("SELECT * FROM REPLICA_COMPANIA ORDER BY RPCO_COD");
    for (const bool byFrame : {false, true}) {
        SCOPED_TRACE(byFrame ? "frame" : "Cancelar");
        Tfrepcompania screen(company.QRepcomp);
        showActive(screen);
        ui::GridWidget* g = screen.Grid1;
        typeInto(g, 0, 2, "otro");
        g->confirmDelete = [] { return true; };
        g->moveToCell(1, 0);
        screen.DBNavigator1->nbDelete->click();
        EXPECT_EQ(g->gridModel()->rowCount(), 1);
        if (byFrame)
            screen.close();
        else
            screen.SpeedButton2->click();
        EXPECT_FALSE(screen.isVisible());
        EXPECT_FALSE(screen.CRepcomp.active());
    }
    EXPECT_EQ(company.rows("SELECT * FROM REPLICA_COMPANIA ORDER BY RPCO_COD"), before);
}

// Esc leaves an editor as "Cancelar" does: at once when nothing is cached, after a question
// otherwise ("No" keeps the screen with its changes, "Yes" drops them and closes).
TEST(SettingsEditors, EscClosesAsCancelarAndAsksWhenChangesAreCached) {
    CompanyDb company;
    const auto before = company.rows("SELECT * FROM REPLICA_COMPANIA ORDER BY RPCO_COD");
    {
        Tfrepcompania screen(company.QRepcomp);
        showActive(screen);
        ModalDriver driver;
        driver.run([&] { QTest::keyClick(screen.Grid1, Qt::Key_Escape); });
        EXPECT_TRUE(driver.messages.empty());
        EXPECT_FALSE(screen.isVisible());
    }
    Tfrepcompania screen(company.QRepcomp);
    showActive(screen);
    ui::GridWidget* g = screen.Grid1;
    typeInto(g, 0, 2, "otro");
    g->moveToCell(1, 0);  // the change is posted to the cache
    ModalDriver driver;
    driver.answers = {QMessageBox::No, QMessageBox::Yes};
    driver.run([&] { QTest::keyClick(g, Qt::Key_Escape); });
    EXPECT_EQ(driver.messages, std::vector<QString>{ui::SettingsEditor::discardQuestionText()});
    EXPECT_TRUE(screen.isVisible());
    EXPECT_GT(screen.CRepcomp.changeCount(), 0);
    driver.run([&] { QTest::keyClick(g, Qt::Key_Escape); });
    EXPECT_EQ(driver.messages.size(), 2u);
    EXPECT_FALSE(screen.isVisible());
    EXPECT_EQ(company.rows("SELECT * FROM REPLICA_COMPANIA ORDER BY RPCO_COD"), before);
}

TEST(SettingsEditors, DeleteAsksFirstAndANewRowNeverChangedIsDropped) {
    CompanyDb company;
    Tfrepcompania screen(company.QRepcomp);
    showActive(screen);
    ui::GridWidget* g = screen.Grid1;
    int asked = 0;
    bool answer = false;
    g->confirmDelete = [&] {
        ++asked;
        return answer;
    };
    g->setFocus();
    QTest::keyClick(g, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(g->gridModel()->rowCount(), 2);  // refused
    answer = true;
    screen.DBNavigator1->nbDelete->click();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(g->gridModel()->rowCount(), 1);

    QTest::keyClick(g, Qt::Key_Insert);  // a new row, never changed
    EXPECT_EQ(g->gridModel()->rowCount(), 2);
    screen.SpeedButton2->setFocusPolicy(Qt::StrongFocus);
    screen.SpeedButton2->setFocus();  // the focus leaves the grid
    QCoreApplication::processEvents();
    EXPECT_EQ(g->gridModel()->rowCount(), 1);
    EXPECT_EQ(screen.CRepcomp.state(), data::DataSetState::Browse);
}

// An empty "Código" is refused by the post with the field's label; the screen stays open.
// Refresh with changes cached is refused too.
TEST(SettingsEditors, RequiredFieldAndRefreshAreRefused) {
    CompanyDb company;
    RecordedErrors errors;
    Tfrepcompania screen(company.QRepcomp);
    showActive(screen);
    ui::GridWidget* g = screen.Grid1;
    screen.DBNavigator1->nbInsert->click();
    typeInto(g, g->currentRecord(), 1, "Sin codigo");
    screen.SpeedButton1->click();
    ASSERT_EQ(errors.shown.size(), 1u);
    EXPECT_NE(errors.shown[0].find("Field 'C\xF3"
                                   "digo' must have a value"),
              std::string::npos)
        << errors.shown[0];
    EXPECT_TRUE(screen.isVisible());
    EXPECT_EQ(screen.CRepcomp.state(), data::DataSetState::Insert);

    screen.DBNavigator1->nbCancel->click();
    typeInto(g, 0, 2, "otro");
    screen.DBNavigator1->nbPost->click();
    screen.DBNavigator1->nbRefresh->click();
    ASSERT_EQ(errors.shown.size(), 2u);
    EXPECT_NE(errors.shown[1].find("Must apply updates before refreshing data"), std::string::npos)
        << errors.shown[1];
    EXPECT_EQ(screen.CRepcomp.changeCount(), 1);
}

// A row the database refuses: the user is told which and why; the screen stays open with
// every change cached; mended, it saves.
TEST(SettingsEditors, RefusedRowIsReportedAndTheScreenStaysOpen) {
    CompanyDb company;
    RecordedErrors errors;
    company.db.exec("CREATE UNIQUE INDEX REPLICA_COMPANIA_COD ON REPLICA_COMPANIA (RPCO_COD)");
    const auto before = company.rows("SELECT * FROM REPLICA_COMPANIA ORDER BY RPCO_COD");
    Tfrepcompania screen(company.QRepcomp);
    screen.setModal(false);  // shown here without its own event loop: only the box is modal
    showActive(screen);
    ui::GridWidget* g = screen.Grid1;
    typeInto(g, rowOf(g, 0, "002"), 2, "nuevo:/srv");
    screen.DBNavigator1->nbInsert->click();
    const int added = g->currentRecord();
    typeInto(g, added, 0, "003");  // a code that exists
    typeInto(g, added, 1, "Repetida");

    ModalDriver driver;
    driver.run([&] { screen.SpeedButton1->click(); });
    ASSERT_EQ(driver.messages.size(), 1u);
    const QString& text = driver.messages[0];
    EXPECT_TRUE(
        text.startsWith(QStringLiteral("La base de datos rechazó este cambio; no se grabó "
                                       "ningún cambio:")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Nuevo (Código 003, Compañía Repetida):")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("REPLICA_COMPANIA_COD"))) << text.toStdString();
    EXPECT_TRUE(screen.isVisible());
    EXPECT_EQ(screen.CRepcomp.changeCount(), 2);
    EXPECT_EQ(company.rows("SELECT * FROM REPLICA_COMPANIA ORDER BY RPCO_COD"), before);

    typeInto(g, rowOf(g, 1, "Repetida"), 0, "008");
    driver.run([&] { screen.SpeedButton1->click(); });
    EXPECT_EQ(driver.messages.size(), 1u);
    EXPECT_FALSE(screen.isVisible());
    EXPECT_TRUE(errors.shown.empty());
    EXPECT_EQ(company.rows("SELECT COUNT(*) FROM REPLICA_COMPANIA WHERE RPCO_COD = '008' OR "
                           "RPCO_SERVIDOR = 'nuevo:/srv'")[0][0],
              Value::integer(2));
}

// Types `text` into the focused cell editor one character at a time, each as a key press
// carrying that character (QTest's own typing narrows characters to Latin-1).
void typeCharacters(QLineEdit* editor, const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype n = text.at(i).isHighSurrogate() ? 2 : 1;
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text.mid(i, n));
        QApplication::sendEvent(editor, &press);
        i += n - 1;
    }
}

QLineEdit* openEditor(ui::GridWidget* grid, int row, int column) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // closed editors
    grid->moveToCell(row, column);
    QTest::keyClick(grid, Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    if (editor) editor->selectAll();
    return editor;
}

// However the edit of a row begins (typing in a cell, a key, the navigator), the
// navigator's buttons and the row indicator follow the row's state; Post on the navigator
// writes the text still in the cell editor.
TEST(SettingsEditors, NavigatorAndIndicatorFollowTheRowsState) {
    using Mark = ui::GridIndicator::Mark;
    CompanyDb company;
    Tfrepcompania screen(company.QRepcomp);
    showActive(screen);
    ui::GridWidget* g = screen.Grid1;
    ui::GridNavigator* nav = screen.DBNavigator1;
    const auto expectState = [&](data::DataSetState state, Mark mark) {
        const bool changing = state != data::DataSetState::Browse;
        EXPECT_EQ(screen.CRepcomp.state(), state);
        EXPECT_EQ(nav->nbPost->isEnabled(), changing);
        EXPECT_EQ(nav->nbEdit->isEnabled(), !changing);
        EXPECT_EQ(g->indicator()->currentMark(), mark);
        EXPECT_EQ(g->indicator()->currentRow(), g->currentRecord());
    };
    expectState(data::DataSetState::Browse, Mark::Browse);
    EXPECT_FALSE(nav->nbCancel->isEnabled());

    QLineEdit* editor = openEditor(g, rowOf(g, 0, "002"), 2);
    ASSERT_NE(editor, nullptr);
    expectState(data::DataSetState::Browse, Mark::Browse);  // F2 alone changes nothing
    QTest::keyClicks(editor, "srv9");
    expectState(data::DataSetState::Edit, Mark::Edit);
    EXPECT_TRUE(nav->nbCancel->isEnabled());
    nav->nbPost->click();
    QCoreApplication::processEvents();
    expectState(data::DataSetState::Browse, Mark::Browse);
    EXPECT_EQ(g->gridModel()->cellText(rowOf(g, 0, "002"), 2), "srv9");
    EXPECT_EQ(screen.CRepcomp.changeCount(), 1);

    nav->nbInsert->click();
    expectState(data::DataSetState::Insert, Mark::Insert);
    nav->nbCancel->click();
    expectState(data::DataSetState::Browse, Mark::Browse);
    clickCheckBox(g, rowOf(g, 0, "003"), 3);
    expectState(data::DataSetState::Edit, Mark::Edit);
}

// A cell editor holds no more than its column and refuses, with a message at the cell, a
// character the database's character set lacks (typed or pasted); nothing is cached by
// the refusal, and what is saved is exactly what the editor showed.
TEST(SettingsEditors, CellEditorsTakeOnlyWhatTheColumnHolds) {
    CompanyDb company;
    Tfrepcompania screen(company.QRepcomp);
    showActive(screen);
    ui::GridWidget* g = screen.Grid1;
    const int norte = rowOf(g, 0, "002");
    const struct {
        int column;
        QString typed;
        QString shown;
        QString refused;  // the character the message names, if any
    } cases[] = {
        {1, QString(110, QChar('n')), QString(80, QChar('n')), {}},
        {0, QStringLiteral("00012"), QStringLiteral("000"), {}},
        {2, QStringLiteral("Łódź"), QStringLiteral("ód"), QStringLiteral("ź")},
        {2, QStringLiteral("x\U0001F600y"), QStringLiteral("xy"), QStringLiteral("\U0001F600")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        QToolTip::hideText();
        QLineEdit* editor = openEditor(g, norte, c.column);
        ASSERT_NE(editor, nullptr);
        typeCharacters(editor, c.typed);
        EXPECT_EQ(editor->text(), c.shown);
        if (!c.refused.isEmpty())
            EXPECT_EQ(QToolTip::text(), ui::GridWidget::refusedCharacterText(c.refused));
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();
        EXPECT_EQ(g->gridModel()->cellText(norte, c.column), c.shown);
    }
    // A paste holding such a character is refused whole, before anything is cached.
    screen.DBNavigator1->nbPost->click();
    const int changes = screen.CRepcomp.changeCount();
    QLineEdit* editor = openEditor(g, rowOf(g, 0, "003"), 1);
    ASSERT_NE(editor, nullptr);
    QGuiApplication::clipboard()->setText(QStringLiteral("Sur Ł"));
    QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(editor->text(), QStringLiteral("Sur"));
    EXPECT_EQ(QToolTip::text(), ui::GridWidget::refusedCharacterText(QStringLiteral("Ł")));
    QTest::keyClick(editor, Qt::Key_Escape);
    // A second Esc: the grid cancels a row still in edit; otherwise the screen asks before
    // dropping the changes, and "No" keeps it open.
    ModalDriver driver;
    driver.answers = {QMessageBox::No};
    driver.run([&] { QTest::keyClick(g, Qt::Key_Escape); });
    EXPECT_TRUE(screen.isVisible());
    EXPECT_EQ(screen.CRepcomp.changeCount(), changes);
    EXPECT_EQ(screen.CRepcomp.state(), data::DataSetState::Browse);

    screen.SpeedButton1->click();
    EXPECT_FALSE(screen.isVisible());
    EXPECT_EQ(company.rows("SELECT RPCO_COD, RPCP_NOMBRE, RPCO_SERVIDOR FROM REPLICA_COMPANIA "
                           "WHERE RPCO_SERVIDOR LIKE 'xy%'"),
              (std::vector<std::vector<Value>>{
                  {Value::text("000"), Value::text(std::string(80, 'n')), Value::text("xy")}}));
}

// A delete the database refuses holds every other change back: the deleted row is brought
// back ("Recuperar fila borrada"), another row's change undone with the navigator's cancel,
// and "Grabar" then writes the change that is left.
TEST(SettingsEditors, OneRowsChangeIsUndoneAndTheRestSaved) {
    CompanyDb company;
    RecordedErrors errors;
    company.db.exec("CREATE EXCEPTION NO_BORRAR 'la sucursal tiene facturas'");
    company.db.exec(
        "CREATE TRIGGER REPLICA_NO_BORRAR FOR REPLICA_COMPANIA BEFORE DELETE AS "
        "BEGIN IF (OLD.RPCO_COD = '003') THEN EXCEPTION NO_BORRAR; END");
    Tfrepcompania screen(company.QRepcomp);
    screen.setModal(false);  // shown here without its own event loop: only the box is modal
    showActive(screen);
    ui::GridWidget* g = screen.Grid1;
    g->confirmDelete = [] { return true; };
    typeInto(g, rowOf(g, 0, "002"), 2, "nuevo:/srv");
    EXPECT_FALSE(screen.restoreDeleted->isEnabled());
    g->moveToCell(rowOf(g, 0, "003"), 0);
    screen.DBNavigator1->nbDelete->click();
    ASSERT_EQ(g->gridModel()->rowCount(), 1);

    ModalDriver driver;
    driver.run([&] { screen.SpeedButton1->click(); });
    ASSERT_EQ(driver.messages.size(), 1u);
    EXPECT_TRUE(driver.messages[0].contains(QStringLiteral("Borrado (Código 003")))
        << driver.messages[0].toStdString();
    EXPECT_TRUE(screen.isVisible());
    EXPECT_EQ(screen.CRepcomp.changeCount(), 2);

    showActive(screen);  // again, once the box is gone
    g->setFocus();
    EXPECT_TRUE(screen.restoreDeleted->isEnabled());
    QTest::keyClick(g, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(g->gridModel()->rowCount(), 2);
    EXPECT_EQ(g->gridModel()->cellText(g->currentRecord(), 0), "003");  // back, and current
    EXPECT_EQ(g->gridModel()->cellText(g->currentRecord(), 2), "srv3:/datos");
    EXPECT_FALSE(screen.restoreDeleted->isEnabled());

    // On a row with a cached change the navigator's cancel and Ctrl+Z undo it.
    typeInto(g, rowOf(g, 0, "003"), 1, "Sur cambiado");
    EXPECT_TRUE(screen.DBNavigator1->nbCancel->isEnabled());
    QTest::keyClick(g, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(g->gridModel()->cellText(rowOf(g, 0, "003"), 1), "Sur");
    typeInto(g, rowOf(g, 0, "003"), 1, "Sur cambiado");
    screen.DBNavigator1->nbCancel->click();
    EXPECT_EQ(g->gridModel()->cellText(rowOf(g, 0, "003"), 1), "Sur");
    EXPECT_FALSE(screen.DBNavigator1->nbCancel->isEnabled());
    EXPECT_EQ(screen.CRepcomp.changeCount(), 1);

    driver.run([&] { screen.SpeedButton1->click(); });
    EXPECT_EQ(driver.messages.size(), 1u);
    EXPECT_FALSE(screen.isVisible());
    EXPECT_TRUE(errors.shown.empty());
    EXPECT_EQ(company.rows("SELECT RPCO_COD, RPCP_NOMBRE, RPCO_SERVIDOR FROM REPLICA_COMPANIA "
                           "ORDER BY RPCO_COD"),
              (std::vector<std::vector<Value>>{
                  {Value::text("002"), Value::text("Norte"), Value::text("nuevo:/srv")},
                  {Value::text("003"), Value::text("Sur"), Value::text("srv3:/datos")}}));
}

// "Grabar" and "Cancelar" are reached by Tab (past the grid's last cell, or Ctrl+Tab from
// any cell) and by their mnemonics, a cell editor open or not.
TEST(SettingsEditors, GrabarAndCancelarFromTheKeyboard) {
    CompanyDb company;
    {
        Tfrepcompania screen(company.QRepcomp);
        showActive(screen);
        ui::GridWidget* g = screen.Grid1;
        g->moveToCell(g->gridModel()->rowCount() - 1, 3);
        g->setFocus();
        QTest::keyClick(g, Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), screen.SpeedButton1);
        QTest::keyClick(screen.SpeedButton1, Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), screen.SpeedButton2);
        QTest::keyClick(screen.SpeedButton2, Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), g);
        g->moveToCell(0, 0);
        QTest::keyClick(g, Qt::Key_Tab, Qt::ControlModifier);
        EXPECT_EQ(QApplication::focusWidget(), screen.SpeedButton1);
        QTest::keyClick(screen.SpeedButton1, Qt::Key_Backtab, Qt::ShiftModifier);
        EXPECT_EQ(QApplication::focusWidget(), g);

        // Alt+G with text still in a cell editor: the text is saved with the rest.
        QLineEdit* editor = openEditor(g, rowOf(g, 0, "002"), 2);
        ASSERT_NE(editor, nullptr);
        QTest::keyClicks(editor, "por:/teclado");
        QSignalSpy grabar(screen.SpeedButton1, &QToolButton::clicked);
        QTest::keyClick(editor, Qt::Key_G, Qt::AltModifier);
        ASSERT_TRUE(grabar.wait());  // a mnemonic shows the button pressed, then clicks it
        EXPECT_FALSE(screen.isVisible());
    }
    EXPECT_EQ(
        company.rows(
            "SELECT COUNT(*) FROM REPLICA_COMPANIA WHERE RPCO_SERVIDOR = 'por:/teclado'")[0][0],
        Value::integer(1));
    {
        Tfrepdocs screen(company.QRepdocs, company.TTipodoc);
        showActive(screen);
        typeInto(screen.Grid1, 0, 1, "QQ");
        QSignalSpy cancelar(screen.SpeedButton2, &QToolButton::clicked);
        QTest::keyClick(screen.Grid1, Qt::Key_C, Qt::AltModifier);
        ASSERT_TRUE(cancelar.wait());
        EXPECT_FALSE(screen.isVisible());
    }
    EXPECT_EQ(
        company.rows("SELECT COUNT(*) FROM REPLICACION_CONFIGURA WHERE REPC_PREF = 'QQ'")[0][0],
        Value::integer(0));
}

TEST(SettingsEditors, RefusedChangesTextDescribesEachRow) {
    std::unique_ptr<data::Connection> DbCia = data::Connection::company("DbCia");
    data::Query QRepcomp(*DbCia, "SELECT * FROM REPLICA_COMPANIA");
    data::Provider PRepcomp("PRepcomp", QRepcomp, false);
    data::CachedResultSet list("CRepcomp", PRepcomp);
    list.loadRows(grid::repcompFields(), {});
    std::vector<grid::RefusedChange> refused(2);
    refused[0].kind = data::ukModify;
    refused[0].values = {Value::text("002"), Value::text("Norte"), Value::null(),
                         Value::null(),      Value::null(),        Value::text("x")};
    refused[0].error = "violation of CHECK constraint";
    refused[1].kind = data::ukDelete;
    refused[1].values = {Value::text("004"), Value::null(), Value::null(),
                         Value::null(),      Value::null(), Value::null()};
    refused[1].error = "lock conflict";
    EXPECT_EQ(
        ui::SettingsEditor::refusedChangesText(list, refused, {"RPCO_COD", "RPCP_NOMBRE"}),
        "La base de datos rechaz\xF3 estos cambios; no se grab\xF3 ning\xFAn cambio:\r\n"
        "\r\nModificado (C\xF3"
        "digo 002, Compa\xF1\xED"
        "a Norte):\r\n"
        "violation of CHECK constraint\r\n"
        "\r\nBorrado (C\xF3"
        "digo 004, Compa\xF1\xED"
        "a ):\r\nlock conflict\r\n"
        "\r\nLos cambios siguen pendientes: corr\xEDjalos o desh\xE1galos (Ctrl+Z: \"Deshacer "
        "cambio\" de la fila; Ctrl+May\xFAs+Z: \"Recuperar fila borrada\") y grabe de nuevo, "
        "o cancele.");
}

// "Tipo documento" is chosen from the drop-down of the types read when the screen opened;
// the code of the chosen type is stored.
TEST(SettingsEditors, DocumentTypeDropDownStoresTheCode) {
    CompanyDb company;
    Tfrepdocs screen(company.QRepdocs, company.TTipodoc);
    showActive(screen);
    company.db.exec(
        "INSERT INTO TIPO_DOCUMENTO (TIDO_COD, TIDO_NOMCORTO, TIDO_NOMLARGO) "
        "VALUES (999, 'LATE', 'Added after opening')");
    ui::GridWidget* g = screen.Grid1;
    const int zz = rowOf(g, 1, "ZZ");
    g->moveToCell(zz, 0);
    QTest::keyClick(g, Qt::Key_F2);
    auto* combo = g->viewport()->findChild<QComboBox*>();
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(QApplication::focusWidget(), combo);
    ASSERT_NE(combo, nullptr);
    ASSERT_EQ(combo->count(), 2);  // LATE came too late
    EXPECT_EQ(combo->itemText(0), "FACT");
    EXPECT_EQ(combo->itemText(1), "NCRED");
    EXPECT_EQ(combo->currentIndex(), -1);
    combo->setCurrentIndex(1);
    emit combo->activated(1);
    QCoreApplication::processEvents();
    EXPECT_EQ(g->gridModel()->cellText(zz, 0), "NCRED");
    screen.SpeedButton1->click();
    EXPECT_FALSE(screen.isVisible());
    EXPECT_EQ(
        company.rows("SELECT REPC_TIPO FROM REPLICACION_CONFIGURA WHERE REPC_PREF = 'ZZ'")[0][0],
        Value::integer(240));
}

// On a new row "Tipo documento" is chosen from the keyboard (Alt+Down, F4, typing) and
// with the mouse (the editor's arrow): the list opens over the row, which stays, and the
// choice stores the type's code.
TEST(SettingsEditors, DocumentTypeIsChosenOnANewRowByKeyboardAndMouse) {
    CompanyDb company;
    Tfrepdocs screen(company.QRepdocs, company.TTipodoc);
    showActive(screen);
    ui::GridWidget* g = screen.Grid1;
    const int before = g->gridModel()->rowCount();
    const auto comboOf = [&](int row) {
        return qobject_cast<QComboBox*>(g->indexWidget(cell(g, row, 0)));
    };
    // Opens the list its way on the new row's cell; false when it did not open.
    using Opener = std::function<void(int row)>;
    const struct {
        const char* way;
        Opener open;
    } ways[] = {
        {"Alt+Down", [&](int) { QTest::keyClick(g, Qt::Key_Down, Qt::AltModifier); }},
        {"F4", [&](int) { QTest::keyClick(g, Qt::Key_F4); }},
        {"the arrow",
         [&](int row) {
             QTest::keyClick(g, Qt::Key_F2);
             QComboBox* combo = comboOf(row);
             ASSERT_NE(combo, nullptr);
             QTest::mouseClick(combo, Qt::LeftButton, {},
                               QPoint(combo->width() - 6, combo->height() / 2));
         }},
    };
    for (const auto& w : ways) {
        SCOPED_TRACE(w.way);
        g->moveToCell(0, 0);
        QTest::keyClick(g, Qt::Key_Insert);
        const int row = g->currentRecord();
        ASSERT_EQ(screen.CRepConf.state(), data::DataSetState::Insert);
        g->moveToCell(row, 0);
        w.open(row);
        QCoreApplication::processEvents();
        QComboBox* combo = comboOf(row);
        ASSERT_NE(combo, nullptr);
        EXPECT_TRUE(combo->view()->isVisible()) << "the list is down";
        EXPECT_EQ(g->gridModel()->rowCount(), before + 1) << "the new row stays";
        EXPECT_EQ(screen.CRepConf.state(), data::DataSetState::Insert);
        // Down to the second type, Enter chooses it.
        QTest::keyClick(combo->view(), Qt::Key_Down);
        if (combo->view()->currentIndex().row() != 1)
            combo->view()->setCurrentIndex(combo->model()->index(1, 0));
        QTest::keyClick(combo->view(), Qt::Key_Return);
        QCoreApplication::processEvents();
        EXPECT_EQ(g->gridModel()->cellText(row, 0), "NCRED");
        EXPECT_EQ(screen.CRepConf.value("REPC_TIPO"), Value::integer(240));
        EXPECT_EQ(g->gridModel()->rowCount(), before + 1);
        QTest::keyClick(g, Qt::Key_Escape);  // the row goes
        QCoreApplication::processEvents();
        ASSERT_EQ(g->gridModel()->rowCount(), before);
    }

    // Typing the start of a name chooses that type at once; the row is kept and saved.
    g->moveToCell(0, 0);
    QTest::keyClick(g, Qt::Key_Insert);
    const int row = g->currentRecord();
    g->moveToCell(row, 0);
    QTest::keyClicks(g, QStringLiteral("n"));
    QCoreApplication::processEvents();
    EXPECT_EQ(g->gridModel()->cellText(row, 0), "NCRED");
    EXPECT_EQ(g->gridModel()->rowCount(), before + 1);
    typeInto(g, row, 1, QStringLiteral("NC"));
    typeInto(g, row, 3, QStringLiteral("002"));
    screen.SpeedButton1->click();
    EXPECT_FALSE(screen.isVisible());
    EXPECT_EQ(
        company.rows("SELECT REPC_TIPO FROM REPLICACION_CONFIGURA WHERE REPC_PREF = 'NC'")[0][0],
        Value::integer(240));
}

// From the main window: "Compañías" opens the editor modally; a destination's server is
// mended and the destination made active, saved, and the next send reaches it.
// "Conf. Documentos" opens its editor too.
TEST(SettingsEditors, MainWindowButtonsAndASendThatUsesTheChange) {
    UiWorld world;
    world.origin().exec(
        "INSERT INTO REPLICA_COMPANIA VALUES ('002', 'Destino', "
        "'localhost:/enviozvr-no-such-folder', 'N', 1, 'N')");
    world.addInvoiceEvent(1, "002", "1001");

    ui::Tfprincipalzvr w(std::vector<std::string>{});
    w.endProgram = [] {};
    w.data().loginAutomatic(world.server, world.user, world.password);
    w.setOriginServer(w.loginRecord().ServidorSesion);
    w.chooseCompany("001");

    ModalDriver driver;
    driver.expect([&](QWidget* modal) {
        auto* screen = qobject_cast<Tfrepcompania*>(modal);
        ASSERT_NE(screen, nullptr);
        typeInto(screen->Grid1, 0, 2, data::qstringFromWindows1252(world.server));
        clickCheckBox(screen->Grid1, 0, 3);
        screen->SpeedButton1->click();
    });
    driver.run([&] { w.PngSpeedButton2->click(); });
    EXPECT_EQ(driver.dialogs, 1);
    EXPECT_EQ(driver.unexpected, 0);
    EXPECT_TRUE(driver.messages.empty()) << driver.messages.front().toStdString();

    sendAndWait(driver, w, [&] { w.SpeedButton1->click(); });
    EXPECT_TRUE(world.sent(1));

    driver.expect([&](QWidget* modal) {
        auto* screen = qobject_cast<Tfrepdocs*>(modal);
        ASSERT_NE(screen, nullptr);
        EXPECT_EQ(screen->Grid1->gridModel()->rowCount(), 0);
        screen->SpeedButton2->click();
    });
    driver.run([&] { w.PngSpeedButton4->click(); });
    EXPECT_EQ(driver.dialogs, 2);
    EXPECT_EQ(driver.unexpected, 0);
}

}  // namespace
}  // namespace enviozvr::uitest
