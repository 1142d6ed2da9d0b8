// Whole decodes through the output writers: streams of every sampling the writers
// treat differently, encoded by the reference library, decoded by us into the
// caller's layouts and compared with the reference decoder's pixels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/reference_jpeg.h"
#include "support/reference_vantorel.h"

namespace vantorel {
namespace {

using namespace vantorel::test;

// A smooth picture with some detail, so that chroma differs across the MCU.
RawImage make_picture(int width, int height, int channels) {
    RawImage image;
    image.width = width, image.height = height, image.channels = channels;
    image.pixels.resize(static_cast<size_t>(width * height * channels));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                image.pixels[static_cast<size_t>((y * width + x) * channels + c)] =
                    static_cast<uint8_t>((x * (3 + c) * 5 + y * (7 - c) * 3 + ((x / 5 + y / 3) % 2) * 40) % 256);
    return image;
}

std::vector<uint8_t> encode(const RawImage& image, RefColor color, int h0, int v0, int h1 = 1, int v1 = 1,
                            bool progressive = false) {
    RefEncodeOptions options;
    options.color = color;
    options.quality = 95;
    options.progressive = progressive;
    for (int i = 0; i < 4; ++i) options.h_samp[i] = 1, options.v_samp[i] = 1;
    options.h_samp[0] = h0, options.v_samp[0] = v0;
    options.h_samp[1] = h1, options.v_samp[1] = v1;
    if (color == RefColor::kCMYK || color == RefColor::kYCCK) options.h_samp[3] = h0, options.v_samp[3] = v0;
    std::vector<uint8_t> out;
    std::string error;
    EXPECT_TRUE(ref_encode(image, options, &out, &error)) << error;
    return out;
}

void expect_close(const std::vector<uint8_t>& stream, const OurDecodeOptions& options, bool fancy,
                  const std::string& what, double min_psnr = 38.0) {
    RawImage reference;
    std::string error;
    RefDecodeOptions ref_options;
    ref_options.fancy = fancy;
    ASSERT_TRUE(ref_decode(stream.data(), stream.size(), ref_options, &reference, &error)) << what << error;
    OurDecodeResult ours = our_decode(stream, options);
    ASSERT_EQ(ours.status, STATUS_SUCCESS) << what;
    EXPECT_TRUE(ours.pad_intact) << what;
    if (ours.image.channels == 4 && reference.channels == 3) {
        // A three-component picture in a four-byte layout: colour, then 255.
        std::vector<uint8_t> colour;
        for (size_t i = 0; i < ours.image.pixels.size(); i += 4) {
            ASSERT_EQ(ours.image.pixels[i + 3], 255) << what;
            colour.insert(colour.end(), ours.image.pixels.begin() + static_cast<long>(i),
                          ours.image.pixels.begin() + static_cast<long>(i) + 3);
        }
        ours.image.pixels = colour;
        ours.image.channels = 3;
    }
    const ImageDiff diff = compare_images(ours.image, reference);
    EXPECT_TRUE(diff.same_shape) << what;
    EXPECT_GE(diff.psnr, min_psnr) << what << " max diff " << diff.max_diff;
}

struct LAYOUT {
    int h0, v0, h1, v1;
};

TEST(OutputPipeline, EverySamplingDecodesCloseToTheReference) {
    const LAYOUT layouts[] = {{1, 1, 1, 1}, {2, 1, 1, 1}, {2, 2, 1, 1}, {1, 2, 1, 1},
                              {4, 1, 1, 1}, {3, 1, 1, 1}, {4, 2, 1, 1}, {2, 2, 2, 1}};
    const RawImage picture = make_picture(45, 29, 3);
    for (const LAYOUT& l : layouts) {
        const std::vector<uint8_t> stream = encode(picture, RefColor::kYCbCr, l.h0, l.v0, l.h1, l.v1);
        const std::string what =
            std::to_string(l.h0) + "x" + std::to_string(l.v0) + "/" + std::to_string(l.h1) + "x" + std::to_string(l.v1);
        OurDecodeOptions options;
        options.pad = 3;
        expect_close(stream, options, false, what + " top-down");
        options.bottom_up = true;
        expect_close(stream, options, false, what + " bottom-up");
        options.bottom_up = false;
        options.dib_color = CS_QUAD;
        expect_close(stream, options, false, what + " quad");
    }
}

TEST(OutputPipeline, SmoothingMatchesTheReferenceTriangleFilter) {
    const RawImage picture = make_picture(45, 29, 3);
    for (const LAYOUT& l : {LAYOUT{2, 1, 1, 1}, LAYOUT{2, 2, 1, 1}}) {
        const std::vector<uint8_t> stream = encode(picture, RefColor::kYCbCr, l.h0, l.v0);
        OurDecodeOptions options;
        options.smooth = true;
        expect_close(stream, options, true, "smooth " + std::to_string(l.v0), 40.0);
    }
}

TEST(OutputPipeline, GreyCmykAndYcckReachTheirLayouts) {
    const RawImage grey = make_picture(23, 17, 1);
    OurDecodeOptions options;
    options.pad = 1;
    expect_close(encode(grey, RefColor::kGray, 1, 1), options, false, "grey");
    const RawImage four = make_picture(23, 17, 4);
    for (const LAYOUT& l : {LAYOUT{1, 1, 1, 1}, LAYOUT{2, 1, 1, 1}, LAYOUT{2, 2, 1, 1}}) {
        expect_close(encode(four, RefColor::kCMYK, l.h0, l.v0), options, false, "cmyk " + std::to_string(l.h0));
        expect_close(encode(four, RefColor::kYCCK, l.h0, l.v0), options, false, "ycck " + std::to_string(l.h0));
    }
}

TEST(OutputPipeline, GreyIntoThreeBytePixelsRepeatsTheOneChannelDecode) {
    // Whole MCUs take a row writer, cut ones (the 23x17 edges, a region that
    // starts and ends inside MCUs) the per-pixel one; both must give three copies
    // of the grey sample, for BGR and RGB, top-down and bottom-up, padded rows.
    const std::vector<uint8_t> stream = encode(make_picture(23, 17, 1), RefColor::kGray, 1, 1);
    for (bool region : {false, true}) {
        OurDecodeOptions one;
        one.has_roi = region;
        one.roi[0] = 3, one.roi[1] = 5, one.roi[2] = 21, one.roi[3] = 14;
        const OurDecodeResult grey = our_decode(stream, one);
        ASSERT_EQ(grey.image.channels, 1);
        for (COLOR_SPACE colour : {CS_BGR, CS_RGB}) {
            OurDecodeOptions three = one;
            three.dib_color = colour;
            three.dib_channels = 3;
            three.pad = 1;
            three.bottom_up = colour == CS_RGB;
            const OurDecodeResult ours = our_decode(stream, three);
            EXPECT_EQ(ours.status, grey.status);
            EXPECT_TRUE(ours.pad_intact);
            ASSERT_EQ(ours.image.pixels.size(), grey.image.pixels.size() * 3);
            for (size_t i = 0; i < grey.image.pixels.size(); ++i)
                for (size_t c = 0; c < 3; ++c)
                    ASSERT_EQ(ours.image.pixels[3 * i + c], grey.image.pixels[i])
                        << "pixel " << i << " byte " << c << (region ? " (region)" : "");
        }
    }
}

TEST(OutputPipeline, RegionAndProgressiveDecodesStayInsideTheDib) {
    const RawImage picture = make_picture(61, 37, 3);
    for (bool progressive : {false, true}) {
        const std::vector<uint8_t> stream = encode(picture, RefColor::kYCbCr, 2, 2, 1, 1, progressive);
        OurDecodeOptions options;
        options.pad = 2;
        expect_close(stream, options, false, progressive ? "progressive" : "sequential");
        options.has_roi = true;
        options.roi[0] = 5, options.roi[1] = 3, options.roi[2] = 50, options.roi[3] = 30;
        const OurDecodeResult ours = our_decode(stream, options);
        EXPECT_EQ(ours.status, STATUS_ROI_SUCCESS);
        EXPECT_TRUE(ours.pad_intact);
        RawImage reference;
        std::string error;
        ASSERT_TRUE(ref_decode(stream.data(), stream.size(), RefDecodeOptions{}, &reference, &error)) << error;
        RawImage crop;
        crop.width = 45, crop.height = 27, crop.channels = 3;
        for (int y = 3; y < 30; ++y)
            crop.pixels.insert(crop.pixels.end(), reference.pixels.begin() + (y * 61 + 5) * 3,
                               reference.pixels.begin() + (y * 61 + 50) * 3);
        const ImageDiff diff = compare_images(ours.image, crop);
        EXPECT_TRUE(diff.same_shape) << ours.image.width << "x" << ours.image.height;
        EXPECT_GE(diff.psnr, 38.0) << (progressive ? "progressive" : "sequential") << " region";
    }
}

}  // namespace
}  // namespace vantorel
