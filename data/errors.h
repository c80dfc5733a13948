// Error types of the data layer.
//
// DataError is every failure the data layer itself reports: server errors, the cached
// result set's own rule violations ("Field '%s' must have a value", ...), update
// application failures. The error hooks of cached result sets see only DataErrors; other
// exceptions pass them by. UsageError is a fault of the calling code (a second
// transaction begun on one connection, ...), kept apart from DataError so that no hook
// takes it for something the server refused. SilentAbort is the error kind that unwinds
// to the event loop and is reported nowhere.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace enviozvr::data {

class DataError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A failure reported by the Firebird client library or server. what() is the text the
// program shows and stores, already in the form of the connection it came from.
class DatabaseError : public DataError {
  public:
    DatabaseError(const std::string& text, std::vector<std::string> lines, long iscCode,
                  std::string sqlState, std::string statement = {}, std::vector<long> codes = {});

    // The server's message lines, in order, as the client library formats them.
    const std::vector<std::string>& lines() const { return lines_; }
    // The first ISC error code of the status vector (0 when there is none).
    long iscCode() const { return iscCode_; }
    // Every ISC error code of the status vector, in order (the first one included).
    const std::vector<long>& codes() const { return codes_; }
    // SQLSTATE of the failure, empty when the server gave none.
    const std::string& sqlState() const { return sqlState_; }
    // The statement text that failed, empty for attach and transaction errors.
    const std::string& statement() const { return statement_; }
    // True when the attachment is gone (network down, link reset, server shut down): any
    // code of the status vector is one of the client's network or shutdown codes, or the
    // SQLSTATE is of class 08. The connection cannot be used any more and must be
    // connected again.
    bool connectionLost() const;

  private:
    std::vector<std::string> lines_;
    long iscCode_;
    std::string sqlState_;
    std::string statement_;
    std::vector<long> codes_;
};

// A call the data layer cannot serve in the state its objects are in ("Transaction is
// already active", ...): a fault of the calling code, never of the database.
class UsageError : public std::logic_error {
  public:
    using std::logic_error::logic_error;
};

// The silent abort: ends the current event without any log line or message.
class SilentAbort : public std::exception {
  public:
    const char* what() const noexcept override { return "Operation aborted"; }
};

}  // namespace enviozvr::data
