#include "grid/gridlookups.h"

namespace enviozvr::grid {

using data::splitFieldNames;

const GridLookups::Resolved& GridLookups::resolve(int which,
                                                  const data::CachedResultSet* set) const {
    const LookupFieldDef& def = defs_.at(which);
    if (resolved_.size() != defs_.size()) resolved_.assign(defs_.size(), {});
    Resolved& r = resolved_[which];
    const data::CachedResultSet* lookup = def.lookupDataSet;
    auto nameAt = [](const data::CachedResultSet* set, int index) -> const std::string* {
        if (index < 0 || index >= set->fieldCount()) return nullptr;
        return &set->field(index).name;
    };
    auto stillBound = [&] {
        if (r.set != set || r.lookup != lookup) return false;
        size_t n = 0;
        auto same = [&](const data::CachedResultSet* set, int index) {
            const std::string* name = nameAt(set, index);
            return name ? *name == r.names[n++] : index < 0 && r.names[n++].empty();
        };
        for (int k : r.keys)
            if (!same(set, k)) return false;
        for (int k : r.lookupKeys)
            if (!same(lookup, k)) return false;
        return same(lookup, r.result);
    };
    if (stillBound()) return r;

    r = Resolved{};
    r.set = set;
    r.lookup = lookup;
    const std::vector<std::string> keys = splitFieldNames(def.keyFields);
    const std::vector<std::string> lookupKeys = splitFieldNames(def.lookupKeyFields);
    if (keys.empty() || keys.size() != lookupKeys.size()) return r;
    auto remember = [&](const data::CachedResultSet* set, int index) {
        const std::string* name = nameAt(set, index);
        r.names.push_back(name ? *name : std::string());
        return index;
    };
    for (const std::string& key : keys) r.keys.push_back(remember(set, set->fieldIndex(key)));
    for (const std::string& key : lookupKeys)
        r.lookupKeys.push_back(remember(lookup, lookup->fieldIndex(key)));
    r.result = remember(lookup, lookup->fieldIndex(def.lookupResultField));
    return r;
}

template <class KeyValue>
data::Value GridLookups::value(int which, const data::CachedResultSet* set,
                               KeyValue&& keyValue) const {
    const LookupFieldDef& def = defs_.at(which);
    const data::CachedResultSet* lookup = def.lookupDataSet;
    if (!lookup || !lookup->active() || !set) return {};
    const Resolved& r = resolve(which, set);
    if (r.keys.empty()) return {};
    // A name a set lacks fails here, as a lookup by name would, once the keys before it
    // have values.
    data::Value single;
    std::vector<data::Value> keyValues;
    const size_t count = r.keys.size();
    if (count > 1) keyValues.reserve(count);
    for (size_t k = 0; k < count; ++k) {
        if (r.keys[k] < 0) set->fieldByName(splitFieldNames(def.keyFields)[k]);
        data::Value v = keyValue(r.keys[k]);
        if (v.isNull()) return {};
        if (r.lookupKeys[k] < 0) lookup->fieldByName(splitFieldNames(def.lookupKeyFields)[k]);
        if (count == 1)
            single = std::move(v);
        else
            keyValues.push_back(std::move(v));
    }
    if (r.result < 0) lookup->fieldByName(def.lookupResultField);
    const data::Value* keyOf = count == 1 ? &single : keyValues.data();
    const int rows = lookup->recordCount();
    for (int row = 0; row < rows; ++row) {
        bool match = true;
        for (size_t k = 0; k < count && match; ++k) {
            const data::Value v = lookup->valueAt(row, r.lookupKeys[k]);
            match = v.kind() == keyOf[k].kind() ? v == keyOf[k] : v.toText() == keyOf[k].toText();
        }
        if (match) return lookup->valueAt(row, r.result);
    }
    return {};
}

data::Value GridLookups::valueOfCurrent(int which, const data::CachedResultSet* set) const {
    return value(which, set, [set](int index) { return set->value(index); });
}

data::Value GridLookups::valueOfRow(int which, const data::CachedResultSet* set, int row) const {
    return value(which, set, [set, row](int index) { return set->valueShown(row, index); });
}

std::vector<data::Value> GridLookups::keyValues(int which, const data::CachedResultSet& set) const {
    std::vector<data::Value> out;
    for (const std::string& key : splitFieldNames(defs_.at(which).keyFields))
        out.push_back(set.value(set.fieldByName(key)));
    return out;
}

}  // namespace enviozvr::grid
