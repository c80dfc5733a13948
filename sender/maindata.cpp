#include "sender/maindata.h"

#include "core/localfiles.h"
#include "core/scrambler.h"
#include "data/codepage.h"
#include "data/sqltext.h"

namespace enviozvr::sender {

const char* const kReplicationUser =
    "select conf_valor from configuracion where conf_modulo = 'INVENTARIO' and "
    "conf_categoria = 'ARTICULOS' and conf_propiedad = 'NOMBRE DE USUARIO PARA REPLICACION DE "
    "ARTICULOS'";
const char* const kReplicationPassword =
    "select conf_valor from configuracion where conf_modulo = 'INVENTARIO' and "
    "conf_categoria = 'ARTICULOS' and conf_propiedad = 'CLAVE DE USUARIO PARA REPLICACION DE "
    "ARTICULOS'";

namespace {

// Bytes of the character that starts with `lead`, in a multi-byte character set.
std::size_t characterBytes(unsigned char lead, const std::string& set) {
    if (set == "UTF8" || set == "UNICODE_FSS") {
        if (lead < 0xC0) return 1;  // ASCII, or a stray continuation byte
        if (lead < 0xE0) return 2;
        if (lead < 0xF0) return 3;
        return 4;
    }
    if (set == "EUCJ_0208") {
        if (lead < 0x80) return 1;
        return lead == 0x8F ? 3 : 2;
    }
    if (set == "SJIS_0208" || set == "CP943C") {
        if (lead < 0x80 || (lead >= 0xA1 && lead <= 0xDF)) return 1;  // half-width kana
        return 2;
    }
    if (set == "BIG_5" || set == "GBK" || set == "GB_2312" || set == "KSC_5601")
        return lead < 0x81 ? 1 : 2;
    return 1;
}

// The failure in hand rethrown as it was raised (a DatabaseError stays one, which a copy
// of `error` would not); `error` itself when called outside a handler.
[[noreturn]] void rethrow(const data::DataError& error) {
    if (std::current_exception()) throw;
    throw error;
}

}  // namespace

std::string cutToCharacters(const std::string& text, std::size_t maxBytes,
                            const std::string& characterSet) {
    if (text.size() <= maxBytes) return text;
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t next =
            end + characterBytes(static_cast<unsigned char>(text[end]), characterSet);
        if (next > maxBytes) break;
        end = next;
    }
    return text.substr(0, end);
}

MainData::MainData() : MainData(std::make_unique<AbandonedAttachments>(), nullptr) {}

MainData::MainData(AbandonedAttachments& abandoned) : MainData(nullptr, &abandoned) {}

MainData::MainData(std::unique_ptr<AbandonedAttachments> own, AbandonedAttachments* shared)
    : generalOwner_(data::Connection::general("DbGeneral")),
      companyOwner_(data::Connection::company("DbCia")),
      destinationOwner_(data::Connection::company("DBEnvio")),
      abandonedOwner_(std::move(own)),
      DbGeneral(*generalOwner_),
      DbCia(*companyOwner_),
      DBEnvio(*destinationOwner_),
      TCompania(data::Query::table(DbGeneral, "COMPANIA")),
      PCompania("PCompania", TCompania, false),
      CCompania("CCompania", PCompania),
      Qusuario(DbGeneral, "select * from usuario"),
      PUsuario("PUsuario", Qusuario, true),
      Cusuario("Cusuario", PUsuario),
      QAuditor(DbCia),
      PAuditor("PAuditor", QAuditor, true),
      CAuditor("CAuditor", PAuditor),
      QUltenvio(DbCia),
      PUltenvio("PUltenvio", QUltenvio, true),
      CUltenvio("CUltenvio", PUltenvio),
      QDestinos(DbCia),
      PDestinos("PDestinos", QDestinos, true),
      CDestinos("CDestinos", PDestinos),
      QBorraori(DbCia),
      PBorraori("PBorraori", QBorraori, true),
      CBorraOri("CBorraOri", PBorraori),
      QConfori(DbCia),
      PConfori("PConfori", QConfori, true),
      CConfori("CConfori", PConfori),
      TAgencias(data::Query::table(DbCia, "SUCURSALES")),
      PSubemp("PSubemp", TAgencias, false),
      CSubemp("CSubemp", PSubemp),
      QCopia("QCopia", DbCia),
      QErroresenv(DbCia),
      TTipodoc(data::Query::table(DbCia, "TIPO_DOCUMENTO")),
      QRepcomp(DbCia, "SELECT * FROM REPLICA_COMPANIA"),
      QRepdocs(DbCia, "SELECT * FROM REPLICACION_CONFIGURA"),
      TDestino(DBEnvio),
      PDestino("PDestino", TDestino, true),
      CDestino("CDestino", PDestino),
      Qcopiades("Qcopiades", DBEnvio),
      abandonedAttachments(shared ? *shared : *abandonedOwner_) {
    using data::FieldType;
    CSubemp.declareField(
        {.name = "SUCU_ID", .type = FieldType::Integer, .size = 4, .required = true});
    CSubemp.declareField({.name = "SUCU_NOMBRE", .type = FieldType::String, .size = 60});
    CSubemp.declareField({.name = "SUCU_DIRECCION", .type = FieldType::String, .size = 60});
    CSubemp.declareField({.name = "SUCU_TELEFONOS", .type = FieldType::String, .size = 60});
    CDestino.setKeepTrailingBlanks(true);

    DBEnvio.setTimeouts(kDestinationConnectTimeout, kDestinationStallLimit);
    // A batch inserts its rows with one statement text: it is prepared once per batch. The
    // destination is disconnected after each batch, which frees it again.
    DBEnvio.setKeepPreparedStatements(true);
    // A row of the queue that another transaction holds (the business system, an
    // administrator) stops the cycle after a while instead of holding it for as long.
    DbCia.setLockTimeout(kOriginLockTimeout);
    ConfigurarProviders();
}

