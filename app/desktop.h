// The desktop program: the main window and its event loop.
#pragma once

namespace enviozvr::app {

int runDesktop(int argc, char** argv);

}  // namespace enviozvr::app
