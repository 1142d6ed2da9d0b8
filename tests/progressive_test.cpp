// Progressive decoding: the four block routines on hand-made bits, whole
// progressive scripts against the reference decoder's coefficients (successive
// approximation, DC scans of one component, restarts, step-by-step reads,
// regions), and the failures that must end a scan rather than run on.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "codec/decoder/decoder.h"
#include "support/scan_reference.h"

namespace vantorel::test {
namespace {

// ---------------------------------------------------------------------------
// Block routines

struct BitSource {
    std::vector<uint8_t> bytes;
    BYTE_SOURCE source{};
    explicit BitSource(std::vector<uint8_t> data) : bytes(std::move(data)) {
        source.begin = source.cur = bytes.data();
        source.end = bytes.data() + bytes.size();
        source.size = static_cast<int32_t>(bytes.size());
        source.avail = static_cast<uint32_t>(bytes.size());
    }
};

// A table whose codes are 0, 1, ... for the given symbols, all of one length.
HUFF_DECODE_TABLE table_of(const std::vector<uint8_t>& symbols, int length, uint32_t table_class) {
    HUFF_DECODE_TABLE table{};
    uint8_t counts[16] = {};
    counts[length - 1] = static_cast<uint8_t>(symbols.size());
    EXPECT_EQ(build_huff_decode_table(counts, symbols.data(), table_class, 0, &table), STATUS_SUCCESS);
    return table;
}

TEST(ProgressiveBlocks, EndOfBandRunOfFourteenBitsCovers32767Blocks) {
    const HUFF_DECODE_TABLE ac = table_of({0xE0}, 1, 1);
    BitSource bits({0x7F, 0xFE});  // code 0, then fourteen 1 bits
    int16_t block[64] = {};
    ASSERT_EQ(decode_ac_first(&bits.source, block, &ac, 1, 63, 0), STATUS_SUCCESS);
    EXPECT_EQ(bits.source.eob_run, 32766);  // this block is the first of the run
    // The next block of the band is skipped without reading a bit.
    const int32_t before = bits.source.bit_count;
    ASSERT_EQ(decode_ac_first(&bits.source, block, &ac, 1, 63, 0), STATUS_SUCCESS);
    EXPECT_EQ(bits.source.eob_run, 32765);
    EXPECT_EQ(bits.source.bit_count, before);
}

TEST(ProgressiveBlocks, EndOfBandWithoutExtraBitsEndsTheCurrentBlockOnly) {
    const HUFF_DECODE_TABLE ac = table_of({0x00}, 1, 1);
    BitSource bits({0x00});
    int16_t block[64] = {};
    ASSERT_EQ(decode_ac_first(&bits.source, block, &ac, 1, 63, 0), STATUS_SUCCESS);
    EXPECT_EQ(bits.source.eob_run, 0);
}

TEST(ProgressiveBlocks, BlocksInsideAnEndOfBandRunCorrectOnlyTheirNonZeroValuesInTheBand) {
    // Band 6..12 of a refinement scan, inside an end-of-band run. Non-zero
    // values at zig-zag 3 (before the band), 8 and 11 (in it) and 20 (after it):
    // only 8 and 11 take a correction bit, in zig-zag order.
    const HUFF_DECODE_TABLE ac = table_of({0x00}, 1, 1);
    auto make_block = [] {
        std::vector<int16_t> block(64, 0);
        block[natural_order[3]] = 2;
        block[natural_order[8]] = -2;
        block[natural_order[11]] = 2;
        block[natural_order[20]] = 2;
        return block;
    };
    BitSource bits({0xA0});  // 1, 0, then spare bits
    bits.source.eob_run = 2;
    std::vector<int16_t> block = make_block();
    ASSERT_EQ(decode_ac_refine(&bits.source, block.data(), &ac, 6, 12, 0), STATUS_SUCCESS);
    EXPECT_EQ(bits.source.bit_count, 6);  // two bits taken from the one byte
    EXPECT_EQ(block[natural_order[8]], -3);
    EXPECT_EQ(block[natural_order[11]], 2);
    EXPECT_EQ(block[natural_order[3]], 2);
    EXPECT_EQ(block[natural_order[20]], 2);
    EXPECT_EQ(bits.source.eob_run, 1);

    // A block with nothing non-zero inside the band reads no bit at all, even
    // with values on both sides of it; so does a band that has run out.
    std::vector<int16_t> outside(64, 0);
    outside[natural_order[5]] = 4;
    outside[natural_order[13]] = 4;
    ASSERT_EQ(decode_ac_refine(&bits.source, outside.data(), &ac, 6, 12, 0), STATUS_SUCCESS);
    EXPECT_EQ(bits.source.bit_count, 6);
    EXPECT_EQ(bits.source.eob_run, 0);
    EXPECT_EQ(outside[natural_order[5]], 4);
    EXPECT_EQ(outside[natural_order[13]], 4);
}

TEST(ProgressiveBlocks, FirstAcScanShiftsValuesByThePointTransform) {
    // Symbol 0x12: run 1, size 2; magnitude bits 10 give +2, shifted by Al = 2.
    const HUFF_DECODE_TABLE ac = table_of({0x12, 0x00}, 1, 1);
    BitSource bits({0x50});  // 0 (0x12), 10, 1 (end of band)
    int16_t block[64] = {};
    ASSERT_EQ(decode_ac_first(&bits.source, block, &ac, 1, 63, 2), STATUS_SUCCESS);
    EXPECT_EQ(block[natural_order[2]], 8);
    for (int k = 0; k < 64; ++k) {
        if (k != natural_order[2]) {
            EXPECT_EQ(block[k], 0) << k;
        }
    }
}

TEST(ProgressiveBlocks, DcFirstScanStoresThePredictionShiftedAndRefinementSetsTheBit) {
    const HUFF_DECODE_TABLE dc = table_of({0x02}, 1, 0);
    BitSource bits({0x60});  // code 0, magnitude 11 = +3
    int16_t block[64] = {};
    int16_t predictor = 0;
    ASSERT_EQ(decode_dc_first(&bits.source, &dc, block, &predictor, 1), STATUS_SUCCESS);
    EXPECT_EQ(predictor, 3);
    EXPECT_EQ(block[0], 6);
    BitSource refine({0x80});
    ASSERT_EQ(decode_dc_refine(&refine.source, block, 0), STATUS_SUCCESS);
    EXPECT_EQ(block[0], 7);
    ASSERT_EQ(decode_dc_refine(&refine.source, block, 0), STATUS_SUCCESS);  // a 0 bit changes nothing
    EXPECT_EQ(block[0], 7);
}

TEST(ProgressiveBlocks, RefinementZrlPassesSixteenZerosCorrectingTheNonZeroOnesBetween) {
    const HUFF_DECODE_TABLE ac = table_of({0xF0, 0x00}, 1, 1);
    // ZRL, correction 1 for zig-zag 3, correction 1 for zig-zag 5, end of band.
    BitSource bits({0x70});
    int16_t block[64] = {};
    block[natural_order[3]] = 2;
    block[natural_order[5]] = -2;
    block[natural_order[30]] = 4;  // after the sixteen zeros: refined by the end-of-band run
    ASSERT_EQ(decode_ac_refine(&bits.source, block, &ac, 1, 63, 0), STATUS_SUCCESS);
    EXPECT_EQ(block[natural_order[3]], 3);
    EXPECT_EQ(block[natural_order[5]], -3);
    EXPECT_EQ(bits.source.eob_run, 0);
    int non_zero = 0;
    for (int k = 0; k < 64; ++k) non_zero += block[k] != 0;
    EXPECT_EQ(non_zero, 3);
}

TEST(ProgressiveBlocks, RefinementPlacesANewValueAtTheZeroAfterTheRun) {
    // Symbol 0x21: run 2, one new coefficient; its sign bit 0 gives -1 << Al.
    const HUFF_DECODE_TABLE ac = table_of({0x21, 0x00}, 1, 1);
    BitSource bits({0x10});  // 0 (0x21), sign 0, correction 0 (zig-zag 2), 1 (end of band)
    int16_t block[64] = {};
    block[natural_order[2]] = 2;
    ASSERT_EQ(decode_ac_refine(&bits.source, block, &ac, 1, 63, 1), STATUS_SUCCESS);
    // Zeros at 1 and 3 are the run; the value lands on the next zero, 4.
    EXPECT_EQ(block[natural_order[4]], -2);
    EXPECT_EQ(block[natural_order[2]], 2);
}

TEST(ProgressiveBlocks, RunsPastTheBandEndStayInsideTheBlock) {
    // Run 15 and size 1 at position 63: the guard entries catch it.
    const HUFF_DECODE_TABLE ac = table_of({0xF1}, 1, 1);
    BitSource bits({0x40, 0x00});
    int16_t guarded[66] = {};
    int16_t* block = guarded + 1;
    ASSERT_EQ(decode_ac_first(&bits.source, block, &ac, 63, 63, 0), STATUS_SUCCESS);
    EXPECT_EQ(guarded[0], 0);
    EXPECT_EQ(guarded[65], 0);
    EXPECT_EQ(block[63], 1);
}

// ---------------------------------------------------------------------------
// Whole scripts against the reference

struct Layout {
    const char* name;
    int components;
    int h[4];
    int v[4];
};

const Layout kLayouts[] = {
    {"grey", 1, {1, 1, 1, 1}, {1, 1, 1, 1}},   {"grey2x2", 1, {2, 1, 1, 1}, {2, 1, 1, 1}},
    {"1x1", 3, {1, 1, 1, 1}, {1, 1, 1, 1}},    {"2x1", 3, {2, 1, 1, 1}, {1, 1, 1, 1}},
    {"1x2", 3, {1, 1, 1, 1}, {2, 1, 1, 1}},    {"2x2", 3, {2, 1, 1, 1}, {2, 1, 1, 1}},
    {"4x1", 3, {4, 1, 1, 1}, {1, 1, 1, 1}},    {"4x2", 3, {4, 1, 1, 1}, {2, 1, 1, 1}},
    {"3x1", 3, {3, 1, 1, 1}, {1, 1, 1, 1}},    {"cmyk2x2", 4, {2, 1, 1, 2}, {2, 1, 1, 2}},
};

ScanStreamOptions options_for(const Layout& layout, int width, int height) {
    ScanStreamOptions o;
    o.width = width;
    o.height = height;
    o.components = layout.components;
    for (int i = 0; i < 4; ++i) {
        o.h[i] = layout.h[i];
        o.v[i] = layout.v[i];
    }
    return o;
}

std::vector<uint8_t> stream_or_fail(const ScanStreamOptions& o) {
    std::vector<uint8_t> stream;
    std::string error;
    EXPECT_TRUE(make_scan_stream(o, &stream, &error)) << error;
    return stream;
}

void expect_same_coefficients(const std::vector<uint8_t>& stream, const std::string& label,
                              const CoefficientRun& run = {}) {
    std::vector<ComponentCoefficients> reference;
    std::string error;
    ASSERT_TRUE(reference_coefficients(stream, &reference, &error)) << label << ": " << error;
    const OurCoefficients ours = our_coefficients(stream, run);
    ASSERT_EQ(ours.params_status, STATUS_SUCCESS) << label;
    ASSERT_EQ(ours.image_status, STATUS_SUCCESS) << label;
    ASSERT_EQ(ours.planes.size(), reference.size()) << label;
    for (size_t c = 0; c < reference.size(); ++c) {
        std::string first;
        EXPECT_EQ(count_block_differences(reference[c], ours.planes[c], &first), 0)
            << label << ", component " << c << ": " << first;
    }
}

// A script with successive approximation in every band and each component's
// DC in a scan of its own, refined in an interleaved scan of the others.
std::vector<ScanScript> separate_dc_script(int components) {
    std::vector<ScanScript> s;
    for (int c = 0; c < components; ++c) s.push_back({1, {c}, 0, 0, 0, 1});
    s.push_back({1, {0}, 1, 5, 0, 2});
    for (int c = 1; c < components; ++c) s.push_back({1, {c}, 1, 63, 0, 1});
    s.push_back({1, {0}, 6, 63, 0, 2});
    s.push_back({1, {0}, 1, 63, 2, 1});
    s.push_back({1, {0}, 0, 0, 1, 0});
    if (components > 1) {
        ScanScript rest{components - 1, {1, 2, 3}, 0, 0, 1, 0};
        s.push_back(rest);
    }
    for (int c = 1; c < components; ++c) s.push_back({1, {c}, 1, 63, 1, 0});
    s.push_back({1, {0}, 1, 63, 1, 0});
    return s;
}

TEST(ProgressiveCoefficients, StandardScriptForEverySamplingMatchesTheReference) {
    const int sizes[][2] = {{1, 1}, {17, 9}, {33, 21}, {64, 48}};
    for (const Layout& layout : kLayouts) {
        for (const auto& size : sizes) {
            ScanStreamOptions o = options_for(layout, size[0], size[1]);
            o.progressive = true;
            expect_same_coefficients(stream_or_fail(o), std::string(layout.name) + " " + std::to_string(size[0]) +
                                                            "x" + std::to_string(size[1]));
        }
    }
}

TEST(ProgressiveCoefficients, OneComponentDcScansOfSubsampledComponentsFollowTheBlockOrder) {
    for (const Layout& layout : kLayouts) {
        ScanStreamOptions o = options_for(layout, 41, 27);
        o.script = separate_dc_script(layout.components);
        expect_same_coefficients(stream_or_fail(o), std::string(layout.name) + " separate DC scans");
    }
}

TEST(ProgressiveCoefficients, InterleavedDcScanOfNonAdjacentComponents) {
    ScanStreamOptions o = options_for(kLayouts[5], 37, 29);
    o.script = {{2, {0, 2}, 0, 0, 0, 0}, {1, {1}, 0, 0, 0, 0},  {1, {0}, 1, 63, 0, 0},
                {1, {1}, 1, 63, 0, 0},    {1, {2}, 1, 63, 0, 0}};
    expect_same_coefficients(stream_or_fail(o), "DC {0,2} then {1}");
}

TEST(ProgressiveCoefficients, RestartIntervalsInEveryKindOfScan) {
    for (const Layout& layout : {kLayouts[0], kLayouts[5], kLayouts[3], kLayouts[9]}) {
        for (int blocks : {1, 3, 5}) {
            ScanStreamOptions o = options_for(layout, 45, 37);
            o.progressive = true;
            o.restart_blocks = blocks;
            expect_same_coefficients(stream_or_fail(o), std::string(layout.name) + " restart " +
                                                            std::to_string(blocks));
            o.progressive = false;
            o.script = separate_dc_script(layout.components);
            expect_same_coefficients(stream_or_fail(o), std::string(layout.name) + " separate DC, restart " +
                                                            std::to_string(blocks));
        }
    }
}

TEST(ProgressiveCoefficients, StepByStepReadingGivesTheSameCoefficients) {
    for (const Layout& layout : {kLayouts[0], kLayouts[5], kLayouts[1]}) {
        ScanStreamOptions o = options_for(layout, 35, 26);
        o.progressive = true;
        o.restart_blocks = 4;
        CoefficientRun run;
        run.step = true;
        expect_same_coefficients(stream_or_fail(o), std::string(layout.name) + " step by step", run);
        o.progressive = false;
        o.script = separate_dc_script(layout.components);
        expect_same_coefficients(stream_or_fail(o), std::string(layout.name) + " separate DC step by step", run);
    }
}

TEST(ProgressiveCoefficients, RegionDeliversTheRegionsBlocks) {
    for (const Layout& layout : {kLayouts[0], kLayouts[5]}) {
        ScanStreamOptions o = options_for(layout, 90, 70);
        o.progressive = true;
        const std::vector<uint8_t> stream = stream_or_fail(o);
        std::vector<ComponentCoefficients> reference;
        ASSERT_TRUE(reference_coefficients(stream, &reference, nullptr));
        const int roi[4] = {20, 30, 61, 52};
        for (bool step : {false, true}) {
            CoefficientRun run;
            std::memcpy(run.roi, roi, sizeof roi);
            run.step = step;
            const OurCoefficients ours = our_coefficients(stream, run);
            ASSERT_EQ(ours.image_status, STATUS_ROI_SUCCESS) << layout.name;
            const int mcu_w = 8 * layout.h[0], mcu_h = 8 * layout.v[0];
            for (size_t c = 0; c < reference.size(); ++c) {
                const int h = ours.planes[c].h, v = ours.planes[c].v;
                int bx1 = (roi[2] + mcu_w - 1) / mcu_w * h, by1 = (roi[3] + mcu_h - 1) / mcu_h * v;
                if (bx1 > reference[c].blocks_across) bx1 = reference[c].blocks_across;
                if (by1 > reference[c].blocks_down) by1 = reference[c].blocks_down;
                std::string first;
                EXPECT_EQ(count_block_differences(reference[c], ours.planes[c], &first, roi[0] / mcu_w * h,
                                                  roi[1] / mcu_h * v, bx1, by1),
                          0)
                    << layout.name << (step ? " step" : "") << " component " << c << ": " << first;
            }
        }
    }
}


// ---------------------------------------------------------------------------
// Pixels: reading step by step or a region gives the bytes of the whole decode

TEST(ProgressivePixels, StepByStepAndRegionsGiveTheBytesOfTheWholeDecode) {
    for (const Layout& layout : {kLayouts[0], kLayouts[2], kLayouts[3], kLayouts[5], kLayouts[1]}) {
        ScanStreamOptions o = options_for(layout, 53, 41);
        o.progressive = true;
        o.restart_blocks = 3;
        expect_parts_match_whole(stream_or_fail(o), layout.name);
        o.progressive = false;
        o.script = separate_dc_script(layout.components);
        expect_parts_match_whole(stream_or_fail(o), std::string(layout.name) + " separate DC");
    }
}

// ---------------------------------------------------------------------------
// Hostile streams

// Rewrites the last byte (Ah/Al) or the whole body of the n-th SOS segment.
std::vector<uint8_t> with_nth_scan_header(const std::vector<uint8_t>& stream, int n,
                                          const std::vector<uint8_t>& body) {
    long at = -1;
    for (int i = 0; i <= n; ++i) {
        at = find_marker(stream, 0xDA, static_cast<size_t>(at + 1));
        if (at < 0) return stream;
    }
    const size_t length = static_cast<size_t>(stream[at + 2]) << 8 | stream[at + 3];
    std::vector<uint8_t> out(stream.begin(), stream.begin() + at + 2);
    out.push_back(static_cast<uint8_t>((body.size() + 2) >> 8));
    out.push_back(static_cast<uint8_t>(body.size() + 2));
    out.insert(out.end(), body.begin(), body.end());
    out.insert(out.end(), stream.begin() + at + 2 + static_cast<long>(length), stream.end());
    return out;
}

std::vector<uint8_t> grey_progressive() {
    ScanStreamOptions o = options_for(kLayouts[0], 40, 24);
    o.script = {{1, {0}, 0, 0, 0, 0}, {1, {0}, 1, 63, 0, 0}};
    return stream_or_fail(o);
}

TEST(ProgressiveHostile, PointTransformWiderThanACoefficientIsRejected) {
    const std::vector<uint8_t> stream = grey_progressive();
    ASSERT_EQ(our_coefficients(stream).image_status, STATUS_SUCCESS);
    // The AC scan (identifier 1, tables 0/0) with Al = 14.
    EXPECT_EQ(our_coefficients(with_nth_scan_header(stream, 1, {1, 1, 0x00, 1, 63, 0x0E})).image_status,
              STATUS_DATA_ERROR);
}

TEST(ProgressiveHostile, BandsOutsideTheBlockOrRunningBackwardsAreRejected) {
    const std::vector<uint8_t> stream = grey_progressive();
    EXPECT_EQ(our_coefficients(with_nth_scan_header(stream, 1, {1, 1, 0x00, 1, 64, 0x00})).image_status,
              STATUS_DATA_ERROR);
    EXPECT_EQ(our_coefficients(with_nth_scan_header(stream, 1, {1, 1, 0x00, 9, 8, 0x00})).image_status,
              STATUS_DATA_ERROR);
}

TEST(ProgressiveHostile, AcScanOfSeveralComponentsIsRejected) {
    ScanStreamOptions o = options_for(kLayouts[2], 24, 16);
    o.progressive = true;
    const std::vector<uint8_t> stream = stream_or_fail(o);
    // The second scan becomes an AC band over components 1 and 2.
    EXPECT_EQ(our_coefficients(with_nth_scan_header(stream, 1, {2, 1, 0x00, 2, 0x11, 1, 5, 0x00})).image_status,
              STATUS_DATA_ERROR);
}

TEST(ProgressiveHostile, LargerSecondFrameHeaderNeverReachesPastTheStore) {
    // A baseline frame header of a much larger image arrives between the scans
    // of a progressive image: the later scans must not walk the old store.
    ScanStreamOptions o = options_for(kLayouts[5], 32, 16);
    o.progressive = true;
    const std::vector<uint8_t> stream = stream_or_fail(o);
    const long sof = find_marker(stream, 0xC2);
    const long first_sos = find_marker(stream, 0xDA);
    const long second_sos = find_marker(stream, 0xDA, static_cast<size_t>(first_sos + 1));
    ASSERT_GT(sof, 0);
    ASSERT_GT(second_sos, 0);
    const size_t sof_length = static_cast<size_t>(stream[sof + 2]) << 8 | stream[sof + 3];
    std::vector<uint8_t> header(stream.begin() + sof, stream.begin() + sof + 2 + static_cast<long>(sof_length));
    header[1] = 0xC0;
    header[5] = 0x02;  // 512 lines
    header[7] = 0x02;  // 512 samples per line
    std::vector<uint8_t> hostile(stream.begin(), stream.begin() + second_sos);
    hostile.insert(hostile.end(), header.begin(), header.end());
    hostile.insert(hostile.end(), stream.begin() + second_sos, stream.end());
    const OurCoefficients ours = our_coefficients(hostile);
    EXPECT_EQ(ours.params_status, STATUS_SUCCESS);
    // The planes were sized for the first frame: the scans of the second are
    // refused instead of written past them (the sanitizer build checks that
    // nothing was).
    EXPECT_EQ(ours.image_status, STATUS_DATA_ERROR);
}

TEST(ProgressiveHostile, FileThatEndsInsideAScanEndsTheReadWithTheReadFailure) {
    ScanStreamOptions o = options_for(kLayouts[5], 120, 90);
    o.progressive = true;
    const std::vector<uint8_t> stream = stream_or_fail(o);
    const long third_sos = [&] {
        long at = -1;
        for (int i = 0; i < 3; ++i) at = find_marker(stream, 0xDA, static_cast<size_t>(at + 1));
        return at;
    }();
    ASSERT_GT(third_sos, 0);
    // Cut inside the third scan's data, away from any 0xFF byte.
    size_t cut = static_cast<size_t>(third_sos) + 40;
    while (stream[cut - 1] == 0xFF) ++cut;
    const std::string path = std::string(VANTOREL_BINARY_DIR) + "/progressive_cut.jpg";
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(stream.data(), 1, cut, f);
    std::fclose(f);

    auto record = std::make_unique<JPEG_RECORD>();
    std::memset(record.get(), 0, sizeof(JPEG_RECORD));
    JPEG_RECORD* r = record.get();
    ASSERT_EQ(open_codec(r), STATUS_SUCCESS);
    r->jpeg_path = path.c_str();
    ASSERT_EQ(read_image(r, READ_PARAMS_FILE), STATUS_SUCCESS);
    std::vector<int16_t> planes[3];
    COEF_OUTPUT target{};
    for (int i = 0; i < 3; ++i) {
        planes[i].assign(static_cast<size_t>(128) * 96, 0);
        target.planes[i] = planes[i].data();
    }
    r->props.coef_output = &target;
    EXPECT_EQ(read_image(r, READ_IMAGE_FILE), STATUS_FILE_ERROR);
    r->props.coef_output = nullptr;
    close_codec(r);
    std::remove(path.c_str());
}

}  // namespace
}  // namespace vantorel::test

