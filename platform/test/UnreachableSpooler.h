#pragma once

#include "platform/Failure.h"
#include "platform/Spooler.h"

#include <memory>
#include <string>
#include <vector>

namespace platform {

// A spooler whose scheduler cannot be reached: every call fails.
class UnreachableSpooler final : public Spooler {
public:
    std::unique_ptr<Printer> openPrinter(const std::string&) override { fail(); }
    std::vector<std::string> printerNames() override { fail(); }

private:
    [[noreturn]] static void fail() { throw Failure("The scheduler is not running"); }
};

} // namespace platform
