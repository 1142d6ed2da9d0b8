// libjpeg-turbo as a peer: an encoder that makes streams of any sampling, restart
// interval, scan script and colour space, and a reference decoder to compare
// against. libjpeg reports fatal errors by calling a routine that must not return;
// these wrappers jump back out of it, so a broken stream never ends the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vantorel::test {

// Packed pixels: height rows of width * channels bytes, top row first.
struct RawImage {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<uint8_t> pixels;
};

enum class RefColor { kGray, kYCbCr, kRGB, kCMYK, kYCCK };

// One scan of a custom script: component indices and the spectral/approximation fields.
struct RefScan {
    int components;
    int index[4];
    int ss, se, ah, al;
};

struct RefEncodeOptions {
    RefColor color = RefColor::kYCbCr;
    int quality = 90;
    int h_samp[4] = {2, 1, 1, 2};  // sampling of components 0-3 (unused ones ignored)
    int v_samp[4] = {2, 1, 1, 2};
    int restart_rows = 0;          // restart interval in MCU rows
    int restart_blocks = 0;        // restart interval in MCUs (takes precedence)
    bool progressive = false;      // the library's default progressive script
    std::vector<RefScan> scans;    // a custom script (sequential or progressive)
    bool separate_scans = false;   // sequential, one scan per component
    bool optimize = false;         // optimised Huffman tables
};

// Sets h x v for component 0 (and component 3 of four-component images), 1 x 1 elsewhere.
void set_sampling(RefEncodeOptions* options, int h, int v);

bool ref_encode(const RawImage& source, const RefEncodeOptions& options, std::vector<uint8_t>* out,
                std::string* error);
// The same stream split in two: a tables-only stream and an image stream without tables.
bool ref_encode_abbreviated(const RawImage& source, const RefEncodeOptions& options,
                            std::vector<uint8_t>* tables, std::vector<uint8_t>* image, std::string* error);

struct RefDecodeOptions {
    bool fancy = false;     // the library's smoothing upsampler
    int scale_denom = 1;    // 1, 2, 4 or 8
};

// Decodes with the accurate integer transform: grey to one channel, three
// components to RGB, four to CMYK (YCCK converted to CMYK).
// *warnings (when given) receives the number of warnings the decode raised, that
// is how much damage the library repaired on its way.
bool ref_decode(const uint8_t* data, size_t size, const RefDecodeOptions& options, RawImage* out,
                std::string* error, int* warnings = nullptr);

struct RefHeader {
    bool ok = false;
    int width = 0;
    int height = 0;
    int components = 0;
    bool arithmetic = false;
    bool progressive = false;
    bool bad_precision = false;  // refused for a sample precision other than 8
    bool too_big = false;        // refused for the library's own size limit (65500)
    RefColor color = RefColor::kYCbCr;  // how the library reads the components
    int warnings = 0;                   // damage the library stepped over on the way
    std::string error;
};
// jpeg_read_header: reads up to the first scan header.
RefHeader ref_read_header(const uint8_t* data, size_t size);

// Image helpers.
bool load_ppm(const std::string& path, RawImage* image);
// A width x height piece of source starting at (x0, y0), wrapping at its edges,
// with 1, 3 or 4 channels (grey from green; the fourth channel a gradient).
RawImage crop_image(const RawImage& source, int x0, int y0, int width, int height, int channels);
// Bilinear enlargement (or reduction) to width x height.
RawImage resize_image(const RawImage& source, int width, int height);

struct ImageDiff {
    double psnr = 0.0;  // 99 for identical images
    int max_diff = 0;
    bool same_shape = false;
};
ImageDiff compare_images(const RawImage& a, const RawImage& b);

// The test photo from the corpus (testorig.ppm); false when the corpus is absent.
bool load_test_photo(RawImage* image);
std::vector<uint8_t> read_file_bytes(const std::string& path);

}  // namespace vantorel::test
