#include "grid/export/xls.h"

namespace enviozvr::grid {
namespace {
constexpr size_t kMaxLabel = 65535 - 8;
constexpr int64_t kRkMin = -536870912;
constexpr int64_t kRkMax = 536870911;
}  // namespace

XlsRowLimitError::XlsRowLimitError()
    : GridError(
          "Un archivo XLS admite como m\xE1ximo 65535 filas de datos y la selecci\xF3n "
          "tiene m\xE1s: no se ha guardado el archivo. Elija menos filas u otro formato.") {}

void TGridExportAsXLS::RunExport(TStream& stream, bool exportAll) {
    row_ = 0;
    col_ = 0;
    rowsExhausted_ = false;
    dataRows_ = 0;
    TGridExport::RunExport(stream, exportAll);
}

void TGridExportAsXLS::PutDataRow(const TGridColumnList& columns) {
    if (++dataRows_ > kXlsMaxDataRows) throw XlsRowLimitError();
    TGridExport::PutDataRow(columns);
}

void TGridExportAsXLS::advance() {
    if (static_cast<size_t>(col_) + 1 >= ExpCols().size()) {
        if (row_ == 0xFFFF) rowsExhausted_ = true;
        ++row_;
        col_ = 0;
    } else {
        ++col_;
    }
}

void TGridExportAsXLS::BeginDocument() {
    TStream& s = Stream();
    s.writeU16(0x0809);
    s.writeU16(8);
    s.writeU16(0x0000);
    s.writeU16(0x0010);
    s.writeU16(0x0000);
    s.writeU16(0x0000);
}

void TGridExportAsXLS::EndDocument() {
    Stream().writeU16(0x000A);
    Stream().writeU16(0);
}

// Writes a cell record's header (type, length, row, column, format index) and returns the
// stream for the record's own bytes.
TStream& TGridExportAsXLS::cellRecord(uint16_t type, uint16_t length, uint16_t format) {
    if (rowsExhausted_) throw XlsRowLimitError();
    TStream& s = Stream();
    s.writeU16(type);
    s.writeU16(length);
    s.writeU16(row_);
    s.writeU16(col_);
    s.writeU16(format);
    return s;
}

void TGridExportAsXLS::writeLabel(std::string_view text) {
    if (text.size() > kMaxLabel) text = text.substr(0, kMaxLabel);
    TStream& s = cellRecord(0x0204, static_cast<uint16_t>(8 + text.size()), 0);
    s.writeU16(static_cast<uint16_t>(text.size()));
    s.write(text);
    advance();
}

void TGridExportAsXLS::writeNumber(double value) {
    cellRecord(0x0203, 14, 0).writeDouble(value);
    advance();
}

void TGridExportAsXLS::writeRk(int32_t value) {
    cellRecord(0x027E, 10, 0).writeI32(static_cast<int32_t>(static_cast<uint32_t>(value) << 2) | 2);
    advance();
}

void TGridExportAsXLS::writeBlank() {
    cellRecord(0x0201, 6, 0x0017);
    advance();
}

void TGridExportAsXLS::PutTitleRow(const TGridColumnList& columns) {
    for (TGridColumn* c : columns) writeLabel(c->Title.Caption);
}

void TGridExportAsXLS::PutDataCell(TGridColumn& column, TGridCellParams& params) {
    const GridField& field = column.Field();
    if (!field.exists()) return writeBlank();
    if (column.hasKeyPickList()) return writeLabel(params.Text);
    const data::Value v = Grid().fieldValue(field);
    if (v.isNull()) return writeBlank();
    if (isIntegerType(field.dataType)) {
        const int64_t i = v.asInteger();
        if (i >= kRkMin && i <= kRkMax) return writeRk(static_cast<int32_t>(i));
        return writeNumber(static_cast<double>(i));
    }
    if (isFloatType(field.dataType)) return writeNumber(v.asDouble());
    writeLabel(params.Text);
}

void TGridExportAsXLS::PutFooterCell(int position, int footerRow, TGridColumn& column, const TFont&,
                                     TColor, TAlignment, const std::string& text) {
    const TGridColumnFooter* footer = column.footerAt(footerRow);
    if (footer && (footer->ValueType == fvtSum || footer->ValueType == fvtCount))
        return writeNumber(static_cast<double>(footerValue(footerRow, position)) / 10000.0);
    writeLabel(text);
}

}  // namespace enviozvr::grid
