// A plain statement object (QCopia, Qcopiades): one SQL text at a time, either an open
// SELECT read row by row straight from the server, or a statement executed at once. A
// statement runs in a transaction of its own, committed when it completes, unless its
// connection has an explicit transaction active, which it then joins. Closed by its
// connection's disconnect.
#pragma once

#include <memory>
#include <string>

#include "data/connection.h"

namespace enviozvr::data {

class PlainStatement {
  public:
    PlainStatement(std::string name, Connection& connection);
    ~PlainStatement();
    PlainStatement(const PlainStatement&) = delete;
    PlainStatement& operator=(const PlainStatement&) = delete;

    Connection& connection() const { return *connection_; }
    void clear() { text_.clear(); }
    void setText(std::string text) { text_ = std::move(text); }
    const std::string& text() const { return text_; }

    void open();
    void close();
    bool isOpen() const { return cursor_ != nullptr; }
    bool eof() const { return eof_; }
    bool isEmpty() const { return isOpen() && empty_; }
    void next();
    int columnCount() const;
    const Field& column(int index) const;
    Value value(int column) const;

    // Runs a statement that returns no rows ("Cannot perform this operation on an open
    // dataset" when open). Returns the rows affected.
    int64_t execute();
    // Runs it like execute, prepared and executed in one request to the server, without
    // asking for the rows affected: for statements whose count nobody reads.
    void executeImmediate();

  private:
    void closeQuietly();

    std::string name_;
    Connection* connection_;
    std::string text_;
    std::unique_ptr<Cursor> cursor_;
    bool eof_ = true;
    bool empty_ = true;
};

}  // namespace enviozvr::data
