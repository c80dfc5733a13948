// The DBCELLS document: the typed copy of the exported cells that the clipboard carries.
#pragma once

#include "grid/export/exporter.h"

namespace enviozvr::grid {

// The typed binary copy of the exported cells (no titles, no footers).
class TGridExportAsDBCells : public TGridExport {
  public:
    using TGridExport::TGridExport;
    void BeginDocument() override;
    void EndDocument() override;
    void PutDataCell(TGridColumn& column, TGridCellParams& params) override;
};

}  // namespace enviozvr::grid
