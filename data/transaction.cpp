#include "data/transaction.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "data/connection.h"
#include "data/errors.h"

namespace enviozvr::data {

namespace {

bool equalsNoCase(const std::string& a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
        return std::tolower(x) == std::tolower(y);
    });
}

}  // namespace

TransactionOptions TransactionOptions::from(const ParameterList& params) {
    TransactionOptions options;
    const std::string isolation = params.get("TransIsolation");
    if (equalsNoCase(isolation, "repeatableread"))
        options.isolation = Isolation::Snapshot;
    else if (equalsNoCase(isolation, "dirtyread"))
        options.isolation = Isolation::ReadCommittedNoVersions;
    if (equalsNoCase(params.get("WaitOnLocks"), "false")) options.lockWait = LockWait::NoWait;
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
