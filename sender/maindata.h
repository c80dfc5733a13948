// MainData: the connections, queries, providers, cached result sets and plain
// statements that the main screen owns for the life of the process, the login record,
// the update-error hooks wired into them, the two logins and the company selection.
//
// One instance for each thread that works on the databases: the desktop's main window
// and its send thread (ui/sendrunner.h), the headless mode and each worker of a parallel
// cycle, tests. It is not copyable and its members keep their addresses for its whole
// life. Every call, its destructor's included, runs on the thread that made it, and no
// connection or data object is shared between instances. The exceptions, all from the
// workers of a parallel cycle (sender/parallelcycle.h): a worker builds its own instance
// from the caller's loginRecord and the limits of its DbCia and DBEnvio, read while the
// caller's thread waits for the workers and changes nothing; and abandonedAttachments is
// shared with the caller's instance, a registry with a lock of its own. The logs the
// members write (core/localfiles.h) and the origins' state records (core/staterecord.h)
// take locks of their own; `beep` is left as the no-op in a worker. Database
// failures are thrown as data::DatabaseError, rule violations of the data layer as
// data::DataError; the update-error hooks of the origin's sets turn a failed post or
// delete into data::SilentAbort.
#pragma once

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/loginrecord.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "data/errors.h"
#include "data/statement.h"
#include "sender/abandonedattachments.h"
#include "sender/columnpairing.h"

namespace enviozvr::sender {

// Width of REPLICA_EVENTOS.RPEV_ERROR: a failure text longer than this is cut to fit.
inline constexpr std::size_t kEventErrorWidth = 2048;

// The general database on `server` (the server text that starts every database path,
// host:/folder or a local folder): server + "/datos/general.fdb".
inline std::string generalDatabasePath(const std::string& server) {
    return server + "/datos/general.fdb";
}

// The database of the company whose COMP_COD is `code` on `server`:
// server + "/datos/" + code + "/nivora.fdb".
inline std::string companyDatabasePath(const std::string& server, const std::string& code) {
    return server + "/datos/" + code + "/nivora.fdb";
}

// Limits of the destination connection DBEnvio, suited to a LAN: the whole attach, and
// the longest a call may go without an answer before it is cancelled.
inline constexpr std::chrono::seconds kDestinationConnectTimeout{15};
inline constexpr std::chrono::seconds kDestinationStallLimit{60};

// `text` cut to at most `maxBytes` bytes on a character boundary of `characterSet` (a
// Firebird character set name): UTF8 and UNICODE_FSS are read as UTF-8, the Far East
// double-byte sets by their lead bytes, every other set one byte per character.
std::string cutToCharacters(const std::string& text, std::size_t maxBytes,
                            const std::string& characterSet);

// A Windows-1252 text as the character set `characterSet` of a database stores it: UTF8
// and UNICODE_FSS get UTF-8, ASCII gets '?' for every other character, every other set
// the bytes as they are.
std::string textForCharacterSet(const std::string& text, const std::string& characterSet);

// Origin statements wait at most this long for a row another transaction holds.
inline constexpr std::chrono::seconds kOriginLockTimeout{10};

// The two CONFIGURACION reads of the origin that give the user and the password the send
// cycle (and the index check, and the verification) log in with at every destination:
// one CONF_VALOR each.
extern const char* const kReplicationUser;
extern const char* const kReplicationPassword;

class MainData {
    // Owners of the three connections; the public references below name them.
    std::unique_ptr<data::Connection> generalOwner_;
    std::unique_ptr<data::Connection> companyOwner_;
    std::unique_ptr<data::Connection> destinationOwner_;
    // The registry of its own, when it was given none to share.
    std::unique_ptr<AbandonedAttachments> abandonedOwner_;
    MainData(std::unique_ptr<AbandonedAttachments> own, AbandonedAttachments* shared);

