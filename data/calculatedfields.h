// Calculated fields and row filters of a cached result set: values that are not data,
// reached by name from indexes and filters, and tests that keep or drop rows as they are
// read.
#pragma once

#include <functional>

#include "data/value.h"

namespace enviozvr::data {

class CachedResultSet;

// Read access to one held row, for calculated fields, indexes and row filters.
class RowValues {
  public:
    RowValues(const CachedResultSet& set, const void* row) : set_(&set), row_(row) {}
    // The value of data field `field` of this row.
    Value operator[](int field) const;

  private:
    const CachedResultSet* set_;
    const void* row_;
};

// The value of one key (a data field or a calculated field) of a held row.
using KeyFunction = std::function<Value(const RowValues& row)>;
// A field that is not data (a looked-up or calculated value of a screen). Called once per
// index build or read, after the fields are bound; returns the value of one row. Indexes
// and row filters reach it by name; update application never sees it.
using CalculatedField = std::function<KeyFunction(const CachedResultSet& set)>;
// Keeps or drops rows as they are read. Called once per read, after the fields are bound;
// returns the test of one row (true: the row is held).
using RowTest = std::function<bool(const RowValues& row)>;
using RowFilter = std::function<RowTest(const CachedResultSet& set)>;

}  // namespace enviozvr::data
