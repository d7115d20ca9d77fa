// A frame as it travels on the line, as a value: 36 bytes, 18 big-endian words. A request begins 00 55, a
// reply 00 AA, followed by the order word and the payload.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kFrameBytes = 36;
inline constexpr int kFrameWords = 18;
using Frame = std::array<std::uint8_t, kFrameBytes>;

constexpr std::uint16_t FrameWord(const Frame& frame, int word) {
    return static_cast<std::uint16_t>(frame[2 * word] << 8 | frame[2 * word + 1]);
}
constexpr void SetFrameWord(Frame& frame, int word, std::uint16_t value) {
    frame[2 * word] = static_cast<std::uint8_t>(value >> 8);
    frame[2 * word + 1] = static_cast<std::uint8_t>(value & 0xFF);
}
