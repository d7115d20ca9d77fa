// TCP client conversations on QTcpSocket. Each conversation lives on the thread that connected it; several
// threads may hold their own conversations at once (the table of conversations is shared and locked, a
// conversation itself is touched only by its own thread).
//
// The conversation callback is never called from inside a socket signal: the signals only queue a service
// call, which the event pump runs. The service raises one event per run, never while the same
// conversation's callback is still running (a callback that pumps events does not get called again
// inside itself) or while a read or write waits on the conversation, and queues itself again while unread
// bytes remain, so no byte is stranded. The disconnect event comes after the last byte has been offered;
// the conversation ends with it.
//
// Every wait goes through io's wait: the hook's pump on its thread; elsewhere the socket's own wait, after
// which the thread's queued service calls run (so its callbacks come during its waits). The server's name is
// looked up on a thread of its own, which touches no Qt object, so a lookup that outlives its connect
// (time-out, end of the run) harms nothing.
#include <netdb.h>
#include <sys/socket.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "io_internal.h"

using io_detail::WaitFor;

namespace {

struct Conversation {
    std::unique_ptr<QTcpSocket> socket;
    TCPCallbackPtr callback = nullptr;
    void* callbackData = nullptr;
    bool inCallback = false;
    int waits = 0;  // reads and writes waiting on the conversation
    bool serviceQueued = false;
    bool peerClosed = false;
};

// Guards the table only: a conversation found stays in place until its own thread ends it.
std::mutex g_conversationsMutex;
std::map<unsigned, std::unique_ptr<Conversation>>& Conversations() {
    static std::map<unsigned, std::unique_ptr<Conversation>> conversations;
    return conversations;
}

// How long the end of the run waits for the bytes still to be written of a conversation it closes.
constexpr int kCloseFlushMs = 500;

Conversation* Find(unsigned handle) {
    std::lock_guard lock(g_conversationsMutex);
    auto it = Conversations().find(handle);
    return it == Conversations().end() ? nullptr : it->second.get();
}

// Handles count up and are not reused soon, so a service queued for an ended conversation cannot reach a
// new one. Takes the conversation into the table under its new handle.
unsigned AddConversation(std::unique_ptr<Conversation> c) {
    static unsigned next = 1;
    std::lock_guard lock(g_conversationsMutex);
    while (next == 0 || Conversations().count(next)) ++next;
    Conversations()[next] = std::move(c);
    return next++;
}

// Takes the conversation out of the table; nullptr when there is none.
std::unique_ptr<Conversation> RemoveConversation(unsigned handle) {
    std::lock_guard lock(g_conversationsMutex);
    auto it = Conversations().find(handle);
    if (it == Conversations().end()) return nullptr;
    std::unique_ptr<Conversation> c = std::move(it->second);
    Conversations().erase(it);
    return c;
}

void Service(unsigned handle);

// The services that came due on this thread while it ran its events in io::RunPendingEvents, which runs them
// when its events are done.
thread_local std::vector<unsigned> t_dueServices;

// A service is queued on the conversation's own thread. A thread that runs its events in a pass of
// io::RunPendingEvents (not the hook's thread, whose windows run events in loops of their own) runs it at the
// end of the pass; any other gets it as a posted call, which wakes its event loop.
void QueueService(unsigned handle) {
    Conversation* c = Find(handle);
    if (!c || c->serviceQueued) return;
    c->serviceQueued = true;
    if (io_detail::InEventPass() && !io_detail::OnHookThread()) {
        t_dueServices.push_back(handle);
        return;
    }
    // Queued to the socket, so the service runs on the conversation's own thread.
    QMetaObject::invokeMethod(
        c->socket.get(), [handle] { Service(handle); }, Qt::QueuedConnection);
}

// Calls the conversation's callback; false when the callback ended the conversation.
bool Raise(unsigned handle, int event) {
    Conversation* c = Find(handle);
    c->inCallback = true;
    auto call = [&] { c->callback(handle, event, 0, c->callbackData); };
    io_detail::RunCallback(call);
    c = Find(handle);
    if (!c) return false;
    c->inCallback = false;
    return true;
}

void Service(unsigned handle) {
    Conversation* c = Find(handle);
    if (!c) return;
    c->serviceQueued = false;
    // Inside this conversation's own callback or a wait on it: that queues the next service when it
    // returns. Without a callback the owner reads by itself and ends the conversation by itself.
    if (c->inCallback || c->waits > 0 || !c->callback) return;
    if (c->socket->bytesAvailable() > 0) {
        if (!Raise(handle, TCP_DATAREADY)) return;
        c = Find(handle);
        if (c->socket->bytesAvailable() > 0 || c->peerClosed) QueueService(handle);
        return;
    }
    if (c->peerClosed) {
        if (Raise(handle, TCP_DISCONNECT)) RemoveConversation(handle);
    }
}

int ConnectError(QAbstractSocket::SocketError e) {
    switch (e) {
        case QAbstractSocket::SocketTimeoutError:
            return kTCP_TimeOutErr;
        case QAbstractSocket::ConnectionRefusedError:
            return kTCP_UnableToEstablishConnection;
        case QAbstractSocket::HostNotFoundError:
            return kTCP_FailedToConnect;
        case QAbstractSocket::SocketResourceError:
            return kTCP_OutOfMemory;
        default:
            return kTCP_GeneralIOErr;
    }
}

std::atomic<int> g_lookupDelayMs{0};

// A name lookup on a thread of its own. The thread owns a share of the result and touches nothing else.
struct Lookup {
    std::atomic<bool> done{false};
    bool found = false;
    sockaddr_storage address{};
    std::mutex mutex;
    std::condition_variable finished;

