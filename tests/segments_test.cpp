// Table and header segments: DQT (sizes, identifiers, both preparations, raw
// copies), DHT (sizes, classes, tables running past their segment, raw
// copies), DRI, the frame header and the scan header, with every rejection
// made before anything is stored.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "codec/decoder/decoder.h"
#include "support/front_streams.h"

namespace vantorel {
namespace {

using test::Codec;
using test::StreamBuilder;

std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// SOI, one segment, then a frame so that a tables request has where to stop.
JPEG_STATUS tables_with(Codec& codec, uint8_t code, const std::vector<uint8_t>& body) {
    StreamBuilder s;
    s.soi().segment(code, body).segment(0xC0, test::sof_body(8, 8, 8, {{1, 0x11, 0}})).eoi();
    const std::vector<uint8_t> stream = s.data();
    return codec.read_buffer(READ_TABLES_BUFFER, stream);
}

TEST(Dqt, FourTablesOfEitherPrecisionAreStoredAndOneByteMoreIsRejected) {
    Codec a;
    ASSERT_EQ(tables_with(a, 0xDB, concat({test::dqt_body(0x00, 1), test::dqt_body(0x01, 2),
                                           test::dqt_body(0x02, 3), test::dqt_body(0x03, 4)})),
              STATUS_SUCCESS);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(a.props().quant_tables[i].quant_values[63], i + 1);
    EXPECT_EQ(a.props().quant_table_count, 4);
    EXPECT_EQ(a.props().quant_id_limit, 4);

    const std::vector<uint8_t> wide = concat({test::dqt_body(0x10, 300), test::dqt_body(0x11, 301),
                                              test::dqt_body(0x12, 302), test::dqt_body(0x13, 65535)});
    ASSERT_EQ(wide.size(), 516u);
    Codec b;
    ASSERT_EQ(tables_with(b, 0xDB, wide), STATUS_SUCCESS);
    EXPECT_EQ(b.props().quant_tables[0].quant_values[5], 300);
    EXPECT_EQ(b.props().quant_tables[3].quant_values[5], 65535);
    EXPECT_EQ(b.props().quant_tables[3].quant_precision, 1);

    Codec c;
    EXPECT_EQ(tables_with(c, 0xDB, concat({wide, {0x00}})), STATUS_DATA_ERROR);
}

TEST(Dqt, BadIdentifiersAndTablesRunningPastTheSegmentAreRejected) {
    Codec a;
    EXPECT_EQ(tables_with(a, 0xDB, test::dqt_body(0x04)), STATUS_BAD_QUANTIZATION_TABLE);
    std::vector<uint8_t> short_table = test::dqt_body(0x10, 7);
    short_table.resize(65);  // a 16-bit table with only 64 value bytes
    Codec b;
    EXPECT_EQ(tables_with(b, 0xDB, short_table), STATUS_BAD_QUANTIZATION_TABLE);
    Codec c;
    EXPECT_EQ(tables_with(c, 0xDB, concat({test::dqt_body(0x00, 9), {0x01}})), STATUS_BAD_QUANTIZATION_TABLE);
    EXPECT_EQ(c.props().quant_tables[0].quant_values[0], 9);  // the complete table before it stays
}

TEST(Dqt, PreparesNaturalOrderOrScaledValuesByTransformFamily) {
    std::vector<uint8_t> body = {0x00};
    for (int k = 0; k < 64; ++k) body.push_back(static_cast<uint8_t>(k + 1));
    Codec direct;
    ASSERT_EQ(tables_with(direct, 0xDB, body), STATUS_SUCCESS);
    const QUANT_VALUE* q = direct.props().quant_tables[0].quant_values;
    EXPECT_EQ(q[1], 2);
    EXPECT_EQ(q[8], 3);
    EXPECT_EQ(q[63], 64);
    for (int k = 64; k < 80; ++k) EXPECT_EQ(q[k], 0);

    body[1] = 16;
    Codec scaled;
    scaled.props().idct_family = 0;
    ASSERT_EQ(tables_with(scaled, 0xDB, body), STATUS_SUCCESS);
    const QUANT_VALUE* s = scaled.props().quant_tables[0].quant_values;
    EXPECT_EQ(s[0], 4096);
    const double a1 = std::sqrt(2.0) * std::cos(3.14159265358979323846 / 16.0);
    EXPECT_EQ(s[1], static_cast<QUANT_VALUE>(2 * a1 / 8 * 2048 + 0.5));
}

TEST(Dqt, RawCopyGoesToTheCallersBufferForThatIdentifier) {
    uint8_t raw[128] = {};
    Codec codec;
    codec.props().raw_quant[2].buffer = raw;
    ASSERT_EQ(tables_with(codec, 0xDB, test::dqt_body(0x12, 0x0102)), STATUS_SUCCESS);
    EXPECT_EQ(codec.props().raw_quant[2].identifier, 2);
    EXPECT_EQ(raw[0], 0x01);
    EXPECT_EQ(raw[127], 0x02);
}

// A DHT entry of `symbols` codes: 255 of 9 bits and the rest of 10 bits.
std::vector<uint8_t> dht_of(uint8_t tc_th, int symbols) {
    std::vector<uint8_t> counts(16, 0);
    counts[8] = static_cast<uint8_t>(symbols < 255 ? symbols : 255);
    counts[9] = static_cast<uint8_t>(symbols > 255 ? symbols - 255 : 0);
    return test::dht_body(tc_th, counts, std::vector<uint8_t>(symbols, 0x21));
}

TEST(Dht, BodyOf1091BytesPassesAnd1092IsRejected) {
    const std::vector<uint8_t> fits = concat({dht_of(0x00, 256), dht_of(0x01, 256), dht_of(0x10, 256), dht_of(0x11, 255)});
    ASSERT_EQ(fits.size(), 1091u);
    Codec a;
    EXPECT_EQ(tables_with(a, 0xC4, fits), STATUS_SUCCESS);
    EXPECT_EQ(a.props().dc_table_count, 2);
    EXPECT_EQ(a.props().ac_table_count, 2);
    Codec b;
    EXPECT_EQ(tables_with(b, 0xC4, concat({dht_of(0x00, 256), dht_of(0x01, 256), dht_of(0x10, 256),
                                           dht_of(0x11, 256)})),
              STATUS_DATA_ERROR);
}

TEST(Dht, BadClassIdentifierAndTablesRunningPastTheSegmentAreRejected) {
    Codec a;
    EXPECT_EQ(tables_with(a, 0xC4, test::dht_body(0x20, {1}, {0})), STATUS_BAD_HUFFMAN_TABLE);
    Codec b;
    EXPECT_EQ(tables_with(b, 0xC4, test::dht_body(0x04, {1}, {0})), STATUS_BAD_HUFFMAN_TABLE);
    Codec c;
    EXPECT_EQ(tables_with(c, 0xC4, test::dht_body(0x00, {0, 10}, {1, 2, 3, 4, 5})), STATUS_BAD_HUFFMAN_TABLE);
    Codec d;
    EXPECT_EQ(tables_with(d, 0xC4, {0x00, 1, 0, 0}), STATUS_BAD_HUFFMAN_TABLE);  // counts cut short
    Codec e;
    EXPECT_EQ(tables_with(e, 0xC4, test::dht_body(0x00, {3}, {1, 2, 3})), STATUS_BAD_HUFFMAN_TABLE);
}

TEST(Dht, RawCopyGoesOnlyToTheEntryOfThatClassAndIdentifier) {
    uint8_t counts[16] = {};
    uint8_t values[256] = {};
    Codec codec;
    codec.props().raw_huff[3] = RAW_HUFF_ENTRY{counts, values, 0, 0};  // AC table 1
    ASSERT_EQ(tables_with(codec, 0xC4, concat({test::dht_body(0x11, {0, 2}, {0x31, 0x32}),
                                               test::dht_body(0x01, {1}, {0x07})})),
              STATUS_SUCCESS);
    EXPECT_EQ(codec.props().raw_huff[3].table_class, 1);
    EXPECT_EQ(codec.props().raw_huff[3].identifier, 1);
    EXPECT_EQ(counts[1], 2);
    EXPECT_EQ(values[0], 0x31);
    EXPECT_EQ(values[1], 0x32);
    EXPECT_EQ(codec.props().huff_id_limit, 2);
}

TEST(Dri, IntervalIsReadAndAShortBodyIsRejected) {
    Codec a;
    ASSERT_EQ(tables_with(a, 0xDD, {0x01, 0x02}), STATUS_SUCCESS);
    EXPECT_EQ(a.props().restart_interval, 0x0102);
    Codec b;
    EXPECT_EQ(tables_with(b, 0xDD, {0x01}), STATUS_DATA_ERROR);
    // A new stream starts without the interval of the last one.
    EXPECT_EQ(a.read_buffer(READ_PARAMS_BUFFER, test::gray_image(8, 8).data()), STATUS_SUCCESS);
    EXPECT_EQ(a.props().restart_interval, 0);
}

JPEG_STATUS params_with_frame(Codec& codec, const std::vector<uint8_t>& sof) {
    StreamBuilder s;
    s.soi().segment(0xE0, test::jfif_body()).segment(0xDB, test::dqt_body(0x00)).segment(0xC1, sof);
    test::add_gray_tables(s);
    s.segment(0xDA, test::sos_body({{1, 0x00}})).eoi();
    const std::vector<uint8_t> stream = s.data();
    return codec.read_buffer(READ_PARAMS_BUFFER, stream);
}

TEST(Sof, ReportsTheFrameAndItsMcuGrid) {
    Codec codec;
    ASSERT_EQ(params_with_frame(codec, test::sof_body(8, 17, 33, {{1, 0x22, 0}, {2, 0x11, 1}, {3, 0x11, 1}})),
              STATUS_SUCCESS);
    EXPECT_EQ(codec->jpeg_width, 33);
    EXPECT_EQ(codec->jpeg_height, 17);
    EXPECT_EQ(codec->jpeg_channels, 3);
    EXPECT_EQ(codec->jpeg_subsampling, SUBSAMPLE_2X2);
    EXPECT_EQ(codec->jpeg_color, CS_YCBCR);
    EXPECT_EQ(codec.props().frame.mcus_per_row, 3);
    EXPECT_EQ(codec.props().frame.mcu_count, 6);
}

TEST(Sof, UnsupportedOrMalformedFramesAreRejectedBeforeAnythingIsStored) {
    Codec codec;
    ASSERT_EQ(params_with_frame(codec, test::sof_body(8, 16, 24, {{1, 0x11, 0}})), STATUS_SUCCESS);
    struct Case {
        std::vector<uint8_t> sof;
        JPEG_STATUS status;
    };
    const std::vector<test::FrameComponent> five = {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}, {4, 0x11, 0}, {5, 0x11, 0}};
    const Case cases[] = {
        {test::sof_body(12, 16, 16, {{1, 0x11, 0}}), STATUS_UNSUPPORTED_FRAME},
        {test::sof_body(8, 0, 16, {{1, 0x11, 0}}), STATUS_ERROR_DNL},
        {test::sof_body(8, 8, 8, five), STATUS_ERROR_COMP},
        {test::sof_body(8, 8, 8, {}), STATUS_ERROR_COMP},
        {test::sof_body(8, 8, 8, {{1, 0x01, 0}}), STATUS_DATA_ERROR},
        {test::sof_body(8, 8, 8, {{1, 0x10, 0}}), STATUS_DATA_ERROR},
        {test::sof_body(8, 8, 8, {{1, 0x15, 0}}), STATUS_DATA_ERROR},
        {test::sof_body(8, 8, 8, {{1, 0x51, 0}}), STATUS_DATA_ERROR},
        {{8, 0, 8, 0, 8, 2, 1, 0x11, 0}, STATUS_DATA_ERROR},  // two components announced, one given
    };
    for (const Case& c : cases) {
        EXPECT_EQ(params_with_frame(codec, c.sof), c.status);
        const FRAME_INFO& frame = codec.props().frame;
        EXPECT_EQ(frame.width, 24);
        EXPECT_EQ(frame.height, 16);
        EXPECT_EQ(frame.component_count, 1);
        EXPECT_EQ(frame.components[0].h_samp, 1);
        EXPECT_EQ(frame.components[1].identifier, 0);
    }
}

JPEG_STATUS params_with_scan(Codec& codec, const std::vector<uint8_t>& sos, uint8_t quant_selector = 0) {
    StreamBuilder s;
    s.soi().segment(0xDB, test::dqt_body(0x00));
    s.segment(0xC0, test::sof_body(8, 8, 8, {{1, 0x11, quant_selector}, {2, 0x11, 0}}));
    test::add_gray_tables(s);
    s.segment(0xDA, sos).eoi();
    const std::vector<uint8_t> stream = s.data();
    // An earlier request reported two channels; ask with the defaults again.
    codec->jpeg_channels = 3;
    codec->jpeg_color = CS_YCBCR;
    return codec.read_buffer(READ_PARAMS_BUFFER, stream);
}

TEST(Sos, MalformedScanHeadersAreDataErrors) {
    Codec codec;
    EXPECT_EQ(params_with_scan(codec, test::sos_body({{1, 0x00}, {2, 0x11}})), STATUS_SUCCESS);
    EXPECT_EQ(params_with_scan(codec, test::sos_body({{7, 0x00}})), STATUS_DATA_ERROR);
    EXPECT_EQ(params_with_scan(codec, test::sos_body({{1, 0x40}})), STATUS_DATA_ERROR);
    EXPECT_EQ(params_with_scan(codec, test::sos_body({{1, 0x04}})), STATUS_DATA_ERROR);
    EXPECT_EQ(params_with_scan(codec, test::sos_body({{1, 0}, {2, 0}, {1, 0}, {2, 0}, {1, 0}})), STATUS_DATA_ERROR);
    EXPECT_EQ(params_with_scan(codec, {1, 1, 0, 0}), STATUS_DATA_ERROR);  // Ss, Se, Ah/Al missing
    EXPECT_EQ(params_with_scan(codec, test::sos_body({{1, 0x00}}), 4), STATUS_DATA_ERROR);

    StreamBuilder before_frame;
    before_frame.soi().segment(0xDA, test::sos_body({{1, 0x00}})).eoi();
    codec->jpeg_channels = 3;
    EXPECT_EQ(codec.read_buffer(READ_PARAMS_BUFFER, before_frame.data()), STATUS_NO_FRAME);
}

TEST(Sos, FillsTheScanRecordFromTheHeader) {
    Codec codec;
    ASSERT_EQ(params_with_scan(codec, test::sos_body({{1, 0x00}})), STATUS_SUCCESS);
    const std::vector<uint8_t> header = concat({{0x00, 0x0A}, test::sos_body({{2, 0x31}, {1, 0x02}}, 1, 5, 0x21)});
    BYTE_SOURCE& source = codec.props().source;
    source.begin = header.data();
    source.size = static_cast<int32_t>(header.size());
    reset_byte_source(&source);
    source.eob_run = 9;
    SCAN_INFO scan{};
    ASSERT_EQ(start_scan(&codec.props(), &scan), STATUS_SUCCESS);
    EXPECT_EQ(scan.component_count, 2);
    EXPECT_EQ(scan.ss, 1);
    EXPECT_EQ(scan.se, 5);
    EXPECT_EQ(scan.ah, 2);
    EXPECT_EQ(scan.al, 1);
    EXPECT_EQ(source.eob_run, 0);
    EXPECT_EQ(codec.props().stage_table->scan_header_size, 12);
    EXPECT_EQ(scan.components[0].frame_index, 1);
    EXPECT_EQ(scan.components[0].dc_table, &codec.props().huff_tables[4 + 3]);
    EXPECT_EQ(scan.components[0].ac_table, &codec.props().huff_tables[1]);
    EXPECT_EQ(scan.components[1].ac_table, &codec.props().huff_tables[2]);
    EXPECT_EQ(scan.components[1].quant_table, &codec.props().quant_tables[0]);
    codec_free(scan.components);
}

}  // namespace
}  // namespace vantorel
