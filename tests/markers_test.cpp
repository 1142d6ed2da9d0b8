// The decode driver through the read operation: where each request kind stops,
// how a parameters request hands over to an image request (file and memory),
// SOI and EOI rules, unsupported frames, skipped segments, and the stores the
// driver sizes for a frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "codec/decoder/decoder.h"
#include "platform/files.h"
#include "support/front_streams.h"
#include "support/reference_jpeg.h"

namespace vantorel {
namespace {

using test::Codec;
using test::StreamBuilder;

size_t offset_of(const std::vector<uint8_t>& data, uint8_t code) {
    for (size_t i = 0; i + 1 < data.size(); ++i)
        if (data[i] == 0xFF && data[i + 1] == code) return i;
    return data.size();
}

bool all_equal(const std::vector<uint8_t>& pixels, uint8_t value) {
    return std::all_of(pixels.begin(), pixels.end(), [value](uint8_t p) { return p == value; });
}

TEST(ParamsThenImage, FileStaysOpenAtTheFirstSosAndTheImageRequestReadsOnFromThere) {
    const std::vector<uint8_t> stream = test::gray_image(16, 16).data();
    const std::string path = test::write_scratch("params_image", stream);
    Codec codec;
    ASSERT_EQ(codec.read_file(READ_PARAMS_FILE, path), STATUS_SUCCESS);
    EXPECT_EQ(codec->jpeg_width, 16);
    EXPECT_EQ(codec->jpeg_height, 16);
    EXPECT_EQ(codec->jpeg_channels, 1);
    EXPECT_EQ(codec->jpeg_color, CS_GRAY);
    EXPECT_EQ(codec->jpeg_subsampling, SUBSAMPLE_NONE);
    void* file = codec.props().source.file;
    ASSERT_NE(file, nullptr);
    uint8_t next[2] = {};
    uint32_t done = 0;
    ASSERT_TRUE(platform::read_file(file, next, 2, &done));
    EXPECT_EQ(next[0], 0xFF);
    EXPECT_EQ(next[1], 0xDA);
    ASSERT_TRUE(platform::seek_file(file, -2, platform::SEEK_FROM_CURRENT));

    // Gone from the disk: the image request must use the file it was handed.
    std::filesystem::remove(path);
    codec.gray_dib(16, 16);
    EXPECT_EQ(read_image(&*codec, READ_IMAGE_FILE), STATUS_SUCCESS);
    EXPECT_EQ(codec.props().source.file, nullptr);
    EXPECT_TRUE(all_equal(codec.pixels, 128));
}

TEST(ParamsThenImage, MemoryParamsGiveBackTheScanHeaderWithinTheBuffer) {
    const std::vector<uint8_t> stream = test::gray_image(16, 8).data();
    Codec codec;
    ASSERT_EQ(codec.read_buffer(READ_PARAMS_BUFFER, stream), STATUS_SUCCESS);
    const BYTE_SOURCE& source = codec.props().source;
    EXPECT_EQ(source.begin, stream.data() + offset_of(stream, 0xDA));
    EXPECT_EQ(source.end, stream.data() + stream.size());
    EXPECT_EQ(source.begin + source.size, source.end);

    codec.gray_dib(16, 8);
    EXPECT_EQ(codec.read_buffer(READ_IMAGE_BUFFER, stream), STATUS_SUCCESS);
    EXPECT_TRUE(all_equal(codec.pixels, 128));
}

TEST(ParamsThenImage, AParametersRequestAfterAnotherReadsTheNewStreamFromItsStart) {
    Codec codec;
    const std::vector<uint8_t> first = test::gray_image(16, 8).data();
    const std::vector<uint8_t> second = test::gray_image(40, 24).data();
    ASSERT_EQ(codec.read_buffer(READ_PARAMS_BUFFER, first), STATUS_SUCCESS);
    ASSERT_EQ(codec.read_buffer(READ_PARAMS_BUFFER, second), STATUS_SUCCESS);
    EXPECT_EQ(codec->jpeg_width, 40);
    EXPECT_EQ(codec.props().stage_table->scan_header_size, 10);
}

TEST(FailedRequests, NeverLeaveAFileOpen) {
    Codec codec;
    EXPECT_EQ(codec.read_file(READ_PARAMS_FILE, test::front_scratch("missing")), STATUS_INVALID_FILE_NAME);
    EXPECT_EQ(codec.props().source.file, nullptr);
    const std::string not_jpeg = test::write_scratch("not_jpeg", {0xFF, 0xD9, 0xFF, 0xD8});
    EXPECT_EQ(codec.read_file(READ_PARAMS_FILE, not_jpeg), STATUS_NOT_JPEG);
    EXPECT_EQ(codec.props().source.file, nullptr);
    const std::string headers_only = test::write_scratch("headers_only", test::gray_headers(8, 8).data());
    EXPECT_EQ(codec.read_file(READ_PARAMS_FILE, headers_only), STATUS_FILE_ERROR);
    EXPECT_EQ(codec.props().source.file, nullptr);
    std::filesystem::remove(not_jpeg);
    std::filesystem::remove(headers_only);
}

TEST(StreamStart, EveryStreamStartingKindNeedsSoi) {
    const std::vector<uint8_t> stream = {0xFF, 0xD9, 0xFF, 0xD8, 0xFF, 0xD9};
    for (IO_MODE kind : {READ_PARAMS_BUFFER, READ_TABLES_BUFFER, READ_THUMBNAIL_BUFFER}) {
        Codec codec;
        codec.rgb_dib(4, 4, CS_BGR);
        EXPECT_EQ(codec.read_buffer(kind, stream), STATUS_NOT_JPEG) << kind;
    }
}

TEST(StreamStart, ArithmeticLosslessAndOtherFramesAreUnsupported) {
    for (uint8_t code : {0xC3, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCD, 0xCE, 0xCF}) {
        StreamBuilder s;
        s.soi().segment(code, test::sof_body(8, 8, 8, {{1, 0x11, 0}})).eoi();
        Codec codec;
        EXPECT_EQ(codec.read_buffer(READ_PARAMS_BUFFER, s.data()), STATUS_UNSUPPORTED_FRAME) << int(code);
    }
}

TEST(StreamStart, RealArithmeticAnd12BitFilesAreUnsupported) {
    const std::filesystem::path corpus = std::filesystem::path(VANTOREL_CORPUS_DIR) / "libjpeg-turbo";
    if (!std::filesystem::exists(corpus)) GTEST_SKIP() << "reference corpus not found at " << corpus;
    for (const char* name : {"testimgari.jpg", "monkey12.jpg"}) {
        Codec codec;
        const std::string path = (corpus / name).string();
        EXPECT_EQ(codec.read_file(READ_PARAMS_FILE, path), STATUS_UNSUPPORTED_FRAME) << name;
        EXPECT_EQ(codec.props().source.file, nullptr);
    }
}

// Every real file, from disk and from memory alike: the same status both ways,
// no file left open, and for what the reference decoder reads as a supported
// frame, the same size and component count.
TEST(RealFiles, ParametersAgreeBetweenFileAndMemoryAndWithTheReferenceDecoder) {
    const std::filesystem::path corpus = std::filesystem::path(VANTOREL_CORPUS_DIR) / "jpeg-decoder";
    if (!std::filesystem::exists(corpus)) GTEST_SKIP() << "reference corpus not found at " << corpus;
    int compared = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".jpg") continue;
        const std::string path = entry.path().string();
        const std::vector<uint8_t> bytes = test::read_file_bytes(path);
        Codec from_file;
        const JPEG_STATUS file_status = from_file.read_file(READ_PARAMS_FILE, path);
        if (file_status < 0) {
            EXPECT_EQ(from_file.props().source.file, nullptr) << path;
        }
        if (bytes.empty()) continue;  // a memory request needs at least one byte
        Codec from_memory;
        const JPEG_STATUS memory_status = from_memory.read_buffer(READ_PARAMS_BUFFER, bytes);
        // At the end of data a file reports a file error and memory a memory error.
        if (!(file_status == STATUS_FILE_ERROR && memory_status == STATUS_MEMORY_ERROR)) {
            EXPECT_EQ(file_status, memory_status) << path;
        }
        EXPECT_EQ(from_file->jpeg_width, from_memory->jpeg_width) << path;

