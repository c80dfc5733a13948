#include "sender/columnpairing.h"

#include <algorithm>

#include "data/codepage.h"
#include "data/errors.h"
#include "data/sqltext.h"

namespace enviozvr::sender {

namespace {

bool holdsText(const data::Field& f) {
    return f.type == data::FieldType::String || (f.type == data::FieldType::Blob && f.textBlob);
}

bool asciiText(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string quotedName(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

}  // namespace

std::vector<std::string> ColumnPairing::destinationOnly() const {
    std::vector<std::string> names;
    for (const ColumnPair& p : pairs)
        if (!p.origin) names.push_back(p.destination.name);
    return names;
}

bool ColumnPairing::complete() const {
    return std::all_of(pairs.begin(), pairs.end(),
                       [](const ColumnPair& p) { return p.origin.has_value(); });
}

ColumnPairing pairColumns(const std::vector<data::Field>& destination,
                          const std::vector<data::Field>& origin) {
    ColumnPairing pairing;
    std::vector<bool> paired(origin.size(), false);
    for (const data::Field& f : destination) {
        ColumnPair pair{f, std::nullopt};
        const auto it = std::find_if(origin.begin(), origin.end(),
                                     [&](const data::Field& o) { return o.name == f.name; });
        if (it != origin.end()) {
            pair.origin = static_cast<size_t>(it - origin.begin());
            paired[*pair.origin] = true;
        }
        pairing.pairs.push_back(std::move(pair));
    }
    for (size_t i = 0; i < origin.size(); ++i)
        if (!paired[i]) pairing.originOnly.push_back(origin[i].name);
    return pairing;
}

std::string pairedColumnList(const ColumnPairing& pairing) {
    std::string list;
    for (const ColumnPair& p : pairing.pairs) {
        if (!p.origin) continue;
        if (!list.empty()) list += ", ";
        list += quotedName(p.destination.name);
    }
    return list;
}

std::string textFor(const std::string& text, int from, int to, const std::string& column) {
    std::optional<std::string> converted = data::convertText(text, from, to);
    if (!converted)
        throw data::DataError("Text '" + text + "' of column '" + column +
                              "' cannot be written in character set " + data::characterSetName(to));
    return std::move(*converted);
}

data::Value destinationValue(const data::Field& destination, const data::Field& origin,
                             const data::Value& value) {
    if (value.kind() == data::Value::Kind::Text && holdsText(destination) && holdsText(origin))
        return data::Value::text(textFor(value.asString(), origin.characterSet,
                                         destination.characterSet, destination.name));
    if (destination.type != data::FieldType::Decimal || value.isNull()) return value;
    const int bytes = (destination.size == 2 || destination.size == 4) ? destination.size : 8;
    return data::Value::decimal(
        data::fixedPointFor(value, destination.scale, bytes, destination.name), destination.scale);
}

bool DocumentKey::ascii() const { return asciiText(pref) && asciiText(numero); }

KeyColumnSets keyColumnSets(data::Connection& c) {
    auto cursor = c.open("select first 0 PREF_PRE, FACT_NUMERO from FACTURAS_ZVR");
    const std::vector<data::Field>& fields = cursor->fields();
    KeyColumnSets sets;
    if (fields.size() == 2) sets = {fields[0].characterSet, fields[1].characterSet};
    cursor->close();
    return sets;
}

std::string documentMatch(const DocumentKey& key, const KeyColumnSets& columns) {
    return "PREF_PRE = " + data::quoted(textFor(key.pref, key.prefSet, columns.pref, "PREF_PRE")) +
           " AND FACT_NUMERO = " +
           data::quoted(textFor(key.numero, key.numeroSet, columns.numero, "FACT_NUMERO"));
}

}  // namespace enviozvr::sender
