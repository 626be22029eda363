// EdgeFilter: one pass for the brightness of every pixel, then per pixel: its brightness against
// its four neighbours decides whether it lies on an edge at all; the bends of the brightness
// across rows and across columns (diagonals included) say which way the edge runs; the pixel
// steps across it towards its steeper neighbour; a walk of up to kMaxWalk pixels each way along
// the edge, half way between the two rows (or columns), finds where the step ends; and the pixel
// is blended towards its neighbour by how near it lies to the end that turns its way. A pixel
// that stands out of its whole neighbourhood (a thin line, a speck) is softened by how much.
//
// (A GL pass over the back buffer doing the same was tried first: the software rasteriser runs
// its texture reads for every pixel, flat or not, and it cost most of a frame.)
#include "platform/d3d/EdgeFilter.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace d3dimpl {

namespace {

constexpr int kMaxWalk = 8;         // pixels searched along an edge on each side
constexpr int kMinContrast = 12;    // of 255: smaller steps are left alone
constexpr int kRelativeShift = 3;   // ... as are steps below 1/8 of the brightest pixel there

uint32_t Brightness(uint32_t c) {
    return (((c >> 16) & 0xFF) * 77 + ((c >> 8) & 0xFF) * 150 + (c & 0xFF) * 29) >> 8;
}

// a's colour moved towards b's by weight / 256; a's alpha.
uint32_t Blend(uint32_t a, uint32_t b, int weight) {
    uint32_t result = a & 0xFF000000u;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int ca = static_cast<int>((a >> shift) & 0xFF), cb = static_cast<int>((b >> shift) & 0xFF);
        result |= static_cast<uint32_t>(ca + (((cb - ca) * weight + 128) >> 8)) << shift;
    }
    return result;
}

// The loops over whole rows below take distinct arrays (restrict), so that the compiler runs
// them many pixels at a time: most of a picture is flat, and these two passes are all it costs.

void BrightnessOf(const uint32_t* __restrict colour, uint8_t* __restrict brightness, size_t count) {
    for (size_t i = 0; i < count; ++i) brightness[i] = static_cast<uint8_t>(Brightness(colour[i]));
}

// 1 where the pixel's brightness differs enough from one of its four neighbours' (the row above
// and below given; at the picture's border the pixel stands in for the missing neighbour).
uint8_t Contrasty(uint8_t m, uint8_t n, uint8_t s, uint8_t e, uint8_t w) {
    const uint8_t highest = std::max(std::max(std::max(m, n), std::max(s, e)), w);
    const uint8_t lowest = std::min(std::min(std::min(m, n), std::min(s, e)), w);
    const uint8_t range = static_cast<uint8_t>(highest - lowest);
    const uint8_t relative = static_cast<uint8_t>(highest >> kRelativeShift);
    return static_cast<uint8_t>((range >= relative) & (range >= kMinContrast));
}

void MarkEdges(const uint8_t* __restrict here, const uint8_t* __restrict up, const uint8_t* __restrict down,
               uint8_t* __restrict flags, int width) {
    flags[0] = Contrasty(here[0], up[0], down[0], here[width > 1 ? 1 : 0], here[0]);
    int x = 1;
#if defined(__SSE2__)
    // Sixteen pixels at a time: the same test with byte-wise maxima, minima and saturation.
    const __m128i minContrast = _mm_set1_epi8(static_cast<char>(kMinContrast));
    const __m128i lowBits = _mm_set1_epi8(static_cast<char>(0xFF >> kRelativeShift));
    for (; x + 16 < width; x += 16) {
        const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(here + x));
        const __m128i n = _mm_loadu_si128(reinterpret_cast<const __m128i*>(up + x));
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(down + x));
        const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(here + x + 1));
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(here + x - 1));
        const __m128i highest = _mm_max_epu8(_mm_max_epu8(_mm_max_epu8(m, n), _mm_max_epu8(s, e)), w);
        const __m128i lowest = _mm_min_epu8(_mm_min_epu8(_mm_min_epu8(m, n), _mm_min_epu8(s, e)), w);
        const __m128i range = _mm_subs_epu8(highest, lowest);
        // highest >> kRelativeShift per byte (a 16-bit shift, masked back to bytes).
        const __m128i relative = _mm_and_si128(_mm_srli_epi16(highest, kRelativeShift), lowBits);
        const __m128i needed = _mm_max_epu8(relative, minContrast);
        // range >= needed  <=>  max(range, needed) == range
        const __m128i on = _mm_cmpeq_epi8(_mm_max_epu8(range, needed), range);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(flags + x), _mm_and_si128(on, _mm_set1_epi8(1)));
    }
#endif
    for (; x + 1 < width; ++x) flags[x] = Contrasty(here[x], up[x], down[x], here[x + 1], here[x - 1]);
    if (width > 1)
        flags[width - 1] = Contrasty(here[width - 1], up[width - 1], down[width - 1], here[width - 1], here[width - 2]);
}

}  // namespace

