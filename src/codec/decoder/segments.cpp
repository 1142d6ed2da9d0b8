// Table and header segments: quantisation tables (DQT), Huffman tables (DHT),
// the restart interval (DRI), the frame header (SOF0-SOF2) and the scan header
// (SOS). Each handler reads the length, takes the body in one piece (a copy when
// it straddles the input buffer, freed on every path) and parses it into the
// record. Everything a table or header claims is checked against the body it
// came in and against the fixed storage of the record before anything is kept.
#include <cmath>

#include "codec/codec.h"
#include "codec/decoder/decoder.h"

namespace vantorel {

namespace {

constexpr uint32_t kLargestDqtBody = 516;   // four tables of 16-bit values
constexpr uint32_t kLargestDhtBody = 1091;
// The output stages assume at most four components of at most 4x4 blocks.
constexpr int32_t kMaxComponents = 4;
constexpr int32_t kMaxSampling = 4;

// A segment body in one contiguous piece, released when it goes out of scope.
struct SegmentBody {
    const uint8_t* bytes = nullptr;
    uint8_t* copy = nullptr;
    int32_t copied = 0;
    uint32_t size = 0;
    ~SegmentBody() {
        if (copy != nullptr) codec_free(copy);
    }
};

// Reads the length field and the body after it. A length below 2 is malformed.
JPEG_STATUS read_body(BYTE_SOURCE* source, SegmentBody* body, uint32_t* length_out = nullptr) {
    uint32_t length = 0;
    JPEG_STATUS status = read_be16(source, &length);
    if (status != STATUS_SUCCESS) return status;
    if (length < 2) return STATUS_DATA_ERROR;
    if (length_out != nullptr) *length_out = length;
    body->size = length - 2;
    status = read_segment_bytes(source, body->size, &body->bytes, &body->copy, &body->copied);
    if (status != STATUS_SUCCESS) return status;
    return STATUS_SUCCESS;
}

inline uint32_t be16_at(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }

}  // namespace

void prepare_quant_natural(QUANT_TABLE* table) {
    QUANT_VALUE zigzag[64];
    for (int32_t k = 0; k < 64; ++k) zigzag[k] = table->quant_values[k];
    for (int32_t k = 0; k < 64; ++k) table->quant_values[natural_order[k]] = zigzag[k];
    for (int32_t k = 64; k < 80; ++k) table->quant_values[k] = 0;
}

void prepare_quant_scaled(QUANT_TABLE* table) {
    // The scaled transform leaves the factor a(u) a(v) / 8 of each basis function
    // to the dequantisation, with a(0) = 1 and a(n) = sqrt(2) cos(n pi / 16); the
    // step is folded with it and kept with 11 fractional bits.
    struct Factors {
        double a[8];
    };
    static const Factors factor = [] {
        Factors f{};
        const double pi = 3.14159265358979323846;
        f.a[0] = 1.0;
        for (int32_t n = 1; n < 8; ++n) f.a[n] = std::sqrt(2.0) * std::cos(n * pi / 16.0);
        return f;
    }();
    QUANT_VALUE zigzag[64];
    for (int32_t k = 0; k < 64; ++k) zigzag[k] = table->quant_values[k];
    for (int32_t k = 0; k < 64; ++k) {
        const int32_t natural = natural_order[k];
        const double scale = factor.a[natural / 8] * factor.a[natural % 8] / 8.0;
        table->quant_values[natural] = static_cast<QUANT_VALUE>(zigzag[k] * scale * 2048.0 + 0.5);
    }
    for (int32_t k = 64; k < 80; ++k) table->quant_values[k] = 0;
}

JPEG_STATUS read_dqt(JPEG_PROPERTIES* props, int32_t idct_family) {
    SegmentBody body;
    JPEG_STATUS status = read_body(&props->source, &body);
    if (status != STATUS_SUCCESS) return status;
    if (body.size > kLargestDqtBody) return STATUS_DATA_ERROR;

    uint32_t at = 0;
    while (at < body.size) {
        const uint32_t precision = body.bytes[at] >> 4;
        const uint32_t id = body.bytes[at] & 15u;
        if (id > 3) return STATUS_BAD_QUANTIZATION_TABLE;
        const uint32_t value_bytes = precision != 0 ? 128 : 64;
        // A table whose values run past the body would read beyond the segment.
        if (body.size - at - 1 < value_bytes) return STATUS_BAD_QUANTIZATION_TABLE;
        const uint8_t* values = body.bytes + at + 1;

        QUANT_TABLE& table = props->quant_tables[id];
        table.quant_precision = static_cast<int32_t>(precision);
        if (props->quant_id_limit < static_cast<int32_t>(id) + 1) props->quant_id_limit = static_cast<int32_t>(id) + 1;
        for (int32_t k = 0; k < 64; ++k)
            table.quant_values[k] = precision != 0 ? static_cast<QUANT_VALUE>(be16_at(values + 2 * k)) : values[k];
        RAW_QUANT_ENTRY& raw = props->raw_quant[id];
        if (raw.buffer != nullptr) {
            raw.identifier = static_cast<uint8_t>(id);
            g_copy_bytes(raw.buffer, values, value_bytes);
        }
        if (idct_family == 1)
            prepare_quant_natural(&table);
        else
            prepare_quant_scaled(&table);
        if (props->quant_table_count < 4) ++props->quant_table_count;
        at += 1 + value_bytes;
    }
    return STATUS_SUCCESS;
}

JPEG_STATUS read_dht(JPEG_PROPERTIES* props) {
    SegmentBody body;
    JPEG_STATUS status = read_body(&props->source, &body);
    if (status != STATUS_SUCCESS) return status;
    if (body.size > kLargestDhtBody) return STATUS_DATA_ERROR;

    uint32_t at = 0;
    while (at < body.size) {
        // Class/identifier byte and 16 counts, then the symbols they announce, all
        // inside the body.
        if (body.size - at < 17) return STATUS_BAD_HUFFMAN_TABLE;
        const uint32_t table_class = body.bytes[at] >> 4;
        const uint32_t id = body.bytes[at] & 15u;
        if (table_class > 1 || id > 3) return STATUS_BAD_HUFFMAN_TABLE;
        const uint8_t* counts = body.bytes + at + 1;
        uint32_t total = 0;
        for (int32_t i = 0; i < 16; ++i) total += counts[i];
        if (body.size - at - 17 < total) return STATUS_BAD_HUFFMAN_TABLE;
        const uint8_t* symbols = counts + 16;

        if (props->huff_id_limit < static_cast<int32_t>(id) + 1) props->huff_id_limit = static_cast<int32_t>(id) + 1;
        // The raw copy goes to the entry of this class and identifier, and only
        // when that very entry has both buffers to receive it. Its symbol buffer
        // holds up to 256 bytes.
        RAW_HUFF_ENTRY& raw = props->raw_huff[2 * id + table_class];
        if (raw.counts != nullptr && raw.values != nullptr) {
            raw.table_class = static_cast<uint8_t>(table_class);
            raw.identifier = static_cast<uint8_t>(id);
            g_copy_bytes(raw.counts, counts, 16);
            g_copy_bytes(raw.values, symbols, total < 256 ? total : 256);
        }
        HUFF_DECODE_TABLE* table = table_class != 0 ? &props->huff_tables[id] : &props->huff_tables[4 + id];
        if (build_huff_decode_table(counts, symbols, table_class, id, table) != STATUS_SUCCESS)
            return STATUS_BAD_HUFFMAN_TABLE;
        if (table_class != 0) {
            if (props->ac_table_count < 4) ++props->ac_table_count;
        } else if (props->dc_table_count < 4) {
            ++props->dc_table_count;
        }
        at += 17 + total;
    }
    return STATUS_SUCCESS;
}

JPEG_STATUS read_dri(JPEG_PROPERTIES* props, int32_t* interval) {
    SegmentBody body;
    const JPEG_STATUS status = read_body(&props->source, &body);
    if (status != STATUS_SUCCESS) return status;
    if (body.size < 2) return STATUS_DATA_ERROR;
    *interval = static_cast<int32_t>(be16_at(body.bytes));
    return STATUS_SUCCESS;
}

JPEG_STATUS read_sof(JPEG_PROPERTIES* props) {
    SegmentBody body;
    const JPEG_STATUS status = read_body(&props->source, &body);
    if (status != STATUS_SUCCESS) return status;
    if (body.size < 6) return STATUS_DATA_ERROR;
    const uint8_t* b = body.bytes;
    const int32_t precision = b[0];
    const int32_t height = static_cast<int32_t>(be16_at(b + 1));
    const int32_t width = static_cast<int32_t>(be16_at(b + 3));
    const int32_t count = b[5];

    // Everything is checked before anything is stored, so a rejected header
    // leaves the previous frame (and the stores sized for it) consistent.
    if (precision != 8) return STATUS_UNSUPPORTED_FRAME;
    if (height == 0) return STATUS_ERROR_DNL;
    // The record holds four component records and four selectors per scan.
    if (count < 1 || count > kMaxComponents) return STATUS_ERROR_COMP;
    if (body.size < 6 + 3 * static_cast<uint32_t>(count)) return STATUS_DATA_ERROR;
    int32_t h_max = 0;
    int32_t v_max = 0;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t h = b[7 + 3 * i] >> 4;
        const int32_t v = b[7 + 3 * i] & 15;
        // Zero would leave the MCU size undefined; above 4 is outside the format
        // and beyond what the output stages are built for.
        if (h < 1 || h > kMaxSampling || v < 1 || v > kMaxSampling) return STATUS_DATA_ERROR;
        if (h > h_max) h_max = h;
        if (v > v_max) v_max = v;
    }

