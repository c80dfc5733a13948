// Explicit transactions and their options, over real embedded databases.
#include "data/transaction.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "data/connection.h"
#include "data/errors.h"
#include "support/testdb.h"

using namespace enviozvr::data;
using enviozvr::testing::TempDir;
using enviozvr::testing::TestDatabase;

namespace {

class TransactionTest : public ::testing::Test {
  protected:
    TransactionTest() : db(dir.file("tx.fdb")), conn(open()) {
        db.exec("create table T (A integer)");
    }

    std::unique_ptr<Connection> open(
        std::vector<std::pair<std::string, std::string>> extra = {}) const {
        auto c = Connection::company("DBEnvio");
        c->setDatabase(db.location());
        c->setParam("User_Name", "SYSDBA");
        c->setParam("password", "");
        c->setParam("RoleName", "");
        for (const auto& [name, value] : extra) c->setParam(name, value);
        return c;
    }

    int64_t committedRows() { return db.scalar("select count(*) from T").asInteger(); }

    TempDir dir;
    TestDatabase db;
    std::unique_ptr<Connection> conn;
};

}  // namespace

TEST_F(TransactionTest, OnlyACommitKeepsWhatRanInIt) {
    struct Case {
        const char* name;
        std::function<void(Transaction&, Connection&)> end;
        int64_t kept;
    };
    const std::vector<Case> cases = {
        {"commit", [](Transaction& tx, Connection&) { tx.commit(); }, 1},
        {"rollback", [](Transaction& tx, Connection&) { tx.rollback(); }, 0},
        {"destroyed unended", [](Transaction&, Connection&) {}, 0},
        {"connection closed", [](Transaction&, Connection& c) { c.disconnect(); }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            Transaction tx(*conn);
            EXPECT_EQ(conn->transaction(), &tx);
            conn->execute("insert into T values (1)");
            EXPECT_EQ(committedRows(), 0) << "the statement joined the transaction";
            c.end(tx, *conn);
        }
        EXPECT_FALSE(conn->inTransaction());
        EXPECT_EQ(conn->transaction(), nullptr);
        EXPECT_EQ(committedRows(), c.kept);
        db.exec("delete from T");
    }
}

// Misuse is the calling code's fault: it is thrown as a UsageError, which handlers of
// database errors (and the update-error hooks behind them) never take for a refusal.
TEST_F(TransactionTest, MisuseIsAUsageErrorAndLeavesTheTransactionAlone) {
    Transaction tx(*conn);
    conn->execute("insert into T values (1)");
    const auto failure = [](const std::function<void()>& misuse) -> std::string {
        try {
            misuse();
        } catch (const DataError& e) {
            return std::string("DataError: ") + e.what();
        } catch (const UsageError& e) {
            return e.what();
        }
        return "(no error)";
    };
    EXPECT_EQ(failure([&] { Transaction second(*conn); }), "Transaction is already active");
    EXPECT_TRUE(tx.active());
    EXPECT_EQ(failure([&] { conn->execute("insert into T values (?)"); }),
              "Statement has 1 parameters, 0 given");
    EXPECT_TRUE(tx.active());
    tx.commit();
    EXPECT_EQ(committedRows(), 1);
    EXPECT_EQ(failure([&] { tx.commit(); }), "Transaction is not active");
    EXPECT_NO_THROW(tx.rollback());
    EXPECT_EQ(committedRows(), 1);
}

TEST(TransactionOptions, AreReadFromTheParametersWithoutRegardToCase) {
    struct Case {
        std::vector<std::string> lines;
        Isolation isolation;
        LockWait lockWait;
    };
    const std::vector<Case> cases = {
        {{}, Isolation::ReadCommitted, LockWait::Wait},
        {{"TransIsolation=ReadCommited", "WaitOnLocks=True"},
         Isolation::ReadCommitted,
         LockWait::Wait},
        {{"transisolation=REPEATABLEREAD"}, Isolation::Snapshot, LockWait::Wait},
        {{"TransIsolation=DirtyRead", "WAITONLOCKS=false"},
         Isolation::ReadCommittedNoVersions,
         LockWait::NoWait},
        {{"TransIsolation=Other", "WaitOnLocks=no"}, Isolation::ReadCommitted, LockWait::Wait},
    };
    for (const Case& c : cases) {
        const TransactionOptions options = TransactionOptions::from(ParameterList(c.lines));
        EXPECT_EQ(options.isolation, c.isolation) << ::testing::PrintToString(c.lines);
        EXPECT_EQ(options.lockWait, c.lockWait) << ::testing::PrintToString(c.lines);
    }
}

// The options reach the server, also when a parameter changes after the connection was
// made: a snapshot does not see a row committed after it began, and without waiting on
// locks a locked row fails at once.
TEST_F(TransactionTest, OptionsSetOnTheConnectionReachTheServer) {
    db.exec("insert into T values (1)");
    auto holder = open();
    Transaction holding(*holder);
    holder->execute("update T set A = 2");

    conn->setParam("TransIsolation", "RepeatableRead");
    conn->setParam("WaitOnLocks", "False");
    EXPECT_EQ(conn->transactionOptions().isolation, Isolation::Snapshot);
    Transaction tx(*conn);
    db.exec("insert into T values (3)");
    EXPECT_EQ(conn->execute("update T set A = A where A = 3"), 0) << "a snapshot";
    EXPECT_THROW(conn->execute("update T set A = 4 where A = 1"), DatabaseError)
        << "no wait on the locked row";
}
