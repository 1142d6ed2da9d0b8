// The codec frame: statuses and messages, defaults after open, closing, and the
// validation of requests.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "codec/codec.h"

namespace vantorel {
namespace {

struct OpenRecord {
    OpenRecord() {
        record = std::make_unique<JPEG_RECORD>();
        std::memset(record.get(), 0, sizeof(JPEG_RECORD));
        status = open_codec(record.get());
    }
    ~OpenRecord() {
        if (status == STATUS_SUCCESS) close_codec(record.get());
    }
    std::unique_ptr<JPEG_RECORD> record;
    JPEG_STATUS status;
};

TEST(StatusMessages, EveryCodeHasItsExactText) {
    EXPECT_STREQ(get_status_message(2), "ROI Success");
    EXPECT_STREQ(get_status_message(1), "Interrupt Success");
    EXPECT_STREQ(get_status_message(0), "Success");
    EXPECT_STREQ(get_status_message(-1), "Exception detected");
    EXPECT_STREQ(get_status_message(-8), "Invalid JPEG_PROPERTIES");
    EXPECT_STREQ(get_status_message(-13), "Not JPEG");
    EXPECT_STREQ(get_status_message(-29), "Unsupported frame was found");
    EXPECT_STREQ(get_status_message(-30), "Error access to jpeg_comment buffer");
    EXPECT_EQ(std::strlen(get_status_message(-30)), 35u);
    EXPECT_STREQ(get_status_message(-99), "Reserved");
    for (JPEG_STATUS unknown : {3, -31, -98, -100, INT32_MIN, INT32_MAX})
        EXPECT_STREQ(get_status_message(unknown), "Unknown error code") << unknown;
}

TEST(OpenCodec, SetsEveryCallerVisibleDefault) {
    OpenRecord r;
    ASSERT_EQ(r.status, STATUS_SUCCESS);
    const JPEG_RECORD& j = *r.record;
    EXPECT_EQ(j.props_preset, 0u);
    EXPECT_EQ(j.dib_pixels, nullptr);
    EXPECT_EQ(j.dib_channels, 3);
    EXPECT_EQ(j.dib_color, CS_BGR);
    EXPECT_EQ(j.jpeg_channels, 3);
    EXPECT_EQ(j.jpeg_color, CS_YCBCR);
    EXPECT_EQ(j.jpeg_subsampling, SUBSAMPLE_2X2);
    EXPECT_EQ(j.needs_color_conversion, 1u);
    EXPECT_EQ(j.needs_upsampling, 1u);
    EXPECT_EQ(j.quality, 75u);
    EXPECT_EQ(j.dib_width, 0);
    EXPECT_EQ(j.jpeg_width, 0);
    EXPECT_EQ(j.thumb_width, 0u);
    const JPEG_PROPERTIES& p = j.props;
    EXPECT_EQ(p.io_mode, -1);
    EXPECT_EQ(p.idct_family, 1);
    EXPECT_EQ(p.frame.component_count, 4);
    ASSERT_NE(p.frame.components, nullptr);
    EXPECT_EQ(p.frame.components[0].quant_selector, 0);
    EXPECT_EQ(p.frame.components[3].quant_selector, 1);
    EXPECT_EQ(p.adobe_version, 100);
    EXPECT_EQ(p.jfif_version, 0x0101);
    EXPECT_EQ(p.jfif_x_density, 1);
    for (const auto& q : p.quant_tables) {
        EXPECT_EQ(q.quant_values, q.storage);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(q.quant_values) % 8, 0u);
    }
    ASSERT_NE(p.stage_table, nullptr);
    EXPECT_EQ(p.stage_table->scan_header_size, 0);
}

TEST(CloseCodec, ReleasesEverythingAndASecondCloseFindsNothing) {
    OpenRecord r;
    ASSERT_EQ(r.status, STATUS_SUCCESS);
    EXPECT_EQ(close_codec(r.record.get()), STATUS_SUCCESS);
    EXPECT_EQ(r.record->props.stage_table, nullptr);
    EXPECT_EQ(r.record->props.frame.components, nullptr);
    EXPECT_EQ(close_codec(r.record.get()), STATUS_SUCCESS);
    r.status = -1;  // already closed
}

TEST(CloseCodec, DamagedComponentCountGivesInvalidPropertiesButFreesTheStageTable) {
    OpenRecord r;
    ASSERT_EQ(r.status, STATUS_SUCCESS);
    COMPONENT_INFO* components = r.record->props.frame.components;
    r.record->props.frame.component_count = 256;
    EXPECT_EQ(close_codec(r.record.get()), STATUS_INVALID_PROPERTIES);
    EXPECT_EQ(r.record->props.stage_table, nullptr);
    codec_free(components);  // left alone by the close of a damaged record
    r.status = -1;
}

class Validation : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(rec.status, STATUS_SUCCESS);
        j = rec.record.get();
        j->dib_pixels = pixels;
        j->dib_width = 1;
        j->dib_height = 1;
        j->jpeg_path = "/nonexistent/vantorel-test.jpg";
    }
    JPEG_STATUS validate(IO_MODE kind) {
        j->props.io_mode = kind;
        return validate_request(j);
    }
    OpenRecord rec;
    JPEG_RECORD* j = nullptr;
    uint8_t pixels[64] = {};
};

