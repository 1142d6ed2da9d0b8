// Fuzz target over the file request kinds. The stream is written to a scratch
// file and read through the codec's own 4096-byte input buffer, so every path
// that refills, copies a segment that straddles the buffer, seeks back after a
// parameters request or seeks to a row of the region index is reached. The first
// 12 bytes choose the request as in the memory target; two of them also choose
// how far an inserted padding segment shifts the stream against the buffer
// boundaries, so the same headers and scans are met at every buffer offset, and
// three bits of the last one choose the processor variant index.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "fuzz_common.h"

namespace {

using namespace vantorel;
using namespace vantorel::fuzz;


// One scratch file per process, removed when the process ends (libFuzzer's
// parallel jobs are separate processes, so they never share it).
const char* scratch_path() {
    static std::string path;
    if (path.empty()) {
        const char* folder = std::getenv("TMPDIR");
        std::string pattern = std::string(folder != nullptr && *folder ? folder : "/tmp") + "/vantorel-fuzz-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        const int fd = mkstemp(name.data());
        if (fd < 0) std::abort();
        close(fd);
        path = name.data();
        std::atexit([] { std::remove(path.c_str()); });
    }
    return path.c_str();
}

void write_scratch(const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(scratch_path(), "wb");
    if (f == nullptr) std::abort();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
    std::fclose(f);
}

// The stream with a padding segment of `shift` bytes after its SOI, so that what
// follows lands `shift` bytes later against the 4096-byte buffer boundaries.
std::vector<uint8_t> shifted_stream(const uint8_t* data, size_t size, uint32_t shift) {
    std::vector<uint8_t> out;
    if (shift < 4 || size < 2 || data[0] != 0xFF || data[1] != 0xD8) {
        out.assign(data, data + size);
        return out;
    }
    out.reserve(size + shift);
    out.insert(out.end(), data, data + 2);
    const uint32_t length = shift - 2;  // the marker's two bytes are part of the shift
    out.push_back(0xFF);
    out.push_back(0xEF);  // APP15: skipped by its length
    out.push_back(static_cast<uint8_t>(length >> 8));
    out.push_back(static_cast<uint8_t>(length));
    out.insert(out.end(), shift - 4, 0xA5);
    out.insert(out.end(), data + 2, data + size);
    return out;
}

std::unique_ptr<JPEG_RECORD> opened_record() {
    auto record = std::make_unique<JPEG_RECORD>();
    std::memset(record.get(), 0, sizeof(JPEG_RECORD));
    if (open_codec(record.get()) != STATUS_SUCCESS) return nullptr;
    record->jpeg_path = scratch_path();
    return record;
}

void run_request(const uint8_t* header) {
    auto record = opened_record();
    if (!record) return;
    JPEG_RECORD* r = record.get();
    uint8_t comment[64];
    r->props.jpeg_comment = comment;
    r->props.jpeg_comment_size = header[10] & 63;

    const int kind_choice = header[0] % 6;
    if (kind_choice < 3) {
        static const IO_MODE kinds[3] = {READ_PARAMS_FILE, READ_TABLES_FILE, READ_THUMBNAIL_FILE};
        std::vector<uint8_t> dib(64 * 64 * 3 + 64);
        r->dib_pixels = dib.data();
        r->dib_width = 1 + header[1] % 64;
        r->dib_height = 1 + header[2] % 64;
        r->dib_channels = 3;
        r->dib_color = (header[3] & 1) ? CS_RGB : CS_BGR;
        const JPEG_STATUS status = read_image(r, kinds[kind_choice]);
        // A thumbnail or parameters request leaves the file open at the first
        // scan; a scans request continues from there with the tables it read.
        if (status == STATUS_SUCCESS && kind_choice != 1 && (header[4] & 32) && r->jpeg_width > 0 &&
            r->jpeg_height > 0 && r->jpeg_width <= 64 && r->jpeg_height <= 64) {
            r->dib_width = r->jpeg_width;
            r->dib_height = r->jpeg_height;
            r->dib_color = CS_OTHER;
            r->jpeg_color = CS_OTHER;
            r->dib_channels = r->jpeg_channels;
            std::vector<uint8_t> pixels(static_cast<size_t>(r->dib_width) * r->dib_channels * r->dib_height);
            r->dib_pixels = pixels.data();
            read_image(r, READ_SCANS_FILE);
        }
        close_codec(r);
        return;
    }

    if (read_image(r, READ_PARAMS_FILE) != STATUS_SUCCESS || r->jpeg_width <= 0 || r->jpeg_height <= 0) {
        close_codec(r);
        return;
    }
    static const IO_MODE image_kinds[4] = {READ_IMAGE_FILE, READ_IMAGE_HALF_FILE, READ_IMAGE_QUARTER_FILE,
                                           READ_IMAGE_EIGHTH_FILE};
    const int scale_index = header[1] % 4;
    const int32_t scale = 1 << scale_index;
    const Layout layout = kLayouts[header[2] % 8];
    r->dib_color = layout.color;
    r->dib_channels = layout.color == CS_OTHER ? r->jpeg_channels : layout.channels;
    if (layout.color == CS_OTHER) r->jpeg_color = CS_OTHER;
    if (r->dib_channels < 1 || r->dib_channels > 4) r->dib_channels = 3;
    r->dib_row_pad = header[3] % 4;

    const int32_t full_width = (r->jpeg_width + scale - 1) / scale;
    const int32_t full_height = (r->jpeg_height + scale - 1) / scale;
    int32_t width = full_width;
    int32_t height = full_height;
    MCU_RECT regions[2] = {{0, 0, 0, 0}, {0, 0, 0, 0}};
    if (width > kMaxDibSide || height > kMaxDibSide) {
        regions[0].right = width < kMaxDibSide ? width : kMaxDibSide;
        regions[0].bottom = height < kMaxDibSide ? height : kMaxDibSide;
    } else if (header[4] & 1) {
        const int32_t l = header[5] % (width + 1), t = header[6] % (height + 1);
        const int32_t rr = l + 1 + header[7] % (width - l + 1), b = t + 1 + header[8] % (height - t + 1);
        regions[0] = {l, t, rr, b};
    }
    // A second region of the same size lower in the picture (or higher, when
    // the first already reaches the bottom), read on the same record: the
    // scan kept by the first read resumes there through the row index.
    const bool two_regions = (header[4] & 64) && regions[0].bottom != 0;
    if (two_regions) {
        const int32_t h = regions[0].bottom - regions[0].top;
        const int32_t top = (regions[0].top + h / 2 + 1 + header[8] % 64) % (full_height > h ? full_height - h + 1 : 1);
        regions[1] = {regions[0].left, top, regions[0].right, top + h};
    }
    if (regions[0].bottom != 0) {
        width = regions[0].right - regions[0].left;
        height = regions[0].bottom - regions[0].top;
    }
    if (width > kMaxDibSide) width = kMaxDibSide;
    if (height > kMaxDibSide) height = kMaxDibSide;
    if (width < 1) width = 1;
    if (height < 1) height = 1;
    r->dib_width = width;
    r->dib_height = (header[4] & 2) ? -height : height;
    r->props.upsample_filter = (header[4] & 4) ? 1 : 0;
    r->props.idct_family = (header[4] & 8) ? 0 : 1;
    const bool step = (header[4] & 16) != 0;

    const size_t stride = static_cast<size_t>(width) * r->dib_channels + r->dib_row_pad;
    std::vector<uint8_t> dib(stride * height);
    r->dib_pixels = dib.data();

    for (int pass = 0; pass < (two_regions ? 2 : 1); ++pass) {
        const MCU_RECT& region = regions[pass];
        JPEG_STATUS status;
        int reads = 0;
        StepPoint last{};
        do {
            r->props.roi_left = region.left;
            r->props.roi_top = region.top;
            r->props.roi_right = region.right;
            r->props.roi_bottom = region.bottom;
            r->props.interrupt_request = step ? 1 : 0;
            status = read_image(r, image_kinds[scale_index]);
            if (status == STATUS_INTERRUPT_SUCCESS) {
                const StepPoint now = step_point(r);
                if (reads > 0 && now == last) __builtin_trap();  // no progress: a caller would hang
                last = now;
            }
        } while (status == STATUS_INTERRUPT_SUCCESS && ++reads < 100000);
        if (status < 0) break;
    }
    close_codec(r);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeaderBytes + 2) return 0;
    if (later_frame_too_large(data + kHeaderBytes, size - kHeaderBytes)) return 0;
    set_variant(data[11] & 7);
    const uint32_t shift = (static_cast<uint32_t>(data[9]) << 4 | data[11] >> 4) % 4096;
    write_scratch(shifted_stream(data + kHeaderBytes, size - kHeaderBytes, shift));
    run_request(data);
    return 0;
}
