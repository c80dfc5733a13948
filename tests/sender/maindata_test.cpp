// Logins and company selection over real embedded databases.
#include <gtest/gtest.h>

#include "core/scrambler.h"
#include "data/errors.h"
#include "senderworld.h"

namespace enviozvr::sendertest {
namespace {

TEST(MainData, AutomaticLoginStoresTheRecordAndSelectsTheCompany) {
    SenderWorld w(false);
    w.data.loginAutomatic(w.server, "sysdba", "masterkey");
    EXPECT_TRUE(w.data.DbGeneral.isConnected());
    EXPECT_EQ(w.data.loginRecord.UsuarioSesion, "SYSDBA");
    EXPECT_EQ(w.data.loginRecord.ClaveSesion, core::CifrarClave("masterkey"));
    EXPECT_EQ(w.data.loginRecord.ServidorSesion, w.server);

    EXPECT_EQ(w.data.companyName("001"), "Origen S.A.");
    EXPECT_EQ(w.data.companyName("009"), "");
    EXPECT_EQ(w.data.companyName("777"), "");

    EXPECT_EQ(w.data.selectCompany("001"), (std::vector<std::string>{"Todas", "Principal", "Sur"}));
    EXPECT_TRUE(w.data.DbCia.isConnected());
    EXPECT_EQ(w.data.DbCia.param("Database"), w.server + "/datos/001/nivora.fdb");
    EXPECT_EQ(w.data.DbCia.param("User_Name"), "SYSDBA");
    EXPECT_EQ(w.data.DbCia.param("password"), "masterkey");

    // A company without a database: the connect fails and DbCia keeps the new location.
    EXPECT_THROW(w.data.selectCompany("003"), data::DatabaseError);
    EXPECT_FALSE(w.data.DbCia.isConnected());
    EXPECT_EQ(w.data.DbCia.param("Database"), w.server + "/datos/003/nivora.fdb");
}

TEST(MainData, FailedLoginStoresNoRecord) {
    SenderWorld w(false);
    EXPECT_THROW(w.data.loginAutomatic(w.server + "/missing", "sysdba", "x"), data::DatabaseError);
    EXPECT_FALSE(w.data.DbGeneral.isConnected());
    EXPECT_EQ(w.data.loginRecord.UsuarioSesion, "");
    EXPECT_EQ(w.data.loginRecord.ServidorSesion, "");
}

// The user query of the interactive login quotes the user name like every literal.
TEST(MainData, InteractiveLoginQuotesTheUserName) {
    for (const std::string user : {"sysdba", "o'brien", "nobody"}) {
        SCOPED_TRACE(user);
        SenderWorld w(false);
        EXPECT_NO_THROW(w.data.loginInteractive(w.server, user, "masterkey"));
        EXPECT_EQ(w.data.loginRecord.UsuarioSesion, core::upperAscii(user));
        EXPECT_FALSE(w.data.Cusuario.active());
    }
}

// Every attachment thrown off the local server (as a restart does): the next login and
// company choice connect on the first try, and a MainData whose attachments are gone is
// destroyed without an error.
TEST(MainData, LostAttachmentsNeitherBlockTheNextLoginNorTheExit) {
    SenderWorld w(WorldOptions{.viaServer = true});
    w.addDestination("002");
    auto other = std::make_unique<sender::MainData>();
    other->loginAutomatic(w.server, "sysdba", w.password);
    other->selectCompany("001");
    other->DBEnvio.setDatabase(w.server + "/datos/002/nivora.fdb");
    other->DBEnvio.setParam("User_Name", "SYSDBA");
    other->DBEnvio.setParam("password", w.password);
    other->DBEnvio.connect();
    other->QCopia.setText("select * from REPLICA_EVENTOS");
    other->QCopia.open();
    for (TestDatabase* db : {w.general.get(), w.origin.get(), w.destinations["002"].get()})
        SenderWorld::dropAttachments(*db);

    EXPECT_NO_THROW(w.data.loginAutomatic(w.server, "sysdba", w.password));
    EXPECT_EQ(w.data.selectCompany("001"), (std::vector<std::string>{"Todas", "Principal", "Sur"}));
    EXPECT_EQ(w.data.companyName("001"), "Origen S.A.");
    other.reset();  // a destructor that threw would end the test program here
}

}  // namespace
}  // namespace enviozvr::sendertest
