// Chooses, for the frame being decoded and the pixel layout the caller asked for,
// the routine that receives every full-scale MCU, and sets the two conversion
// flags and the MCU geometry the scan drivers use.
//
// It runs whenever the decoder learns or relearns the frame (frame header, an
// Adobe segment after it, each scan start, a request on a known frame), so it
// always installs a routine: a member chosen for an earlier scan or request must
// never survive into a different layout. Combinations no member serves get a
// routine that writes nothing, and a full-scale image request fails with -8.
#include "codec/decoder/decoder.h"

namespace vantorel {

namespace {

struct SAMPLING {
    int32_t count;
    const COMPONENT_INFO* c;
    bool factors(int32_t i, int32_t h, int32_t v) const { return c[i].h_samp == h && c[i].v_samp == v; }
    bool all_1x1() const {
        for (int32_t i = 0; i < count; ++i)
            if (!factors(i, 1, 1)) return false;
        return true;
    }
    bool p420() const { return count == 3 && factors(0, 2, 2) && factors(1, 1, 1) && factors(2, 1, 1); }
    bool p422() const { return count == 3 && factors(0, 2, 1) && factors(1, 1, 1) && factors(2, 1, 1); }
    bool q420() const {
        return count == 4 && factors(0, 2, 2) && factors(1, 1, 1) && factors(2, 1, 1) && factors(3, 2, 2);
    }
    bool q422() const {
        return count == 4 && factors(0, 2, 1) && factors(1, 1, 1) && factors(2, 1, 1) && factors(3, 2, 1);
    }
};

// Installed when no member serves the combination: writes nothing and says so.
JPEG_STATUS refuse_output(JPEG_PROPERTIES* /*props*/, int32_t /*mcu_col*/, int32_t /*mcu_row*/) {
    return STATUS_INVALID_PROPERTIES;
}

// Only a full-scale image request hands MCUs to the installed routine; parameter,
// table and thumbnail requests decode no scan, the reduced sizes have writers of
// their own, and coefficient output writes no pixels.
bool writes_full_scale_pixels(const JPEG_PROPERTIES* props) {
    const IO_MODE m = props->io_mode;
    const bool image_kind = m == READ_IMAGE_FILE || m == READ_IMAGE_BUFFER || m == READ_SCANS_FILE ||
                            m == READ_SCANS_BUFFER;
    return image_kind && props->coef_output == nullptr;
}

void install(JPEG_PROPERTIES* props, OutputDriverRoutine routine) {
    if (props->stage_table != nullptr) props->stage_table->active_output_driver = routine;
}

OutputDriverRoutine general_writer(const JPEG_PROPERTIES* props) {
    return props->progressive_scans != 0 ? &output_progressive_general : &output_sequential_general;
}

// The member for a layout with both upsampling and colour conversion. Fixed
// members are used with replication only; the triangle filter needs the general
// writer, and other filter values have no routine.
OutputDriverRoutine choose_upsample_convert(JPEG_PROPERTIES* props, const SAMPLING& s, int32_t n, int32_t c,
                                            COLOR_SPACE d) {
    auto fast = [&](int32_t code, OutputDriverRoutine member) -> OutputDriverRoutine {
        if (props->upsample_filter == 0) {
            props->output_path = code;
            return member;
        }
        return props->upsample_filter == 1 ? &convert_general : nullptr;
    };
    if (n == 3 && c == 3 && d == CS_RGB) {
        if (s.p420()) return fast(3, &convert_ycc420_rgb);
        if (s.p422()) return fast(5, &convert_ycc422_rgb);
        return &convert_general;
    }
    if (n == 3 && c == 3 && d == CS_BGR) {
        if (s.p420()) return fast(4, &convert_ycc420_bgr);
        if (s.p422()) return fast(6, &convert_ycc422_bgr);
        return &convert_general;
    }
    if (n == 3 && c == 4 && d == CS_QUAD) {
        if (s.p420()) return fast(8, &convert_ycc420_quad);
        if (s.p422()) return fast(9, &convert_ycc422_quad);
        return &convert_general;
    }
    if (n == 4 && c == 4 && d == CS_QUAD) {
        if (s.q422()) return fast(12, &convert_ycca422_quad);
        if (s.q420()) return fast(11, &convert_ycca420_quad);
        return &convert_general;
    }
    return nullptr;
}

OutputDriverRoutine choose_upsample_only(JPEG_PROPERTIES* props, const SAMPLING& s, int32_t n, int32_t c,
                                         COLOR_SPACE d) {
    if (n == 3 && c == 3 && d != CS_BGR && (s.p420() || s.p422())) {
        props->output_path = s.p420() ? 16 : 17;
        if (props->upsample_filter == 0) return s.p420() ? &copy_420 : &copy_422;
        return props->upsample_filter == 1 ? general_writer(props) : nullptr;
    }
    if ((n == 3 && (c == 1 || c == 3 || c == 4)) || (n == 4 && (c == 3 || c == 4))) return general_writer(props);
    return nullptr;
}

OutputDriverRoutine choose_convert_only(JPEG_PROPERTIES* props, int32_t n, int32_t c, COLOR_SPACE d) {
    if (n == 3 && c == 3 && d == CS_RGB) return props->output_path = 1, &convert_ycc444_rgb;
    if (n == 3 && c == 3 && d == CS_BGR) return props->output_path = 2, &convert_ycc444_bgr;
    if (n == 3 && c == 4 && d == CS_QUAD) return props->output_path = 7, &convert_ycc444_quad;
    if (n == 4 && c == 4 && d == CS_QUAD) return props->output_path = 10, &convert_ycca444_quad;
    return nullptr;
}

OutputDriverRoutine choose_plain(JPEG_PROPERTIES* props, const SAMPLING& s, int32_t n, int32_t c, COLOR_SPACE d) {
    if (n == 3 && c == 2) {
        if (!s.p422()) return nullptr;
        props->output_path = 19;
        return &pack_ycc422;
    }
    // Without the upsampling flag a subsampled layout reaches here only for a
    // luminance/chrominance DIB. The 8x8 copy members would lay its 16-pixel MCUs
    // out as 8-pixel ones; the general writer replicates the chroma instead.
    if (!s.all_1x1()) return (n == 3 && c <= 4) ? general_writer(props) : nullptr;
    if (n == 1) return c == 1 ? &copy_gray : c == 3 ? &spread_gray : &copy_general;
    if (n == 2) return &copy_general;
    if (n == 3 && c == 1) return &copy_general;
    if (n == 3 && c == 3) {
        if (d == CS_BGR) return &copy_general;
        props->output_path = 15;
        return &copy_444;
    }
    if (n == 3 && c == 4) {
        if (d != CS_QUAD) return &copy_general;
        props->output_path = 13;
        return &copy_444_quad;
    }
    if (n == 4 && c == 3) return &copy_general;
    if (n == 4 && c == 4) return props->output_path = 14, &copy_4444_quad;
    return nullptr;
}

}  // namespace

JPEG_STATUS select_output_routines(JPEG_PROPERTIES* props) {
    FRAME_INFO& frame = props->frame;
    const int32_t n = frame.component_count;
    // Whatever happens below, no routine chosen for an earlier layout survives.
    install(props, &refuse_output);
    props->output_path = 0;
    props->needs_upsampling = 0;
    if (n < 1 || n > 255) return STATUS_ERROR_COMP;
    if (frame.components == nullptr) return STATUS_INVALID_PROPERTIES;

    const COLOR_SPACE jc = props->jpeg_color;
    const COLOR_SPACE d = props->dib_color;
    const int32_t c = props->dib_channels;
    props->needs_color_conversion =
        (jc == CS_RGB || jc == CS_GRAY || jc == CS_QUAD || jc == CS_OTHER || d == CS_GRAY || d == CS_YCBCR) ? 0 : 1;

    // A lone component is never interleaved: each of its MCUs is one block whatever
    // its sampling factors say, so it is treated as the 1x1 component it really is.
    if (n == 1) {
        frame.components[0].h_samp = 1;
        frame.components[0].v_samp = 1;
    }
    int32_t max_h = 0, max_v = 0;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t h = frame.components[i].h_samp;
        const int32_t v = frame.components[i].v_samp;
        // Factors outside 1..4 cannot come from a valid frame header; refusing
        // them keeps every MCU within the 32x32 work plane.
        if (h < 1 || h > 4 || v < 1 || v > 4) return STATUS_INVALID_PROPERTIES;
        if (h > max_h) max_h = h;
        if (v > max_v) max_v = v;
        if (h != 1 || v != 1) props->needs_upsampling = d == CS_YCBCR ? 0 : 1;
    }
    frame.max_h_sampling = max_h;
    frame.max_v_sampling = max_v;

