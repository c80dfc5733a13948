// Locating a text in the last of 100,000 replication events held in a cached result set,
// comparing display texts and ignoring case, against a bare loop that walks the same rows
// with the cursor, forms the same display texts, upper-cases them and compares. Once for a
// text column (the document code, any part of the field) and once for a date column (the
// whole field). Prints each time (best of the rounds), the ratio to the bare loop and the
// target.
//
// Usage: locate_bench [rows] [rounds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "data/connection.h"
#include "data/dataset.h"
#include "grid/grid.h"
#include "grid/locate.h"
#include "support/memoryrows.h"

using namespace enviozvr;
using Clock = std::chrono::steady_clock;

namespace {

using enviozvr::testing::field;

std::vector<data::Field> eventFields() {
    using data::FieldType;
    return {
        field("RPEV_ID", FieldType::Integer, 4),     field("RPEV_COMPANIA", FieldType::String, 60),
        field("RPEV_PREF", FieldType::String, 4),    field("RPEV_NUMERO", FieldType::String, 6),
        field("RPEV_CODIGO", FieldType::String, 20), field("RPEV_FECREG", FieldType::Date, 0),
        field("RPEV_HORAREG", FieldType::Time, 0)};
}

const data::Date kBase = data::Date::fromYmd(2020, 1, 1);

std::vector<data::Row> eventRows(int count) {
    std::vector<data::Row> rows;
    rows.reserve(count);
    for (int i = 0; i < count; ++i) {
        char number[8];
        std::snprintf(number, sizeof number, "%06d", i % 999999);
        // Every date but the last row's lies before it.
        const int day = i + 1 == count ? 5000 : i % 3000;
        rows.push_back({data::Value::integer(i), data::Value::text("00" + std::to_string(i % 7)),
                        data::Value::text("FV" + std::to_string(i % 3)), data::Value::text(number),
                        data::Value::text("Cod-" + std::to_string(i)),
                        data::Value::date(data::Date{kBase.days + day}),
                        data::Value::time(data::Time::fromHms(8 + i % 10, i % 60, i % 60))});
    }
    return rows;
}

// The row found by a bare walk: the cell's display text upper-cased and compared.
int bareLoop(data::CachedResultSet& set, int fieldIndex, const std::string& text, bool anyPart) {
    const std::string sought = grid::upperAnsi(text);
    set.first();
    while (!set.eof()) {
        const std::string cell = grid::upperAnsi(set.value(fieldIndex).toText());
        if (anyPart ? cell.find(sought) != std::string::npos : cell == sought) return set.recNo();
        set.next();
    }
    return -1;
}

double bestOf(int rounds, const std::function<int()>& run, int& found) {
    double best = 1e300;
    for (int r = 0; r < rounds; ++r) {
        const auto start = Clock::now();
        found = run();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        best = std::min(best, ms);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const int rowCount = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;

    auto connection = data::Connection::company("DbCia");
    data::Query query(*connection, "select * from REPLICA_EVENTOS");
    data::Provider provider("PErroresenv", query, true);
    data::CachedResultSet set("CErroresenv", provider);
    set.loadRows(eventFields(), eventRows(rowCount));

    grid::FixedGridEnvironment environment;
    grid::DataGrid dataGrid("Grid1", &environment);
    dataGrid.setDataSet(&set);
    for (const data::Field& f : eventFields()) dataGrid.addColumn(f.name);

    struct Search {
        const char* what;
        const char* fieldName;
        std::string text;
        int matching;
    };
    const Search searches[] = {
        {"text, any part", "RPEV_CODIGO", "cod-" + std::to_string(rowCount - 1), grid::lmAnyPart},
        {"date, whole field", "RPEV_FECREG", data::shortDateText(data::Date{kBase.days + 5000}),
         grid::lmWholeField},
    };
    constexpr double kTarget = 2.0;
    std::printf("locate in the last of %d rows, display text, case ignored, best of %d rounds\n",
                rowCount, rounds);
    bool allMet = true;
    for (const Search& s : searches) {
        const int fieldIndex = set.fieldIndex(s.fieldName);
        int bareRow = -1;
        const double bare = bestOf(
            rounds,
            [&] { return bareLoop(set, fieldIndex, s.text, s.matching == grid::lmAnyPart); },
            bareRow);
        int locateRow = -1;
        const double ms = bestOf(
            rounds,
            [&] {
                set.first();
                const bool found = grid::LocateCellText(
                    dataGrid, s.fieldName, 0, s.matching, grid::ldFromTop,
                    grid::loIgnoreCase | grid::loDisplayText | grid::loBreakOnEscape, s.text,
                    [] { return false; });
                return found ? set.recNo() : -1;
            },
            locateRow);
        const double ratio = ms / bare;
        const bool met = ratio <= kTarget && bareRow == rowCount - 1 && locateRow == bareRow;
        allMet = allMet && met;
        std::printf(
            "%-18s bare %8.2f ms  locate %8.2f ms  row %d  ratio %5.2f  target <= %.0f  %s\n",
            s.what, bare, ms, locateRow, ratio, kTarget, met ? "met" : "MISSED");
    }
    return allMet ? 0 : 1;
}
