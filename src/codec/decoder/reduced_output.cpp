// The writers of reads at 1/2, 1/4 and 1/8 scale. The inverse transform has
// already shrunk every block to n x n samples (n = 4, 2, 1), so an MCU is written
// the way the general full-scale writer writes it, only smaller: placed with
// place_mcu, each component enlarged to the MCU's resolution in the work plane,
// stored into its DIB channel, and colour converted in place afterwards where
// the request asks for it.
//
// Every byte written lies inside the visible rectangle that place_mcu returns
// and inside the pixel's own dib_channels bytes, whatever the sampling factors,
// colour spaces and channel counts combine to.
#include "codec/decoder/decoder.h"
#include "codec/decoder/reduced_sizes.h"

namespace vantorel {

namespace {

constexpr int32_t PLANE_STRIDE = 32;

// output_start is image row 0: the first buffer row, or the last one of a
// bottom-up DIB (whose stride is then negative).
bool dib_ready(const JPEG_PROPERTIES* props) {
    return props->output_start != nullptr && props->dib_channels >= 1 && props->dib_width >= 1;
}

// Places an MCU of w x h output pixels; false when none of it is visible.
bool place(JPEG_PROPERTIES* props, BYTE_SOURCE* source, int32_t w, int32_t h, int32_t mcu_col, int32_t mcu_row,
           MCU_RECT* clip) {
    const MCU_RECT region{props->roi_left, props->roi_top, props->roi_right, props->roi_bottom};
    return place_mcu(&region, w, h, mcu_col, mcu_row, props->dib_channels, props->dib_stride, props->output_start,
                     props->dib_width, props->dib_height, &source->mcu_out_ptr, clip) == STATUS_SUCCESS;
}

inline uint8_t low_byte(int16_t sample) { return static_cast<uint8_t>(sample); }

inline uint8_t clamp_byte(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// Writes one channel of the visible pixels from the work plane. `channel` is the
// channel number, `offset` its byte within the pixel (it may be negative or past
// the pixel for odd layouts; such bytes are skipped). What is written depends on
// the colour pair: a grey sample fills three bytes of an RGB or BGR pixel and a
// four-byte pixel also gets 255 after them; the fourth channel of a four-byte
// pixel of a three-colour image is 255; otherwise the channel takes the sample.
void store_plane_channel(const JPEG_PROPERTIES* props, int32_t channel, int32_t offset, const uint8_t* plane,
                         const MCU_RECT& clip, uint8_t* mcu_out) {
    const int32_t channels = props->dib_channels;
    const COLOR_SPACE dib = props->dib_color;
    const COLOR_SPACE jpeg = props->jpeg_color;
    if (channel >= channels && dib != CS_YCBCR) return;

    enum { SAMPLE, GREY_QUAD, OPAQUE, GREY_TRIPLE } kind = SAMPLE;
    if (jpeg == CS_GRAY && dib == CS_QUAD)
        kind = GREY_QUAD;
    else if ((jpeg == CS_YCBCR || jpeg == CS_RGB) && dib == CS_QUAD && channel >= 3)
        kind = OPAQUE;
    else if (jpeg == CS_GRAY && (dib == CS_RGB || dib == CS_BGR))
        kind = GREY_TRIPLE;

    auto put = [channels](uint8_t* pixel, int32_t byte, uint8_t value) {
        if (byte >= 0 && byte < channels) pixel[byte] = value;
    };
    for (int32_t y = clip.top; y < clip.bottom; ++y) {
        uint8_t* row = mcu_out + static_cast<intptr_t>(y) * props->dib_stride;
        const uint8_t* samples = plane + y * PLANE_STRIDE;
        for (int32_t x = clip.left; x < clip.right; ++x) {
            uint8_t* pixel = row + static_cast<intptr_t>(x) * channels;
            const uint8_t s = samples[x];
            switch (kind) {
                case GREY_QUAD:
                    put(pixel, offset, s);
                    put(pixel, offset + 1, s);
                    put(pixel, offset + 2, s);
                    put(pixel, offset + 3, 255);
                    break;
                case OPAQUE: put(pixel, offset, 255); break;
                case GREY_TRIPLE:
                    put(pixel, offset, s);
                    put(pixel, offset + 1, s);
                    put(pixel, offset + 2, s);
                    break;
                case SAMPLE: put(pixel, offset, s); break;
            }
        }
    }
}

struct PLANE_JOB {
    const int16_t* mcu;
    MCU_COMPONENT comp;
    int32_t blocks_across, blocks_down;  // the component's blocks in this MCU
    int32_t block_size;                  // samples per block side
    int32_t fx, fy;                      // enlargement
    int32_t width, height;               // the MCU in output pixels (at most 32 x 32)
};

// Fills the width x height corner of the plane with the component enlarged by
// fx x fy. Where the sampling ratio is not a whole number the component covers
// less than the MCU; the rest repeats the last covered column and row, so every
// pixel of the plane is defined.
void fill_replicated(const PLANE_JOB& j, uint8_t* plane) {
    const int32_t bs = j.block_size;
    for (int32_t b = 0; b < j.comp.block_count; ++b) {
        const int16_t* block = j.mcu + 64 * (j.comp.first_block + b);
        const int32_t bx = b % j.blocks_across;
        const int32_t by = b / j.blocks_across;
        for (int32_t sy = 0; sy < bs; ++sy)
            for (int32_t sx = 0; sx < bs; ++sx) {
                const uint8_t value = low_byte(block[8 * sy + sx]);
                for (int32_t dy = 0; dy < j.fy; ++dy) {
                    const int32_t py = (by * bs + sy) * j.fy + dy;
                    if (py >= j.height) break;
                    for (int32_t dx = 0; dx < j.fx; ++dx) {
                        const int32_t px = (bx * bs + sx) * j.fx + dx;
                        if (px >= j.width) break;
                        plane[py * PLANE_STRIDE + px] = value;
                    }
                }
            }
    }
    int32_t covered_w = j.blocks_across * bs * j.fx;
    int32_t covered_h = j.blocks_down * bs * j.fy;
    if (covered_w > j.width) covered_w = j.width;
    if (covered_h > j.height) covered_h = j.height;
    for (int32_t py = 0; py < covered_h; ++py)
        for (int32_t px = covered_w; px < j.width; ++px)
            plane[py * PLANE_STRIDE + px] = plane[py * PLANE_STRIDE + covered_w - 1];
    for (int32_t py = covered_h; py < j.height; ++py)
        for (int32_t px = 0; px < j.width; ++px)
            plane[py * PLANE_STRIDE + px] = plane[(covered_h - 1) * PLANE_STRIDE + px];
}

// The 2x1 triangle filter on n x n blocks: pixel 2k leans a quarter towards the
// sample on its left, pixel 2k + 1 towards the one on its right. Across the MCU's
// left and right edges the neighbours come from the smoothing ring (slot col
// holds the MCU to the left, slot col + 2 the one to the right, each with the
// image edge repeated); without them the block's own edge sample is used.
void fill_triangle_2x1(const JPEG_PROPERTIES* props, const PLANE_JOB& j, int32_t mcu_col, uint8_t* plane) {
    const int32_t n = j.block_size;
    MCU_COMPONENT frame[4];
    const int32_t frame_count = describe_mcu_components(props, nullptr, true, frame);
    const int32_t slot_blocks = frame_count == 0 ? 0 : frame[frame_count - 1].first_block + frame[frame_count - 1].block_count;
    for (int32_t b = 0; b < j.comp.block_count; ++b) {
        const int32_t index = j.comp.first_block + b;
        const int16_t* block = j.mcu + 64 * index;
        // A ring slot holds one frame MCU; a block past it has no neighbours there.
        const bool in_slot = index < slot_blocks;
        const int16_t* left_slot = in_slot ? smooth_ring_slot(props, 1, mcu_col) : nullptr;
        const int16_t* right_slot = in_slot ? smooth_ring_slot(props, 1, mcu_col + 2) : nullptr;
        const int32_t bx = b % j.blocks_across;
        const int32_t by = b / j.blocks_across;
        for (int32_t r = 0; r < n; ++r) {
            int32_t s[10];
            for (int32_t k = 0; k < n; ++k) s[k + 1] = low_byte(block[8 * r + k]);
            s[0] = left_slot != nullptr ? low_byte(left_slot[64 * index + 8 * r + n - 1]) : s[1];
            s[n + 1] = right_slot != nullptr ? low_byte(right_slot[64 * index + 8 * r]) : s[n];
            const int32_t py = by * n + r;
            if (py >= j.height) break;
            uint8_t* out = plane + py * PLANE_STRIDE;
            for (int32_t k = 0; k < n; ++k) {
                const int32_t px = (bx * n + k) * 2;
                if (px >= j.width) break;
                const int32_t c = 3 * s[k + 1];
                out[px] = static_cast<uint8_t>((c + s[k] + 1) >> 2);
                if (px + 1 < j.width) out[px + 1] = static_cast<uint8_t>((c + s[k + 2] + 2) >> 2);
            }
        }
    }
}

// The reduced general writer. `frame_form` takes the components and geometry of
// the whole frame (progressive MCUs, which always carry every component); the
// sequential form takes the scan's, where a one-component scan's MCU is that
// component's footprint with a single block.
void write_reduced_general(JPEG_PROPERTIES* props, BYTE_SOURCE* source, const SCAN_INFO* scan, int32_t mcu_col,
                           int32_t mcu_row, int32_t n, int32_t simple_sampling, bool frame_form) {
    if (!dib_ready(props)) return;
    const int32_t max_h = props->frame.max_h_sampling;
    const int32_t max_v = props->frame.max_v_sampling;
    if (max_h < 1 || max_h > 4 || max_v < 1 || max_v > 4) return;
    MCU_COMPONENT comps[4];
    const int32_t count = describe_mcu_components(props, scan, frame_form, comps);
    if (count == 0) return;
    const bool one_component = !frame_form && scan->component_count == 1;
    const int32_t decoded = props->decoded_components;
    if (one_component && decoded >= props->dib_channels) return;

    const int32_t width = one_component ? (max_h / comps[0].h_samp) * n : max_h * n;
    const int32_t height = one_component ? (max_v / comps[0].v_samp) * n : max_v * n;
    if (width < 1 || height < 1 || width > PLANE_STRIDE || height > PLANE_STRIDE) return;
    MCU_RECT clip;
    if (!place(props, source, width, height, mcu_col, mcu_row, &clip)) return;
    uint8_t* const out = source->mcu_out_ptr;

    const bool reversed = props->dib_color == CS_BGR && props->jpeg_color == CS_RGB;
    const int32_t step = reversed ? -1 : 1;
    int32_t offset = reversed ? 2 - decoded : decoded;
    int32_t limit = count < props->dib_channels ? count : props->dib_channels;
    if (frame_form && props->jpeg_color == CS_GRAY && limit > 1) limit = 1;
    const bool smoothing_2x1 = props->upsample_filter == 1 && max_h == 2 && max_v == 1 && n > 1;

    uint8_t* plane = props->component_plane;
    for (int32_t i = 0; i < limit; ++i) {
        PLANE_JOB job;
        job.mcu = props->mcu_buffer;
        job.comp = comps[i];
        job.blocks_across = one_component ? 1 : comps[i].h_samp;
        job.blocks_down = one_component ? 1 : comps[i].v_samp;
        // A subsampled component may have been transformed k times larger than
        // n (the output step asks the same question); it is then enlarged by
        // only what is left of its ratio.
        const int32_t k = reduced_transform_factor(props, comps[i].h_samp, comps[i].v_samp, n, simple_sampling);
        const int32_t fx = max_h / comps[i].h_samp > 0 ? max_h / comps[i].h_samp : 1;
        const int32_t fy = max_v / comps[i].v_samp > 0 ? max_v / comps[i].v_samp : 1;
        job.block_size = n * k;
        job.fx = fx / k > 0 ? fx / k : 1;
        job.fy = fy / k > 0 ? fy / k : 1;
        job.width = width;
        job.height = height;
        if (smoothing_2x1 && k == 1 && job.fx == 2 && job.fy == 1)
            fill_triangle_2x1(props, job, mcu_col, plane);
        else
            fill_replicated(job, plane);
        store_plane_channel(props, i, offset, plane, clip, out);
        offset += step;
    }
    if (limit == 0) return;

    // Channels no component fills: 255 for the fourth byte of a four-byte pixel,
    // a grey sample for the second and third of a grey image, and so on. A
    // multi-scan image fills them once, with its last scan.
    if (props->dib_color == CS_OTHER && props->jpeg_color == CS_OTHER) return;
    int32_t channel = limit;
    if (props->multi_scan == 1) {
        const int32_t frame_count = props->frame.component_count;
        if (decoded + count < frame_count) return;
        channel = frame_count;
    }
    for (; channel < props->dib_channels; ++channel) {
        store_plane_channel(props, channel, offset, plane, clip, out);
        offset += step;
    }
}

}  // namespace

void write_reduced_sequential(JPEG_PROPERTIES* props, BYTE_SOURCE* source, SCAN_INFO* scan, int32_t mcu_col,
                              int32_t mcu_row, int32_t block_size, int32_t simple_sampling) {
    if (scan == nullptr) scan = props->current_scan;
    if (scan == nullptr) return;
    write_reduced_general(props, source, scan, mcu_col, mcu_row, block_size, simple_sampling, false);
}

void write_reduced_progressive(JPEG_PROPERTIES* props, BYTE_SOURCE* source, int32_t mcu_col, int32_t mcu_row,
                               int32_t block_size, int32_t simple_sampling) {
    write_reduced_general(props, source, nullptr, mcu_col, mcu_row, block_size, simple_sampling, true);
}

// An MCU of 1x1-sampled components: each channel copies the first block of its
// component; a grey image repeats its sample into the second and third channels.
void write_mcu_direct(JPEG_PROPERTIES* props, BYTE_SOURCE* source, int32_t mcu_col, int32_t mcu_row,
                      int32_t block_size) {
    if (!dib_ready(props)) return;
    MCU_COMPONENT comps[4];
    const int32_t count = describe_mcu_components(props, nullptr, true, comps);
    if (count == 0) return;
    MCU_RECT clip;
    if (!place(props, source, block_size, block_size, mcu_col, mcu_row, &clip)) return;
    uint8_t* const out = source->mcu_out_ptr;
    const int32_t channels = props->dib_channels;
    const bool reversed = props->dib_color == CS_BGR && props->jpeg_color == CS_RGB;
    const bool grey = props->jpeg_color == CS_GRAY;
    for (int32_t y = clip.top; y < clip.bottom; ++y) {
        uint8_t* row = out + static_cast<intptr_t>(y) * props->dib_stride;
        for (int32_t x = clip.left; x < clip.right; ++x) {
            uint8_t* pixel = row + static_cast<intptr_t>(x) * channels;
            for (int32_t k = 0; k < channels; ++k) {
                if (k < count) {
                    const int32_t byte = reversed ? 2 - k : k;
                    if (byte >= 0 && byte < channels)
                        pixel[byte] = low_byte(props->mcu_buffer[64 * comps[k].first_block + 8 * y + x]);
                } else if (grey && k < 3) {
                    pixel[k] = pixel[0];
                } else if (k == 3 && (grey || props->dib_color == CS_QUAD)) {
                    pixel[k] = 255;
                }
            }
        }
    }
}

// YCbCr to RGB in place over the visible pixels of the reduced MCU, reading Y, Cb,
// Cr from the first three bytes of each pixel. Three-byte pixels get B, G, R for
// a BGR DIB and R, G, B otherwise; wider pixels get R, G, B (inverted for a
// four-channel YCCK-style image) in their first three bytes and keep the rest.
void convert_reduced_mcu(JPEG_PROPERTIES* props, BYTE_SOURCE* source, int32_t mcu_col, int32_t mcu_row,
                         int32_t block_size) {
    const COLOR_SPACE dib = props->dib_color;
    if (dib != CS_RGB && dib != CS_BGR && dib != CS_QUAD) return;
    // The pass reads three bytes of every pixel; narrower pixels hold no YCbCr.
    if (!dib_ready(props) || props->dib_channels < 3) return;
    const int32_t max_h = props->frame.max_h_sampling;
    const int32_t max_v = props->frame.max_v_sampling;
    if (max_h < 1 || max_h > 4 || max_v < 1 || max_v > 4) return;
    MCU_RECT clip;
    if (!place(props, source, block_size * max_h, block_size * max_v, mcu_col, mcu_row, &clip)) return;
    uint8_t* const out = source->mcu_out_ptr;
    const int32_t channels = props->dib_channels;
    const COLOR_SPACE jpeg = props->jpeg_color;
    if (channels != 3 && jpeg != CS_YCBCR && jpeg != CS_YCC_QUAD) return;
    for (int32_t y = clip.top; y < clip.bottom; ++y) {
        uint8_t* row = out + static_cast<intptr_t>(y) * props->dib_stride;
        for (int32_t x = clip.left; x < clip.right; ++x) {
            uint8_t* pixel = row + static_cast<intptr_t>(x) * channels;
            const int32_t luma = pixel[0], cb = pixel[1], cr = pixel[2];
            const uint8_t r = clamp_byte(luma + ((359 * cr - 45813) >> 8));
            const uint8_t g = clamp_byte(luma + ((34806 - 88 * cb - 183 * cr) >> 8));
            const uint8_t b = clamp_byte(luma + ((454 * cb - 57937) >> 8));
            if (channels == 3 && dib == CS_BGR) {
                pixel[0] = b, pixel[1] = g, pixel[2] = r;
            } else if (channels == 3 || jpeg == CS_YCBCR) {
                pixel[0] = r, pixel[1] = g, pixel[2] = b;
            } else {
                pixel[0] = static_cast<uint8_t>(255 - r), pixel[1] = static_cast<uint8_t>(255 - g),
                pixel[2] = static_cast<uint8_t>(255 - b);
            }
        }
    }
}

// Chooses the writers for a reduced MCU from the two conversion flags. A
// progressive MCU always carries the whole frame, so it is read in the frame's
// layout; a sequential one in its scan's.
void write_scaled_mcu(JPEG_PROPERTIES* props, BYTE_SOURCE* source, SCAN_INFO* scan, int32_t mcu_col, int32_t mcu_row,
                      int32_t block_size, int32_t simple_sampling) {
    if (props == nullptr || source == nullptr) return;
    if (block_size != 1 && block_size != 2 && block_size != 4 && block_size != 8) return;
    const bool progressive = props->progressive_scans != 0;
    auto general = [&] {
        if (progressive)
            write_reduced_progressive(props, source, mcu_col, mcu_row, block_size, simple_sampling);
        else
            write_reduced_sequential(props, source, scan, mcu_col, mcu_row, block_size, simple_sampling);
    };
    if (props->multi_scan == 1 && !progressive) {
        write_reduced_sequential(props, source, scan, mcu_col, mcu_row, block_size, simple_sampling);
        return;
    }
    const bool upsampling = props->needs_upsampling != 0;
    const bool conversion = props->needs_color_conversion != 0;
    if (upsampling && conversion) {
        general();
        convert_reduced_mcu(props, source, mcu_col, mcu_row, block_size);
    } else if (conversion) {
        write_mcu_direct(props, source, mcu_col, mcu_row, block_size);
        convert_reduced_mcu(props, source, mcu_col, mcu_row, block_size);
    } else if (!upsampling && props->dib_color != CS_YCBCR) {
        write_mcu_direct(props, source, mcu_col, mcu_row, block_size);
    } else if (!upsampling) {
        // A YCbCr DIB keeps its samples: the conversion pass leaves it unchanged.
        general();
        convert_reduced_mcu(props, source, mcu_col, mcu_row, block_size);
    } else {
        general();
    }
}

}  // namespace vantorel
