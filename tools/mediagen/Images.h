// The scene's textures (painted procedurally) and their PNG and JPEG writers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mediagen {

// 8-bit pixels, rows top to bottom, channels 3 (RGB) or 4 (RGBA).
struct Image {
    Image(int w, int h, int c);
    int width, height, channels;
    std::vector<uint8_t> pixels;
};

Image PaintPotTexture();    // 256 x 256 RGB brushed steel, brushing along u
Image PaintEnvironment();   // 512 x 512 RGBA: every direction, equal-area, straight up in the
                            // centre; alpha marks the lights
Image PaintBubble();        // 32 x 32 RGBA: clear centre, bright rim, a highlight
Image PaintSteam();         // 64 x 64 RGBA: white, alpha a soft ragged wisp

bool WritePng(const std::string& path, const Image& image);
bool WriteJpeg(const std::string& path, const Image& image, int quality);

}  // namespace mediagen
