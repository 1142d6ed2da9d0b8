// The wide block decoders against the generic ones: block by block over random
// tables and hostile bit streams (stuffing, fill bytes, markers, early ends,
// codes longer than the lookahead), with the two families taking turns on one
// scan, and whole corpus images read with either family in the stage table.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "codec/decoder/decoder.h"
#include "support/reference_vantorel.h"

namespace vantorel {
namespace {

namespace fs = std::filesystem;

// A canonical table with `count` symbols whose code lengths are drawn from 2 to
// `longest` (by default up to 16, so the slow search is reached); the counts
// always fit their lengths. Symbols are random bytes, duplicates allowed.
HUFF_DECODE_TABLE random_table(std::mt19937& rng, uint32_t table_class, int longest = 16) {
    uint8_t counts[16] = {};
    std::vector<uint8_t> symbols;
    // Kraft budget in units of 2^-16: a code of length L uses 2^(16-L).
    int64_t budget = 1 << 16;
    const int wanted = 2 + static_cast<int>(rng() % 160);
    for (int i = 0; i < wanted; ++i) {
        const int length = 2 + static_cast<int>(rng() % static_cast<unsigned>(longest - 1));
        const int64_t cost = int64_t{1} << (16 - length);
        if (cost > budget) continue;
        budget -= cost;
        ++counts[length - 1];
        symbols.push_back(static_cast<uint8_t>(rng()));
    }
    // Symbols are listed by length in the segment.
    std::vector<uint8_t> ordered;
    size_t next = 0;
    for (int l = 0; l < 16; ++l)
        for (int c = 0; c < counts[l]; ++c) ordered.push_back(symbols[next++]);
    HUFF_DECODE_TABLE table{};
    EXPECT_EQ(build_huff_decode_table(counts, ordered.data(), table_class, 0, &table), STATUS_SUCCESS);
    return table;
}

// Entropy-coded-looking bytes: mostly random data with stuffed zeros, now and
// then fill bytes, and (when asked) a marker somewhere.
std::vector<uint8_t> random_stream(std::mt19937& rng, size_t size, bool with_marker) {
    std::vector<uint8_t> out;
    const size_t marker_at = with_marker ? rng() % size : size;
    while (out.size() < size) {
        uint8_t b = static_cast<uint8_t>(rng());
        if (out.size() >= marker_at) {
            out.push_back(0xFF);
            out.push_back(static_cast<uint8_t>(0xD0 + rng() % 8));
            break;
        }
        if (rng() % 40 == 0) b = 0xFF;
        out.push_back(b);
        if (b == 0xFF) {
            while (rng() % 4 == 0) out.push_back(0xFF);  // fill bytes
            out.push_back(0x00);
        }
    }
    return out;
}

struct Source {
    std::vector<uint8_t> bytes;
    BYTE_SOURCE source{};
    explicit Source(const std::vector<uint8_t>& data) : bytes(data) {
        source.begin = source.cur = bytes.data();
        source.end = bytes.data() + bytes.size();
        source.size = static_cast<int32_t>(bytes.size());
        source.avail = static_cast<uint32_t>(bytes.size());
    }
};

// The state a later block starts from must match, including the valid bits.
void expect_same_state(const BYTE_SOURCE& a, const BYTE_SOURCE& b, const std::string& where) {
    ASSERT_EQ(a.bit_count, b.bit_count) << where;
    if (a.bit_count > 0) {
        const uint64_t mask = a.bit_count >= 64 ? ~uint64_t{0} : (uint64_t{1} << a.bit_count) - 1;
        ASSERT_EQ(a.bit_acc & mask, b.bit_acc & mask) << where;
    }
    ASSERT_EQ(a.cur - a.begin, b.cur - b.begin) << where;
    ASSERT_EQ(a.avail, b.avail) << where;
    ASSERT_EQ(a.position, b.position) << where;
    ASSERT_EQ(a.pending_marker, b.pending_marker) << where;
}

using BlockRoutine = JPEG_STATUS (*)(BYTE_SOURCE*, const HUFF_DECODE_TABLE*, const HUFF_DECODE_TABLE*, int16_t*,
                                     int16_t*);

// Decodes `blocks` blocks with `reference` on one copy of the stream and with
// `pick(i)` on another, comparing everything after each block.
template <typename Pick>
void compare_runs(const std::vector<uint8_t>& stream, const HUFF_DECODE_TABLE& dc, const HUFF_DECODE_TABLE& ac,
                  BlockRoutine reference, Pick pick, int blocks, const std::string& label) {
    Source a(stream), b(stream);
    int16_t pa = 0, pb = 0;
    for (int i = 0; i < blocks; ++i) {
        int16_t ba[64], bb[64];
        std::memset(ba, 0x5A, sizeof ba);
        std::memset(bb, 0x5A, sizeof bb);
        const JPEG_STATUS sa = reference(&a.source, &dc, &ac, &pa, ba);
        const JPEG_STATUS sb = pick(i)(&b.source, &dc, &ac, &pb, bb);
        const std::string where = label + ", block " + std::to_string(i);
        ASSERT_EQ(sa, sb) << where;
        ASSERT_EQ(pa, pb) << where;
        ASSERT_EQ(0, std::memcmp(ba, bb, sizeof ba)) << where;
        expect_same_state(a.source, b.source, where);
        if (sa < 0) break;
    }
}

// Block decoding written plainly on the bit reader's primitives, one symbol
// and one fill at a time: what both block decoders must agree with.
JPEG_STATUS reference_block(BYTE_SOURCE* s, const HUFF_DECODE_TABLE* dc, const HUFF_DECODE_TABLE* ac,
                            int16_t* predictor, int16_t* block) {
    auto quiet = [](JPEG_STATUS status) -> JPEG_STATUS { return status > 0 ? STATUS_SUCCESS : status; };
    auto value = [s](int32_t size, int32_t* out) -> JPEG_STATUS {
        if (s->bit_count < size) {
            const JPEG_STATUS status = fill_bits(s, size);
            if (status != STATUS_SUCCESS) return status;
        }
        const int32_t v = static_cast<int32_t>(get_bits(s, size));
        *out = v >= (1 << (size - 1)) ? v : v - (1 << size) + 1;
        return STATUS_SUCCESS;
    };
    std::memset(block, 0, 64 * sizeof(int16_t));
    int32_t symbol = 0;
    JPEG_STATUS status = decode_huff_symbol(s, dc, &symbol);
    if (status != STATUS_SUCCESS) return quiet(status);
    if ((symbol & 15) != 0) {
        int32_t difference = 0;
        status = value(symbol & 15, &difference);
        if (status != STATUS_SUCCESS) return quiet(status);
        *predictor = static_cast<int16_t>(static_cast<uint16_t>(*predictor + difference));
    }
    block[0] = *predictor;
    for (int32_t k = 1; k < 64;) {
        status = decode_huff_symbol(s, ac, &symbol);
        if (status != STATUS_SUCCESS) break;
        const int32_t run = symbol >> 4, size = symbol & 15;
        if (size == 0) {
            if (run != 15) break;
            k += 16;
            continue;
        }
        int32_t v = 0;
        status = value(size, &v);
        if (status != STATUS_SUCCESS) break;
        k += run;
        block[natural_order[k]] = static_cast<int16_t>(v);
        ++k;
    }
    return quiet(status);
}

TEST(WideBlockDecode, BothFamiliesMatchASymbolBySymbolDecoder) {
    std::mt19937 rng(99);
    for (int round = 0; round < 300; ++round) {
        const HUFF_DECODE_TABLE dc = random_table(rng, 0);
        const HUFF_DECODE_TABLE ac = random_table(rng, 1);
        const std::vector<uint8_t> stream = random_stream(rng, 16 + rng() % 500, round % 4 == 0);
        const std::string label = "round " + std::to_string(round);
        compare_runs(
            stream, dc, ac, reference_block, [](int) { return &decode_block; }, 100, label + " generic");
        compare_runs(
            stream, dc, ac, reference_block, [](int) { return &decode_block_wide; }, 100, label + " wide");
        if (HasFatalFailure()) return;
    }
}

TEST(WideBlockDecode, MatchesTheGenericDecoderOnRandomTablesAndHostileStreams) {
    std::mt19937 rng(20261209);
    for (int round = 0; round < 400; ++round) {
        const HUFF_DECODE_TABLE dc = random_table(rng, 0);
        const HUFF_DECODE_TABLE ac = random_table(rng, 1);
        const std::vector<uint8_t> stream = random_stream(rng, 16 + rng() % 600, round % 3 == 0);
        const std::string label = "round " + std::to_string(round);
        compare_runs(
            stream, dc, ac, decode_block, [](int) { return &decode_block_wide; }, 120, label);
        compare_runs(
            stream, dc, ac, decode_block_dc_only, [](int) { return &decode_block_dc_only_wide; }, 120,
            label + " (DC only)");
        if (HasFatalFailure()) return;
    }
}

TEST(WideBlockDecode, EitherFamilyCanContinueAScanTheOtherBegan) {
    // Between blocks the bits are kept in one layout, so handing a scan from one
    // family to the other at any block, in either direction, changes nothing.
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        const HUFF_DECODE_TABLE dc = random_table(rng, 0);
        const HUFF_DECODE_TABLE ac = random_table(rng, 1);
        const std::vector<uint8_t> stream = random_stream(rng, 64 + rng() % 400, false);
        const uint32_t pattern = static_cast<uint32_t>(rng());
        const auto turns = [pattern](BlockRoutine generic, BlockRoutine wide) {
            return [=](int i) { return (pattern >> (i % 32)) & 1u ? wide : generic; };
        };
        const std::string label = "mixed round " + std::to_string(round);
        compare_runs(stream, dc, ac, decode_block, turns(decode_block, decode_block_wide), 80, label);
        compare_runs(stream, dc, ac, decode_block_dc_only, turns(decode_block_dc_only, decode_block_dc_only_wide), 80,
                     label + " (DC only)");
        if (HasFatalFailure()) return;
    }
}

// The joined decoder decodes and dequantises in one pass; after every block it
// must leave what the wide decoder followed by the dequantisation leaves. Its
// tables favour short codes so that most symbols take the joined look-up,
// while long codes, small counts before a refill, markers and early ends still
// send it to the plain steps. Quantisation steps go up to 16 bits, so the
// products wrap. Between blocks the scan may pass to the wide decoder.
TEST(WideBlockDecode, JoinedDecoderMatchesTheWideDecoderAndDequantisation) {
    std::mt19937 rng(4242);
    for (int round = 0; round < 400; ++round) {
        const HUFF_DECODE_TABLE dc = random_table(rng, 0, round % 2 == 0 ? 9 : 16);
        const HUFF_DECODE_TABLE ac = random_table(rng, 1, round % 2 == 0 ? 9 : 16);
        JOINED_HUFF_TABLE joined;
        build_joined_table(&ac, &joined);
        QUANT_VALUE quant[80];
        for (QUANT_VALUE& q : quant) q = round % 3 == 0 ? static_cast<QUANT_VALUE>(rng() % 65536) : 1 + rng() % 60;
        const std::vector<uint8_t> stream = random_stream(rng, 16 + rng() % 600, round % 3 == 0);
        const uint32_t pattern = round % 4 == 0 ? static_cast<uint32_t>(rng()) : ~0u;
        Source a(stream), b(stream);
        int16_t pa = 0, pb = 0;
        for (int i = 0; i < 120; ++i) {
            int16_t ba[64], bb[64];
            std::memset(ba, 0x5A, sizeof ba);
            std::memset(bb, 0x5A, sizeof bb);
            const JPEG_STATUS sa = decode_block_wide(&a.source, &dc, &ac, &pa, ba);
            if (sa >= 0) dequantize_direct(ba, quant);
            const bool join = ((pattern >> (i % 32)) & 1u) != 0;
            JPEG_STATUS sb;
            if (join) {
                sb = decode_block_joined(&b.source, &dc, &ac, &joined, quant, &pb, bb);
            } else {
                sb = decode_block_wide(&b.source, &dc, &ac, &pb, bb);
                if (sb >= 0) dequantize_direct(bb, quant);
            }
            const std::string where = "round " + std::to_string(round) + ", block " + std::to_string(i);
            ASSERT_EQ(sa, sb) << where;
            ASSERT_EQ(pa, pb) << where;
            if (sa >= 0) {
                ASSERT_EQ(0, std::memcmp(ba, bb, sizeof ba)) << where;
            }
            expect_same_state(a.source, b.source, where);
            if (sa < 0) break;
        }
    }
}

// ---------------------------------------------------------------------------
// Whole images with the block decoder of either family in the stage table.

struct Decoded {
    JPEG_STATUS status = STATUS_SUCCESS;
    std::vector<uint8_t> dib;
    int32_t position = 0;
};

Decoded decode_with(const std::string& path, bool file, bool wide) {
    Decoded out;
    auto record = std::make_unique<JPEG_RECORD>();
    std::memset(record.get(), 0, sizeof(JPEG_RECORD));
    if (open_codec(record.get()) != STATUS_SUCCESS) {
        out.status = STATUS_MEMORY_ERROR;
        return out;
    }
    JPEG_RECORD* r = record.get();
    std::vector<uint8_t> bytes;
    if (file) {
        r->jpeg_path = path.c_str();
    } else {
        FILE* f = std::fopen(path.c_str(), "rb");
        if (f != nullptr) {
            uint8_t chunk[4096];
            size_t n;
            while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
            std::fclose(f);
        }
        r->jpeg_buffer = bytes.data();
        r->jpeg_buffer_size = static_cast<int32_t>(bytes.size());
    }
    out.status = read_image(r, file ? READ_PARAMS_FILE : READ_PARAMS_BUFFER);
    const int32_t w = r->jpeg_width, h = r->jpeg_height;
    if (out.status != STATUS_SUCCESS || w <= 0 || h <= 0 || int64_t{w} * h > 4'000'000) {
        close_codec(r);
        return out;
    }
    const int32_t n = r->jpeg_channels;
    if (n == 1) r->jpeg_color = CS_GRAY;
    if (n == 3 && r->jpeg_color != CS_RGB) r->jpeg_color = CS_YCBCR;
    if (n == 4 && r->jpeg_color != CS_QUAD) r->jpeg_color = CS_YCC_QUAD;
    const int32_t channels = n == 4 ? 4 : 3;
    const int32_t row = (w * channels + 3) & ~3;
    out.dib.assign(static_cast<size_t>(row) * h, 0xA5);
    r->dib_pixels = out.dib.data();
    r->dib_width = w;
    r->dib_height = h;
    r->dib_channels = channels;
    r->dib_color = channels == 4 ? CS_QUAD : CS_BGR;
    r->dib_row_pad = row - w * channels;
    STAGE_TABLE* table = r->props.stage_table;
    table->decode_block = wide ? &decode_block_wide : &decode_block;
    table->decode_block_dc_only = wide ? &decode_block_dc_only_wide : &decode_block_dc_only;
    out.status = read_image(r, file ? READ_IMAGE_FILE : READ_IMAGE_BUFFER);
    out.position = r->props.source.position;
    close_codec(r);
    return out;
}

TEST(WideBlockDecode, CorpusImagesDecodeAlikeWithEitherFamily) {
    int compared = 0;
    for (const auto& entry : fs::recursive_directory_iterator(VANTOREL_CORPUS_DIR)) {
        if (!entry.is_regular_file()) continue;
        const std::string ext = entry.path().extension().string();
        if (ext != ".jpg" && ext != ".jpeg" && ext != ".JPG") continue;
        if (entry.file_size() > 3'000'000) continue;
        const std::string path = entry.path().string();
        for (bool file : {false, true}) {
            const Decoded generic = decode_with(path, file, false);
            const Decoded wide = decode_with(path, file, true);
            // A file that ends inside a scan is the one case the families
            // report differently (when the block decoder is the one that
            // meets the end).
            if (file && generic.status == STATUS_FILE_ERROR)
                EXPECT_TRUE(wide.status == STATUS_FILE_ERROR || wide.status == STATUS_ERROR_EOF) << path;
            else
                EXPECT_EQ(generic.status, wide.status) << path << (file ? " (file)" : " (memory)");
            EXPECT_EQ(generic.position, wide.position) << path;
            EXPECT_TRUE(generic.dib == wide.dib) << path << (file ? " (file)" : " (memory)");
            ++compared;
        }
    }
    EXPECT_GT(compared, 100);
}

TEST(WideBlockDecode, AFileEndingInsideTheScanGivesErrorEofWithTheSamePixels) {
    // The corpus photo cut in the middle of its scan data, read from a file.
    const std::string source = std::string(VANTOREL_CORPUS_DIR) + "/libjpeg-turbo/testorig.jpg";
    FILE* f = std::fopen(source.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> bytes(1 << 16);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
    std::fclose(f);
    ASSERT_GT(bytes.size(), 4000u);
    bytes.resize(bytes.size() * 2 / 3);
    const std::string cut = test::scratch_path("wide_cut.jpg");
    f = std::fopen(cut.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    const Decoded generic = decode_with(cut, true, false);
    const Decoded wide = decode_with(cut, true, true);
    std::remove(cut.c_str());
    EXPECT_EQ(generic.status, STATUS_FILE_ERROR);
    EXPECT_EQ(wide.status, STATUS_ERROR_EOF);
    EXPECT_TRUE(generic.dib == wide.dib);
}

}  // namespace
}  // namespace vantorel
