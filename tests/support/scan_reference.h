// Streams for the scan-driver tests, made at test time by the system's
// libjpeg-turbo, and its quantised coefficients as the reference; plus our
// codec driven in coefficient-output mode, so scan decoding can be checked
// block by block without any pixel stage.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codec/codec.h"

namespace vantorel::test {

struct ScanScript {
    int components;
    int index[4];
    int ss, se, ah, al;
};

struct ScanStreamOptions {
    int width = 33;
    int height = 21;
    int components = 3;              // 1 grey, 3 YCbCr, 4 CMYK
    int h[4] = {2, 1, 1, 2};
    int v[4] = {2, 1, 1, 2};
    int quality = 85;
    int restart_rows = 0;            // restart interval in MCU rows
    int restart_blocks = 0;          // restart interval in MCUs (wins over rows)
    bool progressive = false;        // the encoder's standard progressive script
    std::vector<ScanScript> script;  // a script of our own (sequential or progressive)
    unsigned seed = 1;               // picture content
};

// One component's quantised coefficients: blocks_across x blocks_down blocks
// of 64 values in natural order, row-major by block.
struct ComponentCoefficients {
    int h = 1, v = 1;
    int blocks_across = 0;
    int blocks_down = 0;
    std::vector<int16_t> blocks;
    const int16_t* block(int bx, int by) const { return &blocks[(static_cast<size_t>(by) * blocks_across + bx) * 64]; }
};

bool make_scan_stream(const ScanStreamOptions& options, std::vector<uint8_t>* out, std::string* error);
// Reads the coefficients with the reference decoder.
bool reference_coefficients(const std::vector<uint8_t>& stream, std::vector<ComponentCoefficients>* out,
                            std::string* error);

// Our codec in coefficient-output mode (flag 0) over a memory stream. planes
// receives, per component, the plane laid out as the codec writes it.
struct OurCoefficients {
    JPEG_STATUS params_status = 0;
    JPEG_STATUS image_status = 0;
    int mcus_per_row = 0;
    int mcu_rows = 0;
    std::vector<ComponentCoefficients> planes;  // blocks_across/down give the plane's size in blocks
};

struct CoefficientRun {
    bool step = false;        // interrupt before every read, until the scan completes
    int roi[4] = {0, 0, 0, 0};  // left, top, right, bottom
    int max_reads = 1000000;
};

// Opens a record, reads the parameters and then the image in coefficient mode.
OurCoefficients our_coefficients(const std::vector<uint8_t>& stream, const CoefficientRun& run = {});

// Number of blocks (within the reference's component size) whose 64 values
// differ; the first difference is described in *first.
int count_block_differences(const ComponentCoefficients& reference, const ComponentCoefficients& ours,
                            std::string* first, int bx0 = 0, int by0 = 0, int bx1 = -1, int by1 = -1);

// Offset of the first byte of the first marker with the given code, or -1.
long find_marker(const std::vector<uint8_t>& stream, uint8_t code, size_t from = 0);

}  // namespace vantorel::test

namespace vantorel::test {

// Our codec writing pixels: the whole image, read step by step (interrupt
// before every read), or a region. The DIB is packed (no row padding) and holds
// the region only when one is given.
struct PixelRun {
    IO_MODE kind = READ_IMAGE_BUFFER;  // or the half/quarter/eighth buffer kinds
    bool smooth = false;               // upsample_filter 1
    bool step = false;
    int roi[4] = {0, 0, 0, 0};
    int dib_width = 0, dib_height = 0; // the DIB's size (the output size when 0)
    int max_reads = 1000000;
};

struct OurPixels {
    JPEG_STATUS status = 0;
    int reads = 0;
    int width = 0, height = 0, channels = 0;
    std::vector<uint8_t> pixels;
};

OurPixels our_pixels(const std::vector<uint8_t>& stream, const PixelRun& run);

// The first byte where `part` (placed at x0, y0) differs from `full`, described; empty when none does.
std::string first_pixel_difference(const OurPixels& full, const OurPixels& part, int x0, int y0);

// Decodes the stream whole, step by step and as several regions (each also step by
// step) at every scale, with and without smoothing, and expects every part to hold
// exactly the bytes of the whole decode.
void expect_parts_match_whole(const std::vector<uint8_t>& stream, const std::string& label);

}  // namespace vantorel::test
