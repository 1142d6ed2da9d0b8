// The codec's operations and the process-wide helpers every stage uses.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/jpeg_record.h"

namespace vantorel {

// Lifecycle (codec.cpp).
JPEG_STATUS open_codec(JPEG_RECORD* record);
JPEG_STATUS close_codec(JPEG_RECORD* record);

// The read operation (read_image.cpp).
JPEG_STATUS read_image(JPEG_RECORD* record, IO_MODE io_mode);
JPEG_STATUS validate_request(JPEG_RECORD* record);

// Closes the record's input file and clears its handle; false when closing failed
// (the handle is then left as it was).
bool close_input_file(JPEG_PROPERTIES* props);

// Status texts (status.cpp). Never fails; never returns null.
const char* get_status_message(JPEG_STATUS code);

// Stage table (stage_table.cpp).
void fill_stage_table(STAGE_TABLE* table, int32_t variant);
// The body of the triangle-filter MCU writer that goes with a filled table: the
// packed ones only with a variant fill, and only where the processor has the
// byte shuffle (and, for the 256-bit one, what the 256-bit transform needs).
enum SMOOTHED_WRITER { SMOOTHED_GENERIC, SMOOTHED_128, SMOOTHED_256 };
SMOOTHED_WRITER smoothed_writer_for(const STAGE_TABLE* table);
// The kernel spread_gray hands a whole MCU to: the shuffle body where the
// smoothed writer would take a packed body, else kernel_spread_gray.
GrayKernel spread_gray_kernel_for(const STAGE_TABLE* table);

// Processor variants and the override (processor.cpp).
JPEG_STATUS select_processor_variant(STAGE_TABLE* table);
int32_t detect_variant(STAGE_TABLE* table);
int32_t read_cpu_override(STAGE_TABLE* table);
// The variant index detection chooses for a processor family and CPUID leaf-1 EDX flags.
int32_t variant_for_processor(int32_t family, uint32_t flags);
void release_modules(STAGE_TABLE* table);
void copy_bytes(void* destination, const void* source, size_t count);
void zero_bytes(void* destination, size_t count);

struct PROCESSOR_DESCRIPTION {
    int32_t brand_index;
    int32_t processor_type;
    int32_t family;
    int32_t model;
    int32_t stepping;
    uint32_t feature_flags;
    char vendor[13];
};

// Process-wide state written by every open (the same values each time).
extern PROCESSOR_DESCRIPTION g_processor;
extern void (*g_copy_bytes)(void* destination, const void* source, size_t count);
extern void (*g_zero_bytes)(void* destination, size_t count);

// Heap blocks owned by the codec. Never throw; null on failure.
void* codec_alloc(size_t bytes);
void codec_free(void* block);

}  // namespace vantorel
