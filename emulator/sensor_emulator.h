// The sensor stand-in on a real link: a TCP listener on loopback and/or a pseudo-terminal serial line,
// served by the emulator's own thread (never the program's user-interface thread). Plain C++ and POSIX.
//
// All member functions are thread-safe; faults can be changed while the emulator runs and apply from the
// next request frame on.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sensor_core.h"

namespace sensor_emu {

struct EmulatorOptions {
    std::string versionText{ModelByRow(1)->versionText};  // the answer to order 7
    bool tcp = true;
    std::uint16_t tcpPort = 0;  // 0 picks a free port on 127.0.0.1
    bool pty = false;
    std::string ptyLink;   // when not empty, a symbolic link to the serial line made here (e.g. <dir>/COM5)
    std::string dumpFile;  // when not empty, rewritten with the table memory after every write order
    std::string parameterDumpFile;  // when not empty, the parameter memory (see SensorCore)
    SimulationOptions simulation;   // how the synthetic target moves
    double autoSendHz = 20.0;       // measurement frames per second while auto-sending (0.1..1000)
    // The sensor's serial rate. Once a rate is set, here or by order 190, the serial line answers only
    // while the program's side of it runs at that rate: frames that arrive at another rate are garbled to
    // the sensor, so they are dropped uncounted, and nothing is auto-sent meanwhile. 0: no rate yet, any
    // rate is answered. Over TCP the rate is only recorded.
    long serialBaud = 0;
    // With a rate set: a request that comes at another rate is answered with what a real line at the wrong
    // rate delivers, the sensor's version reply as a receiver at the program's rate decodes its bits (bytes
    // that make no frame), instead of silence.
    bool noiseAtWrongRate = false;
    // The serial line takes as long as a real one: each byte 10 bits (start, 8 data, stop) at the rate the
    // program's side set, both ways, so a request is complete, and a reply's bytes reach the program, only
    // when their last bit would have. Without it the pseudo-terminal passes bytes at memory speed.
    bool wireSpeed = false;
};

class SensorEmulator {
  public:
    explicit SensorEmulator(EmulatorOptions options);
    ~SensorEmulator();  // stops
    SensorEmulator(const SensorEmulator&) = delete;
    SensorEmulator& operator=(const SensorEmulator&) = delete;

    // Opens the listener and the serial line and starts serving. False, with the reason, when one of them
    // cannot be set up.
    bool Start(std::string* error = nullptr);
    void Stop();  // closes everything and removes the link it made

    std::uint16_t TcpPort() const;  // 0 when not listening
    std::string PtyPath() const;    // the serial line's device (the slave side), empty when none

    void SetFaults(const Faults& faults);
    Faults GetFaults() const;
    NoiseCounts Noise() const;  // what line noise (Faults::noiseRate) did so far
    // Frame numbering restarts at 1, the log of received frames is emptied, and a serial line that went
    // mute at a close fault answers again.
    void ResetCounters();
    int FrameCount() const;
    std::vector<Frame> Received() const;  // every request frame since the last reset, in arrival order
    // When each of them arrived whole (on a wire-speed line: when its last byte was through).
    std::vector<std::chrono::steady_clock::time_point> ReceivedTimes() const;

    std::uint16_t TableWord(std::uint16_t address) const;
    std::vector<std::pair<std::uint16_t, std::uint16_t>> WrittenTable() const;

    // The parameter memory and the read rule of SensorCore.
    std::uint16_t RamWord(std::size_t word) const;
    std::uint16_t EepromWord(std::size_t word) const;
    void SetRamWord(std::size_t word, std::uint16_t value);
    void SetEepromWord(std::size_t word, std::uint16_t value);
    SensorCore::ReadSource NextReadSource(std::uint16_t readOrder) const;

    // Auto-sending (order 50): the frames go to the link the order came in on; for TCP that is whichever
    // client is connected, as a serial-to-Ethernet server would pass them on, and they are dropped while
    // none is. Frames that the peer does not take in (more than 256 writes waiting) are dropped as well.
    bool AutoSending() const;
    // The whole frames auto-sending has put on the line since it last started, oldest first (a frame has
    // left once the socket took it, or on a wire-speed line once its last bit went out), and when the last
    // of them left. Under line noise: the frames made, as they were before the noise.
    std::vector<Frame> AutoSentFrames() const;
    std::chrono::steady_clock::time_point LastAutoSentAt() const;
    long SerialBaud() const;  // 0 while no rate is set
    void SetSerialBaud(long baud);

    // The serial line as the program on the other end configured it (what a real sensor would have to
    // match). False when there is no serial line.
    struct LineSettings {
        long baudRate;
        int dataBits;
        char parity;  // 'N', 'O', 'E'
        int stopBits;
        bool rtsCts;
    };
    bool PtyLineSettings(LineSettings& out) const;

    bool TcpClientConnected() const;
    int TcpConnectionsAccepted() const;
    // Drops the current TCP client at once, as a serial-to-Ethernet server losing its sensor would.
    void CloseTcpClient();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace sensor_emu
