// libjpeg-turbo wrappers for the tests. Every libjpeg call runs inside a routine
// that holds only plain values in its own frame, so the jump out of libjpeg's
// error handler skips no destructor.
#include "support/reference_jpeg.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include <jpeglib.h>
#include <jerror.h>

namespace vantorel::test {

namespace {

struct ErrorJump {
    jpeg_error_mgr manager;
    jmp_buf jump;
    int code;
    char message[JMSG_LENGTH_MAX];
};

void on_error_exit(j_common_ptr common) {
    auto* error = reinterpret_cast<ErrorJump*>(common->err);
    error->code = common->err->msg_code;
    (*common->err->format_message)(common, error->message);
    longjmp(error->jump, 1);
}

void on_output_message(j_common_ptr) {}  // warnings stay quiet

void install_errors(ErrorJump* error) {
    jpeg_std_error(&error->manager);
    error->manager.error_exit = on_error_exit;
    error->manager.output_message = on_output_message;
    error->code = 0;
    error->message[0] = '\0';
}

struct EncodeState {
    jpeg_compress_struct cinfo;
    ErrorJump error;
    unsigned char* tables = nullptr;
    unsigned long tables_size = 0;
    unsigned char* image = nullptr;
    unsigned long image_size = 0;
};

J_COLOR_SPACE input_space(RefColor color) {
    switch (color) {
    case RefColor::kGray: return JCS_GRAYSCALE;
    case RefColor::kCMYK:
    case RefColor::kYCCK: return JCS_CMYK;
    default: return JCS_RGB;
    }
}

J_COLOR_SPACE stream_space(RefColor color) {
    switch (color) {
    case RefColor::kGray: return JCS_GRAYSCALE;
    case RefColor::kRGB: return JCS_RGB;
    case RefColor::kCMYK: return JCS_CMYK;
    case RefColor::kYCCK: return JCS_YCCK;
    default: return JCS_YCbCr;
    }
}

bool encode_c(EncodeState* state, const RawImage* source, const RefEncodeOptions* options,
              const jpeg_scan_info* scans, int scan_count, bool abbreviated) {
    jpeg_compress_struct* cinfo = &state->cinfo;
    install_errors(&state->error);
    cinfo->err = &state->error.manager;
    if (setjmp(state->error.jump)) {
        jpeg_destroy_compress(cinfo);
        return false;
    }
    jpeg_create_compress(cinfo);
    cinfo->image_width = static_cast<JDIMENSION>(source->width);
    cinfo->image_height = static_cast<JDIMENSION>(source->height);
    cinfo->input_components = source->channels;
    cinfo->in_color_space = input_space(options->color);
    jpeg_set_defaults(cinfo);
    jpeg_set_colorspace(cinfo, stream_space(options->color));
    for (int i = 0; i < cinfo->num_components && i < 4; ++i) {
        cinfo->comp_info[i].h_samp_factor = options->h_samp[i];
        cinfo->comp_info[i].v_samp_factor = options->v_samp[i];
    }
    jpeg_set_quality(cinfo, options->quality, TRUE);
    cinfo->dct_method = JDCT_ISLOW;
    cinfo->optimize_coding = options->optimize ? TRUE : FALSE;
    if (options->restart_blocks > 0) {
        cinfo->restart_interval = static_cast<unsigned int>(options->restart_blocks);
    } else if (options->restart_rows > 0) {
        cinfo->restart_in_rows = options->restart_rows;
    }
    if (scan_count > 0) {
        cinfo->scan_info = scans;
        cinfo->num_scans = scan_count;
    } else if (options->progressive) {
        jpeg_simple_progression(cinfo);
    }
    if (abbreviated) {
        jpeg_mem_dest(cinfo, &state->tables, &state->tables_size);
        jpeg_write_tables(cinfo);
        jpeg_suppress_tables(cinfo, TRUE);
    }
    jpeg_mem_dest(cinfo, &state->image, &state->image_size);
    jpeg_start_compress(cinfo, abbreviated ? FALSE : TRUE);
    const size_t row_bytes = static_cast<size_t>(source->width) * source->channels;
    while (cinfo->next_scanline < cinfo->image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(source->pixels.data() + cinfo->next_scanline * row_bytes);
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
    jpeg_destroy_compress(cinfo);
    return true;
}

bool run_encode(const RawImage& source, const RefEncodeOptions& options, bool abbreviated,
                std::vector<uint8_t>* tables, std::vector<uint8_t>* image, std::string* error) {
    int expected = options.color == RefColor::kGray ? 1
                   : (options.color == RefColor::kCMYK || options.color == RefColor::kYCCK) ? 4 : 3;
    if (source.channels != expected) {
        *error = "source channel count does not suit the colour space";
        return false;
    }
    std::vector<jpeg_scan_info> scans;
    for (const RefScan& s : options.scans) {
        jpeg_scan_info info{};
        info.comps_in_scan = s.components;
        for (int i = 0; i < 4; ++i) info.component_index[i] = s.index[i];
        info.Ss = s.ss;
        info.Se = s.se;
        info.Ah = s.ah;
        info.Al = s.al;
        scans.push_back(info);
    }
    if (scans.empty() && options.separate_scans) {
        for (int c = 0; c < expected; ++c) {
            jpeg_scan_info info{};
            info.comps_in_scan = 1;
            info.component_index[0] = c;
            info.Se = 63;
            scans.push_back(info);
        }
    }
    auto state = std::make_unique<EncodeState>();
    bool ok = encode_c(state.get(), &source, &options, scans.empty() ? nullptr : scans.data(),
                       static_cast<int>(scans.size()), abbreviated);
    if (ok) {
        image->assign(state->image, state->image + state->image_size);
        if (tables != nullptr) tables->assign(state->tables, state->tables + state->tables_size);
    } else {
        *error = state->error.message;
    }
    std::free(state->tables);
    std::free(state->image);
    return ok;
}

struct DecodeState {
    jpeg_decompress_struct cinfo;
    ErrorJump error;
};

bool decode_c(DecodeState* state, const uint8_t* data, size_t size, const RefDecodeOptions* options,
              RawImage* out, int* warnings) {
    jpeg_decompress_struct* cinfo = &state->cinfo;
    install_errors(&state->error);
    cinfo->err = &state->error.manager;
    if (setjmp(state->error.jump)) {
        jpeg_destroy_decompress(cinfo);
        return false;
    }
    jpeg_create_decompress(cinfo);
    jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(cinfo, TRUE);
    cinfo->dct_method = JDCT_ISLOW;
    cinfo->do_fancy_upsampling = options->fancy ? TRUE : FALSE;
    cinfo->do_block_smoothing = FALSE;
    cinfo->scale_num = 1;
    cinfo->scale_denom = static_cast<unsigned int>(options->scale_denom);
    jpeg_start_decompress(cinfo);
    out->width = static_cast<int>(cinfo->output_width);
    out->height = static_cast<int>(cinfo->output_height);
    out->channels = cinfo->output_components;
    const size_t row_bytes = static_cast<size_t>(out->width) * out->channels;
    out->pixels.assign(row_bytes * out->height, 0);
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = out->pixels.data() + cinfo->output_scanline * row_bytes;
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_decompress(cinfo);
    *warnings = static_cast<int>(state->error.manager.num_warnings);
    jpeg_destroy_decompress(cinfo);
    return true;
}

bool header_c(DecodeState* state, const uint8_t* data, size_t size, RefHeader* header) {
    jpeg_decompress_struct* cinfo = &state->cinfo;
    install_errors(&state->error);
    cinfo->err = &state->error.manager;
    if (setjmp(state->error.jump)) {
        jpeg_destroy_decompress(cinfo);
        return false;
    }
    jpeg_create_decompress(cinfo);
    jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(cinfo, TRUE);
    header->width = static_cast<int>(cinfo->image_width);
    header->height = static_cast<int>(cinfo->image_height);
    header->components = cinfo->num_components;
    header->arithmetic = cinfo->arith_code != 0;
    header->progressive = cinfo->progressive_mode != 0;
    header->warnings = static_cast<int>(state->error.manager.num_warnings);
    switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE: header->color = RefColor::kGray; break;
    case JCS_RGB: header->color = RefColor::kRGB; break;
    case JCS_CMYK: header->color = RefColor::kCMYK; break;
    case JCS_YCCK: header->color = RefColor::kYCCK; break;
    default: header->color = RefColor::kYCbCr; break;
    }
    jpeg_destroy_decompress(cinfo);
    return true;
}

}  // namespace

void set_sampling(RefEncodeOptions* options, int h, int v) {
    for (int i = 0; i < 4; ++i) {
        options->h_samp[i] = 1;
        options->v_samp[i] = 1;
    }
    options->h_samp[0] = options->h_samp[3] = h;
    options->v_samp[0] = options->v_samp[3] = v;
}

bool ref_encode(const RawImage& source, const RefEncodeOptions& options, std::vector<uint8_t>* out,
                std::string* error) {
    return run_encode(source, options, false, nullptr, out, error);
}

bool ref_encode_abbreviated(const RawImage& source, const RefEncodeOptions& options,
                            std::vector<uint8_t>* tables, std::vector<uint8_t>* image, std::string* error) {
    return run_encode(source, options, true, tables, image, error);
}

bool ref_decode(const uint8_t* data, size_t size, const RefDecodeOptions& options, RawImage* out,
                std::string* error, int* warnings) {
    if (data == nullptr || size == 0) {
        *error = "empty stream";
        return false;
    }
    auto state = std::make_unique<DecodeState>();
    int warning_count = 0;
    bool ok = decode_c(state.get(), data, size, &options, out, &warning_count);
    if (warnings != nullptr) *warnings = warning_count;
    if (ok) return true;
    *error = state->error.message;
    return false;
}

RefHeader ref_read_header(const uint8_t* data, size_t size) {
    RefHeader header;
    if (data == nullptr || size == 0) {
        header.error = "empty stream";
        return header;
    }
    auto state = std::make_unique<DecodeState>();
    header.ok = header_c(state.get(), data, size, &header);
    if (!header.ok) {
        header.error = state->error.message;
        header.bad_precision = state->error.code == JERR_BAD_PRECISION;
        header.too_big = state->error.code == JERR_IMAGE_TOO_BIG;
    }
    return header;
}

std::vector<uint8_t> read_file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool load_ppm(const std::string& path, RawImage* image) {
    std::vector<uint8_t> bytes = read_file_bytes(path);
    size_t pos = 0;
    auto next_number = [&](int* value) {
        while (pos < bytes.size()) {
            if (bytes[pos] == '#') {
                while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
            } else if (std::isspace(bytes[pos])) {
                ++pos;
            } else {
                break;
            }
        }
        long v = 0;
        size_t start = pos;
        while (pos < bytes.size() && bytes[pos] >= '0' && bytes[pos] <= '9' && v < 1000000) v = v * 10 + (bytes[pos++] - '0');
        *value = static_cast<int>(v);
        return pos > start;
    };
    if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '6') return false;
    pos = 2;
    int width = 0, height = 0, maxval = 0;
    if (!next_number(&width) || !next_number(&height) || !next_number(&maxval) || maxval != 255) return false;
    ++pos;  // the single whitespace byte after the header
    size_t needed = static_cast<size_t>(width) * height * 3;
    if (width <= 0 || height <= 0 || pos + needed > bytes.size()) return false;
    image->width = width;
    image->height = height;
    image->channels = 3;
    image->pixels.assign(bytes.begin() + static_cast<long>(pos), bytes.begin() + static_cast<long>(pos + needed));
    return true;
}

