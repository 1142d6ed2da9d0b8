// Hostile input: malformed files, every truncation of real streams and single
// byte changes in their marker segments. Whatever arrives, each request returns
// a status, in bounded time, and (under the sanitizer build) stays inside its
// buffers and leaks nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "front/front.h"
#include "support/front_streams.h"
#include "support/reference_jpeg.h"

namespace vantorel {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = VANTOREL_CORPUS_DIR;
// A request that takes longer than this is treated as a hang (sanitizer builds
// are several times slower than release builds; the streams here are small).
constexpr double kRequestSecondsLimit = 20.0;
// Pictures larger than this on either side are decoded as a region of this size.
constexpr int32_t kMaxSide = 2048;

std::vector<uint8_t> read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct RequestShape {
    IO_MODE kind;
    COLOR_SPACE color;
    int32_t channels;
    bool smooth;
    bool step;
    bool region;
};

constexpr RequestShape kShapes[] = {
    {READ_IMAGE_BUFFER, CS_BGR, 3, false, false, false},
    {READ_IMAGE_BUFFER, CS_RGB, 3, true, false, false},
    {READ_IMAGE_BUFFER, CS_QUAD, 4, false, true, false},
    {READ_IMAGE_BUFFER, CS_BGR, 3, false, false, true},
    {READ_IMAGE_HALF_BUFFER, CS_BGR, 3, false, false, false},
    {READ_IMAGE_EIGHTH_BUFFER, CS_GRAY, 1, false, false, false},
};

// Runs a parameters request and then, when it succeeds, one image request of the
// given shape on the same record. Returns false when a request took too long.
bool decode_in_memory(const std::vector<uint8_t>& stream, const RequestShape& shape) {
    if (stream.empty()) return true;
    auto record = std::make_unique<JPEG_RECORD>();
    std::memset(record.get(), 0, sizeof(JPEG_RECORD));
    if (open_codec(record.get()) != STATUS_SUCCESS) return true;
    JPEG_RECORD* r = record.get();
    // An exactly sized copy, so reading one byte past the stream is caught.
    std::vector<uint8_t> copy(stream);
    r->jpeg_buffer = copy.data();
    r->jpeg_buffer_size = static_cast<int32_t>(copy.size());
    uint8_t comment[16];
    r->props.jpeg_comment = comment;
    r->props.jpeg_comment_size = sizeof comment;

    const auto start = std::chrono::steady_clock::now();
    JPEG_STATUS status = read_image(r, READ_PARAMS_BUFFER);
    EXPECT_LE(status, STATUS_ROI_SUCCESS);
    EXPECT_GE(status, STATUS_COMMENT_BUFFER_ERROR);
    if (status == STATUS_SUCCESS && r->jpeg_width > 0 && r->jpeg_height > 0) {
        const int32_t scale = shape.kind == READ_IMAGE_HALF_BUFFER ? 2 : shape.kind == READ_IMAGE_EIGHTH_BUFFER ? 8 : 1;
        int32_t w = (r->jpeg_width + scale - 1) / scale;
        int32_t h = (r->jpeg_height + scale - 1) / scale;
        if (w > kMaxSide || h > kMaxSide) {
            // No caller holds a DIB for a frame this large: it asks for a region.
            r->props.roi_right = std::min(w, kMaxSide);
            r->props.roi_bottom = std::min(h, kMaxSide);
            w = r->props.roi_right;
            h = r->props.roi_bottom;
        } else if (shape.region) {
            r->props.roi_left = w / 3;
            r->props.roi_top = h / 3;
            r->props.roi_right = w / 3 + (w + 1) / 2;
            r->props.roi_bottom = h / 3 + (h + 1) / 2;
            w = r->props.roi_right - r->props.roi_left;
            h = r->props.roi_bottom - r->props.roi_top;
        }
        if (r->jpeg_channels == 4) {
            r->dib_color = CS_QUAD;
            r->dib_channels = 4;
        } else if (r->jpeg_channels != 3 && r->jpeg_channels != 1) {
            r->jpeg_color = CS_OTHER;
            r->dib_color = CS_OTHER;
            r->dib_channels = r->jpeg_channels;
        } else {
            r->dib_color = shape.color;
            r->dib_channels = shape.channels;
            if (r->jpeg_color == CS_RGB && shape.color == CS_GRAY) {
                r->dib_color = CS_RGB;
                r->dib_channels = 3;
            }
            if (r->jpeg_channels == 1 && shape.color == CS_QUAD) r->dib_channels = 4;
        }
        r->dib_width = std::max(w, 1);
        r->dib_height = std::max(h, 1);
        r->dib_row_pad = 3;
        r->props.upsample_filter = shape.smooth ? 1 : 0;
        std::vector<uint8_t> dib(static_cast<size_t>(r->dib_width * r->dib_channels + 3) * r->dib_height);
        r->dib_pixels = dib.data();
        const MCU_RECT roi{r->props.roi_left, r->props.roi_top, r->props.roi_right, r->props.roi_bottom};
        int reads = 0;
        do {
            r->props.roi_left = roi.left;
            r->props.roi_top = roi.top;
            r->props.roi_right = roi.right;
            r->props.roi_bottom = roi.bottom;
            r->props.interrupt_request = shape.step ? 1 : 0;
            status = read_image(r, shape.kind);
            EXPECT_LE(status, STATUS_ROI_SUCCESS);
            EXPECT_GE(status, STATUS_COMMENT_BUFFER_ERROR);
        } while (status == STATUS_INTERRUPT_SUCCESS && ++reads < 1000000);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(close_codec(r), STATUS_SUCCESS);
    return seconds < kRequestSecondsLimit;
}

std::vector<fs::path> files_under(const fs::path& folder) {
    std::vector<fs::path> files;
    if (!fs::is_directory(folder)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().extension() != ".md" && entry.path().extension() != ".txt")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(HostileInput, EveryCrashTestFileEndsWithAStatus) {
    const auto files = files_under(kCorpus / "jpeg-decoder/crashtest");
    if (files.empty()) GTEST_SKIP() << "corpus not found beside the checkout";
    for (const auto& file : files) {
        const auto bytes = read_file(file);
        for (const RequestShape& shape : kShapes)
            EXPECT_TRUE(decode_in_memory(bytes, shape)) << file << " took too long";
    }
}

// Streams with the traits that exercise different paths: baseline 4:2:0, restart
// intervals, progressive, four components, components in separate scans.
const char* const kRealStreams[] = {
    "libjpeg-turbo/testorig.jpg",
    "jpeg-decoder/reftest/images/restarts.jpg",
    "libjpeg-turbo/testimgint.jpg",
    "jpeg-decoder/reftest/images/mozilla/jpg-cmyk-1.jpg",
    "jpeg-decoder/reftest/images/non-interleaved-mcu.jpg",
};

TEST(HostileInput, EveryTruncationOfRealStreams) {
    for (const char* name : kRealStreams) {
        const auto bytes = read_file(kCorpus / name);
        if (bytes.empty()) GTEST_SKIP() << "corpus not found beside the checkout";
        for (int part = 1; part < 64; ++part) {
            std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + bytes.size() * part / 64);
            const RequestShape& shape = kShapes[part % std::size(kShapes)];
            EXPECT_TRUE(decode_in_memory(cut, shape)) << name << " cut at " << part << "/64";
        }
    }
}

// The bytes of every marker segment before the first scan's data: the headers,
// tables and the scan header itself.
std::vector<size_t> header_offsets(const std::vector<uint8_t>& bytes) {
    std::vector<size_t> offsets;
    size_t i = 2;
    while (i + 4 <= bytes.size() && bytes[i] == 0xFF) {
        const uint8_t code = bytes[i + 1];
        const size_t length = static_cast<size_t>(bytes[i + 2]) << 8 | bytes[i + 3];
        for (size_t k = i + 1; k < i + 2 + length && k < bytes.size(); ++k) offsets.push_back(k);
        if (code == 0xDA) break;
        i += 2 + length;
    }
    return offsets;
}

TEST(HostileInput, SingleByteChangesInMarkerSegments) {
    for (const char* name : kRealStreams) {
        const auto bytes = read_file(kCorpus / name);
        if (bytes.empty()) GTEST_SKIP() << "corpus not found beside the checkout";
        const auto offsets = header_offsets(bytes);
        ASSERT_FALSE(offsets.empty()) << name;
        size_t n = 0;
        for (size_t offset : offsets) {
            // Two changes per byte: one of a few telling values, and the byte plus one.
            static const uint8_t kValues[] = {0x00, 0xFF, 0x01, 0x7F, 0x80, 0x10, 0x44};
            for (uint8_t value : {kValues[n % std::size(kValues)], static_cast<uint8_t>(bytes[offset] + 1)}) {
                std::vector<uint8_t> changed(bytes);
                changed[offset] = value;
                const RequestShape& shape = kShapes[n++ % std::size(kShapes)];
                EXPECT_TRUE(decode_in_memory(changed, shape)) << name << " byte " << offset;
            }
        }
    }
}


// ---------------------------------------------------------------------------
// Size and arithmetic limits
// ---------------------------------------------------------------------------

struct FrameSampling {
    const char* name;
    std::vector<test::FrameComponent> components;
};

const FrameSampling kSamplings[] = {
    {"grey 1x1", {{1, 0x11, 0}}},
    {"grey 4x4", {{1, 0x44, 0}}},
    {"4:2:0", {{1, 0x22, 0}, {2, 0x11, 0}, {3, 0x11, 0}}},
    {"4:2:2", {{1, 0x21, 0}, {2, 0x11, 0}, {3, 0x11, 0}}},
    {"three 4x4", {{1, 0x44, 0}, {2, 0x44, 0}, {3, 0x44, 0}}},
    {"4x1 and 1x4", {{1, 0x41, 0}, {2, 0x14, 0}, {3, 0x11, 0}}},
    {"ratio 3", {{1, 0x13, 0}, {2, 0x31, 0}, {3, 0x11, 0}}},
    {"four 2x2", {{1, 0x22, 0}, {2, 0x11, 0}, {3, 0x11, 0}, {4, 0x22, 0}}},
    {"four 4x4", {{1, 0x44, 0}, {2, 0x44, 0}, {3, 0x44, 0}, {4, 0x44, 0}}},
};

// A frame of the largest size a header can state, with one scan over all its
// components whose data are zero bits (every block flat), then EOI.
std::vector<uint8_t> largest_frame(const FrameSampling& sampling, bool progressive) {
    test::StreamBuilder s;
    s.soi().segment(0xDB, test::dqt_body(0x00));
    s.segment(progressive ? 0xC2 : 0xC0, test::sof_body(8, 65535, 65535, sampling.components));
    test::add_gray_tables(s);
    std::vector<std::pair<uint8_t, uint8_t>> scan;
    for (const auto& c : sampling.components) scan.push_back({c.id, 0x00});
    s.segment(0xDA, progressive ? test::sos_body(scan, 0, 0, 0) : test::sos_body(scan));
    s.bytes(std::vector<uint8_t>(512, 0x00));
    s.eoi();
    return s.data();
}

// Headers stating 65535 x 65535 pixels, with every sampling: the sizes of all
// the stores a decode needs are worked out without overflow. A sequential frame
// decodes a region at its top-left corner; a progressive one needs a store of
// every coefficient, far more than any process can hold, and is refused with
// the memory status rather than allocated short.
TEST(HostileLimits, LargestFramesOfEverySamplingDecodeARegionOrRefuseTheStore) {
    for (const FrameSampling& sampling : kSamplings) {
        for (bool progressive : {false, true}) {
            const std::vector<uint8_t> stream = largest_frame(sampling, progressive);
            for (IO_MODE kind : {READ_IMAGE_BUFFER, READ_IMAGE_EIGHTH_BUFFER}) {
                for (int32_t smooth : {0, 1}) {
                    SCOPED_TRACE(std::string(sampling.name) + (progressive ? " progressive" : " sequential") +
                                 " kind " + std::to_string(kind) + " smoothing " + std::to_string(smooth));
                    test::Codec codec;
                    ASSERT_EQ(codec.open_status(), STATUS_SUCCESS);
                    ASSERT_EQ(codec.read_buffer(READ_PARAMS_BUFFER, stream), STATUS_SUCCESS);
                    EXPECT_EQ(codec->jpeg_width, 65535);
                    EXPECT_EQ(codec->jpeg_height, 65535);
                    const int32_t n = static_cast<int32_t>(sampling.components.size());
                    EXPECT_EQ(codec->jpeg_channels, n);
                    codec->jpeg_color = n == 4 ? CS_QUAD : n == 3 ? CS_YCBCR : CS_GRAY;
                    codec->dib_color = n == 4 ? CS_QUAD : CS_BGR;
                    codec->dib_channels = n == 4 ? 4 : 3;
                    codec->dib_width = 64;
                    codec->dib_height = 48;
                    codec->dib_row_pad = 0;
                    std::vector<uint8_t> dib(64 * 48 * 4 + 16, 0xA5);
                    codec->dib_pixels = dib.data();
                    codec.props().upsample_filter = smooth;
                    codec.props().roi_right = 64;
                    codec.props().roi_bottom = 48;
                    const JPEG_STATUS status = codec.read_buffer(kind, stream);
                    if (progressive) {
                        EXPECT_EQ(status, STATUS_MEMORY_ERROR);
                    } else {
                        EXPECT_EQ(status, STATUS_ROI_SUCCESS);
                        // Flat blocks at the middle grey: every written pixel is 128
                        // or its colour conversion, never the fill byte.
                        EXPECT_NE(dib[0], 0xA5);
                    }
                    // The DIB's bytes past the region's rows stay untouched.
                    const size_t used = static_cast<size_t>(64) * codec->dib_channels * 48;
                    for (size_t i = used; i < dib.size(); ++i) ASSERT_EQ(dib[i], 0xA5) << i;
                }
            }
        }
    }
}

// Processor-variant kernels round the red and blue terms a little differently
// from the routines that write clipped MCUs, and a region clips MCUs that a whole
// decode writes in full: comparisons byte for byte use the generic fill.
struct GenericFill {
    std::string saved;
    bool had = false;
    GenericFill() {
        if (const char* v = std::getenv("VANTOREL_USECPU")) {
            saved = v;
            had = true;
        }
        setenv("VANTOREL_USECPU", "0", 1);
    }
    ~GenericFill() {
        if (had)
            setenv("VANTOREL_USECPU", saved.c_str(), 1);
        else
            unsetenv("VANTOREL_USECPU");
    }
};

// The reference encoder stops at 65500 lines (8188 MCU rows of 8). With a
// restart marker after every MCU row each row's data stand alone, so the stream
// is made 65535 lines high (8192 MCU rows) by raising its frame header and
// appending the data of its first four rows again as rows 8188-8191.
std::vector<uint8_t> tallest_photo_stream(int width) {
    test::RawImage photo;
    if (!test::load_test_photo(&photo)) return {};
    const test::RawImage source = test::crop_image(photo, 5, 7, width, 65500, 3);
    test::RefEncodeOptions options;
    options.quality = 80;
    test::set_sampling(&options, 1, 1);
    options.restart_rows = 1;
    std::vector<uint8_t> encoded;
    std::string error;
    EXPECT_TRUE(test::ref_encode(source, options, &encoded, &error)) << error;
    // Split at the scan header and at every marker inside the scan data.
    size_t i = 2, data = 0;
    while (i + 4 <= encoded.size() && encoded[i] == 0xFF) {
        const size_t length = static_cast<size_t>(encoded[i + 2]) << 8 | encoded[i + 3];
        if (encoded[i + 1] == 0xC0) {
            encoded[i + 5] = 0xFF;  // the frame's height, big-endian
            encoded[i + 6] = 0xFF;
        }
        if (encoded[i + 1] == 0xDA) {
            data = i + 2 + length;
            break;
        }
        i += 2 + length;
    }
    if (data == 0) return {};
    std::vector<std::vector<uint8_t>> rows(1);
    for (size_t k = data; k < encoded.size(); ++k) {
        if (encoded[k] == 0xFF && k + 1 < encoded.size() && encoded[k + 1] != 0x00) {
            if (encoded[k + 1] == 0xD9) break;
            rows.emplace_back();
            ++k;
            continue;
        }
        rows.back().push_back(encoded[k]);
    }
    EXPECT_EQ(rows.size(), 8188u);
    std::vector<uint8_t> out(encoded.begin(), encoded.begin() + static_cast<long>(data));
    for (size_t r = 0; r < 8192 && rows.size() >= 4; ++r) {
        if (r > 0) {
            out.push_back(0xFF);
            out.push_back(static_cast<uint8_t>(0xD0 + (r - 1) % 8));
        }
        const std::vector<uint8_t>& row = rows[r < rows.size() ? r : r - rows.size()];
        out.insert(out.end(), row.begin(), row.end());
    }
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
}

// An image 16 pixels wide and 65535 high with 1x1 sampling has 8192 MCU rows,
// one more than the row index was first made for. Regions anywhere in it, from
// memory and from a file, read one after another on one record (so later ones
// seek through the index), give exactly the pixels of the whole decode.
TEST(HostileLimits, RegionsOfAnImageWithMoreThan8191McuRowsMatchTheWholeDecode) {
    // Variant kernels round red and blue a little differently from the routines
    // that write clipped MCUs; regions clip MCUs the whole decode writes whole.
    const GenericFill generic;
    constexpr int kWidth = 16, kHeight = 65535;
    const std::vector<uint8_t> stream = tallest_photo_stream(kWidth);
    if (stream.empty()) GTEST_SKIP() << "corpus not found beside the checkout";
    const std::string path = test::write_scratch("tall", stream);

    // The whole picture, as the reference for every region.
    test::Codec whole;
    ASSERT_EQ(whole.read_buffer(READ_PARAMS_BUFFER, stream), STATUS_SUCCESS);
    ASSERT_EQ(whole->jpeg_height, kHeight);
    whole->dib_width = kWidth;
    whole->dib_height = kHeight;
    whole->dib_color = CS_BGR;
    whole->dib_channels = 3;
    std::vector<uint8_t> all(static_cast<size_t>(kWidth) * 3 * kHeight);
    whole->dib_pixels = all.data();
    ASSERT_EQ(whole.read_buffer(READ_IMAGE_BUFFER, stream), STATUS_SUCCESS);
    // The last four MCU rows carry the data of the first four: they were decoded
    // from the stream, not left as they were or filled with flat blocks.
    const size_t row_bytes = static_cast<size_t>(kWidth) * 3;
    ASSERT_EQ(std::memcmp(&all[row_bytes * 65504], &all[0], row_bytes * (kHeight - 65504)), 0);

    struct Region {
        int32_t left, top, right, bottom;
    };
    const Region regions[] = {
        {0, 65500, 16, 65535},   // the last rows, past MCU row 8191
        {3, 40001, 13, 40040},   // back up, not on MCU boundaries
        {0, 65528, 16, 65535},   // only the 8192nd MCU row
        {5, 65529, 6, 65530},    // a single pixel in it
        {0, 100, 16, 140},       // near the top
        {1, 65471, 15, 65535},   // down again: the index is reused
    };
    for (bool from_file : {false, true}) {
        test::Codec codec;
        JPEG_STATUS status = from_file ? codec.read_file(READ_PARAMS_FILE, path)
                                       : codec.read_buffer(READ_PARAMS_BUFFER, stream);
        ASSERT_EQ(status, STATUS_SUCCESS);
        codec->dib_color = CS_BGR;
        codec->dib_channels = 3;
        for (const Region& g : regions) {
            SCOPED_TRACE((from_file ? "file, rows " : "memory, rows ") + std::to_string(g.top) + "-" +
                         std::to_string(g.bottom));
            const int32_t w = g.right - g.left, h = g.bottom - g.top;
            codec->dib_width = w;
            codec->dib_height = h;
            codec->dib_row_pad = 1;
            const size_t stride = static_cast<size_t>(w) * 3 + 1;
            std::vector<uint8_t> dib(stride * h, 0xA5);
            codec->dib_pixels = dib.data();
            codec.props().roi_left = g.left;
            codec.props().roi_top = g.top;
            codec.props().roi_right = g.right;
            codec.props().roi_bottom = g.bottom;
            status = from_file ? codec.read_file(READ_IMAGE_FILE, path) : codec.read_buffer(READ_IMAGE_BUFFER, stream);
            ASSERT_EQ(status, STATUS_ROI_SUCCESS);
            for (int32_t y = 0; y < h; ++y) {
                const uint8_t* expected = &all[(static_cast<size_t>(g.top + y) * kWidth + g.left) * 3];
                ASSERT_EQ(std::memcmp(&dib[y * stride], expected, static_cast<size_t>(w) * 3), 0) << "row " << y;
                ASSERT_EQ(dib[y * stride + stride - 1], 0xA5) << "row pad of row " << y;
            }
        }
    }
    std::remove(path.c_str());
}

// The front sizes the held DIB from the reported frame before it allocates:
// a size that does not fit the signed 32-bit sizes of the device calls is
// refused, and the load fails with nothing held, instead of allocating a
// block smaller than the decode would write.
TEST(HostileLimits, FrontRefusesDibSizesThatDoNotFit) {
    DIB_LAYOUT layout{};
    // 32767 x 16384 four-byte pixels is 2,147,418,112 bytes: the largest that fits.
    ASSERT_TRUE(ChooseDibLayout(4, CS_QUAD, 32767, 16384, &layout));
    EXPECT_EQ(layout.total_bytes, static_cast<size_t>(32767) * 4 * 16384);
    EXPECT_FALSE(ChooseDibLayout(4, CS_QUAD, 32768, 16384, &layout));
    // Rows padded to four bytes count: 3 x 21845 = 65535 bytes, padded to 65536.
    EXPECT_FALSE(ChooseDibLayout(3, CS_YCBCR, 21845, 32768, &layout));
    ASSERT_TRUE(ChooseDibLayout(3, CS_YCBCR, 21845, 32767, &layout));
    EXPECT_EQ(layout.row_pad, 1);
    EXPECT_EQ(layout.total_bytes, static_cast<size_t>(65536) * 32767);
    EXPECT_FALSE(ChooseDibLayout(255, CS_OTHER, 65535, 65535, &layout));

    // Through LoadJpeg: a small picture is held, then a file whose header states
    // 65535 x 65535 four-channel pixels replaces it with nothing.
    const std::string small = test::write_scratch("hostile_small", test::gray_image(8, 8).data());
    ASSERT_TRUE(LoadJpeg(small.c_str()));
    ASSERT_NE(HeldJpegPixels(), nullptr);
    std::vector<uint8_t> huge = largest_frame(kSamplings[7], false);
    // An Adobe segment with transform 0 makes the four channels plain CMYK.
    const std::vector<uint8_t> adobe = {'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, 0};
    std::vector<uint8_t> app14 = {0xFF, 0xEE, 0, static_cast<uint8_t>(adobe.size() + 2)};
    app14.insert(app14.end(), adobe.begin(), adobe.end());
    huge.insert(huge.begin() + 2, app14.begin(), app14.end());
    const std::string big = test::write_scratch("hostile_huge", huge);
    EXPECT_FALSE(LoadJpeg(big.c_str()));
    EXPECT_EQ(HeldJpegPixels(), nullptr);
    EXPECT_FALSE(FreeJpeg());
    std::remove(small.c_str());
    std::remove(big.c_str());
}

// ---------------------------------------------------------------------------
// One record, several streams
// ---------------------------------------------------------------------------

// A region read ends with "ROI Success" and keeps its scan so that a later
// region of the same picture resumes it. A parameters request starts a stream
// from its SOI, so it never resumes that scan: it must read the new buffer
// only, even when the caller has already freed the old one.
TEST(HostileReuse, ParametersRequestAfterAKeptRegionScanReadsOnlyTheNewStream) {
    auto first = std::make_unique<std::vector<uint8_t>>(test::gray_image(64, 64).data());
    const std::vector<uint8_t> second = test::gray_image(24, 40).data();
    test::Codec codec;
    ASSERT_EQ(codec.read_buffer(READ_PARAMS_BUFFER, *first), STATUS_SUCCESS);
    codec.gray_dib(16, 16);
    codec->dib_color = CS_GRAY;
    codec->dib_channels = 1;
    codec.props().roi_left = 8;
    codec.props().roi_top = 8;
    codec.props().roi_right = 24;
    codec.props().roi_bottom = 24;
    ASSERT_EQ(codec.read_buffer(READ_IMAGE_BUFFER, *first), STATUS_ROI_SUCCESS);
    first.reset();  // the caller is done with the first picture

    codec.props().roi_left = codec.props().roi_top = codec.props().roi_right = codec.props().roi_bottom = 0;
    EXPECT_EQ(codec.read_buffer(READ_PARAMS_BUFFER, second), STATUS_SUCCESS);
    EXPECT_EQ(codec->jpeg_width, 24);
    EXPECT_EQ(codec->jpeg_height, 40);
}

// Region reads one after another on one record resume the kept scan: the
// stream then stands wherever the previous region ended, so a region whose
// rows start at the top of the picture must still be read from the top, and
// give the pixels of the whole decode.
TEST(HostileReuse, RegionsReadAgainOnOneRecordMatchTheWholeDecodeWhereverTheyStart) {
    const GenericFill generic;
    test::RawImage photo;
    if (!test::load_test_photo(&photo)) GTEST_SKIP() << "corpus not found beside the checkout";
    const test::RawImage source = test::crop_image(photo, 0, 0, 64, 512, 3);
    test::RefEncodeOptions options;
    test::set_sampling(&options, 2, 2);
    std::vector<uint8_t> stream;
    std::string error;
    ASSERT_TRUE(test::ref_encode(source, options, &stream, &error)) << error;

    auto layout = [](test::Codec& c) {
        c->dib_color = CS_BGR;
        c->dib_channels = 3;
        c.props().upsample_filter = 0;
    };
    test::Codec whole;
    ASSERT_EQ(whole.read_buffer(READ_PARAMS_BUFFER, stream), STATUS_SUCCESS);
    layout(whole);
    whole->dib_width = 64;
    whole->dib_height = 512;
    std::vector<uint8_t> all(64 * 3 * 512);
    whole->dib_pixels = all.data();
    ASSERT_EQ(whole.read_buffer(READ_IMAGE_BUFFER, stream), STATUS_SUCCESS);

    test::Codec codec;
    ASSERT_EQ(codec.read_buffer(READ_PARAMS_BUFFER, stream), STATUS_SUCCESS);
    layout(codec);
    const MCU_RECT regions[] = {{0, 200, 64, 260}, {0, 0, 64, 16}, {0, 8, 64, 40}, {8, 300, 40, 330}, {0, 0, 64, 1}};
    for (const MCU_RECT& g : regions) {
        SCOPED_TRACE("rows " + std::to_string(g.top) + "-" + std::to_string(g.bottom));
        const int32_t w = g.right - g.left, h = g.bottom - g.top;
        codec->dib_width = w;
        codec->dib_height = h;
        std::vector<uint8_t> dib(static_cast<size_t>(w) * 3 * h, 0xA5);
        codec->dib_pixels = dib.data();
        codec.props().roi_left = g.left;
        codec.props().roi_top = g.top;
        codec.props().roi_right = g.right;
        codec.props().roi_bottom = g.bottom;
        ASSERT_EQ(codec.read_buffer(READ_IMAGE_BUFFER, stream), STATUS_ROI_SUCCESS);
        for (int32_t y = 0; y < h; ++y)
            ASSERT_EQ(std::memcmp(&dib[static_cast<size_t>(y) * w * 3],
                                  &all[(static_cast<size_t>(g.top + y) * 64 + g.left) * 3], static_cast<size_t>(w) * 3),
                      0)
                << "row " << y;
    }
}

// ---------------------------------------------------------------------------
// Costly but valid streams
// ---------------------------------------------------------------------------

// A progressive grey frame: a DC scan and a full AC scan of zero bits, then
// `empty_scans` refinement scans of ten bytes each that carry no data at all.
std::vector<uint8_t> progressive_with_empty_scans(uint16_t side, int empty_scans) {
    test::StreamBuilder s;
    s.soi().segment(0xDB, test::dqt_body(0x00, 3));
    s.segment(0xC2, test::sof_body(8, side, side, {{1, 0x11, 0}}));
    s.segment(0xC4, test::dht_body(0x00, {2}, {0x00, 0x01}));  // DC: "0" size 0, "1" size 1
    s.segment(0xC4, test::dht_body(0x10, {1}, {0x00}));        // AC: "0" end of band
    const size_t blocks = static_cast<size_t>((side + 7) / 8) * ((side + 7) / 8);
    s.segment(0xDA, test::sos_body({{1, 0x00}}, 0, 0, 0));
    // DC differences alternating 0 and +1 (codes "0" and "1" "1"), so the
    // picture is not flat.
    test::BitWriter dc;
    for (size_t b = 0; b < blocks; ++b) (b % 3 == 0) ? dc.put(0b11, 2) : dc.put(0b0, 1);
    s.bytes(dc.finish());
    s.segment(0xDA, test::sos_body({{1, 0x00}}, 1, 63, 0));
    s.bytes(std::vector<uint8_t>((blocks + 7) / 8, 0x00));
    for (int i = 0; i < empty_scans; ++i) s.segment(0xDA, test::sos_body({{1, 0x00}}, 1, 1 + i % 63, 0x10));
    s.eoi();
    return s.data();
}

// The denial-of-service shape of progressive decoding: every scan after the
// coefficients are complete renders the picture again, so thousands of
// ten-byte scans cost thousands of renderings. They are still decoded as
// designed (no scan is dropped, nothing is refused), and since they carry no
// data the picture is exactly that of the stream without them.
TEST(HostileCost, ThousandsOfEmptyProgressiveScansStillGiveThePicture) {
    auto decode = [](const std::vector<uint8_t>& stream, int32_t* scans) {
        test::Codec codec;
        EXPECT_EQ(codec.read_buffer(READ_PARAMS_BUFFER, stream), STATUS_SUCCESS);
        codec.gray_dib(64, 64);
        codec->dib_color = CS_GRAY;
        codec->dib_channels = 1;
        EXPECT_EQ(codec.read_buffer(READ_IMAGE_BUFFER, stream), STATUS_SUCCESS);
        *scans = codec.props().progressive_scans;
        return codec.pixels;
    };
    int32_t plain_scans = 0, padded_scans = 0;
    const std::vector<uint8_t> plain = decode(progressive_with_empty_scans(64, 0), &plain_scans);
    const std::vector<uint8_t> padded = decode(progressive_with_empty_scans(64, 3000), &padded_scans);
    EXPECT_EQ(plain_scans, 2);
    EXPECT_EQ(padded_scans, 3002);
    EXPECT_EQ(plain, padded);
    EXPECT_NE(std::count(plain.begin(), plain.end(), plain[0]), static_cast<long>(plain.size())) << "a flat picture";
}

// A caller that decodes untrusted streams can bound the number of progressive
// scans: the request then fails with "Not supported" at the first scan past
// the bound, with the picture as the earlier scans rendered it. A bound the
// stream stays within changes nothing.
TEST(HostileCost, AProgressiveScanLimitStopsAtTheFirstScanPastIt) {
    const std::vector<uint8_t> stream = progressive_with_empty_scans(64, 3000);
    auto decode = [&](int32_t limit, JPEG_STATUS* status) {
        test::Codec codec;
        codec.props().progressive_scan_limit = limit;
        EXPECT_EQ(codec.read_buffer(READ_PARAMS_BUFFER, stream), STATUS_SUCCESS);
        codec.gray_dib(64, 64);
        codec->dib_color = CS_GRAY;
        codec->dib_channels = 1;
        *status = codec.read_buffer(READ_IMAGE_BUFFER, stream);
        EXPECT_EQ(codec.props().progressive_scans, limit > 0 && limit < 3002 ? limit + 1 : 3002);
        return codec.pixels;
    };
    JPEG_STATUS unlimited = 0, limited = 0, roomy = 0;
    const std::vector<uint8_t> whole = decode(0, &unlimited);
    const std::vector<uint8_t> cut = decode(100, &limited);
    const std::vector<uint8_t> within = decode(3002, &roomy);
    EXPECT_EQ(unlimited, STATUS_SUCCESS);
    EXPECT_EQ(limited, STATUS_NOT_SUPPORTED);
    EXPECT_EQ(roomy, STATUS_SUCCESS);
    EXPECT_EQ(cut, whole);
    EXPECT_EQ(within, whole);
}

}  // namespace
}  // namespace vantorel
