// Status codes and their fixed English messages.
#include "codec/codec.h"

namespace vantorel {

namespace {

struct StatusText {
    JPEG_STATUS code;
    const char* text;
};

constexpr StatusText kMessages[] = {
    {2, "ROI Success"},
    {1, "Interrupt Success"},
    {0, "Success"},
    {-1, "Exception detected"},
    {-2, "Invalid Encoder"},
    {-3, "Unsupported subsampling"},
    {-4, "Unsupported bytes per pixel"},
    {-5, "Memory error"},
    {-6, "Bad Huffman table"},
    {-7, "Bad Quantization table"},
    {-8, "Invalid JPEG_PROPERTIES"},
    {-9, "Error close file"},
    {-10, "Invalid file name"},
    {-11, "Error EOF"},
    {-12, "Not supported"},
    {-13, "Not JPEG"},
    {-14, "Error COMP"},
    {-15, "Error SOF"},
    {-16, "Error DNL"},
    {-17, "No Huffman table"},
    {-18, "No Quantization table"},
    {-19, "No frame"},
    {-20, "Multiply frame"},
    {-21, "Data error"},
    {-22, "No image"},
    {-23, "File error"},
    {-24, "Internal error"},
    {-25, "Bad RST marker"},
    {-26, "Thumbnail too small"},
    {-27, "Thumbnail has wrong color"},
    {-28, "Output buffer too small"},
    {-29, "Unsupported frame was found"},
    {-30, "Error access to jpeg_comment buffer"},
    {-99, "Reserved"},
};

constexpr char kUnknown[] = "Unknown error code";

// One entry per code from -99 to 2 (index = code + 99), built once at compile time.
struct MessageTable {
    const char* entries[102];
    constexpr MessageTable() : entries{} {
        for (auto& e : entries) e = kUnknown;
        for (const auto& m : kMessages) entries[m.code + 99] = m.text;
    }
};

constexpr MessageTable kTable;

}  // namespace

const char* get_status_message(JPEG_STATUS code) {
    if (code < -99 || code > 2) return kUnknown;
    return kTable.entries[code + 99];
}

}  // namespace vantorel
