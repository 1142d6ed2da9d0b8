// A hand-made decoding state for the output writers: a zeroed JPEG_PROPERTIES
// with a generic stage table, a frame of chosen sampling, MCU samples written
// directly into mcu_buffer, and a DIB filled with a canary byte so that tests can
// tell every byte a writer touched.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "codec/codec.h"
#include "codec/decoder/decoder.h"

namespace vantorel::test {

constexpr uint8_t CANARY = 0xA5;

struct OutputFixture {
    OutputFixture() : props(new JPEG_PROPERTIES) {
        std::memset(props.get(), 0, sizeof(JPEG_PROPERTIES));
        std::memset(&table, 0, sizeof(table));
        fill_stage_table(&table, 0);
        props->stage_table = &table;
        props->frame.components = components;
        props->io_mode = READ_IMAGE_BUFFER;
        props->idct_family = 1;
    }

    // Frame with the given (H, V) per component.
    void frame(std::vector<std::pair<int32_t, int32_t>> sampling, COLOR_SPACE jpeg_color, int32_t width,
               int32_t height) {
        props->frame.component_count = static_cast<int32_t>(sampling.size());
        for (size_t i = 0; i < sampling.size() && i < 4; ++i) {
            components[i].identifier = static_cast<int32_t>(i + 1);
            components[i].h_samp = sampling[i].first;
            components[i].v_samp = sampling[i].second;
        }
        props->jpeg_color = jpeg_color;
        props->jpeg_width = width;
        props->jpeg_height = height;
    }

    // A DIB of width x |height| pixels with `pad` bytes after every row; a
    // negative height makes it bottom-up, as the read operation sets it up.
    void dib(COLOR_SPACE color, int32_t channels, int32_t width, int32_t height, int32_t pad = 0) {
        props->dib_color = color;
        props->dib_channels = channels;
        props->dib_width = width;
        props->dib_height = height;
        props->dib_row_pad = pad;
        row_bytes = static_cast<intptr_t>(width) * channels + pad;
        rows = height < 0 ? -height : height;
        pixels.assign(static_cast<size_t>(row_bytes * rows), CANARY);
        props->dib_pixels = pixels.data();
        props->dib_stride = height < 0 ? -row_bytes : row_bytes;
        props->output_start = height < 0 ? pixels.data() + (rows - 1) * row_bytes : pixels.data();
    }

    void region(int32_t left, int32_t top, int32_t right, int32_t bottom) {
        props->roi_left = left, props->roi_top = top, props->roi_right = right, props->roi_bottom = bottom;
    }

    // Byte `b` of image pixel (x, y) (image rows, whatever the DIB's direction).
    uint8_t& at(int32_t x, int32_t y, int32_t b = 0) {
        const intptr_t buffer_row = props->dib_height < 0 ? rows - 1 - y : y;
        return pixels[static_cast<size_t>(buffer_row * row_bytes + x * props->dib_channels + b)];
    }

    int16_t* block(int32_t index) { return props->mcu_buffer + index * 64; }

    JPEG_STATUS select() { return select_output_routines(props.get()); }
    OutputDriverRoutine active() const { return table.active_output_driver; }
    JPEG_STATUS write(int32_t col, int32_t row) { return table.active_output_driver(props.get(), col, row); }

    std::unique_ptr<JPEG_PROPERTIES> props;
    STAGE_TABLE table;
    COMPONENT_INFO components[4]{};
    std::vector<uint8_t> pixels;
    intptr_t row_bytes = 0;
    intptr_t rows = 0;
};

}  // namespace vantorel::test
