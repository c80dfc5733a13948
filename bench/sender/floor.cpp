#include "floor.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "core/localfiles.h"
#include "data/sqltext.h"

using namespace Firebird;

namespace enviozvr::bench {

Raw::~Raw() {
    st.dispose();
    provider->release();
}

IAttachment* Raw::attach(const std::string& location, const std::string& user,
                         const std::string& password) {
    IXpbBuilder* dpb = master->getUtilInterface()->getXpbBuilder(&st, IXpbBuilder::DPB, nullptr, 0);
    dpb->insertString(&st, isc_dpb_user_name, user.c_str());
    dpb->insertString(&st, isc_dpb_password, password.c_str());
    IAttachment* a = provider->attachDatabase(&st, location.c_str(), dpb->getBufferLength(&st),
                                              dpb->getBuffer(&st));
    dpb->dispose();
    return a;
}

ITransaction* Raw::begin(IAttachment* a) {
    static const unsigned char tpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed,
                                        isc_tpb_rec_version, isc_tpb_wait};
    return a->startTransaction(&st, sizeof tpb, tpb);
}

namespace {

// The origin's row of one document: its message, metadata and blob texts.
struct OriginRow {
    IMessageMetadata* meta = nullptr;
    std::vector<unsigned char> row;
    std::vector<std::pair<unsigned, std::string>> blobs;
};

OriginRow readOrigin(Raw& r, IAttachment* origin, const std::string& cond) {
    OriginRow o;
    std::vector<unsigned char> blobText(32768);  // segments are at most 64 KiB - 1
    ITransaction* tx = r.begin(origin);
    IResultSet* rs = origin->openCursor(
        &r.st, tx, 0, ("select * from FACTURAS_ZVR where PREF_PRE" + cond).c_str(), SQL_DIALECT_V6,
        nullptr, nullptr, nullptr, nullptr, 0);
    o.meta = rs->getMetadata(&r.st);
    o.row.assign(o.meta->getMessageLength(&r.st), 0);
    if (rs->fetchNext(&r.st, o.row.data()) != IStatus::RESULT_OK) {
        std::fprintf(stderr, "origin row missing\n");
        std::exit(1);
    }
    const unsigned columns = o.meta->getCount(&r.st);
    for (unsigned i = 0; i < columns; ++i) {
        if (o.meta->getType(&r.st, i) != SQL_BLOB) continue;
        if (*reinterpret_cast<short*>(&o.row[o.meta->getNullOffset(&r.st, i)])) continue;
        auto* id = reinterpret_cast<ISC_QUAD*>(&o.row[o.meta->getOffset(&r.st, i)]);
        IBlob* b = origin->openBlob(&r.st, tx, id, 0, nullptr);
        std::string text;
        unsigned got = 0;
        for (;;) {
            const int rc = b->getSegment(&r.st, blobText.size(), blobText.data(), &got);
            if (rc == IStatus::RESULT_NO_DATA) break;
            text.append(reinterpret_cast<char*>(blobText.data()), got);
        }
        b->close(&r.st);
        o.blobs.emplace_back(i, std::move(text));
    }
    rs->close(&r.st);
    tx->commit(&r.st);
    return o;
}

// The destination lookup in `tx`; true when it found a row.
bool lookup(Raw& r, IAttachment* dest, ITransaction* tx, const std::string& cond) {
    IResultSet* rs =
        dest->openCursor(&r.st, tx, 0, ("SELECT * FROM FACTURAS_ZVR where PREF_PRE" + cond).c_str(),
                         SQL_DIALECT_V6, nullptr, nullptr, nullptr, nullptr, 0);
    IMessageMetadata* meta = rs->getMetadata(&r.st);
    std::vector<unsigned char> row(meta->getMessageLength(&r.st));
    const bool found = rs->fetchNext(&r.st, row.data()) == IStatus::RESULT_OK;
    rs->close(&r.st);
    meta->release();
    return found;
}

// The insert with the origin's row as its parameters, its blobs written anew, in `tx`.
void insert(Raw& r, IAttachment* dest, ITransaction* tx, OriginRow& o) {
    for (auto& [i, text] : o.blobs) {
        auto* id = reinterpret_cast<ISC_QUAD*>(&o.row[o.meta->getOffset(&r.st, i)]);
        IBlob* b = dest->createBlob(&r.st, tx, id, 0, nullptr);
        b->putSegment(&r.st, text.size(), text.data());
        b->close(&r.st);
    }
    std::string sql = "insert into FACTURAS_ZVR values (";
    for (unsigned i = 0; i < o.meta->getCount(&r.st); ++i) sql += i ? ", ?" : "?";
    sql += ")";
    dest->execute(&r.st, tx, 0, sql.c_str(), SQL_DIALECT_V6, o.meta, o.row.data(), nullptr,
                  nullptr);
}

// One statement in a transaction of its own, committed.
void executeAlone(Raw& r, IAttachment* a, const std::string& sql) {
    ITransaction* tx = r.begin(a);
    a->execute(&r.st, tx, 0, sql.c_str(), SQL_DIALECT_V6, nullptr, nullptr, nullptr, nullptr);
    tx->commit(&r.st);
}

}  // namespace

