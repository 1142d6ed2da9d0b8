// The vantorel command-line tool, run as a person runs it (VANTOREL_TOOL names the
// built executable): what info and thumbnail print and write, how failures are
// reported, and that every way of asking decode for a picture writes the bytes the
// codec itself produces.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/reference_jpeg.h"
#include "support/reference_vantorel.h"
#include "support/stream_builder.h"

#if __has_include(<png.h>)
#include <png.h>
#define TOOL_TEST_HAVE_PNG 1
#endif

namespace vantorel::test {
namespace {

namespace fs = std::filesystem;

struct RunResult {
    int exit_code = -1;  // -1: killed by a signal
    std::string out;
    std::string err;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const char* tool_path() {
    const char* tool = std::getenv("VANTOREL_TOOL");
    return tool != nullptr && access(tool, X_OK) == 0 ? tool : nullptr;
}

#define REQUIRE_TOOL()                                                                       \
    do {                                                                                     \
        if (tool_path() == nullptr) GTEST_SKIP() << "VANTOREL_TOOL does not name the tool"; \
    } while (0)

RunResult run(const std::vector<std::string>& args) {
    RunResult result;
    const std::string out_path = scratch_path("tool_out") + ".txt";
    const std::string err_path = scratch_path("tool_err") + ".txt";
    pid_t child = fork();
    if (child == 0) {
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(120);
        std::vector<char*> argv;
        std::string tool = tool_path();
        argv.push_back(tool.data());
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        // A sanitizer report must not pass for the tool's own failure status (1).
        std::string asan = "exitcode=86";
        if (const char* given = std::getenv("ASAN_OPTIONS")) asan = std::string(given) + ":" + asan;
        setenv("ASAN_OPTIONS", asan.c_str(), 1);
        alarm(120);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    while (child > 0 && waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = slurp(out_path);
    result.err = slurp(err_path);
    std::remove(out_path.c_str());
    std::remove(err_path.c_str());
    return result;
}

std::string corpus(const std::string& name) { return std::string(VANTOREL_CORPUS_DIR) + "/" + name; }

#define REQUIRE_CORPUS_FILE(path) \
    do {                          \
        if (!fs::exists(path)) GTEST_SKIP() << "no corpus file " << (path); \
    } while (0)

std::string write_scratch(const std::vector<uint8_t>& bytes) {
    std::string path = scratch_path("tool_in");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
}

// testorig.jpg with segments inserted right after its SOI.
std::vector<uint8_t> photo_with(const StreamBuilder& extra) {
    std::vector<uint8_t> original = read_file_bytes(corpus("libjpeg-turbo/testorig.jpg"));
    StreamBuilder b;
    b.soi().bytes(extra.data());
    b.bytes(std::vector<uint8_t>(original.begin() + 2, original.end()));
    return b.data();
}

std::vector<uint8_t> comment_body(size_t size) {
    std::vector<uint8_t> body(size);
    for (size_t i = 0; i < size; ++i) body[i] = static_cast<uint8_t>('a' + i % 26);
    return body;
}

std::string line_of(const std::string& text, const std::string& key) {
    size_t at = text.find(key + ": ");
    if (at == std::string::npos) return "<missing>";
    size_t end = text.find('\n', at);
    return text.substr(at + key.size() + 2, end - at - key.size() - 2);
}

// ---------------------------------------------------------------------------
// info and thumbnail
// ---------------------------------------------------------------------------

TEST(ToolInfo, ReportsTheStreamFactsOneKeyPerLine) {
    REQUIRE_TOOL();
    const std::string path = corpus("libjpeg-turbo/testorig.jpg");
    REQUIRE_CORPUS_FILE(path);
    for (bool memory : {false, true}) {
        std::vector<std::string> args = {"info", path};
        if (memory) args.push_back("--memory");
        RunResult r = run(args);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(line_of(r.out, "width"), "227");
        EXPECT_EQ(line_of(r.out, "height"), "149");
        EXPECT_EQ(line_of(r.out, "channels"), "3");
        EXPECT_EQ(line_of(r.out, "color"), "3 CS_YCBCR");
        EXPECT_EQ(line_of(r.out, "subsampling"), "1 SUBSAMPLE_2X2");
        EXPECT_EQ(line_of(r.out, "thumbnail"), "0x0");
        EXPECT_EQ(line_of(r.out, "jfif"), "version 1.01, units 0, density 1x1");
        EXPECT_EQ(line_of(r.out, "adobe"), "none");
        EXPECT_EQ(line_of(r.out, "comment"), "");
    }
}

TEST(ToolInfo, ShowsCommentsOfAnyLengthEscaped) {
    REQUIRE_TOOL();
    REQUIRE_CORPUS_FILE(corpus("libjpeg-turbo/testorig.jpg"));
    // Short, exactly the first buffer's size, and longer than it (the retry path).
    for (size_t size : {size_t{5}, size_t{256}, size_t{700}}) {
        SCOPED_TRACE(size);
        std::vector<uint8_t> body = comment_body(size);
        body[0] = '\n';
        body[1] = 0xE9;
        body[2] = '\\';
        StreamBuilder extra;
        extra.segment(0xFE, body);
        std::string path = write_scratch(photo_with(extra));
        RunResult r = run({"info", path});
        std::remove(path.c_str());
        ASSERT_EQ(r.exit_code, 0) << r.err;
        std::string expected = "\\n\\xE9\\\\" + std::string(body.begin() + 3, body.end());
        EXPECT_EQ(line_of(r.out, "comment"), expected);
    }
}

TEST(ToolInfo, ReportsAdobeTransformAndFourComponents) {
    REQUIRE_TOOL();
    RawImage photo;
    if (!load_test_photo(&photo)) GTEST_SKIP() << "no corpus photo";
    RefEncodeOptions o;
    o.color = RefColor::kYCCK;
    set_sampling(&o, 2, 2);
    std::vector<uint8_t> stream;
    std::string error;
    ASSERT_TRUE(ref_encode(crop_image(photo, 0, 0, 40, 24, 4), o, &stream, &error)) << error;
    std::string path = write_scratch(stream);
    RunResult r = run({"info", path});
    std::remove(path.c_str());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(line_of(r.out, "channels"), "4");
    EXPECT_EQ(line_of(r.out, "color"), "6 CS_YCC_QUAD");
    EXPECT_EQ(line_of(r.out, "subsampling"), "3 SUBSAMPLE_QUAD_2X2");
    EXPECT_EQ(line_of(r.out, "adobe"), "transform 2, version 100");
}

TEST(ToolErrors, CodecFailuresPrintCodeAndMessageAndExitWithOne) {
    REQUIRE_TOOL();
    RunResult missing = run({"info", "/nonexistent/picture.jpg"});
    EXPECT_EQ(missing.exit_code, 1);
    EXPECT_EQ(missing.err, "error: -10 Invalid file name\n");

    std::string not_jpeg = write_scratch({0xFF, 0xD9, 'P', '6', '\n', 0xFF, 0xC0});  // EOI where SOI belongs
    for (const char* command : {"info", "decode"}) {
        std::vector<std::string> args = {command, not_jpeg};
        if (std::strcmp(command, "decode") == 0) args.push_back(not_jpeg + ".ppm");
        RunResult r = run(args);
        EXPECT_EQ(r.exit_code, 1) << command;
        EXPECT_EQ(r.err, "error: -13 Not JPEG\n") << command;
    }
    RunResult memory = run({"info", not_jpeg, "--memory"});
    EXPECT_EQ(memory.err, "error: -13 Not JPEG\n");
    std::remove(not_jpeg.c_str());
}

TEST(ToolErrors, MisusedCommandLinesExitWithTwo) {
    REQUIRE_TOOL();
    EXPECT_EQ(run({}).exit_code, 2);
    EXPECT_EQ(run({"paint", "x.jpg"}).exit_code, 2);
    EXPECT_EQ(run({"decode", "x.jpg"}).exit_code, 2);
    EXPECT_EQ(run({"decode", "x.jpg", "y.ppm", "--scale", "3"}).exit_code, 2);
    EXPECT_EQ(run({"decode", "x.jpg", "y.ppm", "--roi", "5,5,2,9"}).exit_code, 2);
    EXPECT_EQ(run({"decode", "x.jpg", "y.ppm", "--layout", "cmyk"}).exit_code, 2);
    EXPECT_EQ(run({"decode", "x.jpg", "y.ppm", "--frames", "dir"}).exit_code, 2);
    EXPECT_EQ(run({"bench", "x.jpg", "--seconds", "-1"}).exit_code, 2);
}

TEST(ToolThumbnail, WritesTheEmbeddedRgbThumbnailAsPpm) {
    REQUIRE_TOOL();
    REQUIRE_CORPUS_FILE(corpus("libjpeg-turbo/testorig.jpg"));
    const std::vector<uint8_t> pixels = {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30, 40, 50, 60, 70, 80, 90};
    StreamBuilder extra;
    std::vector<uint8_t> body = {'J', 'F', 'I', 'F', 0, 1, 2, 0, 0, 72, 0, 72, 3, 2};
    body.insert(body.end(), pixels.begin(), pixels.end());
    extra.segment(0xE0, body);
    std::string path = write_scratch(photo_with(extra));
    for (bool memory : {false, true}) {
        std::string out = scratch_path("thumb") + ".ppm";
        std::vector<std::string> args = {"thumbnail", path, out};
        if (memory) args.push_back("--memory");
        RunResult r = run(args);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        std::string expected = "P6\n3 2\n255\n" + std::string(pixels.begin(), pixels.end());
        EXPECT_EQ(slurp(out), expected);
        std::remove(out.c_str());
    }
    RunResult info = run({"info", path});
    EXPECT_EQ(line_of(info.out, "thumbnail"), "3x2");
    std::remove(path.c_str());

    RunResult none = run({"thumbnail", corpus("libjpeg-turbo/testorig.jpg"), "unused.ppm"});
    EXPECT_EQ(none.exit_code, 1);
    EXPECT_NE(none.err.find("no thumbnail"), std::string::npos);
}

// ---------------------------------------------------------------------------
// decode
// ---------------------------------------------------------------------------

struct Netpbm {
    std::string magic;
    int width = 0, height = 0, depth = 0;
    std::vector<uint8_t> data;
};

Netpbm parse_netpbm(const std::string& file) {
    Netpbm p;
    if (file.size() < 2) return p;
    p.magic = file.substr(0, 2);
    size_t pos = 0;
    if (p.magic == "P7") {
        size_t end = file.find("ENDHDR\n");
        if (end == std::string::npos) return p;
        std::string header = file.substr(0, end);
        std::sscanf(header.c_str() + header.find("WIDTH"), "WIDTH %d", &p.width);
        std::sscanf(header.c_str() + header.find("HEIGHT"), "HEIGHT %d", &p.height);
        std::sscanf(header.c_str() + header.find("DEPTH"), "DEPTH %d", &p.depth);
        pos = end + 7;
    } else {
        int consumed = 0;
        int maxval = 0;
        std::sscanf(file.c_str(), "%*s %d %d %d%n", &p.width, &p.height, &maxval, &consumed);
        p.depth = p.magic == "P6" ? 3 : 1;
        pos = static_cast<size_t>(consumed) + 1;
    }
    p.data.assign(file.begin() + static_cast<long>(std::min(pos, file.size())), file.end());
    return p;
}

class ToolDecode : public ::testing::Test {
protected:
    void SetUp() override {
        if (tool_path() == nullptr) GTEST_SKIP() << "VANTOREL_TOOL does not name the tool";
        RawImage photo;
        if (!load_test_photo(&photo)) GTEST_SKIP() << "no corpus photo";
        RefEncodeOptions o;
        set_sampling(&o, 2, 2);
        std::string error;
        ASSERT_TRUE(ref_encode(crop_image(photo, 3, 7, 45, 29, 3), o, &stream_, &error)) << error;
        input_ = write_scratch(stream_);
        OurDecodeResult probe = our_decode(stream_, OurDecodeOptions{});
        if (probe.status == STATUS_NOT_SUPPORTED) {
            GTEST_SKIP() << "the decoder reports -12 Not supported for image requests so far";
        }
        ASSERT_EQ(probe.status, STATUS_SUCCESS);
        full_ = probe.image;
    }
    void TearDown() override {
        if (!input_.empty()) std::remove(input_.c_str());
        for (const std::string& f : outputs_) std::remove(f.c_str());
    }
    std::string output(const std::string& extension) {
        outputs_.push_back(scratch_path("decoded") + extension);
        return outputs_.back();
    }
    // Runs decode into a fresh file with the given extension and returns its bytes.
    std::string decode(const std::string& extension, std::vector<std::string> options) {
        std::string out = output(extension);
        std::vector<std::string> args = {"decode", input_, out};
        args.insert(args.end(), options.begin(), options.end());
        RunResult r = run(args);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        return slurp(out);
    }

    std::vector<uint8_t> stream_;
    std::string input_;
    RawImage full_;
    std::vector<std::string> outputs_;
};

TEST_F(ToolDecode, PpmHoldsTheCodecsBytesForEveryWayOfAsking) {
    Netpbm plain = parse_netpbm(decode(".ppm", {}));
    ASSERT_EQ(plain.magic, "P6");
    EXPECT_EQ(plain.width, 45);
    EXPECT_EQ(plain.height, 29);
    EXPECT_EQ(plain.data, full_.pixels);
    const std::vector<std::vector<std::string>> same = {
        {"--memory"}, {"--bottom-up"}, {"--pad", "3"}, {"--bottom-up", "--pad", "1", "--memory"},
        {"--step"},   {"--cpu", "0"},  {"--layout", "rgb", "--channels", "3"}};
    for (const auto& options : same) {
        std::string joined;
        for (const auto& o : options) joined += o + " ";
        EXPECT_EQ(parse_netpbm(decode(".ppm", options)).data, full_.pixels) << joined;
    }
}

TEST_F(ToolDecode, LayoutsPickTheNetpbmKindByChannelCount) {
    Netpbm bgr = parse_netpbm(decode(".ppm", {"--layout", "bgr"}));
    ASSERT_EQ(bgr.data.size(), full_.pixels.size());
    for (size_t i = 0; i + 2 < bgr.data.size(); i += 3) {
        ASSERT_EQ(bgr.data[i], full_.pixels[i + 2]);
        ASSERT_EQ(bgr.data[i + 2], full_.pixels[i]);
    }
    Netpbm grey = parse_netpbm(decode(".pgm", {"--layout", "gray"}));
    EXPECT_EQ(grey.magic, "P5");
    EXPECT_EQ(grey.data.size(), 45u * 29u);
    Netpbm quad = parse_netpbm(decode(".pam", {"--layout", "quad"}));
    EXPECT_EQ(quad.magic, "P7");
    EXPECT_EQ(quad.depth, 4);
    ASSERT_EQ(quad.data.size(), 45u * 29u * 4u);
    for (size_t i = 0; i < 45u * 29u; ++i) {
        ASSERT_EQ(quad.data[i * 4], full_.pixels[i * 3]);
        ASSERT_EQ(quad.data[i * 4 + 3], 255);
    }
}

TEST_F(ToolDecode, ScaleAndRegionSizeTheOutput) {
    Netpbm half = parse_netpbm(decode(".ppm", {"--scale", "2"}));
    EXPECT_EQ(half.width, 23);
    EXPECT_EQ(half.height, 15);
    Netpbm eighth = parse_netpbm(decode(".ppm", {"--scale", "8", "--idct", "scaled"}));
    EXPECT_EQ(eighth.width, 6);
    EXPECT_EQ(eighth.height, 4);
    Netpbm region = parse_netpbm(decode(".ppm", {"--roi", "5,3,30,20"}));
    ASSERT_EQ(region.width, 25);
    ASSERT_EQ(region.height, 17);
    for (int y = 0; y < 17; ++y) {
        for (int x = 0; x < 25 * 3; ++x) {
            ASSERT_EQ(region.data[static_cast<size_t>(y) * 75 + x],
                      full_.pixels[static_cast<size_t>(y + 3) * 45 * 3 + 15 + x])
                << "row " << y;
        }
    }
    RunResult outside = run({"decode", input_, output(".ppm"), "--roi", "0,0,46,10"});
    EXPECT_EQ(outside.exit_code, 1) << "a region beyond the picture is refused";
}

TEST_F(ToolDecode, BmpHoldsThePictureBottomUpInBgr) {
    std::string bmp = decode(".bmp", {});
    ASSERT_GE(bmp.size(), 54u);
    ASSERT_EQ(bmp.substr(0, 2), "BM");
    auto le32 = [&](size_t at) {
        return static_cast<uint32_t>(static_cast<uint8_t>(bmp[at])) |
               static_cast<uint32_t>(static_cast<uint8_t>(bmp[at + 1])) << 8 |
               static_cast<uint32_t>(static_cast<uint8_t>(bmp[at + 2])) << 16 |
               static_cast<uint32_t>(static_cast<uint8_t>(bmp[at + 3])) << 24;
    };
    EXPECT_EQ(le32(18), 45u);
    EXPECT_EQ(le32(22), 29u);
    const size_t row = (45 * 3 + 3) & ~3u;
    ASSERT_EQ(bmp.size(), 54 + row * 29);
    for (int y = 0; y < 29; ++y) {
        const char* line = bmp.data() + 54 + (28 - y) * row;
        for (int x = 0; x < 45; ++x) {
            const uint8_t* rgb = &full_.pixels[(static_cast<size_t>(y) * 45 + x) * 3];
            ASSERT_EQ(static_cast<uint8_t>(line[x * 3]), rgb[2]);
            ASSERT_EQ(static_cast<uint8_t>(line[x * 3 + 2]), rgb[0]);
        }
    }
}

#ifdef TOOL_TEST_HAVE_PNG
std::vector<uint8_t> read_png_rgb(const std::string& path, int* width, int* height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
    *width = static_cast<int>(image.width);
    *height = static_cast<int>(image.height);
    return pixels;
}

TEST_F(ToolDecode, PngHoldsThePictureAndStepFramesShowItGrowing) {
    std::string out = output(".png");
    RunResult r = run({"decode", input_, out, "--layout", "bgr"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    int w = 0, h = 0;
    EXPECT_EQ(read_png_rgb(out, &w, &h), full_.pixels) << "a BGR DIB is written as the picture";

    std::string frames = scratch_path("frames") + ".d";
    RunResult stepped = run({"decode", input_, output(".png"), "--step", "--frames", frames});
    ASSERT_EQ(stepped.exit_code, 0) << stepped.err;
    size_t count = 0;
    for (const auto& entry : fs::directory_iterator(frames)) {
        (void)entry;
        ++count;
    }
    EXPECT_GT(count, 1u);
    int fw = 0, fh = 0;
    EXPECT_FALSE(read_png_rgb(frames + "/frame_0000.png", &fw, &fh).empty());
    EXPECT_EQ(fw, 45);
    fs::remove_all(frames);
}
#endif

TEST(ToolBench, PrintsMegapixelsPerSecond) {
    REQUIRE_TOOL();
    const std::string path = corpus("libjpeg-turbo/testorig.jpg");
    REQUIRE_CORPUS_FILE(path);
    RunResult r = run({"bench", path, "--seconds", "0.2"});
    if (r.err.find("-12 Not supported") != std::string::npos) GTEST_SKIP() << "image requests not supported yet";
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::string rate = line_of(r.out, "megapixels_per_second");
    EXPECT_GT(std::atof(rate.c_str()), 0.0) << r.out;
}

}  // namespace
}  // namespace vantorel::test