  public:
    // Builds every object closed, with its initial parameters, and wires the update-error
    // hooks (ConfigurarProviders). CDestino keeps the trailing blanks of its texts, so
    // that the transfer copies every value exactly. The first form keeps a registry of
    // abandoned attachments of its own; the second refers to `abandoned`, which must
    // outlive it.
    MainData();
    explicit MainData(AbandonedAttachments& abandoned);
    // Closes and disconnects everything; never throws (a lost attachment is let go).
    ~MainData();
    MainData(const MainData&) = delete;
    MainData& operator=(const MainData&) = delete;

    // ---- Connections -------------------------------------------------------------
    data::Connection& DbGeneral;  // general database of the login server
    data::Connection& DbCia;      // company database of the origin company
    data::Connection& DBEnvio;    // destination database, one company at a time

    // ---- General database ----------------------------------------------------------
    // The table COMPANIA, and the cached company list read from it (the origin-company
    // selector's list; see loadCompanies).
    data::Query TCompania;
    data::Provider PCompania;
    data::CachedResultSet CCompania;
    // Source of the login's user lookup; Cusuario runs it (command text set by the login).
    data::Query Qusuario;
    data::Provider PUsuario;
    data::CachedResultSet Cusuario;

    // ---- Company database (origin) -------------------------------------------------
    // Batch of pending events of one destination company (the send cycle's cursor).
    data::Query QAuditor;
    data::Provider PAuditor;
    data::CachedResultSet CAuditor;
    // Latest replication date and time.
    data::Query QUltenvio;
    data::Provider PUltenvio;
    data::CachedResultSet CUltenvio;
    // Destination companies with pending events; also runs the purge.
    data::Query QDestinos;
    data::Provider PDestinos;
    data::CachedResultSet CDestinos;
    // RPCO_SERVIDOR of one destination company.
    data::Query QBorraori;
    data::Provider PBorraori;
    data::CachedResultSet CBorraOri;
    // One CONF_VALOR of CONFIGURACION.
    data::Query QConfori;
    data::Provider PConfori;
    data::CachedResultSet CConfori;
    // SUCURSALES (table source, no command text): SUCU_ID integer required,
    // SUCU_NOMBRE, SUCU_DIRECCION, SUCU_TELEFONOS strings of 60.
    data::Query TAgencias;
    data::Provider PSubemp;
    data::CachedResultSet CSubemp;
    // Plain statements: the origin FACTURAS_ZVR row and the updates of REPLICA_EVENTOS.
    data::PlainStatement QCopia;
    // Source of both event list viewers (their text is set by the viewer).
    data::Query QErroresenv;
    // TIPO_DOCUMENTO, whole (source of the viewers' and editors' document types).
    data::Query TTipodoc;
    // "SELECT * FROM REPLICA_COMPANIA" and "SELECT * FROM REPLICACION_CONFIGURA".
    data::Query QRepcomp;
    data::Query QRepdocs;

    // ---- Destination database -------------------------------------------------------
    // The destination FACTURAS_ZVR rows of one document; inserts and deletes go through it.
    data::Query TDestino;
    data::Provider PDestino;
    data::CachedResultSet CDestino;
    // Plain statement: the delete of the destination rows of one document.
    data::PlainStatement Qcopiades;

    // The character sets of the document key's columns (PREF_PRE, FACT_NUMERO) at the
    // origin and at the destination, read once a batch when a key beyond ASCII needs them.
    std::optional<KeyColumnSets> originKeySets;
    std::optional<KeyColumnSets> destinationKeySets;
    // Attachments the send cycle gave up in the middle of an event: the destination is not
    // sent to again until they are gone. Shared with the MainData of other threads (the
    // workers of a parallel cycle, the desktop's next send thread's data); thread-safe.
    AbandonedAttachments& abandonedAttachments;

    // ---- Login record ---------------------------------------------------------------
    // Empty until a login has connected the general database.
    core::LoginRecord loginRecord;

    // ---- Update-error capture -------------------------------------------------------
    // Sounded after a failure has been stored on the current event. No-op by default;
    // the desktop sets the system beep.
    std::function<void()> beep;

