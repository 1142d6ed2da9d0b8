// Segment bodies, small complete streams, an opened codec record and a bit
// writer for the tests of the decoder's front half (byte source, markers,
// segments, application segments, Huffman decoding).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "codec/codec.h"
#include "support/stream_builder.h"

namespace vantorel::test {

struct FrameComponent {
    uint8_t id;
    uint8_t sampling;  // H << 4 | V
    uint8_t quant;
};

std::vector<uint8_t> sof_body(uint8_t precision, uint16_t height, uint16_t width,
                              const std::vector<FrameComponent>& components);
// One table: the Pq/Tq byte and 64 values (8-bit) or 64 big-endian 16-bit values, all `value`.
std::vector<uint8_t> dqt_body(uint8_t pq_tq, uint16_t value = 1);
std::vector<uint8_t> dht_body(uint8_t tc_th, const std::vector<uint8_t>& counts,
                              const std::vector<uint8_t>& symbols);
// Scan components as (selector, Td << 4 | Ta).
std::vector<uint8_t> sos_body(const std::vector<std::pair<uint8_t, uint8_t>>& components, uint8_t ss = 0,
                              uint8_t se = 63, uint8_t ah_al = 0);
std::vector<uint8_t> jfif_body(uint8_t thumb_width = 0, uint8_t thumb_height = 0,
                               const std::vector<uint8_t>& thumb_rgb = {});

// The tables of the small grey streams: DC codes "00" -> size 0 and "01" -> size 8,
// AC code "0" -> end of block.
void add_gray_tables(StreamBuilder& s);
// SOI, JFIF, DQT, SOF0 of one component (id 1, 1x1), the tables; no scan.
StreamBuilder gray_headers(uint16_t width, uint16_t height);
// A complete baseline grey image whose blocks all have DC 0 (every pixel 128).
StreamBuilder gray_image(uint16_t width, uint16_t height);

// A record opened on construction and closed on destruction.
class Codec {
public:
    Codec();
    ~Codec();
    JPEG_RECORD* operator->() { return record_.get(); }
    JPEG_RECORD& operator*() { return *record_; }
    JPEG_PROPERTIES& props() { return record_->props; }
    JPEG_STATUS open_status() const { return open_status_; }
    // Memory and file requests on a stream (the file is written under `name`).
    JPEG_STATUS read_buffer(IO_MODE kind, const std::vector<uint8_t>& stream);
    JPEG_STATUS read_file(IO_MODE kind, const std::string& path);
    // A grey top-down DIB of the given size; filled with `fill`.
    void gray_dib(int32_t width, int32_t height, uint8_t fill = 0xA5);
    // A three-byte DIB for thumbnails.
    void rgb_dib(int32_t width, int32_t height, COLOR_SPACE color, int32_t pad = 0);
    std::vector<uint8_t> pixels;

private:
    std::unique_ptr<JPEG_RECORD> record_;
    JPEG_STATUS open_status_;
};

// Writes bits most significant first and stuffs a zero after every 0xFF.
class BitWriter {
public:
    BitWriter& put(uint32_t bits, int32_t count);
    // Pads the last byte with ones.
    std::vector<uint8_t> finish();

private:
    std::vector<uint8_t> bytes_;
    uint32_t acc_ = 0;
    int32_t count_ = 0;
};

std::string front_scratch(const std::string& stem);
// Writes the bytes to a scratch file of this process and returns its path.
std::string write_scratch(const std::string& stem, const std::vector<uint8_t>& data);

}  // namespace vantorel::test
