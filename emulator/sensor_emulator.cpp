#include "sensor_emulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>

namespace sensor_emu {

namespace {

using Clock = std::chrono::steady_clock;

void SetError(std::string* error, const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// The rate a terminal's output side is set to, 0 when unknown.
long LineBaud(const termios& tio) {
    static const std::pair<speed_t, long> kSpeeds[] = {
        {B1200, 1200},     {B2400, 2400},     {B4800, 4800},     {B9600, 9600},
        {B19200, 19200},   {B38400, 38400},   {B57600, 57600},   {B115200, 115200},
        {B230400, 230400}, {B460800, 460800}, {B921600, 921600},
    };
    const speed_t speed = ::cfgetospeed(&tio);
    for (const auto& [code, baud] : kSpeeds)
        if (code == speed) return baud;
    return 0;
}

// What a receiver at `lineBaud` makes of `bytes` sent at `sendBaud` (8N1, idle line high): it waits for a
// falling edge, samples eight data bits and the stop bit in the middle of its own bit times, and delivers
// the byte (a framing error does not stop a receiver that does not check for it).
Bytes DecodeAtRate(const Bytes& bytes, long sendBaud, long lineBaud) {
    const double sendBit = 1.0 / double(sendBaud), lineBit = 1.0 / double(lineBaud);
    const std::size_t bits = bytes.size() * 10;
    auto level = [&](double t) {
        const auto i = static_cast<std::size_t>(t / sendBit);
        if (t < 0 || i >= bits) return 1;
        const std::size_t bit = i % 10;
        if (bit == 0) return 0;
        if (bit == 9) return 1;
        return (bytes[i / 10] >> (bit - 1)) & 1;
    };
    Bytes out;
    const double end = double(bits) * sendBit;
    for (double t = 0; t < end;) {
        if (level(t) != 0) {
            t += lineBit / 16;
            continue;
        }
        unsigned value = 0;
        for (int k = 0; k < 8; ++k) value |= unsigned(level(t + (k + 1.5) * lineBit)) << k;
        out.push_back(static_cast<std::uint8_t>(value));
        t += 9.5 * lineBit;
    }
    return out;
}

constexpr std::size_t kMaxQueuedParts = 256;  // auto-sent frames beyond this wait are dropped
// A wire-speed line hands its bytes over as they finish, in batches no further apart than this (the last
// byte of a part exactly when it finishes).
constexpr auto kWireBatch = std::chrono::milliseconds(1);

// One served connection: the TCP client or the pseudo-terminal's master side.
struct Link {
    enum class Action { Data, Close, Mute };  // Close hangs a serial line up
    struct Out {
        Clock::time_point due;
        Bytes bytes;
        Action action = Action::Data;
        std::size_t autoFrames = 0;  // whole auto-sent frames at the end of the bytes
    };

    int fd = -1;
    bool isSocket = false;
    bool muted = false;  // a serial line that "lost" its sensor: input is read and dropped
    bool wire = false;   // a serial line at wire speed
    FrameSplitter splitter;
    std::deque<Out> out;
    std::size_t sentOfFront = 0;
    Clock::time_point lastDue{};
    bool writeBlocked = false;  // the peer took no more: wait until it can
    // Wire speed: when the bytes coming in and going out are through, and the front part's first byte
    // began (once it began) at one byte per byteTime.
    Clock::time_point rxFree{}, txFree{}, frontStart{};
    bool frontStarted = false;
    Clock::duration byteTime{};

    bool Open() const { return fd >= 0; }
    void Reset() {
        splitter.Reset();
        out.clear();
        sentOfFront = 0;
        lastDue = {};
        writeBlocked = frontStarted = false;
    }
    // Queues bytes (or the close) after everything already queued, `delay` after `earliest`.
    Clock::time_point Queue(Clock::time_point earliest, int delayMs, Bytes bytes, Action action,
                            std::size_t autoFrames = 0) {
        const auto due = std::max(earliest + std::chrono::milliseconds(delayMs), lastDue);
        out.push_back({due, std::move(bytes), action, autoFrames});
        lastDue = due;
        return due;
    }
    // On a wire-speed line: how many bytes of the front part are through at `now`, and when the next one is.
    std::size_t BytesThrough(Clock::time_point now) const {
        const auto n = (now - frontStart) / byteTime;
        const std::size_t size = out.front().bytes.size();
        return n <= 0 ? 0 : std::min(static_cast<std::size_t>(n), size);
    }
};

}  // namespace

struct SensorEmulator::Impl {
    EmulatorOptions options;

