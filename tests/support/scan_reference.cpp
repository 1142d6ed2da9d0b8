#include "support/scan_reference.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <jpeglib.h>

namespace vantorel::test {

namespace {

struct ErrorJump {
    jpeg_error_mgr mgr;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void jump_out(j_common_ptr info) {
    auto* err = reinterpret_cast<ErrorJump*>(info->err);
    (*info->err->format_message)(info, err->message);
    longjmp(err->jump, 1);
}

void quiet(j_common_ptr, int) {}

// Picture content with both smooth areas and detail, so that every band of
// coefficients carries values of both signs.
uint8_t sample_at(int x, int y, int c, unsigned seed) {
    unsigned n = static_cast<unsigned>(x) * 73856093u ^ static_cast<unsigned>(y) * 19349663u ^
                 static_cast<unsigned>(c + 1) * 83492791u ^ seed * 2654435761u;
    n ^= n >> 13;
    n *= 0x5bd1e995u;
    n ^= n >> 15;
    const int smooth = (x * 255 / 40 + y * (c + 2) * 7 + c * 60) & 0xFF;
    const int noise = static_cast<int>(n & 63) - 32;
    const int v = (x / 5 + y / 3 + c) % 3 == 0 ? smooth + noise : smooth / 2 + 64;
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// The encoding itself; kept apart from make_scan_stream so that longjmp never
// crosses an object with a destructor.
bool encode(const ScanStreamOptions& o, const std::vector<jpeg_scan_info>& script, const uint8_t* pixels,
            unsigned char** buffer, unsigned long* size, char* message) {
    jpeg_compress_struct c;
    ErrorJump err;
    c.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = jump_out;
    err.mgr.emit_message = quiet;
    if (setjmp(err.jump)) {
        std::snprintf(message, JMSG_LENGTH_MAX, "%s", err.message);
        jpeg_destroy_compress(&c);
        return false;
    }
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, buffer, size);
    c.image_width = static_cast<JDIMENSION>(o.width);
    c.image_height = static_cast<JDIMENSION>(o.height);
    c.input_components = o.components;
    c.in_color_space = o.components == 1 ? JCS_GRAYSCALE : o.components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, o.quality, TRUE);
    for (int i = 0; i < o.components; ++i) {
        c.comp_info[i].h_samp_factor = o.h[i];
        c.comp_info[i].v_samp_factor = o.v[i];
    }
    if (o.restart_blocks > 0)
        c.restart_interval = static_cast<unsigned>(o.restart_blocks);
    else if (o.restart_rows > 0)
        c.restart_in_rows = o.restart_rows;
    if (o.progressive) jpeg_simple_progression(&c);
    if (!script.empty()) {
        c.scan_info = script.data();
        c.num_scans = static_cast<int>(script.size());
    }
    jpeg_start_compress(&c, TRUE);
    const size_t row_bytes = static_cast<size_t>(o.width) * o.components;
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels + row_bytes * c.next_scanline);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return true;
}

bool read_coefficients(const uint8_t* data, size_t size, std::vector<ComponentCoefficients>* out, char* message) {
    jpeg_decompress_struct d;
    ErrorJump err;
    d.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = jump_out;
    err.mgr.emit_message = quiet;
    if (setjmp(err.jump)) {
        std::snprintf(message, JMSG_LENGTH_MAX, "%s", err.message);
        jpeg_destroy_decompress(&d);
        return false;
    }
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, data, static_cast<unsigned long>(size));
    jpeg_read_header(&d, TRUE);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&d);
    out->resize(static_cast<size_t>(d.num_components));
    for (int ci = 0; ci < d.num_components; ++ci) {
        const jpeg_component_info& comp = d.comp_info[ci];
        ComponentCoefficients& cc = (*out)[static_cast<size_t>(ci)];
        cc.h = comp.h_samp_factor;
        cc.v = comp.v_samp_factor;
        cc.blocks_across = static_cast<int>(comp.width_in_blocks);
        cc.blocks_down = static_cast<int>(comp.height_in_blocks);
        cc.blocks.assign(static_cast<size_t>(cc.blocks_across) * cc.blocks_down * 64, 0);
        for (int by = 0; by < cc.blocks_down; ++by) {
            JBLOCKARRAY rows = (*d.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&d), arrays[ci],
                                                            static_cast<JDIMENSION>(by), 1, FALSE);
            for (int bx = 0; bx < cc.blocks_across; ++bx)
                for (int k = 0; k < 64; ++k)
                    cc.blocks[(static_cast<size_t>(by) * cc.blocks_across + bx) * 64 + k] = rows[0][bx][k];
        }
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return true;
}

}  // namespace

