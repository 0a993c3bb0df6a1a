#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// The print spooler: printers opened by name, one raw document per section.
class Spooler {
public:
    // An open printer. Releasing it drops any document still open: that prints nothing.
    class Printer {
    public:
        virtual ~Printer() = default;

        // Each of these throws Failure with the spooler's own message when the call fails, and
        // Interrupted when a stop request cut its wait short.
        virtual void startDocument(const std::string& title, const std::string& datatype) = 0;
        virtual void startPage() = 0;
        virtual void write(const std::uint8_t* data, std::size_t count) = 0;
        virtual void endPage() = 0;
        virtual void endDocument() = 0;
    };

    virtual ~Spooler() = default;

    // A job begins: a spooler that gave up on a silent print server asks it again.
    virtual void beginJob() {}

    // Opens the printer of that name; nullptr when the spooler does not recognise the name, or
    // its print server does not answer in time. Throws Interrupted when a stop request cut a wait
    // short.
    virtual std::unique_ptr<Printer> openPrinter(const std::string& name) = 0;

    // The installed printers' names, in the spooler's own order; each opens with openPrinter.
    virtual std::vector<std::string> printerNames() = 0;
};

// The operating system's spooler: CUPS, or the Windows print spooler.
std::unique_ptr<Spooler> makeSystemSpooler();

} // namespace platform
