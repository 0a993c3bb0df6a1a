#pragma once

#include <QRect>

class QWidget;

namespace ui::qt {

// Converts a length in twips (1440 to the inch) to pixels at a logical resolution in dots per
// inch.
int twipsToPixels(int twips, double dotsPerInch);

// A rectangle given in twips, in pixels at the widget's logical resolution. Each edge is
// converted on its own, so that rectangles which touch in twips touch in pixels.
QRect twipsRect(const QWidget& widget, int left, int top, int width, int height);

} // namespace ui::qt
