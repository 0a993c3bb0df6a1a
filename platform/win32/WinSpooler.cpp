// The system's spooler on Windows, through the print spooler's own functions.
#include "platform/Failure.h"
#include "platform/Spooler.h"
#include "platform/win32/SystemError.h"

#include <windows.h>

#include <winspool.h>

#include <algorithm>
#include <vector>

namespace platform {
namespace {

// WritePrinter takes counts of 32 bits.
constexpr std::size_t kLargestWrite = std::size_t{1} << 30;

class WindowsPrinter final : public Spooler::Printer {
public:
    explicit WindowsPrinter(HANDLE printer) : printer_(printer) {}

    // A document that never ended is deleted first, so that no part of it prints.
    ~WindowsPrinter() override {
        if (documentOpen_) {
            AbortPrinter(printer_);
        }
        ClosePrinter(printer_);
    }

    WindowsPrinter(const WindowsPrinter&) = delete;
    WindowsPrinter& operator=(const WindowsPrinter&) = delete;

    void startDocument(const std::string& title, const std::string& datatype) override {
        DOC_INFO_1A document{const_cast<char*>(title.c_str()), nullptr,
                             const_cast<char*>(datatype.c_str())};
        if (StartDocPrinterA(printer_, 1, reinterpret_cast<BYTE*>(&document)) == 0) {
            win32::throwLastError();
        }
        documentOpen_ = true;
    }

    void startPage() override {
        if (!StartPagePrinter(printer_)) {
            win32::throwLastError();
        }
    }

    // A call that takes fewer bytes than given fails: the rest would be missing from the print.
    void write(const std::uint8_t* data, std::size_t count) override {
        while (count > 0) {
            const auto piece = static_cast<DWORD>(std::min(count, kLargestWrite));
            DWORD written = 0;
            if (!WritePrinter(printer_, const_cast<std::uint8_t*>(data), piece, &written)) {
                win32::throwLastError();
            }
            if (written != piece) {
                win32::throwError(ERROR_WRITE_FAULT);
            }
            data += piece;
            count -= piece;
        }
    }

    void endPage() override {
        if (!EndPagePrinter(printer_)) {
            win32::throwLastError();
        }
    }

    std::optional<SpoolJobId> endDocument() override {
        if (!EndDocPrinter(printer_)) {
            win32::throwLastError();
        }
        documentOpen_ = false;
        return std::nullopt;
    }

private:
    HANDLE printer_;
    bool documentOpen_ = false;
};

class WindowsSpooler final : public Spooler {
public:
    // Opened with no defaults: the printer's own settings apply.
    std::unique_ptr<Printer> openPrinter(const std::string& name) override {
        // An empty name would open the print server itself; it names no printer here.
        if (name.empty()) {
            return nullptr;
        }
        HANDLE printer = nullptr;
        if (!OpenPrinterA(const_cast<char*>(name.c_str()), &printer, nullptr)) {
            const DWORD error = GetLastError();
            if (error == ERROR_INVALID_PRINTER_NAME) {
                return nullptr;
            }
            win32::throwError(error);
        }
        return std::make_unique<WindowsPrinter>(printer);
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
};

} // namespace

std::unique_ptr<Spooler> makeSystemSpooler() {
    return std::make_unique<WindowsSpooler>();
}

} // namespace platform