RawImage crop_image(const RawImage& source, int x0, int y0, int width, int height, int channels) {
    RawImage out;
    out.width = width;
    out.height = height;
    out.channels = channels;
    out.pixels.resize(static_cast<size_t>(width) * height * channels);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int sx = (x0 + x) % source.width;
            int sy = (y0 + y) % source.height;
            const uint8_t* s = &source.pixels[(static_cast<size_t>(sy) * source.width + sx) * source.channels];
            uint8_t* d = &out.pixels[(static_cast<size_t>(y) * width + x) * channels];
            if (channels == 1) {
                d[0] = s[1];
            } else {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
                if (channels == 4) {
                    d[3] = static_cast<uint8_t>(64 + (x * 127 / std::max(width - 1, 1) + y * 64 / std::max(height - 1, 1)));
                }
            }
        }
    }
    return out;
}

RawImage resize_image(const RawImage& source, int width, int height) {
    RawImage out;
    out.width = width;
    out.height = height;
    out.channels = source.channels;
    out.pixels.resize(static_cast<size_t>(width) * height * source.channels);
    const int ch = source.channels;
    for (int y = 0; y < height; ++y) {
        double fy = (y + 0.5) * source.height / height - 0.5;
        int y0 = std::clamp(static_cast<int>(std::floor(fy)), 0, source.height - 1);
        int y1 = std::min(y0 + 1, source.height - 1);
        double wy = std::clamp(fy - y0, 0.0, 1.0);
        for (int x = 0; x < width; ++x) {
            double fx = (x + 0.5) * source.width / width - 0.5;
            int x0 = std::clamp(static_cast<int>(std::floor(fx)), 0, source.width - 1);
            int x1 = std::min(x0 + 1, source.width - 1);
            double wx = std::clamp(fx - x0, 0.0, 1.0);
            for (int c = 0; c < ch; ++c) {
                auto at = [&](int xx, int yy) {
                    return static_cast<double>(source.pixels[(static_cast<size_t>(yy) * source.width + xx) * ch + c]);
                };
                double v = (at(x0, y0) * (1 - wx) + at(x1, y0) * wx) * (1 - wy) +
                           (at(x0, y1) * (1 - wx) + at(x1, y1) * wx) * wy;
                out.pixels[(static_cast<size_t>(y) * width + x) * ch + c] = static_cast<uint8_t>(std::lround(v));
            }
        }
    }
    return out;
}

ImageDiff compare_images(const RawImage& a, const RawImage& b) {
    ImageDiff diff;
    diff.same_shape = a.width == b.width && a.height == b.height && a.channels == b.channels &&
                      a.pixels.size() == b.pixels.size();
    if (!diff.same_shape) return diff;
    double sum = 0.0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        int d = std::abs(static_cast<int>(a.pixels[i]) - static_cast<int>(b.pixels[i]));
        diff.max_diff = std::max(diff.max_diff, d);
        sum += static_cast<double>(d) * d;
    }
    double mse = a.pixels.empty() ? 0.0 : sum / static_cast<double>(a.pixels.size());
    diff.psnr = mse == 0.0 ? 99.0 : std::min(99.0, 10.0 * std::log10(255.0 * 255.0 / mse));
    return diff;
}

bool load_test_photo(RawImage* image) {
    return load_ppm(std::string(VANTOREL_CORPUS_DIR) + "/libjpeg-turbo/testorig.ppm", image);
}

}  // namespace vantorel::test
