// The system's spooler on Windows: the print spooler's own functions, one raw document per
// section.
#include "platform/Failure.h"
#include "platform/Spooler.h"
#include "platform/win32/SystemError.h"

#include <windows.h>

#include <winspool.h>

#include <algorithm>
#include <set>
#include <vector>

namespace platform {
namespace {

HANDLE printerOf(Spooler::Handle printer) {
    return reinterpret_cast<HANDLE>(printer);
}

// WritePrinter takes counts of 32 bits.
constexpr std::size_t kLargestWrite = std::size_t{1} << 30;

class WindowsSpooler final : public Spooler {
public:
    // Opened with no defaults: the printer's own settings apply.
    Handle openPrinter(const std::string& name) override {
        // An empty name would open the print server itself; it names no printer here.
        if (name.empty()) {
            return 0;
        }
        HANDLE printer = nullptr;
        if (!OpenPrinterA(const_cast<char*>(name.c_str()), &printer, nullptr)) {
            const DWORD error = GetLastError();
            if (error == ERROR_INVALID_PRINTER_NAME) {
                return 0;
            }
            win32::throwError(error);
        }
        return reinterpret_cast<Handle>(printer);
    }

    void startDocument(Handle printer, const std::string& title,
                       const std::string& datatype) override {
        DOC_INFO_1A document{const_cast<char*>(title.c_str()), nullptr,
                             const_cast<char*>(datatype.c_str())};
        if (StartDocPrinterA(printerOf(printer), 1, reinterpret_cast<BYTE*>(&document)) == 0) {
            win32::throwLastError();
        }
        documents_.insert(printer);
    }

    void startPage(Handle printer) override {
        if (!StartPagePrinter(printerOf(printer))) {
            win32::throwLastError();
        }
    }

    // Every piece goes in its own call; a call that takes fewer bytes than it was given fails,
    // since the rest would be missing from the printout.
    void write(Handle printer, const std::uint8_t* data, std::size_t count) override {
        while (count > 0) {
            const auto piece = static_cast<DWORD>(std::min(count, kLargestWrite));
            DWORD written = 0;
            if (!WritePrinter(printerOf(printer), const_cast<std::uint8_t*>(data), piece,
                              &written)) {
                win32::throwLastError();
            }
            if (written != piece) {
                win32::throwError(ERROR_WRITE_FAULT);
            }
            data += piece;
            count -= piece;
        }
    }

    void endPage(Handle printer) override {
        if (!EndPagePrinter(printerOf(printer))) {
            win32::throwLastError();
        }
    }

    void endDocument(Handle printer) override {
        if (!EndDocPrinter(printerOf(printer))) {
            win32::throwLastError();
        }
        documents_.erase(printer);
    }

    // A document that never ended is deleted first, so that no part of it prints.
    void closePrinter(Handle printer) override {
        if (documents_.erase(printer) != 0) {
            AbortPrinter(printerOf(printer));
        }
        ClosePrinter(printerOf(printer));
    }

    // The local printers and the connections to shared ones, by their device names.
    std::vector<std::string> printerNames() override {
        constexpr DWORD kWhich = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
        std::vector<BYTE> buffer;
        DWORD needed = 0;
        DWORD count = 0;
        // The list may grow between asking for its size and reading it.
        while (!EnumPrintersA(kWhich, nullptr, 4, buffer.data(), static_cast<DWORD>(buffer.size()),
                              &needed, &count)) {
            if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
                win32::throwLastError();
            }
            buffer.resize(needed);
        }
        const auto* printers = reinterpret_cast<const PRINTER_INFO_4A*>(buffer.data());
        std::vector<std::string> names;
        names.reserve(count);
        for (DWORD i = 0; i < count; ++i) {
            names.emplace_back(printers[i].pPrinterName);
        }
        return names;
    }

private:
    // The printers whose document has started and not ended.
    std::set<Handle> documents_;
};

} // namespace

Spooler& systemSpooler() {
    static WindowsSpooler windows;
    return windows;
}

} // namespace platform
