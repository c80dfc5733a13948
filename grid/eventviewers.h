// Definitions shared by the two event list viewers and the command-line export: the
// viewers' queries, the declared fields of their list CErroresenv, the looked-up "Tipo
// doc" and the grid columns of each viewer. Pure set-up; nothing here reads a database.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "data/dataset.h"
#include "grid/grid.h"

namespace enviozvr::grid {

enum class EventViewer {
    Errors,   // Tfmensajesenvzvr: events whose last send stored an error text
    Pending,  // Tfpendienteszvr: events with no error, not sent yet
};

// The SQL the viewer sets as the list's command text on every activation.
std::string eventViewerQuery(EventViewer viewer);
// The default file name of the viewer's save dialog.
std::string eventViewerFileName(EventViewer viewer);

// The declared fields of the list, with their display labels.
std::vector<data::Field> eventListFields();
void declareEventListFields(data::CachedResultSet& list);

// A column of a viewer's grid: its field, title (Latin-1, as the screens keep their texts)
// and width in pixels.
struct EventViewerColumn {
    const char* field;
    const char* title;
    int width;
};
// The columns of the viewer's grid in order: ten, and the error text as an eleventh in the
// error viewer.
std::span<const EventViewerColumn> eventViewerColumns(EventViewer viewer);

// Sets up a viewer's grid over `list`: options, the looked-up field and the columns in
// order with titles and widths (ten columns, eleven in the error viewer).
void setUpEventGrid(DataGrid& grid, EventViewer viewer, data::CachedResultSet* list,
                    const data::CachedResultSet* tipodoc);

}  // namespace enviozvr::grid