void runFloor(Raw& r, IAttachment* origin, IAttachment* dest, const std::vector<EventRow>& events,
              bool withLog, FloorKind kind) {
    for (const EventRow& e : events) {
        if (withLog) core::archivo_auditoria(std::to_string(e.id), "236", e.pref + e.numero);
        const std::string cond =
            " = " + data::quoted(e.pref) + " AND FACT_NUMERO = " + data::quoted(e.numero);

        OriginRow o;
        if (kind != FloorKind::Delete) o = readOrigin(r, origin, cond);

        ITransaction* tx = r.begin(dest);
        const bool found = lookup(r, dest, tx, cond);
        tx->commit(&r.st);

        switch (kind) {
            case FloorKind::Copy:
                tx = r.begin(dest);
                insert(r, dest, tx, o);
                tx->commit(&r.st);
                break;
            case FloorKind::Replace:
                tx = r.begin(dest);
                dest->execute(&r.st, tx, 0,
                              ("delete from FACTURAS_ZVR WHERE PREF_PRE" + cond).c_str(),
                              SQL_DIALECT_V6, nullptr, nullptr, nullptr, nullptr);
                lookup(r, dest, tx, cond);
                insert(r, dest, tx, o);
                tx->commit(&r.st);
                break;
            case FloorKind::Delete:
                if (found) executeAlone(r, dest, "delete from FACTURAS_ZVR where PREF_PRE" + cond);
                break;
            case FloorKind::RefusedCopy: {
                tx = r.begin(dest);
                std::string error;
                try {
                    insert(r, dest, tx, o);
                } catch (const FbException& refused) {
                    char text[512];
                    r.master->getUtilInterface()->formatStatus(text, sizeof text,
                                                               refused.getStatus());
                    error = text;
                }
                if (error.empty()) {
                    std::fprintf(stderr, "the destination took a copy it should refuse\n");
                    std::exit(1);
                }
                tx->rollback(&r.st);
                executeAlone(r, origin,
                             "UPDATE REPLICA_EVENTOS SET RPEV_ERROR = " +
                                 data::quoted(error.substr(0, 100)) +
                                 " where RPEV_ID = " + std::to_string(e.id));
                break;
            }
        }
        if (o.meta) o.meta->release();
        if (kind == FloorKind::RefusedCopy) continue;

        executeAlone(r, origin,
                     "UPDATE REPLICA_EVENTOS SET RPEV_FECREP = " + data::sqlDate(data::today()) +
                         ", RPEV_HORAREP = " + data::sqlTime(data::timeNow()) +
                         " where RPEV_ID = " + std::to_string(e.id));
    }
}

}  // namespace enviozvr::bench
