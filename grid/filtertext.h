// The filter texts of the grid's filter row: the parsed condition of one column and the
// parser that reads a typed text into it, with the conversion of its operands to the
// column's operand type.
//
// A text is one condition, optionally followed by AND or OR and a second condition:
//   =5   <>abc   >=1,5   ~ab%   !~%x   in (1,2)   !in(a,b)   =Null   <>Null   abc   a,b
//   >3 and <7   'it''s' | x
// Pure functions over Windows-1252 bytes; the workstation's number and date formats are
// passed in as a FilterLocale. Every rejected text raises a FilterError whose message is
// the one the user sees.
#pragma once

#include <QLocale>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/value.h"
#include "grid/gridtypes.h"

namespace enviozvr::grid {

// The kind of operand a column's conditions take, from the type of its field.
enum class FilterOperandType { None, Text, Number, DateTime, Boolean };
FilterOperandType filterOperandTypeOf(TFieldType type);

enum class FilterOperator {
    None,
    Equal,
    NotEqual,
    Greater,
    Less,
    GreaterOrEqual,
    LessOrEqual,
    Like,
    NotLike,
    InList,
    NotInList,
    IsNull,
    IsNotNull,
};
enum class FilterRelation { None, And, Or };

// A single value, a list of values (typed with commas or inside IN ( ... )) or nothing.
// After conversion the values are texts (text and boolean columns, and NOW in date-time
// columns), floats (number columns) or time stamps (date-time columns).
struct FilterOperand {
    bool list = false;
    std::vector<data::Value> values;
    bool operator==(const FilterOperand&) const = default;
};

struct FilterCondition {
    FilterOperandType type = FilterOperandType::None;
    FilterOperator operator1 = FilterOperator::None;
    FilterOperand operand1;
    FilterRelation relation = FilterRelation::None;
    FilterOperator operator2 = FilterOperator::None;
    FilterOperand operand2;

    bool empty() const { return operator1 == FilterOperator::None; }
    bool operator==(const FilterCondition&) const = default;
};

// The workstation's settings that filter values are read with.
struct FilterLocale {
    enum class DateOrder { DayMonthYear, MonthDayYear, YearMonthDay };
    char decimalSeparator = '.';
    DateOrder dateOrder = DateOrder::DayMonthYear;
    char dateSeparator = '/';
    char timeSeparator = ':';
    // The locale whose short date and long time texts the grid shows: a date or time
    // written as the grid shows it is read too (month names, day-first with dots, a
    // localised AM/PM ...). None: the numeric forms alone.
    std::optional<QLocale> shown;

    // The settings of a locale (short date format, decimal point, its texts as shown).
    static FilterLocale of(const QLocale& locale);
    // The settings of the system locale.
    static FilterLocale workstation();
};

// A filter text that does not parse or whose operand does not convert.
class FilterError : public GridError {
  public:
    using GridError::GridError;
};

// Parses a filter text for a column of the given operand type. An empty (or blank) text
// gives an empty condition. Throws FilterError with the parse message followed by the
// trimmed text, or with the conversion message of the first bad value.
FilterCondition parseFilterText(std::string_view text, FilterOperandType type,
                                const FilterLocale& locale = FilterLocale::workstation());

// A value read as a number or a date and time in the given settings; throws FilterError
// ("'%s' is not a valid floating point value", "'%s' is not a valid date and time").
double filterNumber(std::string_view text, const FilterLocale& locale);
data::Timestamp filterDateTime(std::string_view text, const FilterLocale& locale);

// The text trimmed of blanks and control characters at both ends.
std::string trimmedFilterText(std::string_view text);

}  // namespace enviozvr::grid
