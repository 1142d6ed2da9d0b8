// Decoding throughput, ours against libjpeg-turbo, on streams made at run time from
// the corpus photo enlarged to 2048 x 1536 (3.1 megapixels), quality 90.
//
// Both decoders run in this process from the same in-memory stream into the same
// output: three-channel BGR rows, top row first, accurate integer transform. Each
// case pairs like with like:
//   - replication: our default upsampling against libjpeg-turbo's plain one
//     (do_fancy_upsampling off);
//   - triangle: our smoothing filter (upsample_filter 1) against its default
//     fancy upsampling;
//   - 1/2, 1/4, 1/8: our reduced reads against its scaled output.
// Ours runs twice per case: with the variant fill the processor gets (detected)
// and with the generic fill (VANTOREL_USECPU=0). The three decoders take turns
// within every round; each figure is the median over rounds, and the ratios are
// taken from those medians. Nothing is asserted.
//
// The peak heap of one decode of ours beyond the DIB (open to close) is measured
// with a counting allocator for a baseline and a progressive stream.
//
//   vantorel_bench [--seconds S] [--only NAME]   (S: seconds per case, default 3)
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "codec/codec.h"
#include "support/reference_jpeg.h"

// --- a counting allocator ----------------------------------------------------
// The whole process allocates through these; only the bytes in use while
// `g_counting` is set are added up.

extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void __libc_free(void*);

namespace {
bool g_counting = false;
long long g_in_use = 0;
long long g_peak = 0;

void note_alloc(void* p) {
    if (!g_counting || p == nullptr) return;
    g_in_use += static_cast<long long>(malloc_usable_size(p));
    g_peak = std::max(g_peak, g_in_use);
}
void note_free(void* p) {
    if (!g_counting || p == nullptr) return;
    g_in_use -= static_cast<long long>(malloc_usable_size(p));
}
}  // namespace

extern "C" void* malloc(size_t n) {
    void* p = __libc_malloc(n);
    note_alloc(p);
    return p;
}
extern "C" void* calloc(size_t n, size_t m) {
    void* p = __libc_calloc(n, m);
    note_alloc(p);
    return p;
}
extern "C" void* realloc(void* old, size_t n) {
    note_free(old);
    void* p = __libc_realloc(old, n);
    note_alloc(p);
    return p;
}
extern "C" void free(void* p) {
    note_free(p);
    __libc_free(p);
}

using namespace vantorel;
using namespace vantorel::test;