bool make_scan_stream(const ScanStreamOptions& o, std::vector<uint8_t>* out, std::string* error) {
    std::vector<uint8_t> pixels(static_cast<size_t>(o.width) * o.height * o.components);
    for (int y = 0; y < o.height; ++y)
        for (int x = 0; x < o.width; ++x)
            for (int c = 0; c < o.components; ++c)
                pixels[(static_cast<size_t>(y) * o.width + x) * o.components + c] = sample_at(x, y, c, o.seed);
    std::vector<jpeg_scan_info> script;
    for (const ScanScript& s : o.script) {
        jpeg_scan_info info{};
        info.comps_in_scan = s.components;
        for (int i = 0; i < s.components; ++i) info.component_index[i] = s.index[i];
        info.Ss = s.ss;
        info.Se = s.se;
        info.Ah = s.ah;
        info.Al = s.al;
        script.push_back(info);
    }
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    char message[JMSG_LENGTH_MAX] = {};
    const bool ok = encode(o, script, pixels.data(), &buffer, &size, message);
    if (ok) out->assign(buffer, buffer + size);
    std::free(buffer);
    if (!ok && error != nullptr) *error = message;
    return ok;
}

bool reference_coefficients(const std::vector<uint8_t>& stream, std::vector<ComponentCoefficients>* out,
                            std::string* error) {
    char message[JMSG_LENGTH_MAX] = {};
    const bool ok = read_coefficients(stream.data(), stream.size(), out, message);
    if (!ok && error != nullptr) *error = message;
    return ok;
}

OurCoefficients our_coefficients(const std::vector<uint8_t>& stream, const CoefficientRun& run) {
    OurCoefficients result;
    auto record = std::make_unique<JPEG_RECORD>();
    std::memset(record.get(), 0, sizeof(JPEG_RECORD));
    JPEG_RECORD* r = record.get();
    if (open_codec(r) != STATUS_SUCCESS) {
        result.params_status = STATUS_INTERNAL_ERROR;
        return result;
    }
    r->jpeg_buffer = stream.data();
    r->jpeg_buffer_size = static_cast<int32_t>(stream.size());
    result.params_status = read_image(r, READ_PARAMS_BUFFER);
    if (result.params_status != STATUS_SUCCESS) {
        close_codec(r);
        return result;
    }
    // The frame records are released by close_codec: copy what is needed.
    const FRAME_INFO& frame = r->props.frame;
    const int nf = frame.component_count < 4 ? frame.component_count : 4;
    int hmax = 1, vmax = 1;
    for (int i = 0; i < nf; ++i) {
        if (frame.components[i].h_samp > hmax) hmax = frame.components[i].h_samp;
        if (frame.components[i].v_samp > vmax) vmax = frame.components[i].v_samp;
    }
    result.mcus_per_row = (frame.width + 8 * hmax - 1) / (8 * hmax);
    result.mcu_rows = (frame.height + 8 * vmax - 1) / (8 * vmax);
    int comp_h[4] = {1, 1, 1, 1}, comp_v[4] = {1, 1, 1, 1};
    for (int i = 0; i < nf && i < 4; ++i) {
        comp_h[i] = frame.components[i].h_samp;
        comp_v[i] = frame.components[i].v_samp;
    }
    std::vector<std::vector<int16_t>> planes(static_cast<size_t>(nf));
    COEF_OUTPUT target{};
    target.flag = 0;
    for (int i = 0; i < nf && i < 4; ++i) {
        const size_t values = static_cast<size_t>(result.mcus_per_row) * frame.components[i].h_samp * 8 *
                              result.mcu_rows * frame.components[i].v_samp * 8;
        planes[static_cast<size_t>(i)].assign(values, 0x5A5A);  // anything not written stands out
        target.planes[i] = planes[static_cast<size_t>(i)].data();
    }
    r->props.coef_output = &target;
    if (nf == 4) {
        r->dib_color = CS_QUAD;
        r->dib_channels = 4;
    }
    int reads = 0;
    JPEG_STATUS status;
    do {
        r->props.roi_left = run.roi[0];
        r->props.roi_top = run.roi[1];
        r->props.roi_right = run.roi[2];
        r->props.roi_bottom = run.roi[3];
        r->props.interrupt_request = run.step ? 1 : 0;
        status = read_image(r, READ_IMAGE_BUFFER);
        ++reads;
    } while (status == STATUS_INTERRUPT_SUCCESS && reads < run.max_reads);
    result.image_status = status;
    r->props.coef_output = nullptr;
    close_codec(r);

    result.planes.resize(static_cast<size_t>(nf));
    for (int i = 0; i < nf && i < 4; ++i) {
        ComponentCoefficients& cc = result.planes[static_cast<size_t>(i)];
        cc.h = comp_h[i];
        cc.v = comp_v[i];
        cc.blocks_across = result.mcus_per_row * cc.h;
        cc.blocks_down = result.mcu_rows * cc.v;
        cc.blocks.assign(static_cast<size_t>(cc.blocks_across) * cc.blocks_down * 64, 0);
        const size_t stride = static_cast<size_t>(cc.blocks_across) * 8;
        const std::vector<int16_t>& plane = planes[static_cast<size_t>(i)];
        for (int by = 0; by < cc.blocks_down; ++by)
            for (int bx = 0; bx < cc.blocks_across; ++bx)
                for (int k = 0; k < 64; ++k)
                    cc.blocks[(static_cast<size_t>(by) * cc.blocks_across + bx) * 64 + k] =
                        plane[(static_cast<size_t>(by) * 8 + k / 8) * stride + static_cast<size_t>(bx) * 8 + k % 8];
    }
    return result;
}

