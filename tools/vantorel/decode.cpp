// The decode path shared by the decode and bench commands: option parsing, the
// parameters request, the choice of DIB layout and the (possibly stepwise) image
// request.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tool.h"

namespace vantorel::tool {

JPEG_STATUS Record::open() {
    JPEG_STATUS status = open_codec(record_.get());
    opened_ = status == STATUS_SUCCESS;
    return status;
}

JPEG_STATUS Record::close() {
    if (!opened_) return STATUS_SUCCESS;
    opened_ = false;
    return close_codec(record_.get());
}

bool load_input(const std::string& path, bool memory, Input* input, std::string* error) {
    input->path = path;
    input->memory = memory;
    input->bytes.clear();
    if (!memory) return true;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    uint8_t chunk[65536];
    size_t got = 0;
    bool too_big = false;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        // The record holds the buffer size in a signed 32-bit field.
        if (input->bytes.size() + got > static_cast<size_t>(INT32_MAX)) {
            too_big = true;
            break;
        }
        input->bytes.insert(input->bytes.end(), chunk, chunk + got);
    }
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (too_big || failed) {
        *error = too_big ? path + " is too large for a memory request" : "cannot read " + path;
        return false;
    }
    return true;
}

void attach_input(Record& record, const Input& input) {
    if (input.memory) {
        record->jpeg_buffer = input.bytes.data();
        record->jpeg_buffer_size = static_cast<int32_t>(input.bytes.size());
    } else {
        record->jpeg_path = input.path.c_str();
    }
}

namespace {

bool parse_int(const char* text, long low, long high, int* value) {
    if (text == nullptr || *text == '\0') return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == nullptr || *end != '\0' || v < low || v > high) return false;
    *value = static_cast<int>(v);
    return true;
}

bool parse_roi(const char* text, int roi[4]) {
    if (text == nullptr) return false;
    int values[4];
    const char* p = text;
    for (int i = 0; i < 4; ++i) {
        char* end = nullptr;
        errno = 0;
        long v = std::strtol(p, &end, 10);
        if (errno != 0 || end == p || v < 0 || v > 65535) return false;
        values[i] = static_cast<int>(v);
        if (i < 3) {
            if (*end != ',') return false;
            p = end + 1;
        } else if (*end != '\0') {
            return false;
        }
    }
    for (int i = 0; i < 4; ++i) roi[i] = values[i];
    return true;
}

const char* value_of(int argc, char** argv, int* index) {
    if (*index + 1 >= argc) return nullptr;
    ++*index;
    return argv[*index];
}

}  // namespace

bool parse_decode_option(int argc, char** argv, int* index, bool bench, DecodeOptions* options,
                         std::string* error) {
    std::string name = argv[*index];
    const char* value = nullptr;
    if (name == "--layout") {
        value = value_of(argc, argv, index);
        static const char* const layouts[] = {"gray", "rgb", "bgr", "quad", "ycbcr", "other"};
        for (const char* layout : layouts) {
            if (value != nullptr && std::strcmp(value, layout) == 0) {
                options->layout = layout;
                return true;
            }
        }
        *error = "--layout takes gray, rgb, bgr, quad, ycbcr or other";
        return false;
    }
    if (name == "--channels") {
        if (parse_int(value_of(argc, argv, index), 1, 255, &options->channels)) return true;
        *error = "--channels takes a count from 1 to 255";
        return false;
    }
    if (name == "--scale") {
        int scale = 0;
        if (parse_int(value_of(argc, argv, index), 1, 8, &scale) &&
            (scale == 1 || scale == 2 || scale == 4 || scale == 8)) {
            options->scale = scale;
            return true;
        }
        *error = "--scale takes 1, 2, 4 or 8";
        return false;
    }
    if (name == "--smooth") {
        options->smooth = true;
        return true;
    }
    if (name == "--idct") {
        value = value_of(argc, argv, index);
        if (value != nullptr && std::strcmp(value, "direct") == 0) {
            options->idct = 1;
            return true;
        }
        if (value != nullptr && std::strcmp(value, "scaled") == 0) {
            options->idct = 0;
            return true;
        }
        *error = "--idct takes direct or scaled";
        return false;
    }
    if (name == "--cpu") {
        if (parse_int(value_of(argc, argv, index), 0, 1000, &options->cpu)) return true;
        *error = "--cpu takes a processor variant index";
        return false;
    }
    if (name == "--seconds" && bench) {
        value = value_of(argc, argv, index);
        char* end = nullptr;
        double seconds = value != nullptr ? std::strtod(value, &end) : 0.0;
        if (value != nullptr && end != value && *end == '\0' && seconds > 0.0 && seconds <= 3600.0) {
            options->seconds = seconds;
            return true;
        }
        *error = "--seconds takes a positive duration";
        return false;
    }
    if (!bench) {
        if (name == "--roi") {
            if (parse_roi(value_of(argc, argv, index), options->roi)) {
                options->has_roi = true;
                return true;
            }
            *error = "--roi takes L,T,R,B";
            return false;
        }
        if (name == "--memory") {
            options->memory = true;
            return true;
        }
        if (name == "--bottom-up") {
            options->bottom_up = true;
            return true;
        }
        if (name == "--pad") {
            if (parse_int(value_of(argc, argv, index), 0, 4096, &options->pad)) return true;
            *error = "--pad takes a byte count from 0 to 4096";
            return false;
        }
        if (name == "--step") {
            options->step = true;
            return true;
        }
        if (name == "--frames") {
            value = value_of(argc, argv, index);
            if (value != nullptr && *value != '\0') {
                options->frames_dir = value;
                return true;
            }
            *error = "--frames takes a folder";
            return false;
        }
    }
    *error = "unknown option " + name;
    return false;
}

