#include "grid/grid.h"

#include "data/names.h"

namespace enviozvr::grid {

using data::sameName;

TFieldType fieldTypeOf(const data::Field& field) {
    using data::FieldType;
    switch (field.type) {
        case FieldType::Integer:
            return field.size == 2 ? ftSmallint : field.size == 8 ? ftLargeint : ftInteger;
        case FieldType::Decimal:
            return ftFMTBcd;
        case FieldType::Float:
            return ftFloat;
        case FieldType::String:
            return field.fixedWidth ? ftFixedChar : ftString;
        case FieldType::Date:
            return ftDate;
        case FieldType::Time:
            return ftTime;
        case FieldType::Timestamp:
            return ftTimeStamp;
        case FieldType::Blob:
            return field.textBlob ? ftMemo : ftBlob;
        case FieldType::Boolean:
            return ftBoolean;
    }
    return ftUnknown;
}

// ---- TGridColumn -------------------------------------------------------------------------

TAlignment TGridColumn::shownAlignment() const {
    if (Alignment == taLeftJustify && field_.exists() && isNumericType(field_.dataType) &&
        !hasKeyPickList())
        return taRightJustify;
    return Alignment;
}

TGridColumnFooter& TGridColumn::Footer(int row) {
    while (static_cast<int>(footers_.size()) <= row) {
        TGridColumnFooter f;
        f.Color = grid_->FooterColor;
        f.Font = grid_->FooterFont;
        footers_.push_back(std::move(f));
    }
    return footers_.at(row);
}

const TGridColumnFooter* TGridColumn::footerAt(int row) const {
    return row >= 0 && row < static_cast<int>(footers_.size()) ? &footers_[row] : nullptr;
}

// ---- DataGrid ----------------------------------------------------------------------------

namespace {
const FixedGridEnvironment& defaultEnvironment() {
    static const FixedGridEnvironment env;
    return env;
}
}  // namespace

DataGrid::DataGrid(std::string name, const GridEnvironment* environment)
    : Name(std::move(name)),
      environment_(environment ? environment : &defaultEnvironment()),
      selection_(std::make_unique<TGridSelection>(*this)) {
    TitleFont = Font;
    FooterFont = Font;
}

DataGrid::~DataGrid() { destroying_ = true; }

void DataGrid::setDataSet(data::CachedResultSet* dataSet) {
    dataSet_ = dataSet;
    bindFields();
}

void DataGrid::addLookupField(LookupFieldDef def) {
    lookups_.add(std::move(def));
    bindFields();
}

void DataGrid::setFieldSettings(const std::string& fieldName, GridFieldSettings settings) {
    for (auto& s : settings_) {
        if (sameName(s->fieldName, fieldName)) {
            s->settings = std::move(settings);
            bindFields();
            return;
        }
    }
    settings_.push_back(
        std::make_unique<NamedSettings>(NamedSettings{fieldName, std::move(settings)}));
    bindFields();
}

GridField DataGrid::findField(const std::string& name) const {
    GridField f;
    if (name.empty()) return f;
    for (int i = 0; i < lookups_.count(); ++i) {
        if (sameName(lookups_.at(i).name, name)) {
            f.kind = GridField::Kind::Lookup;
            f.index = i;
            f.dataType = lookups_.at(i).dataType;
            return f;
        }
    }
    if (!dataSet_) return f;
    const std::vector<data::Field>& fields = dataSet_->fields();
    for (size_t i = 0; i < fields.size(); ++i) {
        if (!sameName(fields[i].name, name)) continue;
        f.kind = GridField::Kind::Data;
        f.index = static_cast<int>(i);
        f.dataType = fieldTypeOf(fields[i]);
        for (const auto& s : settings_) {
            if (sameName(s->fieldName, name)) {
                f.settings = &s->settings;
                if (s->settings.dataType) f.dataType = *s->settings.dataType;
            }
        }
        return f;
    }
    return f;
}

void DataGrid::bindColumn(TGridColumn& column) const {
    column.field_ = findField(column.fieldName_);
}

void DataGrid::bindFields() {
    lookups_.forgetResolved();
    for (auto& c : columns_) bindColumn(*c);
}

TGridColumn& DataGrid::addColumn(const std::string& fieldName) {
    auto column = std::unique_ptr<TGridColumn>(new TGridColumn(*this));
    column->Font = Font;
    column->Color = Color;
    column->Title.Font = TitleFont;
    column->Title.Color = FixedColor;
    column->Title.Caption = fieldName;
    column->fieldName_ = fieldName;
    bindColumn(*column);
    if (column->field_.kind == GridField::Kind::Data) {
        const std::string& label = dataSet_->field(column->field_.index).displayLabel;
        if (!label.empty()) column->Title.Caption = label;
    } else if (column->field_.kind == GridField::Kind::Lookup) {
        const std::string& label = lookups_.at(column->field_.index).displayLabel;
        if (!label.empty()) column->Title.Caption = label;
    }
    columns_.push_back(std::move(column));
    renumber();
    return *columns_.back();
}

void DataGrid::removeColumn(int index) {
    TGridColumn* c = columns_.at(index).get();
    selection_->forgetColumn(c);
    columns_.erase(columns_.begin() + index);
    renumber();
}

void DataGrid::clearColumns() {
    while (!columns_.empty()) removeColumn(columnCount() - 1);
}

void DataGrid::moveColumn(int from, int to) {
    if (from == to) return;
    auto c = std::move(columns_.at(from));
    columns_.erase(columns_.begin() + from);
    columns_.insert(columns_.begin() + to, std::move(c));
    renumber();
    selection_->columnsReordered();
}

void DataGrid::renumber() {
    for (size_t i = 0; i < columns_.size(); ++i) columns_[i]->index_ = static_cast<int>(i);
}

TGridColumn* DataGrid::findColumn(const std::string& fieldName) const {
    for (const auto& c : columns_)
        if (sameName(c->FieldName(), fieldName)) return c.get();
    return nullptr;
}

TGridColumnList DataGrid::visibleColumns() const {
    TGridColumnList out;
    for (const auto& c : columns_)
        if (c->Visible) out.push_back(c.get());
    return out;
}

TGridColumn* DataGrid::focusedColumn() const {
    if (SelectedIndex < 0 || SelectedIndex >= columnCount()) return nullptr;
    return columns_[SelectedIndex].get();
}

bool DataGrid::canCopy() const { return dataSet_ && dataSet_->active(); }

bool DataGrid::canSelectAll() const {
    return dataSet_ && dataSet_->active() && !dataSet_->isEmpty() &&
           (AllowedSelections & allowed(gstAll));
}

TGridPosition DataGrid::savePosition() const {
    TGridPosition p;
    if (!dataSet_ || !dataSet_->active() || dataSet_->isEmpty()) return p;
    p.record = dataSet_->bookmark();
    p.offsetFromMiddle = dataSet_->recNo() - (topRow + visibleRowCount / 2);
    return p;
}

void DataGrid::restorePosition(const TGridPosition& position) {
    if (!dataSet_ || !dataSet_->active() || !position.record) return;
    if (!dataSet_->bookmarkValid(*position.record)) return;
    dataSet_->gotoBookmark(*position.record);
    const int count = dataSet_->recordCount();
    int top = dataSet_->recNo() - position.offsetFromMiddle - visibleRowCount / 2;
    top = std::min(top, std::max(0, count - visibleRowCount));
    topRow = std::max(0, top);
}

void DataGrid::enableControls() {
    if (controlsDisabled_ > 0 && --controlsDisabled_ == 0 && onDataSetChanged) onDataSetChanged();
}

int DataGrid::compareBookmarks(Bookmark a, Bookmark b) const {
    if (a == b) return 0;
    const int saved = dataSet_->recNo();
    int ra, rb;
    try {
        dataSet_->gotoBookmark(a);
        ra = dataSet_->recNo();
        dataSet_->gotoBookmark(b);
        rb = dataSet_->recNo();
    } catch (...) {
        if (saved >= 0) dataSet_->moveTo(saved);
        throw;
    }
    if (saved >= 0) dataSet_->moveTo(saved);
    return ra < rb ? -1 : ra > rb ? 1 : 0;
}

data::Value DataGrid::fieldValue(const GridField& field) const {
    switch (field.kind) {
        case GridField::Kind::Data:
            return dataSet_->value(field.index);
        case GridField::Kind::Lookup:
            return lookups_.valueOfCurrent(field.index, dataSet_);
        case GridField::Kind::None:
            break;
    }
    return {};
}

data::Value DataGrid::fieldValueAt(const GridField& field, int row) const {
    if (!dataSet_ || !dataSet_->active()) return {};
    switch (field.kind) {
        case GridField::Kind::Data:
            return dataSet_->valueShown(row, field.index);
        case GridField::Kind::Lookup:
            return lookups_.valueOfRow(field.index, dataSet_, row);
        case GridField::Kind::None:
            break;
    }
    return {};
}

std::vector<data::Value> DataGrid::lookupKeyValues(const GridField& field) const {
    if (!field.isLookup() || !dataSet_) return {};
    return lookups_.keyValues(field.index, *dataSet_);
}

GridField DataGrid::footerField(const TGridColumn& column, const TGridColumnFooter& footer) const {
    return findField(footer.FieldName.empty() ? column.FieldName() : footer.FieldName);
}

}  // namespace enviozvr::grid
