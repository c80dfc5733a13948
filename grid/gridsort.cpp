#include "grid/gridsort.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>

#include "data/names.h"

namespace enviozvr::grid {

namespace {

using data::sameName;

std::string joinNames(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : ";") + n;
    return out;
}

// The looked-up value of a row, from a table of the lookup data set built once per read.
data::CalculatedField lookupCalculation(const LookupFieldDef& def) {
    return [def](const data::CachedResultSet& set) -> data::KeyFunction {
        const std::vector<std::string> keys = splitFieldNames(def.keyFields);
        const std::vector<std::string> lookupKeys = splitFieldNames(def.lookupKeyFields);
        const data::CachedResultSet* lookup = def.lookupDataSet;
        if (keys.empty() || keys.size() != lookupKeys.size() || !lookup || !lookup->active())
            return [](const data::RowValues&) { return data::Value::null(); };
        std::vector<data::KeyFunction> keyOf;
        keyOf.reserve(keys.size());
        for (const std::string& k : keys) keyOf.push_back(set.keyFunction(k));
        std::vector<int> lookupIndexes;
        lookupIndexes.reserve(lookupKeys.size());
        for (const std::string& k : lookupKeys) lookupIndexes.push_back(lookup->fieldByName(k));
        const int result = lookup->fieldByName(def.lookupResultField);
        // Keys compare by their text, so an integer key finds an integer or text code;
        // the first row of a key wins, as a scan of the lookup set would find it.
        std::unordered_map<std::string, data::Value> table;
        for (int r = 0; r < lookup->recordCount(); ++r) {
            std::string key;
            bool null = false;
            for (int index : lookupIndexes) {
                const data::Value v = lookup->valueAt(r, index);
                null = null || v.isNull();
                key += v.toText() + '\x1F';
            }
            if (!null) table.emplace(std::move(key), lookup->valueAt(r, result));
        }
        return [keyOf = std::move(keyOf), table = std::move(table)](const data::RowValues& row) {
            std::string key;
            for (const data::KeyFunction& k : keyOf) {
                const data::Value v = k(row);
                if (v.isNull()) return data::Value::null();
                key += v.toText() + '\x1F';
            }
            auto it = table.find(key);
            return it == table.end() ? data::Value::null() : it->second;
        };
    };
}

}  // namespace

SortMarker GridSortState::marker(const std::string& fieldName) const {
    for (const Entry& e : marked_)
        if (sameName(e.fieldName, fieldName)) return e.marker;
    return SortMarker::None;
}

int GridSortState::sortIndex(const std::string& fieldName) const {
    for (size_t i = 0; i < marked_.size(); ++i)
        if (sameName(marked_[i].fieldName, fieldName)) return static_cast<int>(i) + 1;
    return 0;
}

void GridSortState::setMarker(const std::string& fieldName, SortMarker marker) {
    auto it = std::find_if(marked_.begin(), marked_.end(),
                           [&](const Entry& e) { return sameName(e.fieldName, fieldName); });
    if (marker == SortMarker::None) {
        if (it != marked_.end()) marked_.erase(it);
    } else if (it != marked_.end()) {
        it->marker = marker;
    } else {
        marked_.push_back({fieldName, marker});
    }
}

void GridSortState::click(const std::string& fieldName, bool keepOthers) {
    if (!keepOthers) {
        std::erase_if(marked_, [&](const Entry& e) { return !sameName(e.fieldName, fieldName); });
    }
    switch (marker(fieldName)) {
        case SortMarker::None:
            setMarker(fieldName, SortMarker::Down);
            break;
        case SortMarker::Down:
            setMarker(fieldName, SortMarker::Up);
            break;
        case SortMarker::Up:
            setMarker(fieldName, keepOthers ? SortMarker::None : SortMarker::Down);
            break;
    }
}

std::string GridSortState::fieldList() const {
    std::vector<std::string> names;
    for (const Entry& e : marked_) names.push_back(e.fieldName);
    return joinNames(names);
}

std::string GridSortState::descendingList() const {
    std::vector<std::string> names;
    for (const Entry& e : marked_)
        if (e.marker == SortMarker::Up) names.push_back(e.fieldName);
    return joinNames(names);
}

void defineLookupKeys(DataGrid& grid, const std::vector<std::string>& fieldNames) {
    data::CachedResultSet* set = grid.dataSet();
    if (!set) return;
    for (const std::string& name : fieldNames) {
        const GridField field = grid.findField(name);
        if (field.isLookup()) {
            const LookupFieldDef& def = grid.lookupField(field.index);
            set->defineCalculatedField(def.name, lookupCalculation(def));
        }
    }
}

void applyGridSort(DataGrid& grid, const GridSortState& state) {
    data::CachedResultSet* set = grid.dataSet();
    if (!set) return;
    std::vector<std::string> names;
    for (const GridSortState::Entry& e : state.marked()) names.push_back(e.fieldName);
    defineLookupKeys(grid, names);
    if (set->hasIndex(kGridSortIndex)) set->deleteIndex(kGridSortIndex);
    if (names.empty()) {
        set->setIndexName("");
    } else {
        set->addIndex(kGridSortIndex, state.fieldList(), 0, state.descendingList());
        set->setIndexName(kGridSortIndex);
    }
    if (set->active()) set->first();
    grid.repaint();
}

}  // namespace enviozvr::grid
