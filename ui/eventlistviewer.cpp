#include "ui/eventlistviewer.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

#include "core/unhandled.h"
#include "data/codepage.h"
#include "grid/gridexport.h"
#include "sender/maindata.h"
#include "ui/gridclipboard.h"
#include "ui/gridnavigator.h"
#include "ui/gridsortfilter.h"
#include "ui/gridwidget.h"
#include "ui/guide.h"
#include "ui/pictures.h"
#include "ui/screenlook.h"

namespace enviozvr::ui {

namespace {

constexpr int kFilterBarHeight = 19;
constexpr int kNavigatorHeight = 18;
constexpr int kBottomBarHeight = 32;

// The save dialog's filters: one per file format, in the table's order.
const QStringList& saveFilters() {
    static const QStringList filters = [] {
        QStringList out;
        for (const grid::GridExportFormat& format : grid::gridExportFormats())
            out << QString::fromStdString(grid::exportFormatFilter(format));
        return out;
    }();
    return filters;
}

// The format of the filter the dialog has selected; null for none.
const grid::GridExportFormat* selectedFormat(const QFileDialog& dialog) {
    return grid::exportFormatForFilter(dialog.selectedNameFilter().toStdString());
}

}  // namespace

QString withExtension(const QString& name, const QString& extension) {
    const QString suffix = QLatin1Char('.') + extension;
    return name.endsWith(suffix, Qt::CaseInsensitive) ? name : name + suffix;
}

EventListViewer::EventListViewer(grid::EventViewer viewer, sender::MainData& data, QWidget* parent)
    : QDialog(parent),
      PErroresenv("PErroresenv", data.QErroresenv, true),
      CErroresenv("CErroresenv", PErroresenv),
      PTipodoc("PTipodoc", data.TTipodoc, false),
      CTipodoc("CTipodoc", PTipodoc),
      viewer_(viewer) {
    grid::declareEventListFields(CErroresenv);
    buildControls();
    grid::setUpEventGrid(Grid1->dataGrid(), viewer_, &CErroresenv, &CTipodoc);
    fitTimeColumn();
    Grid1->setLastColumnFills(viewer_ == grid::EventViewer::Errors);
    Grid1->reload();

    // Another window of the program taking the focus covers the screen; the list is read
    // again when the screen becomes active after it. Menus and tips do not count.
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* window) {
        if (!window || !isVisible() || activating_ || ownDialog_ || window == windowHandle())
            return;
        if (window->type() == Qt::Popup || window->type() == Qt::ToolTip) return;
        covered_ = true;
    });
}

EventListViewer::~EventListViewer() = default;

