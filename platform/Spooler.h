#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The print spooler: printers opened by name, one raw document per section.
class Spooler {
public:
    // An open printer; 0 means none.
    using Handle = std::uintptr_t;

    virtual ~Spooler() = default;

    // A job begins. A spooler that stops asking a print server that has failed to answer
    // within a job asks it again from here; one that remembers nothing has nothing to do.
    virtual void beginJob() {}

    // Opens the printer of that name. Returns 0 when the spooler does not recognise the name.
    virtual Handle openPrinter(const std::string& name) = 0;

    // Each of these throws Failure with the spooler's own message when the call fails.
    virtual void startDocument(Handle printer, const std::string& title,
                               const std::string& datatype) = 0;
    virtual void startPage(Handle printer) = 0;
    virtual void write(Handle printer, const std::uint8_t* data, std::size_t count) = 0;
    virtual void endPage(Handle printer) = 0;
    virtual void endDocument(Handle printer) = 0;

    // Releases the printer and whatever document it still has open. Never throws.
    virtual void closePrinter(Handle printer) = 0;

    // The installed printers' names, in the spooler's own order; each opens with openPrinter.
    virtual std::vector<std::string> printerNames() = 0;
};

// The spooler in use: the system's unless a replacement is installed.
Spooler& spooler();

// Installs a replacement (tests); nullptr restores the system's spooler.
void setSpooler(Spooler* replacement);

} // namespace platform
