#include "data/calculatedfields.h"

#include <algorithm>

#include "data/dataset.h"
#include "data/errors.h"
#include "data/names.h"
#include "data/rowstore.h"

namespace enviozvr::data {

Value RowValues::operator[](int field) const {
    const RowStore& store = *set_->store_;
    return store.decode(static_cast<const unsigned char*>(row_), set_->fieldColumns_.at(field));
}

void CachedResultSet::defineCalculatedField(const std::string& name, CalculatedField field) {
    for (auto& entry : calculated_) {
        if (sameName(entry.first, name)) {
            entry.second = std::move(field);
            return;
        }
    }
    calculated_.emplace_back(name, std::move(field));
}

KeyFunction CachedResultSet::keyFunction(const std::string& name) const {
    const int index = fieldIndex(name);
    if (index >= 0) return [index](const RowValues& row) { return row[index]; };
    for (const auto& entry : calculated_)
        if (sameName(entry.first, name)) return entry.second(*this);
    throw DataError("Field '" + name + "' not found");
}

void CachedResultSet::applyRowFilter() {
    if (!rowFilter_ || !store_) return;
    RowTest test = rowFilter_(*this);
    if (!test) return;
    auto& rows = store_->rows;
    rows.erase(
        std::remove_if(rows.begin(), rows.end(),
                       [&](const RowStore::RowRef& r) { return !test(RowValues(*this, r.data)); }),
        rows.end());
}

}  // namespace enviozvr::data
