#include "grid/export/exporter.h"

#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cmath>

#include "data/codepage.h"

namespace enviozvr::grid {

namespace {

int64_t pow10(int n) {
    int64_t p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

// A value as fixed point with four decimals, rounded to the nearest, ties to even.
int64_t fixed4(const data::Value& v) {
    switch (v.kind()) {
        case data::Value::Kind::Integer:
            return v.asInteger() * 10000;
        case data::Value::Kind::Decimal: {
            const data::Decimal d = v.asDecimal();
            if (d.scale <= 4) return d.unscaled * pow10(4 - d.scale);
            const int64_t divisor = pow10(d.scale - 4);
            int64_t q = d.unscaled / divisor;
            const int64_t r = d.unscaled % divisor;
            const int64_t twice = 2 * (r < 0 ? -r : r);
            if (twice > divisor || (twice == divisor && (q % 2) != 0)) q += d.unscaled < 0 ? -1 : 1;
            return q;
        }
        default:
            return static_cast<int64_t>(std::nearbyint(v.asDouble() * 10000.0));
    }
}

}  // namespace

TGridExport::TGridExport(DataGrid& grid) : grid_(grid) {}
TGridExport::~TGridExport() = default;

void TGridExport::AddRowToFooterTotals() {
    const size_t n = expCols_.size();
    for (int r = 0; r < grid_.FooterRowCount; ++r) {
        for (size_t c = 0; c < n; ++c) {
            const TGridColumnFooter* footer = expCols_[c]->footerAt(r);
            if (!footer) continue;
            const GridField& field = footerFields_[r * n + c];
            if (!field.exists()) continue;
            if (footer->ValueType == fvtSum) {
                const data::Value v = grid_.fieldValue(field);
                if (!v.isNull()) footerValues_[r * n + c] += fixed4(v);
            } else if (footer->ValueType == fvtCount) {
                footerValues_[r * n + c] += 10000;
            }
        }
    }
}

void TGridExport::BeginDocument() {}
void TGridExport::EndDocument() {}
void TGridExport::PutTitleRow(const TGridColumnList&) {}

void TGridExport::PutDataRow(const TGridColumnList& columns) {
    for (TGridColumn* column : columns) {
        cellParams_.Font = column->Font;
        cellParams_.Background = column->Color;
        cellParams_.Alignment = column->Alignment;
        cellParams_.Text = grid_.cellText(*column);
        PutDataCell(*column, cellParams_);
    }
}

void TGridExport::PutDataCell(TGridColumn&, TGridCellParams&) {}

void TGridExport::PutFooterRow(const TGridColumnList& columns, int footerRow) {
    const size_t n = columns.size();
    for (size_t c = 0; c < n; ++c) {
        TGridColumn& column = *columns[c];
        TGridColumnFooter defaults;
        defaults.Color = grid_.FooterColor;
        defaults.Font = grid_.FooterFont;
        const TGridColumnFooter* stored = column.footerAt(footerRow);
        const TGridColumnFooter& footer = stored ? *stored : defaults;
        std::string text;
        if (footer.ValueType == fvtSum || footer.ValueType == fvtCount) {
            const size_t at = static_cast<size_t>(footerRow) * n + c;
            const GridField field =
                at < footerFields_.size() ? footerFields_[at] : grid_.footerField(column, footer);
            const int64_t total = at < footerValues_.size() ? footerValues_[at] : 0;
            text = grid_.footerTotalText(field, footer.ValueType, total);
        } else {
            text = grid_.footerText(column, footerRow);
        }
        const TFont font = footer.Font;
        PutFooterCell(static_cast<int>(c), footerRow, column, font, footer.Color, footer.Alignment,
                      text);
    }
}

void TGridExport::PutFooterCell(int, int, TGridColumn&, const TFont&, TColor, TAlignment,
                                const std::string&) {}

void TGridExport::sizeFooterTotals() {
    const size_t n = expCols_.size();
    const size_t rows = static_cast<size_t>(std::max(0, grid_.FooterRowCount));
    footerValues_.assign(rows * n, 0);
    footerFields_.assign(rows * n, GridField{});
    for (size_t r = 0; r < rows; ++r) {
        for (size_t c = 0; c < n; ++c) {
            const TGridColumnFooter* footer = expCols_[c]->footerAt(static_cast<int>(r));
            if (footer) footerFields_[r * n + c] = grid_.footerField(*expCols_[c], *footer);
        }
    }
}

void TGridExport::putFooterRows() {
    for (int r = 0; r < grid_.FooterRowCount; ++r) PutFooterRow(expCols_, r);
}

void TGridExport::walk(const RowStep& step, bool framed) {
    if (framed) {
        sizeFooterTotals();
    } else {
        footerValues_.clear();
        footerFields_.clear();
    }
    BeginDocument();
    if (framed && grid_.hasOption(dgTitles)) PutTitleRow(expCols_);
    for (bool onRow = step(true); onRow; onRow = step(false)) {
        PutDataRow(expCols_);
        ++rowsWritten_;
        if (framed) AddRowToFooterTotals();
    }
    if (framed) putFooterRows();
}

void TGridExport::runSelection(TGridSelectionType kind) {
    data::CachedResultSet& ds = *grid_.dataSet();
    TGridSelection& selection = grid_.Selection();
    // Every row from the first to the end of the data set.
    const RowStep allRows = [&ds](bool first) {
        if (first)
            ds.first();
        else
            ds.next();
        return !ds.eof();
    };
    switch (kind) {
        case gstRecordBookmarks: {
            expCols_ = grid_.visibleColumns();
            const std::vector<Bookmark> rows = selection.Rows.items();
            size_t at = 0;
            walk(
                [&](bool first) {
                    at = first ? 0 : at + 1;
                    if (at >= rows.size()) return false;
                    ds.gotoBookmark(rows[at]);
                    return true;
                },
                true);
            break;
        }
        case gstRectangle: {
            const TGridSelectionRect& rect = selection.Rect;
            expCols_.clear();
            for (TGridColumn* c : grid_.visibleColumns())
                if (c->Index() >= rect.DataLeftCol() && c->Index() <= rect.DataRightCol())
                    expCols_.push_back(c);
            const TBookmark top = rect.DataTopRow();
            const TBookmark bottom = rect.DataBottomRow();
            walk(
                [&](bool first) {
                    if (first) {
                        if (!top) return false;
                        ds.gotoBookmark(*top);
                    } else {
                        if (bottom && ds.bookmark() == *bottom) return false;
                        ds.next();
                    }
                    return !ds.eof();
                },
                true);
            break;
        }
        case gstColumns:
            expCols_ = selection.Columns.items();
            walk(allRows, true);
            break;
        case gstAll:
            expCols_ = grid_.visibleColumns();
            walk(allRows, true);
            break;
        case gstNon:
            // The focused cell of the current row alone.
            expCols_.clear();
            if (TGridColumn* focused = grid_.focusedColumn()) expCols_.push_back(focused);
            walk([](bool first) { return first; }, false);
            break;
    }
}

void TGridExport::RunExport(TStream& stream, bool exportAll) {
    stream_ = &stream;
    rowsWritten_ = 0;
    const TGridSelectionType kind = exportAll ? gstAll : grid_.Selection().SelectionType();
    data::CachedResultSet* ds = grid_.dataSet();
    if (!ds || !ds->active()) throw GridError("Cannot perform this operation on a closed dataset");
    grid_.bindFields();
    grid_.disableControls();
    const TGridPosition position = grid_.savePosition();
    try {
        runSelection(kind);
    } catch (...) {
        try {
            grid_.restorePosition(position);
        } catch (...) {
            // The run's own failure is the one to report: a second one while putting the
            // cursor back would hide it, and the grid is left where the failure took it.
        }
        grid_.enableControls();
        throw;
    }
    try {
        grid_.restorePosition(position);
    } catch (...) {
        grid_.enableControls();
        throw;
    }
    grid_.enableControls();
    EndDocument();
}

void TGridExport::RunExportToFile(const QString& fileName, bool exportAll) {
    QSaveFile file(fileName);
    auto cannotCreate = [&](const QString& reason) {
        const QString path = QFileInfo(fileName).absoluteFilePath();
        return GridError("Cannot create file \"" + data::windows1252FromQString(path) + "\". " +
                         data::windows1252FromQString(reason));
    };
    if (!file.open(QIODevice::WriteOnly)) throw cannotCreate(file.errorString());
    {
        DeviceStream out(file);
        RunExport(out, exportAll);
        out.flush();
    }
    if (!file.commit()) throw cannotCreate(file.errorString());
}

int64_t ExportGridToFile(TGridExportClass exportClass, DataGrid& grid, const QString& fileName,
                         bool exportAll) {
    std::unique_ptr<TGridExport> exporter = exportClass(grid);
    exporter->RunExportToFile(fileName, exportAll);
    return exporter->RowsWritten();
}

void ExportGridToStream(TGridExportClass exportClass, DataGrid& grid, TStream& stream,
                        bool exportAll) {
    std::unique_ptr<TGridExport> exporter = exportClass(grid);
    exporter->RunExport(stream, exportAll);
}

}  // namespace enviozvr::grid
