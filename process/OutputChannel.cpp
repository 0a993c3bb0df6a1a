#include "process/OutputChannel.h"

#include "platform/Failure.h"

#include <string>

namespace routing {
namespace {

// Made once, not for every section's document.
const std::string kDocumentTitle = "Tarvo job";
const std::string kDatatype = "RAW";

} // namespace

PrinterChannel::PrinterChannel(std::unique_ptr<platform::Spooler::Printer> printer)
    : printer_(std::move(printer)) {
    printer_->startDocument(kDocumentTitle, kDatatype);
    printer_->startPage();
}

void PrinterChannel::write(const std::uint8_t* data, std::size_t count) {
    printer_->write(data, count);
}

void PrinterChannel::finish() {
    printer_->endPage();
    spoolJob_ = printer_->endDocument();
}

void FileChannel::open(const std::string& path) {
    file_.emplace(path);
}

void FileChannel::open(const std::string& directory, const std::string& name) {
    file_.emplace(directory, name);
}

platform::WriteFile& FileChannel::file() {
    if (!file_) {
        throw platform::Failure(platform::description::kBadFileName);
    }
    return *file_;
}

void FileChannel::write(const std::uint8_t* data, std::size_t count) {
    file().write(data, count);
}

void FileChannel::finish() {
    file().close();
}

} // namespace routing
