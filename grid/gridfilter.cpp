#include "grid/gridfilter.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "data/names.h"
#include "grid/format.h"
#include "grid/gridsort.h"

namespace enviozvr::grid {

namespace {

using data::sameName;

using Op = FilterOperator;

bool isEmptyValue(const data::Value& v) {
    return v.isNull() || (v.kind() == data::Value::Kind::Text && v.asString().empty());
}

bool isNumeric(const data::Value& v) {
    const auto k = v.kind();
    return k == data::Value::Kind::Integer || k == data::Value::Kind::Decimal ||
           k == data::Value::Kind::Float;
}

std::string textOf(const data::Value& v) {
    return v.kind() == data::Value::Kind::Text ? v.asString() : v.toText();
}

// -1, 0, 1 for value against operand, or 2 when they cannot be compared.
int compareOperand(const data::Value& value, const data::Value& operand, FilterOperandType type,
                   const data::Timestamp& now) {
    switch (type) {
        case FilterOperandType::Number: {
            if (!isNumeric(value) || !isNumeric(operand)) return 2;
            const double a = value.asDouble();
            const double b = operand.asDouble();
            return a < b ? -1 : (b < a ? 1 : 0);
        }
        case FilterOperandType::DateTime: {
            data::Timestamp b;
            if (operand.kind() == data::Value::Kind::Timestamp)
                b = operand.asTimestamp();
            else if (operand.kind() == data::Value::Kind::Text)
                b = now;
            else
                return 2;
            switch (value.kind()) {
                case data::Value::Kind::Date: {
                    const auto a = value.asDate();
                    return a < b.date ? -1 : (b.date < a ? 1 : 0);
                }
                case data::Value::Kind::Time: {
                    const auto a = value.asTime();
                    return a < b.time ? -1 : (b.time < a ? 1 : 0);
                }
                case data::Value::Kind::Timestamp: {
                    const auto a = value.asTimestamp();
                    return a < b ? -1 : (b < a ? 1 : 0);
                }
                default:
                    return 2;
            }
        }
        default:
            return data::compareKeyValues(data::Value::text(textOf(value)),
                                          data::Value::text(textOf(operand)), true);
    }
}

bool operatorMet(Op op, const FilterOperand& operand, FilterOperandType type,
                 const data::Value& value, const data::Timestamp& now) {
    switch (op) {
        case Op::None:
            return true;
        case Op::IsNull:
            return isEmptyValue(value);
        case Op::IsNotNull:
            return !isEmptyValue(value);
        default:
            break;
    }
    if (value.isNull()) return false;
    auto any = [&](auto&& test) {
        return std::any_of(operand.values.begin(), operand.values.end(), test);
    };
    auto compares = [&](auto&& accept) {
        return any([&](const data::Value& x) {
            const int c = compareOperand(value, x, type, now);
            return c != 2 && accept(c);
        });
    };
    auto likes = [&](const data::Value& x) {
        if (type == FilterOperandType::Text || type == FilterOperandType::Boolean ||
            type == FilterOperandType::None)
            return likeMatch(textOf(value), textOf(x));
        return compareOperand(value, x, type, now) == 0;
    };
    switch (op) {
        case Op::Equal:
        case Op::InList:
            return compares([](int c) { return c == 0; });
        case Op::NotEqual:
        case Op::NotInList:
            return !compares([](int c) { return c == 0; });
        case Op::Greater:
            return compares([](int c) { return c > 0; });
        case Op::GreaterOrEqual:
            return compares([](int c) { return c >= 0; });
        case Op::Less:
            return compares([](int c) { return c < 0; });
        case Op::LessOrEqual:
            return compares([](int c) { return c <= 0; });
        case Op::Like:
            return any(likes);
        case Op::NotLike:
            return !any(likes);
        default:
            return true;
    }
}

}  // namespace

FilterOperandType columnOperandType(const TGridColumn& column) {
    if (!column.Field().exists()) return FilterOperandType::None;
    return filterOperandTypeOf(column.Field().dataType);
}

// ---- GridFilterState ------------------------------------------------------------------

GridFilterState::Entry* GridFilterState::find(const std::string& fieldName) {
    for (Entry& e : entries_)
        if (sameName(e.fieldName, fieldName)) return &e;
    return nullptr;
}

const GridFilterState::Entry* GridFilterState::find(const std::string& fieldName) const {
    for (const Entry& e : entries_)
        if (sameName(e.fieldName, fieldName)) return &e;
    return nullptr;
}

std::string GridFilterState::text(const std::string& fieldName) const {
    const Entry* e = find(fieldName);
    return e ? e->text : std::string();
}

FilterCondition GridFilterState::condition(const std::string& fieldName) const {
    const Entry* e = find(fieldName);
    return e ? e->condition : FilterCondition{};
}

bool GridFilterState::hasConditions() const {
    return std::any_of(entries_.begin(), entries_.end(),
                       [](const Entry& e) { return !e.condition.empty(); });
}

void GridFilterState::store(const std::string& fieldName, FilterOperandType type,
                            const std::string& text, const FilterLocale& locale) {
    // A rejected text changes nothing: the column keeps the text it shows and the
    // condition of that text, so what the filter row shows is what filters.
    FilterCondition parsed = parseFilterText(text, type, locale);
    Entry* e = find(fieldName);
    if (!e) {
        entries_.push_back({fieldName, {}, {}});
        e = &entries_.back();
    }
    // A column of no operand type takes no condition; its text is kept as typed.
    e->condition = type == FilterOperandType::None ? FilterCondition{} : std::move(parsed);
    e->text = text;
}

void GridFilterState::clearColumn(const std::string& fieldName) {
    std::erase_if(entries_, [&](const Entry& e) { return sameName(e.fieldName, fieldName); });
}

// ---- Conditions -----------------------------------------------------------------------

bool likeMatch(std::string_view text, std::string_view pattern) {
    auto up = [](char c) { return data::upperCase1252(static_cast<unsigned char>(c)); };
    size_t t = 0, p = 0;
    size_t starP = std::string_view::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '%') {
            starP = p++;
            starT = t;
        } else if (p < pattern.size() && (pattern[p] == '_' || up(pattern[p]) == up(text[t]))) {
            ++p;
            ++t;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '%') ++p;
    return p == pattern.size();
}

