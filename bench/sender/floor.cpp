#include "floor.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>

#include "core/localfiles.h"

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

namespace {

// The longest text blob read inside a row; the benchmarks' notes are far shorter.
constexpr unsigned kInlineBlob = 32000;

const unsigned char kReadTpb[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_read_committed,
                                  isc_tpb_rec_version, isc_tpb_nowait};
const unsigned char kWriteTpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed,
                                   isc_tpb_rec_version, isc_tpb_wait};
const unsigned char kAutocommitTpb[] = {isc_tpb_version3,    isc_tpb_write, isc_tpb_read_committed,
                                        isc_tpb_rec_version, isc_tpb_wait,  isc_tpb_autocommit};

bool hasCode(const IStatus* status, ISC_STATUS code) {
    const ISC_STATUS* v = status->getErrors();
    for (size_t i = 0; v[i] != isc_arg_end; i += v[i] == isc_arg_cstring ? 3 : 2)
        if (v[i] == isc_arg_gds && v[i + 1] == code) return true;
    return false;
}

// A message: its metadata and its buffer, every value not null.
struct Message {
    IMessageMetadata* meta = nullptr;
    std::vector<unsigned char> data;

    Message() = default;
    Message(ThrowStatusWrapper& st, IMessageMetadata* m) : meta(m) {
        data.assign(meta->getMessageLength(&st), 0);
    }
    Message(const Message&) = delete;
    Message& operator=(const Message&) = delete;
    ~Message() {
        if (meta) meta->release();
    }
    void reset(ThrowStatusWrapper& st, IMessageMetadata* m) {
        if (meta) meta->release();
        meta = m;
        data.assign(meta->getMessageLength(&st), 0);
    }
    unsigned char* at(ThrowStatusWrapper& st, unsigned i) {
        return data.data() + meta->getOffset(&st, i);
    }
    void setText(ThrowStatusWrapper& st, unsigned i, const std::string& text) {
        const auto n = static_cast<unsigned short>(text.size());
        std::memcpy(at(st, i), &n, sizeof n);
        std::memcpy(at(st, i) + sizeof n, text.data(), n);
    }
    template <typename T>
    void set(ThrowStatusWrapper& st, unsigned i, T value) {
        std::memcpy(at(st, i), &value, sizeof value);
    }
};

// The row message of a select: its columns as described, a text blob as its bytes inside
// the row.
IMessageMetadata* rowMetadata(ThrowStatusWrapper& st, IStatement* select) {
    IMessageMetadata* described = select->getOutputMetadata(&st);
    IMetadataBuilder* builder = described->getBuilder(&st);
    for (unsigned i = 0; i < described->getCount(&st); ++i) {
        if ((described->getType(&st, i) & ~1u) != SQL_BLOB || described->getSubType(&st, i) != 1)
            continue;
        builder->setType(&st, i, SQL_VARYING + 1);
        builder->setSubType(&st, i, 0);
        builder->setLength(&st, i, kInlineBlob);
        builder->setCharSet(&st, i, 0);
    }
    IMessageMetadata* row = builder->getMetadata(&st);
    builder->release();
    described->release();
    return row;
}

// One side: its attachment, its two transactions and its statements.
struct Side {
    ThrowStatusWrapper& st;
    IAttachment* att;
    ITransaction* read;
    ITransaction* write;
    std::vector<IStatement*> statements;

    Side(ThrowStatusWrapper& s, IAttachment* a)
        : st(s),
          att(a),
          read(a->startTransaction(&st, sizeof kReadTpb, kReadTpb)),
          write(a->startTransaction(&st, sizeof kAutocommitTpb, kAutocommitTpb)) {}
    Side(const Side&) = delete;
    Side& operator=(const Side&) = delete;

    ~Side() {
        for (IStatement* s : statements) s->release();
        for (ITransaction* tx : {read, write})
            if (tx) tx->release();
    }

    IStatement* prepare(const std::string& sql) {
        statements.push_back(att->prepare(&st, write, 0, sql.c_str(), SQL_DIALECT_V6,
                                          IStatement::PREPARE_PREFETCH_METADATA));
        return statements.back();
    }

    // The input message of `s` with the document key.
    static void key(ThrowStatusWrapper& st, Message& in, const EventRow& e) {
        in.setText(st, 0, e.pref);
        in.setText(st, 1, e.numero);
    }

    // Runs the select `s` with `in`, its row into `row`; false when there is none.
    bool selectRow(IStatement* s, ITransaction* tx, Message& in, Message& row) {
        try {
            s->execute(&st, tx, in.meta, in.data.data(), row.meta, row.data.data());
            return true;
        } catch (const FbException& e) {
            if (!hasCode(e.getStatus(), isc_stream_eof)) throw;
            return false;
        }
    }

    void finish() {
        for (ITransaction** tx : {&read, &write}) {
            (*tx)->commit(&st);  // releases it
            *tx = nullptr;
        }
        for (IStatement* s : statements) s->free(&st);  // releases it
        statements.clear();
    }
};

}  // namespace

