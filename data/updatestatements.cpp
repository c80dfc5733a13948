#include "data/updatestatements.h"

#include <algorithm>
#include <cctype>

#include "data/connection.h"
#include "data/errors.h"

namespace enviozvr::data {

namespace {

const char* const kCrLf = "\r\n";

bool isQuoteChar(char c) { return c == '"' || c == '\'' || c == '`'; }

std::string quotedColumn(const std::string& name) {
    return std::string(1, Connection::identifierQuote()) + name + Connection::identifierQuote();
}

// Strings of 8191 characters or more (8192 bytes with their terminator) cannot be compared
// in a WHERE clause, and neither can blobs.
bool whereEligible(const Field& f, const Value& old) {
    if (f.type == FieldType::Blob) return false;
    if (f.type == FieldType::String) {
        size_t width = f.size > 0 ? static_cast<size_t>(f.size)
                                  : (old.kind() == Value::Kind::Text ? old.asString().size() : 0);
        if (width >= 8191) return false;
    }
    return true;
}

}  // namespace

std::string targetTableName(const std::string& sql) {
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

std::string quotedTableName(const std::string& name) {
    if (name.empty()) return name;
    if (isQuoteChar(name.front()) || isQuoteChar(name.back())) return name;
    std::string out;
    size_t start = 0;
    for (;;) {
        size_t dot = name.find('.', start);
        out += quotedColumn(
            name.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) break;
        out += '.';
        start = dot + 1;
    }
    return out;
}

namespace {

void whereLines(std::string& text, std::vector<Value>& params, const Change& change,
                const std::vector<Field>& fields) {
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
                                     const std::string& quotedTable) {
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

}  // namespace enviozvr::data
