#include "data/dataset.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "data/errors.h"

namespace enviozvr::data {

namespace {

const char* const kCrLf = "\r\n";

bool isQuoteChar(char c) { return c == '"' || c == '\'' || c == '`'; }

std::string trimTrailingBlanks(std::string s)
{
    size_t end = s.find_last_not_of(' ');
    s.erase(end == std::string::npos ? 0 : end + 1);
    return s;
}

std::string quotedColumn(const std::string& name)
{
    return std::string(1, Connection::identifierQuote()) + name + Connection::identifierQuote();
}

// Strings of 8191 characters or more (8192 bytes with their terminator) cannot be compared
// in a WHERE clause, and neither can blobs.
bool whereEligible(const Field& f, const Value& old)
{
    if (f.type == FieldType::Blob) return false;
    if (f.type == FieldType::String) {
        size_t width = f.size > 0 ? static_cast<size_t>(f.size)
                                  : (old.kind() == Value::Kind::Text ? old.asString().size() : 0);
        if (width >= 8191) return false;
    }
    return true;
}

int integerWidth(const Field& f) { return (f.size == 2 || f.size == 4) ? f.size : 8; }

// Converts a value to the kind a field holds.
Value coerce(const Value& v, const Field& f)
{
    if (v.isNull()) return v;
    switch (f.type) {
        case FieldType::Integer: return Value::integer(fixedPointFor(v, 0, integerWidth(f), f.name));
        case FieldType::Decimal: {
            // Keep every digit a decimal has when the field declares fewer (the row then
            // holds it in 64 bits at its own scale).
            if (v.kind() == Value::Kind::Decimal && v.asDecimal().scale > f.scale) {
                fixedPointFor(v, f.scale, integerWidth(f), f.name);  // checks the range only
                return v;
            }
            return Value::decimal(fixedPointFor(v, f.scale, integerWidth(f), f.name), f.scale);
        }
        case FieldType::Float: return Value::real(v.asDouble());
        case FieldType::String:
        case FieldType::Blob:
            return v.kind() == Value::Kind::Text ? v : Value::text(v.toText());
        case FieldType::Date: return Value::date(v.asDate());
        case FieldType::Time: return Value::time(v.asTime());
        case FieldType::Timestamp: return Value::timestamp(v.asTimestamp());
        case FieldType::Boolean:
            return v.kind() == Value::Kind::Boolean ? v : Value::boolean(v.asInteger() != 0);
    }
    return v;
}

void putVarint(std::vector<unsigned char>& out, uint64_t n)
{
    while (n >= 0x80) {
        out.push_back(static_cast<unsigned char>(n | 0x80));
        n >>= 7;
    }
    out.push_back(static_cast<unsigned char>(n));
}

uint64_t getVarint(const unsigned char*& p)
{
    uint64_t n = 0;
    int shift = 0;
    while (*p & 0x80) {
        n |= static_cast<uint64_t>(*p++ & 0x7f) << shift;
        shift += 7;
    }
    n |= static_cast<uint64_t>(*p++) << shift;
    return n;
}

template <class T>
void put(std::vector<unsigned char>& out, T v)
{
    unsigned char b[sizeof(T)];
    std::memcpy(b, &v, sizeof v);
    out.insert(out.end(), b, b + sizeof v);
}

template <class T>
T get(const unsigned char*& p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    p += sizeof v;
    return v;
}

}  // namespace

// Rows packed into byte arenas: a null bitmap, then each non-null value in column order
// (fixed-width numbers and dates, length-prefixed texts). Rows are never changed in
// place: an edited row is encoded anew and the index points at the new bytes.
struct CachedResultSet::Store {
    struct RowRef {
        const unsigned char* data;
        uint64_t id;
    };

    explicit Store(std::vector<Field> cols) : columns(std::move(cols)) {}

    const unsigned char* encode(const Row& row)
    {
        scratch.clear();
        size_t bitmap = (columns.size() + 7) / 8;
        scratch.assign(bitmap, 0);
        for (size_t c = 0; c < columns.size(); ++c) {
            const Value& v = row[c];
            if (v.isNull()) {
                scratch[c / 8] |= static_cast<unsigned char>(1u << (c % 8));
                continue;
            }
            const Field& f = columns[c];
            switch (f.type) {
                case FieldType::Integer: {
                    int64_t n = v.asInteger();
                    int w = integerWidth(f);
                    if (w == 2) put<int16_t>(scratch, static_cast<int16_t>(n));
                    else if (w == 4) put<int32_t>(scratch, static_cast<int32_t>(n));
                    else put<int64_t>(scratch, n);
                    break;
                }
                case FieldType::Decimal: {
                    Decimal d = v.asDecimal();
                    scratch.push_back(static_cast<unsigned char>(d.scale));
                    put<int64_t>(scratch, d.unscaled);
                    break;
                }
                case FieldType::Float: put<double>(scratch, v.asDouble()); break;
                case FieldType::String:
                case FieldType::Blob: {
                    const std::string& s = v.asString();
                    putVarint(scratch, s.size());
                    scratch.insert(scratch.end(), s.begin(), s.end());
                    break;
                }
                case FieldType::Date: put<int32_t>(scratch, v.asDate().days); break;
                case FieldType::Time: put<uint32_t>(scratch, v.asTime().fractions); break;
                case FieldType::Timestamp: {
                    auto ts = v.asTimestamp();
                    put<int32_t>(scratch, ts.date.days);
                    put<uint32_t>(scratch, ts.time.fractions);
                    break;
                }
                case FieldType::Boolean: scratch.push_back(v.asBoolean() ? 1 : 0); break;
            }
        }
        return allocate(scratch);
    }

