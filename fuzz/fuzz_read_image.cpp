// Fuzz target over the read operation from memory. The first bytes of the input
// choose the request: kind, DIB layout, region, scale, smoothing, transform
// family, row pad, bottom-up, step-by-step reading and the processor variant;
// the rest is the JPEG stream. A flag also asks for coefficient output into
// planes sized as a caller sizes them from the parameters request. Every request must return a status, stay inside
// its buffers, terminate and leave nothing allocated after close_codec.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "fuzz_common.h"

namespace {

using namespace vantorel;
using namespace vantorel::fuzz;


void run_request(const uint8_t* header, std::vector<uint8_t>& stream) {
    set_variant(header[11]);
    auto record = std::make_unique<JPEG_RECORD>();
    std::memset(record.get(), 0, sizeof(JPEG_RECORD));
    if (open_codec(record.get()) != STATUS_SUCCESS) return;
    JPEG_RECORD* r = record.get();
    r->jpeg_buffer = stream.data();
    r->jpeg_buffer_size = static_cast<int32_t>(stream.size());

    uint8_t comment[64];
    r->props.jpeg_comment = comment;
    r->props.jpeg_comment_size = header[10] & 63;

    const int kind_choice = header[0] % 6;
    if (kind_choice < 3) {
        // parameters, tables, or a thumbnail request into a small RGB DIB
        static const IO_MODE kinds[3] = {READ_PARAMS_BUFFER, READ_TABLES_BUFFER, READ_THUMBNAIL_BUFFER};
        std::vector<uint8_t> dib(64 * 64 * 3 + 64);
        r->dib_pixels = dib.data();
        r->dib_width = 1 + header[1] % 64;
        r->dib_height = 1 + header[2] % 64;
        r->dib_channels = 3;
        r->dib_color = (header[3] & 1) ? CS_RGB : CS_BGR;
        // Raw copies of the tables a tables request reads, for the caller to
        // hand back: buffers of the sizes a caller provides.
        uint8_t raw_quant[4][128];
        uint8_t raw_counts[8][16];
        uint8_t raw_values[8][256];
        const bool reload = kind_choice == 1 && (header[4] & 32);
        if (reload) {
            for (int i = 0; i < 4; ++i) r->props.raw_quant[i].buffer = raw_quant[i];
            for (int i = 0; i < 8; ++i) {
                r->props.raw_huff[i].counts = raw_counts[i];
                r->props.raw_huff[i].values = raw_values[i];
            }
        }
        const JPEG_STATUS status = read_image(r, kinds[kind_choice]);
        if (reload && status == STATUS_SUCCESS) {
            // An abbreviated-stream caller: the image request reloads the tables
            // the tables request copied out, then reads the same stream whole
            // into a small DIB (pixels beyond it are clipped).
            r->props.reload_quant_tables = (header[4] & 64) ? 0 : 1;
            r->props.reload_huff_tables = 1;
            r->dib_width = 64;
            r->dib_height = 64;
            r->props.roi_right = 64;
            r->props.roi_bottom = 64;
            read_image(r, (header[4] & 128) ? READ_SCANS_BUFFER : READ_IMAGE_BUFFER);
        }
        close_codec(r);
        return;
    }

    // An image request: learn the frame first, as every caller does.
    if (read_image(r, READ_PARAMS_BUFFER) != STATUS_SUCCESS || r->jpeg_width <= 0 || r->jpeg_height <= 0) {
        close_codec(r);
        return;
    }
    static const IO_MODE image_kinds[4] = {READ_IMAGE_BUFFER, READ_IMAGE_HALF_BUFFER, READ_IMAGE_QUARTER_BUFFER,
                                           READ_IMAGE_EIGHTH_BUFFER};
    const int scale_index = header[1] % 4;
    const int32_t scale = 1 << scale_index;
    const Layout layout = kLayouts[header[2] % 8];
    r->dib_color = layout.color;
    r->dib_channels = layout.color == CS_OTHER ? r->jpeg_channels : layout.channels;
    if (layout.color == CS_OTHER) r->jpeg_color = CS_OTHER;
    if (r->dib_channels < 1 || r->dib_channels > 4) r->dib_channels = 3;
    r->dib_row_pad = header[3] % 4;

    int32_t width = (r->jpeg_width + scale - 1) / scale;
    int32_t height = (r->jpeg_height + scale - 1) / scale;
    if (width > kMaxDibSide || height > kMaxDibSide) {
        // No caller holds a DIB for a frame this large: it asks for a region.
        r->props.roi_right = width < kMaxDibSide ? width : kMaxDibSide;
        r->props.roi_bottom = height < kMaxDibSide ? height : kMaxDibSide;
        width = r->props.roi_right;
        height = r->props.roi_bottom;
    } else if (header[4] & 1) {
        // a region of the scaled picture
        const int32_t l = header[5] % (width + 1), t = header[6] % (height + 1);
        const int32_t rr = l + 1 + header[7] % (width - l + 1), b = t + 1 + header[8] % (height - t + 1);
        r->props.roi_left = l;
        r->props.roi_top = t;
        r->props.roi_right = rr;
        r->props.roi_bottom = b;
        width = rr - l;
        height = b - t;
    }
    if (width > kMaxDibSide) width = kMaxDibSide;
    if (height > kMaxDibSide) height = kMaxDibSide;
    if (width < 1) width = 1;
    if (height < 1) height = 1;
    r->dib_width = width;
    r->dib_height = (header[4] & 2) ? -height : height;
    r->props.upsample_filter = (header[4] & 4) ? 1 : 0;
    r->props.idct_family = (header[4] & 8) ? 0 : 1;
    const bool step = (header[4] & 16) != 0;

    const size_t stride = static_cast<size_t>(width) * r->dib_channels + r->dib_row_pad;
    std::vector<uint8_t> dib(stride * height);
    r->dib_pixels = dib.data();

    // Coefficient output: one plane per frame component, MCUs-per-row x H blocks
    // wide and MCU-rows x V blocks high, as the parameters request describes them.
    COEF_OUTPUT target{};
    std::vector<int16_t> planes[4];
    if (header[4] & 32) {
        const FRAME_INFO& frame = r->props.frame;
        int32_t h_max = 1, v_max = 1;
        const int32_t count = frame.component_count < 4 ? frame.component_count : 4;
        for (int32_t i = 0; i < count; ++i) {
            h_max = frame.components[i].h_samp > h_max ? frame.components[i].h_samp : h_max;
            v_max = frame.components[i].v_samp > v_max ? frame.components[i].v_samp : v_max;
        }
        const size_t across = (static_cast<size_t>(r->jpeg_width) + 8 * h_max - 1) / (8 * h_max);
        const size_t down = (static_cast<size_t>(r->jpeg_height) + 8 * v_max - 1) / (8 * v_max);
        bool fits = true;
        for (int32_t i = 0; i < count && fits; ++i) {
            const size_t values = across * frame.components[i].h_samp * 8 * down * frame.components[i].v_samp * 8;
            if (values > (size_t{1} << 20)) fits = false;  // keep each run small
            else planes[i].assign(values, 0);
        }
        if (fits) {
            for (int32_t i = 0; i < count; ++i) target.planes[i] = planes[i].data();
            target.flag = (header[4] & 128) ? 1 : 0;
            r->props.coef_output = &target;
        }
    }

    const MCU_RECT region{r->props.roi_left, r->props.roi_top, r->props.roi_right, r->props.roi_bottom};
    auto read_picture = [&] {
        JPEG_STATUS status;
        int reads = 0;
        StepPoint last{};
        do {
            r->props.roi_left = region.left;
            r->props.roi_top = region.top;
            r->props.roi_right = region.right;
            r->props.roi_bottom = region.bottom;
            r->props.interrupt_request = step ? 1 : 0;
            status = read_image(r, image_kinds[scale_index]);
            if (status == STATUS_INTERRUPT_SUCCESS) {
                const StepPoint now = step_point(r);
                if (reads > 0 && now == last) __builtin_trap();  // no progress: a caller would hang
                last = now;
            }
        } while (status == STATUS_INTERRUPT_SUCCESS && ++reads < 100000);
    };
    read_picture();
    if (header[4] & 64) {
        // The record is used again for the same picture in a new buffer, after
        // the caller has let the first one go: whatever the first request kept
        // must never lead a later one back into the old buffer.
        std::vector<uint8_t> again(stream);
        std::vector<uint8_t>().swap(stream);  // freed now (shrink_to_fit may keep it)
        r->jpeg_buffer = again.data();
        r->props.roi_left = r->props.roi_top = r->props.roi_right = r->props.roi_bottom = 0;
        r->props.interrupt_request = 0;
        // The parameters request reports its own layout; the DIB stays as sized.
        const COLOR_SPACE dib_color = r->dib_color, jpeg_color = r->jpeg_color;
        const int32_t dib_channels = r->dib_channels;
        if (read_image(r, READ_PARAMS_BUFFER) == STATUS_SUCCESS) {
            r->dib_color = dib_color;
            r->dib_channels = dib_channels;
            r->jpeg_color = jpeg_color;
            read_picture();
        }
        close_codec(r);
        return;
    }
    close_codec(r);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeaderBytes + 2) return 0;
    if (later_frame_too_large(data + kHeaderBytes, size - kHeaderBytes)) return 0;
    // The stream gets a buffer of its own, exactly its size, so any read past
    // its end is caught.
    std::vector<uint8_t> stream(data + kHeaderBytes, data + size);
    run_request(data, stream);
    return 0;
}