bool check_decode_options(const DecodeOptions& options, std::string* error) {
    if (options.has_roi && (options.roi[2] <= options.roi[0] || options.roi[3] <= options.roi[1])) {
        *error = "--roi needs L < R and T < B";
        return false;
    }
    if (!options.frames_dir.empty() && !options.step) {
        *error = "--frames needs --step";
        return false;
    }
    return true;
}

void apply_cpu_choice(const DecodeOptions& options) {
    if (options.cpu < 0) return;
    char text[16];
    std::snprintf(text, sizeof text, "%d", options.cpu);
    setenv("VANTOREL_USECPU", text, 1);
}

JPEG_STATUS read_parameters(Record& record, const Input& input, StreamFacts* facts) {
    attach_input(record, input);
    JPEG_STATUS status = read_image(record.get(), input.memory ? READ_PARAMS_BUFFER : READ_PARAMS_FILE);
    if (status < 0) return status;
    facts->width = record->jpeg_width;
    facts->height = record->jpeg_height;
    facts->components = record->jpeg_channels;
    // The parameters request settles the colour from the JFIF and Adobe segments.
    // What it leaves open is chosen the way the stream's component count suggests:
    // four components without an Adobe segment are taken as plain four-channel data,
    // any count other than 1, 3 and 4 as data without a colour meaning.
    COLOR_SPACE reported = record->jpeg_color;
    switch (facts->components) {
    case 1: facts->color = CS_GRAY; break;
    case 3: facts->color = (reported == CS_RGB || reported == CS_YCBCR) ? reported : CS_YCBCR; break;
    case 4: facts->color = (reported == CS_QUAD || reported == CS_YCC_QUAD) ? reported : CS_QUAD; break;
    default: facts->color = CS_OTHER; break;
    }
    return status;
}

namespace {

COLOR_SPACE layout_code(const std::string& layout) {
    if (layout == "gray") return CS_GRAY;
    if (layout == "rgb") return CS_RGB;
    if (layout == "bgr") return CS_BGR;
    if (layout == "quad") return CS_QUAD;
    if (layout == "ycbcr") return CS_YCBCR;
    return CS_OTHER;
}

int usual_channels(COLOR_SPACE layout, int components) {
    switch (layout) {
    case CS_GRAY: return 1;
    case CS_RGB:
    case CS_BGR:
    case CS_YCBCR: return 3;
    case CS_QUAD: return 4;
    default: return components < 1 ? 1 : (components > 255 ? 255 : components);
    }
}

}  // namespace

IO_MODE prepare_image_request(Record& record, const StreamFacts& facts, const DecodeOptions& options,
                              Picture* picture, std::string* error) {
    COLOR_SPACE layout;
    if (!options.layout.empty()) {
        layout = layout_code(options.layout);
    } else {
        switch (facts.components) {
        case 1: layout = CS_GRAY; break;
        case 3: layout = CS_RGB; break;
        case 4: layout = CS_QUAD; break;
        default: layout = CS_OTHER; break;
        }
    }
    int channels = options.channels > 0 ? options.channels : usual_channels(layout, facts.components);

    if (facts.width <= 0 || facts.height <= 0) {
        *error = "the stream reports no picture size";
        return -1;
    }
    int full_width = (facts.width + options.scale - 1) / options.scale;
    int full_height = (facts.height + options.scale - 1) / options.scale;
    int width = full_width;
    int height = full_height;
    if (options.has_roi) {
        if (options.roi[2] > full_width || options.roi[3] > full_height) {
            char text[128];
            std::snprintf(text, sizeof text, "--roi lies outside the %dx%d picture", full_width, full_height);
            *error = text;
            return -1;
        }
        width = options.roi[2] - options.roi[0];
        height = options.roi[3] - options.roi[1];
    }

    // A header may announce up to 65535 x 65535 pixels in a few bytes; the tool
    // refuses pictures it could not reasonably hold rather than exhaust memory.
    constexpr unsigned long long kLargestDib = 1ull << 29;
    const unsigned long long dib_bytes =
        (static_cast<unsigned long long>(width) * channels + options.pad) * static_cast<unsigned long long>(height);
    if (dib_bytes > kLargestDib) {
        char text[160];
        std::snprintf(text, sizeof text, "a %dx%d picture of %d channels is larger than this tool decodes (512 MiB)",
                      width, height, channels);
        *error = text;
        return -1;
    }

    picture->width = width;
    picture->height = height;
    picture->channels = channels;
    picture->row_pad = options.pad;
    picture->bottom_up = options.bottom_up;
    picture->layout = layout;
    picture->stream_color = facts.color;
    // A picture decoded again into the same shape (the bench's rounds) keeps its
    // buffer as it is; clearing it every time would be timed with the decode.
    const size_t bytes = picture->stride() * static_cast<size_t>(height);
    if (picture->pixels.size() != bytes) picture->pixels.assign(bytes, 0);

    record->dib_pixels = picture->pixels.data();
    record->dib_width = width;
    record->dib_height = options.bottom_up ? -height : height;
    record->dib_row_pad = options.pad;
    record->dib_channels = channels;
    record->dib_color = layout;
    record->dib_subsampling = 0;
    record->jpeg_color = facts.color;
    record->jpeg_channels = facts.components;
    JPEG_PROPERTIES& props = record->props;
    props.roi_left = options.has_roi ? options.roi[0] : 0;
    props.roi_top = options.has_roi ? options.roi[1] : 0;
    props.roi_right = options.has_roi ? options.roi[2] : 0;
    props.roi_bottom = options.has_roi ? options.roi[3] : 0;
    props.upsample_filter = options.smooth ? 1 : 0;
    if (options.idct >= 0) props.idct_family = options.idct;

    bool memory = record->jpeg_buffer != nullptr;
    switch (options.scale) {
    case 2: return memory ? READ_IMAGE_HALF_BUFFER : READ_IMAGE_HALF_FILE;
    case 4: return memory ? READ_IMAGE_QUARTER_BUFFER : READ_IMAGE_QUARTER_FILE;
    case 8: return memory ? READ_IMAGE_EIGHTH_BUFFER : READ_IMAGE_EIGHTH_FILE;
    default: return memory ? READ_IMAGE_BUFFER : READ_IMAGE_FILE;
    }
}