    const unsigned char* allocate(const std::vector<unsigned char>& bytes)
    {
        size_t n = bytes.size();
        if (chunks.empty() || chunkUsed + n > chunkCapacity) {
            // Chunks grow from small to kChunk, so that the many sets of one or a few rows
            // (a lookup per event) cost neither a large allocation nor its zeroing.
            const size_t next = chunks.empty() ? kFirstChunk : std::min(kChunk, chunkCapacity * 2);
            chunkCapacity = std::max<size_t>(next, n);
            chunks.push_back(std::make_unique_for_overwrite<unsigned char[]>(chunkCapacity));
            chunkUsed = 0;
            arenaBytes += chunkCapacity;
        }
        unsigned char* at = chunks.back().get() + chunkUsed;
        if (n) std::memcpy(at, bytes.data(), n);
        chunkUsed += n;
        return at;
    }

    Value decode(const unsigned char* row, size_t column) const
    {
        const unsigned char* bitmap = row;
        auto isNull = [&](size_t c) { return (bitmap[c / 8] >> (c % 8)) & 1; };
        if (isNull(column)) return Value::null();
        const unsigned char* p = row + (columns.size() + 7) / 8;
        for (size_t c = 0; c < column; ++c) {
            if (!isNull(c)) skip(p, columns[c]);
        }
        const Field& f = columns[column];
        switch (f.type) {
            case FieldType::Integer: {
                int w = integerWidth(f);
                if (w == 2) return Value::integer(get<int16_t>(p));
                if (w == 4) return Value::integer(get<int32_t>(p));
                return Value::integer(get<int64_t>(p));
            }
            case FieldType::Decimal: {
                int scale = *p++;
                return Value::decimal(get<int64_t>(p), scale);
            }
            case FieldType::Float: return Value::real(get<double>(p));
            case FieldType::String:
            case FieldType::Blob: {
                uint64_t n = getVarint(p);
                return Value::text(std::string(reinterpret_cast<const char*>(p), n));
            }
            case FieldType::Date: return Value::date(Date{get<int32_t>(p)});
            case FieldType::Time: return Value::time(Time{get<uint32_t>(p)});
            case FieldType::Timestamp: {
                int32_t d = get<int32_t>(p);
                return Value::timestamp(Timestamp{Date{d}, Time{get<uint32_t>(p)}});
            }
            case FieldType::Boolean: return Value::boolean(*p != 0);
        }
        return Value::null();
    }

    static void skip(const unsigned char*& p, const Field& f)
    {
        switch (f.type) {
            case FieldType::Integer: p += integerWidth(f); break;
            case FieldType::Decimal: p += 1 + 8; break;
            case FieldType::Float: p += 8; break;
            case FieldType::String:
            case FieldType::Blob: {
                uint64_t n = getVarint(p);
                p += n;
                break;
            }
            case FieldType::Date:
            case FieldType::Time: p += 4; break;
            case FieldType::Timestamp: p += 8; break;
            case FieldType::Boolean: p += 1; break;
        }
    }

    Row decodeRow(const unsigned char* row) const
    {
        Row out;
        out.reserve(columns.size());
        for (size_t c = 0; c < columns.size(); ++c) out.push_back(decode(row, c));
        return out;
    }

    int indexOf(uint64_t id) const
    {
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i].id == id) return static_cast<int>(i);
        return -1;
    }

    static constexpr size_t kFirstChunk = 1 << 12;
    static constexpr size_t kChunk = 1 << 20;
    std::vector<Field> columns;
    std::vector<std::unique_ptr<unsigned char[]>> chunks;
    size_t chunkUsed = 0;
    size_t chunkCapacity = 0;
    size_t arenaBytes = 0;
    std::vector<RowRef> rows;      // the rows as they are now, in order
    std::vector<RowRef> baseline;  // the rows as fetched (or as last applied)
    uint64_t nextId = 1;
    std::vector<unsigned char> scratch;
};

// ---------------------------------------------------------------------------------------
// Query and provider

Query::Query(Connection& connection, std::string sql) : connection_(&connection), sql_(std::move(sql)) {}

Query Query::table(Connection& connection, const std::string& tableName)
{
    return Query(connection, "select * from " + tableName);
}

