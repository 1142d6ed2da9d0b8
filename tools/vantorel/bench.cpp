// The bench command: decode one in-memory stream into a DIB over and over, the
// way a caller that paints pictures would (open, parameters, image, close), and
// report image pixels per second as the median of several timed rounds.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "tool.h"

namespace vantorel::tool {

namespace {

JPEG_STATUS decode_once(const Input& input, const DecodeOptions& options, Picture* picture, int* pixels,
                        std::string* error) {
    Record record;
    JPEG_STATUS status = record.open();
    if (status < 0) return status;
    StreamFacts facts;
    status = read_parameters(record, input, &facts);
    if (status < 0) return status;
    IO_MODE kind = prepare_image_request(record, facts, options, picture, error);
    if (kind < 0) return STATUS_INVALID_PROPERTIES;
    status = read_image(record.get(), kind);
    if (status < 0) return status;
    *pixels = facts.width * facts.height;
    JPEG_STATUS closing = record.close();
    return closing < 0 ? closing : status;
}

}  // namespace

int run_bench(const Input& input, const DecodeOptions& options) {
    using clock = std::chrono::steady_clock;
    Picture picture;
    std::string error;
    int pixels = 0;
    JPEG_STATUS status = decode_once(input, options, &picture, &pixels, &error);  // also warms the caches
    if (status < 0) {
        if (!error.empty()) {
            std::fprintf(stderr, "error: %s\n", error.c_str());
        } else {
            std::fprintf(stderr, "error: %d %s\n", status, get_status_message(status));
        }
        return 1;
    }

    constexpr int kRounds = 5;
    const double round_seconds = options.seconds / kRounds;
    std::vector<double> rates;
    long long total_decodes = 0;
    for (int round = 0; round < kRounds; ++round) {
        long long decodes = 0;
        auto start = clock::now();
        double elapsed = 0.0;
        do {
            status = decode_once(input, options, &picture, &pixels, &error);
            if (status < 0) {
                std::fprintf(stderr, "error: %d %s\n", status, get_status_message(status));
                return 1;
            }
            ++decodes;
            elapsed = std::chrono::duration<double>(clock::now() - start).count();
        } while (elapsed < round_seconds);
        total_decodes += decodes;
        rates.push_back(static_cast<double>(decodes) * pixels / elapsed / 1e6);
    }
    std::sort(rates.begin(), rates.end());
    std::printf("image: %s\n", input.path.c_str());
    std::printf("pixels: %d\n", pixels);
    std::printf("decodes: %lld\n", total_decodes);
    std::printf("megapixels_per_second: %.2f\n", rates[kRounds / 2]);
    return 0;
}

}  // namespace vantorel::tool
