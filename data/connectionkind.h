// The two kinds of database connection (see Connection), in a header of its own so that
// the client-library helpers under data/internal can name a kind without the connection.
#pragma once

namespace enviozvr::data {

// General: DbGeneral, user name and password only, the server's default transaction and
// error texts without a final full stop. Company: DbCia and DBEnvio, with a role, a
// transaction per statement and error texts after "SQL Server Error: ".
enum class ConnectionKind { General, Company };

}  // namespace enviozvr::data
