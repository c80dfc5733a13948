// A database connection: a parameter list plus an attachment through the Firebird client
// library.
//
// Two kinds. A General connection (DbGeneral) attaches with user name and password only;
// its reads share one transaction with the server's defaults that stays open until the
// connection closes; its error texts are the server's lines joined by CR LF without a
// final full stop. A Company connection (DbCia, DBEnvio) also sends the role, runs every
// statement outside an explicit transaction in a transaction of its own (read committed,
// record versions, wait on locks) committed when the statement completes (its SELECTs
// share one read-only read-committed transaction instead: see open), and its error
// texts end with the line "SQL Server Error: " and the server's message.
//
// A location without a host opens the file in-process (embedded engine); "host:path" goes
// to the server. Not thread-safe: one thread uses a connection at a time. Every failure of
// the server or the client library is thrown as DatabaseError.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/connectionkind.h"
#include "data/cursor.h"
#include "data/errors.h"
#include "data/parameters.h"
#include "data/transaction.h"
#include "data/value.h"

namespace Firebird {
class FbException;
}

namespace enviozvr::data {

class Connection {
  public:
    Connection(std::string name, ConnectionKind kind, std::vector<std::string> parameterLines);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // DbGeneral as created: user_name=SYSDBA, password=kelpstone, no location.
    static std::unique_ptr<Connection> general(std::string name = "DbGeneral");
    // DbCia / DBEnvio as created: the fixed list with its initial location, user and password.
    static std::unique_ptr<Connection> company(std::string name);

    const std::string& name() const { return name_; }
    ConnectionKind kind() const { return kind_; }

    // Parameters, by the rules of ParameterList.
    void setParam(std::string_view name, std::string_view value);
    std::string param(std::string_view name) const { return params_.get(name); }
    const ParameterList& params() const { return params_; }

    // The database location: the "Database" parameter of a Company connection, the
    // database name property of a General one.
    void setDatabase(std::string_view location);
    std::string database() const;

    // Does nothing when open; otherwise attaches with the parameters held now. A
    // "ProcessName" parameter names the attachment on the server (MON$REMOTE_PROCESS).
    void connect();
    // Does nothing when closed; otherwise closes every statement open on it (cached rows
    // survive) and detaches. An attachment the server has already dropped is released
    // without an error.
    void disconnect();
    bool isConnected() const;

    // Limits for a connection that must not wait on a silent network (the destination).
    // `connect` bounds the whole attach, the server's first answer included; `stall`
    // cancels any later call into the client library that has not returned for that long
    // (the server is asked to stop the request; a link that stays silent is closed a few
    // seconds later), so the waiting call fails. Zero switches a limit off (the default).
    void setTimeouts(std::chrono::seconds connect, std::chrono::seconds stall);
    std::chrono::seconds connectTimeout() const { return connectTimeout_; }
    std::chrono::seconds stallLimit() const;
    // True once a call was cancelled by the stall limit, until the next connect: the
    // connection is then to be given up (disconnected) by its user.
    bool stalled() const;

    // After an error that says the attachment is gone (DatabaseError::connectionLost), the
    // connection counts as closed so that the next use connects again by itself. Every
    // operation of the connection, its cursors' owners and its statements calls it on
    // failure; it never throws.
    void dropIfLost(const std::exception& error);

    // Asks the server for an answer over the attachment (one round trip, under the stall
    // limit). False when the connection is closed or the link failed on the way (lost,
    // reset, silent): an error seen just before came from the link, not from the server's
    // judgement of a statement. A lost attachment is dropped as after any failure.
    bool linkAlive();

    // The longest a statement of a Company connection waits for a row another
    // transaction holds before it fails with a lock conflict; zero waits as long as the
    // other transaction lasts (the default).
    void setLockTimeout(std::chrono::seconds timeout) { lockTimeout_ = timeout; }
    std::chrono::seconds lockTimeout() const { return lockTimeout_; }

    // The explicit transaction active on the connection (see Transaction), null when none.
    bool inTransaction() const;
    Transaction* transaction() const;
    // The options its company transactions start with, as the parameters say now.
    const TransactionOptions& transactionOptions() const { return transactionOptions_; }

    // Runs one statement with "?" markers and typed values, inside the explicit transaction
    // when one is active, otherwise in a transaction of its own committed at once. Returns
    // the number of rows it affected, or -1 without asking the server when `countRows` is
    // false (the count costs a request of its own). Connects implicitly.
    int64_t execute(const std::string& sql, const std::vector<Value>& params = {},
                    bool countRows = true);

