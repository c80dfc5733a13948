// An open SELECT (see Connection::open): column descriptions and forward-only rows
// straight from the server.
#pragma once

#include <vector>

#include "data/value.h"

namespace enviozvr::data {

class Cursor {
  public:
    virtual ~Cursor() = default;
    virtual const std::vector<Field>& fields() const = 0;
    // Moves to the next row; false at the end (the first call gives the first row).
    virtual bool fetch() = 0;
    // Value of a column of the current row; CHAR values keep their trailing blanks,
    // blobs are read whole.
    virtual Value value(int column) const = 0;
    // Ends the cursor and its own transaction (committing it). Safe to call twice.
    virtual void close() = 0;
};

}  // namespace enviozvr::data
