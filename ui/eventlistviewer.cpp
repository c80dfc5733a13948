#include "ui/eventlistviewer.h"

#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

#include "core/unhandled.h"
#include "data/codepage.h"
#include "grid/gridexport.h"
#include "sender/maindata.h"
#include "ui/gridclipboard.h"
#include "ui/gridnavigator.h"
#include "ui/gridsortfilter.h"
#include "ui/gridwidget.h"
#include "ui/pictures.h"
#include "ui/screenlook.h"

namespace enviozvr::ui {

namespace {

constexpr int kFilterBarHeight = 19;
constexpr int kNavigatorHeight = 18;
constexpr int kBottomBarHeight = 32;

// The save dialog's filters. Each names its extension in both cases: a dialog of the
// desktop (a native one) may compare names case-sensitively, and X.TXT is as much a text
// file as x.txt.
const QStringList& saveFilters() {
    static const QStringList filters = {
        QStringLiteral("Text files (*.txt *.TXT)"),
        QStringLiteral("Comma separated values (*.csv *.CSV)"),
        QStringLiteral("HTML file (*.htm *.HTM)"),
        QStringLiteral("Rich Text Format (*.rtf *.RTF)"),
        QStringLiteral("Microsoft Excel Workbook (*.xls *.XLS)"),
    };
    return filters;
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
    Grid1->reload();

    // Another window of the program taking the focus covers the screen; the list is read
    // again when the screen becomes active after it. Menus and tips do not count.
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* window) {
        if (!window || !isVisible() || activating_ || window == windowHandle()) return;
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
    Grid1->refreshHandler = [this] { FormActivate(); };

    DBNavigator1 = new GridNavigator(this);
    DBNavigator1->setFixedHeight(kNavigatorHeight);
    DBNavigator1->setGrid(Grid1);
    layout->addWidget(DBNavigator1);

    PanelBotones = new QWidget(this);
    PanelBotones->setObjectName(QStringLiteral("PanelBotones"));
    PanelBotones->setFixedHeight(kBottomBarHeight);
    auto* buttons = new QHBoxLayout(PanelBotones);
    buttons->setContentsMargins(6, 1, 2, 1);
    lbFilas = new QLabel(PanelBotones);
    lbFilas->setObjectName(QStringLiteral("lbFilas"));
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
    CErroresenv.close();
    CErroresenv.setCommandText(grid::eventViewerQuery(viewer_));
    try {
        CErroresenv.open();
        if (!CTipodoc.active()) CTipodoc.open();
        returnToEvent(current);
    } catch (...) {
        Grid1->reload();
        throw;
    }
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

void EventListViewer::showRowCount() {
    lbFilas->setText(rowCountText(Grid1->gridModel()->rowCount(),
                                  CErroresenv.active() && CErroresenv.hasRowFilter()));
}

void EventListViewer::ckfiltroClick() { Grid1->setFilterRowVisible(ckfiltro->isChecked()); }

void EventListViewer::ppmCopyClick() {
    if (Grid1->isWindowFocus()) Grid1->copySelection();
}

void EventListViewer::ppmSelectAllClick() {
    if (Grid1->isWindowFocus()) Grid1->selectAll();
}

int EventListViewer::saveFilterIndex() const {
    return static_cast<int>(saveFilters().indexOf(SaveDialog1->selectedNameFilter())) + 1;
}

void EventListViewer::ppmSaveSelectionClick() {
    SaveDialog1->selectFile(data::qstringFromWindows1252(grid::eventViewerFileName(viewer_)));
    if (!Grid1->isWindowFocus()) return;
    if (SaveDialog1->exec() != QDialog::Accepted) return;
    const grid::GridExportFormat* format = grid::exportFormatForFilterIndex(saveFilterIndex());
    const QStringList files = SaveDialog1->selectedFiles();
    if (!format || files.isEmpty()) return;
    const QString name = withExtension(files.first(), QString::fromLatin1(format->extension));
    grid::ExportGridToFile(format->exportClass, Grid1->dataGrid(), name, false);
}

void EventListViewer::PngSpeedButton1Click() { close(); }

}  // namespace enviozvr::ui
