#include "data/rowindex.h"

#include <algorithm>

#include "data/dataset.h"
#include "data/errors.h"
#include "data/names.h"
#include "data/rowstore.h"

namespace enviozvr::data {

namespace {

template <class T>
int threeWay(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

bool isNumeric(Value::Kind k) {
    return k == Value::Kind::Integer || k == Value::Kind::Decimal || k == Value::Kind::Float;
}

int compareTexts(const std::string& a, const std::string& b, bool caseInsensitive) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (caseInsensitive) {
            x = upperCase1252(x);
            y = upperCase1252(y);
        }
        if (x != y) return x < y ? -1 : 1;
    }
    return threeWay(a.size(), b.size());
}

int compareValues(const Value& a, const Value& b, bool caseInsensitive);

// The values of one index key over every row, held by kind for quick comparison: numbers
// of one kind and dates as integers or doubles, texts as bytes (upper-cased once when the
// index ignores case); a key of mixed kinds keeps its values.
class IndexKeyColumn {
  public:
    void fill(std::vector<Value> fetched, bool descending, bool caseInsensitive) {
        descending_ = descending;
        caseInsensitive_ = caseInsensitive;
        Value::Kind kind = Value::Kind::Null;
        bool mixed = false;
        for (const Value& v : fetched) {
            if (v.isNull()) continue;
            if (kind == Value::Kind::Null)
                kind = v.kind();
            else if (v.kind() != kind)
                mixed = true;
        }
        const size_t n = fetched.size();
        nulls_.assign(n, 0);
        for (size_t i = 0; i < n; ++i) nulls_[i] = fetched[i].isNull();
        generic_ = std::move(fetched);
        if (mixed || kind == Value::Kind::Null) {
            mode_ = Mode::Generic;
            return;
        }
        const std::vector<Value>& values = generic_;
        switch (kind) {
            case Value::Kind::Text:
                mode_ = Mode::Text;
                texts_.resize(n);
                if (caseInsensitive) upper_.resize(n);
                for (size_t i = 0; i < n; ++i) {
                    if (nulls_[i]) continue;
                    if (!caseInsensitive) {
                        texts_[i] = values[i].asString();
                        continue;
                    }
                    upper_[i] = values[i].asString();
                    for (char& c : upper_[i])
                        c = static_cast<char>(upperCase1252(static_cast<unsigned char>(c)));
                    texts_[i] = upper_[i];
                }
                prefixes_.assign(n, 0);
                for (size_t i = 0; i < n; ++i) {
                    uint64_t p = 0;
                    const std::string_view t = texts_[i];
                    for (size_t k = 0; k < 8; ++k)
                        p = (p << 8) | (k < t.size() ? static_cast<unsigned char>(t[k]) : 0u);
                    prefixes_[i] = p;
                }
                return;
            case Value::Kind::Float:
            case Value::Kind::Decimal:
                mode_ = Mode::Real;
                reals_.resize(n);
                for (size_t i = 0; i < n; ++i)
                    if (!nulls_[i]) reals_[i] = values[i].asDouble();
                return;
            default:
                mode_ = Mode::Integer;
                integers_.resize(n);
                for (size_t i = 0; i < n; ++i) {
                    if (nulls_[i]) continue;
                    const Value& v = values[i];
                    switch (kind) {
                        case Value::Kind::Integer:
                            integers_[i] = v.asInteger();
                            break;
                        case Value::Kind::Date:
                            integers_[i] = v.asDate().days;
                            break;
                        case Value::Kind::Time:
                            integers_[i] = v.asTime().fractions;
                            break;
                        case Value::Kind::Timestamp: {
                            const Timestamp t = v.asTimestamp();
                            integers_[i] = int64_t(t.date.days) * 864000000 + t.time.fractions;
                            break;
                        }
                        case Value::Kind::Boolean:
                            integers_[i] = v.asBoolean();
                            break;
                        default:
                            break;
                    }
                }
                return;
        }
    }

