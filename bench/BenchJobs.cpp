#include "bench/BenchJobs.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace bench {

const testsupport::TempDir& scratch() {
    static const testsupport::TempDir dir;
    return dir;
}

platform::Platform& systemPlatform() {
    static const std::unique_ptr<platform::Platform> system = platform::makeSystemPlatform();
    return *system;
}

core::ActivityLog& scratchLog() {
    static platform::StandardErrorAlertBox alerts;
    static core::ActivityLog log(scratch().file("Tarvo.log"), systemPlatform().clock(), alerts);
    return log;
}

routing::DeliveryObserver& unobserved() {
    static routing::UnobservedDeliveries nobody;
    return nobody;
}

namespace {

class SinkPrinter final : public platform::Spooler::Printer {
public:
    explicit SinkPrinter(DocumentSink& sink) : sink_(sink) {}
    void startDocument(const std::string&, const std::string&) override { sink_.documentStarted(); }
    void startPage() override {}
    void write(const std::uint8_t* data, std::size_t count) override {
        sink_.received(data, count);
    }
    void endPage() override {}
    std::optional<platform::SpoolJobId> endDocument() override {
        sink_.documentEnded();
        return std::nullopt;
    }

private:
    DocumentSink& sink_;
};

} // namespace

std::unique_ptr<platform::Spooler::Printer> DocumentSink::openPrinter(const std::string&) {
    return std::make_unique<SinkPrinter>(*this);
}

char outputOfSection(std::size_t s, std::size_t sections) {
    return s + 1 == sections ? '9' : static_cast<char>('1' + s % 7);
}

void writeJob(const std::string& path, std::size_t totalBytes, std::size_t sections) {
    const std::size_t share = totalBytes / sections;
    const std::size_t remainder = totalBytes % sections;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<char> block;
    block.reserve(kMiB);
    const auto writeBlock = [&] {
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
        block.clear();
    };
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    for (std::size_t s = 0; s < sections; ++s) {
        block.insert(block.end(), {'@', '!', '@', outputOfSection(s, sections)});
        const std::size_t data = share - 4 + (s < remainder ? 1 : 0);
        for (std::size_t i = 0; i < data; ++i) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            const char c = static_cast<char>(state >> 56);
            // Without "!" no marker can form by chance.
            block.push_back(c == '!' ? '"' : c);
            if (block.size() >= kMiB) {
                writeBlock();
            }
        }
    }
    writeBlock();
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write the job " + path);
    }
    // On disk before any figure is taken, so that its write-back does not slow the runs.
    const int fd = ::open(path.c_str(), O_RDONLY);
    ::fsync(fd);
    ::close(fd);
}

void writeSparseJob(const std::string& path, std::uint64_t bytes,
                    const std::vector<std::pair<std::uint64_t, std::string>>& pieces) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    bool written = fd >= 0 && ::ftruncate(fd, static_cast<off_t>(bytes)) == 0;
    for (const auto& [offset, piece] : pieces) {
        written = written && ::pwrite(fd, piece.data(), piece.size(), static_cast<off_t>(offset)) ==
                                 static_cast<ssize_t>(piece.size());
    }
    written = written && ::fsync(fd) == 0;
    ::close(fd);
    if (!written) {
        throw std::runtime_error("cannot write the job " + path);
    }
}

const std::string& masterJob(std::size_t bytes, std::size_t sections) {
    static std::map<std::pair<std::size_t, std::size_t>, std::string> jobs;
    auto [it, added] = jobs.try_emplace({bytes, sections});
    if (added) {
        it->second =
            scratch().file("job-" + std::to_string(bytes) + "-" + std::to_string(sections));
        writeJob(it->second, bytes, sections);
    }
    return it->second;
}

routing::JobOutcome routeWork(routing::JobProcessor& processor, const std::string& path,
                              const core::Settings& settings) {
    routing::JobProgress progress(scratch().file(".newjob.progress"));
    const platform::FileIdentity identity = systemPlatform().directory().identity(path);
    return processor.process({path, identity, "job", path}, settings, progress);
}

void linkJob(const std::string& master, const std::string& path) {
    std::filesystem::remove(path);
    std::filesystem::create_hard_link(master, path);
}

} // namespace bench
