// Decoding throughput, ours against libjpeg-turbo, on streams made at run time from
// the corpus photo enlarged to about 3 megapixels: 4:2:0, 4:2:2, 4:4:4, grey and
// progressive 4:2:0. Both decoders run from memory into packed RGB (grey for the
// grey stream) with the accurate integer transform and plain upsampling; each
// figure is the median of several timed rounds. Nothing is asserted.
//
//   vantorel_bench [--seconds S]   (S: time per decoder and stream, default 2)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "support/reference_jpeg.h"

using namespace vantorel;
using namespace vantorel::test;

namespace {

// One decode the way a caller does it: open, parameters, image, close.
bool decode_ours(const std::vector<uint8_t>& stream, std::vector<uint8_t>* dib) {
    std::unique_ptr<JPEG_RECORD> record(new JPEG_RECORD());
    if (open_codec(record.get()) != STATUS_SUCCESS) return false;
    record->jpeg_buffer = stream.data();
    record->jpeg_buffer_size = static_cast<int32_t>(stream.size());
    JPEG_STATUS status = read_image(record.get(), READ_PARAMS_BUFFER);
    if (status >= 0) {
        const bool grey = record->jpeg_channels == 1;
        const int channels = grey ? 1 : 3;
        dib->resize(static_cast<size_t>(record->jpeg_width) * channels * record->jpeg_height);
        record->dib_pixels = dib->data();
        record->dib_width = record->jpeg_width;
        record->dib_height = record->jpeg_height;
        record->dib_channels = channels;
        record->dib_color = grey ? CS_GRAY : CS_RGB;
        record->jpeg_color = grey ? CS_GRAY : record->jpeg_color;
        status = read_image(record.get(), READ_IMAGE_BUFFER);
    }
    JPEG_STATUS closing = close_codec(record.get());
    return status >= 0 && closing >= 0;
}

bool decode_reference(const std::vector<uint8_t>& stream, RawImage* out) {
    std::string error;
    return ref_decode(stream.data(), stream.size(), RefDecodeOptions{}, out, &error);
}

template <typename Decode>
double median_rate(Decode decode, double seconds, double megapixels) {
    using clock = std::chrono::steady_clock;
    constexpr int kRounds = 5;
    std::vector<double> rates;
    if (!decode()) return -1.0;  // warm-up, and a check that the stream decodes at all
    for (int round = 0; round < kRounds; ++round) {
        long decodes = 0;
        auto start = clock::now();
        double elapsed = 0.0;
        do {
            if (!decode()) return -1.0;
            ++decodes;
            elapsed = std::chrono::duration<double>(clock::now() - start).count();
        } while (elapsed < seconds / kRounds);
        rates.push_back(decodes * megapixels / elapsed);
    }
    std::sort(rates.begin(), rates.end());
    return rates[kRounds / 2];
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 2.0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: vantorel_bench [--seconds S]\n");
            return 2;
        }
    }
    if (!(seconds > 0.0)) seconds = 2.0;
    RawImage photo;
    if (!load_test_photo(&photo)) {
        std::fprintf(stderr, "error: the corpus photo %s/libjpeg-turbo/testorig.ppm is missing\n",
                     VANTOREL_CORPUS_DIR);
        return 1;
    }
    const int width = 2048, height = 1536;  // 3.1 megapixels
    RawImage large = resize_image(photo, width, height);
    RawImage grey = crop_image(large, 0, 0, width, height, 1);

    struct Case {
        const char* name;
        int h, v;
        bool grey, progressive;
    };
    const Case cases[] = {{"4:2:0", 2, 2, false, false},
                          {"4:2:2", 2, 1, false, false},
                          {"4:4:4", 1, 1, false, false},
                          {"grey", 1, 1, true, false},
                          {"progressive 4:2:0", 2, 2, false, true}};
    const double megapixels = width * static_cast<double>(height) / 1e6;
    std::printf("%dx%d, quality 90, %.1f s per decoder and stream\n", width, height, seconds);
    std::printf("%-20s %14s %14s %8s\n", "stream", "ours MP/s", "libjpeg MP/s", "ratio");
    int failures = 0;
    for (const Case& c : cases) {
        RefEncodeOptions options;
        options.color = c.grey ? RefColor::kGray : RefColor::kYCbCr;
        set_sampling(&options, c.h, c.v);
        options.progressive = c.progressive;
        std::vector<uint8_t> stream;
        std::string error;
        if (!ref_encode(c.grey ? grey : large, options, &stream, &error)) {
            std::fprintf(stderr, "error: encoding %s: %s\n", c.name, error.c_str());
            return 1;
        }
        std::vector<uint8_t> dib;
        RawImage reference;
        double ours = median_rate([&] { return decode_ours(stream, &dib); }, seconds, megapixels);
        double theirs = median_rate([&] { return decode_reference(stream, &reference); }, seconds, megapixels);
        if (ours < 0 || theirs < 0) {
            std::printf("%-20s %14s %14s %8s\n", c.name, ours < 0 ? "failed" : "", theirs < 0 ? "failed" : "", "-");
            ++failures;
            continue;
        }
        std::printf("%-20s %14.1f %14.1f %8.2f\n", c.name, ours, theirs, ours / theirs);
        std::fflush(stdout);
    }
    return failures == 0 ? 0 : 1;
}
