// Huffman decoding: the derived decode tables built from DHT segments, the bit
// reader that sits on the byte source (removing stuffed zeros and stopping at
// markers), symbol decoding, and the generic block decoders of stage words 61
// and 62.
//
// The accumulator takes bytes at its low end, so the valid bits are the low
// bit_count bits and the oldest one is the highest of them. A fill tops it up
// to at most 32 bits, which is enough for one code and its magnitude bits in
// the common case, so the block loop refills at most once per coefficient.
#include <cstring>

#include "codec/codec.h"
#include "codec/decoder/bit_reader.h"
#include "codec/decoder/decoder.h"

namespace vantorel {

// Zig-zag position -> natural (row-major) index, then 16 guard entries: a run
// that overshoots the end of a block lands on coefficient 63, never outside.
const int32_t natural_order[80] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13,
    6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31,
    39, 46, 53, 60, 61, 54, 47, 55, 62, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63,
};

// Entry s is 1 - 2^s: added to s magnitude bits whose top bit is clear, it gives
// the negative value those bits stand for.
const int32_t extend_offset[16] = {
    0, -1, -3, -7, -15, -31, -63, -127, -255, -511, -1023, -2047, -4095, -8191, -16383, -32767,
};

// Codes longer than the 8-bit lookahead: extend the code one bit at a time until
// it falls within the codes of its length. 16 bits without a match give symbol 0.
JPEG_STATUS decode_long_symbol(BYTE_SOURCE* source, const HUFF_DECODE_TABLE* table, int32_t length, int32_t* symbol) {
    if (source->bit_count < length) {
        const JPEG_STATUS status = fill_bits(source, length);
        if (status != STATUS_SUCCESS) return status;
    }
    int32_t code = static_cast<int32_t>(get_bits(source, length));
    while (length < 17 && code > largest_code(table, length)) {
        if (source->bit_count <= 0) {
            const JPEG_STATUS status = fill_bits(source, 1);
            if (status != STATUS_SUCCESS) return status;
        }
        code = code * 2 + static_cast<int32_t>(get_bits(source, 1));
        ++length;
    }
    if (length >= 17) {
        *symbol = 0;
        return STATUS_SUCCESS;
    }
    // A table rejected half-way or never defined must still stay inside symbols.
    const uint32_t index = table->first_index[length] + (static_cast<uint32_t>(code) - table->min_code[length]);
    *symbol = index < 257 ? table->symbols[index] : 0;
    return STATUS_SUCCESS;
}

namespace {

// A marker ends the block quietly; only real failures travel up.
inline JPEG_STATUS block_result(JPEG_STATUS status) {
    return status > 0 ? STATUS_SUCCESS : status;
}

}  // namespace

JPEG_STATUS build_huff_decode_table(const uint8_t counts[16], const uint8_t* values, uint32_t table_class,
                                    uint32_t table_id, HUFF_DECODE_TABLE* table) {
    table->table_class = table_class;
    table->table_id = table_id;
    uint32_t total = 0;
    for (int32_t i = 0; i < 16; ++i) total += counts[i];
    if (total > 257) return STATUS_BAD_HUFFMAN_TABLE;

    for (int32_t i = 0; i < 17; ++i) {
        table->min_code[i] = 0;
        table->max_code[i] = 0;
        table->first_index[i] = 0;
    }
    table->max_code[17] = -1;
    g_zero_bytes(table->lookahead, sizeof table->lookahead);

    // Canonical assignment: consecutive codes within a length, doubled on the way
    // to the next length. Counts that do not fit their length (three codes of one
    // bit, say) would give codes of more bits than their length; such a table is
    // rejected before any of its codes reaches the lookahead.
    uint32_t code = 0;
    uint32_t j = 0;
    for (int32_t length = 1; length <= 16; ++length) {
        const uint32_t n = counts[length - 1];
        if (n == 0) {
            table->max_code[length] = -1;
        } else {
            if (code + n > (1u << length)) {
                g_zero_bytes(table, sizeof *table);
                table->table_class = table_class;
                table->table_id = table_id;
                return STATUS_BAD_HUFFMAN_TABLE;
            }
            table->first_index[length] = static_cast<uint16_t>(j);
            table->min_code[length] = static_cast<uint16_t>(code);
            for (uint32_t i = 0; i < n; ++i) {
                const uint8_t symbol = values[j + i];
                table->symbols[j + i] = symbol;
                if (length <= 8) {
                    const uint32_t span = 1u << (8 - length);
                    const uint32_t first = (code + i) << (8 - length);
                    const uint32_t entry = (static_cast<uint32_t>(length) << 16) | symbol;
                    for (uint32_t e = 0; e < span; ++e) table->lookahead[first + e] = entry;
                }
            }
            code += n;
            j += n;
            table->max_code[length] = static_cast<int16_t>(static_cast<uint16_t>(code - 1));
        }
        code <<= 1;
    }
    return STATUS_SUCCESS;
}

