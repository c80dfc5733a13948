// The FACTURAS_ZVR columns of an origin and a destination paired by name, the value a
// destination column takes from its origin column, and the document key in the bytes of
// the columns it is compared with: what a copy writes, and what a comparison of the two
// tables reads.
//
// Columns are paired by name, never by position: a destination column the origin lacks
// has no source (an insert leaves it to its default, or NULL), an origin column the
// destination lacks is left out. Texts are characters, not bytes: a NONE column holds
// Windows-1252, and a text goes into another column as the same characters in that
// column's character set, or not at all.
//
// Pure functions over column descriptions (data::Field, as a cursor or a cached set
// describes them), except keyColumnSets, which reads a database. Nothing is kept between
// calls; any thread may call, each with its own connection.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "data/connection.h"
#include "data/value.h"

namespace enviozvr::sender {

// One destination column and the origin column of the same name, if the origin has one.
struct ColumnPair {
    data::Field destination;       // as the destination describes it, its character set too
    std::optional<size_t> origin;  // position of the origin column; none: the origin lacks it
};

struct ColumnPairing {
    std::vector<ColumnPair> pairs;        // every destination column, in the destination's order
    std::vector<std::string> originOnly;  // origin columns the destination lacks, origin's order

    // Destination columns the origin lacks, in the destination's order.
    std::vector<std::string> destinationOnly() const;
    // Whether every destination column has an origin column.
    bool complete() const;
};

// Pairs the destination's columns with the origin's by name (names as the server gives
// them, compared exactly).
ColumnPairing pairColumns(const std::vector<data::Field>& destination,
                          const std::vector<data::Field>& origin);

// The destination columns that have an origin column, quoted and separated by ", ", for
// a select list (a statement whose inserts leave the others to the destination).
std::string pairedColumnList(const ColumnPairing& pairing);

// The value the destination column `destination` takes from the origin column `origin`
// holding `value`: a text as the same characters in the destination column's character
// set; an exact decimal with every digit the destination's scale holds, checked against
// the column; anything else as it is (a cached set converts it to the column's kind,
// checked likewise). Throws data::DataError naming the column and the value when the
// destination cannot hold it (a text its character set lacks a character of, a number
// out of its range).
data::Value destinationValue(const data::Field& destination, const data::Field& origin,
                             const data::Value& value);

// The bytes of `text`, held in character set `from`, in character set `to`, for the column
// `column`: the same characters, or data::DataError "Text '<text>' of column '<column>'
// cannot be written in character set <set>" when `to` cannot hold one of them.
std::string textFor(const std::string& text, int from, int to, const std::string& column);

// A document's key: the texts of PREF_PRE and FACT_NUMERO, each in the bytes of the
// character set it is held in (the queue's RPEV_PREF and RPEV_NUMERO, for an event).
struct DocumentKey {
    std::string pref;
    int prefSet = 0;
    std::string numero;
    int numeroSet = 0;

    // Plain ASCII: the same bytes in every character set, so no column's set is needed.
    bool ascii() const;
};

// The character sets of PREF_PRE and FACT_NUMERO of a database's FACTURAS_ZVR.
struct KeyColumnSets {
    int pref = 0;
    int numero = 0;
};

// Reads the key columns' sets at the database `c` is connected to (one statement that
// returns no row). Throws data::DatabaseError (no such table or column, a lost link).
KeyColumnSets keyColumnSets(data::Connection& c);

// "PREF_PRE = '<pref>' AND FACT_NUMERO = '<numero>'": the condition that finds the
// document in a FACTURAS_ZVR whose key columns hold `columns`, each part quoted (inner
// quotes doubled) in the bytes of its column's set. Throws data::DataError naming the
// column when its set cannot hold the key's text.
std::string documentMatch(const DocumentKey& key, const KeyColumnSets& columns);

}  // namespace enviozvr::sender
