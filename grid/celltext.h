// The texts a data grid shows: a field's display text, what a column's cell shows (its
// pick list, its display format) and the text of a footer total. The DataGrid members
// that read a value and give its text (cellText, cellTextAt, fieldDisplayText,
// footerText, footerTotalText) are defined beside these in celltext.cpp.
#pragma once

#include <cstdint>
#include <string>

#include "grid/grid.h"

namespace enviozvr::grid {

// A value in a display format: numbers as floats, dates and times as date-times; empty
// for NULL and for other types.
std::string formatValue(const std::string& format, TFieldType type, const data::Value& v);
// The field's own display text of `v` (its display format when it has one, bytes as hex).
std::string displayText(const GridField& field, const data::Value& v);
// The text the column's cell shows for `v`: through its pick list when it has one, else in
// the column's display format, else the field's display text.
std::string columnText(const TGridColumn& column, const data::Value& v);
// A fvtSum or fvtCount total (fixed point, value x 10000) as a footer of `field` shows it.
std::string totalText(const GridField& field, TFooterValueType type, int64_t total);

}  // namespace enviozvr::grid
