// The error viewer over 100,000 queued events in an embedded company database, on the
// offscreen platform. In one run, each figure against its baseline:
//   open     the viewer's activation (close, query, fetch, grid reload, first paint)
//            against the cached fetch of the same query alone            target <= 1.2
//   scroll   the model's work for every visible page from the first to the last
//            (every cell text and alignment the view asks for) against the fetch
//                                                                          target <= 0.2
//   copy     select-all and the clipboard copy (five documents in one QMimeData)
//            against the five exporters run alone on the same selection  target <= 1.3
//   memory   heap held by the open viewer (rows included) against the cached rows'
//            bytes                                                         target <= 1.5
// Times are medians of the rounds.
//
// Usage: viewer_bench [rows] [rounds]
#include <malloc.h>

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMimeData>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "data/dataset.h"
#include "grid/eventviewers.h"
#include "grid/gridexport.h"
#include "sender/maindata.h"
#include "support/testdb.h"
#include "ui/gridwidget.h"
#include "ui/mensajesenvzvr.h"

using namespace enviozvr;
using Clock = std::chrono::steady_clock;

namespace {

void fill(testing::TestDatabase& db, int rows) {
    db.exec(
        "INSERT INTO TIPO_DOCUMENTO (TIDO_COD, TIDO_NOMCORTO, TIDO_NOMLARGO) VALUES (236, "
        "'FV', 'Factura de venta')");
    db.exec(
        "INSERT INTO TIPO_DOCUMENTO (TIDO_COD, TIDO_NOMCORTO, TIDO_NOMLARGO) VALUES (120, "
        "'PD', 'Pedido')");
    db.exec(
        "execute block as declare i integer = 0; begin "
        "while (i < " +
        std::to_string(rows) +
        ") do begin "
        "insert into REPLICA_EVENTOS values (:i, '00' || mod(:i, 7), 236, :i, "
        "'FV' || mod(:i, 3), lpad(mod(:i, 999999), 6, '0'), 'COD-' || :i, "
        "dateadd(-mod(:i, 30) day to current_date), '08:30:00', null, null, "
        "iif(mod(:i, 11) = 0, 'D', 'C'), 'FX', mod(:i, 4), "
        "'violation of FOREIGN KEY constraint \"FK_FACTURAS_CLIENTE\" on table "
        "\"FACTURAS_ZVR\"; Foreign key reference target does not exist; event ' || :i); "
        "i = i + 1; end end");
}

double seconds(const std::function<void()>& f) {
    const auto t0 = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

size_t heapInUse() {
    malloc_trim(0);
    return mallinfo2().uordblks;
}

void paint(QWidget& w) {
    QImage image(w.size(), QImage::Format_ARGB32);
    w.render(&image);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;

    testing::TempDir dir;
    testing::TestDatabase db(dir.file("nivora.fdb"));
    db.createCompanySchema();
    fill(db, rows);

    sender::MainData data;
    data.DbCia.setDatabase(db.location());
    data.DbCia.setParam("User_Name", "SYSDBA");
    data.DbCia.setParam("password", "");
    data.DbCia.connect();
    const std::string query = grid::eventViewerQuery(grid::EventViewer::Errors);

    // The cached fetch alone: the viewer's list with its declared fields and query.
    data::Provider provider("PErroresenv", data.QErroresenv, true);
    data::CachedResultSet alone("CErroresenv", provider);
    grid::declareEventListFields(alone);
    alone.setCommandText(query);
    const auto fetchAlone = [&] {
        alone.close();
        alone.open();
    };

    // The open viewer's heap, rows included, against the rows' own bytes.
    const size_t heapBefore = heapInUse();
    auto viewer = std::make_unique<ui::Tfmensajesenvzvr>(data);
    viewer->show();
    viewer->FormActivate();
    paint(*viewer);
    QCoreApplication::processEvents();
    const size_t heapOpen = heapInUse() - heapBefore;
    const size_t rowBytes = viewer->CErroresenv.memoryBytes();

    fetchAlone();  // warm-up of both paths
    ui::GridWidget& grid = *viewer->Grid1;
    std::vector<double> fetch, open, scroll, copy, exporters;
    const int pageRows = std::max(1, grid.viewport()->height() / grid.rowHeight());
    size_t cellsFormed = 0;
    for (int r = 0; r < rounds; ++r) {
        fetch.push_back(seconds(fetchAlone));
        open.push_back(seconds([&] {
            viewer->FormActivate();
            paint(*grid.viewport());
        }));

        // Every page from the first to the last, as the view asks the model for it.
        QAbstractItemModel& model = *grid.model();
        const int count = model.rowCount();
        const int columns = model.columnCount();
        cellsFormed = 0;
        scroll.push_back(seconds([&] {
            for (int top = 0; top < count; top += pageRows) {
                const int end = std::min(count, top + pageRows);
                for (int row = top; row < end; ++row) {
                    for (int c = 0; c < columns; ++c) {
                        const QModelIndex index = model.index(row, c);
                        cellsFormed += model.data(index, Qt::DisplayRole).toString().size() > 0;
                        model.data(index, Qt::TextAlignmentRole);
                    }
                }
            }
        }));

        grid.setFocus();
        copy.push_back(seconds([&] {
            grid.selectAll();
            grid.copySelection();
        }));
        grid::DataGrid& g = grid.dataGrid();
        exporters.push_back(seconds([&] {
            grid::TMemoryStream stream;
            for (grid::TGridExportClass format :
                 {&grid::makeGridExport<grid::TGridExportAsText>,
                  &grid::makeGridExport<grid::TGridExportAsUnicodeText>,
                  &grid::makeGridExport<grid::TGridExportAsCSV>,
                  &grid::makeGridExport<grid::TGridExportAsRTF>,
                  &grid::makeGridExport<grid::TGridExportAsDBCells>}) {
                grid::ExportGridToStream(format, g, stream, false);
                stream.clear();
            }
        }));
        g.Selection().ClearSelection();
    }

    const double f = median(fetch), o = median(open), s = median(scroll), c = median(copy),
                 e = median(exporters);
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    std::printf("events listed:               %d (%d per page, %zu non-empty cells formed)\n",
                viewer->CErroresenv.recordCount(), pageRows, cellsFormed);
    std::printf("cached fetch alone (median): %8.1f ms\n", f * 1000);
    std::printf("viewer open (median):        %8.1f ms   ratio %.2f (target <= 1.2)\n", o * 1000,
                o / f);
    std::printf("scroll every page (median):  %8.1f ms   ratio %.2f (target <= 0.2)\n", s * 1000,
                s / f);
    std::printf("five exporters (median):     %8.1f ms\n", e * 1000);
    std::printf("select all + copy (median):  %8.1f ms   ratio %.2f (target <= 1.3)\n", c * 1000,
                c / e);
    std::printf("clipboard CSV bytes:         %lld\n",
                static_cast<long long>(mime ? mime->data("text/csv").size() : 0));
    std::printf("cached row bytes:            %zu\n", rowBytes);
    std::printf("open viewer heap:            %zu   ratio %.2f (target <= 1.5)\n", heapOpen,
                static_cast<double>(heapOpen) / static_cast<double>(rowBytes));
    return 0;
}