    mutable std::mutex mutex;  // guards everything below up to the I/O state
    SensorCore core;
    Faults faults;
    int frameCount = 0;
    std::vector<Frame> received;
    std::vector<Clock::time_point> receivedAt;  // when each of them arrived whole
    bool unmuteRequested = false;
    std::vector<Frame> autoSent;
    Clock::time_point lastAutoSentAt{};
    std::mt19937 noiseRandom{1};
    NoiseCounts noise;

    std::atomic<bool> clientConnected{false};
    std::atomic<int> accepted{0};
    std::atomic<bool> dropClientRequested{false};

    // I/O state, touched only by the serving thread once it runs.
    int listenFd = -1;
    std::uint16_t port = 0;
    Link client;
    Link pty;
    // Held open so the master never sees a hang-up while no program has the line open. Guarded by the
    // mutex once serving.
    int ptySlaveFd = -1;
    std::string ptyPath;
    std::string linkMade;
    int wakeRead = -1, wakeWrite = -1;
    std::atomic<bool> stopping{false};
    std::thread thread;
    Link* autoLink = nullptr;  // where auto-sent frames go
    Clock::time_point nextAuto{};

    explicit Impl(EmulatorOptions o) : options(std::move(o)), core(options.versionText, options.simulation) {
        core.SetDumpFile(options.dumpFile);
        noiseRandom.seed(options.simulation.seed);
        if (!options.parameterDumpFile.empty()) core.SetParameterDumpFile(options.parameterDumpFile);
        core.SetSerialBaud(options.serialBaud);
        client.isSocket = true;
        pty.wire = options.wireSpeed;
    }

