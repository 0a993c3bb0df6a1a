#pragma once

#include <QRect>

class QWidget;

namespace ui::qt {

// Twips (1440 to the inch) to pixels at a logical resolution in dots per inch.
int twipsToPixels(int twips, double dotsPerInch);

// In pixels at the widget's logical resolution; edges converted one by one, so touching ones touch.
QRect twipsRect(const QWidget& widget, int left, int top, int width, int height);

} // namespace ui::qt
