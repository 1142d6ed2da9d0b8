// Load: thousands of open / read / close cycles over the real corpus, by file and
// from memory, at every scale and as regions, and one record reused across many
// requests. However long a process keeps decoding, the heap it holds, its open
// files and (under the sanitizer build) its leak report stay where they started.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "support/reference_jpeg.h"

#if defined(__SANITIZE_ADDRESS__)
#define VANTOREL_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VANTOREL_UNDER_ASAN 1
#endif
#endif
#ifdef VANTOREL_UNDER_ASAN
#include <sanitizer/lsan_interface.h>
#endif

namespace vantorel {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = VANTOREL_CORPUS_DIR;
// Ten thousand by default; VANTOREL_LOAD_CYCLES sets another count (a run
// under Valgrind uses a few hundred).
int cycle_count() {
    const char* text = std::getenv("VANTOREL_LOAD_CYCLES");
    const int n = text != nullptr ? std::atoi(text) : 0;
    return n > 0 ? n : 10000;
}
// Streams up to this size take part, so that ten thousand cycles stay a matter
// of seconds; the larger corpus files are exercised by the other suites.
constexpr uintmax_t kLargestStream = 48 * 1024;

struct Stream {
    fs::path path;
    std::vector<uint8_t> bytes;
};

std::vector<Stream> corpus_streams() {
    std::vector<Stream> streams;
    for (const char* folder : {"jpeg-decoder/reftest/images", "jpeg-decoder/crashtest/images", "libjpeg-turbo"}) {
        if (!fs::is_directory(kCorpus / folder)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(kCorpus / folder)) {
            if (!entry.is_regular_file() || entry.file_size() == 0 || entry.file_size() > kLargestStream) continue;
            std::string ext = entry.path().extension().string();
            std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
            if (ext != ".jpg" && ext != ".jpeg") continue;
            streams.push_back({entry.path(), test::read_file_bytes(entry.path().string())});
        }
    }
    std::sort(streams.begin(), streams.end(), [](const Stream& a, const Stream& b) { return a.path < b.path; });
    return streams;
}

size_t open_descriptors() {
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

size_t heap_in_use() { return mallinfo2().uordblks; }

// One request shape per cycle, chosen by the cycle number.
struct Shape {
    bool from_file;
    IO_MODE kind;
    int scale;
    bool region;
    bool smooth;
    bool step;
};

Shape shape_for(int cycle) {
    static const Shape shapes[] = {
        {false, READ_IMAGE_EIGHTH_BUFFER, 8, false, false, false},
        {true, READ_IMAGE_FILE, 1, false, false, false},
        {false, READ_IMAGE_QUARTER_BUFFER, 4, true, true, false},
        {true, READ_IMAGE_HALF_FILE, 2, true, false, false},
        {false, READ_IMAGE_BUFFER, 1, false, true, false},
        {false, READ_IMAGE_EIGHTH_BUFFER, 8, false, false, true},
        {true, READ_THUMBNAIL_FILE, 1, false, false, false},
        {false, READ_TABLES_BUFFER, 1, false, false, false},
    };
    return shapes[cycle % std::size(shapes)];
}

// Opens a record, runs the parameters request and the cycle's request, closes.
// Failures of the requests are expected for the broken streams; a failure to
// close is not, and is counted.
int run_cycle(const Stream& stream, int cycle, std::vector<uint8_t>* dib) {
    JPEG_RECORD record;
    std::memset(&record, 0, sizeof record);
    if (open_codec(&record) != STATUS_SUCCESS) return 1;
    const Shape shape = shape_for(cycle);
    const std::string path = stream.path.string();
    record.jpeg_path = path.c_str();
    record.jpeg_buffer = stream.bytes.data();
    record.jpeg_buffer_size = static_cast<int32_t>(stream.bytes.size());
    uint8_t comment[8];
    record.props.jpeg_comment = comment;
    record.props.jpeg_comment_size = sizeof comment;

    if (shape.kind == READ_TABLES_BUFFER || shape.kind == READ_THUMBNAIL_FILE) {
        record.dib_pixels = dib->data();
        record.dib_width = 64;
        record.dib_height = 64;
        record.dib_channels = 3;
        record.dib_color = CS_RGB;
        read_image(&record, shape.kind);
        return close_codec(&record) == STATUS_SUCCESS ? 0 : 1;
    }

    const JPEG_STATUS params = read_image(&record, shape.from_file ? READ_PARAMS_FILE : READ_PARAMS_BUFFER);
    if (params == STATUS_SUCCESS && record.jpeg_width > 0 && record.jpeg_height > 0) {
        int32_t w = (record.jpeg_width + shape.scale - 1) / shape.scale;
        int32_t h = (record.jpeg_height + shape.scale - 1) / shape.scale;
        if (shape.region || w > 1024 || h > 1024) {
            record.props.roi_left = w / 4;
            record.props.roi_top = h / 4;
            record.props.roi_right = std::min(w / 4 + std::max(w / 2, 1), std::min(w, w / 4 + 1024));
            record.props.roi_bottom = std::min(h / 4 + std::max(h / 2, 1), std::min(h, h / 4 + 1024));
            w = record.props.roi_right - record.props.roi_left;
            h = record.props.roi_bottom - record.props.roi_top;
        }
        if (record.jpeg_channels == 4) {
            record.dib_color = CS_QUAD;
            record.dib_channels = 4;
        } else if (record.jpeg_channels == 1 || record.jpeg_channels == 3) {
            record.dib_color = CS_BGR;
            record.dib_channels = 3;
        } else {
            record.jpeg_color = CS_OTHER;
            record.dib_color = CS_OTHER;
            record.dib_channels = record.jpeg_channels;
        }
        record.dib_width = std::max(w, 1);
        record.dib_height = std::max(h, 1);
        record.dib_row_pad = 1;
        record.props.upsample_filter = shape.smooth ? 1 : 0;
        dib->resize(static_cast<size_t>(record.dib_width * record.dib_channels + 1) * record.dib_height);
        record.dib_pixels = dib->data();
        const MCU_RECT roi{record.props.roi_left, record.props.roi_top, record.props.roi_right,
                           record.props.roi_bottom};
        JPEG_STATUS status;
        int reads = 0;
        do {
            record.props.roi_left = roi.left;
            record.props.roi_top = roi.top;
            record.props.roi_right = roi.right;
            record.props.roi_bottom = roi.bottom;
            record.props.interrupt_request = shape.step ? 1 : 0;
            const IO_MODE kind = shape.from_file ? shape.kind : (shape.kind | 1);
            status = read_image(&record, kind);
        } while (status == STATUS_INTERRUPT_SUCCESS && ++reads < 64);
    }
    return close_codec(&record) == STATUS_SUCCESS ? 0 : 1;
}

TEST(Load, TenThousandOpenReadCloseCyclesKeepMemoryAndFilesFlat) {
    const std::vector<Stream> streams = corpus_streams();
    if (streams.empty()) GTEST_SKIP() << "corpus not found beside the checkout";
    std::vector<uint8_t> dib(64 * 64 * 3);
    dib.reserve(1024 * 1024 * 4 + 4096);

    // One pass first, so that whatever the C library and the test keep for
    // themselves (buffers, the DIB's capacity) is in place before measuring.
    int close_failures = 0;
    for (size_t i = 0; i < streams.size(); ++i) close_failures += run_cycle(streams[i], static_cast<int>(i), &dib);
    const size_t heap_before = heap_in_use();
    const size_t files_before = open_descriptors();

    const int cycles = cycle_count();
    for (int cycle = 0; cycle < cycles; ++cycle)
        close_failures += run_cycle(streams[static_cast<size_t>(cycle) % streams.size()], cycle, &dib);

    EXPECT_EQ(close_failures, 0);
    EXPECT_EQ(open_descriptors(), files_before) << "an input file was left open";
    // A leak of even one small block per cycle would show as 10,000 blocks here.
    const size_t heap_after = heap_in_use();
    EXPECT_LE(heap_after, heap_before + 4096) << "heap grew from " << heap_before << " to " << heap_after;
#ifdef VANTOREL_UNDER_ASAN
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "LeakSanitizer found blocks nobody frees";
#endif
}

// One record serves many requests in turn: parameters, whole image, regions,
// reduced scales, again and again on different streams. Whatever a request
// allocates is freed or reused by the next, and close_codec frees the rest.
TEST(Load, OneRecordReusedAcrossRequestsHoldsNoGrowingMemory) {
    const std::vector<Stream> streams = corpus_streams();
    if (streams.empty()) GTEST_SKIP() << "corpus not found beside the checkout";
    auto record = std::make_unique<JPEG_RECORD>();
    std::memset(record.get(), 0, sizeof(JPEG_RECORD));
    JPEG_RECORD* r = record.get();
    ASSERT_EQ(open_codec(r), STATUS_SUCCESS);
    std::vector<uint8_t> dib(256 * 256 * 4 + 256);

    // One request pair (parameters, then a region of at most 256 x 256 at
    // eighth, quarter or full scale) on the given record; true when it decoded.
    auto request = [&](JPEG_RECORD* rec, const Stream& s, size_t step) {
        rec->jpeg_buffer = s.bytes.data();
        rec->jpeg_buffer_size = static_cast<int32_t>(s.bytes.size());
        // The request fields as a fresh caller sets them: a parameters request
        // reports back its own layout (four channels for an Adobe CMYK stream,
        // say), which the next stream must not inherit.
        rec->jpeg_color = CS_YCBCR;
        rec->jpeg_channels = 3;
        rec->dib_color = CS_BGR;
        rec->dib_channels = 3;
        rec->props.roi_left = rec->props.roi_top = rec->props.roi_right = rec->props.roi_bottom = 0;
        rec->props.interrupt_request = 0;
        rec->props.upsample_filter = static_cast<int32_t>(step % 2);
        if (read_image(rec, READ_PARAMS_BUFFER) != STATUS_SUCCESS || rec->jpeg_width <= 0) return false;
        // The caller chooses its layout from the reported channel count (the
        // report itself may carry an earlier stream's Adobe facts, which a
        // record keeps from image to image).
        if (rec->jpeg_channels == 4) {
            rec->dib_color = CS_QUAD;
            rec->dib_channels = 4;
        } else if (rec->jpeg_channels == 1 || rec->jpeg_channels == 3) {
            rec->dib_color = CS_BGR;
            rec->dib_channels = 3;
        } else {
            return false;
        }
        static const IO_MODE kinds[3] = {READ_IMAGE_EIGHTH_BUFFER, READ_IMAGE_QUARTER_BUFFER, READ_IMAGE_BUFFER};
        static const int scales[3] = {8, 4, 1};
        const int k = static_cast<int>(step % 3);
        const int32_t w = std::min((rec->jpeg_width + scales[k] - 1) / scales[k], 256);
        const int32_t h = std::min((rec->jpeg_height + scales[k] - 1) / scales[k], 256);
        rec->props.roi_right = w;
        rec->props.roi_bottom = h;
        rec->dib_width = w;
        rec->dib_height = h;
        rec->dib_row_pad = 0;
        rec->dib_pixels = dib.data();
        const JPEG_STATUS status = read_image(rec, kinds[k]);
        return status == STATUS_SUCCESS || status == STATUS_ROI_SUCCESS;
    };
    int decoded = 0;
    auto one_round = [&](size_t round) {
        for (size_t i = 0; i < streams.size(); ++i)
            decoded += request(r, streams[(i + round) % streams.size()], i + round) ? 1 : 0;
    };
    // How many of one round's requests decode on fresh records, for comparison.
    int fresh = 0;
    for (size_t i = 0; i < streams.size(); ++i) {
        JPEG_RECORD own;
        std::memset(&own, 0, sizeof own);
        ASSERT_EQ(open_codec(&own), STATUS_SUCCESS);
        fresh += request(&own, streams[i], i) ? 1 : 0;
        EXPECT_EQ(close_codec(&own), STATUS_SUCCESS);
    }

    one_round(0);
    const size_t heap_before = heap_in_use();
    const int rounds = std::max<int>(1, cycle_count() / 5 / static_cast<int>(streams.size()));
    for (int round = 1; round <= rounds; ++round) one_round(static_cast<size_t>(round));
    const size_t heap_after = heap_in_use();
    EXPECT_EQ(close_codec(r), STATUS_SUCCESS);
    // What earlier streams left in the record (tables, JFIF and Adobe facts) may
    // change an outcome now and then, but the reused record must go on decoding
    // about as many streams as fresh records do.
    EXPECT_GE(decoded * 10, fresh * (rounds + 1) * 9) << decoded << " decodes on the reused record, " << fresh
                                                      << " per round on fresh records";
    // The record may keep stores sized by the largest frame it met (the row
    // index, the smoothing ring); it must not keep adding to them.
    EXPECT_LE(heap_after, heap_before + 64 * 1024) << "heap grew from " << heap_before << " to " << heap_after;
#ifdef VANTOREL_UNDER_ASAN
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "LeakSanitizer found blocks nobody frees";
#endif
}

}  // namespace
}  // namespace vantorel