    bool OpenListener(std::string* error);
    bool OpenPty(std::string* error);
    void Serve();
    void Wake();
    void AcceptClient();
    void ReadFrom(Link& link);
    void OnFrame(Link& link, const Frame& frame, Clock::time_point now);
    bool LineAtSensorRate() const;
    Clock::duration ByteTime() const;
    void StartFront(Link& link);
    void Sent(const Link::Out& part);
    std::vector<ReplyPart> Noisy(std::vector<ReplyPart> parts, const Faults& f);
    Clock::duration AutoPeriod() const;
    void AutoSend(Clock::time_point now);
    void Flush(Link& link);
    void CloseLink(Link& link);
    void HangUpPty();
    std::optional<Clock::time_point> NextWake(const Link& link, Clock::time_point now) const;
    void CloseAll();
};

bool SensorEmulator::Impl::OpenListener(std::string* error) {
    listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listenFd < 0) return SetError(error, "socket"), false;
    const int one = 1;
    ::setsockopt(listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(options.tcpPort);
    if (::bind(listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return SetError(error, "bind 127.0.0.1:" + std::to_string(options.tcpPort)), false;
    if (::listen(listenFd, 4) != 0) return SetError(error, "listen"), false;
    socklen_t len = sizeof addr;
    ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    return true;
}

// The slave side is put into raw mode and kept open by us: without raw mode the line discipline would echo
// the program's bytes back and cook them, and a program that opens the line keeps the settings it finds.
bool SensorEmulator::Impl::OpenPty(std::string* error) {
    pty.fd = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (pty.fd < 0) return SetError(error, "posix_openpt"), false;
    ::fcntl(pty.fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(pty.fd, F_SETFL, ::fcntl(pty.fd, F_GETFL) | O_NONBLOCK);
    if (::grantpt(pty.fd) != 0 || ::unlockpt(pty.fd) != 0) return SetError(error, "grantpt/unlockpt"), false;
    char name[128];
    if (::ptsname_r(pty.fd, name, sizeof name) != 0) return SetError(error, "ptsname"), false;
    ptyPath = name;
    ptySlaveFd = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (ptySlaveFd < 0) return SetError(error, "open " + ptyPath), false;
    termios tio{};
    ::tcgetattr(ptySlaveFd, &tio);
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetspeed(&tio, B19200);
    if (::tcsetattr(ptySlaveFd, TCSANOW, &tio) != 0) return SetError(error, "tcsetattr " + ptyPath), false;

    if (!options.ptyLink.empty()) {
        namespace fs = std::filesystem;
        std::error_code ec;
        const fs::path link = options.ptyLink;
        const auto st = fs::symlink_status(link, ec);
        if (fs::exists(st) && !fs::is_symlink(st)) {
            errno = EEXIST;
            return SetError(error, options.ptyLink + " exists and is not a symbolic link"), false;
        }
        fs::remove(link, ec);
        fs::create_symlink(ptyPath, link, ec);
        if (ec) {
            errno = ec.value();
            return SetError(error, "symlink " + options.ptyLink), false;
        }
        linkMade = options.ptyLink;
    }
    return true;
}

void SensorEmulator::Impl::Wake() {
    const char c = 1;
    [[maybe_unused]] auto n = ::write(wakeWrite, &c, 1);
}

void SensorEmulator::Impl::AcceptClient() {
    const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    const int one = 1;  // parts of a split reply must leave as parts
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    client.Reset();
    client.fd = fd;
    clientConnected = true;
    ++accepted;
}

void SensorEmulator::Impl::CloseLink(Link& link) {
    CloseFd(link.fd);
    link.Reset();
    if (&link == &client) clientConnected = false;
}

void SensorEmulator::Impl::HangUpPty() {
    CloseLink(pty);
    std::lock_guard lock(mutex);  // PtyLineSettings reads the slave from other threads
    CloseFd(ptySlaveFd);
}

void SensorEmulator::Impl::ReadFrom(Link& link) {
    std::uint8_t buf[512];
    for (;;) {
        const ssize_t n = ::read(link.fd, buf, sizeof buf);
        if (n > 0) {
            if (link.muted) continue;
            const auto now = Clock::now();
            if (!link.wire) {
                link.splitter.Feed({buf, std::size_t(n)}, [&](const Frame& f) { OnFrame(link, f, now); });
            } else {
                // The bytes came in one after the other from now on (or from when the line was free): a frame
                // has arrived when its last byte has.
                const Clock::duration byte = ByteTime();
                link.rxFree = std::max(link.rxFree, now);
                std::span<const std::uint8_t> rest(buf, std::size_t(n));
                while (!rest.empty() && link.Open()) {
                    const std::size_t take = std::min(kFrameSize - link.splitter.Pending(), rest.size());
                    link.rxFree += std::int64_t(take) * byte;
                    link.splitter.Feed(rest.first(take),
                                       [&](const Frame& f) { OnFrame(link, f, link.rxFree); });
                    rest = rest.subspan(take);
                }
            }
            // A read that did not fill the buffer took all there was: what comes next is for the next poll,
            // so no further read is spent per frame to learn that nothing is left.
            if (!link.Open() || std::size_t(n) < sizeof buf) return;
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
        // End of stream or a broken connection. The serial line's master only reports this when its
        // slave is gone, which cannot happen while we hold it, so it is the client that left.
        if (link.isSocket) CloseLink(link);
        return;
    }
}

// Whether the serial line runs at the sensor's rate (any rate while none is set). Called with the mutex held.
bool SensorEmulator::Impl::LineAtSensorRate() const {
    const long want = core.SerialBaud();
    if (want == 0) return true;
    termios tio{};
    return ptySlaveFd >= 0 && ::tcgetattr(ptySlaveFd, &tio) == 0 && LineBaud(tio) == want;
}

Clock::duration SensorEmulator::Impl::ByteTime() const {
    long baud = 0;
    {
        std::lock_guard lock(mutex);
        termios tio{};
        if (ptySlaveFd >= 0 && ::tcgetattr(ptySlaveFd, &tio) == 0) baud = LineBaud(tio);
        if (baud == 0) baud = core.SerialBaud();
    }
    if (baud <= 0) baud = 19200;
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(10.0 / double(baud)));
}

// `now`: when the frame's last byte came in.
void SensorEmulator::Impl::OnFrame(Link& link, const Frame& frame, Clock::time_point now) {
    if (!link.isSocket && options.noiseAtWrongRate) {
        Bytes wrongRateBytes;
        {
            std::lock_guard lock(mutex);
            termios tio{};
            if (!LineAtSensorRate() && ptySlaveFd >= 0 && ::tcgetattr(ptySlaveFd, &tio) == 0 &&
                LineBaud(tio) > 0) {
                const Frame version = VersionReply(core.VersionText());
                wrongRateBytes =
                    DecodeAtRate(Bytes(version.begin(), version.end()), core.SerialBaud(), LineBaud(tio));
            }
        }
        if (!wrongRateBytes.empty()) {
            link.Queue(now, 0, std::move(wrongRateBytes), Link::Action::Data);
            return;
        }
    }
    std::optional<Bytes> reply;
    Faults f;
    int number;
    bool autoOn;
    {
        std::lock_guard lock(mutex);
        if (!link.isSocket && !LineAtSensorRate()) return;
        number = ++frameCount;
        received.push_back(frame);
        receivedAt.push_back(now);
        f = faults;
        if (number != f.closeAtFrame) reply = core.Handle(frame);
        autoOn = core.AutoSending();
    }
    if (number != f.closeAtFrame && WordAt(frame, 2) == 50) {
        autoLink = autoOn ? &link : nullptr;
        nextAuto = now;
        if (autoOn) {
            std::lock_guard lock(mutex);
            autoSent.clear();
        }
    }
    if (number == f.closeAtFrame) {
        const bool close = link.isSocket || f.hangUpPty;
        link.Queue(now, 0, {}, close ? Link::Action::Close : Link::Action::Mute);
        return;
    }
    if (!reply) return;
    ShapeReplyToOrder(*reply, WordAt(frame, 2), f);
    Clock::time_point at = now;
    for (auto& part : Noisy(ShapeReply(std::move(*reply), number, f), f))
        at = link.Queue(at, part.delayMs, std::move(part.bytes), Link::Action::Data);
    if (number == f.closeAfterFrame) link.Queue(at, 100, {}, Link::Action::Close);
}

std::vector<ReplyPart> SensorEmulator::Impl::Noisy(std::vector<ReplyPart> parts, const Faults& f) {
    if (!(f.noiseRate > 0.0)) return parts;
    std::lock_guard lock(mutex);
    return AddLineNoise(std::move(parts), f, noiseRandom, noise);
}

NoiseCounts SensorEmulator::Noise() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->noise;
}

Clock::duration SensorEmulator::Impl::AutoPeriod() const {
    const double hz = std::clamp(options.autoSendHz, 0.1, 1000.0);
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / hz));
}

// Queues the next auto-sent frame(s) when they are due. A tick that finds the sensor silent, the link
// closed, mute, at another rate or not taking its bytes in sends nothing; no tick is made up later.
void SensorEmulator::Impl::AutoSend(Clock::time_point now) {
    if (!autoLink || now < nextAuto) return;
    nextAuto += AutoPeriod();
    if (nextAuto <= now) nextAuto = now + AutoPeriod();
    Link& link = *autoLink;
    if (!link.Open() || link.muted || link.out.size() >= kMaxQueuedParts) return;
    Bytes bytes;
    Faults f;
    {
        std::lock_guard lock(mutex);
        if (!core.AutoSending() || faults.SilentSince(frameCount)) return;
        if (!link.isSocket && !LineAtSensorRate()) return;
        bytes = core.AutoSendTick(faults);
        f = faults;
    }
    if (f.noiseRate > 0.0) {
        // What leaves is no longer whole frames; the frames made are kept, to tell a frame the program took
        // in from one it put together from the bytes of two.
        {
            std::lock_guard lock(mutex);
            for (std::size_t k = bytes.size() % kFrameSize; k + kFrameSize <= bytes.size(); k += kFrameSize) {
                Frame made;
                std::copy_n(bytes.begin() + std::ptrdiff_t(k), kFrameSize, made.begin());
                autoSent.push_back(made);
            }
            lastAutoSentAt = now;
        }
        Clock::time_point at = now;
        for (auto& part : Noisy({{0, std::move(bytes)}}, f))
            at = link.Queue(at, part.delayMs, std::move(part.bytes), Link::Action::Data);
        return;
    }
    const std::size_t whole = bytes.size() / kFrameSize;
    link.Queue(now, 0, std::move(bytes), Link::Action::Data, whole);
}

// A part has left whole: the auto-sent frames it carried count as sent.
void SensorEmulator::Impl::Sent(const Link::Out& part) {
    if (part.autoFrames == 0) return;
    std::lock_guard lock(mutex);
    for (std::size_t k = part.autoFrames; k > 0; --k) {
        Frame f;
        std::copy_n(part.bytes.end() - std::ptrdiff_t(k * kFrameSize), kFrameSize, f.begin());
        autoSent.push_back(f);
    }
    lastAutoSentAt = Clock::now();
}

// The front part of a wire-speed line begins when it is due and the line is free.
void SensorEmulator::Impl::StartFront(Link& link) {
    if (link.frontStarted) return;
    link.byteTime = ByteTime();
    link.frontStart = std::max(link.out.front().due, link.txFree);
    link.frontStarted = true;
}

// Sends what is due; stops at the first part that is not due yet or that the peer cannot take now.
void SensorEmulator::Impl::Flush(Link& link) {
    const auto now = Clock::now();
    while (link.Open() && !link.out.empty() && link.out.front().due <= now) {
        auto& front = link.out.front();
        if (front.action == Link::Action::Mute) {
            link.Reset();
            link.muted = true;
            return;
        }
        if (front.action == Link::Action::Close) {
            if (link.isSocket)
                CloseLink(link);
            else
                HangUpPty();
            return;
        }
        std::size_t through = front.bytes.size();
        if (link.wire) {
            StartFront(link);
            through = link.BytesThrough(now);
            if (through <= link.sentOfFront) return;
        }
        const std::size_t left = through - link.sentOfFront;
        const ssize_t n = link.isSocket
                              ? ::send(link.fd, front.bytes.data() + link.sentOfFront, left, MSG_NOSIGNAL)
                              : ::write(link.fd, front.bytes.data() + link.sentOfFront, left);
        link.writeBlocked = n < 0 && errno == EAGAIN;
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) return;
            if (link.isSocket) CloseLink(link);
            return;
        }
        link.sentOfFront += static_cast<std::size_t>(n);
        if (link.sentOfFront < front.bytes.size()) {
            link.writeBlocked = link.sentOfFront < through;
            return;
        }
        if (link.wire) {
            link.txFree = link.frontStart + std::int64_t(front.bytes.size()) * link.byteTime;
            link.frontStarted = false;
        }
        Sent(front);
        link.out.pop_front();
        link.sentOfFront = 0;
    }
}

