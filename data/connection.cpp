#include "data/connection.h"

#include <ibase.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "data/internal/connectionimpl.h"
#include "data/internal/cursors.h"
#include "data/internal/fbapi.h"
#include "data/internal/messages.h"
#include "data/internal/timeouts.h"

using namespace Firebird;

namespace enviozvr::data {

namespace {

// The text without its leading and trailing blanks and tabs.
std::string trimBlanks(std::string_view s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos) return {};
    size_t e = s.find_last_not_of(" \t");
    return std::string(s.substr(b, e - b + 1));
}

// Rolls back a statement's own transaction after a failure; the failure being reported
// matters more than one of the rollback, which only lets the transaction go.
void rollbackQuietly(fb::Ref<ITransaction>& own) {
    if (!own) return;
    try {
        fb::Status rb;
        own->rollback(&rb);
        own.release();
    } catch (...) {
        own.reset();
    }
}

}  // namespace

Connection::Connection(std::string name, ConnectionKind kind, std::vector<std::string> lines)
    : name_(std::move(name)),
      kind_(kind),
      params_(std::move(lines)),
      transactionOptions_(TransactionOptions::from(params_)),
      impl_(std::make_unique<Impl>()) {}

void Connection::setParam(std::string_view name, std::string_view value) {
    params_.set(name, value);
    transactionOptions_ = TransactionOptions::from(params_);
}

Connection::~Connection() {
    try {
        disconnect();
    } catch (...) {
        // Detaching failed (the server is gone): let the client library clean up.
        impl_->explicitTx.reset();
        transaction_ = nullptr;
        impl_->defaultTx.reset();
        impl_->readTx.reset();
        impl_->autoTx.reset();
        impl_->attachment.reset();
    }
}

std::unique_ptr<Connection> Connection::general(std::string name) {
    return std::make_unique<Connection>(
        std::move(name), ConnectionKind::General,
        std::vector<std::string>{"user_name=SYSDBA", "password=kelpstone"});
}

std::unique_ptr<Connection> Connection::company(std::string name) {
    return std::make_unique<Connection>(
        std::move(name), ConnectionKind::Company,
        std::vector<std::string>{"BlobSize=-1", "CommitRetain=False",
                                 "Database=c:\\nivoraERP2015\\sop\\nivora.fdb", "LocaleCode=0000",
                                 "Password=kelpstone", "RoleName=RoleName", "SQLDialect=3",
                                 "TransIsolation=ReadCommited", "User_Name=sysdba",
                                 "WaitOnLocks=True", "Trim Char=False"});
}

void Connection::setDatabase(std::string_view location) {
    if (kind_ == ConnectionKind::General)
        generalDatabase_ = std::string(location);
    else
        setParam("Database", location);
}

std::string Connection::database() const {
    return kind_ == ConnectionKind::General ? generalDatabase_ : param("Database");
}

bool Connection::isConnected() const { return static_cast<bool>(impl_->attachment); }

void Connection::setTimeouts(std::chrono::seconds connect, std::chrono::seconds stall) {
    connectTimeout_ = connect;
    impl_->watch.setLimit(stall);
}

std::chrono::seconds Connection::stallLimit() const {
    return std::chrono::duration_cast<std::chrono::seconds>(impl_->watch.limit());
}

bool Connection::stalled() const { return impl_->watch.fired(); }

unsigned Connection::dialect() const { return impl_->dialect; }

