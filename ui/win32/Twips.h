#pragma once

#include <windows.h>

namespace ui::win32 {

// A resolution in dots per inch, across and down.
struct Resolution {
    int x;
    int y;
};

// A rectangle in twips (1440 to the inch): its left and top edges and its size.
struct TwipsRect {
    int left;
    int top;
    int width;
    int height;
};

// The resolution the windows are laid out at, from the user's scaling (96 at 100 %, 144 at 150 %).
Resolution screenResolution();

int twipsToPixels(int twips, int dotsPerInch);

// Each edge converted on its own, so rectangles touching in twips touch in pixels.
RECT toPixels(Resolution resolution, const TwipsRect& twips);

} // namespace ui::win32
