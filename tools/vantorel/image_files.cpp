// Writing a decoded DIB to a file: the Netpbm family keeps the DIB's bytes exactly
// as the codec left them (so a layout can be inspected byte for byte); BMP and PNG
// turn the layout into the picture a person would expect to see.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "tool.h"

#ifdef VANTOREL_HAVE_PNG
#include <png.h>
#endif

namespace vantorel::tool {

namespace {

uint8_t clamp_byte(int value) { return static_cast<uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value)); }

// Full-range YCbCr to RGB with the usual weights; only used to show a YCbCr DIB.
void ycc_to_rgb(int y, int cb, int cr, uint8_t* out) {
    int r = y + ((91881 * (cr - 128) + 32768) >> 16);
    int g = y - ((22554 * (cb - 128) + 46802 * (cr - 128) - 32768) >> 16);
    int b = y + ((116130 * (cb - 128) + 32768) >> 16);
    out[0] = clamp_byte(r);
    out[1] = clamp_byte(g);
    out[2] = clamp_byte(b);
}

class OutputFile {
public:
    explicit OutputFile(const std::string& path) : file_(std::fopen(path.c_str(), "wb")) {}
    ~OutputFile() {
        if (file_ != nullptr) std::fclose(file_);
    }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    bool is_open() const { return file_ != nullptr; }
    FILE* get() { return file_; }
    bool write(const void* data, size_t size) { return size == 0 || std::fwrite(data, 1, size, file_) == size; }
    // Flushes and closes; false when any write failed.
    bool finish() {
        bool ok = std::fflush(file_) == 0 && std::ferror(file_) == 0;
        ok = std::fclose(file_) == 0 && ok;
        file_ = nullptr;
        return ok;
    }

private:
    FILE* file_;
};

std::string lower_extension(const std::string& path) {
    size_t dot = path.find_last_of('.');
    size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

void put_le16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put_le32(std::vector<uint8_t>& out, uint32_t v) {
    put_le16(out, v & 0xFFFF);
    put_le16(out, v >> 16);
}

}  // namespace

std::vector<uint8_t> picture_to_rgb(const Picture& picture, bool* grey) {
    const int w = picture.width;
    const int h = picture.height;
    const int ch = picture.channels;
    bool one_channel = ch == 1;
    bool is_grey = one_channel || (ch == 2 && picture.layout != CS_YCBCR);
    *grey = is_grey;
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * (is_grey ? 1 : 3));
    const bool cmyk = picture.layout == CS_QUAD &&
                      (picture.stream_color == CS_QUAD || picture.stream_color == CS_YCC_QUAD);
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = picture.row(y);
        uint8_t* dst = out.data() + static_cast<size_t>(y) * w * (is_grey ? 1 : 3);
        for (int x = 0; x < w; ++x) {
            const uint8_t* px = row + static_cast<size_t>(x) * ch;
            if (is_grey) {
                dst[x] = px[0];
                continue;
            }
            uint8_t* rgb = dst + static_cast<size_t>(x) * 3;
            if (picture.layout == CS_YCBCR && ch == 2) {
                // Pixel pairs Y0 Cb Y1 Cr; a lone last pixel has no Cr byte of its own.
                size_t row_bytes = static_cast<size_t>(w) * 2;
                size_t base = static_cast<size_t>(x & ~1) * 2;
                int cb = row[base + 1];
                int cr = base + 3 < row_bytes ? row[base + 3] : 128;
                ycc_to_rgb(px[0], cb, cr, rgb);
            } else if (picture.layout == CS_YCBCR) {
                ycc_to_rgb(px[0], px[1], px[2], rgb);
            } else if (picture.layout == CS_BGR) {
                rgb[0] = px[2];
                rgb[1] = px[1];
                rgb[2] = px[0];
            } else if (cmyk && ch >= 4) {
                // Four-channel streams hold ink amounts stored inverted, as the usual
                // writers of such files do: 255 means no ink.
                for (int i = 0; i < 3; ++i) rgb[i] = static_cast<uint8_t>((px[i] * px[3] + 127) / 255);
            } else if (picture.layout == CS_GRAY) {
                rgb[0] = rgb[1] = rgb[2] = px[0];
            } else {
                rgb[0] = px[0];
                rgb[1] = px[1];
                rgb[2] = px[2];
            }
        }
    }
    return out;
}

