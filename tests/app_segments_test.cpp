// Application and comment segments: the JFIF header, thumbnails of every kind
// written into the caller's DIB (and refused when it cannot hold them), the
// Adobe segment, comments, and short or skipped bodies passed over by length.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "codec/decoder/decoder.h"
#include "support/front_streams.h"

namespace vantorel {
namespace {

using test::Codec;
using test::StreamBuilder;

// SOI, the given APP segments, then a grey frame and a scan header.
std::vector<uint8_t> stream_with(const std::vector<std::pair<uint8_t, std::vector<uint8_t>>>& segments) {
    StreamBuilder s;
    s.soi();
    for (const auto& [code, body] : segments) s.segment(code, body);
    const std::vector<uint8_t> image = test::gray_image(8, 8).data();
    s.bytes(std::vector<uint8_t>(image.begin() + 2, image.end()));
    return s.data();
}

std::vector<uint8_t> thumb_pixels(int count) {
    std::vector<uint8_t> rgb;
    for (int i = 0; i < count; ++i)
        for (int c = 1; c <= 3; ++c) rgb.push_back(static_cast<uint8_t>(10 * i + c));
    return rgb;
}

TEST(Jfif, HeaderFieldsAreReportedWithoutAThumbnail) {
    Codec codec;
    ASSERT_EQ(codec.read_buffer(READ_PARAMS_BUFFER, stream_with({})), STATUS_SUCCESS);
    const JPEG_PROPERTIES& p = codec.props();
    EXPECT_EQ(p.jfif_present, 1);
    EXPECT_EQ(p.jfif_version, 0x0102);
    EXPECT_EQ(p.jfif_units, 1);
    EXPECT_EQ(p.jfif_x_density, 72);
    EXPECT_EQ(p.jfif_y_density, 96);
    EXPECT_EQ(codec->thumb_width, 0u);
}

TEST(Jfif, ASegmentAfterTheFrameIsIgnored) {
    StreamBuilder late;
    late.soi().segment(0xDB, test::dqt_body(0x00)).segment(0xC0, test::sof_body(8, 8, 8, {{1, 0x11, 0}}));
    late.segment(0xE0, test::jfif_body(1, 1, thumb_pixels(1)));
    test::add_gray_tables(late);
    late.segment(0xDA, test::sos_body({{1, 0x00}})).eoi();
    Codec codec;
    ASSERT_EQ(codec.read_buffer(READ_PARAMS_BUFFER, late.data()), STATUS_SUCCESS);
    EXPECT_EQ(codec.props().jfif_present, 0);
    EXPECT_EQ(codec->thumb_width, 0u);
}

TEST(Thumbnail, RgbPixelsArriveInBothDibOrders) {
    const std::vector<uint8_t> stream = stream_with({{0xE0, test::jfif_body(2, 2, thumb_pixels(4))}});
    Codec bgr;
    bgr.rgb_dib(2, 2, CS_BGR);
    ASSERT_EQ(bgr.read_buffer(READ_THUMBNAIL_BUFFER, stream), STATUS_SUCCESS);
    EXPECT_EQ(bgr->thumb_width, 2u);
    EXPECT_EQ(bgr->thumb_height, 2u);
    EXPECT_EQ(bgr.pixels, (std::vector<uint8_t>{3, 2, 1, 13, 12, 11, 23, 22, 21, 33, 32, 31}));

    Codec rgb;
    rgb.rgb_dib(2, 2, CS_RGB);
    const std::string path = test::write_scratch("thumb", stream);
    ASSERT_EQ(rgb.read_file(READ_THUMBNAIL_FILE, path), STATUS_SUCCESS);
    EXPECT_EQ(rgb.pixels, thumb_pixels(4));
    EXPECT_NE(rgb.props().source.file, nullptr);  // left open at the SOS like a parameters request
    std::filesystem::remove(path);

    Codec bottom_up;
    bottom_up.rgb_dib(2, -2, CS_RGB);
    ASSERT_EQ(bottom_up.read_buffer(READ_THUMBNAIL_BUFFER, stream), STATUS_SUCCESS);
    EXPECT_EQ(bottom_up.pixels, (std::vector<uint8_t>{21, 22, 23, 31, 32, 33, 1, 2, 3, 11, 12, 13}));
}

TEST(Thumbnail, ExtensionRgbAndPaletteThumbnailsAreWrittenAndJpegOnesIgnored) {
    std::vector<uint8_t> rgb_ext = {'J', 'F', 'X', 'X', 0, 0x13, 1, 2};
    const std::vector<uint8_t> two = thumb_pixels(2);
    rgb_ext.insert(rgb_ext.end(), two.begin(), two.end());
    Codec a;
    a.rgb_dib(1, 2, CS_RGB);
    ASSERT_EQ(a.read_buffer(READ_THUMBNAIL_BUFFER, stream_with({{0xE0, rgb_ext}})), STATUS_SUCCESS);
    EXPECT_EQ(a.pixels, two);

    std::vector<uint8_t> palette_ext = {'J', 'F', 'X', 'X', 0, 0x11, 2, 1};
    for (int i = 0; i < 256; ++i) palette_ext.insert(palette_ext.end(), {uint8_t(i), uint8_t(i + 1), uint8_t(i + 2)});
    palette_ext.insert(palette_ext.end(), {5, 200});
    Codec b;
    b.rgb_dib(2, 1, CS_BGR);
    ASSERT_EQ(b.read_buffer(READ_THUMBNAIL_BUFFER, stream_with({{0xE0, palette_ext}})), STATUS_SUCCESS);
    EXPECT_EQ(b->thumb_width, 2u);
    EXPECT_EQ(b.pixels, (std::vector<uint8_t>{7, 6, 5, 202, 201, 200}));

    std::vector<uint8_t> jpeg_ext = {'J', 'F', 'X', 'X', 0, 0x10, 0xFF, 0xD8, 0xFF, 0xD9, 0, 0, 0, 0, 0};
    Codec c;
    c.rgb_dib(2, 2, CS_RGB);
    ASSERT_EQ(c.read_buffer(READ_THUMBNAIL_BUFFER, stream_with({{0xE0, jpeg_ext}})), STATUS_SUCCESS);
    EXPECT_EQ(c->thumb_width, 0u);
}

TEST(Thumbnail, LargerThanTheDibIsRejectedAndNothingIsWritten) {
    const std::vector<uint8_t> stream = stream_with({{0xE0, test::jfif_body(2, 2, thumb_pixels(4))}});
    struct Dib {
        int32_t width, height, pad;
    };
    for (const Dib& dib : {Dib{2, 1, 0}, Dib{1, 2, 0}, Dib{1, 2, 3}, Dib{1, -2, 3}}) {
        Codec codec;
        codec.rgb_dib(dib.width, dib.height, CS_RGB, dib.pad);
        EXPECT_EQ(codec.read_buffer(READ_THUMBNAIL_BUFFER, stream), STATUS_THUMBNAIL_TOO_SMALL);
        for (uint8_t p : codec.pixels) EXPECT_EQ(p, 0);
    }
    // Any other request only reports the thumbnail's size.
    Codec params;
    ASSERT_EQ(params.read_buffer(READ_PARAMS_BUFFER, stream), STATUS_SUCCESS);
    EXPECT_EQ(params->thumb_width, 2u);
    EXPECT_EQ(params->thumb_height, 2u);
}

TEST(ShortBodies, App0AndApp14TooShortToParseAreSkippedByLength) {
    const std::vector<uint8_t> trap = {0xFF, 0xC3, 0xFF, 0xC3, 0, 0, 0, 0, 0, 0};
    Codec codec;
    ASSERT_EQ(codec.read_buffer(READ_PARAMS_BUFFER, stream_with({{0xE0, trap}, {0xEE, trap}})), STATUS_SUCCESS);
    EXPECT_EQ(codec->jpeg_width, 8);
    EXPECT_EQ(codec.props().adobe_present, 0);
}

TEST(ShortBodies, ScansRequestPassesOverApp0ByLength) {
    StreamBuilder s = test::gray_headers(8, 8);
    s.segment(0xDA, test::sos_body({{1, 0x00}})).bytes({0x1F});
    s.segment(0xE0, std::vector<uint8_t>(20, 0xFF)).segment(0xE0, {0xFF, 0xC3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    s.eoi();
    const std::string path = test::write_scratch("scans_app0", s.data());
    Codec codec;
    ASSERT_EQ(codec.read_file(READ_PARAMS_FILE, path), STATUS_SUCCESS);
    codec.gray_dib(8, 8);
    EXPECT_EQ(codec.read_file(READ_SCANS_FILE, path), STATUS_SUCCESS);
    EXPECT_EQ(codec.props().source.file, nullptr);
    EXPECT_EQ(codec.pixels[0], 128);
    std::filesystem::remove(path);
}

std::vector<uint8_t> adobe_body(uint8_t transform) {
    return {'A', 'd', 'o', 'b', 'e', 0, 101, 0x40, 0x00, 0x00, 0x02, transform};
}

TEST(Adobe, SegmentFieldsAndTheColourTheyImply) {
    for (uint8_t transform : {0, 1}) {
        StreamBuilder s;
        s.soi().segment(0xEE, adobe_body(transform)).segment(0xDB, test::dqt_body(0x00));
        s.segment(0xC0, test::sof_body(8, 8, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}}));
        test::add_gray_tables(s);
        s.segment(0xDA, test::sos_body({{1, 0x00}, {2, 0x00}, {3, 0x00}})).eoi();
        Codec codec;
        ASSERT_EQ(codec.read_buffer(READ_PARAMS_BUFFER, s.data()), STATUS_SUCCESS);
        const JPEG_PROPERTIES& p = codec.props();
        EXPECT_EQ(p.adobe_present, 1);
        EXPECT_EQ(p.adobe_transform, transform);
        EXPECT_EQ(p.adobe_version, 101);
        EXPECT_EQ(p.adobe_flags0, 0x4000);
        EXPECT_EQ(p.adobe_flags1, 2);
        EXPECT_EQ(codec->jpeg_color, transform ? CS_YCBCR : CS_RGB);
    }
}

TEST(Comment, FitsOrFailsWithTheLengthItNeeds) {
    const std::vector<uint8_t> text = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    const std::vector<uint8_t> stream = stream_with({{0xFE, text}});
    uint8_t small[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    Codec a;
    a.props().jpeg_comment = small;
    a.props().jpeg_comment_size = 4;
    EXPECT_EQ(a.read_buffer(READ_PARAMS_BUFFER, stream), STATUS_COMMENT_BUFFER_ERROR);
    EXPECT_EQ(a.props().jpeg_comment_size, 10u);
    EXPECT_EQ(small[3], '3');
    EXPECT_EQ(small[4], 0xEE);

    uint8_t large[12] = {};
    large[10] = 0xEE;
    Codec b;
    b.props().jpeg_comment = large;
    b.props().jpeg_comment_size = 12;
    ASSERT_EQ(b.read_buffer(READ_PARAMS_BUFFER, stream), STATUS_SUCCESS);
    EXPECT_EQ(b.props().jpeg_comment_size, 10u);
    EXPECT_EQ(large[9], '9');
    EXPECT_EQ(large[10], 0xEE);  // no terminating zero
}

TEST(Comment, ACommentAfterTheFrameIsNotCopied) {
    StreamBuilder s = test::gray_headers(8, 8);
    s.segment(0xFE, {'x', 'y'}).segment(0xDA, test::sos_body({{1, 0x00}})).eoi();
    uint8_t buffer[4] = {};
    Codec codec;
    codec.props().jpeg_comment = buffer;
    codec.props().jpeg_comment_size = 4;
    ASSERT_EQ(codec.read_buffer(READ_PARAMS_BUFFER, s.data()), STATUS_SUCCESS);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(codec.props().jpeg_comment_size, 4u);
}

}  // namespace
}  // namespace vantorel
