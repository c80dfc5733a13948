// A small world for send-cycle tests: an installation directory for the logs, a "server"
// folder of embedded databases (general.fdb, the origin company 001 and destination
// companies), a MainData logged in with company 001 chosen, and recording stand-ins for
// the options, the status display and the timer.
#pragma once

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "data/sqltext.h"
#include "data/value.h"
#include "sender/invoicetransfer.h"
#include "sender/maindata.h"
#include "sender/sendcycle.h"
#include "sender/sendinterfaces.h"
#include "support/appdir.h"
#include "support/testdb.h"

namespace enviozvr::data {

// A value as a failed assertion shows it: its text in quotes, or NULL.
inline void PrintTo(const Value& v, std::ostream* os) {
    *os << (v.isNull() ? std::string("NULL") : "'" + v.toText() + "'");
}

}  // namespace enviozvr::data

namespace enviozvr::sendertest {

using data::Value;
using testing::TestDatabase;

class FakeOptions : public sender::SendOptions {
  public:
    bool chosen = true;
    std::string batch = "100";
    bool newest = false;
    bool skip = false;
    std::string minutesText = "1";
    bool companyChosen() const override { return chosen; }
    sender::BatchSize batchSize() const override { return sender::BatchSize::fromText(batch); }
    void setBatchSize(int events) override { batch = std::to_string(events); }
    bool newestFirst() const override { return newest; }
    bool skipErrored() const override { return skip; }
    std::string minutes() const override { return minutesText; }
};

class RecordingStatus : public sender::SendStatus {
  public:
    std::vector<std::string> messages;
    std::vector<std::string> panel;  // "caption|shown" / "caption|hidden"
    std::string lastSend;
    std::optional<bool> errorViewerEnabled;
    std::string lastError;
    std::vector<std::string> shownEvents;
    bool eventBoxVisible = false;
    std::vector<sender::CompanySummary> served;
    // Called with each event's text as the cycle shows it, before its transfer.
    std::function<void(const std::string&)> onEventShown;

