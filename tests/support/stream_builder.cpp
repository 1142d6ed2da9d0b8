#include "support/stream_builder.h"

#include <cstdio>

namespace vantorel::test {

std::string StreamBuilder::write_file(const std::string& name) const {
    std::string path = std::string(VANTOREL_BINARY_DIR) + "/tests/scratch_" + name;
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes_.data(), 1, bytes_.size(), f);
        std::fclose(f);
    }
    return path;
}

}  // namespace vantorel::test
