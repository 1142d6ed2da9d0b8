// The file facility the codec reads its input through. The operations mirror the
// platform calls the codec was designed around: open an existing file for reading
// (or create one for writing), read up to n bytes and report the count, move the
// file pointer, close.
#pragma once

#include <cstdint>

namespace vantorel::platform {

using FileHandle = void*;  // null = no file

enum SeekMethod : int32_t { SEEK_FROM_BEGIN = 0, SEEK_FROM_CURRENT = 1, SEEK_FROM_END = 2 };

// Returns null when the file cannot be opened.
FileHandle open_file(const char* name, bool for_write);
// True on success.
bool close_file(FileHandle file);
// The platform's success flag; *done receives the bytes read (0 at end of file).
bool read_file(FileHandle file, void* buffer, uint32_t count, uint32_t* done);
// True unless the move failed.
bool seek_file(FileHandle file, int32_t distance, SeekMethod method);

}  // namespace vantorel::platform
