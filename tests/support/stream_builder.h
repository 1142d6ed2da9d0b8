// Builds JPEG streams byte by byte for tests: markers, segments and raw bytes.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace vantorel::test {

class StreamBuilder {
public:
    StreamBuilder& byte(uint8_t b) { bytes_.push_back(b); return *this; }
    StreamBuilder& bytes(std::initializer_list<uint8_t> list) { bytes_.insert(bytes_.end(), list); return *this; }
    StreamBuilder& bytes(const std::vector<uint8_t>& list) { bytes_.insert(bytes_.end(), list.begin(), list.end()); return *this; }
    StreamBuilder& be16(uint32_t v) { byte(static_cast<uint8_t>(v >> 8)); return byte(static_cast<uint8_t>(v)); }
    StreamBuilder& marker(uint8_t code) { byte(0xFF); return byte(code); }
    // A marker followed by a length field (body size + 2) and the body.
    StreamBuilder& segment(uint8_t code, const std::vector<uint8_t>& body) {
        marker(code);
        be16(static_cast<uint32_t>(body.size() + 2));
        return bytes(body);
    }
    StreamBuilder& soi() { return marker(0xD8); }
    StreamBuilder& eoi() { return marker(0xD9); }
    const std::vector<uint8_t>& data() const { return bytes_; }
    size_t size() const { return bytes_.size(); }
    // Writes the stream to a scratch file and returns its path.
    std::string write_file(const std::string& name) const;

private:
    std::vector<uint8_t> bytes_;
};

}  // namespace vantorel::test
