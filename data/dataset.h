// Cached result sets, their providers and source queries.
//
// A CachedResultSet holds every row of a result in memory with a cursor and a change log.
// Its Provider fetches the rows from a source Query on a Connection and applies the change
// log as generated INSERT, DELETE and UPDATE statements (rows found by the old values of
// all eligible columns) in one transaction. Rows do not depend on the connection once
// fetched. Errors are thrown as DataError (DatabaseError for the server's), except where
// a hook turns them into a SilentAbort.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/connection.h"
#include "data/errors.h"
#include "data/value.h"

namespace enviozvr::data {

enum TDataAction { daFail, daAbort, daRetry };
enum TResolverResponse { rrSkip, rrAbort };
enum TUpdateKind { ukModify, ukInsert, ukDelete };

using Row = std::vector<Value>;

// One entry of a change log.
struct Change {
    TUpdateKind kind = ukInsert;
    Row oldValues;              // modify and delete
    Row newValues;              // insert and modify
    std::vector<bool> assigned; // modify: columns assigned during the edit (insert: all)
    std::string error;          // why the last application refused it; empty otherwise
    uint64_t rowId = 0;         // the cached row the change belongs to
};

// The source of a provider: one SQL text on one connection. A table source reads
// "select * from TABLE".
class Query {
public:
    Query(Connection& connection, std::string sql = {});
    static Query table(Connection& connection, const std::string& tableName);

    Connection& connection() const { return *connection_; }
    const std::string& sql() const { return sql_; }
    void setSql(std::string sql) { sql_ = std::move(sql); }

private:
    Connection* connection_;
    std::string sql_;
};

class Provider;

// Hook on a failed change during update application. sender is the provider; change is
// null when the hook is called for a cached set operation instead.
using UpdateErrorHook = std::function<void(Provider* sender, const Change* change,
                                           const DataError& error, TUpdateKind kind,
                                           TResolverResponse& response)>;

class CachedResultSet;
// Hook on a failed post, edit or delete of a cached set.
using DataSetErrorHook =
    std::function<void(CachedResultSet& dataSet, const DataError& error, TDataAction& action)>;

// Result of applying a change log.
struct ApplyResult {
    int errorCount = 0;
    std::vector<bool> failed;  // per change, in change-log order
    // Per change: its statement ran and stays in the database (or in the caller's
    // transaction). False for a failed change, for one never attempted after the
    // application stopped, and for every change of a transaction rolled back.
    std::vector<bool> applied;
};

class Provider {
public:
    Provider(std::string name, Query& source, bool allowCommandText);

    const std::string& name() const { return name_; }
    Query& source() const { return *source_; }
    bool allowCommandText() const { return allowCommandText_; }

    UpdateErrorHook onUpdateError;

    // Opens the source (with the command text when given), reads every row and closes it.
    std::unique_ptr<Cursor> openSource(const std::string& commandText);
    // Runs the command text as one statement, committed when it completes.
    void execute(const std::string& commandText);
    // Applies the changes with at most maxErrors tolerated errors.
    ApplyResult apply(std::vector<Change>& changes, const std::vector<Field>& fields,
                      int maxErrors);

private:
    void takeCommandText(const std::string& commandText);

