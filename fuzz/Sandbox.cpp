#include "fuzz/Sandbox.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fuzz {
namespace {

// The scratch directory of the process, removed also when a check aborts the run.
std::filesystem::path scratch;

void removeScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
}

} // namespace

void fail(std::string_view what) {
    std::fprintf(stderr, "\n*** FUZZ CHECK FAILED: %.*s\n", static_cast<int>(what.size()),
                 what.data());
    removeScratch();
    std::abort();
}

Sandbox::Sandbox() : root_(parent() / "sandbox") {
    scratch = parent();
    std::filesystem::create_directory(root_);
}

Sandbox::~Sandbox() {
    scratch.clear();
}

std::string readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    require(in.good(), "cannot read " + path.string());
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    require(out.good(), "cannot write " + path.string());
}

std::vector<std::string> listTree(const std::filesystem::path& directory) {
    std::vector<std::string> entries;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(directory)) {
        entries.push_back(entry.path().lexically_relative(directory).string());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::string printable(std::string_view bytes) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string text;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && c != '\\') {
            text += c;
        } else {
            text += "\\x";
            text += kHex[b >> 4];
            text += kHex[b & 0x0F];
        }
    }
    return text;
}

int countLines(std::string_view text, std::string_view needle) {
    int count = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (text.substr(start, end - start).find(needle) != std::string_view::npos) {
            ++count;
        }
        start = end + 1;
    }
    return count;
}

} // namespace fuzz
