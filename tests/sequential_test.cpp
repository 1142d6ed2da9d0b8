// Sequential scan decoding: every block of every scan layout against the
// reference decoder's coefficients, restart intervals, the step-by-step and
// region protocols, and the checks that keep hostile scans inside their stores.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "codec/decoder/decoder.h"
#include "support/scan_reference.h"

namespace vantorel::test {
namespace {

struct Layout {
    const char* name;
    int components;
    int h[4];
    int v[4];
};

const Layout kLayouts[] = {
    {"grey", 1, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"grey2x2", 1, {2, 1, 1, 1}, {2, 1, 1, 1}},
    {"1x1", 3, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"2x1", 3, {2, 1, 1, 1}, {1, 1, 1, 1}},
    {"1x2", 3, {1, 1, 1, 1}, {2, 1, 1, 1}},
    {"2x2", 3, {2, 1, 1, 1}, {2, 1, 1, 1}},
    {"4x1", 3, {4, 1, 1, 1}, {1, 1, 1, 1}},
    {"4x2", 3, {4, 1, 1, 1}, {2, 1, 1, 1}},
    {"3x1", 3, {3, 1, 1, 1}, {1, 1, 1, 1}},
    {"cmyk1x1", 4, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"cmyk2x2", 4, {2, 1, 1, 2}, {2, 1, 1, 2}},
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

// Decodes the stream both ways and expects identical coefficients in every block
// of every component.
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

std::vector<uint8_t> stream_or_fail(const ScanStreamOptions& o) {
    std::vector<uint8_t> stream;
    std::string error;
    EXPECT_TRUE(make_scan_stream(o, &stream, &error)) << error;
    return stream;
}

// Rewrites the body of the first SOS segment.
std::vector<uint8_t> with_scan_header(std::vector<uint8_t> stream, const std::vector<uint8_t>& body) {
    const long at = find_marker(stream, 0xDA);
    if (at < 0) return stream;
    const size_t length = static_cast<size_t>(stream[at + 2]) << 8 | stream[at + 3];
    std::vector<uint8_t> out(stream.begin(), stream.begin() + at + 2);
    out.push_back(static_cast<uint8_t>((body.size() + 2) >> 8));
    out.push_back(static_cast<uint8_t>(body.size() + 2));
    out.insert(out.end(), body.begin(), body.end());
    out.insert(out.end(), stream.begin() + at + 2 + static_cast<long>(length), stream.end());
    return out;
}

// ---------------------------------------------------------------------------

TEST(SequentialCoefficients, EverySamplingAndOddSizeMatchesTheReference) {
    const int sizes[][2] = {{1, 1}, {8, 8}, {17, 9}, {33, 21}, {47, 35}, {64, 48}};
    for (const Layout& layout : kLayouts) {
        for (const auto& size : sizes) {
            const ScanStreamOptions o = options_for(layout, size[0], size[1]);
            expect_same_coefficients(stream_or_fail(o), std::string(layout.name) + " " + std::to_string(size[0]) +
                                                            "x" + std::to_string(size[1]));
        }
    }
}

TEST(SequentialCoefficients, RestartIntervalsInRowsAndInBlocks) {
    for (const Layout& layout : kLayouts) {
        for (int blocks : {1, 2, 3, 7}) {
            ScanStreamOptions o = options_for(layout, 45, 37);
            o.restart_blocks = blocks;
            expect_same_coefficients(stream_or_fail(o), std::string(layout.name) + " every " +
                                                            std::to_string(blocks) + " MCUs");
        }
        ScanStreamOptions o = options_for(layout, 45, 37);
        o.restart_rows = 1;
        expect_same_coefficients(stream_or_fail(o), std::string(layout.name) + " every row");
    }
}

TEST(SequentialCoefficients, RestartIntervalDividingTheMcuCountExpectsNoFinalMarker) {
    // 4 x 2 MCUs with an interval of 4: one restart marker between the rows, none at the end.
    ScanStreamOptions o = options_for(kLayouts[2], 32, 16);
    o.restart_blocks = 4;
    expect_same_coefficients(stream_or_fail(o), "exact interval");
}

TEST(SequentialCoefficients, OutOfSequenceRestartMarkersAreAccepted) {
    ScanStreamOptions o = options_for(kLayouts[5], 64, 48);
    o.restart_blocks = 2;
    std::vector<uint8_t> stream = stream_or_fail(o);
    std::vector<ComponentCoefficients> reference;
    ASSERT_TRUE(reference_coefficients(stream, &reference, nullptr));
    // Every restart marker becomes RST5.
    int changed = 0;
    for (long at = find_marker(stream, 0xDA); at >= 0 && at + 1 < static_cast<long>(stream.size()); ++at) {
        if (stream[at] == 0xFF && stream[at + 1] >= 0xD0 && stream[at + 1] <= 0xD7) {
            stream[at + 1] = 0xD5;
            ++changed;
        }
    }
    ASSERT_GT(changed, 2);
    const OurCoefficients ours = our_coefficients(stream);
    ASSERT_EQ(ours.image_status, STATUS_SUCCESS);
    for (size_t c = 0; c < reference.size(); ++c) {
        std::string first;
        EXPECT_EQ(count_block_differences(reference[c], ours.planes[c], &first), 0) << c << ": " << first;
    }
}

TEST(SequentialCoefficients, ComponentsInSeparateScansUseEachComponentsOwnBlockGrid) {
    // A one-component scan of a subsampled luma is not interleaved: its blocks
    // run across the component, not MCU by MCU.
    for (const Layout& layout : kLayouts) {
        if (layout.components == 1) continue;
        ScanStreamOptions o = options_for(layout, 41, 27);
        for (int c = 0; c < layout.components; ++c) o.script.push_back({1, {c}, 0, 63, 0, 0});
        expect_same_coefficients(stream_or_fail(o), std::string(layout.name) + " one scan per component");
        o.restart_blocks = 3;
        expect_same_coefficients(stream_or_fail(o), std::string(layout.name) + " separate scans, restarts");
    }
}

TEST(SequentialCoefficients, InterleavedScanOfNonAdjacentComponents) {
    // Components 0 and 2 together, then component 1: each lands in its own plane.
    ScanStreamOptions o = options_for(kLayouts[5], 37, 29);
    o.script = {{2, {0, 2}, 0, 63, 0, 0}, {1, {1}, 0, 63, 0, 0}};
    expect_same_coefficients(stream_or_fail(o), "scans {0,2} then {1}");
}

TEST(SequentialCoefficients, StepByStepReadingGivesTheSameCoefficients) {
    for (const Layout& layout : {kLayouts[0], kLayouts[5], kLayouts[3]}) {
        ScanStreamOptions o = options_for(layout, 30, 19);
        o.restart_blocks = 2;
        CoefficientRun run;
        run.step = true;
        expect_same_coefficients(stream_or_fail(o), std::string(layout.name) + " step by step", run);
    }
    // Also across the scans of a multi-scan image.
    ScanStreamOptions o = options_for(kLayouts[5], 30, 19);
    o.script = {{1, {0}, 0, 63, 0, 0}, {2, {1, 2}, 0, 63, 0, 0}};
    CoefficientRun run;
    run.step = true;
    expect_same_coefficients(stream_or_fail(o), "multi-scan step by step", run);
}

TEST(SequentialInterrupt, TwoByTwoMcusReturnAfterEachOfTheFirstThree) {
    ScanStreamOptions o = options_for(kLayouts[2], 16, 16);  // 1x1 sampling: 2 x 2 MCUs of 8 x 8
    const std::vector<uint8_t> stream = stream_or_fail(o);
    auto record = std::make_unique<JPEG_RECORD>();
    std::memset(record.get(), 0, sizeof(JPEG_RECORD));
    JPEG_RECORD* r = record.get();
    ASSERT_EQ(open_codec(r), STATUS_SUCCESS);
    r->jpeg_buffer = stream.data();
    r->jpeg_buffer_size = static_cast<int32_t>(stream.size());
    ASSERT_EQ(read_image(r, READ_PARAMS_BUFFER), STATUS_SUCCESS);
    std::vector<int16_t> planes[3];
    COEF_OUTPUT target{};
    for (int i = 0; i < 3; ++i) {
        planes[i].assign(16 * 16, 0);
        target.planes[i] = planes[i].data();
    }
    r->props.coef_output = &target;
    const int expected_left[] = {0, 1, 0};
    const int expected_top[] = {0, 0, 1};
    for (int step = 0; step < 3; ++step) {
        r->props.roi_left = r->props.roi_top = r->props.roi_right = r->props.roi_bottom = 0;
        r->props.interrupt_request = 1;
        ASSERT_EQ(read_image(r, READ_IMAGE_BUFFER), STATUS_INTERRUPT_SUCCESS) << step;
        EXPECT_EQ(r->props.roi_left, expected_left[step]) << step;
        EXPECT_EQ(r->props.roi_top, expected_top[step]) << step;
        // The extent reached, in pixels.
        EXPECT_EQ(r->props.roi_right, 8 * (expected_left[step] + 1)) << step;
        EXPECT_EQ(r->props.roi_bottom, 8 * (expected_top[step] + 1)) << step;
    }
    r->props.roi_left = r->props.roi_top = r->props.roi_right = r->props.roi_bottom = 0;
    r->props.interrupt_request = 1;
    EXPECT_EQ(read_image(r, READ_IMAGE_BUFFER), STATUS_SUCCESS);
    r->props.coef_output = nullptr;
    close_codec(r);
}

TEST(SequentialRegion, RegionBlocksMatchTheReferenceWhereverTheRegionLies) {
    for (const Layout& layout : {kLayouts[0], kLayouts[5], kLayouts[6]}) {
        ScanStreamOptions o = options_for(layout, 97, 83);
        o.restart_blocks = 3;
        const std::vector<uint8_t> stream = stream_or_fail(o);
        std::vector<ComponentCoefficients> reference;
        ASSERT_TRUE(reference_coefficients(stream, &reference, nullptr));
        const int regions[][4] = {{0, 40, 97, 60}, {33, 17, 50, 30}, {90, 70, 97, 83}, {5, 0, 20, 10}};
        for (const auto& roi : regions) {
            for (bool step : {false, true}) {
                CoefficientRun run;
                std::memcpy(run.roi, roi, sizeof run.roi);
                run.step = step;
                const OurCoefficients ours = our_coefficients(stream, run);
                ASSERT_EQ(ours.image_status, STATUS_ROI_SUCCESS) << layout.name;
                // MCUs covering the region, in blocks of each component.
                const int mcu_w = 8 * layout.h[0], mcu_h = 8 * layout.v[0];
                for (size_t c = 0; c < reference.size(); ++c) {
                    const int h = ours.planes[c].h, v = ours.planes[c].v;
                    const int bx0 = roi[0] / mcu_w * h, by0 = roi[1] / mcu_h * v;
                    int bx1 = (roi[2] + mcu_w - 1) / mcu_w * h, by1 = (roi[3] + mcu_h - 1) / mcu_h * v;
                    if (bx1 > reference[c].blocks_across) bx1 = reference[c].blocks_across;
                    if (by1 > reference[c].blocks_down) by1 = reference[c].blocks_down;
                    std::string first;
                    EXPECT_EQ(count_block_differences(reference[c], ours.planes[c], &first, bx0, by0, bx1, by1), 0)
                        << layout.name << " region " << roi[0] << "," << roi[1] << "-" << roi[2] << "," << roi[3]
                        << (step ? " step" : "") << " component " << c << ": " << first;
                }
            }
        }
    }
}

// The encoder stops at 65500 lines; the stream's frame header is then raised to
// 65535 lines (8192 MCU rows of 8), whose last rows have no data and decode as
// zero blocks.
std::vector<uint8_t> tallest_stream(int width, std::vector<ComponentCoefficients>* reference) {
    ScanStreamOptions o = options_for(kLayouts[0], width, 65500);
    o.quality = 40;
    std::vector<uint8_t> stream = stream_or_fail(o);
    EXPECT_TRUE(reference_coefficients(stream, reference, nullptr));
    const long sof = find_marker(stream, 0xC0);
    EXPECT_GT(sof, 0);
    if (sof > 0) {
        stream[static_cast<size_t>(sof) + 5] = 0xFF;
        stream[static_cast<size_t>(sof) + 6] = 0xFF;
    }
    return stream;
}

TEST(SequentialRegion, MoreThan8191McuRowsKeepTheRowIndexInBounds) {
    std::vector<ComponentCoefficients> reference;
    const std::vector<uint8_t> stream = tallest_stream(8, &reference);
    CoefficientRun run;
    const int roi[4] = {0, 65400, 8, 65535};
    std::memcpy(run.roi, roi, sizeof roi);
    const OurCoefficients ours = our_coefficients(stream, run);
    ASSERT_EQ(ours.image_status, STATUS_ROI_SUCCESS);
    ASSERT_EQ(ours.mcu_rows, 8192);
    std::string first;
    EXPECT_EQ(count_block_differences(reference[0], ours.planes[0], &first, 0, 65400 / 8, 1, 8188), 0) << first;
    for (int by = 8188; by < 8192; ++by)
        for (int k = 0; k < 64; ++k) ASSERT_EQ(ours.planes[0].block(0, by)[k], 0) << by;
}

TEST(SequentialRegion, RowIndexGrowsWithTheFrameAndIsReusedByLaterRegions) {
    std::vector<ComponentCoefficients> reference;
    const std::vector<uint8_t> stream = tallest_stream(16, &reference);

    auto record = std::make_unique<JPEG_RECORD>();
    std::memset(record.get(), 0, sizeof(JPEG_RECORD));
    JPEG_RECORD* r = record.get();
    ASSERT_EQ(open_codec(r), STATUS_SUCCESS);
    r->jpeg_buffer = stream.data();
    r->jpeg_buffer_size = static_cast<int32_t>(stream.size());
    ASSERT_EQ(read_image(r, READ_PARAMS_BUFFER), STATUS_SUCCESS);
    std::vector<int16_t> plane(static_cast<size_t>(16) * 8 * 8192, 0);
    COEF_OUTPUT target{};
    target.planes[0] = plane.data();
    r->props.coef_output = &target;
    // Regions further and further down, then back up: each must match.
    const int tops[] = {100, 40000, 65000, 8, 30000, 65470};
    for (int top : tops) {
        std::fill(plane.begin(), plane.end(), int16_t{0x5A5A});
        r->props.roi_left = 0;
        r->props.roi_top = top;
        r->props.roi_right = 16;
        r->props.roi_bottom = top + 20;
        ASSERT_EQ(read_image(r, READ_IMAGE_BUFFER), STATUS_ROI_SUCCESS) << top;
        EXPECT_GE(r->props.row_index_entries, 8193);
        ComponentCoefficients ours;
        ours.blocks_across = 2;
        ours.blocks_down = 8192;
        ours.blocks.resize(static_cast<size_t>(2) * 8192 * 64);
        const int by1 = (top + 27) / 8 < 8188 ? (top + 27) / 8 : 8188;
        for (int by = top / 8; by < by1; ++by)
            for (int bx = 0; bx < 2; ++bx)
                for (int k = 0; k < 64; ++k)
                    ours.blocks[(static_cast<size_t>(by) * 2 + bx) * 64 + k] =
                        plane[(static_cast<size_t>(by) * 8 + k / 8) * 16 + bx * 8 + k % 8];
        std::string first;
        EXPECT_EQ(count_block_differences(reference[0], ours, &first, 0, top / 8, 2, by1), 0) << top << ": " << first;
    }
    r->props.coef_output = nullptr;
    close_codec(r);
}


// ---------------------------------------------------------------------------
// Pixels: reading step by step or a region gives the bytes of the whole decode

TEST(SequentialPixels, StepByStepAndRegionsGiveTheBytesOfTheWholeDecode) {
    for (const Layout& layout : {kLayouts[0], kLayouts[2], kLayouts[3], kLayouts[5], kLayouts[10]}) {
        ScanStreamOptions o = options_for(layout, 53, 41);
        o.restart_blocks = 3;
        expect_parts_match_whole(stream_or_fail(o), layout.name);
    }
}

TEST(SequentialPixels, MultiScanImagePartsMatchTheWholeDecode) {
    ScanStreamOptions o = options_for(kLayouts[5], 53, 41);
    o.script = {{1, {0}, 0, 63, 0, 0}, {1, {1}, 0, 63, 0, 0}, {1, {2}, 0, 63, 0, 0}};
    expect_parts_match_whole(stream_or_fail(o), "multi-scan");
}

// ---------------------------------------------------------------------------
// Hostile scans

JPEG_STATUS decode_status(const std::vector<uint8_t>& stream) {
    return our_coefficients(stream).image_status;
}

TEST(SequentialHostile, ScanWithoutComponentsNeverDecodesABlock) {
    // The stream's only scan names no component: its data is passed over and
    // no plane is touched.
    const std::vector<uint8_t> stream = stream_or_fail(options_for(kLayouts[2], 16, 16));
    const OurCoefficients ours = our_coefficients(with_scan_header(stream, {0, 0, 63, 0}));
    ASSERT_EQ(ours.params_status, STATUS_SUCCESS);
    for (const ComponentCoefficients& plane : ours.planes)
        for (int16_t value : plane.blocks) ASSERT_EQ(value, 0x5A5A);
}

TEST(SequentialHostile, RepeatedOrReorderedScanComponentsAreRejected) {
    const std::vector<uint8_t> stream = stream_or_fail(options_for(kLayouts[5], 16, 16));
    // Component identifiers of the encoder are 1, 2, 3.
    EXPECT_EQ(decode_status(with_scan_header(stream, {3, 1, 0x00, 1, 0x00, 1, 0x00, 0, 63, 0})), STATUS_DATA_ERROR);
    EXPECT_EQ(decode_status(with_scan_header(stream, {3, 2, 0x11, 1, 0x00, 3, 0x11, 0, 63, 0})), STATUS_DATA_ERROR);
}

TEST(SequentialHostile, ScanDataCutShortStillEndsWithBoundedWork) {
    ScanStreamOptions o = options_for(kLayouts[5], 200, 160);
    const std::vector<uint8_t> full = stream_or_fail(o);
    const long sos = find_marker(full, 0xDA);
    ASSERT_GT(sos, 0);
    std::vector<ComponentCoefficients> reference;
    ASSERT_TRUE(reference_coefficients(full, &reference, nullptr));
    // Cut the entropy-coded data at several points: decoding reads zero bits
    // to the end of the scan and returns; the blocks before the cut are intact.
    for (double fraction : {0.1, 0.5, 0.9}) {
        const size_t cut = static_cast<size_t>(sos) + static_cast<size_t>((full.size() - sos) * fraction);
        std::vector<uint8_t> stream(full.begin(), full.begin() + static_cast<long>(cut));
        if (stream.back() == 0xFF) stream.pop_back();
        const OurCoefficients ours = our_coefficients(stream);
        ASSERT_EQ(ours.params_status, STATUS_SUCCESS);
        std::string first;
        EXPECT_EQ(count_block_differences(reference[0], ours.planes[0], &first, 0, 0, reference[0].blocks_across, 1),
                  0)
            << fraction << ": " << first;
    }
}

// ---------------------------------------------------------------------------
// The checks every scan passes before a block is decoded

struct ScanFixture {
    std::unique_ptr<JPEG_PROPERTIES> props = std::make_unique<JPEG_PROPERTIES>();
    COMPONENT_INFO frame_components[4]{};
    SCAN_COMPONENT scan_components[4]{};
    SCAN_INFO scan{};
    ScanFixture(int nf, int h0, int v0) {
        std::memset(props.get(), 0, sizeof(JPEG_PROPERTIES));
        for (QUANT_TABLE& q : props->quant_tables) q.quant_values = q.storage;
        props->frame.width = 100;
        props->frame.height = 60;
        props->frame.component_count = nf;
        props->frame.components = frame_components;
        for (int i = 0; i < nf; ++i) {
            frame_components[i] = {i + 1, i == 0 ? h0 : 1, i == 0 ? v0 : 1, 0};
            scan_components[i] = {i, frame_components[i].h_samp, frame_components[i].v_samp,
                                  &props->huff_tables[4], &props->huff_tables[0], &props->quant_tables[0]};
        }
        scan.component_count = nf;
        scan.components = scan_components;
        scan.se = 63;
    }
    JPEG_STATUS check() {
        SCAN_LAYOUT layout;
        return describe_scan(&scan, props.get(), 1, &layout);
    }
};

TEST(ScanChecks, ComponentCountMustBeOneToFourAndWithinTheFrame) {
    ScanFixture f(3, 2, 2);
    EXPECT_EQ(f.check(), STATUS_SUCCESS);
    f.scan.component_count = 0;
    EXPECT_EQ(f.check(), STATUS_DATA_ERROR);
    f.scan.component_count = 4;  // more than the frame has
    EXPECT_EQ(f.check(), STATUS_DATA_ERROR);
}

TEST(ScanChecks, SamplingFactorsBeyondFourAreRefusedSoAnMcuFitsItsBuffer) {
    ScanFixture f(3, 4, 4);
    EXPECT_EQ(f.check(), STATUS_SUCCESS);
    f.frame_components[0].h_samp = 5;
    EXPECT_EQ(f.check(), STATUS_DATA_ERROR);
    f.frame_components[0].h_samp = 0;
    EXPECT_EQ(f.check(), STATUS_DATA_ERROR);
}

TEST(ScanChecks, ProgressiveBandsAndPointTransformsStayInsideABlock) {
    ScanFixture f(1, 1, 1);
    f.props->progressive_scans = 1;
    f.scan.ss = 1;
    f.scan.se = 63;
    f.scan.al = 13;
    EXPECT_EQ(f.check(), STATUS_SUCCESS);
    f.scan.al = 14;
    EXPECT_EQ(f.check(), STATUS_DATA_ERROR);
    f.scan.al = 0;
    f.scan.se = 64;
    EXPECT_EQ(f.check(), STATUS_DATA_ERROR);
    f.scan.ss = 10;
    f.scan.se = 9;
    EXPECT_EQ(f.check(), STATUS_DATA_ERROR);
}

TEST(ScanChecks, AnAcBandCoversOneComponentOnly) {
    ScanFixture f(3, 1, 1);
    f.props->progressive_scans = 1;
    f.scan.ss = 0;
    f.scan.se = 0;
    EXPECT_EQ(f.check(), STATUS_SUCCESS);  // DC scans may interleave
    f.scan.ss = 1;
    f.scan.se = 5;
    EXPECT_EQ(f.check(), STATUS_DATA_ERROR);
}

TEST(ScanChecks, ScanWithoutOutputRoutineIsRefusedBeforeDecoding) {
    // No output member was installed (word 40 empty): the dispatch refuses the
    // scan instead of calling an empty stage word.
    ScanFixture f(1, 1, 1);
    STAGE_TABLE table{};
    fill_stage_table(&table, 0);
    f.props->stage_table = &table;
    uint8_t pixels[16];
    f.props->dib_pixels = pixels;
    f.props->io_mode = READ_IMAGE_BUFFER;
    ASSERT_EQ(table.active_output_driver, nullptr);
    EXPECT_EQ(decode_scan(&f.props->source, &f.scan, f.props.get()), STATUS_INVALID_PROPERTIES);
    EXPECT_EQ(f.scan.resume_state[0], 0);
    EXPECT_EQ(f.scan.resume_state[1], 0);
}

// ---------------------------------------------------------------------------
// Restart handling on its own

struct MemorySource {
    std::vector<uint8_t> bytes;
    BYTE_SOURCE source{};
    explicit MemorySource(std::vector<uint8_t> data) : bytes(std::move(data)) {
        source.begin = source.cur = bytes.data();
        source.end = bytes.data() + bytes.size();
        source.size = static_cast<int32_t>(bytes.size());
        source.avail = static_cast<uint32_t>(bytes.size());
    }
};

TEST(ProcessRestart, AtAnIntervalBoundaryTakesTheNextMarkerAndResetsPredictors) {
    MemorySource m({0x12, 0x34, 0xFF, 0xD3, 0x56});
    SCAN_INFO scan{};
    scan.restart_interval = 2;
    for (int32_t& p : scan.dc_predictors) p = 77;
    m.source.bit_count = 5;
    // MCU (0,0) of a 4 x 2 grid: not a boundary.
    EXPECT_EQ(process_restart(&m.source, &scan, 4, 2, 0, 0), STATUS_SUCCESS);
    EXPECT_EQ(scan.dc_predictors[0], 77);
    EXPECT_EQ(m.source.bit_count, 5);
    // MCU (1,0): two MCUs done. The bytes before the marker are skipped.
    EXPECT_EQ(process_restart(&m.source, &scan, 4, 2, 1, 0), STATUS_SUCCESS);
    for (int32_t p : scan.dc_predictors) EXPECT_EQ(p, 0);
    EXPECT_EQ(m.source.bit_count, 0);
    EXPECT_EQ(*m.source.cur, 0x56);
}

TEST(ProcessRestart, APendingMarkerIsTakenWithoutReadingAndTheLastMcuNeedsNone) {
    MemorySource m({0xAB});
    SCAN_INFO scan{};
    scan.restart_interval = 4;
    m.source.pending_marker = 0xD0;
    EXPECT_EQ(process_restart(&m.source, &scan, 4, 2, 3, 0), STATUS_SUCCESS);
    EXPECT_EQ(m.source.pending_marker, 0);
    EXPECT_EQ(m.source.avail, 1u);
    // The last MCU of the scan ends on an interval boundary: nothing is read.
    m.source.pending_marker = 0xD9;
    EXPECT_EQ(process_restart(&m.source, &scan, 4, 2, 3, 1), STATUS_SUCCESS);
    EXPECT_EQ(m.source.pending_marker, 0xD9);
}

TEST(ProcessRestart, MemoryDataEndingBeforeTheMarkerFails) {
    MemorySource m({0x00, 0x11});
    SCAN_INFO scan{};
    scan.restart_interval = 1;
    EXPECT_LT(process_restart(&m.source, &scan, 4, 2, 0, 0), 0);
}

}  // namespace
}  // namespace vantorel::test
