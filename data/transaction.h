// Explicit transactions of a Company connection, the options they start with, and the
// scope that switches a connection's autocommit on (AutocommitScope).
//
// A Transaction begins when it is constructed and rolls back when it is destroyed without
// a commit; its destructor never throws. While it is active, the statements and cursors of
// its connection run in it. One connection holds at most one at a time. A Transaction must
// not outlive its connection, and belongs to the thread that uses the connection.
//
// Misuse (beginning a second one, committing one that has ended) throws UsageError;
// everything the server reports throws DatabaseError.
#pragma once

#include "data/parameters.h"

namespace enviozvr::data {

class Connection;

// How a company transaction sees the changes of others.
enum class Isolation {
    ReadCommitted,            // the latest committed version of each row ("ReadCommited")
    ReadCommittedNoVersions,  // read committed, waiting on rows being changed ("DirtyRead")
    Snapshot,                 // the rows as they were when it began ("RepeatableRead")
};

// What a company transaction does when it meets a row another transaction has changed.
enum class LockWait { Wait, NoWait };

// The options a company connection's transactions start with, read from its parameters
// once (whenever they change) rather than on every start: "TransIsolation" and
// "WaitOnLocks", with names and values compared without regard to case.
struct TransactionOptions {
    Isolation isolation = Isolation::ReadCommitted;
    LockWait lockWait = LockWait::Wait;

    static TransactionOptions from(const ParameterList& params);
};

class Transaction {
  public:
    // Begins an explicit transaction on the connection (connecting it first). Throws
    // UsageError when the connection already has one.
    explicit Transaction(Connection& connection);
    // Rolls back when still active; errors are ignored (the transaction is gone either way).
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    Connection& connection() const { return *connection_; }

    // True until commit or rollback, and while the attachment it runs on lasts.
    bool active() const;
    // Makes the changes permanent. Throws UsageError when no longer active.
    void commit();
    // Undoes the changes. Does nothing when no longer active.
    void rollback();

  private:
    Connection* connection_;
};

// Autocommit on a connection for as long as the scope lasts (see Connection::setAutocommit).
class AutocommitScope {
  public:
    explicit AutocommitScope(Connection& connection);
    // Ends the shared transaction; a failure here (a lost attachment) is let go, as every
    // statement in it is committed already.
    ~AutocommitScope();
    AutocommitScope(const AutocommitScope&) = delete;
    AutocommitScope& operator=(const AutocommitScope&) = delete;

  private:
    Connection& connection_;
};

}  // namespace enviozvr::data
