// The desktop program: the main window and its event loop.
#pragma once

namespace enviozvr::ui {

int runDesktop(int argc, char** argv);

}  // namespace enviozvr::ui
