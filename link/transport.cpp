#include "transport.h"

#include "io.h"

double LinkTransport::Now() {
    return Timer();
}

int SerialTransport::Open(const LinkAddress& address, TransportEvents&) {
    port_ = address.comPort;
    CloseCom(port_);
    const int result = OpenComConfig(port_, address.device, address.baud, VAL_NO_PARITY, 8, 1, 1024, 1024);
    if (result < 0) return result;
    SetComTime(port_, 2.0);
    FlushInQ(port_);
    FlushOutQ(port_);
    SetCTSMode(port_, 0);
    return result;
}

void SerialTransport::Close() {
    CloseCom(port_);
}

int SerialTransport::Write(const unsigned char* bytes, int count, int) {
    return ComWrt(port_, bytes, count);
}

int SerialTransport::Read(unsigned char* bytes, int count, int) {
    return ComRd(port_, bytes, count);
}

int SerialTransport::Waiting() {
    return GetInQLen(port_);
}

bool SerialTransport::LineLost() {
    return ComLineLost(port_);
}

void SerialTransport::Flush() {
    FlushInQ(port_);
    FlushOutQ(port_);
}

int TcpTransport::Open(const LinkAddress& address, TransportEvents& events) {
    events_ = &events;
    unsigned handle = 0;
    const int result = ConnectToTCPServer(handle, address.port, address.host, Callback, this, 5000);
    if (result >= 0) handle_ = handle;
    return result;
}

void TcpTransport::Close() {
    DisconnectFromTCPServer(handle_);
    handle_ = 0;
}

int TcpTransport::Write(const unsigned char* bytes, int count, int timeoutMs) {
    return ClientTCPWrite(handle_, bytes, count, timeoutMs);
}

int TcpTransport::Read(unsigned char* bytes, int count, int timeoutMs) {
    return ClientTCPRead(handle_, bytes, count, timeoutMs);
}

int TcpTransport::Callback(unsigned handle, int event, int, void* data) {
    auto* self = static_cast<TcpTransport*>(data);
    if (handle != self->handle_ || !self->events_) return 0;
    if (event == TCP_DISCONNECT) {
        self->handle_ = 0;
        self->events_->PeerClosed();
    } else if (event == TCP_DATAREADY) {
        self->events_->BytesReady();
    }
    return 0;
}
