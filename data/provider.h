// The provider of a cached result set: its source query, and the application of its
// change log.
//
// A Provider reads the rows of a source Query on a Connection and applies a change log
// as generated INSERT, DELETE and UPDATE statements (rows found by the old values of all
// eligible columns) in one transaction: the caller's when one is active on the
// connection, otherwise one of its own. Refusals reach onUpdateError as DataErrors; a
// UsageError (the transaction ended under the application) passes it by.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/connection.h"
#include "data/errors.h"
#include "data/rowstore.h"
#include "data/value.h"

namespace enviozvr::data {

enum TResolverResponse { rrSkip, rrAbort };
enum TUpdateKind { ukModify, ukInsert, ukDelete };

// One entry of a change log.
struct Change {
    TUpdateKind kind = ukInsert;
    Row oldValues;               // modify and delete
    Row newValues;               // insert and modify
    std::vector<bool> assigned;  // modify: columns assigned during the edit (insert: all)
    std::string error;           // why the last application refused it; empty otherwise
    uint64_t rowId = 0;          // the cached row the change belongs to
};

// The source of a provider: one SQL text on one connection. A table source reads
// "select * from TABLE".
class Query {
  public:
    Query(Connection& connection, std::string sql = {});
    static Query table(Connection& connection, const std::string& tableName);

    Connection& connection() const { return *connection_; }
    const std::string& sql() const { return sql_; }
    void setSql(std::string sql) { sql_ = std::move(sql); }

  private:
    Connection* connection_;
    std::string sql_;
};

class Provider;

// Hook on a failed change during update application. sender is the provider; change is
// null when the hook is called for a cached set operation instead.
using UpdateErrorHook =
    std::function<void(Provider* sender, const Change* change, const DataError& error,
                       TUpdateKind kind, TResolverResponse& response)>;

// Result of applying a change log.
struct ApplyResult {
    int errorCount = 0;
    std::vector<bool> failed;  // per change, in change-log order
    // Per change: its statement ran and stays in the database (or in the caller's
    // transaction). False for a failed change, for one never attempted after the
    // application stopped, and for every change of a transaction rolled back.
    std::vector<bool> applied;
    // The first change's failure as it was raised (null when none failed), for a caller
    // that takes a refusal as its own error instead of through onUpdateError.
    std::exception_ptr firstError;
};

class Provider {
  public:
    Provider(std::string name, Query& source, bool allowCommandText);

    const std::string& name() const { return name_; }
    Query& source() const { return *source_; }
    bool allowCommandText() const { return allowCommandText_; }

    UpdateErrorHook onUpdateError;

    // Opens the source (with the command text when given), reads every row and closes it.
    std::unique_ptr<Cursor> openSource(const std::string& commandText);
    // Runs the command text as one statement, committed when it completes.
    void execute(const std::string& commandText);
    // Applies the changes with at most maxErrors tolerated errors.
    ApplyResult apply(std::vector<Change>& changes, const std::vector<Field>& fields,
                      int maxErrors);

  private:
    void takeCommandText(const std::string& commandText);

    std::string name_;
    Query* source_;
    bool allowCommandText_;
};

}  // namespace enviozvr::data
