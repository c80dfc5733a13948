// The error translation against the texts the Firebird client library really produces.
#include <gtest/gtest.h>

#include <string>

#include "core/unhandled.h"
#include "data/connection.h"
#include "data/errors.h"
#include "support/testdb.h"

namespace core = enviozvr::core;
namespace data = enviozvr::data;
namespace fixture = enviozvr::testing;

namespace {

// The text ENoManejada would show for the failure of attaching `location`.
std::string shownForAttach(const std::string& location, const std::string& user,
                           const std::string& password) {
    auto connection = data::Connection::general();
    connection->setDatabase(location);
    connection->setParam("user_name", user);
    connection->setParam("password", password);
    try {
        connection->connect();
    } catch (const data::DatabaseError& e) {
        return core::translateErrorMessage(e.what());
    }
    return "<connected>";
}

TEST(ClientWording, MissingDatabaseFileNamesTheFile) {
    fixture::TempDir dir;
    const std::string path = dir.file("general.fdb");
    EXPECT_EQ(shownForAttach(path, "SYSDBA", "masterkey"),
              "No se encontr\xF3 el archivo o la ruta " + path);
    EXPECT_EQ(shownForAttach(fixture::serverHost() + ":" + path, fixture::serverUser(),
                             fixture::serverPassword()),
              "No se encontr\xF3 el archivo o la ruta " + path);
}

TEST(ClientWording, WrongPasswordAndUnknownHost) {
    fixture::TempDir dir;
    fixture::TestDatabase db(dir.file("general.fdb"), /*viaServer=*/true);
    EXPECT_EQ(
        shownForAttach(db.location(), fixture::serverUser(), fixture::serverPassword() + "-wrong"),
        "El nombre de Usuario o la clave son incorrectas.");
    EXPECT_EQ(shownForAttach("nohost-enviozvr.invalid:" + db.path(), "SYSDBA", "masterkey"),
              "No se encontr\xF3 el equipo servidor con nombre nohost-enviozvr.invalid");
}

}  // namespace
