// Huffman decoding: building decode tables, the bit reader over stuffed bytes,
// fill bytes and markers, symbol decoding and the two generic block decoders.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "codec/decoder/decoder.h"
#include "support/front_streams.h"

namespace vantorel {
namespace {

using test::BitWriter;

TEST(HuffmanConstants, NaturalOrderIsTheZigZagWalkWithGuards) {
    // Walk the anti-diagonals, alternating direction, as the format defines it.
    int32_t expected[64];
    int32_t k = 0;
    for (int32_t d = 0; d < 15; ++d) {
        for (int32_t i = 0; i <= d; ++i) {
            const int32_t row = d % 2 == 0 ? d - i : i;
            const int32_t col = d - row;
            if (row < 8 && col < 8) expected[k++] = row * 8 + col;
        }
    }
    ASSERT_EQ(k, 64);
    for (int32_t i = 0; i < 64; ++i) EXPECT_EQ(natural_order[i], expected[i]) << i;
    for (int32_t i = 64; i < 80; ++i) EXPECT_EQ(natural_order[i], 63);
    for (int32_t s = 0; s < 16; ++s) EXPECT_EQ(extend_offset[s], 1 - (1 << s)) << s;
}

class HuffTable : public ::testing::Test {
protected:
    JPEG_STATUS build(std::vector<uint8_t> counts, const std::vector<uint8_t>& symbols) {
        counts.resize(16, 0);
        return build_huff_decode_table(counts.data(), symbols.data(), 1, 2, &table);
    }
    HUFF_DECODE_TABLE table{};
};

TEST_F(HuffTable, Accepts257CodesAndRejects258) {
    std::vector<uint8_t> symbols(258, 0x11);
    // 257 codes of lengths 9 and 16 fit: 255 of 9 bits, then 2 of 16 bits.
    EXPECT_EQ(build({0, 0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0, 0, 0, 0, 2}, symbols), STATUS_SUCCESS);
    EXPECT_EQ(build({0, 0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0, 0, 0, 0, 3}, symbols), STATUS_BAD_HUFFMAN_TABLE);
}

TEST_F(HuffTable, RejectsCountsThatDoNotFitTheirLengthsWithoutTouchingTheLookahead) {
    std::vector<uint8_t> symbols(16, 0x22);
    EXPECT_EQ(build({3}, symbols), STATUS_BAD_HUFFMAN_TABLE);              // three 1-bit codes
    EXPECT_EQ(build({1, 2, 2}, symbols), STATUS_BAD_HUFFMAN_TABLE);        // 0, 10, 11 leave no 3-bit code
    for (uint32_t entry : table.lookahead) EXPECT_EQ(entry, 0u);
    EXPECT_EQ(build({2}, symbols), STATUS_SUCCESS);                        // two 1-bit codes fill it exactly
    EXPECT_EQ(table.lookahead[255], (1u << 16) | 0x22);
}

TEST_F(HuffTable, ShortCodesFillTheLookaheadAndLongOnesLeaveItEmpty) {
    // Codes: 000 -> 0x05 (3 bits), then 9-bit codes 001000000 onwards.
    std::vector<uint8_t> counts(16, 0);
    counts[2] = 1;
    counts[8] = 3;
    std::vector<uint8_t> symbols = {0x05, 0x31, 0x32, 0x33};
    ASSERT_EQ(build(counts, symbols), STATUS_SUCCESS);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(table.lookahead[i], (3u << 16) | 0x05) << i;
    for (int i = 32; i < 256; ++i) EXPECT_EQ(table.lookahead[i], 0u) << i;
    EXPECT_EQ(table.max_code[1], -1);
    EXPECT_EQ(table.max_code[4], -1);
    EXPECT_EQ(table.max_code[3], 0);
    EXPECT_EQ(table.min_code[9], 0b001000000);
    EXPECT_EQ(table.max_code[9], 0b001000010);
    EXPECT_EQ(table.max_code[17], -1);

    // The third 9-bit code decodes through the slow search.
    std::vector<uint8_t> data = BitWriter().put(0b001000010, 9).put(0b000, 3).finish();
    BYTE_SOURCE source{};
    source.cur = data.data();
    source.end = data.data() + data.size();
    source.avail = static_cast<uint32_t>(data.size());
    int32_t symbol = -1;
    ASSERT_EQ(decode_huff_symbol(&source, &table, &symbol), STATUS_SUCCESS);
    EXPECT_EQ(symbol, 0x33);
    ASSERT_EQ(decode_huff_symbol(&source, &table, &symbol), STATUS_SUCCESS);
    EXPECT_EQ(symbol, 0x05);
}

// A bit reader over memory bytes, with the small tables of the grey test
// streams: DC "00" -> 0, "01" -> 8; a fuller AC table built per test.
class BitReader : public ::testing::Test {
protected:
    void over(const std::vector<uint8_t>& data) {
        bytes = data;
        source = BYTE_SOURCE{};
        source.cur = source.begin = bytes.data();
        source.end = bytes.data() + bytes.size();
        source.avail = static_cast<uint32_t>(bytes.size());
    }
    uint32_t bits(int32_t n) {
        EXPECT_GE(fill_bits(&source, n), 0);
        return get_bits(&source, n);
    }
    std::vector<uint8_t> bytes;
    BYTE_SOURCE source{};
};

TEST_F(BitReader, StuffedZeroAndFillBytesGiveOneDataByte) {
    over({0xFF, 0x00, 0x12, 0xFF, 0xFF, 0xFF, 0x00, 0x34});
    EXPECT_EQ(bits(8), 0xFFu);
    EXPECT_EQ(bits(8), 0x12u);
    EXPECT_EQ(bits(8), 0xFFu);
    EXPECT_EQ(bits(8), 0x34u);
    EXPECT_EQ(source.pending_marker, 0);
}

TEST_F(BitReader, AMarkerInsideDataStopsTheReaderAndIsKept) {
    over({0xAB, 0xFF, 0xFF, 0xD3, 0x99});
    EXPECT_EQ(fill_bits(&source, 16), MARKER_REACHED);
    EXPECT_EQ(source.pending_marker, 0xD3);
    EXPECT_EQ(source.bit_count, 8);
    EXPECT_EQ(get_bits(&source, 8), 0xABu);
    EXPECT_EQ(*source.cur, 0x99);  // both marker bytes consumed, nothing after them
}

TEST_F(BitReader, MemoryRunningOutReadsZerosButAfterA0xFFItIsADataError) {
    over({0xF0});
    EXPECT_EQ(fill_bits(&source, 16), STATUS_SUCCESS);
    EXPECT_EQ(get_bits(&source, 16), 0xF000u);
    for (int i = 0; i < 100000; ++i) ASSERT_EQ(bits(16), 0u);  // never wraps, never errors
    over({0x12, 0xFF});
    EXPECT_EQ(fill_bits(&source, 16), STATUS_DATA_ERROR);
}

class BlockDecode : public BitReader {
protected:
    void SetUp() override {
        const uint8_t dc_counts[16] = {0, 3};  // 00 -> 0, 01 -> 0x13 (size 3), 10 -> 8
        const uint8_t dc_symbols[] = {0x00, 0x13, 0x08};
        ASSERT_EQ(build_huff_decode_table(dc_counts, dc_symbols, 0, 0, &dc), STATUS_SUCCESS);
        // AC: 00 -> EOB, 01 -> 0x01, 100 -> 0xF0 (ZRL), 101 -> 0xF1, 110 -> 0x22
        const uint8_t ac_counts[16] = {0, 2, 3};
        const uint8_t ac_symbols[] = {0x00, 0x01, 0xF0, 0xF1, 0x22};
        ASSERT_EQ(build_huff_decode_table(ac_counts, ac_symbols, 1, 0, &ac), STATUS_SUCCESS);
    }
    HUFF_DECODE_TABLE dc{}, ac{};
    int16_t block[64];
    int16_t predictor = 0;
};

TEST_F(BlockDecode, DcDifferencesAddToThePredictorAndAcValuesLandInNaturalOrder) {
    // DC: size 8, bits 0x80 (128). AC: 0x01 with bit 1 (+1) at zig-zag 1; 0x22
    // (run 2, size 2) with bits 01 (-2) at zig-zag 4; ZRL to 21; 0x01 with bit 0
    // (-1) at zig-zag 21; EOB.
    over(BitWriter()
             .put(0b10, 2).put(0x80, 8)
             .put(0b01, 2).put(1, 1)
             .put(0b110, 3).put(0b01, 2)
             .put(0b100, 3)
             .put(0b01, 2).put(0, 1)
             .put(0b00, 2)
             .finish());
    predictor = 10;
    ASSERT_EQ(decode_block(&source, &dc, &ac, &predictor, block), STATUS_SUCCESS);
    EXPECT_EQ(predictor, 138);
    EXPECT_EQ(block[0], 138);
    EXPECT_EQ(block[natural_order[1]], 1);
    EXPECT_EQ(block[natural_order[4]], -2);
    EXPECT_EQ(block[natural_order[21]], -1);
    int nonzero = 0;
    for (int16_t c : block) nonzero += c != 0;
    EXPECT_EQ(nonzero, 4);
}

TEST_F(BlockDecode, ZeroDcSymbolRepeatsThePredictorAndHighBitsOfTheSizeAreIgnored) {
    over(BitWriter().put(0b00, 2).put(0b00, 2).put(0b01, 2).put(0b110, 3).put(0b00, 2).finish());
    predictor = -5;
    ASSERT_EQ(decode_block(&source, &dc, &ac, &predictor, block), STATUS_SUCCESS);
    EXPECT_EQ(block[0], -5);
    ASSERT_EQ(decode_block(&source, &dc, &ac, &predictor, block), STATUS_SUCCESS);
    EXPECT_EQ(predictor, 1);  // symbol 0x13 is size 3: bits 110 are +6
}

TEST_F(BlockDecode, DcPredictorWrapsAt16Bits) {
    over(BitWriter().put(0b10, 2).put(0xFF, 8).put(0b00, 2).finish());
    predictor = 32700;
    ASSERT_EQ(decode_block(&source, &dc, &ac, &predictor, block), STATUS_SUCCESS);
    EXPECT_EQ(predictor, static_cast<int16_t>(32700 + 255 - 65536));
}

TEST_F(BlockDecode, ARunPastTheEndWritesCoefficient63AndStops) {
    // Three ZRLs reach zig-zag 49, then 0xF1 (run 15, size 1) at 49 + 15 = 64.
    over(BitWriter().put(0b00, 2).put(0b100, 3).put(0b100, 3).put(0b100, 3).put(0b101, 3).put(1, 1).finish());
    ASSERT_EQ(decode_block(&source, &dc, &ac, &predictor, block), STATUS_SUCCESS);
    EXPECT_EQ(block[63], 1);
    EXPECT_EQ(source.pending_marker, 0);
}

TEST_F(BlockDecode, AMarkerMidBlockKeepsWhatWasDecodedAndLaterBlocksStayZero) {
    std::vector<uint8_t> data = BitWriter().put(0b10, 2).put(0x81, 8).put(0b01, 2).put(1, 1).finish();
    data.resize(2);  // cut after the first AC coefficient's bits are complete
    data.insert(data.end(), {0xFF, 0xD1});
    over(data);
    ASSERT_EQ(decode_block(&source, &dc, &ac, &predictor, block), STATUS_SUCCESS);
    EXPECT_EQ(block[0], 129);
    EXPECT_EQ(block[1], 1);
    EXPECT_EQ(source.pending_marker, 0xD1);
    predictor = 7;
    ASSERT_EQ(decode_block(&source, &dc, &ac, &predictor, block), STATUS_SUCCESS);
    for (int16_t c : block) EXPECT_EQ(c, 0);
    EXPECT_EQ(predictor, 7);
}

TEST_F(BlockDecode, DcOnlyDecodingKeepsThePredictorInStepAndWritesOnlyTheDc) {
    const std::vector<uint8_t> data = BitWriter()
                                          .put(0b10, 2).put(0x90, 8).put(0b110, 3).put(0b11, 2).put(0b00, 2)
                                          .put(0b01, 2).put(0b100, 3).put(0b00, 2)
                                          .finish();
    over(data);
    int16_t full_predictor = 0;
    ASSERT_EQ(decode_block(&source, &dc, &ac, &full_predictor, block), STATUS_SUCCESS);
    ASSERT_EQ(decode_block(&source, &dc, &ac, &full_predictor, block), STATUS_SUCCESS);
    const int32_t full_position = source.position;

    over(data);
    int16_t skipped[64];
    for (int16_t& c : skipped) c = 0x5555;
    ASSERT_EQ(decode_block_dc_only(&source, &dc, &ac, &predictor, skipped), STATUS_SUCCESS);
    EXPECT_EQ(skipped[0], 144);
    EXPECT_EQ(skipped[5], 0x5555);
    ASSERT_EQ(decode_block_dc_only(&source, &dc, &ac, &predictor, skipped), STATUS_SUCCESS);
    EXPECT_EQ(predictor, full_predictor);
    EXPECT_EQ(source.position, full_position);
}

TEST_F(BlockDecode, ANeverDefinedTableTerminatesAndStaysInBounds) {
    const HUFF_DECODE_TABLE empty{};
    std::vector<uint8_t> data(64);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 37 + 11);
    data.erase(std::remove(data.begin(), data.end(), 0xFF), data.end());
    over(data);
    for (int b = 0; b < 200; ++b) ASSERT_EQ(decode_block(&source, &empty, &empty, &predictor, block), STATUS_SUCCESS);
}

}  // namespace
}  // namespace vantorel
