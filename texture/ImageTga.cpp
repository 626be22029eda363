// TGA reader: true-colour, grey and colour-mapped images, uncompressed and run-length encoded.
#include "texture/Image.h"

#include "texture/ImageReaderHelpers.h"

using namespace textureimpl;

bool ReadTga(const uint8_t* data, size_t size, Image* image, const ImageLimits& limits) {
    *image = Image{};
    if (size < 18) return false;
    uint8_t idLength = data[0], mapType = data[1], type = data[2];
    uint16_t mapFirst = Le16(data + 3), mapLength = Le16(data + 5);
    uint8_t mapBits = data[7];
    uint16_t width = Le16(data + 12), height = Le16(data + 14);
    uint8_t bits = data[16], descriptor = data[17];
    bool mapped = type == 1 || type == 9, truecolour = type == 2 || type == 10, grey = type == 3 || type == 11;
    bool rle = type >= 9;
    if (!mapped && !truecolour && !grey) return false;
    if (mapType > 1 || (mapped && mapType != 1) || (descriptor & 0xC0)) return false;
    if (mapped && (bits != 8 || mapFirst + mapLength > 256 || mapLength == 0 ||
                   (mapBits != 15 && mapBits != 16 && mapBits != 24 && mapBits != 32)))
        return false;
    if (truecolour && bits != 15 && bits != 16 && bits != 24 && bits != 32) return false;
    if (grey && bits != 8 && bits != 16) return false;
    if (!SizeAllowed(width, height, limits)) return false;  // no signature: not called too large
    uint32_t alphaBits = descriptor & 15;
    size_t p = 18 + static_cast<size_t>(idLength);
    size_t mapEntryBytes = mapType ? (mapBits + 7) / 8 : 0;
    if (p + mapLength * mapEntryBytes > size) return false;
    auto readColour = [](const uint8_t* s, uint32_t bitCount, float rgba[4]) {
        if (bitCount == 15 || bitCount == 16) {
            uint16_t v = Le16(s);
            rgba[0] = ((v >> 10) & 31) / 31.0f, rgba[1] = ((v >> 5) & 31) / 31.0f, rgba[2] = (v & 31) / 31.0f;
            rgba[3] = bitCount == 16 ? ((v >> 15) & 1) : 1.0f;
        } else {
            rgba[0] = s[2] / 255.0f, rgba[1] = s[1] / 255.0f, rgba[2] = s[0] / 255.0f;
            rgba[3] = bitCount == 32 ? s[3] / 255.0f : 1.0f;
        }
    };
    if (mapped) {
        image->hasPalette = true;
        for (int i = 0; i < 256; ++i) image->palette[i] = PALETTEENTRY{0, 0, 0, 255};
        for (uint32_t i = 0; i < mapLength; ++i) {
            float c[4];
            readColour(data + p + i * mapEntryBytes, mapBits, c);
            if (mapBits == 16 && alphaBits == 0) c[3] = 1.0f;
            image->palette[mapFirst + i] = PALETTEENTRY{static_cast<BYTE>(c[0] * 255 + 0.5f), static_cast<BYTE>(c[1] * 255 + 0.5f),
                                                        static_cast<BYTE>(c[2] * 255 + 0.5f), static_cast<BYTE>(c[3] * 255 + 0.5f)};
        }
    }
    p += mapLength * mapEntryBytes;
    uint32_t pixelBytes = (bits + 7) / 8;
    size_t count = static_cast<size_t>(width) * height;
    if (!rle && count * pixelBytes > size - p) return false;
    if (rle && count / 128 > size - p) return false;  // at least one byte per 128 pixels
    if (mapped) image->format = D3DFMT_P8;
    else if (grey) image->format = bits == 16 ? D3DFMT_A8L8 : D3DFMT_L8;
    else if (bits == 24) image->format = D3DFMT_R8G8B8;
    else if (bits == 32) image->format = alphaBits ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    else image->format = (bits == 16 && alphaBits) ? D3DFMT_A1R5G5B5 : D3DFMT_X1R5G5B5;
    image->fileFormat = D3DXIFF_TGA;
    ImageLevel& level = StartLevel(image, width, height, mapped);
    bool topDown = (descriptor & 0x20) != 0, rightToLeft = (descriptor & 0x10) != 0;
    uint32_t colourBits = bits == 16 && alphaBits == 0 && truecolour ? 15 : bits;
    auto store = [&](size_t i, const uint8_t* s) {
        size_t x = i % width, y = i / width;
        if (!topDown) y = height - 1 - y;
        if (rightToLeft) x = width - 1 - x;
        size_t out = y * width + x;
        if (mapped) {
            level.indices[out] = s[0];
        } else if (grey) {
            float l = s[0] / 255.0f;
            SetPixel(level, out, l, l, l, bits == 16 ? s[1] / 255.0f : 1.0f);
        } else {
            float c[4];
            readColour(s, colourBits, c);
            if (bits == 32 && alphaBits == 0) c[3] = 1.0f;
            SetPixel(level, out, c[0], c[1], c[2], c[3]);
        }
    };
    if (!rle) {
        for (size_t i = 0; i < count; ++i) store(i, data + p + i * pixelBytes);
        return true;
    }
    size_t i = 0;
    while (i < count) {
        if (p >= size) return Refuse(image);
        uint8_t header = data[p++];
        size_t n = (header & 127) + 1;
        if (n > count - i) return Refuse(image);
        if (header & 128) {
            if (pixelBytes > size - p) return Refuse(image);
            for (size_t k = 0; k < n; ++k) store(i++, data + p);
            p += pixelBytes;
        } else {
            if (n * pixelBytes > size - p) return Refuse(image);
            for (size_t k = 0; k < n; ++k, p += pixelBytes) store(i++, data + p);
        }
    }
    return true;
}