JPEG_STATUS fill_bits(BYTE_SOURCE* source, int32_t need) {
    while (source->bit_count <= 24) {
        if (source->pending_marker != 0) return source->bit_count < need ? MARKER_REACHED : STATUS_SUCCESS;
        if (source->avail == 0) {
            if (source->file == nullptr) {
                // In-memory data ran out without a marker: the missing bits read as
                // zeros. A negative count means just that, so it never needs to go
                // below zero (which keeps it from wrapping on very long scans).
                if (source->bit_count < 0) source->bit_count = 0;
                return STATUS_SUCCESS;
            }
            const JPEG_STATUS status = fill_input_buffer(source);
            if (status != STATUS_SUCCESS) return status;
        }
        uint32_t byte = *source->cur++;
        --source->avail;
        source->position = static_cast<int32_t>(static_cast<uint32_t>(source->position) + 1u);
        if (byte == 0xFF) {
            // Further 0xFF bytes are fill; what follows them is a stuffed zero (the
            // data byte was 0xFF) or a marker code, which ends the data.
            uint32_t next;
            do {
                if (source->avail == 0) {
                    if (source->file == nullptr) return STATUS_DATA_ERROR;
                    const JPEG_STATUS status = fill_input_buffer(source);
                    if (status != STATUS_SUCCESS) return status;
                }
                next = *source->cur++;
                --source->avail;
                source->position = static_cast<int32_t>(static_cast<uint32_t>(source->position) + 1u);
            } while (next == 0xFF);
            if (next != 0) {
                source->pending_marker = static_cast<uint8_t>(next);
                return source->bit_count < need ? MARKER_REACHED : STATUS_SUCCESS;
            }
        }
        if (source->bit_count < 0) source->bit_count = 0;
        source->bit_acc = (source->bit_acc << 8) | byte;
        source->bit_count += 8;
    }
    return STATUS_SUCCESS;
}

JPEG_STATUS decode_huff_symbol(BYTE_SOURCE* source, const HUFF_DECODE_TABLE* table, int32_t* symbol) {
    *symbol = 0;
    return next_symbol(source, table, symbol);
}

// The block loop keeps the accumulator and its count in locals and works on them
// directly while they hold enough bits; every fill and every long code goes
// through the shared routines above, with the locals written back first and
// read again after, so the bits taken, the input position and the results are
// those of the symbol-by-symbol form.
namespace {

struct LocalBits {
    BYTE_SOURCE* source;
    uint64_t acc;
    int32_t count;

    void store() const {
        source->bit_acc = acc;
        source->bit_count = count;
    }
    void load() {
        acc = source->bit_acc;
        count = source->bit_count;
    }

