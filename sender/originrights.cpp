#include "sender/originrights.h"

#include "data/errors.h"

namespace enviozvr::sender {

namespace {

// isc_no_priv: "no permission for <right> access to TABLE <table>".
constexpr long kNoPermissionCode = 335544352L;

bool refused(const data::DatabaseError& e) {
    for (const long code : e.codes())
        if (code == kNoPermissionCode) return true;
    return e.iscCode() == kNoPermissionCode;
}

// A statement that needs the right and touches no row.
void tryRight(data::Connection& c, const OriginRight& r) {
    if (r.right == "SELECT") {
        auto rows = c.open("SELECT * FROM " + r.table + " WHERE 1 = 0");
        rows->fetch();
        rows->close();
    } else if (r.right == "UPDATE") {
        // The columns the send cycle writes when it marks an event sent or stores its error.
        c.execute("UPDATE " + r.table +
                  " SET RPEV_FECREP = NULL, RPEV_HORAREP = NULL, RPEV_ERROR = NULL WHERE 1 = 0");
    } else {
        c.execute("DELETE FROM " + r.table + " WHERE 1 = 0");
    }
}

}  // namespace

const std::vector<OriginRight>& originRights() {
    static const std::vector<OriginRight> rights = {
        {true, "SELECT", "COMPANIA"},          {false, "SELECT", "SUCURSALES"},
        {false, "SELECT", "REPLICA_COMPANIA"}, {false, "SELECT", "CONFIGURACION"},
        {false, "SELECT", "REPLICA_EVENTOS"},  {false, "SELECT", "FACTURAS_ZVR"},
        {false, "UPDATE", "REPLICA_EVENTOS"},  {false, "DELETE", "REPLICA_EVENTOS"},
    };
    return rights;
}

std::optional<OriginRight> missingOriginRight(data::Connection& general,
                                              data::Connection* company) {
    for (const OriginRight& r : originRights()) {
        if (r.general != (company == nullptr)) continue;
        try {
            tryRight(company ? *company : general, r);
        } catch (const data::DatabaseError& e) {
            if (refused(e)) return r;
            throw;
        }
    }
    return std::nullopt;
}

std::string missingRightText(const std::string& user, const OriginRight& right,
                             const std::string& database) {
    return "the login user " + user + " lacks " + right.right + " on " + right.table + " in the " +
           (right.general ? "general" : "company") + " database " + database +
           "; give it with: GRANT " + right.right + " ON " + right.table + " TO " + user;
}

}  // namespace enviozvr::sender
