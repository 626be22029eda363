// Image readers: known pixels and reported formats per file kind, the reader order, and broken
// files (every truncation, absurd sizes) refused without touching memory they do not own.
#include "tests/texture/ImageFiles.h"
#include "texture/Image.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using testimg::Bytes;

// A 3 x 2 picture with distinct colours and alpha.
const std::vector<uint8_t> kPixels = {
    255, 0,   0,   255, 0,   255, 0,   128, 0,  0,   255, 0,
    10,  20,  30,  255, 200, 100, 50,  255, 255, 255, 255, 64,
};

void ExpectPixel(const ImageLevel& level, uint32_t x, uint32_t y, int r, int g, int b, int a, float tolerance = 0.5f) {
    const float* p = &level.rgba[(y * level.width + x) * 4];
    EXPECT_NEAR(p[0] * 255, r, tolerance) << x << "," << y;
    EXPECT_NEAR(p[1] * 255, g, tolerance) << x << "," << y;
    EXPECT_NEAR(p[2] * 255, b, tolerance) << x << "," << y;
    EXPECT_NEAR(p[3] * 255, a, tolerance) << x << "," << y;
}

Image Read(const Bytes& bytes) {
    Image image;
    EXPECT_TRUE(ReadImage(bytes.data(), bytes.size(), &image));
    return image;
}

}  // namespace

TEST(ImageReaders, PngFormsAndPixels) {
    Image rgba = Read(testimg::Png(3, 2, kPixels, 4));
    EXPECT_EQ(rgba.fileFormat, D3DXIFF_PNG);
    EXPECT_EQ(rgba.format, D3DFMT_A8R8G8B8);
    ASSERT_EQ(rgba.levels.size(), 1u);
    ExpectPixel(rgba.levels[0], 1, 0, 0, 255, 0, 128);
    ExpectPixel(rgba.levels[0], 2, 1, 255, 255, 255, 64);

    Image rgb = Read(testimg::Png(3, 2, kPixels, 3));
    EXPECT_EQ(rgb.format, D3DFMT_R8G8B8);
    ExpectPixel(rgb.levels[0], 0, 1, 10, 20, 30, 255);

    Image grey = Read(testimg::Png(3, 2, kPixels, 1, 16));
    EXPECT_EQ(grey.format, D3DFMT_L8);  // 16-bit files are reported as their 8-bit kin
    ExpectPixel(grey.levels[0], 1, 1, 200, 200, 200, 255);

    Image greyAlpha = Read(testimg::Png(3, 2, kPixels, 2));
    EXPECT_EQ(greyAlpha.format, D3DFMT_A8L8);

    Image palette = Read(testimg::PalettePng(2, 1, {1, 0}, {0, 0, 255, 255, 9, 8, 7, 100}));
    EXPECT_EQ(palette.format, D3DFMT_P8);
    ASSERT_TRUE(palette.hasPalette);
    EXPECT_EQ(palette.levels[0].indices, (std::vector<uint8_t>{1, 0}));
    EXPECT_EQ(palette.palette[1].peRed, 9);
    EXPECT_EQ(palette.palette[1].peFlags, 100);
    EXPECT_EQ(palette.palette[0].peBlue, 255);
}