TEST_F(Validation, KindsOutsideTheTableAreRejected) {
    EXPECT_EQ(validate(-1), STATUS_INVALID_PROPERTIES);
    EXPECT_EQ(validate(22), STATUS_INVALID_PROPERTIES);
    EXPECT_EQ(validate(READ_IMAGE_FILE), STATUS_SUCCESS);
}

TEST_F(Validation, DibRangesAndPreset) {
    j->dib_height = -1;
    EXPECT_EQ(validate(READ_IMAGE_FILE), STATUS_SUCCESS);
    j->dib_height = 0;
    EXPECT_EQ(validate(READ_IMAGE_FILE), STATUS_SUCCESS);
    j->dib_height = -65536;
    EXPECT_EQ(validate(READ_IMAGE_FILE), STATUS_INVALID_PROPERTIES);
    j->dib_height = 1;
    j->dib_width = 65536;
    EXPECT_EQ(validate(READ_IMAGE_FILE), STATUS_INVALID_PROPERTIES);
    j->dib_width = 1;
    j->dib_channels = 256;
    EXPECT_EQ(validate(READ_IMAGE_FILE), STATUS_INVALID_PROPERTIES);
    j->props_preset = 1;
    EXPECT_EQ(validate(READ_IMAGE_FILE), STATUS_SUCCESS);
    j->props_preset = 0;
    j->dib_channels = 3;
    j->dib_row_pad = -1;
    EXPECT_EQ(validate(READ_IMAGE_FILE), STATUS_INVALID_PROPERTIES);
    j->dib_row_pad = 0;
    j->dib_pixels = nullptr;
    EXPECT_EQ(validate(READ_IMAGE_FILE), STATUS_INVALID_PROPERTIES);
    EXPECT_EQ(validate(READ_PARAMS_FILE), STATUS_SUCCESS);  // no DIB needed
}

TEST_F(Validation, RowStrideThatCannotBeAddressedIsRefused) {
    j->jpeg_color = CS_OTHER;
    j->dib_color = CS_OTHER;
    j->dib_width = 65535;
    j->dib_channels = 255;
    j->dib_row_pad = INT32_MAX - 65535 * 255;
    EXPECT_EQ(validate(READ_IMAGE_FILE), STATUS_SUCCESS);
    j->dib_row_pad += 1;
    EXPECT_EQ(validate(READ_IMAGE_FILE), STATUS_INVALID_PROPERTIES);
    j->dib_row_pad = 0;
    j->dib_height = -65535;
    EXPECT_EQ(validate(READ_IMAGE_FILE), STATUS_SUCCESS);
}

TEST_F(Validation, SubsamplingOnlyWithPackedYcbcr) {
    j->dib_subsampling = 2;
    EXPECT_EQ(validate(READ_IMAGE_FILE), STATUS_UNSUPPORTED_SUBSAMPLING);
    j->dib_color = CS_YCBCR;
    j->dib_channels = 2;
    EXPECT_EQ(validate(READ_IMAGE_FILE), STATUS_SUCCESS);
}