MainData::~MainData() {
    // Statements and cursors go before their attachments. Whatever fails here (a server
    // that went away) leaves nothing to clean up that the client library does not.
    auto quietly = [](auto&& step) {
        try {
            step();
        } catch (...) {
            // A destructor must not throw, and there is nobody left to tell: the step's
            // object is let go all the same, and the next step still runs.
        }
    };
    quietly([&] { QCopia.close(); });
    quietly([&] { Qcopiades.close(); });
    quietly([&] { DBEnvio.disconnect(); });
    quietly([&] { DbCia.disconnect(); });
    quietly([&] { DbGeneral.disconnect(); });
}

void MainData::ConfigurarProviders() {
    data::Provider* providers[] = {&PAuditor,  &PUltenvio, &PDestinos,
                                   &PBorraori, &PConfori,  &PSubemp};
    for (data::Provider* p : providers) {
        p->onUpdateError = [this](data::Provider* sender, const data::Change* change,
                                  const data::DataError& error, data::TUpdateKind kind,
                                  data::TResolverResponse& response) {
            ManejarError(sender, change, error, kind, response);
        };
    }
    data::CachedResultSet* sets[] = {&CAuditor,  &CUltenvio, &CDestinos,
                                     &CBorraOri, &CConfori,  &CSubemp};
    for (data::CachedResultSet* s : sets) {
        auto hook = [this](data::CachedResultSet& dataSet, const data::DataError& error,
                           data::TDataAction& action) {
            ManejarClientError(dataSet, error, action);
        };
        s->onPostError = hook;
        s->onEditError = hook;
        s->onDeleteError = hook;
    }
}

std::string textForCharacterSet(const std::string& text, const std::string& characterSet) {
    const std::string& set = characterSet;
    if (set == "UTF8" || set == "UNICODE_FSS") {
        // A text that is UTF-8 already (a destination that stores UTF-8) stays as it is.
        if (QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toUtf8() ==
            QByteArray(text.data(), static_cast<qsizetype>(text.size())))
            return text;
        const QByteArray utf8 = data::qstringFromWindows1252(text).toUtf8();
        return std::string(utf8.constData(), static_cast<size_t>(utf8.size()));
    }
    if (set == "ASCII") {
        std::string out = text;
        for (char& c : out)
            if (static_cast<unsigned char>(c) > 0x7F) c = '?';
        return out;
    }
    return text;
}

void MainData::ManejarError(data::Provider*, const data::Change*, const data::DataError& error,
                            data::TUpdateKind, data::TResolverResponse& response) {
    // The destination stopped answering or its attachment is gone: no failure of the
    // event, which stays pending without an error text.
    if (DBEnvio.stalled()) rethrow(error);
    response = data::rrAbort;
    if (const auto* lost = dynamic_cast<const data::DatabaseError*>(&error);
        lost && lost->connectionLost())
        rethrow(error);
    storeEventError(error.what());
}

