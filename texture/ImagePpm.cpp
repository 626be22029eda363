// PPM reader: binary (P6) files with a header of whitespace- and comment-separated numbers.
#include "texture/Image.h"

#include <algorithm>

#include "texture/ImageReaderHelpers.h"

using namespace textureimpl;

namespace {

// Reads one header number, skipping whitespace and comments.
bool PpmNumber(const uint8_t* data, size_t size, size_t* p, uint32_t* value) {
    for (;;) {
        while (*p < size && (data[*p] == ' ' || data[*p] == '\t' || data[*p] == '\r' || data[*p] == '\n'))
            ++*p;
        if (*p < size && data[*p] == '#') {
            while (*p < size && data[*p] != '\n') ++*p;
            continue;
        }
        break;
    }
    if (*p >= size || data[*p] < '0' || data[*p] > '9') return false;
    uint64_t v = 0;
    while (*p < size && data[*p] >= '0' && data[*p] <= '9') {
        v = v * 10 + (data[*p] - '0');
        if (v > 0xFFFFFFFFu) return false;
        ++*p;
    }
    *value = static_cast<uint32_t>(v);
    return true;
}

}  // namespace

bool ReadPpm(const uint8_t* data, size_t size, Image* image, const ImageLimits& limits) {
    *image = Image{};
    if (size < 3 || data[0] != 'P' || (data[1] != '6' && data[1] != '5')) return false;
    bool colour = data[1] == '6';
    size_t p = 2;
    if (data[p] != ' ' && data[p] != '\t' && data[p] != '\r' && data[p] != '\n' && data[p] != '#') return false;
    uint32_t width, height, maxValue;
    if (!PpmNumber(data, size, &p, &width) || !PpmNumber(data, size, &p, &height) ||
        !PpmNumber(data, size, &p, &maxValue))
        return false;
    if (p >= size || maxValue == 0 || maxValue > 65535) return false;
    if (!SizeAllowed(width, height, limits)) return RefuseTooLarge(image);
    ++p;  // the single whitespace character before the samples
    size_t channels = colour ? 3 : 1, bytes = maxValue > 255 ? 2 : 1;
    size_t needed = static_cast<size_t>(width) * height * channels * bytes;
    if (needed > size - p) return false;
    image->format = colour ? D3DFMT_R8G8B8 : D3DFMT_L8;
    image->fileFormat = D3DXIFF_PPM;
    ImageLevel& level = StartLevel(image, width, height, false);
    const uint8_t* s = data + p;
    float scale = 1.0f / maxValue;
    for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
        float c[3];
        for (size_t k = 0; k < channels; ++k) {
            uint32_t v = bytes == 2 ? (s[0] << 8) | s[1] : s[0];
            s += bytes;
            c[k] = std::min(1.0f, v * scale);
        }
        if (!colour) c[1] = c[2] = c[0];
        SetPixel(level, i, c[0], c[1], c[2], 1.0f);
    }
    return true;
}
