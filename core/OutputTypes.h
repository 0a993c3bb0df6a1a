#pragma once

#include <algorithm>
#include <array>
#include <string_view>

// The output types that a row of the output map can name. A stored type is compared with them
// as it stands: exactly, case included; any other text names no type.
namespace outputtype {

inline constexpr std::string_view kNotUsed = "NotUsed";
inline constexpr std::string_view kTicket = "Ticket";
inline constexpr std::string_view kDupTicket = "Dup Ticket";
inline constexpr std::string_view kLabel = "Label";
inline constexpr std::string_view kReport = "Report";
inline constexpr std::string_view kFile = "File";
inline constexpr std::string_view kNamedFile = "NamedFile";

// All seven, in the order that a row's type list shows them.
inline constexpr std::array<std::string_view, 7> kAll = {kNotUsed, kTicket, kDupTicket, kLabel,
                                                         kReport,  kFile,   kNamedFile};

// True when name is exactly one of the seven names.
inline bool isName(std::string_view name) {
    return std::find(kAll.begin(), kAll.end(), name) != kAll.end();
}

} // namespace outputtype
