// Rows held in memory for tests that need a cached result set but no database: field
// descriptions, and a cached result set over a query that is never run (fill it with
// loadRows). Header-only.
#pragma once

#include <memory>
#include <string>

#include "data/connection.h"
#include "data/dataset.h"

namespace enviozvr::testing {

// A field of `type`; a scale makes it an exact decimal of 15 digits.
inline data::Field field(std::string name, data::FieldType type, int size = 0, int scale = 0) {
    data::Field f;
    f.name = std::move(name);
    f.type = type;
    f.size = size;
    f.scale = scale;
    f.precision = scale ? 15 : 0;
    return f;
}

// A cached result set `set` whose rows come from loadRows.
struct MemoryRows {
    std::unique_ptr<data::Connection> connection = data::Connection::company("DbCia");
    data::Query query{*connection, "select * from T"};
    data::Provider provider{"PT", query, true};
    data::CachedResultSet set{"CT", provider};
};

}  // namespace enviozvr::testing
