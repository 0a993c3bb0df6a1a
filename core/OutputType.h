#pragma once

#include <array>
#include <string_view>

// The type of a row of the output map: where its sections go and how they end.
enum class OutputType {
    NotUsed,
    Ticket,
    DupTicket,
    Label,
    Report,
    File,
    NamedFile,
    // Empty or none of the seven: its sections are dropped, and the name kept as it stands.
    Unknown,
};

namespace outputtype {

// The seven types, in the order that a row's type list shows them.
inline constexpr std::array<OutputType, 7> kListed = {
    OutputType::NotUsed, OutputType::Ticket, OutputType::DupTicket, OutputType::Label,
    OutputType::Report,  OutputType::File,   OutputType::NamedFile};

// The name under which the settings store the type ("" for Unknown).
constexpr std::string_view name(OutputType type) {
    switch (type) {
    case OutputType::NotUsed:
        return "NotUsed";
    case OutputType::Ticket:
        return "Ticket";
    case OutputType::DupTicket:
        return "Dup Ticket";
    case OutputType::Label:
        return "Label";
    case OutputType::Report:
        return "Report";
    case OutputType::File:
        return "File";
    case OutputType::NamedFile:
        return "NamedFile";
    case OutputType::Unknown:
        break;
    }
    return "";
}

// The type of a stored name, compared exactly, case included: any other text is Unknown.
constexpr OutputType parse(std::string_view stored) {
    for (const OutputType type : kListed) {
        if (name(type) == stored) {
            return type;
        }
    }
    return OutputType::Unknown;
}

constexpr bool isPrinter(OutputType type) {
    return type == OutputType::Ticket || type == OutputType::DupTicket ||
           type == OutputType::Label || type == OutputType::Report;
}

} // namespace outputtype