bool MainData::destinationLinkFailed(const std::exception& error) {
    if (DBEnvio.stalled()) return true;
    if (const auto* db = dynamic_cast<const data::DatabaseError*>(&error);
        db && db->connectionLost())
        return true;
    // Any other text (a reset link has shown "attempt to fetch past the last record in a
    // record stream") is the destination's judgement only when the link still answers.
    return !DBEnvio.linkAlive();
}

void MainData::storeEventError(const std::string& failure) {
    std::string id;
    try {
        id = data::sqlInteger(CAuditor.value("RPEV_ID").asInteger());
        const std::string characterSet = DbCia.characterSet();
        const std::string text = cutToCharacters(textForCharacterSet(failure, characterSet),
                                                 kEventErrorWidth, characterSet);
        QCopia.close();
        QCopia.clear();
        QCopia.setText("UPDATE REPLICA_EVENTOS SET RPEV_ERROR = " + data::quoted(text) +
                       " where RPEV_ID = " + id);
        QCopia.executeImmediate();
    } catch (const std::exception& storing) {
        // A lost origin ends the cycle. Any other refusal of the text stays with this
        // event: the failure goes to ERRORES.TXT, the event stays pending as it was, and
        // the cycle goes on with the next one.
        const auto* db = dynamic_cast<const data::DatabaseError*>(&storing);
        if (id.empty() || !DbCia.isConnected() || (db && db->connectionLost())) throw;
        core::logUnhandledError(loginRecord.UsuarioSesion,
                                "No se pudo guardar el error del evento " + id + ": " +
                                    storing.what() + " (error del destino: " + failure + ")");
        return;
    }
    if (beep) beep();
}

void MainData::ManejarClientError(data::CachedResultSet&, const data::DataError& error,
                                  data::TDataAction& action) {
    action = data::daAbort;
    data::TResolverResponse discarded = data::rrAbort;
    ManejarError(nullptr, nullptr, error, data::ukInsert, discarded);
}

void MainData::loginAutomatic(const std::string& server, const std::string& user,
                              const std::string& password) {
    DbGeneral.disconnect();
    DbGeneral.setDatabase(generalDatabasePath(server));
    DbGeneral.setParam("User_Name", user);
    DbGeneral.setParam("password", password);
    DbGeneral.connect();
    loginRecord.UsuarioSesion = core::upperAscii(user);
    loginRecord.ClaveSesion = core::CifrarClave(password);
    loginRecord.ServidorSesion = server;
}

void MainData::loginInteractive(const std::string& server, const std::string& user,
                                const std::string& password) {
    loginAutomatic(server, user, password);
    Cusuario.close();
    Cusuario.setCommandText("select usua_nombre from usuario where usua_cod = " +
                            data::quoted(core::upperAscii(user)));
    Cusuario.open();
    Cusuario.close();
}

void MainData::loadCompanies() {
    CCompania.close();
    CCompania.open();
}

std::string MainData::companyName(const std::string& code) {
    if (!CCompania.active()) loadCompanies();
    const int codeField = CCompania.fieldByName("COMP_COD");
    const int nameField = CCompania.fieldByName("COM_NOMBRE");
    for (int row = 0; row < CCompania.recordCount(); ++row) {
        if (CCompania.valueAt(row, codeField).toText() == code)
            return CCompania.valueAt(row, nameField).toText();
    }
    return {};
}

void MainData::connectCompany(const std::string& code) {
    DbCia.disconnect();
    originCompany = code;
    DbCia.setDatabase(companyDatabasePath(loginRecord.ServidorSesion, code));
    DbCia.setParam("User_Name", loginRecord.UsuarioSesion);
    DbCia.setParam("password", core::DescifrarClave(loginRecord.ClaveSesion));
    DbCia.connect();
}

std::vector<std::string> MainData::selectCompany(const std::string& code) {
    connectCompany(code);

    CSubemp.close();
    CSubemp.open();
    std::vector<std::string> agencies{"Todas"};
    const int nameField = CSubemp.fieldByName("SUCU_NOMBRE");
    for (int row = 0; row < CSubemp.recordCount(); ++row)
        agencies.push_back(CSubemp.valueAt(row, nameField).toText());
    return agencies;
}

}  // namespace enviozvr::sender