bool conditionMet(const FilterCondition& c, const data::Value& value, const data::Timestamp& now) {
    if (c.empty()) return true;
    const bool first = operatorMet(c.operator1, c.operand1, c.type, value, now);
    switch (c.relation) {
        case FilterRelation::And:
            return first && operatorMet(c.operator2, c.operand2, c.type, value, now);
        case FilterRelation::Or:
            return first || operatorMet(c.operator2, c.operand2, c.type, value, now);
        case FilterRelation::None:
            break;
    }
    return first;
}

data::RowFilter gridRowFilter(DataGrid& grid, const GridFilterState& state) {
    std::vector<GridFilterState::Entry> active;
    std::vector<std::string> names;
    for (const auto& e : state.entries()) {
        if (e.condition.empty()) continue;
        active.push_back(e);
        names.push_back(e.fieldName);
    }
    if (active.empty()) return {};
    defineLookupKeys(grid, names);
    return [active = std::move(active)](const data::CachedResultSet& set) -> data::RowTest {
        struct Test {
            data::KeyFunction key;
            FilterCondition condition;
        };
        std::vector<Test> tests;
        for (const auto& e : active) tests.push_back({set.keyFunction(e.fieldName), e.condition});
        const data::Timestamp now{data::today(), data::timeNow()};
        return [tests = std::move(tests), now](const data::RowValues& row) {
            for (const Test& t : tests)
                if (!conditionMet(t.condition, t.key(row), now)) return false;
            return true;
        };
    };
}

void installGridFilter(DataGrid& grid, const GridFilterState& state) {
    if (data::CachedResultSet* set = grid.dataSet()) set->setRowFilter(gridRowFilter(grid, state));
}

// ---- Drop-down ------------------------------------------------------------------------

const std::vector<FilterDropDownEntry>& filterDropDownItems() {
    static const std::vector<FilterDropDownEntry> items = {
        {FilterDropDownItem::OrderAscending, "(Order by ascending)"},
        {FilterDropDownItem::OrderDescending, "(Order by descending)"},
        {FilterDropDownItem::Separator, "-"},
        {FilterDropDownItem::ClearFilter, "(Clear filter)"},
        {FilterDropDownItem::ApplyFilter, "(Apply filter)"},
        {FilterDropDownItem::Custom, "(Custom...)"},
        {FilterDropDownItem::All, "(All)"},
        {FilterDropDownItem::NotEmpty, "(Not empty)"},
        {FilterDropDownItem::Empty, "(Empty)"},
    };
    return items;
}