void EventListViewer::buildControls() {
    const bool errors = viewer_ == grid::EventViewer::Errors;
    setObjectName(errors ? QStringLiteral("fmensajesenvzvr") : QStringLiteral("fpendienteszvr"));
    setWindowTitle(errors ? QStringLiteral("Mensajes de error o advertencia del envio")
                          : QStringLiteral("Documentos pendientes por transmitir"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setFont(msSansSerif8());
    setSizeGripEnabled(false);
    resize(clientSizeForOuter(QSize(errors ? 1052 : 740, 374)));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    PanelFiltro = new QWidget(this);
    PanelFiltro->setObjectName(QStringLiteral("PanelFiltro"));
    PanelFiltro->setFixedHeight(kFilterBarHeight);
    ckfiltro = new QCheckBox(QStringLiteral("Activar &filtros"), PanelFiltro);
    ckfiltro->setObjectName(QStringLiteral("ckfiltro"));
    ckfiltro->setGeometry(488, 1, 97, 17);
    layout->addWidget(PanelFiltro);

    Grid1 = new GridWidget(this);
    Grid1->setObjectName(QStringLiteral("Grid1"));
    // Ctrl+F searches the focused column and, pressed again, opens "Find text"; typing alone
    // does not search.
    Grid1->GridOptions = gopIncSearch | gopDialogFind;
    Grid1->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(Grid1, 1);
    sortFilter = new GridSortFilter(*Grid1);
    sortFilter->reread = [this] { FormActivate(); };
    // Refresh reads as an activation does: a failure shows its one message, and closing
    // that message does not count as a window that covered the screen.
    Grid1->refreshHandler = [this] { activate(); };

    DBNavigator1 = new GridNavigator(this);
    DBNavigator1->setFixedHeight(kNavigatorHeight);
    // First, prior, next, last and refresh stay whole however small the window is made.
    DBNavigator1->setMinimumWidth(5 * GridNavigator::kButtonWidth);
    DBNavigator1->setGrid(Grid1);
    layout->addWidget(DBNavigator1);
    installGuideKey(this);

    PanelBotones = new QWidget(this);
    PanelBotones->setObjectName(QStringLiteral("PanelBotones"));
    PanelBotones->setFixedHeight(kBottomBarHeight);
    auto* buttons = new QHBoxLayout(PanelBotones);
    buttons->setContentsMargins(6, 1, 2, 1);
    lbFilas = new QLabel(PanelBotones);
    lbFilas->setObjectName(QStringLiteral("lbFilas"));
    // The window does not get narrower than a row count with a filter needs.
    lbFilas->setMinimumWidth(lbFilas->fontMetrics().horizontalAdvance(rowCountText(999999, true)));
    buttons->addWidget(lbFilas);
    buttons->addStretch(1);
    PngSpeedButton1 = new QToolButton(PanelBotones);
    PngSpeedButton1->setObjectName(QStringLiteral("PngSpeedButton1"));
    PngSpeedButton1->setText(QStringLiteral("&Cerrar"));
    PngSpeedButton1->setIcon(pictures::cancel());
    PngSpeedButton1->setIconSize(QSize(16, 16));
    PngSpeedButton1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    PngSpeedButton1->setFocusPolicy(Qt::TabFocus);
    PngSpeedButton1->setFixedSize(60, 30);
    buttons->addWidget(PngSpeedButton1);
    layout->addWidget(PanelBotones);
    // Never wider or taller than the screen: "Cerrar" and the navigator stay in reach.
    keepInsideScreen(this);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    ppmCopy = PopupMenu1->addAction(QStringLiteral("&Copiar"));
    ppmCopy->setObjectName(QStringLiteral("ppmCopy"));
    ppmSelectAll = PopupMenu1->addAction(QStringLiteral("Se&lecccionar todo"));
    ppmSelectAll->setObjectName(QStringLiteral("ppmSelectAll"));
    N1 = PopupMenu1->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    ppmSaveSelection = PopupMenu1->addAction(QStringLiteral("&Guardar selección"));
    ppmSaveSelection->setObjectName(QStringLiteral("ppmSaveSelection"));

    SaveDialog1 = new QFileDialog(this);
    SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
    SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog1->setFileMode(QFileDialog::AnyFile);
    SaveDialog1->setOption(QFileDialog::DontConfirmOverwrite, true);
    // Every stop that Tab reaches in Qt's own dialog shows it has the focus: its tool
    // buttons and its lists draw nothing of their own for it.
    SaveDialog1->setStyleSheet(
        QStringLiteral("QToolButton:focus, QAbstractItemView:focus, QListView:focus, "
                       "QTreeView:focus { border: 1px solid palette(highlight); }"));
    SaveDialog1->setNameFilters(saveFilters());
    SaveDialog1->selectNameFilter(saveFilters().first());

    // Tab (Ctrl+Tab from the grid) goes round the switch, the grid and "Cerrar"; Alt+F and
    // Alt+C reach the switch and "Cerrar" from anywhere.
    setTabOrder(ckfiltro, Grid1);
    setTabOrder(Grid1, PngSpeedButton1);
    Grid1->setFocus();

    const auto guarded = [this](void (EventListViewer::*handler)()) {
        return [this, handler] { core::runGuarded([&] { (this->*handler)(); }); };
    };
    connect(Grid1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu1->popup(Grid1->viewport()->mapToGlobal(pos)); });
    connect(ppmCopy, &QAction::triggered, this, guarded(&EventListViewer::ppmCopyClick));
    connect(ppmSelectAll, &QAction::triggered, this, guarded(&EventListViewer::ppmSelectAllClick));
    connect(ppmSaveSelection, &QAction::triggered, this,
            guarded(&EventListViewer::ppmSaveSelectionClick));
    connect(ckfiltro, &QCheckBox::clicked, this, guarded(&EventListViewer::ckfiltroClick));
    connect(Grid1, &GridWidget::reloaded, this, &EventListViewer::showRowCount);
    connect(PngSpeedButton1, &QToolButton::clicked, this,
            guarded(&EventListViewer::PngSpeedButton1Click));
}

void EventListViewer::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    // The first activation runs from the event loop, once the screen is on view.
    QMetaObject::invokeMethod(
        this, [this] { activate(); }, Qt::QueuedConnection);
}

