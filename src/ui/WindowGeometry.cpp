#include "ui/WindowGeometry.h"

namespace ldt {

WindowPlacement PlaceWindow(int screenWidth, int screenHeight) {
    return {screenWidth / 2 - kWindowWidth / 2, (screenHeight - 20) / 2 - kWindowHeight / 2,
            kWindowWidth, kWindowHeight};
}

Point CentredIcon(int clientWidth, int clientHeight, int iconWidth, int iconHeight) {
    return {(clientWidth - iconWidth + 1) / 2, (clientHeight - iconHeight + 1) / 2};
}

}  // namespace ldt