void Connection::connect() {
    if (isConnected()) return;
    fb::Status st;
    try {
        fb::Disposable<IXpbBuilder> dpb(
            fb::util()->getXpbBuilder(&st, IXpbBuilder::DPB, nullptr, 0));
        std::string user = param("User_Name");
        std::string password = param("Password");
        if (!user.empty()) dpb->insertString(&st, isc_dpb_user_name, user.c_str());
        if (!password.empty()) dpb->insertString(&st, isc_dpb_password, password.c_str());
        // The name the server shows for the attachment (MON$REMOTE_PROCESS).
        const std::string process = param("ProcessName");
        if (!process.empty()) dpb->insertString(&st, isc_dpb_process_name, process.c_str());
        std::string location = database();
        if (kind_ == ConnectionKind::Company) {
            std::string role = param("RoleName");
            if (!role.empty()) dpb->insertString(&st, isc_dpb_sql_role_name, role.c_str());
            location = trimBlanks(location);
        }
        impl_->watch.reset();
        if (connectTimeout_.count() > 0 || everyCallTracked()) {
            if (connectTimeout_.count() > 0)
                dpb->insertInt(&st, isc_dpb_connect_timeout,
                               static_cast<int>(connectTimeout_.count()));
            const unsigned char* bytes = dpb->getBuffer(&st);
            // Without a connect timeout the attach is bounded only by a stop.
            const std::chrono::milliseconds limit = connectTimeout_.count() > 0
                                                        ? std::chrono::milliseconds(connectTimeout_)
                                                        : std::chrono::hours(24 * 365);
            impl_->attachment.reset(attachWithin(
                location, std::vector<unsigned char>(bytes, bytes + dpb->getBufferLength(&st)),
                limit, kind_));
        } else {
            impl_->attachment.reset(fb::provider()->attachDatabase(
                &st, location.c_str(), dpb->getBufferLength(&st), dpb->getBuffer(&st)));
        }
        StallWatch::Scope timed(impl_->watch, impl_->attachment.get());

        impl_->characterSet.clear();
        impl_->shapes.clear();
        if (kind_ == ConnectionKind::Company) {
            // Company connections prepare in the dialect of their "SQLDialect" parameter
            // (3), whatever the database's own: the generated statements quote names.
            const std::string wanted = param("SQLDialect");
            impl_->dialect =
                (wanted == "1" || wanted == "2") ? static_cast<unsigned>(wanted[0] - '0') : 3;
        } else {
            // The general connection uses dialect 3, or the database's own lower dialect.
            unsigned char items[] = {isc_info_db_sql_dialect, isc_info_end};
            unsigned char info[32] = {};
            impl_->attachment->getInfo(&st, sizeof items, items, sizeof info, info);
            impl_->dialect = 3;
            if (info[0] == isc_info_db_sql_dialect) {
                int len = info[1] | (info[2] << 8);
                int d = len >= 1 ? info[3] : 3;
                if (d >= 1 && d < 3) impl_->dialect = static_cast<unsigned>(d);
            }
        }
    } catch (const FbException& e) {
        impl_->attachment.reset();
        throw fb::toDatabaseError(e.getStatus(), kind_);
    } catch (const DatabaseError&) {
        impl_->attachment.reset();
        throw;
    }
}

void Connection::disconnect() {
    if (!isConnected()) return;
    // Close every object open on the connection; cached rows are already in memory.
    auto objects = openObjects_;
    for (auto& [owner, close] : objects) {
        try {
            close();
        } catch (...) {
            // An object that cannot close on the server (its link failed) is let go with
            // the attachment, which is detached or released below either way.
        }
    }
    freeKeptStatements();
    fb::Status st;
    StallWatch::Scope timed(impl_->watch, impl_->attachment.get());
    try {
        if (impl_->explicitTx) {
            impl_->explicitTx->rollback(&st);
            impl_->explicitTx.release();
            transaction_ = nullptr;
        }
        if (impl_->defaultTx) {
            impl_->defaultTx->commit(&st);
            impl_->defaultTx.release();
        }
        if (impl_->readTx) {
            impl_->readTx->commit(&st);
            impl_->readTx.release();
        }
        if (impl_->autoTx) {
            impl_->autoTx->commit(&st);
            impl_->autoTx.release();
        }
        impl_->attachment->detach(&st);
        impl_->attachment.release();
    } catch (const FbException& e) {
        auto error = fb::toDatabaseError(e.getStatus(), kind_);
        releaseAttachment();
        // An attachment the server has already dropped is simply let go.
        if (!error.connectionLost()) throw error;
    }
}