TEST(ImageReaders, JpegBmpTgaPpmDds) {
    std::vector<uint8_t> flat(16 * 16 * 4);
    for (size_t i = 0; i < flat.size(); i += 4) flat[i] = 200, flat[i + 1] = 40, flat[i + 2] = 90, flat[i + 3] = 255;
    Image jpeg = Read(testimg::Jpeg(16, 16, flat, false));
    EXPECT_EQ(jpeg.fileFormat, D3DXIFF_JPG);
    EXPECT_EQ(jpeg.format, D3DFMT_R8G8B8);
    ExpectPixel(jpeg.levels[0], 5, 7, 200, 40, 90, 255, 3.0f);
    Image greyJpeg = Read(testimg::Jpeg(16, 16, flat, true));
    EXPECT_EQ(greyJpeg.format, D3DFMT_L8);
    ExpectPixel(greyJpeg.levels[0], 3, 3, 200, 200, 200, 255, 3.0f);

    Image bmp = Read(testimg::Bmp24(3, 2, kPixels));
    EXPECT_EQ(bmp.fileFormat, D3DXIFF_BMP);
    EXPECT_EQ(bmp.format, D3DFMT_R8G8B8);
    ExpectPixel(bmp.levels[0], 0, 0, 255, 0, 0, 255);  // bottom-up rows come out top-down
    ExpectPixel(bmp.levels[0], 1, 1, 200, 100, 50, 255);

    for (bool rle : {false, true}) {
        Image tga = Read(testimg::Tga32(3, 2, kPixels, rle));
        EXPECT_EQ(tga.fileFormat, D3DXIFF_TGA);
        EXPECT_EQ(tga.format, D3DFMT_A8R8G8B8);
        ExpectPixel(tga.levels[0], 1, 0, 0, 255, 0, 128);
        ExpectPixel(tga.levels[0], 2, 1, 255, 255, 255, 64);
    }

    Image ppm = Read(testimg::Ppm(3, 2, kPixels));
    EXPECT_EQ(ppm.fileFormat, D3DXIFF_PPM);
    EXPECT_EQ(ppm.format, D3DFMT_R8G8B8);
    ExpectPixel(ppm.levels[0], 0, 1, 10, 20, 30, 255);

    Image dds = Read(testimg::DdsArgb(4, 2, {0x80FF0000, 0xFF00FF00, 0xFF0000FF}));
    EXPECT_EQ(dds.fileFormat, D3DXIFF_DDS);
    EXPECT_EQ(dds.format, D3DFMT_A8R8G8B8);
    ASSERT_EQ(dds.levels.size(), 3u);
    EXPECT_EQ(dds.levels[1].width, 2u);
    EXPECT_EQ(dds.levels[2].height, 1u);
    ExpectPixel(dds.levels[0], 3, 1, 255, 0, 0, 128);
    ExpectPixel(dds.levels[2], 0, 0, 0, 0, 255, 255);
}

TEST(ImageReaders, EarlierReaderWinsAndDibIsTheLast) {
    // The same bitmap with and without its file header: BMP first, DIB only without it.
    Bytes bmp = testimg::Bmp24(3, 2, kPixels);
    Image withHeader = Read(bmp);
    EXPECT_EQ(withHeader.fileFormat, D3DXIFF_BMP);
    Bytes dib(bmp.begin() + 14, bmp.end());
    Image bare = Read(dib);
    EXPECT_EQ(bare.fileFormat, D3DXIFF_DIB);
    ExpectPixel(bare.levels[0], 1, 1, 200, 100, 50, 255);
    Image nothing;
    const uint8_t junk[] = "this is not an image at all";
    EXPECT_FALSE(ReadImage(junk, sizeof(junk), &nothing));
    EXPECT_TRUE(nothing.levels.empty());
}

TEST(ImageReaders, EveryTruncationIsRefused) {
    std::vector<Bytes> files = {
        testimg::Png(3, 2, kPixels, 4),  testimg::PalettePng(2, 1, {1, 0}, {0, 0, 255, 255, 9, 8, 7, 100}),
        testimg::Jpeg(8, 8, std::vector<uint8_t>(256, 77), false),
        testimg::Bmp24(3, 2, kPixels),   testimg::Tga32(3, 2, kPixels, true),
        testimg::Tga32(3, 2, kPixels, false), testimg::Ppm(3, 2, kPixels),
        testimg::DdsArgb(4, 2, {1, 2, 3}),
    };
    for (const Bytes& file : files) {
        for (size_t n = 0; n < file.size(); ++n) {
            Bytes prefix(file.begin(), file.begin() + n);  // exact-size copy: overreads are caught
            Image image;
            EXPECT_FALSE(ReadImage(prefix.data(), prefix.size(), &image)) << n << " of " << file.size();
            EXPECT_TRUE(image.levels.empty());
        }
    }
}

