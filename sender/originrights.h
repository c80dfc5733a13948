// The rights the origin's login user needs, and a check of them at the start of an
// unattended run. A right the server refuses is a configuration error: starting again
// cannot mend it, only a GRANT can, so it is found before the first cycle rather than in
// the middle of one.
//
// The rights, in the order they are tried:
//   general database:  SELECT on COMPANIA
//   company database:  SELECT on SUCURSALES, REPLICA_COMPANIA, CONFIGURACION,
//                      REPLICA_EVENTOS and FACTURAS_ZVR; UPDATE and DELETE on
//                      REPLICA_EVENTOS
// Each is tried with a statement that touches no row (WHERE 1 = 0), so the check changes
// nothing and reads nothing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "data/connection.h"

namespace enviozvr::sender {

struct OriginRight {
    bool general;       // in the general database (otherwise the company database)
    std::string right;  // SELECT, UPDATE, DELETE
    std::string table;
};

// Every right above, in order.
const std::vector<OriginRight>& originRights();

// The first right of the list in `database` (the general database when `company` is
// null, otherwise the company database) that the server refuses to the connection's user
// (a no-permission error), or nothing. Any other failure (a lost link) is thrown as it
// comes. The caller's thread only.
std::optional<OriginRight> missingOriginRight(data::Connection& general, data::Connection* company);

// The line that says it: the user, the right, the table, the database and the GRANT that
// gives it, e.g. "the login user MONITOR lacks SELECT on SUCURSALES in the company database
// dbhost:/srv/nivora/datos/001/nivora.fdb; give it with: GRANT SELECT ON SUCURSALES TO
// MONITOR".
std::string missingRightText(const std::string& user, const OriginRight& right,
                             const std::string& database);

}  // namespace enviozvr::sender
