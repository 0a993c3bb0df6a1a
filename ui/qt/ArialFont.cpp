#include "ui/qt/ArialFont.h"

namespace ui::qt {

QFont arialFont() {
    QFont font("Arial");
    font.setPointSizeF(9.75);
    return font;
}

} // namespace ui::qt