    void showMessage(const std::string& text) override { messages.push_back(text); }
    void setProgressPanel(const std::string& caption, bool visible) override {
        panel.push_back(caption + (visible ? "|shown" : "|hidden"));
    }
    void setCurrentEvent(const std::string& text, bool visible) override {
        eventBoxVisible = visible;
        if (visible && !text.empty()) {
            shownEvents.push_back(text);
            if (onEventShown) onEventShown(text);
        }
    }
    void setLastSend(const std::string& text) override { lastSend = text; }
    void setErrorViewerEnabled(bool enabled) override { errorViewerEnabled = enabled; }
    void setLastError(const std::string& text) override { lastError = text; }
    void companyServed(const sender::CompanySummary& s) override { served.push_back(s); }
    // The cycle's stop request; a test sets it, for example from onEventShown.
    bool stop = false;
    bool stopRequested() const override { return stop; }
};

// Records what the cycle does to Timer1: "stop" and "start <ms>".
class FakeTimer : public sender::SendTimer {
  public:
    std::vector<std::string> calls;
    bool active = true;
    int ms = 1800000;
    void stop() override {
        calls.push_back("stop");
        active = false;
    }
    void start(int intervalMs) override {
        calls.push_back("start " + std::to_string(intervalMs));
        active = true;
        ms = intervalMs;
    }
    bool isActive() const override { return active; }
    int interval() const override { return ms; }
};

// One replication event for REPLICA_EVENTOS.
struct Event {
    int id;
    std::string company;
    int tipo = sender::kInvoiceType;
    std::string pref = "FV";
    std::string numero;
    std::string oper = "I";
    int registeredDaysAgo = 0;
    std::string registeredAt = "08:00:00";
    std::optional<int> sentDaysAgo = std::nullopt;  // set: already sent
    std::optional<std::string> error = std::nullopt;
    std::string codigo = "C1";
};

inline std::string sqlText(const std::optional<std::string>& s) {
    return s ? data::quoted(*s) : "NULL";
}

// An invoice row with every column type; `variant` changes every value.
inline std::string invoiceValues(const std::string& pref, const std::string& numero,
                                 int variant = 1, const std::string& estado = "A") {
    const std::string v = std::to_string(variant);
    return "INSERT INTO FACTURAS_ZVR VALUES (" + data::quoted(pref) + ", " + data::quoted(numero) +
           ", " + v + ", 900000000000" + v + ", 1234" + v + ".75, 4012.34567" + v + ", 0.1" + v +
           ", '2026-12-0" + v + "', '09:1" + v + ":05', '2026-12-0" + v + " 23:59:5" + v +
           ".1234', " + data::quoted(estado) +
           ", 'Jos\xe9 Pe\xf1"
           "a \xc1ngel \x80" +
           v + "', 'Nota \xfanica " + v + "\r\nsegunda l\xednea', 'COP')";
}

// How a world is made: logged in or not, its databases embedded or through the local
// server, the origin's default character set.
struct WorldOptions {
    bool login = true;
    bool viaServer = false;
    std::string originCharset{};
};

class SenderWorld {
  public:
    explicit SenderWorld(bool login = true) : SenderWorld(WorldOptions{.login = login}) {}
    explicit SenderWorld(const WorldOptions& options)
        : viaServer(options.viaServer),
          root(dir.path() + "/srv"),
          server(viaServer ? testing::serverHost() + ":" + root : root),
          password(viaServer ? testing::serverPassword() : "masterkey") {
        makeDirectories("/datos/001");
        general = std::make_unique<TestDatabase>(root + "/datos/general.fdb",
                                                 TestDatabase::Options{.viaServer = viaServer});
        general->createGeneralSchema();
        general->exec({"INSERT INTO COMPANIA (COMP_COD, COM_NOMBRE) VALUES ('001', 'Origen S.A.')",
                       "INSERT INTO COMPANIA (COMP_COD, COM_NOMBRE) VALUES ('002', 'Norte')",
                       "INSERT INTO COMPANIA (COMP_COD, COM_NOMBRE) VALUES ('003', 'Sin base')",
                       "INSERT INTO COMPANIA (COMP_COD, COM_NOMBRE) VALUES ('009', '')",
                       "INSERT INTO USUARIO VALUES ('SYSDBA', 'Administrador')",
                       "GRANT SELECT ON USUARIO TO PUBLIC"});
        origin = std::make_unique<TestDatabase>(
            root + "/datos/001/nivora.fdb",
            TestDatabase::Options{.viaServer = viaServer, .characterSet = options.originCharset});
        origin->createCompanySchema();
        origin->exec(
            {"INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'ARTICULOS', 'NOMBRE DE USUARIO "
             "PARA REPLICACION DE ARTICULOS', 'SYSDBA')",
             "INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'ARTICULOS', 'CLAVE DE USUARIO "
             "PARA REPLICACION DE ARTICULOS', " +
                 data::quoted(password) + ")",
             "INSERT INTO SUCURSALES VALUES (1, 'Principal', NULL, NULL)",
             "INSERT INTO SUCURSALES VALUES (2, 'Sur', NULL, NULL)"});
        if (options.login) logIn();
    }

    void logIn() {
        data.loginAutomatic(server, "sysdba", password);
        agencies = data.selectCompany("001");
    }

    // Folders under the server root that the Firebird server may write to as well.
    void makeDirectories(const std::string& below) {
        std::filesystem::create_directories(root + below);
        std::filesystem::permissions(root, std::filesystem::perms::all);
        for (size_t at = 1; at <= below.size(); ++at) {
            if (at < below.size() && below[at] != '/') continue;
            std::filesystem::permissions(root + below.substr(0, at), std::filesystem::perms::all);
        }
    }

    // Throws every other attachment off a database, as a server restart or an
    // administrator would.
    static void dropAttachments(TestDatabase& db) {
        db.exec("delete from mon$attachments where mon$attachment_id <> current_connection");
    }

