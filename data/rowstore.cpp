#include "data/rowstore.h"

#include "data/errors.h"

namespace enviozvr::data {

std::string trimTrailingBlanks(std::string s) {
    size_t end = s.find_last_not_of(' ');
    s.erase(end == std::string::npos ? 0 : end + 1);
    return s;
}

Value coerceToField(const Value& v, const Field& f) {
    if (v.isNull()) return v;
    switch (f.type) {
        case FieldType::Integer:
            return Value::integer(fixedPointFor(v, 0, integerWidth(f), f.name));
        case FieldType::Decimal: {
            // Keep every digit a decimal has when the field declares fewer (the row then
            // holds it in 64 bits at its own scale).
            if (v.kind() == Value::Kind::Decimal && v.asDecimal().scale > f.scale) {
                fixedPointFor(v, f.scale, integerWidth(f), f.name);  // checks the range only
                return v;
            }
            return Value::decimal(fixedPointFor(v, f.scale, integerWidth(f), f.name), f.scale);
        }
        case FieldType::Float:
            return Value::real(v.asDouble());
        case FieldType::String:
        case FieldType::Blob:
            return v.kind() == Value::Kind::Text ? v : Value::text(v.toText());
        case FieldType::Date:
            return Value::date(v.asDate());
        case FieldType::Time:
            return Value::time(v.asTime());
        case FieldType::Timestamp:
            return Value::timestamp(v.asTimestamp());
        case FieldType::Boolean:
            return v.kind() == Value::Kind::Boolean ? v : Value::boolean(v.asInteger() != 0);
    }
    return v;
}

}  // namespace enviozvr::data