namespace vantorel::test {
namespace {

// Real files written by other encoders: wherever the reference decoder reads
// the coefficients without complaint, ours must read the same ones.
TEST(CorpusCoefficients, WellFormedFilesMatchTheReference) {
    const std::string folder = std::string(VANTOREL_CORPUS_DIR) + "/jpeg-decoder/reftest/images/";
    const char* names[] = {"16bit-qtables.jpg", "grayscale_16x24_sampling2x2.jpg", "grayscale_24x16_sampling2x2.jpg",
                           "non-interleaved-mcu.jpg", "progressive3.jpg", "restarts.jpg", "rgb.jpg", "ycck.jpg",
                           "extraneous-data.jpg", "grayscale_square.jpg"};
    int checked = 0;
    for (const char* name : names) {
        const std::vector<uint8_t> stream = [&] {
            std::vector<uint8_t> bytes;
            FILE* f = std::fopen((folder + name).c_str(), "rb");
            if (f == nullptr) return bytes;
            int c;
            while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
            std::fclose(f);
            return bytes;
        }();
        if (stream.empty()) continue;
        std::vector<ComponentCoefficients> reference;
        if (!reference_coefficients(stream, &reference, nullptr)) continue;
        const OurCoefficients ours = our_coefficients(stream);
        ASSERT_EQ(ours.image_status, STATUS_SUCCESS) << name;
        for (size_t c = 0; c < reference.size() && c < ours.planes.size(); ++c) {
            std::string first;
            EXPECT_EQ(count_block_differences(reference[c], ours.planes[c], &first), 0)
                << name << " component " << c << ": " << first;
        }
        ++checked;
    }
    if (checked == 0) GTEST_SKIP() << "corpus not found in " << folder;
}

}  // namespace
}  // namespace vantorel::test
