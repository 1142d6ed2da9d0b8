// Conformance against libjpeg-turbo: headers and statuses over the real-world
// corpus, pixels over the corpus and over streams the reference encoder makes at
// test time (every sampling, restart layout, scan script and colour space we
// read), and byte-for-byte agreement between the ways one picture can be asked
// for (regions, steps, bottom-up, padded rows, file or memory, abbreviated).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/reference_jpeg.h"
#include "support/reference_vantorel.h"

namespace vantorel::test {
namespace {

namespace fs = std::filesystem;

const std::string kCorpus = VANTOREL_CORPUS_DIR;

#define REQUIRE_CORPUS()                                                              \
    do {                                                                              \
        if (!fs::is_directory(kCorpus)) GTEST_SKIP() << "no corpus at " << kCorpus;   \
    } while (0)

// While the scan drivers and output stages are still missing, image requests
// report "Not supported"; the pixel tests wait for them instead of failing.
#define SKIP_IF_NOT_SUPPORTED(status)                                                          \
    do {                                                                                       \
        if ((status) == STATUS_NOT_SUPPORTED)                                                  \
            GTEST_SKIP() << "the decoder reports -12 Not supported for image requests so far"; \
    } while (0)

std::vector<std::string> corpus_jpegs() {
    std::vector<std::string> files;
    if (!fs::is_directory(kCorpus)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(kCorpus)) {
        if (!entry.is_regular_file()) continue;
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
        bool jpeg = ext == ".jpg" || ext == ".jpeg";
        if (!jpeg) {
            FILE* f = std::fopen(entry.path().c_str(), "rb");
            if (f != nullptr) {
                unsigned char head[2] = {0, 0};
                jpeg = std::fread(head, 1, 2, f) == 2 && head[0] == 0xFF && head[1] == 0xD8;
                std::fclose(f);
            }
        }
        if (jpeg) files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string short_name(const std::string& path) { return path.substr(std::min(path.size(), kCorpus.size() + 1)); }

COLOR_SPACE our_color(RefColor color) {
    switch (color) {
    case RefColor::kGray: return CS_GRAY;
    case RefColor::kRGB: return CS_RGB;
    case RefColor::kCMYK: return CS_QUAD;
    case RefColor::kYCCK: return CS_YCC_QUAD;
    default: return CS_YCBCR;
    }
}

// Worst agreement seen per kind of comparison, printed at the end of each test.
class Worst {
public:
    void add(const std::string& kind, const ImageDiff& diff, const std::string& what) {
        auto [it, fresh] = worst_.try_emplace(kind, Entry{diff, what, diff});
        Entry& e = it->second;
        if (fresh) return;
        if (diff.psnr < e.psnr.psnr) {
            e.psnr = diff;
            e.psnr_case = what;
        }
        if (diff.max_diff > e.max.max_diff) e.max = diff;
    }
    void print(const char* title) const {
        for (const auto& [kind, e] : worst_) {
            std::printf("[worst] %s %-22s PSNR %6.2f dB (%s), max |difference| %d\n", title, kind.c_str(),
                        e.psnr.psnr, e.psnr_case.c_str(), e.max.max_diff);
        }
    }

private:
    struct Entry {
        ImageDiff psnr;
        std::string psnr_case;
        ImageDiff max;
    };
    std::map<std::string, Entry> worst_;
};

const RawImage& photo() {
    static RawImage image;
    static bool loaded = load_test_photo(&image);
    (void)loaded;
    return image;
}

// ---------------------------------------------------------------------------
// The corpus: headers and statuses
// ---------------------------------------------------------------------------

TEST(CorpusHeaders, ParametersMatchTheReferenceOrEndInAKnownFailure) {
    REQUIRE_CORPUS();
    std::vector<std::string> files = corpus_jpegs();
    ASSERT_FALSE(files.empty());
    int accepted = 0;
    for (const std::string& path : files) {
        SCOPED_TRACE(short_name(path));
        std::vector<uint8_t> bytes = read_file_bytes(path);
        RefHeader ref = ref_read_header(bytes.data(), bytes.size());
        OurParams ours = our_read_params(bytes);
        if ((ref.ok && ref.arithmetic) || ref.bad_precision) {
            // Arithmetic coding and 12-bit samples are frame kinds we do not decode.
            EXPECT_EQ(ours.status, STATUS_UNSUPPORTED_FRAME);
            continue;
        }
        if (ref.ok && ref.warnings == 0) {
            ++accepted;
            if (ours.status < 0) {
                // The reference checks tables only when it decodes; a stream it cannot
                // decode either may fail our header reading already.
                RawImage unused;
                std::string error;
                EXPECT_FALSE(ref_decode(bytes.data(), bytes.size(), RefDecodeOptions{}, &unused, &error))
                    << "ours: " << get_status_message(ours.status);
                EXPECT_GE(ours.status, -30) << "not one of the codec's statuses";
                continue;
            }
            EXPECT_EQ(ours.width, ref.width);
            EXPECT_EQ(ours.height, ref.height);
            EXPECT_EQ(ours.components, ref.components);
            continue;
        }
        if (ref.ok || ref.too_big) {
            // The reference stepped over damage to read this header, or stopped at its
            // own size limit (65500, below our 65535): there is no single right answer,
            // only the sizes it found or one of our failures.
            if (ours.status >= 0 && ref.ok) {
                EXPECT_EQ(ours.width, ref.width);
                EXPECT_EQ(ours.height, ref.height);
            } else if (ours.status < 0) {
                EXPECT_GE(ours.status, -30) << "not one of the codec's statuses";
            }
            continue;
        }
        // Refused by the reference: our full decode must end in one of our failures.
        JPEG_STATUS status = ours.status;
        if (status >= 0) {
            // Headers may announce 65535 x 65535 pixels; such pictures are read at 1/8
            // scale, which walks the same stream with a DIB that fits in memory.
            OurDecodeOptions options;
            if (static_cast<long long>(ours.width) * ours.height > (16 << 20)) options.scale = 8;
            status = our_decode(bytes, options).status;
        }
        EXPECT_LE(status, -1) << "accepted a stream the reference refuses (" << ref.error << ")";
        EXPECT_GE(status, -30) << "not one of the codec's statuses";
    }
    EXPECT_GT(accepted, 50);
}

// Runs the tool with a time limit; the exit status, or -1 for a crash or a hang.
// The alarm survives exec, so a tool that hangs is ended by its own SIGALRM.
int run_tool(const std::vector<std::string>& args, unsigned seconds) {
    pid_t child = fork();
    if (child == 0) {
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (std::freopen("/dev/null", "w", stdout) == nullptr || std::freopen("/dev/null", "w", stderr) == nullptr) {
            _exit(120);
        }
        // A sanitizer report must not pass for the tool's own failure status (1).
        std::string asan = "exitcode=86";
        if (const char* given = std::getenv("ASAN_OPTIONS")) asan = std::string(given) + ":" + asan;
        setenv("ASAN_OPTIONS", asan.c_str(), 1);
        alarm(seconds);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (child < 0) return -1;
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CorpusTool, ToolEndsEveryCorpusFileWithSuccessOrAReportedFailure) {
    REQUIRE_CORPUS();
    const char* tool = std::getenv("VANTOREL_TOOL");
    if (tool == nullptr || access(tool, X_OK) != 0) GTEST_SKIP() << "VANTOREL_TOOL does not name the built tool";
    const std::string out = scratch_path("corpus_tool") + ".ppm";
    for (const std::string& path : corpus_jpegs()) {
        SCOPED_TRACE(short_name(path));
        EXPECT_LE(static_cast<unsigned>(run_tool({tool, "info", path}, 60)), 1u);
        EXPECT_LE(static_cast<unsigned>(run_tool({tool, "decode", path, out}, 60)), 1u);
        EXPECT_LE(static_cast<unsigned>(run_tool({tool, "decode", path, out, "--memory", "--scale", "2"}, 60)), 1u);
    }
    std::remove(out.c_str());
}

// ---------------------------------------------------------------------------
// Pixels against the reference decoder
// ---------------------------------------------------------------------------

constexpr double kFullPsnr = 45.0;
constexpr int kFullMaxDiff = 8;
constexpr double kScaledPsnr = 32.0;

// Whether our triangle filter applies: luma 2x1 or 2x2 over 1x1 chroma. Other
// layouts are replicated by both decoders when smoothing is asked for.
bool triangle_filtered(const RefEncodeOptions& o, int components) {
    if (components < 3) return false;
    return o.h_samp[0] == 2 && (o.v_samp[0] == 1 || o.v_samp[0] == 2) && o.h_samp[1] == 1 && o.v_samp[1] == 1;
}

// Whether the reference, asked to smooth a subsampled stream, gave exactly its
// plain picture (smoothed is that picture): it filtered nothing.
bool reference_skips_smoothing(const std::vector<uint8_t>& stream, const RawImage& smoothed) {
    const OurParams params = our_read_params(stream);
    if (params.status < 0 || params.subsampling == SUBSAMPLE_NONE) return false;
    RefDecodeOptions plain_options;
    plain_options.scale_denom = 1;
    RawImage plain;
    std::string error;
    if (!ref_decode(stream.data(), stream.size(), plain_options, &plain, &error)) return false;
    return plain.width == smoothed.width && plain.height == smoothed.height && plain.channels == smoothed.channels &&
           plain.pixels == smoothed.pixels;
}

// Decodes stream with ours and the reference at full scale (plain and smoothed)
// and at 1/2, 1/4, 1/8, checking the bounds. Returns false when our decoder
// reported "Not supported".
bool check_against_reference(const std::vector<uint8_t>& stream, const std::string& what, bool fancy_matches,
                             COLOR_SPACE jpeg_color, Worst* worst) {
    SCOPED_TRACE(what);
    struct Mode {
        const char* kind;
        int scale;
        bool smooth;
    };
    const Mode modes[] = {{"full", 1, false}, {"full smoothed", 1, true}, {"1/2", 2, false},
                          {"1/4", 4, false},  {"1/8", 8, false}};
    for (const Mode& mode : modes) {
        RefDecodeOptions ro;
        ro.scale_denom = mode.scale;
        ro.fancy = mode.smooth && fancy_matches;
        RawImage ref;
        std::string error;
        if (!ref_decode(stream.data(), stream.size(), ro, &ref, &error)) {
            ADD_FAILURE() << "reference decode failed: " << error;
            return true;
        }
        // The reference leaves chroma only one or two samples wide unfiltered even
        // when asked to smooth, while we filter it: there is then no smoothed
        // reference to hold our output to. Our smoothed decode must still succeed.
        const bool unsmoothed_reference = ro.fancy && reference_skips_smoothing(stream, ref);
        OurDecodeOptions oo;
        oo.scale = mode.scale;
        oo.smooth = mode.smooth;
        oo.jpeg_color = jpeg_color;
        OurDecodeResult ours = our_decode(stream, oo);
        if (ours.status == STATUS_NOT_SUPPORTED) return false;
        EXPECT_GE(ours.status, 0) << mode.kind << ": " << get_status_message(ours.status);
        if (ours.status < 0) continue;
        ImageDiff diff = compare_images(ours.image, ref);
        EXPECT_TRUE(diff.same_shape) << mode.kind << ": ours " << ours.image.width << "x" << ours.image.height << "x"
                                     << ours.image.channels << ", reference " << ref.width << "x" << ref.height
                                     << "x" << ref.channels;
        if (!diff.same_shape) continue;
        if (unsmoothed_reference) {
            std::printf("[note] %s: the reference does not smooth this subsampled stream; its smoothed output "
                        "is not compared (ours: %.2f dB)\n",
                        what.c_str(), diff.psnr);
            continue;
        }
        worst->add(mode.kind, diff, what);
        if (mode.scale == 1) {
            EXPECT_GE(diff.psnr, kFullPsnr) << mode.kind;
            EXPECT_LE(diff.max_diff, kFullMaxDiff) << mode.kind;
        } else {
            EXPECT_GE(diff.psnr, kScaledPsnr) << mode.kind;
        }
    }
    return true;
}

TEST(CorpusPixels, SequentialFilesMatchTheReferenceDecoder) {
    REQUIRE_CORPUS();
    Worst worst;
    int compared = 0;
    for (const std::string& path : corpus_jpegs()) {
        std::vector<uint8_t> bytes = read_file_bytes(path);
        RefHeader header = ref_read_header(bytes.data(), bytes.size());
        if (!header.ok || header.arithmetic || header.progressive) continue;
        RawImage ref;
        std::string error;
        int warnings = 0;
        // Only streams the reference reads without repairing anything have one right answer.
        if (!ref_decode(bytes.data(), bytes.size(), RefDecodeOptions{}, &ref, &error, &warnings) || warnings != 0) {
            continue;
        }
        if (!check_against_reference(bytes, short_name(path), true, our_color(header.color), &worst)) {
            GTEST_SKIP() << "the decoder reports -12 Not supported for image requests so far";
        }
        ++compared;
    }
    worst.print("corpus sequential");
    EXPECT_GT(compared, 10);
}

struct GeneratedCase {
    std::string name;
    int width, height;
    RefEncodeOptions options;
};

RawImage source_for(const GeneratedCase& c) {
    int channels = c.options.color == RefColor::kGray ? 1
                   : (c.options.color == RefColor::kCMYK || c.options.color == RefColor::kYCCK) ? 4 : 3;
    return crop_image(photo(), 61, 37, c.width, c.height, channels);
}

int component_count(RefColor color) {
    return color == RefColor::kGray ? 1 : (color == RefColor::kCMYK || color == RefColor::kYCCK) ? 4 : 3;
}

void run_generated(const std::vector<GeneratedCase>& cases, const char* title) {
    Worst worst;
    for (const GeneratedCase& c : cases) {
        std::vector<uint8_t> stream;
        std::string error;
        ASSERT_TRUE(ref_encode(source_for(c), c.options, &stream, &error)) << c.name << ": " << error;
        bool fancy = triangle_filtered(c.options, component_count(c.options.color));
        if (!check_against_reference(stream, c.name, fancy, our_color(c.options.color), &worst)) {
            GTEST_SKIP() << "the decoder reports -12 Not supported for image requests so far";
        }
    }
    worst.print(title);
}

std::string size_name(int w, int h) { return std::to_string(w) + "x" + std::to_string(h); }

const int kSizes[][2] = {{64, 48}, {17, 13}, {33, 65}, {1, 1}, {9, 7}};

TEST(GeneratedPixels, EverySamplingAndSizeMatchesTheReferenceDecoder) {
    if (photo().pixels.empty()) GTEST_SKIP() << "no corpus photo at " << kCorpus;
    const int samplings[][2] = {{1, 1}, {2, 1}, {1, 2}, {2, 2}, {4, 1}, {4, 2}, {3, 1}};
    std::vector<GeneratedCase> cases;
    for (const auto& s : samplings) {
        for (const auto& size : kSizes) {
            GeneratedCase c{"ycbcr " + std::to_string(s[0]) + "x" + std::to_string(s[1]) + " " +
                                size_name(size[0], size[1]),
                            size[0], size[1], {}};
            set_sampling(&c.options, s[0], s[1]);
            cases.push_back(c);
        }
    }
    run_generated(cases, "sampling");
}

TEST(GeneratedPixels, RestartsSeparateScansAndColourSpacesMatchTheReferenceDecoder) {
    if (photo().pixels.empty()) GTEST_SKIP() << "no corpus photo at " << kCorpus;
    std::vector<GeneratedCase> cases;
    auto add = [&](const std::string& name, RefColor color, int h, int v, auto&& tweak) {
        for (const auto& size : kSizes) {
            GeneratedCase c{name + " " + size_name(size[0], size[1]), size[0], size[1], {}};
            c.options.color = color;
            set_sampling(&c.options, h, v);
            tweak(c.options);
            cases.push_back(c);
        }
    };
    auto none = [](RefEncodeOptions&) {};
    add("restart every row 2x2", RefColor::kYCbCr, 2, 2, [](RefEncodeOptions& o) { o.restart_rows = 1; });
    add("restart every 3 MCUs 2x1", RefColor::kYCbCr, 2, 1, [](RefEncodeOptions& o) { o.restart_blocks = 3; });
    add("restart every MCU 1x1", RefColor::kYCbCr, 1, 1, [](RefEncodeOptions& o) { o.restart_blocks = 1; });
    add("separate scans 2x2", RefColor::kYCbCr, 2, 2, [](RefEncodeOptions& o) { o.separate_scans = true; });
    add("separate scans + restarts 2x1", RefColor::kYCbCr, 2, 1, [](RefEncodeOptions& o) {
        o.separate_scans = true;
        o.restart_blocks = 2;
    });
    add("grey", RefColor::kGray, 1, 1, none);
    add("grey restarts", RefColor::kGray, 1, 1, [](RefEncodeOptions& o) { o.restart_blocks = 5; });
    add("rgb adobe", RefColor::kRGB, 1, 1, none);
    add("cmyk", RefColor::kCMYK, 1, 1, none);
    add("ycck 2x2", RefColor::kYCCK, 2, 2, none);
    add("ycck 1x1", RefColor::kYCCK, 1, 1, none);
    add("optimised tables 2x2", RefColor::kYCbCr, 2, 2, [](RefEncodeOptions& o) { o.optimize = true; });
    run_generated(cases, "sequential");
}

std::vector<RefScan> successive_approximation_script() {
    return {{3, {0, 1, 2, 0}, 0, 0, 0, 1},  {1, {0, 0, 0, 0}, 1, 5, 0, 2},  {1, {2, 0, 0, 0}, 1, 63, 0, 1},
            {1, {1, 0, 0, 0}, 1, 63, 0, 1}, {1, {0, 0, 0, 0}, 6, 63, 0, 2}, {1, {0, 0, 0, 0}, 1, 63, 2, 1},
            {3, {0, 1, 2, 0}, 0, 0, 1, 0},  {1, {2, 0, 0, 0}, 1, 63, 1, 0}, {1, {1, 0, 0, 0}, 1, 63, 1, 0},
            {1, {0, 0, 0, 0}, 1, 63, 1, 0}};
}

std::vector<RefScan> separate_dc_script() {
    return {{1, {0, 0, 0, 0}, 0, 0, 0, 0},  {1, {1, 0, 0, 0}, 0, 0, 0, 0},  {1, {2, 0, 0, 0}, 0, 0, 0, 0},
            {1, {0, 0, 0, 0}, 1, 63, 0, 0}, {1, {1, 0, 0, 0}, 1, 63, 0, 0}, {1, {2, 0, 0, 0}, 1, 63, 0, 0}};
}

std::vector<RefScan> grey_refinement_script() {
    return {{1, {0, 0, 0, 0}, 0, 0, 0, 1}, {1, {0, 0, 0, 0}, 1, 8, 0, 2}, {1, {0, 0, 0, 0}, 9, 63, 0, 1},
            {1, {0, 0, 0, 0}, 1, 8, 2, 1}, {1, {0, 0, 0, 0}, 0, 0, 1, 0}, {1, {0, 0, 0, 0}, 1, 63, 1, 0}};
}

TEST(GeneratedPixels, ProgressiveStreamsMatchTheReferenceDecoder) {
    if (photo().pixels.empty()) GTEST_SKIP() << "no corpus photo at " << kCorpus;
    std::vector<GeneratedCase> cases;
    auto add = [&](const std::string& name, RefColor color, int h, int v, auto&& tweak) {
        for (const auto& size : kSizes) {
            GeneratedCase c{name + " " + size_name(size[0], size[1]), size[0], size[1], {}};
            c.options.color = color;
            set_sampling(&c.options, h, v);
            c.options.progressive = true;
            tweak(c.options);
            cases.push_back(c);
        }
    };
    auto none = [](RefEncodeOptions&) {};
    add("progressive 2x2", RefColor::kYCbCr, 2, 2, none);
    add("progressive 2x1", RefColor::kYCbCr, 2, 1, none);
    add("progressive 1x1", RefColor::kYCbCr, 1, 1, none);
    add("progressive grey", RefColor::kGray, 1, 1, none);
    add("progressive restarts 2x2", RefColor::kYCbCr, 2, 2, [](RefEncodeOptions& o) { o.restart_blocks = 2; });
    add("progressive grey restarts", RefColor::kGray, 1, 1, [](RefEncodeOptions& o) { o.restart_rows = 1; });
    add("successive approximation 2x2", RefColor::kYCbCr, 2, 2,
        [](RefEncodeOptions& o) { o.scans = successive_approximation_script(); });
    add("successive approximation 1x1 restarts", RefColor::kYCbCr, 1, 1, [](RefEncodeOptions& o) {
        o.scans = successive_approximation_script();
        o.restart_blocks = 3;
    });
    add("non-interleaved dc 2x1", RefColor::kYCbCr, 2, 1, [](RefEncodeOptions& o) { o.scans = separate_dc_script(); });
    add("grey refinements", RefColor::kGray, 1, 1, [](RefEncodeOptions& o) { o.scans = grey_refinement_script(); });
    run_generated(cases, "progressive");
}

// ---------------------------------------------------------------------------
// One picture, many ways to ask for it: all must give the same bytes
// ---------------------------------------------------------------------------

struct SameBytesStream {
    std::string name;
    std::vector<uint8_t> bytes;
};

std::vector<SameBytesStream> same_bytes_streams() {
    std::vector<SameBytesStream> streams;
    auto add = [&](const std::string& name, int w, int h, RefColor color, int hs, int vs, bool progressive,
                   int restart) {
        RefEncodeOptions o;
        o.color = color;
        set_sampling(&o, hs, vs);
        o.progressive = progressive;
        o.restart_blocks = restart;
        std::vector<uint8_t> bytes;
        std::string error;
        int channels = component_count(color);
        if (ref_encode(crop_image(photo(), 11, 23, w, h, channels), o, &bytes, &error)) {
            streams.push_back({name, bytes});
        } else {
            ADD_FAILURE() << name << ": " << error;
        }
    };
    add("4:2:0 33x65", 33, 65, RefColor::kYCbCr, 2, 2, false, 0);
    add("4:2:2 40x24 restarts", 40, 24, RefColor::kYCbCr, 2, 1, false, 2);
    add("4:4:4 17x13", 17, 13, RefColor::kYCbCr, 1, 1, false, 0);
    add("grey 23x19", 23, 19, RefColor::kGray, 1, 1, false, 0);
    add("progressive 4:2:0 33x41", 33, 41, RefColor::kYCbCr, 2, 2, true, 0);
    add("progressive grey 20x17", 20, 17, RefColor::kGray, 1, 1, true, 0);
    return streams;
}

// The reference for the comparisons below: a plain full decode from memory.
bool full_decode(const std::vector<uint8_t>& bytes, bool smooth, int scale, OurDecodeResult* out) {
    OurDecodeOptions o;
    o.smooth = smooth;
    o.scale = scale;
    *out = our_decode(bytes, o);
    return out->status != STATUS_NOT_SUPPORTED;
}

RawImage crop_packed(const RawImage& image, int l, int t, int r, int b) {
    RawImage out;
    out.width = r - l;
    out.height = b - t;
    out.channels = image.channels;
    for (int y = t; y < b; ++y) {
        auto start = image.pixels.begin() + (static_cast<long>(y) * image.width + l) * image.channels;
        out.pixels.insert(out.pixels.end(), start, start + static_cast<long>(r - l) * image.channels);
    }
    return out;
}

TEST(SameBytes, EveryRegionIsTheCropOfTheFullPicture) {
    if (photo().pixels.empty()) GTEST_SKIP() << "no corpus photo at " << kCorpus;
    for (const SameBytesStream& s : same_bytes_streams()) {
        for (int scale : {1, 2}) {
            for (bool smooth : {false, true}) {
                SCOPED_TRACE(s.name + (smooth ? " smoothed" : "") + " scale 1/" + std::to_string(scale));
                OurDecodeResult full;
                if (!full_decode(s.bytes, smooth, scale, &full)) SKIP_IF_NOT_SUPPORTED(full.status);
                ASSERT_EQ(full.status, STATUS_SUCCESS) << get_status_message(full.status);
                const int w = full.image.width;
                const int h = full.image.height;
                // Edges on, just after and between MCU boundaries, and at the picture's end.
                auto edges = [](int size) {
                    std::vector<int> e = {0, 1, 8, 17, size - 1, size};
                    e.erase(std::remove_if(e.begin(), e.end(), [&](int v) { return v < 0 || v > size; }), e.end());
                    std::sort(e.begin(), e.end());
                    e.erase(std::unique(e.begin(), e.end()), e.end());
                    return e;
                };
                for (int l : edges(w)) for (int r : edges(w)) for (int t : edges(h)) for (int b : edges(h)) {
                    if (l >= r || t >= b) continue;
                    OurDecodeOptions o;
                    o.smooth = smooth;
                    o.scale = scale;
                    o.has_roi = true;
                    o.roi[0] = l;
                    o.roi[1] = t;
                    o.roi[2] = r;
                    o.roi[3] = b;
                    OurDecodeResult region = our_decode(s.bytes, o);
                    ASSERT_GE(region.status, 0) << l << "," << t << "," << r << "," << b << ": "
                                                << get_status_message(region.status);
                    RawImage expected = crop_packed(full.image, l, t, r, b);
                    ASSERT_EQ(region.image.pixels, expected.pixels) << "region " << l << "," << t << "," << r << ","
                                                                    << b;
                }
            }
        }
    }
}

TEST(SameBytes, ReadingOneStepAtATimeGivesTheFullPicture) {
    if (photo().pixels.empty()) GTEST_SKIP() << "no corpus photo at " << kCorpus;
    for (const SameBytesStream& s : same_bytes_streams()) {
        for (bool smooth : {false, true}) {
            for (bool file : {false, true}) {
                SCOPED_TRACE(s.name + (smooth ? " smoothed" : "") + (file ? " file" : " memory"));
                OurDecodeResult full;
                if (!full_decode(s.bytes, smooth, 1, &full)) SKIP_IF_NOT_SUPPORTED(full.status);
                ASSERT_EQ(full.status, STATUS_SUCCESS);
                OurDecodeOptions o;
                o.smooth = smooth;
                o.step = true;
                o.file = file;
                OurDecodeResult stepped = our_decode(s.bytes, o);
                ASSERT_GE(stepped.status, 0) << get_status_message(stepped.status);
                EXPECT_GT(stepped.reads, 1) << "the interrupt request was not honoured";
                EXPECT_EQ(stepped.image.pixels, full.image.pixels);
            }
        }
    }
}

TEST(SameBytes, BottomUpPaddedAndFileRequestsGiveTheSamePicture) {
    if (photo().pixels.empty()) GTEST_SKIP() << "no corpus photo at " << kCorpus;
    for (const SameBytesStream& s : same_bytes_streams()) {
        for (int scale : {1, 2, 8}) {
            SCOPED_TRACE(s.name + " scale 1/" + std::to_string(scale));
            OurDecodeResult full;
            if (!full_decode(s.bytes, false, scale, &full)) SKIP_IF_NOT_SUPPORTED(full.status);
            ASSERT_EQ(full.status, STATUS_SUCCESS);
            for (bool bottom_up : {false, true}) {
                for (int pad : {0, 1, 3, 6}) {
                    for (bool file : {false, true}) {
                        OurDecodeOptions o;
                        o.scale = scale;
                        o.bottom_up = bottom_up;
                        o.pad = pad;
                        o.file = file;
                        OurDecodeResult other = our_decode(s.bytes, o);
                        ASSERT_GE(other.status, 0) << get_status_message(other.status);
                        EXPECT_EQ(other.image.pixels, full.image.pixels)
                            << (bottom_up ? "bottom-up " : "") << "pad " << pad << (file ? " file" : " memory");
                        EXPECT_TRUE(other.pad_intact) << "row pad bytes were written, pad " << pad;
                    }
                }
            }
        }
    }
}

TEST(SameBytes, ScansOfAnAbbreviatedStreamUseTheTablesReadBefore) {
    if (photo().pixels.empty()) GTEST_SKIP() << "no corpus photo at " << kCorpus;
    struct Case {
        const char* name;
        RefColor color;
        int h, v;
        bool progressive;
    };
    const Case cases[] = {{"4:2:0", RefColor::kYCbCr, 2, 2, false},
                          {"grey", RefColor::kGray, 1, 1, false},
                          {"progressive 4:2:2", RefColor::kYCbCr, 2, 1, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RefEncodeOptions o;
        o.color = c.color;
        set_sampling(&o, c.h, c.v);
        o.progressive = c.progressive;
        RawImage source = crop_image(photo(), 5, 9, 37, 29, component_count(c.color));
        std::vector<uint8_t> whole, tables, image;
        std::string error;
        ASSERT_TRUE(ref_encode(source, o, &whole, &error)) << error;
        ASSERT_TRUE(ref_encode_abbreviated(source, o, &tables, &image, &error)) << error;
        ASSERT_LT(image.size(), whole.size()) << "the image stream still carries its tables";
        OurDecodeResult full;
        if (!full_decode(whole, false, 1, &full)) SKIP_IF_NOT_SUPPORTED(full.status);
        ASSERT_EQ(full.status, STATUS_SUCCESS);
        OurDecodeResult split =
            our_decode_abbreviated(tables, image, 37, 29, component_count(c.color), our_color(c.color));
        ASSERT_GE(split.status, 0) << get_status_message(split.status);
        EXPECT_EQ(split.image.pixels, full.image.pixels);
    }
}

}  // namespace
}  // namespace vantorel::test