    // With `keep` set, the statements run by execute stay prepared on the attachment, the
    // most recent few by their text, so that running one again skips preparing it (a
    // request to the server, and the server's work). They are freed when the connection
    // disconnects or `keep` is cleared, and a kept statement that fails is prepared anew
    // next time, unless the failure was a constraint refusing the row. Off by default, so that a
    // connection that stays open between uses holds no statements on the server.
    void setKeepPreparedStatements(bool keep);

    // While on, the statements of a Company connection that run outside an explicit
    // transaction (execute, executeImmediate) share one transaction that commits each
    // statement the moment it succeeds, a failed one leaving nothing, instead of starting
    // and committing a transaction of their own: one request per statement instead of
    // three. Switching it off, or disconnecting, ends that transaction. Off by default.
    // The server keeps the versions of rows as old as the transaction's start for as long
    // as it lasts, so it is committed and started anew every kAutocommitSpan statements.
    void setAutocommit(bool on);
    static constexpr int kAutocommitSpan = 100;
    bool autocommit() const;

    // Runs one statement without parameters like execute, prepared and executed in one
    // request to the server, for callers that do not look at the rows affected (they are
    // not asked for).
    void executeImmediate(const std::string& sql);

    // Opens a SELECT (connects implicitly). Inside an explicit transaction the cursor reads
    // in it. Otherwise, on a read-committed Company connection, it reads in one read-only
    // read-committed transaction that the connection shares between its SELECTs and
    // commits when it disconnects (a read sees the latest committed rows either way, and a
    // read-only read-committed transaction holds back no garbage collection); a statement
    // that is not a plain SELECT (EXECUTE PROCEDURE, a SELECT ... WITH LOCK) gets a
    // transaction of its own instead, committed when the cursor closes, as does every
    // statement under "TransIsolation=RepeatableRead". (A selectable procedure that
    // changes data cannot be read this way: it fails as an update in a read-only
    // transaction. The program reads none.)
    std::unique_ptr<Cursor> open(const std::string& sql);

    // The identifier quote of generated statements.
    static constexpr char identifierQuote() { return '"'; }

    // Objects that must be closed before the attachment goes (plain statements).
    using CloseHook = std::function<void()>;
    void registerOpenObject(const void* owner, CloseHook close);
    void unregisterOpenObject(const void* owner);

    // SQL dialect statements are prepared in: a Company connection's "SQLDialect" (3),
    // whatever the database's own; a General connection's 3, or the database's lower one.
    unsigned dialect() const;

    // The character set texts are stored in: the database's default (no connection
    // character set is asked for), "NONE" when it has none. Read once per attachment
    // (connects implicitly).
    std::string characterSet();

    struct Impl;

  private:
    friend class Transaction;
    void beginTransaction(Transaction& owner);
    void commitTransaction();
    void rollbackTransaction();

    // Lets go of the attachment and its transactions without talking to the server.
    void releaseAttachment();
    // Frees the statements execute kept prepared (only the one of text `sql` when given);
    // errors are ignored.
    void freeKeptStatements(const std::string& sql = {});
    // The error of a failed call, after marking a lost attachment for reconnection.
    DatabaseError failure(const Firebird::FbException& e, const std::string& statement = {});

    std::string name_;
    ConnectionKind kind_;
    ParameterList params_;
    TransactionOptions transactionOptions_;
    Transaction* transaction_ = nullptr;  // the owner of the explicit transaction
    std::string generalDatabase_;
    std::chrono::seconds connectTimeout_{0};
    std::chrono::seconds lockTimeout_{0};
    std::unique_ptr<Impl> impl_;
    std::vector<std::pair<const void*, CloseHook>> openObjects_;
};

// Stops for every wait on a database, for a program that is asked to stop.
//
// After trackEveryCall (call once, early), every call into the client library is watched,
// connections without a stall limit as well, and attaches without a connect timeout run
// so that they can be abandoned. interruptWaits (any thread, a signal's thread included)
// then ends every call in progress as the stall limit does (the connection counts as
// stalled, see Connection::stalled) and makes every attach that waits, now or later, fail
// at once as a lost connection.
void trackEveryCall();
void interruptWaits();
// True once interruptWaits has been called.
bool waitsInterrupted();

}  // namespace enviozvr::data
