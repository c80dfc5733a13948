#include "grid/celltext.h"

#include <cmath>

#include "grid/format.h"

namespace enviozvr::grid {

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

std::string displayText(const GridField& field, const data::Value& v) {
    if (v.isNull()) return {};
    if (field.settings && !field.settings->displayFormat.empty())
        return formatValue(field.settings->displayFormat, field.dataType, v);
    if (field.dataType == ftBytes || field.dataType == ftVarBytes)
        return hexText(v.kind() == data::Value::Kind::Text ? v.asString() : v.toText());
    return v.toText();
}

std::string columnText(const TGridColumn& column, const data::Value& v) {
    const GridField& field = column.Field();
    if (!field.exists()) return {};
    if (column.hasKeyPickList()) {
        std::string key = v.toText();
        for (size_t i = 0; i < column.KeyList.size(); ++i)
            if (column.KeyList[i] == key)
                return i < column.PickList.size() ? column.PickList[i] : std::string();
        return key;
    }
    if (column.DisplayFormat.empty()) return displayText(field, v);
    return formatValue(column.DisplayFormat, field.dataType, v);
}

std::string totalText(const GridField& field, TFooterValueType type, int64_t total) {
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
    if (isFloatType(field.dataType)) {
        if (!displayFormat.empty()) return formatFloat(displayFormat, value);
        if (currency) return formatCurrency(value, currencyDecimals());
        return formatGeneral(value, precision);
    }
    return {};
}

// ---- DataGrid's texts ------------------------------------------------------------------

std::string DataGrid::fieldDisplayText(const GridField& field) const {
    return displayText(field, fieldValue(field));
}

std::string DataGrid::cellText(const TGridColumn& column) const {
    if (!column.Field().exists()) return {};
    return columnText(column, fieldValue(column.Field()));
}

std::string DataGrid::cellTextAt(const TGridColumn& column, int row) const {
    if (!column.Field().exists()) return {};
    return columnText(column, fieldValueAt(column.Field(), row));
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

std::string DataGrid::footerTotalText(const GridField& field, TFooterValueType type,
                                      int64_t total) const {
    return totalText(field, type, total);
}

}  // namespace enviozvr::grid
