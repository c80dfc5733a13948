#include "data/statement.h"

#include "data/errors.h"

namespace enviozvr::data {

PlainStatement::PlainStatement(std::string name, Connection& connection)
    : name_(std::move(name)), connection_(&connection) {}

PlainStatement::~PlainStatement() {
    try {
        close();
    } catch (...) {
        // A destructor must not throw; close has given up the cursor already and told the
        // connection when the attachment is lost.
    }
    connection_->unregisterOpenObject(this);
}

void PlainStatement::open() {
    if (isOpen()) return;
    cursor_ = connection_->open(text_);
    connection_->registerOpenObject(this, [this] { close(); });
    try {
        empty_ = !cursor_->fetch();
    } catch (const DatabaseError& error) {
        closeQuietly();
        connection_->dropIfLost(error);
        throw;
    }
    eof_ = empty_;
}

void PlainStatement::close() {
    if (!cursor_) return;
    std::unique_ptr<Cursor> cursor = std::move(cursor_);
    connection_->unregisterOpenObject(this);
    eof_ = empty_ = true;
    try {
        cursor->close();
    } catch (const DatabaseError& error) {
        connection_->dropIfLost(error);
        throw;
    }
}

void PlainStatement::closeQuietly() {
    try {
        close();
    } catch (...) {
        cursor_.reset();
        eof_ = empty_ = true;
    }
}

void PlainStatement::next() {
    if (!isOpen() || eof_) return;
    try {
        eof_ = !cursor_->fetch();
    } catch (const DatabaseError& error) {
        closeQuietly();
        connection_->dropIfLost(error);
        throw;
    }
}

int PlainStatement::columnCount() const {
    return cursor_ ? static_cast<int>(cursor_->fields().size()) : 0;
}

const Field& PlainStatement::column(int index) const {
    if (!cursor_) throw DataError("Cannot perform this operation on a closed dataset");
    return cursor_->fields().at(index);
}

Value PlainStatement::value(int column) const {
    if (!cursor_) throw DataError("Cannot perform this operation on a closed dataset");
    if (column < 0 || column >= columnCount()) throw DataError("Field index out of range");
    if (eof_) return Value::null();
    try {
        return cursor_->value(column);
    } catch (const DatabaseError& error) {
        connection_->dropIfLost(error);  // closes this statement too
        throw;
    }
}

int64_t PlainStatement::execute() {
    if (isOpen()) throw DataError("Cannot perform this operation on an open dataset");
    return connection_->execute(text_);
}

void PlainStatement::executeImmediate() {
    if (isOpen()) throw DataError("Cannot perform this operation on an open dataset");
    connection_->executeImmediate(text_);
}

}  // namespace enviozvr::data
