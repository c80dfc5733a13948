#include "grid/grid.h"

#include <cmath>
#include <limits>

#include "data/names.h"
#include "grid/format.h"

namespace enviozvr::grid {

namespace {

using data::sameName;

// A value in a display format: numbers as floats, dates and times as date-times.
std::string formatValue(const std::string& format, TFieldType type, const data::Value& v) {
    if (v.isNull()) return {};
    if (isNumericType(type)) return formatFloat(format, v.asDouble());
    if (isDateTimeType(type)) {
        data::Date date = data::Date::fromYmd(1899, 12, 30);
        data::Time time;
        switch (v.kind()) {
            case data::Value::Kind::Date:
                date = v.asDate();
                break;
            case data::Value::Kind::Time:
                time = v.asTime();
                break;
            case data::Value::Kind::Timestamp:
                date = v.asTimestamp().date;
                time = v.asTimestamp().time;
                break;
            default:
                return {};
        }
        return formatDateTime(format, date, time);
    }
    return {};
}

}  // namespace

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

// ---- Selection ---------------------------------------------------------------------------

bool TBookmarkList::contains(Bookmark b) const {
    for (Bookmark x : items_)
        if (x == b) return true;
    return false;
}

void TBookmarkList::add(Bookmark b) {
    if (contains(b)) return;
    auto it = items_.begin();
    while (it != items_.end() && grid_.compareBookmarks(*it, b) < 0) ++it;
    items_.insert(it, b);
}

void TBookmarkList::remove(Bookmark b) { std::erase(items_, b); }

TBookmark TGridSelectionRect::DataTopRow() const {
    if (!Anchor.Row || !Shift.Row) return Anchor.Row ? Anchor.Row : Shift.Row;
    return grid_.compareBookmarks(*Anchor.Row, *Shift.Row) <= 0 ? Anchor.Row : Shift.Row;
}

TBookmark TGridSelectionRect::DataBottomRow() const {
    if (!Anchor.Row || !Shift.Row) return Anchor.Row ? Anchor.Row : Shift.Row;
    return grid_.compareBookmarks(*Anchor.Row, *Shift.Row) < 0 ? Shift.Row : Anchor.Row;
}

bool TGridSelectionCols::contains(const TGridColumn* c) const {
    for (TGridColumn* x : items_)
        if (x == c) return true;
    return false;
}

void TGridSelectionCols::add(TGridColumn* c) {
    if (contains(c)) return;
    auto it = items_.begin();
    while (it != items_.end() && (*it)->Index() < c->Index()) ++it;
    items_.insert(it, c);
}

void TGridSelectionCols::remove(TGridColumn* c) { std::erase(items_, c); }

void TGridSelection::changed() {
    if (!grid_.destroying() && grid_.OnSelectionChanged) grid_.OnSelectionChanged();
}

void TGridSelection::ClearSelection() {
    const TGridSelectionType was = type_;
    type_ = gstNon;
    switch (was) {
        case gstRecordBookmarks:
            if (Rows.Count() > 0) {
                Rows.clear();
                grid_.repaint();
                changed();
            }
            break;
        case gstRectangle:
            Rect.clear();
            grid_.repaint();
            changed();
            break;
        case gstColumns:
            if (Columns.Count() > 0) {
                Columns.items_.clear();
                Columns.anchor_ = nullptr;
                grid_.repaint();
                changed();
            }
            Columns.anchor_ = nullptr;
            break;
        case gstAll:
            changed();
            grid_.repaint();
            break;
        case gstNon:
            break;
    }
}

void TGridSelection::SelectWholeGrid() {
    if (type_ == gstAll) return;
    if (type_ != gstNon) ClearSelection();
    type_ = gstAll;
    grid_.repaint();
    changed();
}

void TGridSelection::selectColumn(TGridColumn& column) {
    if (type_ != gstColumns && type_ != gstNon) ClearSelection();
    Columns.items_.clear();
    Columns.add(&column);
    Columns.anchor_ = &column;
    type_ = gstColumns;
    grid_.repaint();
    changed();
}

void TGridSelection::toggleColumn(TGridColumn& column) {
    if (type_ != gstColumns && type_ != gstNon) ClearSelection();
    if (type_ == gstNon) {
        Columns.items_.clear();
        Columns.anchor_ = nullptr;
    }
    if (Columns.contains(&column))
        Columns.remove(&column);
    else
        Columns.add(&column);
    Columns.anchor_ = &column;
    type_ = Columns.Count() > 0 ? gstColumns : gstNon;
    grid_.repaint();
    changed();
}

void TGridSelection::extendColumnSelection(TGridColumn& column) {
    TGridColumn* anchor = type_ == gstColumns ? Columns.anchor_ : nullptr;
    if (!anchor) {
        selectColumn(column);
        return;
    }
    const int from = std::min(anchor->Index(), column.Index());
    const int to = std::max(anchor->Index(), column.Index());
    Columns.items_.clear();
    for (int i = from; i <= to; ++i) {
        TGridColumn& c = grid_.column(i);
        if (c.Visible) Columns.add(&c);
    }
    Columns.anchor_ = anchor;
    type_ = gstColumns;
    grid_.repaint();
    changed();
}

void TGridSelection::selectRows(const std::vector<Bookmark>& bookmarks) {
    if (type_ != gstNon) ClearSelection();
    Rows.clear();
    for (Bookmark b : bookmarks) Rows.add(b);
    type_ = gstRecordBookmarks;
    grid_.repaint();
    changed();
}

void TGridSelection::selectRectangle(TGridCell anchor, TGridCell shift) {
    if (type_ != gstNon) ClearSelection();
    Rect.Anchor = anchor;
    Rect.Shift = shift;
    type_ = gstRectangle;
    grid_.repaint();
    changed();
}

void TGridSelection::forgetColumn(TGridColumn* column) {
    const bool held = Columns.contains(column);
    Columns.remove(column);
    if (Columns.anchor_ == column) Columns.anchor_ = nullptr;
    if (held && type_ == gstColumns && Columns.Count() == 0) type_ = gstNon;
    if (held) changed();
}

void TGridSelection::columnsReordered() {
    auto& items = Columns.items_;
    std::sort(items.begin(), items.end(),
              [](const TGridColumn* a, const TGridColumn* b) { return a->Index() < b->Index(); });
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
    lookups_.push_back(std::move(def));
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
    for (size_t i = 0; i < lookups_.size(); ++i) {
        if (sameName(lookups_[i].name, name)) {
            f.kind = GridField::Kind::Lookup;
            f.index = static_cast<int>(i);
            f.dataType = lookups_[i].dataType;
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
    resolvedLookups_.clear();
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
        const std::string& label = lookups_[column->field_.index].displayLabel;
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

const DataGrid::ResolvedLookup& DataGrid::resolveLookup(int which) const {
    const LookupFieldDef& def = lookups_.at(which);
    if (resolvedLookups_.size() != lookups_.size()) resolvedLookups_.assign(lookups_.size(), {});
    ResolvedLookup& r = resolvedLookups_[which];
    const data::CachedResultSet* lookup = def.lookupDataSet;
    auto nameAt = [](const data::CachedResultSet* set, int index) -> const std::string* {
        if (index < 0 || index >= set->fieldCount()) return nullptr;
        return &set->field(index).name;
    };
    auto stillBound = [&] {
        if (r.set != dataSet_ || r.lookup != lookup) return false;
        size_t n = 0;
        auto same = [&](const data::CachedResultSet* set, int index) {
            const std::string* name = nameAt(set, index);
            return name ? *name == r.names[n++] : index < 0 && r.names[n++].empty();
        };
        for (int k : r.keys)
            if (!same(dataSet_, k)) return false;
        for (int k : r.lookupKeys)
            if (!same(lookup, k)) return false;
        return same(lookup, r.result);
    };
    if (stillBound()) return r;

    r = ResolvedLookup{};
    r.set = dataSet_;
    r.lookup = lookup;
    const std::vector<std::string> keys = splitFieldNames(def.keyFields);
    const std::vector<std::string> lookupKeys = splitFieldNames(def.lookupKeyFields);
    if (keys.empty() || keys.size() != lookupKeys.size()) return r;
    auto remember = [&](const data::CachedResultSet* set, int index) {
        const std::string* name = nameAt(set, index);
        r.names.push_back(name ? *name : std::string());
        return index;
    };
    for (const std::string& key : keys)
        r.keys.push_back(remember(dataSet_, dataSet_->fieldIndex(key)));
    for (const std::string& key : lookupKeys)
        r.lookupKeys.push_back(remember(lookup, lookup->fieldIndex(key)));
    r.result = remember(lookup, lookup->fieldIndex(def.lookupResultField));
    return r;
}

template <class KeyValue>
data::Value DataGrid::lookupValue(int which, KeyValue&& keyValue) const {
    const LookupFieldDef& def = lookups_.at(which);
    const data::CachedResultSet* lookup = def.lookupDataSet;
    if (!lookup || !lookup->active() || !dataSet_) return {};
    const ResolvedLookup& r = resolveLookup(which);
    if (r.keys.empty()) return {};
    // A name a set lacks fails here, as a lookup by name would, once the keys before it
    // have values.
    data::Value single;
    std::vector<data::Value> keyValues;
    const size_t count = r.keys.size();
    if (count > 1) keyValues.reserve(count);
    for (size_t k = 0; k < count; ++k) {
        if (r.keys[k] < 0) dataSet_->fieldByName(splitFieldNames(def.keyFields)[k]);
        data::Value v = keyValue(r.keys[k]);
        if (v.isNull()) return {};
        if (r.lookupKeys[k] < 0) lookup->fieldByName(splitFieldNames(def.lookupKeyFields)[k]);
        if (count == 1)
            single = std::move(v);
        else
            keyValues.push_back(std::move(v));
    }
    if (r.result < 0) lookup->fieldByName(def.lookupResultField);
    const data::Value* keyOf = count == 1 ? &single : keyValues.data();
    const int rows = lookup->recordCount();
    for (int row = 0; row < rows; ++row) {
        bool match = true;
        for (size_t k = 0; k < count && match; ++k) {
            const data::Value v = lookup->valueAt(row, r.lookupKeys[k]);
            match = v.kind() == keyOf[k].kind() ? v == keyOf[k] : v.toText() == keyOf[k].toText();
        }
        if (match) return lookup->valueAt(row, r.result);
    }
    return {};
}

data::Value DataGrid::fieldValue(const GridField& field) const {
    switch (field.kind) {
        case GridField::Kind::Data:
            return dataSet_->value(field.index);
        case GridField::Kind::Lookup:
            return lookupValue(field.index, [this](int index) { return dataSet_->value(index); });
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
            return lookupValue(field.index,
                               [this, row](int index) { return dataSet_->valueShown(row, index); });
        case GridField::Kind::None:
            break;
    }
    return {};
}

std::vector<data::Value> DataGrid::lookupKeyValues(const GridField& field) const {
    std::vector<data::Value> out;
    if (!field.isLookup() || !dataSet_) return out;
    for (const std::string& key : splitFieldNames(lookups_.at(field.index).keyFields))
        out.push_back(dataSet_->value(dataSet_->fieldByName(key)));
    return out;
}

std::string DataGrid::displayTextOf(const GridField& field, const data::Value& v) const {
    if (v.isNull()) return {};
    if (field.settings && !field.settings->displayFormat.empty())
        return formatValue(field.settings->displayFormat, field.dataType, v);
    if (field.dataType == ftBytes || field.dataType == ftVarBytes)
        return hexText(v.kind() == data::Value::Kind::Text ? v.asString() : v.toText());
    return v.toText();
}

std::string DataGrid::fieldDisplayText(const GridField& field) const {
    return displayTextOf(field, fieldValue(field));
}

std::string DataGrid::cellTextOf(const TGridColumn& column, const data::Value& v) const {
    const GridField& field = column.Field();
    if (!field.exists()) return {};
    if (column.hasKeyPickList()) {
        std::string key = v.toText();
        for (size_t i = 0; i < column.KeyList.size(); ++i)
            if (column.KeyList[i] == key)
                return i < column.PickList.size() ? column.PickList[i] : std::string();
        return key;
    }
    if (column.DisplayFormat.empty()) return displayTextOf(field, v);
    return formatValue(column.DisplayFormat, field.dataType, v);
}

std::string DataGrid::cellText(const TGridColumn& column) const {
    if (!column.Field().exists()) return {};
    return cellTextOf(column, fieldValue(column.Field()));
}

std::string DataGrid::cellTextAt(const TGridColumn& column, int row) const {
    if (!column.Field().exists()) return {};
    return cellTextOf(column, fieldValueAt(column.Field(), row));
}

GridField DataGrid::footerField(const TGridColumn& column, const TGridColumnFooter& footer) const {
    return findField(footer.FieldName.empty() ? column.FieldName() : footer.FieldName);
}

std::string DataGrid::footerTotalText(const GridField& field, TFooterValueType type,
                                      int64_t total) const {
    const double value = static_cast<double>(total) / 10000.0;
    if (type == fvtCount) return formatGeneral(value, 15);
    const std::string displayFormat =
        field.settings ? field.settings->displayFormat : std::string();
    const int precision = field.settings ? field.settings->precision : 15;
    const bool currency =
        field.dataType == ftCurrency || (field.settings && field.settings->currency);
    if (isIntegerType(field.dataType)) {
        if (!displayFormat.empty()) return formatFloat(displayFormat, value);
        return std::to_string(total / 10000);
    }
    if (field.dataType == ftFloat || field.dataType == ftCurrency || field.dataType == ftBCD ||
        field.dataType == ftFMTBcd) {
        if (!displayFormat.empty()) return formatFloat(displayFormat, value);
        if (currency) return formatCurrency(value, currencyDecimals());
        return formatGeneral(value, precision);
    }
    return {};
}

std::string DataGrid::footerText(const TGridColumn& column, int footerRow) const {
    const TGridColumnFooter* footer = column.footerAt(footerRow);
    if (!footer) return {};
    switch (footer->ValueType) {
        case fvtNon:
            return {};
        case fvtStaticText:
            return footer->Value;
        case fvtFieldValue:
            return fieldDisplayText(footerField(column, *footer));
        case fvtSum:
        case fvtAvg:
        case fvtCount:
            break;
    }
    if (!dataSet_ || !dataSet_->active()) return {};
    const GridField field = footerField(column, *footer);
    const int rows = dataSet_->recordCount();
    if (footer->ValueType == fvtCount)
        return footerTotalText(field, fvtCount, int64_t{rows} * 10000);
    if (field.kind != GridField::Kind::Data) return {};
    int64_t sum = 0;
    int64_t counted = 0;
    for (int r = 0; r < rows; ++r) {
        const data::Value v = dataSet_->valueAt(r, field.index);
        if (v.isNull()) continue;
        sum += static_cast<int64_t>(std::nearbyint(v.asDouble() * 10000.0));
        ++counted;
    }
    if (footer->ValueType == fvtAvg) {
        if (counted == 0) return {};
        sum = static_cast<int64_t>(
            std::nearbyint(static_cast<double>(sum) / static_cast<double>(counted)));
    }
    return footerTotalText(field, fvtSum, sum);
}

}  // namespace enviozvr::grid