    // The order of rows a and b by this key, the key's direction applied.
    int compare(uint32_t a, uint32_t b) const {
        int c;
        if (nulls_[a] || nulls_[b]) {
            c = nulls_[a] == nulls_[b] ? 0 : (nulls_[a] ? -1 : 1);
        } else {
            switch (mode_) {
                case Mode::Integer:
                    c = threeWay(integers_[a], integers_[b]);
                    break;
                case Mode::Real:
                    c = threeWay(reals_[a], reals_[b]);
                    break;
                case Mode::Text: {
                    // The first eight bytes as one big-endian number decide most
                    // comparisons; texts that agree there and are longer are compared whole.
                    if (prefixes_[a] != prefixes_[b]) {
                        c = prefixes_[a] < prefixes_[b] ? -1 : 1;
                    } else if (texts_[a].size() <= 8 && texts_[b].size() <= 8) {
                        c = threeWay(texts_[a].size(), texts_[b].size());
                    } else {
                        const int r = texts_[a].compare(texts_[b]);
                        c = r < 0 ? -1 : (r > 0 ? 1 : 0);
                    }
                    break;
                }
                default:
                    c = compareValues(generic_[a], generic_[b], caseInsensitive_);
                    break;
            }
        }
        return descending_ ? -c : c;
    }

  private:
    enum class Mode { Integer, Real, Text, Generic };
    Mode mode_ = Mode::Generic;
    bool descending_ = false;
    bool caseInsensitive_ = false;
    std::vector<uint8_t> nulls_;
    std::vector<int64_t> integers_;
    std::vector<double> reals_;
    std::vector<std::string_view> texts_;  // into generic_, or into upper_
    std::vector<uint64_t> prefixes_;
    std::vector<std::string> upper_;
    std::vector<Value> generic_;
};

int compareValues(const Value& a, const Value& b, bool caseInsensitive) {
    return compareKeyValues(a, b, caseInsensitive);
}

}  // namespace

std::vector<std::string> splitFieldNames(const std::string& names) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= names.size()) {
        size_t end = names.find(';', start);
        if (end == std::string::npos) end = names.size();
        std::string part = names.substr(start, end - start);
        const size_t a = part.find_first_not_of(' ');
        const size_t b = part.find_last_not_of(' ');
        if (a != std::string::npos) out.push_back(part.substr(a, b - a + 1));
        start = end + 1;
    }
    return out;
}

int compareKeyValues(const Value& a, const Value& b, bool caseInsensitive) {
    if (a.isNull() || b.isNull()) return a.isNull() == b.isNull() ? 0 : (a.isNull() ? -1 : 1);
    const Value::Kind ka = a.kind();
    const Value::Kind kb = b.kind();
    if (ka == kb) {
        switch (ka) {
            case Value::Kind::Integer:
                return threeWay(a.asInteger(), b.asInteger());
            case Value::Kind::Decimal: {
                const Decimal x = a.asDecimal();
                const Decimal y = b.asDecimal();
                if (x.scale == y.scale) return threeWay(x.unscaled, y.unscaled);
                return threeWay(x.toDouble(), y.toDouble());
            }
            case Value::Kind::Float:
                return threeWay(a.asDouble(), b.asDouble());
            case Value::Kind::Text:
                return compareTexts(a.asString(), b.asString(), caseInsensitive);
            case Value::Kind::Date:
                return threeWay(a.asDate(), b.asDate());
            case Value::Kind::Time:
                return threeWay(a.asTime(), b.asTime());
            case Value::Kind::Timestamp:
                return threeWay(a.asTimestamp(), b.asTimestamp());
            case Value::Kind::Boolean:
                return threeWay(a.asBoolean(), b.asBoolean());
            case Value::Kind::Null:
                return 0;
        }
    }
    if (isNumeric(ka) && isNumeric(kb)) return threeWay(a.asDouble(), b.asDouble());
    return compareTexts(a.toText(), b.toText(), caseInsensitive);
}

void CachedResultSet::addIndex(const std::string& name, const std::string& fields, uint8_t options,
                               const std::string& descFields) {
    if (active())
        for (const std::string& f : splitFieldNames(fields)) keyFunction(f);
    IndexDef def{name, fields, descFields, options};
    for (IndexDef& existing : indexes_) {
        if (sameName(existing.name, name)) {
            existing = std::move(def);
            if (sameName(indexName_, name)) orderRows();
            return;
        }
    }
    indexes_.push_back(std::move(def));
}