// ---- Custom filter dialog -------------------------------------------------------------

std::vector<CustomFilterEntry> customFilterEntries(FilterOperandType type) {
    using E = CustomFilterEntry;
    std::vector<E> out = {E::Empty,          E::Equals,   E::DoesNotEqual, E::GreaterThan,
                          E::GreaterOrEqual, E::LessThan, E::LessOrEqual};
    if (type != FilterOperandType::Number && type != FilterOperandType::DateTime &&
        type != FilterOperandType::Boolean)
        out.insert(out.end(), {E::BeginsWith, E::DoesNotBeginWith, E::EndsWith, E::DoesNotEndWith,
                               E::Contains, E::DoesNotContain, E::Like, E::NotLike});
    out.insert(out.end(), {E::InList, E::NotInList, E::IsBlank, E::IsNotBlank});
    return out;
}

const char* customFilterCaption(CustomFilterEntry entry) {
    switch (entry) {
        case CustomFilterEntry::Empty:
            return "";
        case CustomFilterEntry::Equals:
            return "equals";
        case CustomFilterEntry::DoesNotEqual:
            return "does not equal";
        case CustomFilterEntry::GreaterThan:
            return "is greate than";
        case CustomFilterEntry::GreaterOrEqual:
            return "is greate than or equall to";
        case CustomFilterEntry::LessThan:
            return "is less than";
        case CustomFilterEntry::LessOrEqual:
            return "is less than or equall to";
        case CustomFilterEntry::BeginsWith:
            return "begins with";
        case CustomFilterEntry::DoesNotBeginWith:
            return "does not begin with";
        case CustomFilterEntry::EndsWith:
            return "ends with";
        case CustomFilterEntry::DoesNotEndWith:
            return "does not end with";
        case CustomFilterEntry::Contains:
            return "contains";
        case CustomFilterEntry::DoesNotContain:
            return "does not contain";
        case CustomFilterEntry::Like:
            return "like";
        case CustomFilterEntry::NotLike:
            return "not like";
        case CustomFilterEntry::InList:
            return "in list";
        case CustomFilterEntry::NotInList:
            return "not in list";
        case CustomFilterEntry::IsBlank:
            return "is blank";
        case CustomFilterEntry::IsNotBlank:
            return "is not blank";
    }
    return "";
}

namespace {

std::string quoted(const std::string& value) {
    std::string out = "'";
    for (char c : value) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + "'";
}

// The enclosing rule of the dialog: a text value that starts with a blank, or any value
// with a parenthesis.
bool needsQuotes(const std::string& value, FilterOperandType type) {
    return (type == FilterOperandType::Text && !value.empty() && value.front() == ' ') ||
           value.find_first_of("()") != std::string::npos;
}

// Whether `op` followed by `value` reads back as that one value, unquoted (blanks around a
// number or date do not count).
bool readsBackAlone(const std::string& op, const std::string& value, FilterOperandType type) {
    try {
        const FilterCondition c = parseFilterText(op + value, FilterOperandType::Text, {});
        const std::string want = type == FilterOperandType::Text ? value : trimmedFilterText(value);
        return c.relation == FilterRelation::None && !c.operand1.list &&
               c.operand1.values.size() == 1 &&
               (type == FilterOperandType::Text
                    ? c.operand1.values[0].asString()
                    : trimmedFilterText(c.operand1.values[0].asString())) == want &&
               c.operator1 != Op::IsNull && c.operator1 != Op::IsNotNull;
    } catch (const FilterError&) {
        return false;
    }
}

}  // namespace

