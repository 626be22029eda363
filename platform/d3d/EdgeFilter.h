// EdgeFilter: anti-aliasing after the fact, from a finished picture to a smoothed one. Where the
// brightness steps between a pixel and its neighbour, the filter finds which way the edge runs,
// walks along it to where the step ends on either side, and blends the pixel with its neighbour
// across the edge by how near it lies to the end it belongs to: a staircase becomes a ramp.
// Flat areas and faint contrasts are copied exactly. It works on the pixels in memory, so its
// cost is paid only at edges: on the software device a small share of a frame, where
// multisampling costs more than the frame itself.
#pragma once

#include <cstdint>
#include <vector>

namespace d3dimpl {

class EdgeFilter {
public:
    // Writes the filtered picture of `in` to `out`: width x height pixels of 0xAARRGGBB, rows
    // one after another (either way up: the filter is symmetric). Alpha is carried over from
    // the pixel. in and out must not overlap; a picture of no pixels writes nothing.
    void Apply(const uint32_t* in, uint32_t* out, int width, int height);

private:
    std::vector<uint8_t> luma;    // brightness of each pixel of the last picture, 0 to 255
    std::vector<uint8_t> onEdge;  // of the row being filtered: 1 where a pixel lies on an edge
};

}  // namespace d3dimpl
