#include "data/internal/messages.h"

#include <ibase.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "data/errors.h"
#include "data/internal/blobs.h"

using namespace Firebird;

namespace enviozvr::data::fb {

namespace {

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

// The number of the character set a text column's bytes are in (its low byte: the set
// without a collation).
int characterSetOf(IMessageMetadata* meta, unsigned i, Status& st) {
    return static_cast<int>(meta->getCharSet(&st, i) & 0xFFu);
}

}  // namespace

Field describeColumn(IMessageMetadata* meta, unsigned i, Status& st) {
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

std::vector<ColumnLayout> layoutOf(IMessageMetadata* meta, Status& st) {
    std::vector<ColumnLayout> out;
    unsigned n = meta->getCount(&st);
    for (unsigned i = 0; i < n; ++i) {
        out.push_back({baseType(meta->getType(&st, i)), meta->getScale(&st, i),
                       meta->getLength(&st, i), meta->getOffset(&st, i),
                       meta->getNullOffset(&st, i)});
    }
    return out;
}

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
            Status st;
            return Value::text(readBlob(att, tx, &id, st));
        }
        case SQL_BOOLEAN:
            return Value::boolean(*p != 0);
        default:
            return Value::null();
    }
}

InputMessage buildInput(IStatement* stmt, const std::vector<Value>& params, IAttachment* att,
                        ITransaction* tx, Status& st) {
    InputMessage msg;
    Ref<IMessageMetadata> described(stmt->getInputMetadata(&st));
    unsigned count = described->getCount(&st);
    if (count != params.size())
        throw UsageError("Statement has " + std::to_string(count) + " parameters, " +
                         std::to_string(params.size()) + " given");
    if (count == 0) return msg;
    Ref<IMetadataBuilder> builder(described->getBuilder(&st));
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

}  // namespace enviozvr::data::fb
