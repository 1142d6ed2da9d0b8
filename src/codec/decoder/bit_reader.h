// The bit reader's inline fast paths, shared by the sequential and progressive
// block routines so that both take the common cases without a call.
//
// The accumulator takes bytes at its low end: the valid bits are the low
// bit_count bits and the oldest one is the highest of them. Every routine here
// leaves exactly the accumulator, count and input position that taking the
// bytes one at a time through fill_bits would leave.
#pragma once

#include <cstring>

#include "codec/decoder/decoder.h"

namespace vantorel {

// Codes longer than the 8-bit lookahead (or a symbol read while fewer than 8
// bits remain): extends the code bit by bit from `length` bits on.
JPEG_STATUS decode_long_symbol(BYTE_SOURCE* source, const HUFF_DECODE_TABLE* table, int32_t length, int32_t* symbol);

// A status and the symbol or value that came with it, returned together so that
// the block loops never hand out the address of a local (which would keep their
// bit state in memory instead of registers).
struct LONG_CODE {
    JPEG_STATUS status;
    int32_t symbol;
};

// The slow paths of the block loops, on the byte source's own fields:
// next_symbol where fewer than 8 bits are held; a code longer than the
// lookahead from `from` bits on (9: met with at least 8 bits held, searched on
// the held bits where no fill can come between its steps); next_value where
// fewer than `size` bits are held.
LONG_CODE symbol_after_fill(BYTE_SOURCE* source, const HUFF_DECODE_TABLE* table);
LONG_CODE decode_long_code(BYTE_SOURCE* source, const HUFF_DECODE_TABLE* table, int32_t from);
LONG_CODE value_after_fill(BYTE_SOURCE* source, int32_t size);

// The largest code of a length as an unsigned number, or -1 when the length has
// no code. A stored -1 always means "none"; other negative values are codes
// 0x8000-0xFFFE read back from their 16-bit cell.
inline int32_t largest_code(const HUFF_DECODE_TABLE* table, int32_t length) {
    const int16_t stored = table->max_code[length];
    return stored == -1 ? -1 : static_cast<int32_t>(static_cast<uint16_t>(stored));
}

// The search of decode_long_symbol over bits already held: `peek(n)` gives the
// next n bits and `held` says how many there are (at least 9). Returns the
// number of bits the code takes (9-16, or 17 for a pattern that matches no code,
// whose symbol is 0), or 0 when the search would run past the held bits, where
// decode_long_symbol would fill; the caller then leaves it to that routine.
template <typename Peek>
inline int32_t search_long_code(const HUFF_DECODE_TABLE* table, int32_t held, Peek peek, int32_t* symbol) {
    int32_t length = 9;
    int32_t code = static_cast<int32_t>(peek(9));
    while (length < 17 && code > largest_code(table, length)) {
        if (length >= held) return 0;
        ++length;
        code = static_cast<int32_t>(peek(length));
    }
    if (length >= 17) {
        *symbol = 0;
        return 17;
    }
    // A table rejected half-way or never defined must still stay inside symbols.
    const uint32_t index = table->first_index[length] + (static_cast<uint32_t>(code) - table->min_code[length]);
    *symbol = index < 257 ? table->symbols[index] : 0;
    return length;
}

// Magnitude bits to the value they code: with the top bit clear the value is
// negative (bits - 2^size + 1). Signs are as likely as not, so this is done
// without a branch: the mask is all ones exactly when the top bit is clear.
inline int32_t extend_value(uint32_t bits, int32_t size) {
    const int32_t value = static_cast<int32_t>(bits);
    const int32_t negative = static_cast<int32_t>(bits >> (size - 1)) - 1;
    const int32_t offset = static_cast<int32_t>((~0u << size) + 1u);  // 1 - 2^size, extend_offset[size]
    return value + (negative & offset);
}

// The common case of fill_bits, taken inline: no marker pending and the next four
// bytes are in the buffer with no 0xFF among them. fill_bits would then take
// bytes one at a time until more than 24 bits are held; this takes the same
// bytes at once and leaves the same accumulator, count and input position.
// Anything else goes to fill_bits.
inline JPEG_STATUS top_up(BYTE_SOURCE* source, int32_t need) {
    const int32_t count = source->bit_count;
    if (source->pending_marker == 0 && source->avail >= 4 && count >= 0 && count <= 24) {
        uint8_t next[4];
        std::memcpy(next, source->cur, 4);
        const uint32_t word = (static_cast<uint32_t>(next[0]) << 24) | (static_cast<uint32_t>(next[1]) << 16) |
                              (static_cast<uint32_t>(next[2]) << 8) | next[3];
        // A byte of ~word is zero exactly where word holds 0xFF.
        const uint32_t inverted = ~word;
        if (((inverted - 0x01010101u) & ~inverted & 0x80808080u) == 0) {
            const int32_t taken = (32 - count) >> 3;  // 1-4 bytes bring the count to 25-32
            source->bit_acc = (source->bit_acc << (8 * taken)) | (word >> (32 - 8 * taken));
            source->bit_count = count + 8 * taken;
            source->cur += taken;
            source->avail -= static_cast<uint32_t>(taken);
            source->position =
                static_cast<int32_t>(static_cast<uint32_t>(source->position) + static_cast<uint32_t>(taken));
            return STATUS_SUCCESS;
        }
    }
    return fill_bits(source, need);
}

inline JPEG_STATUS next_symbol(BYTE_SOURCE* source, const HUFF_DECODE_TABLE* table, int32_t* symbol) {
    if (source->bit_count < 8) {
        const JPEG_STATUS status = top_up(source, 0);
        if (status < 0) return status;
        if (source->bit_count < 8) return decode_long_symbol(source, table, 1, symbol);
    }
    const uint32_t entry = table->lookahead[static_cast<uint32_t>(source->bit_acc >> (source->bit_count - 8)) & 0xFFu];
    const int32_t length = static_cast<int32_t>(entry >> 16);
    if (length != 0) {
        source->bit_count -= length;
        *symbol = static_cast<int32_t>(entry & 0xFFFFu);
        return STATUS_SUCCESS;
    }
    return decode_long_symbol(source, table, 9, symbol);
}

// Reads and extends the magnitude bits of a coefficient.
inline JPEG_STATUS next_value(BYTE_SOURCE* source, int32_t size, int32_t* value) {
    if (source->bit_count < size) {
        const JPEG_STATUS status = top_up(source, size);
        if (status != STATUS_SUCCESS) return status;
    }
    *value = extend_value(get_bits(source, size), size);
    return STATUS_SUCCESS;
}

// Clears the 64 coefficients with sixteen-byte stores. A call through the
// process-wide zero-fill routine costs as much as the clear itself here, and a
// plain memset of this size becomes a string instruction whose start-up cost is
// a sixth of the whole block decode.
using ClearLane = int16_t __attribute__((vector_size(16), aligned(2), may_alias));

inline void clear_block(int16_t* block) {
    ClearLane* lanes = reinterpret_cast<ClearLane*>(block);
    const ClearLane zero = {};
    lanes[0] = zero, lanes[1] = zero, lanes[2] = zero, lanes[3] = zero;
    lanes[4] = zero, lanes[5] = zero, lanes[6] = zero, lanes[7] = zero;
}

}  // namespace vantorel