    void Finish() {
        {
            std::lock_guard lock(mutex);
            done.store(true, std::memory_order_release);
        }
        finished.notify_all();
    }
    // Waits up to ms for the lookup to end (a thread without the hook).
    void Wait(qint64 ms) {
        std::unique_lock lock(mutex);
        finished.wait_for(lock, std::chrono::milliseconds(ms),
                          [this] { return done.load(std::memory_order_acquire); });
    }
};

std::shared_ptr<Lookup> StartLookup(const std::string& name) {
    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, name, delayMs = g_lookupDelayMs.load()] {
        if (delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_ADDRCONFIG;
        addrinfo* found = nullptr;
        if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) == 0) {
            const addrinfo* pick = found;
            for (const addrinfo* a = found; a; a = a->ai_next)
                if (a->ai_family == AF_INET) {
                    pick = a;  // serial-to-Ethernet servers speak IPv4
                    break;
                }
            std::memcpy(&lookup->address, pick->ai_addr,
                        std::min<std::size_t>(pick->ai_addrlen, sizeof(sockaddr_storage)));
            lookup->found = true;
            ::freeaddrinfo(found);
        }
        lookup->Finish();
    }).detach();
    return lookup;
}

// Closes a conversation's socket, letting the bytes still to be written go out first (up to waitMs, through
// io's wait when `pump`, else on the socket alone).
void CloseSocket(QTcpSocket& s, int waitMs, bool pump) {
    QObject::disconnect(&s, nullptr, nullptr, nullptr);
    s.disconnectFromHost();
    if (s.state() == QAbstractSocket::UnconnectedState) return;
    if (pump)
        WaitFor([&] { return s.state() == QAbstractSocket::UnconnectedState; }, waitMs,
                [&](qint64 left) { s.waitForDisconnected(static_cast<int>(left)); });
    else
        s.waitForDisconnected(waitMs);
}