// When the link has more to send: its next part falls due, or on a wire-speed line its next bytes are
// through. None while it waits for the peer to take bytes (POLLOUT) or has nothing queued.
std::optional<Clock::time_point> SensorEmulator::Impl::NextWake(const Link& link,
                                                                Clock::time_point now) const {
    if (!link.Open() || link.out.empty() || link.writeBlocked) return std::nullopt;
    const Link::Out& front = link.out.front();
    if (!link.wire || front.action != Link::Action::Data) return front.due;
    if (!link.frontStarted) return std::max(front.due, link.txFree) + link.byteTime;
    const auto bytes = [&](std::size_t n) { return link.frontStart + std::int64_t(n) * link.byteTime; };
    const Clock::time_point batch = now + kWireBatch;
    return std::min(bytes(front.bytes.size()), std::max(bytes(link.sentOfFront + 1), batch));
}

void SensorEmulator::Impl::Serve() {
    // A wire-speed line hands over its bytes when they are through, to the microsecond: no timer slack.
    if (options.wireSpeed) ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    while (!stopping) {
        {
            std::lock_guard lock(mutex);
            if (unmuteRequested) pty.muted = false;
            unmuteRequested = false;
        }
        if (dropClientRequested.exchange(false) && client.Open()) CloseLink(client);

        const auto now = Clock::now();
        pollfd fds[4];
        nfds_t n = 0;
        fds[n++] = {wakeRead, POLLIN, 0};
        const int listenIdx = listenFd >= 0 && !client.Open() ? static_cast<int>(n) : -1;
        if (listenIdx >= 0) fds[n++] = {listenFd, POLLIN, 0};
        auto watch = [&](Link& link) {
            if (!link.Open()) return -1;
            fds[n] = {link.fd, static_cast<short>(POLLIN | (link.writeBlocked ? POLLOUT : 0)), 0};
            return static_cast<int>(n++);
        };
        const int clientIdx = watch(client);
        const int ptyIdx = watch(pty);

        std::optional<Clock::time_point> wake;
        for (const auto& at :
             {NextWake(client, now), NextWake(pty, now), autoLink ? std::optional(nextAuto) : std::nullopt})
            if (at) wake = wake ? std::min(*wake, *at) : *at;
        timespec timeout{};
        if (wake) {
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                std::max(*wake - now, Clock::duration::zero()))
                                .count();
            timeout = {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
        }
        if (::ppoll(fds, n, wake ? &timeout : nullptr, nullptr) < 0 && errno != EINTR) break;

        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(wakeRead, drain, sizeof drain) > 0) {
            }
        }
        if (listenIdx >= 0 && (fds[listenIdx].revents & POLLIN)) AcceptClient();
        if (clientIdx >= 0 && (fds[clientIdx].revents & POLLOUT)) client.writeBlocked = false;
        if (ptyIdx >= 0 && (fds[ptyIdx].revents & POLLOUT)) pty.writeBlocked = false;
        if (clientIdx >= 0 && fds[clientIdx].revents && client.Open()) ReadFrom(client);
        if (ptyIdx >= 0 && (fds[ptyIdx].revents & POLLIN) && pty.Open()) ReadFrom(pty);
        if (ptyIdx >= 0 && (fds[ptyIdx].revents & (POLLERR | POLLNVAL)) && pty.Open()) HangUpPty();
        AutoSend(Clock::now());
        Flush(client);
        Flush(pty);
    }
}