JPEG_STATUS decode_picture(const Input& input, const DecodeOptions& options, Picture* picture,
                           FrameSink on_frame, void* context, std::string* error) {
    Record record;
    JPEG_STATUS status = record.open();
    if (status < 0) return status;
    StreamFacts facts;
    status = read_parameters(record, input, &facts);
    if (status < 0) return status;
    // The image request follows on the same record: for a file it continues at the
    // scan where the parameters request stopped, for memory it reads from the start.
    IO_MODE kind = prepare_image_request(record, facts, options, picture, error);
    if (kind < 0) return STATUS_INVALID_PROPERTIES;

    // An image arrives in at most one read per MCU per scan; a generous ceiling on the
    // number of reads keeps a decoder that never finishes from holding the tool forever.
    const long long mcus = (static_cast<long long>(facts.width) / 8 + 2) * (facts.height / 8 + 2);
    const long long read_limit = options.step ? mcus * 80 + 1000 : 1000;
    int frame = 0;
    for (long long reads = 0;; ++reads) {
        if (reads >= read_limit) {
            *error = "the decoder did not finish the picture";
            return STATUS_INVALID_PROPERTIES;
        }
        if (options.step) {
            record->props.interrupt_request = 1;
            // An interrupted read reports the extent it reached in the region fields;
            // each further read must ask for the caller's region again.
            record->props.roi_left = options.has_roi ? options.roi[0] : 0;
            record->props.roi_top = options.has_roi ? options.roi[1] : 0;
            record->props.roi_right = options.has_roi ? options.roi[2] : 0;
            record->props.roi_bottom = options.has_roi ? options.roi[3] : 0;
        }
        status = read_image(record.get(), kind);
        if (status != STATUS_INTERRUPT_SUCCESS) break;
        if (on_frame != nullptr && !on_frame(*picture, frame, context)) {
            *error = "cannot write frame";
            return STATUS_INVALID_PROPERTIES;
        }
        ++frame;
    }
    if (status < 0) return status;
    JPEG_STATUS closing = record.close();
    return closing < 0 ? closing : status;
}

const char* color_name(COLOR_SPACE color) {
    switch (color) {
    case CS_RGB: return "CS_RGB";
    case CS_BGR: return "CS_BGR";
    case CS_YCBCR: return "CS_YCBCR";
    case CS_GRAY: return "CS_GRAY";
    case CS_QUAD: return "CS_QUAD";
    case CS_YCC_QUAD: return "CS_YCC_QUAD";
    case CS_OTHER: return "CS_OTHER";
    default: return "unknown";
    }
}

const char* subsampling_name(SUBSAMPLING subsampling) {
    switch (subsampling) {
    case SUBSAMPLE_NONE: return "SUBSAMPLE_NONE";
    case SUBSAMPLE_2X2: return "SUBSAMPLE_2X2";
    case SUBSAMPLE_2X1: return "SUBSAMPLE_2X1";
    case SUBSAMPLE_QUAD_2X2: return "SUBSAMPLE_QUAD_2X2";
    case SUBSAMPLE_QUAD_2X1: return "SUBSAMPLE_QUAD_2X1";
    case SUBSAMPLE_OTHER: return "SUBSAMPLE_OTHER";
    default: return "unknown";
    }
}

}  // namespace vantorel::tool
