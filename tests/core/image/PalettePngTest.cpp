// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/PalettePng.h"

#include "core/image/ColourProfile.h"
#include "core/image/ImagePipeline.h"

#include <Magick++.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace palettepng;

namespace {

struct Chunk {
    std::string type;
    std::string data;
};

std::vector<Chunk> Chunks(const std::string& png)
{
    std::vector<Chunk> chunks;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const auto* p = reinterpret_cast<const unsigned char*>(png.data() + at);
        const std::size_t length = std::size_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
        chunks.push_back({png.substr(at + 4, 4), png.substr(at + 8, length)});
        at += length + 12;
    }
    return chunks;
}

// The file as the image library decodes it, as 8-bit RGBA.
std::vector<std::uint8_t> Decode(const std::string& png, int width, int height)
{
    ImagePipeline::InitializeLibrary();
    Magick::Image image(Magick::Blob(png.data(), png.size()));
    EXPECT_EQ(image.columns(), std::size_t(width));
    EXPECT_EQ(image.rows(), std::size_t(height));
    std::vector<std::uint8_t> rgba(std::size_t(width) * height * 4);
    image.write(0, 0, width, height, "RGBA", Magick::CharPixel, rgba.data());
    return rgba;
}

struct EncodeCase {
    const char* name;
    int colours;
    int translucent;  // how many palette entries are not opaque
    int width;        // odd widths leave part of the last byte of a packed row unused
    int depth;        // the bit depth the file must use
};

class PalettePngEncode : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(PalettePngEncode, DecodesToThePaletteColoursAtTheSmallestDepth)
{
    const EncodeCase& c = GetParam();
    PaletteImage image;
    image.width = c.width;
    image.height = 7;
    std::mt19937 random(42);
    for (int i = 0; i < c.colours; ++i) {
        // Opaque entries first, so the encoder has to move the translucent ones to the front.
        const bool opaque = i < c.colours - c.translucent;
        image.palette.push_back({std::uint8_t(random()), std::uint8_t(random()),
                                 std::uint8_t(random()), std::uint8_t(opaque ? 255 : 40 + i)});
    }
    for (int i = 0; i < c.width * image.height; ++i)
        image.indices.push_back(std::uint8_t(random() % unsigned(c.colours)));

    const std::string png = EncodePng(image);
    const std::vector<Chunk> chunks = Chunks(png);
    ASSERT_FALSE(chunks.empty());
    ASSERT_EQ(chunks[0].type, "IHDR");
    EXPECT_EQ(int(chunks[0].data[8]), c.depth);
    EXPECT_EQ(int(chunks[0].data[9]), 3) << "indexed colour";
    std::vector<std::string> types;
    for (const Chunk& chunk : chunks) {
        types.push_back(chunk.type);
        if (chunk.type == "tRNS") {
            EXPECT_EQ(int(chunk.data.size()), c.translucent);
        }
    }
    std::vector<std::string> expected{"IHDR", "PLTE", "IDAT", "IEND"};
    if (c.translucent > 0) expected.insert(expected.begin() + 2, "tRNS");
    EXPECT_EQ(types, expected);

    const std::vector<std::uint8_t> decoded = Decode(png, c.width, image.height);
    for (std::size_t i = 0; i < image.indices.size(); ++i) {
        const Rgba& want = image.palette[image.indices[i]];
        ASSERT_EQ(
            Rgba({decoded[4 * i], decoded[4 * i + 1], decoded[4 * i + 2], decoded[4 * i + 3]}),
            want)
            << "pixel " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, PalettePngEncode,
                         ::testing::Values(EncodeCase{"TwoColoursOneBit", 2, 0, 13, 1},
                                           EncodeCase{"FourColoursTwoBits", 4, 1, 9, 2},
                                           EncodeCase{"SixteenColoursFourBits", 16, 3, 5, 4},
                                           EncodeCase{"SeventeenColoursEightBits", 17, 0, 6, 8},
                                           EncodeCase{"FullPaletteWithAlpha", 256, 30, 40, 8}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PalettePng, ExactPaletteCountsHiddenColoursOnceAndGivesUpPastTheLimit)
{
    // Three visible colours and two transparent pixels whose hidden colours differ.
    const std::vector<std::uint8_t> rgba = {10, 20, 30, 255, 10,  20, 30, 255, 1, 2, 3,   0,
                                            9,  9,  9,  0,   200, 0,  0,  128, 0, 0, 255, 255};
    const PaletteImage exact = ExactPalette(rgba.data(), 3, 2, 4);
    ASSERT_EQ(exact.palette.size(), 4u);
    EXPECT_EQ(exact.indices[2], exact.indices[3]);
    EXPECT_EQ(exact.palette[exact.indices[2]][3], 0);
    EXPECT_EQ(exact.palette[exact.indices[4]], (Rgba{200, 0, 0, 128}));
    EXPECT_TRUE(ExactPalette(rgba.data(), 3, 2, 3).palette.empty());
}

TEST(PalettePng, QuantiserKeepsToTheColourCountAndStaysCloseToTheSource)
{
    // A smooth two-way gradient: thousands of colours.
    const int width = 96, height = 64;
    std::vector<std::uint8_t> rgba;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            rgba.insert(rgba.end(), {std::uint8_t(x * 255 / width), std::uint8_t(y * 255 / height),
                                     std::uint8_t(128 + (x - y) / 2), 255});
    Quantiser quantiser(rgba.data(), width, height, 4);
    for (int colours : {256, 200, 16}) {
        QuantiseOptions options;
        options.maxColours = colours;
        const PaletteImage reduced = quantiser.Reduce(options);
        EXPECT_LE(int(reduced.palette.size()), colours);
        long error = 0;
        for (std::size_t i = 0; i < reduced.indices.size(); ++i)
            for (int k = 0; k < 3; ++k)
                error += std::abs(int(reduced.palette[reduced.indices[i]][k]) - rgba[4 * i + k]);
        EXPECT_LT(double(error) / double(rgba.size()), colours == 16 ? 14.0 : 3.0) << colours;
    }
}

TEST(PalettePng, CarriesAGivenColourProfile)
{
    PaletteImage image{2, 1, {{0, 0, 0, 255}, {255, 255, 255, 255}}, {0, 1}};
    const std::string& icc = colourprofile::Srgb();
    const std::string png = EncodePng(image, icc);
    ASSERT_EQ(Chunks(png).at(1).type, "iCCP");
    ImagePipeline::InitializeLibrary();
    const Magick::Blob read = Magick::Image(Magick::Blob(png.data(), png.size())).iccColorProfile();
    EXPECT_EQ(std::string(static_cast<const char*>(read.data()), read.length()), icc);
}

}  // namespace
