// A grid over a cached result set filled from memory (support/memoryrows.h), with fixed colours
// (window white, text black, button face silver) and 96 pixels per inch; helpers that run an
// exporter into memory and spell expected bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "data/connection.h"
#include "data/dataset.h"
#include "grid/grid.h"
#include "grid/gridexport.h"
#include "support/memoryrows.h"

namespace enviozvr::grid::testing {

using ::enviozvr::testing::field;

inline data::Value txt(const char* s) { return data::Value::text(s); }
inline data::Value num(int64_t v) { return data::Value::integer(v); }

class GridFixture : public ::enviozvr::testing::MemoryRows {
  public:
    GridFixture() : grid("Grid1", &env) {}

    // Loads the rows and adds one visible column per field, titled by its name.
    void load(std::vector<data::Field> fields, std::vector<data::Row> rows,
              bool addColumns = true) {
        std::vector<std::string> names;
        for (const auto& f : fields) names.push_back(f.name);
        set.loadRows(std::move(fields), std::move(rows));
        grid.setDataSet(&set);
        if (addColumns)
            for (const auto& n : names) grid.addColumn(n);
    }

    template <class T>
    std::string run(bool exportAll) {
        TMemoryStream out;
        ExportGridToStream(&makeGridExport<T>, grid, out, exportAll);
        return out.bytes();
    }

    FixedGridEnvironment env;
    DataGrid grid;
};

// Little-endian byte helpers for expected binary documents.
inline std::string u16(unsigned v) {
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}
inline std::string i32(int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    return u16(u & 0xFFFF) + u16(u >> 16);
}
inline std::string f64(double v) {
    uint64_t u;
    std::memcpy(&u, &v, 8);
    std::string s;
    for (int i = 0; i < 8; ++i) s.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
    return s;
}
inline std::string bytes(std::initializer_list<int> b) {
    std::string s;
    for (int x : b) s.push_back(static_cast<char>(x));
    return s;
}

// BIFF records.
inline std::string xlsBof() { return u16(0x0809) + u16(8) + u16(0) + u16(0x10) + u16(0) + u16(0); }
inline std::string xlsEof() { return u16(0x000A) + u16(0); }
inline std::string xlsLabel(int row, int col, const std::string& text) {
    return u16(0x0204) + u16(8 + text.size()) + u16(row) + u16(col) + u16(0) + u16(text.size()) +
           text;
}
inline std::string xlsNumber(int row, int col, double v) {
    return u16(0x0203) + u16(14) + u16(row) + u16(col) + u16(0) + f64(v);
}
inline std::string xlsRk(int row, int col, int32_t v) {
    return u16(0x027E) + u16(10) + u16(row) + u16(col) + u16(0) + i32(v * 4 + 2);
}
inline std::string xlsBlank(int row, int col) {
    return u16(0x0201) + u16(6) + u16(row) + u16(col) + u16(23);
}

// Printable form of bytes for failure messages.
inline std::string hexDump(const std::string& s) {
    static const char d[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        out.push_back(d[c >> 4]);
        out.push_back(d[c & 15]);
        out.push_back(' ');
    }
    return out;
}

}  // namespace enviozvr::grid::testing