bool CachedResultSet::hasIndex(const std::string& name) const {
    return std::any_of(indexes_.begin(), indexes_.end(),
                       [&](const IndexDef& d) { return sameName(d.name, name); });
}

void CachedResultSet::deleteIndex(const std::string& name) {
    auto it = std::find_if(indexes_.begin(), indexes_.end(),
                           [&](const IndexDef& d) { return sameName(d.name, name); });
    if (it == indexes_.end()) throw DataError("Index '" + name + "' not found");
    const bool wasCurrent = sameName(indexName_, name);
    indexes_.erase(it);
    if (wasCurrent) {
        indexName_.clear();
        orderRows();
    }
}

void CachedResultSet::setIndexName(const std::string& name) {
    if (!name.empty() && !hasIndex(name)) throw DataError("Index '" + name + "' not found");
    indexName_ = name;
    try {
        orderRows();
    } catch (...) {
        indexName_.clear();
        orderRows();
        throw;
    }
}

void CachedResultSet::orderRows() {
    if (!store_) return;
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit) endEditing();
    auto& rows = store_->rows;
    const Bookmark keep = current_ >= 0 ? rows[current_].id : 0;
    // Natural order: the order of the read (rows inserted since come after them).
    auto byId = [](const RowStore::RowRef& a, const RowStore::RowRef& b) { return a.id < b.id; };
    if (!std::is_sorted(rows.begin(), rows.end(), byId)) {
        // Ids are handed out in order from one counter: when they lie close together each
        // row goes straight to its place.
        const auto [lo, hi] = std::minmax_element(rows.begin(), rows.end(), byId);
        const uint64_t span = hi->id - lo->id + 1;
        if (span <= 4 * rows.size()) {
            std::vector<RowStore::RowRef> slots(span, RowStore::RowRef{nullptr, 0});
            const uint64_t base = lo->id;
            for (const RowStore::RowRef& r : rows) slots[r.id - base] = r;
            size_t out = 0;
            for (const RowStore::RowRef& r : slots)
                if (r.id != 0) rows[out++] = r;
        } else {
            std::sort(rows.begin(), rows.end(), byId);
        }
    }
    if (!indexName_.empty()) {
        const IndexDef& def =
            *std::find_if(indexes_.begin(), indexes_.end(),
                          [&](const IndexDef& d) { return sameName(d.name, indexName_); });
        const std::vector<std::string> names = splitFieldNames(def.fields);
        const std::vector<std::string> descending = splitFieldNames(def.descFields);
        const bool caseInsensitive = (def.options & ixCaseInsensitive) != 0;
        const size_t n = rows.size();
        std::vector<IndexKeyColumn> keys(names.size());
        for (size_t k = 0; k < names.size(); ++k) {
            KeyFunction key = keyFunction(names[k]);
            const bool desc =
                (def.options & ixDescending) != 0 ||
                std::any_of(descending.begin(), descending.end(),
                            [&](const std::string& d) { return sameName(d, names[k]); });
            std::vector<Value> values;
            values.reserve(n);
            for (const RowStore::RowRef& r : rows) values.push_back(key(RowValues(*this, r.data)));
            keys[k].fill(std::move(values), desc, caseInsensitive);
        }
        std::vector<uint32_t> order(n);
        for (size_t i = 0; i < n; ++i) order[i] = static_cast<uint32_t>(i);
        std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
            for (const IndexKeyColumn& key : keys) {
                const int c = key.compare(a, b);
                if (c != 0) return c < 0;
            }
            return false;
        });
        std::vector<RowStore::RowRef> sorted;
        sorted.reserve(n);
        for (uint32_t i : order) sorted.push_back(rows[i]);
        rows = std::move(sorted);
    }
    if (keep != 0) {
        const int at = store_->indexOf(keep);
        setCurrent(at < 0 ? current_ : at);
    }
}

}  // namespace enviozvr::data
