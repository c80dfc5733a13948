#include "data/errors.h"

#include <algorithm>

namespace enviozvr::data {

DatabaseError::DatabaseError(const std::string& text, std::vector<std::string> lines, long iscCode,
                             std::string sqlState, std::string statement)
    : DataError(text),
      lines_(std::move(lines)),
      iscCode_(iscCode),
      sqlState_(std::move(sqlState)),
      statement_(std::move(statement)) {}

bool DatabaseError::connectionLost() const {
    // isc_network_error, isc_net_read_err, isc_net_write_err, isc_shutdown,
    // isc_att_shutdown, isc_conn_lost (Firebird 3 error codes).
    static constexpr long lost[] = {335544721L, 335544726L, 335544727L,
                                    335544528L, 335544856L, 335545060L};
    return std::find(std::begin(lost), std::end(lost), iscCode_) != std::end(lost) ||
           sqlState_.rfind("08", 0) == 0;
}

}  // namespace enviozvr::data