        const test::RefHeader ref = test::ref_read_header(bytes.data(), bytes.size());
        if (!ref.ok || ref.arithmetic || ref.bad_precision || ref.warnings != 0 ||
            path.find("lossless") != std::string::npos || path.find("crashtest") != std::string::npos)
            continue;
        ++compared;
        EXPECT_EQ(memory_status, STATUS_SUCCESS) << path;
        EXPECT_EQ(from_memory->jpeg_width, ref.width) << path;
        EXPECT_EQ(from_memory->jpeg_height, ref.height) << path;
        EXPECT_EQ(from_memory->jpeg_channels, ref.components) << path;
    }
    EXPECT_GT(compared, 10);
}

TEST(SkippedSegments, AreSkippedByTheirLengthAndRstOutsideAScanIsIgnored) {
    // Bodies full of what would be an unsupported frame marker if searched.
    const std::vector<uint8_t> trap = {0xFF, 0xC3, 0xFF, 0xC3, 0x00};
    StreamBuilder s;
    s.soi().segment(0xE1, trap).segment(0xCC, trap).segment(0xE5, trap).segment(0xF0, trap);
    s.segment(0x02, trap).marker(0xD3);
    const std::vector<uint8_t> tail = test::gray_image(24, 8).data();
    s.bytes(std::vector<uint8_t>(tail.begin() + 2, tail.end()));  // the image without its SOI
    Codec codec;
    EXPECT_EQ(codec.read_buffer(READ_PARAMS_BUFFER, s.data()), STATUS_SUCCESS);
    EXPECT_EQ(codec->jpeg_width, 24);
}

