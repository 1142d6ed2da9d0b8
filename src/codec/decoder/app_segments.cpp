// Application and comment segments: the JFIF header and its extension (with
// uncompressed RGB and palette thumbnails, written straight into the caller's
// DIB for a thumbnail request), the Adobe segment whose transform byte tells how
// three- and four-channel images are coded, and the text comment.
//
// Segments too short to carry what they announce are passed over by their
// length: scanning through them for the next 0xFF could take a byte of their
// body for a marker.
#include "codec/codec.h"
#include "codec/decoder/decoder.h"
#include "codec/fault_guard.h"

namespace vantorel {

namespace {

struct Body {
    const uint8_t* bytes = nullptr;
    uint8_t* copy = nullptr;
    int32_t copied = 0;
    ~Body() {
        if (copy != nullptr) codec_free(copy);
    }
};

inline uint16_t be16_at(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

bool starts_with(const uint8_t* bytes, const char* text, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        if (bytes[i] != static_cast<uint8_t>(text[i])) return false;
    return true;
}

bool is_thumbnail_request(const JPEG_PROPERTIES* props) {
    return props->io_mode == READ_THUMBNAIL_FILE || props->io_mode == READ_THUMBNAIL_BUFFER;
}

// Passes over a body that is not parsed; a body cut short is a data error.
JPEG_STATUS pass_over(BYTE_SOURCE* source, uint32_t count) {
    Body body;
    return read_segment_bytes(source, count, &body.bytes, &body.copy, &body.copied) == STATUS_SUCCESS
               ? STATUS_SUCCESS
               : STATUS_DATA_ERROR;
}

// The first DIB row of the image (the last buffer row of a bottom-up DIB), as
// the read operation placed it.
uint8_t* first_row(const JPEG_PROPERTIES* props) {
    return props->output_start != nullptr ? props->output_start : props->dib_pixels;
}

// A thumbnail is written at 3 bytes per pixel, one thumbnail row per DIB row:
// the DIB must have the rows, and each row's pixel bytes must take 3 x width.
bool dib_holds_thumbnail(const JPEG_PROPERTIES* props, uint32_t width, uint32_t height) {
    if (first_row(props) == nullptr || props->dib_width <= 0 || props->dib_channels <= 0) return false;
    const int64_t rows = props->dib_height < 0 ? -static_cast<int64_t>(props->dib_height) : props->dib_height;
    const int64_t row_bytes = static_cast<int64_t>(props->dib_width) * props->dib_channels;
    const int64_t stride = props->dib_stride < 0 ? -static_cast<int64_t>(props->dib_stride) : props->dib_stride;
    const int64_t needed = 3 * static_cast<int64_t>(width);
    return static_cast<int64_t>(height) <= rows && needed <= row_bytes && needed <= stride;
}

JPEG_STATUS write_rgb_thumbnail(JPEG_PROPERTIES* props, const uint8_t* pixels, uint32_t width, uint32_t height) {
    if (!dib_holds_thumbnail(props, width, height)) return STATUS_THUMBNAIL_TOO_SMALL;
    const uint32_t row_bytes = 3 * width;
    for (uint32_t row = 0; row < height; ++row) {
        uint8_t* dest = first_row(props) + static_cast<intptr_t>(row) * props->dib_stride;
        const uint8_t* src = pixels + static_cast<size_t>(row) * row_bytes;
        if (props->dib_color == CS_RGB) {
            g_copy_bytes(dest, src, row_bytes);
        } else {
            for (uint32_t x = 0; x < width; ++x) {
                dest[3 * x + 0] = src[3 * x + 2];
                dest[3 * x + 1] = src[3 * x + 1];
                dest[3 * x + 2] = src[3 * x + 0];
            }
        }
    }
    return STATUS_SUCCESS;
}

JPEG_STATUS write_palette_thumbnail(JPEG_PROPERTIES* props, const uint8_t* body, uint32_t width, uint32_t height) {
    if (!dib_holds_thumbnail(props, width, height)) return STATUS_THUMBNAIL_TOO_SMALL;
    auto* palette = static_cast<uint8_t*>(codec_alloc(768));
    if (palette == nullptr) return STATUS_SUCCESS;  // the thumbnail is left unwritten
    g_copy_bytes(palette, body + 8, 768);
    const uint8_t* indices = body + 776;
    for (uint32_t row = 0; row < height; ++row) {
        uint8_t* dest = first_row(props) + static_cast<intptr_t>(row) * props->dib_stride;
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* entry = palette + 3 * indices[static_cast<size_t>(row) * width + x];
            if (props->dib_color == CS_RGB) {
                dest[3 * x + 0] = entry[0];
                dest[3 * x + 1] = entry[1];
                dest[3 * x + 2] = entry[2];
            } else {
                dest[3 * x + 0] = entry[2];
                dest[3 * x + 1] = entry[1];
                dest[3 * x + 2] = entry[0];
            }
        }
    }
    codec_free(palette);
    return STATUS_SUCCESS;
}

}  // namespace

JPEG_STATUS read_app0(JPEG_PROPERTIES* props) {
    BYTE_SOURCE* source = &props->source;
    uint32_t length = 0;
    if (read_be16(source, &length) != STATUS_SUCCESS || length < 2) return STATUS_SUCCESS;
    const uint32_t n = length - 2;
    if (n <= 13) return pass_over(source, n);

    Body body;
    if (read_segment_bytes(source, n, &body.bytes, &body.copy, &body.copied) != STATUS_SUCCESS)
        return STATUS_DATA_ERROR;
    if (props->awaiting_frame == 0) return STATUS_SUCCESS;  // only headers before the frame count
    const uint8_t* b = body.bytes;

    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t header = 0;
    if (starts_with(b, "JFIF", 5)) {
        props->jfif_present = 1;
        props->jfif_version = be16_at(b + 5);
        props->jfif_units = b[7];
        props->jfif_x_density = be16_at(b + 8);
        props->jfif_y_density = be16_at(b + 10);
        width = b[12];
        height = b[13];
        header = 14;
    } else if (starts_with(b, "JFXX", 5)) {
        const uint8_t code = b[5];
        if (code == 0x13) {
            width = b[6];
            height = b[7];
            header = 8;
        } else if (code == 0x11) {
            width = b[6];
            height = b[7];
            if (is_thumbnail_request(props) && n >= width * height + 776) {
                props->thumb_width = width;
                props->thumb_height = height;
                return write_palette_thumbnail(props, b, width, height);
            }
            return STATUS_SUCCESS;
        } else {
            return STATUS_SUCCESS;  // JPEG-coded thumbnails are not decoded
        }
    } else {
        return STATUS_SUCCESS;
    }

    if (width != 0 && height != 0) {
        props->thumb_width = width;
        props->thumb_height = height;
        if (is_thumbnail_request(props) && n >= header + height * 3 * width)
            return write_rgb_thumbnail(props, b + header, width, height);
    }
    return STATUS_SUCCESS;
}

JPEG_STATUS read_app14(JPEG_PROPERTIES* props) {
    BYTE_SOURCE* source = &props->source;
    uint32_t length = 0;
    const JPEG_STATUS status = read_be16(source, &length);
    if (status != STATUS_SUCCESS) return status;
    if (length < 2) return STATUS_DATA_ERROR;
    const uint32_t n = length - 2;
    if (n < 12) return pass_over(source, n);

    Body body;
    if (read_segment_bytes(source, n, &body.bytes, &body.copy, &body.copied) != STATUS_SUCCESS)
        return STATUS_DATA_ERROR;
    const uint8_t* b = body.bytes;
    if (starts_with(b, "Adobe", 5)) {
        props->adobe_version = be16_at(b + 5);
        props->adobe_flags0 = be16_at(b + 7);
        props->adobe_flags1 = be16_at(b + 9);
        props->adobe_transform = b[11];
        props->adobe_present = 1;
    }
    return STATUS_SUCCESS;
}

JPEG_STATUS read_com(JPEG_PROPERTIES* props) {
    BYTE_SOURCE* source = &props->source;
    uint32_t length = 0;
    const JPEG_STATUS status = read_be16(source, &length);
    if (status != STATUS_SUCCESS) return status;
    if (length < 2) return STATUS_DATA_ERROR;
    const uint32_t n = length - 2;
    Body body;
    if (read_segment_bytes(source, n, &body.bytes, &body.copy, &body.copied) != STATUS_SUCCESS)
        return STATUS_DATA_ERROR;
    if (props->awaiting_frame == 0 || props->jpeg_comment == nullptr) return STATUS_SUCCESS;

    // The capacity comes in, the comment's length goes out; a comment that does
    // not fit is cut to the capacity and the request fails, telling the length
    // needed. No terminating zero is written.
    const uint32_t capacity = props->jpeg_comment_size;
    // The buffer is the caller's: a fault while writing it is a status, not a crash.
    if (n > capacity) {
        copy_guarded(props->jpeg_comment, body.bytes, capacity);
        props->jpeg_comment_size = n;
        return STATUS_COMMENT_BUFFER_ERROR;
    }
    if (!copy_guarded(props->jpeg_comment, body.bytes, n)) return STATUS_COMMENT_BUFFER_ERROR;
    props->jpeg_comment_size = n;
    return STATUS_SUCCESS;
}

}  // namespace vantorel
