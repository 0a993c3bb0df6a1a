#pragma once

#include "platform/Failure.h"
#include "platform/Spooler.h"

#include <string>
#include <vector>

namespace uitest {

// A spooler whose scheduler cannot be reached: every call fails.
class UnreachableSpooler final : public platform::Spooler {
public:
    Handle openPrinter(const std::string&) override { fail(); }
    void startDocument(Handle, const std::string&, const std::string&) override { fail(); }
    void startPage(Handle) override { fail(); }
    void write(Handle, const std::uint8_t*, std::size_t) override { fail(); }
    void endPage(Handle) override { fail(); }
    void endDocument(Handle) override { fail(); }
    void closePrinter(Handle) override {}
    std::vector<std::string> printerNames() override { fail(); }

private:
    [[noreturn]] static void fail() { throw platform::Failure("The scheduler is not running"); }
};

} // namespace uitest
