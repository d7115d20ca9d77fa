// What the programs' reply waits cost: a busy loop that calls ProcessSystemEvents on every pass.
//  1. CPU time the loop uses while waiting 2 s for a TCP reply that never comes (the sensor stand-in is
//     silent), as CPU seconds per wall second, for the whole process and for the waiting thread alone.
//     The same for the serial wait, which also asks GetInQLen on every pass.
//  2. Latency from a byte's arrival at the socket to the loop seeing it in the conversation callback:
//     a server thread sends single bytes at random moments and notes when.
// Usage: bench_link_wait [samples]   (default 50 latency samples)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "platform.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

struct CpuShare {
    double process;  // CPU seconds of the whole process per wall second
    double thread;   // CPU seconds of the waiting thread per wall second
    long passes;
};

// Runs `pass` in a loop that also calls the event pump, for `wall` seconds.
template <typename Pass>
CpuShare MeasureWait(double wall, Pass pass) {
    const double w0 = bench::Now(), p0 = bench::ProcessCpu(), t0 = bench::ThreadCpu();
    long passes = 0;
    while (bench::Now() - w0 < wall) {
        ProcessSystemEvents();
        pass();
        ++passes;
    }
    const double w = bench::Now() - w0;
    return {(bench::ProcessCpu() - p0) / w, (bench::ThreadCpu() - t0) / w, passes};
}

struct Seen {
    std::atomic<long> bytes{0};  // the sender thread watches it
    SteadyClock::time_point at;
};

int CountingCallback(unsigned handle, int event, int, void* data) {
    auto& seen = *static_cast<Seen*>(data);
    if (event != TCP_DATAREADY) return 0;
    unsigned char buf[256];
    const int n = ClientTCPRead(handle, buf, sizeof buf, 1000);
    if (n > 0) {
        seen.bytes += n;
        seen.at = SteadyClock::now();
    }
    return 0;
}

void PrintCpu(const char* what, const CpuShare& c) {
    std::printf("%-34s %.4f CPU s/s (process)  %.4f CPU s/s (waiting thread)  %ld passes, %.1f us/pass\n",
                what, c.process, c.thread, c.passes, 2.0e6 / static_cast<double>(std::max(c.passes, 1L)));
}

int WaitForSilentTcpReply(const bench::fs::path& dir) {
    const auto emulator = bench::StartEmulator({bench::Link::Tcp}, dir);
    emulator->SetFaults({.silent = true});
    Seen seen;
    unsigned h = 0;
    if (ConnectToTCPServer(h, emulator->TcpPort(), "127.0.0.1", CountingCallback, &seen, 5000) != 0) return 1;
    unsigned char frame[36] = {0x00, 0x55, 0x00, 0x07};
    ClientTCPWrite(h, frame, 36, 2000);
    PrintCpu("TCP wait, sensor silent, 2 s:", MeasureWait(2.0, [] {}));
    DisconnectFromTCPServer(h);
    return seen.bytes == 0 ? 0 : 1;
}

int WaitForSilentSerialReply(const bench::fs::path& dir) {
    const auto emulator = bench::StartEmulator({bench::Link::Pty}, dir);
    emulator->SetFaults({.silent = true});
    if (OpenComConfig(9, emulator->PtyPath(), 19200, VAL_NO_PARITY, 8, 1, 1024, 1024) != 0) return 1;
    unsigned char frame[36] = {0x00, 0x55, 0x00, 0x07};
    ComWrt(9, frame, 36);
    int queued = 0;
    PrintCpu("serial wait (GetInQLen), 2 s:", MeasureWait(2.0, [&] { queued = GetInQLen(9); }));
    CloseCom(9);
    return queued == 0 ? 0 : 1;
}

// A loopback server that sends one byte at a time and notes when.
struct ByteSender {
    int listenFd = -1, fd = -1;
    std::uint16_t port = 0;
    ByteSender() {
        listenFd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listenFd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listenFd, 1);
        socklen_t len = sizeof a;
        ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~ByteSender() {
        if (fd >= 0) ::close(fd);
        ::close(listenFd);
    }
    void Accept() {
        fd = ::accept(listenFd, nullptr, nullptr);
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    void SendByte() {
        const char b = 'x';
        [[maybe_unused]] auto n = ::send(fd, &b, 1, MSG_NOSIGNAL);
    }
};

int MeasureArrivalLatency(int samples) {
    ByteSender server;
    Seen seen;
    unsigned h = 0;
    std::thread accepter([&] { server.Accept(); });
    const int rc = ConnectToTCPServer(h, server.port, "127.0.0.1", CountingCallback, &seen, 5000);
    accepter.join();
    if (rc != 0) return 1;

    std::atomic<int> sent{0};
    // Noted before the send, so the loop never sees a byte whose time is not there yet.
    std::vector<std::atomic<SteadyClock::rep>> sentAt(static_cast<std::size_t>(samples));
    std::thread sender([&] {
        std::mt19937 rng(12345);
        std::uniform_int_distribution<int> pauseUs(5000, 25000);
        for (int i = 0; i < samples; ++i) {
            std::this_thread::sleep_for(std::chrono::microseconds(pauseUs(rng)));
            sentAt[static_cast<std::size_t>(i)] = SteadyClock::now().time_since_epoch().count();
            server.SendByte();
            sent = i + 1;
            while (seen.bytes <= i && sent == i + 1)  // one byte in flight at a time
                std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    std::vector<double> latencyUs;
    const auto deadline = SteadyClock::now() + std::chrono::seconds(30);
    long counted = 0;
    while (counted < samples && SteadyClock::now() < deadline) {
        ProcessSystemEvents();  // the wait loop under test
        if (seen.bytes > counted) {
            const SteadyClock::time_point sentTime(
                SteadyClock::duration(sentAt[static_cast<std::size_t>(seen.bytes - 1)].load()));
            latencyUs.push_back(std::chrono::duration<double, std::micro>(seen.at - sentTime).count());
            counted = seen.bytes;
        }
    }
    sent = -1;
    sender.join();
    DisconnectFromTCPServer(h);
    if (latencyUs.empty()) return 1;
    std::sort(latencyUs.begin(), latencyUs.end());
    auto at = [&](double q) { return latencyUs[static_cast<std::size_t>(q * (latencyUs.size() - 1))]; };
    std::printf(
        "byte arrival -> seen in the wait loop: %zu samples, median %.0f us, p90 %.0f us, max %.0f us\n",
        latencyUs.size(), at(0.5), at(0.9), latencyUs.back());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (InitCVIRTE(argc, argv) != 0) return 1;
    const int samples = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    const bench::fs::path dir = bench::WorkDir("bench-link-wait");
    bench::PrintConditions("bench_link_wait: what the reply waits cost");
    int failures = 0;
    failures += WaitForSilentTcpReply(dir);
    failures += WaitForSilentSerialReply(dir);
    failures += MeasureArrivalLatency(samples);
    bench::fs::remove_all(dir);
    return failures == 0 ? 0 : 1;
}
