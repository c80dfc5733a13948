// Fetching 100,000 replication events into a cached result set, against a bare loop over
// the raw client API that keeps nothing. Prints both times, their ratio, and the bytes the
// cached rows take against the bytes of their raw values.
//
// Usage: data_bench [rows] [rounds]   (embedded database in a temporary folder)
#include <firebird/Interface.h>
#include <ibase.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "data/dataset.h"
#include "data/internal/fbapi.h"
#include "support/testdb.h"

using namespace enviozvr;
using namespace Firebird;
using Clock = std::chrono::steady_clock;

namespace {

const char* kSelect = "select * from REPLICA_EVENTOS";

void fill(testing::TestDatabase& db, int rows) {
    db.exec(
        "execute block as declare i integer = 0; begin "
        "while (i < " +
        std::to_string(rows) +
        ") do begin "
        "insert into REPLICA_EVENTOS values (:i, '00' || mod(:i, 7), iif(mod(:i, 5) = 0, 12, 236), "
        ":i, "
        "'FV' || mod(:i, 3), lpad(mod(:i, 999999), 6, '0'), 'COD-' || :i, "
        "dateadd(-mod(:i, 30) day to current_date), '08:30:00', "
        "iif(mod(:i, 2) = 0, current_date, null), iif(mod(:i, 2) = 0, '09:00:00', null), "
        "iif(mod(:i, 11) = 0, 'D', 'C'), 'FX', mod(:i, 4), "
        "iif(mod(:i, 13) = 0, 'SQL Server Error: violation of constraint', null)); "
        "i = i + 1; end end");
}

// The bare loop (attached beforehand, as the cached set's connection is): prepare, open, fetch
// every row into one buffer, keep nothing. Returns the bytes of the raw values (non-null values as
// the server sends them).
IAttachment* attach(const std::string& location) {
    data::fb::Status st;
    IXpbBuilder* dpb = data::fb::util()->getXpbBuilder(&st, IXpbBuilder::DPB, nullptr, 0);
    dpb->insertString(&st, isc_dpb_user_name, "SYSDBA");
    IAttachment* att = data::fb::provider()->attachDatabase(
        &st, location.c_str(), dpb->getBufferLength(&st), dpb->getBuffer(&st));
    dpb->dispose();
    return att;
}

size_t bareFetch(IAttachment* att) {
    data::fb::Status st;
    ITransaction* tx = att->startTransaction(&st, 0, nullptr);
    IStatement* stmt = att->prepare(&st, tx, 0, kSelect, 3, IStatement::PREPARE_PREFETCH_METADATA);
    IMessageMetadata* meta = stmt->getOutputMetadata(&st);
    unsigned n = meta->getCount(&st);
    std::vector<unsigned> types, offsets, nulls, lengths;
    for (unsigned i = 0; i < n; ++i) {
        types.push_back(meta->getType(&st, i) & ~1u);
        offsets.push_back(meta->getOffset(&st, i));
        nulls.push_back(meta->getNullOffset(&st, i));
        lengths.push_back(meta->getLength(&st, i));
    }
    std::vector<unsigned char> buffer(meta->getMessageLength(&st));
    IResultSet* rs = stmt->openCursor(&st, tx, nullptr, nullptr, meta, 0);
    size_t raw = 0;
    while (rs->fetchNext(&st, buffer.data()) == IStatus::RESULT_OK) {
        for (unsigned i = 0; i < n; ++i) {
            if (*reinterpret_cast<short*>(&buffer[nulls[i]])) continue;
            if (types[i] == SQL_VARYING)
                raw += 2 + *reinterpret_cast<unsigned short*>(&buffer[offsets[i]]);
            else
                raw += lengths[i];
        }
    }
    rs->close(&st);
    stmt->free(&st);
    meta->release();
    tx->commit(&st);
    return raw;
}

struct CachedRun {
    double seconds;
    size_t bytes;
    int rows;
};

CachedRun cachedFetch(data::Connection& c) {
    data::Query q(c, kSelect);
    data::Provider p("PAuditor", q, true);
    data::CachedResultSet set("CAuditor", p);
    auto t0 = Clock::now();
    set.open();
    double s = std::chrono::duration<double>(Clock::now() - t0).count();
    return {s, set.memoryBytes(), set.recordCount()};
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    testing::TempDir dir;
    testing::TestDatabase db(dir.file("bench.fdb"));
    db.createCompanySchema();
    fill(db, rows);

    auto c = data::Connection::company("DbCia");
    c->setDatabase(db.location());
    c->setParam("User_Name", "SYSDBA");
    c->setParam("password", "");
    c->setParam("RoleName", "");
    c->connect();

    // One warm-up of each, then alternate so both see the same cache state.
    IAttachment* att = attach(db.location());
    size_t raw = bareFetch(att);
    CachedRun last = cachedFetch(*c);
    std::vector<double> bare, cached;
    for (int r = 0; r < rounds; ++r) {
        auto t0 = Clock::now();
        bareFetch(att);
        bare.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
        last = cachedFetch(*c);
        cached.push_back(last.seconds);
    }
    {
        data::fb::Status st;
        att->detach(&st);
    }
    double b = median(bare), k = median(cached);
    std::printf("rows fetched:            %d\n", last.rows);
    std::printf("bare loop (median):      %.1f ms\n", b * 1000);
    std::printf("cached fetch (median):   %.1f ms\n", k * 1000);
    std::printf("time ratio cached/bare:  %.2f (target <= 1.5)\n", k / b);
    std::printf("raw value bytes:         %zu\n", raw);
    std::printf("cached row bytes:        %zu\n", last.bytes);
    std::printf("memory ratio:            %.2f (target <= 2.0)\n",
                static_cast<double>(last.bytes) / static_cast<double>(raw));
    return 0;
}
