#include "ui/logic/Badge.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>

namespace ui::logic {
namespace {

constexpr std::uint32_t kRing = 0xFFFFFFFF;
constexpr std::uint32_t kYellow = 0xFFFFC400;
constexpr std::uint32_t kMark = 0xFF1A1A1A;
constexpr std::uint32_t kRed = 0xFFD93025;
constexpr std::uint32_t kBar = 0xFFFFFFFF;
// Samples per pixel along each axis: the edges are smoothed.
constexpr int kSamples = 4;

// The badge's square, in pixels: its left and top edge, and its side.
struct Square {
    double left;
    double top;
    double side;
};

// How far the point lies inside the nearest of the triangle's edges: negative outside. The apex
// is at the top middle, the base along the bottom.
double insideTriangle(const Square& s, double x, double y) {
    const double half = s.side / 2;
    const double dx = x - (s.left + half);
    const double dy = y - s.top;
    const double edge = std::hypot(half, s.side);
    const double insideLeft = (dx * s.side + dy * half) / edge;
    const double insideRight = (-dx * s.side + dy * half) / edge;
    return std::min({s.top + s.side - y, insideLeft, insideRight});
}

std::optional<std::uint32_t> warningAt(const Square& s, double ring, double x, double y) {
    const double inside = insideTriangle(s, x, y);
    if (inside < 0) {
        return std::nullopt;
    }
    if (inside < ring) {
        return kRing;
    }
    // The "!": a bar, then a dot below it.
    const double dx = std::abs(x - (s.left + s.side / 2));
    const double barTop = s.top + 0.34 * s.side;
    const double barBottom = s.top + 0.66 * s.side;
    const double dotY = s.top + 0.80 * s.side;
    if ((dx <= 0.075 * s.side && y >= barTop && y <= barBottom) ||
        std::hypot(dx, y - dotY) <= 0.08 * s.side) {
        return kMark;
    }
    return kYellow;
}

std::optional<std::uint32_t> stoppedAt(const Square& s, double ring, double x, double y) {
    const double radius = s.side / 2;
    const double dx = x - (s.left + radius);
    const double dy = y - (s.top + radius);
    const double distance = std::hypot(dx, dy);
    if (distance > radius) {
        return std::nullopt;
    }
    if (distance > radius - ring) {
        return kRing;
    }
    const double inner = radius - ring;
    return std::abs(dx) <= 0.6 * inner && std::abs(dy) <= 0.2 * inner ? kBar : kRed;
}

double channel(std::uint32_t pixel, int shift) {
    return static_cast<double>((pixel >> shift) & 0xFF);
}

// Source over destination, both with straight alpha; the source's alpha is coverage (0 to 1)
// times its colour's, whose channels are the mean of the samples covered.
std::uint32_t over(std::uint32_t destination, const double colour[3], double coverage) {
    const double destinationAlpha = channel(destination, 24) / 255;
    const double alpha = coverage + destinationAlpha * (1 - coverage);
    if (alpha <= 0) {
        return 0;
    }
    std::uint32_t result = static_cast<std::uint32_t>(std::lround(alpha * 255)) << 24;
    for (int c = 0; c < 3; ++c) {
        const int shift = 16 - 8 * c;
        const double value = (colour[c] * coverage +
                              channel(destination, shift) * destinationAlpha * (1 - coverage)) /
                             alpha;
        result |= static_cast<std::uint32_t>(std::lround(std::clamp(value, 0.0, 255.0))) << shift;
    }
    return result;
}

} // namespace

void paintBadge(TrayIcon icon, std::uint32_t* pixels, int size) {
    if (icon == TrayIcon::Normal || size <= 0) {
        return;
    }
    const double side = 0.625 * size;
    const Square square{size - side, size - side, side};
    const double ring = std::max(1.0, size / 16.0);
    const auto colourAt = icon == TrayIcon::Warning ? warningAt : stoppedAt;
    const int first = static_cast<int>(std::floor(square.left));
    for (int y = first; y < size; ++y) {
        for (int x = first; x < size; ++x) {
            double sum[3] = {0, 0, 0};
            int covered = 0;
            for (int i = 0; i < kSamples * kSamples; ++i) {
                const double sampleX = x + (i % kSamples + 0.5) / kSamples;
                const double sampleY = y + (i / kSamples + 0.5) / kSamples;
                if (const std::optional<std::uint32_t> colour =
                        colourAt(square, ring, sampleX, sampleY)) {
                    for (int c = 0; c < 3; ++c) {
                        sum[c] += channel(*colour, 16 - 8 * c);
                    }
                    ++covered;
                }
            }
            if (covered > 0) {
                const double mean[3] = {sum[0] / covered, sum[1] / covered, sum[2] / covered};
                std::uint32_t& pixel =
                    pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(size) +
                           static_cast<std::size_t>(x)];
                pixel = over(pixel, mean, static_cast<double>(covered) / (kSamples * kSamples));
            }
        }
    }
}

} // namespace ui::logic
