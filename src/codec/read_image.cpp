// The read operation: validate a request, reload caller tables, open the input,
// copy the request into the inner state, run the decode driver and report back.
#include "codec/codec.h"
#include "codec/decoder/decoder.h"
#include "codec/fault_guard.h"
#include "platform/files.h"

namespace vantorel {

namespace {

bool is_file_kind(IO_MODE kind) { return (kind & 1) == 0; }

bool is_params_kind(IO_MODE kind) {
    return kind == READ_PARAMS_FILE || kind == READ_PARAMS_BUFFER || kind == READ_TABLES_FILE ||
           kind == READ_TABLES_BUFFER || kind == READ_THUMBNAIL_FILE || kind == READ_THUMBNAIL_BUFFER;
}

bool is_image_kind(IO_MODE kind) {
    return kind == READ_IMAGE_FILE || kind == READ_IMAGE_BUFFER || kind == READ_SCANS_FILE ||
           kind == READ_SCANS_BUFFER || (kind >= READ_IMAGE_HALF_FILE && kind <= READ_IMAGE_EIGHTH_BUFFER);
}

bool needs_dib(IO_MODE kind) {
    return kind == 2 || kind == 3 || (kind >= 6 && kind <= 9) || kind == 12 || kind == 13 ||
           (kind >= 14 && kind <= 21);
}

bool read_pair_accepted(COLOR_SPACE jc, int32_t jn, COLOR_SPACE dc, int32_t dn) {
    switch (jc) {
    case CS_GRAY:
        return jn == 1 && ((dc == CS_GRAY && dn == 1) || (dc == CS_RGB && dn == 3) || (dc == CS_BGR && dn == 3) ||
                           (dc == CS_QUAD && dn == 4));
    case CS_RGB:
        return jn == 3 && ((dc == CS_RGB && dn == 3) || (dc == CS_BGR && dn == 3) || (dc == CS_QUAD && dn == 4));
    case CS_YCBCR:
        return jn == 3 && ((dc == CS_GRAY && dn == 1) || (dc == CS_RGB && dn == 3) || (dc == CS_BGR && dn == 3) ||
                           (dc == CS_QUAD && dn == 4) || dc == CS_YCBCR);
    case CS_QUAD:
    case CS_YCC_QUAD:
        return jn == 4 && dc == CS_QUAD && dn == 4;
    case CS_OTHER:
        return dc == CS_OTHER;
    default:
        return false;
    }
}

bool write_pair_accepted(COLOR_SPACE dc, int32_t dn, COLOR_SPACE jc, int32_t jn) {
    if (dc == CS_GRAY && dn == 1) return (jc == CS_GRAY && jn == 1) || (jc == CS_YCBCR && jn == 3);
    if ((dc == CS_RGB || dc == CS_BGR) && dn == 3)
        return (jc == CS_GRAY && jn == 1) || (jc == CS_RGB && jn == 3) || (jc == CS_YCBCR && jn == 3);
    if (dc == CS_RGB && dn == 4) return jc == CS_YCBCR && jn == 3;
    if (dc == CS_QUAD && dn == 4) return (jc == CS_QUAD || jc == CS_YCC_QUAD) && jn == 4;
    if (dc == CS_YCBCR && dn == 3) return jc == CS_YCBCR && jn == 3;
    if (dc == CS_OTHER) return jc == CS_OTHER && dn >= jn;
    return false;
}

SUBSAMPLING derive_subsampling(const JPEG_PROPERTIES* p) {
    const COMPONENT_INFO* c = p->frame.components;
    const int32_t n = p->frame.component_count;
    if (c == nullptr) return SUBSAMPLE_OTHER;
    auto is = [&](int i, int h, int v) { return c[i].h_samp == h && c[i].v_samp == v; };
    switch (n) {
    case 1:
        return SUBSAMPLE_NONE;
    case 2:
        return is(0, 1, 1) && is(1, 1, 1) ? SUBSAMPLE_NONE : SUBSAMPLE_OTHER;
    case 3:
        if (!is(1, 1, 1) || !is(2, 1, 1)) return SUBSAMPLE_OTHER;
        if (is(0, 1, 1)) return SUBSAMPLE_NONE;
        if (is(0, 2, 2)) return SUBSAMPLE_2X2;
        if (is(0, 2, 1)) return SUBSAMPLE_2X1;
        return SUBSAMPLE_OTHER;
    case 4:
        if (!is(1, 1, 1) || !is(2, 1, 1)) return SUBSAMPLE_OTHER;
        if (is(0, 1, 1) && is(3, 1, 1)) return SUBSAMPLE_NONE;
        if (is(0, 2, 2) && is(3, 2, 2)) return SUBSAMPLE_QUAD_2X2;
        if (is(0, 2, 1) && is(3, 2, 1)) return SUBSAMPLE_QUAD_2X1;
        return SUBSAMPLE_OTHER;
    default:
        return SUBSAMPLE_OTHER;
    }
}

// Reload the tables a caller supplied (or an earlier request copied out) before
// an image request.
JPEG_STATUS reload_tables(JPEG_PROPERTIES* p) {
    if (p->reload_quant_tables) {
        for (int32_t i = 0; i < p->quant_id_limit && i < 4; ++i) {
            const RAW_QUANT_ENTRY& e = p->raw_quant[i];
            if (e.buffer == nullptr) continue;
            QUANT_TABLE& q = p->quant_tables[i];
            q.quant_id = e.identifier;
            q.quant_precision = 0;
            for (int k = 0; k < 64; ++k) q.quant_values[k] = e.buffer[k];
            // The raw copy is in zig-zag order; prepare it for the active transform
            // family exactly as a DQT segment would be.
            if (p->idct_family == 1)
                prepare_quant_natural(&q);
            else
                prepare_quant_scaled(&q);
        }
    }
    if (p->reload_huff_tables) {
        for (int32_t i = 0; i < p->huff_id_limit * 2 && i < 8; ++i) {
            const RAW_HUFF_ENTRY& e = p->raw_huff[i];
            if (e.counts == nullptr || e.values == nullptr) continue;
            // The caller's values buffer holds at most 256 symbols: a count table
            // that claims more cannot be built from it.
            uint32_t total = 0;
            for (int k = 0; k < 16; ++k) total += e.counts[k];
            if (total > 256) return STATUS_BAD_HUFFMAN_TABLE;
            const uint32_t id = e.identifier & 3u;
            HUFF_DECODE_TABLE* t = e.table_class != 0 ? &p->huff_tables[id] : &p->huff_tables[4 + id];
            if (build_huff_decode_table(e.counts, e.values, e.table_class != 0 ? 1u : 0u, id, t) != STATUS_SUCCESS)
                return STATUS_BAD_HUFFMAN_TABLE;
        }
    }
    return STATUS_SUCCESS;
}

}  // namespace

bool close_input_file(JPEG_PROPERTIES* props) {
    if (props->source.file == nullptr) return true;
    if (!platform::close_file(props->source.file)) return false;
    props->source.file = nullptr;
    return true;
}

JPEG_STATUS validate_request(JPEG_RECORD* r) {
    if (r->props_preset) return STATUS_SUCCESS;
    const IO_MODE kind = r->props.io_mode;
    const bool is_read = (kind >= 0 && kind <= 7) || (kind >= 14 && kind <= 21);
    const bool is_write = kind >= WRITE_KIND_FIRST && kind <= WRITE_KIND_LAST;
    if (!is_read && !is_write) return STATUS_INVALID_PROPERTIES;

    if (needs_dib(kind) && r->props.coef_output == nullptr) {
        if (r->dib_pixels == nullptr) return STATUS_INVALID_PROPERTIES;
        if (r->dib_width < 1 || r->dib_width > 65535) return STATUS_INVALID_PROPERTIES;
        if (r->dib_height < -65535 || r->dib_height > 65535) return STATUS_INVALID_PROPERTIES;
        if ((kind == READ_THUMBNAIL_FILE || kind == READ_THUMBNAIL_BUFFER) && r->dib_color != CS_RGB &&
            r->dib_color != CS_BGR)
            return STATUS_THUMBNAIL_WRONG_COLOR;
        if (r->dib_row_pad < 0) return STATUS_INVALID_PROPERTIES;
        if (r->dib_channels < 1 || r->dib_channels > 255) return STATUS_INVALID_PROPERTIES;
        // The row stride and the offset of the last row must be addressable; an
        // absurd row pad would otherwise wrap them on a 32-bit build.
        const int64_t stride = static_cast<int64_t>(r->dib_width) * r->dib_channels + r->dib_row_pad;
        const int64_t rows = r->dib_height < 0 ? -static_cast<int64_t>(r->dib_height) : r->dib_height;
        if (stride > INT32_MAX || static_cast<double>(stride) * static_cast<double>(rows) >
                                      static_cast<double>(INTPTR_MAX))
            return STATUS_INVALID_PROPERTIES;
        if (!(r->dib_subsampling == 0 || (r->dib_subsampling == 2 && r->dib_color == CS_YCBCR)))
            return STATUS_UNSUPPORTED_SUBSAMPLING;
    }

    if (is_file_kind(kind)) {
        if (r->jpeg_path == nullptr) return STATUS_INVALID_PROPERTIES;
    } else if (r->jpeg_buffer == nullptr || r->jpeg_buffer_size == 0) {
        return STATUS_INVALID_PROPERTIES;
    }

    if (r->jpeg_channels < 1 || r->jpeg_channels > 256) return STATUS_INVALID_PROPERTIES;

    if (is_write) {
        const bool with_dib = kind == 8 || kind == 9 || kind == 12 || kind == 13;
        if (with_dib) {
            if (r->jpeg_width < 1 || r->jpeg_width > 65535 || r->jpeg_height < 1 || r->jpeg_height > 65535)
                return STATUS_INVALID_PROPERTIES;
            if (!(r->dib_color == CS_GRAY || r->jpeg_color == CS_YCBCR) && r->dib_channels < r->jpeg_channels)
                return STATUS_INVALID_PROPERTIES;
        }
        const int32_t s = r->jpeg_subsampling;
        bool fits;
        switch (r->jpeg_channels) {
        case 1: fits = s == 0; break;
        case 3: fits = s >= 0 && s <= 2; break;
        case 4: fits = s == 0 || s == 3 || s == 4; break;
        default: fits = s == 0; break;
        }
        if (!fits) return STATUS_UNSUPPORTED_SUBSAMPLING;
        if (!write_pair_accepted(r->dib_color, r->dib_channels, r->jpeg_color, r->jpeg_channels))
            return STATUS_INVALID_PROPERTIES;
    } else if (!read_pair_accepted(r->jpeg_color, r->jpeg_channels, r->dib_color, r->dib_channels)) {
        return STATUS_INVALID_PROPERTIES;
    }

    if (r->props.idct_family != 0 && r->props.idct_family != 1) return STATUS_INVALID_PROPERTIES;
    if (r->props.upsample_filter == 1 && r->props.coef_output != nullptr) return STATUS_INVALID_PROPERTIES;
    return STATUS_SUCCESS;
}

static JPEG_STATUS read_image_body(JPEG_RECORD* r, IO_MODE io_mode) {
    JPEG_PROPERTIES* p = &r->props;
    if (p->stage_table == nullptr) return STATUS_INVALID_PROPERTIES;  // never opened, or already closed
    p->io_mode = io_mode;
    bool ran_decoder = false;
    JPEG_STATUS status = validate_request(r);
    const bool is_write = io_mode >= WRITE_KIND_FIRST && io_mode <= WRITE_KIND_LAST;
    if (status == STATUS_SUCCESS && is_write) status = STATUS_NOT_SUPPORTED;  // this library has no write side
    if (status != STATUS_SUCCESS) goto finish;

    if (is_params_kind(io_mode)) {
        p->awaiting_frame = 1;
        // These requests read a stream from its SOI, so no kept scan (an
        // interrupted or region read) can be resumed by them; its input may even
        // be gone. Drop it so that the byte source is set up afresh below.
        if (p->current_scan != nullptr) {
            free_scan_info(p->current_scan);
            p->current_scan = nullptr;
        }
    }

    if (is_image_kind(io_mode)) {
        status = reload_tables(p);
        if (status != STATUS_SUCCESS) goto finish;
    } else {
        p->quant_table_count = 0;
        p->quant_id_limit = 0;
        p->ac_table_count = 0;
        p->dc_table_count = 0;
        p->huff_id_limit = 0;
    }

    if (is_file_kind(io_mode) && p->source.file == nullptr) {
        p->source.file = platform::open_file(r->jpeg_path, false);
        if (p->source.file == nullptr) {
            status = STATUS_INVALID_FILE_NAME;
            goto finish;
        }
        // A freshly opened file stands at its first byte. Positions count from
        // there, also for a region request on a record that read another
        // stream before (the row index seeks to them).
        p->source.position = 0;
    }

    if (!r->props_preset) {
        p->dib_pixels = r->dib_pixels;
        p->dib_width = r->dib_width;
        p->dib_height = r->dib_height;
        p->dib_row_pad = r->dib_row_pad;
        p->dib_channels = r->dib_channels;
        p->dib_color = r->dib_color;
        p->dib_subsampling = r->dib_subsampling;
        p->dib_stride = static_cast<intptr_t>(r->dib_width) * r->dib_channels + r->dib_row_pad;
        if (r->dib_height < 0) p->dib_stride = -p->dib_stride;
        p->jpeg_buffer = r->jpeg_buffer;
        p->jpeg_path = r->jpeg_path;
        p->jpeg_buffer_size = r->jpeg_buffer_size;
        p->jpeg_color = r->jpeg_color;
        p->needs_color_conversion = r->needs_color_conversion;
        p->needs_upsampling = r->needs_upsampling;
        p->quality = r->quality;

        if (p->current_scan == nullptr) {
            BYTE_SOURCE* s = &p->source;
            s->bit_acc = 0;
            s->bit_count = 0;
            s->pending_marker = 0;
            if (!is_file_kind(io_mode)) {
                s->begin = s->cur = r->jpeg_buffer;
                s->end = r->jpeg_buffer + r->jpeg_buffer_size;
                s->size = r->jpeg_buffer_size;
                s->avail = static_cast<uint32_t>(r->jpeg_buffer_size);
            } else {
                s->begin = s->cur = s->buffer;
                s->end = s->buffer + INPUT_BUFFER_SIZE;
                s->size = INPUT_BUFFER_SIZE;
                s->avail = INPUT_BUFFER_SIZE;
            }
            if (io_mode == READ_THUMBNAIL_FILE && !platform::seek_file(s->file, 0, platform::SEEK_FROM_BEGIN)) {
                status = STATUS_FILE_ERROR;
                goto finish;
            }
        }
    }

    // Bottom-up DIB: the first image row goes to the last buffer row.
    p->output_start = p->dib_pixels;
    if (p->dib_height < 0 && p->dib_pixels != nullptr)
        p->output_start = p->dib_pixels + static_cast<intptr_t>(p->dib_height + 1) * p->dib_stride;
    p->work_area = p->work_storage;

    ran_decoder = true;
    status = decode_stream(p);
    if (status == STATUS_INTERRUPT_SUCCESS) {
        const int64_t right = (static_cast<int64_t>(p->roi_right) * 8 + 8) * p->frame.max_h_sampling;
        const int64_t bottom = (static_cast<int64_t>(p->roi_bottom) * 8 + 8) * p->frame.max_v_sampling;
        p->roi_right = static_cast<int32_t>(right < p->jpeg_width ? right : p->jpeg_width);
        p->roi_bottom = static_cast<int32_t>(bottom < p->jpeg_height ? bottom : p->jpeg_height);
        goto finish;
    }
    if (status != STATUS_SUCCESS) goto finish;

    // Settle the colour spaces.
    if (p->adobe_present) {
        if (io_mode == READ_PARAMS_FILE || io_mode == READ_PARAMS_BUFFER) {
            const int32_t n = p->frame.component_count;
            p->dib_channels = n;
            if (n == 1) {
                p->jpeg_color = CS_GRAY;
            } else if (n == 3) {
                p->jpeg_color = p->adobe_transform != 0 ? CS_YCBCR : CS_RGB;
            } else if (n == 4) {
                p->jpeg_color = p->adobe_transform != 0 ? CS_YCC_QUAD : CS_QUAD;
                p->dib_color = CS_QUAD;
            }
        }
    } else {
        if (p->frame.component_count == 1)
            p->jpeg_color = CS_GRAY;
        else if (p->frame.component_count == 3 && p->jfif_present)
            p->jpeg_color = CS_YCBCR;
    }
    if (p->dib_color == CS_YCBCR && p->jpeg_color == CS_YCBCR) p->dib_subsampling = 2;

    status = give_back_input(p);
    if (status != STATUS_SUCCESS) goto finish;

    r->jpeg_width = p->jpeg_width;
    r->jpeg_height = p->jpeg_height;
    r->jpeg_channels = p->jpeg_channels;
    r->thumb_width = p->thumb_width;
    r->thumb_height = p->thumb_height;
    r->needs_color_conversion = p->needs_color_conversion;
    r->needs_upsampling = p->needs_upsampling;
    p->jpeg_subsampling = derive_subsampling(p);
    r->jpeg_subsampling = p->jpeg_subsampling;
    r->jpeg_color = p->jpeg_color;
    r->dib_color = p->dib_color;
    r->dib_channels = p->dib_channels;

    if (io_mode == READ_IMAGE_FILE || io_mode == READ_TABLES_FILE || io_mode == READ_SCANS_FILE) {
        if (!close_input_file(p)) status = STATUS_ERROR_CLOSE_FILE;
    }

finish:
    if (p->stage_table != nullptr && p->stage_table->finish_request != nullptr) p->stage_table->finish_request();
    if (status < 0) {
        if (p->source.file != nullptr) {
            platform::close_file(p->source.file);
            p->source.file = nullptr;
        }
        // A failed scan cannot be resumed: its input is closed (file) or may be
        // gone (the caller's buffer), so the next request starts afresh.
        if (ran_decoder && p->current_scan != nullptr) {
            free_scan_info(p->current_scan);
            p->current_scan = nullptr;
        }
    }
    return status;
}

// The request runs under the processor-fault guard, so that a bad pointer the
// caller handed in (a DIB it cannot write, say) ends the request with -1 rather
// than the process. The request is then finished as any failed one: the input
// file is closed and an interrupted scan cannot be resumed.
JPEG_STATUS read_image(JPEG_RECORD* r, IO_MODE io_mode) {
    struct REQUEST {
        JPEG_RECORD* record;
        IO_MODE io_mode;
    } request{r, io_mode};
    auto body = [](void* context) {
        auto* q = static_cast<REQUEST*>(context);
        return read_image_body(q->record, q->io_mode);
    };
    JPEG_STATUS status = STATUS_SUCCESS;
    if (run_guarded(body, &request, &status)) return status;
    auto finish = [](void* context) -> JPEG_STATUS {
        JPEG_PROPERTIES* p = &static_cast<REQUEST*>(context)->record->props;
        if (p->stage_table != nullptr && p->stage_table->finish_request != nullptr) p->stage_table->finish_request();
        if (p->source.file != nullptr) {
            platform::close_file(p->source.file);
            p->source.file = nullptr;
        }
        if (p->current_scan != nullptr) {
            free_scan_info(p->current_scan);
            p->current_scan = nullptr;
        }
        return STATUS_SUCCESS;
    };
    JPEG_STATUS ignored;
    run_guarded(finish, &request, &ignored);
    return STATUS_EXCEPTION_DETECTED;
}

}  // namespace vantorel
