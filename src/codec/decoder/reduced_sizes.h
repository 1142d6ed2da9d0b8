// How large a subsampled component's blocks are transformed at 1/2, 1/4 and
// 1/8 scale. The output step (which runs the transforms) and the reduced
// writers (which read the samples back) must agree on it, so both ask here.
#pragma once

#include <cstdint>

#include "codec/jpeg_record.h"

namespace vantorel {

// Every frame component is sampled H = V with H 1 or 2: the layouts for which
// the scan drivers pass simple_sampling as 1.
inline bool square_sampling_layout(const JPEG_PROPERTIES* props) {
    const FRAME_INFO& frame = props->frame;
    if (frame.components == nullptr || frame.component_count < 1 || frame.component_count > 4) return false;
    for (int32_t i = 0; i < frame.component_count; ++i) {
        const int32_t h = frame.components[i].h_samp;
        if (h != frame.components[i].v_samp || h < 1 || h > 2) return false;
    }
    return true;
}

// The factor (1, 2 or 4) by which a component sampled h x v is transformed
// larger than the block size n of the reduced request. A subsampled component
// covers fx = Hmax / h by fy = Vmax / v times more pixels than its samples; a
// larger transform keeps detail that replication would throw away, so the block
// is transformed at the largest power-of-two size up to 8 that still divides
// both enlargements, and the writer replicates only what remains (fx / k, fy / k).
// Ratios that are not whole numbers keep the plain size. For the square layouts
// the caller's simple_sampling decides, as it always has: 0 transforms every
// block at n.
inline int32_t reduced_transform_factor(const JPEG_PROPERTIES* props, int32_t h, int32_t v, int32_t n,
                                        int32_t simple_sampling) {
    if (n < 1 || n >= 8) return 1;
    const int32_t max_h = props->frame.max_h_sampling;
    const int32_t max_v = props->frame.max_v_sampling;
    if (max_h < 1 || max_h > 4 || max_v < 1 || max_v > 4) return 1;
    if (h < 1 || v < 1 || h > max_h || v > max_v) return 1;
    if (max_h % h != 0 || max_v % v != 0) return 1;
    if (simple_sampling == 0 && square_sampling_layout(props)) return 1;
    const int32_t fx = max_h / h;
    const int32_t fy = max_v / v;
    int32_t k = 1;
    while (n * 2 * k <= 8 && fx % (2 * k) == 0 && fy % (2 * k) == 0) k *= 2;
    return k;
}

}  // namespace vantorel
