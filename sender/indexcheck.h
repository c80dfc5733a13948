// The indexes that keep the send cycle's statements from reading whole tables, and a
// check of a database's system tables for them. The program never creates them itself
// (the schema belongs to the business system); a missing one is reported with the
// CREATE INDEX statement that would add it.
#pragma once

#include <string>
#include <vector>

#include "data/connection.h"
#include "sender/maindata.h"

namespace enviozvr::sender {

struct WantedIndex {
    std::string table;
    std::vector<std::string> columns;  // the leading segments of an index that serves
    std::string create;                // the statement that would add one
};

// At the origin: REPLICA_EVENTOS (RPEV_ID) for the updates of one event,
// REPLICA_EVENTOS (RPEV_COMPANIA, RPEV_FECREP) for a destination's pending batch, and
// FACTURAS_ZVR (PREF_PRE, FACT_NUMERO) for the invoice read. At a destination:
// FACTURAS_ZVR (PREF_PRE, FACT_NUMERO) for the lookup, delete and update application.
const std::vector<WantedIndex>& originIndexes();
const std::vector<WantedIndex>& destinationIndexes();

// The wanted indexes that the database of `connection` lacks: an active index on the
// table whose first segments are the wanted columns in that order serves (a longer one
// too). Connects implicitly; database errors are thrown.
std::vector<WantedIndex> missingIndexes(data::Connection& connection,
                                        const std::vector<WantedIndex>& wanted);

// One warning line per index missing at the origin (DbCia) and at each destination of an
// active REPLICA_COMPANIA row with a server, reached with the replication user and
// password as the send cycle reaches it:
//   "warning: <database> has no index on <TABLE> (<COLUMNS>); it would help: CREATE INDEX ..."
// A destination that cannot be reached is left out (the send cycle reports it). Uses
// DbCia and a connection of its own for the destinations; DBEnvio is left alone.
std::vector<std::string> indexWarnings(MainData& data);

}  // namespace enviozvr::sender
