// vantorel: inspect and decode JPEG files with the library's own codec.
//
//   vantorel info FILE [--memory]
//   vantorel thumbnail FILE OUT.ppm [--memory]
//   vantorel decode IN OUT [options]
//   vantorel bench FILE [options] [--seconds S]
//
// A failing codec request prints "error: <code> <message>" on stderr and ends with
// exit status 1; a misused command line ends with status 2.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "tool.h"

namespace vantorel::tool {
namespace {

const char kUsage[] =
    "usage:\n"
    "  vantorel info FILE [--memory]\n"
    "  vantorel thumbnail FILE OUT.ppm [--memory]\n"
    "  vantorel decode IN OUT.{ppm,pgm,pam,bmp,png} [--layout gray|rgb|bgr|quad|ycbcr|other]\n"
    "      [--channels N] [--scale 1|2|4|8] [--roi L,T,R,B] [--smooth] [--idct direct|scaled]\n"
    "      [--memory] [--bottom-up] [--pad N] [--cpu N] [--step [--frames DIR]]\n"
    "  vantorel bench FILE [--layout ...] [--channels N] [--scale S] [--smooth] [--idct ...]\n"
    "      [--cpu N] [--seconds S]\n";

int usage_error(const std::string& message) {
    if (!message.empty()) std::fprintf(stderr, "error: %s\n", message.c_str());
    std::fputs(kUsage, stderr);
    return 2;
}

int codec_error(JPEG_STATUS status) {
    std::fprintf(stderr, "error: %d %s\n", status, get_status_message(status));
    return 1;
}

int tool_error(const std::string& message) {
    std::fprintf(stderr, "error: %s\n", message.c_str());
    return 1;
}

// Comments are arbitrary bytes; show them on one line.
std::string escape_comment(const uint8_t* text, size_t size) {
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        unsigned char c = text[i];
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", c);
                out += hex;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out;
}

// Splits argv[first..] into positional arguments and options; --memory is the only
// option info and thumbnail take.
bool split_simple(int argc, char** argv, int first, std::vector<std::string>* positional, bool* memory,
                  std::string* error) {
    for (int i = first; i < argc; ++i) {
        if (std::strcmp(argv[i], "--memory") == 0) {
            *memory = true;
        } else if (argv[i][0] == '-' && argv[i][1] == '-') {
            *error = std::string("unknown option ") + argv[i];
            return false;
        } else {
            positional->push_back(argv[i]);
        }
    }
    return true;
}

int command_info(int argc, char** argv) {
    std::vector<std::string> args;
    bool memory = false;
    std::string error;
    if (!split_simple(argc, argv, 2, &args, &memory, &error)) return usage_error(error);
    if (args.size() != 1) return usage_error("info takes one file");
    Input input;
    if (!load_input(args[0], memory, &input, &error)) return tool_error(error);

    // A comment longer than the buffer fails the request and reports the length it
    // needs; the request is then made again, on a fresh record, with room for it.
    // The size field only changes when a comment is read, so a result equal to the
    // capacity is ambiguous (no comment, or one that fills the buffer exactly); one
    // more request with a byte more room settles it.
    std::vector<uint8_t> comment(256);
    bool settling = false;
    for (int attempt = 0;; ++attempt) {
        Record record;
        JPEG_STATUS status = record.open();
        if (status < 0) return codec_error(status);
        record->props.jpeg_comment = comment.data();
        record->props.jpeg_comment_size = static_cast<uint32_t>(comment.size());
        StreamFacts facts;
        status = read_parameters(record, input, &facts);
        const uint32_t reported = record->props.jpeg_comment_size;
        if (status == STATUS_COMMENT_BUFFER_ERROR && attempt < 3 && reported <= 65535) {
            comment.assign(std::max<size_t>(reported, comment.size() + 1), 0);
            continue;
        }
        if (status < 0) return codec_error(status);
        if (reported == comment.size() && !settling && attempt < 3) {
            settling = true;
            comment.assign(comment.size() + 1, 0);
            continue;
        }
        const bool has_comment = reported < comment.size();
        const JPEG_RECORD& r = *record.get();
        const JPEG_PROPERTIES& p = r.props;
        std::printf("width: %d\n", r.jpeg_width);
        std::printf("height: %d\n", r.jpeg_height);
        std::printf("channels: %d\n", r.jpeg_channels);
        std::printf("color: %d %s\n", r.jpeg_color, color_name(r.jpeg_color));
        std::printf("subsampling: %d %s\n", r.jpeg_subsampling, subsampling_name(r.jpeg_subsampling));
        std::printf("thumbnail: %ux%u\n", r.thumb_width, r.thumb_height);
        if (p.jfif_present) {
            std::printf("jfif: version %d.%02d, units %d, density %dx%d\n", p.jfif_version >> 8,
                        p.jfif_version & 0xFF, p.jfif_units, p.jfif_x_density, p.jfif_y_density);
        } else {
            std::printf("jfif: none\n");
        }
        if (p.adobe_present) {
            std::printf("adobe: transform %d, version %d\n", p.adobe_transform, p.adobe_version);
        } else {
            std::printf("adobe: none\n");
        }
        std::printf("comment: %s\n", has_comment ? escape_comment(comment.data(), reported).c_str() : "");
        status = record.close();
        return status < 0 ? codec_error(status) : 0;
    }
}

int command_thumbnail(int argc, char** argv) {
    std::vector<std::string> args;
    bool memory = false;
    std::string error;
    if (!split_simple(argc, argv, 2, &args, &memory, &error)) return usage_error(error);
    if (args.size() != 2) return usage_error("thumbnail takes a file and an output .ppm");
    Input input;
    if (!load_input(args[0], memory, &input, &error)) return tool_error(error);

    uint32_t width = 0;
    uint32_t height = 0;
    {
        Record record;
        JPEG_STATUS status = record.open();
        if (status < 0) return codec_error(status);
        StreamFacts facts;
        status = read_parameters(record, input, &facts);
        if (status < 0) return codec_error(status);
        width = record->thumb_width;
        height = record->thumb_height;
    }
    if (width == 0 || height == 0) return tool_error(args[0] + " carries no thumbnail");

    Picture picture;
    picture.width = static_cast<int>(width);
    picture.height = static_cast<int>(height);
    picture.channels = 3;
    picture.layout = CS_RGB;
    picture.stream_color = CS_RGB;
    picture.pixels.assign(picture.stride() * height, 0);
    Record record;
    JPEG_STATUS status = record.open();
    if (status < 0) return codec_error(status);
    attach_input(record, input);
    record->dib_pixels = picture.pixels.data();
    record->dib_width = picture.width;
    record->dib_height = picture.height;
    record->dib_channels = 3;
    record->dib_color = CS_RGB;
    status = read_image(record.get(), memory ? READ_THUMBNAIL_BUFFER : READ_THUMBNAIL_FILE);
    if (status < 0) return codec_error(status);
    status = record.close();
    if (status < 0) return codec_error(status);
    if (!write_netpbm(args[1], picture, &error)) return tool_error(error);
    return 0;
}

struct FrameWriter {
    std::string dir;
    std::string error;
};

bool write_frame(const Picture& picture, int frame, void* context) {
    auto* writer = static_cast<FrameWriter*>(context);
    char name[32];
    std::snprintf(name, sizeof name, "/frame_%04d.png", frame);
    return write_png(writer->dir + name, picture, &writer->error);
}

int command_decode(int argc, char** argv) {
    std::vector<std::string> args;
    DecodeOptions options;
    std::string error;
    for (int i = 2; i < argc; ++i) {
        if (argv[i][0] == '-' && argv[i][1] == '-') {
            if (!parse_decode_option(argc, argv, &i, false, &options, &error)) return usage_error(error);
        } else {
            args.push_back(argv[i]);
        }
    }
    if (args.size() != 2) return usage_error("decode takes an input file and an output file");
    if (!check_decode_options(options, &error)) return usage_error(error);
    apply_cpu_choice(options);
    Input input;
    if (!load_input(args[0], options.memory, &input, &error)) return tool_error(error);

    FrameWriter frames;
    frames.dir = options.frames_dir;
    if (!frames.dir.empty()) mkdir(frames.dir.c_str(), 0777);  // an existing folder is fine
    Picture picture;
    JPEG_STATUS status = decode_picture(input, options, &picture, frames.dir.empty() ? nullptr : write_frame,
                                        &frames, &error);
    if (!frames.error.empty()) return tool_error(frames.error);
    if (status < 0) return error.empty() ? codec_error(status) : tool_error(error);
    if (!write_picture(args[1], picture, &error)) return tool_error(error);
    return 0;
}

int command_bench(int argc, char** argv) {
    std::vector<std::string> args;
    DecodeOptions options;
    std::string error;
    for (int i = 2; i < argc; ++i) {
        if (argv[i][0] == '-' && argv[i][1] == '-') {
            if (!parse_decode_option(argc, argv, &i, true, &options, &error)) return usage_error(error);
        } else {
            args.push_back(argv[i]);
        }
    }
    if (args.size() != 1) return usage_error("bench takes one file");
    apply_cpu_choice(options);
    options.memory = true;
    Input input;
    if (!load_input(args[0], true, &input, &error)) return tool_error(error);
    return run_bench(input, options);
}

}  // namespace
}  // namespace vantorel::tool

int main(int argc, char** argv) {
    using namespace vantorel::tool;
    if (argc < 2) return usage_error("");
    std::string command = argv[1];
    if (command == "info") return command_info(argc, argv);
    if (command == "thumbnail") return command_thumbnail(argc, argv);
    if (command == "decode") return command_decode(argc, argv);
    if (command == "bench") return command_bench(argc, argv);
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    return usage_error("unknown command " + command);
}
