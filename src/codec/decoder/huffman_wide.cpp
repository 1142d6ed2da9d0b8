// The processor-variant block decoders: the same decoding as decode_block and
// decode_block_dc_only, with the accumulator held in a 64-bit register whose
// valid bits sit at the top. The next code is then simply the top byte, taking
// bits is a left shift, and magnitude bits are the top bits after the code, so
// no shift amount has to be worked out from the count before each look-up.
//
// Bytes are taken from the input exactly when and as the generic reader takes
// them (a refill only when fewer bits are held than the next step needs, up to
// more than 24 bits), so coefficients, predictors, pending marker and input
// position are the generic ones after every block. Between calls the bits are
// kept in the generic layout (low-aligned in bit_acc), so either family can
// continue a scan the other began. Everything unusual (long codes, markers,
// fill bytes, the end of the input) is handed to the generic routines on the
// same state.
//
// One difference is deliberate: when a file yields no further bytes, these
// report "Error EOF" (-11) where the generic reader reports "File error" (-23).
#include "codec/decoder/bit_reader.h"
#include "codec/decoder/decoder.h"

namespace vantorel {

namespace {

struct WideBits {
    BYTE_SOURCE* source;
    uint64_t acc;   // valid bits at the top, zeros below them
    int32_t count;  // valid bits, 0-56 on the fast paths

    // The generic layout keeps the valid bits at the low end; bits above them
    // are stale and are dropped by the shift.
    void load() {
        count = source->bit_count;
        acc = count > 0 && count <= 56 ? source->bit_acc << (64 - count) : 0;
    }
    void store() const {
        source->bit_acc = count > 0 ? acc >> (64 - count) : 0;
        source->bit_count = count;
    }

    JPEG_STATUS end_of_file(JPEG_STATUS status) const {
        return status == STATUS_FILE_ERROR && source->file != nullptr ? STATUS_ERROR_EOF : status;
    }

