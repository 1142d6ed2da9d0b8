// The decode driver: walks a JPEG stream marker by marker, hands table, header
// and application segments to their handlers, hands each scan to the scan
// decoder, and decides by the request kind where to stop: at the first scan
// header for a parameters or thumbnail request, at the frame header for a tables
// request, at EOI for an image request. A scan that stops early stays in
// current_scan so that the next request resumes it.
#include "codec/codec.h"
#include "codec/decoder/decoder.h"

namespace vantorel {

namespace {

// Stores larger than this cannot exist in the 32-bit process the codec is built
// for; refusing them up front also keeps hostile frame sizes from exhausting
// memory on larger hosts.
constexpr uint64_t kLargestStoreBytes = 0x7FFFFFFFu;

// Kinds that read a stream from its start and stop at the first scan header
// (or, for tables, at the frame header).
bool starts_stream(IO_MODE kind) {
    return kind == READ_PARAMS_FILE || kind == READ_PARAMS_BUFFER || kind == READ_TABLES_FILE ||
           kind == READ_TABLES_BUFFER || kind == READ_THUMBNAIL_FILE || kind == READ_THUMBNAIL_BUFFER;
}

bool keeps_position(IO_MODE kind) {
    return kind == READ_SCANS_FILE || kind == READ_SCANS_BUFFER ||
           (kind >= READ_IMAGE_HALF_FILE && kind <= READ_IMAGE_EIGHTH_BUFFER);
}

bool is_unsupported_frame(int32_t code) {
    return code == 0xC3 || (code >= 0xC5 && code <= 0xC7) || code == 0xC8 || (code >= 0xC9 && code <= 0xCB) ||
           (code >= 0xCD && code <= 0xCF);
}

// The sizes the frame's stores are made for.
struct FrameShape {
    int32_t width, height, count;
    int32_t h[4], v[4];
    bool operator==(const FrameShape&) const = default;
};

FrameShape shape_of(const JPEG_PROPERTIES* p) {
    FrameShape shape{p->frame.width, p->frame.height, p->frame.component_count, {}, {}};
    for (int32_t i = 0; i < 4 && i < p->frame.component_count && p->frame.components != nullptr; ++i) {
        shape.h[i] = p->frame.components[i].h_samp;
        shape.v[i] = p->frame.components[i].v_samp;
    }
    return shape;
}

// MCU counts and blocks per MCU of the frame, in 64 bits. The counts are taken
// from the frame header and from the output selector alike, whichever is larger,
// so a store is never smaller than what either side walks.
struct StoreShape {
    uint64_t mcus_per_row;
    uint64_t mcu_rows;
    uint64_t blocks_per_mcu;
};

StoreShape store_shape(const JPEG_PROPERTIES* p) {
    StoreShape s{0, 0, 0};
    int32_t h_max = 1;
    int32_t v_max = 1;
    const int32_t count = p->frame.component_count < 4 ? p->frame.component_count : 4;
    for (int32_t i = 0; i < count; ++i) {
        const COMPONENT_INFO& c = p->frame.components[i];
        s.blocks_per_mcu += static_cast<uint64_t>(c.h_samp > 0 ? c.h_samp : 0) * (c.v_samp > 0 ? c.v_samp : 0);
        if (c.h_samp > h_max) h_max = c.h_samp;
        if (c.v_samp > v_max) v_max = c.v_samp;
    }
    const uint64_t width = p->frame.width > 0 ? static_cast<uint64_t>(p->frame.width) : 0;
    const uint64_t height = p->frame.height > 0 ? static_cast<uint64_t>(p->frame.height) : 0;
    s.mcus_per_row = (width + 8u * h_max - 1) / (8u * h_max);
    s.mcu_rows = (height + 8u * v_max - 1) / (8u * v_max);
    if (p->mcus_per_row > 0 && static_cast<uint64_t>(p->mcus_per_row) > s.mcus_per_row)
        s.mcus_per_row = static_cast<uint64_t>(p->mcus_per_row);
    if (p->mcu_rows > 0 && static_cast<uint64_t>(p->mcu_rows) > s.mcu_rows)
        s.mcu_rows = static_cast<uint64_t>(p->mcu_rows);
    return s;
}

void free_coef_buffer(JPEG_PROPERTIES* p) {
    if (p->coef_buffer != nullptr) {
        codec_free(p->coef_buffer);
        p->coef_buffer = nullptr;
    }
}

void free_smooth_ring(JPEG_PROPERTIES* p) {
    if (p->smooth_ring != nullptr) {
        codec_free(reinterpret_cast<void*>(ring_block_start(p->smooth_ring)));
        codec_free(p->smooth_ring);
        p->smooth_ring = nullptr;
    }
}

// A fresh coefficient store for the frame, zero-filled so that blocks no scan
// reaches never carry stale memory into the caller's pixels.
JPEG_STATUS allocate_coef_buffer(JPEG_PROPERTIES* p) {
    free_coef_buffer(p);
    const StoreShape s = store_shape(p);
    // Each factor is below 2^17, so the product of the first three fits easily;
    // the last multiplication is checked against the limit before it is made.
    const uint64_t block_bytes = 64u * sizeof(int16_t);
    const uint64_t blocks_per_row = s.mcus_per_row * s.blocks_per_mcu;
    if (blocks_per_row != 0 && s.mcu_rows > kLargestStoreBytes / block_bytes / blocks_per_row)
        return STATUS_MEMORY_ERROR;
    const uint64_t bytes = blocks_per_row * s.mcu_rows * block_bytes;
    auto* store = static_cast<int16_t*>(codec_alloc(static_cast<size_t>(bytes)));
    if (store == nullptr) return STATUS_MEMORY_ERROR;
    g_zero_bytes(store, static_cast<size_t>(bytes));
    p->coef_buffer = store;
    return STATUS_SUCCESS;
}

// The smoothing ring: four MCU-row buffers of (MCUs per row + 2) MCU slots each,
// in one block. Its size follows the frame; a new frame gets a new ring.
JPEG_STATUS ensure_smooth_ring(JPEG_PROPERTIES* p) {
    if (p->upsample_filter != 1 || p->smooth_ring != nullptr) return STATUS_SUCCESS;
    const StoreShape s = store_shape(p);
    const uint64_t quarter = s.blocks_per_mcu * 64u * (s.mcus_per_row + 2);
    if (quarter * 4 * sizeof(int16_t) > kLargestStoreBytes) return STATUS_MEMORY_ERROR;
    auto* ring = static_cast<SMOOTH_RING*>(codec_alloc(sizeof(SMOOTH_RING)));
    if (ring == nullptr) return STATUS_MEMORY_ERROR;
    const size_t bytes = static_cast<size_t>(quarter * 4 * sizeof(int16_t));
    auto* data = static_cast<int16_t*>(codec_alloc(bytes));
    if (data == nullptr) {
        codec_free(ring);
        return STATUS_MEMORY_ERROR;
    }
    g_zero_bytes(data, bytes);
    for (int32_t i = 0; i < 4; ++i) ring->buffers[i] = data + static_cast<size_t>(i) * quarter;
    ring->row = 0;
    p->smooth_ring = ring;
    return STATUS_SUCCESS;
}

struct Walk {
    JPEG_PROPERTIES* p;
    BYTE_SOURCE* source;
    // A kept scan that was not resumed at entry waits for the first SOS of this
    // call (the stream was rewound to its start).
    SCAN_INFO* kept_for_first_sos;
    // Scans decoded (or resumed) by this call: an image request that meets the
    // end of the image without any has decoded nothing and must not report success.
    int32_t scans_run;
};

// SOI: a new image begins. Its restart interval is its own, and unless a kept
// scan is about to be resumed, nothing of an earlier image's scan bookkeeping
// may carry over into this one.
void start_image(Walk& w) {
    JPEG_PROPERTIES* p = w.p;
    p->restart_interval = 0;
    if (p->current_scan == nullptr && w.kept_for_first_sos == nullptr) {
        p->progressive_scans = 0;
        p->dc_components_done = 0;
        p->components_done = 0;
        p->decoded_components = 0;
    }
}

JPEG_STATUS read_frame(Walk& w) {
    JPEG_PROPERTIES* p = w.p;
    const FrameShape before = shape_of(p);
    JPEG_STATUS status = read_sof(p);
    if (status != STATUS_SUCCESS) return status;
    p->awaiting_frame = 0;
    if (p->frame.component_count < 1 || p->frame.component_count > 255) return STATUS_ERROR_COMP;
    p->jpeg_width = p->frame.width;
    p->jpeg_height = p->frame.height;
    p->jpeg_channels = p->frame.component_count;
    // A frame of another size must never meet stores made for the old one.
    if (!(shape_of(p) == before)) {
        free_coef_buffer(p);
        free_smooth_ring(p);
    }
    // A frame header starts the frame's scans afresh.
    if (p->progressive_scans != 0) {
        p->progressive_scans = 0;
        p->dc_components_done = 0;
        p->components_done = 0;
    }
    return select_output_routines(p);
}

// Runs one scan from the point where it is handed to the scan decoder, also
// when a kept scan is resumed. Sets *stop when the request ends with the status.
JPEG_STATUS run_scan(JPEG_PROPERTIES* p, SCAN_INFO* scan, bool* stop) {
    *stop = true;
    if (p->multi_scan == 1 && p->progressive_scans == 0) p->components_done += scan->component_count;
    p->current_scan = scan;
    JPEG_STATUS status = ensure_smooth_ring(p);
    if (status != STATUS_SUCCESS) return status;
    status = decode_scan(&p->source, scan, p);

    if (status == STATUS_INTERRUPT_SUCCESS || status == STATUS_ROI_SUCCESS) {
        if (p->progressive_scans != 0 && p->interrupt_request == 0) {
            p->components_done += 1;
        } else if (p->multi_scan == 1 && status == STATUS_ROI_SUCCESS) {
            if (p->needs_color_conversion != 0) apply_deferred_color_conversion(p);
            free_scan_info(scan);
            p->current_scan = nullptr;
            return status;
        }
        p->interrupt_request = 0;
        return status;
    }
    if (p->progressive_scans == 0) p->decoded_components += scan->component_count;
    if (status != STATUS_SUCCESS) return status;  // the scan stays in current_scan
    free_scan_info(scan);
    p->current_scan = nullptr;
    *stop = false;
    return STATUS_SUCCESS;
}

// Progressive bookkeeping for a scan that has just been read.
JPEG_STATUS count_progressive_scan(JPEG_PROPERTIES* p, const SCAN_INFO* scan) {
    const bool progressive =
        scan->ss != 0 || scan->se != 63 || scan->ah != 0 || scan->al != 0 || p->progressive_scans != 0;
    if (!progressive) return STATUS_SUCCESS;
    // The progressive decoders walk the band Ss..Se through the zig-zag table;
    // a band outside the block or running backwards is malformed.
    if (scan->se > 63 || scan->ss > scan->se) return STATUS_DATA_ERROR;
    if (scan->ss == 0 && scan->se == 0) {
        if (scan->al == 0) p->dc_components_done += scan->component_count;
    } else if (scan->al == 0 && scan->se == 63) {
        p->components_done += 1;
    }
    p->progressive_scans += 1;
    if (p->progressive_scan_limit > 0 && p->progressive_scans > p->progressive_scan_limit)
        return STATUS_NOT_SUPPORTED;
    // The first progressive scan of an image gets a fresh store; a later one
    // gets one only if the store is missing (a failed allocation earlier).
    if (p->progressive_scans == 1 || p->coef_buffer == nullptr) return allocate_coef_buffer(p);
    return STATUS_SUCCESS;
}

JPEG_STATUS read_scan(Walk& w, bool* stop) {
    JPEG_PROPERTIES* p = w.p;
    *stop = true;
    if (w.kept_for_first_sos != nullptr) {
        // Resuming after a rewind: the kept record already holds this scan's
        // header, so the segment is passed over and decoding starts at its data.
        SCAN_INFO* kept = w.kept_for_first_sos;
        w.kept_for_first_sos = nullptr;
        const JPEG_STATUS status = skip_segment(w.source);
        if (status != STATUS_SUCCESS) return status;
        ++w.scans_run;
        return run_scan(p, kept, stop);
    }

    auto* scan = static_cast<SCAN_INFO*>(codec_alloc(sizeof(SCAN_INFO)));
    if (scan == nullptr) return STATUS_MEMORY_ERROR;
    g_zero_bytes(scan, sizeof *scan);
    JPEG_STATUS status = start_scan(p, scan);
    if (status != STATUS_SUCCESS) {
        free_scan_info(scan);
        return status;
    }
    if (starts_stream(p->io_mode)) {
        // Parameters requests end here; the read operation gives the header back
        // so that the next request starts at this SOS marker.
        w.source->position = static_cast<int32_t>(static_cast<uint32_t>(w.source->position) -
                                                  static_cast<uint32_t>(p->stage_table->scan_header_size));
        free_scan_info(scan);
        return STATUS_SUCCESS;
    }
    if (scan->component_count == 0) {
        // A scan of no components carries no data; whatever follows its header
        // is passed over by the search for the next marker.
        free_scan_info(scan);
        *stop = false;
        return STATUS_SUCCESS;
    }
    scan->restart_interval = p->restart_interval;
    p->multi_scan = scan->component_count < p->frame.component_count && p->progressive_scans == 0 ? 1 : 0;
    // The selector fails only when no output routine serves this layout; going on
    // would decode the scan and report success with nothing written.
    status = select_output_routines(p);
    if (status != STATUS_SUCCESS) {
        free_scan_info(scan);
        return status;
    }
    status = count_progressive_scan(p, scan);
    if (status != STATUS_SUCCESS) {
        free_scan_info(scan);
        p->current_scan = nullptr;
        return status;
    }
    ++w.scans_run;
    return run_scan(p, scan, stop);
}

// EOI. Returns with *stop set when the request ends here.
JPEG_STATUS end_of_image(Walk& w, bool* stop) {
    JPEG_PROPERTIES* p = w.p;
    *stop = true;
    if (starts_stream(p->io_mode)) return STATUS_SUCCESS;
    if (p->awaiting_frame == 1) {
        // A tables-only stream may be followed by the image in the same input.
        int32_t code = 0;
        const JPEG_STATUS status = read_next_marker(w.source, &code);
        if (status != STATUS_SUCCESS) return status;
        if (code != 0xD8) return STATUS_NO_IMAGE;
        start_image(w);
        *stop = false;
        return STATUS_SUCCESS;
    }
    if (w.scans_run == 0) return STATUS_NO_IMAGE;
    if (p->multi_scan == 1 && p->needs_color_conversion != 0 && p->progressive_scans == 0)
        apply_deferred_color_conversion(p);
    return STATUS_SUCCESS;
}

JPEG_STATUS dispatch(Walk& w, int32_t code, bool* stop) {
    JPEG_PROPERTIES* p = w.p;
    BYTE_SOURCE* source = w.source;
    *stop = false;
    switch (code) {
    case 0xC0:
    case 0xC1:
    case 0xC2:
        if (code != 0xC0 && p->awaiting_frame == 0) {
            // A further extended or progressive frame header is not read again;
            // its body is passed over by its length.
            return skip_segment(source);
        }
        if (p->io_mode == READ_TABLES_FILE || p->io_mode == READ_TABLES_BUFFER) {
            // A tables request stops in front of the frame header.
            source->position = static_cast<int32_t>(static_cast<uint32_t>(source->position) - 2u);
            *stop = true;
            return STATUS_SUCCESS;
        }
        return read_frame(w);
    case 0xC4:
        return read_dht(p);
    case 0xCC:  // DAC
    case 0xDC:  // DNL
    case 0xDE:  // DHP
    case 0xDF:  // EXP
        return skip_segment(source);
    case 0xD8:
        start_image(w);
        return STATUS_SUCCESS;
    case 0xD9:
        return end_of_image(w, stop);
    case 0xDA:
        return read_scan(w, stop);
    case 0xDB:
        return read_dqt(p, p->idct_family);
    case 0xDD: {
        int32_t interval = 0;
        const JPEG_STATUS status = read_dri(p, &interval);
        if (status == STATUS_SUCCESS) p->restart_interval = interval;
        return status;
    }
    case 0xE0:
        // A scans request carries no headers of interest; the body is passed
        // over by its length.
        if (p->io_mode == READ_SCANS_FILE) return skip_segment(source);
        return read_app0(p);
    case 0xEE: {
        const JPEG_STATUS status = read_app14(p);
        if (status != STATUS_SUCCESS) return status;
        return p->awaiting_frame == 0 ? select_output_routines(p) : STATUS_SUCCESS;
    }
    case 0xFE:
        return read_com(p);
    default:
        break;
    }
    if (is_unsupported_frame(code)) return STATUS_UNSUPPORTED_FRAME;
    if (code >= 0xD0 && code <= 0xD7) return STATUS_SUCCESS;  // RSTn outside a scan: no body
    if (code == 0x01) return STATUS_SUCCESS;                   // TEM stands alone: no length, no body
    // APP1-APP13, JPG0-JPG13 and reserved codes: skipped by their length.
    return skip_segment(source);
}

}  // namespace

void free_scan_info(SCAN_INFO* scan) {
    if (scan == nullptr) return;
    if (scan->components != nullptr) codec_free(scan->components);
    codec_free(scan);
}

JPEG_STATUS decode_stream(JPEG_PROPERTIES* props) {
    BYTE_SOURCE* source = &props->source;
    SCAN_INFO* kept = props->current_scan;
    const bool kept_unstarted = kept != nullptr && kept->resume_state[0] == 0 && kept->resume_state[1] == 0;
    JPEG_STATUS status;

    if (kept == nullptr || (props->multi_scan == 1 && kept_unstarted)) reset_byte_source(source);
    if (props->multi_scan == 1 && (kept == nullptr || kept_unstarted)) {
        // A multi-scan image is decoded in passes over the whole stream.
        source->bit_acc = 0;
        status = rewind_byte_source(props);
        if (status != STATUS_SUCCESS) return status;
    }
    if (!keeps_position(props->io_mode) && props->roi_left == 0 && props->roi_top == 0 && props->roi_right == 0 &&
        props->roi_bottom == 0)
        source->position = 0;
    if (props->awaiting_frame == 0) {
        status = select_output_routines(props);
        if (status != STATUS_SUCCESS) return status;
    }

    const bool resume_now = kept != nullptr && !(props->multi_scan == 1 && kept_unstarted);
    Walk walk{props, source, kept != nullptr && !resume_now ? kept : nullptr, 0};

    if (starts_stream(props->io_mode)) {
        // What the read operation gives back at the end must be this request's
        // scan header, not one left over from an earlier request.
        props->stage_table->scan_header_size = 0;
        int32_t code = 0;
        status = read_next_marker(source, &code);
        if (status != STATUS_SUCCESS) return status;
        if (code != 0xD8) return STATUS_NOT_JPEG;
        start_image(walk);
    }
    if (props->progressive_scans == 0) {
        props->components_done = 0;
        props->dc_components_done = 0;
    }

    bool stop = false;
    if (resume_now) {
        ++walk.scans_run;
        status = run_scan(props, kept, &stop);
        if (stop) return status;
    }
    for (;;) {
        int32_t code = 0;
        status = read_next_marker(source, &code);
        if (status != STATUS_SUCCESS) return status;
        if (code == 256) {
            // The input ended. An image request that decoded no scan has no image.
            return !starts_stream(props->io_mode) && walk.scans_run == 0 ? STATUS_NO_IMAGE : STATUS_SUCCESS;
        }
        status = dispatch(walk, code, &stop);
        if (status != STATUS_SUCCESS || stop) return status;
    }
}

}  // namespace vantorel
