#include "data/transaction.h"

#include <string>

#include "data/connection.h"
#include "data/errors.h"
#include "data/names.h"

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

}  // namespace enviozvr::data