void Connection::releaseAttachment() {
    // Releasing what was left open on a lost attachment may still wait on its link (the
    // client rolls back a transaction it holds): watched like any call, so that a link
    // that went silent is closed at the stall limit instead of being waited on for good.
    StallWatch::Scope timed(impl_->watch, impl_->attachment.get());
    impl_->kept.clear();
    impl_->explicitTx.reset();
    transaction_ = nullptr;
    impl_->defaultTx.reset();
    impl_->readTx.reset();
    impl_->autoTx.reset();
    impl_->attachment.reset();
    impl_->characterSet.clear();
    impl_->shapes.clear();
}

DatabaseError Connection::failure(const FbException& e, const std::string& statement) {
    auto error = fb::toDatabaseError(e.getStatus(), kind_, statement);
    dropIfLost(error);
    return error;
}

void Connection::dropIfLost(const std::exception& error) {
    auto* db = dynamic_cast<const DatabaseError*>(&error);
    if (!db || !db->connectionLost() || !isConnected()) return;
    auto objects = openObjects_;
    for (auto& [owner, close] : objects) {
        try {
            close();
        } catch (...) {
            // The attachment is gone: closing on it can only fail again, and the error
            // being reported is the one that said so.
        }
    }
    releaseAttachment();
}

bool Connection::linkAlive() {
    if (!isConnected()) return false;
    if (stalled()) return false;
    StallWatch::Scope timed(impl_->watch, impl_->attachment.get());
    try {
        fb::Status st;
        impl_->attachment->ping(&st);
        return !stalled();
    } catch (const FbException& e) {
        failure(e);
        return false;
    }
}

std::string Connection::characterSet() {
    if (!impl_->characterSet.empty()) return impl_->characterSet;
    auto cursor = open("select rdb$character_set_name from rdb$database");
    std::string name;
    if (cursor->fetch()) {
        const Value v = cursor->value(0);
        if (!v.isNull()) name = v.asString();
    }
    cursor->close();
    name = trimBlanks(name);
    impl_->characterSet = name.empty() ? "NONE" : name;
    return impl_->characterSet;
}

void Connection::registerOpenObject(const void* owner, CloseHook close) {
    unregisterOpenObject(owner);
    openObjects_.emplace_back(owner, std::move(close));
}

void Connection::unregisterOpenObject(const void* owner) {
    std::erase_if(openObjects_, [owner](const auto& entry) { return entry.first == owner; });
}

ITransaction* Connection::Impl::statementTransaction(ConnectionKind kind,
                                                     const TransactionOptions& options,
                                                     std::chrono::seconds lockTimeout,
                                                     fb::Ref<ITransaction>& own, fb::Status& st) {
    if (explicitTx) return explicitTx.get();
    if (kind == ConnectionKind::Company && autocommit) {
        if (autoTx && autoTxStatements >= Connection::kAutocommitSpan) {
            autoTx->commit(&st);
            autoTx.release();
        }
        if (!autoTx) {
            autoTx.reset(
                startCompanyTransaction(attachment.get(), options, lockTimeout, false, true));
            autoTxStatements = 0;
        }
        ++autoTxStatements;
        return autoTx.get();
    }
    if (kind == ConnectionKind::Company) {
        own.reset(startCompanyTransaction(attachment.get(), options, lockTimeout));
        return own.get();
    }
    if (!defaultTx) defaultTx.reset(attachment->startTransaction(&st, 0, nullptr));
    return defaultTx.get();
}

