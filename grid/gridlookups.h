// The looked-up fields of a data grid: their definitions, and the value each gives for a
// row of the grid's data set, found by key in its lookup data set. The field indexes a
// lookup resolves to are kept from one use to the next and checked by field name on every
// use, so that a data set reopened with other fields is resolved again.
//
// Owned by its DataGrid (see grid.h); does not own the data sets. Single-threaded.
#pragma once

#include <string>
#include <vector>

#include "data/dataset.h"
#include "grid/gridtypes.h"

namespace enviozvr::grid {

// A field whose value comes from another data set: the row of lookupDataSet whose
// lookupKeyFields equal this row's keyFields gives lookupResultField. Multiple key
// fields are separated by ';'.
struct LookupFieldDef {
    std::string name;
    std::string keyFields;
    const data::CachedResultSet* lookupDataSet = nullptr;
    std::string lookupKeyFields;
    std::string lookupResultField;
    TFieldType dataType = ftString;
    int size = 0;
    std::string displayLabel;
};

class GridLookups {
  public:
    void add(LookupFieldDef def) { defs_.push_back(std::move(def)); }
    int count() const { return static_cast<int>(defs_.size()); }
    const LookupFieldDef& at(int which) const { return defs_.at(which); }
    // Forgets the resolved field indexes (the grid binds its fields again).
    void forgetResolved() { resolved_.clear(); }

    // The value lookup `which` gives for the current row of `set`; NULL when a key is
    // NULL, no row of the lookup set matches or a set is missing or closed.
    data::Value valueOfCurrent(int which, const data::CachedResultSet* set) const;
    // The same for row `row` of `set` as a view shows it (CachedResultSet::valueShown).
    data::Value valueOfRow(int which, const data::CachedResultSet* set, int row) const;
    // The values of the lookup's key fields in the current row of `set`.
    std::vector<data::Value> keyValues(int which, const data::CachedResultSet& set) const;

  private:
    // The field indexes of a lookup in the data set and in its lookup set, resolved on
    // first use after a binding and checked by field name on every later use.
    struct Resolved {
        const data::CachedResultSet* set = nullptr;
        const data::CachedResultSet* lookup = nullptr;
        std::vector<int> keys;        // in the data set; -1 for a name it lacks
        std::vector<int> lookupKeys;  // in the lookup set; -1 for a name it lacks
        int result = -1;
        std::vector<std::string> names;  // the fields' own names at those indexes
    };
    const Resolved& resolve(int which, const data::CachedResultSet* set) const;
    template <class KeyValue>
    data::Value value(int which, const data::CachedResultSet* set, KeyValue&& keyValue) const;

    std::vector<LookupFieldDef> defs_;
    mutable std::vector<Resolved> resolved_;
};

}  // namespace enviozvr::grid