    frame.mcu_width = props->multi_scan == 1 ? 8 : 8 * max_h;
    frame.mcu_height = props->multi_scan == 1 ? 8 : 8 * max_v;
    const int64_t width = props->jpeg_width > 0 ? props->jpeg_width : 0;
    const int64_t height = props->jpeg_height > 0 ? props->jpeg_height : 0;
    const int64_t per_row = (width + 8 * max_h - 1) / (8 * max_h);
    const int64_t rows = (height + 8 * max_v - 1) / (8 * max_v);
    frame.mcus_per_row = static_cast<int32_t>(per_row);
    props->mcus_per_row = static_cast<int32_t>(per_row);
    props->mcu_rows = static_cast<int32_t>(rows);
    frame.mcu_count = static_cast<int32_t>(per_row * rows);

    const SAMPLING s{n, frame.components};
    if (n == 3 && jc == CS_YCBCR && d == CS_YCBCR && !s.p422()) return STATUS_INVALID_PROPERTIES;

    OutputDriverRoutine chosen = nullptr;
    if (props->multi_scan == 1 && props->progressive_scans == 0) {
        // The packed writer knows only the two-byte layout; other channel counts
        // take the general writer, which keeps every byte inside the pixel.
        chosen = (d == CS_YCBCR && c == 2) ? &output_ycc_scan : &output_sequential_general;
    } else if (props->needs_upsampling && props->needs_color_conversion) {
        chosen = choose_upsample_convert(props, s, n, c, d);
    } else if (props->needs_upsampling) {
        chosen = choose_upsample_only(props, s, n, c, d);
    } else if (props->needs_color_conversion) {
        chosen = choose_convert_only(props, n, c, d);
    } else {
        chosen = choose_plain(props, s, n, c, d);
    }

    if (chosen == nullptr) return writes_full_scale_pixels(props) ? STATUS_INVALID_PROPERTIES : STATUS_SUCCESS;
    install(props, chosen);
    return STATUS_SUCCESS;
}

}  // namespace vantorel