struct Floor::Impl {
    Raw& r;
    ThrowStatusWrapper& st;
    Side o, d;
    IStatement *read, *lookup, *remove, *markSent, *storeError, *insert = nullptr;
    Message readKey, lookupKey, removeKey, sent, failed, row, there;

    Impl(Raw& raw, IAttachment* origin, IAttachment* dest)
        : r(raw),
          st(raw.st),
          o(raw.st, origin),
          d(raw.st, dest),
          read(o.prepare(std::string("select * from FACTURAS_ZVR") + kKey)),
          lookup(d.prepare(std::string("SELECT * FROM FACTURAS_ZVR") + kKey)),
          remove(d.prepare(std::string("delete from FACTURAS_ZVR") + kKey)),
          markSent(o.prepare(
              "UPDATE REPLICA_EVENTOS SET RPEV_FECREP = ?, RPEV_HORAREP = ? where RPEV_ID = ?")),
          storeError(o.prepare("UPDATE REPLICA_EVENTOS SET RPEV_ERROR = ? where RPEV_ID = ?")),
          readKey(st, read->getInputMetadata(&st)),
          lookupKey(st, lookup->getInputMetadata(&st)),
          removeKey(st, remove->getInputMetadata(&st)),
          sent(st, markSent->getInputMetadata(&st)),
          failed(st, storeError->getInputMetadata(&st)),
          row(st, rowMetadata(st, read)),
          there(st, rowMetadata(st, lookup)) {
        std::string sql = "insert into FACTURAS_ZVR values (";
        for (unsigned i = 0; i < row.meta->getCount(&st); ++i) sql += i ? ", ?" : "?";
        insert = d.prepare(sql + ")");
    }

    static constexpr const char* kKey = " where PREF_PRE = ? AND FACT_NUMERO = ?";

    void send(const EventRow& e, bool withLog, FloorKind kind);
};

void Floor::Impl::send(const EventRow& e, bool withLog, FloorKind kind) {
    IUtil* util = r.master->getUtilInterface();
    if (withLog) core::archivo_auditoria(std::to_string(e.id), "236", e.pref + e.numero);
    if (kind != FloorKind::Delete) {
        Side::key(st, readKey, e);
        if (!o.selectRow(read, o.read, readKey, row)) {
            std::fprintf(stderr, "origin row missing\n");
            std::exit(1);
        }
    }
    Side::key(st, lookupKey, e);
    Side::key(st, removeKey, e);
    switch (kind) {
        case FloorKind::Copy:
            d.selectRow(lookup, d.read, lookupKey, there);
            insert->execute(&st, d.write, row.meta, row.data.data(), nullptr, nullptr);
            break;
        case FloorKind::Replace: {
            d.selectRow(lookup, d.read, lookupKey, there);
            ITransaction* tx = d.att->startTransaction(&st, sizeof kWriteTpb, kWriteTpb);
            remove->execute(&st, tx, removeKey.meta, removeKey.data.data(), nullptr, nullptr);
            d.selectRow(lookup, tx, lookupKey, there);
            insert->execute(&st, tx, row.meta, row.data.data(), nullptr, nullptr);
            tx->commit(&st);
            break;
        }
        case FloorKind::Delete:
            remove->execute(&st, d.write, removeKey.meta, removeKey.data.data(), nullptr, nullptr);
            break;
        case FloorKind::RefusedCopy: {
            d.selectRow(lookup, d.read, lookupKey, there);
            std::string error;
            try {
                insert->execute(&st, d.write, row.meta, row.data.data(), nullptr, nullptr);
            } catch (const FbException& refused) {
                char text[512];
                util->formatStatus(text, sizeof text, refused.getStatus());
                error = text;
            }
            if (error.empty()) {
                std::fprintf(stderr, "the destination took a copy it should refuse\n");
                std::exit(1);
            }
            failed.setText(st, 0, error.substr(0, 100));
            failed.set(st, 1, static_cast<ISC_LONG>(e.id));
            storeError->execute(&st, o.write, failed.meta, failed.data.data(), nullptr, nullptr);
            return;
        }
    }
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    sent.set(st, 0, util->encodeDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday));
    sent.set(st, 1, util->encodeTime(t.tm_hour, t.tm_min, t.tm_sec, 0));
    sent.set(st, 2, static_cast<ISC_LONG>(e.id));
    markSent->execute(&st, o.write, sent.meta, sent.data.data(), nullptr, nullptr);
}

Floor::Floor(Raw& r, IAttachment* origin, IAttachment* dest)
    : impl_(std::make_unique<Impl>(r, origin, dest)) {}

Floor::~Floor() = default;

void Floor::send(const std::vector<EventRow>& events, bool withLog, FloorKind kind) {
    for (const EventRow& e : events) impl_->send(e, withLog, kind);
}

void Floor::finish() {
    impl_->o.finish();
    impl_->d.finish();
}

void runFloor(Raw& r, IAttachment* origin, IAttachment* dest, const std::vector<EventRow>& events,
              bool withLog, FloorKind kind) {
    Floor floor(r, origin, dest);
    floor.send(events, withLog, kind);
    floor.finish();
}

}  // namespace enviozvr::bench