int count_block_differences(const ComponentCoefficients& reference, const ComponentCoefficients& ours,
                            std::string* first, int bx0, int by0, int bx1, int by1) {
    if (bx1 < 0) bx1 = reference.blocks_across;
    if (by1 < 0) by1 = reference.blocks_down;
    int differences = 0;
    for (int by = by0; by < by1; ++by) {
        for (int bx = bx0; bx < bx1; ++bx) {
            if (bx >= ours.blocks_across || by >= ours.blocks_down) {
                if (differences++ == 0 && first != nullptr) *first = "plane too small";
                continue;
            }
            const int16_t* a = reference.block(bx, by);
            const int16_t* b = ours.block(bx, by);
            for (int k = 0; k < 64; ++k) {
                if (a[k] != b[k]) {
                    if (differences == 0 && first != nullptr) {
                        char text[160];
                        std::snprintf(text, sizeof text, "block (%d,%d) coefficient %d: reference %d, ours %d", bx,
                                      by, k, a[k], b[k]);
                        *first = text;
                    }
                    ++differences;
                    break;
                }
            }
        }
    }
    return differences;
}

long find_marker(const std::vector<uint8_t>& stream, uint8_t code, size_t from) {
    for (size_t i = from; i + 1 < stream.size(); ++i)
        if (stream[i] == 0xFF && stream[i + 1] == code) return static_cast<long>(i);
    return -1;
}

}  // namespace vantorel::test

