#include "grid/gridtypes.h"

namespace enviozvr::grid {

TColor FixedGridEnvironment::systemColorRgb(int index) const {
    switch (index) {
        case 5:
            return window;
        case 8:
            return windowText;
        case 15:
            return buttonFace;
        case 18:
            return buttonText;
        default:
            return clBlack;
    }
}

TColor colorToRgb(TColor c, const GridEnvironment& env) {
    if (isSystemColor(c)) return env.systemColorRgb(static_cast<int>(c & 0xFF));
    return c;
}

}  // namespace enviozvr::grid
