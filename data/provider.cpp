#include "data/provider.h"

#include <algorithm>
#include <optional>

#include "data/dataset.h"
#include "data/errors.h"
#include "data/rowstore.h"
#include "data/transaction.h"
#include "data/updatestatements.h"

namespace enviozvr::data {

Query::Query(Connection& connection, std::string sql)
    : connection_(&connection), sql_(std::move(sql)) {}

Query Query::table(Connection& connection, const std::string& tableName) {
    return Query(connection, "select * from " + tableName);
}

Provider::Provider(std::string name, Query& source, bool allowCommandText)
    : name_(std::move(name)), source_(&source), allowCommandText_(allowCommandText) {}

void Provider::takeCommandText(const std::string& commandText) {
    if (commandText.empty()) return;
    if (!allowCommandText_) throw DataError("CommandText changes are not allowed");
    source_->setSql(commandText);
}

std::unique_ptr<Cursor> Provider::openSource(const std::string& commandText) {
    takeCommandText(commandText);
    return source_->connection().open(source_->sql());
}

void Provider::execute(const std::string& commandText) {
    takeCommandText(commandText);
    source_->connection().executeImmediate(source_->sql());
}

ApplyResult Provider::apply(std::vector<Change>& changes, const std::vector<Field>& fields,
                            int maxErrors) {
    ApplyResult result;
    result.failed.assign(changes.size(), false);
    result.applied.assign(changes.size(), false);
    if (changes.empty()) return result;

    // The changes run in the caller's transaction when one is active, otherwise in one of
    // their own, which rolls back whatever escapes (an error raised inside the hook). A
    // lone insert on a connection that commits each statement as it succeeds needs none:
    // it is all or nothing by itself, and nothing is counted that could undo it.
    Connection& connection = source_->connection();
    std::optional<Transaction> own;
    Transaction* transaction = connection.transaction();
    const bool alone =
        connection.autocommit() && changes.size() == 1 && changes.front().kind == ukInsert;
    if (!transaction && !alone) transaction = &own.emplace(connection);

    const std::string table = targetTableName(source_->sql());
    const std::string quoted = quotedTableName(table);
    int errors = 0;
    bool rolledBack = false;
    for (Change& change : changes) change.error.clear();  // texts of this application only
    for (size_t i = 0; i < changes.size(); ++i) {
        Change& change = changes[i];
        if (transaction && !transaction->active()) {
            // The transaction ended under the application. With its attachment lost, what
            // ran in it is gone and nothing more can run; ended by the caller (a hook), it
            // is the caller's fault, not one of the change.
            if (!connection.isConnected()) {
                rolledBack = true;
                break;
            }
            throw UsageError("Transaction is not active");
        }
        try {
            if (table.empty()) throw DataError("Unable to resolve records.  Table name not found.");
            GeneratedStatement statement = generateStatement(change, fields, quoted);
            if (!statement.text.empty()) {
                // The server counts an INSERT of one row of values as one row whatever the
                // target's triggers do (a view's included), or fails it: its count, a
                // request of its own, is not asked for.
                const bool counted = change.kind != ukInsert;
                const int64_t affected =
                    connection.execute(statement.text, statement.params, counted);
                if (counted && affected > 1) {
                    if (transaction) transaction->rollback();
                    rolledBack = true;
                    throw DataError("Update affected more than 1 record.");
                }
                if (counted && affected < 1)
                    throw DataError("Record not found or changed by another user");
            }
            result.applied[i] = true;
        } catch (const DataError& error) {
            TResolverResponse response = errors >= maxErrors ? rrAbort : rrSkip;
            if (onUpdateError) onUpdateError(this, &change, error, change.kind, response);
            ++errors;
            // Nothing more can run once the transaction is rolled back.
            if (errors > maxErrors || rolledBack) response = rrAbort;
            result.failed[i] = true;
            change.error = error.what();
            if (!result.firstError) result.firstError = std::current_exception();
            if (response == rrAbort) break;
        }
    }
    if (own && transaction->active()) {
        if (errors <= maxErrors) {
            transaction->commit();
        } else {
            transaction->rollback();
            rolledBack = true;
        }
    }
    // What a rollback undid did not reach the database: it stays to be applied again.
    if (rolledBack) result.applied.assign(changes.size(), false);
    result.errorCount = errors;
    return result;
}

// The cached set's side of an application: the changes applied leave its log, and the
// rows cancel-updates returns to follow.

void CachedResultSet::cancelUpdates() {
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit) cancel();
    if (!store_) return;
    store_->rows = store_->baseline;
    changes_.clear();
    setCurrent(current_);
    orderRows();
}

int CachedResultSet::currentChange() const {
    if (!store_ || current_ < 0 || current_ >= recordCount()) return -1;
    const uint64_t id = store_->rows[current_].id;
    for (size_t i = 0; i < changes_.size(); ++i)
        if (changes_[i].rowId == id && changes_[i].kind != ukDelete) return static_cast<int>(i);
    return -1;
}

void CachedResultSet::revertChange(int index) {
    if (!active()) throw DataError("Cannot perform this operation on a closed dataset");
    if (index < 0 || index >= changeCount()) throw DataError("Change index out of range");
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit) cancel();
    const Change change = std::move(changes_[index]);
    changes_.erase(changes_.begin() + index);
    std::vector<RowStore::RowRef>& rows = store_->rows;
    const auto at = std::find_if(rows.begin(), rows.end(),
                                 [&](const RowStore::RowRef& r) { return r.id == change.rowId; });
    switch (change.kind) {
        case ukModify:
            if (at == rows.end()) break;
            at->data = store_->encode(change.oldValues);
            setCurrent(static_cast<int>(at - rows.begin()));
            break;
        case ukInsert:
            if (at == rows.end()) break;
            setCurrent(static_cast<int>(rows.erase(at) - rows.begin()));
            break;
        case ukDelete: {
            // Row ids follow the order of the read (rows added later come after it).
            const auto place =
                std::find_if(rows.begin(), rows.end(),
                             [&](const RowStore::RowRef& r) { return r.id > change.rowId; });
            const auto back = rows.insert(place, {store_->encode(change.oldValues), change.rowId});
            setCurrent(static_cast<int>(back - rows.begin()));
            break;
        }
    }
}

int CachedResultSet::applyUpdates(int maxErrors) {
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit) endEditing();
    lastApplyError_ = nullptr;
    if (changes_.empty()) return 0;
    ApplyResult result = provider_->apply(changes_, columns_, maxErrors);
    lastApplyError_ = result.firstError;
    // Reconcile: applied changes leave the log; the others (failed, never attempted, or
    // undone by a rollback) stay for another try. The baseline that cancel-updates returns
    // to becomes the rows as they are now, less the changes that stay.
    std::vector<Change> remaining;
    std::vector<RowStore::RowRef> baseline = store_->rows;
    for (size_t i = 0; i < changes_.size(); ++i) {
        if (result.applied[i]) continue;
        Change& change = changes_[i];
        auto at = std::find_if(baseline.begin(), baseline.end(),
                               [&](const RowStore::RowRef& r) { return r.id == change.rowId; });
        switch (change.kind) {
            case ukInsert:
                if (at != baseline.end()) baseline.erase(at);
                break;
            case ukDelete:
                baseline.push_back({store_->encode(change.oldValues), change.rowId});
                break;
            case ukModify:
                if (at != baseline.end()) at->data = store_->encode(change.oldValues);
                break;
        }
        remaining.push_back(std::move(change));
    }
    store_->baseline = std::move(baseline);
    changes_ = std::move(remaining);
    return result.errorCount;
}

}  // namespace enviozvr::data
