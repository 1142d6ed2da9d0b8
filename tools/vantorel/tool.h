// The vantorel command-line tool: what its commands share. The tool reaches the
// codec only through open_codec, read_image, close_codec and the record's fields,
// the way any other caller of the codec does.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codec/codec.h"

namespace vantorel::tool {

// Everything the decode and bench commands let a person choose.
struct DecodeOptions {
    std::string layout;          // gray rgb bgr quad ycbcr other; empty: chosen from the stream
    int channels = 0;            // 0: the layout's usual count
    int scale = 1;               // 1, 2, 4 or 8
    bool has_roi = false;
    int roi[4] = {0, 0, 0, 0};   // left, top, right, bottom in output pixels
    bool smooth = false;         // triangle-filter upsampling
    int idct = -1;               // -1: the codec's default; 0 scaled family, 1 direct family
    bool memory = false;         // buffer request kinds instead of file kinds
    bool bottom_up = false;      // negative dib_height
    int pad = 0;                 // bytes after each DIB row
    int cpu = -1;                // -1: let the codec detect the processor
    bool step = false;           // interrupt before every read
    std::string frames_dir;      // with step: one PNG per interrupted read
    double seconds = 2.0;        // bench only
};

// A DIB as the codec filled it, plus what is needed to read it back.
struct Picture {
    int width = 0;
    int height = 0;               // rows, always positive here
    int channels = 0;
    int row_pad = 0;
    bool bottom_up = false;       // the first image row is the last buffer row
    COLOR_SPACE layout = CS_BGR;  // dib_color
    COLOR_SPACE stream_color = CS_YCBCR;
    std::vector<uint8_t> pixels;  // height rows of width * channels + row_pad bytes

    size_t stride() const { return static_cast<size_t>(width) * channels + row_pad; }
    // Image row y (0 = top of the picture), undoing a bottom-up layout.
    const uint8_t* row(int y) const {
        int buffer_row = bottom_up ? height - 1 - y : y;
        return pixels.data() + static_cast<size_t>(buffer_row) * stride();
    }
};

// A JPEG_RECORD on the heap, zero-filled, closed when it goes away.
class Record {
public:
    Record() : record_(new JPEG_RECORD()) {}
    ~Record() { close(); }
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;
    JPEG_STATUS open();
    JPEG_STATUS close();
    JPEG_RECORD* operator->() { return record_.get(); }
    JPEG_RECORD* get() { return record_.get(); }

private:
    std::unique_ptr<JPEG_RECORD> record_;
    bool opened_ = false;
};

// The input of a request: a file name, and for the memory kinds its bytes.
struct Input {
    std::string path;
    bool memory = false;
    std::vector<uint8_t> bytes;
};

// Reads the whole file for the memory kinds; false with a message when it cannot.
bool load_input(const std::string& path, bool memory, Input* input, std::string* error);
// Points the record at the input (jpeg_path or jpeg_buffer).
void attach_input(Record& record, const Input& input);

// Parses the option at argv[*index] into options; *index moves past its value.
// false with a message for an unknown option or a bad value.
bool parse_decode_option(int argc, char** argv, int* index, bool bench, DecodeOptions* options,
                         std::string* error);
// Checks the combination once all options are read.
bool check_decode_options(const DecodeOptions& options, std::string* error);
// Sets VANTOREL_USECPU before any record is opened.
void apply_cpu_choice(const DecodeOptions& options);

// Stream facts learnt by a parameters request.
struct StreamFacts {
    int width = 0;
    int height = 0;
    int components = 0;
    COLOR_SPACE color = CS_YCBCR;  // the colour to request the image with
};

// A parameters request on record (already open, input attached).
JPEG_STATUS read_parameters(Record& record, const Input& input, StreamFacts* facts);

// The full decode of the decode command: parameters, then the image, in steps when
// asked; on_frame is called with the picture after each read that returned
// "Interrupt Success" (may be null). Returns the codec status (0 or 2 on success)
// or, for a request the tool itself refuses, STATUS_INVALID_PROPERTIES with *error set.
using FrameSink = bool (*)(const Picture& picture, int frame, void* context);
JPEG_STATUS decode_picture(const Input& input, const DecodeOptions& options, Picture* picture,
                           FrameSink on_frame, void* context, std::string* error);

// Prepares a record (parameters already read) for an image request: the DIB fields,
// the region, the filter and transform choice. Returns the request kind, or -1 with
// *error set when the options do not suit the stream.
IO_MODE prepare_image_request(Record& record, const StreamFacts& facts, const DecodeOptions& options,
                              Picture* picture, std::string* error);

// Names of codes, for the info command.
const char* color_name(COLOR_SPACE color);
const char* subsampling_name(SUBSAMPLING subsampling);

// File writers (image_files.cpp). Each returns false with a message on failure.
// PPM family: the DIB's bytes as decoded, P6 for 3 channels, P5 for 1, P7 otherwise.
bool write_netpbm(const std::string& path, const Picture& picture, std::string* error);
// BMP and PNG hold the picture a person would expect to see.
bool write_bmp(const std::string& path, const Picture& picture, std::string* error);
bool write_png(const std::string& path, const Picture& picture, std::string* error);
// Picks the writer by the extension of path.
bool write_picture(const std::string& path, const Picture& picture, std::string* error);
// The picture as rows of R, G, B bytes (grey pictures as one byte per pixel when
// *grey is set on return): colour layouts are interpreted, CMYK is blended.
std::vector<uint8_t> picture_to_rgb(const Picture& picture, bool* grey);

// The bench command (bench.cpp).
int run_bench(const Input& input, const DecodeOptions& options);

}  // namespace vantorel::tool
