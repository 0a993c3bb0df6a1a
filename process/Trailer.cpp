#include "process/Trailer.h"

#include <cstring>

namespace routing {
namespace {

// 0xFF ^ 0xF3 is 0x0C; a mask and an exclusive or, which vector instructions do without a blend.
std::uint8_t formFeedFor(std::uint8_t b) {
    return static_cast<std::uint8_t>(b ^ (-static_cast<std::uint8_t>(b == 0xFF) & 0xF3));
}

} // namespace

std::string_view trailerLineEnds(OutputType type) {
    constexpr std::string_view kFourPairs = "\r\n\r\n\r\n\r\n";
    switch (type) {
    case OutputType::Label:
        return kFourPairs.substr(0, 4);
    case OutputType::Ticket:
        return kFourPairs.substr(0, 6);
    case OutputType::DupTicket:
        return kFourPairs;
    default:
        return {};
    }
}

// Fixed-length blocks, so that compilers vectorise the inner loop. The tail is rewritten as the
// block ending at the last byte, copied before and put back after: rewriting twice is harmless.
void rewriteFormFeeds(std::uint8_t* bytes, std::size_t count) {
    constexpr std::size_t kBlock = 32;
    const auto rewriteBlock = [](std::uint8_t* block) {
        for (std::size_t j = 0; j < kBlock; ++j) {
            block[j] = formFeedFor(block[j]);
        }
    };
    if (count < kBlock) {
        for (std::size_t i = 0; i < count; ++i) {
            bytes[i] = formFeedFor(bytes[i]);
        }
        return;
    }
    std::uint8_t last[kBlock];
    std::memcpy(last, bytes + count - kBlock, kBlock);
    rewriteBlock(last);
    for (std::size_t i = 0; i + kBlock <= count; i += kBlock) {
        rewriteBlock(bytes + i);
    }
    std::memcpy(bytes + count - kBlock, last, kBlock);
}

} // namespace routing