// Hands bytes straight to the system, without waiting: the count it took (0 when it took none or the
// connection failed, which the socket's own write then reports). Qt's way, through the socket's buffer,
// turns its write notifier on and off for every frame, and each turn wakes the thread's event loop.
int SendNow(QTcpSocket& s, const unsigned char* data, int count) {
    const qintptr fd = s.socketDescriptor();
    if (fd < 0) return 0;
    for (;;) {
        const ssize_t n =
            ::send(static_cast<int>(fd), data, static_cast<std::size_t>(count), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        return n > 0 ? static_cast<int>(n) : 0;
    }
}

int Slice(qint64 left) {
    return static_cast<int>(std::min<qint64>(left, INT_MAX));
}

// Counts a wait on the conversation, so its service raises no event meanwhile; queues the service the
// wait held back.
class ConversationWait {
  public:
    explicit ConversationWait(unsigned handle) : handle_(handle) { ++Find(handle)->waits; }
    ~ConversationWait() {
        Conversation* c = Find(handle_);
        if (!c) return;
        --c->waits;
        if (c->socket->bytesAvailable() > 0 || c->peerClosed) QueueService(handle_);
    }
    ConversationWait(const ConversationWait&) = delete;
    ConversationWait& operator=(const ConversationWait&) = delete;

  private:
    unsigned handle_;
};

}  // namespace

bool io_detail::RunDueServices() {
    if (t_dueServices.empty()) return false;
    // Those due now; one that comes due while these run is queued anew.
    std::vector<unsigned> due;
    due.swap(t_dueServices);
    for (unsigned handle : due) Service(handle);
    return true;
}

void io_detail::SetNameLookupDelay(int milliseconds) {
    g_lookupDelayMs = std::max(milliseconds, 0);
}

void io::CloseAllConversations() {
    std::map<unsigned, std::unique_ptr<Conversation>> conversations;
    {
        std::lock_guard lock(g_conversationsMutex);
        conversations.swap(Conversations());
    }
    for (auto& [handle, c] : conversations) CloseSocket(*c->socket, kCloseFlushMs, false);
}

int ConnectToTCPServer(unsigned& handle, int port, std::string_view serverName, TCPCallbackPtr callback,
                       void* callbackData, int timeoutMs) {
    handle = 0;
    if (port <= 0 || port > 65535 || serverName.empty() || timeoutMs <= 0) return kTCP_InvalidParameter;
    if (!QCoreApplication::instance()) return kTCP_GeneralIOErr;
    io_detail::PrepareThread();
    QElapsedTimer clock;
    clock.start();

    QHostAddress address;
    if (!address.setAddress(io_detail::QStr(serverName))) {
        const std::shared_ptr<Lookup> lookup = StartLookup(std::string(serverName));
        if (!WaitFor([&] { return lookup->done.load(std::memory_order_acquire); }, timeoutMs,
                     [&](qint64 left) { lookup->Wait(left); }))
            return kTCP_TimeOutErr;
        if (!lookup->found) return kTCP_FailedToConnect;
        address.setAddress(reinterpret_cast<const sockaddr*>(&lookup->address));
    }
    auto socket = std::make_unique<QTcpSocket>();
    // Sensors sit on the local network; asking for a proxy would start Qt's proxy thread for nothing.
    socket->setProxy(QNetworkProxy::NoProxy);
    socket->connectToHost(address, static_cast<quint16>(port));
    QTcpSocket& s = *socket;
    // A thread without the hook waits for the whole connect at once: a timed-out waitForConnected gives the
    // connect up.
    WaitFor(
        [&] {
            return s.state() == QAbstractSocket::ConnectedState ||
                   s.state() == QAbstractSocket::UnconnectedState;
        },
        timeoutMs - clock.elapsed(), [&](qint64 left) { s.waitForConnected(Slice(left)); });
    if (s.state() != QAbstractSocket::ConnectedState) {
        const int err =
            s.state() == QAbstractSocket::UnconnectedState ? ConnectError(s.error()) : kTCP_TimeOutErr;
        s.abort();
        return err;
    }
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);  // a frame leaves at once

    auto c = std::make_unique<Conversation>();
    c->callback = callback;
    c->callbackData = callbackData;
    QTcpSocket* raw = socket.get();
    c->socket = std::move(socket);
    const unsigned h = AddConversation(std::move(c));
    QObject::connect(raw, &QTcpSocket::readyRead, raw, [h] { QueueService(h); });
    QObject::connect(raw, &QAbstractSocket::stateChanged, raw, [h](QAbstractSocket::SocketState state) {
        Conversation* conv = Find(h);
        if (!conv || state != QAbstractSocket::UnconnectedState) return;
        conv->peerClosed = true;
        QueueService(h);
    });
    handle = h;
    // Bytes may have come with the connection already.
    if (Find(h)->socket->bytesAvailable() > 0) QueueService(h);
    return 0;
}