    // Wires ManejarError into every provider and ManejarClientError (post, edit, delete)
    // into every cached result set of the origin side: the status queries and the branch
    // list. The company list and the login's user lookup stand for objects of other
    // screens and are not wired. The destination's set (CDestino, PDestino) is not wired
    // either: the send cycle takes a refusal there as the error itself and stores it on
    // the event (storeEventError), so nothing the destination raises calls back into the
    // origin from inside the data layer. Called by the constructor; calling it again is
    // harmless.
    void ConfigurarProviders();

    // Stores a failure text on the event CAuditor stands on: converted to the company
    // database's character set, cut to kEventErrorWidth bytes on a character boundary of
    // it, into RPEV_ERROR through QCopia (committed at once); then beeps. When the company
    // database is lost (or the event cannot be named) the failure of that update is thrown
    // as it is, which ends the send cycle; any other failure of it is written to
    // ERRORES.TXT and the event is left as it was.
    void storeEventError(const std::string& text);

    // True when a failure met while the destination was worked on came from its link, not
    // from the destination's judgement of the event: DBEnvio stalled, the error is one of
    // a lost or reset link (any of the client's network codes), or the link no longer
    // answers (DBEnvio.linkAlive asks it). Such a failure is the destination's, never
    // stored on the event.
    bool destinationLinkFailed(const std::exception& error);

    // Provider hook: storeEventError with the failure's text, answering rrAbort. An error
    // that says the destination's attachment is gone, or any error once the destination
    // has stalled (DBEnvio.stalled()), is no failure of the event: it is stored nowhere and
    // rethrown as it is.
    void ManejarError(data::Provider* sender, const data::Change* change,
                      const data::DataError& error, data::TUpdateKind kind,
                      data::TResolverResponse& response);
    // Cached set hook: answers daAbort (the operation ends with a silent abort) after
    // ManejarError has stored the text.
    void ManejarClientError(data::CachedResultSet& dataSet, const data::DataError& error,
                            data::TDataAction& action);

    // ---- Logins ----------------------------------------------------------------------
    // Automatic start: connects DbGeneral to server + "/datos/general.fdb" with user and
    // password as given, then stores the login record (user upper-cased, password
    // scrambled). A failed connect throws and stores nothing.
    void loginAutomatic(const std::string& server, const std::string& user,
                        const std::string& password);
    // The access control screen's login, after its "Conectando" panel is shown: the
    // automatic start's connect and record, then the user query
    // "select usua_nombre from usuario where usua_cod = '<USER>'" (quotes doubled) opened
    // and closed through Cusuario. A user without a row passes; a failing query throws
    // with the login record already stored.
    void loginInteractive(const std::string& server, const std::string& user,
                          const std::string& password);

    // ---- Company selection -----------------------------------------------------------
    // Reads the whole COMPANIA table into CCompania (the server change of the main
    // screen). The list survives later disconnects.
    void loadCompanies();
    // COM_NOMBRE of the company whose COMP_COD is `code` in CCompania (loaded on demand),
    // empty text when there is none: the text the origin-company selector would show.
    std::string companyName(const std::string& code);
    // Selects the origin company: disconnects DbCia, points it at
    // ServidorSesion + "/datos/" + code + "/nivora.fdb" with the login record's user and
    // unscrambled password, connects, re-reads SUCURSALES through CSubemp and returns the
    // agency list: "Todas" followed by each SUCU_NOMBRE in the order read. A failed
    // connect throws; DbCia then stays closed with the new parameters.
    std::vector<std::string> selectCompany(const std::string& code);
    // The first half of selectCompany: points DbCia at the company's database and connects,
    // reading nothing (the status check and the start-up's check of rights).
    void connectCompany(const std::string& code);
    // The code the last selectCompany pointed DbCia at: the origin whose state record
    // the send cycle keeps (core/staterecord.h), and whose code the destination
    // attachments carry in their names.
    std::string originCompany;
};

}  // namespace enviozvr::sender
