#include "bench/BenchJobs.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace bench {

Scratch::Scratch() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/tarvo-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a scratch directory");
    }
    path_ = pattern;
}

Scratch::~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
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
        block.insert(block.end(), {'@', '!', '@', '1'});
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

void linkJob(const std::string& master, const std::string& work) {
    std::filesystem::remove(work);
    std::filesystem::create_hard_link(master, work);
}

std::size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t size = 0;
    std::size_t resident = 0;
    statm >> size >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

} // namespace bench
