// The processor-fault guard natively: a caller's bad pointer becomes a status
// (-1 at an operation's boundary, -30 for the comment buffer), guards nest, the
// record still closes, and faults outside every guard reach the handler that
// was installed before. Tests that fault on purpose are skipped under
// AddressSanitizer, which reports wild accesses itself.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "codec/fault_guard.h"

#if defined(__SANITIZE_ADDRESS__)
#define VT_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VT_UNDER_ASAN 1
#endif
#endif

#if defined(VT_UNDER_ASAN)
#define SKIP_UNDER_ASAN() GTEST_SKIP() << "faults on purpose; AddressSanitizer reports such accesses itself"
#else
#define SKIP_UNDER_ASAN() (void)0
#endif

namespace vantorel {
namespace {

const std::string kCorpus = VANTOREL_CORPUS_DIR;

// A page the process may not touch at all, or only read.
struct Page {
    explicit Page(int protection) {
        size = static_cast<size_t>(sysconf(_SC_PAGESIZE)) * 64;
        bytes = static_cast<uint8_t*>(mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        mprotect(bytes, size, protection);
    }
    ~Page() { munmap(bytes, size); }
    uint8_t* bytes;
    size_t size;
};

JPEG_STATUS write_through(void* context) {
    *static_cast<volatile uint8_t*>(context) = 1;
    return 7;
}

JPEG_STATUS nested(void* context) {
    JPEG_STATUS inner = 0;
    const bool completed = run_guarded(&write_through, context, &inner);
    return completed ? 100 : 200;  // the inner guard caught it; the outer one goes on
}

TEST(FaultGuard, RoutineThatCompletesReportsItsStatus) {
    uint8_t byte = 0;
    JPEG_STATUS status = 0;
    EXPECT_TRUE(run_guarded(&write_through, &byte, &status));
    EXPECT_EQ(status, 7);
    EXPECT_EQ(byte, 1);
}

TEST(FaultGuard, WriteToAnInaccessiblePageIsCaughtAndGuardsNest) {
    SKIP_UNDER_ASAN();
    Page page(PROT_NONE);
    JPEG_STATUS status = 0;
    EXPECT_FALSE(run_guarded(&write_through, page.bytes, &status));
    EXPECT_EQ(status, 0) << "a cut-short routine leaves the status alone";
    EXPECT_TRUE(run_guarded(&nested, page.bytes, &status));
    EXPECT_EQ(status, 200);
    // Again, to show the handler and the signal mask survive a caught fault.
    EXPECT_FALSE(run_guarded(&write_through, page.bytes, &status));
    uint8_t readable[4] = {1, 2, 3, 4};
    EXPECT_FALSE(copy_guarded(page.bytes, readable, sizeof readable));
    EXPECT_TRUE(copy_guarded(readable + 2, readable, 2));
    EXPECT_EQ(readable[3], 2);
}

void fault_outside_any_guard() {
    JPEG_STATUS status;
    uint8_t byte;
    run_guarded(&write_through, &byte, &status);  // the guard's handler is now installed
    *static_cast<volatile int*>(nullptr) = 1;
}

TEST(FaultGuardDeathTest, FaultOutsideAGuardStillEndsTheProcess) {
    SKIP_UNDER_ASAN();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(fault_outside_any_guard(), ::testing::KilledBySignal(SIGSEGV), "");
}

void on_earlier_handler(int) { _exit(42); }

TEST(FaultGuardDeathTest, FaultOutsideAGuardReachesTheEarlierHandler) {
    SKIP_UNDER_ASAN();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            // Installed before the guard's, in a fresh process.
            signal(SIGSEGV, &on_earlier_handler);
            fault_outside_any_guard();
        },
        ::testing::ExitedWithCode(42), "");
}

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// testorig.jpg with a COM segment right after SOI.
std::vector<uint8_t> stream_with_comment(const std::string& comment) {
    std::vector<uint8_t> file = read_file(kCorpus + "/libjpeg-turbo/testorig.jpg");
    if (file.size() < 4) return {};
    const size_t length = comment.size() + 2;
    std::vector<uint8_t> out{0xFF, 0xD8, 0xFF, 0xFE, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    out.insert(out.end(), comment.begin(), comment.end());
    out.insert(out.end(), file.begin() + 2, file.end());
    return out;
}

struct Record {
    Record() {
        std::memset(&record, 0, sizeof record);
        opened = open_codec(&record);
    }
    JPEG_RECORD record;
    JPEG_STATUS opened;
};

TEST(FaultGuard, CommentBufferOnAnInaccessiblePageGivesMinus30AndTheRecordCloses) {
    SKIP_UNDER_ASAN();
    std::vector<uint8_t> stream = stream_with_comment("the caller cannot take this");
    if (stream.empty()) GTEST_SKIP() << "corpus not found at " << kCorpus;
    Page page(PROT_NONE);
    auto r = std::make_unique<Record>();
    ASSERT_EQ(r->opened, STATUS_SUCCESS);
    r->record.props.jpeg_comment = page.bytes;
    r->record.props.jpeg_comment_size = 100;
    r->record.jpeg_buffer = stream.data();
    r->record.jpeg_buffer_size = static_cast<int32_t>(stream.size());
    EXPECT_EQ(read_image(&r->record, READ_PARAMS_BUFFER), STATUS_COMMENT_BUFFER_ERROR);
    EXPECT_EQ(close_codec(&r->record), STATUS_SUCCESS);
}

TEST(FaultGuard, DibOnAReadOnlyPageGivesMinus1ClosesTheFileAndTheRecordCloses) {
    SKIP_UNDER_ASAN();
    const std::string path = kCorpus + "/libjpeg-turbo/testorig.jpg";
    if (read_file(path).empty()) GTEST_SKIP() << "corpus not found at " << kCorpus;
    auto r = std::make_unique<Record>();
    ASSERT_EQ(r->opened, STATUS_SUCCESS);
    r->record.jpeg_path = path.c_str();
    ASSERT_EQ(read_image(&r->record, READ_PARAMS_FILE), STATUS_SUCCESS);
    const int32_t w = r->record.jpeg_width, h = r->record.jpeg_height, row = (w * 3 + 3) & ~3;
    Page page(PROT_READ);
    ASSERT_GE(page.size, static_cast<size_t>(row) * h);
    r->record.dib_pixels = page.bytes;
    r->record.dib_width = w;
    r->record.dib_height = h;
    r->record.dib_row_pad = row - w * 3;
    r->record.dib_channels = 3;
    r->record.dib_color = CS_BGR;
    r->record.jpeg_color = CS_YCBCR;
    const JPEG_STATUS status = read_image(&r->record, READ_IMAGE_FILE);
    if (status == STATUS_NOT_SUPPORTED) GTEST_SKIP() << "the codec does not decode whole images yet";
    EXPECT_EQ(status, STATUS_EXCEPTION_DETECTED);
    EXPECT_EQ(r->record.props.source.file, nullptr) << "the input file is closed after a fault";
    EXPECT_EQ(r->record.props.current_scan, nullptr);
    EXPECT_EQ(close_codec(&r->record), STATUS_SUCCESS);
}

TEST(FaultGuard, OpeningARecordTheCallerCannotWriteGivesMinus1) {
    SKIP_UNDER_ASAN();
    Page page(PROT_READ);
    ASSERT_GE(page.size, sizeof(JPEG_RECORD));
    EXPECT_EQ(open_codec(reinterpret_cast<JPEG_RECORD*>(page.bytes)), STATUS_EXCEPTION_DETECTED);
    EXPECT_EQ(close_codec(reinterpret_cast<JPEG_RECORD*>(page.bytes)), STATUS_EXCEPTION_DETECTED);
    Page none(PROT_NONE);
    EXPECT_EQ(close_codec(reinterpret_cast<JPEG_RECORD*>(none.bytes)), STATUS_EXCEPTION_DETECTED);
    EXPECT_EQ(read_image(reinterpret_cast<JPEG_RECORD*>(none.bytes), READ_PARAMS_FILE), STATUS_EXCEPTION_DETECTED);
}

}  // namespace
}  // namespace vantorel