Provider::Provider(std::string name, Query& source, bool allowCommandText)
    : name_(std::move(name)), source_(&source), allowCommandText_(allowCommandText)
{
}

void Provider::takeCommandText(const std::string& commandText)
{
    if (commandText.empty()) return;
    if (!allowCommandText_) throw DataError("CommandText changes are not allowed");
    source_->setSql(commandText);
}

std::unique_ptr<Cursor> Provider::openSource(const std::string& commandText)
{
    takeCommandText(commandText);
    return source_->connection().open(source_->sql());
}

void Provider::execute(const std::string& commandText)
{
    takeCommandText(commandText);
    source_->connection().executeImmediate(source_->sql());
}

std::string targetTableName(const std::string& sql)
{
    size_t n = sql.size();
    auto isWordChar = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
    };
    for (size_t i = 0; i + 4 <= n; ++i) {
        char c = sql[i];
        if (isQuoteChar(c)) {  // skip quoted text and names
            size_t close = sql.find(c, i + 1);
            if (close == std::string::npos) return {};
            i = close;
            continue;
        }
        if ((i > 0 && isWordChar(sql[i - 1])) || (i + 4 < n && isWordChar(sql[i + 4]))) continue;
        std::string word = sql.substr(i, 4);
        std::transform(word.begin(), word.end(), word.begin(),
                       [](unsigned char ch) { return std::tolower(ch); });
        if (word != "from") continue;
        size_t p = i + 4;
        while (p < n && std::isspace(static_cast<unsigned char>(sql[p]))) ++p;
        size_t start = p;
        while (p < n) {
            char ch = sql[p];
            if (isQuoteChar(ch)) {
                size_t close = sql.find(ch, p + 1);
                p = close == std::string::npos ? n : close + 1;
                continue;
            }
            if (std::isspace(static_cast<unsigned char>(ch)) || ch == ',' || ch == ';' ||
                ch == '(' || ch == ')')
                break;
            ++p;
        }
        return sql.substr(start, p - start);
    }
    return {};
}

std::string quotedTableName(const std::string& name)
{
    if (name.empty()) return name;
    if (isQuoteChar(name.front()) || isQuoteChar(name.back())) return name;
    std::string out;
    size_t start = 0;
    for (;;) {
        size_t dot = name.find('.', start);
        out += quotedColumn(name.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) break;
        out += '.';
        start = dot + 1;
    }
    return out;
}

namespace {

void whereLines(std::string& text, std::vector<Value>& params, const Change& change,
                const std::vector<Field>& fields)
{
    std::vector<std::string> lines;
    for (size_t c = 0; c < fields.size(); ++c) {
        const Value& old = change.oldValues[c];
        if (!whereEligible(fields[c], old)) continue;
        if (old.isNull()) {
            lines.push_back(" " + quotedColumn(fields[c].name) + " is null and");
        } else {
            lines.push_back(" " + quotedColumn(fields[c].name) + " = ? and");
            params.push_back(old);
        }
    }
    if (lines.empty()) throw DataError("Unable to find record.  No key specified");
    std::string& last = lines.back();
    last.erase(last.size() - 4);  // " and"
    for (const auto& l : lines) text += l + kCrLf;
}

}  // namespace

GeneratedStatement generateStatement(const Change& change, const std::vector<Field>& fields,
                                     const std::string& quotedTable)
{
    GeneratedStatement out;
    switch (change.kind) {
        case ukInsert: {
            std::string columns, markers;
            for (size_t c = 0; c < fields.size(); ++c) {
                if (fields[c].readOnly) continue;
                if (!columns.empty()) {
                    columns += ", ";
                    markers += ", ";
                }
                columns += quotedColumn(fields[c].name);
                markers += "?";
                out.params.push_back(change.newValues[c]);
            }
            out.text = "insert into " + quotedTable + kCrLf + "  (" + columns + ")" + kCrLf +
                       "values" + kCrLf + "  (" + markers + ")" + kCrLf;
            break;
        }
        case ukDelete:
            out.text = "delete from " + quotedTable + " " + kCrLf + "where" + kCrLf;
            whereLines(out.text, out.params, change, fields);
            break;
        case ukModify: {
            std::vector<std::string> sets;
            for (size_t c = 0; c < fields.size(); ++c) {
                bool assigned = c < change.assigned.size() && change.assigned[c];
                if (fields[c].readOnly || !assigned) continue;
                sets.push_back(" " + quotedColumn(fields[c].name) + " = ?,");
                out.params.push_back(change.newValues[c]);
            }
            if (sets.empty()) return {};
            sets.back().pop_back();
            out.text = "update " + quotedTable + "  set" + kCrLf;
            for (const auto& s : sets) out.text += s + kCrLf;
            out.text += std::string("where") + kCrLf;
            whereLines(out.text, out.params, change, fields);
            break;
        }
    }
    return out;
}

