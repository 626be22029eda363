// The decisions texture creation makes before it touches the device: the format substitute
// walk, size and level rules from the caps, and the resampling filters. Separate so that tests
// can drive them with any set of offered formats and capabilities.
#pragma once

#include "texture/Image.h"

#include <functional>

namespace texrules {

// Walks the format table: a candidate is considered only when `offered` says so; the wanted
// format itself ends the walk, otherwise the best-scoring substitute wins (ties: fewer bits,
// then table order). D3DERR_NOTAVAILABLE when nothing fits.
HRESULT ChooseFormat(D3DFORMAT wanted, const std::function<bool(D3DFORMAT)>& offered,
                     D3DFORMAT* chosen);

// The closest table format to `format` with a one-bit alpha channel added (for colour keys);
// `format` itself when it has alpha, is not colour/luminance, or nothing scores.
D3DFORMAT AddOneBitAlpha(D3DFORMAT format);

// Width, height and level count as the device allows. width/height 0 = not given; levels 0 =
// a full chain.
void ComputeSize(const D3DCAPS8& caps, D3DFORMAT format, D3DPOOL pool, UINT* width,
                 UINT* height, UINT* levels);

// Resamples `src` (float RGBA) to width x height with the filter's low byte (none, point,
// linear, triangle, box) and its mirror flags; the result has no indices.
void Resample(const ImageLevel& src, uint32_t width, uint32_t height, DWORD filter, ImageLevel* dst);
// Point-samples palette indices (palettized destinations keep their indices).
void ResampleIndices(const ImageLevel& src, uint32_t width, uint32_t height, ImageLevel* dst);

// Turns every pixel equal to the ARGB colour key (compared at 8 bits per channel) into
// transparent black.
void ApplyColourKey(ImageLevel& level, D3DCOLOR key);

}  // namespace texrules
