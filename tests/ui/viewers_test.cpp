// The two event list viewers over a real company database on the local server: their
// lists, columns and the looked-up "Tipo doc", activation, the clipboard copy against the
// exporters byte for byte, the menu's focus checks, the save flow, and the main window's
// buttons that open them.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTextDocumentFragment>
#include <QToolButton>
#include <QToolTip>
#include <QTranslator>
#include <algorithm>
#include <functional>

#include "core/unhandled.h"
#include "data/codepage.h"
#include "grid/gridexport.h"
#include "sender/maindata.h"
#include "support/recordederrors.h"
#include "support/relay.h"
#include "ui/gridclipboard.h"
#include "ui/griddelegate.h"
#include "ui/gridfinddlg.h"
#include "ui/gridnavigator.h"
#include "ui/gridsortfilter.h"
#include "ui/gridwidget.h"
#include "ui/mensajesenvzvr.h"
#include "ui/messageboxes.h"
#include "ui/pendienteszvr.h"
#include "ui/principalzvr.h"
#include "ui/qttranslations.h"
#include "ui/screenlook.h"
#include "uitest.h"

namespace enviozvr::uitest {
namespace {

using grid::EventViewer;
using testing::RecordedErrors;
using ui::EventListViewer;

QString shortDate(int y, int m, int d) {
    return data::qstringFromWindows1252(data::shortDateText(data::Date::fromYmd(y, m, d)));
}
QString longTime(int h, int m, int s) {
    return data::qstringFromWindows1252(data::longTimeText(data::Time::fromHms(h, m, s)));
}

// A logged-in main data on company 001 of a UiWorld, with a queue of invoice events:
// errors 1 and 3 (3 of another destination), pending 2 and 4, sent 5, type 120 event 6.
class Viewers : public ::testing::Test {
  protected:
    void SetUp() override {
        data.loginAutomatic(world.server, world.user, world.password);
        data.selectCompany("001");
        world.origin().exec(std::vector<std::string>{
            "INSERT INTO TIPO_DOCUMENTO (TIDO_COD, TIDO_NOMCORTO, TIDO_NOMLARGO) VALUES (236, "
            "'FV', "
            "'Factura de venta')",
            "INSERT INTO TIPO_DOCUMENTO (TIDO_COD, TIDO_NOMCORTO, TIDO_NOMLARGO) VALUES (120, "
            "'PD', "
            "'Pedido')",
        });
        addEvent(4, "002", "NULL");
        addEvent(1, "002",
                 "'violation of FOREIGN KEY constraint \"FK_CLIENTE\" on table "
                 "\"FACTURAS_ZVR\"; Problematic key value is (\"FACT_CLIENTE\" = "
                 "''C9'')'");
        addEvent(2, "002", "NULL");
        addEvent(3, "003", "'Se presentó un error \"A\"; otro'");
        addEvent(5, "002", "NULL", "CURRENT_DATE");
        addEvent(6, "002", "NULL", "NULL", 120);
    }

    void addEvent(int id, const std::string& destination, const std::string& error,
                  const std::string& sentOn = "NULL", int type = 236) {
        const std::string n = std::to_string(id);
        world.origin().exec(
            "INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, RPEV_IDDOC, "
            "RPEV_PREF, "
            "RPEV_NUMERO, RPEV_CODIGO, RPEV_FECREG, RPEV_HORAREG, RPEV_FECREP, RPEV_OPER, "
            "RPEV_PREFDEST, RPEV_PTVT, RPEV_ERROR) VALUES (" +
            n + ", '" + destination + "', " + std::to_string(type) + ", " + n + ", 'FV', '00100" +
            n + "', 'C" + n + "', '2026-03-15', '08:30:0" + n + "', " + sentOn + ", 'I', 'FX', " +
            n + ", " + error + ")");
    }

    // A viewer on screen with its list read (the first activation has run).
    template <class Screen>
    std::unique_ptr<Screen> open() {
        auto screen = std::make_unique<Screen>(data);
        screen->SaveDialog1->setOption(QFileDialog::DontUseNativeDialog, true);
        screen->show();
        for (int i = 0; i < 3 && screen->listReads() == 0; ++i) QCoreApplication::processEvents();
        screen->Grid1->setFocus();
        return screen;
    }

    static QString cell(const EventListViewer& v, int row, int column) {
        return v.Grid1->model()->index(row, column).data().toString();
    }
    static std::vector<int> ids(const EventListViewer& v) {
        std::vector<int> out;
        const data::CachedResultSet& list = v.CErroresenv;
        for (int r = 0; r < list.recordCount(); ++r)
            out.push_back(
                static_cast<int>(list.valueAt(r, list.fieldByName("RPEV_ID")).asInteger()));
        return out;
    }
    static int currentId(const EventListViewer& v) {
        const data::CachedResultSet& list = v.CErroresenv;
        const int row = v.Grid1->currentRecord();
        if (row < 0 || row >= list.recordCount()) return -1;
        return static_cast<int>(list.valueAt(row, list.fieldByName("RPEV_ID")).asInteger());
    }
    static int rowOf(const EventListViewer& v, int id) {
        const std::vector<int> all = ids(v);
        const auto at = std::find(all.begin(), all.end(), id);
        return at == all.end() ? -1 : static_cast<int>(at - all.begin());
    }
    static std::string exported(grid::TGridExportClass format, grid::DataGrid& g) {
        grid::TMemoryStream out;
        grid::ExportGridToStream(format, g, out, false);
        return out.bytes();
    }

