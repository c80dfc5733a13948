// The cursors Connection::open returns, over the client library: FbCursor fetches the rows
// of a prepared statement from an open result set; a SELECT of a shape read before may be
// read whole in one request instead (readSingleRow), when it finds at most one row.
#pragma once

#include <firebird/Interface.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/connectionkind.h"
#include "data/cursor.h"
#include "data/internal/fbapi.h"
#include "data/internal/messages.h"
#include "data/internal/timeouts.h"

namespace enviozvr::data {

// What the reads of one statement shape in a single request know (see Connection::open):
// the columns as the server described them, the message the row is asked for in (text
// blobs inline as strings while the message stays within the server's limit), and how
// often reads of the shape found at most one row against several.
struct RowShape {
    std::vector<Field> fields;
    fb::Ref<Firebird::IMessageMetadata> message;
    std::vector<fb::ColumnLayout> layout;
    unsigned length = 0;
    bool inlineBlobs = false;
    int single = 0;
    int several = 0;

    // Reads of a shape that mostly finds at most one row go in one request; one that
    // usually finds several rows goes back to the cursor.
    bool worthTrying() const { return several * 4 <= single; }
};

// The shape of a statement's output, or null when a column is not a table's own (an
// expression, which may depend on the strings the text compares with).
std::shared_ptr<RowShape> shapeOf(Firebird::IMessageMetadata* described, fb::Status& st);

// The text with the contents of its quoted strings left out: SELECTs of table columns
// that differ only in the strings they compare with return the same columns.
std::string shapeKey(const std::string& sql);

// Reads the row of a SELECT of a known shape in one request. Null when the cursor must
// read it instead: several rows, or a text blob too long to come inline. Other failures
// are thrown as they come (Firebird::FbException).
std::unique_ptr<Cursor> readSingleRow(Firebird::IAttachment* att, Firebird::ITransaction* tx,
                                      unsigned dialect, ConnectionKind kind, const std::string& sql,
                                      const std::shared_ptr<RowShape>& shape, StallWatch& watch);

// An open SELECT with its transaction. Every failure is thrown as DatabaseError.
class FbCursor : public Cursor {
  public:
    // ownTx, when given, starts a transaction of the cursor's own: a statement prepared in
    // the shared read-only transaction `tx` that turns out not to be a plain SELECT runs in
    // it instead (and commits it at close).
    FbCursor(Firebird::IAttachment* att, Firebird::ITransaction* tx, bool ownsTx,
             ConnectionKind kind, std::string sql, unsigned dialect, StallWatch& watch,
             const std::function<Firebird::ITransaction*()>& ownTx = {});
    ~FbCursor() override;
    FbCursor(const FbCursor&) = delete;
    FbCursor& operator=(const FbCursor&) = delete;

    const std::vector<Field>& fields() const override { return fields_; }

    // A SELECT that neither locks rows nor runs a procedure.
    bool plainSelect() const { return plainSelect_; }
    Firebird::IMessageMetadata* outputMetadata() const { return meta_.get(); }
    // Counts, in `shape`, whether this read finds at most one row or several.
    void countRowsFor(std::shared_ptr<RowShape> shape) { shape_ = std::move(shape); }

    bool fetch() override;
    Value value(int column) const override;
    void close() override;

  private:
    // Drops everything without talking to the server again.
    void abandon();

    Firebird::IAttachment* att_;
    Firebird::ITransaction* tx_;
    bool ownsTx_;
    ConnectionKind kind_;
    std::string sql_;
    fb::Ref<Firebird::IStatement> stmt_;
    fb::Ref<Firebird::IMessageMetadata> meta_;
    fb::Ref<Firebird::IResultSet> rs_;
    std::vector<Field> fields_;
    std::vector<fb::ColumnLayout> layout_;
    std::vector<unsigned char> buffer_;
    fb::Status fetchStatus_;
    StallWatch& watch_;
    bool plainSelect_ = false;
    std::shared_ptr<RowShape> shape_;
    int rows_ = 0;
};

}  // namespace enviozvr::data