bool EventListViewer::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && covered_ && !activating_) {
        covered_ = false;
        QMetaObject::invokeMethod(
            this, [this] { activate(); }, Qt::QueuedConnection);
    }
    return QDialog::event(event);
}

void EventListViewer::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void EventListViewer::activate() {
    activating_ = true;
    core::runGuarded([this] { FormActivate(); });
    ++listReads_;
    activating_ = false;
    covered_ = false;
}

void EventListViewer::FormActivate() {
    std::optional<int64_t> current;
    if (CErroresenv.active() && CErroresenv.recNo() >= 0 &&
        CErroresenv.recNo() < CErroresenv.recordCount()) {
        const data::Value id =
            CErroresenv.valueAt(CErroresenv.recNo(), CErroresenv.fieldByName("RPEV_ID"));
        if (!id.isNull()) current = id.asInteger();
    }
    const std::string query = grid::eventViewerQuery(viewer_);
    try {
        // A list already read is read again in place: the rows it holds go only once the
        // new ones are in, so a read that fails (a lost link) leaves them on view.
        if (CErroresenv.active() && CErroresenv.commandText() == query) {
            CErroresenv.refresh();
        } else {
            CErroresenv.close();
            CErroresenv.setCommandText(query);
            CErroresenv.open();
        }
        if (!CTipodoc.active()) CTipodoc.open();
        returnToEvent(current);
    } catch (const std::exception& error) {
        listUnread_ = true;
        lbFilas->setToolTip(data::qstringFromWindows1252(error.what()));
        Grid1->reload();
        throw;
    } catch (...) {
        listUnread_ = true;
        lbFilas->setToolTip({});
        Grid1->reload();
        throw;
    }
    listUnread_ = false;
    lbFilas->setToolTip({});
    Grid1->reload();
}

void EventListViewer::returnToEvent(std::optional<int64_t> id) {
    if (CErroresenv.isEmpty()) return;
    if (id) {
        const int field = CErroresenv.fieldByName("RPEV_ID");
        for (int row = 0; row < CErroresenv.recordCount(); ++row) {
            const data::Value v = CErroresenv.valueAt(row, field);
            if (!v.isNull() && v.asInteger() == *id) {
                CErroresenv.moveTo(row);
                return;
            }
        }
    }
    CErroresenv.first();
}

QString EventListViewer::rowCountText(int rows, bool filtered) {
    QString text = rows == 1 ? QStringLiteral("1 fila")
                             : QStringLiteral("%1 filas").arg(QLocale().toString(rows));
    if (filtered) text += QStringLiteral(" (filtro activo)");
    return text;
}

QString EventListViewer::unreadListText(int rows) {
    if (rows == 0) return QStringLiteral("No se pudo leer la lista");
    return QStringLiteral("No se pudo leer la lista; se muestran ") +
           (rows == 1 ? QStringLiteral("la fila")
                      : QStringLiteral("las ") + rowCountText(rows, false)) +
           QStringLiteral(" de la lectura anterior");
}

QString EventListViewer::savedFileText(const QString& fileName, int64_t rows) {
    const QString count = rows == 1 ? QStringLiteral("1 fila")
                                    : QStringLiteral("%1 filas").arg(QLocale().toString(rows));
    return QStringLiteral("Se guardó %1 (%2)").arg(QFileInfo(fileName).fileName(), count);
}

