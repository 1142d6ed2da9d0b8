// The byte source: every byte the decoder reads comes through here, either from
// an open file in 4096-byte blocks or straight from the caller's memory buffer.
// The marker parser takes bytes, whole segment bodies, 16-bit lengths and marker
// codes; the entropy decoder reads from the same buffer, so both share one read
// position. The invariant after every operation is avail == end - cur.
#include "codec/codec.h"
#include "codec/decoder/decoder.h"
#include "platform/files.h"

namespace vantorel {

namespace {

// Largest segment body a 16-bit length can announce, with some slack; nothing
// longer is ever asked for contiguously.
constexpr uint32_t kLargestSegmentBody = 65535;

inline void consume(BYTE_SOURCE* source, uint32_t count) {
    source->cur += count;
    source->avail -= count;
    // Wrapping on purpose: a file past 2 GiB must not make this undefined.
    source->position = static_cast<int32_t>(static_cast<uint32_t>(source->position) + count);
}

bool is_file_give_back_kind(IO_MODE kind) {
    return kind == READ_PARAMS_FILE || kind == READ_TABLES_FILE || kind == READ_SCANS_FILE ||
           kind == READ_IMAGE_HALF_FILE || kind == READ_IMAGE_QUARTER_FILE || kind == READ_IMAGE_EIGHTH_FILE ||
           kind == READ_THUMBNAIL_FILE;
}

}  // namespace

void reset_byte_source(BYTE_SOURCE* source) {
    source->bit_acc = 0;
    source->bit_count = 0;
    source->pending_marker = 0;
    if (source->file != nullptr) {
        // An empty buffer: the first read fills it from the file.
        source->cur = source->end = source->buffer + INPUT_BUFFER_SIZE;
        source->avail = 0;
    } else {
        const int32_t size = source->begin != nullptr && source->size > 0 ? source->size : 0;
        source->cur = source->begin;
        source->end = source->begin + size;
        source->avail = static_cast<uint32_t>(size);
    }
}

JPEG_STATUS fill_input_buffer(BYTE_SOURCE* source) {
    if (source->file == nullptr) return STATUS_FILE_ERROR;
    uint32_t done = 0;
    platform::read_file(source->file, source->buffer, INPUT_BUFFER_SIZE, &done);
    // A failed read counts as the end of the file: the buffer keeps its old
    // state, so no byte of an earlier block is ever read a second time.
    if (done == 0) return STATUS_FILE_ERROR;
    if (done > static_cast<uint32_t>(INPUT_BUFFER_SIZE)) done = INPUT_BUFFER_SIZE;
    source->cur = source->buffer;
    source->end = source->buffer + done;
    source->avail = done;
    return STATUS_SUCCESS;
}

JPEG_STATUS take_bytes(BYTE_SOURCE* source, uint32_t count, const uint8_t** out) {
    *out = nullptr;
    if (count > source->avail) {
        if (source->file == nullptr) return STATUS_MEMORY_ERROR;
        const JPEG_STATUS status = fill_input_buffer(source);
        if (status != STATUS_SUCCESS) return status;
        if (count > source->avail) return STATUS_INTERNAL_ERROR;
    }
    *out = source->cur;
    consume(source, count);
    return STATUS_SUCCESS;
}

JPEG_STATUS read_segment_bytes(BYTE_SOURCE* source, uint32_t count, const uint8_t** out, uint8_t** copy,
                               int32_t* copied) {
    *out = nullptr;
    *copy = nullptr;
    *copied = 0;
    if (count <= source->avail) return take_bytes(source, count, out);
    // A memory source holds everything it will ever hold: the body is cut short.
    if (source->file == nullptr) return STATUS_DATA_ERROR;
    if (count > kLargestSegmentBody) return STATUS_INTERNAL_ERROR;

    auto* block = static_cast<uint8_t*>(codec_alloc(count));
    if (block == nullptr) return STATUS_MEMORY_ERROR;
    uint32_t have = source->avail;
    g_copy_bytes(block, source->cur, have);
    consume(source, have);
    while (have < count) {
        uint32_t chunk = count - have;
        if (chunk > static_cast<uint32_t>(INPUT_BUFFER_SIZE)) chunk = INPUT_BUFFER_SIZE;
        const uint8_t* part = nullptr;
        if (take_bytes(source, chunk, &part) != STATUS_SUCCESS) {
            codec_free(block);
            return STATUS_DATA_ERROR;
        }
        g_copy_bytes(block + have, part, chunk);
        have += chunk;
    }
    *out = block;
    *copy = block;
    *copied = 1;
    return STATUS_SUCCESS;
}

JPEG_STATUS read_be16(BYTE_SOURCE* source, uint32_t* value) {
    const uint8_t* bytes = nullptr;
    uint8_t* copy = nullptr;
    int32_t copied = 0;
    const JPEG_STATUS status = read_segment_bytes(source, 2, &bytes, &copy, &copied);
    if (status != STATUS_SUCCESS) return status;
    *value = static_cast<uint32_t>(bytes[0]) << 8 | bytes[1];
    if (copy != nullptr) codec_free(copy);
    return STATUS_SUCCESS;
}

JPEG_STATUS seek_next_marker(BYTE_SOURCE* source) {
    // Every pass either consumes at least one byte or refills; a memory source
    // that runs dry and a file at its end both stop the search.
    for (;;) {
        if (source->cur >= source->end) {
            if (source->file == nullptr) return STATUS_MEMORY_ERROR;
            const JPEG_STATUS status = fill_input_buffer(source);
            if (status != STATUS_SUCCESS) return status;
        }
        bool found_ff = false;
        while (source->avail > 0) {
            const uint8_t byte = *source->cur;
            consume(source, 1);
            if (byte == 0xFF) {
                found_ff = true;
                break;
            }
        }
        if (source->avail == 0) {
            if (source->file == nullptr) return STATUS_MEMORY_ERROR;
            const JPEG_STATUS status = fill_input_buffer(source);
            if (status != STATUS_SUCCESS) return status;
            if (!found_ff) continue;
        }
        const uint8_t next = *source->cur;
        if (next == 0xFF) continue;  // a fill byte: the next pass takes it as the 0xFF
        if (next == 0x00) {          // a stuffed zero inside entropy-coded data
            consume(source, 1);
            continue;
        }
        return STATUS_SUCCESS;
    }
}

JPEG_STATUS read_next_marker(BYTE_SOURCE* source, int32_t* code) {
    if (source->pending_marker != 0) {
        *code = source->pending_marker;
        source->pending_marker = 0;
        return STATUS_SUCCESS;
    }
    const JPEG_STATUS status = seek_next_marker(source);
    if (status != STATUS_SUCCESS) return status;
    const uint8_t* byte = nullptr;
    if (take_bytes(source, 1, &byte) != STATUS_SUCCESS) {
        *code = 256;
        return STATUS_SUCCESS;
    }
    *code = *byte;
    return STATUS_SUCCESS;
}

JPEG_STATUS skip_segment(BYTE_SOURCE* source) {
    uint32_t length = 0;
    const JPEG_STATUS status = read_be16(source, &length);
    if (status != STATUS_SUCCESS) return status;
    if (length <= 1) return STATUS_DATA_ERROR;
    uint32_t rest = length - 2;
    const uint8_t* ignored = nullptr;
    if (rest >= source->avail) {
        const uint32_t buffered = source->avail;
        if (take_bytes(source, buffered, &ignored) != STATUS_SUCCESS) return STATUS_DATA_ERROR;
        rest -= buffered;
    }
    while (rest > 0) {
        const uint32_t chunk = rest < static_cast<uint32_t>(INPUT_BUFFER_SIZE) ? rest : INPUT_BUFFER_SIZE;
        if (take_bytes(source, chunk, &ignored) != STATUS_SUCCESS) return STATUS_DATA_ERROR;
        rest -= chunk;
    }
    return STATUS_SUCCESS;
}

JPEG_STATUS rewind_byte_source(JPEG_PROPERTIES* props) {
    BYTE_SOURCE* source = &props->source;
    source->bit_acc = 0;
    if (source->file != nullptr) {
        source->position = 0;
        if (!platform::seek_file(source->file, 0, platform::SEEK_FROM_BEGIN)) return STATUS_FILE_ERROR;
        return fill_input_buffer(source);
    }
    // Back to the start of the caller's buffer. The end is set again from the
    // buffer's own size, since a give-back may have moved begin forward.
    const int32_t size = props->jpeg_buffer != nullptr && props->jpeg_buffer_size > 0 ? props->jpeg_buffer_size : 0;
    source->begin = props->jpeg_buffer;
    source->cur = props->jpeg_buffer;
    source->end = props->jpeg_buffer + size;
    source->size = size;
    source->avail = static_cast<uint32_t>(size);
    source->position = 0;
    return STATUS_SUCCESS;
}

JPEG_STATUS give_back_input(JPEG_PROPERTIES* props) {
    BYTE_SOURCE* source = &props->source;
    const intptr_t header = props->stage_table != nullptr ? props->stage_table->scan_header_size : 0;
    if (source->file != nullptr) {
        if (!is_file_give_back_kind(props->io_mode)) return STATUS_SUCCESS;
        const int64_t back = static_cast<int64_t>(source->avail) + header;
        if (back > INT32_MAX || back < 0) return STATUS_FILE_ERROR;
        if (!platform::seek_file(source->file, -static_cast<int32_t>(back), platform::SEEK_FROM_CURRENT))
            return STATUS_FILE_ERROR;
        return STATUS_SUCCESS;
    }
    if (props->io_mode == READ_PARAMS_BUFFER || props->io_mode == READ_THUMBNAIL_BUFFER) {
        // The next request begins at the SOS marker. The end stays where it is,
        // so the size shrinks by what lies before the new begin; a request that
        // keeps this position then never reads past the caller's buffer.
        intptr_t back = header;
        const intptr_t consumed = source->begin != nullptr ? source->cur - source->begin : 0;
        if (back > consumed) back = consumed;
        if (back < 0) back = 0;
        source->begin = source->cur - back;
        source->size = static_cast<int32_t>(source->end - source->begin);
    }
    return STATUS_SUCCESS;
}

}  // namespace vantorel
