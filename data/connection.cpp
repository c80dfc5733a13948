#include "data/connection.h"

#include <ibase.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <utility>

#include "data/internal/fbapi.h"
#include "data/internal/timeouts.h"

using namespace Firebird;

namespace enviozvr::data {

namespace fb {

IMaster* master() {
    static IMaster* m = fb_get_master_interface();
    return m;
}

IUtil* util() {
    static IUtil* u = master()->getUtilInterface();
    return u;
}

IProvider* provider() {
    static IProvider* p = master()->getDispatcher();
    return p;
}

std::vector<std::string> statusLines(const IStatus* status) {
    std::vector<std::string> lines;
    const ISC_STATUS* vector = status->getErrors();
    char buffer[1024];
    while (fb_interpret(buffer, sizeof buffer, &vector) > 0) lines.emplace_back(buffer);
    return lines;
}

std::string errorText(const std::vector<std::string>& lines, ConnectionKind kind) {
    std::string joined;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) joined += "\r\n";
        joined += lines[i];
    }
    if (kind == ConnectionKind::General) {
        if (!joined.empty() && joined.back() == '.') joined.pop_back();
        return joined;
    }
    return "SQL Server Error: " + joined;
}

DatabaseError toDatabaseError(const IStatus* status, ConnectionKind kind,
                              const std::string& statement) {
    auto lines = statusLines(status);
    const ISC_STATUS* errors = status->getErrors();
    long code = (errors[0] == isc_arg_gds) ? static_cast<long>(errors[1]) : 0;
    std::vector<long> codes;
    for (const ISC_STATUS* v = errors; *v != isc_arg_end;) {
        if (v[0] == isc_arg_gds) codes.push_back(static_cast<long>(v[1]));
        v += v[0] == isc_arg_cstring ? 3 : 2;
    }
    char state[6] = {};
    fb_sqlstate(state, errors);
    const std::string text = errorText(lines, kind);
    return DatabaseError(text, std::move(lines), code, state, statement, std::move(codes));
}

}  // namespace fb

