#pragma once

// A socket.io v4 client (Engine.IO v4 over the websocket transport only).
// One network thread per client runs every listener and event handler;
// emit() may be called from any thread.

#include "sio/sio_message.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace sio {

namespace detail {
class client_core;
}

class socket {
public:
    using ptr = std::shared_ptr<socket>;
    // data is the event's first argument or null. When isAck is true the
    // server waits for an answer: whatever the handler puts into ack_resp
    // (possibly nothing) is sent back as the acknowledgement.
    using event_listener_aux = std::function<void(const std::string& name, const message::ptr& data,
                                                  bool isAck, message::list& ack_resp)>;
    using ack_listener = std::function<void(const message::list& args)>;

    socket(const socket&) = delete;
    socket& operator=(const socket&) = delete;

    void on(const std::string& event_name, const event_listener_aux& handler);
    void off(const std::string& event_name);
    void off_all();
    // Sent in call order; held back (up to the client's emit queue limit)
    // while the namespace is not joined and sent once it is (again). An ack
    // callback is forgotten, never called, when its emit is dropped from the
    // queue or the link is lost before the answer arrives.
    void emit(const std::string& name, const message::list& msglist = nullptr,
              const ack_listener& ack = nullptr);
    // "" for the default namespace, "/name" otherwise.
    const std::string& get_namespace() const { return nsp_; }

private:
    friend class detail::client_core;
    socket(std::string nsp, std::weak_ptr<detail::client_core> core);

    std::string nsp_;
    std::weak_ptr<detail::client_core> core_;
};

class client {
public:
    enum class close_reason { normal, drop };
    using con_listener = std::function<void()>;
    using close_listener = std::function<void(close_reason)>;
    using socket_listener = std::function<void(const std::string& nsp)>;

    client();
    // Same as sync_close().
    ~client();
    client(const client&) = delete;
    client& operator=(const client&) = delete;

    // Fires when an Engine.IO session opens.
    void set_open_listener(const con_listener& listener);
    // Fires when a finite reconnect attempt limit is used up.
    void set_fail_listener(const con_listener& listener);
    // Fires once for every open: drop when the link is lost, normal after close().
    void set_close_listener(const close_listener& listener);
    // Fire when a namespace is joined or left; "" is the default namespace.
    void set_socket_open_listener(const socket_listener& listener);
    void set_socket_close_listener(const socket_listener& listener);

    // Negative means unlimited (the default).
    void set_reconnect_attempts(int attempts);
    // The first delay (default 5000 ms), growing by half per attempt up to the maximum (default 25000 ms).
    void set_reconnect_delay(unsigned ms);
    void set_reconnect_delay_max(unsigned ms);
    // Emits held while a namespace is not joined, per namespace (default 1000).
    void set_emit_queue_limit(size_t n);

    // uri is "ws://host:port"; the Engine.IO path and query are added here.
    // auth, an object message or null, is sent with every namespace join
    // (the server reads it as socket.handshake.auth), e.g. {"token": T}.
    // Starts the network thread; reconnects by itself until close().
    // connect(), close(), sync_close() and the destructor belong to one
    // controlling thread; close() may also be called from a listener.
    void connect(const std::string& uri, const message::ptr& auth = nullptr);
    // "" and "/" are the default namespace; other namespaces are joined on demand.
    std::shared_ptr<sio::socket> socket(const std::string& nsp = "");

    // Leaves the namespaces, closes the link and stops the network thread
    // without waiting for it.
    void close();
    // close() and wait (boundedly) for the network thread to finish.
    void sync_close();
    bool opened() const;

private:
    std::shared_ptr<detail::client_core> core_;
    std::thread thread_;
};

} // namespace sio