namespace vantorel::test {

OurPixels our_pixels(const std::vector<uint8_t>& stream, const PixelRun& run) {
    OurPixels result;
    auto record = std::make_unique<JPEG_RECORD>();
    std::memset(record.get(), 0, sizeof(JPEG_RECORD));
    JPEG_RECORD* r = record.get();
    if (open_codec(r) != STATUS_SUCCESS) {
        result.status = STATUS_INTERNAL_ERROR;
        return result;
    }
    r->jpeg_buffer = stream.data();
    r->jpeg_buffer_size = static_cast<int32_t>(stream.size());
    result.status = read_image(r, READ_PARAMS_BUFFER);
    if (result.status != STATUS_SUCCESS) {
        close_codec(r);
        return result;
    }
    const int channels = r->jpeg_channels == 1 ? 1 : r->jpeg_channels == 4 ? 4 : 3;
    r->dib_color = channels == 1 ? CS_GRAY : channels == 4 ? CS_QUAD : CS_BGR;
    r->dib_channels = channels;
    const int scale = run.kind == READ_IMAGE_HALF_BUFFER      ? 2
                      : run.kind == READ_IMAGE_QUARTER_BUFFER ? 4
                      : run.kind == READ_IMAGE_EIGHTH_BUFFER  ? 8
                                                              : 1;
    const bool region = run.roi[0] || run.roi[1] || run.roi[2] || run.roi[3];
    result.width = run.dib_width > 0 ? run.dib_width
                   : region         ? run.roi[2] - run.roi[0]
                                    : (r->jpeg_width + scale - 1) / scale;
    result.height = run.dib_height > 0 ? run.dib_height
                    : region          ? run.roi[3] - run.roi[1]
                                      : (r->jpeg_height + scale - 1) / scale;
    result.channels = channels;
    result.pixels.assign(static_cast<size_t>(result.width) * result.height * channels, 0xA5);
    r->dib_pixels = result.pixels.data();
    r->dib_width = result.width;
    r->dib_height = result.height;
    r->dib_row_pad = 0;
    r->props.upsample_filter = run.smooth ? 1 : 0;
    JPEG_STATUS status;
    do {
        r->props.roi_left = run.roi[0];
        r->props.roi_top = run.roi[1];
        r->props.roi_right = run.roi[2];
        r->props.roi_bottom = run.roi[3];
        r->props.interrupt_request = run.step ? 1 : 0;
        status = read_image(r, run.kind);
        ++result.reads;
    } while (status == STATUS_INTERRUPT_SUCCESS && result.reads < run.max_reads);
    result.status = status;
    close_codec(r);
    return result;
}

std::string first_pixel_difference(const OurPixels& full, const OurPixels& part, int x0, int y0) {
    for (int y = 0; y < part.height; ++y) {
        for (int x = 0; x < part.width; ++x) {
            for (int c = 0; c < part.channels; ++c) {
                const uint8_t a = full.pixels[(static_cast<size_t>(y + y0) * full.width + x + x0) * full.channels + c];
                const uint8_t b = part.pixels[(static_cast<size_t>(y) * part.width + x) * part.channels + c];
                if (a != b)
                    return "pixel (" + std::to_string(x + x0) + "," + std::to_string(y + y0) + ") channel " +
                           std::to_string(c) + ": whole " + std::to_string(a) + ", part " + std::to_string(b);
            }
        }
    }
    return "";
}

void expect_parts_match_whole(const std::vector<uint8_t>& stream, const std::string& label) {
    const IO_MODE kinds[] = {READ_IMAGE_BUFFER, READ_IMAGE_HALF_BUFFER, READ_IMAGE_QUARTER_BUFFER,
                             READ_IMAGE_EIGHTH_BUFFER};
    for (IO_MODE kind : kinds) {
        for (bool smooth : {false, true}) {
            const std::string name = label + " kind " + std::to_string(kind) + (smooth ? " smooth" : "");
            PixelRun run;
            run.kind = kind;
            run.smooth = smooth;
            const OurPixels whole = our_pixels(stream, run);
            ASSERT_EQ(whole.status, STATUS_SUCCESS) << name;
            size_t written = 0;
            for (uint8_t byte : whole.pixels) written += byte != 0xA5;
            ASSERT_GT(written, whole.pixels.size() / 2) << name << ": the whole decode wrote no picture";
            run.step = true;
            const OurPixels stepped = our_pixels(stream, run);
            ASSERT_EQ(stepped.status, STATUS_SUCCESS) << name;
            EXPECT_GT(stepped.reads, 1) << name;
            EXPECT_EQ(first_pixel_difference(whole, stepped, 0, 0), "") << name << " step by step";
            // Regions: inside, at each edge, and one pixel wide.
            const int w = whole.width, h = whole.height;
            const int regions[][4] = {{w / 4, h / 3, w * 3 / 4, h * 2 / 3}, {0, h / 2, w, h},
                                      {w / 2, 0, w, h / 2},                 {w / 3, h / 3, w / 3 + 1, h / 3 + 1}};
            for (const auto& roi : regions) {
                if (roi[2] <= roi[0] || roi[3] <= roi[1]) continue;
                for (bool step : {false, true}) {
                    PixelRun part = run;
                    part.step = step;
                    std::memcpy(part.roi, roi, sizeof part.roi);
                    const OurPixels got = our_pixels(stream, part);
                    const std::string where = name + " region " + std::to_string(roi[0]) + "," +
                                              std::to_string(roi[1]) + "-" + std::to_string(roi[2]) + "," +
                                              std::to_string(roi[3]) + (step ? " step" : "");
                    ASSERT_GE(got.status, 0) << where;
                    EXPECT_EQ(first_pixel_difference(whole, got, roi[0], roi[1]), "") << where;
                }
            }
        }
    }
}

}  // namespace vantorel::test
