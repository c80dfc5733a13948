// Exporting 100,000 replication events of ten columns, held in a cached result set, to
// each of the five file formats in memory, against a bare loop that walks the same rows
// and writes the same cells as tab-separated text with no grid machinery. Prints each
// time (best of the rounds), the ratio to the bare loop and the target. XLS is left out
// when the rows are more than the format holds (65,535): run it with fewer rows.
//
// Usage: grid_bench [rows] [rounds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "data/connection.h"
#include "data/dataset.h"
#include "grid/grid.h"
#include "grid/gridexport.h"
#include "support/memoryrows.h"

using namespace enviozvr;
using Clock = std::chrono::steady_clock;

namespace {

// A field of `type`; `fixed` makes a text a CHAR.
data::Field field(const char* name, data::FieldType type, int size, bool fixed = false) {
    data::Field f = enviozvr::testing::field(name, type, size);
    f.fixedWidth = fixed;
    return f;
}

std::vector<data::Field> eventFields() {
    using data::FieldType;
    return {field("RPEV_ID", FieldType::Integer, 4),
            field("RPEV_COMPANIA", FieldType::String, 60),
            field("RPEV_TIPO", FieldType::Integer, 4),
            field("RPEV_PREF", FieldType::String, 4),
            field("RPEV_NUMERO", FieldType::String, 6),
            field("RPEV_CODIGO", FieldType::String, 20),
            field("RPEV_FECREG", FieldType::Date, 0),
            field("RPEV_HORAREG", FieldType::Time, 0),
            field("RPEV_OPER", FieldType::String, 1, true),
            field("RPEV_PTVT", FieldType::Integer, 4)};
}

std::vector<data::Row> eventRows(int count) {
    std::vector<data::Row> rows;
    rows.reserve(count);
    const data::Date base = data::Date::fromYmd(2026, 1, 1);
    for (int i = 0; i < count; ++i) {
        char number[8];
        std::snprintf(number, sizeof number, "%06d", i % 999999);
        rows.push_back({data::Value::integer(i), data::Value::text("00" + std::to_string(i % 7)),
                        data::Value::integer(i % 5 ? 236 : 12),
                        data::Value::text("FV" + std::to_string(i % 3)), data::Value::text(number),
                        data::Value::text("COD-" + std::to_string(i)),
                        data::Value::date(data::Date{base.days + i % 300}),
                        data::Value::time(data::Time::fromHms(8 + i % 10, i % 60, i % 60)),
                        i % 11 ? data::Value::text("C") : data::Value::text("D"),
                        i % 4 ? data::Value::integer(i % 4) : data::Value::null()});
    }
    return rows;
}

// Walks the rows with the cursor and writes every cell's text, TAB between cells and CR LF
// between lines, into one growing buffer.
size_t bareLoop(data::CachedResultSet& set) {
    std::string out;
    const int fields = set.fieldCount();
    bool firstLine = true;
    set.first();
    while (!set.eof()) {
        if (!firstLine) out += "\r\n";
        firstLine = false;
        for (int c = 0; c < fields; ++c) {
            if (c) out += '\t';
            out += set.value(c).toText();
        }
        set.next();
    }
    return out.size();
}

double bestOf(int rounds, const std::function<size_t()>& run, size_t& bytes) {
    double best = 1e300;
    for (int r = 0; r < rounds; ++r) {
        const auto start = Clock::now();
        bytes = run();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        best = std::min(best, ms);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const int rowCount = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;

    auto connection = data::Connection::company("DbCia");
    data::Query query(*connection, "select * from REPLICA_EVENTOS");
    data::Provider provider("PErroresenv", query, true);
    data::CachedResultSet set("CErroresenv", provider);
    set.loadRows(eventFields(), eventRows(rowCount));

    grid::FixedGridEnvironment environment;
    grid::DataGrid dataGrid("Grid1", &environment);
    dataGrid.setDataSet(&set);
    for (const data::Field& f : eventFields()) dataGrid.addColumn(f.name);

    size_t bareBytes = 0;
    const double bare = bestOf(
        rounds, [&] { return bareLoop(set); }, bareBytes);
    std::printf("grid export of %d rows x 10 columns, best of %d rounds\n", rowCount, rounds);
    std::printf("%-6s %10.1f ms %12zu bytes\n", "bare", bare, bareBytes);

    struct Format {
        const char* name;
        grid::TGridExportClass exportClass;
        double target;
    };
    const Format formats[] = {
        {"txt", &grid::makeGridExport<grid::TGridExportAsText>, 2.0},
        {"csv", &grid::makeGridExport<grid::TGridExportAsCSV>, 2.0},
        {"htm", &grid::makeGridExport<grid::TGridExportAsHTML>, 4.0},
        {"rtf", &grid::makeGridExport<grid::TGridExportAsRTF>, 4.0},
        {"xls", &grid::makeGridExport<grid::TGridExportAsXLS>, 2.0},
    };
    bool allMet = true;
    for (const Format& f : formats) {
        if (f.exportClass == &grid::makeGridExport<grid::TGridExportAsXLS> &&
            rowCount > grid::kXlsMaxDataRows) {
            // The format cannot hold the rows: the export refuses them and writes nothing.
            std::printf("%-6s skipped: an XLS file holds at most %lld data rows\n", f.name,
                        static_cast<long long>(grid::kXlsMaxDataRows));
            continue;
        }
        size_t bytes = 0;
        const double ms = bestOf(
            rounds,
            [&] {
                grid::TMemoryStream out;
                grid::ExportGridToStream(f.exportClass, dataGrid, out, true);
                return out.size();
            },
            bytes);
        const double ratio = ms / bare;
        const bool met = ratio <= f.target;
        allMet = allMet && met;
        std::printf("%-6s %10.1f ms %12zu bytes  ratio %5.2f  target <= %.0f  %s\n", f.name, ms,
                    bytes, ratio, f.target, met ? "met" : "MISSED");
    }
    return allMet ? 0 : 1;
}