TEST(ImageReaders, AbsurdSizesAreRefusedBeforeAllocating) {
    Bytes bmp = testimg::Bmp24(3, 2, kPixels);
    bmp[18] = 0xFF, bmp[19] = 0xFF, bmp[20] = 0xFF, bmp[21] = 0x7F;  // width 2^31 - 1
    Bytes tga = testimg::Tga32(3, 2, kPixels, true);
    tga[12] = tga[13] = tga[14] = tga[15] = 0xFF;  // 65535 x 65535
    Bytes ppm = {'P', '6', ' ', '9', '9', '9', '9', '9', '9', ' ', '9', '9', '9', '9', '9', '9', ' ', '2', '5', '5', '\n', 0};
    Bytes png = testimg::Png(3, 2, kPixels, 4);
    png[16] = 0x00, png[17] = 0x10, png[18] = png[19] = 0x00;  // IHDR width 1M (CRC now wrong too)
    Bytes dds = testimg::DdsArgb(4, 2, {1});
    dds[12] = dds[13] = dds[14] = 0xFF;  // height
    for (const Bytes* file : {&bmp, &tga, &ppm, &png, &dds}) {
        Image image;
        EXPECT_FALSE(ReadImage(file->data(), file->size(), &image));
    }
    // A limit below the picture refuses it too, as too large.
    ImageLimits tight;
    tight.maxPixels = 4;
    Image image;
    Bytes small = testimg::Png(3, 2, kPixels, 4);
    EXPECT_FALSE(ReadImage(small.data(), small.size(), &image, tight));
    EXPECT_TRUE(image.tooLarge);
    EXPECT_TRUE(image.levels.empty());
}

// Only the pixel count limits a picture: a long thin one within it is read at its own width,
// and a valid file beyond it is refused as too large (not as damaged), before allocating.
TEST(ImageReaders, ThePixelBudgetIsTheOnlySizeLimit) {
    const uint32_t wide = 20000;
    std::vector<uint8_t> grey(wide * 2 * 4);
    for (uint32_t i = 0; i < wide * 2; ++i) grey[i * 4] = grey[i * 4 + 1] = grey[i * 4 + 2] = static_cast<uint8_t>(i), grey[i * 4 + 3] = 255;
    for (const Bytes& file : {testimg::Png(wide, 2, grey, 1), testimg::Png(2, wide, grey, 1), testimg::Bmp24(wide, 2, grey)}) {
        Image image;
        ASSERT_TRUE(ReadImage(file.data(), file.size(), &image));
        EXPECT_EQ(uint64_t(image.levels[0].width) * image.levels[0].height, uint64_t(wide) * 2);
        EXPECT_FALSE(image.tooLarge);
    }

    // A 16384 x 16384 PNG (a header with a good checksum; the reader stops before the pixels).
    Bytes png = testimg::Png(3, 2, kPixels, 1);
    testimg::SetPngSize(&png, 16384, 16384);
    Bytes bmp = testimg::Bmp24(3, 2, kPixels);
    bmp[18 + 2] = 0x01;  // width 65539
    bmp[22 + 2] = 0x01;  // height 65538
    Bytes ppm = {'P', '6', ' ', '9', '9', '9', '9', '9', '9', ' ', '9', '9', '9', '9', '9', '9', ' ', '2', '5', '5', '\n', 0};
    Bytes dds = testimg::DdsArgb(4, 2, {1});
    dds[12] = dds[13] = dds[14] = 0x7F;
    Bytes jpeg = testimg::Jpeg(8, 8, std::vector<uint8_t>(256, 77), true);
    ImageLimits limits;
    limits.maxPixels = 63;  // 8 x 8 is one pixel too many
    const struct {
        const char* kind;
        const Bytes* file;
        ImageLimits limits;
    } large[] = {{"PNG", &png, {}}, {"BMP", &bmp, {}}, {"PPM", &ppm, {}}, {"DDS", &dds, {}}, {"JPEG", &jpeg, limits}};
    for (const auto& c : large) {
        Image image;
        EXPECT_FALSE(ReadImage(c.file->data(), c.file->size(), &image, c.limits)) << c.kind;
        EXPECT_TRUE(image.tooLarge) << c.kind;
        EXPECT_TRUE(image.levels.empty());
    }
    // Without a signature a too large header is not taken for a too large picture.
    Image image;
    Bytes tga = testimg::Tga32(3, 2, kPixels, false);
    tga[12] = tga[13] = tga[14] = tga[15] = 0xFF;
    EXPECT_FALSE(ReadImage(tga.data(), tga.size(), &image));
    EXPECT_FALSE(image.tooLarge);
    const uint8_t junk[] = "this is not an image at all";
    EXPECT_FALSE(ReadImage(junk, sizeof(junk), &image));
    EXPECT_FALSE(image.tooLarge);
}
