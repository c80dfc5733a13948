#include "data/errors.h"

#include <algorithm>

namespace enviozvr::data {

DatabaseError::DatabaseError(const std::string& text, std::vector<std::string> lines, long iscCode,
                             std::string sqlState, std::string statement, std::vector<long> codes)
    : DataError(text),
      lines_(std::move(lines)),
      iscCode_(iscCode),
      sqlState_(std::move(sqlState)),
      statement_(std::move(statement)),
      codes_(std::move(codes)) {}

bool DatabaseError::connectionLost() const {
    // The client's codes for a link that failed or went away (Firebird 3): isc_network_error,
    // isc_net_connect_err, isc_net_connect_listen_err, isc_net_event_connect_err,
    // isc_net_event_listen_err, isc_net_read_err, isc_net_write_err, isc_net_lookup_err,
    // isc_net_init_error, isc_conn_lost, isc_lost_db_connection, isc_net_server_shutdown,
    // isc_net_event_connect_timeout, isc_bad_db_handle (the attachment is no more), and
    // the server's shutdown codes isc_shutdown, isc_att_shutdown; 335545060 as before. A
    // reset link can report another error first (a fetch "past the last record"), with
    // the network code further down the status vector: every code counts.
    static constexpr long lost[] = {335544721L, 335544722L, 335544723L, 335544724L, 335544725L,
                                    335544726L, 335544727L, 335544704L, 335544719L, 335544648L,
                                    335544741L, 335544971L, 335544975L, 335544324L, 335544528L,
                                    335544856L, 335545060L};
    const auto isLost = [](long code) {
        return std::find(std::begin(lost), std::end(lost), code) != std::end(lost);
    };
    return isLost(iscCode_) || std::any_of(codes_.begin(), codes_.end(), isLost) ||
           sqlState_.rfind("08", 0) == 0;
}

}  // namespace enviozvr::data
