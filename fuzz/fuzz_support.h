// What the fuzz targets share: reading an input from the front in small pieces, and a check that stops
// the run (libFuzzer keeps the input as a crash) with the condition that failed.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string_view>

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)

// The input, taken from the front; past its end a byte reads as 0 and a run of bytes as empty.
class FuzzInput {
  public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : rest_(data, size) {}

    bool Empty() const { return rest_.empty(); }
    std::uint8_t Byte() {
        if (rest_.empty()) return 0;
        const std::uint8_t b = rest_.front();
        rest_ = rest_.subspan(1);
        return b;
    }
    std::span<const std::uint8_t> Bytes(std::size_t n) {
        const std::span<const std::uint8_t> taken = rest_.first(std::min(n, rest_.size()));
        rest_ = rest_.subspan(taken.size());
        return taken;
    }
    std::span<const std::uint8_t> Rest() { return Bytes(rest_.size()); }

  private:
    std::span<const std::uint8_t> rest_;
};

inline std::string_view AsText(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}