    RecordedErrors errors;
    UiWorld world;
    sender::MainData data;
};

TEST_F(Viewers, BothListTheirEventsWithTheirColumnsTitlesAndWidths) {
    // The viewers' column table (checked against its titles and widths in
    // tests/grid/eventviewers_test.cpp); the error viewer's holds all eleven.
    const auto columns = grid::eventViewerColumns(EventViewer::Errors);
    struct Case {
        EventViewer viewer;
        QString caption;
        QSize outer;
        int columns;
        std::vector<int> ids;
    };
    const Case cases[] = {
        {EventViewer::Errors, "Mensajes de error o advertencia del envio", {1052, 374}, 11, {1, 3}},
        {EventViewer::Pending, "Documentos pendientes por transmitir", {740, 374}, 10, {2, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption.toStdString());
        std::unique_ptr<EventListViewer> v =
            c.viewer == EventViewer::Errors
                ? std::unique_ptr<EventListViewer>(open<ui::Tfmensajesenvzvr>())
                : std::unique_ptr<EventListViewer>(open<ui::Tfpendienteszvr>());
        EXPECT_EQ(v->windowTitle(), c.caption);
        // As specified, or as much of it as the screen holds.
        EXPECT_EQ(v->size(), ui::clientSizeForOuter(c.outer).boundedTo(
                                 ui::clientSizeForOuter(v->screen()->availableGeometry().size())));
        EXPECT_EQ(v->CErroresenv.commandText(), grid::eventViewerQuery(c.viewer));
        std::vector<int> listed = ids(*v);
        if (c.viewer == EventViewer::Errors)
            std::sort(listed.begin(), listed.end());  // no ORDER BY
        EXPECT_EQ(listed, c.ids);
        EXPECT_TRUE(errors.shown.empty());

        ui::GridWidget& g = *v->Grid1;
        ASSERT_EQ(g.model()->columnCount(), c.columns);
        int others = 0;
        for (int i = 0; i < c.columns; ++i) {
            EXPECT_EQ(g.model()->headerData(i, Qt::Horizontal).toString(),
                      QString::fromLatin1(columns[i].title));
            EXPECT_EQ(g.dataGrid().column(i).Width, columns[i].width) << i;
            if (i == 10) {
                // The error text takes the width the others leave.
                EXPECT_EQ(g.columnWidth(i), g.viewport()->width() - others);
                EXPECT_GT(g.columnWidth(i), columns[i].width);
            } else {
                EXPECT_EQ(g.columnWidth(i), columns[i].width) << i;
            }
            others += g.columnWidth(i);
        }
        EXPECT_TRUE(g.titleHeader()->isVisible());
        EXPECT_TRUE(g.indicator()->isVisible());
        EXPECT_FALSE(g.editingEnabled());
        EXPECT_EQ(g.editTriggers(), QAbstractItemView::NoEditTriggers);
        EXPECT_FALSE(v->ckfiltro->isChecked());
        EXPECT_EQ(v->ckfiltro->text(), QStringLiteral("Activar &filtros"));
        EXPECT_EQ(v->PngSpeedButton1->text(), QStringLiteral("&Cerrar"));
        EXPECT_EQ(v->PngSpeedButton1->size(), QSize(60, 30));
        QStringList menu;
        for (QAction* a : v->PopupMenu1->actions()) menu << (a->isSeparator() ? "-" : a->text());
        EXPECT_EQ(menu, (QStringList{"&Copiar", "Se&lecccionar todo", "-", "&Guardar selección"}));

        const std::vector<int> rows = ids(*v);
        const int row =
            static_cast<int>(std::find(rows.begin(), rows.end(), c.ids[0]) - rows.begin());
        const QString n = QString::number(c.ids[0]);
        const QStringList shown = {"FV",
                                   "FV",
                                   "00100" + n,
                                   "C" + n,
                                   "002",
                                   shortDate(2026, 3, 15),
                                   longTime(8, 30, c.ids[0]),
                                   "I",
                                   "FX",
                                   n};
        for (int i = 0; i < shown.size(); ++i) EXPECT_EQ(cell(*v, row, i), shown[i]) << i;
        if (c.viewer == EventViewer::Errors) {
            EXPECT_TRUE(cell(*v, row, 10).startsWith("violation of FOREIGN KEY"));
        }
    }
}

TEST_F(Viewers, AnUnknownTypeShowsNoTipoDocAndAnEmptyQueueGivesAnEmptyGrid) {
    world.origin().exec("DELETE FROM TIPO_DOCUMENTO WHERE TIDO_COD = 236");
    auto v = open<ui::Tfpendienteszvr>();
    ASSERT_EQ(v->Grid1->model()->rowCount(), 2);
    EXPECT_EQ(cell(*v, 0, 0), QString());
    EXPECT_EQ(cell(*v, 0, 1), QStringLiteral("FV"));

    world.origin().exec("DELETE FROM REPLICA_EVENTOS");
    v->DBNavigator1->nbRefresh->click();  // refresh re-reads with the same query
    EXPECT_EQ(v->Grid1->model()->rowCount(), 0);
    EXPECT_EQ(v->CErroresenv.commandText(), grid::eventViewerQuery(EventViewer::Pending));
    // Select all is refused; a copy places the (empty) focused cell.
    v->ppmSelectAll->trigger();
    EXPECT_EQ(v->Grid1->dataGrid().Selection().SelectionType(), grid::gstNon);
    QApplication::clipboard()->setText(QStringLiteral("antes"));
    v->ppmCopy->trigger();
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    EXPECT_EQ(mime->text(), QString());
    EXPECT_EQ(mime->data(ui::kMimeCsv), QByteArray("\"\""));
    EXPECT_TRUE(errors.shown.empty());
}

// Shows a message box over the screen and closes it; the screen then becomes the active
// window again, as the window manager makes it (the offscreen platform does not).
void closeMessageOver(EventListViewer& v, ModalDriver& driver) {
    driver.run([&] {
        ui::showMessageBox(QStringLiteral("Aviso"));
        v.activateWindow();
        for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
        v.activateWindow();  // after a message shown by the screen itself
        for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
    });
}

TEST_F(Viewers, ActivationReadsTheListAgainAfterAWindowOfTheProgramClosedOverIt) {
    auto v = open<ui::Tfpendienteszvr>();
    v->activateWindow();
    QCoreApplication::processEvents();
    ASSERT_EQ(v->listReads(), 1);
    EXPECT_EQ(ids(*v), (std::vector<int>{2, 4}));

    // A timed send marks event 2 sent while the screen is open; a message closes over it.
    world.origin().exec("UPDATE REPLICA_EVENTOS SET RPEV_FECREP = CURRENT_DATE WHERE RPEV_ID = 2");
    ModalDriver driver;
    closeMessageOver(*v, driver);
    EXPECT_EQ(driver.messages.size(), 1u);
    EXPECT_EQ(v->listReads(), 2);
    EXPECT_EQ(ids(*v), (std::vector<int>{4}));

    // A menu that opens and closes, or the screen activated again, reads nothing.
    v->PopupMenu1->popup(v->mapToGlobal(QPoint(20, 40)));
    QCoreApplication::processEvents();
    v->PopupMenu1->close();
    v->activateWindow();
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    EXPECT_EQ(v->listReads(), 2);

    // A failed read is reported once: its own message box does not start another read
    // when it closes. The screen stays open with the rows it had, and says so.
    core::installUnhandledErrorHandler(nullptr, &ui::desktopErrorDisplay());
    data.DbCia.disconnect();
    data.DbCia.setDatabase(world.dir.path() + "/datos/999/nivora.fdb");
    ModalDriver boxes;
    closeMessageOver(*v, boxes);
    ASSERT_EQ(boxes.messages.size(), 2u);
    EXPECT_NE(boxes.messages[1].indexOf("999"), -1);
    EXPECT_EQ(v->listReads(), 3);
    EXPECT_TRUE(v->isVisible());
    EXPECT_EQ(ids(*v), (std::vector<int>{4}));
    EXPECT_EQ(v->lbFilas->text(), EventListViewer::unreadListText(1));
}

TEST_F(Viewers, CopyPlacesTheExportersDocumentsOfTheSelection) {
    auto v = open<ui::Tfmensajesenvzvr>();
    ui::GridWidget& w = *v->Grid1;
    grid::DataGrid& g = w.dataGrid();
    const auto expectPayload = [&](const char* what) {
        SCOPED_TRACE(what);
        const QMimeData* mime = QApplication::clipboard()->mimeData();
        ASSERT_NE(mime, nullptr);
        const std::string unicode =
            exported(&grid::makeGridExport<grid::TGridExportAsUnicodeText>, g);
        EXPECT_EQ(mime->text(),
                  QString::fromUtf16(reinterpret_cast<const char16_t*>(unicode.data()),
                                     static_cast<qsizetype>(unicode.size() / 2)));
        EXPECT_EQ(mime->data(ui::kMimeCsv).toStdString(),
                  exported(&grid::makeGridExport<grid::TGridExportAsCSV>, g));
        const std::string rtf = exported(&grid::makeGridExport<grid::TGridExportAsRTF>, g);
        EXPECT_EQ(mime->data(ui::kMimeRtf).toStdString(), rtf);
        EXPECT_EQ(mime->data(ui::kMimeRtfApplication).toStdString(), rtf);
        EXPECT_EQ(mime->data(ui::kMimeDBCells).toStdString(),
                  exported(&grid::makeGridExport<grid::TGridExportAsDBCells>, g));
        // The plain text is the Text document in Unicode.
        EXPECT_EQ(data::windows1252FromQString(mime->text()),
                  exported(&grid::makeGridExport<grid::TGridExportAsText>, g));
    };

    // Nothing selected: the focused cell.
    w.moveToCell(1, 3);
    QTest::keyClick(&w, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), cell(*v, 1, 3));
    expectPayload("focused cell");

    // Select all (Ctrl+A) and Ctrl+Insert: titles and every record, in display order.
    QTest::keyClick(&w, Qt::Key_A, Qt::ControlModifier);
    ASSERT_EQ(g.Selection().SelectionType(), grid::gstAll);
    QTest::keyClick(&w, Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_TRUE(QApplication::clipboard()->text().startsWith("Tipo doc\tPref\tNúmero"));
    EXPECT_EQ(QApplication::clipboard()->text().count("\r\n"), 2);
    expectPayload("select all");
    EXPECT_EQ(g.Selection().SelectionType(), grid::gstAll);  // a copy leaves it
    EXPECT_EQ(w.currentIndex(), w.model()->index(1, 3));

    // Two columns chosen by their titles, copied from the menu.
    ui::GridHeader* h = w.titleHeader();
    for (int column : {4, 2}) {
        const QPoint p(h->sectionViewportPosition(column) + 5, h->titleHeight() - 2);
        QTest::mouseClick(h->viewport(), Qt::LeftButton,
                          column == 4 ? Qt::KeyboardModifiers() : Qt::ControlModifier, p);
    }
    ASSERT_EQ(g.Selection().SelectionType(), grid::gstColumns);
    v->ppmCopy->trigger();
    EXPECT_TRUE(
        QApplication::clipboard()->text().startsWith(QStringLiteral("Número\tServidor\r\n")));
    expectPayload("two columns");
    EXPECT_TRUE(errors.shown.empty());
}

TEST_F(Viewers, MenuItemsDoNothingWhenTheFocusIsOnTheCheckBox) {
    auto v = open<ui::Tfmensajesenvzvr>();
    v->ckfiltro->setFocus();
    ASSERT_EQ(v->focusWidget(), v->ckfiltro);
    QApplication::clipboard()->setText(QStringLiteral("antes"));
    ModalDriver driver;
    driver.run([&] {
        v->ppmCopy->trigger();
        v->ppmSelectAll->trigger();
        v->ppmSaveSelection->trigger();
    });
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("antes"));
    EXPECT_EQ(v->Grid1->dataGrid().Selection().SelectionType(), grid::gstNon);
    EXPECT_EQ(driver.dialogs, 0);
    // The file name is set before the check.
    EXPECT_TRUE(v->SaveDialog1->selectedFiles().value(0).endsWith("Erroresreplica"));

    // "Activar filtros" is the filter row's switch.
    QTest::mouseClick(v->ckfiltro, Qt::LeftButton);
    EXPECT_TRUE(v->Grid1->filterRowVisible());
}

// Answers the save dialog with a file name in `folder` and a filter index (1-based).
ModalDriver::Handler saveAs(const QString& folder, const QString& name, int filterIndex,
                            QString* offeredName = nullptr, int* offeredFilter = nullptr) {
    return [=](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        if (offeredName) *offeredName = QFileInfo(dialog->selectedFiles().value(0)).fileName();
        if (offeredFilter)
            *offeredFilter =
                static_cast<int>(dialog->nameFilters().indexOf(dialog->selectedNameFilter())) + 1;
        dialog->setDirectory(folder);
        dialog->selectNameFilter(dialog->nameFilters().at(filterIndex - 1));
        // Typed into the name box, as the user does.
        auto* nameBox = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(nameBox, nullptr);
        nameBox->setText(name);
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog's own accept
        // The screen keeps its dialog: let the driver answer it again next time.
        dialog->setProperty("answeredByDriver", false);
    };
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

TEST_F(Viewers, SaveFlowNamesAndFormats) {
    auto v = open<ui::Tfpendienteszvr>();
    grid::DataGrid& g = v->Grid1->dataGrid();
    v->Grid1->selectAll();
    testing::TempDir folder;
    const QString dir = QString::fromStdString(folder.path());
    const char* extensions[] = {"txt", "csv", "htm", "rtf", "xls"};
    // The name typed and the name written, for the chosen extension.
    struct Case {
        std::function<QString(const QString& ext)> typed;
        std::function<QString(const QString& ext)> saved;
    };
    const Case names[] = {
        {[](const QString&) { return QStringLiteral("abc"); },
         [](const QString& e) { return "abc." + e; }},
        {[](const QString& e) { return "abc." + e.toUpper(); },
         [](const QString& e) { return "abc." + e.toUpper(); }},
        {[](const QString&) { return QStringLiteral("abc.txt"); },
         [](const QString& e) { return e == "txt" ? QStringLiteral("abc.txt") : "abc.txt." + e; }},
        {[](const QString& e) { return "my" + e; },
         [](const QString& e) { return "my" + e + "." + e; }},
    };
    int previousFilter = 1;
    for (int index = 1; index <= 5; ++index) {
        const QString ext = QString::fromLatin1(extensions[index - 1]);
        const std::string expected =
            exported(grid::exportFormatForFilterIndex(index)->exportClass, g);
        for (const Case& c : names) {
            const QString typed = c.typed(ext);
            const QString saved = c.saved(ext);
            SCOPED_TRACE((typed + " -> " + saved).toStdString());
            QString offered;
            int offeredFilter = 0;
            ModalDriver driver;
            driver.expect(saveAs(dir, typed, index, &offered, &offeredFilter));
            driver.run([&] { v->ppmSaveSelection->trigger(); });
            EXPECT_EQ(driver.dialogs, 1);
            EXPECT_EQ(offered, QStringLiteral("Pendientesreplica"));
            EXPECT_EQ(offeredFilter, previousFilter);  // the last choice is kept
            previousFilter = index;
            EXPECT_EQ(readFile(dir + "/" + saved).toStdString(), expected);
            QFile::remove(dir + "/" + saved);
        }
    }
    EXPECT_EQ(QDir(dir).entryList(QDir::Files), QStringList());
    EXPECT_TRUE(errors.shown.empty());
}

// A save onto an existing file asks first: "No" goes back to the dialog and leaves the
// file as it was, "Yes" replaces it; a new name asks nothing.
TEST_F(Viewers, SavingOverAFileAsksFirstAndAFailedSaveLeavesNoFile) {
    auto v = open<ui::Tfmensajesenvzvr>();
    v->Grid1->selectAll();
    testing::TempDir folder;
    const QString dir = QString::fromStdString(folder.path());
    const QByteArray old(100000, 'x');
    {
        QFile file(dir + "/lista.csv");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(old);
    }
    const std::string csv =
        exported(&grid::makeGridExport<grid::TGridExportAsCSV>, v->Grid1->dataGrid());
    const QString question = EventListViewer::replaceQuestionText(dir + "/lista.csv");
    EXPECT_TRUE(question.contains(QStringLiteral("lista.csv")));

    // "No", then the dialog again, cancelled: nothing written.
    ModalDriver driver;
    driver.answers = {QMessageBox::No};
    driver.expect(saveAs(dir, "lista", 2));
    driver.expect([](QWidget* modal) {
        qobject_cast<QDialog*>(modal)->reject();
        modal->setProperty("answeredByDriver", false);
    });
    driver.run([&] { v->ppmSaveSelection->trigger(); });
    EXPECT_EQ(driver.messages, std::vector<QString>{question});
    EXPECT_EQ(driver.dialogs, 2);
    EXPECT_EQ(readFile(dir + "/lista.csv"), old);

    // "No", then another name in the dialog: that one is written, the first is kept.
    driver = ModalDriver();
    driver.answers = {QMessageBox::No};
    driver.expect(saveAs(dir, "lista.csv", 2));
    driver.expect(saveAs(dir, "otra", 2));
    driver.run([&] { v->ppmSaveSelection->trigger(); });
    EXPECT_EQ(driver.messages.size(), 1u);
    EXPECT_EQ(readFile(dir + "/lista.csv"), old);
    EXPECT_EQ(readFile(dir + "/otra.csv").toStdString(), csv);

    // "Yes" replaces it.
    driver = ModalDriver();
    driver.answers = {QMessageBox::Yes};
    driver.expect(saveAs(dir, "lista.csv", 2));
    driver.run([&] { v->ppmSaveSelection->trigger(); });
    EXPECT_EQ(driver.messages, std::vector<QString>{question});
    EXPECT_EQ(readFile(dir + "/lista.csv").toStdString(), csv);

    // A name under a plain file cannot be created: the failure reaches the unhandled-error
    // handler and nothing is left under that name.
    driver.expect(saveAs(dir, "lista.csv/nueva", 1));
    driver.run([&] { v->ppmSaveSelection->trigger(); });
    ASSERT_EQ(errors.shown.size(), 1u);
    EXPECT_NE(errors.shown[0].find("Cannot create file"), std::string::npos);
    EXPECT_EQ(QDir(dir).entryList(QDir::Files), (QStringList{"lista.csv", "otra.csv"}));
    EXPECT_TRUE(v->isVisible());
}

TEST(ViewerButtons, MainWindowOpensEachViewerModallyAndItStillOpensWithoutACompany) {
    ui::Tfprincipalzvr w({});  // not shown: no login screen
    struct Case {
        QToolButton* button;
        const char* className;
    };
    const Case cases[] = {{w.PngSpeedButton1, "enviozvr::ui::Tfmensajesenvzvr"},
                          {w.PngSpeedButton3, "enviozvr::ui::Tfpendienteszvr"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.className);
        ModalDriver driver;
        QString opened;
        int rows = -1;
        driver.expect([&](QWidget* modal) {
            opened = QString::fromLatin1(modal->metaObject()->className());
            auto* screen = qobject_cast<EventListViewer*>(modal);
            ASSERT_NE(screen, nullptr);
            EXPECT_EQ(screen->parentWidget(), &w);
            // Its first read runs from the event loop; wait for it, then close.
            QTimer* poll = new QTimer(screen);
            QObject::connect(poll, &QTimer::timeout, screen, [&, screen, poll] {
                if (screen->listReads() == 0) return;
                poll->stop();
                rows = screen->Grid1->model()->rowCount();
                screen->PngSpeedButton1->click();
            });
            poll->start(0);
        });
        driver.run([&] { c.button->click(); });
        EXPECT_EQ(opened, QString::fromLatin1(c.className));
        EXPECT_EQ(driver.unexpected, 0);
        // No company chosen yet: the connection fails, is reported, and the list is empty.
        ASSERT_EQ(driver.messages.size(), 1u);
        EXPECT_EQ(rows, 0);
    }
}

TEST_F(Viewers, TitlesSortAndTheFilterRowFiltersTheErrorList) {
    auto v = open<ui::Tfmensajesenvzvr>();
    ASSERT_EQ(ids(*v), (std::vector<int>{1, 3}));
    ui::GridHeader* titles = v->Grid1->titleHeader();
    const QPoint servidor(titles->sectionViewportPosition(4) + 20, 3);
    QTest::mouseClick(titles->viewport(), Qt::LeftButton, {}, servidor);
    QTest::mouseClick(titles->viewport(), Qt::LeftButton, {}, servidor);
    EXPECT_EQ(ids(*v), (std::vector<int>{3, 1}));
    EXPECT_EQ(titles->sortMarkers().size(), 1u);

    v->ckfiltro->click();
    ASSERT_TRUE(v->Grid1->filterRowVisible());
    ui::FilterCell* cell = v->sortFilter->cell(4);
    ASSERT_NE(cell, nullptr);
    EXPECT_TRUE(cell->isVisible());
    cell->setFocus();
    QTest::keyClicks(cell, QStringLiteral("002"));
    QTest::keyClick(cell, Qt::Key_Return);
    EXPECT_EQ(ids(*v), (std::vector<int>{1}));

    // Another activation reads the list the same way; "(Clear filter)" lists every row,
    // still in the title order.
    v->FormActivate();
    EXPECT_EQ(ids(*v), (std::vector<int>{1}));
    v->sortFilter->runDropDownItem(4, grid::FilterDropDownItem::ClearFilter);
    EXPECT_EQ(cell->text(), QString());
    EXPECT_EQ(ids(*v), (std::vector<int>{3, 1}));
    EXPECT_TRUE(errors.shown.empty());
}

// Esc ends an incremental search and otherwise does what it does in the grid: the screen
// stays open with its sort, its filter texts and its position; "Cerrar" closes it.
TEST_F(Viewers, EscNeverClosesTheViewer) {
    addEvent(7, "002", "NULL");
    auto v = open<ui::Tfpendienteszvr>();
    v->activateWindow();
    QCoreApplication::processEvents();
    ui::GridHeader* titles = v->Grid1->titleHeader();
    QTest::mouseClick(titles->viewport(), Qt::LeftButton, {},
                      QPoint(titles->sectionViewportPosition(3) + 20, 3));
    QTest::mouseClick(titles->viewport(), Qt::LeftButton, {},
                      QPoint(titles->sectionViewportPosition(3) + 20, 3));
    ASSERT_EQ(ids(*v), (std::vector<int>{7, 4, 2}));
    v->ckfiltro->click();
    ui::FilterCell* servidor = v->sortFilter->cell(4);
    servidor->setFocus();
    QTest::keyClicks(servidor, QStringLiteral("002"));
    v->Grid1->setFocus();
    v->Grid1->moveToCell(1, 3);

    struct Step {
        const char* what;
        std::function<void()> keys;
    } steps[] = {
        {"Esc in the grid", [&] { QTest::keyClick(v->Grid1, Qt::Key_Escape); }},
        {"Esc during an incremental search",
         [&] {
             QTest::keyClick(v->Grid1, Qt::Key_F, Qt::ControlModifier);
             QTest::keyClicks(v->Grid1, QStringLiteral("c4"));
             QTest::keyClick(v->Grid1, Qt::Key_Escape);
         }},
        {"Esc in a filter cell",
         [&] {
             servidor->setFocus();
             QTest::keyClick(servidor, Qt::Key_Escape);
             v->Grid1->setFocus();
         }},
        {"Esc on the check box",
         [&] {
             v->ckfiltro->setFocus();
             QTest::keyClick(v->ckfiltro, Qt::Key_Escape);
             v->Grid1->setFocus();
         }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.keys();
        QCoreApplication::processEvents();
        EXPECT_TRUE(v->isVisible());
        EXPECT_EQ(v->result(), 0);
        EXPECT_EQ(ids(*v), (std::vector<int>{7, 4, 2}));
        EXPECT_EQ(currentId(*v), 4);
        EXPECT_EQ(servidor->text(), QStringLiteral("002"));
        EXPECT_EQ(titles->sortMarkers().size(), 1u);
    }
    QTest::mouseClick(v->PngSpeedButton1, Qt::LeftButton);
    EXPECT_FALSE(v->isVisible());
    EXPECT_TRUE(errors.shown.empty());
}

// Without a mouse (and without a window manager's frame): Alt+F switches the filter row,
// Tab and Ctrl+Tab go round the switch, the grid and "Cerrar", and Space or Alt+C on
// "Cerrar" closes the viewer.
TEST_F(Viewers, FilterSwitchAndCerrarAreReachedFromTheKeyboard) {
    struct Case {
        const char* what;
        std::function<void(EventListViewer&)> close;
    };
    const Case cases[] = {
        {"Alt+C", [](EventListViewer& v) { pressMnemonic(&v, Qt::Key_C, v.PngSpeedButton1); }},
        {"Tab to Cerrar, then Space",
         [](EventListViewer& v) {
             v.Grid1->setFocus();
             QTest::keyClick(v.Grid1, Qt::Key_Tab, Qt::ControlModifier);
             ASSERT_EQ(QApplication::focusWidget(), v.PngSpeedButton1);
             QTest::keyClick(v.PngSpeedButton1, Qt::Key_Space);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto v = open<ui::Tfpendienteszvr>();
        v->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(v.get()));

        // Round the screen: the switch, the grid, "Cerrar", and the switch again.
        v->ckfiltro->setFocus();
        QTest::keyClick(v->ckfiltro, Qt::Key_Tab);
        EXPECT_TRUE(v->Grid1->isAncestorOf(QApplication::focusWidget()) ||
                    QApplication::focusWidget() == v->Grid1);
        v->PngSpeedButton1->setFocus();
        QTest::keyClick(v->PngSpeedButton1, Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), v->ckfiltro)
            << QApplication::focusWidget()->objectName().toStdString();

        pressMnemonic(v.get(), Qt::Key_F, v->ckfiltro);
        EXPECT_TRUE(v->ckfiltro->isChecked());
        EXPECT_TRUE(v->Grid1->filterRowVisible());
        pressMnemonic(v.get(), Qt::Key_F, v->ckfiltro);
        EXPECT_FALSE(v->Grid1->filterRowVisible());

        c.close(*v);
        EXPECT_FALSE(v->isVisible());
    }
    EXPECT_TRUE(errors.shown.empty());
}

// After every read of the list (another window closed over the screen, the find dialog,
// the navigator's refresh) the grid stands on the event it stood on, by RPEV_ID, with its
// sort; an event no longer listed puts it on the first row.
TEST_F(Viewers, AReadOfTheListKeepsTheCurrentEvent) {
    for (int id : {7, 8, 9}) addEvent(id, "002", "NULL");
    auto v = open<ui::Tfpendienteszvr>();
    v->activateWindow();
    QCoreApplication::processEvents();
    ui::GridHeader* titles = v->Grid1->titleHeader();
    const QPoint codigo(titles->sectionViewportPosition(3) + 20, 3);
    QTest::mouseClick(titles->viewport(), Qt::LeftButton, {}, codigo);
    QTest::mouseClick(titles->viewport(), Qt::LeftButton, {}, codigo);
    ASSERT_EQ(ids(*v), (std::vector<int>{9, 8, 7, 4, 2}));
    v->Grid1->moveToCell(rowOf(*v, 8), 3);

    // A message closes over the screen.
    ModalDriver driver;
    closeMessageOver(*v, driver);
    EXPECT_EQ(v->listReads(), 2);
    EXPECT_EQ(currentId(*v), 8);

    // A row found with "Find text" stays current once the dialog closes.
    ModalDriver finder;
    finder.expect([](QWidget* modal) {
        auto* d = qobject_cast<ui::TGridFindDlg*>(modal);
        ASSERT_NE(d, nullptr);
        // The dialog lives for the program: its choices may come from an earlier search.
        d->cbFindIn->setCurrentIndex(d->cbFindIn->count() - 1);
        d->cbMatchinType->setCurrentIndex(0);
        d->cbFindDirection->setCurrentIndex(2);
        d->cbCharCase->setChecked(false);
        d->cbText->setEditText(QStringLiteral("C2"));
        QTest::mouseClick(d->bFind, Qt::LeftButton);
        QTest::mouseClick(d->bCancel, Qt::LeftButton);
    });
    finder.run([&] {
        QTest::keyClick(v->Grid1, Qt::Key_F, Qt::ControlModifier);
        QTest::keyClick(v->Grid1, Qt::Key_F, Qt::ControlModifier);
        v->activateWindow();
        for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
    });
    EXPECT_EQ(finder.dialogs, 1);
    EXPECT_EQ(v->listReads(), 3);
    EXPECT_EQ(currentId(*v), 2);

    // The navigator's refresh: an event listed meanwhile shifts the rows, the grid stays on
    // its event.
    world.origin().exec(
        "INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, RPEV_PREF, "
        "RPEV_NUMERO, RPEV_CODIGO, RPEV_OPER) VALUES (10, '002', 236, 'FV', '001010', 'C95', "
        "'I')");
    QTest::mouseClick(v->DBNavigator1->nbRefresh, Qt::LeftButton);
    EXPECT_EQ(ids(*v), (std::vector<int>{10, 9, 8, 7, 4, 2}));
    EXPECT_EQ(currentId(*v), 2);

    // The event sent meanwhile: the first row.
    world.origin().exec("UPDATE REPLICA_EVENTOS SET RPEV_FECREP = CURRENT_DATE WHERE RPEV_ID = 2");
    closeMessageOver(*v, driver);
    EXPECT_EQ(ids(*v), (std::vector<int>{10, 9, 8, 7, 4}));
    EXPECT_EQ(v->Grid1->currentRecord(), 0);
    EXPECT_TRUE(errors.shown.empty());
}

// What a filter cell shows is what filters: a rejected text leaves the cell and its
// condition as they were, and Enter stores, parses and applies whatever the cell holds.
TEST_F(Viewers, AFilterCellShowsTheConditionThatFilters) {
    auto v = open<ui::Tfpendienteszvr>();
    v->ckfiltro->click();
    ui::FilterCell* codigo = v->sortFilter->cell(3);
    ui::FilterCell* servidor = v->sortFilter->cell(4);
    const auto type = [&](ui::FilterCell* cell, const QString& text) {
        cell->setFocus();
        cell->selectAll();
        QTest::keyClicks(cell, text);
        QTest::keyClick(cell, Qt::Key_Return);
    };
    type(codigo, QStringLiteral("C2"));
    EXPECT_EQ(ids(*v), (std::vector<int>{2}));
    type(codigo, QStringLiteral("'x"));
    ASSERT_EQ(errors.shown.size(), 1u);
    EXPECT_NE(errors.shown[0].find("Quote is absent: 'x"), std::string::npos) << errors.shown[0];
    EXPECT_EQ(codigo->text(), QStringLiteral("C2"));
    type(servidor, QStringLiteral("002"));
    EXPECT_EQ(ids(*v), (std::vector<int>{2})) << "the condition the cell shows still filters";

    world.origin().exec("UPDATE REPLICA_EVENTOS SET RPEV_CODIGO = 'C2' WHERE RPEV_ID = 4");
    type(codigo, QStringLiteral("C2"));
    EXPECT_EQ(ids(*v), (std::vector<int>{2, 4})) << "Enter on the same text applies it again";
    EXPECT_EQ(errors.shown.size(), 1u);
}

// The save dialog lists the files of the chosen format whatever the case of their
// extension (X.TXT, y.txt, z.Txt), and no others.
TEST_F(Viewers, SaveDialogListsExtensionsInEitherCase) {
    auto v = open<ui::Tfpendienteszvr>();
    testing::TempDir folder;
    const QString dir = QString::fromStdString(folder.path());
    for (const char* name : {"X.TXT", "y.txt", "z.Txt", "w.CSV", "u.csv", "t.xls", "s.XLS"}) {
        QFile f(dir + "/" + QString::fromLatin1(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QFileDialog* dialog = v->SaveDialog1;
    auto* model = dialog->findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    QSignalSpy loaded(model, &QFileSystemModel::directoryLoaded);
    dialog->show();
    dialog->setDirectory(dir);
    const QString canonical = QDir(dir).canonicalPath();
    const auto loadedDir = [&] {
        for (const QList<QVariant>& args : loaded)
            if (QDir(args.value(0).toString()).canonicalPath() == canonical) return true;
        return false;
    };
    while (!loadedDir()) ASSERT_TRUE(loaded.wait());
    auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
    ASSERT_NE(view, nullptr);
    const auto listed = [&] {
        QStringList names;
        const QModelIndex root = view->rootIndex();
        for (int r = 0; r < view->model()->rowCount(root); ++r) {
            const QModelIndex index = view->model()->index(r, 0, root);
            if (view->model()->flags(index) & Qt::ItemIsEnabled) names << index.data().toString();
        }
        names.sort(Qt::CaseInsensitive);
        return names.join(' ');
    };
    const struct {
        int filterIndex;
        const char* files;
    } cases[] = {{1, "X.TXT y.txt z.Txt"}, {2, "u.csv w.CSV"}, {5, "s.XLS t.xls"}, {3, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.filterIndex);
        dialog->selectNameFilter(dialog->nameFilters().at(c.filterIndex - 1));
        QCoreApplication::processEvents();
        EXPECT_EQ(listed(), QString::fromLatin1(c.files));
    }
    dialog->reject();

    // The patterns themselves name both cases, for a dialog that compares names exactly.
    const char* extensions[] = {"txt", "csv", "htm", "rtf", "xls"};
    for (int i = 0; i < 5; ++i) {
        const QString filter = dialog->nameFilters().at(i);
        const QString inside = filter.section(QLatin1Char('('), 1).chopped(1);
        for (const QString& name :
             {QStringLiteral("a.") + extensions[i],
              QStringLiteral("A.") + QString::fromLatin1(extensions[i]).toUpper()}) {
            bool matched = false;
            for (const QString& pattern : inside.split(QLatin1Char(' '), Qt::SkipEmptyParts))
                matched = matched || QRegularExpression(
                                         QRegularExpression::wildcardToRegularExpression(pattern))
                                         .match(name)
                                         .hasMatch();
            EXPECT_TRUE(matched) << filter.toStdString() << " " << name.toStdString();
        }
    }
}

// Under a Spanish locale the save dialog (and every standard dialog of Qt) speaks
// Spanish once Qt's translations are installed, as the desktop program does at start.
TEST_F(Viewers, StandardDialogsSpeakTheWorkstationsLanguage) {
    QTranslator* translator = ui::installQtTranslations(QLocale(QStringLiteral("es_CO")));
    ASSERT_NE(translator, nullptr) << "no qtbase_es translations (scripts/setup installs them)";
    auto v = open<ui::Tfpendienteszvr>();
    QFileDialog* dialog = v->SaveDialog1;
    dialog->show();
    auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    ASSERT_NE(buttons, nullptr);
    QStringList texts;
    for (QAbstractButton* b : buttons->buttons()) texts << b->text().remove(QLatin1Char('&'));
    texts.sort();
    dialog->reject();
    QCoreApplication::removeTranslator(translator);
    delete translator;
    EXPECT_EQ(texts.join(QLatin1Char('|')), QStringLiteral("Cancelar|Guardar"));
}

// Tab goes round the save dialog's stops, and each one looks different while it has the
// focus: the user sees where Tab went.
TEST_F(Viewers, EveryStopOfTheSaveDialogShowsItsFocus) {
    auto v = open<ui::Tfpendienteszvr>();
    QFileDialog* dialog = v->SaveDialog1;
    dialog->show();
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
    auto* nameBox = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(nameBox, nullptr);
    QApplication::setActiveWindow(dialog);
    nameBox->setFocus(Qt::TabFocusReason);
    std::vector<QWidget*> stops;
    std::vector<QImage> focused;
    for (int i = 0; i < 40; ++i) {
        QWidget* w = QApplication::focusWidget();
        ASSERT_NE(w, nullptr);
        ASSERT_EQ(w->window(), dialog) << w->objectName().toStdString();
        if (std::find(stops.begin(), stops.end(), w) != stops.end()) break;
        stops.push_back(w);
        QCoreApplication::processEvents();
        focused.push_back(w->grab().toImage());
        QTest::keyClick(w, Qt::Key_Tab);
    }
    ASSERT_GE(stops.size(), 5u);
    for (std::size_t i = 0; i < stops.size(); ++i) {
        stops[(i + 1) % stops.size()]->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents();
        EXPECT_NE(stops[i]->grab().toImage(), focused[i])
            << "no visible focus on " << stops[i]->objectName().toStdString() << " ("
            << stops[i]->metaObject()->className() << ")";
    }
    dialog->reject();
}

// A cell too narrow for its text (the error column at its narrowest, 64 pixels, in a
// narrow window) shows the whole text in a tip, and so does a cut title; a cell or title
// that shows everything has none.
TEST_F(Viewers, ACutCellOrTitleShowsItsWholeTextInATip) {
    auto v = open<ui::Tfmensajesenvzvr>();
    v->resize(600, 374);
    QCoreApplication::processEvents();
    ui::GridWidget& g = *v->Grid1;
    ASSERT_EQ(g.columnWidth(10), 64);
    const auto tipAt = [](QWidget* w, QPoint pos) {
        QToolTip::hideText();
        QHelpEvent help(QEvent::ToolTip, pos, w->mapToGlobal(pos));
        QApplication::sendEvent(w, &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    // A tip that is hidden goes away a little later: the cases showing none come first.
    ui::GridHeader* titles = g.titleHeader();
    const auto titleTip = [&](int column) {
        return tipAt(titles->viewport(), QPoint(titles->sectionViewportPosition(column) + 5, 3));
    };
    const int row = rowOf(*v, 1);
    const auto cellTip = [&](int column) {
        const QString tip =
            tipAt(g.viewport(), g.visualRect(g.model()->index(row, column)).center());
        return QTextDocumentFragment::fromHtml(tip).toPlainText();
    };
    EXPECT_EQ(titleTip(4), QString());
    EXPECT_EQ(cellTip(4), QString());
    EXPECT_EQ(cellTip(9), QString());
    EXPECT_EQ(titleTip(10), QStringLiteral("Mensaje de error"));
    EXPECT_TRUE(cell(*v, row, 10).startsWith("violation of FOREIGN KEY"));
    EXPECT_EQ(cellTip(10), cell(*v, row, 10));
    QToolTip::hideText();
}

// Under the grid the screen tells how many rows it shows and whether a filter holds some
// back, also once the filter row is hidden.
TEST_F(Viewers, TheRowCountAndAnAppliedFilterShowUnderTheGrid) {
    addEvent(7, "003", "NULL");
    auto v = open<ui::Tfpendienteszvr>();
    EXPECT_TRUE(v->lbFilas->isVisible());
    EXPECT_EQ(v->lbFilas->text(), QStringLiteral("3 filas"));
    v->ckfiltro->click();
    const auto type = [&](int column, const QString& text) {
        ui::FilterCell* cell = v->sortFilter->cell(column);
        cell->setFocus();
        cell->selectAll();
        QTest::keyClicks(cell, text);
        QTest::keyClick(cell, Qt::Key_Return);
    };
    type(4, QStringLiteral("002"));
    EXPECT_EQ(v->lbFilas->text(), QStringLiteral("2 filas (filtro activo)"));
    type(3, QStringLiteral("C2"));
    EXPECT_EQ(v->lbFilas->text(), QStringLiteral("1 fila (filtro activo)"));
    v->ckfiltro->click();
    ASSERT_FALSE(v->Grid1->filterRowVisible());
    EXPECT_EQ(v->lbFilas->text(), QStringLiteral("1 fila (filtro activo)"));
    v->FormActivate();
    EXPECT_EQ(v->lbFilas->text(), QStringLiteral("1 fila (filtro activo)"));
    v->sortFilter->runDropDownItem(3, grid::FilterDropDownItem::ClearFilter);
    v->sortFilter->runDropDownItem(4, grid::FilterDropDownItem::ClearFilter);
    EXPECT_EQ(v->lbFilas->text(), QStringLiteral("3 filas"));
    EXPECT_EQ(EventListViewer::rowCountText(0, false), QStringLiteral("0 filas"));
    EXPECT_TRUE(errors.shown.empty());
}

// Numbers are shown at the right of their cells, texts at the left; titles stay as they
// are.
TEST_F(Viewers, NumbersLineUpAtTheRight) {
    auto v = open<ui::Tfpendienteszvr>();
    ui::GridWidget& g = *v->Grid1;
    const int ptvt = 9;
    for (int i = 0; i < g.model()->columnCount(); ++i) {
        const auto alignment =
            g.model()->index(0, i).data(Qt::TextAlignmentRole).value<Qt::Alignment>();
        EXPECT_EQ(alignment & Qt::AlignHorizontal_Mask, i == ptvt ? Qt::AlignRight : Qt::AlignLeft)
            << i;
        const auto title =
            g.model()->headerData(i, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>();
        EXPECT_EQ(title & Qt::AlignHorizontal_Mask, Qt::AlignLeft) << i;
    }
    // On screen: the digit of a row that is not the current one is in the right half.
    const QImage shot = g.viewport()->grab().toImage();
    const QRect r = g.visualRect(g.model()->index(1, ptvt));
    int left = 0;
    int right = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left() + 1; x < r.right(); ++x)
            if (qGray(shot.pixel(x, y)) < 100) ++(x < r.center().x() ? left : right);
    EXPECT_EQ(left, 0);
    EXPECT_GT(right, 0);
}

// A sort marker never covers or cuts a title: in a wide column it goes beside the title,
// in a narrow one ("Op", "PtVt") above it; the title's own pixels stay as they were.
TEST_F(Viewers, SortMarkersLeaveNarrowTitlesWhole) {
    auto v = open<ui::Tfpendienteszvr>();
    ui::GridHeader* titles = v->Grid1->titleHeader();
    const auto shot = [&] { return titles->viewport()->grab().toImage(); };
    const QImage plain = shot();
    // Where the marker goes: 0 beside the title, 1 above it, -1 either.
    const struct {
        int column;
        int above;
    } cases[] = {{4, 0}, {1, -1}, {7, 1}, {9, 1}};
    for (const auto& c : cases) {
        for (const bool ascending : {true, false}) {
            for (const int rank : {0, 2}) {
                SCOPED_TRACE(::testing::Message()
                             << c.column << (ascending ? " up " : " down ") << rank);
                titles->setSortMarkers({{c.column, ascending, rank}});
                const QImage marked = shot();
                const QRect title(titles->sectionViewportPosition(c.column), 0,
                                  titles->sectionSize(c.column), titles->titleHeight());
                if (c.above >= 0)
                    EXPECT_EQ(titles->titleLayout(c.column, title).markerAbove, c.above == 1);
                int changed = 0;
                int captionLost = 0;
                for (int y = title.top(); y <= title.bottom(); ++y) {
                    for (int x = title.left(); x <= title.right(); ++x) {
                        if (plain.pixel(x, y) == marked.pixel(x, y)) continue;
                        ++changed;
                        if (qGray(plain.pixel(x, y)) < 160) ++captionLost;
                    }
                }
                EXPECT_GT(changed, 0) << "the marker shows";
                EXPECT_EQ(captionLost, 0) << "no pixel of the title is covered or cut";
            }
        }
    }
    titles->setSortMarkers({});
}

// The link to the company database goes down while a viewer is open (the relay in front of
// the server goes away, and so do the connections it carried): refresh says the list could
// not be read, in one message, and keeps the rows on view and itself usable. Once the link
// is back, refresh connects again and reads the list as it is now.
TEST_F(Viewers, ALostLinkKeepsTheRowsAndRefreshConnectsAgain) {
    auto relay = std::make_unique<testing::FreezableRelay>();
    const int port = relay->port();
    sender::MainData linked;
    linked.loginAutomatic(relay->serverText() + world.dir.path(), world.user, world.password);
    linked.selectCompany("001");
    auto v = std::make_unique<ui::Tfmensajesenvzvr>(linked);
    v->show();
    for (int i = 0; i < 3 && v->listReads() == 0; ++i) QCoreApplication::processEvents();
    ASSERT_EQ(ids(*v), (std::vector<int>{1, 3}));
    v->Grid1->moveToRecord(1);

    relay.reset();  // the link is gone, and nothing answers on its port
    QTest::mouseClick(v->DBNavigator1->nbRefresh, Qt::LeftButton);
    EXPECT_EQ(errors.shown.size(), 1u);
    EXPECT_TRUE(v->listUnread());
    EXPECT_EQ(ids(*v), (std::vector<int>{1, 3}));
    EXPECT_EQ(currentId(*v), 3);
    EXPECT_EQ(v->Grid1->model()->rowCount(), 2);
    EXPECT_EQ(v->lbFilas->text(), EventListViewer::unreadListText(2));
    EXPECT_FALSE(v->lbFilas->toolTip().isEmpty());  // the reason
    EXPECT_TRUE(v->DBNavigator1->nbRefresh->isEnabled());

    // Still down: another refresh fails the same way, one message, the rows stay.
    QTest::mouseClick(v->DBNavigator1->nbRefresh, Qt::LeftButton);
    EXPECT_EQ(errors.shown.size(), 2u);
    EXPECT_EQ(ids(*v), (std::vector<int>{1, 3}));

    relay = std::make_unique<testing::FreezableRelay>(0, port);
    addEvent(7, "002", "'otro error'");
    QTest::mouseClick(v->DBNavigator1->nbRefresh, Qt::LeftButton);
    EXPECT_EQ(errors.shown.size(), 2u);
    EXPECT_FALSE(v->listUnread());
    EXPECT_EQ(ids(*v), (std::vector<int>{1, 3, 7}));
    EXPECT_EQ(currentId(*v), 3);
    EXPECT_EQ(v->lbFilas->text(), EventListViewer::rowCountText(3, false));
    EXPECT_TRUE(v->lbFilas->toolTip().isEmpty());
    v.reset();
}

// A viewer opened while the link is down: its first read fails and leaves nothing open,
// and "Actualizar" still reads again once the link is back.
TEST_F(Viewers, AViewerWhoseFirstReadFailedCanTryAgain) {
    auto relay = std::make_unique<testing::FreezableRelay>();
    const int port = relay->port();
    sender::MainData linked;
    linked.loginAutomatic(relay->serverText() + world.dir.path(), world.user, world.password);
    linked.selectCompany("001");
    relay.reset();
    auto v = std::make_unique<ui::Tfmensajesenvzvr>(linked);
    v->show();
    for (int i = 0; i < 3 && v->listReads() == 0; ++i) QCoreApplication::processEvents();
    EXPECT_EQ(errors.shown.size(), 1u);
    EXPECT_TRUE(v->listUnread());
    EXPECT_EQ(v->Grid1->model()->rowCount(), 0);
    EXPECT_FALSE(v->DBNavigator1->nbNext->isEnabled());
    EXPECT_TRUE(v->DBNavigator1->nbRefresh->isEnabled());

    relay = std::make_unique<testing::FreezableRelay>(0, port);
    QTest::mouseClick(v->DBNavigator1->nbRefresh, Qt::LeftButton);
    EXPECT_EQ(errors.shown.size(), 1u);
    EXPECT_FALSE(v->listUnread());
    EXPECT_EQ(ids(*v), (std::vector<int>{1, 3}));
    EXPECT_TRUE(v->DBNavigator1->nbNext->isEnabled());
    v.reset();
}

// "Mensajes error": the error text, the last column, takes the width the other columns
// leave, as the window grows and shrinks, and never less than its own width, which the
// exporters keep reading. The pending list's last column keeps its width.
TEST_F(Viewers, TheErrorTextColumnTakesTheWidthLeft) {
    auto v = open<ui::Tfmensajesenvzvr>();
    const grid::DataGrid& g = v->Grid1->dataGrid();
    QHeaderView* titles = v->Grid1->horizontalHeader();
    const int last = g.columnCount() - 1;
    ASSERT_EQ(g.column(last).FieldName(), "RPEV_ERROR");
    const auto othersWidth = [&] {
        int sum = 0;
        for (int c = 0; c < last; ++c) sum += titles->sectionSize(c);
        return sum;
    };
    for (const int width : {1400, 1052, 900, 500}) {
        SCOPED_TRACE(width);
        v->resize(width, 374);
        QCoreApplication::processEvents();
        const int left = v->Grid1->viewport()->width() - othersWidth();
        EXPECT_EQ(titles->sectionSize(last), std::max(64, left));
        EXPECT_EQ(g.column(last).Width, 64);
    }
    v->resize(1400, 374);
    QCoreApplication::processEvents();
    EXPECT_GT(titles->sectionSize(last), 600);
    // The error cell is wide enough now for the text the narrow column cut.
    const QModelIndex error = v->Grid1->model()->index(0, last);
    EXPECT_LT(v->Grid1->fontMetrics().horizontalAdvance(error.data().toString()),
              titles->sectionSize(last));

    auto p = open<ui::Tfpendienteszvr>();
    p->resize(1400, 374);
    QCoreApplication::processEvents();
    const int pendingLast = p->Grid1->dataGrid().columnCount() - 1;
    EXPECT_EQ(p->Grid1->horizontalHeader()->sectionSize(pendingLast),
              p->Grid1->dataGrid().column(pendingLast).Width);
}

// After a save the line under the grid names the file written and its rows; the list is
// not read again, so the selection saved stays selected.
TEST_F(Viewers, ASaveSaysTheFileWrittenAndKeepsTheSelection) {
    addEvent(8, "002", "'tercero'");
    auto v = open<ui::Tfmensajesenvzvr>();
    ASSERT_EQ(ids(*v), (std::vector<int>{1, 3, 8}));
    grid::DataGrid& g = v->Grid1->dataGrid();
    std::vector<data::CachedResultSet::Bookmark> rows;
    for (const int row : {0, 2}) {
        v->CErroresenv.moveTo(row);
        rows.push_back(v->CErroresenv.bookmark());
    }
    g.Selection().selectRows(rows);
    ASSERT_EQ(g.Selection().SelectionType(), grid::gstRecordBookmarks);
    const std::string expected = exported(&grid::makeGridExport<grid::TGridExportAsCSV>, g);
    const int reads = v->listReads();
    testing::TempDir folder;
    const QString dir = QString::fromStdString(folder.path());
    ModalDriver driver;
    driver.expect(saveAs(dir, "lista", 2));
    driver.run([&] {
        v->ppmSaveSelection->trigger();
        v->activateWindow();
        for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
    });
    EXPECT_EQ(readFile(dir + "/lista.csv").toStdString(), expected);
    EXPECT_EQ(v->lbFilas->text(), QStringLiteral("Se guard\u00f3 lista.csv (2 filas)"));
    EXPECT_EQ(v->lbFilas->toolTip(), QDir::toNativeSeparators(dir + "/lista.csv"));
    EXPECT_EQ(v->listReads(), reads);
    EXPECT_EQ(g.Selection().SelectionType(), grid::gstRecordBookmarks);
    EXPECT_EQ(exported(&grid::makeGridExport<grid::TGridExportAsCSV>, g), expected);
    EXPECT_TRUE(errors.shown.empty());
}

// Made as small as the window manager lets it, a viewer still shows its row count whole,
// the navigator's buttons and "Cerrar".
TEST_F(Viewers, TheSmallestWindowKeepsRowCountNavigatorAndCerrar) {
    for (const bool errorsList : {true, false}) {
        SCOPED_TRACE(errorsList);
        std::unique_ptr<EventListViewer> v;
        if (errorsList)
            v = open<ui::Tfmensajesenvzvr>();
        else
            v = open<ui::Tfpendienteszvr>();
        v->resize(1, 1);
        QCoreApplication::processEvents();
        const QRect window = v->rect();
        const auto whole = [&](QWidget* w) {
            const QRect r(w->mapTo(v.get(), QPoint(0, 0)), w->size());
            EXPECT_TRUE(window.contains(r)) << w->objectName().toStdString();
            EXPECT_TRUE(w->isVisible()) << w->objectName().toStdString();
            EXPECT_GE(w->width(), 1) << w->objectName().toStdString();
        };
        whole(v->lbFilas);
        EXPECT_GE(v->lbFilas->width(),
                  v->lbFilas->fontMetrics().horizontalAdvance(v->lbFilas->text()));
        whole(v->PngSpeedButton1);
        EXPECT_EQ(v->PngSpeedButton1->width(), 60);
        ui::GridNavigator* nav = v->DBNavigator1;
        for (QToolButton* b :
             {nav->nbFirst, nav->nbPrior, nav->nbNext, nav->nbLast, nav->nbRefresh}) {
            whole(b);
            EXPECT_GE(b->width(), ui::GridNavigator::kButtonWidth);
        }
        // The grid keeps room for its titles and a row.
        EXPECT_GE(v->Grid1->viewport()->height(), v->Grid1->rowHeight());
    }
}

// Run with the workstation in Colombian Spanish (ctest runs them so as
// ViewersInColombianSpanish; elsewhere they skip): times show as "3:03:39 p. m.".
class ColombianViewers : public Viewers {
  protected:
    void SetUp() override {
        if (QLocale::system().name() != QStringLiteral("es_CO"))
            GTEST_SKIP() << "needs LC_ALL=es_CO.UTF-8";
        Viewers::SetUp();
        world.origin().exec(std::vector<std::string>{
            "UPDATE REPLICA_EVENTOS SET RPEV_HORAREG = '15:03:39' WHERE RPEV_ID = 1",
            "UPDATE REPLICA_EVENTOS SET RPEV_HORAREG = '03:03:39' WHERE RPEV_ID = 3"});
    }
};

// "Hora" shows the whole long time, so morning and afternoon differ on screen, and a time
// typed into its filter cell as the grid shows it (or with a plain blank, in capitals)
// filters the list.
TEST_F(ColombianViewers, TimesShowWholeAndFilterAsShown) {
    auto v = open<ui::Tfmensajesenvzvr>();
    ui::GridWidget& g = *v->Grid1;
    const int hora = 6;
    ASSERT_EQ(g.model()->headerData(hora, Qt::Horizontal).toString(), QStringLiteral("Hora"));
    const QString afternoon = longTime(15, 3, 39);
    EXPECT_TRUE(afternoon.contains(QStringLiteral("m."), Qt::CaseInsensitive))
        << afternoon.toStdString();
    EXPECT_EQ(cell(*v, rowOf(*v, 1), hora), afternoon);
    EXPECT_EQ(cell(*v, rowOf(*v, 3), hora), longTime(3, 3, 39));
    // Every time of the day fits its cell: none is elided.
    const QFontMetrics metrics = g.fontMetrics();
    const int margin = g.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &g) + 1;
    for (int h = 0; h < 24; ++h) {
        const QString text = longTime(h, 58, 58);
        EXPECT_LE(metrics.horizontalAdvance(text) + 2 * margin, g.columnWidth(hora))
            << text.toStdString();
    }
    const QModelIndex shown = g.model()->index(rowOf(*v, 1), hora);
    QStyleOptionViewItem option;
    option.initFrom(g.viewport());
    option.widget = &g;
    option.rect = g.visualRect(shown);
    auto* delegate = dynamic_cast<ui::GridDelegate*>(g.itemDelegate());
    ASSERT_NE(delegate, nullptr);
    EXPECT_FALSE(delegate->textCut(option, shown)) << "the afternoon time is cut";

    v->ckfiltro->click();
    ui::FilterCell* filter = v->sortFilter->cell(hora);
    ASSERT_NE(filter, nullptr);
    const struct {
        QString typed;
        std::vector<int> ids;
    } cases[] = {
        {afternoon, {1}},
        {QStringLiteral("3:03:39 p. m."), {1}},
        {QStringLiteral("=3:03:39 P. M."), {1}},
        {QStringLiteral("<3:03:39 p. m."), {3}},
        {QStringLiteral("3:03:39 a. m."), {3}},
        {QStringLiteral("15:03:39"), {1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        filter->setFocus();
        filter->selectAll();
        QTest::keyClicks(filter, c.typed);
        QTest::keyClick(filter, Qt::Key_Return);
        EXPECT_EQ(ids(*v), c.ids);
    }
    EXPECT_TRUE(errors.shown.empty());
}

}  // namespace
}  // namespace enviozvr::uitest
