// A progressive stream that stops early: once every component has its DC at full
// precision and its last AC band under way, the picture is rendered from what
// arrived, and a stream cut after that point still leaves that picture in the
// caller's DIB, with no uninitialised byte reaching it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "support/reference_jpeg.h"
#include "support/reference_vantorel.h"

namespace vantorel {
namespace {

using test::RawImage;

// Parameters, then the whole image into an RGB DIB, on one record; the DIB's
// bytes whatever the image request returned.
std::vector<uint8_t> decode_rgb(const std::vector<uint8_t>& stream, JPEG_STATUS* status) {
    auto record = std::make_unique<JPEG_RECORD>();
    std::memset(record.get(), 0, sizeof(JPEG_RECORD));
    std::vector<uint8_t> dib;
    *status = open_codec(record.get());
    if (*status != STATUS_SUCCESS) return dib;
    JPEG_RECORD* r = record.get();
    r->jpeg_buffer = stream.data();
    r->jpeg_buffer_size = static_cast<int32_t>(stream.size());
    *status = read_image(r, READ_PARAMS_BUFFER);
    if (*status == STATUS_SUCCESS) {
        dib.assign(static_cast<size_t>(r->jpeg_width) * r->jpeg_height * 3, 0x5A);
        r->dib_pixels = dib.data();
        r->dib_width = r->jpeg_width;
        r->dib_height = r->jpeg_height;
        r->dib_color = CS_RGB;
        r->dib_channels = 3;
        *status = read_image(r, READ_IMAGE_BUFFER);
    }
    close_codec(r);
    return dib;
}

// Offsets of every SOS marker in a stream.
std::vector<size_t> scan_starts(const std::vector<uint8_t>& s) {
    std::vector<size_t> starts;
    for (size_t i = 0; i + 1 < s.size(); ++i)
        if (s[i] == 0xFF && s[i + 1] == 0xDA) starts.push_back(i);
    return starts;
}

class ProgressiveCut : public ::testing::Test {
protected:
    void SetUp() override {
        RawImage photo;
        if (!test::load_test_photo(&photo)) GTEST_SKIP() << "corpus not found beside the checkout";
        source_ = test::crop_image(photo, 20, 10, 75, 53, 3);
        // The luma's high band comes before its low band, so the output condition
        // (full DC, and a final band ending at 63 begun for every component) is
        // met after the fourth scan while the low luma frequencies are still to come.
        test::RefEncodeOptions options;
        options.scans = {
            {3, {0, 1, 2, 0}, 0, 0, 0, 0},
            {1, {0, 0, 0, 0}, 6, 63, 0, 0},
            {1, {1, 0, 0, 0}, 1, 63, 0, 0},
            {1, {2, 0, 0, 0}, 1, 63, 0, 0},
            {1, {0, 0, 0, 0}, 1, 5, 0, 0},
        };
        std::string error;
        ASSERT_TRUE(test::ref_encode(source_, options, &full_, &error)) << error;
        const auto starts = scan_starts(full_);
        ASSERT_EQ(starts.size(), 5u);
        // Everything up to the fifth scan's header: four complete scans.
        cut_.assign(full_.begin(), full_.begin() + starts[4]);
    }
    RawImage source_;
    std::vector<uint8_t> full_;
    std::vector<uint8_t> cut_;
};

TEST_F(ProgressiveCut, PictureHasThePrecisionReceived) {
    // The reference decodes the same scans when the stream ends properly there.
    std::vector<uint8_t> ended(cut_);
    ended.push_back(0xFF);
    ended.push_back(0xD9);
    RawImage reference;
    std::string error;
    ASSERT_TRUE(test::ref_decode(ended.data(), ended.size(), {}, &reference, &error)) << error;

    test::OurDecodeOptions options;
    const auto with_end = test::our_decode(ended, options);
    ASSERT_EQ(with_end.status, STATUS_SUCCESS);
    const auto diff = test::compare_images(with_end.image, reference);
    EXPECT_TRUE(diff.same_shape);
    EXPECT_GE(diff.psnr, 45.0);
    EXPECT_LE(diff.max_diff, 8);

    // Without the end marker the request fails the way a memory stream that
    // runs out does, but the picture already rendered stays in the DIB.
    JPEG_STATUS status = STATUS_SUCCESS;
    const auto cut = decode_rgb(cut_, &status);
    EXPECT_LT(status, 0);
    EXPECT_EQ(cut, with_end.image.pixels);

    // It really is a coarser picture than the whole stream gives.
    const auto whole = test::our_decode(full_, options);
    ASSERT_EQ(whole.status, STATUS_SUCCESS);
    EXPECT_NE(whole.image.pixels, with_end.image.pixels);
}

TEST_F(ProgressiveCut, NoUninitialisedMemoryReachesThePicture) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "memcheck cannot run a sanitizer build";
#else
    const char* tool = std::getenv("VANTOREL_TOOL");
    if (tool == nullptr || std::system("command -v valgrind >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "valgrind or the tool is not available";
    for (const auto* stream : {&cut_, &full_}) {
        const std::string in = test::scratch_path(stream == &cut_ ? "cut.jpg" : "whole.jpg");
        const std::string out = test::scratch_path("cut_out.ppm");
        FILE* f = std::fopen(in.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(stream->data(), 1, stream->size(), f);
        std::fclose(f);
        for (const char* extra : {"", "--smooth", "--step", "--scale 2"}) {
            const std::string command = std::string("valgrind -q --error-exitcode=99 --track-origins=yes ") + tool +
                                        " decode " + in + " " + out + " " + extra + " >/dev/null 2>&1";
            const int rc = std::system(command.c_str());
            ASSERT_NE(rc, -1);
            EXPECT_NE(WEXITSTATUS(rc), 99) << command;
        }
    }
#endif
}

}  // namespace
}  // namespace vantorel