std::string customFilterPiece(const CustomFilterRow& row, FilterOperandType type) {
    using E = CustomFilterEntry;
    const std::string& v = row.value;
    std::string op;
    std::string pattern = v;
    switch (row.entry) {
        case E::Empty:
            return {};
        case E::IsBlank:
            return "=Null";
        case E::IsNotBlank:
            return "<>Null";
        case E::InList:
            return "in(" + (needsQuotes(v, type) ? quoted(v) : v) + ")";
        case E::NotInList:
            return "!in(" + (needsQuotes(v, type) ? quoted(v) : v) + ")";
        case E::Equals:
            op = "=";
            break;
        case E::DoesNotEqual:
            op = "<>";
            break;
        case E::GreaterThan:
            op = ">";
            break;
        case E::GreaterOrEqual:
            op = ">=";
            break;
        case E::LessThan:
            op = "<";
            break;
        case E::LessOrEqual:
            op = "<=";
            break;
        case E::BeginsWith:
            op = "~", pattern = v + "%";
            break;
        case E::DoesNotBeginWith:
            op = "!~", pattern = v + "%";
            break;
        case E::EndsWith:
            op = "~", pattern = "%" + v;
            break;
        case E::DoesNotEndWith:
            op = "!~", pattern = "%" + v;
            break;
        case E::Contains:
            op = "~", pattern = "%" + v + "%";
            break;
        case E::DoesNotContain:
            op = "!~", pattern = "%" + v + "%";
            break;
        case E::Like:
            op = "~";
            break;
        case E::NotLike:
            op = "!~";
            break;
    }
    // The quotes enclose the whole pattern, '%' included, and double any quote inside,
    // so that the text reads back as the one value typed; so does a value that would
    // otherwise read as more than one (a comma, a word AND or OR, a leading quote).
    if (needsQuotes(v, type) || !readsBackAlone(op, pattern, type)) return op + quoted(pattern);
    return op + pattern;
}

std::string customFilterText(FilterOperandType type, const CustomFilterRow& first, bool orRelation,
                             const CustomFilterRow& second) {
    std::string a = customFilterPiece(first, type);
    std::string b = customFilterPiece(second, type);
    if (a.empty()) return b;
    if (b.empty()) return a;
    return a + (orRelation ? " OR " : " AND ") + b;
}

namespace {

std::string operandText(const FilterOperand& operand) {
    std::string out;
    for (size_t i = 0; i < operand.values.size(); ++i) {
        const data::Value& v = operand.values[i];
        if (i) out += ",";
        switch (v.kind()) {
            case data::Value::Kind::Float:
                out += formatGeneral(v.asDouble());
                break;
            case data::Value::Kind::Timestamp: {
                const data::Timestamp t = v.asTimestamp();
                if (t.date == data::Date::fromYmd(1899, 12, 30))
                    out += data::longTimeText(t.time);
                else
                    out += v.toText();
                break;
            }
            default:
                out += textOf(v);
                break;
        }
    }
    return out;
}

CustomFilterRow rowOf(Op op, const FilterOperand& operand) {
    using E = CustomFilterEntry;
    const std::string v = operandText(operand);
    switch (op) {
        case Op::None:
            return {};
        case Op::Equal:
            return {E::Equals, v};
        case Op::NotEqual:
            return {E::DoesNotEqual, v};
        case Op::Greater:
            return {E::GreaterThan, v};
        case Op::GreaterOrEqual:
            return {E::GreaterOrEqual, v};
        case Op::Less:
            return {E::LessThan, v};
        case Op::LessOrEqual:
            return {E::LessOrEqual, v};
        case Op::InList:
            return {E::InList, v};
        case Op::NotInList:
            return {E::NotInList, v};
        case Op::IsNull:
            return {E::IsBlank, {}};
        case Op::IsNotNull:
            return {E::IsNotBlank, {}};
        case Op::Like:
        case Op::NotLike: {
            const bool negated = op == Op::NotLike;
            const bool lead = v.size() > 1 && v.front() == '%';
            const bool trail = v.size() > 1 && v.back() == '%';
            const std::string inner = v.substr(lead ? 1 : 0, v.size() - lead - trail);
            if (inner.find_first_of("%_") == std::string::npos && (lead || trail)) {
                if (lead && trail) return {negated ? E::DoesNotContain : E::Contains, inner};
                if (trail) return {negated ? E::DoesNotBeginWith : E::BeginsWith, inner};
                return {negated ? E::DoesNotEndWith : E::EndsWith, inner};
            }
            return {negated ? E::NotLike : E::Like, v};
        }
    }
    return {};
}

}  // namespace

CustomFilterRows customFilterRowsOf(const FilterCondition& c) {
    CustomFilterRows out;
    out.first = rowOf(c.operator1, c.operand1);
    out.second = rowOf(c.operator2, c.operand2);
    out.orRelation = c.relation == FilterRelation::Or;
    return out;
}

}  // namespace enviozvr::grid