ApplyResult Provider::apply(std::vector<Change>& changes, const std::vector<Field>& fields,
                            int maxErrors)
{
    ApplyResult result;
    result.failed.assign(changes.size(), false);
    result.applied.assign(changes.size(), false);
    if (changes.empty()) return result;

    Connection& connection = source_->connection();
    bool owns = !connection.inTransaction();
    if (owns) connection.startTransaction();
    // Whatever escapes (an error raised inside the hook) leaves no transaction behind.
    struct Guard {
        Connection& c;
        bool& owns;
        ~Guard()
        {
            if (owns && c.inTransaction()) {
                try {
                    c.rollback();
                } catch (...) {
                }
            }
        }
    } guard{connection, owns};

    const std::string table = targetTableName(source_->sql());
    const std::string quoted = quotedTableName(table);
    int errors = 0;
    bool rolledBack = false;
    for (Change& change : changes) change.error.clear();  // texts of this application only
    for (size_t i = 0; i < changes.size(); ++i) {
        Change& change = changes[i];
        try {
            if (table.empty()) throw DataError("Unable to resolve records.  Table name not found.");
            GeneratedStatement statement = generateStatement(change, fields, quoted);
            if (!statement.text.empty()) {
                // The server counts an INSERT of one row of values as one row whatever the
                // target's triggers do (a view's included), or fails it: its count, a
                // request of its own, is not asked for.
                const bool counted = change.kind != ukInsert;
                const int64_t affected = connection.execute(statement.text, statement.params, counted);
                if (counted && affected > 1) {
                    if (connection.inTransaction()) connection.rollback();
                    owns = false;
                    rolledBack = true;
                    throw DataError("Update affected more than 1 record.");
                }
                if (counted && affected < 1)
                    throw DataError("Record not found or changed by another user");
            }
            result.applied[i] = true;
        } catch (const DataError& error) {
            TResolverResponse response = errors >= maxErrors ? rrAbort : rrSkip;
            if (onUpdateError) onUpdateError(this, &change, error, change.kind, response);
            ++errors;
            if (errors > maxErrors) response = rrAbort;
            result.failed[i] = true;
            change.error = error.what();
            if (response == rrAbort) break;
        }
    }
    if (owns && connection.inTransaction()) {
        if (errors <= maxErrors) {
            connection.commit();
        } else {
            connection.rollback();
            rolledBack = true;
        }
    }
    owns = false;
    // What a rollback undid did not reach the database: it stays to be applied again.
    if (rolledBack) result.applied.assign(changes.size(), false);
    result.errorCount = errors;
    return result;
}

// ---------------------------------------------------------------------------------------
// Cached result set

CachedResultSet::CachedResultSet(std::string name, Provider& provider)
    : name_(std::move(name)), provider_(&provider)
{
}

CachedResultSet::~CachedResultSet() = default;

void CachedResultSet::declareField(Field field) { declared_.push_back(std::move(field)); }

void CachedResultSet::clearDeclaredFields() { declared_.clear(); }

void CachedResultSet::open()
{
    if (active()) return;
    fetchFromProvider();
}

void CachedResultSet::fetchFromProvider()
{
    try {
        std::unique_ptr<Cursor> cursor = provider_->openSource(commandText_);
        fetchInto(*cursor);
        cursor->close();
    } catch (const DatabaseError& error) {
        provider_->source().connection().dropIfLost(error);
        throw;
    }
}

void CachedResultSet::fetchInto(Cursor& cursor)
{
    std::vector<Field> columns = cursor.fields();
    auto store = std::make_unique<Store>(columns);
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

void CachedResultSet::settleRead()
{
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

void CachedResultSet::loadRows(std::vector<Field> fields, std::vector<Row> rows)
{
    close();
    auto store = std::make_unique<Store>(fields);
    for (auto& r : rows) {
        r.resize(fields.size());
        for (size_t c = 0; c < fields.size(); ++c) r[c] = coerce(r[c], fields[c]);
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

void CachedResultSet::close()
{
    store_.reset();
    changes_.clear();
    fields_.clear();
    columns_.clear();
    fieldColumns_.clear();
    state_ = DataSetState::Inactive;
    current_ = -1;
    eof_ = bof_ = true;
}

void CachedResultSet::refresh()
{
    if (!active()) return;
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit) endEditing();
    if (!changes_.empty()) throw DataError("Must apply updates before refreshing data");
    int position = current_;
    fetchFromProvider();
    if (position >= 0 && recordCount() > 0) setCurrent(std::min(position, recordCount() - 1));
}

void CachedResultSet::execute() { provider_->execute(commandText_); }

int CachedResultSet::recordCount() const
{
    return store_ ? static_cast<int>(store_->rows.size()) : 0;
}

void CachedResultSet::setCurrent(int index)
{
    int n = recordCount();
    if (n == 0) {
        current_ = -1;
        eof_ = bof_ = true;
        return;
    }
    current_ = std::clamp(index, 0, n - 1);
    eof_ = bof_ = false;
}

void CachedResultSet::first()
{
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit) endEditing();
    setCurrent(0);
    bof_ = true;
    eof_ = recordCount() == 0;
}

void CachedResultSet::last()
{
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit) endEditing();
    setCurrent(recordCount() - 1);
    eof_ = true;
    bof_ = recordCount() == 0;
}

void CachedResultSet::next()
{
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

void CachedResultSet::prior()
{
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

void CachedResultSet::moveTo(int index)
{
    // `index` counts the rows as shown: a new row never changed is dropped on leaving it,
    // and the rows after it move up.
    if (state_ == DataSetState::Insert && !editChanged_ && index > insertAt_) --index;
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit) endEditing();
    setCurrent(index);
}

CachedResultSet::Bookmark CachedResultSet::bookmark() const
{
    if (current_ < 0 || !store_) return 0;
    return store_->rows[current_].id;
}

bool CachedResultSet::bookmarkValid(Bookmark b) const
{
    return b != 0 && store_ && store_->indexOf(b) >= 0;
}

void CachedResultSet::gotoBookmark(Bookmark b)
{
    int at = store_ ? store_->indexOf(b) : -1;
    if (at < 0) throw DataError("Record not found");
    moveTo(at);
}

int CachedResultSet::fieldIndex(const std::string& name) const
{
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i].name.size() != name.size()) continue;
        bool same = std::equal(name.begin(), name.end(), fields_[i].name.begin(),
                               [](unsigned char a, unsigned char b) {
                                   return std::toupper(a) == std::toupper(b);
                               });
        if (same) return static_cast<int>(i);
    }
    return -1;
}

