#pragma once

#include "ui/logic/TrayStatus.h"

#include <cstdint>

namespace ui::logic {

// Paints the badge of the icon over an image of size by size pixels, row after row, each
// 0xAARRGGBB with straight (not premultiplied) alpha: a yellow triangle with "!" for Warning, a
// red disc with a white bar for Stopped, ringed in white, over the bottom right corner. Normal
// paints nothing.
void paintBadge(TrayIcon icon, std::uint32_t* pixels, int size);

} // namespace ui::logic
