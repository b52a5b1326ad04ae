#pragma once
// Reads a fuzz input front to back; bytes past its end read as 0.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    // The next `n` bytes, fewer where the input ends.
    std::string Bytes(std::size_t n) {
        n = std::min(n, Left());
        std::string s(reinterpret_cast<const char*>(data_) + at_, n);
        at_ += n;
        return s;
    }

protected:
    std::size_t Left() const { return size_ - std::min(at_, size_); }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};