    std::string name_;
    Query* source_;
    bool allowCommandText_;
};

// Statement text and parameters generated for one change; empty text when the change
// needs no statement (a modify with no eligible assigned column).
struct GeneratedStatement {
    std::string text;
    std::vector<Value> params;
};

// The target table of update application: the first name after FROM in the source SQL,
// empty when there is none.
std::string targetTableName(const std::string& sql);
// The name in double quotes, each dotted part separately, unless already quoted.
std::string quotedTableName(const std::string& name);
// Builds the INSERT, DELETE or UPDATE for a change (throws DataError for a change with no
// where-eligible column). quotedTable is the quoted table name.
// Splits a list of field names such as "A;B" into its names, blanks trimmed.
std::vector<std::string> splitFieldNames(const std::string& names);

GeneratedStatement generateStatement(const Change& change, const std::vector<Field>& fields,
                                     const std::string& quotedTable);

enum class DataSetState { Inactive, Browse, Insert, Edit };

// Options of an index of a cached result set.
enum TIndexOption : uint8_t {
    ixDescending = 1u << 0,       // every field descending
    ixCaseInsensitive = 1u << 1,  // texts compared without regard to letter case
};

// A named index: an ordering of the held rows by a list of fields ("A;B"), ascending
// except for the fields named in descFields. Texts compare byte by byte (case-sensitive
// unless ixCaseInsensitive); NULL sorts before every value, so first ascending and last
// descending. Rows with equal keys keep their natural order.
struct IndexDef {
    std::string name;
    std::string fields;
    std::string descFields;
    uint8_t options = 0;
};

// Read access to one held row, for calculated fields, indexes and row filters.
class RowValues {
public:
    RowValues(const CachedResultSet& set, const void* row) : set_(&set), row_(row) {}
    // The value of data field `field` of this row.
    Value operator[](int field) const;

private:
    const CachedResultSet* set_;
    const void* row_;
};

// The value of one key (a data field or a calculated field) of a held row.
using KeyFunction = std::function<Value(const RowValues& row)>;
// A field that is not data (a looked-up or calculated value of a screen). Called once per
// index build or read, after the fields are bound; returns the value of one row. Indexes
// and row filters reach it by name; update application never sees it.
using CalculatedField = std::function<KeyFunction(const CachedResultSet& set)>;
// Keeps or drops rows as they are read. Called once per read, after the fields are bound;
// returns the test of one row (true: the row is held).
using RowTest = std::function<bool(const RowValues& row)>;
using RowFilter = std::function<RowTest(const CachedResultSet& set)>;

// -1, 0 or 1: the order of two values of one index key (NULL first; texts byte by byte,
// or by upper-case Windows-1252 letters when caseInsensitive).
int compareKeyValues(const Value& a, const Value& b, bool caseInsensitive);

class CachedResultSet {
public:
    CachedResultSet(std::string name, Provider& provider);
    ~CachedResultSet();
    CachedResultSet(const CachedResultSet&) = delete;
    CachedResultSet& operator=(const CachedResultSet&) = delete;

    const std::string& name() const { return name_; }
    Provider& provider() const { return *provider_; }

    // Declared fields bind to result columns by name at open.
    void declareField(Field field);
    void clearDeclaredFields();

    // String values are held without their trailing blanks, as they are shown. A set that
    // carries values on to a table (the transfer's CDestino) keeps every value exactly as
    // fetched or assigned instead.
    void setKeepTrailingBlanks(bool keep) { keepTrailingBlanks_ = keep; }
    bool keepTrailingBlanks() const { return keepTrailingBlanks_; }

    void setCommandText(std::string text) { commandText_ = std::move(text); }
    const std::string& commandText() const { return commandText_; }

    void open();
    void close();
    void refresh();
    void execute();
    bool active() const { return state_ != DataSetState::Inactive; }
    DataSetState state() const { return state_; }

    // Cursor.
    void first();
    void last();
    void next();
    void prior();
    bool eof() const { return eof_; }
    bool bof() const { return bof_; }
    int recordCount() const;
    bool isEmpty() const { return recordCount() == 0; }
    // 0-based row index, -1 when empty; while inserting, the place the new row takes.
    int recNo() const { return state_ == DataSetState::Insert ? insertAt_ : current_; }
    void moveTo(int index);

    // Bookmarks stay valid while their row exists.
    using Bookmark = uint64_t;
    Bookmark bookmark() const;
    bool bookmarkValid(Bookmark b) const;
    void gotoBookmark(Bookmark b);

    // Fields reachable by position or name (declared fields, or every result column).
    int fieldCount() const { return static_cast<int>(fields_.size()); }
    const Field& field(int index) const { return fields_.at(index); }
    int fieldIndex(const std::string& name) const;  // -1 when absent
    int fieldByName(const std::string& name) const; // throws "Field '%s' not found"
    const std::vector<Field>& fields() const { return fields_; }
    // Position of a field's value in the rows of the change log (which hold every result
    // column, declared or not).
    int changeColumn(int field) const { return fieldColumns_.at(field); }

    // Values of the current row (NULL on an empty set).
    Value value(int field) const;
    Value value(const std::string& name) const { return value(fieldByName(name)); }
    std::string asText(int field) const { return value(field).toText(); }
    std::string asText(const std::string& name) const { return value(name).toText(); }
    int64_t asInteger(int field) const;
    int64_t asCurrency(int field) const;  // fixed point with 4 decimals (value * 10000)
    // Value of any row, for grids and exporters.
    Value valueAt(int row, int field) const;
    // The rows as an editing grid shows them: while a row is inserted it stands at recNo()
    // (the rows from there on one further down), and the row being edited shows its
    // values as changed so far. The same as recordCount() and valueAt() in browse state.
    int rowsShown() const;
    Value valueShown(int row, int field) const;