    // top_up's common case on the locals: no marker pending and four bytes
    // without 0xFF at hand; the same bytes, accumulator, count and position.
    bool refill() {
        BYTE_SOURCE* s = source;
        if (s->pending_marker != 0 || s->avail < 4 || count < 0 || count > 24) return false;
        const uint8_t* p = s->cur;
        const uint32_t word = (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
                              (static_cast<uint32_t>(p[2]) << 8) | p[3];
        const uint32_t inverted = ~word;  // a zero byte here is an 0xFF byte of the input
        if (((inverted - 0x01010101u) & ~inverted & 0x80808080u) != 0) return false;
        const int32_t taken = (32 - count) >> 3;
        acc = (acc << (8 * taken)) | (word >> (32 - 8 * taken));
        count += 8 * taken;
        s->cur += taken;
        s->avail -= static_cast<uint32_t>(taken);
        s->position = static_cast<int32_t>(static_cast<uint32_t>(s->position) + static_cast<uint32_t>(taken));
        return true;
    }

    // next_symbol on the locals. The slow paths work on the byte source's own
    // fields (stored before, loaded after) and never see the locals, so these
    // stay in registers through the block loop.
    JPEG_STATUS symbol(const HUFF_DECODE_TABLE* table, int32_t* out) {
        if (count < 8 && !refill()) {
            store();
            const LONG_CODE r = symbol_after_fill(source, table);
            load();
            *out = r.symbol;
            return r.status;
        }
        const uint32_t entry = table->lookahead[static_cast<uint32_t>(acc >> (count - 8)) & 0xFFu];
        const int32_t length = static_cast<int32_t>(entry >> 16);
        if (length != 0) {
            count -= length;
            *out = static_cast<int32_t>(entry & 0xFFFFu);
            return STATUS_SUCCESS;
        }
        store();
        const LONG_CODE r = decode_long_code(source, table, 9);
        load();
        *out = r.symbol;
        return r.status;
    }

    // next_value on the locals.
    JPEG_STATUS value(int32_t size, int32_t* out) {
        if (count < size && !refill()) {
            store();
            const LONG_CODE r = value_after_fill(source, size);
            load();
            *out = r.symbol;
            return r.status;
        }
        count -= size;
        *out = extend_value(static_cast<uint32_t>(acc >> count) & ((1u << size) - 1u), size);
        return STATUS_SUCCESS;
    }
};

}  // namespace

namespace {

// The DC difference into the predictor (16-bit wrap-around), on the locals. A
// marker or failure leaves the predictor as it was.
[[gnu::always_inline]] inline JPEG_STATUS local_dc(LocalBits& bits, const HUFF_DECODE_TABLE* dc_table,
                                                   int16_t* predictor) {
    int32_t symbol;
    JPEG_STATUS status = bits.symbol(dc_table, &symbol);
    if (status != STATUS_SUCCESS) return status;
    const int32_t dc_size = symbol & 15;
    if (dc_size != 0) {
        int32_t difference;
        status = bits.value(dc_size, &difference);
        if (status != STATUS_SUCCESS) return status;
        *predictor = static_cast<int16_t>(
            static_cast<uint16_t>(static_cast<uint16_t>(*predictor) + static_cast<uint16_t>(difference)));
    }
    return STATUS_SUCCESS;
}

}  // namespace

LONG_CODE symbol_after_fill(BYTE_SOURCE* source, const HUFF_DECODE_TABLE* table) {
    LONG_CODE r{STATUS_SUCCESS, 0};
    r.status = next_symbol(source, table, &r.symbol);
    return r;
}

LONG_CODE decode_long_code(BYTE_SOURCE* source, const HUFF_DECODE_TABLE* table, int32_t from) {
    LONG_CODE r{STATUS_SUCCESS, 0};
    if (from == 9) {
        if (source->bit_count < 9) {
            // decode_long_symbol would fill first, exactly like this.
            r.status = top_up(source, 9);
            if (r.status != STATUS_SUCCESS) return r;
        }
        const int32_t held = source->bit_count;
        if (held >= 9 && held <= 64) {
            const uint64_t bits = source->bit_acc;
            const int32_t taken = search_long_code(
                table, held, [bits, held](int32_t n) { return (bits >> (held - n)) & ((uint64_t{1} << n) - 1); },
                &r.symbol);
            if (taken != 0) {
                source->bit_count = held - taken;
                return r;
            }
        }
    }
    r.status = decode_long_symbol(source, table, from, &r.symbol);
    return r;
}

LONG_CODE value_after_fill(BYTE_SOURCE* source, int32_t size) {
    LONG_CODE r{STATUS_SUCCESS, 0};
    r.status = next_value(source, size, &r.symbol);
    return r;
}

JPEG_STATUS decode_block(BYTE_SOURCE* source, const HUFF_DECODE_TABLE* dc_table, const HUFF_DECODE_TABLE* ac_table,
                         int16_t* predictor, int16_t* block) {
    clear_block(block);
    LocalBits bits{source, source->bit_acc, source->bit_count};

    int32_t symbol;
    JPEG_STATUS status = local_dc(bits, dc_table, predictor);
    if (status != STATUS_SUCCESS) {
        bits.store();
        return block_result(status);
    }
    block[0] = *predictor;

    // n counts the coefficients still to come and k is the next zig-zag position,
    // so k = 64 - n: while n > 0, k + run stays below 79, inside natural_order.
    int32_t n = 63;
    int32_t k = 1;
    while (n > 0) {
        status = bits.symbol(ac_table, &symbol);
        if (status != STATUS_SUCCESS) break;
        const int32_t run = (symbol >> 4) & 15;
        const int32_t size = symbol & 15;
        if (size == 0) {
            if (run != 15) break;  // end of block
            n -= 16;
            k += 16;
            continue;
        }
        int32_t value;
        status = bits.value(size, &value);
        if (status != STATUS_SUCCESS) break;
        n -= run + 1;
        block[natural_order[k + run]] = static_cast<int16_t>(value);
        k += run + 1;
    }
    bits.store();
    return block_result(status);
}

JPEG_STATUS decode_block_dc_only(BYTE_SOURCE* source, const HUFF_DECODE_TABLE* dc_table,
                                 const HUFF_DECODE_TABLE* ac_table, int16_t* predictor, int16_t* block) {
    // decode_block's steps on the same local bit state, without the clear and
    // with the magnitude bits of the AC values taken and dropped.
    LocalBits bits{source, source->bit_acc, source->bit_count};
    int32_t symbol;
    JPEG_STATUS status = local_dc(bits, dc_table, predictor);
    if (status != STATUS_SUCCESS) {
        bits.store();
        return block_result(status);
    }
    if (block != nullptr) block[0] = *predictor;

    int32_t n = 63;
    while (n > 0) {
        status = bits.symbol(ac_table, &symbol);
        if (status != STATUS_SUCCESS) break;
        const int32_t run = (symbol >> 4) & 15;
        const int32_t size = symbol & 15;
        if (size == 0) {
            if (run != 15) break;
            n -= 16;
            continue;
        }
        if (bits.count < size) {
            bits.store();
            status = top_up(source, size);
            bits.load();
            if (status != STATUS_SUCCESS) break;
        }
        bits.count -= size;  // the magnitude bits are not needed
        n -= run + 1;
    }
    bits.store();
    return block_result(status);
}

}  // namespace vantorel
