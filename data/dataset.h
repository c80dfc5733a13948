// Cached result sets, their providers and source queries.
//
// A CachedResultSet holds every row of a result in memory with a cursor and a change log.
// Its Provider (data/provider.h) fetches the rows and applies the change log. Rows do not
// depend on the connection once fetched. The set's parts live by concern: the packed rows
// in data/rowstore.h, the edit states in data/editstate.h, the generated statements in
// data/updatestatements.h, index ordering in data/rowindex.h, calculated fields and row
// filters in data/calculatedfields.h. Errors are thrown as DataError (DatabaseError for the
// server's), except where a hook turns them into a SilentAbort.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/calculatedfields.h"
#include "data/connection.h"
#include "data/editstate.h"
#include "data/errors.h"
#include "data/provider.h"
#include "data/rowindex.h"
#include "data/updatestatements.h"
#include "data/value.h"

namespace enviozvr::data {

struct RowStore;

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
    int fieldIndex(const std::string& name) const;   // -1 when absent
    int fieldByName(const std::string& name) const;  // throws "Field '%s' not found"
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
    void setValue(int field, const Value& v);
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
    // The first failure of the last applyUpdates as it was raised; null when none failed.
    const std::exception_ptr& lastApplyError() const { return lastApplyError_; }
    const std::vector<Change>& changeLog() const { return changes_; }
    int changeCount() const { return static_cast<int>(changes_.size()); }

    DataSetErrorHook onPostError;
    DataSetErrorHook onEditError;
    DataSetErrorHook onDeleteError;

    // Bytes the rows take in memory (row store and its index).
    size_t memoryBytes() const;

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
    // Makes an index current (empty name: natural order, the order of the read) and orders
    // the rows by it; the cursor stays on its row. Throws "Index '%s' not found" and, when
    // a field is missing, "Field '%s' not found" (the set is then left in natural order).
    void setIndexName(const std::string& name);
    const std::string& indexName() const { return indexName_; }

    // ---- Calculated fields (replacing one of the same name).
    void defineCalculatedField(const std::string& name, CalculatedField field);
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

  private:
    friend class RowValues;
    void settleRead();  // filter, baseline and order of rows just read
    void applyRowFilter();
    void orderRows();  // natural order, then the current index
    void fetchFromProvider();
    void fetchInto(Cursor& cursor);
    void endEditing();  // posts a changed row, cancels an unchanged one
    template <class F>
    void underHook(const DataSetErrorHook& hook, F&& operation);
    void setCurrent(int index);

    std::string name_;
    Provider* provider_;
    std::string commandText_;
    std::vector<Field> declared_;
    std::vector<Field> fields_;
    std::vector<int> fieldColumns_;  // field -> stored column
    std::vector<Field> columns_;     // every stored column
    std::unique_ptr<RowStore> store_;
    std::vector<Change> changes_;
    std::exception_ptr lastApplyError_;
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