void SensorEmulator::Impl::CloseAll() {
    CloseLink(client);
    HangUpPty();
    CloseFd(listenFd);
    CloseFd(wakeRead);
    CloseFd(wakeWrite);
    if (!linkMade.empty()) {
        // Only our own link goes; another emulator may have taken the name over since.
        std::error_code ec;
        if (std::filesystem::read_symlink(linkMade, ec) == ptyPath) std::filesystem::remove(linkMade, ec);
        linkMade.clear();
    }
}

// ---------------------------------------------------------------------------------------------------------

SensorEmulator::SensorEmulator(EmulatorOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

SensorEmulator::~SensorEmulator() {
    Stop();
}

bool SensorEmulator::Start(std::string* error) {
    Impl& d = *impl_;
    if (d.thread.joinable()) return true;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) return SetError(error, "pipe"), false;
    d.wakeRead = pipeFds[0];
    d.wakeWrite = pipeFds[1];
    if ((d.options.tcp && !d.OpenListener(error)) || (d.options.pty && !d.OpenPty(error))) {
        d.CloseAll();
        return false;
    }
    d.stopping = false;
    d.thread = std::thread([&d] { d.Serve(); });
    return true;
}

void SensorEmulator::Stop() {
    Impl& d = *impl_;
    if (!d.thread.joinable()) return;
    d.stopping = true;
    d.Wake();
    d.thread.join();
    d.CloseAll();
}

