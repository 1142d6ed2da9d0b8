// The byte source: marker search across 4096-byte blocks, segment bodies in
// place or as one copy, skipping, and the ends of files and memory buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "codec/decoder/decoder.h"
#include "platform/files.h"
#include "support/front_streams.h"

namespace vantorel {
namespace {

using test::Codec;

// A byte source over a scratch file or a memory buffer, as the driver sets it up.
class Source : public ::testing::Test {
protected:
    void TearDown() override {
        if (source().file != nullptr) platform::close_file(source().file);
        source().file = nullptr;
    }
    BYTE_SOURCE& source() { return codec.props().source; }
    void over_file(const std::vector<uint8_t>& data) {
        path = test::write_scratch("source", data);
        source().file = platform::open_file(path.c_str(), false);
        ASSERT_NE(source().file, nullptr);
        source().position = 0;
        reset_byte_source(&source());
    }
    void over_memory(const std::vector<uint8_t>& data) {
        memory = data;
        source().file = nullptr;
        source().begin = memory.data();
        source().size = static_cast<int32_t>(memory.size());
        source().position = 0;
        reset_byte_source(&source());
    }
    int32_t next_marker() {
        int32_t code = -1;
        EXPECT_EQ(read_next_marker(&source(), &code), STATUS_SUCCESS);
        return code;
    }
    Codec codec;
    std::string path;
    std::vector<uint8_t> memory;
};

TEST_F(Source, FindsAMarkerWhoseCodeByteStartsTheNextBlock) {
    std::vector<uint8_t> data(4097, 0x11);
    data[4095] = 0xFF;
    data[4096] = 0xD9;
    over_file(data);
    EXPECT_EQ(next_marker(), 0xD9);
    EXPECT_EQ(source().position, 4097);
    EXPECT_EQ(source().avail, 0u);
}

TEST_F(Source, SkipsFillBytesAndStuffedZeros) {
    over_memory({0x12, 0xFF, 0x00, 0x34, 0xFF, 0xFF, 0xFF, 0xD9, 0x77});
    EXPECT_EQ(next_marker(), 0xD9);
    EXPECT_EQ(source().position, 8);
    EXPECT_EQ(*source().cur, 0x77);
}

TEST_F(Source, DeliversA5000ByteSegmentAsOneCopyAndGoesOnAfterIt) {
    test::StreamBuilder s;
    std::vector<uint8_t> body(4998);
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<uint8_t>(i * 7 + 3);
    s.soi().segment(0xE1, body).eoi();
    over_file(s.data());
    EXPECT_EQ(next_marker(), 0xD8);
    EXPECT_EQ(next_marker(), 0xE1);
    uint32_t length = 0;
    ASSERT_EQ(read_be16(&source(), &length), STATUS_SUCCESS);
    EXPECT_EQ(length, 5000u);
    const uint8_t* bytes = nullptr;
    uint8_t* copy = nullptr;
    int32_t copied = 0;
    ASSERT_EQ(read_segment_bytes(&source(), 4998, &bytes, &copy, &copied), STATUS_SUCCESS);
    EXPECT_EQ(copied, 1);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(bytes, copy);
    EXPECT_EQ(std::memcmp(bytes, body.data(), body.size()), 0);
    codec_free(copy);
    EXPECT_EQ(source().position, 5004);
    EXPECT_EQ(next_marker(), 0xD9);
}

TEST_F(Source, UsesABodyInPlaceWhenTheBufferHoldsIt) {
    over_memory({0x01, 0x02, 0x03, 0x04});
    const uint8_t* bytes = nullptr;
    uint8_t* copy = nullptr;
    int32_t copied = 0;
    ASSERT_EQ(read_segment_bytes(&source(), 3, &bytes, &copy, &copied), STATUS_SUCCESS);
    EXPECT_EQ(bytes, memory.data());
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(copied, 0);
    EXPECT_EQ(source().avail, 1u);
}

TEST_F(Source, SkipsASegmentLongerThanTheBufferByItsLength) {
    test::StreamBuilder s;
    std::vector<uint8_t> body(10000, 0xFF);  // marker-like bytes inside are never looked at
    s.segment(0xE2, body).marker(0xC4);
    over_file(s.data());
    EXPECT_EQ(next_marker(), 0xE2);
    ASSERT_EQ(skip_segment(&source()), STATUS_SUCCESS);
    EXPECT_EQ(next_marker(), 0xC4);
}

TEST_F(Source, SegmentLengthBelowTwoIsADataError) {
    over_memory({0x00, 0x00, 0x00, 0x01});
    EXPECT_EQ(skip_segment(&source()), STATUS_DATA_ERROR);
    EXPECT_EQ(skip_segment(&source()), STATUS_DATA_ERROR);
}

TEST_F(Source, BodyCutShortIsADataErrorFromMemoryAndFromAFile) {
    over_memory({0x00, 0x10, 0x01, 0x02});
    EXPECT_EQ(skip_segment(&source()), STATUS_DATA_ERROR);

    std::vector<uint8_t> data(5000, 0x42);  // the body announced below runs past the end of the file
    data[0] = 0x20;
    data[1] = 0x00;
    over_file(data);
    uint32_t length = 0;
    ASSERT_EQ(read_be16(&source(), &length), STATUS_SUCCESS);
    const uint8_t* bytes = nullptr;
    uint8_t* copy = nullptr;
    int32_t copied = 0;
    EXPECT_EQ(read_segment_bytes(&source(), length - 2, &bytes, &copy, &copied), STATUS_DATA_ERROR);
    EXPECT_EQ(copy, nullptr);  // freed on failure (the leak checker would say otherwise)
}

TEST_F(Source, EndOfDataWhileSeekingAMarker) {
    over_memory({0x12, 0x34, 0x56});  // entropy data without a marker after it
    EXPECT_EQ(seek_next_marker(&source()), STATUS_MEMORY_ERROR);
    over_memory({0x12, 0xFF});  // ends right after a 0xFF
    EXPECT_EQ(seek_next_marker(&source()), STATUS_MEMORY_ERROR);
    over_file({0x12, 0x34, 0xFF, 0x00});
    EXPECT_EQ(seek_next_marker(&source()), STATUS_FILE_ERROR);
}

TEST_F(Source, TakingMoreThanABlockAtOnceIsAnInternalError) {
    over_file(std::vector<uint8_t>(9000, 1));
    const uint8_t* bytes = nullptr;
    EXPECT_EQ(take_bytes(&source(), 4097, &bytes), STATUS_INTERNAL_ERROR);
    EXPECT_EQ(bytes, nullptr);
    over_memory({1, 2});
    EXPECT_EQ(take_bytes(&source(), 3, &bytes), STATUS_MEMORY_ERROR);
}

TEST_F(Source, AFailedFileReadStopsLikeTheEndOfTheFile) {
    over_file(std::vector<uint8_t>(100, 0x55));
    const uint8_t* bytes = nullptr;
    ASSERT_EQ(take_bytes(&source(), 100, &bytes), STATUS_SUCCESS);
    // Swap in a handle whose reads fail (a directory): the old block's bytes must
    // not be delivered again.
    platform::close_file(source().file);
    source().file = platform::open_file(VANTOREL_BINARY_DIR, false);
    ASSERT_NE(source().file, nullptr);
    const uint8_t* cur = source().cur;
    EXPECT_EQ(fill_input_buffer(&source()), STATUS_FILE_ERROR);
    EXPECT_EQ(source().cur, cur);
    EXPECT_EQ(source().avail, 0u);
    EXPECT_EQ(take_bytes(&source(), 1, &bytes), STATUS_FILE_ERROR);
    EXPECT_EQ(seek_next_marker(&source()), STATUS_FILE_ERROR);
    source().bit_count = 0;
    EXPECT_EQ(fill_bits(&source(), 8), STATUS_FILE_ERROR);
    EXPECT_EQ(source().bit_count, 0);
}

TEST_F(Source, PendingMarkerIsDeliveredWithoutReadingAndOnlyOnce) {
    over_memory({0xFF, 0xC4});
    source().pending_marker = 0xD0;
    EXPECT_EQ(next_marker(), 0xD0);
    EXPECT_EQ(source().position, 0);
    EXPECT_EQ(next_marker(), 0xC4);
}

TEST_F(Source, RewindStartsTheFileAndTheBufferAgain) {
    over_file({0xFF, 0xD8, 0xFF, 0xD9});
    EXPECT_EQ(next_marker(), 0xD8);
    EXPECT_EQ(next_marker(), 0xD9);
    ASSERT_EQ(rewind_byte_source(&codec.props()), STATUS_SUCCESS);
    EXPECT_EQ(source().position, 0);
    EXPECT_EQ(next_marker(), 0xD8);
}

}  // namespace
}  // namespace vantorel