TEST(RepeatedFrames, ASecondSof2IsPassedOverAndASecondSof0ReplacesTheFrame) {
    // The SOF2 body's height bytes read as an unsupported frame marker if searched.
    StreamBuilder ignored = test::gray_headers(16, 8);
    ignored.segment(0xC2, test::sof_body(8, 0xFFC3, 64, {{1, 0x11, 0}}));
    ignored.segment(0xC1, test::sof_body(8, 0xFFC3, 64, {{1, 0x11, 0}}));
    ignored.segment(0xDA, test::sos_body({{1, 0x00}})).eoi();
    Codec a;
    ASSERT_EQ(a.read_buffer(READ_PARAMS_BUFFER, ignored.data()), STATUS_SUCCESS);
    EXPECT_EQ(a->jpeg_width, 16);
    EXPECT_EQ(a->jpeg_height, 8);

    StreamBuilder replaced = test::gray_headers(16, 8);
    replaced.segment(0xC0, test::sof_body(8, 24, 40, {{1, 0x11, 0}}));
    replaced.segment(0xDA, test::sos_body({{1, 0x00}})).eoi();
    Codec b;
    ASSERT_EQ(b.read_buffer(READ_PARAMS_BUFFER, replaced.data()), STATUS_SUCCESS);
    EXPECT_EQ(b->jpeg_width, 40);
    EXPECT_EQ(b->jpeg_height, 24);
}

TEST(EndOfImage, TablesOnlyStreamFollowedByTheImageDecodes) {
    StreamBuilder s;
    s.soi().segment(0xDB, test::dqt_body(0x00));
    test::add_gray_tables(s);
    s.eoi();
    StreamBuilder image;
    image.soi().segment(0xC0, test::sof_body(8, 8, 8, {{1, 0x11, 0}}));
    image.segment(0xDA, test::sos_body({{1, 0x00}})).bytes({0x1F}).eoi();
    s.bytes(image.data());
    Codec codec;
    codec.gray_dib(8, 8);
    EXPECT_EQ(codec.read_buffer(READ_IMAGE_BUFFER, s.data()), STATUS_SUCCESS);
    EXPECT_TRUE(all_equal(codec.pixels, 128));
}

TEST(EndOfImage, WithoutAFrameItMustBeFollowedBySoi) {
    StreamBuilder s;
    s.soi().segment(0xDB, test::dqt_body(0x00)).eoi().segment(0xC4, test::dht_body(0x00, {1}, {0}));
    Codec codec;
    codec.gray_dib(8, 8);
    EXPECT_EQ(codec.read_buffer(READ_IMAGE_BUFFER, s.data()), STATUS_NO_IMAGE);

    StreamBuilder at_end;
    at_end.soi().segment(0xDB, test::dqt_body(0x00)).eoi();
    const std::string path = test::write_scratch("eoi_at_end", at_end.data());
    Codec file_codec;
    file_codec.gray_dib(8, 8);
    EXPECT_EQ(file_codec.read_file(READ_IMAGE_FILE, path), STATUS_FILE_ERROR);
    std::filesystem::remove(path);

    Codec params;
    EXPECT_EQ(params.read_buffer(READ_PARAMS_BUFFER, at_end.data()), STATUS_SUCCESS);
}

TEST(TablesRequest, StopsInFrontOfTheFrameHeader) {
    const std::vector<uint8_t> stream = test::gray_image(16, 16).data();
    Codec codec;
    ASSERT_EQ(codec.read_buffer(READ_TABLES_BUFFER, stream), STATUS_SUCCESS);
    EXPECT_EQ(codec.props().source.position, static_cast<int32_t>(offset_of(stream, 0xC0)));
    EXPECT_EQ(codec.props().quant_table_count, 1);
    EXPECT_EQ(codec.props().awaiting_frame, 1);
    EXPECT_EQ(codec->jpeg_width, 0);
}

