// The cached result set itself: reading rows, the cursor, bookmarks, fields and values.
#include "data/dataset.h"

#include <algorithm>

#include "data/errors.h"
#include "data/names.h"
#include "data/rowstore.h"

namespace enviozvr::data {

CachedResultSet::CachedResultSet(std::string name, Provider& provider)
    : name_(std::move(name)), provider_(&provider) {}

CachedResultSet::~CachedResultSet() = default;

void CachedResultSet::declareField(Field field) { declared_.push_back(std::move(field)); }

void CachedResultSet::clearDeclaredFields() { declared_.clear(); }

void CachedResultSet::open() {
    if (active()) return;
    fetchFromProvider();
}

void CachedResultSet::fetchFromProvider() {
    try {
        std::unique_ptr<Cursor> cursor = provider_->openSource(commandText_);
        fetchInto(*cursor);
        cursor->close();
    } catch (const DatabaseError& error) {
        provider_->source().connection().dropIfLost(error);
        throw;
    }
}

void CachedResultSet::fetchInto(Cursor& cursor) {
    std::vector<Field> columns = cursor.fields();
    auto store = std::make_unique<RowStore>(columns);
    Row row(columns.size());
    std::vector<bool> trim(columns.size());
    for (size_t c = 0; c < columns.size(); ++c)
        trim[c] = !keepTrailingBlanks_ && columns[c].type == FieldType::String;
    while (cursor.fetch()) {
        for (size_t c = 0; c < columns.size(); ++c) {
            Value v = cursor.value(static_cast<int>(c));
            if (trim[c] && !v.isNull() && !v.asString().empty() && v.asString().back() == ' ')
                v = Value::text(trimTrailingBlanks(v.asString()));
            row[c] = std::move(v);
        }
        store->rows.push_back({store->encode(row), store->nextId++});
    }
    std::vector<Field> fields;
    std::vector<int> map;
    if (declared_.empty()) {
        fields = columns;
        for (size_t c = 0; c < columns.size(); ++c) map.push_back(static_cast<int>(c));
    } else {
        for (const Field& d : declared_) {
            auto it = std::find_if(columns.begin(), columns.end(),
                                   [&](const Field& c) { return c.name == d.name; });
            if (it == columns.end()) throw DataError("Field '" + d.name + "' not found");
            if (d.type != it->type)
                throw DataError("Type mismatch for field '" + d.name + "', expecting: " +
                                fieldTypeName(d.type) + " actual: " + fieldTypeName(it->type));
            Field bound = d;
            if (bound.type == FieldType::String && (bound.size == 0 || bound.size > it->size))
                bound.size = it->size;
            bound.readOnly = it->readOnly;
            fields.push_back(std::move(bound));
            map.push_back(static_cast<int>(it - columns.begin()));
        }
    }
    store_ = std::move(store);
    columns_ = std::move(columns);
    fields_ = std::move(fields);
    fieldColumns_ = std::move(map);
    changes_.clear();
    state_ = DataSetState::Browse;
    current_ = -1;
    settleRead();
}

void CachedResultSet::settleRead() {
    try {
        applyRowFilter();
        store_->baseline = store_->rows;
        orderRows();
    } catch (...) {
        close();
        throw;
    }
    first();
}

void CachedResultSet::loadRows(std::vector<Field> fields, std::vector<Row> rows) {
    close();
    auto store = std::make_unique<RowStore>(fields);
    for (auto& r : rows) {
        r.resize(fields.size());
        for (size_t c = 0; c < fields.size(); ++c) r[c] = coerceToField(r[c], fields[c]);
        store->rows.push_back({store->encode(r), store->nextId++});
    }
    store_ = std::move(store);
    columns_ = fields;
    fields_ = std::move(fields);
    fieldColumns_.clear();
    for (size_t c = 0; c < fields_.size(); ++c) fieldColumns_.push_back(static_cast<int>(c));
    changes_.clear();
    state_ = DataSetState::Browse;
    current_ = -1;
    settleRead();
}

void CachedResultSet::close() {
    store_.reset();
    changes_.clear();
    fields_.clear();
    columns_.clear();
    fieldColumns_.clear();
    state_ = DataSetState::Inactive;
    current_ = -1;
    eof_ = bof_ = true;
}

void CachedResultSet::refresh() {
    if (!active()) return;
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit) endEditing();
    if (!changes_.empty()) throw DataError("Must apply updates before refreshing data");
    int position = current_;
    fetchFromProvider();
    if (position >= 0 && recordCount() > 0) setCurrent(std::min(position, recordCount() - 1));
}

