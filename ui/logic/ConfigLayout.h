#pragma once

#include "core/Settings.h"

#include <array>

// The configuration window layout both builds share: client area and rows in twips, captions.
namespace ui::logic::layout {

inline constexpr int kClientWidth = 9885;
inline constexpr int kClientHeight = 6180;
inline constexpr std::array<int, core::kOutputs> kRowTops = {1440, 1920, 2280, 2640, 3000,
                                                             3360, 3720, 4080, 4440};
inline constexpr std::array<const char*, core::kOutputs> kRowCaptions = {
    "@@1@ ->", "@@2@ ->", "@@3@ ->", "@@4@ ->", "@@5@- >",
    "@@6@- >", "@@7@- >", "@@8@- >", "@@9@- >"};

} // namespace ui::logic::layout
