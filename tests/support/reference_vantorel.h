// Our codec driven the way a caller drives it (open, parameters, image, close),
// returning packed pixels that compare directly with the reference decoder's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "support/reference_jpeg.h"

namespace vantorel::test {

struct OurDecodeOptions {
    int scale = 1;                 // 1, 2, 4, 8
    bool smooth = false;           // upsample_filter 1
    int idct = -1;                 // -1 default, 0 scaled, 1 direct
    COLOR_SPACE jpeg_color = 0;    // 0: as the parameters request reports it
    COLOR_SPACE dib_color = 0;     // 0: grey for one component, RGB for three, quad for four
    int dib_channels = 0;          // 0: the layout's usual count
    bool file = false;             // file request kinds (the stream is written to a scratch file)
    bool has_roi = false;
    int roi[4] = {0, 0, 0, 0};     // left, top, right, bottom in output pixels
    bool step = false;             // interrupt_request before every read
    bool bottom_up = false;
    int pad = 0;
    uint8_t pad_fill = 0xA5;       // the DIB starts filled with this byte
};

struct OurDecodeResult {
    JPEG_STATUS status = STATUS_SUCCESS;
    RawImage image;                // packed, top row first, pad stripped
    bool pad_intact = true;        // every pad byte still holds pad_fill
    int reads = 0;                 // image requests made
    int components = 0;
    COLOR_SPACE stream_color = 0;  // the colour the image was requested with
};

// Parameters only; fills width, height, components, reported colour.
struct OurParams {
    JPEG_STATUS status = STATUS_SUCCESS;
    int width = 0;
    int height = 0;
    int components = 0;
    COLOR_SPACE color = 0;
    SUBSAMPLING subsampling = 0;
};
OurParams our_read_params(const std::vector<uint8_t>& stream);

// Full decode. The colour requested is the reported one for 1 and 3 components,
// CS_QUAD/CS_YCC_QUAD as reported for 4 (CS_QUAD when nothing was reported).
OurDecodeResult our_decode(const std::vector<uint8_t>& stream, const OurDecodeOptions& options);

// Tables from one stream, then the scans of an abbreviated stream on the same
// record (READ_TABLES_BUFFER followed by READ_SCANS_BUFFER).
OurDecodeResult our_decode_abbreviated(const std::vector<uint8_t>& tables, const std::vector<uint8_t>& image,
                                       int width, int height, int components, COLOR_SPACE stream_color);

// A scratch file path unique to this process.
std::string scratch_path(const std::string& stem);

}  // namespace vantorel::test
