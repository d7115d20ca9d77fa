// TCP client conversations on QTcpSocket, on the user-interface thread.
//
// The conversation callback is never called from inside a socket signal: the signals only queue a service
// call, which the event pump runs. The service raises one event per run, never while the same
// conversation's callback is still running (a callback that pumps events does not get called again
// inside itself), and queues itself again while unread bytes remain, so no byte is stranded. The
// disconnect event comes after the last byte has been offered; the conversation ends with it.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <algorithm>
#include <map>
#include <memory>

#include "internal.h"
#include "platform.h"

namespace {

struct Conversation {
    std::unique_ptr<QTcpSocket> socket;
    TCPCallbackPtr callback = nullptr;
    void* callbackData = nullptr;
    bool inCallback = false;
    bool serviceQueued = false;
    bool peerClosed = false;
};

std::map<unsigned, std::unique_ptr<Conversation>>& Conversations() {
    static std::map<unsigned, std::unique_ptr<Conversation>> conversations;
    return conversations;
}

// Sockets are closed while the application object still exists.
void CloseAllConversations() {
    Conversations().clear();
}

Conversation* Find(unsigned handle) {
    auto it = Conversations().find(handle);
    return it == Conversations().end() ? nullptr : it->second.get();
}

// Handles count up and are not reused soon, so a service queued for an ended conversation cannot reach a
// new one.
unsigned NewHandle() {
    static unsigned next = 1;
    while (next == 0 || Find(next)) ++next;
    return next++;
}

void Service(unsigned handle);

void QueueService(unsigned handle) {
    Conversation* c = Find(handle);
    if (!c || c->serviceQueued) return;
    c->serviceQueued = true;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [handle] { Service(handle); }, Qt::QueuedConnection);
}

// Calls the conversation's callback; false when the callback ended the conversation.
bool Raise(unsigned handle, int event) {
    Conversation* c = Find(handle);
    c->inCallback = true;
    {
        platform_detail::CallbackScope scope;
        c->callback(handle, event, 0, c->callbackData);
    }
    c = Find(handle);
    if (!c) return false;
    c->inCallback = false;
    return true;
}

void Service(unsigned handle) {
    Conversation* c = Find(handle);
    if (!c) return;
    c->serviceQueued = false;
    // Inside this conversation's own callback: it queues the next service when it returns. Without a
    // callback the owner reads by itself and ends the conversation by itself.
    if (c->inCallback || !c->callback) return;
    if (c->socket->bytesAvailable() > 0) {
        if (!Raise(handle, TCP_DATAREADY)) return;
        c = Find(handle);
        if (c->socket->bytesAvailable() > 0 || c->peerClosed) QueueService(handle);
        return;
    }
    if (c->peerClosed) {
        if (Raise(handle, TCP_DISCONNECT)) Conversations().erase(handle);
    }
}

int ConnectError(QAbstractSocket::SocketError e) {
    switch (e) {
        case QAbstractSocket::SocketTimeoutError:
            return kTCP_TimeOutErr;
        case QAbstractSocket::ConnectionRefusedError:
            return kTCP_UnableToEstablishConnection;
        case QAbstractSocket::HostNotFoundError:
        case QAbstractSocket::NetworkError:
            return kTCP_FailedToConnect;
        case QAbstractSocket::SocketResourceError:
            return kTCP_OutOfMemory;
        default:
            return kTCP_GeneralIOErr;
    }
}

// The server's address, looked up on this thread. Qt's own lookup for connectToHost runs in a pool thread
// that may still be busy when the program ends, and then crashes the program on its way out.
bool Resolve(const QString& name, QHostAddress& address) {
    if (address.setAddress(name)) return true;
    const QHostInfo info = QHostInfo::fromName(name);
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) return false;
    address = info.addresses().first();
    for (const QHostAddress& a : info.addresses())
        if (a.protocol() == QAbstractSocket::IPv4Protocol) {
            address = a;  // serial-to-Ethernet servers speak IPv4
            break;
        }
    return true;
}

}  // namespace

