// Bounded reading of a Standard MIDI File image: every read checks the end of
// the buffer first and reports a short read instead of running past it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace MIDI {

// Variable-length quantities may have any number of bytes; their value is
// held at this ceiling instead of wrapping, which is far beyond anything a
// valid length or a playable delta time can reach.
constexpr std::uint64_t kVlqCeiling = std::uint64_t{1} << 48;

class SmfCursor {
public:
    SmfCursor(const std::uint8_t* data, std::size_t size) : base_(data), size_(size) {}

    std::size_t pos() const { return pos_; }
    std::size_t remaining() const { return size_ - pos_; }
    const std::uint8_t* here() const { return base_ + pos_; }

    bool has(std::size_t n) const { return n <= remaining(); }
    bool matches(const char* tag, std::size_t n) const {
        return has(n) && std::memcmp(base_ + pos_, tag, n) == 0;
    }
    // The byte `ahead` bytes on, without moving.
    bool peek(std::uint8_t& v, std::size_t ahead = 0) const {
        if (ahead >= remaining()) return false;
        v = base_[pos_ + ahead];
        return true;
    }

    bool skip(std::uint64_t n) {
        if (n > remaining()) return false;
        pos_ += static_cast<std::size_t>(n);
        return true;
    }
    bool u8(std::uint8_t& v) {
        if (!has(1)) return false;
        v = base_[pos_++];
        return true;
    }
    bool be16(std::uint16_t& v) {
        if (!has(2)) return false;
        v = static_cast<std::uint16_t>(base_[pos_] << 8 | base_[pos_ + 1]);
        pos_ += 2;
        return true;
    }
    bool be24(std::uint32_t& v) {
        if (!has(3)) return false;
        v = static_cast<std::uint32_t>(base_[pos_] << 16 | base_[pos_ + 1] << 8 | base_[pos_ + 2]);
        pos_ += 3;
        return true;
    }
    bool be32(std::uint32_t& v) {
        if (!has(4)) return false;
        v = static_cast<std::uint32_t>(base_[pos_]) << 24 | static_cast<std::uint32_t>(base_[pos_ + 1]) << 16 |
            static_cast<std::uint32_t>(base_[pos_ + 2]) << 8 | base_[pos_ + 3];
        pos_ += 4;
        return true;
    }
    // A variable-length quantity: 7 bits a byte, most significant group
    // first, bit 7 set on every byte but the last. Saturates at kVlqCeiling.
    bool vlq(std::uint64_t& v) {
        v = 0;
        for (;;) {
            std::uint8_t b;
            if (!u8(b)) return false;
            if (v < kVlqCeiling) v = v << 7 | (b & 0x7F);
            if (v > kVlqCeiling) v = kVlqCeiling;
            if (!(b & 0x80)) return true;
        }
    }

private:
    const std::uint8_t* base_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace MIDI