namespace {

struct Case {
    std::string name;
    int h, v;
    bool grey, progressive;
    bool smooth;  // ours: triangle filter; theirs: fancy upsampling
    int scale;    // 1, 2, 4, 8
};

// One decode the way a caller does it: open, parameters, image, close.
bool decode_ours(const std::vector<uint8_t>& stream, const Case& c, std::vector<uint8_t>* dib) {
    std::unique_ptr<JPEG_RECORD> record(new JPEG_RECORD());
    if (open_codec(record.get()) != STATUS_SUCCESS) return false;
    record->jpeg_buffer = stream.data();
    record->jpeg_buffer_size = static_cast<int32_t>(stream.size());
    JPEG_STATUS status = read_image(record.get(), READ_PARAMS_BUFFER);
    if (status >= 0) {
        const int width = (record->jpeg_width + c.scale - 1) / c.scale;
        const int height = (record->jpeg_height + c.scale - 1) / c.scale;
        dib->resize(static_cast<size_t>(width) * 3 * height);
        record->dib_pixels = dib->data();
        record->dib_width = width;
        record->dib_height = height;  // positive: top row first
        record->dib_channels = 3;
        record->dib_color = CS_BGR;
        record->props.upsample_filter = c.smooth ? 1 : 0;
        IO_MODE kind = READ_IMAGE_BUFFER;
        if (c.scale == 2) kind = READ_IMAGE_HALF_BUFFER;
        if (c.scale == 4) kind = READ_IMAGE_QUARTER_BUFFER;
        if (c.scale == 8) kind = READ_IMAGE_EIGHTH_BUFFER;
        status = read_image(record.get(), kind);
    }
    JPEG_STATUS closing = close_codec(record.get());
    return status >= 0 && closing >= 0;
}

struct ErrorJump {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void leave_on_error(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorJump*>(info->err)->jump, 1); }

// libjpeg-turbo into the same BGR rows.
bool decode_theirs(const std::vector<uint8_t>& stream, const Case& c, std::vector<uint8_t>* dib) {
    jpeg_decompress_struct info;
    ErrorJump error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = &leave_on_error;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, stream.data(), static_cast<unsigned long>(stream.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGR;
    info.dct_method = JDCT_ISLOW;
    info.do_fancy_upsampling = c.smooth ? TRUE : FALSE;
    info.scale_num = 1;
    info.scale_denom = static_cast<unsigned>(c.scale);
    jpeg_start_decompress(&info);
    const size_t stride = static_cast<size_t>(info.output_width) * 3;
    dib->resize(stride * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = dib->data() + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

void use_generic_fill(bool generic) {
    if (generic)
        setenv("VANTOREL_USECPU", "0", 1);
    else
        unsetenv("VANTOREL_USECPU");
}

struct Rates {
    double detected = -1, generic = -1, theirs = -1;
};

// Rounds in which the three decoders take turns, each decoding for a slice of
// time; the median of each decoder's per-round rate.
Rates measure(const std::vector<uint8_t>& stream, const Case& c, double seconds, double megapixels) {
    using clock = std::chrono::steady_clock;
    constexpr int kRounds = 7;
    const double slice = seconds / (3.0 * kRounds);
    std::vector<uint8_t> dib;
    std::vector<double> rates[3];
    auto run = [&](int which) -> double {
        use_generic_fill(which == 1);
        auto once = [&] { return which == 2 ? decode_theirs(stream, c, &dib) : decode_ours(stream, c, &dib); };
        if (!once()) return -1.0;  // also warms the caches
        long decodes = 0;
        const auto start = clock::now();
        double elapsed = 0.0;
        do {
            if (!once()) return -1.0;
            ++decodes;
            elapsed = std::chrono::duration<double>(clock::now() - start).count();
        } while (elapsed < slice);
        return decodes * megapixels / elapsed;
    };
    for (int round = 0; round < kRounds; ++round) {
        for (int which = 0; which < 3; ++which) {
            const double rate = run(which);
            if (rate < 0) return Rates{};
            rates[which].push_back(rate);
        }
    }
    use_generic_fill(false);
    Rates out;
    double* fields[3] = {&out.detected, &out.generic, &out.theirs};
    for (int which = 0; which < 3; ++which) {
        std::sort(rates[which].begin(), rates[which].end());
        *fields[which] = rates[which][kRounds / 2];
    }
    return out;
}

long long peak_heap_of_one_decode(const std::vector<uint8_t>& stream, const Case& c) {
    std::vector<uint8_t> dib;
    decode_ours(stream, c, &dib);  // sizes the DIB outside the count
    g_in_use = 0;
    g_peak = 0;
    g_counting = true;
    decode_ours(stream, c, &dib);
    g_counting = false;
    return g_peak;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 3.0;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
            only = argv[++i];
        } else {
            std::fprintf(stderr, "usage: vantorel_bench [--seconds S] [--only NAME]\n");
            return 2;
        }
    }
    if (!(seconds > 0.0)) seconds = 3.0;
    RawImage photo;
    if (!load_test_photo(&photo)) {
        std::fprintf(stderr, "error: the corpus photo %s/libjpeg-turbo/testorig.ppm is missing\n",
                     VANTOREL_CORPUS_DIR);
        return 1;
    }
    const int width = 2048, height = 1536;  // 3.1 megapixels
    RawImage large = resize_image(photo, width, height);
    RawImage grey = crop_image(large, 0, 0, width, height, 1);

    const std::vector<Case> cases = {
        {"4:2:0 replication", 2, 2, false, false, false, 1},
        {"4:2:0 triangle", 2, 2, false, false, true, 1},
        {"4:2:2 replication", 2, 1, false, false, false, 1},
        {"4:2:2 triangle", 2, 1, false, false, true, 1},
        {"4:4:4", 1, 1, false, false, false, 1},
        {"grey", 1, 1, true, false, false, 1},
        {"progressive 4:2:0 repl.", 2, 2, false, true, false, 1},
        {"progressive 4:2:0 tri.", 2, 2, false, true, true, 1},
        {"4:2:0 1/2", 2, 2, false, false, false, 2},
        {"4:2:0 1/4", 2, 2, false, false, false, 4},
        {"4:2:0 1/8", 2, 2, false, false, false, 8},
        {"4:4:4 1/2", 1, 1, false, false, false, 2},
    };
    const double megapixels = width * static_cast<double>(height) / 1e6;
    std::printf("%dx%d (%.2f MP of image per decode), quality 90, BGR top-down, %.1f s per case\n", width, height,
                megapixels, seconds);
    std::printf("%-25s %10s %10s %10s %8s %8s\n", "case", "ours MP/s", "generic", "libjpeg", "ours/lj",
                "gen/lj");
    int failures = 0;
    std::vector<uint8_t> baseline_stream, progressive_stream;
    for (const Case& c : cases) {
        RefEncodeOptions options;
        options.color = c.grey ? RefColor::kGray : RefColor::kYCbCr;
        set_sampling(&options, c.h, c.v);
        options.progressive = c.progressive;
        std::vector<uint8_t> stream;
        std::string error;
        if (!ref_encode(c.grey ? grey : large, options, &stream, &error)) {
            std::fprintf(stderr, "error: encoding %s: %s\n", c.name.c_str(), error.c_str());
            return 1;
        }
        if (c.h == 2 && c.v == 2 && !c.grey) (c.progressive ? progressive_stream : baseline_stream) = stream;
        if (!only.empty() && c.name.find(only) == std::string::npos) continue;
        const Rates r = measure(stream, c, seconds, megapixels);
        if (r.detected < 0) {
            std::printf("%-25s failed\n", c.name.c_str());
            ++failures;
            continue;
        }
        std::printf("%-25s %10.1f %10.1f %10.1f %8.2f %8.2f\n", c.name.c_str(), r.detected, r.generic, r.theirs,
                    r.detected / r.theirs, r.generic / r.theirs);
        std::fflush(stdout);
    }
    const Case plain{"", 2, 2, false, false, false, 1};
    if (!baseline_stream.empty())
        std::printf("peak heap of one decode beyond the DIB, baseline 4:2:0: %lld bytes\n",
                    peak_heap_of_one_decode(baseline_stream, plain));
    if (!progressive_stream.empty())
        std::printf("peak heap of one decode beyond the DIB, progressive 4:2:0: %lld bytes\n",
                    peak_heap_of_one_decode(progressive_stream, plain));
    // The record is the caller's (over-aligned, so it does not pass through
    // malloc here); its size is shown apart.
    std::printf("the caller's JPEG_RECORD, not counted above: %zu bytes\n", sizeof(JPEG_RECORD));
    return failures == 0 ? 0 : 1;
}