std::uint16_t SensorEmulator::TcpPort() const {
    return impl_->listenFd >= 0 ? impl_->port : 0;
}
std::string SensorEmulator::PtyPath() const {
    return impl_->ptyPath;
}

void SensorEmulator::SetFaults(const Faults& faults) {
    std::lock_guard lock(impl_->mutex);
    impl_->faults = faults;
}

Faults SensorEmulator::GetFaults() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->faults;
}

void SensorEmulator::ResetCounters() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->frameCount = 0;
        impl_->received.clear();
        impl_->receivedAt.clear();
        impl_->unmuteRequested = true;
    }
    impl_->Wake();
}

int SensorEmulator::FrameCount() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->frameCount;
}

std::vector<Frame> SensorEmulator::Received() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->received;
}

std::vector<std::chrono::steady_clock::time_point> SensorEmulator::ReceivedTimes() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->receivedAt;
}

std::uint16_t SensorEmulator::TableWord(std::uint16_t address) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->core.TableWord(address);
}

std::vector<std::pair<std::uint16_t, std::uint16_t>> SensorEmulator::WrittenTable() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->core.WrittenTable();
}

std::uint16_t SensorEmulator::RamWord(std::size_t word) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->core.RamWord(word);
}

std::uint16_t SensorEmulator::EepromWord(std::size_t word) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->core.EepromWord(word);
}

