// The indexes that keep the send cycle's statements from reading whole tables, and a
// check of a database's system tables for them. The program never creates them itself
// (the schema belongs to the business system); a missing one is reported with the
// CREATE INDEX statement that would add it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "data/connection.h"
#include "sender/maindata.h"

namespace enviozvr::sender {

struct WantedIndex {
    std::string table;
    std::vector<std::string> columns;  // the leading segments of an index that serves
    bool descending = false;           // the direction it must have
    std::string create;                // the statement that would add one
    bool unique = false;               // only a unique index on exactly these columns serves
};

// At the origin, on REPLICA_EVENTOS: (RPEV_ID) for the updates of one event;
// (RPEV_COMPANIA, RPEV_FECREP) to pick a destination's pending events; (RPEV_FECREG,
// RPEV_HORAREG, RPEV_ID), ascending, or descending when the newest go first, to take the
// batch in its order without sorting every pending event; (RPEV_FECREP) for the purge of
// sent events; (RPEV_FECREP, RPEV_HORAREP) descending for the last send shown. And
// FACTURAS_ZVR (PREF_PRE, FACT_NUMERO) for the invoice read. At a destination: a unique
// index on FACTURAS_ZVR (PREF_PRE, FACT_NUMERO), for the lookup, delete and update
// application, and so that no invoice can ever be there twice.
const std::vector<WantedIndex>& originIndexes(bool newestFirst = false);
const std::vector<WantedIndex>& destinationIndexes();

// The wanted indexes that the database of `connection` lacks: an active index on the
// table, in the wanted direction, whose first segments are the wanted columns in that
// order serves (a longer one too). Connects implicitly; database errors are thrown.
std::vector<WantedIndex> missingIndexes(data::Connection& connection,
                                        const std::vector<WantedIndex>& wanted);

// One warning line per index missing at the origin (DbCia) and at each destination of an
// active REPLICA_COMPANIA row with a server, reached with the replication user and
// password as the send cycle reaches it:
//   "warning: <database> has no index on <TABLE> (<COLUMNS>); it would help: CREATE INDEX ..."
// Each destination is reached under DBEnvio's limits (connect timeout, stall limit); one
// that cannot be reached gets one line, "warning: the indexes of the destination
// database <database> could not be checked: <reason>", and the check goes on. A
// destination where the replication user cannot end attachments (delete from
// MON$ATTACHMENTS) gets one line that says so, that nothing is sent there while such an
// attachment remains, whatever the indexes, and the GRANT that would give the right. `stop`,
// when given, is asked before each destination: once it says true the check ends with
// what it has. Uses DbCia and a connection of its own for the destinations; DBEnvio is
// left alone. `newestFirst` is the order the batches are taken in.
std::vector<std::string> indexWarnings(MainData& data, bool newestFirst = false,
                                       const std::function<bool()>& stop = {});

}  // namespace enviozvr::sender
