#include "ui/desktop.h"
namespace enviozvr::ui {
int runDesktop(int, char**) { return 0; }
}