int64_t Connection::execute(const std::string& sql, const std::vector<Value>& params,
                            bool countRows) {
    connect();
    IAttachment* att = impl_->attachment.get();
    fb::Status st;
    StallWatch::Scope timed(impl_->watch, att);
    fb::Ref<ITransaction> own;
    ITransaction* tx = nullptr;
    auto& kept = impl_->kept;
    auto found = std::find_if(kept.begin(), kept.end(),
                              [&](const Impl::KeptStatement& k) { return k.sql == sql; });
    fb::Ref<IStatement> prepared;  // a statement of this call only
    IStatement* stmt = found != kept.end() ? found->statement.get() : nullptr;
    auto keep = [&] {
        if (kept.size() >= Impl::kMaxKept) freeKeptStatements(std::string(kept.front().sql));
        kept.push_back({sql, std::move(prepared)});
    };
    try {
        tx = impl_->statementTransaction(kind_, transactionOptions_, lockTimeout_, own, st);
        if (!stmt) {
            prepared.reset(att->prepare(&st, tx, static_cast<unsigned>(sql.size()), sql.c_str(),
                                        impl_->dialect, IStatement::PREPARE_PREFETCH_METADATA));
            stmt = prepared.get();
        }
        fb::InputMessage in = fb::buildInput(stmt, params, att, tx, st);
        fb::Ref<IMessageMetadata> outMeta(stmt->getOutputMetadata(&st));
        std::vector<unsigned char> out;
        bool hasOutput = outMeta->getCount(&st) > 0;
        if (hasOutput) out.assign(outMeta->getMessageLength(&st), 0);
        stmt->execute(&st, tx, in.meta.get(), in.buffer.empty() ? nullptr : in.buffer.data(),
                      hasOutput ? outMeta.get() : nullptr, hasOutput ? out.data() : nullptr);
        const int64_t affected =
            countRows ? static_cast<int64_t>(stmt->getAffectedRecords(&st)) : -1;
        if (prepared && impl_->keepPrepared) {
            keep();
        } else if (prepared) {
            prepared->free(&st);
            prepared.release();
        }
        if (own) {
            own->commit(&st);
            own.release();
        }
        return affected;
    } catch (const FbException& e) {
        auto error = fb::toDatabaseError(e.getStatus(), kind_, sql);
        rollbackQuietly(own);
        // A kept statement that failed is not trusted again: it is prepared anew next time.
        // A row the table refused (a constraint) says nothing against the statement, which
        // stays kept: a batch of refused rows is not prepared again for each.
        if (error.sqlState().rfind("23", 0) != 0)
            freeKeptStatements(sql);
        else if (prepared && impl_->keepPrepared)
            keep();
        dropIfLost(error);
        throw error;
    }
}

void Connection::setAutocommit(bool on) {
    impl_->autocommit = on && kind_ == ConnectionKind::Company;
    if (on || !impl_->autoTx) return;
    fb::Status st;
    StallWatch::Scope timed(impl_->watch, impl_->attachment.get());
    try {
        impl_->autoTx->commit(&st);
        impl_->autoTx.release();
    } catch (const FbException& e) {
        impl_->autoTx.reset();
        throw failure(e);
    }
}

bool Connection::autocommit() const { return impl_->autocommit; }

void Connection::setKeepPreparedStatements(bool keep) {
    impl_->keepPrepared = keep;
    if (!keep) freeKeptStatements();
}

