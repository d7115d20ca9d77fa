// What a sensor link sends its frames over: a serial port, a TCP conversation with a serial-to-Ethernet
// server, or (for tests) bytes in memory. A transport moves bytes; the link decides what they mean.
#pragma once

#include <string>

// What a transport tells its link.
class TransportEvents {
  public:
    virtual void BytesReady() = 0;  // bytes wait (a TCP conversation): the link reads them now
    virtual void PeerClosed() = 0;  // the other side ended the conversation
  protected:
    ~TransportEvents() = default;
};

// Where a link leads, as the interface panel sets it.
struct LinkAddress {
    int comPort = 1;
    std::string device;  // the serial device itself; empty: the COMn rule
    long baud = 19200;
    std::string host;
    int port = 0;
};

class LinkTransport {
  public:
    virtual ~LinkTransport() = default;
    // Opens the line; 0, or the platform's negative error code. Events go to `events` while it is open.
    virtual int Open(const LinkAddress& address, TransportEvents& events) = 0;
    virtual void Close() = 0;
    // Bytes written, or a negative error code.
    virtual int Write(const unsigned char* bytes, int count, int timeoutMs) = 0;
    // Bytes read (up to count, waiting up to timeoutMs where the line waits), or a negative error code.
    virtual int Read(unsigned char* bytes, int count, int timeoutMs) = 0;
    // Bytes waiting to be read (a serial port), or a negative error code; 0 where bytes are pushed.
    virtual int Waiting() = 0;
    // Empties the queues (a serial port); nothing where there are none.
    virtual void Flush() = 0;
    // Whether no more bytes can come: the serial device went away or hung up. (A TCP conversation tells its
    // end through its events.)
    virtual bool LineLost() { return false; }
    // One pass of a wait: a transport in memory moves its clock here.
    virtual void Pump() {}
    // Seconds on the clock the link's waits run by.
    virtual double Now();
    // Whether that clock is the platform's, on which the line's bytes arrive while a wait sleeps; a clock
    // that moves only at the passes of a wait (a line in memory) gives a host no time to sleep for.
    virtual bool RealTime() const { return true; }
};

// A serial port of the platform (COMn or a device), 8N1, no handshake.
class SerialTransport final : public LinkTransport {
  public:
    explicit SerialTransport(int port = 1) : port_(port) {}
    int Open(const LinkAddress& address, TransportEvents& events) override;
    void Close() override;
    int Write(const unsigned char* bytes, int count, int timeoutMs) override;
    int Read(unsigned char* bytes, int count, int timeoutMs) override;
    int Waiting() override;
    void Flush() override;
    bool LineLost() override;
    int Port() const { return port_; }

  private:
    int port_ = 1;
};

// A TCP conversation of the platform. Its events arrive while the platform's events run, which the link's
// idle hook lets happen.
class TcpTransport final : public LinkTransport {
  public:
    int Open(const LinkAddress& address, TransportEvents& events) override;
    void Close() override;
    int Write(const unsigned char* bytes, int count, int timeoutMs) override;
    int Read(unsigned char* bytes, int count, int timeoutMs) override;
    int Waiting() override { return 0; }
    void Flush() override {}
    unsigned Handle() const { return handle_; }

  private:
    static int Callback(unsigned handle, int event, int error, void* data);
    unsigned handle_ = 0;
    TransportEvents* events_ = nullptr;
};
