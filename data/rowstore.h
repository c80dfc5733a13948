// The packed row store of a cached result set, and how values are held in it.
//
// Rows are packed into byte arenas that grow from small chunks to large ones, so that the
// many sets of one or a few rows cost neither a large allocation nor its zeroing. A row is
// never changed in place: an edited row is encoded anew. Hot paths (encode, decode) stay
// in this header so that the cached set's loops inline them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "data/value.h"

namespace enviozvr::data {

using Row = std::vector<Value>;

// Bytes an integer field is held in: 2, 4, or 8.
inline int integerWidth(const Field& f) { return (f.size == 2 || f.size == 4) ? f.size : 8; }

// Converts a value to the kind a field holds (checked: DataError when it does not fit).
Value coerceToField(const Value& v, const Field& f);
// A text without its trailing blanks, as string fields are held unless asked otherwise.
std::string trimTrailingBlanks(std::string s);

namespace rowbytes {

inline void putVarint(std::vector<unsigned char>& out, uint64_t n) {
    while (n >= 0x80) {
        out.push_back(static_cast<unsigned char>(n | 0x80));
        n >>= 7;
    }
    out.push_back(static_cast<unsigned char>(n));
}

inline uint64_t getVarint(const unsigned char*& p) {
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
inline void put(std::vector<unsigned char>& out, T v) {
    unsigned char b[sizeof(T)];
    std::memcpy(b, &v, sizeof v);
    out.insert(out.end(), b, b + sizeof v);
}

template <class T>
inline T get(const unsigned char*& p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    p += sizeof v;
    return v;
}

}  // namespace rowbytes

// Rows packed into byte arenas: a null bitmap, then each non-null value in column order
// (fixed-width numbers and dates, length-prefixed texts). Rows are never changed in
// place: an edited row is encoded anew and the index points at the new bytes.
struct RowStore {
    struct RowRef {
        const unsigned char* data;
        uint64_t id;
    };

    explicit RowStore(std::vector<Field> cols) : columns(std::move(cols)) {}

    const unsigned char* encode(const Row& row) {
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
                    if (w == 2)
                        rowbytes::put<int16_t>(scratch, static_cast<int16_t>(n));
                    else if (w == 4)
                        rowbytes::put<int32_t>(scratch, static_cast<int32_t>(n));
                    else
                        rowbytes::put<int64_t>(scratch, n);
                    break;
                }
                case FieldType::Decimal: {
                    Decimal d = v.asDecimal();
                    scratch.push_back(static_cast<unsigned char>(d.scale));
                    rowbytes::put<int64_t>(scratch, d.unscaled);
                    break;
                }
                case FieldType::Float:
                    rowbytes::put<double>(scratch, v.asDouble());
                    break;
                case FieldType::String:
                case FieldType::Blob: {
                    const std::string& s = v.asString();
                    rowbytes::putVarint(scratch, s.size());
                    scratch.insert(scratch.end(), s.begin(), s.end());
                    break;
                }
                case FieldType::Date:
                    rowbytes::put<int32_t>(scratch, v.asDate().days);
                    break;
                case FieldType::Time:
                    rowbytes::put<uint32_t>(scratch, v.asTime().fractions);
                    break;
                case FieldType::Timestamp: {
                    auto ts = v.asTimestamp();
                    rowbytes::put<int32_t>(scratch, ts.date.days);
                    rowbytes::put<uint32_t>(scratch, ts.time.fractions);
                    break;
                }
                case FieldType::Boolean:
                    scratch.push_back(v.asBoolean() ? 1 : 0);
                    break;
            }
        }
        return allocate(scratch);
    }

    const unsigned char* allocate(const std::vector<unsigned char>& bytes) {
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

    Value decode(const unsigned char* row, size_t column) const {
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
                if (w == 2) return Value::integer(rowbytes::get<int16_t>(p));
                if (w == 4) return Value::integer(rowbytes::get<int32_t>(p));
                return Value::integer(rowbytes::get<int64_t>(p));
            }
            case FieldType::Decimal: {
                int scale = *p++;
                return Value::decimal(rowbytes::get<int64_t>(p), scale);
            }
            case FieldType::Float:
                return Value::real(rowbytes::get<double>(p));
            case FieldType::String:
            case FieldType::Blob: {
                uint64_t n = rowbytes::getVarint(p);
                return Value::text(std::string(reinterpret_cast<const char*>(p), n));
            }
            case FieldType::Date:
                return Value::date(Date{rowbytes::get<int32_t>(p)});
            case FieldType::Time:
                return Value::time(Time{rowbytes::get<uint32_t>(p)});
            case FieldType::Timestamp: {
                int32_t d = rowbytes::get<int32_t>(p);
                return Value::timestamp(Timestamp{Date{d}, Time{rowbytes::get<uint32_t>(p)}});
            }
            case FieldType::Boolean:
                return Value::boolean(*p != 0);
        }
        return Value::null();
    }

    static void skip(const unsigned char*& p, const Field& f) {
        switch (f.type) {
            case FieldType::Integer:
                p += integerWidth(f);
                break;
            case FieldType::Decimal:
                p += 1 + 8;
                break;
            case FieldType::Float:
                p += 8;
                break;
            case FieldType::String:
            case FieldType::Blob: {
                uint64_t n = rowbytes::getVarint(p);
                p += n;
                break;
            }
            case FieldType::Date:
            case FieldType::Time:
                p += 4;
                break;
            case FieldType::Timestamp:
                p += 8;
                break;
            case FieldType::Boolean:
                p += 1;
                break;
        }
    }

    Row decodeRow(const unsigned char* row) const {
        Row out;
        out.reserve(columns.size());
        for (size_t c = 0; c < columns.size(); ++c) out.push_back(decode(row, c));
        return out;
    }

    int indexOf(uint64_t id) const {
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

}  // namespace enviozvr::data