void Connection::freeKeptStatements(const std::string& sql) {
    std::vector<Impl::KeptStatement> kept;
    for (auto it = impl_->kept.begin(); it != impl_->kept.end();) {
        if (sql.empty() || it->sql == sql) {
            kept.push_back(std::move(*it));
            it = impl_->kept.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& k : kept) {
        try {
            fb::Status st;
            k.statement->free(&st);
            k.statement.release();
        } catch (...) {
            // Released without the server when it cannot be freed there.
        }
    }
}

void Connection::executeImmediate(const std::string& sql) {
    connect();
    IAttachment* att = impl_->attachment.get();
    fb::Status st;
    StallWatch::Scope timed(impl_->watch, att);
    fb::Ref<ITransaction> own;
    try {
        ITransaction* tx =
            impl_->statementTransaction(kind_, transactionOptions_, lockTimeout_, own, st);
        att->execute(&st, tx, static_cast<unsigned>(sql.size()), sql.c_str(), impl_->dialect,
                     nullptr, nullptr, nullptr, nullptr);
        if (own) {
            own->commit(&st);
            own.release();
        }
    } catch (const FbException& e) {
        auto error = fb::toDatabaseError(e.getStatus(), kind_, sql);
        rollbackQuietly(own);
        dropIfLost(error);
        throw error;
    }
}

std::unique_ptr<Cursor> Connection::open(const std::string& sql) {
    connect();
    IAttachment* att = impl_->attachment.get();
    ITransaction* tx = nullptr;
    bool owns = false;
    std::function<ITransaction*()> ownTx;
    StallWatch::Scope timed(impl_->watch, att);
    try {
        if (inTransaction()) {
            tx = impl_->explicitTx.get();
        } else if (kind_ == ConnectionKind::Company &&
                   transactionOptions_.isolation != Isolation::Snapshot) {
            // A read-committed SELECT sees the same rows in any read-committed transaction,
            // and a read-only one commits nothing: one such transaction, kept open until
            // the connection closes, serves every SELECT outside update application and
            // saves a start and a commit per read.
            if (!impl_->readTx)
                impl_->readTx.reset(
                    startCompanyTransaction(att, transactionOptions_, lockTimeout_, true));
            tx = impl_->readTx.get();
            ownTx = [att, this] {
                return startCompanyTransaction(att, transactionOptions_, lockTimeout_);
            };
        } else if (kind_ == ConnectionKind::Company) {
            tx = startCompanyTransaction(att, transactionOptions_, lockTimeout_);
            owns = true;
        } else {
            fb::Status st;
            if (!impl_->defaultTx) impl_->defaultTx.reset(att->startTransaction(&st, 0, nullptr));
            tx = impl_->defaultTx.get();
        }
    } catch (const FbException& e) {
        throw failure(e, sql);
    }
    // A SELECT of table columns in the shared read transaction or the explicit one, of a
    // shape read before: prepared, executed and its row returned in one request, the
    // statement's description taken from the earlier read.
    const bool byShape = kind_ == ConnectionKind::Company && impl_->dialect == 3 && !owns &&
                         (inTransaction() || ownTx);
    std::string key;
    bool tried = false;  // a read in one request found several rows (and counted them)
    if (byShape) {
        key = shapeKey(sql);
        const auto found = impl_->shapes.find(key);
        if (found != impl_->shapes.end() && found->second->worthTrying()) {
            tried = true;
            try {
                if (auto cursor = readSingleRow(att, tx, impl_->dialect, kind_, sql, found->second,
                                                impl_->watch))
                    return cursor;
            } catch (const FbException& e) {
                // A shape the server refuses (the table changed since it was read: another
                // number or kind of columns) is dropped, and the statement is read through
                // the cursor, which describes it anew; a failure of its own shows there.
                auto error = failure(e, sql);
                if (error.connectionLost() || !isConnected() || impl_->watch.fired()) throw error;
                impl_->shapes.erase(key);
                tried = false;
            }
        }
    }
    try {
        auto cursor = std::make_unique<FbCursor>(att, tx, owns, kind_, sql, impl_->dialect,
                                                 impl_->watch, ownTx);
        if (byShape && cursor->plainSelect()) {
            auto& shape = impl_->shapes[key];
            if (!shape) {
                fb::Status st;
                shape = shapeOf(cursor->outputMetadata(), st);
            }
            if (shape) {
                if (!tried) cursor->countRowsFor(shape);
            } else {
                impl_->shapes.erase(key);
            }
            if (impl_->shapes.size() > Impl::kMaxShapes) impl_->shapes.clear();
        }
        return cursor;
    } catch (const FbException& e) {
        throw failure(e, sql);
    } catch (const DatabaseError& error) {
        dropIfLost(error);
        throw;
    }
}

}  // namespace enviozvr::data
