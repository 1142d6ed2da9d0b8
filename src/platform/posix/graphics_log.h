// What the native graphics stand-in saw: every call as one line, "Name(arguments)",
// using the Windows name of the call, plus a few knobs and captures for tests.
//
// Its answers are deterministic: handles count up from 0x1000 after reset(); a
// character measures half the selected font's height wide and the font's height
// tall (a font of height 0, or none, counts as 16); metafiles and bitmaps are
// recognised from the first bytes of the file as the platform would.
#pragma once

#include <string>
#include <vector>

#include "platform/graphics.h"

namespace vantorel::platform::graphics_log {

// Forgets the calls, the handles and every knob.
void reset();
const std::vector<std::string>& calls();
// Calls whose line starts with the given name, in order.
std::vector<std::string> calls_named(const std::string& name);

// Objects created and not yet deleted: fonts, bitmaps, metafiles, memory contexts.
int live_objects();

// The bits and header of the most recent StretchDIBits call.
struct DibPaint {
    const void* bits = nullptr;
    BITMAPINFO info{};
    int32_t source_width = 0;
    int32_t source_height = 0;
};
const DibPaint& last_dib_paint();

// Makes the next CreateFontA calls fail (return no font).
void fail_font_creation(bool fail);

}  // namespace vantorel::platform::graphics_log
