// Loopback servers that misbehave in ways the sensor emulator does not: for connects that wait.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

// A loopback listener that never accepts and whose accept queue is full, so a further connection attempt
// gets no answer at all: the kernel drops its SYN.
class UnansweringServer {
  public:
    UnansweringServer() {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listenFd_, 0);
        socklen_t len = sizeof a;
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        for (int i = 0; i < 16 && !full_; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
            fillers_.push_back(fd);
            pollfd p{fd, POLLOUT, 0};
            full_ = ::poll(&p, 1, 300) == 0;  // this one hangs: the queue is full
        }
    }
    ~UnansweringServer() {
        for (int fd : fillers_) ::close(fd);
        ::close(listenFd_);
    }
    std::uint16_t Port() const { return port_; }
    bool Full() const { return full_; }

  private:
    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    bool full_ = false;
    std::vector<int> fillers_;
};

// A loopback listener whose connections the kernel completes but which sends nothing by itself. Accept()
// gives the server side of the next connection, to write to or to close.
class SilentServer {
  public:
    SilentServer() {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listenFd_, 8);
        socklen_t len = sizeof a;
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~SilentServer() {
        for (int fd : accepted_) ::close(fd);
        ::close(listenFd_);
    }
    std::uint16_t Port() const { return port_; }
    int Accept() {
        const int fd = ::accept(listenFd_, nullptr, nullptr);
        if (fd >= 0) accepted_.push_back(fd);
        return fd;
    }

  private:
    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::vector<int> accepted_;
};
