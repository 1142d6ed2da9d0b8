// Processor variants: the choice by family and feature flags, the USECPU override
// (the environment stands in for the registry off Windows), and the fill.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "codec/codec.h"

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

}  // namespace
}  // namespace vantorel