void EdgeFilter::Apply(const uint32_t* in, uint32_t* out, int width, int height) {
    if (width <= 0 || height <= 0) return;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    luma.resize(count);
    BrightnessOf(in, luma.data(), count);
    // Brightness at (x, y), the nearest pixel inside the picture for one outside it.
    auto at = [&](int x, int y) -> int {
        x = std::clamp(x, 0, width - 1);
        y = std::clamp(y, 0, height - 1);
        return luma[static_cast<size_t>(y) * width + x];
    };

    onEdge.resize(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        // The rows above and below (the row itself at the picture's top and bottom).
        const uint8_t* row = &luma[static_cast<size_t>(y) * width];
        const uint8_t* above = y > 0 ? row - width : row;
        const uint8_t* below = y + 1 < height ? row + width : row;
        std::copy(in + static_cast<size_t>(y) * width, in + static_cast<size_t>(y + 1) * width,
                  out + static_cast<size_t>(y) * width);
        // Which pixels of the row lie on an edge: a branch-free loop the compiler runs many
        // pixels at a time, since most of a picture is flat.
        MarkEdges(row, above, below, onEdge.data(), width);

        for (int x = 0; x < width; ++x) {
            if (!onEdge[x]) continue;
            const size_t p = static_cast<size_t>(y) * width + x;
            const int left = x > 0 ? x - 1 : x, right = x + 1 < width ? x + 1 : x;
            const int m = row[x], n = above[x], s = below[x], e = row[right], w = row[left];
            const int range = std::max(std::max(std::max(m, n), std::max(s, e)), w) -
                              std::min(std::min(std::min(m, n), std::min(s, e)), w);
            const int ne = at(x + 1, y - 1), nw = at(x - 1, y - 1), se = at(x + 1, y + 1), sw = at(x - 1, y + 1);

            // The edge runs along x when the brightness bends more from row to row.
            const int acrossRows = 2 * std::abs(n + s - 2 * m) + std::abs(ne + se - 2 * e) + std::abs(nw + sw - 2 * w);
            const int acrossColumns = 2 * std::abs(e + w - 2 * m) + std::abs(ne + nw - 2 * n) + std::abs(se + sw - 2 * s);
            const bool alongX = acrossRows >= acrossColumns;
            const int before = alongX ? n : w, after = alongX ? s : e;
            const bool towardsBefore = std::abs(before - m) >= std::abs(after - m);
            const int other = towardsBefore ? before : after;
            const int step = towardsBefore ? -1 : 1;
            const int acrossX = alongX ? 0 : step, acrossY = alongX ? step : 0;

            // Walk along the edge, reading both sides of it (doubled sums stay whole numbers),
            // until the brightness there leaves the edge's middle by a quarter of the step.
            const int middle2 = m + other;
            const int enough2 = std::max(1, std::abs(other - m) / 2);
            int distance[2] = {kMaxWalk + 1, kMaxWalk + 1};
            int endDelta[2] = {0, 0};
            // The pixel's own line and its neighbour's (itself at the picture's border), as
            // pointers stepping `stride` along the edge, with the steps left before the border.
            const size_t acrossIndex = static_cast<size_t>(std::clamp(y + acrossY, 0, height - 1)) * width +
                                       static_cast<size_t>(std::clamp(x + acrossX, 0, width - 1));
            const uint8_t* own = &luma[p];
            const uint8_t* beyond = &luma[acrossIndex];
            const ptrdiff_t stride = alongX ? 1 : width;
            const int room[2] = {std::min(kMaxWalk, alongX ? x : y),
                                 std::min(kMaxWalk, alongX ? width - 1 - x : height - 1 - y)};
            for (int side = 0; side < 2; ++side) {
                const ptrdiff_t direction = side == 0 ? -stride : stride;
                for (int k = 1; k <= room[side]; ++k) {
                    const int delta2 = own[direction * k] + beyond[direction * k] - middle2;
                    if (std::abs(delta2) >= enough2) {
                        distance[side] = k;
                        endDelta[side] = delta2;
                        break;
                    }
                }
            }
            const int nearer = distance[0] < distance[1] ? 0 : 1;
            int edgeWeight = 0;  // of 256
            const bool centreBelow = 2 * m < middle2;
            if (distance[nearer] <= kMaxWalk && (endDelta[nearer] < 0) != centreBelow) {
                // The step's run spans distance[0] + distance[1] - 1 pixels; the pixel lies
                // distance - 1/2 from the nearer end: blend 1/2 at the end, 0 in the middle.
                const int length = distance[0] + distance[1] - 1;
                edgeWeight = std::max(0, 128 - (256 * distance[nearer] - 128) / length);
            }

            // A pixel standing out of its neighbourhood: smoothstep of how far, squared, 3/4 at most.
            const int neighbourhood12 = 2 * (n + s + e + w) + ne + nw + se + sw;
            const float standsOut = std::min(1.0f, static_cast<float>(std::abs(neighbourhood12 - 12 * m)) /
                                                       static_cast<float>(12 * range));
            const float smooth = standsOut * standsOut * (3.0f - 2.0f * standsOut);
            const int speckWeight = static_cast<int>(smooth * smooth * (0.75f * 256.0f));

            const int weight = std::max(edgeWeight, speckWeight);
            const int ox = std::clamp(x + acrossX, 0, width - 1), oy = std::clamp(y + acrossY, 0, height - 1);
            if (weight > 0) out[p] = Blend(in[p], in[static_cast<size_t>(oy) * width + ox], weight);
        }
    }
}

}  // namespace d3dimpl
