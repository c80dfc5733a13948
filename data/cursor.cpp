#include <ibase.h>

#include <cctype>
#include <utility>

#include "data/errors.h"
#include "data/internal/cursors.h"

using namespace Firebird;

namespace enviozvr::data {

namespace {

// The longest message the row of a single-request read is asked for in.
constexpr unsigned kMaxRowMessage = 64000;

// True when a SELECT text asks to lock the rows it reads ("WITH LOCK" outside quotes):
// such a read writes, so it cannot run in a read-only transaction.
bool locksRows(const std::string& sql) {
    std::string words;  // the text upper-cased, quoted parts and runs of blanks as one blank
    for (size_t i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        if (c == '\'' || c == '"') {
            const size_t close = sql.find(c, i + 1);
            if (close == std::string::npos) break;
            i = close;
            words += ' ';
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            if (words.empty() || words.back() != ' ') words += ' ';
        } else {
            words += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    auto isWordChar = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
    };
    for (size_t at = words.find("WITH LOCK"); at != std::string::npos;
         at = words.find("WITH LOCK", at + 1)) {
        const size_t end = at + 9;
        if ((at == 0 || !isWordChar(words[at - 1])) &&
            (end == words.size() || !isWordChar(words[end])))
            return true;
    }
    return false;
}

// The row of a SELECT read in one request: at most one row, read already.
class SingleRowCursor : public Cursor {
  public:
    SingleRowCursor(std::shared_ptr<RowShape> shape, std::vector<unsigned char> row, bool found,
                    IAttachment* att, ITransaction* tx, ConnectionKind kind, std::string sql,
                    StallWatch& watch)
        : shape_(std::move(shape)),
          row_(std::move(row)),
          pending_(found),
          att_(att),
          tx_(tx),
          kind_(kind),
          sql_(std::move(sql)),
          watch_(watch) {}

    const std::vector<Field>& fields() const override { return shape_->fields; }

    bool fetch() override { return std::exchange(pending_, false); }

    Value value(int column) const override {
        // Only a blob too long to come inline is read now, by its id.
        StallWatch::Scope timed(watch_, att_);
        try {
            return fb::decode(shape_->layout.at(static_cast<size_t>(column)), row_.data(), att_,
                              tx_);
        } catch (const FbException& e) {
            throw fb::toDatabaseError(e.getStatus(), kind_, sql_);
        }
    }

    void close() override { pending_ = false; }

  private:
    std::shared_ptr<RowShape> shape_;
    std::vector<unsigned char> row_;
    bool pending_;
    IAttachment* att_;
    ITransaction* tx_;
    ConnectionKind kind_;
    std::string sql_;
    StallWatch& watch_;
};

}  // namespace

std::shared_ptr<RowShape> shapeOf(IMessageMetadata* described, fb::Status& st) {
    auto shape = std::make_shared<RowShape>();
    const unsigned n = described->getCount(&st);
    if (n == 0) return nullptr;
    for (unsigned i = 0; i < n; ++i) {
        const char* relation = described->getRelation(&st, i);
        if (!relation || !*relation) return nullptr;
        shape->fields.push_back(fb::describeColumn(described, i, st));
    }
    fb::Ref<IMetadataBuilder> builder(described->getBuilder(&st));
    unsigned length = described->getMessageLength(&st);
    for (unsigned i = 0; i < n; ++i) {
        if (fb::baseType(described->getType(&st, i)) != SQL_BLOB ||
            described->getSubType(&st, i) != 1)
            continue;
        // The text of a text blob comes inside the row, as its bytes unchanged; a longer
        // one makes the read fail with a truncation, and the cursor reads it instead.
        if (length + fb::kMaxVarchar + 8 > kMaxRowMessage) break;
        builder->setType(&st, i, SQL_VARYING + 1);
        builder->setSubType(&st, i, 0);
        builder->setLength(&st, i, fb::kMaxVarchar);
        builder->setCharSet(&st, i, 0);
        length += fb::kMaxVarchar + 8;
        shape->inlineBlobs = true;
    }
    shape->message.reset(builder->getMetadata(&st));
    shape->layout = fb::layoutOf(shape->message.get(), st);
    shape->length = shape->message->getMessageLength(&st);
    return shape;
}

std::string shapeKey(const std::string& sql) {
    std::string key;
    bool inString = false;
    for (char c : sql) {
        if (c == '\'')
            inString = !inString;
        else if (inString)
            continue;
        key += c;
    }
    return key;
}

std::unique_ptr<Cursor> readSingleRow(IAttachment* att, ITransaction* tx, unsigned dialect,
                                      ConnectionKind kind, const std::string& sql,
                                      const std::shared_ptr<RowShape>& shape, StallWatch& watch) {
    StallWatch::Scope timed(watch, att);
    std::vector<unsigned char> row(shape->length, 0);
    bool found = true;
    try {
        fb::Status st;
        att->execute(&st, tx, static_cast<unsigned>(sql.size()), sql.c_str(), dialect, nullptr,
                     nullptr, shape->message.get(), row.data());
    } catch (const FbException& e) {
        const IStatus* status = e.getStatus();
        if (fb::statusHas(status, isc_sing_select_err)) {
            ++shape->several;
            return nullptr;
        }
        if (shape->inlineBlobs && (fb::statusHas(status, isc_string_truncation) ||
                                   fb::statusHas(status, isc_blob_truncation)))
            return nullptr;
        // No row at all.
        if (!fb::statusHas(status, isc_stream_eof)) throw;
        found = false;
    }
    ++shape->single;
    return std::make_unique<SingleRowCursor>(shape, std::move(row), found, att, tx, kind, sql,
                                             watch);
}

FbCursor::FbCursor(IAttachment* att, ITransaction* tx, bool ownsTx, ConnectionKind kind,
                   std::string sql, unsigned dialect, StallWatch& watch,
                   const std::function<ITransaction*()>& ownTx)
    : att_(att), tx_(tx), ownsTx_(ownsTx), kind_(kind), sql_(std::move(sql)), watch_(watch) {
    fb::Status st;
    StallWatch::Scope timed(watch_, att_);
    try {
        // Every text goes with its length: a NUL byte inside a literal (a key of the
        // queue) is part of the statement, not its end.
        stmt_.reset(att_->prepare(&st, tx_, static_cast<unsigned>(sql_.size()), sql_.c_str(),
                                  dialect, IStatement::PREPARE_PREFETCH_METADATA));
        plainSelect_ = stmt_->getType(&st) == isc_info_sql_stmt_select && !locksRows(sql_);
        if (ownTx && !plainSelect_) {
            tx_ = ownTx();
            ownsTx_ = true;
        }
        meta_.reset(stmt_->getOutputMetadata(&st));
        unsigned n = meta_->getCount(&st);
        for (unsigned i = 0; i < n; ++i) fields_.push_back(fb::describeColumn(meta_.get(), i, st));
        layout_ = fb::layoutOf(meta_.get(), st);
        buffer_.assign(meta_->getMessageLength(&st), 0);
        rs_.reset(stmt_->openCursor(&st, tx_, nullptr, nullptr, meta_.get(), 0));
    } catch (const FbException& e) {
        auto error = fb::toDatabaseError(e.getStatus(), kind_, sql_);
        abandon();
        throw error;
    }
}

FbCursor::~FbCursor() {
    try {
        close();
    } catch (...) {
        abandon();
    }
}

bool FbCursor::fetch() {
    if (!rs_) return false;
    StallWatch::Scope timed(watch_, att_);
    try {
        if (rs_->fetchNext(fetchStatus_.get(), buffer_.data()) == IStatus::RESULT_OK) {
            if (++rows_ == 2 && shape_) ++shape_->several;
            return true;
        }
    } catch (const FbException& e) {
        throw fb::toDatabaseError(e.getStatus(), kind_, sql_);
    }
    if (rows_ < 2 && shape_) ++shape_->single;
    shape_.reset();
    return false;
}

Value FbCursor::value(int column) const {
    StallWatch::Scope timed(watch_, att_);
    try {
        return fb::decode(layout_.at(static_cast<size_t>(column)), buffer_.data(), att_, tx_);
    } catch (const FbException& e) {
        throw fb::toDatabaseError(e.getStatus(), kind_, sql_);
    }
}

void FbCursor::close() {
    // A closed cursor never touches its attachment again: the connection may have let
    // a lost attachment go since (a failed commit of the transaction it was read in).
    if (!rs_ && !stmt_ && !(ownsTx_ && tx_)) return;
    fb::Status st;
    StallWatch::Scope timed(watch_, att_);
    try {
        if (rs_) {
            rs_->close(&st);
            rs_.release();
        }
        if (stmt_) {
            stmt_->free(&st);
            stmt_.release();
        }
        if (ownsTx_ && tx_) {
            tx_->commit(&st);
            tx_ = nullptr;
        }
    } catch (const FbException& e) {
        auto error = fb::toDatabaseError(e.getStatus(), kind_, sql_);
        abandon();
        throw error;
    }
}

void FbCursor::abandon() {
    rs_.reset();
    stmt_.reset();
    if (ownsTx_ && tx_) {
        fb::Status st;
        try {
            tx_->rollback(&st);
        } catch (...) {
            tx_->release();
        }
        tx_ = nullptr;
    }
}

}  // namespace enviozvr::data
