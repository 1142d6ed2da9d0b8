// Playing a metafile into a rectangle. The platform parses and draws both kinds;
// this routine only chooses the kind, maps the rectangle and leaves the host's
// device-context state as it found it.
#include "codec/codec.h"
#include "front/front.h"
#include "platform/files.h"

namespace vantorel {

namespace {

// Most .wmf files start with a 22-byte "placeable" header that carries the
// picture's bounding box; the platform's metafile reader rejects it, so those
// files are read here and the records after the header are handed over.
constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr uint32_t kPlaceableHeaderSize = 22;
constexpr size_t kLargestMetafile = 64u << 20;

struct PLACEABLE_BOUNDS {
    int32_t left, top, right, bottom;
};

int16_t le16s(const uint8_t* p) { return static_cast<int16_t>(static_cast<uint16_t>(p[0] | p[1] << 8)); }

// Reads a whole file (up to kLargestMetafile bytes) into a block the caller
// frees with codec_free; null when it cannot be read or is too large.
uint8_t* read_whole_file(const char* name, size_t* size) {
    platform::FileHandle file = platform::open_file(name, false);
    if (file == nullptr) return nullptr;
    size_t capacity = 64 * 1024;
    size_t used = 0;
    uint8_t* data = static_cast<uint8_t*>(codec_alloc(capacity));
    bool ok = data != nullptr;
    while (ok) {
        if (used == capacity) {
            if (capacity >= kLargestMetafile) {
                ok = false;
                break;
            }
            uint8_t* bigger = static_cast<uint8_t*>(codec_alloc(capacity * 2));
            if (bigger == nullptr) {
                ok = false;
                break;
            }
            g_copy_bytes(bigger, data, used);
            codec_free(data);
            data = bigger;
            capacity *= 2;
        }
        uint32_t done = 0;
        if (!platform::read_file(file, data + used, static_cast<uint32_t>(capacity - used), &done)) ok = false;
        if (!ok || done == 0) break;
        used += done;
    }
    platform::close_file(file);
    if (!ok) {
        codec_free(data);
        return nullptr;
    }
    *size = used;
    return data;
}

// A metafile handle made from the records after a placeable header, with the
// header's bounding box; null when the file is not such a metafile.
platform::GraphicsHandle open_placeable_metafile(const char* name, PLACEABLE_BOUNDS* bounds) {
    size_t size = 0;
    uint8_t* data = read_whole_file(name, &size);
    if (data == nullptr) return nullptr;
    platform::GraphicsHandle handle = nullptr;
    const uint32_t key = data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
    if (size > kPlaceableHeaderSize && key == kPlaceableKey) {
        bounds->left = le16s(data + 6);
        bounds->top = le16s(data + 8);
        bounds->right = le16s(data + 10);
        bounds->bottom = le16s(data + 12);
        handle = platform::set_metafile_bits(static_cast<uint32_t>(size - kPlaceableHeaderSize),
                                             data + kPlaceableHeaderSize);
    }
    codec_free(data);
    return handle;
}

}  // namespace

bool PlayMetafileFile(HDC dc, const RECT* rect, const char* name) {
    if (rect == nullptr) return true;  // nowhere to draw
    const int32_t width = static_cast<int32_t>(0u + rect->right - rect->left);
    const int32_t height = static_cast<int32_t>(0u + rect->bottom - rect->top);

    platform::GraphicsHandle enhanced = platform::get_enh_metafile(name);
    platform::GraphicsHandle plain = nullptr;
    PLACEABLE_BOUNDS bounds{};
    bool placeable = false;
    if (enhanced == nullptr) {
        plain = platform::get_metafile(name);
        if (plain == nullptr) {
            plain = open_placeable_metafile(name, &bounds);
            placeable = plain != nullptr;
        }
    }

    const bool map_bounds = placeable && bounds.right != bounds.left && bounds.bottom != bounds.top;
    const int32_t saved = platform::save_dc(dc);
    // Records of a placeable file may draw beyond its box; the clip, set in the
    // host's own coordinates, keeps them inside the rectangle and goes with the
    // rest of the state at the restore.
    if (map_bounds) platform::intersect_clip_rect(dc, rect->left, rect->top, rect->right, rect->bottom);
    platform::set_map_mode(dc, platform::GFX_MM_ANISOTROPIC);
    if (map_bounds) {
        // The picture's own coordinates (its bounding box) map onto the rectangle.
        platform::set_window_ext(dc, bounds.right - bounds.left, bounds.bottom - bounds.top);
        platform::set_viewport_ext(dc, width, height);
        platform::set_viewport_org(dc, rect->left, rect->top);
        platform::set_window_org(dc, bounds.left, bounds.top);
    } else {
        platform::set_window_ext(dc, width, height);
        platform::set_viewport_ext(dc, width, height);
        platform::set_viewport_org(dc, rect->left, rect->top);
        platform::set_window_org(dc, rect->left, rect->top);
    }

    if (enhanced != nullptr) {
        platform::play_enh_metafile(dc, enhanced, rect);
        platform::restore_dc(dc, saved);
        platform::delete_enh_metafile(enhanced);
    } else {
        platform::play_metafile(dc, plain);
        platform::restore_dc(dc, saved);
        platform::delete_metafile(plain);
    }
    return true;
}

}  // namespace vantorel