void SensorEmulator::SetRamWord(std::size_t word, std::uint16_t value) {
    std::lock_guard lock(impl_->mutex);
    impl_->core.SetRamWord(word, value);
}

void SensorEmulator::SetEepromWord(std::size_t word, std::uint16_t value) {
    std::lock_guard lock(impl_->mutex);
    impl_->core.SetEepromWord(word, value);
}

SensorCore::ReadSource SensorEmulator::NextReadSource(std::uint16_t readOrder) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->core.NextReadSource(readOrder);
}

bool SensorEmulator::AutoSending() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->core.AutoSending();
}

std::vector<Frame> SensorEmulator::AutoSentFrames() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->autoSent;
}

std::chrono::steady_clock::time_point SensorEmulator::LastAutoSentAt() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->lastAutoSentAt;
}

long SensorEmulator::SerialBaud() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->core.SerialBaud();
}

void SensorEmulator::SetSerialBaud(long baud) {
    std::lock_guard lock(impl_->mutex);
    impl_->core.SetSerialBaud(baud);
}

bool SensorEmulator::PtyLineSettings(LineSettings& out) const {
    termios tio{};
    {
        std::lock_guard lock(impl_->mutex);
        if (impl_->ptySlaveFd < 0 || ::tcgetattr(impl_->ptySlaveFd, &tio) != 0) return false;
    }
    out.baudRate = LineBaud(tio);
    switch (tio.c_cflag & CSIZE) {
        case CS5:
            out.dataBits = 5;
            break;
        case CS6:
            out.dataBits = 6;
            break;
        case CS7:
            out.dataBits = 7;
            break;
        default:
            out.dataBits = 8;
            break;
    }
    out.parity = !(tio.c_cflag & PARENB) ? 'N' : (tio.c_cflag & PARODD) ? 'O' : 'E';
    out.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
    out.rtsCts = (tio.c_cflag & CRTSCTS) != 0;
    return true;
}

bool SensorEmulator::TcpClientConnected() const {
    return impl_->clientConnected;
}
int SensorEmulator::TcpConnectionsAccepted() const {
    return impl_->accepted;
}

void SensorEmulator::CloseTcpClient() {
    impl_->dropClientRequested = true;
    impl_->Wake();
}

}  // namespace sensor_emu