int CachedResultSet::fieldByName(const std::string& name) const
{
    int i = fieldIndex(name);
    if (i < 0) throw DataError("Field '" + name + "' not found");
    return i;
}

Value CachedResultSet::value(int field) const
{
    if (field < 0 || field >= fieldCount()) throw DataError("Field index out of range");
    int column = fieldColumns_[field];
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit) return editRow_[column];
    if (current_ < 0) return Value::null();
    return store_->decode(store_->rows[current_].data, column);
}

Value CachedResultSet::valueAt(int row, int field) const
{
    if (field < 0 || field >= fieldCount()) throw DataError("Field index out of range");
    if (row < 0 || row >= recordCount()) return Value::null();
    return store_->decode(store_->rows[row].data, fieldColumns_[field]);
}

int CachedResultSet::rowsShown() const
{
    return recordCount() + (state_ == DataSetState::Insert ? 1 : 0);
}

Value CachedResultSet::valueShown(int row, int field) const
{
    if (state_ == DataSetState::Insert) {
        if (row == insertAt_) return value(field);
        if (row > insertAt_) --row;
    } else if (state_ == DataSetState::Edit && row == current_) {
        return value(field);
    }
    return valueAt(row, field);
}

int64_t CachedResultSet::asInteger(int field) const
{
    Value v = value(field);
    if (v.isNull()) return 0;
    if (v.kind() == Value::Kind::Float || v.kind() == Value::Kind::Text)
        return fixedPointFor(v, 0, 8, fields_[field].name);
    return v.asInteger();
}

int64_t CachedResultSet::asCurrency(int field) const
{
    Value v = value(field);
    if (v.isNull()) return 0;
    return fixedPointFor(v, 4, 8, fields_[field].name);
}

size_t CachedResultSet::memoryBytes() const
{
    if (!store_) return 0;
    return store_->arenaBytes - (store_->chunkCapacity - store_->chunkUsed) +
           store_->rows.capacity() * sizeof(Store::RowRef);
}

template <class F>
void CachedResultSet::underHook(const DataSetErrorHook& hook, F&& operation)
{
    for (;;) {
        try {
            operation();
            return;
        } catch (const DataError& error) {
            if (!hook) throw;
            TDataAction action = daFail;
            hook(*this, error, action);
            if (action == daFail) throw;
            if (action == daAbort) throw SilentAbort();
        }
    }
}

void CachedResultSet::insert()
{
    if (!active()) throw DataError("Cannot perform this operation on a closed dataset");
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit) endEditing();
    editRow_.assign(columns_.size(), Value::null());
    editAssigned_.assign(columns_.size(), false);
    editChanged_ = false;
    insertAt_ = current_ < 0 ? 0 : current_;
    state_ = DataSetState::Insert;
}

void CachedResultSet::append()
{
    insert();
    insertAt_ = recordCount();
}

void CachedResultSet::edit()
{
    if (!active()) throw DataError("Cannot perform this operation on a closed dataset");
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit) return;
    underHook(onEditError, [&] {
        if (recordCount() == 0) throw DataError("Cannot perform this operation on an empty dataset");
        editRow_ = store_->decodeRow(store_->rows[current_].data);
        editAssigned_.assign(columns_.size(), false);
        editChanged_ = false;
        state_ = DataSetState::Edit;
    });
}