    // Takes bytes as fill_bits would: four at a time when they hold no 0xFF and
    // no marker is pending, otherwise through fill_bits itself.
    [[gnu::always_inline]] JPEG_STATUS refill(int32_t need) {
        BYTE_SOURCE* s = source;
        if (s->pending_marker == 0 && s->avail >= 4 && count >= 0 && count <= 24) {
            const uint8_t* p = s->cur;
            const uint32_t word = (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
                                  (static_cast<uint32_t>(p[2]) << 8) | p[3];
            const uint32_t inverted = ~word;  // a zero byte here is an 0xFF byte of the input
            if (((inverted - 0x01010101u) & ~inverted & 0x80808080u) == 0) {
                const int32_t taken = (32 - count) >> 3;
                const uint64_t bytes = static_cast<uint64_t>(word >> (32 - 8 * taken));
                acc |= bytes << (64 - count - 8 * taken);
                count += 8 * taken;
                s->cur += taken;
                s->avail -= static_cast<uint32_t>(taken);
                s->position = static_cast<int32_t>(static_cast<uint32_t>(s->position) + static_cast<uint32_t>(taken));
                return STATUS_SUCCESS;
            }
        }
        store();
        const JPEG_STATUS status = fill_bits(s, need);
        load();
        return end_of_file(status);
    }

    // Codes longer than the lookahead, or a symbol met with fewer than 8 bits
    // after a fill: the generic routine on the byte source's fields, which the
    // locals are stored to before and loaded from after (so they never have to
    // live in memory themselves).
    JPEG_STATUS long_symbol(const HUFF_DECODE_TABLE* table, int32_t from, int32_t* out) {
        store();
        const LONG_CODE r = decode_long_code(source, table, from);
        load();
        *out = r.symbol;
        return end_of_file(r.status);
    }

    [[gnu::always_inline]] JPEG_STATUS symbol(const HUFF_DECODE_TABLE* table, int32_t* out) {
        if (count < 8) {
            const JPEG_STATUS status = refill(0);
            if (status < 0) return status;
            if (count < 8) return long_symbol(table, 1, out);
        }
        const uint32_t entry = table->lookahead[acc >> 56];
        const int32_t length = static_cast<int32_t>(entry >> 16);
        if (length == 0) {
            // A code longer than the lookahead, searched here on the held bits
            // when they are enough for the whole search (as the generic routine
            // searches them, with no fill in between).
            if (count >= 16) {
                const uint64_t held = acc;
                const int32_t taken =
                    search_long_code(table, count, [held](int32_t n) { return held >> (64 - n); }, out);
                if (taken != 0) {
                    acc <<= taken;
                    count -= taken;
                    return STATUS_SUCCESS;
                }
            }
            return long_symbol(table, 9, out);
        }
        acc <<= length;
        count -= length;
        *out = static_cast<int32_t>(entry & 0xFFFFu);
        return STATUS_SUCCESS;
    }

    // Takes `size` (1-15) magnitude bits; with `extend`, turns them into the
    // signed value they code.
    [[gnu::always_inline]] JPEG_STATUS value(int32_t size, int32_t* out) {
        if (count < size) {
            const JPEG_STATUS status = refill(size);
            if (status != STATUS_SUCCESS) return status;
            if (count < size) {
                // The input ran out: the generic rule (missing bits read as zero).
                store();
                *out = extend_value(get_bits(source, size), size);
                load();
                return STATUS_SUCCESS;
            }
        }
        const uint32_t bits = static_cast<uint32_t>(acc >> (64 - size));
        acc <<= size;
        count -= size;
        *out = extend_value(bits, size);
        return STATUS_SUCCESS;
    }
};

inline JPEG_STATUS block_result(JPEG_STATUS status) {
    return status > 0 ? STATUS_SUCCESS : status;
}

// States the fast paths do not take (a count outside 0-56 never arises from the
// reader itself) go to the generic routine.
inline bool usable(const BYTE_SOURCE* source) {
    return source->bit_count >= 0 && source->bit_count <= 56;
}

JPEG_STATUS generic_result(const BYTE_SOURCE* source, JPEG_STATUS status) {
    return status == STATUS_FILE_ERROR && source->file != nullptr ? STATUS_ERROR_EOF : status;
}

// DC difference into the predictor, as decode_block does it.
[[gnu::always_inline]] inline JPEG_STATUS wide_dc(WideBits& bits, const HUFF_DECODE_TABLE* dc_table,
                                                  int16_t* predictor) {
    int32_t symbol;
    JPEG_STATUS status = bits.symbol(dc_table, &symbol);
    if (status != STATUS_SUCCESS) return status;
    const int32_t size = symbol & 15;
    if (size != 0) {
        int32_t difference;
        status = bits.value(size, &difference);
        if (status != STATUS_SUCCESS) return status;
        *predictor = static_cast<int16_t>(
            static_cast<uint16_t>(static_cast<uint16_t>(*predictor) + static_cast<uint16_t>(difference)));
    }
    return STATUS_SUCCESS;
}

// One AC code and its magnitude bits the plain way, from zig-zag position k.
// False when the block ends here: at an end-of-block code, or on a failure
// left in `status`. Otherwise k has moved past the coefficient, which went to
// store(natural index, value), or past sixteen zeros.
template <typename Store>
[[gnu::always_inline]] inline bool plain_ac_step(WideBits& bits, const HUFF_DECODE_TABLE* ac_table, int32_t& k,
                                                 JPEG_STATUS& status, Store store) {
    int32_t symbol;
    status = bits.symbol(ac_table, &symbol);
    if (status != STATUS_SUCCESS) return false;
    const int32_t run = (symbol >> 4) & 15;
    const int32_t size = symbol & 15;
    if (size == 0) {
        if (run != 15) return false;
        k += 16;
        return true;
    }
    int32_t value;
    status = bits.value(size, &value);
    if (status != STATUS_SUCCESS) return false;
    store(natural_order[k + run], value);
    k += run + 1;
    return true;
}

}  // namespace

JPEG_STATUS decode_block_wide(BYTE_SOURCE* source, const HUFF_DECODE_TABLE* dc_table, const HUFF_DECODE_TABLE* ac_table,
                              int16_t* predictor, int16_t* block) {
    if (!usable(source)) return generic_result(source, decode_block(source, dc_table, ac_table, predictor, block));
    clear_block(block);
    WideBits bits{source, 0, 0};
    bits.load();

    JPEG_STATUS status = wide_dc(bits, dc_table, predictor);
    if (status != STATUS_SUCCESS) {
        bits.store();
        return block_result(status);
    }
    block[0] = *predictor;

    // As in decode_block: n coefficients still to come, k the next zig-zag
    // position; k + run stays inside natural_order and its guard entries.
    // k is the next zig-zag position; the coefficients still to come, which
    // decode_block counts down separately, are always 64 - k.
    int32_t k = 1;
    const auto store = [block](int32_t at, int32_t value) { block[at] = static_cast<int16_t>(value); };
    while (k < 64)
        if (!plain_ac_step(bits, ac_table, k, status, store)) break;
    bits.store();
    return block_result(status);
}

JPEG_STATUS decode_block_dc_only_wide(BYTE_SOURCE* source, const HUFF_DECODE_TABLE* dc_table,
                                      const HUFF_DECODE_TABLE* ac_table, int16_t* predictor, int16_t* block) {
    if (!usable(source))
        return generic_result(source, decode_block_dc_only(source, dc_table, ac_table, predictor, block));
    WideBits bits{source, 0, 0};
    bits.load();
    JPEG_STATUS status = wide_dc(bits, dc_table, predictor);
    if (status != STATUS_SUCCESS) {
        bits.store();
        return block_result(status);
    }
    if (block != nullptr) block[0] = *predictor;

    int32_t n = 63;
    while (n > 0) {
        int32_t symbol;
        status = bits.symbol(ac_table, &symbol);
        if (status != STATUS_SUCCESS) break;
        const int32_t run = (symbol >> 4) & 15;
        const int32_t size = symbol & 15;
        if (size == 0) {
            if (run != 15) break;
            n -= 16;
            continue;
        }
        // The magnitude bits are taken and dropped.
        if (bits.count < size) {
            status = bits.refill(size);
            if (status != STATUS_SUCCESS) break;
        }
        if (bits.count >= size) {
            bits.acc <<= size;
        } else {
            bits.acc = 0;
        }
        bits.count -= size;
        n -= run + 1;
    }
    bits.store();
    return block_result(status);
}

// ---------------------------------------------------------------------------
// Joined code and magnitude look-up
// ---------------------------------------------------------------------------

void build_joined_table(const HUFF_DECODE_TABLE* table, JOINED_HUFF_TABLE* out) {
    constexpr int32_t B = JOINED_HUFF_TABLE::BITS;
    for (uint32_t i = 0; i < (1u << B); ++i) {
        const uint32_t entry = table->lookahead[i >> (B - 8)];
        const int32_t length = static_cast<int32_t>(entry >> 16);
        const uint32_t symbol = entry & 0xFFFFu;
        const int32_t size = static_cast<int32_t>(symbol & 15);
        const int32_t run = static_cast<int32_t>((symbol >> 4) & 15);
        uint32_t joined = 0;
        if (length == 0 || length > 8) {
            joined = 0;  // longer than the lookahead: the plain steps
        } else if (size == 0) {
            joined = static_cast<uint32_t>(length) | (run == 15 ? JOINED_HUFF_TABLE::SKIP : JOINED_HUFF_TABLE::END);
        } else if (length + size <= B) {
            const uint32_t bits = (i >> (B - length - size)) & ((1u << size) - 1u);
            const int32_t value = extend_value(bits, size);
            joined = static_cast<uint32_t>(length + size) | static_cast<uint32_t>(run) << 8 |
                     static_cast<uint32_t>(static_cast<uint16_t>(value)) << 16;
        }
        out->entry[i] = joined;
    }
}

namespace {

// A coefficient times its quantisation step, kept to 16 bits as the
// dequantisation routines keep it.
inline int16_t dequantized(int32_t value, QUANT_VALUE step) {
    return static_cast<int16_t>(static_cast<uint16_t>(value) * static_cast<uint32_t>(static_cast<uint16_t>(step)));
}

}  // namespace

JPEG_STATUS decode_block_joined(BYTE_SOURCE* source, const HUFF_DECODE_TABLE* dc_table,
                                const HUFF_DECODE_TABLE* ac_table, const JOINED_HUFF_TABLE* ac_joined,
                                const QUANT_VALUE* quant, int16_t* predictor, int16_t* block) {
    if (!usable(source)) {
        const JPEG_STATUS status = decode_block(source, dc_table, ac_table, predictor, block);
        if (status >= 0) dequantize_direct(block, quant);
        return generic_result(source, status);
    }
    constexpr int32_t B = JOINED_HUFF_TABLE::BITS;
    clear_block(block);
    WideBits bits{source, 0, 0};
    bits.load();

    JPEG_STATUS status = wide_dc(bits, dc_table, predictor);
    if (status != STATUS_SUCCESS) {
        bits.store();
        return block_result(status);
    }
    block[0] = dequantized(*predictor, quant[0]);

    // A joined entry is taken only when the plain steps would take the same
    // bits without a refill: at least 8 bits held for the code, and the code
    // and its magnitude bits all among those held.
    const auto store = [block, quant](int32_t at, int32_t value) { block[at] = dequantized(value, quant[at]); };
    int32_t k = 1;
    while (k < 64) {
        const uint32_t entry = ac_joined->entry[bits.acc >> (64 - B)];
        const uint32_t total = entry & JOINED_HUFF_TABLE::TOTAL;
        if (__builtin_expect(bits.count >= 8 && total - 1u < static_cast<uint32_t>(bits.count), 1)) {
            bits.acc <<= total;
            bits.count -= static_cast<int32_t>(total);
            if (__builtin_expect((entry & (JOINED_HUFF_TABLE::END | JOINED_HUFF_TABLE::SKIP)) == 0, 1)) {
                k += static_cast<int32_t>((entry >> 8) & 15);
                const int32_t at = natural_order[k];
                block[at] = dequantized(static_cast<int32_t>(entry) >> 16, quant[at]);
                ++k;
                continue;
            }
            if ((entry & JOINED_HUFF_TABLE::END) != 0) break;
            k += 16;
            continue;
        }
        if (!plain_ac_step(bits, ac_table, k, status, store)) break;
    }
    bits.store();
    return block_result(status);
}

}  // namespace vantorel
