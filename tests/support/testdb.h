// Throwaway Firebird databases for tests.
//
// TempDir makes a fresh folder under /tmp that the Firebird server may write to and
// removes it at the end. TestDatabase creates a database file there (in-process, or
// through the local server when viaServer is set) with forced writes off, and drops it in
// its destructor. The local server's host, user and password come from the environment
// that scripts/test sets (ENVIOZVR_TEST_SERVER, _USER, _PASSWORD); a test that needs the
// server fails with a clear message when they are missing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/value.h"

namespace enviozvr::testing {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// The local server's host name ("localhost"), test user and password.
std::string serverHost();
std::string serverUser();
std::string serverPassword();

class TestDatabase {
  public:
    struct Options {
        bool viaServer = false;
        int dialect = 3;
        std::string characterSet{};  // default character set; empty: NONE
    };
    // Creates the database file at `path` (which must not exist).
    explicit TestDatabase(std::string path, bool viaServer = false);
    TestDatabase(std::string path, const Options& options);
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    const std::string& path() const { return path_; }
    // The location a connection uses: the path, or "localhost:path" through the server.
    std::string location() const;

    // Runs each statement in its own committed transaction.
    void exec(const std::string& sql);
    void exec(const std::vector<std::string>& statements);
    // Runs a schema file (statements separated by ";").
    void runScript(const std::string& file);
    // The company and general schemas of the program.
    void createCompanySchema();
    void createGeneralSchema();

    std::vector<std::vector<data::Value>> query(const std::string& sql);
    data::Value scalar(const std::string& sql);
    // The user attachments of the database other than the caller's own.
    int64_t otherAttachments();

  private:
    std::string path_;
    bool viaServer_;
    struct Impl;
    Impl* impl_;
};

// Statements of a schema file, split at ";" (comments dropped).
std::vector<std::string> readSchemaStatements(const std::string& file);
// Folder of the schema files (data/schema in the source tree).
std::string schemaDir();

}  // namespace enviozvr::testing
