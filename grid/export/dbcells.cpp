#include "grid/export/dbcells.h"

#include <string>
#include <vector>

#include "data/codepage.h"

namespace enviozvr::grid {

using data::utf16FromWindows1252;

namespace {

// Days since 30 December 1899 with the time as the fraction of the day; days before that
// date carry the fraction with the sign of the day.
double dayNumber(data::Date date, data::Time time) {
    const double days = static_cast<double>(date.days - data::Date::fromYmd(1899, 12, 30).days);
    const double fraction = static_cast<double>(time.fractions) / (86400.0 * 10000.0);
    return days < 0 ? days - fraction : days + fraction;
}

// Comma text: values separated by commas, quoted when they hold a control character, a
// space, a comma or a double quote; a single empty value is written as "".
std::string commaText(const std::vector<std::string>& values) {
    if (values.size() == 1 && values[0].empty()) return "\"\"";
    std::string out;
    for (size_t i = 0; i < values.size(); ++i) {
        if (i) out.push_back(',');
        const std::string& v = values[i];
        bool quote = false;
        for (unsigned char c : v)
            if (c <= ' ' || c == ',' || c == '"') quote = true;
        if (!quote) {
            out += v;
            continue;
        }
        out.push_back('"');
        for (char c : v) {
            if (c == '"') out.push_back('"');
            out.push_back(c);
        }
        out.push_back('"');
    }
    return out;
}

}  // namespace

void TGridExportAsDBCells::BeginDocument() {
    TStream& s = Stream();
    s.write("DBCELLS");
    s.writeByte(0x01);
    s.writeI32(static_cast<int32_t>(ExpCols().size()));
    for (TGridColumn* c : ExpCols()) {
        s.writeByte(c->Visible ? 0x01 : 0x00);
        s.writeByte(0x00);
    }
}

void TGridExportAsDBCells::EndDocument() { Stream().writeByte(0x00); }

void TGridExportAsDBCells::PutDataCell(TGridColumn& column, TGridCellParams&) {
    TStream& s = Stream();
    const GridField& field = column.Field();
    auto putBytes = [&s](uint8_t tag, std::string_view bytes) {
        s.writeByte(tag);
        s.writeI32(static_cast<int32_t>(bytes.size()));
        s.write(bytes);
    };
    auto putWide = [&s](std::string_view windows1252) {
        const std::u16string u = utf16FromWindows1252(windows1252);
        s.writeByte(0x07);
        s.writeI32(static_cast<int32_t>(u.size() * 2));
        for (char16_t c : u) s.writeU16(static_cast<uint16_t>(c));
    };
    if (field.isLookup()) {
        std::vector<std::string> keys;
        for (const data::Value& v : Grid().lookupKeyValues(field)) keys.push_back(v.toText());
        return putWide(commaText(keys));
    }
    if (!field.exists()) return s.writeByte(0x01);
    const data::Value v = Grid().fieldValue(field);
    if (v.isNull()) return s.writeByte(0x02);
    switch (field.dataType) {
        case ftString:
        case ftBoolean:
        case ftMemo:
        case ftFixedChar:
        case ftLargeint:
        case ftOraClob:
        case ftGuid:
            return putBytes(0x05, v.toText());
        case ftSmallint:
        case ftInteger:
        case ftWord:
        case ftAutoInc:
            s.writeByte(0x03);
            return s.writeI32(static_cast<int32_t>(v.asInteger()));
        case ftFloat:
        case ftCurrency:
        case ftBCD:
        case ftFMTBcd:
            s.writeByte(0x04);
            return s.writeDouble(v.asDouble());
        case ftDate:
        case ftTime:
        case ftDateTime:
        case ftTimeStamp: {
            data::Date date = data::Date::fromYmd(1899, 12, 30);
            data::Time time;
            if (v.kind() == data::Value::Kind::Date) {
                date = v.asDate();
            } else if (v.kind() == data::Value::Kind::Time) {
                time = v.asTime();
            } else {
                date = v.asTimestamp().date;
                time = v.asTimestamp().time;
            }
            s.writeByte(0x04);
            return s.writeDouble(dayNumber(date, time));
        }
        case ftBytes:
        case ftVarBytes:
        case ftBlob:
        case ftGraphic:
        case ftFmtMemo:
        case ftParadoxOle:
        case ftDBaseOle:
        case ftTypedBinary:
        case ftOraBlob:
            return putBytes(0x06, v.kind() == data::Value::Kind::Text ? v.asString() : v.toText());
        case ftWideString:
            return putWide(v.toText());
        default:
            return s.writeByte(0x01);
    }
}

}  // namespace enviozvr::grid
