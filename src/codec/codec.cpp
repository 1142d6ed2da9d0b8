// Opening and closing a codec record: defaults, the blocks the record owns, and
// the stage table chosen for the processor.
#include "codec/codec.h"
#include "codec/decoder/decoder.h"
#include "codec/fault_guard.h"

namespace vantorel {

namespace {

// Releases the blocks a record accumulates while decoding. Every release clears
// its pointer, so a second pass finds nothing more to free.
void release_decoder_blocks(JPEG_PROPERTIES* p, bool release_components) {
    if (release_components && p->frame.components != nullptr) {
        codec_free(p->frame.components);
        p->frame.components = nullptr;
        p->frame.component_count = 0;
    }
    if (p->coef_buffer != nullptr) {
        codec_free(p->coef_buffer);
        p->coef_buffer = nullptr;
    }
    if (p->smooth_ring != nullptr) {
        codec_free(reinterpret_cast<void*>(ring_block_start(p->smooth_ring)));
        codec_free(p->smooth_ring);
        p->smooth_ring = nullptr;
    }
    if (p->row_index != nullptr) {
        codec_free(p->row_index);
        p->row_index = nullptr;
        p->row_index_entries = 0;
    }
    if (p->current_scan != nullptr) {
        free_scan_info(p->current_scan);
        p->current_scan = nullptr;
    }
}

// The request fields stand twice, in the caller-visible part and as the inner
// copies, under the same names and with the same defaults.
template <typename Fields>
void set_request_field_defaults(Fields* r) {
    r->dib_pixels = nullptr;
    r->dib_width = 0;
    r->dib_height = 0;
    r->dib_row_pad = 0;
    r->dib_channels = 3;
    r->dib_color = CS_BGR;
    r->dib_subsampling = 0;
    r->jpeg_path = nullptr;
    r->jpeg_buffer = nullptr;
    r->jpeg_buffer_size = 0;
    r->jpeg_width = 0;
    r->jpeg_height = 0;
    r->jpeg_channels = 3;
    r->jpeg_color = CS_YCBCR;
    r->jpeg_subsampling = SUBSAMPLE_2X2;
    r->thumb_width = 0;
    r->thumb_height = 0;
    r->needs_color_conversion = 1;
    r->needs_upsampling = 1;
    r->quality = 75;
}

void set_request_defaults(JPEG_RECORD* r) {
    r->props_preset = 0;
    set_request_field_defaults(r);
}

void set_property_defaults(JPEG_PROPERTIES* p) {
    p->io_mode = -1;
    p->roi_left = p->roi_top = p->roi_right = p->roi_bottom = 0;
    p->idct_family = 1;
    p->output_path = 0;
    p->interrupt_request = 0;

    set_request_field_defaults(p);
    p->dib_stride = 0;

    p->multi_scan = 0;
    p->mcus_per_row = 0;
    p->mcu_rows = 0;

    p->quant_table_count = 0;
    p->quant_id_limit = 0;
    p->ac_table_count = 0;
    p->dc_table_count = 0;
    p->huff_id_limit = 0;

    for (auto& q : p->quant_tables) {
        g_zero_bytes(&q, sizeof q);
        q.quant_values = q.storage;
    }
    g_zero_bytes(p->huff_tables, sizeof p->huff_tables);

    p->reload_quant_tables = 0;
    p->reload_huff_tables = 0;
    g_zero_bytes(p->raw_quant, sizeof p->raw_quant);
    g_zero_bytes(p->raw_huff, sizeof p->raw_huff);

    p->awaiting_frame = 1;
}

}  // namespace

static JPEG_STATUS open_codec_body(JPEG_RECORD* record) {
    auto* table = static_cast<STAGE_TABLE*>(codec_alloc(sizeof(STAGE_TABLE)));
    if (table == nullptr) return STATUS_MEMORY_ERROR;
    zero_bytes(table, sizeof *table);

    JPEG_PROPERTIES* p = &record->props;
    p->stage_table = table;
    p->source.stage_table = table;
    select_processor_variant(table);

    set_request_defaults(record);
    set_property_defaults(p);

    JPEG_STATUS status = STATUS_SUCCESS;
    p->frame.component_count = 4;
    p->frame.components = static_cast<COMPONENT_INFO*>(codec_alloc(4 * sizeof(COMPONENT_INFO)));
    if (p->frame.components == nullptr) {
        status = STATUS_MEMORY_ERROR;
    } else {
        g_zero_bytes(p->frame.components, 4 * sizeof(COMPONENT_INFO));
        for (int i = 0; i < 4; ++i) {
            p->frame.components[i].quant_selector = i == 0 ? 0 : 1;
            p->dc_selectors[i] = i == 0 ? 0 : 1;
            p->ac_selectors[i] = i == 0 ? 0 : 1;
        }
        p->current_scan = nullptr;
        p->coef_buffer = nullptr;
        p->coef_output = nullptr;
        p->upsample_filter = 0;
        p->smooth_ring = nullptr;
        p->row_index = nullptr;
        p->row_index_entries = 0;
        BYTE_SOURCE* s = &p->source;
        s->bit_acc = 0;
        s->bit_count = 0;
        s->cur = s->begin = s->end = nullptr;
        s->position = 0;
        s->size = 0;
        s->avail = 0;
        s->eob_run = 0;
        s->pending_marker = 0;
        s->file = nullptr;
        p->processor_variant = detect_variant(table);
        p->processor_variant_copy = p->processor_variant;
    }

    p->adobe_version = 100;
    p->adobe_flags0 = 0;
    p->adobe_flags1 = 0;
    p->adobe_transform = 0;
    p->adobe_present = 0;
    p->jfif_present = 0;
    p->jfif_version = 0x0101;
    p->jfif_units = 0;
    p->jfif_x_density = 1;
    p->jfif_y_density = 1;
    p->jfif_reserved[0] = p->jfif_reserved[1] = 0;

    if (status < 0) {
        // The caller never closes a record whose open failed, so nothing may be
        // left behind: release the modules and the stage table as well.
        release_decoder_blocks(p, true);
        release_modules(table);
        codec_free(table);
        p->stage_table = nullptr;
        p->source.stage_table = nullptr;
    }
    return status;
}

static JPEG_STATUS close_codec_body(JPEG_RECORD* record) {
    JPEG_PROPERTIES* p = &record->props;
    STAGE_TABLE* table = p->stage_table;
    JPEG_STATUS status = STATUS_SUCCESS;

    if (p->source.file != nullptr) {
        if (!close_input_file(p)) {
            if (table != nullptr) {
                release_modules(table);
                codec_free(table);
            }
            p->stage_table = nullptr;
            p->source.stage_table = nullptr;
            return STATUS_ERROR_CLOSE_FILE;
        }
    }

    if (p->frame.component_count < 256) {
        release_decoder_blocks(p, true);
        p->frame.component_count = 0;
        g_zero_bytes(p->raw_quant, sizeof p->raw_quant);
        g_zero_bytes(p->raw_huff, sizeof p->raw_huff);
        p->quant_table_count = 0;
        p->quant_id_limit = 0;
        p->ac_table_count = 0;
        p->dc_table_count = 0;
        p->huff_id_limit = 0;
        p->reload_quant_tables = 0;
        p->reload_huff_tables = 0;
    } else {
        status = STATUS_INVALID_PROPERTIES;
    }

    if (table != nullptr) {
        release_modules(table);
        codec_free(table);
    }
    p->stage_table = nullptr;
    p->source.stage_table = nullptr;
    return status;
}

// Both operations run under the processor-fault guard: a fault (a record in
// memory the caller cannot write, say) becomes -1, and what the record owns is
// released as far as it can still be reached.
JPEG_STATUS open_codec(JPEG_RECORD* record) {
    JPEG_STATUS status = STATUS_SUCCESS;
    // Touch every page of the record first: a record the caller cannot write
    // fails here, before anything is allocated that it could not hold.
    auto touch = [](void* r) -> JPEG_STATUS {
        volatile uint8_t* bytes = static_cast<uint8_t*>(r);
        for (size_t at = 0; at < sizeof(JPEG_RECORD); at += 1024) bytes[at] = bytes[at];
        bytes[sizeof(JPEG_RECORD) - 1] = bytes[sizeof(JPEG_RECORD) - 1];
        return STATUS_SUCCESS;
    };
    if (!run_guarded(touch, record, &status)) return STATUS_EXCEPTION_DETECTED;
    auto body = [](void* r) { return open_codec_body(static_cast<JPEG_RECORD*>(r)); };
    if (run_guarded(body, record, &status)) return status;
    // A record whose open failed is never closed, so release everything here.
    auto release = [](void* r) -> JPEG_STATUS {
        JPEG_PROPERTIES* p = &static_cast<JPEG_RECORD*>(r)->props;
        release_decoder_blocks(p, true);
        if (STAGE_TABLE* table = p->stage_table) {
            p->stage_table = nullptr;
            p->source.stage_table = nullptr;
            release_modules(table);
            codec_free(table);
        }
        return STATUS_SUCCESS;
    };
    JPEG_STATUS ignored;
    run_guarded(release, record, &ignored);
    return STATUS_EXCEPTION_DETECTED;
}

JPEG_STATUS close_codec(JPEG_RECORD* record) {
    JPEG_STATUS status = STATUS_SUCCESS;
    auto body = [](void* r) { return close_codec_body(static_cast<JPEG_RECORD*>(r)); };
    if (run_guarded(body, record, &status)) return status;
    auto release = [](void* r) -> JPEG_STATUS {
        JPEG_PROPERTIES* p = &static_cast<JPEG_RECORD*>(r)->props;
        if (STAGE_TABLE* table = p->stage_table) {
            p->stage_table = nullptr;
            p->source.stage_table = nullptr;
            release_modules(table);
            codec_free(table);
        }
        return STATUS_SUCCESS;
    };
    JPEG_STATUS ignored;
    run_guarded(release, record, &ignored);
    return STATUS_EXCEPTION_DETECTED;
}

}  // namespace vantorel
