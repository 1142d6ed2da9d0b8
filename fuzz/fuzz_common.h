// What the fuzz targets share: the request header's size, the DIB layouts an
// input can choose, the bound on a run's DIB, and the test that a stepwise read
// makes progress.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "codec/codec.h"

namespace vantorel::fuzz {

constexpr size_t kHeaderBytes = 12;
// Larger frames are decoded as a region of at most this many pixels a side.
constexpr int32_t kMaxDibSide = 512;

// Forces the processor variant index the next open_codec takes, from three bits
// of the input: 0-6 force that index, 7 lets detection decide.
inline void set_variant(uint8_t choice) {
    static std::string value;
    value = std::to_string(choice % 8);
    if (choice % 8 == 7)
        unsetenv("VANTOREL_USECPU");
    else
        setenv("VANTOREL_USECPU", value.c_str(), 1);
}

struct Layout {
    COLOR_SPACE color;
    int32_t channels;
};

constexpr Layout kLayouts[] = {
    {CS_BGR, 3}, {CS_RGB, 3}, {CS_GRAY, 1}, {CS_QUAD, 4}, {CS_YCBCR, 2}, {CS_YCBCR, 3}, {CS_OTHER, 3}, {CS_OTHER, 1},
};

// Where a stepwise read stands: the scan being decoded, its resume position,
// the input position and the number of progressive scans. Every read that
// returns "Interrupt Success" has output one more MCU, so this must change from
// one such read to the next; a read that leaves it unchanged would let a caller
// that reads until the picture is done loop for ever.
struct StepPoint {
    const void* scan;
    int32_t column, row;
    const uint8_t* cur;
    int32_t position, scans;
    bool operator==(const StepPoint&) const = default;
};

inline StepPoint step_point(const JPEG_RECORD* r) {
    const SCAN_INFO* scan = r->props.current_scan;
    return {scan, scan != nullptr ? scan->resume_state[0] : -1, scan != nullptr ? scan->resume_state[1] : -1,
            r->props.source.cur, r->props.source.position, r->props.progressive_scans};
}

// A stream whose frame header after the first declares a frame of more than
// this many pixels is passed over. The codec parses such a header again and
// decodes the whole new frame, however small the DIB it was given: a few
// kilobytes can declare 65535 x 65535 pixels and keep a sanitizer build busy
// for minutes, which the fuzzer would report as a hang. The first frame header
// is not limited (large first frames are read as a region, see kMaxDibSide).
constexpr uint64_t kMaxLaterFramePixels = uint64_t{1} << 24;

inline bool later_frame_too_large(const uint8_t* data, size_t size) {
    int frames = 0;
    for (size_t i = 0; i + 9 <= size; ++i) {
        if (data[i] != 0xFF || data[i + 1] < 0xC0 || data[i + 1] > 0xC2) continue;
        if (frames++ == 0) continue;
        const uint64_t height = static_cast<uint64_t>(data[i + 5]) << 8 | data[i + 6];
        const uint64_t width = static_cast<uint64_t>(data[i + 7]) << 8 | data[i + 8];
        if (height * width > kMaxLaterFramePixels) return true;
    }
    return false;
}

}  // namespace vantorel::fuzz