void CachedResultSet::setValue(int field, Value v)
{
    if (state_ != DataSetState::Insert && state_ != DataSetState::Edit)
        throw DataError("Dataset not in edit or insert mode");
    if (field < 0 || field >= fieldCount()) throw DataError("Field index out of range");
    int column = fieldColumns_[field];
    Value stored = coerce(v, columns_[column]);
    if (!keepTrailingBlanks_ && columns_[column].type == FieldType::String && !stored.isNull())
        stored = Value::text(trimTrailingBlanks(stored.asString()));
    editRow_[column] = std::move(stored);
    editAssigned_[column] = true;
    editChanged_ = true;
}

void CachedResultSet::post()
{
    if (state_ != DataSetState::Insert && state_ != DataSetState::Edit) return;
    underHook(onPostError, [&] {
        for (int f = 0; f < fieldCount(); ++f) {
            const Field& field = fields_[f];
            if (field.required && editRow_[fieldColumns_[f]].isNull())
                throw DataError("Field '" + field.label() + "' must have a value");
        }
        const unsigned char* bytes = store_->encode(editRow_);
        if (state_ == DataSetState::Insert) {
            uint64_t id = store_->nextId++;
            int at = std::clamp(insertAt_, 0, recordCount());
            store_->rows.insert(store_->rows.begin() + at, {bytes, id});
            Change change;
            change.kind = ukInsert;
            change.newValues = editRow_;
            change.assigned.assign(columns_.size(), true);
            change.rowId = id;
            changes_.push_back(std::move(change));
            setCurrent(at);
        } else {
            Store::RowRef& ref = store_->rows[current_];
            Row old = store_->decodeRow(ref.data);
            ref.data = bytes;
            auto pending = std::find_if(changes_.begin(), changes_.end(), [&](const Change& c) {
                return c.rowId == ref.id && c.kind != ukDelete;
            });
            if (pending != changes_.end()) {
                // A row changed again before its changes were applied: one entry.
                pending->newValues = editRow_;
                for (size_t c = 0; c < editAssigned_.size(); ++c)
                    if (editAssigned_[c]) pending->assigned[c] = true;
            } else {
                Change change;
                change.kind = ukModify;
                change.oldValues = std::move(old);
                change.newValues = editRow_;
                change.assigned = editAssigned_;
                change.rowId = ref.id;
                changes_.push_back(std::move(change));
            }
        }
        state_ = DataSetState::Browse;
        eof_ = bof_ = false;
    });
}

void CachedResultSet::cancel()
{
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit) state_ = DataSetState::Browse;
    editRow_.clear();
    editAssigned_.clear();
    editChanged_ = false;
}

void CachedResultSet::endEditing()
{
    if (editChanged_)
        post();
    else
        cancel();
}

void CachedResultSet::remove()
{
    if (state_ == DataSetState::Insert) {
        cancel();
        return;
    }
    if (state_ == DataSetState::Edit) cancel();
    underHook(onDeleteError, [&] {
        if (recordCount() == 0) throw DataError("Cannot perform this operation on an empty dataset");
        Store::RowRef ref = store_->rows[current_];
        auto pending = std::find_if(changes_.begin(), changes_.end(),
                                    [&](const Change& c) { return c.rowId == ref.id; });
        if (pending != changes_.end() && pending->kind == ukInsert) {
            changes_.erase(pending);  // never reached the server: nothing to delete there
        } else {
            Change change;
            change.kind = ukDelete;
            change.rowId = ref.id;
            if (pending != changes_.end()) {
                change.oldValues = pending->oldValues;
                changes_.erase(pending);
            } else {
                change.oldValues = store_->decodeRow(ref.data);
            }
            changes_.push_back(std::move(change));
        }
        store_->rows.erase(store_->rows.begin() + current_);
        setCurrent(current_);
    });
}

void CachedResultSet::cancelUpdates()
{
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit) cancel();
    if (!store_) return;
    store_->rows = store_->baseline;
    changes_.clear();
    setCurrent(current_);
    orderRows();
}

int CachedResultSet::currentChange() const {
    if (!store_ || current_ < 0 || current_ >= recordCount()) return -1;
    const uint64_t id = store_->rows[current_].id;
    for (size_t i = 0; i < changes_.size(); ++i)
        if (changes_[i].rowId == id && changes_[i].kind != ukDelete) return static_cast<int>(i);
    return -1;
}

void CachedResultSet::revertChange(int index) {
    if (!active()) throw DataError("Cannot perform this operation on a closed dataset");
    if (index < 0 || index >= changeCount()) throw DataError("Change index out of range");
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit) cancel();
    const Change change = std::move(changes_[index]);
    changes_.erase(changes_.begin() + index);
    std::vector<Store::RowRef>& rows = store_->rows;
    const auto at = std::find_if(rows.begin(), rows.end(),
                                 [&](const Store::RowRef& r) { return r.id == change.rowId; });
    switch (change.kind) {
        case ukModify:
            if (at == rows.end()) break;
            at->data = store_->encode(change.oldValues);
            setCurrent(static_cast<int>(at - rows.begin()));
            break;
        case ukInsert:
            if (at == rows.end()) break;
            setCurrent(static_cast<int>(rows.erase(at) - rows.begin()));
            break;
        case ukDelete: {
            // Row ids follow the order of the read (rows added later come after it).
            const auto place = std::find_if(rows.begin(), rows.end(), [&](const Store::RowRef& r) {
                return r.id > change.rowId;
            });
            const auto back = rows.insert(place, {store_->encode(change.oldValues), change.rowId});
            setCurrent(static_cast<int>(back - rows.begin()));
            break;
        }
    }
}

