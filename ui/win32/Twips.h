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

// The screen's resolution, at which the windows are laid out: the one that the user's scaling
// gives (96 at 100 %, 144 at 150 %).
Resolution screenResolution();

// Converts a length in twips to pixels at a resolution in dots per inch.
int twipsToPixels(int twips, int dotsPerInch);

// The rectangle in pixels at the resolution. Each edge is converted on its own, so that
// rectangles which touch in twips touch in pixels.
RECT toPixels(Resolution resolution, const TwipsRect& twips);

} // namespace ui::win32