    // A destination company database on this server, listed in REPLICA_COMPANIA, with
    // its default character set (empty: NONE).
    TestDatabase& addDestination(const std::string& code, const std::string& active = "S",
                                 const std::string& characterSet = {}) {
        makeDirectories("/datos/" + code);
        auto db = std::make_unique<TestDatabase>(
            root + "/datos/" + code + "/nivora.fdb",
            TestDatabase::Options{.viaServer = viaServer, .characterSet = characterSet});
        db->createCompanySchema();
        listCompany(code, server, active);
        TestDatabase& ref = *db;
        destinations[code] = std::move(db);
        return ref;
    }
    void listCompany(const std::string& code, const std::string& serverText,
                     const std::string& active = "S") {
        origin->exec("INSERT INTO REPLICA_COMPANIA VALUES (" + data::quoted(code) +
                     ", 'Destino', " + data::quoted(serverText) + ", 'N', 1, " +
                     data::quoted(active) + ")");
    }

    void addEvent(const Event& e) {
        origin->exec(
            "INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, RPEV_PREF, "
            "RPEV_NUMERO, RPEV_CODIGO, RPEV_FECREG, RPEV_HORAREG, RPEV_FECREP, RPEV_HORAREP, "
            "RPEV_OPER, RPEV_ERROR) VALUES (" +
            std::to_string(e.id) + ", " + data::quoted(e.company) + ", " + std::to_string(e.tipo) +
            ", " + data::quoted(e.pref) + ", " + data::quoted(e.numero) + ", " +
            data::quoted(e.codigo) + ", CURRENT_DATE - " + std::to_string(e.registeredDaysAgo) +
            ", " + data::quoted(e.registeredAt) + ", " +
            (e.sentDaysAgo ? "CURRENT_DATE - " + std::to_string(*e.sentDaysAgo) : "NULL") + ", " +
            (e.sentDaysAgo ? "'10:00:00'" : "NULL") + ", " + data::quoted(e.oper) + ", " +
            sqlText(e.error) + ")");
    }

    sender::CycleEnd cycle() { return sender::runSendCycle(data, options, status, timer); }

    // "pending", "pending with error", "sent", "sent with error" or "purged".
    std::string state(int id) {
        auto rows =
            origin->query("SELECT RPEV_FECREP, RPEV_ERROR FROM REPLICA_EVENTOS WHERE RPEV_ID = " +
                          std::to_string(id));
        if (rows.empty()) return "purged";
        const bool sent = !rows[0][0].isNull();
        const bool error = !rows[0][1].isNull();
        return std::string(sent ? "sent" : "pending") + (error ? " with error" : "");
    }
    std::string errorText(int id) {
        return origin
            ->scalar("SELECT RPEV_ERROR FROM REPLICA_EVENTOS WHERE RPEV_ID = " + std::to_string(id))
            .toText();
    }

    // The FACTURAS_ZVR rows of one document, every column.
    static std::vector<std::vector<Value>> invoiceRows(TestDatabase& db, const std::string& pref,
                                                       const std::string& numero) {
        return db.query("SELECT * FROM FACTURAS_ZVR WHERE PREF_PRE = " + data::quoted(pref) +
                        " AND FACT_NUMERO = " + data::quoted(numero));
    }

    std::vector<std::string> logLines(const std::string& name) const {
        return install.logLines(name);
    }
    // A log line with its date and time fields replaced by "D,T" once the date is checked
    // to be today's.
    static std::string withoutStamp(const std::string& line) {
        const std::string date = data::shortDateText(data::today()) + ",";
        if (line.rfind(date, 0) != 0) return "<not dated today>" + line;
        const auto comma = line.find(',', date.size());
        if (comma == std::string::npos) return "<no time>" + line;
        return "D,T" + line.substr(comma);
    }
    std::vector<std::string> logFields(const std::string& name) const {
        std::vector<std::string> out;
        for (const auto& l : logLines(name)) out.push_back(withoutStamp(l));
        return out;
    }

    testing::InstallDir install;
    testing::TempDir dir;
    bool viaServer;
    std::string root;      // folder of the databases
    std::string server;    // the server text: the folder, or "localhost:" and the folder
    std::string password;  // of SYSDBA, for the login and the destinations
    std::unique_ptr<TestDatabase> general;
    std::unique_ptr<TestDatabase> origin;
    std::map<std::string, std::unique_ptr<TestDatabase>> destinations;
    sender::MainData data;
    std::vector<std::string> agencies;
    FakeOptions options;
    RecordingStatus status;
    FakeTimer timer;
};

}  // namespace enviozvr::sendertest