int CachedResultSet::applyUpdates(int maxErrors)
{
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit) endEditing();
    if (changes_.empty()) return 0;
    ApplyResult result = provider_->apply(changes_, columns_, maxErrors);
    // Reconcile: applied changes leave the log; the others (failed, never attempted, or
    // undone by a rollback) stay for another try. The baseline that cancel-updates returns
    // to becomes the rows as they are now, less the changes that stay.
    std::vector<Change> remaining;
    std::vector<Store::RowRef> baseline = store_->rows;
    for (size_t i = 0; i < changes_.size(); ++i) {
        if (result.applied[i]) continue;
        Change& change = changes_[i];
        auto at = std::find_if(baseline.begin(), baseline.end(),
                               [&](const Store::RowRef& r) { return r.id == change.rowId; });
        switch (change.kind) {
            case ukInsert:
                if (at != baseline.end()) baseline.erase(at);
                break;
            case ukDelete:
                baseline.push_back({store_->encode(change.oldValues), change.rowId});
                break;
            case ukModify:
                if (at != baseline.end()) at->data = store_->encode(change.oldValues);
                break;
        }
        remaining.push_back(std::move(change));
    }
    store_->baseline = std::move(baseline);
    changes_ = std::move(remaining);
    return result.errorCount;
}

// ---------------------------------------------------------------------------------------
// Indexes, calculated fields and the row filter

namespace {

bool sameName(const std::string& a, const std::string& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::toupper(x) == std::toupper(y);
           });
}


template <class T> int threeWay(const T& a, const T& b) { return a < b ? -1 : (b < a ? 1 : 0); }

bool isNumeric(Value::Kind k)
{
    return k == Value::Kind::Integer || k == Value::Kind::Decimal || k == Value::Kind::Float;
}

