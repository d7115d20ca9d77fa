// Helpers of the transport tests: request frames, waiting with and without the event pump.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "sensor_core.h"

namespace transport_test {

using sensor_emu::Bytes;
using sensor_emu::Frame;

// A request frame: sync word, order, then the given words from byte 4 on, the rest zero.
inline Frame Request(std::uint16_t order, std::initializer_list<std::uint16_t> words = {}) {
    Frame f{};
    sensor_emu::PutWord(f, 0, sensor_emu::kSyncRequest);
    sensor_emu::PutWord(f, 2, order);
    std::size_t at = 4;
    for (auto w : words) {
        sensor_emu::PutWord(f, at, w);
        at += 2;
    }
    return f;
}

inline Bytes ToBytes(const Frame& f) {
    return Bytes(f.begin(), f.end());
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Waits without the event pump (the emulator runs on its own thread).
inline bool WaitFor(const std::function<bool()>& done, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

inline void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace transport_test
