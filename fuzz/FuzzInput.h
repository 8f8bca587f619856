// Reads typed values off a fuzzer's byte string; zeros once it runs out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace kelvaro {

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    template <class T> T Take() {
        T value{};
        const size_t n = size_ - pos_ < sizeof(T) ? size_ - pos_ : sizeof(T);
        std::memcpy(&value, data_ + pos_, n);
        pos_ += n;
        return value;
    }
    // A double that is usually a plain number in [lo, hi] and sometimes raw bits.
    double Number(double lo, double hi) {
        const auto mode = Take<uint8_t>();
        if (mode < 16) return Take<double>();
        const double unit = static_cast<double>(Take<uint32_t>()) / 4294967295.0;
        return lo + (hi - lo) * unit;
    }
    std::string Rest() {
        std::string s(reinterpret_cast<const char*>(data_ + pos_), size_ - pos_);
        pos_ = size_;
        return s;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

} // namespace kelvaro