bool write_netpbm(const std::string& path, const Picture& picture, std::string* error) {
    OutputFile file(path);
    if (!file.is_open()) {
        *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    char header[160];
    if (picture.channels == 3 || picture.channels == 1) {
        std::snprintf(header, sizeof header, "%s\n%d %d\n255\n", picture.channels == 3 ? "P6" : "P5",
                      picture.width, picture.height);
    } else {
        std::snprintf(header, sizeof header, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH %d\nMAXVAL 255\nENDHDR\n",
                      picture.width, picture.height, picture.channels);
    }
    bool ok = file.write(header, std::strlen(header));
    size_t row_bytes = static_cast<size_t>(picture.width) * picture.channels;
    for (int y = 0; ok && y < picture.height; ++y) ok = file.write(picture.row(y), row_bytes);
    if (!file.finish() || !ok) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

bool write_bmp(const std::string& path, const Picture& picture, std::string* error) {
    bool grey = false;
    std::vector<uint8_t> rgb = picture_to_rgb(picture, &grey);
    const int w = picture.width;
    const int h = picture.height;
    const size_t row_bytes = (static_cast<size_t>(w) * 3 + 3) & ~static_cast<size_t>(3);
    const size_t image_bytes = row_bytes * h;
    if (image_bytes > 0x7FFFFFFFu - 54) {
        *error = "picture too large for a bitmap file";
        return false;
    }
    std::vector<uint8_t> data;
    data.reserve(54 + image_bytes);
    data.push_back('B');
    data.push_back('M');
    put_le32(data, static_cast<uint32_t>(54 + image_bytes));
    put_le32(data, 0);
    put_le32(data, 54);
    put_le32(data, 40);
    put_le32(data, static_cast<uint32_t>(w));
    put_le32(data, static_cast<uint32_t>(h));  // positive: rows stored bottom-up
    put_le16(data, 1);
    put_le16(data, 24);
    put_le32(data, 0);
    put_le32(data, static_cast<uint32_t>(image_bytes));
    put_le32(data, 2835);  // 72 dots per inch
    put_le32(data, 2835);
    put_le32(data, 0);
    put_le32(data, 0);
    for (int y = h - 1; y >= 0; --y) {
        size_t start = data.size();
        for (int x = 0; x < w; ++x) {
            if (grey) {
                uint8_t g = rgb[static_cast<size_t>(y) * w + x];
                data.insert(data.end(), {g, g, g});
            } else {
                const uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
                data.insert(data.end(), {p[2], p[1], p[0]});
            }
        }
        data.resize(start + row_bytes, 0);
    }
    OutputFile file(path);
    if (!file.is_open()) {
        *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = file.write(data.data(), data.size());
    if (!file.finish() || !ok) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

#ifdef VANTOREL_HAVE_PNG
namespace {

// libpng reports failures by jumping back here; nothing with a destructor lives in
// this frame, so the jump skips no clean-up.
bool encode_png(FILE* file, const uint8_t* pixels, int width, int height, bool grey) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t row_bytes = static_cast<size_t>(width) * (grey ? 1 : 3);
    for (int y = 0; y < height; ++y) {
        png_write_row(png, const_cast<png_bytep>(pixels + static_cast<size_t>(y) * row_bytes));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace
#endif

bool write_png(const std::string& path, const Picture& picture, std::string* error) {
#ifdef VANTOREL_HAVE_PNG
    bool grey = false;
    std::vector<uint8_t> rgb = picture_to_rgb(picture, &grey);
    OutputFile file(path);
    if (!file.is_open()) {
        *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = encode_png(file.get(), rgb.data(), picture.width, picture.height, grey);
    if (!file.finish() || !ok) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
#else
    (void)picture;
    *error = "this build has no PNG support (libpng was not found): cannot write " + path;
    return false;
#endif
}

bool write_picture(const std::string& path, const Picture& picture, std::string* error) {
    std::string ext = lower_extension(path);
    if (ext == ".ppm" || ext == ".pgm" || ext == ".pam" || ext == ".pnm") return write_netpbm(path, picture, error);
    if (ext == ".bmp") return write_bmp(path, picture, error);
    if (ext == ".png") return write_png(path, picture, error);
    *error = "unknown output type for " + path + " (use .ppm, .pgm, .pam, .bmp or .png)";
    return false;
}

}  // namespace vantorel::tool
