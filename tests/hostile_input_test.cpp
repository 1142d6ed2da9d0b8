// Hostile input: malformed files, every truncation of real streams and single
// byte changes in their marker segments. Whatever arrives, each request returns
// a status, in bounded time, and (under the sanitizer build) stays inside its
// buffers and leaks nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "codec/codec.h"

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

}  // namespace
}  // namespace vantorel
