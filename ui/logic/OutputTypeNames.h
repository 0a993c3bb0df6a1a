#pragma once

#include <algorithm>
#include <array>
#include <string_view>

namespace ui::logic {

// The output type names in the order that a row's type list shows them.
inline constexpr std::array<std::string_view, 7> kOutputTypeNames = {
    "NotUsed", "Ticket", "Dup Ticket", "Label", "Report", "File", "NamedFile"};

// True when name is exactly one of the seven names (case counts).
inline bool isOutputTypeName(std::string_view name) {
    return std::find(kOutputTypeNames.begin(), kOutputTypeNames.end(), name) !=
           kOutputTypeNames.end();
}

} // namespace ui::logic
