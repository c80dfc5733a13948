// The client library's messages: how the server describes a statement's columns, where a
// column sits in a fetched row and how its bytes become a Value, and the input message
// that carries a statement's parameters.
#pragma once

#include <firebird/Interface.h>

#include <cstddef>
#include <vector>

#include "data/internal/fbapi.h"
#include "data/value.h"

namespace enviozvr::data::fb {

// The longest VARCHAR the server takes, in bytes.
constexpr size_t kMaxVarchar = 32765;

// A column's SQL type without its nullable bit.
inline unsigned baseType(unsigned type) { return type & ~1u; }

// The Field of column `i` of a statement's output, as the server describes it.
Field describeColumn(Firebird::IMessageMetadata* meta, unsigned i, Status& st);

// Where and how a column sits in a fetched message buffer, read once per statement so
// that reading a value costs no calls into the client library.
struct ColumnLayout {
    unsigned type;
    int scale;
    unsigned length;
    unsigned offset;
    unsigned nullOffset;
};

std::vector<ColumnLayout> layoutOf(Firebird::IMessageMetadata* meta, Status& st);

// Decodes one column of a message buffer; a blob is read whole through `att` in `tx`.
Value decode(const ColumnLayout& c, const unsigned char* buf, Firebird::IAttachment* att,
             Firebird::ITransaction* tx);

// The input message for a statement's "?" markers: the statement's own description with
// each parameter's type replaced by the type of the value bound to it, so the server
// converts. Blob parameters receive a blob written in the transaction.
struct InputMessage {
    Ref<Firebird::IMessageMetadata> meta;
    std::vector<unsigned char> buffer;
};

// Throws UsageError when the number of values differs from the statement's markers.
InputMessage buildInput(Firebird::IStatement* stmt, const std::vector<Value>& params,
                        Firebird::IAttachment* att, Firebird::ITransaction* tx, Status& st);

}  // namespace enviozvr::data::fb