TEST(ScanHazards, AScanOfNoComponentsIsPassedOver) {
    StreamBuilder s = test::gray_headers(8, 8);
    s.segment(0xDA, {0, 0, 63, 0}).bytes({0x12, 0x34});
    s.segment(0xDA, test::sos_body({{1, 0x00}})).bytes({0x1F}).eoi();
    Codec codec;
    codec.gray_dib(8, 8);
    EXPECT_EQ(codec.read_buffer(READ_IMAGE_BUFFER, s.data()), STATUS_SUCCESS);
    EXPECT_TRUE(all_equal(codec.pixels, 128));
}

TEST(ScanHazards, AScanNamingNeverDefinedTablesDecodesSafely) {
    StreamBuilder s = test::gray_headers(16, 16);
    std::vector<uint8_t> data(300);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 29 + 5) & 0xFE;
    s.segment(0xDA, test::sos_body({{1, 0x33}})).bytes(data).eoi();
    Codec codec;
    codec.gray_dib(16, 16);
    EXPECT_EQ(codec.read_buffer(READ_IMAGE_BUFFER, s.data()), STATUS_SUCCESS);
}

TEST(ScanHazards, AProgressiveBandOutsideTheBlockIsRejected) {
    StreamBuilder s = test::gray_headers(8, 8);
    s.segment(0xDA, test::sos_body({{1, 0x00}}, 1, 64, 0)).bytes({0x00}).eoi();
    Codec codec;
    codec.gray_dib(8, 8);
    EXPECT_EQ(codec.read_buffer(READ_IMAGE_BUFFER, s.data()), STATUS_DATA_ERROR);
    EXPECT_EQ(codec.props().current_scan, nullptr);
}

// A progressive grey image whose first scan is an AC scan with no data: nothing
// is decoded into the store, so it shows exactly how it was allocated.
std::vector<uint8_t> progressive_gray(uint16_t width, uint16_t height) {
    StreamBuilder s;
    s.soi().segment(0xDB, test::dqt_body(0x00));
    s.segment(0xC2, test::sof_body(8, height, width, {{1, 0x11, 0}}));
    test::add_gray_tables(s);
    s.segment(0xDA, test::sos_body({{1, 0x00}}, 1, 63, 0)).eoi();
    return s.data();
}

TEST(FrameStores, TheCoefficientStoreStartsZeroed) {
    const std::vector<uint8_t> stream = progressive_gray(64, 32);
    Codec codec;
    codec.gray_dib(64, 32);
    ASSERT_EQ(codec.read_buffer(READ_IMAGE_BUFFER, stream), STATUS_SUCCESS);
    ASSERT_NE(codec.props().coef_buffer, nullptr);
    const int16_t* store = codec.props().coef_buffer;
    EXPECT_TRUE(std::all_of(store, store + 8 * 4 * 64, [](int16_t c) { return c == 0; }));
}

TEST(FrameStores, ANewFrameShapeReleasesStoresMadeForTheOldOne) {
    Codec codec;
    codec.props().upsample_filter = 1;
    codec.gray_dib(16, 16);
    ASSERT_EQ(codec.read_buffer(READ_IMAGE_BUFFER, progressive_gray(16, 16)), STATUS_SUCCESS);
    ASSERT_NE(codec.props().coef_buffer, nullptr);
    ASSERT_NE(codec.props().smooth_ring, nullptr);

    const std::vector<uint8_t> larger = progressive_gray(200, 64);
    ASSERT_EQ(codec.read_buffer(READ_PARAMS_BUFFER, larger), STATUS_SUCCESS);
    EXPECT_EQ(codec.props().coef_buffer, nullptr);
    EXPECT_EQ(codec.props().smooth_ring, nullptr);
    codec.gray_dib(200, 64);
    EXPECT_EQ(codec.read_buffer(READ_IMAGE_BUFFER, larger), STATUS_SUCCESS);
    EXPECT_NE(codec.props().coef_buffer, nullptr);
}

TEST(FrameStores, AStoreTooLargeForTheFrameGivesMemoryError) {
    StreamBuilder s;
    s.soi().segment(0xDB, test::dqt_body(0x00));
    s.segment(0xC2, test::sof_body(8, 65535, 65535, {{1, 0x44, 0}}));
    test::add_gray_tables(s);
    s.segment(0xDA, test::sos_body({{1, 0x00}}, 0, 0, 0)).eoi();
    Codec codec;
    codec.gray_dib(1, 1);
    EXPECT_EQ(codec.read_buffer(READ_IMAGE_BUFFER, s.data()), STATUS_MEMORY_ERROR);
    EXPECT_EQ(codec.props().coef_buffer, nullptr);
    EXPECT_EQ(codec.props().current_scan, nullptr);
}

}  // namespace
}  // namespace vantorel