int ConnectToTCPServer(unsigned& handle, int port, std::string_view serverName, TCPCallbackPtr callback,
                       void* callbackData, int timeoutMs) {
    handle = 0;
    if (port <= 0 || port > 65535 || serverName.empty() || timeoutMs <= 0) return kTCP_InvalidParameter;
    if (!QCoreApplication::instance()) return kTCP_GeneralIOErr;
    static bool cleanupRegistered = false;
    if (!cleanupRegistered) {
        qAddPostRoutine(CloseAllConversations);
        cleanupRegistered = true;
    }

    QHostAddress address;
    if (!Resolve(QString::fromUtf8(serverName.data(), static_cast<qsizetype>(serverName.size())), address))
        return kTCP_FailedToConnect;
    auto socket = std::make_unique<QTcpSocket>();
    // Sensors sit on the local network; asking for a proxy would start Qt's proxy thread for nothing.
    socket->setProxy(QNetworkProxy::NoProxy);
    socket->connectToHost(address, static_cast<quint16>(port));
    if (!socket->waitForConnected(timeoutMs)) {
        const int err = ConnectError(socket->error());
        socket->abort();
        return err;
    }
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);  // a frame leaves at once

    const unsigned h = NewHandle();
    auto c = std::make_unique<Conversation>();
    c->callback = callback;
    c->callbackData = callbackData;
    QObject::connect(socket.get(), &QTcpSocket::readyRead, socket.get(), [h] { QueueService(h); });
    QObject::connect(socket.get(), &QAbstractSocket::stateChanged, socket.get(),
                     [h](QAbstractSocket::SocketState s) {
                         Conversation* conv = Find(h);
                         if (!conv || s != QAbstractSocket::UnconnectedState) return;
                         conv->peerClosed = true;
                         QueueService(h);
                     });
    c->socket = std::move(socket);
    Conversations()[h] = std::move(c);
    handle = h;
    // Bytes may have come with the connection already.
    if (Find(h)->socket->bytesAvailable() > 0) QueueService(h);
    return 0;
}

// Ends the conversation without a disconnect event. Bytes still being written go out first.
int DisconnectFromTCPServer(unsigned handle) {
    auto it = Conversations().find(handle);
    if (it == Conversations().end()) return kTCP_NoConnectionEstablished;
    std::unique_ptr<Conversation> c = std::move(it->second);
    Conversations().erase(it);
    QTcpSocket& s = *c->socket;
    QObject::disconnect(&s, nullptr, nullptr, nullptr);
    s.disconnectFromHost();
    if (s.state() != QAbstractSocket::UnconnectedState) s.waitForDisconnected(1000);
    return 0;
}

// Writes all bytes, waiting up to timeoutMs for the system to take them (0: no waiting). Returns count,
// or a negative error: the connection is gone, or the bytes could not be handed over in time (what is
// left still goes out later).
int ClientTCPWrite(unsigned handle, const unsigned char* data, int count, int timeoutMs) {
    Conversation* c = Find(handle);
    if (!c) return kTCP_NoConnectionEstablished;
    if (count < 0 || (count > 0 && !data)) return kTCP_InvalidParameter;
    QTcpSocket& s = *c->socket;
    if (c->peerClosed || s.state() != QAbstractSocket::ConnectedState) return kTCP_ConnectionClosed;
    if (count == 0) return 0;
    if (s.write(reinterpret_cast<const char*>(data), count) != count) return kTCP_WriteFailed;
    QElapsedTimer clock;
    clock.start();
    do {
        const qint64 left = std::max<qint64>(timeoutMs - clock.elapsed(), 0);
        s.waitForBytesWritten(static_cast<int>(left));
    } while (s.bytesToWrite() > 0 && s.state() == QAbstractSocket::ConnectedState &&
             clock.elapsed() < timeoutMs);
    if (s.bytesToWrite() == 0) return count;
    return s.state() == QAbstractSocket::ConnectedState ? kTCP_TimeOutErr : kTCP_ConnectionClosed;
}

// Returns what is buffered, up to count; only when nothing is, waits up to timeoutMs for bytes to come.
int ClientTCPRead(unsigned handle, unsigned char* data, int count, int timeoutMs) {
    Conversation* c = Find(handle);
    if (!c) return kTCP_NoConnectionEstablished;
    if (count < 0 || (count > 0 && !data)) return kTCP_InvalidParameter;
    if (count == 0) return 0;
    QTcpSocket& s = *c->socket;
    QElapsedTimer clock;
    clock.start();
    while (s.bytesAvailable() == 0 && s.state() == QAbstractSocket::ConnectedState) {
        const qint64 left = std::max<qint64>(timeoutMs - clock.elapsed(), 0);
        s.waitForReadyRead(static_cast<int>(left));
        if (clock.elapsed() >= timeoutMs) break;
    }
    if (s.bytesAvailable() == 0)
        return s.state() == QAbstractSocket::ConnectedState ? kTCP_TimeOutErr : kTCP_ConnectionClosed;
    const qint64 n = s.read(reinterpret_cast<char*>(data), std::min<qint64>(count, s.bytesAvailable()));
    return n > 0 ? static_cast<int>(n) : kTCP_ReadFailed;
}
