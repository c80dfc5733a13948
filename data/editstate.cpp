// The edit state machine of a cached result set: insert, edit, post, cancel and delete,
// each recorded in the change log.
#include <algorithm>

#include "data/dataset.h"
#include "data/errors.h"
#include "data/rowstore.h"

namespace enviozvr::data {

template <class F>
void CachedResultSet::underHook(const DataSetErrorHook& hook, F&& operation) {
    for (;;) {
        try {
            operation();
            return;
        } catch (const DataError& error) {
            if (!hook) throw;
            TDataAction action = daFail;
            hook(*this, error, action);
            if (action == daFail) throw;
            if (action == daAbort) throw SilentAbort();
        }
    }
}

void CachedResultSet::insert() {
    if (!active()) throw DataError("Cannot perform this operation on a closed dataset");
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit) endEditing();
    editRow_.assign(columns_.size(), Value::null());
    editAssigned_.assign(columns_.size(), false);
    editChanged_ = false;
    insertAt_ = current_ < 0 ? 0 : current_;
    state_ = DataSetState::Insert;
}

void CachedResultSet::append() {
    insert();
    insertAt_ = recordCount();
}

void CachedResultSet::edit() {
    if (!active()) throw DataError("Cannot perform this operation on a closed dataset");
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit) return;
    underHook(onEditError, [&] {
        if (recordCount() == 0)
            throw DataError("Cannot perform this operation on an empty dataset");
        editRow_ = store_->decodeRow(store_->rows[current_].data);
        editAssigned_.assign(columns_.size(), false);
        editChanged_ = false;
        state_ = DataSetState::Edit;
    });
}

void CachedResultSet::setValue(int field, const Value& v) {
    if (state_ != DataSetState::Insert && state_ != DataSetState::Edit)
        throw DataError("Dataset not in edit or insert mode");
    if (field < 0 || field >= fieldCount()) throw DataError("Field index out of range");
    int column = fieldColumns_[field];
    Value stored = coerceToField(v, columns_[column]);
    if (!keepTrailingBlanks_ && columns_[column].type == FieldType::String && !stored.isNull())
        stored = Value::text(trimTrailingBlanks(stored.asString()));
    editRow_[column] = std::move(stored);
    editAssigned_[column] = true;
    editChanged_ = true;
}

void CachedResultSet::post() {
    if (state_ != DataSetState::Insert && state_ != DataSetState::Edit) return;
    underHook(onPostError, [&] {
        for (int f = 0; f < fieldCount(); ++f) {
            const Field& field = fields_[f];
            if (field.required && editRow_[fieldColumns_[f]].isNull())
                throw DataError("Field '" + field.label() + "' must have a value");
        }
        const unsigned char* bytes = store_->encode(editRow_);
        if (state_ == DataSetState::Insert) {
            uint64_t id = store_->nextId++;
            int at = std::clamp(insertAt_, 0, recordCount());
            store_->rows.insert(store_->rows.begin() + at, {bytes, id});
            Change change;
            change.kind = ukInsert;
            change.newValues = editRow_;
            change.assigned.assign(columns_.size(), true);
            change.rowId = id;
            changes_.push_back(std::move(change));
            setCurrent(at);
        } else {
            RowStore::RowRef& ref = store_->rows[current_];
            Row old = store_->decodeRow(ref.data);
            ref.data = bytes;
            auto pending = std::find_if(changes_.begin(), changes_.end(), [&](const Change& c) {
                return c.rowId == ref.id && c.kind != ukDelete;
            });
            if (pending != changes_.end()) {
                // A row changed again before its changes were applied: one entry.
                pending->newValues = editRow_;
                for (size_t c = 0; c < editAssigned_.size(); ++c)
                    if (editAssigned_[c]) pending->assigned[c] = true;
            } else {
                Change change;
                change.kind = ukModify;
                change.oldValues = std::move(old);
                change.newValues = editRow_;
                change.assigned = editAssigned_;
                change.rowId = ref.id;
                changes_.push_back(std::move(change));
            }
        }
        state_ = DataSetState::Browse;
        eof_ = bof_ = false;
    });
}

void CachedResultSet::cancel() {
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit)
        state_ = DataSetState::Browse;
    editRow_.clear();
    editAssigned_.clear();
    editChanged_ = false;
}

void CachedResultSet::endEditing() {
    if (editChanged_)
        post();
    else
        cancel();
}

void CachedResultSet::remove() {
    if (state_ == DataSetState::Insert) {
        cancel();
        return;
    }
    if (state_ == DataSetState::Edit) cancel();
    underHook(onDeleteError, [&] {
        if (recordCount() == 0)
            throw DataError("Cannot perform this operation on an empty dataset");
        RowStore::RowRef ref = store_->rows[current_];
        auto pending = std::find_if(changes_.begin(), changes_.end(),
                                    [&](const Change& c) { return c.rowId == ref.id; });
        if (pending != changes_.end() && pending->kind == ukInsert) {
            changes_.erase(pending);  // never reached the server: nothing to delete there
        } else {
            Change change;
            change.kind = ukDelete;
            change.rowId = ref.id;
            if (pending != changes_.end()) {
                change.oldValues = pending->oldValues;
                changes_.erase(pending);
            } else {
                change.oldValues = store_->decodeRow(ref.data);
            }
            changes_.push_back(std::move(change));
        }
        store_->rows.erase(store_->rows.begin() + current_);
        setCurrent(current_);
    });
}

}  // namespace enviozvr::data