void EventListViewer::showRowCount() {
    const int rows = Grid1->gridModel()->rowCount();
    lbFilas->setText(listUnread_
                         ? unreadListText(rows)
                         : rowCountText(rows, CErroresenv.active() && CErroresenv.hasRowFilter()));
}

void EventListViewer::fitTimeColumn() {
    grid::DataGrid& g = Grid1->dataGrid();
    for (int i = 0; i < g.columnCount(); ++i) {
        grid::TGridColumn& column = g.column(i);
        if (column.FieldName() != "RPEV_HORAREG") continue;
        // The widest of the times the format writes: every hour, with wide and narrow
        // digits (a 12-hour clock with its morning and afternoon texts, a 24-hour one).
        const QFontMetrics metrics = Grid1->fontMetrics();
        int widest = 0;
        for (int hour = 0; hour < 24; ++hour) {
            for (const int minute : {0, 38, 48, 58}) {
                const std::string text =
                    data::longTimeText(data::Time::fromHms(hour, minute, minute));
                widest =
                    std::max(widest, metrics.horizontalAdvance(data::qstringFromWindows1252(text)));
            }
        }
        // The cell keeps a margin on either side of its text before it elides (as the
        // grid's tips measure it), and the grid line takes a pixel.
        const int margin =
            Grid1->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, Grid1) + 1;
        column.Width = std::max(column.Width, widest + 2 * margin + 1);
    }
}

void EventListViewer::ckfiltroClick() { Grid1->setFilterRowVisible(ckfiltro->isChecked()); }

void EventListViewer::ppmCopyClick() {
    if (Grid1->isWindowFocus()) Grid1->copySelection();
}

void EventListViewer::ppmSelectAllClick() {
    if (Grid1->isWindowFocus()) Grid1->selectAll();
}

int EventListViewer::saveFilterIndex() const {
    const grid::GridExportFormat* format = selectedFormat(*SaveDialog1);
    return format ? format->filterIndex : 0;
}

bool EventListViewer::confirmReplace(const QString& fileName) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Guardar selección"),
                    replaceQuestionText(fileName), QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    box.exec();
    return box.clickedButton() == box.button(QMessageBox::Yes);
}

QString EventListViewer::replaceQuestionText(const QString& fileName) {
    return QStringLiteral("El archivo %1 ya existe.\n¿Desea reemplazarlo?")
        .arg(QDir::toNativeSeparators(fileName));
}

void EventListViewer::ppmSaveSelectionClick() {
    SaveDialog1->selectFile(data::qstringFromWindows1252(grid::eventViewerFileName(viewer_)));
    if (!Grid1->isWindowFocus()) return;
    // The dialog is the screen's own: closing it does not read the list again, which
    // would lose the selection just saved.
    ownDialog_ = true;
    const grid::GridExportFormat* format = nullptr;
    QString name;
    // The extension is added after the dialog, so the dialog cannot know the name that
    // will be written: the question about an existing file is asked here. "No" goes back
    // to the dialog on the same name.
    for (;;) {
        const int answer = SaveDialog1->exec();
        format = selectedFormat(*SaveDialog1);
        const QStringList files = SaveDialog1->selectedFiles();
        if (answer != QDialog::Accepted || !format || files.isEmpty()) {
            name.clear();
            break;
        }
        name = withExtension(files.first(), QString::fromLatin1(format->extension));
        if (!QFileInfo::exists(name) || confirmReplace(name)) break;
        SaveDialog1->selectFile(name);
    }
    ownDialog_ = false;
    covered_ = false;
    if (name.isEmpty()) return;
    const int64_t rows =
        grid::ExportGridToFile(format->exportClass, Grid1->dataGrid(), name, false);
    lbFilas->setText(savedFileText(name, rows));
    lbFilas->setToolTip(QDir::toNativeSeparators(QFileInfo(name).absoluteFilePath()));
}

void EventListViewer::PngSpeedButton1Click() { close(); }

}  // namespace enviozvr::ui