TEST_F(Validation, ThumbnailNeedsAnRgbOrBgrDib) {
    j->dib_color = CS_QUAD;
    j->dib_channels = 4;
    EXPECT_EQ(validate(READ_THUMBNAIL_FILE), STATUS_THUMBNAIL_WRONG_COLOR);
    j->dib_color = CS_RGB;
    j->dib_channels = 3;
    EXPECT_EQ(validate(READ_THUMBNAIL_FILE), STATUS_SUCCESS);
}

TEST_F(Validation, InputAndChannelCounts) {
    EXPECT_EQ(validate(READ_IMAGE_BUFFER), STATUS_INVALID_PROPERTIES);  // no buffer
    static const uint8_t stream[2] = {0xFF, 0xD8};
    j->jpeg_buffer = stream;
    j->jpeg_buffer_size = 2;
    EXPECT_EQ(validate(READ_IMAGE_BUFFER), STATUS_SUCCESS);
    j->jpeg_path = nullptr;
    EXPECT_EQ(validate(READ_IMAGE_FILE), STATUS_INVALID_PROPERTIES);
    j->jpeg_channels = 256;
    j->jpeg_color = CS_OTHER;
    j->dib_color = CS_OTHER;
    EXPECT_EQ(validate(READ_IMAGE_BUFFER), STATUS_SUCCESS);
    j->jpeg_channels = 257;
    EXPECT_EQ(validate(READ_IMAGE_BUFFER), STATUS_INVALID_PROPERTIES);
}

TEST_F(Validation, ColourPairsFollowTheTable) {
    struct Pair { COLOR_SPACE jc; int32_t jn; COLOR_SPACE dc; int32_t dn; bool ok; };
    const Pair pairs[] = {
        {CS_GRAY, 1, CS_GRAY, 1, true},   {CS_GRAY, 1, CS_BGR, 3, true},    {CS_GRAY, 1, CS_QUAD, 4, true},
        {CS_GRAY, 1, CS_YCBCR, 3, false}, {CS_GRAY, 3, CS_GRAY, 1, false},  {CS_RGB, 3, CS_GRAY, 1, false},
        {CS_RGB, 3, CS_QUAD, 4, true},    {CS_YCBCR, 3, CS_GRAY, 1, true},  {CS_YCBCR, 3, CS_YCBCR, 7, true},
        {CS_YCBCR, 3, CS_QUAD, 3, false}, {CS_QUAD, 4, CS_QUAD, 4, true},   {CS_QUAD, 4, CS_BGR, 3, false},
        {CS_YCC_QUAD, 4, CS_QUAD, 4, true}, {CS_OTHER, 2, CS_OTHER, 9, true}, {CS_OTHER, 2, CS_RGB, 3, false},
    };
    for (const Pair& c : pairs) {
        j->jpeg_color = c.jc;
        j->jpeg_channels = c.jn;
        j->dib_color = c.dc;
        j->dib_channels = c.dn;
        EXPECT_EQ(validate(READ_IMAGE_FILE) == STATUS_SUCCESS, c.ok)
            << c.jc << "/" << c.jn << " -> " << c.dc << "/" << c.dn;
    }
}

TEST_F(Validation, TransformFamilyAndFilterWithCoefficientOutput) {
    j->props.idct_family = 2;
    EXPECT_EQ(validate(READ_IMAGE_FILE), STATUS_INVALID_PROPERTIES);
    j->props.idct_family = 0;
    COEF_OUTPUT out{};
    j->props.coef_output = &out;
    j->props.upsample_filter = 1;
    EXPECT_EQ(validate(READ_IMAGE_FILE), STATUS_INVALID_PROPERTIES);
    j->props.upsample_filter = 0;
    j->dib_pixels = nullptr;  // coefficient output needs no DIB
    EXPECT_EQ(validate(READ_IMAGE_FILE), STATUS_SUCCESS);
}

TEST(ReadImage, MissingFileGivesInvalidFileNameAndLeavesNothingOpen) {
    OpenRecord r;
    ASSERT_EQ(r.status, STATUS_SUCCESS);
    r.record->jpeg_path = "/nonexistent/vantorel-missing.jpg";
    EXPECT_EQ(read_image(r.record.get(), READ_PARAMS_FILE), STATUS_INVALID_FILE_NAME);
    EXPECT_EQ(r.record->props.source.file, nullptr);
}

}  // namespace
}  // namespace vantorel
