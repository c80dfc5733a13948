#include "support/testdb.h"

#include <firebird/Interface.h>
#include <ibase.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "data/connection.h"
#include "data/internal/fbapi.h"

using namespace Firebird;
namespace fs = std::filesystem;

namespace enviozvr::testing {

namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string required(const char* name) {
    std::string v = env(name);
    if (v.empty())
        throw std::runtime_error(std::string("This test needs the local Firebird server: ") + name +
                                 " is not set (scripts/test sets it)");
    return v;
}

}  // namespace

TempDir::TempDir() {
    std::random_device rd;
    for (;;) {
        path_ = "/tmp/enviozvr-test-" + std::to_string(::getpid()) + "-" + std::to_string(rd());
        if (fs::create_directory(path_)) break;
    }
    // The server process (another user) creates and opens files here too.
    fs::permissions(path_, fs::perms::all);
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string serverHost() { return required("ENVIOZVR_TEST_SERVER"); }
std::string serverUser() { return required("ENVIOZVR_TEST_USER"); }
std::string serverPassword() { return required("ENVIOZVR_TEST_PASSWORD"); }

struct TestDatabase::Impl {
    std::unique_ptr<data::Connection> connection;
};

TestDatabase::TestDatabase(std::string path, bool viaServer)
    : TestDatabase(std::move(path), Options{.viaServer = viaServer}) {}

TestDatabase::TestDatabase(std::string path, const Options& options)
    : path_(std::move(path)), viaServer_(options.viaServer), impl_(new Impl) {
    std::string user = viaServer_ ? serverUser() : "SYSDBA";
    std::string password = viaServer_ ? serverPassword() : "";
    data::fb::Status st;
    try {
        IXpbBuilder* dpb = data::fb::util()->getXpbBuilder(&st, IXpbBuilder::DPB, nullptr, 0);
        dpb->insertString(&st, isc_dpb_user_name, user.c_str());
        if (!password.empty()) dpb->insertString(&st, isc_dpb_password, password.c_str());
        dpb->insertInt(&st, isc_dpb_page_size, 8192);
        dpb->insertInt(&st, isc_dpb_sql_dialect, options.dialect);
        if (!options.characterSet.empty())
            dpb->insertString(&st, isc_dpb_set_db_charset, options.characterSet.c_str());
        dpb->insertInt(&st, isc_dpb_force_write, 0);
        std::string where = location();
        IAttachment* att = data::fb::provider()->createDatabase(
            &st, where.c_str(), dpb->getBufferLength(&st), dpb->getBuffer(&st));
        dpb->dispose();
        att->detach(&st);
    } catch (const FbException& e) {
        auto error = data::fb::toDatabaseError(e.getStatus(), data::ConnectionKind::General);
        delete impl_;
        throw std::runtime_error("Cannot create test database " + location() + ": " + error.what());
    }
    if (!viaServer_) {
        // Embedded files are made by this process; let the server open them as well.
        std::error_code ec;
        fs::permissions(path_,
                        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::group_write | fs::perms::others_read |
                            fs::perms::others_write,
                        ec);
    }
    impl_->connection = data::Connection::company("TestDatabase");
    impl_->connection->setDatabase(location());
    impl_->connection->setParam("User_Name", user);
    impl_->connection->setParam("Password", password);
    impl_->connection->setParam("RoleName", "");
}

TestDatabase::~TestDatabase() {
    try {
        impl_->connection->disconnect();
        data::fb::Status st;
        IXpbBuilder* dpb = data::fb::util()->getXpbBuilder(&st, IXpbBuilder::DPB, nullptr, 0);
        std::string user = viaServer_ ? serverUser() : "SYSDBA";
        dpb->insertString(&st, isc_dpb_user_name, user.c_str());
        if (viaServer_) dpb->insertString(&st, isc_dpb_password, serverPassword().c_str());
        std::string where = location();
        IAttachment* att = data::fb::provider()->attachDatabase(
            &st, where.c_str(), dpb->getBufferLength(&st), dpb->getBuffer(&st));
        dpb->dispose();
        att->dropDatabase(&st);
    } catch (...) {
        // Still attached elsewhere (a test left a connection open): remove the file.
        std::error_code ec;
        fs::remove(path_, ec);
    }
    delete impl_;
}

std::string TestDatabase::location() const {
    return viaServer_ ? serverHost() + ":" + path_ : path_;
}

void TestDatabase::exec(const std::string& sql) { impl_->connection->execute(sql); }

void TestDatabase::exec(const std::vector<std::string>& statements) {
    for (const auto& s : statements) exec(s);
}

void TestDatabase::runScript(const std::string& file) { exec(readSchemaStatements(file)); }

void TestDatabase::createCompanySchema() { runScript(schemaDir() + "/company.sql"); }

void TestDatabase::createGeneralSchema() { runScript(schemaDir() + "/general.sql"); }

std::vector<std::vector<data::Value>> TestDatabase::query(const std::string& sql) {
    std::vector<std::vector<data::Value>> rows;
    auto cursor = impl_->connection->open(sql);
    int n = static_cast<int>(cursor->fields().size());
    while (cursor->fetch()) {
        std::vector<data::Value> row;
        for (int i = 0; i < n; ++i) row.push_back(cursor->value(i));
        rows.push_back(std::move(row));
    }
    cursor->close();
    return rows;
}

int64_t TestDatabase::otherAttachments() {
    return scalar(
               "select count(*) from mon$attachments where mon$system_flag = 0 and "
               "mon$attachment_id <> current_connection")
        .asInteger();
}

data::Value TestDatabase::scalar(const std::string& sql) {
    auto rows = query(sql);
    if (rows.empty() || rows[0].empty()) return data::Value::null();
    return rows[0][0];
}

std::vector<std::string> readSchemaStatements(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("Cannot read " + file);
    std::string text, line;
    while (std::getline(in, line)) {
        auto comment = line.find("--");
        if (comment != std::string::npos) line.erase(comment);
        text += line + "\n";
    }
    std::vector<std::string> statements;
    std::string current;
    for (char c : text) {
        if (c == ';') {
            if (current.find_first_not_of(" \r\n\t") != std::string::npos)
                statements.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (current.find_first_not_of(" \r\n\t") != std::string::npos) statements.push_back(current);
    return statements;
}

std::string schemaDir() { return ENVIOZVR_SCHEMA_DIR; }

}  // namespace enviozvr::testing
