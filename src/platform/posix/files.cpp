// POSIX file calls behind the codec's file facility. A handle is the descriptor
// plus one, so that descriptor 0 is never mistaken for "no file".
#include "platform/files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace vantorel::platform {

namespace {
int descriptor_of(FileHandle file) { return static_cast<int>(reinterpret_cast<intptr_t>(file)) - 1; }
}  // namespace

FileHandle open_file(const char* name, bool for_write) {
    if (name == nullptr) return nullptr;
    int flags = for_write ? (O_RDWR | O_CREAT | O_TRUNC) : O_RDONLY;
    int fd = ::open(name, flags | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    return reinterpret_cast<FileHandle>(static_cast<intptr_t>(fd) + 1);
}

bool close_file(FileHandle file) {
    if (file == nullptr) return false;
    return ::close(descriptor_of(file)) == 0;
}

bool read_file(FileHandle file, void* buffer, uint32_t count, uint32_t* done) {
    *done = 0;
    if (file == nullptr) return false;
    for (;;) {
        ssize_t n = ::read(descriptor_of(file), buffer, count);
        if (n >= 0) {
            *done = static_cast<uint32_t>(n);
            return true;
        }
        if (errno != EINTR) return false;
    }
}

bool seek_file(FileHandle file, int32_t distance, SeekMethod method) {
    if (file == nullptr) return false;
    int whence = method == SEEK_FROM_BEGIN ? SEEK_SET : method == SEEK_FROM_CURRENT ? SEEK_CUR : SEEK_END;
    return ::lseek(descriptor_of(file), distance, whence) != static_cast<off_t>(-1);
}

}  // namespace vantorel::platform
