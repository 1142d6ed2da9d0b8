// Drives our codec through its record the way the tool and the front do.
#include "support/reference_vantorel.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <memory>

namespace vantorel::test {

namespace {

struct OpenRecord {
    std::unique_ptr<JPEG_RECORD> record{new JPEG_RECORD()};
    JPEG_STATUS open_status = open_codec(record.get());
    ~OpenRecord() {
        if (open_status == STATUS_SUCCESS) close_codec(record.get());
    }
    JPEG_RECORD* operator->() { return record.get(); }
};

COLOR_SPACE request_color(int components, COLOR_SPACE reported) {
    switch (components) {
    case 1: return CS_GRAY;
    case 3: return (reported == CS_RGB || reported == CS_YCBCR) ? reported : CS_YCBCR;
    case 4: return (reported == CS_QUAD || reported == CS_YCC_QUAD) ? reported : CS_QUAD;
    default: return CS_OTHER;
    }
}

COLOR_SPACE default_layout(int components) {
    switch (components) {
    case 1: return CS_GRAY;
    case 3: return CS_RGB;
    case 4: return CS_QUAD;
    default: return CS_OTHER;
    }
}

int default_channels(COLOR_SPACE layout, int components) {
    switch (layout) {
    case CS_GRAY: return 1;
    case CS_RGB:
    case CS_BGR:
    case CS_YCBCR: return 3;
    case CS_QUAD: return 4;
    default: return components;
    }
}

void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Copies the DIB's rows into a packed top-down image and checks the pad bytes.
void extract(const std::vector<uint8_t>& dib, int width, int height, int channels, int pad, bool bottom_up,
             uint8_t fill, OurDecodeResult* result) {
    const size_t row_bytes = static_cast<size_t>(width) * channels;
    const size_t stride = row_bytes + pad;
    result->image.width = width;
    result->image.height = height;
    result->image.channels = channels;
    result->image.pixels.resize(row_bytes * height);
    for (int y = 0; y < height; ++y) {
        size_t buffer_row = static_cast<size_t>(bottom_up ? height - 1 - y : y);
        const uint8_t* src = dib.data() + buffer_row * stride;
        std::copy(src, src + row_bytes, result->image.pixels.begin() + static_cast<long>(y * row_bytes));
        for (int i = 0; i < pad; ++i) {
            if (src[row_bytes + i] != fill) result->pad_intact = false;
        }
    }
}

}  // namespace

std::string scratch_path(const std::string& stem) {
    static std::atomic<int> counter{0};
    return stem + "_" + std::to_string(getpid()) + "_" + std::to_string(counter++) + ".jpg";
}

OurParams our_read_params(const std::vector<uint8_t>& stream) {
    OurParams params;
    OpenRecord record;
    if (record.open_status != STATUS_SUCCESS) {
        params.status = record.open_status;
        return params;
    }
    record->jpeg_buffer = stream.data();
    record->jpeg_buffer_size = static_cast<int32_t>(stream.size());
    params.status = read_image(record.record.get(), READ_PARAMS_BUFFER);
    params.width = record->jpeg_width;
    params.height = record->jpeg_height;
    params.components = record->jpeg_channels;
    params.color = record->jpeg_color;
    params.subsampling = record->jpeg_subsampling;
    return params;
}

OurDecodeResult our_decode(const std::vector<uint8_t>& stream, const OurDecodeOptions& options) {
    OurDecodeResult result;
    OpenRecord record;
    if (record.open_status != STATUS_SUCCESS) {
        result.status = record.open_status;
        return result;
    }
    std::string path;
    if (options.file) {
        path = scratch_path("ours");
        write_bytes(path, stream);
        record->jpeg_path = path.c_str();
    } else {
        record->jpeg_buffer = stream.data();
        record->jpeg_buffer_size = static_cast<int32_t>(stream.size());
    }
    struct Cleanup {
        std::string path;
        ~Cleanup() {
            if (!path.empty()) std::remove(path.c_str());
        }
    } cleanup{path};

    result.status = read_image(record.record.get(), options.file ? READ_PARAMS_FILE : READ_PARAMS_BUFFER);
    if (result.status < 0) return result;
    const int components = record->jpeg_channels;
    const int image_width = record->jpeg_width;
    const int image_height = record->jpeg_height;
    result.components = components;
    result.stream_color =
        options.jpeg_color != 0 ? options.jpeg_color : request_color(components, record->jpeg_color);
    const COLOR_SPACE layout = options.dib_color != 0 ? options.dib_color : default_layout(components);
    const int channels = options.dib_channels > 0 ? options.dib_channels : default_channels(layout, components);
    const int s = options.scale;
    int width = (image_width + s - 1) / s;
    int height = (image_height + s - 1) / s;
    if (options.has_roi) {
        width = options.roi[2] - options.roi[0];
        height = options.roi[3] - options.roi[1];
    }
    if (width <= 0 || height <= 0) {
        result.status = STATUS_INVALID_PROPERTIES;
        return result;
    }
    const size_t stride = static_cast<size_t>(width) * channels + options.pad;
    std::vector<uint8_t> dib(stride * height, options.pad_fill);

    record->dib_pixels = dib.data();
    record->dib_width = width;
    record->dib_height = options.bottom_up ? -height : height;
    record->dib_row_pad = options.pad;
    record->dib_channels = channels;
    record->dib_color = layout;
    record->jpeg_color = result.stream_color;
    record->jpeg_channels = components;
    JPEG_PROPERTIES& props = record->props;
    props.upsample_filter = options.smooth ? 1 : 0;
    if (options.idct >= 0) props.idct_family = options.idct;
    auto set_region = [&] {
        props.roi_left = options.has_roi ? options.roi[0] : 0;
        props.roi_top = options.has_roi ? options.roi[1] : 0;
        props.roi_right = options.has_roi ? options.roi[2] : 0;
        props.roi_bottom = options.has_roi ? options.roi[3] : 0;
    };
    set_region();
    IO_MODE kind = options.file ? READ_IMAGE_FILE : READ_IMAGE_BUFFER;
    if (s == 2) kind = options.file ? READ_IMAGE_HALF_FILE : READ_IMAGE_HALF_BUFFER;
    if (s == 4) kind = options.file ? READ_IMAGE_QUARTER_FILE : READ_IMAGE_QUARTER_BUFFER;
    if (s == 8) kind = options.file ? READ_IMAGE_EIGHTH_FILE : READ_IMAGE_EIGHTH_BUFFER;

    // One read per MCU per scan at most, with room to spare; a decoder that never
    // finishes fails the test instead of hanging it.
    const int read_limit = (image_width / 8 + 2) * (image_height / 8 + 2) * 80 + 100;
    for (;;) {
        if (result.reads >= read_limit) {
            result.status = STATUS_INTERNAL_ERROR;
            return result;
        }
        if (options.step) {
            props.interrupt_request = 1;
            set_region();  // an interrupted read leaves the extent reached in these fields
        }
        result.status = read_image(record.record.get(), kind);
        ++result.reads;
        if (result.status != STATUS_INTERRUPT_SUCCESS) break;
    }
    if (result.status < 0) return result;
    extract(dib, width, height, channels, options.pad, options.bottom_up, options.pad_fill, &result);
    return result;
}

OurDecodeResult our_decode_abbreviated(const std::vector<uint8_t>& tables, const std::vector<uint8_t>& image,
                                       int width, int height, int components, COLOR_SPACE stream_color) {
    OurDecodeResult result;
    OpenRecord record;
    if (record.open_status != STATUS_SUCCESS) {
        result.status = record.open_status;
        return result;
    }
    record->jpeg_buffer = tables.data();
    record->jpeg_buffer_size = static_cast<int32_t>(tables.size());
    result.status = read_image(record.record.get(), READ_TABLES_BUFFER);
    if (result.status < 0) return result;

    const COLOR_SPACE layout = default_layout(components);
    const int channels = default_channels(layout, components);
    std::vector<uint8_t> dib(static_cast<size_t>(width) * channels * height, 0xA5);
    record->jpeg_buffer = image.data();
    record->jpeg_buffer_size = static_cast<int32_t>(image.size());
    record->dib_pixels = dib.data();
    record->dib_width = width;
    record->dib_height = height;
    record->dib_channels = channels;
    record->dib_color = layout;
    record->jpeg_color = stream_color;
    record->jpeg_channels = components;
    result.components = components;
    result.stream_color = stream_color;
    result.status = read_image(record.record.get(), READ_SCANS_BUFFER);
    ++result.reads;
    if (result.status < 0) return result;
    extract(dib, width, height, channels, 0, false, 0xA5, &result);
    return result;
}

}  // namespace vantorel::test