void CachedResultSet::execute() { provider_->execute(commandText_); }

int CachedResultSet::recordCount() const {
    return store_ ? static_cast<int>(store_->rows.size()) : 0;
}

void CachedResultSet::setCurrent(int index) {
    int n = recordCount();
    if (n == 0) {
        current_ = -1;
        eof_ = bof_ = true;
        return;
    }
    current_ = std::clamp(index, 0, n - 1);
    eof_ = bof_ = false;
}

void CachedResultSet::first() {
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit) endEditing();
    setCurrent(0);
    bof_ = true;
    eof_ = recordCount() == 0;
}

void CachedResultSet::last() {
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit) endEditing();
    setCurrent(recordCount() - 1);
    eof_ = true;
    bof_ = recordCount() == 0;
}

void CachedResultSet::next() {
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit) endEditing();
    if (recordCount() == 0) return;
    bof_ = false;
    if (current_ + 1 >= recordCount()) {
        eof_ = true;
        return;
    }
    ++current_;
    eof_ = false;
}

void CachedResultSet::prior() {
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit) endEditing();
    if (recordCount() == 0) return;
    eof_ = false;
    if (current_ <= 0) {
        bof_ = true;
        return;
    }
    --current_;
    bof_ = false;
}

void CachedResultSet::moveTo(int index) {
    // `index` counts the rows as shown: a new row never changed is dropped on leaving it,
    // and the rows after it move up.
    if (state_ == DataSetState::Insert && !editChanged_ && index > insertAt_) --index;
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit) endEditing();
    setCurrent(index);
}

CachedResultSet::Bookmark CachedResultSet::bookmark() const {
    if (current_ < 0 || !store_) return 0;
    return store_->rows[current_].id;
}

bool CachedResultSet::bookmarkValid(Bookmark b) const {
    return b != 0 && store_ && store_->indexOf(b) >= 0;
}

void CachedResultSet::gotoBookmark(Bookmark b) {
    int at = store_ ? store_->indexOf(b) : -1;
    if (at < 0) throw DataError("Record not found");
    moveTo(at);
}

int CachedResultSet::fieldIndex(const std::string& name) const {
    for (size_t i = 0; i < fields_.size(); ++i)
        if (sameName(fields_[i].name, name)) return static_cast<int>(i);
    return -1;
}

int CachedResultSet::fieldByName(const std::string& name) const {
    int i = fieldIndex(name);
    if (i < 0) throw DataError("Field '" + name + "' not found");
    return i;
}

Value CachedResultSet::value(int field) const {
    if (field < 0 || field >= fieldCount()) throw DataError("Field index out of range");
    int column = fieldColumns_[field];
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit) return editRow_[column];
    if (current_ < 0) return Value::null();
    return store_->decode(store_->rows[current_].data, column);
}

Value CachedResultSet::valueAt(int row, int field) const {
    if (field < 0 || field >= fieldCount()) throw DataError("Field index out of range");
    if (row < 0 || row >= recordCount()) return Value::null();
    return store_->decode(store_->rows[row].data, fieldColumns_[field]);
}

int CachedResultSet::rowsShown() const {
    return recordCount() + (state_ == DataSetState::Insert ? 1 : 0);
}

Value CachedResultSet::valueShown(int row, int field) const {
    if (state_ == DataSetState::Insert) {
        if (row == insertAt_) return value(field);
        if (row > insertAt_) --row;
    } else if (state_ == DataSetState::Edit && row == current_) {
        return value(field);
    }
    return valueAt(row, field);
}

int64_t CachedResultSet::asInteger(int field) const {
    Value v = value(field);
    if (v.isNull()) return 0;
    if (v.kind() == Value::Kind::Float || v.kind() == Value::Kind::Text)
        return fixedPointFor(v, 0, 8, fields_[field].name);
    return v.asInteger();
}

int64_t CachedResultSet::asCurrency(int field) const {
    Value v = value(field);
    if (v.isNull()) return 0;
    return fixedPointFor(v, 4, 8, fields_[field].name);
}

size_t CachedResultSet::memoryBytes() const {
    if (!store_) return 0;
    return store_->arenaBytes - (store_->chunkCapacity - store_->chunkUsed) +
           store_->rows.capacity() * sizeof(RowStore::RowRef);
}

}  // namespace enviozvr::data
