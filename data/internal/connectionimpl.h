// What a Connection holds in the client library: its attachment, its transactions, the
// statements it keeps prepared and the shapes of the SELECTs it has read. Shared by the
// files that implement Connection (connection.cpp; transaction.cpp for the explicit
// transaction and the start of every company transaction).
#pragma once

#include <firebird/Interface.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "data/connection.h"
#include "data/internal/fbapi.h"
#include "data/internal/timeouts.h"

namespace enviozvr::data {

struct RowShape;

struct Connection::Impl {
    fb::Ref<Firebird::IAttachment> attachment;
    fb::Ref<Firebird::ITransaction> explicitTx;  // update application (Company)
    fb::Ref<Firebird::ITransaction> defaultTx;   // server-default read transaction (General)
    fb::Ref<Firebird::ITransaction> readTx;      // shared read-only read-committed reads (Company)
    fb::Ref<Firebird::ITransaction> autoTx;      // statements committed one by one (setAutocommit)
    bool autocommit = false;
    int autoTxStatements = 0;  // run in autoTx so far
    unsigned dialect = 3;
    std::string characterSet;  // read on first use, per attachment
    StallWatch watch;

    // Statements execute keeps prepared (setKeepPreparedStatements), most recent last.
    struct KeptStatement {
        std::string sql;
        fb::Ref<Firebird::IStatement> statement;
    };
    static constexpr size_t kMaxKept = 8;
    bool keepPrepared = false;
    std::vector<KeptStatement> kept;

    // Shapes of the SELECTs read so far on this attachment, by shapeKey.
    static constexpr size_t kMaxShapes = 64;
    std::unordered_map<std::string, std::shared_ptr<RowShape>> shapes;

    // The transaction a statement outside a read runs in: the explicit one while update
    // application holds it; on a company connection a transaction of its own, left in
    // `own` for the caller to commit; otherwise the general connection's default one.
    Firebird::ITransaction* statementTransaction(ConnectionKind kind,
                                                 const TransactionOptions& options,
                                                 std::chrono::seconds lockTimeout,
                                                 fb::Ref<Firebird::ITransaction>& own,
                                                 fb::Status& st);
};

// Starts a transaction of a company connection with its options (the TPB): read-only for
// the shared reads, with the server's autocommit for the statements of setAutocommit, and
// the lock timeout when it waits on locks and writes.
Firebird::ITransaction* startCompanyTransaction(Firebird::IAttachment* att,
                                                const TransactionOptions& options,
                                                std::chrono::seconds lockTimeout,
                                                bool readOnly = false, bool autocommit = false);

}  // namespace enviozvr::data