namespace {

constexpr unsigned kBlobSegment = 32768;
constexpr size_t kMaxVarchar = 32765;

unsigned baseType(unsigned type) { return type & ~1u; }

// The number of the character set a text column's bytes are in (its low byte: the set
// without a collation).
int characterSetOf(IMessageMetadata* meta, unsigned i, fb::Status& st) {
    return static_cast<int>(meta->getCharSet(&st, i) & 0xFFu);
}

Field describeColumn(IMessageMetadata* meta, unsigned i, fb::Status& st) {
    Field f;
    const char* alias = meta->getAlias(&st, i);
    f.name = alias && *alias ? alias : meta->getField(&st, i);
    const char* relation = meta->getRelation(&st, i);
    f.readOnly = !relation || !*relation;
    f.required = !meta->isNullable(&st, i);
    unsigned type = baseType(meta->getType(&st, i));
    int scale = meta->getScale(&st, i);
    unsigned length = meta->getLength(&st, i);
    switch (type) {
        case SQL_SHORT:
        case SQL_LONG:
        case SQL_INT64:
            if (scale < 0) {
                f.type = FieldType::Decimal;
                f.scale = -scale;
                f.precision = type == SQL_SHORT ? 4 : type == SQL_LONG ? 9 : 18;
            } else {
                f.type = FieldType::Integer;
            }
            f.size = static_cast<int>(length);
            break;
        case SQL_FLOAT:
        case SQL_DOUBLE:
        case SQL_D_FLOAT:
            f.type = FieldType::Float;
            break;
        case SQL_TEXT:
            f.type = FieldType::String;
            f.fixedWidth = true;
            f.size = static_cast<int>(length);
            f.characterSet = characterSetOf(meta, i, st);
            break;
        case SQL_VARYING:
            f.type = FieldType::String;
            f.size = static_cast<int>(length);
            f.characterSet = characterSetOf(meta, i, st);
            break;
        case SQL_TYPE_DATE:
            f.type = FieldType::Date;
            break;
        case SQL_TYPE_TIME:
            f.type = FieldType::Time;
            break;
        case SQL_TIMESTAMP:
            f.type = FieldType::Timestamp;
            break;
        case SQL_BLOB:
            f.type = FieldType::Blob;
            f.textBlob = meta->getSubType(&st, i) == 1;
            if (f.textBlob) f.characterSet = characterSetOf(meta, i, st);
            break;
        case SQL_BOOLEAN:
            f.type = FieldType::Boolean;
            break;
        default:
            f.type = FieldType::String;
            f.readOnly = true;
            break;
    }
    return f;
}

std::string readBlob(IAttachment* att, ITransaction* tx, ISC_QUAD* id, fb::Status& st) {
    fb::Ref<IBlob> blob(att->openBlob(&st, tx, id, 0, nullptr));
    std::string out;
    char buffer[kBlobSegment];
    for (;;) {
        unsigned got = 0;
        int rc = blob->getSegment(&st, sizeof buffer, buffer, &got);
        if (rc == IStatus::RESULT_NO_DATA) break;
        out.append(buffer, got);
    }
    blob->close(&st);
    blob.release();
    return out;
}

ISC_QUAD writeBlob(IAttachment* att, ITransaction* tx, const std::string& data, fb::Status& st) {
    ISC_QUAD id{};
    fb::Ref<IBlob> blob(att->createBlob(&st, tx, &id, 0, nullptr));
    for (size_t at = 0; at < data.size(); at += kBlobSegment) {
        unsigned n = static_cast<unsigned>(std::min<size_t>(kBlobSegment, data.size() - at));
        blob->putSegment(&st, n, data.data() + at);
    }
    blob->close(&st);
    blob.release();
    return id;
}

template <class T>
T load(const unsigned char* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class T>
void store(unsigned char* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

// Where and how a column sits in a fetched message buffer, read once per statement so
// that reading a value costs no calls into the client library.
struct ColumnLayout {
    unsigned type;
    int scale;
    unsigned length;
    unsigned offset;
    unsigned nullOffset;
};

std::vector<ColumnLayout> layoutOf(IMessageMetadata* meta, fb::Status& st) {
    std::vector<ColumnLayout> out;
    unsigned n = meta->getCount(&st);
    for (unsigned i = 0; i < n; ++i) {
        out.push_back({baseType(meta->getType(&st, i)), meta->getScale(&st, i),
                       meta->getLength(&st, i), meta->getOffset(&st, i),
                       meta->getNullOffset(&st, i)});
    }
    return out;
}

// Decodes one column of a message buffer.
Value decode(const ColumnLayout& c, const unsigned char* buf, IAttachment* att, ITransaction* tx) {
    if (load<short>(buf + c.nullOffset)) return Value::null();
    const unsigned char* p = buf + c.offset;
    auto integer = [&](int64_t v) {
        return c.scale < 0 ? Value::decimal(v, -c.scale) : Value::integer(v);
    };
    switch (c.type) {
        case SQL_SHORT:
            return integer(load<int16_t>(p));
        case SQL_LONG:
            return integer(load<int32_t>(p));
        case SQL_INT64:
            return integer(load<int64_t>(p));
        case SQL_FLOAT:
            return Value::real(load<float>(p));
        case SQL_DOUBLE:
        case SQL_D_FLOAT:
            return Value::real(load<double>(p));
        case SQL_TEXT:
            return Value::text(std::string(reinterpret_cast<const char*>(p), c.length));
        case SQL_VARYING:
            return Value::text(
                std::string(reinterpret_cast<const char*>(p) + 2, load<uint16_t>(p)));
        case SQL_TYPE_DATE:
            return Value::date(Date{load<ISC_DATE>(p)});
        case SQL_TYPE_TIME:
            return Value::time(Time{load<ISC_TIME>(p)});
        case SQL_TIMESTAMP:
            return Value::timestamp(
                Timestamp{Date{load<ISC_DATE>(p)}, Time{load<ISC_TIME>(p + sizeof(ISC_DATE))}});
        case SQL_BLOB: {
            ISC_QUAD id = load<ISC_QUAD>(p);
            fb::Status st;
            return Value::text(readBlob(att, tx, &id, st));
        }
        case SQL_BOOLEAN:
            return Value::boolean(*p != 0);
        default:
            return Value::null();
    }
}

// The input message for a statement's "?" markers: the statement's own description with
// each parameter's type replaced by the type of the value bound to it, so the server
// converts. Blob parameters receive a blob written in the transaction.
struct InputMessage {
    fb::Ref<IMessageMetadata> meta;
    std::vector<unsigned char> buffer;
};

InputMessage buildInput(IStatement* stmt, const std::vector<Value>& params, IAttachment* att,
                        ITransaction* tx, fb::Status& st) {
    InputMessage msg;
    fb::Ref<IMessageMetadata> described(stmt->getInputMetadata(&st));
    unsigned count = described->getCount(&st);
    if (count != params.size())
        throw UsageError("Statement has " + std::to_string(count) + " parameters, " +
                         std::to_string(params.size()) + " given");
    if (count == 0) return msg;
    fb::Ref<IMetadataBuilder> builder(described->getBuilder(&st));
    for (unsigned i = 0; i < count; ++i) {
        const Value& v = params[i];
        unsigned own = baseType(described->getType(&st, i));
        auto set = [&](unsigned type, unsigned length, int scale) {
            builder->setType(&st, i, type + 1);
            builder->setLength(&st, i, length);
            builder->setScale(&st, i, scale);
        };
        switch (v.kind()) {
            case Value::Kind::Null:
                builder->setType(&st, i, own + 1);
                break;
            case Value::Kind::Integer:
            case Value::Kind::Boolean:
                set(SQL_INT64, 8, 0);
                break;
            case Value::Kind::Decimal:
                set(SQL_INT64, 8, -v.asDecimal().scale);
                break;
            case Value::Kind::Float:
                set(SQL_DOUBLE, 8, 0);
                break;
            case Value::Kind::Text:
                // A text up to the longest VARCHAR goes into a blob parameter as a string
                // that the server writes into a new blob itself, which saves creating and
                // filling the blob in requests of their own; a longer one is written here.
                if (own == SQL_BLOB && v.asString().size() > kMaxVarchar) {
                    builder->setType(&st, i, SQL_BLOB + 1);
                } else {
                    set(SQL_VARYING,
                        static_cast<unsigned>(std::max<size_t>(1, v.asString().size())), 0);
                    builder->setCharSet(&st, i, 0);
                }
                break;
            case Value::Kind::Date:
                set(SQL_TYPE_DATE, 4, 0);
                break;
            case Value::Kind::Time:
                set(SQL_TYPE_TIME, 4, 0);
                break;
            case Value::Kind::Timestamp:
                set(SQL_TIMESTAMP, 8, 0);
                break;
        }
        if (v.kind() == Value::Kind::Boolean && own == SQL_BOOLEAN) set(SQL_BOOLEAN, 1, 0);
    }
    msg.meta.reset(builder->getMetadata(&st));
    IMessageMetadata* m = msg.meta.get();
    msg.buffer.assign(m->getMessageLength(&st), 0);
    unsigned char* buf = msg.buffer.data();
    for (unsigned i = 0; i < count; ++i) {
        const Value& v = params[i];
        unsigned char* p = buf + m->getOffset(&st, i);
        store<short>(buf + m->getNullOffset(&st, i), v.isNull() ? -1 : 0);
        unsigned type = baseType(m->getType(&st, i));
        switch (v.kind()) {
            case Value::Kind::Null:
                break;
            case Value::Kind::Integer:
                store<int64_t>(p, v.asInteger());
                break;
            case Value::Kind::Boolean:
                if (type == SQL_BOOLEAN)
                    *p = v.asBoolean() ? 1 : 0;
                else
                    store<int64_t>(p, v.asBoolean() ? 1 : 0);
                break;
            case Value::Kind::Decimal:
                store<int64_t>(p, v.asDecimal().unscaled);
                break;
            case Value::Kind::Float:
                store<double>(p, v.asDouble());
                break;
            case Value::Kind::Text:
                if (type == SQL_BLOB) {
                    store<ISC_QUAD>(p, writeBlob(att, tx, v.asString(), st));
                } else {
                    const std::string& s = v.asString();
                    store<uint16_t>(p, static_cast<uint16_t>(s.size()));
                    std::copy(s.begin(), s.end(), p + 2);  // counted, not terminated
                }
                break;
            case Value::Kind::Date:
                store<ISC_DATE>(p, v.asDate().days);
                break;
            case Value::Kind::Time:
                store<ISC_TIME>(p, v.asTime().fractions);
                break;
            case Value::Kind::Timestamp: {
                auto ts = v.asTimestamp();
                store<ISC_DATE>(p, ts.date.days);
                store<ISC_TIME>(p + sizeof(ISC_DATE), ts.time.fractions);
                break;
            }
        }
    }
    return msg;
}

// What the reads of one statement shape in a single request know (see Connection::open):
// the columns as the server described them, the message the row is asked for in (text
// blobs inline as strings while the message stays within the server's limit), and how
// often reads of the shape found at most one row against several.
struct RowShape {
    std::vector<Field> fields;
    fb::Ref<IMessageMetadata> message;
    std::vector<ColumnLayout> layout;
    unsigned length = 0;
    bool inlineBlobs = false;
    int single = 0;
    int several = 0;

    // Reads of a shape that mostly finds at most one row go in one request; one that
    // usually finds several rows goes back to the cursor.
    bool worthTrying() const { return several * 4 <= single; }
};

// The longest message the row of a single-request read is asked for in.
constexpr unsigned kMaxRowMessage = 64000;

// The shape of a statement's output, or null when a column is not a table's own (an
// expression, which may depend on the strings the text compares with).
std::shared_ptr<RowShape> shapeOf(IMessageMetadata* described, fb::Status& st) {
    auto shape = std::make_shared<RowShape>();
    const unsigned n = described->getCount(&st);
    if (n == 0) return nullptr;
    for (unsigned i = 0; i < n; ++i) {
        const char* relation = described->getRelation(&st, i);
        if (!relation || !*relation) return nullptr;
        shape->fields.push_back(describeColumn(described, i, st));
    }
    fb::Ref<IMetadataBuilder> builder(described->getBuilder(&st));
    unsigned length = described->getMessageLength(&st);
    for (unsigned i = 0; i < n; ++i) {
        if (baseType(described->getType(&st, i)) != SQL_BLOB || described->getSubType(&st, i) != 1)
            continue;
        // The text of a text blob comes inside the row, as its bytes unchanged; a longer
        // one makes the read fail with a truncation, and the cursor reads it instead.
        if (length + kMaxVarchar + 8 > kMaxRowMessage) break;
        builder->setType(&st, i, SQL_VARYING + 1);
        builder->setSubType(&st, i, 0);
        builder->setLength(&st, i, kMaxVarchar);
        builder->setCharSet(&st, i, 0);
        length += kMaxVarchar + 8;
        shape->inlineBlobs = true;
    }
    shape->message.reset(builder->getMetadata(&st));
    shape->layout = layoutOf(shape->message.get(), st);
    shape->length = shape->message->getMessageLength(&st);
    return shape;
}

// The text with the contents of its quoted strings left out: SELECTs of table columns
// that differ only in the strings they compare with return the same columns.
std::string shapeKey(const std::string& sql) {
    std::string key;
    bool inString = false;
    for (char c : sql) {
        if (c == '\'')
            inString = !inString;
        else if (inString)
            continue;
        key += c;
    }
    return key;
}

// True when a failed call's status carries the error `code`.
bool statusHas(const IStatus* status, ISC_STATUS code) {
    for (const ISC_STATUS* v = status->getErrors(); *v != isc_arg_end;) {
        if (v[0] == isc_arg_gds && v[1] == code) return true;
        v += v[0] == isc_arg_cstring ? 3 : 2;
    }
    return false;
}

}  // namespace

struct Connection::Impl {
    fb::Ref<IAttachment> attachment;
    fb::Ref<ITransaction> explicitTx;  // update application (Company)
    fb::Ref<ITransaction> defaultTx;   // server-default read transaction (General)
    fb::Ref<ITransaction> readTx;      // shared read-only read-committed reads (Company)
    fb::Ref<ITransaction> autoTx;      // statements committed one by one (setAutocommit)
    bool autocommit = false;
    int autoTxStatements = 0;  // run in autoTx so far
    unsigned dialect = 3;
    std::string characterSet;  // read on first use, per attachment
    StallWatch watch;

    // Statements execute keeps prepared (setKeepPreparedStatements), most recent last.
    struct KeptStatement {
        std::string sql;
        fb::Ref<IStatement> statement;
    };
    static constexpr size_t kMaxKept = 8;
    bool keepPrepared = false;
    std::vector<KeptStatement> kept;

    // Shapes of the SELECTs read so far on this attachment, by shapeKey.
    static constexpr size_t kMaxShapes = 64;
    std::unordered_map<std::string, std::shared_ptr<RowShape>> shapes;

    // The transaction a statement outside a read runs in: the explicit one while update
    // application holds it; on a company connection a transaction of its own, left in
    // `own` for the caller to commit; otherwise the general connection's default one.
    ITransaction* statementTransaction(ConnectionKind kind, const TransactionOptions& options,
                                       std::chrono::seconds lockTimeout, fb::Ref<ITransaction>& own,
                                       fb::Status& st);
};

namespace {

// True when a SELECT text asks to lock the rows it reads ("WITH LOCK" outside quotes):
// such a read writes, so it cannot run in a read-only transaction.
bool locksRows(const std::string& sql) {
    std::string words;  // the text upper-cased, quoted parts and runs of blanks as one blank
    for (size_t i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        if (c == '\'' || c == '"') {
            const size_t close = sql.find(c, i + 1);
            if (close == std::string::npos) break;
            i = close;
            words += ' ';
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            if (words.empty() || words.back() != ' ') words += ' ';
        } else {
            words += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    auto isWordChar = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
    };
    for (size_t at = words.find("WITH LOCK"); at != std::string::npos;
         at = words.find("WITH LOCK", at + 1)) {
        const size_t end = at + 9;
        if ((at == 0 || !isWordChar(words[at - 1])) &&
            (end == words.size() || !isWordChar(words[end])))
            return true;
    }
    return false;
}

// An open SELECT with its transaction.
class FbCursor : public Cursor {
  public:
    // ownTx, when given, starts a transaction of the cursor's own: a statement prepared in
    // the shared read-only transaction `tx` that turns out not to be a plain SELECT runs in
    // it instead (and commits it at close).
    FbCursor(IAttachment* att, ITransaction* tx, bool ownsTx, ConnectionKind kind, std::string sql,
             unsigned dialect, StallWatch& watch, const std::function<ITransaction*()>& ownTx = {})
        : att_(att), tx_(tx), ownsTx_(ownsTx), kind_(kind), sql_(std::move(sql)), watch_(watch) {
        fb::Status st;
        StallWatch::Scope timed(watch_, att_);
        try {
            // Every text goes with its length: a NUL byte inside a literal (a key of the
            // queue) is part of the statement, not its end.
            stmt_.reset(att_->prepare(&st, tx_, static_cast<unsigned>(sql_.size()), sql_.c_str(),
                                      dialect, IStatement::PREPARE_PREFETCH_METADATA));
            plainSelect_ = stmt_->getType(&st) == isc_info_sql_stmt_select && !locksRows(sql_);
            if (ownTx && !plainSelect_) {
                tx_ = ownTx();
                ownsTx_ = true;
            }
            meta_.reset(stmt_->getOutputMetadata(&st));
            unsigned n = meta_->getCount(&st);
            for (unsigned i = 0; i < n; ++i) fields_.push_back(describeColumn(meta_.get(), i, st));
            layout_ = layoutOf(meta_.get(), st);
            buffer_.assign(meta_->getMessageLength(&st), 0);
            rs_.reset(stmt_->openCursor(&st, tx_, nullptr, nullptr, meta_.get(), 0));
        } catch (const FbException& e) {
            auto error = fb::toDatabaseError(e.getStatus(), kind_, sql_);
            abandon();
            throw error;
        }
    }

    ~FbCursor() override {
        try {
            close();
        } catch (...) {
            abandon();
        }
    }

    const std::vector<Field>& fields() const override { return fields_; }

    // A SELECT that neither locks rows nor runs a procedure.
    bool plainSelect() const { return plainSelect_; }
    IMessageMetadata* outputMetadata() const { return meta_.get(); }
    // Counts, in `shape`, whether this read finds at most one row or several.
    void countRowsFor(std::shared_ptr<RowShape> shape) { shape_ = std::move(shape); }

    bool fetch() override {
        if (!rs_) return false;
        StallWatch::Scope timed(watch_, att_);
        try {
            if (rs_->fetchNext(fetchStatus_.get(), buffer_.data()) == IStatus::RESULT_OK) {
                if (++rows_ == 2 && shape_) ++shape_->several;
                return true;
            }
        } catch (const FbException& e) {
            throw fb::toDatabaseError(e.getStatus(), kind_, sql_);
        }
        if (rows_ < 2 && shape_) ++shape_->single;
        shape_.reset();
        return false;
    }

    Value value(int column) const override {
        StallWatch::Scope timed(watch_, att_);
        try {
            return decode(layout_.at(static_cast<size_t>(column)), buffer_.data(), att_, tx_);
        } catch (const FbException& e) {
            throw fb::toDatabaseError(e.getStatus(), kind_, sql_);
        }
    }

    void close() override {
        // A closed cursor never touches its attachment again: the connection may have let
        // a lost attachment go since (a failed commit of the transaction it was read in).
        if (!rs_ && !stmt_ && !(ownsTx_ && tx_)) return;
        fb::Status st;
        StallWatch::Scope timed(watch_, att_);
        try {
            if (rs_) {
                rs_->close(&st);
                rs_.release();
            }
            if (stmt_) {
                stmt_->free(&st);
                stmt_.release();
            }
            if (ownsTx_ && tx_) {
                tx_->commit(&st);
                tx_ = nullptr;
            }
        } catch (const FbException& e) {
            auto error = fb::toDatabaseError(e.getStatus(), kind_, sql_);
            abandon();
            throw error;
        }
    }

  private:
    // Drops everything without talking to the server again.
    void abandon() {
        rs_.reset();
        stmt_.reset();
        if (ownsTx_ && tx_) {
            fb::Status st;
            try {
                tx_->rollback(&st);
            } catch (...) {
                tx_->release();
            }
            tx_ = nullptr;
        }
    }

    IAttachment* att_;
    ITransaction* tx_;
    bool ownsTx_;
    ConnectionKind kind_;
    std::string sql_;
    fb::Ref<IStatement> stmt_;
    fb::Ref<IMessageMetadata> meta_;
    fb::Ref<IResultSet> rs_;
    std::vector<Field> fields_;
    std::vector<ColumnLayout> layout_;
    std::vector<unsigned char> buffer_;
    fb::Status fetchStatus_;
    StallWatch& watch_;
    bool plainSelect_ = false;
    std::shared_ptr<RowShape> shape_;
    int rows_ = 0;
};

// The row of a SELECT read in one request: at most one row, read already.
class SingleRowCursor : public Cursor {
  public:
    SingleRowCursor(std::shared_ptr<RowShape> shape, std::vector<unsigned char> row, bool found,
                    IAttachment* att, ITransaction* tx, ConnectionKind kind, std::string sql,
                    StallWatch& watch)
        : shape_(std::move(shape)),
          row_(std::move(row)),
          pending_(found),
          att_(att),
          tx_(tx),
          kind_(kind),
          sql_(std::move(sql)),
          watch_(watch) {}

    const std::vector<Field>& fields() const override { return shape_->fields; }

    bool fetch() override { return std::exchange(pending_, false); }

    Value value(int column) const override {
        // Only a blob too long to come inline is read now, by its id.
        StallWatch::Scope timed(watch_, att_);
        try {
            return decode(shape_->layout.at(static_cast<size_t>(column)), row_.data(), att_, tx_);
        } catch (const FbException& e) {
            throw fb::toDatabaseError(e.getStatus(), kind_, sql_);
        }
    }

    void close() override { pending_ = false; }

  private:
    std::shared_ptr<RowShape> shape_;
    std::vector<unsigned char> row_;
    bool pending_;
    IAttachment* att_;
    ITransaction* tx_;
    ConnectionKind kind_;
    std::string sql_;
    StallWatch& watch_;
};

// Reads the row of a SELECT of a known shape in one request. Null when the cursor must
// read it instead: several rows, or a text blob too long to come inline. Other failures
// are thrown as they come.
std::unique_ptr<Cursor> readSingleRow(IAttachment* att, ITransaction* tx, unsigned dialect,
                                      ConnectionKind kind, const std::string& sql,
                                      const std::shared_ptr<RowShape>& shape, StallWatch& watch) {
    StallWatch::Scope timed(watch, att);
    std::vector<unsigned char> row(shape->length, 0);
    bool found = true;
    try {
        fb::Status st;
        att->execute(&st, tx, static_cast<unsigned>(sql.size()), sql.c_str(), dialect, nullptr,
                     nullptr, shape->message.get(), row.data());
    } catch (const FbException& e) {
        const IStatus* status = e.getStatus();
        if (statusHas(status, isc_sing_select_err)) {
            ++shape->several;
            return nullptr;
        }
        if (shape->inlineBlobs &&
            (statusHas(status, isc_string_truncation) || statusHas(status, isc_blob_truncation)))
            return nullptr;
        // No row at all.
        if (!statusHas(status, isc_stream_eof)) throw;
        found = false;
    }
    ++shape->single;
    return std::make_unique<SingleRowCursor>(shape, std::move(row), found, att, tx, kind, sql,
                                             watch);
}

std::string trimBlanks(std::string_view s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos) return {};
    size_t e = s.find_last_not_of(" \t");
    return std::string(s.substr(b, e - b + 1));
}

}  // namespace

Connection::Connection(std::string name, ConnectionKind kind, std::vector<std::string> lines)
    : name_(std::move(name)),
      kind_(kind),
      params_(std::move(lines)),
      transactionOptions_(TransactionOptions::from(params_)),
      impl_(std::make_unique<Impl>()) {}

void Connection::setParam(std::string_view name, std::string_view value) {
    params_.set(name, value);
    transactionOptions_ = TransactionOptions::from(params_);
}

Connection::~Connection() {
    try {
        disconnect();
    } catch (...) {
        // Detaching failed (the server is gone): let the client library clean up.
        impl_->explicitTx.reset();
        transaction_ = nullptr;
        impl_->defaultTx.reset();
        impl_->readTx.reset();
        impl_->autoTx.reset();
        impl_->attachment.reset();
    }
}

std::unique_ptr<Connection> Connection::general(std::string name) {
    return std::make_unique<Connection>(
        std::move(name), ConnectionKind::General,
        std::vector<std::string>{"user_name=SYSDBA", "password=kelpstone"});
}

std::unique_ptr<Connection> Connection::company(std::string name) {
    return std::make_unique<Connection>(
        std::move(name), ConnectionKind::Company,
        std::vector<std::string>{"BlobSize=-1", "CommitRetain=False",
                                 "Database=c:\\nivoraERP2015\\sop\\nivora.fdb", "LocaleCode=0000",
                                 "Password=kelpstone", "RoleName=RoleName", "SQLDialect=3",
                                 "TransIsolation=ReadCommited", "User_Name=sysdba",
                                 "WaitOnLocks=True", "Trim Char=False"});
}

void Connection::setDatabase(std::string_view location) {
    if (kind_ == ConnectionKind::General)
        generalDatabase_ = std::string(location);
    else
        setParam("Database", location);
}

std::string Connection::database() const {
    return kind_ == ConnectionKind::General ? generalDatabase_ : param("Database");
}

bool Connection::isConnected() const { return static_cast<bool>(impl_->attachment); }

void Connection::setTimeouts(std::chrono::seconds connect, std::chrono::seconds stall) {
    connectTimeout_ = connect;
    impl_->watch.setLimit(stall);
}

bool Connection::stalled() const { return impl_->watch.fired(); }

unsigned Connection::dialect() const { return impl_->dialect; }

void Connection::connect() {
    if (isConnected()) return;
    fb::Status st;
    try {
        fb::Disposable<IXpbBuilder> dpb(
            fb::util()->getXpbBuilder(&st, IXpbBuilder::DPB, nullptr, 0));
        std::string user = param("User_Name");
        std::string password = param("Password");
        if (!user.empty()) dpb->insertString(&st, isc_dpb_user_name, user.c_str());
        if (!password.empty()) dpb->insertString(&st, isc_dpb_password, password.c_str());
        // The name the server shows for the attachment (MON$REMOTE_PROCESS).
        const std::string process = param("ProcessName");
        if (!process.empty()) dpb->insertString(&st, isc_dpb_process_name, process.c_str());
        std::string location = database();
        if (kind_ == ConnectionKind::Company) {
            std::string role = param("RoleName");
            if (!role.empty()) dpb->insertString(&st, isc_dpb_sql_role_name, role.c_str());
            location = trimBlanks(location);
        }
        impl_->watch.reset();
        if (connectTimeout_.count() > 0 || everyCallTracked()) {
            if (connectTimeout_.count() > 0)
                dpb->insertInt(&st, isc_dpb_connect_timeout,
                               static_cast<int>(connectTimeout_.count()));
            const unsigned char* bytes = dpb->getBuffer(&st);
            // Without a connect timeout the attach is bounded only by a stop.
            const std::chrono::milliseconds limit = connectTimeout_.count() > 0
                                                        ? std::chrono::milliseconds(connectTimeout_)
                                                        : std::chrono::hours(24 * 365);
            impl_->attachment.reset(attachWithin(
                location, std::vector<unsigned char>(bytes, bytes + dpb->getBufferLength(&st)),
                limit, kind_));
        } else {
            impl_->attachment.reset(fb::provider()->attachDatabase(
                &st, location.c_str(), dpb->getBufferLength(&st), dpb->getBuffer(&st)));
        }
        StallWatch::Scope timed(impl_->watch, impl_->attachment.get());

        impl_->characterSet.clear();
        impl_->shapes.clear();
        if (kind_ == ConnectionKind::Company) {
            // Company connections prepare in the dialect of their "SQLDialect" parameter
            // (3), whatever the database's own: the generated statements quote names.
            const std::string wanted = param("SQLDialect");
            impl_->dialect =
                (wanted == "1" || wanted == "2") ? static_cast<unsigned>(wanted[0] - '0') : 3;
        } else {
            // The general connection uses dialect 3, or the database's own lower dialect.
            unsigned char items[] = {isc_info_db_sql_dialect, isc_info_end};
            unsigned char info[32] = {};
            impl_->attachment->getInfo(&st, sizeof items, items, sizeof info, info);
            impl_->dialect = 3;
            if (info[0] == isc_info_db_sql_dialect) {
                int len = info[1] | (info[2] << 8);
                int d = len >= 1 ? info[3] : 3;
                if (d >= 1 && d < 3) impl_->dialect = static_cast<unsigned>(d);
            }
        }
    } catch (const FbException& e) {
        impl_->attachment.reset();
        throw fb::toDatabaseError(e.getStatus(), kind_);
    } catch (const DatabaseError&) {
        impl_->attachment.reset();
        throw;
    }
}

void Connection::disconnect() {
    if (!isConnected()) return;
    // Close every object open on the connection; cached rows are already in memory.
    auto objects = openObjects_;
    for (auto& [owner, close] : objects) {
        try {
            close();
        } catch (...) {
        }
    }
    freeKeptStatements();
    fb::Status st;
    StallWatch::Scope timed(impl_->watch, impl_->attachment.get());
    try {
        if (impl_->explicitTx) {
            impl_->explicitTx->rollback(&st);
            impl_->explicitTx.release();
            transaction_ = nullptr;
        }
        if (impl_->defaultTx) {
            impl_->defaultTx->commit(&st);
            impl_->defaultTx.release();
        }
        if (impl_->readTx) {
            impl_->readTx->commit(&st);
            impl_->readTx.release();
        }
        if (impl_->autoTx) {
            impl_->autoTx->commit(&st);
            impl_->autoTx.release();
        }
        impl_->attachment->detach(&st);
        impl_->attachment.release();
    } catch (const FbException& e) {
        auto error = fb::toDatabaseError(e.getStatus(), kind_);
        releaseAttachment();
        // An attachment the server has already dropped is simply let go.
        if (!error.connectionLost()) throw error;
    }
}

void Connection::releaseAttachment() {
    // Releasing what was left open on a lost attachment may still wait on its link (the
    // client rolls back a transaction it holds): watched like any call, so that a link
    // that went silent is closed at the stall limit instead of being waited on for good.
    StallWatch::Scope timed(impl_->watch, impl_->attachment.get());
    impl_->kept.clear();
    impl_->explicitTx.reset();
    transaction_ = nullptr;
    impl_->defaultTx.reset();
    impl_->readTx.reset();
    impl_->autoTx.reset();
    impl_->attachment.reset();
    impl_->characterSet.clear();
    impl_->shapes.clear();
}

DatabaseError Connection::failure(const FbException& e, const std::string& statement) {
    auto error = fb::toDatabaseError(e.getStatus(), kind_, statement);
    dropIfLost(error);
    return error;
}

void Connection::dropIfLost(const std::exception& error) {
    auto* db = dynamic_cast<const DatabaseError*>(&error);
    if (!db || !db->connectionLost() || !isConnected()) return;
    auto objects = openObjects_;
    for (auto& [owner, close] : objects) {
        try {
            close();
        } catch (...) {
        }
    }
    releaseAttachment();
}

bool Connection::linkAlive() {
    if (!isConnected()) return false;
    if (stalled()) return false;
    StallWatch::Scope timed(impl_->watch, impl_->attachment.get());
    try {
        fb::Status st;
        impl_->attachment->ping(&st);
        return !stalled();
    } catch (const FbException& e) {
        failure(e);
        return false;
    }
}

std::string Connection::characterSet() {
    if (!impl_->characterSet.empty()) return impl_->characterSet;
    auto cursor = open("select rdb$character_set_name from rdb$database");
    std::string name;
    if (cursor->fetch()) {
        const Value v = cursor->value(0);
        if (!v.isNull()) name = v.asString();
    }
    cursor->close();
    name = trimBlanks(name);
    impl_->characterSet = name.empty() ? "NONE" : name;
    return impl_->characterSet;
}

void Connection::registerOpenObject(const void* owner, CloseHook close) {
    unregisterOpenObject(owner);
    openObjects_.emplace_back(owner, std::move(close));
}

void Connection::unregisterOpenObject(const void* owner) {
    std::erase_if(openObjects_, [owner](const auto& entry) { return entry.first == owner; });
}

bool Connection::inTransaction() const { return static_cast<bool>(impl_->explicitTx); }

namespace {

ITransaction* startCompanyTransaction(IAttachment* att, const TransactionOptions& options,
                                      std::chrono::seconds lockTimeout, bool readOnly = false,
                                      bool autocommit = false) {
    fb::Status st;
    fb::Disposable<IXpbBuilder> tpb(fb::util()->getXpbBuilder(&st, IXpbBuilder::TPB, nullptr, 0));
    tpb->insertTag(&st, readOnly ? isc_tpb_read : isc_tpb_write);
    if (autocommit) tpb->insertTag(&st, isc_tpb_autocommit);
    switch (options.isolation) {
        case Isolation::Snapshot:
            tpb->insertTag(&st, isc_tpb_concurrency);
            break;
        case Isolation::ReadCommitted:
            tpb->insertTag(&st, isc_tpb_read_committed);
            tpb->insertTag(&st, isc_tpb_rec_version);
            break;
        case Isolation::ReadCommittedNoVersions:
            tpb->insertTag(&st, isc_tpb_read_committed);
            tpb->insertTag(&st, isc_tpb_no_rec_version);
            break;
    }
    const bool wait = options.lockWait != LockWait::NoWait;
    tpb->insertTag(&st, wait ? isc_tpb_wait : isc_tpb_nowait);
    if (wait && !readOnly && lockTimeout.count() > 0)
        tpb->insertInt(&st, isc_tpb_lock_timeout, static_cast<int>(lockTimeout.count()));
    return att->startTransaction(&st, tpb->getBufferLength(&st), tpb->getBuffer(&st));
}

// Rolls back a statement's own transaction after a failure; the failure being reported
// matters more than one of the rollback, which only lets the transaction go.
void rollbackQuietly(fb::Ref<ITransaction>& own) {
    if (!own) return;
    try {
        fb::Status rb;
        own->rollback(&rb);
        own.release();
    } catch (...) {
        own.reset();
    }
}

}  // namespace

ITransaction* Connection::Impl::statementTransaction(ConnectionKind kind,
                                                     const TransactionOptions& options,
                                                     std::chrono::seconds lockTimeout,
                                                     fb::Ref<ITransaction>& own, fb::Status& st) {
    if (explicitTx) return explicitTx.get();
    if (kind == ConnectionKind::Company && autocommit) {
        if (autoTx && autoTxStatements >= Connection::kAutocommitSpan) {
            autoTx->commit(&st);
            autoTx.release();
        }
        if (!autoTx) {
            autoTx.reset(
                startCompanyTransaction(attachment.get(), options, lockTimeout, false, true));
            autoTxStatements = 0;
        }
        ++autoTxStatements;
        return autoTx.get();
    }
    if (kind == ConnectionKind::Company) {
        own.reset(startCompanyTransaction(attachment.get(), options, lockTimeout));
        return own.get();
    }
    if (!defaultTx) defaultTx.reset(attachment->startTransaction(&st, 0, nullptr));
    return defaultTx.get();
}

std::chrono::seconds Connection::stallLimit() const {
    return std::chrono::duration_cast<std::chrono::seconds>(impl_->watch.limit());
}

Transaction* Connection::transaction() const { return inTransaction() ? transaction_ : nullptr; }

void Connection::beginTransaction(Transaction& owner) {
    connect();
    if (inTransaction()) throw UsageError("Transaction is already active");
    StallWatch::Scope timed(impl_->watch, impl_->attachment.get());
    try {
        impl_->explicitTx.reset(
            startCompanyTransaction(impl_->attachment.get(), transactionOptions_, lockTimeout_));
        transaction_ = &owner;
    } catch (const FbException& e) {
        throw failure(e);
    }
}

void Connection::commitTransaction() {
    fb::Status st;
    StallWatch::Scope timed(impl_->watch, impl_->attachment.get());
    try {
        impl_->explicitTx->commit(&st);
        impl_->explicitTx.release();
        transaction_ = nullptr;
    } catch (const FbException& e) {
        throw failure(e);
    }
}

void Connection::rollbackTransaction() {
    fb::Status st;
    StallWatch::Scope timed(impl_->watch, impl_->attachment.get());
    try {
        impl_->explicitTx->rollback(&st);
        impl_->explicitTx.release();
        transaction_ = nullptr;
    } catch (const FbException& e) {
        impl_->explicitTx.reset();
        transaction_ = nullptr;
        throw failure(e);
    }
}

int64_t Connection::execute(const std::string& sql, const std::vector<Value>& params,
                            bool countRows) {
    connect();
    IAttachment* att = impl_->attachment.get();
    fb::Status st;
    StallWatch::Scope timed(impl_->watch, att);
    fb::Ref<ITransaction> own;
    ITransaction* tx = nullptr;
    auto& kept = impl_->kept;
    auto found = std::find_if(kept.begin(), kept.end(),
                              [&](const Impl::KeptStatement& k) { return k.sql == sql; });
    fb::Ref<IStatement> prepared;  // a statement of this call only
    IStatement* stmt = found != kept.end() ? found->statement.get() : nullptr;
    auto keep = [&] {
        if (kept.size() >= Impl::kMaxKept) freeKeptStatements(std::string(kept.front().sql));
        kept.push_back({sql, std::move(prepared)});
    };
    try {
        tx = impl_->statementTransaction(kind_, transactionOptions_, lockTimeout_, own, st);
        if (!stmt) {
            prepared.reset(att->prepare(&st, tx, static_cast<unsigned>(sql.size()), sql.c_str(),
                                        impl_->dialect, IStatement::PREPARE_PREFETCH_METADATA));
            stmt = prepared.get();
        }
        InputMessage in = buildInput(stmt, params, att, tx, st);
        fb::Ref<IMessageMetadata> outMeta(stmt->getOutputMetadata(&st));
        std::vector<unsigned char> out;
        bool hasOutput = outMeta->getCount(&st) > 0;
        if (hasOutput) out.assign(outMeta->getMessageLength(&st), 0);
        stmt->execute(&st, tx, in.meta.get(), in.buffer.empty() ? nullptr : in.buffer.data(),
                      hasOutput ? outMeta.get() : nullptr, hasOutput ? out.data() : nullptr);
        const int64_t affected =
            countRows ? static_cast<int64_t>(stmt->getAffectedRecords(&st)) : -1;
        if (prepared && impl_->keepPrepared) {
            keep();
        } else if (prepared) {
            prepared->free(&st);
            prepared.release();
        }
        if (own) {
            own->commit(&st);
            own.release();
        }
        return affected;
    } catch (const FbException& e) {
        auto error = fb::toDatabaseError(e.getStatus(), kind_, sql);
        rollbackQuietly(own);
        // A kept statement that failed is not trusted again: it is prepared anew next time.
        // A row the table refused (a constraint) says nothing against the statement, which
        // stays kept: a batch of refused rows is not prepared again for each.
        if (error.sqlState().rfind("23", 0) != 0)
            freeKeptStatements(sql);
        else if (prepared && impl_->keepPrepared)
            keep();
        dropIfLost(error);
        throw error;
    }
}

void Connection::setAutocommit(bool on) {
    impl_->autocommit = on && kind_ == ConnectionKind::Company;
    if (on || !impl_->autoTx) return;
    fb::Status st;
    StallWatch::Scope timed(impl_->watch, impl_->attachment.get());
    try {
        impl_->autoTx->commit(&st);
        impl_->autoTx.release();
    } catch (const FbException& e) {
        impl_->autoTx.reset();
        throw failure(e);
    }
}

bool Connection::autocommit() const { return impl_->autocommit; }

AutocommitScope::AutocommitScope(Connection& connection) : connection_(connection) {
    connection_.setAutocommit(true);
}

AutocommitScope::~AutocommitScope() {
    try {
        connection_.setAutocommit(false);
    } catch (...) {
    }
}

void Connection::setKeepPreparedStatements(bool keep) {
    impl_->keepPrepared = keep;
    if (!keep) freeKeptStatements();
}

void Connection::freeKeptStatements(const std::string& sql) {
    std::vector<Impl::KeptStatement> kept;
    for (auto it = impl_->kept.begin(); it != impl_->kept.end();) {
        if (sql.empty() || it->sql == sql) {
            kept.push_back(std::move(*it));
            it = impl_->kept.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& k : kept) {
        try {
            fb::Status st;
            k.statement->free(&st);
            k.statement.release();
        } catch (...) {
            // Released without the server when it cannot be freed there.
        }
    }
}

void Connection::executeImmediate(const std::string& sql) {
    connect();
    IAttachment* att = impl_->attachment.get();
    fb::Status st;
    StallWatch::Scope timed(impl_->watch, att);
    fb::Ref<ITransaction> own;
    try {
        ITransaction* tx =
            impl_->statementTransaction(kind_, transactionOptions_, lockTimeout_, own, st);
        att->execute(&st, tx, static_cast<unsigned>(sql.size()), sql.c_str(), impl_->dialect,
                     nullptr, nullptr, nullptr, nullptr);
        if (own) {
            own->commit(&st);
            own.release();
        }
    } catch (const FbException& e) {
        auto error = fb::toDatabaseError(e.getStatus(), kind_, sql);
        rollbackQuietly(own);
        dropIfLost(error);
        throw error;
    }
}

std::unique_ptr<Cursor> Connection::open(const std::string& sql) {
    connect();
    IAttachment* att = impl_->attachment.get();
    ITransaction* tx = nullptr;
    bool owns = false;
    std::function<ITransaction*()> ownTx;
    StallWatch::Scope timed(impl_->watch, att);
    try {
        if (inTransaction()) {
            tx = impl_->explicitTx.get();
        } else if (kind_ == ConnectionKind::Company &&
                   transactionOptions_.isolation != Isolation::Snapshot) {
            // A read-committed SELECT sees the same rows in any read-committed transaction,
            // and a read-only one commits nothing: one such transaction, kept open until
            // the connection closes, serves every SELECT outside update application and
            // saves a start and a commit per read.
            if (!impl_->readTx)
                impl_->readTx.reset(
                    startCompanyTransaction(att, transactionOptions_, lockTimeout_, true));
            tx = impl_->readTx.get();
            ownTx = [att, this] {
                return startCompanyTransaction(att, transactionOptions_, lockTimeout_);
            };
        } else if (kind_ == ConnectionKind::Company) {
            tx = startCompanyTransaction(att, transactionOptions_, lockTimeout_);
            owns = true;
        } else {
            fb::Status st;
            if (!impl_->defaultTx) impl_->defaultTx.reset(att->startTransaction(&st, 0, nullptr));
            tx = impl_->defaultTx.get();
        }
    } catch (const FbException& e) {
        throw failure(e, sql);
    }
    // A SELECT of table columns in the shared read transaction or the explicit one, of a
    // shape read before: prepared, executed and its row returned in one request, the
    // statement's description taken from the earlier read.
    const bool byShape = kind_ == ConnectionKind::Company && impl_->dialect == 3 && !owns &&
                         (inTransaction() || ownTx);
    std::string key;
    bool tried = false;  // a read in one request found several rows (and counted them)
    if (byShape) {
        key = shapeKey(sql);
        const auto found = impl_->shapes.find(key);
        if (found != impl_->shapes.end() && found->second->worthTrying()) {
            tried = true;
            try {
                if (auto cursor = readSingleRow(att, tx, impl_->dialect, kind_, sql, found->second,
                                                impl_->watch))
                    return cursor;
            } catch (const FbException& e) {
                // A shape the server refuses (the table changed since it was read: another
                // number or kind of columns) is dropped, and the statement is read through
                // the cursor, which describes it anew; a failure of its own shows there.
                auto error = failure(e, sql);
                if (error.connectionLost() || !isConnected() || impl_->watch.fired()) throw error;
                impl_->shapes.erase(key);
                tried = false;
            }
        }
    }
    try {
        auto cursor = std::make_unique<FbCursor>(att, tx, owns, kind_, sql, impl_->dialect,
                                                 impl_->watch, ownTx);
        if (byShape && cursor->plainSelect()) {
            auto& shape = impl_->shapes[key];
            if (!shape) {
                fb::Status st;
                shape = shapeOf(cursor->outputMetadata(), st);
            }
            if (shape) {
                if (!tried) cursor->countRowsFor(shape);
            } else {
                impl_->shapes.erase(key);
            }
            if (impl_->shapes.size() > Impl::kMaxShapes) impl_->shapes.clear();
        }
        return cursor;
    } catch (const FbException& e) {
        throw failure(e, sql);
    } catch (const DatabaseError& error) {
        dropIfLost(error);
        throw;
    }
}

}  // namespace enviozvr::data
