// Processor variants: the choice by family and feature flags, the USECPU override
// (the environment stands in for the registry off Windows), and the fill.
#include "platform/processor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "codec/codec.h"
#include "codec/decoder/x86/x86_stages.h"

namespace vantorel {
namespace {

constexpr uint32_t kPacked64 = 1u << 23;
constexpr uint32_t kVector1 = 1u << 25;
constexpr uint32_t kVector2 = 1u << 26;

TEST(VariantChoice, FollowsFamilyAndFeatureFlags) {
    EXPECT_EQ(variant_for_processor(5, kPacked64), 3);
    EXPECT_EQ(variant_for_processor(5, 0), 1);
    EXPECT_EQ(variant_for_processor(6, kPacked64), 4);
    EXPECT_EQ(variant_for_processor(6, kPacked64 | kVector1), 5);
    EXPECT_EQ(variant_for_processor(6, kVector1), 2);
    EXPECT_EQ(variant_for_processor(15, kVector2), 6);
    EXPECT_EQ(variant_for_processor(15, kPacked64 | kVector1), 0);
    EXPECT_EQ(variant_for_processor(0, 0xFFFFFFFFu), 0);  // no CPUID: generic
    EXPECT_EQ(variant_for_processor(7, kPacked64 | kVector1 | kVector2), 0);
}

class Override : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("VANTOREL_USECPU");
        had_ = old != nullptr;
        if (had_) saved_ = old;
    }
    void TearDown() override {
        if (had_)
            setenv("VANTOREL_USECPU", saved_.c_str(), 1);
        else
            unsetenv("VANTOREL_USECPU");
    }
    int32_t variant_after_open() {
        auto record = std::make_unique<JPEG_RECORD>();
        std::memset(record.get(), 0, sizeof(JPEG_RECORD));
        EXPECT_EQ(open_codec(record.get()), STATUS_SUCCESS);
        int32_t v = record->props.processor_variant;
        EXPECT_EQ(record->props.processor_variant_copy, v);
        EXPECT_EQ(record->props.stage_table->finish_request != nullptr, true);
        close_codec(record.get());
        return v;
    }
    bool had_ = false;
    std::string saved_;
};

TEST_F(Override, ValuesZeroToSixForceTheVariant) {
    for (int v = 0; v <= 6; ++v) {
        setenv("VANTOREL_USECPU", std::to_string(v).c_str(), 1);
        EXPECT_EQ(variant_after_open(), v);
    }
}

TEST_F(Override, OtherValuesFallBackToDetection) {
    unsetenv("VANTOREL_USECPU");
    const int32_t detected = variant_after_open();
    for (const char* value : {"7", "-1", "junk", ""}) {
        setenv("VANTOREL_USECPU", value, 1);
        EXPECT_EQ(variant_after_open(), detected) << value;
    }
}

TEST(StageTable, GenericFillLeavesPerScanWordsEmptyAndCopiesTheActiveOnes) {
    STAGE_TABLE table{};
    fill_stage_table(&table, 0);
    EXPECT_EQ(table.active_idct_8x8, nullptr);
    EXPECT_EQ(table.active_output_driver, nullptr);
    EXPECT_EQ(table.active_input_conversion, nullptr);
    EXPECT_EQ(table.active_dequantize, table.dequantize_scaled);
    EXPECT_EQ(table.active_quantize, table.quantize_a);
    EXPECT_NE(table.decode_block, nullptr);
    EXPECT_NE(table.output_kernel_59, nullptr);
    // Every other routine word holds a routine: the write side's words too.
    void* words[69];
    std::memcpy(words, &table, sizeof words);
    for (int w = 6; w < 69; ++w) {
        if (w == 17 || (w >= 18 && w <= 21) || w == 24 || w == 40) continue;
        EXPECT_NE(words[w], nullptr) << "word " << w;
    }
}

#if defined(__i386__) || defined(__x86_64__)

TEST(ProcessorQuery, SubleafFormAnswersLikeThePlainOneAndStopsAtTheHighestLeaf) {
    uint32_t plain[4], sub[4];
    ASSERT_TRUE(platform::run_cpuid(0, plain));
    const uint32_t highest = plain[0];
    ASSERT_GE(highest, 1u);
    ASSERT_TRUE(platform::run_cpuid_subleaf(1, 0, sub));
    ASSERT_TRUE(platform::run_cpuid(1, plain));
    // EBX bits 24-31 name the core the thread runs on, which may change between
    // the two questions.
    EXPECT_EQ(sub[0], plain[0]);
    EXPECT_EQ(sub[1] & 0x00FFFFFFu, plain[1] & 0x00FFFFFFu);
    EXPECT_EQ(sub[2], plain[2]);
    EXPECT_EQ(sub[3], plain[3]);
    uint32_t beyond[4] = {1, 2, 3, 4};
    EXPECT_FALSE(platform::run_cpuid_subleaf(highest + 1, 0, beyond));
    EXPECT_EQ(beyond[0] | beyond[1] | beyond[2] | beyond[3], 0u);
    EXPECT_FALSE(platform::run_cpuid_subleaf(0x7FFFFFFFu, 3, beyond));
}

// XCR0 is read only where the system enabled the instruction; what it enables
// is what the processor can save (leaf 0xD subleaf 0), and the 256-bit upper
// halves, when saved, take 256 bytes (leaf 0xD subleaf 2): the subleaf reaches
// the processor.
TEST(ProcessorQuery, SavedRegisterStateAgreesWithTheProcessor) {
    uint32_t leaf1[4];
    ASSERT_TRUE(platform::run_cpuid(1, leaf1));
    const bool osxsave = ((leaf1[2] >> 27) & 1u) != 0;
    uint64_t xcr0 = 0xDEAD;
    ASSERT_EQ(platform::read_xcr0(&xcr0), osxsave);
    if (!osxsave) {
        EXPECT_EQ(xcr0, 0u);
        GTEST_SKIP() << "the system does not enable XGETBV";
    }
    EXPECT_EQ(xcr0 & 1u, 1u);  // the x87 state is always saved
    uint32_t state[4];
    ASSERT_TRUE(platform::run_cpuid_subleaf(0xD, 0, state));
    const uint64_t supported = (static_cast<uint64_t>(state[3]) << 32) | state[0];
    EXPECT_EQ(xcr0 & ~supported, 0u);
    if (xcr0 & 4u) {
        ASSERT_TRUE(platform::run_cpuid_subleaf(0xD, 2, state));
        EXPECT_EQ(state[0], 256u);
        EXPECT_EQ(state[1], 576u);  // after the 512-byte legacy area and the 64-byte header
    }
}

// The table fill's decision from these queries is the run-time library's own.
TEST(ProcessorQuery, WideBodiesAllowedExactlyWhereTheRuntimeSaysSo) {
    uint32_t leaf1[4], leaf7[4];
    ASSERT_TRUE(platform::run_cpuid(1, leaf1));
    if (!platform::run_cpuid_subleaf(7, 0, leaf7)) leaf7[1] = 0;
    uint64_t xcr0 = 0;
    platform::read_xcr0(&xcr0);
    EXPECT_EQ(x86::avx2_reported(leaf1[2], xcr0, leaf7[1]), __builtin_cpu_supports("avx2") != 0);
}

#endif

}  // namespace
}  // namespace vantorel