int compareTexts(const std::string& a, const std::string& b, bool caseInsensitive)
{
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
    void fill(std::vector<Value> fetched, bool descending, bool caseInsensitive)
    {
        descending_ = descending;
        caseInsensitive_ = caseInsensitive;
        Value::Kind kind = Value::Kind::Null;
        bool mixed = false;
        for (const Value& v : fetched) {
            if (v.isNull()) continue;
            if (kind == Value::Kind::Null) kind = v.kind();
            else if (v.kind() != kind) mixed = true;
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
                        case Value::Kind::Integer: integers_[i] = v.asInteger(); break;
                        case Value::Kind::Date: integers_[i] = v.asDate().days; break;
                        case Value::Kind::Time: integers_[i] = v.asTime().fractions; break;
                        case Value::Kind::Timestamp: {
                            const Timestamp t = v.asTimestamp();
                            integers_[i] = int64_t(t.date.days) * 864000000 + t.time.fractions;
                            break;
                        }
                        case Value::Kind::Boolean: integers_[i] = v.asBoolean(); break;
                        default: break;
                    }
                }
                return;
        }
    }

    // The order of rows a and b by this key, the key's direction applied.
    int compare(uint32_t a, uint32_t b) const
    {
        int c;
        if (nulls_[a] || nulls_[b]) {
            c = nulls_[a] == nulls_[b] ? 0 : (nulls_[a] ? -1 : 1);
        } else {
            switch (mode_) {
                case Mode::Integer: c = threeWay(integers_[a], integers_[b]); break;
                case Mode::Real: c = threeWay(reals_[a], reals_[b]); break;
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
                default: c = compareValues(generic_[a], generic_[b], caseInsensitive_); break;
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

int compareValues(const Value& a, const Value& b, bool caseInsensitive)
{
    return compareKeyValues(a, b, caseInsensitive);
}

}  // namespace

std::vector<std::string> splitFieldNames(const std::string& names)
{
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

int compareKeyValues(const Value& a, const Value& b, bool caseInsensitive)
{
    if (a.isNull() || b.isNull()) return a.isNull() == b.isNull() ? 0 : (a.isNull() ? -1 : 1);
    const Value::Kind ka = a.kind();
    const Value::Kind kb = b.kind();
    if (ka == kb) {
        switch (ka) {
            case Value::Kind::Integer: return threeWay(a.asInteger(), b.asInteger());
            case Value::Kind::Decimal: {
                const Decimal x = a.asDecimal();
                const Decimal y = b.asDecimal();
                if (x.scale == y.scale) return threeWay(x.unscaled, y.unscaled);
                return threeWay(x.toDouble(), y.toDouble());
            }
            case Value::Kind::Float: return threeWay(a.asDouble(), b.asDouble());
            case Value::Kind::Text: return compareTexts(a.asString(), b.asString(), caseInsensitive);
            case Value::Kind::Date: return threeWay(a.asDate(), b.asDate());
            case Value::Kind::Time: return threeWay(a.asTime(), b.asTime());
            case Value::Kind::Timestamp: return threeWay(a.asTimestamp(), b.asTimestamp());
            case Value::Kind::Boolean: return threeWay(a.asBoolean(), b.asBoolean());
            case Value::Kind::Null: return 0;
        }
    }
    if (isNumeric(ka) && isNumeric(kb)) return threeWay(a.asDouble(), b.asDouble());
    return compareTexts(a.toText(), b.toText(), caseInsensitive);
}

Value RowValues::operator[](int field) const
{
    const CachedResultSet::Store& store = *set_->store_;
    return store.decode(static_cast<const unsigned char*>(row_), set_->fieldColumns_.at(field));
}

void CachedResultSet::defineCalculatedField(const std::string& name, CalculatedField field)
{
    for (auto& entry : calculated_) {
        if (sameName(entry.first, name)) {
            entry.second = std::move(field);
            return;
        }
    }
    calculated_.emplace_back(name, std::move(field));
}

bool CachedResultSet::hasCalculatedField(const std::string& name) const
{
    return std::any_of(calculated_.begin(), calculated_.end(),
                       [&](const auto& entry) { return sameName(entry.first, name); });
}

KeyFunction CachedResultSet::keyFunction(const std::string& name) const
{
    const int index = fieldIndex(name);
    if (index >= 0) return [index](const RowValues& row) { return row[index]; };
    for (const auto& entry : calculated_)
        if (sameName(entry.first, name)) return entry.second(*this);
    throw DataError("Field '" + name + "' not found");
}

void CachedResultSet::addIndex(const std::string& name, const std::string& fields,
                               uint8_t options, const std::string& descFields)
{
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

bool CachedResultSet::hasIndex(const std::string& name) const
{
    return std::any_of(indexes_.begin(), indexes_.end(),
                       [&](const IndexDef& d) { return sameName(d.name, name); });
}

void CachedResultSet::deleteIndex(const std::string& name)
{
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

void CachedResultSet::setIndexName(const std::string& name)
{
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

void CachedResultSet::applyRowFilter()
{
    if (!rowFilter_ || !store_) return;
    RowTest test = rowFilter_(*this);
    if (!test) return;
    auto& rows = store_->rows;
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [&](const Store::RowRef& r) { return !test(RowValues(*this, r.data)); }),
               rows.end());
}

void CachedResultSet::orderRows()
{
    if (!store_) return;
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit) endEditing();
    auto& rows = store_->rows;
    const Bookmark keep = current_ >= 0 ? rows[current_].id : 0;
    // Natural order: the order of the read (rows inserted since come after them).
    auto byId = [](const Store::RowRef& a, const Store::RowRef& b) { return a.id < b.id; };
    if (!std::is_sorted(rows.begin(), rows.end(), byId)) {
        // Ids are handed out in order from one counter: when they lie close together each
        // row goes straight to its place.
        const auto [lo, hi] = std::minmax_element(rows.begin(), rows.end(), byId);
        const uint64_t span = hi->id - lo->id + 1;
        if (span <= 4 * rows.size()) {
            std::vector<Store::RowRef> slots(span, Store::RowRef{nullptr, 0});
            const uint64_t base = lo->id;
            for (const Store::RowRef& r : rows) slots[r.id - base] = r;
            size_t out = 0;
            for (const Store::RowRef& r : slots)
                if (r.id != 0) rows[out++] = r;
        } else {
            std::sort(rows.begin(), rows.end(), byId);
        }
    }
    if (!indexName_.empty()) {
        const IndexDef& def = *std::find_if(indexes_.begin(), indexes_.end(),
                                            [&](const IndexDef& d) { return sameName(d.name, indexName_); });
        const std::vector<std::string> names = splitFieldNames(def.fields);
        const std::vector<std::string> descending = splitFieldNames(def.descFields);
        const bool caseInsensitive = (def.options & ixCaseInsensitive) != 0;
        const size_t n = rows.size();
        std::vector<IndexKeyColumn> keys(names.size());
        for (size_t k = 0; k < names.size(); ++k) {
            KeyFunction key = keyFunction(names[k]);
            const bool desc = (def.options & ixDescending) != 0 ||
                              std::any_of(descending.begin(), descending.end(),
                                          [&](const std::string& d) { return sameName(d, names[k]); });
            std::vector<Value> values;
            values.reserve(n);
            for (const Store::RowRef& r : rows) values.push_back(key(RowValues(*this, r.data)));
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
        std::vector<Store::RowRef> sorted;
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