// Ends the conversation without a disconnect event. Bytes still being written go out first.
int DisconnectFromTCPServer(unsigned handle) {
    std::unique_ptr<Conversation> c = RemoveConversation(handle);
    if (!c) return kTCP_NoConnectionEstablished;
    CloseSocket(*c->socket, 1000, true);
    return 0;
}

// Writes all bytes, waiting up to timeoutMs for the system to take them (0: no waiting). Returns count,
// or a negative error: the connection is gone, or the bytes could not be handed over in time (what is
// left still goes out later).
int ClientTCPWrite(unsigned handle, const unsigned char* data, int count, int timeoutMs) {
    io_detail::NoteLinkActivity();
    Conversation* c = Find(handle);
    if (!c) return kTCP_NoConnectionEstablished;
    if (count < 0 || (count > 0 && !data)) return kTCP_InvalidParameter;
    QTcpSocket* s = c->socket.get();
    if (c->peerClosed || s->state() != QAbstractSocket::ConnectedState) return kTCP_ConnectionClosed;
    if (count == 0) return 0;
    // With nothing queued before them the bytes go to the system at once; only what it does not take
    // waits in the socket's buffer.
    const int sent = s->bytesToWrite() == 0 ? SendNow(*s, data, count) : 0;
    if (sent == count) return count;
    const int rest = count - sent;
    if (s->write(reinterpret_cast<const char*>(data) + sent, rest) != rest) return kTCP_WriteFailed;
    s->flush();          // what the system takes at once
    bool ended = false;  // a callback ended the conversation during the wait
    {
        ConversationWait wait(handle);
        WaitFor(
            [&] {
                ended = !Find(handle);
                return ended || s->bytesToWrite() == 0 || s->state() != QAbstractSocket::ConnectedState;
            },
            timeoutMs, [&](qint64 left) { s->waitForBytesWritten(Slice(std::min<qint64>(left, 10))); });
    }
    if (ended) return kTCP_ConnectionClosed;
    if (s->bytesToWrite() == 0) return count;
    return s->state() == QAbstractSocket::ConnectedState ? kTCP_TimeOutErr : kTCP_ConnectionClosed;
}

// Returns what is buffered, up to count; only when nothing is, waits up to timeoutMs for bytes to come.
int ClientTCPRead(unsigned handle, unsigned char* data, int count, int timeoutMs) {
    Conversation* c = Find(handle);
    if (!c) return kTCP_NoConnectionEstablished;
    if (count < 0 || (count > 0 && !data)) return kTCP_InvalidParameter;
    if (count == 0) return 0;
    QTcpSocket* s = c->socket.get();
    bool ended = false;  // a callback ended the conversation during the wait
    if (s->bytesAvailable() == 0 && s->state() == QAbstractSocket::ConnectedState) {
        ConversationWait wait(handle);
        WaitFor(
            [&] {
                ended = !Find(handle);
                return ended || s->bytesAvailable() > 0 || s->state() != QAbstractSocket::ConnectedState;
            },
            timeoutMs, [&](qint64 left) { s->waitForReadyRead(Slice(std::min<qint64>(left, 10))); });
    }
    if (ended) return kTCP_ConnectionClosed;
    if (s->bytesAvailable() == 0)
        return s->state() == QAbstractSocket::ConnectedState ? kTCP_TimeOutErr : kTCP_ConnectionClosed;
    const qint64 n = s->read(reinterpret_cast<char*>(data), std::min<qint64>(count, s->bytesAvailable()));
    if (n <= 0) return kTCP_ReadFailed;
    io_detail::NoteLinkActivity();
    return static_cast<int>(n);
}
