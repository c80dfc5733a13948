// The user's guide (docs/guia.html), opened with F1 from the main window and the event
// list viewers.
//
// The guide is looked up in this order: the file that ENVIOZVR_GUIDE names, the
// documentation folder of the installation (ENVIOZVR_DOC_DIR, /usr/share/doc/enviozvr for
// the package) and share/doc/enviozvr beside the program's own prefix. A file found is
// handed to the desktop's browser; when there is no file or no browser can take it, a
// small viewer of the program shows the file, or the copy built into the program.
// User-interface thread only.
#pragma once

#include <QString>

class QWidget;

namespace enviozvr::ui {

// The guide file that F1 opens; empty when none of the places above holds one.
QString guideFile();

// Makes F1, anywhere in `window`, open the guide (see above).
void installGuideKey(QWidget* window);

// Opens the guide as F1 does; `parent` owns the program's own viewer when one is needed.
void openGuide(QWidget* parent);

// Shows the guide in the program's own viewer (the file when there is one, else the
// built-in copy) and returns that viewer, a non-modal dialog owned by `parent`; the one
// `parent` already has open is brought forward instead.
QWidget* showGuideViewer(QWidget* parent);

}  // namespace enviozvr::ui
