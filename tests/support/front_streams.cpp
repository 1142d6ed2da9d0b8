#include "support/front_streams.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace vantorel::test {

std::vector<uint8_t> sof_body(uint8_t precision, uint16_t height, uint16_t width,
                              const std::vector<FrameComponent>& components) {
    std::vector<uint8_t> body = {precision,
                                 static_cast<uint8_t>(height >> 8),
                                 static_cast<uint8_t>(height),
                                 static_cast<uint8_t>(width >> 8),
                                 static_cast<uint8_t>(width),
                                 static_cast<uint8_t>(components.size())};
    for (const auto& c : components) {
        body.push_back(c.id);
        body.push_back(c.sampling);
        body.push_back(c.quant);
    }
    return body;
}

std::vector<uint8_t> dqt_body(uint8_t pq_tq, uint16_t value) {
    std::vector<uint8_t> body = {pq_tq};
    for (int k = 0; k < 64; ++k) {
        if (pq_tq >> 4) body.push_back(static_cast<uint8_t>(value >> 8));
        body.push_back(static_cast<uint8_t>(value));
    }
    return body;
}

std::vector<uint8_t> dht_body(uint8_t tc_th, const std::vector<uint8_t>& counts, const std::vector<uint8_t>& symbols) {
    std::vector<uint8_t> body = {tc_th};
    for (int i = 0; i < 16; ++i) body.push_back(i < static_cast<int>(counts.size()) ? counts[i] : 0);
    for (uint8_t symbol : symbols) body.push_back(symbol);
    return body;
}

std::vector<uint8_t> sos_body(const std::vector<std::pair<uint8_t, uint8_t>>& components, uint8_t ss, uint8_t se,
                              uint8_t ah_al) {
    std::vector<uint8_t> body = {static_cast<uint8_t>(components.size())};
    for (const auto& [selector, tables] : components) {
        body.push_back(selector);
        body.push_back(tables);
    }
    body.push_back(ss);
    body.push_back(se);
    body.push_back(ah_al);
    return body;
}

std::vector<uint8_t> jfif_body(uint8_t thumb_width, uint8_t thumb_height, const std::vector<uint8_t>& thumb_rgb) {
    std::vector<uint8_t> body = {'J', 'F', 'I', 'F', 0, 1, 2, 1, 0, 72, 0, 96, thumb_width, thumb_height};
    for (uint8_t byte : thumb_rgb) body.push_back(byte);
    return body;
}

void add_gray_tables(StreamBuilder& s) {
    s.segment(0xC4, dht_body(0x00, {0, 2}, {0x00, 0x08}));
    s.segment(0xC4, dht_body(0x10, {1}, {0x00}));
}

StreamBuilder gray_headers(uint16_t width, uint16_t height) {
    StreamBuilder s;
    s.soi().segment(0xE0, jfif_body()).segment(0xDB, dqt_body(0x00));
    s.segment(0xC0, sof_body(8, height, width, {{1, 0x11, 0}}));
    add_gray_tables(s);
    return s;
}

StreamBuilder gray_image(uint16_t width, uint16_t height) {
    StreamBuilder s = gray_headers(width, height);
    s.segment(0xDA, sos_body({{1, 0x00}}));
    BitWriter bits;
    const int blocks = ((width + 7) / 8) * ((height + 7) / 8);
    for (int i = 0; i < blocks; ++i) bits.put(0b00, 2).put(0b0, 1);
    s.bytes(bits.finish());
    s.eoi();
    return s;
}

Codec::Codec() : record_(std::make_unique<JPEG_RECORD>()) {
    std::memset(record_.get(), 0, sizeof(JPEG_RECORD));
    open_status_ = open_codec(record_.get());
}

Codec::~Codec() {
    if (open_status_ == STATUS_SUCCESS) close_codec(record_.get());
}

JPEG_STATUS Codec::read_buffer(IO_MODE kind, const std::vector<uint8_t>& stream) {
    record_->jpeg_buffer = stream.data();
    record_->jpeg_buffer_size = static_cast<int32_t>(stream.size());
    return read_image(record_.get(), kind);
}

JPEG_STATUS Codec::read_file(IO_MODE kind, const std::string& path) {
    record_->jpeg_path = path.c_str();
    return read_image(record_.get(), kind);
}

void Codec::gray_dib(int32_t width, int32_t height, uint8_t fill) {
    pixels.assign(static_cast<size_t>(width) * (height < 0 ? -height : height), fill);
    record_->dib_pixels = pixels.data();
    record_->dib_width = width;
    record_->dib_height = height;
    record_->dib_channels = 1;
    record_->dib_color = CS_GRAY;
    record_->jpeg_channels = 1;
    record_->jpeg_color = CS_GRAY;
}

void Codec::rgb_dib(int32_t width, int32_t height, COLOR_SPACE color, int32_t pad) {
    pixels.assign(static_cast<size_t>(width * 3 + pad) * (height < 0 ? -height : height), 0);
    record_->dib_pixels = pixels.data();
    record_->dib_width = width;
    record_->dib_height = height;
    record_->dib_row_pad = pad;
    record_->dib_channels = 3;
    record_->dib_color = color;
}

BitWriter& BitWriter::put(uint32_t bits, int32_t count) {
    for (int32_t i = count - 1; i >= 0; --i) {
        acc_ = acc_ << 1 | ((bits >> i) & 1u);
        if (++count_ == 8) {
            bytes_.push_back(static_cast<uint8_t>(acc_));
            if (static_cast<uint8_t>(acc_) == 0xFF) bytes_.push_back(0x00);
            acc_ = 0;
            count_ = 0;
        }
    }
    return *this;
}

std::vector<uint8_t> BitWriter::finish() {
    if (count_ > 0) put(0xFFu, 8 - count_);
    return bytes_;
}

std::string write_scratch(const std::string& stem, const std::vector<uint8_t>& data) {
    const std::string path = front_scratch(stem);
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data.data(), 1, data.size(), f);
        std::fclose(f);
    }
    return path;
}

std::string front_scratch(const std::string& stem) {
    return std::string(VANTOREL_BINARY_DIR) + "/tests/scratch_front_" + stem + "_" + std::to_string(::getpid());
}

}  // namespace vantorel::test
