// Read requests across a record's life: what one request leaves for the next,
// image requests that find no scan, and marker codes that stand alone.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/front_streams.h"
#include "support/reference_jpeg.h"

namespace vantorel {
namespace {

using test::Codec;
using test::StreamBuilder;

TEST(ImageRequests, AFrameWithoutAnyScanIsNoImage) {
    // Headers and tables, then the end of the image: nothing was decoded, so the
    // caller's DIB holds no picture and the request must not report success.
    StreamBuilder s = test::gray_headers(16, 16);
    s.eoi();
    Codec c;
    c.gray_dib(16, 16);
    EXPECT_EQ(c.read_buffer(READ_IMAGE_BUFFER, s.data()), STATUS_NO_IMAGE);
    // A parameters request on the same input still succeeds: it never needs a scan.
    Codec e;
    EXPECT_EQ(e.read_buffer(READ_PARAMS_BUFFER, s.data()), STATUS_SUCCESS);
    EXPECT_EQ(e->jpeg_width, 16);
}

TEST(Markers, TemStandsAloneWithoutALength) {
    // A TEM marker between segments carries no length field: the bytes after it
    // are the next marker, not a length to skip by.
    StreamBuilder s;
    s.soi().marker(0x01);
    StreamBuilder rest = test::gray_image(8, 8);
    const auto& bytes = rest.data();
    s.bytes(std::vector<uint8_t>(bytes.begin() + 2, bytes.end()));  // without its SOI
    Codec c;
    c.gray_dib(8, 8, 0);
    ASSERT_EQ(c.read_buffer(READ_IMAGE_BUFFER, s.data()), STATUS_SUCCESS);
    for (uint8_t v : c.pixels) EXPECT_EQ(v, 128);
}

TEST(RegionRequests, AFileRegionAfterAWholeImageOnTheSameRecordIsTheCrop) {
    test::RawImage photo;
    if (!test::load_test_photo(&photo)) GTEST_SKIP() << "corpus not found beside the checkout";
    photo = test::crop_image(photo, 0, 0, 96, 80, 3);
    test::RefEncodeOptions options;
    options.restart_blocks = 3;
    std::vector<uint8_t> stream;
    std::string error;
    ASSERT_TRUE(test::ref_encode(photo, options, &stream, &error)) << error;
    const std::string path = test::write_scratch("region_after_whole", stream);

    Codec c;
    c->dib_color = CS_RGB;
    c->dib_channels = 3;
    std::vector<uint8_t> whole(96 * 80 * 3);
    c->dib_pixels = whole.data();
    c->dib_width = 96;
    c->dib_height = 80;
    c->jpeg_path = path.c_str();
    ASSERT_EQ(read_image(&*c, READ_IMAGE_FILE), STATUS_SUCCESS);

    // Now a region lower down, on the same record: the rows above it are found
    // through the row index, whose positions must be offsets in this file.
    std::vector<uint8_t> part(40 * 30 * 3);
    c->dib_pixels = part.data();
    c->dib_width = 40;
    c->dib_height = 30;
    c.props().roi_left = 33;
    c.props().roi_top = 41;
    c.props().roi_right = 73;
    c.props().roi_bottom = 71;
    const JPEG_STATUS status = read_image(&*c, READ_IMAGE_FILE);
    ASSERT_TRUE(status == STATUS_ROI_SUCCESS || status == STATUS_SUCCESS) << status;
    for (int y = 0; y < 30; ++y)
        ASSERT_EQ(std::memcmp(&part[y * 40 * 3], &whole[((41 + y) * 96 + 33) * 3], 40 * 3), 0) << "row " << y;
}

}  // namespace
}  // namespace vantorel
