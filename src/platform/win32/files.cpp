// The codec's file facility over the Windows kernel file calls.
#include <windows.h>

#include "platform/files.h"

namespace vantorel::platform {

FileHandle open_file(const char* name, bool for_write) {
    if (name == nullptr) return nullptr;
    const DWORD access = for_write ? (GENERIC_READ | GENERIC_WRITE) : GENERIC_READ;
    HANDLE file = CreateFileA(name, access, FILE_SHARE_READ, nullptr, for_write ? CREATE_ALWAYS : OPEN_EXISTING, 0,
                              nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

bool close_file(FileHandle file) { return file != nullptr && CloseHandle(file) != 0; }

bool read_file(FileHandle file, void* buffer, uint32_t count, uint32_t* done) {
    DWORD got = 0;
    const BOOL ok = file != nullptr && ReadFile(file, buffer, count, &got, nullptr);
    *done = got;
    return ok != 0;
}

bool seek_file(FileHandle file, int32_t distance, SeekMethod method) {
    if (file == nullptr) return false;
    const DWORD how = method == SEEK_FROM_BEGIN ? FILE_BEGIN : method == SEEK_FROM_CURRENT ? FILE_CURRENT : FILE_END;
    return SetFilePointer(file, distance, nullptr, how) != INVALID_SET_FILE_POINTER;
}

}  // namespace vantorel::platform
