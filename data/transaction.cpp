#include "data/transaction.h"

#include <ibase.h>

#include <string>

#include "data/connection.h"
#include "data/errors.h"
#include "data/internal/connectionimpl.h"
#include "data/names.h"

using namespace Firebird;

namespace enviozvr::data {

TransactionOptions TransactionOptions::from(const ParameterList& params) {
    TransactionOptions options;
    const std::string isolation = params.get("TransIsolation");
    if (sameName(isolation, "repeatableread"))
        options.isolation = Isolation::Snapshot;
    else if (sameName(isolation, "dirtyread"))
        options.isolation = Isolation::ReadCommittedNoVersions;
    if (sameName(params.get("WaitOnLocks"), "false")) options.lockWait = LockWait::NoWait;
    return options;
}

Transaction::Transaction(Connection& connection) : connection_(&connection) {
    connection.beginTransaction(*this);
}

Transaction::~Transaction() {
    try {
        rollback();
    } catch (...) {
        // The transaction is gone with its attachment: nothing is left to undo.
    }
}

bool Transaction::active() const { return connection_->transaction() == this; }

void Transaction::commit() {
    if (!active()) throw UsageError("Transaction is not active");
    connection_->commitTransaction();
}

void Transaction::rollback() {
    if (active()) connection_->rollbackTransaction();
}

AutocommitScope::AutocommitScope(Connection& connection) : connection_(connection) {
    connection_.setAutocommit(true);
}

AutocommitScope::~AutocommitScope() {
    try {
        connection_.setAutocommit(false);
    } catch (...) {
        // Ending the shared transaction failed (a lost attachment): every statement in it
        // was committed as it succeeded, so nothing is lost, and a destructor must not throw.
    }
}

ITransaction* startCompanyTransaction(IAttachment* att, const TransactionOptions& options,
                                      std::chrono::seconds lockTimeout, bool readOnly,
                                      bool autocommit) {
    fb::Status st;
    fb::Disposable<IXpbBuilder> tpb(fb::util()->getXpbBuilder(&st, IXpbBuilder::TPB, nullptr, 0));
    tpb->insertTag(&st, readOnly ? isc_tpb_read : isc_tpb_write);
    if (autocommit) tpb->insertTag(&st, isc_tpb_autocommit);
    switch (options.isolation) {
        case Isolation::Snapshot:
            tpb->insertTag(&st, isc_tpb_concurrency);
            break;
        case Isolation::ReadCommitted:
            tpb->insertTag(&st, isc_tpb_read_committed);
            tpb->insertTag(&st, isc_tpb_rec_version);
            break;
        case Isolation::ReadCommittedNoVersions:
            tpb->insertTag(&st, isc_tpb_read_committed);
            tpb->insertTag(&st, isc_tpb_no_rec_version);
            break;
    }
    const bool wait = options.lockWait != LockWait::NoWait;
    tpb->insertTag(&st, wait ? isc_tpb_wait : isc_tpb_nowait);
    if (wait && !readOnly && lockTimeout.count() > 0)
        tpb->insertInt(&st, isc_tpb_lock_timeout, static_cast<int>(lockTimeout.count()));
    return att->startTransaction(&st, tpb->getBufferLength(&st), tpb->getBuffer(&st));
}
// The connection's side of the explicit transaction: it holds the client library's
// transaction, which only a Transaction starts and ends.

bool Connection::inTransaction() const { return static_cast<bool>(impl_->explicitTx); }

Transaction* Connection::transaction() const { return inTransaction() ? transaction_ : nullptr; }

void Connection::beginTransaction(Transaction& owner) {
    connect();
    if (inTransaction()) throw UsageError("Transaction is already active");
    StallWatch::Scope timed(impl_->watch, impl_->attachment.get());
    try {
        impl_->explicitTx.reset(
            startCompanyTransaction(impl_->attachment.get(), transactionOptions_, lockTimeout_));
        transaction_ = &owner;
    } catch (const FbException& e) {
        throw failure(e);
    }
}

void Connection::commitTransaction() {
    fb::Status st;
    StallWatch::Scope timed(impl_->watch, impl_->attachment.get());
    try {
        impl_->explicitTx->commit(&st);
        impl_->explicitTx.release();
        transaction_ = nullptr;
    } catch (const FbException& e) {
        throw failure(e);
    }
}

void Connection::rollbackTransaction() {
    fb::Status st;
    StallWatch::Scope timed(impl_->watch, impl_->attachment.get());
    try {
        impl_->explicitTx->rollback(&st);
        impl_->explicitTx.release();
        transaction_ = nullptr;
    } catch (const FbException& e) {
        impl_->explicitTx.reset();
        transaction_ = nullptr;
        throw failure(e);
    }
}

}  // namespace enviozvr::data
