#include "sender/verify.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "core/localfiles.h"
#include "data/codepage.h"
#include "data/cursor.h"
#include "data/errors.h"
#include "data/sqltext.h"
#include "data/transaction.h"
#include "sender/attachmentguard.h"
#include "sender/invoicetransfer.h"

namespace enviozvr::sender {

namespace {

using data::Field;
using data::Value;
using Row = std::vector<Value>;

// Bytes a text blob may bring inline per row: small enough that the server sends dozens
// of rows in each answer.
constexpr int kInlineBlobBytes = 1000;

bool holdsText(const Field& f) {
    return f.type == data::FieldType::String || (f.type == data::FieldType::Blob && f.textBlob);
}

// The most bytes one character takes in a character set.
int bytesPerCharacter(int characterSet) {
    namespace cs = data::charset;
    if (characterSet == cs::kNone || characterSet == cs::kOctets || characterSet == cs::kAscii ||
        characterSet == cs::kLatin1 || (characterSet >= 51 && characterSet <= 58))
        return 1;
    if (characterSet == cs::kUnicodeFss) return 3;
    return 4;
}

std::string withoutTrailingBlanks(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// A text held in `characterSet` as UTF-8 characters, for comparing; its bytes as they are
// when they are no text of that set.
std::string characters(const std::string& bytes, int characterSet) {
    std::optional<std::string> utf8 = data::convertText(bytes, characterSet, data::charset::kUtf8);
    if (utf8) return std::move(*utf8);
    return bytes;
}

// The key a document is known by on both sides: its characters, without the blanks that
// a comparison in SQL ignores.
std::string documentKey(const std::string& pref, int prefSet, const std::string& numero,
                        int numeroSet) {
    return withoutTrailingBlanks(characters(pref, prefSet)) + '\0' +
           withoutTrailingBlanks(characters(numero, numeroSet));
}

std::string identifier(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

bool sameValue(const Field& df, const Value& dv, const Field& of, const Value& ov) {
    if (dv.isNull() || ov.isNull()) return dv.isNull() && ov.isNull();
    if (dv.kind() == Value::Kind::Text && ov.kind() == Value::Kind::Text) {
        if (!holdsText(df) || !holdsText(of)) return dv.asString() == ov.asString();
        std::string a = characters(dv.asString(), df.characterSet);
        std::string b = characters(ov.asString(), of.characterSet);
        if (df.fixedWidth || of.fixedWidth) {
            a = withoutTrailingBlanks(std::move(a));
            b = withoutTrailingBlanks(std::move(b));
        }
        return a == b;
    }
    try {
        const int bytes = (df.size == 2 || df.size == 4) ? df.size : 8;
        switch (df.type) {
            case data::FieldType::Decimal:
                return data::fixedPointFor(ov, df.scale, bytes, df.name) ==
                       data::fixedPointFor(dv, df.scale, bytes, df.name);
            case data::FieldType::Integer:
                return data::fixedPointFor(ov, 0, bytes, df.name) ==
                       data::fixedPointFor(dv, 0, bytes, df.name);
            case data::FieldType::Float:
                if (df.size == 4)
                    return static_cast<float>(ov.asDouble()) == static_cast<float>(dv.asDouble());
                return ov.asDouble() == dv.asDouble();
            case data::FieldType::Boolean:
                return ov.asBoolean() == dv.asBoolean();
            default:
                break;
        }
    } catch (const data::DataError&) {
        // A value the destination column could not take from the origin's: it differs.
        return false;
    }
    if (dv.kind() == ov.kind()) return dv == ov;
    return dv.toText() == ov.toText();
}

// What the queue says of one document for one destination.
struct QueueDocument {
    std::string pref;
    std::string numero;
    int prefSet = 0;
    int numeroSet = 0;
    bool wanted = false;   // its last event copies it
    bool pending = false;  // an event of it is still pending
    std::string lastEvent;
};

std::string invoiceEvents(const std::string& company) {
    return " FROM REPLICA_EVENTOS WHERE RPEV_COMPANIA = " + data::quoted(company) +
           " AND RPEV_TIPO = " + std::to_string(kInvoiceType);
}

// Every invoice document of the destination's events, by key, in one statement.
std::map<std::string, QueueDocument> readQueue(data::Connection& origin,
                                               const std::string& company) {
    std::map<std::string, QueueDocument> out;
    auto cursor =
        origin.open("SELECT RPEV_PREF, RPEV_NUMERO, RPEV_OPER, RPEV_FECREP, RPEV_ID" +
                    invoiceEvents(company) + " ORDER BY RPEV_FECREG, RPEV_HORAREG, RPEV_ID");
    const int prefSet = cursor->fields()[0].characterSet;
    const int numeroSet = cursor->fields()[1].characterSet;
    while (cursor->fetch()) {
        const std::string pref = cursor->value(0).toText();
        const std::string numero = cursor->value(1).toText();
        QueueDocument& doc = out[documentKey(pref, prefSet, numero, numeroSet)];
        doc.pref = pref;
        doc.numero = numero;
        doc.prefSet = prefSet;
        doc.numeroSet = numeroSet;
        doc.wanted = cursor->value(2).toText() != "D";
        doc.pending = doc.pending || cursor->value(3).isNull();
        doc.lastEvent = cursor->value(4).toText();
    }
    cursor->close();
    return out;
}

// The keys of the destination's documents that have a pending event now.
std::set<std::string> pendingKeys(data::Connection& origin, const std::string& company) {
    std::set<std::string> out;
    auto cursor = origin.open("SELECT RPEV_PREF, RPEV_NUMERO" + invoiceEvents(company) +
                              " AND RPEV_FECREP IS NULL");
    const int prefSet = cursor->fields()[0].characterSet;
    const int numeroSet = cursor->fields()[1].characterSet;
    while (cursor->fetch())
        out.insert(
            documentKey(cursor->value(0).toText(), prefSet, cursor->value(1).toText(), numeroSet));
    cursor->close();
    return out;
}

// The FACTURAS_ZVR rows of one database, read in bulk: the table's columns as described,
// each text blob inline up to kInlineBlobBytes (a longer one marks its document, whose
// rows are then read again whole).
class InvoiceTable {
  public:
    explicit InvoiceTable(data::Connection& c) : c_(c) {
        auto cursor = c_.open("SELECT * FROM FACTURAS_ZVR WHERE 1 = 0");
        fields_ = cursor->fields();
        cursor->close();
        std::string lengths;
        for (std::size_t i = 0; i < fields_.size(); ++i) {
            const Field& f = fields_[i];
            const std::string name = identifier(f.name);
            if (!select_.empty()) select_ += ", ";
            if (f.name == "PREF_PRE") prefSet_ = f.characterSet;
            if (f.name == "FACT_NUMERO") numeroSet_ = f.characterSet;
            if (f.type == data::FieldType::Blob && f.textBlob) {
                const std::string width =
                    std::to_string(kInlineBlobBytes / bytesPerCharacter(f.characterSet));
                select_ += "CAST(SUBSTRING(";
                select_ += name;
                select_ += " FROM 1 FOR " + width;
                select_ += ") AS VARCHAR(" + width;
                select_ += ") CHARACTER SET " + data::characterSetName(f.characterSet) + ")";
                lengths += ", CHAR_LENGTH(";
                lengths += name;
                lengths += ") - " + width;
                blobs_.push_back(i);
            } else {
                select_ += name;
            }
            if (f.name == "PREF_PRE") prefColumn_ = static_cast<int>(i);
            if (f.name == "FACT_NUMERO") numeroColumn_ = static_cast<int>(i);
        }
        if (prefColumn_ < 0 || numeroColumn_ < 0)
            throw data::DataError("FACTURAS_ZVR has no column PREF_PRE or FACT_NUMERO");
        select_ += lengths;
    }

    const std::vector<Field>& fields() const { return fields_; }

    // The rows of the documents `keys` (any character set), prefix by prefix.
    void readKeys(const std::vector<DocumentKey>& keys) {
        std::map<std::string, std::vector<std::string>> byPrefix;
        for (const DocumentKey& k : keys) {
            const auto pref = data::convertText(k.pref, k.prefSet, prefSet_);
            const auto numero = data::convertText(k.numero, k.numeroSet, numeroSet_);
            // A key the columns cannot hold is no document of this table.
            if (pref && numero) byPrefix[*pref].push_back(*numero);
        }
        for (auto& [pref, numbers] : byPrefix) {
            std::sort(numbers.begin(), numbers.end());
            numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
            for (std::size_t at = 0; at < numbers.size(); at += kVerifyChunk) {
                const std::size_t end = std::min(numbers.size(), at + kVerifyChunk);
                std::set<std::string> wanted;
                for (std::size_t i = at; i < end; ++i)
                    wanted.insert(documentKey(pref, prefSet_, numbers[i], numeroSet_));
                // The range of numbers from the chunk's first to its last, which the index
                // on (PREF_PRE, FACT_NUMERO) reads in one pass; the rows of numbers between
                // them that were not asked for are dropped. Numbers queued together are
                // close, so few are; when the range holds too many, the chunk is read
                // again document by document.
                const long cap = 4 * static_cast<long>(end - at) + 100;
                const std::vector<std::string> added =
                    read("FIRST " + std::to_string(cap),
                         "PREF_PRE = " + data::quoted(pref) + " AND FACT_NUMERO BETWEEN " +
                             data::quoted(numbers[at]) + " AND " + data::quoted(numbers[end - 1]),
                         &wanted, cap);
                if (!overflowed_) continue;
                for (const std::string& key : added) {
                    rows_.erase(key);
                    cut_.erase(key);
                }
                std::string condition;
                for (std::size_t i = at; i < end; ++i) {
                    if (i > at) condition += " OR ";
                    condition += "(PREF_PRE = " + data::quoted(pref) + " AND FACT_NUMERO = ";
                    condition += data::quoted(numbers[i]);
                    condition += ")";
                }
                read({}, condition, &wanted, 0);
            }
        }
    }

    // Every row of an invoice dated `since` or later.
    void readSince(data::Date since) { read({}, "FACT_FECHA >= " + data::sqlDate(since)); }

    // The rows of a document, and whether a text blob of one of them was too long to
    // come inline.
    const std::vector<Row>* rowsOf(const std::string& key) const {
        const auto it = rows_.find(key);
        return it == rows_.end() ? nullptr : &it->second;
    }
    bool cut(const std::string& key) const { return cut_.count(key) > 0; }

    // Reads the rows of one document again, every text whole.
    void readWhole(const std::string& key, const DocumentKey& k) {
        const auto pref = data::convertText(k.pref, k.prefSet, prefSet_);
        const auto numero = data::convertText(k.numero, k.numeroSet, numeroSet_);
        std::vector<Row>& rows = rows_[key];
        rows.clear();
        cut_.erase(key);
        if (!pref || !numero) return;
        auto cursor = c_.open("SELECT * FROM FACTURAS_ZVR WHERE PREF_PRE = " + data::quoted(*pref) +
                              " AND FACT_NUMERO = " + data::quoted(*numero));
        while (cursor->fetch()) {
            Row row;
            for (std::size_t i = 0; i < fields_.size(); ++i)
                row.push_back(cursor->value(static_cast<int>(i)));
            rows.push_back(std::move(row));
        }
        cursor->close();
    }

    // The keys of every row read, with their bytes.
    std::vector<std::pair<std::string, DocumentKey>> keys() const {
        std::vector<std::pair<std::string, DocumentKey>> out;
        for (const auto& [key, rows] : rows_) {
            if (rows.empty()) continue;
            out.emplace_back(key, DocumentKey{rows[0][prefColumn_].toText(), prefSet_,
                                              rows[0][numeroColumn_].toText(), numeroSet_});
        }
        return out;
    }

  private:
    // Reads the rows `condition` finds (of the documents `wanted` only, when given) and
    // returns the keys it added. `first`: a FIRST clause; with `cap` rows read,
    // overflowed_ tells that there may be more.
    std::vector<std::string> read(const std::string& first, const std::string& condition,
                                  const std::set<std::string>* wanted = nullptr, long cap = 0) {
        auto cursor =
            c_.open("SELECT " + first + " " + select_ + " FROM FACTURAS_ZVR WHERE " + condition);
        const std::size_t n = fields_.size();
        // A document an earlier read brought (a key of the queue that the date also names)
        // keeps the rows it has.
        std::vector<std::string> fresh;
        long fetched = 0;
        while (cursor->fetch()) {
            ++fetched;
            const std::string key = documentKey(cursor->value(prefColumn_).toText(), prefSet_,
                                                cursor->value(numeroColumn_).toText(), numeroSet_);
            if (wanted && !wanted->count(key)) continue;
            if (rows_.count(key) && std::find(fresh.begin(), fresh.end(), key) == fresh.end())
                continue;
            if (fresh.empty() || fresh.back() != key) fresh.push_back(key);
            Row row;
            row.reserve(n);
            for (std::size_t i = 0; i < n; ++i) row.push_back(cursor->value(static_cast<int>(i)));
            for (std::size_t b = 0; b < blobs_.size(); ++b) {
                const Value over = cursor->value(static_cast<int>(n + b));
                if (!over.isNull() && over.asInteger() > 0) cut_.insert(key);
            }
            rows_[key].push_back(std::move(row));
        }
        cursor->close();
        overflowed_ = cap > 0 && fetched >= cap;
        return fresh;
    }

    data::Connection& c_;
    std::vector<Field> fields_;
    std::string select_;
    std::vector<std::size_t> blobs_;
    int prefColumn_ = -1;
    int numeroColumn_ = -1;
    int prefSet_ = 0;
    int numeroSet_ = 0;
    std::map<std::string, std::vector<Row>> rows_;
    std::set<std::string> cut_;
    bool overflowed_ = false;
};

// The first line of a failure's text, without "SQL Server Error: ".
std::string firstLine(const std::exception& e) {
    std::string text = e.what();
    if (text.rfind("SQL Server Error: ", 0) == 0) text.erase(0, 18);
    return text.substr(0, text.find_first_of("\r\n"));
}

// Active destination companies and their servers, by code.
std::map<std::string, std::string> activeServers(data::Connection& origin) {
    std::map<std::string, std::string> out;
    auto cursor = origin.open(
        "SELECT TRIM(RPCO_COD), RPCO_SERVIDOR FROM REPLICA_COMPANIA WHERE RPCO_ACTIVA = 'S'");
    while (cursor->fetch()) {
        const std::string server = cursor->value(1).toText();
        if (!server.empty()) out.emplace(cursor->value(0).toText(), server);
    }
    cursor->close();
    return out;
}

// Connects DBEnvio to the destination as the send cycle does (the replication login, the
// same limits); the reason when it cannot be reached.
std::optional<std::string> connectDestination(MainData& d, const std::string& company,
                                              const std::string& server) {
    d.DBEnvio.disconnect();
    d.DBEnvio.setParam("Database", companyDatabasePath(server, company));
    d.DBEnvio.setParam("User_Name", firstValue(d.CConfori, kReplicationUser));
    d.DBEnvio.setParam("password", firstValue(d.CConfori, kReplicationPassword));
    d.DBEnvio.setParam("ProcessName", destinationAttachmentName(d.originCompany, company));
    // The key columns' sets of another destination are not this one's.
    d.destinationKeySets.reset();
    d.originKeySets.reset();
    try {
        d.DBEnvio.connect();
    } catch (const std::exception& e) {
        const auto* db = dynamic_cast<const data::DatabaseError*>(&e);
        if (db && db->connectionLost()) {
            if (std::string(e.what()).find("no answer within") != std::string::npos)
                return "sin respuesta al conectar en " +
                       std::to_string(d.DBEnvio.connectTimeout().count()) + " s";
            return "servidor inalcanzable: " + firstLine(e);
        }
        return "conexion rechazada: " + firstLine(e);
    }
    return std::nullopt;
}

bool stopping(const VerifyRequest& r) { return r.stopRequested && r.stopRequested(); }

// One document compared: its state and the columns that differ.
void classify(CheckedDocument& doc, const std::vector<Row>* there, const std::vector<Row>* origin,
              const InvoiceTable& destination, const InvoiceTable& originTable) {
    doc.rows = there ? static_cast<int>(there->size()) : 0;
    if (!doc.wanted) {
        doc.state = doc.rows == 0 ? DocumentState::InLine : DocumentState::Left;
        return;
    }
    if (doc.rows == 0) {
        doc.state = DocumentState::Missing;
    } else if (doc.rows > 1) {
        doc.state = DocumentState::Doubled;
    } else {
        doc.columns =
            differingColumns(destination.fields(), (*there)[0], originTable.fields(), (*origin)[0]);
        doc.state = doc.columns.empty() ? DocumentState::InLine : DocumentState::Different;
    }
}

void count(DestinationCheck& check, const CheckedDocument& doc) {
    ++check.compared;
    switch (doc.state) {
        case DocumentState::InLine:
            ++check.inLine;
            return;
        case DocumentState::Missing:
            ++check.missing;
            break;
        case DocumentState::Different:
            ++check.different;
            break;
        case DocumentState::Left:
            ++check.left;
            break;
        case DocumentState::Doubled:
            ++check.doubled;
            break;
        case DocumentState::InFlight:
            ++check.inFlight;
            break;
    }
    check.documents.push_back(doc);
}

// Brings the documents out of line in line through the transfer, one ENVIO.TXT line each,
// leaving alone those that have a pending event by now.
void repair(MainData& d, DestinationCheck& check, const VerifyRequest& request) {
    const std::set<std::string> pending = pendingKeys(d.DbCia, check.company);
    data::AutocommitScope destinationCommits(d.DBEnvio);
    for (CheckedDocument& doc : check.documents) {
        if (doc.state == DocumentState::InFlight || doc.state == DocumentState::InLine) continue;
        if (stopping(request)) break;
        if (pending.count(
                documentKey(doc.key.pref, doc.key.prefSet, doc.key.numero, doc.key.numeroSet))) {
            doc.repairFailure = "tiene un evento pendiente";
            ++check.repairFailed;
            continue;
        }
        core::archivo_auditoria(doc.lastEvent.empty() ? "0" : doc.lastEvent,
                                std::to_string(kInvoiceType),
                                doc.pref + doc.numero + " reparacion");
        std::string refusal;
        const TransferOutcome outcome = transferDocument(d, !doc.wanted, doc.key, refusal);
        if (outcome == TransferOutcome::Done) {
            doc.repaired = true;
            ++check.repaired;
        } else if (outcome == TransferOutcome::Failed) {
            doc.repairFailure = refusal;
            ++check.repairFailed;
        } else {
            check.reason = d.DBEnvio.stalled()
                               ? "sin respuesta durante " +
                                     std::to_string(d.DBEnvio.stallLimit().count()) + " s"
                               : std::string("conexion perdida");
            doc.repairFailure = check.reason;
            ++check.repairFailed;
            break;
        }
    }
}

void verifyOne(MainData& d, DestinationCheck& check, const std::string& server,
               const VerifyRequest& request) {
    // The origin's side first: a failure here is the origin's and is thrown.
    const std::map<std::string, QueueDocument> queue = readQueue(d.DbCia, check.company);
    InvoiceTable origin(d.DbCia);
    std::vector<DocumentKey> keys;
    keys.reserve(queue.size());
    for (const auto& [key, q] : queue)
        if (!q.pending) keys.push_back({q.pref, q.prefSet, q.numero, q.numeroSet});
    origin.readKeys(keys);
    if (request.since) origin.readSince(*request.since);

    if (const auto unreachable = connectDestination(d, check.company, server)) {
        check.reason = *unreachable;
        return;
    }
    try {
        InvoiceTable destination(d.DBEnvio);
        std::vector<DocumentKey> wanted = keys;
        for (const auto& [key, k] : origin.keys())
            if (!queue.count(key)) wanted.push_back(k);
        destination.readKeys(wanted);
        check.reached = true;

        for (const auto& [key, q] : queue) {
            CheckedDocument doc;
            doc.pref = data::windows1252From(withoutTrailingBlanks(q.pref), q.prefSet);
            doc.numero = data::windows1252From(withoutTrailingBlanks(q.numero), q.numeroSet);
            doc.key = {q.pref, q.prefSet, q.numero, q.numeroSet};
            doc.lastEvent = q.lastEvent;
            if (q.pending) {
                doc.state = DocumentState::InFlight;
                count(check, doc);
                continue;
            }
            const std::vector<Row>* from = origin.rowsOf(key);
            doc.wanted = q.wanted && from && !from->empty();
            if (doc.wanted && (origin.cut(key) || destination.cut(key))) {
                const DocumentKey k{q.pref, q.prefSet, q.numero, q.numeroSet};
                origin.readWhole(key, k);
                destination.readWhole(key, k);
                from = origin.rowsOf(key);
                doc.wanted = from && !from->empty();
            }
            classify(doc, destination.rowsOf(key), from, destination, origin);
            count(check, doc);
        }
        // Origin invoices of the date or later that the destination holds.
        for (const auto& [key, k] : origin.keys()) {
            if (queue.count(key)) continue;
            const std::vector<Row>* there = destination.rowsOf(key);
            if (!there || there->empty()) continue;
            CheckedDocument doc;
            doc.pref = data::windows1252From(withoutTrailingBlanks(k.pref), k.prefSet);
            doc.numero = data::windows1252From(withoutTrailingBlanks(k.numero), k.numeroSet);
            doc.key = k;
            doc.wanted = true;
            if (origin.cut(key) || destination.cut(key)) {
                origin.readWhole(key, k);
                destination.readWhole(key, k);
            }
            classify(doc, destination.rowsOf(key), origin.rowsOf(key), destination, origin);
            count(check, doc);
        }
        if (request.repair && check.outOfLine() > 0) repair(d, check, request);
    } catch (const data::DataError& error) {
        if (!d.destinationLinkFailed(error)) throw;
        check.reached = false;
        check.reason =
            d.DBEnvio.stalled()
                ? "sin respuesta durante " + std::to_string(d.DBEnvio.stallLimit().count()) + " s"
                : "conexion perdida: " + firstLine(error);
    }
    try {
        d.DBEnvio.disconnect();
    } catch (...) {
        // A destination that cannot be detached is let go all the same.
    }
}

}  // namespace

const char* stateWord(DocumentState state) {
    switch (state) {
        case DocumentState::InLine:
            return "en linea";
        case DocumentState::Missing:
            return "falta";
        case DocumentState::Different:
            return "diferente";
        case DocumentState::Left:
            return "sobra";
        case DocumentState::Doubled:
            return "doble";
        case DocumentState::InFlight:
            return "en camino";
    }
    return "";
}

std::vector<std::string> differingColumns(const std::vector<Field>& destinationFields,
                                          const std::vector<Value>& destination,
                                          const std::vector<Field>& originFields,
                                          const std::vector<Value>& origin) {
    std::vector<std::string> out;
    const ColumnPairing pairing = pairColumns(destinationFields, originFields);
    for (std::size_t i = 0; i < pairing.pairs.size() && i < destination.size(); ++i) {
        const ColumnPair& pair = pairing.pairs[i];
        if (!pair.origin || *pair.origin >= origin.size()) continue;
        const Field& df = pair.destination;
        // What the transfer would write there; a value it could not write differs.
        std::optional<Value> written;
        try {
            written = destinationValue(df, originFields[*pair.origin], origin[*pair.origin]);
        } catch (const data::DataError&) {
            written.reset();
        }
        if (!written || !sameValue(df, destination[i], df, *written)) out.push_back(df.name);
    }
    return out;
}

std::vector<DestinationCheck> verifyDestinations(MainData& d, const VerifyRequest& request) {
    const std::map<std::string, std::string> servers = activeServers(d.DbCia);
    std::vector<std::string> companies = request.destinations;
    if (companies.empty())
        for (const auto& [code, server] : servers) companies.push_back(code);
    std::sort(companies.begin(), companies.end());
    companies.erase(std::unique(companies.begin(), companies.end()), companies.end());

    std::vector<DestinationCheck> out;
    for (const std::string& company : companies) {
        if (stopping(request)) break;
        DestinationCheck& check = out.emplace_back();
        check.company = company;
        const auto server = servers.find(company);
        if (server == servers.end()) {
            check.reason = "sin servidor activo";
            continue;
        }
        if (request.progress) request.progress(company);
        verifyOne(d, check, server->second, request);
    }
    return out;
}

}  // namespace enviozvr::sender