    // Editing.
    void insert();
    // Insert with the new row after the last one.
    void append();
    // A value was set on the row being inserted or edited.
    bool modified() const { return editChanged_; }
    void edit();
    void setValue(int field, Value v);
    void setValue(const std::string& name, Value v) { setValue(fieldByName(name), std::move(v)); }
    void post();
    void cancel();
    void remove();  // Delete
    void cancelUpdates();
    // The change-log entry of the current row (its insert or modify), -1 when it has none.
    int currentChange() const;
    // Undoes one cached change, leaving the others: a modified row takes its old values
    // again, an inserted row goes, a deleted row comes back at its place in the order of the
    // read. The cursor stands on the row (after an insert's undo, where the row was). A row
    // being inserted or edited is abandoned first.
    void revertChange(int index);
    int applyUpdates(int maxErrors);
    const std::vector<Change>& changeLog() const { return changes_; }
    int changeCount() const { return static_cast<int>(changes_.size()); }

    DataSetErrorHook onPostError;
    DataSetErrorHook onEditError;
    DataSetErrorHook onDeleteError;

    // Bytes the rows take in memory (row store and its index).
    size_t memoryBytes() const;

    // Locale identifier handed over by the source connection (0 for company databases).
    int locale() const { return 0; }

    // ---- Indexes. Definitions and the current index stay through close, open and
    // refresh: every read is ordered by the current index again. A row posted or inserted
    // keeps its place until the rows are ordered again.
    // Adds an index (replacing one of the same name); when the set is open, checks its
    // fields first ("Field '%s' not found"). Data fields and calculated fields count.
    void addIndex(const std::string& name, const std::string& fields, uint8_t options = 0,
                  const std::string& descFields = {});
    // Deletes an index; when it was the current one, the rows return to their natural
    // order first. Throws "Index '%s' not found".
    void deleteIndex(const std::string& name);
    bool hasIndex(const std::string& name) const;
    const std::vector<IndexDef>& indexDefs() const { return indexes_; }
    // Makes an index current (empty name: natural order, the order of the read) and orders
    // the rows by it; the cursor stays on its row. Throws "Index '%s' not found" and, when
    // a field is missing, "Field '%s' not found" (the set is then left in natural order).
    void setIndexName(const std::string& name);
    const std::string& indexName() const { return indexName_; }

    // ---- Calculated fields (replacing one of the same name).
    void defineCalculatedField(const std::string& name, CalculatedField field);
    bool hasCalculatedField(const std::string& name) const;
    // The value of a data field or calculated field (by name, case-insensitive) of any held
    // row; throws "Field '%s' not found".
    KeyFunction keyFunction(const std::string& name) const;

    // ---- Row filter: applied to every later read (open, refresh); rows it drops are not
    // held, as if the query had not returned them. An empty filter holds every row.
    void setRowFilter(RowFilter filter) { rowFilter_ = std::move(filter); }
    bool hasRowFilter() const { return static_cast<bool>(rowFilter_); }

    // Fills the set from rows already in memory, as a fetch would (for tools and tests
    // that build a result without a server). Enters browse state on the first row.
    void loadRows(std::vector<Field> fields, std::vector<Row> rows);

    struct Store;

private:
    friend class RowValues;
    void settleRead();  // filter, baseline and order of rows just read
    void applyRowFilter();
    void orderRows();  // natural order, then the current index
    void fetchFromProvider();
    void fetchInto(Cursor& cursor);
    void endEditing();  // posts a changed row, cancels an unchanged one
    template <class F> void underHook(const DataSetErrorHook& hook, F&& operation);
    void setCurrent(int index);

    std::string name_;
    Provider* provider_;
    std::string commandText_;
    std::vector<Field> declared_;
    std::vector<Field> fields_;
    std::vector<int> fieldColumns_;      // field -> stored column
    std::vector<Field> columns_;         // every stored column
    std::unique_ptr<Store> store_;
    std::vector<Change> changes_;
    DataSetState state_ = DataSetState::Inactive;
    int current_ = -1;
    int insertAt_ = 0;  // where the row being inserted goes
    bool eof_ = true;
    bool bof_ = true;
    Row editRow_;
    std::vector<bool> editAssigned_;
    bool editChanged_ = false;
    bool keepTrailingBlanks_ = false;
    std::vector<IndexDef> indexes_;
    std::string indexName_;
    std::vector<std::pair<std::string, CalculatedField>> calculated_;
    RowFilter rowFilter_;
};

}  // namespace enviozvr::data