    FRAME_INFO& frame = props->frame;
    g_zero_bytes(frame.components, 4 * sizeof(COMPONENT_INFO));
    frame.precision = precision;
    frame.height = height;
    frame.width = width;
    frame.component_count = count;
    for (int32_t i = 0; i < count; ++i) {
        COMPONENT_INFO& c = frame.components[i];
        c.identifier = b[6 + 3 * i];
        c.h_samp = b[7 + 3 * i] >> 4;
        c.v_samp = b[7 + 3 * i] & 15;
        c.quant_selector = b[8 + 3 * i];
    }
    frame.max_h_sampling = h_max;
    frame.max_v_sampling = v_max;
    frame.mcus_per_row = (width + 8 * h_max - 1) / (8 * h_max);
    frame.mcu_count = frame.mcus_per_row * ((height + 8 * v_max - 1) / (8 * v_max));
    return STATUS_SUCCESS;
}

JPEG_STATUS start_scan(JPEG_PROPERTIES* props, SCAN_INFO* scan) {
    if (props->awaiting_frame != 0) return STATUS_NO_FRAME;
    SegmentBody body;
    uint32_t length = 0;
    const JPEG_STATUS status = read_body(&props->source, &body, &length);
    if (status != STATUS_SUCCESS) return status;
    props->stage_table->scan_header_size = static_cast<intptr_t>(length) + 2;
    if (body.size < 1) return STATUS_DATA_ERROR;
    const uint8_t* b = body.bytes;
    const int32_t count = b[0];
    // More than four scan components would overrun the selector bytes and the
    // predictors; the header must also hold what it announces.
    if (count > kMaxComponents) return STATUS_DATA_ERROR;
    if (body.size < 1 + 2 * static_cast<uint32_t>(count) + 3) return STATUS_DATA_ERROR;

    scan->component_count = count;
    if (scan->components != nullptr) {
        codec_free(scan->components);
        scan->components = nullptr;
    }
    auto* components = static_cast<SCAN_COMPONENT*>(codec_alloc(sizeof(SCAN_COMPONENT) * (count > 0 ? count : 1)));
    if (components == nullptr) return STATUS_MEMORY_ERROR;
    for (int32_t j = 0; j < count; ++j) {
        const int32_t selector = b[1 + 2 * j];
        const uint32_t dc_id = b[2 + 2 * j] >> 4;
        const uint32_t ac_id = b[2 + 2 * j] & 15u;
        int32_t index = -1;
        if (dc_id <= 3 && ac_id <= 3) {
            for (int32_t i = 0; i < props->frame.component_count && i < kMaxComponents; ++i) {
                if (props->frame.components[i].identifier == selector) {
                    index = i;
                    break;
                }
            }
        }
        if (index < 0 || props->frame.components[index].quant_selector > 3 ||
            props->frame.components[index].quant_selector < 0) {
            codec_free(components);
            return STATUS_DATA_ERROR;
        }
        const COMPONENT_INFO& c = props->frame.components[index];
        SCAN_COMPONENT& s = components[j];
        s.frame_index = index;
        s.h_samp = c.h_samp;
        s.v_samp = c.v_samp;
        s.dc_table = &props->huff_tables[4 + dc_id];
        s.ac_table = &props->huff_tables[ac_id];
        s.quant_table = &props->quant_tables[c.quant_selector];
        props->dc_selectors[j] = static_cast<uint8_t>(dc_id);
        props->ac_selectors[j] = static_cast<uint8_t>(ac_id);
    }
    scan->components = components;
    scan->ss = b[1 + 2 * count];
    scan->se = b[2 + 2 * count];
    scan->ah = b[3 + 2 * count] >> 4;
    scan->al = b[3 + 2 * count] & 15;
    props->source.eob_run = 0;
    return STATUS_SUCCESS;
}

}  // namespace vantorel
